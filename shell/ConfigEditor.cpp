#include "shell/ConfigEditor.h"

#include "platform/Process.h"
#include "platform/SystemError.h"
#include "shell/EditCommand.h"

#include <thread>

namespace kestra::shell {

EditorLauncher SystemEditorLauncher() {
    EditorLauncher launcher;
    launcher.start = [](const std::vector<std::string>& arguments) {
        return platform::StartProcess(arguments);
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

std::optional<std::string> ConfigEditor::Edit(ShellConfiguration& configuration,
                                              const std::string& fileName, int line, int column) {
    if (state_->running) {
        if (launcher_.bringForward) {
            launcher_.bringForward(state_->editor);
        }
        return std::nullopt;
    }
    if (!configuration.EditCommand()) {
        configuration.SetEditCommand(std::string(kDefaultEditCommand));
    }
    const std::vector<std::string> arguments =
        EditorArguments(*configuration.EditCommand(), fileName, line, column);
    if (!launcher_.start) {
        return std::nullopt;
    }
    const platform::ProcessStart started =
        arguments.empty() ? platform::ProcessStart{-1, ENOENT} : launcher_.start(arguments);
    if (!started.Started()) {
        std::string command;
        for (const std::string& argument : arguments) {
            command += (command.empty() ? "" : " ") + argument;
        }
        return "The editor could not be started.\nEditCommand: " + command + "\n" +
               platform::SystemErrorTextOrCode(started.error);
    }
    const pid_t editor = started.pid;
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
    return std::nullopt;
}

} // namespace kestra::shell
