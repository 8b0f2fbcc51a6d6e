#include "termdef/KeyNames.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

using namespace kestra::termdef;

namespace {

// Alternates the case letter by letter, starting lower: "f1", "cTrLa".
std::string Mixed(std::string_view text) {
    std::string mixed(text);
    for (std::size_t i = 0; i < mixed.size(); i += 2) {
        if (mixed[i] >= 'A' && mixed[i] <= 'Z') {
            mixed[i] = static_cast<char>(mixed[i] - 'A' + 'a');
        }
    }
    return mixed;
}

std::size_t RowOf(std::string_view name) {
    for (std::size_t i = 0; i < KeyNameTable.size(); ++i) {
        if (KeyNameTable[i].name == name) {
            return i;
        }
    }
    return KeyNameTable.size();
}

} // namespace

// Mixed case stands for any case: it has upper- and lower-case letters alike.
TEST(KeyNameTable, EveryNameIsUniqueAndReadsBackInAnyCase) {
    std::set<std::string_view> names;
    for (const KeyName& row : KeyNameTable) {
        EXPECT_TRUE(names.insert(row.name).second) << row.name;
        EXPECT_EQ(KeyCodeFromName(row.name), row.code) << row.name;
        EXPECT_EQ(KeyCodeFromName(Mixed(row.name)), row.code) << row.name;
    }
    EXPECT_EQ(names.size(), 274u);
}

// A code is named by the first row that carries it: the name found must read
// back as the code and stand no later in the table than any row with the code.
TEST(KeyNameTable, EveryCodeIsNamedByItsFirstRow) {
    for (std::size_t i = 0; i < KeyNameTable.size(); ++i) {
        const std::string name = KeyNameFromCode(KeyNameTable[i].code);
        const std::size_t row = RowOf(name);
        ASSERT_LT(row, KeyNameTable.size()) << name;
        EXPECT_EQ(KeyNameTable[row].code, KeyNameTable[i].code) << name;
        EXPECT_LE(row, i) << name << " named after " << KeyNameTable[i].name;
        for (std::size_t earlier = 0; earlier < row; ++earlier) {
            EXPECT_NE(KeyNameTable[earlier].code, KeyNameTable[i].code)
                << KeyNameTable[earlier].name << " comes before " << name;
        }
    }
}

TEST(KeyCodeFromName, ReadsEveryDocumentedForm) {
    struct Case {
        std::string_view text;
        std::int32_t code;
    };
    const Case cases[] = {
        {"F1", 0x13B},
        {"kpdZero", 0x252},
        {"073", 073}, // octal by default: not F1's code
        {"73", 073},
        {"0x13B", 0x13B},
        {"315.", 0x13B},
        {"1377", 767},
        {"01400", 768},
        {"37777777777", -1}, // the all-ones number is returned unchanged
        {"0x80000148", static_cast<std::int32_t>(0x80000148u)},
        {"\"a\"", 0x61},
        {"\"\"\"", '"'},
        {"\"\xE9\"", -23}, // a signed byte
        {"\"\xFF\"", -1},
        {"BS", 8},
        {"BSPACE", 8},
        {"XYZ", -1},
        {"9", -1}, // no octal number and no name
        {"", -1},
        {"\"ab\"", -1},
        {"'a'", -1},
        {"F1 ", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(KeyCodeFromName(c.text), c.code) << '[' << c.text << ']';
    }
}

TEST(KeyNameFromCode, NamesFirstRowThenCharacterThenHex) {
    struct Case {
        std::int32_t code;
        std::string_view name;
    };
    // Names of table rows are walked above; these are the codes with more
    // than one name, and the codes with none.
    const Case cases[] = {
        {0x008, "CTRLH"},      {0x000, "NUL"},
        {0x07F, "CBACKSPACE"}, {0x41, "'A"},
        {0x21, "'!"},          {0x7E, "'~"},
        {0x22, "'\""},         {0x2FF, "0x02FF"},
        {0x2A0, "0x02A0"},     {0xFF, "0x00FF"},
        {0x80, "0x0080"},      {0x300, "0x0300"},
        {-1, "0xFFFFFFFF"},    {static_cast<std::int32_t>(0x80000148u), "0x80000148"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(KeyNameFromCode(c.code), c.name) << std::hex << c.code;
    }
}
