#pragma once

#include <array>
#include <cstdint>
#include <optional>

// Which key codes the keyboard itself produces. Only the special keys are
// translated here (function keys, cursor and editing keys, the numeric keypad,
// Tab, Backspace, Ctrl+Break and the lock keys); every other key reaches the
// emulator as the character it types. Display-free: the window layer turns its
// key events into a KeyStroke.
namespace kestra::termdef {

enum class SpecialKey : std::uint8_t {
    Break, // Ctrl+Pause
    Backspace,
    Tab,
    Enter, // only the keypad's Enter is special; the main Enter types 13
    PageUp,
    PageDown,
    End,
    Home,
    Left,
    Up,
    Right,
    Down,
    Insert,
    Delete,
    KeypadClear, // keypad 5 with NumLock off
    Keypad0,     // the keypad digits with NumLock on
    Keypad1,
    Keypad2,
    Keypad3,
    Keypad4,
    Keypad5,
    Keypad6,
    Keypad7,
    Keypad8,
    Keypad9,
    KeypadPeriod,
    KeypadStar,
    KeypadPlus,
    KeypadMinus,
    KeypadSlash,
    F1,
    F2,
    F3,
    F4,
    F5,
    F6,
    F7,
    F8,
    F9,
    F10,
    F11,
    F12,
    NumLock,
    ScrollLock,
};

inline constexpr int kSpecialKeyCount = static_cast<int>(SpecialKey::ScrollLock) + 1;

struct KeyStroke {
    SpecialKey key;
    bool keypad = false; // on the numeric keypad, not the grey block beside it
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
};

// Where a row's key must sit; the cursor and editing keys exist both as grey
// keys and on the keypad (NumLock off) and give different codes.
enum class KeyBlock : std::uint8_t { kEither, Grey, kKeypad };

inline constexpr std::int32_t kNoKeyCode = -1;

struct KeyTranslationRow {
    SpecialKey key;
    KeyBlock block;
    std::int32_t plain;
    std::int32_t withShift;
    std::int32_t withCtrl; // also with Ctrl+Shift
};

extern const std::array<KeyTranslationRow, 54> kKeyTranslationTable;

// The key code of a key press, or none when the key is left to ordinary
// character translation (the window's accelerators, Alt combinations).
std::optional<std::int32_t> KeyCodeFromMessage(const KeyStroke& stroke);

} // namespace kestra::termdef
