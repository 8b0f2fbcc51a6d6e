#pragma once

#include <cstdint>

// The control characters the emulator acts on, by their names.
namespace kestra::emulator {

inline constexpr std::uint8_t Bel = 7;
inline constexpr std::uint8_t Bs = 8;
inline constexpr std::uint8_t Ht = 9;
inline constexpr std::uint8_t Lf = 10;
inline constexpr std::uint8_t Vt = 11;
inline constexpr std::uint8_t Ff = 12;
inline constexpr std::uint8_t Cr = 13;
inline constexpr std::uint8_t So = 14;
inline constexpr std::uint8_t Si = 15;
inline constexpr std::uint8_t Can = 24;
inline constexpr std::uint8_t Sub = 26;
inline constexpr std::uint8_t Esc = 27;
inline constexpr std::uint16_t ErrorBlock = 219; // shown for a cancelled sequence

} // namespace kestra::emulator
