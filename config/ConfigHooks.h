#pragma once

#include "config/OptionTable.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The steps of configuration and start-up that belong to other layers or
// touch the system, each replaceable: the console layer installs the
// definition of a console, the shell the help dialog, the frame title and the
// splash screen; tests install recorders. An empty step is not called.
namespace kestra::config {

struct ConfigHooks {
    // Defines one console from a CON line or a command-line pipe name
    // (CommandLinePipeName tells which); installed by the console layer.
    // Without it a CON line ends the program with an internal error.
    std::function<void(const OptionRow& row)> defineConsole;
    // Shows the help text (message, separator and help) and returns when the
    // user has read it. Default: writes it to standard error. The shell's
    // dialog also restores the frame and puts the splash screen through its
    // course first, as the exit routine does.
    std::function<void(std::string_view text)> presentHelp;
    // Sets the frame window's caption. Default: none (no frame).
    std::function<void(std::string_view caption)> setFrameTitle;
    // Shows the splash screen as the options now say. Default: none.
    std::function<void()> showSplash;
    // The log-on: whether a command interpreter exists, and running one
    // command line through it. Default: the system's shell.
    std::function<bool()> hasCommandInterpreter;
    std::function<int(const std::string& commandLine)> runCommandLine;
    // The /D pause. Default: sleeps.
    std::function<void(std::uint32_t milliseconds)> sleep;
    // Waiting for the instance that restarted this one. Default: waits for
    // the process to end, at most timeoutMs.
    std::function<void(std::uint32_t processId, int timeoutMs)> waitForProcess;
    // Default: the platform's priority classes; a refusal is ignored.
    std::function<void(std::uint32_t classValue)> setPriorityClass;
};

// The installed steps.
ConfigHooks& Hooks();
// The default steps: the system's, with no console definition and no frame.
ConfigHooks DefaultHooks();
// Tests only: every step back to its default.
void ResetHooks();

} // namespace kestra::config
