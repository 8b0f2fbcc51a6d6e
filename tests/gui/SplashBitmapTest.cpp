#include "shell/SplashBitmap.h"

#include <gtest/gtest.h>

using namespace kestra::shell;

namespace {

void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[at + i] = value >> (8 * i) & 0xFF;
    }
}

// Assembles a bitmap file: 14-byte file header, information header of
// infoSize bytes, colour table, then the given pixel rows (already padded).
struct BitmapSpec {
    std::uint32_t infoSize = 40;
    std::int32_t width = 2;
    std::int32_t height = 2;
    std::uint32_t bitCount = 24;
    std::uint32_t coloursUsed = 0;
    std::vector<std::uint32_t> table; // 0x00RRGGBB
    std::vector<std::uint8_t> pixels;
};

std::vector<std::uint8_t> Build(const BitmapSpec& spec) {
    const std::size_t tableBytes = spec.table.size() * 4;
    const std::size_t offset = 14 + spec.infoSize + tableBytes;
    std::vector<std::uint8_t> out(offset + spec.pixels.size());
    out[0] = 'B';
    out[1] = 'M';
    Put32(out, 2, static_cast<std::uint32_t>(out.size()));
    Put32(out, 10, static_cast<std::uint32_t>(offset));
    Put32(out, 14, spec.infoSize);
    Put32(out, 18, static_cast<std::uint32_t>(spec.width));
    Put32(out, 22, static_cast<std::uint32_t>(spec.height));
    Put32(out, 26, 1 | spec.bitCount << 16); // one plane, then the bits a pixel
    Put32(out, 46, spec.coloursUsed);
    for (std::size_t i = 0; i < spec.table.size(); ++i) {
        Put32(out, 14 + spec.infoSize + i * 4, spec.table[i]);
    }
    std::copy(spec.pixels.begin(), spec.pixels.end(), out.begin() + offset);
    return out;
}

// A 2x2 24-bit picture, bottom row stored first: red green / blue white.
BitmapSpec TwoByTwo() {
    BitmapSpec spec;
    spec.pixels = {
        0xFF, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0, 0, // bottom: blue, white
        0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0, 0, // top: red, green
    };
    return spec;
}

std::string ErrorOf(const SplashResult& result) {
    return std::holds_alternative<std::string>(result) ? std::get<std::string>(result) : "";
}

} // namespace

TEST(SplashBitmap, DecodesBottomUpAndTopDownToTheSamePicture) {
    BitmapSpec bottomUp = TwoByTwo();
    BitmapSpec topDown = TwoByTwo();
    topDown.height = -2;
    std::rotate(topDown.pixels.begin(), topDown.pixels.begin() + 8, topDown.pixels.end());

    for (const BitmapSpec& spec : {bottomUp, topDown}) {
        SplashResult result = DecodeSplashBitmap(Build(spec));
        ASSERT_TRUE(std::holds_alternative<SplashBitmap>(result)) << ErrorOf(result);
        const SplashBitmap& bitmap = std::get<SplashBitmap>(result);
        EXPECT_EQ(bitmap.width, 2);
        EXPECT_EQ(bitmap.height, 2);
        EXPECT_TRUE(bitmap.palette.empty()) << "direct colour needs no palette";
        EXPECT_EQ(bitmap.pixels,
                  (std::vector<std::uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF}));
    }
}

TEST(SplashBitmap, IndexedPicturesTakeTheirColoursFromTheTable) {
    struct Case {
        std::uint32_t bitCount;
        std::uint32_t coloursUsed;
        std::vector<std::uint8_t> pixels; // one row of 3 pixels: indexes 1, 0, 1
    };
    const Case cases[] = {
        {1, 0, {0b10100000, 0, 0, 0}},
        {8, 2, {1, 0, 1, 0}},
    };
    for (const Case& c : cases) {
        BitmapSpec spec;
        spec.width = 3;
        spec.height = 1;
        spec.bitCount = c.bitCount;
        spec.coloursUsed = c.coloursUsed;
        spec.table.assign(c.coloursUsed ? c.coloursUsed : 1u << c.bitCount, 0);
        spec.table[1] = 0x123456;
        spec.pixels = c.pixels;
        SplashResult result = DecodeSplashBitmap(Build(spec));
        ASSERT_TRUE(std::holds_alternative<SplashBitmap>(result)) << c.bitCount << ErrorOf(result);
        const SplashBitmap& bitmap = std::get<SplashBitmap>(result);
        EXPECT_EQ(bitmap.palette.size(), spec.table.size()) << c.bitCount;
        EXPECT_EQ(bitmap.pixels, (std::vector<std::uint32_t>{0xFF123456, 0xFF000000, 0xFF123456}))
            << c.bitCount;
    }
}

TEST(SplashBitmap, RefusesFilesThatAreBrokenOrLie) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> file;
        const char* error;
    };
    std::vector<Case> cases;
    cases.push_back({"shorter than the file header", {'B', 'M', 0, 0}, kFileReadError});
    BitmapSpec v5 = TwoByTwo();
    v5.infoSize = 108;
    cases.push_back({"108-byte information header", Build(v5), kUnsupportedBitmap});
    std::vector<std::uint8_t> truncated = Build(TwoByTwo());
    truncated.resize(truncated.size() - 5);
    cases.push_back({"truncated: fewer bytes than the header claims", truncated, kFileReadError});
    std::vector<std::uint8_t> huge = Build(TwoByTwo());
    Put32(huge, 2, 0xFFFFFFF0);
    cases.push_back({"size of gigabytes", huge, kFileReadError});
    std::vector<std::uint8_t> farOffset = Build(TwoByTwo());
    Put32(farOffset, 10, static_cast<std::uint32_t>(farOffset.size()));
    cases.push_back({"pixels begin at the end", farOffset, kInvalidBitmap});
    std::vector<std::uint8_t> lowOffset = Build(TwoByTwo());
    Put32(lowOffset, 10, 3);
    cases.push_back({"pixels begin inside the file header", lowOffset, kInvalidBitmap});
    BitmapSpec wide = TwoByTwo();
    wide.width = 0x7FFFFFFF;
    cases.push_back({"absurd width", Build(wide), kUnsupportedBitmap});
    BitmapSpec manyColours = TwoByTwo();
    manyColours.bitCount = 8;
    manyColours.coloursUsed = 100000;
    cases.push_back({"colour table past the end", Build(manyColours), kInvalidBitmap});

    for (const Case& c : cases) {
        EXPECT_EQ(ErrorOf(DecodeSplashBitmap(c.file)), c.error) << c.what;
    }
}
