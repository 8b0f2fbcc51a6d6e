#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What the terminal definition file says: the bytes each key sends in each
// keyboard mode, the characters shown for received bytes, the identification
// reply, the terminal type and the attribute colours. One per process, shared
// by every console, read while the first console is created.
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

const KeyEntry* KeyMapFind(const KeyMap& map, std::int32_t code);
void KeyMapPut(KeyMap& map, std::int32_t code, std::string_view bytes);
const CharEntry* CharMapFind(const CharMap& map, std::int32_t code);
void CharMapPut(CharMap& map, std::int32_t code, std::uint32_t value);

using ColourMap = std::array<std::uint8_t, 256>;

struct TerminalDefinition {
    bool loaded = false;
    bool vt52Type = false;
    bool genradType = false;
    std::uint32_t columnMode80 = 3;
    std::uint32_t columnMode132 = 85;
    std::string idString = "\x1b[?1;0c"; // at most 127 bytes
    std::uint32_t nextKeyDownId = 0x8000;
    KeyMap keyMap;                     // KEY, KEYDOWN, FKEY: every keyboard mode
    KeyMap appKeyMap;                  // AKEY: keypad application mode
    KeyMap vt52KeyMap;                 // 52KEY: VT52 mode
    KeyMap vt52AppKeyMap;              // 52AKEY: VT52 mode with keypad application mode
    CharMap charMap;                   // CHAR: received bytes in the normal character set
    CharMap graphicMap;                // GRAPHIC: received bytes in the graphics set
    ColourMap* colourTarget = nullptr; // the colour map COLOR writes into; none: only checked
};

// The process-wide definition. Tests reset it to its initial state.
TerminalDefinition& TheTerminalDefinition();
void ResetTerminalDefinition();

// Reads the definition file (found as configuration files are) into the
// process-wide definition, once per process: later calls return at once. Any
// error in the file ends the program with the located report.
void LoadTerminalDefinition(std::string_view fileName);

} // namespace kestra::termdef
