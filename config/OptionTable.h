#pragma once

#include "config/GlobalOptions.h"
#include "parsing/AsciiText.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

// The keywords of the configuration file: the global options (Name = value)
// and the commands (CON ...), each a row that names its handler, what the
// handler sets, the passes that act on it and whether the platform must take
// the log-on options.
namespace kestra::config {

struct OptionRow;
// Reads the value of its row from the configuration lexer and stores it.
using RowHandler = void (*)(const OptionRow& row);

// PasteDelays sets two options from one line.
struct PasteDelayTargets {
    std::uint16_t GlobalOptions::*intercharDelay;
    std::uint16_t GlobalOptions::*returnDelay;
};

// What a row's handler sets. A command row has none, except that a console
// named on the command line is defined from a copy of the CON row whose
// target is the pipe name.
using OptionTarget =
    std::variant<std::monostate, bool GlobalOptions::*, std::uint32_t GlobalOptions::*,
                 std::optional<std::string> GlobalOptions::*, PasteDelayTargets, std::string_view>;

enum Pass : unsigned { kPass1 = 1, kPass2 = 2 }; // bits of OptionRow::passes

struct OptionRow {
    std::string_view name; // compared without regard to case
    RowHandler handler;
    OptionTarget target;
    unsigned passes;
    bool ntOnly;
};

// Option handlers; each reads the current token of the configuration lexer.
void SetFlag(const OptionRow& row);        // ON, OFF, YES, NO
void SetPriority(const OptionRow& row);    // IDLE, LOW, NORMAL, HIGH, REALTIME
void SetServer(const OptionRow& row);      // a server name
void SetString(const OptionRow& row);      // the rest of the line
void SetPasteDelays(const OptionRow& row); // one or two numbers
void SetHistory(const OptionRow& row);     // a number of lines
// The CON command: hands the row to the console layer's definition
// (ConfigHooks::defineConsole).
void DefineConsoleRow(const OptionRow& row);

inline constexpr PasteDelayTargets kPasteDelays{&GlobalOptions::intercharDelay,
                                                &GlobalOptions::returnDelay};

// clang-format off
inline constexpr OptionRow kOptionTable[] = {
    // name            handler          target                                      passes  NT only
    {"QuietMode",      SetFlag,         &GlobalOptions::quietMode,                  kPass1, false},
    {"PriorityClass",  SetPriority,     &GlobalOptions::priorityClassValue,         kPass1, false},
    {"Server",         SetServer,       &GlobalOptions::serverPrefix,               kPass1, false},
    {"Title",          SetString,       &GlobalOptions::title,                      kPass1, false},
    {"EditCommand",    SetString,       &GlobalOptions::editCommand,                kPass1, false},
    {"SplashGraphic",  SetString,       &GlobalOptions::splashGraphic,              kPass1, false},
    {"SplashBorder",   SetFlag,         &GlobalOptions::splashBorder,               kPass1, false},
    {"PasteDelays",    SetPasteDelays,  kPasteDelays,                               kPass1, false},
    {"History",        SetHistory,      &GlobalOptions::historyLines,               kPass1, false},
    {"User",           SetString,       &GlobalOptions::user,                       kPass1, true},
    {"Password",       SetString,       &GlobalOptions::password,                   kPass1, true},
    {"Reconnect",      SetFlag,         &GlobalOptions::reconnect,                  kPass2, false},
    // The default of the CON lines that follow it, so read where they are.
    {"VT102",          SetFlag,         &GlobalOptions::vt102,                      kPass2, false},
};

inline constexpr OptionRow kCommandTable[] = {
    // name            handler           target            passes  NT only
    {"CON",            DefineConsoleRow, std::monostate{}, kPass2, false},
};
// clang-format on

// The first row whose name equals name, case ignored; null when none does.
template <typename Row>
const Row* TableLookup(std::string_view name, std::span<const Row> table) {
    for (const Row& row : table) {
        if (EqualIgnoringCase(row.name, name)) {
            return &row;
        }
    }
    return nullptr;
}

// The pipe name a command-line console carries in its row; nullopt for a
// console defined by a CON line, whose options and pipe name the lexer holds.
std::optional<std::string_view> CommandLinePipeName(const OptionRow& row);

// The prefix put before pipe names from a Server value: \\host\pipe\ for
// host, \\host, \\host\ and \\host\pipe; a value already ending in
// "\pipe\" (any case) is kept.
std::string ServerPrefixFor(std::string_view server);
// The machine part of a prefix: \\host\pipe\ gives \\host.
std::string ServerRoot(std::string_view prefix);

} // namespace kestra::config
