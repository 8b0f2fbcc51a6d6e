#include "termdef/parsing/Numbers.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <string_view>

namespace {

using namespace kestra::termdef;

constexpr std::uint32_t kUntouched = 0xDEADBEEF;

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

template <typename Value>
struct ReadRow {
    std::string_view text;
    bool ok;
    Value value; // only checked when ok
};

// A refused text must leave the value as it was.
template <typename Value, typename Reader>
void CheckReadRows(const std::string& readerName, Reader read,
                   std::initializer_list<ReadRow<Value>> rows) {
    for (const ReadRow<Value>& row : rows) {
        Value value = static_cast<Value>(kUntouched);
        EXPECT_EQ(read(row.text, value), row.ok) << readerName << " \"" << row.text << '"';
        EXPECT_EQ(value, row.ok ? row.value : static_cast<Value>(kUntouched))
            << readerName << " \"" << row.text << '"';
    }
}

auto InBase(unsigned base) {
    return [base](std::string_view text, std::uint32_t& value) {
        return ReadNumber(text, value, base);
    };
}

TEST(Numbers, WholeTextReadersAcceptOnlyTheirWholeKind) {
    // clang-format off
    CheckReadRows<std::uint32_t>("ReadOctal", ReadOctal, {
        {"",     false, 0},
        {"17",   true,  15},
        {"8",    false, 0},
        {"17.",  false, 0},
        {"-",    true,  0},
        {"~",    true,  0xFFFFFFFF},
        {"-17",  true,  0xFFFFFFF1},
    });
    CheckReadRows<std::uint32_t>("ReadDecimal", ReadDecimal, {
        {"",     false, 0},
        {".",    false, 0},
        {"-.",   true,  0},
        {"12.",  true,  12},
        {"12..", false, 0},
        {"12.5", false, 0},
        {"~.",   true,  0xFFFFFFFF},
        {"-1.",  true,  0xFFFFFFFF},
    });
    CheckReadRows<std::uint32_t>("ReadHex", ReadHex, {
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

TEST(Numbers, ReadNumberLetsTheTextOverrideTheDefaultBase) {
    // clang-format off
    CheckReadRows<std::uint32_t>("base 10", InBase(10), {
        {"17",          true,  17},
        {"017",         true,  15},
        {"0x11",        true,  17},
        {"17.",         true,  17},
        {"0",           true,  0},          // a leading 0 means octal, so 0 is octal 0
        {"08",          false, 0},
        {".",           false, 0},
    });
    CheckReadRows<std::uint32_t>("base 8", InBase(8), {
        {"17",          true,  15},
        {"8",           false, 0},
        {"8.",          true,  8},
        {"08.",         true,  8},          // the trailing '.' is looked at first
    });
    CheckReadRows<std::uint32_t>("base 16", InBase(16), {
        {"ff",          true,  255},
        {"-10",         true,  0xFFFFFFF0},
    });
    CheckReadRows<std::uint32_t>("base 2", InBase(2), {
        {"101",         true,  5},          // any other base: plain digits only
        {"102",         false, 0},
        {"-1",          false, 0},
        {"100000000000000000000000000000001", true, 1},  // wraps
    });
    CheckReadRows<std::uint32_t>("base 36", InBase(36), {
        {":",           true,  10},         // "digits" are c - '0', whatever c is
        {"z",           false, 0},
    });
    CheckReadRows<std::uint32_t>("base 0", InBase(0), {{"1", false, 0}});
    // clang-format on
}

TEST(Numbers, SixteenBitReadersKeepTheLowHalfOfTheSameValue) {
    auto inBase = [](unsigned base) {
        return [base](std::string_view text, std::uint16_t& value) {
            return ReadNumber16(text, value, base);
        };
    };
    // clang-format off
    CheckReadRows<std::uint16_t>("ReadNumber16 base 10", inBase(10), {
        {"65537",    true,  1},
        {"-1",       true,  0xFFFF},
        {"0x12345",  true,  0x2345},
    });
    CheckReadRows<std::uint16_t>("ReadNumber16 base 8", inBase(8), {{"200001", true, 1}, {"8", false, 0}});
    CheckReadRows<std::uint16_t>("ReadOctal16", ReadOctal16, {{"200001", true, 1}});
    CheckReadRows<std::uint16_t>("ReadDecimal16", ReadDecimal16, {{"70000.", true, 70000 - 65536}});
    CheckReadRows<std::uint16_t>("ReadHex16", ReadHex16, {{"0x12345", true, 0x2345}});
    // clang-format on
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
