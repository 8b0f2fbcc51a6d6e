#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace kestra::shell {

// A splash picture decoded from a Windows bitmap file, rows top first.
struct SplashBitmap {
    int width = 0;
    int height = 0;                     // always positive, whichever way the file stores rows
    std::vector<std::uint32_t> pixels;  // 0xAARRGGBB, width * height of them
    std::vector<std::uint32_t> palette; // the file's colour table, empty for direct colour
};

// The failure texts a user sees, each followed by a new line and the file name.
inline constexpr const char* kFileReadError = "File read error";
inline constexpr const char* kInvalidBitmap = "Invalid BMP graphic file";
inline constexpr const char* kUnsupportedBitmap = "Unsupported BMP graphic format";

using SplashResult = std::variant<SplashBitmap, std::string>;

// Decodes an uncompressed bitmap with a 40-byte information header. Never
// reads or allocates past what the bytes really hold: a header that claims
// more than the file has is a read error, offsets and sizes that do not fit
// make the file invalid.
SplashResult DecodeSplashBitmap(std::span<const std::uint8_t> file);

// Reads the file and decodes it; an open or read failure gives the system's
// text for the error.
SplashResult ReadSplashBitmap(const std::string& path);

} // namespace kestra::shell
