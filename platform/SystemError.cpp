#include "platform/SystemError.h"

#include <array>
#include <cstring>

namespace kestra::platform {

namespace {

// strerror_r comes in two shapes; overloads pick whichever the C library has.
[[maybe_unused]] const char* ErrorTextFrom(int result, const char* buffer) {
    return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* ErrorTextFrom(const char* result, const char*) {
    return result;
}

} // namespace

std::optional<std::string> SystemErrorText(int error) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 32)
    // The C library makes up "Unknown error N" for numbers it does not know;
    // a caller wants to know that there is no text and say so its own way.
    if (strerrorname_np(error) == nullptr) {
        return std::nullopt;
    }
#endif
    std::array<char, 256> buffer{};
    const char* text =
        ErrorTextFrom(strerror_r(error, buffer.data(), buffer.size()), buffer.data());
    if (text == nullptr || *text == '\0' || std::strncmp(text, "Unknown error", 13) == 0) {
        return std::nullopt;
    }
    std::string result(text);
    while (!result.empty() && (result.back() == ' ' || result.back() == '\n' ||
                               result.back() == '\r' || result.back() == '\t')) {
        result.pop_back();
    }
    return result;
}

std::string SystemErrorTextOrCode(int error) {
    if (std::optional<std::string> text = SystemErrorText(error)) {
        return *text;
    }
    return "System error code " + std::to_string(error);
}

} // namespace kestra::platform
