// A configuration file and up to three files it may include, from one input
// cut at NUL bytes (k.cnf, a.cnf, b.cnf, c.cnf; a piece that is not there is
// a file that does not exist). Both passes run as at start-up, with a
// recording CON handler; then the lexer walks the same files on its own.
// Whatever the files hold, the program either accepts them with every option
// in its range, or reports one located error and leaves no lexer behind; the
// lexer never shows a line longer than 255 characters, never points outside
// its line, and an INCLUDE chain is never deeper than the files that exist.

#include "FuzzSupport.h"
#include "config/ConfigHooks.h"
#include "config/ConfigInterpreter.h"
#include "config/ConfigLexer.h"
#include "config/GlobalOptions.h"
#include "config/OptionReaders.h"
#include "config/ProgramFile.h"
#include "platform/Exit.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace {

using namespace kestra::config;
using kestra::fuzz::Require;
using kestra::fuzz::StartsWith;

constexpr std::array<const char*, 4> kFileNames = {"k.cnf", "a.cnf", "b.cnf", "c.cnf"};

// Reads a CON line as a console definition does, checking what it accepts.
void ReadConsole(const OptionRow& row) {
    if (CommandLinePipeName(row)) {
        return;
    }
    std::uint16_t unit = 0xFFFF, width = 80, height = 24;
    bool flag = false;
    std::optional<std::string> unitName;
    std::string_view name, value;
    while (NextOption(name, value)) {
        if (NumberOption("UNIT", name, value, unit, 10, 0, 99) ||
            NumberOption("WIDTH", name, value, width, 10, 0, 0) ||
            NumberOption("HEIGHT", name, value, height, 10, 2, 254) ||
            UnitNameOption(name, value, unitName) || FlagOption("8BIT", name, value, flag) ||
            FlagOption("AUTOWRAP", name, value, flag) || FlagOption("CURSOR", name, value, flag)) {
            continue;
        }
        InvalidOption();
    }
    Require(unit <= 99 || unit == 0xFFFF, "unit out of range");
    Require(height >= 2 && height <= 254, "height out of range");
    ConfigLexer& lexer = *ConfigLexerInstance();
    if (lexer.token != "=") {
        ConfigError("Expected '='");
    }
    if (!LexerNextToken(lexer)) {
        ConfigError("No argument following '='");
    }
    const std::string pipeName = RestOfLine();
    Require(pipeName.size() <= kMaxSubstitutedLine, "pipe name longer than a line", pipeName);
}

bool EndsWithPipeFolder(const std::string& prefix) {
    if (prefix.size() < 6) {
        return false;
    }
    std::string end = prefix.substr(prefix.size() - 6);
    for (char& c : end) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return end == "\\PIPE\\";
}

void CheckOptions() {
    const GlobalOptions& options = Options();
    Require(options.intercharDelay <= 1000, "intercharacter delay above 1000");
    Require(options.returnDelay <= 10000, "return delay above 10000");
    const std::uint32_t priority = options.priorityClassValue;
    Require(priority == 0x20 || priority == 0x40 || priority == 0x80 || priority == 0x100,
            "priority class");
    Require(options.serverPrefix && StartsWith(*options.serverPrefix, "\\\\") &&
                EndsWithPipeFolder(*options.serverPrefix),
            "server prefix", options.serverPrefix.value_or("(unset)"));
    // Text options are not bounded by one line: an INCLUDE on the option's
    // line switches to the included file, and the rest of the line read
    // for the option runs on into that file's first line.
}

void CheckReport(std::string_view report) {
    Require(ConfigLexerInstance() == nullptr, "the lexer outlived its pass");
    Require(StartsWith(report, "Error in line "), "report without its place", report);
    // Place, line, marker and message: at least three new-lines.
    Require(std::count(report.begin(), report.end(), '\n') >= 3, "report cut short", report);
}

// The lexer alone, as the configuration file sets it up.
void WalkTokens() {
    std::unique_ptr<ConfigLexer> lexer;
    LexerCreate(lexer);
    ApplyConfigurationFileSettings(*lexer);
    if (!LexerOpen(*lexer, kestra::fuzz::ScratchPath(kFileNames[0]))) {
        return;
    }
    while (LexerReadLine(*lexer)) {
        std::size_t depth = 0;
        for (const ConfigLexer* record = lexer.get(); record; record = record->child.get()) {
            ++depth;
        }
        Require(depth <= kFileNames.size(), "an INCLUDE chain deeper than the files");
        const ConfigLexer& inner = LexerInnermost(*lexer);
        Require(inner.line.size() <= kMaxSubstitutedLine, "line longer than 255", inner.line);
        while (LexerNextToken(*lexer)) {
            const ConfigLexer& at = LexerInnermost(*lexer);
            Require(at.tokenStart <= at.cursor && at.cursor <= at.line.size(),
                    "token positions outside the line", at.line);
            Require(lexer->token.size() <= at.line.size(), "token longer than its line");
        }
        Require(lexer->token.empty(), "token text after the end of a line");
    }
    LexerClose(*lexer);
    LexerDestroy(lexer);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Included files are found in the program directory first.
    static const bool ready = [] {
        SetProgramDirectory(kestra::fuzz::ScratchDirectory());
        return true;
    }();
    (void)ready;
    const std::vector<std::string> pieces = kestra::fuzz::SplitAtNul(data, size, kFileNames.size());
    for (std::size_t i = 0; i < kFileNames.size(); ++i) {
        kestra::fuzz::PutScratchFile(kFileNames[i], i < pieces.size() ? &pieces[i] : nullptr);
    }

    ResetOptions();
    ResetHooks();
    Options().configFilePath = kestra::fuzz::ScratchPath(kFileNames[0]);
    Hooks().defineConsole = ReadConsole;
    Hooks().hasCommandInterpreter = [] { return true; };
    Hooks().runCommandLine = [](const std::string& commandLine) {
        Require(StartsWith(commandLine, "net use \\\\"), "log-on command", commandLine);
        return 0;
    };
    kestra::platform::ScopedFatalCapture capture;
    try {
        ConfigPass(1);
        ConfigPass(2);
        CheckOptions();
    } catch (const kestra::platform::FatalError& error) {
        CheckReport(error.message());
    }
    try {
        WalkTokens();
    } catch (const kestra::platform::FatalError& error) {
        Require(StartsWith(error.message(), "Error in line "), "lexer report", error.message());
    }
    return 0;
}
