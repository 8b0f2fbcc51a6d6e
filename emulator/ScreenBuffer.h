#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The character grid of one console: a 16-bit character and an attribute per
// cell, a line attribute per row, a cursor and a scroll region. The emulator
// drives it, the console window paints from its arrays, and every visible
// change is announced through the hooks. It never blocks and never fails after
// creation.
namespace kestra::emulator {

// Attribute bits of a cell; the other bits are never set.
inline constexpr std::uint8_t AttrBlink = 1;
inline constexpr std::uint8_t AttrReverse = 2;
inline constexpr std::uint8_t AttrUnderline = 4;
inline constexpr std::uint8_t AttrBold = 8;

// Line attributes of a row.
inline constexpr std::uint8_t LineSingleWidth = 0;
inline constexpr std::uint8_t LineDoubleWidth = 1;
inline constexpr std::uint8_t LineDoubleHeightTop = 2;
inline constexpr std::uint8_t LineDoubleHeightBottom = 3;

// Storage width of every row: width switches only change the column count in
// use, never the arrays.
inline constexpr unsigned MaxColumns = 132;
inline constexpr unsigned MinRows = 2;
inline constexpr unsigned MaxRows = 254;

struct ScreenBuffer;

// Display-side notifications, in slot order. Plain function pointers: they run
// once or twice per received byte, or once per run of printed text. A null
// slot is not called.
struct ScreenHooks {
    void (*RefreshAll)(ScreenBuffer& screen) = nullptr;
    void (*CursorMoved)(ScreenBuffer& screen) = nullptr; // reads shownRow, shownCol
    void (*CursorVisibility)(ScreenBuffer& screen, int shown) = nullptr;
    // count cells from (row, col) as they stand during the call, within the row
    void (*CellsChanged)(ScreenBuffer& screen, unsigned count) = nullptr;
    void (*ScrolledUp)(ScreenBuffer& screen) = nullptr;
    void (*ScrolledDown)(ScreenBuffer& screen) = nullptr;
    void (*FlushChanges)(ScreenBuffer& screen) = nullptr;
    void (*LineChanged)(ScreenBuffer& screen) = nullptr; // row holds the changed row
    void (*ScreenResized)(ScreenBuffer& screen) = nullptr;
    // Optional: count characters were written one after the other on the
    // cursor's row, ending just left of the cursor, and the cursor moved right
    // after each; (row, col) is where it stands now. It stands for count
    // pairs of CellsChanged (1) and CursorMoved, which the emulator calls
    // instead while this slot is empty.
    void (*CellsPrinted)(ScreenBuffer& screen, unsigned count) = nullptr;
};

struct ScreenBuffer {
    std::uint32_t attached = 0;          // hooks are called only while 1
    std::vector<std::uint16_t> chars;    // rows x 132; cell (r, c) at r * cols + c
    std::vector<std::uint8_t> attrs;     // same layout as chars
    std::vector<std::uint8_t> lineAttrs; // one per row
    ScreenHooks hooks;
    void* owner = nullptr; // the console; the hooks find themselves through it
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
    bool IsDoubleWidthRow() const { return lineAttrs[row] != LineSingleWidth; }

    std::size_t CellIndex(std::uint32_t r, std::uint32_t c) const {
        return std::size_t{r} * cols + c;
    }

    // Copies the cursor to the shown position and announces it.
    void UpdateCursor();
};

} // namespace kestra::emulator
