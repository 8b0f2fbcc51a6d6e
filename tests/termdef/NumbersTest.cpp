#include "termdef/parsing/Numbers.h"

#include <gtest/gtest.h>

using namespace kestra::termdef;

// Every reader: ReadNumber in a default base (the text's own marking wins),
// and the whole-text readers of one kind (base -8, -10 and -16). Signs and
// '~' apply to every kind, values wrap silently, and a refused text leaves
// the value as it was.
TEST(Numbers, EachReaderAcceptsOnlyItsWholeKind) {
    constexpr std::uint32_t Untouched = 0xDEADBEEF, AllOnes = 0xFFFFFFFF;
    // clang-format off
    const struct { int base; std::string_view text; bool ok; std::uint32_t value = 0; } rows[] = {
        {-10, "", false},          {-10, ".", false},         {-10, "123abc", false},  {-10, "+7", true, 7},
        {-10, "-1", true, AllOnes}, {-10, "~", true, AllOnes}, {-10, "~-1", true, 0},   {-10, "~5", true, ~5u},
        {-10, "-~5", false},       {-10, "--5", false},       {-10, "4294967296", true, 0},
        {-10, "12.", true, 12},    {-10, "12..", false},      {-10, "12.5", false},    {-10, "-.", true, 0},
        {-10, "\xB1" "1", false},  {-10, "1\xB9", false},     // high bytes are no digits
        {-8, "", false},           {-8, "17", true, 15},      {-8, "8", false},        {-8, "17.", false},
        {-8, "-17", true, 0u - 15}, {-8, "40000000000", true, 0},
        {-16, "", false},          {-16, "0x", false},        {-16, "1F", true, 31},   {-16, "0x1f", true, 31},
        {-16, "0XfF", true, 255},  {-16, "FFg", false},       {-16, "0x-1", true, AllOnes},
        {-16, "-0x1", false},      {-16, "0xx1", false},      {-16, "-10", true, 0u - 16},
        {-16, "100000000", true, 0}, {-16, "-", true, 0},
        {10, "17", true, 17},      {10, "017", true, 15},     {10, "0x11", true, 17},  {10, "0X11", true, 17},
        {10, "17.", true, 17},     {10, "0", true, 0},        {10, "08", false},       {10, ".", false},
        {10, "", false},           {10, {"1234", 2}, true, 12}, // bounded by the view, not by a 0 byte
        {8, "17", true, 15},       {8, "8", false},           {8, "08.", true, 8},
        {16, "ff", true, 255},     {16, "-10", true, 0u - 16},
        // Any other base: plain digits from '0' up, no sign and no '~'.
        {2, "101", true, 5},       {2, "102", false},         {2, "-1", false},        {36, ":", true, 10},
        {2, "100000000000000000000000000000001", true, 1},   {36, "z", false},        {0, "1", false},
    };
    // clang-format on
    for (const auto& row : rows) {
        std::uint32_t value = Untouched;
        const bool ok = row.base == -8    ? ReadOctal(row.text, value)
                        : row.base == -10 ? ReadDecimal(row.text, value)
                        : row.base == -16 ? ReadHex(row.text, value)
                                          : ReadNumber(row.text, value, row.base);
        EXPECT_EQ(ok, row.ok) << row.base << " [" << row.text << ']';
        EXPECT_EQ(value, row.ok ? row.value : Untouched) << row.base << " [" << row.text << ']';
    }
    std::uint16_t low = 0; // the 16-bit readers keep the low half of the same value
    EXPECT_TRUE(ReadNumber16("0x12345", low, 10) && low == 0x2345 && !ReadNumber16("8", low, 8));
}
