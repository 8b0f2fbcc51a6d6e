#pragma once

#include "termdef/TerminalDefinition.h"

#include <string_view>

// The process's terminal definition, read from its file while the first
// console is created and shared by every console afterwards.
namespace kestra::termdef {

// The process-wide definition. Tests reset it to its initial state.
TerminalDefinition& TheTerminalDefinition();
void ResetTerminalDefinition();

// Reads the definition file (found as configuration files are; "VT100.CNF"
// when fileName is empty) into the process-wide definition, once per
// process: later calls only return it. Any error in the file ends the
// program with the located report.
const TerminalDefinition& LoadTerminalDefinition(std::string_view fileName);

} // namespace kestra::termdef
