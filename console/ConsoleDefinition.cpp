#include "console/ConsoleDefinition.h"

#include "config/ConfigHooks.h"
#include "config/ConfigInterpreter.h"
#include "config/GlobalOptions.h"
#include "config/OptionReaders.h"
#include "console/ConsoleTable.h"
#include "console/PipeLink.h"
#include "platform/Exit.h"
#include "platform/PipeName.h"
#include "platform/SystemError.h"
#include "termdef/TerminalDefinitionFile.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

namespace kestra::console {

namespace {

constexpr std::uint16_t kMaxUnit = kMaxConsoles - 1;

// What the options of a CON line set before the console exists.
struct ConsoleOptions {
    std::uint16_t unit = kNoUnit;
    std::optional<std::string> unitName;
    bool eightBit = false;
    std::uint16_t width = kDefaultWidth;
    bool autowrap = false;
    bool autowrapGiven = false; // a VT102 console's auto-wrap is on unless the line says
    bool vt102 = config::Options().vt102;
    bool cursorOn = true;
    std::uint16_t rows = kDefaultRows;
    bool telnet = false;
    bool reconnect = config::Options().reconnect;
    std::optional<std::string> capturePath;
    CaptureFormat captureFormat = CaptureFormat::Raw;
    std::optional<std::uint32_t> history; // lines; unset: the History option's
};

// CAPTURE (raw bytes) and CAPTURETEXT (timestamped text): the file name as
// written; a later one replaces an earlier one.
bool CaptureOption(std::string_view name, std::string_view value, ConsoleOptions& options) {
    for (const auto& [option, format] : {std::pair{"CAPTURE", CaptureFormat::Raw},
                                         std::pair{"CAPTURETEXT", CaptureFormat::Text}}) {
        if (EqualIgnoringCase(name, option)) {
            options.capturePath = std::string(value);
            options.captureFormat = format;
            return true;
        }
    }
    return false;
}

// The options up to "=", then "=", then the pipe name (the rest of the line).
std::string ReadConsoleLine(ConsoleOptions& options) {
    std::string_view name;
    std::string_view value;
    while (config::NextOption(name, value)) {
        if (config::NumberOption("UNIT", name, value, options.unit, 10, 0, kMaxUnit)) {
            if (Consoles().IsTaken(options.unit)) {
                config::ConfigError("Unit number already in use");
            }
            continue;
        }
        if (config::UnitNameOption(name, value, options.unitName)) {
            continue;
        }
        if (config::FlagOption("8BIT", name, value, options.eightBit)) {
            continue;
        }
        if (config::NumberOption("WIDTH", name, value, options.width, 10, 0, 0)) {
            if (options.width != kDefaultWidth && options.width != kWideWidth) {
                config::ConfigError("Width must be %d or %d columns", kDefaultWidth, kWideWidth);
            }
            continue;
        }
        if (config::FlagOption("AUTOWRAP", name, value, options.autowrap)) {
            options.autowrapGiven = true;
            continue;
        }
        if (config::FlagOption("VT102", name, value, options.vt102)) {
            continue;
        }
        if (config::FlagOption("CURSOR", name, value, options.cursorOn)) {
            continue;
        }
        if (config::NumberOption("HEIGHT", name, value, options.rows, 10, emulator::kMinRows,
                                 emulator::kMaxRows)) {
            continue;
        }
        if (config::FlagOption("TELNET", name, value, options.telnet) ||
            config::FlagOption("RECONNECT", name, value, options.reconnect) ||
            CaptureOption(name, value, options)) {
            continue;
        }
        if (std::uint32_t lines = 0;
            config::NumberOption("HISTORY", name, value, lines, 10, 0, config::kMaxHistoryLines)) {
            options.history = lines;
            continue;
        }
        config::InvalidOption();
    }
    config::ConfigLexer* lexer = config::ConfigLexerInstance();
    if (lexer == nullptr || lexer->token != "=") {
        config::ConfigError("Expected '='");
    }
    if (!config::LexerNextToken(*lexer)) {
        config::ConfigError("No argument following '='");
    }
    return config::RestOfLine();
}

std::string PipePathOf(std::string_view pipeName) {
    if (platform::IsFullPipePath(pipeName)) {
        return std::string(pipeName);
    }
    const config::GlobalOptions& options = config::Options();
    return options.serverPrefix.value_or(std::string(config::kDefaultServerPrefix)) +
           std::string(pipeName);
}

// The open failure, reported at the CON line or, for a console named on the
// command line, straight to the exit routine.
[[noreturn]] void ReportOpenFailure(ConsoleRecord& record, int error, std::string text,
                                    bool fromCommandLine) {
    record.errorCode = error;
    if (text.empty()) {
        char fallback[64];
        std::snprintf(fallback, sizeof fallback, "Can't open pipe. System error code %08lx.",
                      static_cast<unsigned long>(static_cast<unsigned>(error)));
        text = fallback;
    }
    record.errorText = std::move(text);
    if (fromCommandLine) {
        platform::Fatal("%s[%s]", record.errorText.c_str(), record.pipePath.c_str());
    }
    config::ConfigError("%s[%s]", record.errorText.c_str(), record.pipePath.c_str());
}

} // namespace

void DefineConsole(const config::OptionRow& row) {
    auto record = std::make_unique<ConsoleRecord>();
    record->ownedEmulator = std::make_unique<emulator::Emulator>();
    emulator::Emulator& emulator = *record->ownedEmulator;

    ConsoleOptions options;
    const std::optional<std::string_view> commandLineName = config::CommandLinePipeName(row);
    const std::string pipeName =
        commandLineName ? std::string(*commandLineName) : ReadConsoleLine(options);
    record->unit = options.unit;
    record->eightBit = options.eightBit;
    record->width = options.width;
    record->cursorSuppressed = !options.cursorOn;
    record->telnet = options.telnet;
    record->reconnect = options.reconnect;
    record->history.SetCapacity(options.history.value_or(config::Options().historyLines));

    record->pipePath = PipePathOf(pipeName);
    platform::PipeOpenResult opened = platform::PipeConnection::Open(record->pipePath);
    if (!opened.Ok()) {
        // The platform always has a text (the system's, or the name
        // lookup's); the fallback covers a text that comes back empty.
        ReportOpenFailure(*record, opened.error, std::move(opened.errorText),
                          commandLineName.has_value());
    }
    record->pipe = std::move(opened.connection);

    if (record->unit == kNoUnit) {
        const std::optional<std::uint16_t> free = Consoles().LowestFreeUnit();
        if (!free) {
            // Outside a configuration file (pipe names on the command line)
            // there is no line to point at: the message alone ends the program.
            config::ConfigError("Too many CONs: only %d consoles may be configured",
                                int{kMaxConsoles});
        }
        record->unit = *free;
    }
    record->unitName = options.unitName.value_or(record->pipePath);
    ConsoleRecord& console = Consoles().Store(std::move(record));

    ConnectEmulator(console, emulator);
    emulator::InitEmulator(emulator, termdef::LoadTerminalDefinition(""), options.rows);
    emulator::ScreenBuffer& screen = emulator.screen;
    screen.autowrap = options.autowrap || (options.vt102 && !options.autowrapGiven) ? 1 : 0;
    if (options.vt102) {
        emulator::EnableVt102(emulator);
    }

    if (const int error = console.readerWakeUp.CreationError()) {
        console.errorCode = error;
        platform::Fatal("Event creation error: %s", platform::SystemErrorTextOrCode(error).c_str());
    }

    screen.cols = console.width;
    screen.attached = 1;
    screen.RefreshScreen();
    // Read before the reader runs: from then on the screen is the reader's
    // (a server may switch the column mode at once).
    const unsigned rows = screen.rows;
    const unsigned columns = screen.cols;

    if (options.capturePath) {
        const std::time_t now = std::time(nullptr);
        std::tm today{};
        localtime_r(&now, &today);
        StartCapture(console, ExpandCaptureName(*options.capturePath, console.unit, today),
                     options.captureFormat);
    }
    StartConsoleThreads(console);

    if (ConsoleFrameLink* frame = TheWindowSide().Frame()) {
        frame->RegisterConsole(console, rows, columns);
    }
    Consoles().CountDefinition();
}

std::string ConnectLine(const ConnectRequest& request) {
    const auto flag = [](bool on) { return on ? "ON" : "OFF"; };
    std::string line = "CON";
    if (!request.unitName.empty()) {
        line += " /UNITNAME:\"";
        for (const char character : request.unitName) {
            if (character == '"' || character == '\\') {
                line += '\\';
            }
            line += character;
        }
        line += '"';
    }
    line += " /HEIGHT:" + std::to_string(request.rows) + " /WIDTH:" + std::to_string(request.width);
    line += std::string(" /8BIT:") + flag(request.eightBit) +
            " /AUTOWRAP:" + flag(request.autowrap) + " /CURSOR:" + flag(request.cursor) +
            " /TELNET:" + flag(request.telnet) + " /RECONNECT:" + flag(request.reconnect);
    return line + " = " + request.pipeName;
}

void InstallConsoleDefinition() {
    config::Hooks().defineConsole = DefineConsole;
}

} // namespace kestra::console
