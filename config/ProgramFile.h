#pragma once

#include <string>
#include <string_view>

// Where the program's own files are looked for: the configuration file, the
// files it includes and the splash picture.
namespace kestra::config {

// The directory of the running executable, without a trailing '/'.
std::string ProgramDirectory();
// Overrides the directory found from the executable (tests, and tools that
// stand in for the terminal program); the empty string restores it.
void SetProgramDirectory(std::string directory);

// The first hit of: the program directory (only for a name without a
// directory), name itself, the directories listed in KESTRA, those in PATH,
// those in the variable named by name's extension ("CNF" for x.cnf). When
// nothing is found, name unchanged: opening it then fails and is reported by
// the caller.
std::string FindProgramFile(std::string_view name);

} // namespace kestra::config
