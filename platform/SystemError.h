#pragma once

#include <optional>
#include <string>

namespace kestra::platform {

// The system's text for an error number, with trailing blanks and line ends
// removed so that it fits inside a message; nullopt when the system has no
// text for the number.
std::optional<std::string> SystemErrorText(int error);

} // namespace kestra::platform
