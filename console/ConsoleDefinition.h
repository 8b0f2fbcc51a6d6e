#pragma once

#include "config/OptionTable.h"

// Defining a console: the CON command of the configuration file, or one pipe
// name from the command line. Either way the console's connection is opened,
// its emulator built, its reader started and the console registered with the
// frame; every failure ends the program with its message.
namespace kestra::console {

// The CON command's handler. The row carries the pipe name when the console
// comes from the command line (no options are read then); otherwise the
// options and the pipe name are read from the configuration lexer:
//
//     CON [/UNIT:n] [/UNITNAME:name] [/8BIT:f] [/WIDTH:80|132] [/AUTOWRAP:f]
//         [/CURSOR:f] [/HEIGHT:2-254] [/VT102:f] = pipe-name
void DefineConsole(const config::OptionRow& row);

// Makes DefineConsole the handler of the CON command.
void InstallConsoleDefinition();

} // namespace kestra::console
