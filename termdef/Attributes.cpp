#include "termdef/Attributes.h"

#include "parsing/AsciiText.h"
#include "parsing/Numbers.h"

#include <algorithm>

namespace kestra::termdef {

namespace {
constexpr auto Any = AttributePlace::Anywhere;
constexpr auto Fg = AttributePlace::Foreground;
constexpr auto Bg = AttributePlace::Background;
} // namespace

// clang-format off
constexpr std::array<AttributeRow, 13> Vt100AttributeTable{{
//   name            mask  value place
    {"Normal",       0x0F, 0x00, Any},
    {"Highlight",    0x08, 0x08, Any},
    {"Intense",      0x08, 0x08, Any},
    {"H",            0x08, 0x08, Any},
    {"Underscore",   0x04, 0x04, Any},
    {"Underline",    0x04, 0x04, Any},
    {"U",            0x04, 0x04, Any},
    {"Reverse",      0x02, 0x02, Any},
    {"ReverseVideo", 0x02, 0x02, Any},
    {"R",            0x02, 0x02, Any},
    {"Blink",        0x01, 0x01, Any},
    {"Blinking",     0x01, 0x01, Any},
    {"B",            0x01, 0x01, Any},
}};

// A colour has a foreground row followed by a background row; Pink has only
// the foreground one (light red), so "On Pink" is refused.
constexpr std::array<AttributeRow, 42> ScreenAttributeTable{{
//   name            mask  value place
    {"Normal",       0xFF, 0x07, Any},
    {"Bright",       0x08, 0x08, Any},
    {"Bri",          0x08, 0x08, Any},
    {"Highlight",    0x08, 0x08, Any},
    {"Intense",      0x08, 0x08, Any},
    {"Underscore",   0x01, 0x01, Any},
    {"Underline",    0x01, 0x01, Any},
    {"Reverse",      0x77, 0x70, Any},
    {"Blink",        0x80, 0x80, Any},
    {"Blinking",     0x80, 0x80, Any},
    {"Bli",          0x80, 0x80, Any},
    {"Gray",         0x0F, 0x08, Fg},
    {"Gray",         0x78, 0x08, Bg},
    {"Grey",         0x0F, 0x08, Fg},
    {"Grey",         0x78, 0x08, Bg},
    {"Black",        0x07, 0x00, Fg},
    {"Black",        0x70, 0x00, Bg},
    {"Blue",         0x07, 0x01, Fg},
    {"Blue",         0x70, 0x10, Bg},
    {"Green",        0x07, 0x02, Fg},
    {"Green",        0x70, 0x20, Bg},
    {"Cyan",         0x07, 0x03, Fg},
    {"Cyan",         0x70, 0x30, Bg},
    {"LtBlue",       0x07, 0x03, Fg},
    {"LtBlue",       0x70, 0x30, Bg},
    {"LightBlue",    0x07, 0x03, Fg},
    {"LightBlue",    0x70, 0x30, Bg},
    {"Red",          0x07, 0x04, Fg},
    {"Red",          0x70, 0x40, Bg},
    {"Pink",         0x0F, 0x0C, Fg},
    {"Magenta",      0x07, 0x05, Fg},
    {"Magenta",      0x70, 0x50, Bg},
    {"Purple",       0x07, 0x05, Fg},
    {"Purple",       0x70, 0x50, Bg},
    {"Yellow",       0x07, 0x06, Fg},
    {"Yellow",       0x70, 0x60, Bg},
    {"Orange",       0x07, 0x06, Fg},
    {"Orange",       0x70, 0x60, Bg},
    {"Brown",        0x07, 0x06, Fg},
    {"Brown",        0x70, 0x60, Bg},
    {"White",        0x07, 0x07, Fg},
    {"White",        0x70, 0x70, Bg},
}};
// clang-format on

namespace {

constexpr std::string_view Separators = " \t,+&";

} // namespace

std::int32_t ParseAttributes(std::span<const AttributeRow> table, std::string_view text) {
    std::int32_t result = 0;
    AttributePlace position = AttributePlace::Foreground;
    bool anyWord = false;

    std::size_t start = text.find_first_not_of(Separators);
    while (start != std::string_view::npos) {
        const std::size_t end = text.find_first_of(Separators, start);
        const std::string_view word = text.substr(start, end - start);
        start = text.find_first_not_of(Separators, end);
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
    return ParseAttributes(Vt100AttributeTable, text);
}

std::int32_t ParseScreenAttribute(std::string_view text) {
    return ParseAttributes(ScreenAttributeTable, text);
}

} // namespace kestra::termdef
