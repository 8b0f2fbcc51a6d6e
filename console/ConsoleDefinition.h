#pragma once

#include "config/OptionTable.h"
#include "console/ConsoleRecord.h"

#include <string>

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
//         [/CURSOR:f] [/HEIGHT:2-254] [/TELNET:f] [/RECONNECT:f] [/VT102:f]
//         [/CAPTURE:file | /CAPTURETEXT:file] = pipe-name
void DefineConsole(const config::OptionRow& row);

// What Connect... asks for: a console as a CON line would define it.
struct ConnectRequest {
    std::string pipeName; // as written after a CON line's "="
    std::string unitName; // empty: none (the pipe path names the console)
    unsigned rows = kDefaultRows;
    unsigned width = kDefaultWidth;
    bool eightBit = false;
    bool autowrap = false;
    bool cursor = true;
    bool telnet = false;
    bool reconnect = false;
};

// The CON line of a request, the unit name quoted so that it is read back as
// typed; running it defines the console with the CON line's checks and
// messages (config::RunConfigurationLine).
std::string ConnectLine(const ConnectRequest& request);

// Makes DefineConsole the handler of the CON command.
void InstallConsoleDefinition();

} // namespace kestra::console
