#pragma once

#include "platform/PipeName.h"

#include <optional>
#include <string>

namespace kestra::platform {

// A socket in the pipe directory is only as private as the directory: whoever
// may create entries there may listen under a console's name and read every
// key typed into it. So the directory must be a real directory (not a
// symbolic link), owned by the user, with no permission for group or others.

// Why the directory of local pipes must not be used, as the whole message
// (the directory, what is wrong with it, what to do); nullopt when it is the
// user's own, or when it does not exist (connecting then fails on its own).
std::optional<std::string> PipeDirectoryProblem(const PipeDirectorySources& sources);

// For a server: makes the pipe directory when it is missing (mode 0700, and
// so its missing parents), then checks it as above, since another process
// may have made it first.
std::optional<std::string> PreparePipeDirectory(const PipeDirectorySources& sources);

} // namespace kestra::platform
