#include "shell/Restart.h"

#include "config/CommandLine.h"
#include "platform/Process.h"

namespace kestra::shell {

std::vector<std::string> RestartArguments(std::vector<std::string> arguments, pid_t oldProcess) {
    arguments.push_back(config::WaitSwitch(static_cast<std::uint32_t>(oldProcess)));
    return arguments;
}

void Restart(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        return;
    }
    platform::StartDetachedProcess(RestartArguments(arguments, platform::CurrentProcessId()));
}

} // namespace kestra::shell
