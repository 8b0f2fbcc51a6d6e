#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

// Attribute expressions of the definition file's COLOR command: words naming
// attribute bits and colours, read left to right, each changing only its own
// bits. The left side is a VT100 combination in the screen buffer's bit
// layout (1 blink, 2 reverse, 4 underline, 8 bold); the right side a PC
// text-mode colour value (bits 0-2 foreground, 3 intensity, 4-6 background,
// 7 blink).
namespace kestra::termdef {

enum class AttributePlace : std::uint16_t {
    Anywhere = 1,
    Foreground = 2, // only before "On" / after "ForeGround"
    Background = 3, // only after "On" / "BackGround"
};

struct AttributeRow {
    std::string_view name;
    std::uint16_t mask;  // bits the word clears
    std::uint16_t value; // bits the word then sets
    AttributePlace place;
};

extern const std::array<AttributeRow, 13> kVt100AttributeTable;
extern const std::array<AttributeRow, 42> kScreenAttributeTable;

// The value of the expression, or -1 when a word is unknown, a colour stands
// where it has no row, "On" comes a second time in background position, or
// the text holds no word. Words are separated by blanks, tabs, ',', '+' and
// '&'; names are compared ignoring case; decimal numbers set the nibble of
// the current position (and further bits when above 15).
std::int32_t ParseAttributes(std::span<const AttributeRow> table, std::string_view text);

std::int32_t ParseVt100Attribute(std::string_view text);
std::int32_t ParseScreenAttribute(std::string_view text);

} // namespace kestra::termdef
