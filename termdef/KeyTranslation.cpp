#include "termdef/KeyTranslation.h"

namespace kestra::termdef {

namespace {
using enum SpecialKey;
constexpr auto Either = KeyBlock::Either;
constexpr auto Grey = KeyBlock::Grey;
constexpr auto Keypad = KeyBlock::Keypad;
constexpr std::int32_t None = NoKeyCode;
} // namespace

// Shift changes only Tab and the function keys; Ctrl+function keys are left to
// the window (Ctrl+F4 and Ctrl+F6 close and cycle console windows), and
// Ctrl/Shift+Backspace type the characters 0x7F and 8 instead.
// clang-format off
constexpr std::array<KeyTranslationRow, 54> KeyTranslationTable{{
//   key            block   plain  withShift withCtrl
    {Break,         Grey,   None,  None,     0x100},
    {Backspace,     Either, 0x07F, None,     None },
    {Tab,           Either, 0x009, 0x10F,    0x194},
    {Enter,         Keypad, 0x20D, 0x20D,    0x20A},
    {PageUp,        Grey,   0x149, 0x149,    0x184},
    {PageUp,        Keypad, 0x249, 0x249,    0x284},
    {PageDown,      Grey,   0x151, 0x151,    0x176},
    {PageDown,      Keypad, 0x251, 0x251,    0x276},
    {End,           Grey,   0x14F, 0x14F,    0x175},
    {End,           Keypad, 0x24F, 0x24F,    0x275},
    {Home,          Grey,   0x147, 0x147,    0x177},
    {Home,          Keypad, 0x247, 0x247,    0x277},
    {Left,          Grey,   0x14B, 0x14B,    0x173},
    {Left,          Keypad, 0x24B, 0x24B,    0x273},
    {Up,            Grey,   0x148, 0x148,    0x18D},
    {Up,            Keypad, 0x248, 0x248,    0x28D},
    {Right,         Grey,   0x14D, 0x14D,    0x174},
    {Right,         Keypad, 0x24D, 0x24D,    0x274},
    {Down,          Grey,   0x150, 0x150,    0x191},
    {Down,          Keypad, 0x250, 0x250,    0x291},
    {Insert,        Grey,   0x152, 0x152,    0x192},
    {Insert,        Keypad, 0x252, 0x252,    0x292},
    {Delete,        Grey,   0x153, 0x153,    0x193},
    {Delete,        Keypad, 0x253, 0x253,    0x293},
    {KeypadClear,   Either, 0x24C, 0x24C,    0x28F},
    {Keypad0,       Either, 0x252, 0x252,    0x292},
    {Keypad1,       Either, 0x24F, 0x24F,    0x275},
    {Keypad2,       Either, 0x250, 0x250,    0x291},
    {Keypad3,       Either, 0x251, 0x251,    0x276},
    {Keypad4,       Either, 0x24B, 0x24B,    0x273},
    {Keypad5,       Either, 0x24C, 0x24C,    0x28F},
    {Keypad6,       Either, 0x24D, 0x24D,    0x274},
    {Keypad7,       Either, 0x247, 0x247,    0x277},
    {Keypad8,       Either, 0x248, 0x248,    0x28D},
    {Keypad9,       Either, 0x249, 0x249,    0x284},
    {KeypadPeriod,  Either, 0x253, 0x253,    0x293},
    {KeypadStar,    Either, 0x22A, 0x22A,    0x296},
    {KeypadPlus,    Either, 0x22B, 0x22B,    0x290},
    {KeypadMinus,   Either, 0x22D, 0x22D,    0x28E},
    {KeypadSlash,   Either, 0x22F, 0x22F,    0x295},
    {F1,            Either, 0x13B, 0x154,    None },
    {F2,            Either, 0x13C, 0x155,    None },
    {F3,            Either, 0x13D, 0x156,    None },
    {F4,            Either, 0x13E, 0x157,    None },
    {F5,            Either, 0x13F, 0x158,    None },
    {F6,            Either, 0x140, 0x159,    None },
    {F7,            Either, 0x141, 0x15A,    None },
    {F8,            Either, 0x142, 0x15B,    None },
    {F9,            Either, 0x143, 0x15C,    None },
    {F10,           Either, 0x144, 0x15D,    None },
    {F11,           Either, 0x185, 0x187,    None },
    {F12,           Either, 0x186, 0x188,    None },
    {NumLock,       Either, 0x145, 0x145,    0x145},
    {ScrollLock,    Either, 0x146, 0x146,    0x146},
}};
// clang-format on

std::optional<std::int32_t> KeyCodeFromMessage(const KeyStroke& stroke) {
    // Alt without Ctrl makes a system key, which belongs to the window (menus,
    // Alt+digit console selection). Ctrl+Alt is how AltGr arrives, so it
    // counts as Ctrl alone.
    if (stroke.alt && !stroke.ctrl) {
        return std::nullopt;
    }
    const KeyBlock block = stroke.keypad ? KeyBlock::Keypad : KeyBlock::Grey;
    for (const KeyTranslationRow& row : KeyTranslationTable) {
        if (row.key != stroke.key || (row.block != KeyBlock::Either && row.block != block)) {
            continue;
        }
        const std::int32_t code = stroke.ctrl    ? row.withCtrl
                                  : stroke.shift ? row.withShift
                                                 : row.plain;
        if (code == NoKeyCode) {
            return std::nullopt;
        }
        return code;
    }
    return std::nullopt;
}

} // namespace kestra::termdef
