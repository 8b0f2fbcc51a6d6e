// A command line of any arguments, cut from the input at NUL bytes, after
// the program path. Parsing either shows the help (with the right message,
// inside the 2000-byte buffer) and ends the program with status 255, or
// leaves options that agree with the arguments: the pipe names as given, or
// a configuration file, a valid Properties key and a restart command line
// that carries every argument except the wait switch.

#include "FuzzSupport.h"
#include "config/CommandLine.h"
#include "config/ConfigHooks.h"
#include "config/GlobalOptions.h"
#include "platform/Exit.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace kestra::config;
using kestra::fuzz::Require;
using kestra::fuzz::StartsWith;

constexpr const char* kProgram = "/opt/kestra/bin/kestra";

void CheckSwitch(const std::string& argument) {
    SwitchRecord record;
    const bool isSwitch = ParseSwitch(argument, record);
    Require(isSwitch == (record.letter != 0), "switch result and letter disagree", argument);
    if (!record.value) {
        Require(!record.octal.valid && !record.decimal.valid && !record.hex.valid &&
                    !record.number.valid,
                "a number read from no value", argument);
    }
}

void CheckOptions(const std::vector<std::string>& arguments) {
    const GlobalOptions& options = Options();
    Require(options.programPath == kProgram && options.programBaseName == "kestra", "program");
    if (options.commandLineConsoles) {
        Require(std::vector<std::string>(options.commandLinePipeNames) ==
                    std::vector<std::string>(arguments.begin() + 1, arguments.end()),
                "pipe names differ from the arguments");
        Require(!options.configFilePath, "a configuration file with command-line consoles");
        return;
    }
    Require(options.configFilePath.has_value(), "no configuration file");
    const std::string subKey = options.PropertiesSubKey();
    Require(subKey.empty() || IsValidPropertiesKey(subKey), "invalid Properties key accepted",
            options.propertiesKey);
    std::size_t kept = 0;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        SwitchRecord record;
        ParseSwitch(arguments[i], record);
        kept += record.letter != 'W';
    }
    Require(options.restartArguments.size() == kept + 1, "restart arguments",
            options.restartCommandLine);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments{kProgram};
    if (size > 0) {
        for (std::string& piece : kestra::fuzz::SplitAtNul(data, size, 16)) {
            arguments.push_back(std::move(piece));
        }
    }
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        CheckSwitch(arguments[i]);
    }

    ResetOptions();
    ResetHooks();
    std::string shown;
    bool helped = false;
    Hooks().presentHelp = [&](std::string_view text) {
        shown = std::string(text);
        helped = true;
    };
    Hooks().sleep = [](std::uint32_t) {};
    Hooks().waitForProcess = [](std::uint32_t, int) {};
    kestra::platform::ScopedFatalCapture capture;
    try {
        ParseCommandLine(arguments);
    } catch (const kestra::platform::ProcessEnded& ended) {
        Require(helped, "ended without the help");
        Require(ended.status() == 255, "help exit status");
        Require(shown.size() < kestra::platform::kMessageBufferSize, "help beyond the buffer");
        const std::string help = HelpText("kestra");
        Require(shown == help || StartsWith(shown, "Invalid command line option: ") ||
                    StartsWith(shown, "Invalid properties key: "),
                "help message", shown);
        return 0;
    }
    Require(!helped, "help shown without ending");
    CheckOptions(arguments);
    return 0;
}
