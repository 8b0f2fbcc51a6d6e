#include "termdef/KeyTranslation.h"

#include "termdef/KeyNames.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace kestra::termdef;

namespace {

// What each key gives, by the names a definition file uses for the codes, so
// the expectations come from the name table rather than from the key table:
// "" means the key gives no code in that column.
struct Expected {
    SpecialKey key;
    KeyBlock block;
    std::string plain;
    std::string withShift;
    std::string withCtrl;
};

using enum SpecialKey;

// Shift changes nothing but Tab and the function keys; Ctrl adds a "C" in
// front of the name; grey keys and their keypad twins differ by "KPD".
std::vector<Expected> AllKeys() {
    // clang-format off
    std::vector<Expected> keys = {
        {Break,      KeyBlock::Grey,   "",           "",           "BREAKCHAR"},
        {Backspace,  KeyBlock::Either, "CBACKSPACE", "",           ""},
        {Tab,        KeyBlock::Either, "TAB",        "BTAB",       "CTAB"},
        {Enter,      KeyBlock::Keypad, "KPDENTER",   "KPDENTER",   "CKPDENTER"},
        {NumLock,    KeyBlock::Either, "NUMLOCK",    "NUMLOCK",    "NUMLOCK"},
        {ScrollLock, KeyBlock::Either, "SCROLLLOCK", "SCROLLLOCK", "SCROLLLOCK"},
    };
    const std::pair<SpecialKey, const char*> twins[] = {
        {PageUp, "PGUP"}, {PageDown, "PGDN"}, {End, "END"},   {Home, "HOME"},  {Left, "LEFT"},
        {Up, "UP"},       {Right, "RIGHT"},   {Down, "DOWN"}, {Insert, "INS"}, {Delete, "DEL"},
    };
    const std::pair<SpecialKey, const char*> keypadOnly[] = {
        {KeypadClear, "FIVE"}, {Keypad0, "ZERO"},  {Keypad1, "ONE"},       {Keypad2, "TWO"},
        {Keypad3, "THREE"},    {Keypad4, "FOUR"},  {Keypad5, "FIVE"},      {Keypad6, "SIX"},
        {Keypad7, "SEVEN"},    {Keypad8, "EIGHT"}, {Keypad9, "NINE"},      {KeypadPeriod, "PERIOD"},
        {KeypadStar, "STAR"},  {KeypadPlus, "PLUS"}, {KeypadMinus, "DASH"}, {KeypadSlash, "SLASH"},
    };
    const SpecialKey functionKeys[] = {F1, F2, F3, F4, F5, F6, F7, F8, F9, F10, F11, F12};
    // clang-format on
    for (const auto& [key, name] : twins) {
        const std::string n = name;
        keys.push_back({key, KeyBlock::Grey, n, n, "C" + n});
        keys.push_back({key, KeyBlock::Keypad, "KPD" + n, "KPD" + n, "CKPD" + n});
    }
    for (const auto& [key, name] : keypadOnly) {
        const std::string n = std::string("KPD") + name;
        keys.push_back({key, KeyBlock::Either, n, n, "C" + n});
    }
    for (int i = 0; i < 12; ++i) {
        const std::string n = "F" + std::to_string(i + 1);
        keys.push_back({functionKeys[i], KeyBlock::Either, n, "S" + n, ""});
    }
    return keys;
}

std::optional<std::int32_t> CodeOf(std::string_view name) {
    if (name.empty()) {
        return std::nullopt;
    }
    const std::int32_t code = KeyCodeFromName(name);
    EXPECT_NE(code, -1) << name;
    return code;
}

std::string Describe(const KeyStroke& s) {
    return "key " + std::to_string(static_cast<int>(s.key)) + (s.keypad ? " keypad" : " grey") +
           (s.shift ? " shift" : "") + (s.ctrl ? " ctrl" : "") + (s.alt ? " alt" : "");
}

// The code expected for a stroke: the row for the key in its block (none when
// the key does not exist there), the column by its modifiers.
std::optional<std::int32_t> ExpectedCode(const KeyStroke& s) {
    if (s.alt && !s.ctrl) {
        return std::nullopt;
    }
    static const std::vector<Expected> keys = AllKeys();
    for (const Expected& e : keys) {
        const bool inBlock = e.block == KeyBlock::Either ||
                             e.block == (s.keypad ? KeyBlock::Keypad : KeyBlock::Grey);
        if (e.key == s.key && inBlock) {
            return CodeOf(s.ctrl ? e.withCtrl : s.shift ? e.withShift : e.plain);
        }
    }
    return std::nullopt;
}

} // namespace

// Every key, in both blocks, with every combination of Shift, Ctrl and Alt.
TEST(KeyCodeFromMessage, EveryKeyInEveryBlockWithEveryModifier) {
    for (int key = 0; key < SpecialKeyCount; ++key) {
        for (int bits = 0; bits < 16; ++bits) {
            const KeyStroke stroke{static_cast<SpecialKey>(key), (bits & 1) != 0, (bits & 2) != 0,
                                   (bits & 4) != 0, (bits & 8) != 0};
            EXPECT_EQ(KeyCodeFromMessage(stroke), ExpectedCode(stroke)) << Describe(stroke);
        }
    }
}
