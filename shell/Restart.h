#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// Starting the program again: the arguments it was started with (without any
// earlier /W:, which the command line never keeps) and "/W:" with this
// process's id in eight upper-case hexadecimal digits, so that the new
// instance waits for this one to end before it reads anything.
namespace kestra::shell {

std::vector<std::string> RestartArguments(std::vector<std::string> arguments, pid_t oldProcess);

// Starts the new instance; a failure gives up the restart silently.
void Restart(const std::vector<std::string>& arguments);

} // namespace kestra::shell
