#pragma once

#include "console/Properties.h"

#include <array>
#include <cstdint>

// Where the character grid of a console window lies: cell size and margins
// from the client size, the twelve fonts scaled to the cell, the pixel
// rectangles that repaints and the cursor cover, and the grid point under the
// mouse. Pixel rectangles are half-open: right and bottom are the first pixel
// outside (the Qt side converts with QRect(left, top, width, height)).
namespace kestra::console {

// The grid always fills the client area: the cell is scaled to the window.
struct CellGeometry {
    int clientWidth = 0;
    int clientHeight = 0;
    int columns = 1;
    int rows = 1;
    int marginLeft = 0;
    int marginTop = 0;
    int cellWidth = 1;
    int cellHeight = 1;
    bool operator==(const CellGeometry&) const = default;
};

// A 2-pixel frame is kept round the grid and the rest is split into cells;
// what the integer division leaves over goes into equal margins. A cell is at
// least one pixel in each direction, so no later division is by zero even in
// a window squeezed below its minimum size.
CellGeometry ComputeCellGeometry(int clientWidth, int clientHeight, int columns, int rows);

// The largest size a window can have.
inline constexpr int kMaxTrackingSize = 32767;

// The twelve fonts of a console window, each a percentage of the cell.
struct FontShape {
    int heightPercent;
    int widthPercent;
    bool underline;
};

inline constexpr int kFontCount = 12;
inline constexpr int kUnderlinedFonts = 4;     // added to a plain font's index
inline constexpr int kControlPictureFonts = 8; // small letters, plus the line attribute

// clang-format off
// Index: 0-3 plain text by line attribute (normal, double width, double-height
// top, double-height bottom), 4-7 the same underlined, 8-11 the small letters
// of control pictures by line attribute.
inline constexpr std::array<FontShape, kFontCount> kFontTable = {{
    //  height %  width %  underline
    {   100,      100,     false },  // normal row
    {   100,      200,     false },  // double-width row
    {   200,      200,     false },  // double-height top half
    {   200,      200,     false },  // double-height bottom half
    {   100,      100,     true  },
    {   100,      200,     true  },
    {   200,      200,     true  },
    {   200,      200,     true  },
    {    60,       60,     false },  // control-picture letters, normal row
    {    60,      120,     false },  // double-width row
    {   120,      120,     false },  // double-height top half
    {   120,      120,     false },  // double-height bottom half
}};
// clang-format on

// What the Qt side needs to make one font: pixel sizes, weight and style.
struct FontRequest {
    int pixelHeight = 0;
    int pixelWidth = 0;
    int weight = 400; // 700 when bold
    bool italic = false;
    bool underline = false;
    bool operator==(const FontRequest&) const = default;
};

// Font index out of range gives the normal font.
FontRequest FontFor(int fontIndex, const CellGeometry& geometry, bool bold, bool italic);
std::array<FontRequest, kFontCount> FontSet(const CellGeometry& geometry, bool bold, bool italic);

// The text font of a cell: underlined or not, by its row's line attribute.
int CellFontIndex(std::uint8_t attribute, std::uint8_t lineAttribute);
int ControlPictureFontIndex(std::uint8_t lineAttribute);

// An inclusive block of cells, as the repaint requests carry it.
struct CellRange {
    int topRow = 0;
    int leftColumn = 0;
    int bottomRow = 0;
    int rightColumn = 0;
};

// The pixels of a block of cells.
Rect CellRangeRect(const CellGeometry& geometry, const CellRange& cells);

// The area a partial repaint request invalidates: its cells, or whole rows
// under an italic font, whose glyphs lean out of their cells.
Rect RepaintRect(const CellGeometry& geometry, const CellRange& cells, bool italicFont);

// The area to invalidate when the cursor appears or goes: its cell, two cells
// from the even column on a double-width row, or the whole row in italics.
Rect CursorCellRect(const CellGeometry& geometry, int row, int column, bool doubleWidth,
                    bool italicFont);

// Rows and columns an update rectangle touches, ends exclusive; empty when
// the rectangle lies wholly in the top or left margin or below the grid.
struct CellSpan {
    int firstRow = 0;
    int endRow = 0;
    int firstColumn = 0;
    int endColumn = 0;
    bool Empty() const { return firstRow >= endRow || firstColumn >= endColumn; }
    bool operator==(const CellSpan&) const = default;
};
CellSpan CellsInRect(const CellGeometry& geometry, const Rect& update);

// Grid points are cell corners: row 0..rows, column 0..columns. The mouse
// picks the nearest corner; points outside the grid are pulled onto its edge.
struct GridPoint {
    int row = 0;
    int column = 0;
    bool operator==(const GridPoint&) const = default;
};
GridPoint GridPointAt(const CellGeometry& geometry, int x, int y);

} // namespace kestra::console
