#include "console/CellGeometry.h"

#include <algorithm>

namespace kestra::console {

namespace {

// Pixels kept free round the grid before it is divided into cells.
constexpr int kGridFrame = 4;

} // namespace

CellGeometry ComputeCellGeometry(int clientWidth, int clientHeight, int columns, int rows) {
    CellGeometry g;
    g.clientWidth = clientWidth;
    g.clientHeight = clientHeight;
    g.columns = std::max(columns, 1);
    g.rows = std::max(rows, 1);
    g.cellWidth = std::max((clientWidth - kGridFrame) / g.columns, 1);
    g.cellHeight = std::max((clientHeight - kGridFrame) / g.rows, 1);
    g.marginLeft = (clientWidth - g.columns * g.cellWidth) / 2;
    g.marginTop = (clientHeight - g.rows * g.cellHeight) / 2;
    return g;
}

FontRequest FontFor(int fontIndex, const CellGeometry& geometry, bool bold, bool italic) {
    if (fontIndex < 0 || fontIndex >= kFontCount) {
        fontIndex = 0;
    }
    const FontShape& shape = kFontTable[static_cast<std::size_t>(fontIndex)];
    return FontRequest{shape.heightPercent * geometry.cellHeight / 100,
                       shape.widthPercent * geometry.cellWidth / 100, bold ? 700 : 400, italic,
                       shape.underline};
}

std::array<FontRequest, kFontCount> FontSet(const CellGeometry& geometry, bool bold, bool italic) {
    std::array<FontRequest, kFontCount> fonts;
    for (int i = 0; i < kFontCount; ++i) {
        fonts[static_cast<std::size_t>(i)] = FontFor(i, geometry, bold, italic);
    }
    return fonts;
}

int CellFontIndex(std::uint8_t attribute, std::uint8_t lineAttribute) {
    const int underlined = (attribute & 4) != 0 ? kUnderlinedFonts : 0;
    return underlined + (lineAttribute & 3);
}

int ControlPictureFontIndex(std::uint8_t lineAttribute) {
    return kControlPictureFonts + (lineAttribute & 3);
}

Rect CellRangeRect(const CellGeometry& g, const CellRange& cells) {
    return Rect{cells.leftColumn * g.cellWidth + g.marginLeft,
                cells.topRow * g.cellHeight + g.marginTop,
                (cells.rightColumn + 1) * g.cellWidth + g.marginLeft,
                (cells.bottomRow + 1) * g.cellHeight + g.marginTop};
}

Rect RepaintRect(const CellGeometry& g, const CellRange& cells, bool italicFont) {
    Rect rect = CellRangeRect(g, cells);
    if (italicFont) {
        rect.left = g.marginLeft;
        rect.right = g.clientWidth + g.marginLeft;
    }
    return rect;
}

Rect CursorCellRect(const CellGeometry& g, int row, int column, bool doubleWidth, bool italicFont) {
    const int first = doubleWidth ? column & ~1 : column;
    const int last = doubleWidth ? first + 1 : first;
    return RepaintRect(g, CellRange{row, first, row, last}, italicFont);
}

CellSpan CellsInRect(const CellGeometry& g, const Rect& update) {
    // The rectangle's last pixel row and column are bottom - 1 and right - 1.
    if (update.bottom <= g.marginTop || update.right <= g.marginLeft) {
        return CellSpan{};
    }
    CellSpan span;
    span.firstRow = std::max(0, update.top - g.marginTop) / g.cellHeight;
    span.endRow = std::min((update.bottom - 1 - g.marginTop) / g.cellHeight + 1, g.rows);
    span.firstColumn = std::max(0, update.left - g.marginLeft) / g.cellWidth;
    span.endColumn = std::min((update.right - 1 - g.marginLeft) / g.cellWidth + 1, g.columns);
    if (span.Empty()) {
        return CellSpan{};
    }
    return span;
}

GridPoint GridPointAt(const CellGeometry& g, int x, int y) {
    // Division truncates towards zero: half a cell is added first so that the
    // nearest corner wins; negative results are clamped away below anyway.
    const int row = (g.cellHeight / 2 - g.marginTop + y) / g.cellHeight;
    const int column = (g.cellWidth / 2 - g.marginLeft + x) / g.cellWidth;
    return GridPoint{std::clamp(row, 0, g.rows), std::clamp(column, 0, g.columns)};
}

} // namespace kestra::console
