#include "termdef/parsing/Numbers.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <string_view>

namespace {

using namespace kestra::termdef;

constexpr std::uint32_t kUntouched = 0xDEADBEEF;
constexpr std::uint16_t kUntouched16 = 0xBEEF;

struct ScanRow {
    std::string_view text;
    std::size_t used;
    std::uint32_t value;
};

using Scanner = std::size_t (*)(std::string_view, std::uint32_t&);

void CheckScanRows(const char* scannerName, Scanner scan, std::initializer_list<ScanRow> rows) {
    for (const ScanRow& row : rows) {
        std::uint32_t value = kUntouched;
        EXPECT_EQ(scan(row.text, value), row.used) << scannerName << " \"" << row.text << '"';
        EXPECT_EQ(value, row.value) << scannerName << " \"" << row.text << '"';
    }
}

TEST(Numbers, PrefixScannersReadSignComplementAndDigitsOfTheirKind) {
    // clang-format off
    CheckScanRows("ScanDecimal", ScanDecimal, {
        {"",            0, 0},
        {"123abc",      3, 123},
        {"+7",          2, 7},
        {"-1",          2, 0xFFFFFFFF},
        {"-",           1, 0},
        {"~",           1, 0xFFFFFFFF},
        {"~-1",         3, 0},
        {"~5",          2, 0xFFFFFFFA},
        {"-~5",         1, 0},          // '~' only before the sign
        {"--5",         1, 0},          // one sign only
        {"4294967296",  10, 0},         // wraps silently
        {"12.5",        2, 12},
        {"\xB1" "1",    0, 0},          // high bytes are never digits
        {"1\xB9",       1, 1},
    });
    CheckScanRows("ScanOctal", ScanOctal, {
        {"17",          2, 15},
        {"8",           0, 0},
        {"-10",         3, 0xFFFFFFF8},
        {"~7",          2, 0xFFFFFFF8},
        {"37777777777", 11, 0xFFFFFFFF},
        {"40000000000", 11, 0},         // 2^32 wraps
    });
    CheckScanRows("ScanHex", ScanHex, {
        {"ff",          2, 255},
        {"FFg",         2, 255},
        {"-10",         3, 0xFFFFFFF0},
        {"0x10",        1, 0},          // the scanner itself knows no 0x
        {"100000000",   9, 0},
    });
    // clang-format on
}

struct ReadRow {
    std::string_view text;
    bool ok;
    std::uint32_t value; // only checked when ok
};

using Reader = bool (*)(std::string_view, std::uint32_t&);

void CheckReadRows(const char* readerName, Reader read, std::initializer_list<ReadRow> rows) {
    for (const ReadRow& row : rows) {
        std::uint32_t value = kUntouched;
        EXPECT_EQ(read(row.text, value), row.ok) << readerName << " \"" << row.text << '"';
        EXPECT_EQ(value, row.ok ? row.value : kUntouched)
            << readerName << " \"" << row.text << "\": a refused text must leave the value";
    }
}

TEST(Numbers, WholeTextReadersAcceptOnlyTheirWholeKind) {
    // clang-format off
    CheckReadRows("ReadOctal", ReadOctal, {
        {"",     false, 0},
        {"17",   true,  15},
        {"8",    false, 0},
        {"17.",  false, 0},
        {"-",    true,  0},
        {"~",    true,  0xFFFFFFFF},
        {"-17",  true,  0xFFFFFFF1},
    });
    CheckReadRows("ReadDecimal", ReadDecimal, {
        {"",     false, 0},
        {".",    false, 0},
        {"-.",   true,  0},
        {"12.",  true,  12},
        {"12..", false, 0},
        {"12.5", false, 0},
        {"~.",   true,  0xFFFFFFFF},
        {"-1.",  true,  0xFFFFFFFF},
    });
    CheckReadRows("ReadHex", ReadHex, {
        {"",     false, 0},
        {"0x",   false, 0},
        {"1F",   true,  31},
        {"0x1f", true,  31},
        {"0x-1", true,  0xFFFFFFFF},   // the sign follows the 0x
        {"-0x1", false, 0},
        {"0xx1", false, 0},
        {"1f.",  false, 0},
        {"-",    true,  0},
    });
    // clang-format on
}

struct GeneralRow {
    std::string_view text;
    unsigned base;
    bool ok;
    std::uint32_t value;
};

TEST(Numbers, ReadNumberLetsTheTextOverrideTheDefaultBase) {
    // clang-format off
    const GeneralRow rows[] = {
        {"17",          10, true,  17},
        {"017",         10, true,  15},
        {"0x11",        10, true,  17},
        {"17.",         10, true,  17},
        {"17",          8,  true,  15},
        {"8",           8,  false, 0},
        {"8.",          8,  true,  8},
        {"0",           10, true,  0},          // a leading 0 means octal, so 0 is octal 0
        {"08",          10, false, 0},
        {"08.",         8,  true,  8},          // the trailing '.' is looked at first
        {".",           10, false, 0},
        {"ff",          16, true,  255},
        {"-10",         16, true,  0xFFFFFFF0},
        {"101",         2,  true,  5},          // any other base: plain digits only
        {"102",         2,  false, 0},
        {"-1",          2,  false, 0},
        {":",           36, true,  10},         // "digits" are c - '0', whatever c is
        {"z",           36, false, 0},
        {"1",           0,  false, 0},
        {"100000000000000000000000000000001", 2, true, 1},  // wraps
    };
    // clang-format on
    for (const GeneralRow& row : rows) {
        std::uint32_t value = kUntouched;
        EXPECT_EQ(ReadNumber(row.text, value, row.base), row.ok)
            << '"' << row.text << "\" base " << row.base;
        EXPECT_EQ(value, row.ok ? row.value : kUntouched)
            << '"' << row.text << "\" base " << row.base;
    }
}

struct Row16 {
    std::string_view text;
    unsigned base;
    bool ok;
    std::uint16_t value;
};

TEST(Numbers, SixteenBitReadersKeepTheLowHalfOfTheSameValue) {
    // clang-format off
    const Row16 general[] = {
        {"65537",    10, true,  1},
        {"-1",       10, true,  0xFFFF},
        {"0x12345",  10, true,  0x2345},
        {"200001",   8,  true,  1},
        {"8",        8,  false, 0},
    };
    // clang-format on
    for (const Row16& row : general) {
        std::uint16_t value = kUntouched16;
        EXPECT_EQ(ReadNumber16(row.text, value, row.base), row.ok)
            << '"' << row.text << "\" base " << row.base;
        EXPECT_EQ(value, row.ok ? row.value : kUntouched16)
            << '"' << row.text << "\" base " << row.base;
    }

    using Reader16 = bool (*)(std::string_view, std::uint16_t&);
    // clang-format off
    const struct { const char* name; Reader16 read; std::string_view text; bool ok; std::uint16_t value; } fixed[] = {
        {"ReadOctal16",   ReadOctal16,   "200001",  true,  1},
        {"ReadDecimal16", ReadDecimal16, "70000.",  true,  70000 - 65536},
        {"ReadHex16",     ReadHex16,     "0x12345", true,  0x2345},
    };
    // clang-format on
    for (const auto& row : fixed) {
        std::uint16_t value = kUntouched16;
        EXPECT_EQ(row.read(row.text, value), row.ok) << row.name << " \"" << row.text << '"';
        EXPECT_EQ(value, row.ok ? row.value : kUntouched16) << row.name << " \"" << row.text << '"';
    }
}

TEST(Numbers, TextIsBoundedByTheViewNotByATerminator) {
    // Callers hand out views into longer lines: the digits after the view's
    // end must not be read.
    const std::string line = "1234 rest";
    std::uint32_t value = 0;
    EXPECT_TRUE(ReadNumber(std::string_view(line).substr(0, 2), value, 10));
    EXPECT_EQ(value, 12u);
    EXPECT_FALSE(ReadNumber(std::string_view(line).substr(0, 5), value, 10));
}

} // namespace
