#include "shell/SplashBitmap.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace kestra::shell {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
// A splash picture larger than this is no splash picture; the limit keeps the
// decoded image (four bytes a pixel) bounded whatever the header says.
constexpr std::int64_t kMaxPixels = 4096 * 4096;
constexpr std::uint64_t kMaxFileSize = kMaxPixels * 4 + 65536;

std::uint32_t Read16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8;
}

std::uint32_t Read32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

std::uint32_t Opaque(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    return 0xFF000000u | red << 16 | green << 8 | blue;
}

// Colour masks of a 16- or 32-bit bitmap: the defaults (5-5-5 and 8-8-8), or
// the three masks that follow the information header.
struct Masks {
    std::uint32_t red, green, blue;
};

std::uint32_t Channel(std::uint32_t value, std::uint32_t mask) {
    if (mask == 0) {
        return 0;
    }
    int shift = 0;
    while ((mask >> shift & 1) == 0) {
        ++shift;
    }
    std::uint32_t field = (value & mask) >> shift;
    std::uint32_t maximum = mask >> shift;
    return maximum == 0 ? 0 : field * 255 / maximum;
}

} // namespace

SplashResult DecodeSplashBitmap(std::span<const std::uint8_t> file) {
    if (file.size() < kFileHeaderSize) {
        return std::string(kFileReadError);
    }
    if (file[0] != 'B' || file[1] != 'M') {
        return std::string(kInvalidBitmap);
    }
    const std::uint32_t claimedSize = Read32(file, 2);
    if (claimedSize < kFileHeaderSize) {
        return std::string(kInvalidBitmap);
    }
    // The contents are what the header says follows it; a file that holds
    // fewer bytes than that fails as a short read would.
    if (claimedSize > file.size()) {
        return std::string(kFileReadError);
    }
    const std::span<const std::uint8_t> contents =
        file.subspan(kFileHeaderSize, claimedSize - kFileHeaderSize);
    if (contents.size() < 4) {
        return std::string(kInvalidBitmap);
    }
    if (Read32(contents, 0) != kInfoHeaderSize) {
        return std::string(kUnsupportedBitmap);
    }
    if (contents.size() < kInfoHeaderSize) {
        return std::string(kInvalidBitmap);
    }
    const auto width = static_cast<std::int32_t>(Read32(contents, 4));
    const auto storedHeight = static_cast<std::int32_t>(Read32(contents, 8));
    const std::uint32_t planes = Read16(contents, 12);
    const std::uint32_t bitCount = Read16(contents, 14);
    const std::uint32_t compression = Read32(contents, 16);
    const std::uint32_t coloursUsed = Read32(contents, 32);
    const std::uint32_t pixelOffset = Read32(file, 10);

    constexpr std::uint32_t kRgb = 0, kBitfields = 3;
    const bool known = bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 ||
                       bitCount == 24 || bitCount == 32;
    if (planes != 1 || !known ||
        !(compression == kRgb ||
          (compression == kBitfields && (bitCount == 16 || bitCount == 32)))) {
        return std::string(kUnsupportedBitmap);
    }
    const std::int64_t height = storedHeight < 0 ? -std::int64_t{storedHeight} : storedHeight;
    if (width <= 0 || height == 0) {
        return std::string(kInvalidBitmap);
    }
    if (std::int64_t{width} * height > kMaxPixels) {
        return std::string(kUnsupportedBitmap);
    }

    std::size_t tableAt = kInfoHeaderSize;
    Masks masks = bitCount == 16 ? Masks{0x7C00, 0x03E0, 0x001F} : Masks{0xFF0000, 0xFF00, 0xFF};
    if (compression == kBitfields) {
        if (contents.size() < tableAt + 12) {
            return std::string(kInvalidBitmap);
        }
        masks = {Read32(contents, tableAt), Read32(contents, tableAt + 4),
                 Read32(contents, tableAt + 8)};
        tableAt += 12;
    }

    SplashBitmap bitmap;
    std::uint64_t colours = coloursUsed;
    if (colours == 0 && bitCount <= 8) {
        colours = 1u << bitCount;
    }
    if (colours > 0) {
        if (colours > 256 || tableAt + colours * 4 > contents.size()) {
            return std::string(kInvalidBitmap);
        }
        for (std::size_t i = 0; i < colours; ++i) {
            std::size_t at = tableAt + i * 4;
            bitmap.palette.push_back(Opaque(contents[at + 2], contents[at + 1], contents[at]));
        }
    }

    // Pixel rows are padded to four bytes; all of them must lie inside the
    // contents, starting where the file header says.
    const std::uint64_t stride =
        (std::uint64_t{static_cast<std::uint32_t>(width)} * bitCount + 31) / 32 * 4;
    if (pixelOffset < kFileHeaderSize) {
        return std::string(kInvalidBitmap);
    }
    const std::uint64_t pixelsAt = pixelOffset - kFileHeaderSize;
    if (pixelsAt > contents.size() || stride * height > contents.size() - pixelsAt) {
        return std::string(kInvalidBitmap);
    }

    bitmap.width = width;
    bitmap.height = static_cast<int>(height);
    bitmap.pixels.resize(static_cast<std::size_t>(width) * height);
    const bool bottomUp = storedHeight > 0;
    for (std::int64_t y = 0; y < height; ++y) {
        const std::int64_t storedRow = bottomUp ? height - 1 - y : y;
        const std::uint8_t* row = contents.data() + pixelsAt + storedRow * stride;
        std::uint32_t* out = bitmap.pixels.data() + y * width;
        for (std::int32_t x = 0; x < width; ++x) {
            std::uint32_t colour = 0;
            switch (bitCount) {
            case 1:
            case 4:
            case 8: {
                const unsigned perByte = 8 / bitCount;
                const unsigned shift = (perByte - 1 - x % perByte) * bitCount;
                const unsigned index = row[x / perByte] >> shift & ((1u << bitCount) - 1);
                colour = index < bitmap.palette.size() ? bitmap.palette[index] : Opaque(0, 0, 0);
                break;
            }
            case 16: {
                std::uint32_t value = row[x * 2] | row[x * 2 + 1] << 8;
                colour = Opaque(Channel(value, masks.red), Channel(value, masks.green),
                                Channel(value, masks.blue));
                break;
            }
            case 24: colour = Opaque(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]); break;
            case 32: {
                std::uint32_t value = Read32({row + x * 4, 4}, 0);
                colour = Opaque(Channel(value, masks.red), Channel(value, masks.green),
                                Channel(value, masks.blue));
                break;
            }
            }
            out[x] = colour;
        }
    }
    return bitmap;
}

SplashResult ReadSplashBitmap(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         std::fclose);
    if (!file) {
        return std::string(std::strerror(errno));
    }
    // Read no more than the header says the file holds, and never more than a
    // picture of the largest accepted size could need: a header that lies
    // about its size costs nothing.
    std::vector<std::uint8_t> bytes(kFileHeaderSize);
    if (std::fread(bytes.data(), 1, kFileHeaderSize, file.get()) != kFileHeaderSize) {
        return std::string(std::ferror(file.get()) ? std::strerror(errno) : kFileReadError);
    }
    const std::uint64_t claimed = Read32(bytes, 2);
    const std::uint64_t limit = std::min(claimed, kMaxFileSize + 1);
    std::uint8_t chunk[65536];
    while (bytes.size() < limit) {
        const std::size_t want = std::min<std::uint64_t>(sizeof chunk, limit - bytes.size());
        const std::size_t got = std::fread(chunk, 1, want, file.get());
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (got < want) {
            if (std::ferror(file.get())) {
                return std::string(std::strerror(errno));
            }
            break;
        }
    }
    if (bytes.size() > kMaxFileSize) {
        return std::string(kUnsupportedBitmap);
    }
    return DecodeSplashBitmap(bytes);
}

} // namespace kestra::shell
