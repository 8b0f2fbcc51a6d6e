#include "termdef/Attributes.h"

#include "parsing/AsciiText.h"
#include "parsing/Numbers.h"

#include <algorithm>

namespace kestra::termdef {

namespace {
constexpr auto kAny = AttributePlace::Anywhere;
constexpr auto kFg = AttributePlace::Foreground;
constexpr auto kBg = AttributePlace::Background;
} // namespace

// clang-format off
constexpr std::array<AttributeRow, 13> kVt100AttributeTable{{
//   name            mask  value place
    {"Normal",       0x0F, 0x00, kAny},
    {"Highlight",    0x08, 0x08, kAny},
    {"Intense",      0x08, 0x08, kAny},
    {"H",            0x08, 0x08, kAny},
    {"Underscore",   0x04, 0x04, kAny},
    {"Underline",    0x04, 0x04, kAny},
    {"U",            0x04, 0x04, kAny},
    {"Reverse",      0x02, 0x02, kAny},
    {"ReverseVideo", 0x02, 0x02, kAny},
    {"R",            0x02, 0x02, kAny},
    {"Blink",        0x01, 0x01, kAny},
    {"Blinking",     0x01, 0x01, kAny},
    {"B",            0x01, 0x01, kAny},
}};

// A colour has a foreground row followed by a background row; Pink has only
// the foreground one (light red), so "On Pink" is refused.
constexpr std::array<AttributeRow, 42> kScreenAttributeTable{{
//   name            mask  value place
    {"Normal",       0xFF, 0x07, kAny},
    {"Bright",       0x08, 0x08, kAny},
    {"Bri",          0x08, 0x08, kAny},
    {"Highlight",    0x08, 0x08, kAny},
    {"Intense",      0x08, 0x08, kAny},
    {"Underscore",   0x01, 0x01, kAny},
    {"Underline",    0x01, 0x01, kAny},
    {"Reverse",      0x77, 0x70, kAny},
    {"Blink",        0x80, 0x80, kAny},
    {"Blinking",     0x80, 0x80, kAny},
    {"Bli",          0x80, 0x80, kAny},
    {"Gray",         0x0F, 0x08, kFg},
    {"Gray",         0x78, 0x08, kBg},
    {"Grey",         0x0F, 0x08, kFg},
    {"Grey",         0x78, 0x08, kBg},
    {"Black",        0x07, 0x00, kFg},
    {"Black",        0x70, 0x00, kBg},
    {"Blue",         0x07, 0x01, kFg},
    {"Blue",         0x70, 0x10, kBg},
    {"Green",        0x07, 0x02, kFg},
    {"Green",        0x70, 0x20, kBg},
    {"Cyan",         0x07, 0x03, kFg},
    {"Cyan",         0x70, 0x30, kBg},
    {"LtBlue",       0x07, 0x03, kFg},
    {"LtBlue",       0x70, 0x30, kBg},
    {"LightBlue",    0x07, 0x03, kFg},
    {"LightBlue",    0x70, 0x30, kBg},
    {"Red",          0x07, 0x04, kFg},
    {"Red",          0x70, 0x40, kBg},
    {"Pink",         0x0F, 0x0C, kFg},
    {"Magenta",      0x07, 0x05, kFg},
    {"Magenta",      0x70, 0x50, kBg},
    {"Purple",       0x07, 0x05, kFg},
    {"Purple",       0x70, 0x50, kBg},
    {"Yellow",       0x07, 0x06, kFg},
    {"Yellow",       0x70, 0x60, kBg},
    {"Orange",       0x07, 0x06, kFg},
    {"Orange",       0x70, 0x60, kBg},
    {"Brown",        0x07, 0x06, kFg},
    {"Brown",        0x70, 0x60, kBg},
    {"White",        0x07, 0x07, kFg},
    {"White",        0x70, 0x70, kBg},
}};
// clang-format on

namespace {

constexpr std::string_view kSeparators = " \t,+&";

} // namespace

std::int32_t ParseAttributes(std::span<const AttributeRow> table, std::string_view text) {
    std::int32_t result = 0;
    AttributePlace position = AttributePlace::Foreground;
    bool anyWord = false;

    std::size_t start = text.find_first_not_of(kSeparators);
    while (start != std::string_view::npos) {
        const std::size_t end = text.find_first_of(kSeparators, start);
        const std::string_view word = text.substr(start, end - start);
        start = text.find_first_not_of(kSeparators, end);
        anyWord = true;

        if (EqualIgnoringCase(word, "ForeGround")) {
            position = AttributePlace::Foreground;
            continue;
        }
        if (EqualIgnoringCase(word, "BackGround")) {
            position = AttributePlace::Background;
            continue;
        }
        if (EqualIgnoringCase(word, "On")) {
            if (position == AttributePlace::Background) {
                return -1;
            }
            position = AttributePlace::Background;
            continue;
        }
        if (std::uint16_t number = 0; parsing::ReadDecimal16(word, number)) {
            if (position == AttributePlace::Foreground) {
                result = (result & ~0x0F) | number;
            } else {
                result = (result & ~0xF0) | (static_cast<std::int32_t>(number) << 4);
            }
            continue;
        }
        const auto row = std::find_if(table.begin(), table.end(), [&](const AttributeRow& r) {
            return (r.place == AttributePlace::Anywhere || r.place == position) &&
                   EqualIgnoringCase(r.name, word);
        });
        if (row == table.end()) {
            return -1;
        }
        result = (result & ~static_cast<std::int32_t>(row->mask)) | row->value;
    }
    return anyWord ? result : -1;
}

std::int32_t ParseVt100Attribute(std::string_view text) {
    return ParseAttributes(kVt100AttributeTable, text);
}

std::int32_t ParseScreenAttribute(std::string_view text) {
    return ParseAttributes(kScreenAttributeTable, text);
}

} // namespace kestra::termdef
