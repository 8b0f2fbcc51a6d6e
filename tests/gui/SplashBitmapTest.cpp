#include "GuiTestSupport.h"

namespace kestra::shell::testing {

namespace {

void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    std::memcpy(&out[at], &value, 4); // little-endian, as the file is
}

// A bitmap file: 14-byte file header, information header of infoSize bytes,
// colour table (or colour masks), then the pixel rows, already padded.
struct BitmapFields {
    std::uint32_t bitCount = 24;
    std::int32_t width = 2;
    std::int32_t height = 2;
    std::vector<std::uint8_t> pixels = {0xFF, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0, 0,  // blue, white
                                        0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0, 0}; // red, green
    std::vector<std::uint32_t> table = {};                                         // 0x00RRGGBB
    std::uint32_t coloursUsed = 0;
    std::uint32_t compression = 0;
    std::uint32_t infoSize = 40;
};

std::vector<std::uint8_t> Build(const BitmapFields& fields) {
    const std::size_t offset = 14 + fields.infoSize + fields.table.size() * 4;
    std::vector<std::uint8_t> out(offset + fields.pixels.size());
    out[0] = 'B', out[1] = 'M';
    Put32(out, 2, static_cast<std::uint32_t>(out.size()));
    Put32(out, 10, static_cast<std::uint32_t>(offset));
    Put32(out, 14, fields.infoSize);
    Put32(out, 18, static_cast<std::uint32_t>(fields.width));
    Put32(out, 22, static_cast<std::uint32_t>(fields.height));
    Put32(out, 26, 1 | fields.bitCount << 16); // one plane, then the bits a pixel
    Put32(out, 30, fields.compression);
    Put32(out, 46, fields.coloursUsed);
    for (std::size_t i = 0; i < fields.table.size(); ++i) {
        Put32(out, 14 + fields.infoSize + i * 4, fields.table[i]);
    }
    std::copy(fields.pixels.begin(), fields.pixels.end(), out.begin() + offset);
    return out;
}

constexpr std::uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;
constexpr std::uint32_t kWhite = 0xFFFFFFFF, kBlack = 0xFF000000, kTeal = 0xFF123456;

// The default picture with one field changed, or 5 bytes short of its size.
std::vector<std::uint8_t> Patched(std::size_t at, std::uint32_t value) {
    std::vector<std::uint8_t> file = Build({});
    at == 0 ? file.resize(file.size() - 5) : Put32(file, at, value);
    return file;
}

} // namespace

// Pictures come out top row first, whichever way they are stored, indexed
// ones in their table's colours, 16-bit ones by their masks; files that are
// broken or lie are refused with the reason.
TEST(SplashBitmap, DecodesEveryStoredFormAndRefusesFilesThatAreBrokenOrLie) {
    BitmapFields topDown{24, 2, -2};
    std::rotate(topDown.pixels.begin(), topDown.pixels.begin() + 8, topDown.pixels.end());
    const std::vector<std::uint32_t> table = {0, 0x123456};
    const struct {
        std::vector<std::uint8_t> file;
        std::vector<std::uint32_t> pixels;
        const char* error = "";
    } rows[] = {
        // clang-format off
        {Build({}), {kRed, kGreen, kBlue, kWhite}},
        {Build(topDown), {kRed, kGreen, kBlue, kWhite}},
        {Build({1, 3, 1, {0b10100000, 0, 0, 0}, table}), {kTeal, kBlack, kTeal}},
        {Build({1, 1, 2, {0x80, 0, 0, 0, 0, 0, 0, 0}, table}), {kBlack, kTeal}},
        {Build({8, 3, 1, {1, 0, 1, 0}, table, 2}), {kTeal, kBlack, kTeal}},
        {Build({16, 2, 1, {0x00, 0xF8, 0xFF, 0xFF}, {0xF800, 0x07E0, 0x001F}, 0, 3}), {kRed, kWhite}},
        {{'B', 'M', 0, 0}, {}, kFileReadError},                         // shorter than the file header
        {Build({.infoSize = 108}), {}, kUnsupportedBitmap},            // a later information header
        {Build({.bitCount = 2}), {}, kUnsupportedBitmap},
        {Build({.compression = 1}), {}, kUnsupportedBitmap},           // run-length encoded
        {Patched(0, 0), {}, kFileReadError},
        {Patched(2, 0xFFFFFFF0), {}, kFileReadError},        // gigabytes
        {Patched(10, 70), {}, kInvalidBitmap},                          // pixels begin at the end
        {Patched(10, 3), {}, kInvalidBitmap},                // pixels begin in the file header
        {Build({.width = 0x7FFFFFFF}), {}, kUnsupportedBitmap},
        {Build({.bitCount = 8, .coloursUsed = 100000}), {}, kInvalidBitmap}, // table past the end
        // clang-format on
    };
    for (const auto& row : rows) {
        const SplashResult result = DecodeSplashBitmap(row.file);
        const auto* bitmap = std::get_if<SplashBitmap>(&result);
        EXPECT_EQ(bitmap ? "" : std::get<std::string>(result), row.error) << &row - rows;
        EXPECT_EQ(bitmap ? bitmap->pixels : std::vector<std::uint32_t>{}, row.pixels)
            << &row - rows;
        EXPECT_EQ(bitmap ? bitmap->width * bitmap->height : 0, static_cast<int>(row.pixels.size()));
    }
}

} // namespace kestra::shell::testing
