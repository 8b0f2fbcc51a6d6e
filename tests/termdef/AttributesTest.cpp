#include "termdef/Attributes.h"

#include <cctype>
#include <gtest/gtest.h>
#include <map>
#include <string>

using namespace kestra::termdef;

namespace {

struct Case {
    std::string_view text;
    std::int32_t value;
};

} // namespace

// Each name is walked in AttributeTables below; these are the combinations.
TEST(ScreenAttribute, ReadsColourExpressions) {
    const Case cases[] = {
        {"White On Blue", 0x17},
        {"Bright White On Blue", 0x1F},
        {"Normal", 0x07},
        {"Blink Reverse", 0xF0},
        {"BackGround Red", 0x40},
        {"Yellow On Gray", 0x0E}, // background Gray sets bit 3 and clears the background
        {"14 On 1", 0x1E},
        {"BackGround 1 ForeGround 14", 0x1E},
        {"WHITE,ON&BLUE", 0x17},
        {"  \tWhite \t On  Blue\t", 0x17},
        {"Normal Blink", 0x87},
        {"Blink Normal", 0x07}, // Normal clears every bit, blink included
        {"Red Green", 0x02},    // a later colour replaces an earlier one
        {"ForeGround ForeGround Red", 0x04},
        {"Cyan On Brown Blink", 0xE3},
        {"16", 0x10}, // a number is not limited to its nibble
        {"On 255", 0xFF0},
        {"1 On 2 ForeGround 3", 0x23},
        {"-", 0x00},           // the number reader reads a lone sign as 0
        {"White On Pink", -1}, // no background row for Pink
        {"BackGround On Blue", -1},
        {"On Blue On", -1},
        {"Bold", -1},
        {"Blue Bold", -1},
        {"On", 0x00},
        {"", -1},
        {" ,+& ", -1},
        {"12.5", -1},
        {"0x1F", -1}, // decimal only
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseScreenAttribute(c.text), c.value) << '[' << c.text << ']';
    }
}

TEST(Vt100Attribute, ReadsAttributeCombinations) {
    const Case cases[] = {
        {"Reverse Blink", 3}, {"Underline,Highlight", 12},
        {"Blink Normal", 0},  {"Normal Blink", 1},
        {"H U R B", 15},      {"intense underscore reversevideo blinking", 15},
        {"16", 16},           {"Bold", -1},
        {"Red", -1}, // colours belong to the screen side only
        {"On On", -1},        {"", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseVt100Attribute(c.text), c.value) << '[' << c.text << ']';
    }
}

// Every name of each table is found whatever its case, in each position its
// rows allow; colour names give their foreground row before "On" and their
// background row after it.
TEST(AttributeTables, EveryRowIsReachableInItsPlace) {
    for (const auto& table : {std::span<const AttributeRow>(Vt100AttributeTable),
                              std::span<const AttributeRow>(ScreenAttributeTable)}) {
        std::map<std::pair<std::string, AttributePlace>, const AttributeRow*> firstRow;
        for (const AttributeRow& row : table) {
            firstRow.emplace(std::pair{std::string(row.name), row.place}, &row);
        }
        for (const AttributeRow& row : table) {
            if (firstRow.at({std::string(row.name), row.place}) != &row) {
                continue;
            }
            std::string lower(row.name);
            for (char& c : lower) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            if (row.place != AttributePlace::Background) {
                EXPECT_EQ(ParseAttributes(table, lower), row.value) << row.name;
            }
            if (row.place == AttributePlace::Background) {
                EXPECT_EQ(ParseAttributes(table, "On " + lower), row.value) << row.name;
            }
            // Starting from all bits set, the word clears exactly its mask
            // before setting its value.
            const std::string from =
                row.place == AttributePlace::Background ? "65535 On " : "65535 ";
            EXPECT_EQ(ParseAttributes(table, from + lower), (0xFFFF & ~row.mask) | row.value)
                << row.name;
        }
    }
}
