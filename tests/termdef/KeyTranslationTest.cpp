#include "termdef/KeyTranslation.h"

#include "termdef/KeyNames.h"

#include <gtest/gtest.h>
#include <string>

using namespace kestra::termdef;

namespace {

// What each key gives, by the names a definition file uses for the codes, so
// the expectations come from the name table rather than from the key table:
// "" means the key gives no code in that column.
struct Expected {
    SpecialKey key;
    KeyBlock block;
    std::string_view plain;
    std::string_view withShift;
    std::string_view withCtrl;
};

using enum SpecialKey;

// clang-format off
constexpr Expected Keys[] = {
//   key            block             plain        withShift    withCtrl
    {Break,         KeyBlock::Grey,   "",          "",          "BREAKCHAR"},
    {Backspace,     KeyBlock::Either, "CBACKSPACE","",          ""},
    {Tab,           KeyBlock::Either, "TAB",       "BTAB",      "CTAB"},
    {Enter,         KeyBlock::Keypad, "KPDENTER",  "KPDENTER",  "CKPDENTER"},
    {PageUp,        KeyBlock::Grey,   "PGUP",      "PGUP",      "CPGUP"},
    {PageUp,        KeyBlock::Keypad, "KPDPGUP",   "KPDPGUP",   "CKPDPGUP"},
    {PageDown,      KeyBlock::Grey,   "PGDN",      "PGDN",      "CPGDN"},
    {PageDown,      KeyBlock::Keypad, "KPDPGDN",   "KPDPGDN",   "CKPDPGDN"},
    {End,           KeyBlock::Grey,   "END",       "END",       "CEND"},
    {End,           KeyBlock::Keypad, "KPDEND",    "KPDEND",    "CKPDEND"},
    {Home,          KeyBlock::Grey,   "HOME",      "HOME",      "CHOME"},
    {Home,          KeyBlock::Keypad, "KPDHOME",   "KPDHOME",   "CKPDHOME"},
    {Left,          KeyBlock::Grey,   "LEFT",      "LEFT",      "CLEFT"},
    {Left,          KeyBlock::Keypad, "KPDLEFT",   "KPDLEFT",   "CKPDLEFT"},
    {Up,            KeyBlock::Grey,   "UP",        "UP",        "CUP"},
    {Up,            KeyBlock::Keypad, "KPDUP",     "KPDUP",     "CKPDUP"},
    {Right,         KeyBlock::Grey,   "RIGHT",     "RIGHT",     "CRIGHT"},
    {Right,         KeyBlock::Keypad, "KPDRIGHT",  "KPDRIGHT",  "CKPDRIGHT"},
    {Down,          KeyBlock::Grey,   "DOWN",      "DOWN",      "CDOWN"},
    {Down,          KeyBlock::Keypad, "KPDDOWN",   "KPDDOWN",   "CKPDDOWN"},
    {Insert,        KeyBlock::Grey,   "INS",       "INS",       "CINS"},
    {Insert,        KeyBlock::Keypad, "KPDINS",    "KPDINS",    "CKPDINS"},
    {Delete,        KeyBlock::Grey,   "DEL",       "DEL",       "CDEL"},
    {Delete,        KeyBlock::Keypad, "KPDDEL",    "KPDDEL",    "CKPDDEL"},
    {KeypadClear,   KeyBlock::Either, "KPDFIVE",   "KPDFIVE",   "CKPDFIVE"},
    {Keypad0,       KeyBlock::Either, "KPDZERO",   "KPDZERO",   "CKPDZERO"},
    {Keypad1,       KeyBlock::Either, "KPDONE",    "KPDONE",    "CKPDONE"},
    {Keypad2,       KeyBlock::Either, "KPDTWO",    "KPDTWO",    "CKPDTWO"},
    {Keypad3,       KeyBlock::Either, "KPDTHREE",  "KPDTHREE",  "CKPDTHREE"},
    {Keypad4,       KeyBlock::Either, "KPDFOUR",   "KPDFOUR",   "CKPDFOUR"},
    {Keypad5,       KeyBlock::Either, "KPDFIVE",   "KPDFIVE",   "CKPDFIVE"},
    {Keypad6,       KeyBlock::Either, "KPDSIX",    "KPDSIX",    "CKPDSIX"},
    {Keypad7,       KeyBlock::Either, "KPDSEVEN",  "KPDSEVEN",  "CKPDSEVEN"},
    {Keypad8,       KeyBlock::Either, "KPDEIGHT",  "KPDEIGHT",  "CKPDEIGHT"},
    {Keypad9,       KeyBlock::Either, "KPDNINE",   "KPDNINE",   "CKPDNINE"},
    {KeypadPeriod,  KeyBlock::Either, "KPDPERIOD", "KPDPERIOD", "CKPDPERIOD"},
    {KeypadStar,    KeyBlock::Either, "KPDSTAR",   "KPDSTAR",   "CKPDSTAR"},
    {KeypadPlus,    KeyBlock::Either, "KPDPLUS",   "KPDPLUS",   "CKPDPLUS"},
    {KeypadMinus,   KeyBlock::Either, "KPDDASH",   "KPDDASH",   "CKPDDASH"},
    {KeypadSlash,   KeyBlock::Either, "KPDSLASH",  "KPDSLASH",  "CKPDSLASH"},
    {F1,            KeyBlock::Either, "F1",        "SF1",       ""},
    {F2,            KeyBlock::Either, "F2",        "SF2",       ""},
    {F3,            KeyBlock::Either, "F3",        "SF3",       ""},
    {F4,            KeyBlock::Either, "F4",        "SF4",       ""},
    {F5,            KeyBlock::Either, "F5",        "SF5",       ""},
    {F6,            KeyBlock::Either, "F6",        "SF6",       ""},
    {F7,            KeyBlock::Either, "F7",        "SF7",       ""},
    {F8,            KeyBlock::Either, "F8",        "SF8",       ""},
    {F9,            KeyBlock::Either, "F9",        "SF9",       ""},
    {F10,           KeyBlock::Either, "F10",       "SF10",      ""},
    {F11,           KeyBlock::Either, "F11",       "SF11",      ""},
    {F12,           KeyBlock::Either, "F12",       "SF12",      ""},
    {NumLock,       KeyBlock::Either, "NUMLOCK",   "NUMLOCK",   "NUMLOCK"},
    {ScrollLock,    KeyBlock::Either, "SCROLLLOCK","SCROLLLOCK","SCROLLLOCK"},
};
// clang-format on

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
    for (const Expected& e : Keys) {
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
