#include "emulator/ScreenBuffer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace kestra::emulator {

namespace {

constexpr std::uint16_t kSpace = 32;

// Spaces into count characters from first, four cells per store: an erase
// covers up to a whole screen, and a fill of 16-bit values goes one cell at a
// time otherwise.
void FillSpaces(std::uint16_t* first, std::size_t count) {
    constexpr std::uint64_t kFourSpaces = 0x0020002000200020u;
    for (; count >= 4; count -= 4, first += 4) {
        std::memcpy(first, &kFourSpaces, sizeof kFourSpaces);
    }
    for (; count > 0; --count) {
        *first++ = kSpace;
    }
}

} // namespace

void ScreenBuffer::CreateScreen(unsigned rowCount, unsigned allocatedColumns) {
    rowCount = std::clamp(rowCount, kMinRows, kMaxRows);
    // Always the full width: a later width switch only changes cols.
    chars.assign(std::size_t{rowCount} * kMaxColumns, 0);
    attrs.assign(std::size_t{rowCount} * kMaxColumns, 0);
    lineAttrs.assign(rowCount, kLineSingleWidth);
    rows = rowCount;
    cols = std::clamp(allocatedColumns, 1u, kMaxColumns);
    attr = 0;
    eraseAttr = 0;
    regionTop = 0;
    regionBottom = static_cast<std::uint16_t>(rows - 1);
    row = col = 0;
    scrolling = 1;
    autowrap = 1;
    ShowCursor();
    ClearScreen();
}

void ScreenBuffer::SetColumns(unsigned count) {
    // Values a server sends that would leave the 132-column storage are clamped.
    cols = std::clamp(count, 1u, kMaxColumns);
    if (col >= cols) {
        // Keep the cursor on the screen so that the next write stays in its row.
        col = cols - 1;
        UpdateCursor();
    }
    if (ScreenObserver* told = Observer()) {
        told->ScreenResized(rows, cols);
    }
}

void ScreenBuffer::SetScrollRegion(unsigned top, unsigned bottom) {
    // A bottom past the last row is clamped first, so CSI 24;30 r on a 24-row
    // screen selects the whole screen rather than a one-row region.
    bottom = std::min(bottom, rows - 1);
    if (top >= bottom) {
        top = 0;
        bottom = rows - 1;
    }
    regionTop = static_cast<std::uint16_t>(top);
    regionBottom = static_cast<std::uint16_t>(bottom);
}

void ScreenBuffer::UpdateCursor() {
    shownRow = row;
    shownCol = col;
    if (ScreenObserver* told = Observer()) {
        told->CursorMoved(shownRow, shownCol);
    }
}

void ScreenBuffer::RefreshScreen() {
    if (!attached) {
        return;
    }
    SetColumns(cols);
    if (cursorVisible) {
        ShowCursor();
    } else {
        HideCursor();
    }
    UpdateCursor();
    if (ScreenObserver* told = Observer()) {
        told->RefreshAll();
    }
}

void ScreenBuffer::ShowCursor() {
    shownRow = row;
    shownCol = col;
    cursorVisible = 1;
    if (ScreenObserver* told = Observer()) {
        told->CursorVisibility(true);
    }
}

void ScreenBuffer::HideCursor() {
    shownRow = row;
    shownCol = col;
    cursorVisible = 0;
    if (ScreenObserver* told = Observer()) {
        told->CursorVisibility(false);
    }
}

void ScreenBuffer::MoveCursor(std::uint32_t r, std::uint32_t c) {
    row = r < rows ? r : rows - 1;
    col = c < cols ? c : cols - 1;
    UpdateCursor();
}

void ScreenBuffer::HomeCursor() {
    row = col = 0;
    UpdateCursor();
}

void ScreenBuffer::PutCell(std::uint16_t ch, std::uint8_t a) {
    if (ch == 0) {
        return;
    }
    const std::size_t index = CellIndex(row, col);
    chars[index] = ch;
    attrs[index] = a;
    if (ScreenObserver* told = Observer()) {
        told->CellsChanged(row, col, 1, a);
    }
    ++col;
    if (col < cols) [[likely]] {
        UpdateCursor();
        return;
    }
    if (!autowrap) {
        col = cols - 1;
        UpdateCursor();
        return;
    }
    // The wrap happens at once: there is no pending-wrap state. Only the
    // screen's last row scrolls; wrapping off a region bottom higher up moves
    // below the region.
    col = 0;
    ++row;
    if (row >= rows) {
        row = rows - 1;
        ScrollUp();
    }
    UpdateCursor();
}

void ScreenBuffer::EraseCells(std::size_t start, std::size_t count) {
    const std::size_t end = std::min(start + count, std::size_t{rows} * cols);
    if (start >= end) {
        return;
    }
    FillSpaces(&chars[start], end - start);
    std::fill(attrs.begin() + start, attrs.begin() + end, static_cast<std::uint8_t>(eraseAttr));
    ScreenObserver* told = Observer();
    if (told == nullptr) {
        return;
    }
    // One call per row the range touches.
    for (std::size_t index = start; index < end;) {
        const auto r = static_cast<std::uint32_t>(index / cols);
        const auto c = static_cast<std::uint32_t>(index % cols);
        const std::size_t run = std::min<std::size_t>(end - index, cols - c);
        told->CellsChanged(r, c, static_cast<unsigned>(run), static_cast<std::uint8_t>(eraseAttr));
        index += run;
    }
}

void ScreenBuffer::ClearScreen() {
    const std::size_t end = std::size_t{rows} * cols;
    FillSpaces(chars.data(), end);
    std::fill(attrs.begin(), attrs.begin() + end, static_cast<std::uint8_t>(eraseAttr));
    RefreshScreen();
    HomeCursor();
}

void ScreenBuffer::ScrollUp() {
    if (!scrolling) {
        // Page mode: the next text overwrites the top of the screen.
        if (row == rows - 1) {
            row = 0;
            UpdateCursor();
        }
        return;
    }
    const std::uint32_t top = regionTop;
    const std::uint32_t bottom = std::min<std::uint32_t>(regionBottom, rows - 1);
    if (top == 0) {
        if (ScreenObserver* told = Observer()) {
            told->LineScrolledOff(*this);
        }
    }
    if (top < bottom) {
        const std::size_t count = std::size_t{bottom - top} * cols;
        std::memmove(&chars[CellIndex(top, 0)], &chars[CellIndex(top + 1, 0)],
                     count * sizeof(chars[0]));
        std::memmove(&attrs[CellIndex(top, 0)], &attrs[CellIndex(top + 1, 0)], count);
        std::memmove(&lineAttrs[top], &lineAttrs[top + 1], bottom - top);
    }
    lineAttrs[bottom] = kLineSingleWidth;
    if (ScreenObserver* told = Observer()) {
        told->ScrolledUp(top, bottom);
    }
    EraseCells(CellIndex(bottom, 0), cols);
    if (ScreenObserver* told = Observer()) {
        told->FlushChanges();
    }
}

void ScreenBuffer::ScrollDown() {
    const std::uint32_t bottom = std::min<std::uint32_t>(regionBottom, rows - 1);
    const std::uint32_t top = std::min<std::uint32_t>(regionTop, bottom);
    if (top < bottom) {
        const std::size_t count = std::size_t{bottom - top} * cols;
        std::memmove(&chars[CellIndex(top + 1, 0)], &chars[CellIndex(top, 0)],
                     count * sizeof(chars[0]));
        std::memmove(&attrs[CellIndex(top + 1, 0)], &attrs[CellIndex(top, 0)], count);
        std::memmove(&lineAttrs[top + 1], &lineAttrs[top], bottom - top);
    }
    lineAttrs[top] = kLineSingleWidth;
    if (ScreenObserver* told = Observer()) {
        told->ScrolledDown(top, bottom);
    }
    EraseCells(CellIndex(top, 0), cols);
    if (ScreenObserver* told = Observer()) {
        told->FlushChanges();
    }
}

void ScreenBuffer::CarriageReturn() {
    col = 0;
    UpdateCursor();
}

void ScreenBuffer::LineFeed() {
    if (row == regionBottom) {
        ScrollUp();
    } else if (row < rows - 1) {
        ++row;
    }
    UpdateCursor();
}

void ScreenBuffer::CursorUp(bool scrollAtTop) {
    if (row == regionTop) {
        if (scrollAtTop) {
            ScrollDown();
        }
    } else if (row > 0) {
        --row;
    }
    UpdateCursor();
}

void ScreenBuffer::CursorDown(bool scrollAtBottom) {
    if (row == regionBottom) {
        if (scrollAtBottom) {
            ScrollUp();
        }
    } else if (row < rows - 1) {
        ++row;
    }
    UpdateCursor();
}

void ScreenBuffer::CursorLeft() {
    if (col > 0) {
        --col;
    }
    UpdateCursor();
}

void ScreenBuffer::CursorRight() {
    if (col < cols - 1) {
        ++col;
    }
    UpdateCursor();
}

// The repeated moves stop early once the cursor stands still: CSI 9999 A must
// cost no more than a move across the screen.
void ScreenBuffer::CursorUpBy(std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t before = row;
        CursorUp(false);
        if (row == before) {
            break;
        }
    }
}

void ScreenBuffer::CursorDownBy(std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t before = row;
        CursorDown(false);
        if (row == before) {
            break;
        }
    }
}

void ScreenBuffer::CursorLeftBy(std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t before = col;
        CursorLeft();
        if (col == before) {
            break;
        }
    }
}

void ScreenBuffer::CursorRightBy(std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t before = col;
        CursorRight();
        if (col == before) {
            break;
        }
    }
}

void ScreenBuffer::EraseLineRight() {
    EraseCells(CellIndex(row, col), col < cols ? cols - col : 0);
}

void ScreenBuffer::EraseLineLeft() {
    EraseCells(CellIndex(row, 0), col);
}

void ScreenBuffer::EraseScreenBelow() {
    const std::size_t start = CellIndex(row, col);
    EraseCells(start, std::size_t{rows} * cols - std::min(start, std::size_t{rows} * cols));
}

void ScreenBuffer::EraseScreenAbove() {
    EraseCells(0, CellIndex(row, col));
}

void ScreenBuffer::SetLineAttribute(std::uint32_t r, std::uint8_t value) {
    if (r >= rows || lineAttrs[r] == value) {
        return;
    }
    const bool toSingle = value == kLineSingleWidth;
    const bool fromSingle = lineAttrs[r] == kLineSingleWidth;
    // Each write stays in row r: the cells are stored directly rather than
    // through PutCell, so the last pair can neither wrap nor scroll.
    auto store = [this, r](std::uint32_t c, std::uint16_t ch, std::uint8_t a) {
        if (ch == 0) {
            return;
        }
        chars[CellIndex(r, c)] = ch;
        attrs[CellIndex(r, c)] = a;
        if (ScreenObserver* told = Observer()) {
            told->CellsChanged(r, c, 1, a);
        }
    };
    const std::uint32_t half = cols / 2;
    if (toSingle) {
        for (std::uint32_t j = 0; j < half; ++j) {
            store(j, chars[CellIndex(r, 2 * j)], attrs[CellIndex(r, 2 * j)]);
        }
        EraseCells(CellIndex(r, half), cols - half);
    } else if (fromSingle) {
        // From the right, so each source cell is copied before it is overwritten.
        for (std::uint32_t i = half; i-- > 0;) {
            const std::uint16_t ch = chars[CellIndex(r, i)];
            const std::uint8_t a = attrs[CellIndex(r, i)];
            store(2 * i, ch, a);
            store(2 * i + 1, kSpace, a);
        }
    }
    if (toSingle || fromSingle) {
        UpdateCursor();
    }
    lineAttrs[r] = value;
    if (ScreenObserver* told = Observer()) {
        told->LineChanged(r);
    }
}

namespace {

// Runs scroll on the region from the cursor row down, n times at most: the
// region's rows that the cursor row is part of.
template <typename Scroll>
void ScrollFromCursorRow(ScreenBuffer& screen, std::uint32_t n, Scroll scroll) {
    if (screen.row < screen.regionTop || screen.row > screen.regionBottom) {
        return;
    }
    const std::uint16_t top = screen.regionTop;
    screen.regionTop = static_cast<std::uint16_t>(screen.row);
    n = std::min<std::uint32_t>(n, screen.regionBottom - screen.row + 1);
    for (std::uint32_t i = 0; i < n; ++i) {
        scroll();
    }
    screen.regionTop = top;
}

} // namespace

void ScreenBuffer::InsertLines(std::uint32_t n) {
    ScrollFromCursorRow(*this, n, [this] { ScrollDown(); });
}

void ScreenBuffer::DeleteLines(std::uint32_t n) {
    ScrollFromCursorRow(*this, n, [this] { ScrollUp(); });
}

void ScreenBuffer::InsertCells(std::uint32_t n) {
    const std::uint32_t count = cols - col;
    n = std::min(n, count);
    std::uint16_t* const first = &chars[CellIndex(row, col)];
    std::uint8_t* const firstAttr = &attrs[CellIndex(row, col)];
    std::memmove(first + n, first, (count - n) * sizeof(*first));
    std::memmove(firstAttr + n, firstAttr, count - n);
    FillSpaces(first, n);
    std::fill(firstAttr, firstAttr + n, static_cast<std::uint8_t>(eraseAttr));
    if (ScreenObserver* told = Observer()) {
        told->CellsChanged(row, col, count, static_cast<std::uint8_t>(eraseAttr));
    }
}

void ScreenBuffer::DeleteCells(std::uint32_t n) {
    const std::uint32_t count = cols - col;
    n = std::min(n, count);
    std::uint16_t* const first = &chars[CellIndex(row, col)];
    std::uint8_t* const firstAttr = &attrs[CellIndex(row, col)];
    std::memmove(first, first + n, (count - n) * sizeof(*first));
    std::memmove(firstAttr, firstAttr + n, count - n);
    FillSpaces(first + (count - n), n);
    std::fill(firstAttr + (count - n), firstAttr + count, static_cast<std::uint8_t>(eraseAttr));
    if (ScreenObserver* told = Observer()) {
        told->CellsChanged(row, col, count, static_cast<std::uint8_t>(eraseAttr));
    }
}

} // namespace kestra::emulator
