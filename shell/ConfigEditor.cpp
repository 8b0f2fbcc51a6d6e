#include "shell/ConfigEditor.h"

#include "platform/Process.h"
#include "shell/EditCommand.h"

#include <thread>

namespace kestra::shell {

EditorLauncher SystemEditorLauncher() {
    EditorLauncher launcher;
    launcher.start = [](const std::vector<std::string>& arguments) -> pid_t {
        const platform::ProcessStart start = platform::StartProcess(arguments);
        return start.Started() ? start.pid : -1;
    };
    launcher.waitForEnd = [](pid_t editor) { platform::WaitForChild(editor); };
    launcher.bringForward = [](pid_t editor) {
        // The window system gives no portable way to raise another program's
        // windows; xdotool does it where it is installed, and nothing happens
        // where it is not.
        platform::StartDetachedProcess(
            {"xdotool", "search", "--pid", std::to_string(editor), "windowactivate"});
    };
    return launcher;
}

ConfigEditor::ConfigEditor(EditorLauncher launcher) : launcher_(std::move(launcher)) {}

void ConfigEditor::Edit(ShellConfiguration& configuration, const std::string& fileName, int line,
                        int column) {
    if (state_->running) {
        if (launcher_.bringForward) {
            launcher_.bringForward(state_->editor);
        }
        return;
    }
    if (!configuration.EditCommand()) {
        configuration.SetEditCommand(std::string(kDefaultEditCommand));
    }
    const std::vector<std::string> arguments =
        EditorArguments(*configuration.EditCommand(), fileName, line, column);
    if (arguments.empty() || !launcher_.start) {
        return;
    }
    const pid_t editor = launcher_.start(arguments);
    if (editor <= 0) {
        return;
    }
    // Set before the waiting thread exists, so a second request right after
    // this one already sees the editor running.
    state_->editor = editor;
    state_->running = true;
    std::thread([state = state_, wait = launcher_.waitForEnd, editor] {
        if (wait) {
            wait(editor);
        }
        state->running = false;
    }).detach();
}

} // namespace kestra::shell
