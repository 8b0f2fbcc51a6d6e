#include "emulator/ScreenHistory.h"

#include <algorithm>

namespace kestra::emulator {

namespace {

// How a line's cells are stored after its line size and this byte.
enum Encoding : char {
    kNarrowOneAttribute = 0, // the attribute, then a byte per character
    kNarrow = 1,             // a byte per character, then an attribute per cell
    kWide = 2,               // two bytes per character (low first), then the attributes
};

} // namespace

void ScreenHistory::SetCapacity(std::size_t capacity) {
    std::vector<std::string> kept;
    const std::size_t keep = std::min(size_, capacity);
    kept.reserve(keep);
    for (std::size_t i = size_ - keep; i < size_; ++i) {
        kept.push_back(std::move(lines_[(first_ + i) % lines_.size()]));
    }
    lines_ = std::move(kept);
    first_ = 0;
    size_ = keep;
    capacity_ = capacity;
}

void ScreenHistory::Keep(const ScreenBuffer& screen, std::uint32_t row) {
    if (capacity_ == 0) {
        return;
    }
    ++kept_;
    const std::uint16_t* chars = &screen.chars[screen.CellIndex(row, 0)];
    const std::uint8_t* attrs = &screen.attrs[screen.CellIndex(row, 0)];
    std::size_t end = screen.cols;
    while (end > 0 && chars[end - 1] == ' ' && attrs[end - 1] == 0) {
        --end;
    }
    const bool wide = std::any_of(chars, chars + end, [](std::uint16_t c) { return c > 0xFF; });
    const bool oneAttribute =
        std::all_of(attrs, attrs + end, [attrs](std::uint8_t a) { return a == attrs[0]; });

    std::string* line = nullptr;
    if (size_ < capacity_) {
        line = &lines_.emplace_back();
        ++size_;
    } else {
        // The oldest slot takes the newest line, reusing its storage.
        line = &lines_[first_];
        first_ = (first_ + 1) % lines_.size();
    }
    line->clear();
    line->push_back(static_cast<char>(screen.lineAttrs[row]));
    if (wide) {
        line->push_back(kWide);
        for (std::size_t c = 0; c < end; ++c) {
            line->push_back(static_cast<char>(chars[c] & 0xFF));
            line->push_back(static_cast<char>(chars[c] >> 8));
        }
    } else {
        line->push_back(oneAttribute ? kNarrowOneAttribute : kNarrow);
        if (oneAttribute) {
            line->push_back(static_cast<char>(end > 0 ? attrs[0] : 0));
        }
        for (std::size_t c = 0; c < end; ++c) {
            line->push_back(static_cast<char>(chars[c]));
        }
    }
    if (wide || !oneAttribute) {
        line->append(reinterpret_cast<const char*>(attrs), end);
    }
}

HistoryLine ScreenHistory::Line(std::size_t index) const {
    const std::string& stored = lines_[(first_ + index) % lines_.size()];
    const auto byte = [&stored](std::size_t at) { return static_cast<std::uint8_t>(stored[at]); };
    HistoryLine line;
    line.lineAttr = byte(0);
    const auto encoding = static_cast<Encoding>(stored[1]);
    const std::size_t perCell = encoding == kWide ? 3 : encoding == kNarrow ? 2 : 1;
    const std::size_t header = encoding == kNarrowOneAttribute ? 3 : 2;
    const std::size_t count = (stored.size() - header) / perCell;
    const std::size_t charBytes = encoding == kWide ? 2 : 1;
    for (std::size_t c = 0; c < count; ++c) {
        const std::size_t at = header + c * charBytes;
        line.chars.push_back(encoding == kWide ? byte(at) | byte(at + 1) << 8 : byte(at));
        line.attrs.push_back(
            encoding == kNarrowOneAttribute ? byte(2) : byte(header + count * charBytes + c));
    }
    return line;
}

void ScreenHistory::Clear() {
    lines_.clear();
    first_ = 0;
    size_ = 0;
    kept_ = 0;
}

} // namespace kestra::emulator
