#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The character grid of one console: a 16-bit character and an attribute per
// cell, a line attribute per row, a cursor and a scroll region. The emulator
// drives it, the console window paints from its arrays, and every visible
// change is announced to its observer. It never blocks and never fails after
// creation.
namespace kestra::emulator {

// Attribute bits of a cell; the other bits are never set.
inline constexpr std::uint8_t kAttrBlink = 1;
inline constexpr std::uint8_t kAttrReverse = 2;
inline constexpr std::uint8_t kAttrUnderline = 4;
inline constexpr std::uint8_t kAttrBold = 8;

// Line attributes of a row.
inline constexpr std::uint8_t kLineSingleWidth = 0;
inline constexpr std::uint8_t kLineDoubleWidth = 1;
inline constexpr std::uint8_t kLineDoubleHeightTop = 2;
inline constexpr std::uint8_t kLineDoubleHeightBottom = 3;

// Storage width of every row: width switches only change the column count in
// use, never the arrays.
inline constexpr unsigned kMaxColumns = 132;
inline constexpr unsigned kMinRows = 2;
inline constexpr unsigned kMaxRows = 254;

// What a screen buffer announces.
// The console implements it to collect what its window must repaint; every
// method has an empty default. Calls come with the buffer changed and carry
// where the change happened: nothing is read back from the buffer's cursor
// fields. They run once or twice per received byte, or once per run of
// printed text, on the thread that drives the emulator.
struct ScreenBuffer;

class ScreenObserver {
public:
    // Everything may have changed.
    virtual void RefreshAll() {}
    // The cursor is now shown at (row, column).
    virtual void CursorMoved(std::uint32_t row, std::uint32_t column) {}
    virtual void CursorVisibility(bool shown) {}
    // count cells from (row, column), within the row, now hold attribute.
    virtual void CellsChanged(std::uint32_t row, std::uint32_t column, unsigned count,
                              std::uint8_t attribute) {}
    // The screen's first row is about to scroll off the top: its cells and
    // line size still hold what it showed. Only a scroll of a region that
    // starts at the first row loses a row this way.
    virtual void LineScrolledOff(const ScreenBuffer& screen) {}
    // Rows top to bottom moved up (down) by one; the row that came free is
    // announced as changed cells afterwards.
    virtual void ScrolledUp(std::uint32_t top, std::uint32_t bottom) {}
    virtual void ScrolledDown(std::uint32_t top, std::uint32_t bottom) {}
    // A scroll is complete: what changed should be shown.
    virtual void FlushChanges() {}
    // The row's line size changed (its cells were announced before).
    virtual void LineChanged(std::uint32_t row) {}
    virtual void ScreenResized(std::uint32_t rows, std::uint32_t columns) {}
    // An observer that takes runs of printed text says so here; otherwise the
    // emulator prints one character at a time, announcing each with
    // CellsChanged and CursorMoved.
    virtual bool TakesPrintedRuns() const { return false; }
    // count characters were printed one after the other on row, ending just
    // left of column, where the cursor now stands (and is shown): it stands
    // for count pairs of CellsChanged (one cell) and CursorMoved.
    virtual void CellsPrinted(std::uint32_t row, std::uint32_t column, unsigned count) {}

protected:
    ~ScreenObserver() = default;
};

struct ScreenBuffer {
    std::uint32_t attached = 0;          // the observer is told only while 1
    std::vector<std::uint16_t> chars;    // rows x 132; cell (r, c) at r * cols + c
    std::vector<std::uint8_t> attrs;     // same layout as chars
    std::vector<std::uint8_t> lineAttrs; // one per row
    ScreenObserver* observer = nullptr;
    std::uint32_t rows = 0;
    std::uint32_t cols = 0;
    std::uint16_t regionTop = 0;
    std::uint16_t regionBottom = 0;
    std::uint32_t row = 0;
    std::uint32_t col = 0;
    std::uint8_t attr = 0;
    std::uint16_t eraseAttr = 0;
    std::uint32_t cursorVisible = 0;
    std::uint32_t shownRow = 0;
    std::uint32_t shownCol = 0;
    std::uint8_t autowrap = 0;
    std::uint8_t scrolling = 1;
    std::uint8_t reverseScreen = 0; // a VT102's reverse screen: painted dark on light

    // Sizes the arrays (rows clamped to 2..254, columns to 1..132), then
    // shows the cursor and clears the screen.
    void CreateScreen(unsigned rowCount, unsigned allocatedColumns);

    void SetColumns(unsigned count);
    // Clamps to the screen; a top at or below the bottom selects the whole screen.
    void SetScrollRegion(unsigned top, unsigned bottom);
    void RefreshScreen();
    void ShowCursor();
    void HideCursor();
    void MoveCursor(std::uint32_t r, std::uint32_t c);
    void HomeCursor();
    void PutCell(std::uint16_t ch, std::uint8_t a);
    void PutChar(std::uint16_t ch) { PutCell(ch, attr); }
    void EraseCells(std::size_t start, std::size_t count);
    void ClearScreen();
    void ScrollUp();
    void ScrollDown();
    void CarriageReturn();
    void LineFeed();
    void CursorUp(bool scrollAtTop);
    void CursorDown(bool scrollAtBottom);
    void CursorLeft();
    void CursorRight();
    void CursorUpBy(std::uint32_t n);
    void CursorDownBy(std::uint32_t n);
    void CursorLeftBy(std::uint32_t n);
    void CursorRightBy(std::uint32_t n);
    void EraseLineRight();
    void EraseLineLeft();
    void EraseScreenBelow();
    void EraseScreenAbove();
    void SetLineAttribute(std::uint32_t r, std::uint8_t value);
    // A VT102's editing at the cursor: lines within the scroll region (none
    // when the cursor is outside it), cells within the cursor's row. What is
    // pushed past the region or the row is lost; what comes free is blank.
    // The cursor does not move.
    void InsertLines(std::uint32_t n);
    void DeleteLines(std::uint32_t n);
    void InsertCells(std::uint32_t n);
    void DeleteCells(std::uint32_t n);
    bool IsDoubleWidthRow() const { return lineAttrs[row] != kLineSingleWidth; }

    std::size_t CellIndex(std::uint32_t r, std::uint32_t c) const {
        return std::size_t{r} * cols + c;
    }

    // Copies the cursor to the shown position and announces it.
    void UpdateCursor();

    // The observer while the screen is attached; otherwise none.
    ScreenObserver* Observer() const { return attached ? observer : nullptr; }
};

} // namespace kestra::emulator
