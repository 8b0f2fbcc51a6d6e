// A splash bitmap file of any content. The decoder either refuses it with
// one of its three texts, or gives a picture whose pixels are exactly width
// times height, no more than the file's bytes can hold, all opaque, with a
// colour table of at most 256 entries. Reading the same bytes from a file
// gives the same result as decoding them in memory.

#include "FuzzSupport.h"
#include "shell/SplashBitmap.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

using namespace kestra::shell;
using kestra::fuzz::Require;

bool SameResult(const SplashResult& left, const SplashResult& right) {
    if (left.index() != right.index()) {
        return false;
    }
    if (const auto* text = std::get_if<std::string>(&left)) {
        return *text == std::get<std::string>(right);
    }
    const auto& a = std::get<SplashBitmap>(left);
    const auto& b = std::get<SplashBitmap>(right);
    return a.width == b.width && a.height == b.height && a.pixels == b.pixels &&
           a.palette == b.palette;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const SplashResult decoded = DecodeSplashBitmap({data, size});
    if (const auto* text = std::get_if<std::string>(&decoded)) {
        Require(*text == kFileReadError || *text == kInvalidBitmap || *text == kUnsupportedBitmap,
                "unknown failure text", *text);
    } else {
        const SplashBitmap& bitmap = std::get<SplashBitmap>(decoded);
        Require(bitmap.width > 0 && bitmap.height > 0, "empty picture accepted");
        const std::uint64_t pixels = std::uint64_t(bitmap.width) * std::uint64_t(bitmap.height);
        Require(bitmap.pixels.size() == pixels, "pixel count");
        // One bit a pixel is the densest format: a picture never has more
        // pixels than the file has bits.
        Require(pixels <= std::uint64_t(size) * 8, "more pixels than the file can hold");
        Require(bitmap.palette.size() <= 256, "colour table above 256 entries");
        for (const std::uint32_t pixel : bitmap.pixels) {
            Require(pixel >> 24 == 0xFF, "transparent pixel");
        }
    }

    const std::string file(reinterpret_cast<const char*>(data), size);
    kestra::fuzz::PutScratchFile("splash.bmp", &file);
    Require(SameResult(ReadSplashBitmap(kestra::fuzz::ScratchPath("splash.bmp")), decoded),
            "reading the file differs from decoding its bytes");
    return 0;
}
