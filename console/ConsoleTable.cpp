#include "console/ConsoleTable.h"

#include "console/PipeLink.h"

namespace kestra::console {

ConsoleTable::~ConsoleTable() {
    // Reader and writer threads outlive the process's table: they end with
    // the process and must not find their records gone during exit.
    for (std::unique_ptr<ConsoleRecord>& entry : entries_) {
        if (entry && (entry->readerThread.Joinable() || entry->writerThread.Joinable())) {
            (void)entry.release();
        }
    }
}

ConsoleRecord* ConsoleTable::At(std::uint16_t unit) const {
    return unit < kMaxConsoles ? entries_[unit].get() : nullptr;
}

std::optional<std::uint16_t> ConsoleTable::LowestFreeUnit() const {
    for (std::uint16_t unit = 0; unit < kMaxConsoles; ++unit) {
        if (!entries_[unit]) {
            return unit;
        }
    }
    return std::nullopt;
}

ConsoleRecord& ConsoleTable::Store(std::unique_ptr<ConsoleRecord> record) {
    std::unique_ptr<ConsoleRecord>& entry = entries_.at(record->unit);
    entry = std::move(record);
    return *entry;
}

ConsoleRecord* ConsoleTable::ByIndex(unsigned index) const {
    return index < count_ ? entries_[index].get() : nullptr;
}

void ConsoleTable::Reset() {
    for (std::unique_ptr<ConsoleRecord>& entry : entries_) {
        if (entry) {
            StopConsoleThreads(*entry);
        }
    }
    for (std::unique_ptr<ConsoleRecord>& entry : entries_) {
        entry.reset();
    }
    count_ = 0;
}

ConsoleTable& Consoles() {
    static ConsoleTable table;
    return table;
}

ConsoleRecord* ConsoleByIndex(unsigned index) {
    return Consoles().ByIndex(index);
}

} // namespace kestra::console
