#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What the terminal definition file says: the bytes each key sends in each
// keyboard mode, the characters shown for received bytes, the identification
// reply, the terminal type and the attribute colours. Plain data that the
// emulator is handed; the definition file's reader fills it.
namespace kestra::termdef {

struct KeyEntry {
    std::int32_t code; // key code plus the defining command's offset
    std::string bytes; // 1 to 128 bytes, sent as they stand
};

// Entries sorted by code as signed numbers, codes unique (KEYDOWN's codes,
// with the top bit set, sort before all others).
struct KeyMap {
    std::vector<KeyEntry> entries;
};

struct CharEntry {
    std::int32_t code;   // received byte
    std::uint32_t value; // character code shown instead
};

struct CharMap {
    std::vector<CharEntry> entries;
};

namespace detail {

// Binary search over entries sorted by signed code; the tables are small and
// looked up once per typed key or received byte.
template <typename Entry>
const Entry* FindSorted(const std::vector<Entry>& entries, std::int32_t code) {
    auto found =
        std::lower_bound(entries.begin(), entries.end(), code,
                         [](const Entry& entry, std::int32_t c) { return entry.code < c; });
    return found == entries.end() || found->code != code ? nullptr : &*found;
}

// The entry for code, inserted in order when there is none.
template <typename Entry>
Entry& FindOrInsert(std::vector<Entry>& entries, std::int32_t code) {
    auto place = std::find_if(entries.begin(), entries.end(),
                              [code](const Entry& entry) { return entry.code >= code; });
    if (place == entries.end() || place->code != code) {
        place = entries.insert(place, Entry{code, {}});
    }
    return *place;
}

} // namespace detail

inline const KeyEntry* KeyMapFind(const KeyMap& map, std::int32_t code) {
    return detail::FindSorted(map.entries, code);
}
inline void KeyMapPut(KeyMap& map, std::int32_t code, std::string_view bytes) {
    detail::FindOrInsert(map.entries, code).bytes.assign(bytes);
}
inline const CharEntry* CharMapFind(const CharMap& map, std::int32_t code) {
    return detail::FindSorted(map.entries, code);
}
inline void CharMapPut(CharMap& map, std::int32_t code, std::uint32_t value) {
    detail::FindOrInsert(map.entries, code).value = value;
}

// A colour value (PC text-mode layout) for each attribute byte.
using ColourMap = std::array<std::uint8_t, 256>;

// The colours of attribute combinations 0 to 15 (blink, reverse, underline,
// bold bits), repeated for the unused high bits.
constexpr ColourMap DefaultColourMap() {
    constexpr std::array<std::uint8_t, 16> pattern = {
        0x07, 0x87, 0x70, 0xF0, 0x03, 0x83, 0x30, 0xB0,
        0x0F, 0x8F, 0x7F, 0xFF, 0x0B, 0x8B, 0x38, 0xB8,
    };
    ColourMap map{};
    for (std::size_t i = 0; i < map.size(); ++i) {
        map[i] = pattern[i % pattern.size()];
    }
    return map;
}

struct TerminalDefinition {
    bool loaded = false;
    bool vt52Type = false;
    bool genradType = false;
    std::string idString = "\x1b[?1;0c"; // at most 127 bytes
    std::uint32_t nextKeyDownId = 0x8000;
    KeyMap keyMap;        // KEY, KEYDOWN, FKEY: every keyboard mode
    KeyMap appKeyMap;     // AKEY: keypad application mode
    KeyMap vt52KeyMap;    // 52KEY: VT52 mode
    KeyMap vt52AppKeyMap; // 52AKEY: VT52 mode with keypad application mode
    CharMap charMap;      // CHAR: received bytes in the normal character set
    CharMap graphicMap;   // GRAPHIC: received bytes in the graphics set
    // COLOR: kept as read; the console window paints from its own tables.
    ColourMap colours = DefaultColourMap();
};

} // namespace kestra::termdef
