#include "termdef/KeyNames.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

using namespace kestra::termdef;

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

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

TEST(KeyNameTable, NamesAreUniqueUpperCaseAndCodesAreKeys) {
    std::set<std::string_view> names;
    for (const KeyName& row : KeyNameTable) {
        EXPECT_TRUE(names.insert(row.name).second) << row.name;
        EXPECT_FALSE(row.name.empty());
        for (char c : row.name) {
            EXPECT_TRUE((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) << row.name;
        }
        EXPECT_GE(row.code, 0) << row.name;
        EXPECT_LT(row.code, 0x300) << row.name;
    }
    EXPECT_EQ(names.size(), 274u);
}

// The first and last row of every run of the table, by 1-based row number: a
// row dropped, doubled or moved shifts one of these.
TEST(KeyNameTable, RunsStartAndEndAtTheirRows) {
    struct Row {
        std::size_t number;
        std::string_view name;
        std::int32_t code;
    };
    const Row rows[] = {
        {1, "CTRLA", 0x001},      {26, "CTRLZ", 0x01A},      {27, "NUL", 0x000},
        {63, "EOS", 0x000},       {64, "BREAKCHAR", 0x100},  {65, "BTAB", 0x10F},
        {66, "INS", 0x152},       {75, "RIGHT", 0x14D},      {76, "CTAB", 0x194},
        {86, "CRIGHT", 0x174},    {87, "CATSIGN", 0x103},    {93, "CBACKSPACE", 0x07F},
        {94, "AINS", 0x1A2},      {103, "ARIGHT", 0x19D},    {104, "AESC", 0x101},
        {115, "ASLASH", 0x135},   {116, "NUMLOCK", 0x145},   {119, "ALTTAB", 0x1A5},
        {120, "ALTQ", 0x110},     {129, "ALTP", 0x119},      {130, "ALTA", 0x11E},
        {138, "ALTL", 0x126},     {139, "ALTZ", 0x12C},      {145, "ALTM", 0x132},
        {146, "F1", 0x13B},       {155, "F10", 0x144},       {157, "F12", 0x186},
        {158, "SF1", 0x154},      {169, "SF12", 0x188},      {170, "CF1", 0x15E},
        {181, "CF12", 0x18A},     {182, "AF1", 0x168},       {193, "AF12", 0x18C},
        {194, "CSF1", 0x168},     {205, "CSF12", 0x18C},     {206, "ALT1", 0x178},
        {214, "ALT9", 0x180},     {215, "ALT0", 0x181},      {217, "ALTEQUAL", 0x183},
        {218, "KPDSLASH", 0x22F}, {243, "KPDEND", 0x24F},    {244, "CKPDSLASH", 0x295},
        {269, "CKPDEND", 0x275},  {270, "AKPDSLASH", 0x2A4}, {274, "AKPDENTER", 0x2A6},
    };
    for (const Row& row : rows) {
        ASSERT_LE(row.number, KeyNameTable.size());
        const KeyName& actual = KeyNameTable[row.number - 1];
        EXPECT_EQ(actual.name, row.name) << "row " << row.number;
        EXPECT_EQ(actual.code, row.code) << "row " << row.number;
    }
}

// Runs the table gives as "one apart": each name's code is its predecessor's + 1.
TEST(KeyNameTable, ConsecutiveRunsStepByOne) {
    const std::pair<std::string_view, std::string_view> runs[] = {
        {"CTRLA", "CTRLZ"}, {"NUL", "US"},     {"ALTQ", "ALTP"},     {"ALTA", "ALTL"},
        {"ALTZ", "ALTM"},   {"F1", "F10"},     {"SF1", "SF10"},      {"CF1", "CF10"},
        {"AF1", "AF10"},    {"CSF1", "CSF10"}, {"ALT1", "ALTEQUAL"},
    };
    for (const auto& [first, last] : runs) {
        const std::size_t begin = RowOf(first);
        const std::size_t end = RowOf(last);
        ASSERT_LT(begin, end) << first;
        ASSERT_LT(end, KeyNameTable.size()) << last;
        for (std::size_t i = begin + 1; i <= end; ++i) {
            // BSPACE/BS and SYNC/SYN share a code inside the control run.
            const bool alias = KeyNameTable[i].name == "BS" || KeyNameTable[i].name == "SYN";
            EXPECT_EQ(KeyNameTable[i].code, KeyNameTable[i - 1].code + (alias ? 0 : 1))
                << KeyNameTable[i].name;
        }
    }
}

TEST(KeyNameTable, EveryNameReadsBackInAnyCase) {
    for (const KeyName& row : KeyNameTable) {
        EXPECT_EQ(KeyCodeFromName(row.name), row.code) << row.name;
        EXPECT_EQ(KeyCodeFromName(Lower(row.name)), row.code) << row.name;
        EXPECT_EQ(KeyCodeFromName(Mixed(row.name)), row.code) << row.name;
    }
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
        {"f1", 0x13B},
        {"kpdZero", 0x252},
        {"073", 073}, // octal by default: not F1's code
        {"73", 073},
        {"0x13B", 0x13B},
        {"0X13b", 0x13B},
        {"315.", 0x13B},
        {"1377", 767},
        {"01400", 768},
        {"37777777777", -1}, // the all-ones number is returned unchanged
        {"0x80000148", static_cast<std::int32_t>(0x80000148u)},
        {"\"a\"", 0x61},
        {"\"A\"", 0x41},
        {"\"\"\"", '"'},
        {"\"7\"", '7'},
        {"\"\xE9\"", -23}, // a signed byte
        {"\"\xFF\"", -1},
        {"BS", 8},
        {"BSPACE", 8},
        {"SOH", 1},
        {"CSF1", 0x168},
        {"XYZ", -1},
        {"9", -1}, // no octal number and no name
        {"", -1},
        {"\"ab\"", -1},
        {"\"a", -1},
        {"'a'", -1},
        {"F1 ", -1},
        {"F", -1},
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
    const Case cases[] = {
        {0x001, "CTRLA"},     {0x008, "CTRLH"},
        {0x000, "NUL"},       {0x01B, "ESC"},
        {0x020, "SPC"},       {0x07F, "CBACKSPACE"},
        {0x168, "AF1"},       {0x252, "KPDZERO"},
        {0x253, "KPDPERIOD"}, {0x20A, "CKPDENTER"},
        {0x16, "CTRLV"},      {0x41, "'A"},
        {0x21, "'!"},         {0x7E, "'~"},
        {0x22, "'\""},        {0x2FF, "0x02FF"},
        {0x2A0, "0x02A0"},    {0xFF, "0x00FF"},
        {0x80, "0x0080"},     {0x300, "0x0300"},
        {-1, "0xFFFFFFFF"},   {static_cast<std::int32_t>(0x80000148u), "0x80000148"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(KeyNameFromCode(c.code), c.name) << std::hex << c.code;
    }
}
