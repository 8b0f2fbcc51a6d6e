#include "termdef/KeyTranslation.h"

namespace kestra::termdef {

namespace {
using enum SpecialKey;
constexpr auto kEither = KeyBlock::kEither;
constexpr auto Grey = KeyBlock::Grey;
constexpr auto kKeypad = KeyBlock::kKeypad;
constexpr std::int32_t kNone = kNoKeyCode;
} // namespace

// Shift changes only Tab and the function keys; Ctrl+function keys are left to
// the window (Ctrl+F4 and Ctrl+F6 close and cycle console windows), and
// Ctrl/Shift+Backspace type the characters 0x7F and 8 instead.
// clang-format off
constexpr std::array<KeyTranslationRow, 54> kKeyTranslationTable{{
//   key            block   plain  withShift withCtrl
    {Break,         Grey,   kNone,  kNone,     0x100},
    {Backspace,     kEither, 0x07F, kNone,     kNone },
    {Tab,           kEither, 0x009, 0x10F,    0x194},
    {Enter,         kKeypad, 0x20D, 0x20D,    0x20A},
    {PageUp,        Grey,   0x149, 0x149,    0x184},
    {PageUp,        kKeypad, 0x249, 0x249,    0x284},
    {PageDown,      Grey,   0x151, 0x151,    0x176},
    {PageDown,      kKeypad, 0x251, 0x251,    0x276},
    {End,           Grey,   0x14F, 0x14F,    0x175},
    {End,           kKeypad, 0x24F, 0x24F,    0x275},
    {Home,          Grey,   0x147, 0x147,    0x177},
    {Home,          kKeypad, 0x247, 0x247,    0x277},
    {Left,          Grey,   0x14B, 0x14B,    0x173},
    {Left,          kKeypad, 0x24B, 0x24B,    0x273},
    {Up,            Grey,   0x148, 0x148,    0x18D},
    {Up,            kKeypad, 0x248, 0x248,    0x28D},
    {Right,         Grey,   0x14D, 0x14D,    0x174},
    {Right,         kKeypad, 0x24D, 0x24D,    0x274},
    {Down,          Grey,   0x150, 0x150,    0x191},
    {Down,          kKeypad, 0x250, 0x250,    0x291},
    {Insert,        Grey,   0x152, 0x152,    0x192},
    {Insert,        kKeypad, 0x252, 0x252,    0x292},
    {Delete,        Grey,   0x153, 0x153,    0x193},
    {Delete,        kKeypad, 0x253, 0x253,    0x293},
    {KeypadClear,   kEither, 0x24C, 0x24C,    0x28F},
    {Keypad0,       kEither, 0x252, 0x252,    0x292},
    {Keypad1,       kEither, 0x24F, 0x24F,    0x275},
    {Keypad2,       kEither, 0x250, 0x250,    0x291},
    {Keypad3,       kEither, 0x251, 0x251,    0x276},
    {Keypad4,       kEither, 0x24B, 0x24B,    0x273},
    {Keypad5,       kEither, 0x24C, 0x24C,    0x28F},
    {Keypad6,       kEither, 0x24D, 0x24D,    0x274},
    {Keypad7,       kEither, 0x247, 0x247,    0x277},
    {Keypad8,       kEither, 0x248, 0x248,    0x28D},
    {Keypad9,       kEither, 0x249, 0x249,    0x284},
    {KeypadPeriod,  kEither, 0x253, 0x253,    0x293},
    {KeypadStar,    kEither, 0x22A, 0x22A,    0x296},
    {KeypadPlus,    kEither, 0x22B, 0x22B,    0x290},
    {KeypadMinus,   kEither, 0x22D, 0x22D,    0x28E},
    {KeypadSlash,   kEither, 0x22F, 0x22F,    0x295},
    {F1,            kEither, 0x13B, 0x154,    kNone },
    {F2,            kEither, 0x13C, 0x155,    kNone },
    {F3,            kEither, 0x13D, 0x156,    kNone },
    {F4,            kEither, 0x13E, 0x157,    kNone },
    {F5,            kEither, 0x13F, 0x158,    kNone },
    {F6,            kEither, 0x140, 0x159,    kNone },
    {F7,            kEither, 0x141, 0x15A,    kNone },
    {F8,            kEither, 0x142, 0x15B,    kNone },
    {F9,            kEither, 0x143, 0x15C,    kNone },
    {F10,           kEither, 0x144, 0x15D,    kNone },
    {F11,           kEither, 0x185, 0x187,    kNone },
    {F12,           kEither, 0x186, 0x188,    kNone },
    {NumLock,       kEither, 0x145, 0x145,    0x145},
    {ScrollLock,    kEither, 0x146, 0x146,    0x146},
}};
// clang-format on

std::optional<std::int32_t> KeyCodeFromMessage(const KeyStroke& stroke) {
    // Alt without Ctrl makes a system key, which belongs to the window (menus,
    // Alt+digit console selection). Ctrl+Alt is how AltGr arrives, so it
    // counts as Ctrl alone.
    if (stroke.alt && !stroke.ctrl) {
        return std::nullopt;
    }
    const KeyBlock block = stroke.keypad ? KeyBlock::kKeypad : KeyBlock::Grey;
    for (const KeyTranslationRow& row : kKeyTranslationTable) {
        if (row.key != stroke.key || (row.block != KeyBlock::kEither && row.block != block)) {
            continue;
        }
        const std::int32_t code = stroke.ctrl    ? row.withCtrl
                                  : stroke.shift ? row.withShift
                                                 : row.plain;
        if (code == kNoKeyCode) {
            return std::nullopt;
        }
        return code;
    }
    return std::nullopt;
}

} // namespace kestra::termdef
