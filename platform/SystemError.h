#pragma once

#include <optional>
#include <string>

namespace kestra::platform {

// The system's text for an error number, with trailing blanks and line ends
// removed so that it fits inside a message; nullopt when the system has no
// text for the number.
std::optional<std::string> SystemErrorText(int error);
// The same, or "System error code N" when the system has no text.
std::string SystemErrorTextOrCode(int error);

} // namespace kestra::platform
