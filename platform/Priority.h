#pragma once

#include <cstdint>
#include <optional>

namespace kestra::platform {

// The process priority classes the configuration can choose, with the values
// the configuration stores for them.
enum class PriorityClass : std::uint32_t {
    Idle = 0x40,
    Normal = 0x20,
    High = 0x80,
    Realtime = 0x100,
};

struct PriorityRow {
    PriorityClass priorityClass;
    int nice;
};

// clang-format off
inline constexpr PriorityRow kPriorityTable[] = {
    // class                    nice value
    {PriorityClass::Idle,       19},
    {PriorityClass::Normal,      0},
    {PriorityClass::High,      -10},
    {PriorityClass::Realtime,  -20},
};
// clang-format on

// The nice value of a class; nullopt for a value that names no class.
std::optional<int> NiceValueOf(std::uint32_t classValue);

// Gives the whole process (every thread it has now, and so every thread they
// start) the nice value of the class. Raising the priority needs privileges;
// a refusal changes nothing and is only reported by the result, which
// start-up ignores.
bool SetProcessPriorityClass(std::uint32_t classValue);

} // namespace kestra::platform
