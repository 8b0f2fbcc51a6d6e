#include "shell/Restart.h"

#include "platform/Process.h"

#include <cstdio>

namespace kestra::shell {

std::vector<std::string> RestartArguments(std::vector<std::string> arguments, pid_t oldProcess) {
    char waitSwitch[16];
    std::snprintf(waitSwitch, sizeof waitSwitch, "/W:%08X", static_cast<unsigned>(oldProcess));
    arguments.emplace_back(waitSwitch);
    return arguments;
}

void Restart(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        return;
    }
    platform::StartDetachedProcess(RestartArguments(arguments, platform::CurrentProcessId()));
}

} // namespace kestra::shell
