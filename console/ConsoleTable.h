#pragma once

#include "console/ConsoleRecord.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

// The consoles of the process by unit number. Filled on the window thread
// during start-up, read afterwards; entries are never emptied and the count
// only grows, except when a test resets the table.
namespace kestra::console {

inline constexpr std::uint16_t kMaxConsoles = 100; // units 0-99

class ConsoleTable {
public:
    ConsoleTable() = default;
    ~ConsoleTable();
    ConsoleTable(const ConsoleTable&) = delete;
    ConsoleTable& operator=(const ConsoleTable&) = delete;

    // The console of a unit, null when none (or the unit is out of range).
    ConsoleRecord* At(std::uint16_t unit) const;
    bool IsTaken(std::uint16_t unit) const { return At(unit) != nullptr; }
    std::optional<std::uint16_t> LowestFreeUnit() const;
    // Takes the record into the entry of its unit, which must be free.
    ConsoleRecord& Store(std::unique_ptr<ConsoleRecord> record);

    // Consoles completely defined; the last step of each definition counts.
    std::uint16_t Count() const { return count_; }
    void CountDefinition() { ++count_; }

    // The console-selection keys: the entry at index when index is below the
    // count, else none. So only units below the number of consoles can be
    // selected that way.
    ConsoleRecord* ByIndex(unsigned index) const;

    // Stops every reader thread, releases every record (closing its
    // connection) and sets the count back to 0: for tests, and for a check
    // that defines consoles only to close them again.
    void Reset();

private:
    std::array<std::unique_ptr<ConsoleRecord>, kMaxConsoles> entries_;
    std::uint16_t count_ = 0;
};

// The process's table.
ConsoleTable& Consoles();
ConsoleRecord* ConsoleByIndex(unsigned index);

} // namespace kestra::console
