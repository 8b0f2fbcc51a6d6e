#include "config/OptionTable.h"

#include "config/ConfigHooks.h"
#include "config/ConfigInterpreter.h"
#include "parsing/Numbers.h"
#include "platform/Exit.h"
#include "platform/Priority.h"

namespace kestra::config {
namespace {

ConfigLexer& Lexer() {
    ConfigLexer* lexer = ConfigLexerInstance();
    if (lexer == nullptr) {
        platform::Fatal("A configuration option was read outside the configuration file");
    }
    return *lexer;
}

template <typename Target>
Target& TargetOf(const OptionRow& row) {
    return Options().*std::get<Target GlobalOptions::*>(row.target);
}

struct PriorityName {
    std::string_view name;
    platform::PriorityClass priorityClass;
};

// clang-format off
constexpr PriorityName kPriorityNames[] = {
    // name        class
    {"IDLE",       platform::PriorityClass::Idle},
    {"LOW",        platform::PriorityClass::Idle},
    {"NORMAL",     platform::PriorityClass::Normal},
    {"HIGH",       platform::PriorityClass::High},
    {"REALTIME",   platform::PriorityClass::Realtime},
};
// clang-format on

// One delay of PasteDelays from the current token.
std::uint16_t ReadDelay(ConfigLexer& lexer, const char* name, unsigned long maximum) {
    std::uint16_t delay = 0;
    if (!parsing::ReadNumber16(lexer.token, delay, 10)) {
        LexerError(lexer, "Expected a decimal number");
    }
    if (delay > maximum) {
        LexerError(lexer, "%s must be from %lu to %lu", name, 0ul, maximum);
    }
    return delay;
}

} // namespace

void SetFlag(const OptionRow& row) {
    ConfigLexer& lexer = Lexer();
    const std::string& value = lexer.token;
    bool& target = TargetOf<bool>(row);
    if (EqualIgnoringCase(value, "ON") || EqualIgnoringCase(value, "YES")) {
        target = true;
    } else if (EqualIgnoringCase(value, "OFF") || EqualIgnoringCase(value, "NO")) {
        target = false;
    } else {
        LexerError(lexer, "Option value must be ON, OFF, YES or NO");
    }
}

void SetPriority(const OptionRow& row) {
    const std::string& value = Lexer().token;
    for (const PriorityName& entry : kPriorityNames) {
        if (EqualIgnoringCase(value, entry.name)) {
            TargetOf<std::uint32_t>(row) = static_cast<std::uint32_t>(entry.priorityClass);
            return;
        }
    }
    ConfigError("Invalid option");
}

void SetServer(const OptionRow& row) {
    TargetOf<std::optional<std::string>>(row) = ServerPrefixFor(Lexer().token);
}

void SetString(const OptionRow& row) {
    TargetOf<std::optional<std::string>>(row) = RestOfLine();
}

void SetPasteDelays(const OptionRow& row) {
    ConfigLexer& lexer = Lexer();
    const auto& targets = std::get<PasteDelayTargets>(row.target);
    Options().*targets.intercharDelay = ReadDelay(lexer, "Intercharacter delay", 1000);
    // The return delay is optional and keeps its value when it is left out.
    if (LexerNextToken(lexer)) {
        Options().*targets.returnDelay = ReadDelay(lexer, "Return delay", 10000);
    }
}

void SetHistory(const OptionRow& row) {
    ConfigLexer& lexer = Lexer();
    std::uint32_t lines = 0;
    if (!parsing::ReadNumber(lexer.token, lines, 10)) {
        LexerError(lexer, "Expected a decimal number");
    }
    if (lines > kMaxHistoryLines) {
        LexerError(lexer, "History must be from 0 to %lu",
                   static_cast<unsigned long>(kMaxHistoryLines));
    }
    TargetOf<std::uint32_t>(row) = lines;
}

void DefineConsoleRow(const OptionRow& row) {
    const auto& define = Hooks().defineConsole;
    if (!define) {
        platform::Fatal("CON: no console layer is installed to define consoles");
    }
    define(row);
}

std::optional<std::string_view> CommandLinePipeName(const OptionRow& row) {
    if (const auto* name = std::get_if<std::string_view>(&row.target)) {
        return *name;
    }
    return std::nullopt;
}

std::string ServerPrefixFor(std::string_view server) {
    std::string prefix = server.starts_with("\\\\") ? "" : "\\\\";
    prefix += server;
    if (!prefix.ends_with('\\')) {
        prefix += '\\';
    }
    if (prefix.size() < 7 || !EndsWithIgnoringCase(prefix, "\\pipe\\")) {
        prefix += "pipe\\";
    }
    return prefix;
}

std::string ServerRoot(std::string_view prefix) {
    const std::size_t cut = prefix.size() > 2 ? prefix.find('\\', 2) : std::string_view::npos;
    return std::string(prefix.substr(0, cut));
}

} // namespace kestra::config
