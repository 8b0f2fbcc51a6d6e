#pragma once

#include "config/ConfigLexer.h"

#include <optional>
#include <string>
#include <string_view>

// The configuration file interpreter. The file is read twice at start-up:
// pass 1 sets the global options and logs on to the server when a user is
// named, pass 2 runs the CON commands. A keyword in neither table is
// reported in pass 1, before any console exists; everything a CON line says
// is looked at only in pass 2, after every option took effect. With pipe
// names on the command line no file is read and pass 2 defines one console
// per name.
namespace kestra::config {

// Runs pass 1 or pass 2 over the configuration file (Options().configFilePath).
void ConfigPass(int pass);

// One line given as text, read and run as pass 2 runs a line of the
// configuration file (so a CON line defines a console), after start-up. An
// error that would end the program comes back as its message (without the
// location) and changes nothing; nullopt when the line was run. Window
// thread, outside the passes.
std::optional<std::string> RunConfigurationLine(std::string_view line);

// The lexer of the configuration file while a pass runs; null otherwise. The
// Fatal Error dialog walks it to open the file at the place of an error.
ConfigLexer* ConfigLexerInstance();

// The located report of the configuration lexer, ending with the message.
// Outside a pass (a console named on the command line) there is no place to
// point at, and the message alone goes to the exit routine.
[[noreturn]] void ConfigError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The current token and every further token of the line, each after the
// separators that stood before it as written; trailing separators and a
// comment are left out. Quotes and escapes are resolved in each token. Reads
// the line to its end.
std::string RestOfLine();

} // namespace kestra::config
