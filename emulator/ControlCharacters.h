#pragma once

#include <cstdint>

// The control characters the emulator acts on, by their names.
namespace kestra::emulator {

inline constexpr std::uint8_t kBel = 7;
inline constexpr std::uint8_t kBs = 8;
inline constexpr std::uint8_t kHt = 9;
inline constexpr std::uint8_t kLf = 10;
inline constexpr std::uint8_t kVt = 11;
inline constexpr std::uint8_t kFf = 12;
inline constexpr std::uint8_t kCr = 13;
inline constexpr std::uint8_t kSo = 14;
inline constexpr std::uint8_t kSi = 15;
inline constexpr std::uint8_t kCan = 24;
inline constexpr std::uint8_t kSub = 26;
inline constexpr std::uint8_t kEsc = 27;
inline constexpr std::uint16_t kErrorBlock = 219; // shown for a cancelled sequence

} // namespace kestra::emulator
