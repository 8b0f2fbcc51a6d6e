#pragma once

#include "shell/ShellConfiguration.h"

#include <memory>

namespace kestra::shell {

// The shell's view of the configuration interpreter, the command line and
// their process-wide options.
std::unique_ptr<ShellConfiguration> BindConfiguration();

} // namespace kestra::shell
