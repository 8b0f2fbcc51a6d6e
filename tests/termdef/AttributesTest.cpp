#include "termdef/Attributes.h"

#include <gtest/gtest.h>

using namespace kestra::termdef;

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
    for (const auto& row : rows) {
        const auto value =
            row.side == 'V' ? ParseVt100Attribute(row.text) : ParseScreenAttribute(row.text);
        EXPECT_EQ(value, row.value) << row.side << " [" << row.text << ']';
    }
}
