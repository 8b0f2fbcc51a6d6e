#include "parsing/Numbers.h"
#include "termdef/Attributes.h"

#include <gtest/gtest.h>

using namespace kestra::termdef;
using namespace kestra::parsing;

// ReadNumber in a default base (the text's own marking wins) and the readers
// of one kind (base -8, -10, -16): signs and '~' apply to every kind, values
// wrap silently, and a refused text leaves the value as it was.
TEST(Numbers, EachReaderAcceptsOnlyItsWholeKind) {
    constexpr std::uint32_t kUntouched = 0xDEADBEEF, AllOnes = 0xFFFFFFFF;
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
        std::uint32_t value = kUntouched;
        const bool ok = row.base == -8    ? ReadOctal(row.text, value)
                        : row.base == -10 ? ReadDecimal(row.text, value)
                        : row.base == -16 ? ReadHex(row.text, value)
                                          : ReadNumber(row.text, value, row.base);
        EXPECT_EQ(ok, row.ok) << row.base << " [" << row.text << ']';
        EXPECT_EQ(value, row.ok ? row.value : kUntouched) << row.base << " [" << row.text << ']';
    }
    std::uint16_t low = 0; // the 16-bit readers keep the low half of the same value
    EXPECT_TRUE(ReadNumber16("0x12345", low, 10) && low == 0x2345 && !ReadNumber16("8", low, 8));
}

// Both sides of a COLOR line: 'V' rows are VT100 combinations, 'S' rows
// screen colours. Each word changes only its own bits ("65535" sets them all
// first); -1 is a refused expression (Pink has no background).
TEST(Attributes, ReadBothSidesOfAColourLine) {
    // clang-format off
    const struct { char side; std::string_view text; std::int32_t value; } rows[] = {
        {'S', "White On Blue", 0x17},   {'S', "Bright White On Blue", 0x1F}, {'S', "Normal", 0x07},
        {'S', "Blink Reverse", 0xF0},   {'S', "BackGround Red", 0x40},       {'S', "Yellow On Gray", 0x0E},
        {'S', "14 On 1", 0x1E},         {'S', "BackGround 1 ForeGround 14", 0x1E},
        {'S', "  \tWhite \t On  Blue\t", 0x17}, {'S', "WHITE,ON&bLuE+blink", 0x97}, {'S', "Red Green", 0x02},
        {'S', "Blink Normal", 0x07},    {'S', "ForeGround ForeGround Red", 0x04}, {'S', "-", 0x00},
        {'S', "Cyan On Brown Blink", 0xE3}, {'S', "16", 0x10}, {'S', "On 255", 0xFF0}, // not held to a nibble
        {'S', "1 On 2 ForeGround 3", 0x23}, {'S', "65535 Reverse", 0xFFF8}, {'S', "65535 On Grey", 0xFF8F},
        {'S', "65535 Pink", 0xFFFC},    {'S', "Underline", 0x01},            {'S', "On", 0x00},
        {'S', "White On Pink", -1},     {'S', "BackGround On Blue", -1},     {'S', "On Blue On", -1},
        {'S', "Blue Bold", -1},         {'S', "", -1},  {'S', " ,+& ", -1},  {'S', "12.5", -1}, {'S', "0x1F", -1},
        {'V', "Reverse Blink", 3},      {'V', "Underline,Highlight", 12},    {'V', "Blink Normal", 0},
        {'V', "Normal Blink", 1},       {'V', "H U R B", 15},                {'V', "16", 16},
        {'V', "intense underscore reversevideo blinking", 15}, {'V', "65535 Normal", 0xFFF0},
        {'V', "Red", -1},               {'V', "On On", -1},
    };
    // clang-format on
    for (const auto& [side, text, value] : rows) {
        EXPECT_EQ(side == 'V' ? ParseVt100Attribute(text) : ParseScreenAttribute(text), value)
            << text;
    }
}
