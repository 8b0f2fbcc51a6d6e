#include "console/PaintPlan.h"

#include <algorithm>

namespace kestra::console {

namespace {

using emulator::kAttrUnderline;
using emulator::kLineDoubleHeightBottom;
using emulator::kLineDoubleHeightTop;
using emulator::kLineSingleWidth;

constexpr std::uint8_t kAttributeBits = 0x0F;
constexpr std::uint16_t kFirstControlPicture = 0xFFF0;
constexpr std::uint16_t kFirstScanLine = 0xFFF6;
constexpr std::uint16_t kFirstLiteral = 0xFFFB;
constexpr std::uint16_t kMiddleScanLine = 0xFFF8;

// The two letters of each control picture, by code from 0xFFF0.
constexpr char kPictureFirstLetters[] = "HFCLNV";
constexpr char kPictureSecondLetters[] = "TFRFLT";

// The arms of each line-drawing character, from the centre of its box to
// the edges.
struct LineArms {
    char16_t code;
    bool up, down, left, right;
};
// clang-format off
constexpr std::array<LineArms, 11> kLineArms{{
//   code       up     down   left   right
    {u'\u2500', false, false, true,  true },  // horizontal line
    {u'\u2502', true,  true,  false, false},  // vertical line
    {u'\u250C', false, true,  false, true },  // upper-left corner
    {u'\u2510', false, true,  true,  false},  // upper-right corner
    {u'\u2514', true,  false, false, true },  // lower-left corner
    {u'\u2518', true,  false, true,  false},  // lower-right corner
    {u'\u251C', true,  true,  false, true },  // left tee
    {u'\u2524', true,  true,  true,  false},  // right tee
    {u'\u252C', false, true,  true,  true },  // top tee
    {u'\u2534', true,  false, true,  true },  // bottom tee
    {u'\u253C', true,  true,  true,  true },  // cross
}};
// clang-format on
constexpr char16_t kShade = u'\u2592';
constexpr char16_t kDiamond = u'\u25C6';

const LineArms* ArmsOf(char16_t code) {
    for (const LineArms& arms : kLineArms) {
        if (arms.code == code) {
            return &arms;
        }
    }
    return nullptr;
}

bool IsDoubleHeight(std::uint8_t lineAttribute) {
    return lineAttribute == kLineDoubleHeightTop || lineAttribute == kLineDoubleHeightBottom;
}

// The part of the screen both the window's grid and the buffer cover.
struct Extent {
    int rows;
    int columns;
};

Extent VisibleExtent(const CellGeometry& g, const emulator::ScreenBuffer& screen) {
    const int bufferRows =
        std::min(static_cast<int>(screen.rows), static_cast<int>(screen.lineAttrs.size()));
    return Extent{std::min(g.rows, bufferRows), std::min(g.columns, static_cast<int>(screen.cols))};
}

struct Cell {
    std::uint16_t code;
    std::uint8_t attribute;
};

Cell CellAt(const emulator::ScreenBuffer& screen, int row, int column) {
    const std::size_t at =
        screen.CellIndex(static_cast<std::uint32_t>(row), static_cast<std::uint32_t>(column));
    return Cell{screen.chars[at], screen.attrs[at]};
}

int EffectiveAttributeAt(const emulator::ScreenBuffer& screen, int row, int column,
                         bool doubleWidthRow, bool reverseVideo,
                         const std::optional<SelectionBand>& selection) {
    const bool selected = selection && selection->Contains(row, column, doubleWidthRow);
    return EffectiveAttribute(CellAt(screen, row, column).attribute, selected, reverseVideo);
}

// The glyphs of one special code drawn alone in its cell.
void PlaceSpecialGlyphs(PaintItem& item, std::uint16_t code, const CellGeometry& g,
                        const RowPlan& row, int x) {
    const std::uint8_t a = row.lineAttribute;
    switch (item.kind) {
    case GlyphKind::ControlPicture: {
        const std::size_t letter = code - kFirstControlPicture;
        // The second letter sits lower right, by 40 % of the cell, 80 % in
        // the direction a row is doubled in.
        const int dx = g.cellWidth * (a != kLineSingleWidth ? 80 : 40) / 100;
        const int dy = g.cellHeight * (IsDoubleHeight(a) ? 80 : 40) / 100;
        item.fontIndex = ControlPictureFontIndex(a);
        item.glyphs.push_back(
            Glyph{static_cast<char16_t>(kPictureFirstLetters[letter]), x, row.textTop});
        item.glyphs.push_back(
            Glyph{static_cast<char16_t>(kPictureSecondLetters[letter]), x + dx, row.textTop + dy});
        break;
    }
    case GlyphKind::ScanLine:
    case GlyphKind::Shape: {
        const Rect box{x, row.textTop, x + row.advance, row.textTop + g.cellHeight * row.scaleY};
        item.fontIndex = a;
        item.shapes = ShapesOf(code, box, LineStroke(g.cellHeight), row.scaleX, row.scaleY);
        break;
    }
    case GlyphKind::Literal:
    case GlyphKind::Text:
        item.fontIndex = a;
        item.glyphs.push_back(Glyph{static_cast<char16_t>(code), x, row.textTop});
        break;
    }
}

RowPlan PlanRow(const CellGeometry& g, const emulator::ScreenBuffer& screen, int row,
                int firstColumn, int endColumn, bool reverseVideo,
                const std::optional<SelectionBand>& selection) {
    RowPlan plan;
    plan.row = row;
    plan.lineAttribute = screen.lineAttrs[static_cast<std::size_t>(row)] & 3;
    const std::uint8_t a = plan.lineAttribute;
    const bool doubled = a != kLineSingleWidth;
    plan.step = doubled ? 2 : 1;
    plan.advance = plan.step * g.cellWidth;
    plan.scaleX = doubled ? 2 : 1;
    plan.scaleY = IsDoubleHeight(a) ? 2 : 1;
    const int bandTop = row * g.cellHeight + g.marginTop;
    plan.band =
        Rect{g.marginLeft, bandTop, g.marginLeft + g.columns * g.cellWidth, bandTop + g.cellHeight};
    plan.textTop = a == kLineDoubleHeightBottom ? bandTop - g.cellHeight : bandTop;
    if (doubled) {
        firstColumn &= ~1;
    }

    int column = firstColumn;
    while (column < endColumn) {
        const Cell first = CellAt(screen, row, column);
        PaintItem item;
        item.kind = GlyphKindOf(first.code);
        item.firstColumn = column;
        item.effectiveAttribute = static_cast<std::uint8_t>(
            EffectiveAttributeAt(screen, row, column, doubled, reverseVideo, selection));
        item.colours = ColoursFor(item.effectiveAttribute);
        const int x = column * g.cellWidth + g.marginLeft;
        if (item.kind == GlyphKind::Text) {
            item.fontIndex = CellFontIndex(first.attribute, a);
            for (; column < endColumn; column += plan.step) {
                const Cell cell = CellAt(screen, row, column);
                if (GlyphKindOf(cell.code) != GlyphKind::Text ||
                    EffectiveAttributeAt(screen, row, column, doubled, reverseVideo, selection) !=
                        item.effectiveAttribute) {
                    break;
                }
                item.glyphs.push_back(Glyph{static_cast<char16_t>(cell.code),
                                            column * g.cellWidth + g.marginLeft, plan.textTop});
            }
        } else {
            PlaceSpecialGlyphs(item, first.code, g, plan, x);
            // Special glyphs get the underline stroke laid over them; on an
            // upper half it would fall outside the band.
            if ((first.attribute & kAttrUnderline) != 0 && a != kLineDoubleHeightTop) {
                item.underlineFontIndex = kUnderlinedFonts + a;
            }
            column += plan.step;
        }
        item.positions = (column - item.firstColumn + plan.step - 1) / plan.step;
        item.rect = Rect{x, plan.band.top, x + item.positions * plan.advance, plan.band.bottom};
        plan.items.push_back(std::move(item));
    }
    return plan;
}

} // namespace

bool ShowsReversed(const emulator::ScreenBuffer& screen, bool reverseVideo) {
    // A VT102's reverse screen inverts the user's choice.
    return reverseVideo != (screen.reverseScreen != 0);
}

Rgb WindowBackground(bool reverseVideo) {
    return reverseVideo ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
}

int EffectiveAttribute(std::uint8_t attribute, bool selected, bool reverseVideo) {
    const int inverted = selected != reverseVideo ? kInvertedAttributes : 0;
    return (attribute & kAttributeBits) + inverted;
}

CellColours ColoursFor(int effectiveAttribute) {
    return kCellColours[static_cast<std::size_t>(effectiveAttribute) % kCellColours.size()];
}

GlyphKind GlyphKindOf(std::uint16_t code) {
    if (code == kShade || code == kDiamond || ArmsOf(code) != nullptr) {
        return GlyphKind::Shape;
    }
    if (code < kFirstControlPicture) {
        return GlyphKind::Text;
    }
    if (code < kFirstScanLine) {
        return GlyphKind::ControlPicture;
    }
    if (code < kFirstLiteral) {
        return GlyphKind::ScanLine;
    }
    return GlyphKind::Literal;
}

int LineStroke(int cellHeight) {
    // About as thick as a light line of a font drawn that high.
    constexpr int kCellHeightPerPixel = 14;
    return std::max(1, cellHeight / kCellHeightPerPixel);
}

std::vector<Shape> ShapesOf(char16_t code, const Rect& box, int stroke, int scaleX, int scaleY) {
    if (code == kShade) {
        return {Shape{box, ShapeFill::Checker}};
    }
    if (code == kDiamond) {
        // As wide as the box, and as high as wide (twice on a double-height
        // line), in its middle.
        const int width = box.right - box.left;
        const int height = std::min(box.bottom - box.top, width / scaleX * scaleY);
        const int top = box.top + (box.bottom - box.top - height) / 2;
        return {Shape{Rect{box.left, top, box.right, top + height}, ShapeFill::Diamond}};
    }
    // A horizontal stroke is `across` high, a vertical one `upright` wide,
    // both centred in the box.
    const int across = stroke * scaleY;
    const int upright = stroke * scaleX;
    const int middleY = box.top + (box.bottom - box.top - across) / 2;
    const int middleX = box.left + (box.right - box.left - upright) / 2;
    if (code >= kFirstScanLine && code < kFirstLiteral) {
        // Scan line 5 lies in the middle; the others move by two or four
        // fifths of the box's height, and stay inside it.
        const int k = code - kMiddleScanLine;
        const int top = std::clamp(middleY + (k * (box.bottom - box.top) + 2) / 5, box.top,
                                   box.bottom - across);
        return {Shape{Rect{box.left, top, box.right, top + across}}};
    }
    const LineArms* arms = ArmsOf(code);
    if (arms == nullptr) {
        return {};
    }
    std::vector<Shape> shapes;
    if (arms->left || arms->right) {
        shapes.push_back(
            Shape{Rect{arms->left ? box.left : middleX, middleY,
                       arms->right ? box.right : middleX + upright, middleY + across}});
    }
    if (arms->up || arms->down) {
        shapes.push_back(Shape{Rect{middleX, arms->up ? box.top : middleY, middleX + upright,
                                    arms->down ? box.bottom : middleY + across}});
    }
    return shapes;
}

PaintPlan PlanPaint(const CellGeometry& g, const emulator::ScreenBuffer& screen, const Rect& update,
                    bool reverseVideo, const std::optional<SelectionBand>& selection) {
    PaintPlan plan;
    reverseVideo = ShowsReversed(screen, reverseVideo);
    const CellSpan span = CellsInRect(g, update);
    const Extent extent = VisibleExtent(g, screen);
    const int endRow = std::min(span.endRow, extent.rows);
    const int endColumn = std::min(span.endColumn, extent.columns);
    for (int row = span.firstRow; row < endRow; ++row) {
        if (span.firstColumn >= endColumn) {
            break;
        }
        plan.rows.push_back(
            PlanRow(g, screen, row, span.firstColumn, endColumn, reverseVideo, selection));
    }
    return plan;
}

std::optional<CursorPlan> PlanCursor(const CellGeometry& g, const emulator::ScreenBuffer& screen,
                                     const CursorPosition& cursor, bool hasFocus, bool reverseVideo,
                                     const std::optional<SelectionBand>& selection) {
    const Extent extent = VisibleExtent(g, screen);
    if (!hasFocus || !cursor.visible || cursor.row < 0 || cursor.row >= extent.rows ||
        cursor.column < 0 || cursor.column >= extent.columns) {
        return std::nullopt;
    }
    CursorPlan plan;
    // On a double-width row the cursor underlines the whole character it is
    // on, from the pair's even column, which is also the cell range its
    // repaints cover; starting at an odd column would leave half a cursor
    // behind after it moves.
    const int column = cursor.doubleWidth ? cursor.column & ~1 : cursor.column;
    const int left = column * g.cellWidth + g.marginLeft;
    const int right = left + g.cellWidth * (cursor.doubleWidth ? 2 : 1);
    const int bottom = (cursor.row + 1) * g.cellHeight + g.marginTop;
    const std::uint8_t a = screen.lineAttrs[static_cast<std::size_t>(cursor.row)];
    const int height = g.cellHeight * (IsDoubleHeight(a) ? 2 : 1);
    plan.thickness = std::max((height + 2) / 10, 2);
    plan.rect = Rect{left, bottom - plan.thickness, right, bottom};
    const bool selected =
        selection && selection->Contains(cursor.row, cursor.column, cursor.doubleWidth);
    plan.penIndex = ShowsReversed(screen, reverseVideo) != selected ? 1 : 0;
    plan.penEntry = kCursorEntries[plan.penIndex];
    return plan;
}

std::vector<Rect> BlinkRepaintRects(const CellGeometry& g, const emulator::ScreenBuffer& screen,
                                    bool reverseVideo,
                                    const std::optional<SelectionBand>& selection, int fromPhase,
                                    int toPhase, bool italicFont) {
    std::array<bool, kEffectiveAttributes> changes{};
    bool anyChange = false;
    for (std::size_t e = 0; e < changes.size(); ++e) {
        const CellColours colours = kCellColours[e];
        changes[e] = EntryChangesBetween(colours.text, fromPhase, toPhase) ||
                     EntryChangesBetween(colours.background, fromPhase, toPhase);
        anyChange = anyChange || changes[e];
    }
    std::vector<Rect> rects;
    if (!anyChange) {
        return rects;
    }
    const Extent extent = VisibleExtent(g, screen);
    reverseVideo = ShowsReversed(screen, reverseVideo);
    for (int row = 0; row < extent.rows; ++row) {
        const bool doubled = screen.lineAttrs[static_cast<std::size_t>(row)] != kLineSingleWidth;
        const int step = doubled ? 2 : 1;
        int runStart = -1;
        const auto flush = [&](int end) {
            if (runStart >= 0) {
                rects.push_back(
                    RepaintRect(g, CellRange{row, runStart, row, std::min(end, extent.columns) - 1},
                                italicFont));
                runStart = -1;
            }
        };
        for (int column = 0; column < extent.columns; column += step) {
            const int e =
                EffectiveAttributeAt(screen, row, column, doubled, reverseVideo, selection);
            if (changes[static_cast<std::size_t>(e)]) {
                if (runStart < 0) {
                    runStart = column;
                }
            } else {
                flush(column);
            }
        }
        flush(extent.columns + (doubled ? 1 : 0));
    }
    return rects;
}

} // namespace kestra::console
