#include "config/ConfigHooks.h"

#include "platform/Priority.h"
#include "platform/Process.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace kestra::config {

ConfigHooks DefaultHooks() {
    ConfigHooks hooks;
    hooks.presentHelp = [](std::string_view text) {
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fputc('\n', stderr);
        std::fflush(stderr);
    };
    hooks.hasCommandInterpreter = platform::HasCommandInterpreter;
    hooks.runCommandLine = platform::RunCommandLine;
    hooks.sleep = [](std::uint32_t milliseconds) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    };
    hooks.waitForProcess = [](std::uint32_t processId, int timeoutMs) {
        platform::WaitForProcessExit(static_cast<pid_t>(processId), timeoutMs);
    };
    hooks.setPriorityClass = [](std::uint32_t classValue) {
        platform::SetProcessPriorityClass(classValue);
    };
    return hooks;
}

ConfigHooks& Hooks() {
    static ConfigHooks hooks = DefaultHooks();
    return hooks;
}

void ResetHooks() {
    Hooks() = DefaultHooks();
}

} // namespace kestra::config
