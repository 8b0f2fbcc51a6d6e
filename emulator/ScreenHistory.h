#pragma once

#include "emulator/ScreenBuffer.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The lines that scrolled off the top of a console's screen, oldest first, up
// to a number of lines: a ring of lines kept compactly (trailing blanks
// dropped, one byte per character when every character fits, one attribute
// for the line when all cells share it). Written, read and cleared with the
// console's lock held.
namespace kestra::emulator {

// One kept line as it was shown: its cells up to the last that is not a
// plain blank, and its line size.
struct HistoryLine {
    std::uint8_t lineAttr = kLineSingleWidth;
    std::vector<std::uint16_t> chars;
    std::vector<std::uint8_t> attrs;
    bool operator==(const HistoryLine&) const = default;
};

class ScreenHistory {
public:
    explicit ScreenHistory(std::size_t capacity = 0) : capacity_(capacity) {}

    std::size_t Capacity() const { return capacity_; }
    // The newest lines stay; 0 keeps none.
    void SetCapacity(std::size_t capacity);
    std::size_t Size() const { return size_; }
    // Every line kept since the history was made or cleared, also those that
    // have gone since: a view anchors on it to stay on its lines.
    std::uint64_t Kept() const { return kept_; }

    // Keeps row of the screen, its columns in use, as the newest line; the
    // oldest goes when the history is full.
    void Keep(const ScreenBuffer& screen, std::uint32_t row);
    // index 0 is the oldest line; index must be below Size().
    HistoryLine Line(std::size_t index) const;
    void Clear();

private:
    std::vector<std::string> lines_; // a ring once it has grown to capacity_
    std::size_t first_ = 0;          // the oldest line's slot
    std::size_t size_ = 0;
    std::size_t capacity_;
    std::uint64_t kept_ = 0;
};

} // namespace kestra::emulator
