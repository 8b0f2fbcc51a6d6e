#pragma once

#include "platform/Process.h"
#include "shell/ShellConfiguration.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

// Opens a configuration file in the user's editor at a line and column, and
// while that editor runs, brings it forward instead of starting another.
namespace kestra::shell {

struct EditorLauncher {
    // Starts the editor: its process id, or why it could not be started.
    std::function<platform::ProcessStart(const std::vector<std::string>& arguments)> start;
    // Waits without a time limit for the started editor to end.
    std::function<void(pid_t editor)> waitForEnd;
    // Raises the editor's windows.
    std::function<void(pid_t editor)> bringForward;
};

// The system's: the editor as a child process that a thread waits for, and
// xdotool (when installed) to raise the windows of that process.
EditorLauncher SystemEditorLauncher();

class ConfigEditor {
public:
    explicit ConfigEditor(EditorLauncher launcher);

    // EditCommand, set to the default the first time it is needed while
    // unset, is the format of the editor's command line. Returns what to tell
    // the user when the editor could not be started: the command and why.
    std::optional<std::string> Edit(ShellConfiguration& configuration, const std::string& fileName,
                                    int line, int column);
    bool EditorRunning() const { return state_->running; }

private:
    struct State {
        std::atomic<bool> running{false};
        std::atomic<pid_t> editor{-1};
    };
    EditorLauncher launcher_;
    // Shared with the thread that waits for the editor, which may outlive us.
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

} // namespace kestra::shell
