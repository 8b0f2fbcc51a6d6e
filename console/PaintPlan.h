#pragma once

#include "console/BlinkPalette.h"
#include "console/CellGeometry.h"
#include "console/Selection.h"
#include "emulator/ScreenBuffer.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// What painting a console window draws, decided without a display: for each
// row of an update rectangle, runs of cells with one look, each with its
// font, palette entries and the pixel position of every glyph, then the
// cursor. The Qt painter walks the plan and only executes it, so the grid
// stays exact whatever the font's own metrics.
namespace kestra::console {

// Palette entries of a cell's text and background.
struct CellColours {
    std::uint8_t text;
    std::uint8_t background;
    bool operator==(const CellColours&) const = default;
};

inline constexpr int kEffectiveAttributes = 32;
inline constexpr int kInvertedAttributes = 16; // added when a cell shows inverted

// clang-format off
// By effective attribute: the attribute bits (1 blink, 2 reverse,
// 4 underline, 8 bold), plus 16 when the cell shows inverted. Entries 0-3 are
// grey levels, 4-15 blinking pairs.
inline constexpr std::array<CellColours, kEffectiveAttributes> kCellColours = {{
    // text  background       attribute
    {  2,    0  }, {  11,  0  },  //  0  1
    {  0,    1  }, {   5,  7  },  //  2  3
    {  2,    0  }, {  11,  0  },  //  4  5
    {  0,    1  }, {   5,  7  },  //  6  7
    {  3,    0  }, {  15,  0  },  //  8  9
    {  0,    2  }, {   6, 10  },  // 10 11
    {  3,    0  }, {  15,  0  },  // 12 13
    {  0,    2  }, {   6, 10  },  // 14 15
    {  1,    3  }, {   8,  3  },  // 16 17
    {  3,    2  }, {  14, 12  },  // 18 19
    {  1,    3  }, {   8,  3  },  // 20 21
    {  3,    2  }, {  14, 12  },  // 22 23
    {  0,    3  }, {   4,  3  },  // 24 25
    {  3,    1  }, {  14,  9  },  // 26 27
    {  0,    3  }, {   4,  3  },  // 28 29
    {  3,    1  }, {  14,  9  },  // 30 31
}};
// clang-format on

// Whether the screen shows dark on light: the user's reverse video, or a
// VT102's reverse screen, not both.
bool ShowsReversed(const emulator::ScreenBuffer& screen, bool reverseVideo);
// What erasing fills the whole client area with before a full repaint.
Rgb WindowBackground(bool reverseVideo);

// A cell shows inverted when its being selected differs from Reverse Video.
// Only the four attribute bits count.
int EffectiveAttribute(std::uint8_t attribute, bool selected, bool reverseVideo);
CellColours ColoursFor(int effectiveAttribute);

// How a cell's code is drawn.
enum class GlyphKind : std::uint8_t {
    Text,           // codes below 0xFFF0, drawn in runs
    ControlPicture, // 0xFFF0-0xFFF5: two small letters (HT, FF, CR, LF, NL, VT)
    ScanLine,       // 0xFFF6-0xFFFA: a horizontal line at one of five heights
    Literal,        // 0xFFFB-0xFFFF: the code itself, alone in its cell
    Shape,          // a line, corner, tee, cross or shade of the graphics set
};
GlyphKind GlyphKindOf(std::uint16_t code);

// The line-drawing characters, the shade and the diamond are drawn from the cell's
// geometry, not from a font: fonts lack them or leave gaps at the cell edges,
// and drawn ones join their neighbours in every font and size.
enum class ShapeFill : std::uint8_t {
    Solid,   // the text colour
    Checker, // every other pixel in the text colour, aligned to the window
    Diamond, // a diamond touching the middle of each side, in the text colour
};
struct Shape {
    Rect rect;
    ShapeFill fill = ShapeFill::Solid;
    bool operator==(const Shape&) const = default;
};

// The shapes of a line-drawing character, the shade, the diamond or a scan line (1 to 9,
// as 0xFFF6 to 0xFFFA) in its glyph box: a double-width character's box is two
// cells wide, a double-height one's two cells high (clipped to the row's band
// when painted). Strokes are `stroke` pixels thick, doubled in the direction a
// row is doubled in; every arm of a line reaches the box's edge. Empty for
// any other code.
std::vector<Shape> ShapesOf(char16_t code, const Rect& box, int stroke, int scaleX, int scaleY);
// The stroke of the line-drawing characters in cells of this height.
int LineStroke(int cellHeight);

// One character at an exact place: the top-left corner of its box in device
// pixels (the Qt side adds the font's ascent for the baseline).
struct Glyph {
    char16_t code = 0;
    int x = 0;
    int y = 0;
    bool operator==(const Glyph&) const = default;
};

// Fill `rect` with the background entry, then draw the glyphs in the text
// entry with font `fontIndex` (of the twelve of CellGeometry.h), clipped to
// `rect`. When `underlineFontIndex` is set, also draw the underline stroke of
// that font over `rect` (as a transparent blank would): special glyphs get
// their underline this way, text runs from their underlined font.
struct PaintItem {
    GlyphKind kind = GlyphKind::Text;
    int firstColumn = 0;
    int positions = 0; // characters covered, each `step` columns wide
    Rect rect;
    std::uint8_t effectiveAttribute = 0;
    CellColours colours{2, 0};
    int fontIndex = 0;
    std::vector<Glyph> glyphs;
    std::vector<Shape> shapes; // drawn in the text entry after the glyphs
    std::optional<int> underlineFontIndex;
};

// One row of the update. Double-width and double-height rows draw a
// character at every second column with twice the advance; a double-height
// half shows its half of a glyph twice as high by placing the glyph box at
// the band's top (upper half) or one cell higher (lower half) and clipping
// everything to the band. The scale is that of the row's font against the
// normal one, for a painter that scales instead of using the bigger fonts:
// the font of the same kind on a normal row is fontIndex - lineAttribute, and
// the scaling is about the glyph box's top-left corner.
struct RowPlan {
    int row = 0;
    std::uint8_t lineAttribute = 0;
    int step = 1;    // columns per character
    int advance = 0; // pixels per character
    Rect band;       // clip for every drawing of the row
    int textTop = 0; // top of the glyph boxes
    int scaleX = 1;
    int scaleY = 1;
    std::vector<PaintItem> items;
};

struct PaintPlan {
    std::vector<RowPlan> rows;
};

// `selection`: the band shown selected, only for the window that holds an
// active selection. Rows and columns beyond either the window's grid or the
// buffer's (they differ for a moment after a size change) are not drawn.
PaintPlan PlanPaint(const CellGeometry& geometry, const emulator::ScreenBuffer& screen,
                    const Rect& update, bool reverseVideo,
                    const std::optional<SelectionBand>& selection);

// The cursor as the console record keeps it for the window.
struct CursorPosition {
    int row = 0;
    int column = 0;
    bool doubleWidth = false;
    bool visible = true;
};

// The text cursor: `thickness` horizontal lines from the cell's bottom
// upwards, filling `rect`, in cursor pen `penIndex` (palette entry
// `penEntry`). The pen blinks through the palette, never by repainting.
struct CursorPlan {
    Rect rect;
    int thickness = 0;
    int penIndex = 0;
    int penEntry = 0;
    bool operator==(const CursorPlan&) const = default;
};

// None when the window has no focus, the cursor is hidden or lies outside
// the grid.
std::optional<CursorPlan> PlanCursor(const CellGeometry& geometry,
                                     const emulator::ScreenBuffer& screen,
                                     const CursorPosition& cursor, bool hasFocus, bool reverseVideo,
                                     const std::optional<SelectionBand>& selection);

// What a blink tick must repaint besides the cursor: the cells whose text or
// background entry shows another colour in the new phase, one rectangle per
// run of such cells in a row (whole rows under an italic font). Empty when
// no blinking entry changes between the phases.
std::vector<Rect> BlinkRepaintRects(const CellGeometry& geometry,
                                    const emulator::ScreenBuffer& screen, bool reverseVideo,
                                    const std::optional<SelectionBand>& selection, int fromPhase,
                                    int toPhase, bool italicFont);

} // namespace kestra::console
