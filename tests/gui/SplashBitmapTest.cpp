#include "GuiTestSupport.h"

namespace kestra::shell::testing {

namespace {

void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[at + i] = value >> (8 * i) & 0xFF;
    }
}

// A bitmap file: 14-byte file header, information header of infoSize bytes,
// colour table (or colour masks), then the pixel rows, already padded.
struct Spec {
    std::uint32_t bitCount = 24;
    std::int32_t width = 2;
    std::int32_t height = 2;
    std::vector<std::uint8_t> pixels = {0xFF, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0, 0,  // blue, white
                                        0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0, 0}; // red, green
    std::vector<std::uint32_t> table;                                              // 0x00RRGGBB
    std::uint32_t coloursUsed = 0;
    std::uint32_t compression = 0;
    std::uint32_t infoSize = 40;
};

std::vector<std::uint8_t> Build(const Spec& spec) {
    const std::size_t offset = 14 + spec.infoSize + spec.table.size() * 4;
    std::vector<std::uint8_t> out(offset + spec.pixels.size());
    out[0] = 'B';
    out[1] = 'M';
    Put32(out, 2, static_cast<std::uint32_t>(out.size()));
    Put32(out, 10, static_cast<std::uint32_t>(offset));
    Put32(out, 14, spec.infoSize);
    Put32(out, 18, static_cast<std::uint32_t>(spec.width));
    Put32(out, 22, static_cast<std::uint32_t>(spec.height));
    Put32(out, 26, 1 | spec.bitCount << 16); // one plane, then the bits a pixel
    Put32(out, 30, spec.compression);
    Put32(out, 46, spec.coloursUsed);
    for (std::size_t i = 0; i < spec.table.size(); ++i) {
        Put32(out, 14 + spec.infoSize + i * 4, spec.table[i]);
    }
    std::copy(spec.pixels.begin(), spec.pixels.end(), out.begin() + offset);
    return out;
}

std::string ErrorOf(const SplashResult& result) {
    return std::holds_alternative<std::string>(result) ? std::get<std::string>(result) : "";
}

constexpr std::uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;
constexpr std::uint32_t kWhite = 0xFFFFFFFF, kBlack = 0xFF000000, kTeal = 0xFF123456;

} // namespace

// Pictures come out top row first, whichever way they are stored; indexed
// ones take their colours from the table, 16-bit ones from their masks.
TEST(SplashBitmap, DecodesEveryStoredFormToThePictureItHolds) {
    Spec topDown;
    topDown.height = -2;
    std::rotate(topDown.pixels.begin(), topDown.pixels.begin() + 8, topDown.pixels.end());
    const std::vector<std::uint32_t> table2 = {0, 0x123456};
    const struct {
        Spec spec;
        std::vector<std::uint32_t> pixels;
        std::size_t palette;
    } rows[] = {
        {Spec{}, {kRed, kGreen, kBlue, kWhite}, 0},
        {topDown, {kRed, kGreen, kBlue, kWhite}, 0},
        {Spec{1, 3, 1, {0b10100000, 0, 0, 0}, table2}, {kTeal, kBlack, kTeal}, 2},
        {Spec{1, 1, 2, {0x80, 0, 0, 0, 0, 0, 0, 0}, table2}, {kBlack, kTeal}, 2},
        {Spec{8, 3, 1, {1, 0, 1, 0}, table2, 2}, {kTeal, kBlack, kTeal}, 2},
        {Spec{16, 2, 1, {0x00, 0xF8, 0xFF, 0xFF}, {0xF800, 0x07E0, 0x001F}, 0, 3},
         {kRed, kWhite},
         0},
    };
    for (const auto& row : rows) {
        SplashResult result = DecodeSplashBitmap(Build(row.spec));
        ASSERT_TRUE(std::holds_alternative<SplashBitmap>(result)) << ErrorOf(result);
        const SplashBitmap& bitmap = std::get<SplashBitmap>(result);
        EXPECT_EQ(bitmap.width, row.spec.width);
        EXPECT_EQ(bitmap.height, std::abs(row.spec.height));
        EXPECT_EQ(bitmap.palette.size(), row.palette);
        EXPECT_EQ(bitmap.pixels, row.pixels) << row.spec.bitCount;
    }
}

TEST(SplashBitmap, RefusesFilesThatAreBrokenOrLie) {
    const auto with = [](auto change) {
        Spec spec;
        change(spec);
        return Build(spec);
    };
    const auto patched = [](std::size_t at, std::uint32_t value) {
        std::vector<std::uint8_t> file = Build(Spec{});
        Put32(file, at, at == 10 && value == 0 ? static_cast<std::uint32_t>(file.size()) : value);
        return file;
    };
    std::vector<std::uint8_t> truncated = Build(Spec{});
    truncated.resize(truncated.size() - 5);
    const struct {
        const char* what;
        std::vector<std::uint8_t> file;
        const char* error;
    } rows[] = {
        {"shorter than the file header", {'B', 'M', 0, 0}, kFileReadError},
        {"108-byte information header", with([](Spec& s) { s.infoSize = 108; }),
         kUnsupportedBitmap},
        {"2 bits a pixel", with([](Spec& s) { s.bitCount = 2; }), kUnsupportedBitmap},
        {"run-length compressed", with([](Spec& s) { s.compression = 1; }), kUnsupportedBitmap},
        {"fewer bytes than the header claims", truncated, kFileReadError},
        {"a size of gigabytes", patched(2, 0xFFFFFFF0), kFileReadError},
        {"pixels begin at the end", patched(10, 0), kInvalidBitmap},
        {"pixels begin inside the file header", patched(10, 3), kInvalidBitmap},
        {"absurd width", with([](Spec& s) { s.width = 0x7FFFFFFF; }), kUnsupportedBitmap},
        {"colour table past the end", with([](Spec& s) { s.bitCount = 8, s.coloursUsed = 100000; }),
         kInvalidBitmap},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ErrorOf(DecodeSplashBitmap(row.file)), row.error) << row.what;
    }
}

} // namespace kestra::shell::testing
