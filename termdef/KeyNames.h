#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Key codes name a key together with its modifiers:
//   0x000-0x0FF  a character (printable or control), 0x7F for plain Backspace
//   0x100-0x1FF  0x100 plus the second byte of the PC keyboard's extended code
//                (function keys, grey cursor and editing keys and their Shift,
//                Ctrl and Alt forms); 0x100 itself is Ctrl+Break
//   0x200-0x2FF  the numeric keypad: 0x200 plus the character for the operator
//                keys and Enter, 0x200 plus the extended code for the others
// Codes from 0x300 up are never keys.
namespace kestra::termdef {

struct KeyName {
    std::string_view name; // upper-case ASCII, unique in the table
    std::int32_t code;
};

inline constexpr std::size_t kKeyNameCount = 274;

// Several names share a code (CTRLA and SOH, AF1 and CSF1, KPDZERO and
// KPDINS); the row order decides both lookups, so it is part of the contract.
extern const std::array<KeyName, kKeyNameCount> kKeyNameTable;

// The code a definition file means by a key word: an octal number (or 0x...
// hexadecimal, or decimal with a trailing '.'), a double-quoted single
// character taken as a signed byte, or a key name in any case. -1 otherwise.
std::int32_t KeyCodeFromName(std::string_view text);

// A name for messages: the first table name with the code, else 'c for a
// printable character, else the code as 0x%04X.
std::string KeyNameFromCode(std::int32_t code);

} // namespace kestra::termdef
