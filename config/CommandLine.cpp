#include "config/CommandLine.h"

#include "config/ConfigHooks.h"
#include "config/GlobalOptions.h"
#include "config/ProgramFile.h"
#include "parsing/AsciiText.h"
#include "parsing/Numbers.h"
#include "platform/Exit.h"
#include "platform/Process.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <limits>

namespace kestra::config {
namespace {

constexpr std::string_view kSeparatorLine =
    "\n---------------------------------------------------------------------------\n";

bool IsLetterOrDigit(char character) {
    return (character >= 'A' && character <= 'Z') || (character >= 'a' && character <= 'z') ||
           (character >= '0' && character <= '9');
}

// The file name without the directory (or drive) and without the extension.
std::string_view BaseNameOf(std::string_view path, std::string_view directorySeparators) {
    const std::size_t separator = path.find_last_of(directorySeparators);
    std::string_view name = separator == std::string_view::npos ? path : path.substr(separator + 1);
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? name : name.substr(0, dot);
}

// The /D value: its leading decimal digits, after an optional sign. A
// negative pause would mean weeks where it was written as a mistake; it
// waits nothing instead, and huge values stop at the longest wait there is.
std::uint32_t PauseMilliseconds(const std::optional<std::string>& value) {
    if (!value) {
        return 0;
    }
    std::string_view text = *value;
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::uint64_t milliseconds = 0;
    for (const char character : text) {
        if (character < '0' || character > '9') {
            break;
        }
        milliseconds = std::min<std::uint64_t>(milliseconds * 10 + (character - '0'),
                                               std::numeric_limits<std::uint32_t>::max());
    }
    return negative ? 0 : static_cast<std::uint32_t>(milliseconds);
}

std::string Quoted(std::string_view argument) {
    return "\"" + std::string(argument) + "\"";
}

void ApplyPropertiesKey(std::string_view key, std::string_view argument) {
    if (!IsValidPropertiesKey(key)) {
        ShowHelp("Invalid properties key: %s", std::string(argument).c_str());
    }
    Options().propertiesKey = std::string(kDefaultPropertiesKey) + "\\" + std::string(key);
}

[[noreturn]] void PresentHelpAndEnd(std::optional<std::string_view> message) {
    std::string text;
    if (message) {
        text = std::string(*message) + std::string(kSeparatorLine);
    }
    text += HelpText(Options().programBaseName);
    // Message and help share the message buffer; what does not fit is cut.
    auto buffer = platform::MessageBuffer();
    const std::size_t length = std::min(text.size(), buffer.size() - 1);
    std::copy_n(text.data(), length, buffer.data());
    buffer[length] = '\0';
    if (const auto& present = Hooks().presentHelp) {
        present(platform::FatalMessage());
    }
    platform::Fatal();
}

} // namespace

bool ParseSwitch(std::string_view argument, SwitchRecord& record, bool keepCase) {
    record = SwitchRecord();
    if (argument.size() >= 2 && (argument[0] == '/' || argument[0] == '-') &&
        IsLetterOrDigit(argument[1])) {
        record.letter = argument[1];
        if (argument.size() > 2) {
            record.value = std::string(argument.substr(argument[2] == ':' ? 3 : 2));
        }
    } else if (argument.size() >= 3 && argument[argument.size() - 2] == '/' &&
               IsLetterOrDigit(argument.back())) {
        record.letter = argument.back();
        record.value = std::string(argument.substr(0, argument.size() - 2));
    } else {
        return false;
    }
    if (!keepCase) {
        record.letter = AsciiUpper(record.letter);
    }
    if (record.value) {
        const std::string_view value = *record.value;
        record.octal.valid = parsing::ReadOctal(value, record.octal.value);
        record.decimal.valid = parsing::ReadDecimal(value, record.decimal.value);
        record.hex.valid = parsing::ReadHex(value, record.hex.value);
        record.number.valid = parsing::ReadNumber(value, record.number.value, 10);
    }
    return true;
}

bool IsValidPropertiesKey(std::string_view key) {
    return !key.empty() && key.size() <= kMaxPropertiesKeyLength &&
           key.find_first_not_of(kPropertiesKeyCharacters) == std::string_view::npos;
}

void ParseCommandLine(std::span<const std::string> arguments) {
    GlobalOptions& options = Options();
    const std::string programPath = arguments.empty() ? std::string() : arguments.front();
    options.programPath = programPath;
    options.programBaseName = std::string(BaseNameOf(programPath, "/"));
    options.restartCommandLine = Quoted(programPath);
    options.restartArguments = {programPath};

    SwitchRecord record;
    if (arguments.size() > 1 && !ParseSwitch(arguments[1], record)) {
        // Pipe names: nothing else is read, and a restart reads the default
        // configuration file, since the restart line carries no pipe names.
        options.commandLineConsoles = true;
        options.commandLinePipeNames.assign(arguments.begin() + 1, arguments.end());
        options.configFilePath.reset();
        return;
    }

    std::optional<std::string> configName;
    for (const std::string& argument :
         arguments.subspan(std::min<std::size_t>(1, arguments.size()))) {
        if (!ParseSwitch(argument, record)) {
            ShowHelp("Invalid command line option: %s", argument.c_str());
        }
        switch (record.letter) {
        case 'C': configName = record.value; break;
        case 'D':
            if (const auto& sleep = Hooks().sleep) {
                sleep(PauseMilliseconds(record.value));
            }
            break;
        case 'H':
        case 'R': ShowHelp();
        case 'K': ApplyPropertiesKey(record.value.value_or(std::string()), argument); break;
        case 'N':
            if (!record.value) {
                ShowHelp("Invalid properties key: %s", argument.c_str());
            }
            configName = record.value;
            ApplyPropertiesKey(BaseNameOf(*record.value, "/\\:"), argument);
            break;
        case 'Q': options.quietMode = true; break;
        case 'W':
            if (!record.hex.valid) {
                ShowHelp("Invalid command line option: %s", argument.c_str());
            }
            options.waitProcessId = record.hex.value;
            continue; // restarts never carry an earlier /W:
        default: ShowHelp("Invalid command line option: %s", argument.c_str());
        }
        options.restartCommandLine += " " + Quoted(argument);
        options.restartArguments.push_back(argument);
    }

    options.configFilePath = FindProgramFile(configName ? *configName : DefaultConfigName("CNF"));

    if (options.waitProcessId && Hooks().waitForProcess) {
        Hooks().waitForProcess(*options.waitProcessId, platform::kRestartWaitMs);
    }
}

std::string WaitSwitch(std::uint32_t processId) {
    char text[16];
    std::snprintf(text, sizeof text, "/W:%08X", processId);
    return text;
}

std::string DefaultConfigName(std::string_view extension) {
    return Options().programBaseName + "." + std::string(extension);
}

std::string HelpText(std::string_view baseName) {
    std::string text =
        "Command line: KESTRA [Commands] [Options]\n"
        "\n"
        "Command: /H                      = Print this Help text.\n"
        "                                   Do not configure or start KESTRA.\n"
        "Options: /C:<Configuration file> = Specify the configuration file to parse.\n"
        "                                   (Default = ";
    text += baseName;
    text += ".CNF)\n"
            "         /K:<Properties Key>     = Specify the settings group to use for\n"
            "                                   getting and saving KESTRA 'Properties'.\n"
            "                                   (Default = none)\n"
            "         /N:<Configuration file> = Specify both the configuration file to\n"
            "                                   parse and the settings group to use for\n"
            "                                   getting and saving KESTRA 'Properties'.\n"
            "                                   The settings group that will be used is\n"
            "                                   the given configuration filename without\n"
            "                                   drive, directories or extension).\n"
            "                                   (Default = none)\n";
    text += kSeparatorLine;
    text += "Version 4.23.59";
    text += "\n";
    text += "Build 158. Monday, November 25, 2002  14:09:25         ";
    return text;
}

void ShowHelp() {
    PresentHelpAndEnd(std::nullopt);
}

void ShowHelp(const char* format, ...) {
    if (format == nullptr) {
        PresentHelpAndEnd(std::nullopt);
    }
    std::va_list arguments;
    va_start(arguments, format);
    std::va_list measuring;
    va_copy(measuring, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    std::string message(static_cast<std::size_t>(std::max(length, 0)) + 1, '\0');
    std::vsnprintf(message.data(), message.size(), format, arguments);
    va_end(arguments);
    message.resize(static_cast<std::size_t>(std::max(length, 0)));
    PresentHelpAndEnd(message);
}

} // namespace kestra::config
