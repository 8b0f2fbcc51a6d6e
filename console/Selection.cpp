#include "console/Selection.h"

#include <algorithm>
#include <array>
#include <type_traits>

namespace kestra::console {

namespace {

using emulator::kLineDoubleHeightBottom;
using emulator::kLineDoubleHeightTop;
using emulator::kLineSingleWidth;

constexpr int RoundDownToEven(int n) {
    return n & ~1;
}
constexpr int RoundUpToEven(int n) {
    return (n + 1) & ~1;
}

std::uint8_t LineAttribute(std::span<const std::uint8_t> lineAttrs, int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= lineAttrs.size()) {
        return kLineSingleWidth;
    }
    return lineAttrs[static_cast<std::size_t>(row)];
}

// The row is the lower half of a double-height pair whose upper half is
// right above it.
bool IsLowerHalfOfPair(std::span<const std::uint8_t> lineAttrs, int row) {
    return row > 0 && LineAttribute(lineAttrs, row) == kLineDoubleHeightBottom &&
           LineAttribute(lineAttrs, row - 1) == kLineDoubleHeightTop;
}

} // namespace

SelectionRange NormaliseSelection(GridPoint anchor, GridPoint current) {
    return SelectionRange{std::min(anchor.row, current.row), std::max(anchor.row, current.row),
                          std::min(anchor.column, current.column),
                          std::max(anchor.column, current.column)};
}

std::optional<Rect> SelectionRepaintRect(const CellGeometry& g, const SelectionRange& selection,
                                         bool italicFont) {
    if (selection.Empty()) {
        return std::nullopt;
    }
    Rect rect;
    rect.top = std::max(selection.startRow - 1, 0) * g.cellHeight + g.marginTop;
    rect.bottom = std::min(g.rows, selection.endRow + 1) * g.cellHeight + g.marginTop;
    if (italicFont) {
        rect.left = g.marginLeft;
        rect.right = g.clientWidth + g.marginLeft;
    } else {
        rect.left = RoundDownToEven(selection.startColumn) * g.cellWidth + g.marginLeft;
        rect.right = RoundUpToEven(selection.endColumn) * g.cellWidth + g.marginLeft;
    }
    return rect;
}

bool SelectionBand::Contains(int row, int column, bool doubleWidthRow) const {
    if (row < firstRow || row >= endRow) {
        return false;
    }
    if (doubleWidthRow) {
        return column >= RoundDownToEven(startColumn) && column < RoundUpToEven(endColumn);
    }
    return column >= startColumn && column < endColumn;
}

SelectionBand MakeSelectionBand(const SelectionRange& selection,
                                std::span<const std::uint8_t> lineAttrs) {
    SelectionBand band{selection.startRow, selection.endRow, selection.startColumn,
                       selection.endColumn};
    if (IsLowerHalfOfPair(lineAttrs, selection.startRow)) {
        --band.firstRow;
    }
    const int lastRow = selection.endRow - 1;
    const int screenRows = static_cast<int>(lineAttrs.size());
    if (lastRow + 1 < screenRows && LineAttribute(lineAttrs, lastRow) == kLineDoubleHeightTop &&
        LineAttribute(lineAttrs, lastRow + 1) == kLineDoubleHeightBottom) {
        ++band.endRow;
    }
    return band;
}

SelectionUpdate SelectionState::ButtonDown(SelectionOwner owner, GridPoint point) {
    SelectionUpdate cancelled = Cancel();
    owner_ = owner;
    dragging_ = true;
    anchor_ = current_ = point;
    range_ = SelectionRange{point.row, point.row, point.column, point.column};
    active_ = false;
    return cancelled;
}

SelectionUpdate SelectionState::Track(GridPoint point) {
    SelectionUpdate update;
    update.window = owner_;
    if (point == current_) {
        return update;
    }
    current_ = point;
    if (active_) {
        update.repaintOld = range_;
    }
    range_ = NormaliseSelection(anchor_, current_);
    active_ = !range_.Empty();
    if (active_) {
        update.repaintNew = range_;
    }
    return update;
}

SelectionUpdate SelectionState::Move(GridPoint point) {
    if (!dragging_ || owner_ == nullptr) {
        return SelectionUpdate{};
    }
    return Track(point);
}

SelectionUpdate SelectionState::ButtonUp(GridPoint point) {
    if (owner_ == nullptr) {
        return SelectionUpdate{};
    }
    SelectionUpdate update = Track(point);
    update.releaseCapture = true;
    dragging_ = false;
    update.copyEnabled = active_;
    return update;
}

SelectionUpdate SelectionState::Cancel() {
    SelectionUpdate update;
    if (owner_ == nullptr) {
        return update;
    }
    update.window = owner_;
    if (dragging_) {
        update.releaseCapture = true;
        dragging_ = false;
    }
    if (active_) {
        update.repaintOld = range_;
        active_ = false;
        update.copyEnabled = false;
    }
    owner_ = nullptr;
    return update;
}

std::optional<SelectionBand>
SelectionState::BandFor(SelectionOwner window, std::span<const std::uint8_t> lineAttrs) const {
    if (!HeldBy(window) || !active_) {
        return std::nullopt;
    }
    return MakeSelectionBand(range_, lineAttrs);
}

namespace {

struct CancelRule {
    SelectionEvent event;
    bool cancels;
    bool onlyInOwner;
};

// clang-format off
constexpr std::array<CancelRule, 8> kCancelRules = {{
    //  event                              cancels  only in the owner window
    {   SelectionEvent::ButtonDown,        true,    false },
    {   SelectionEvent::Copy,              true,    false },
    {   SelectionEvent::ConsoleActivated,  true,    false },
    {   SelectionEvent::RepaintAll,        true,    true  },
    {   SelectionEvent::RepaintScrolled,   true,    true  },
    {   SelectionEvent::RepaintCells,      false,   false },
    {   SelectionEvent::ResizeNotice,      true,    true  },
    {   SelectionEvent::Reset,             true,    true  },
}};

// Codes of the terminal's own glyphs, from 0xFFF0 on: control pictures HT,
// FF, CR, LF, NL, VT, then scan lines 1, 3, 5, 7, 9.
constexpr std::uint16_t kFirstSpecialCode = 0xFFF0;
constexpr std::array<char16_t, 11> kCopiedSpecials = {
    u'\u2194', u'\u2191', u'\u2190', u'\u2193', u'\u00B6', u'\u2195',
    u'\u00AF', u'\u00AF', u'\u2500', u'\u005F', u'\u005F',
};
// clang-format on

} // namespace

bool CancelsSelection(SelectionEvent event, bool inOwnerWindow) {
    for (const CancelRule& rule : kCancelRules) {
        if (rule.event == event) {
            return rule.cancels && (inOwnerWindow || !rule.onlyInOwner);
        }
    }
    return false;
}

char16_t CopiedCharacter(std::uint16_t code) {
    if (code >= kFirstSpecialCode && code < kFirstSpecialCode + kCopiedSpecials.size()) {
        return kCopiedSpecials[code - kFirstSpecialCode];
    }
    // A cell never written since the buffer was made holds 0; a NUL would end
    // the clipboard text early, so it reads as the blank it shows.
    if (code == 0) {
        return u' ';
    }
    return static_cast<char16_t>(code);
}

std::u16string CopySelectionText(const emulator::ScreenBuffer& screen,
                                 const SelectionRange& selection) {
    std::u16string text;
    if (selection.Empty()) {
        return text;
    }
    const std::span<const std::uint8_t> lineAttrs(screen.lineAttrs);
    const int rows = std::min(static_cast<int>(screen.rows), static_cast<int>(lineAttrs.size()));
    const int columns = static_cast<int>(screen.cols);
    int firstRow = std::max(selection.startRow, 0);
    if (IsLowerHalfOfPair(lineAttrs, firstRow)) {
        --firstRow; // its text is that of the upper half
    }
    const int endRow = std::min(selection.endRow, rows);
    bool anyRow = false;
    for (int row = firstRow; row < endRow; ++row) {
        const std::uint8_t lineAttribute = LineAttribute(lineAttrs, row);
        if (lineAttribute == kLineDoubleHeightBottom) {
            continue;
        }
        int column = selection.startColumn;
        int endColumn = selection.endColumn;
        int step = 1;
        if (lineAttribute != kLineSingleWidth) {
            column = RoundDownToEven(column);
            endColumn = RoundUpToEven(endColumn);
            step = 2;
        }
        column = std::max(column, 0);
        endColumn = std::min(endColumn, columns);
        std::size_t endOfText = text.size();
        for (; column < endColumn; column += step) {
            const char16_t ch = CopiedCharacter(screen.chars[screen.CellIndex(
                static_cast<std::uint32_t>(row), static_cast<std::uint32_t>(column))]);
            text.push_back(ch);
            if (ch != u' ') {
                endOfText = text.size();
            }
        }
        text.resize(endOfText);
        text += u"\r\n";
        anyRow = true;
    }
    if (anyRow) {
        text.resize(text.size() - 2);
    }
    return text;
}

namespace {

constexpr unsigned kCarriageReturn = 0x0D;

template <typename Char>
std::vector<PasteStep> Schedule(std::basic_string_view<Char> text, std::uint16_t intercharDelay,
                                std::uint16_t returnDelay) {
    std::vector<PasteStep> steps;
    for (Char ch : text) {
        const auto code = static_cast<std::make_unsigned_t<Char>>(ch);
        if (code == 0) {
            break;
        }
        if (code == kCarriageReturn) {
            steps.push_back(PasteStep{static_cast<std::uint8_t>(code), returnDelay});
        } else if (code >= 0x20 && code <= 0x7E) {
            steps.push_back(PasteStep{static_cast<std::uint8_t>(code), intercharDelay});
        }
    }
    return steps;
}

} // namespace

std::vector<PasteStep> PasteSchedule(std::u16string_view text, std::uint16_t intercharDelay,
                                     std::uint16_t returnDelay) {
    return Schedule(text, intercharDelay, returnDelay);
}

std::vector<PasteStep> PasteSchedule(std::string_view text, std::uint16_t intercharDelay,
                                     std::uint16_t returnDelay) {
    return Schedule(text, intercharDelay, returnDelay);
}

} // namespace kestra::console
