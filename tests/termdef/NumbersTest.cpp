#include "termdef/parsing/Numbers.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>

using namespace kestra::termdef;

namespace {

constexpr std::uint32_t Untouched = 0xDEADBEEF;
using Reader = std::function<bool(std::string_view, std::uint32_t&)>;

Reader InBase(unsigned base) {
    return [base](std::string_view text, std::uint32_t& value) {
        return ReadNumber(text, value, base);
    };
}

// A 16-bit reader seen as a 32-bit one: the low half when it reads.
Reader Narrow(std::function<bool(std::string_view, std::uint16_t&)> read) {
    return [read](std::string_view text, std::uint32_t& value) {
        std::uint16_t narrow = 0;
        const bool ok = read(text, narrow);
        value = ok ? narrow : value;
        return ok;
    };
}

} // namespace

// Every reader of whole texts: a default base overridden by the text's own
// marking, sign and '~', silent wrapping, and a refused text leaves the value
// as it was.
TEST(Numbers, EachReaderAcceptsOnlyItsWholeKind) {
    // clang-format off
    const std::map<std::string_view, Reader> readers = {
        {"oct", ReadOctal}, {"dec", ReadDecimal}, {"hex", ReadHex}, {"dec16", Narrow(ReadDecimal16)},
        {"n16/10", Narrow([](std::string_view t, std::uint16_t& v) { return ReadNumber16(t, v, 10); })},
        {"n0", InBase(0)}, {"n2", InBase(2)}, {"n8", InBase(8)}, {"n10", InBase(10)},
        {"n16", InBase(16)}, {"n36", InBase(36)},
    };
    // The value is only checked when the text reads.
    const struct { std::string_view reader, text; bool ok; std::uint32_t value; } rows[] = {
        {"dec", "", false, 0},          {"dec", ".", false, 0},          {"dec", "123abc", false, 0},
        {"dec", "+7", true, 7},         {"dec", "-1", true, 0xFFFFFFFF}, {"dec", "~", true, 0xFFFFFFFF},
        {"dec", "~-1", true, 0},        {"dec", "~5", true, 0xFFFFFFFA}, {"dec", "-~5", false, 0},
        {"dec", "--5", false, 0},       {"dec", "4294967296", true, 0},  {"dec", "12.", true, 12},
        {"dec", "12..", false, 0},      {"dec", "12.5", false, 0},       {"dec", "-.", true, 0},
        {"dec", "\xB1" "1", false, 0},  {"dec", "1\xB9", false, 0},      // high bytes are no digits
        {"oct", "", false, 0},          {"oct", "17", true, 15},         {"oct", "8", false, 0},
        {"oct", "17.", false, 0},       {"oct", "-17", true, 0xFFFFFFF1}, {"oct", "40000000000", true, 0},
        {"hex", "", false, 0},          {"hex", "0x", false, 0},         {"hex", "1F", true, 31},
        {"hex", "0x1f", true, 31},      {"hex", "0XfF", true, 255},      {"hex", "FFg", false, 0},
        {"hex", "0x-1", true, 0xFFFFFFFF}, {"hex", "-0x1", false, 0},    {"hex", "0xx1", false, 0},
        {"hex", "-10", true, 0xFFFFFFF0}, {"hex", "100000000", true, 0}, {"hex", "-", true, 0},
        {"n10", "17", true, 17},        {"n10", "017", true, 15},        {"n10", "0x11", true, 17},
        {"n10", "0X11", true, 17},      {"n10", "17.", true, 17},        {"n10", "0", true, 0},
        {"n10", "08", false, 0},        {"n10", ".", false, 0},          {"n10", "", false, 0},
        {"n10", {"1234", 2}, true, 12}, // bounded by the view, not by a terminator
        {"n8", "17", true, 15},         {"n8", "8", false, 0},           {"n8", "08.", true, 8},
        {"n16", "ff", true, 255},       {"n16", "-10", true, 0xFFFFFFF0},
        // Any other base: plain digits from '0' up, no sign and no '~'.
        {"n2", "101", true, 5},         {"n2", "102", false, 0},         {"n2", "-1", false, 0},
        {"n2", "100000000000000000000000000000001", true, 1},
        {"n36", ":", true, 10},         {"n36", "z", false, 0},          {"n0", "1", false, 0},
        {"dec16", "70000.", true, 4464}, {"dec16", "-1", true, 0xFFFF},  {"dec16", "x", false, 0},
        {"n16/10", "65537", true, 1},   {"n16/10", "0x12345", true, 0x2345},
    };
    // clang-format on
    for (const auto& row : rows) {
        std::uint32_t value = Untouched;
        EXPECT_EQ(readers.at(row.reader)(row.text, value), row.ok) << row.reader << " " << row.text;
        EXPECT_EQ(value, row.ok ? row.value : Untouched) << row.reader << " " << row.text;
    }
}
