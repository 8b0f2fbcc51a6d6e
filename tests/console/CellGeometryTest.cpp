#include "console/CellGeometry.h"

#include <gtest/gtest.h>
#include <set>

using namespace kestra::console;

namespace {

// The usual 24x80 console: 8x16 cells with 2-pixel margins.
CellGeometry Standard() {
    return ComputeCellGeometry(644, 388, 80, 24);
}

} // namespace

TEST(CellGeometry, TheGridFillsTheClientArea) {
    struct Case {
        int clientWidth, clientHeight, columns, rows;
        int cellWidth, cellHeight, marginLeft, marginTop;
    };
    const Case cases[] = {
        {644, 388, 80, 24, 8, 16, 2, 2},
        {644, 388, 132, 24, 4, 16, 58, 2}, // 132 columns shrink the cells, not the window
        {650, 400, 80, 24, 8, 16, 5, 8},   // the rest goes into equal margins
        {647, 391, 80, 24, 8, 16, 3, 3},   // odd leftovers round the margin down
        {1000, 500, 80, 2, 12, 248, 20, 2},
        {10, 10, 80, 24, 1, 1, -35, -7}, // squeezed: cells stay one pixel
        {100, 100, 0, 0, 96, 96, 2, 2},  // no grid counts as one cell
    };
    for (const Case& c : cases) {
        const CellGeometry g =
            ComputeCellGeometry(c.clientWidth, c.clientHeight, c.columns, c.rows);
        EXPECT_EQ(g.cellWidth, c.cellWidth) << c.clientWidth << "x" << c.columns;
        EXPECT_EQ(g.cellHeight, c.cellHeight) << c.clientHeight << "x" << c.rows;
        EXPECT_EQ(g.marginLeft, c.marginLeft) << c.clientWidth << "x" << c.columns;
        EXPECT_EQ(g.marginTop, c.marginTop) << c.clientHeight << "x" << c.rows;
    }
}

TEST(CellGeometry, TheWindowShrinksToTwoPixelsPerCellPlusItsBorder) {
    struct Case {
        int columns, rows, borderWidth, borderHeight;
        TrackingSize expected;
    };
    const Case cases[] = {
        {80, 24, 10, 30, {170, 78, 32767, 32767}},
        {132, 24, 10, 30, {274, 78, 32767, 32767}},
        {80, 254, 0, 0, {160, 508, 32767, 32767}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WindowTrackingSize(c.columns, c.rows, c.borderWidth, c.borderHeight), c.expected)
            << c.columns << "x" << c.rows;
    }
}

TEST(CellGeometry, FontTableUnderlinesExactlyTheSecondFourOfTheTextFonts) {
    for (int i = 0; i < 4; ++i) {
        const FontShape& plain = kFontTable[static_cast<std::size_t>(i)];
        const FontShape& underlined = kFontTable[static_cast<std::size_t>(i + kUnderlinedFonts)];
        EXPECT_EQ(plain.heightPercent, underlined.heightPercent) << i;
        EXPECT_EQ(plain.widthPercent, underlined.widthPercent) << i;
        EXPECT_FALSE(plain.underline) << i;
        EXPECT_TRUE(underlined.underline) << i;
        // The small letters of control pictures are three fifths of the text font.
        const FontShape& small = kFontTable[static_cast<std::size_t>(i + kControlPictureFonts)];
        EXPECT_EQ(small.heightPercent * 5, plain.heightPercent * 3) << i;
        EXPECT_EQ(small.widthPercent * 5, plain.widthPercent * 3) << i;
        EXPECT_FALSE(small.underline) << i;
    }
}

TEST(CellGeometry, FontsAreScaledToTheCell) {
    struct Case {
        int index;
        int pixelHeight, pixelWidth;
        bool underline;
    };
    // 8x16 cells.
    const Case cases[] = {
        {0, 16, 8, false},  {1, 16, 16, false}, {2, 32, 16, false}, {3, 32, 16, false},
        {5, 16, 16, true},  {8, 9, 4, false},   {9, 9, 9, false},   {10, 19, 9, false},
        {11, 19, 9, false}, {-1, 16, 8, false}, {12, 16, 8, false}, // out of range: normal
    };
    const CellGeometry g = Standard();
    for (const Case& c : cases) {
        const FontRequest font = FontFor(c.index, g, false, false);
        EXPECT_EQ(font.pixelHeight, c.pixelHeight) << c.index;
        EXPECT_EQ(font.pixelWidth, c.pixelWidth) << c.index;
        EXPECT_EQ(font.underline, c.underline) << c.index;
    }
    const auto set = FontSet(g, true, true);
    for (std::size_t i = 0; i < set.size(); ++i) {
        EXPECT_EQ(set[i].weight, 700) << i;
        EXPECT_TRUE(set[i].italic) << i;
        EXPECT_EQ(set[i], FontFor(static_cast<int>(i), g, true, true)) << i;
    }
    EXPECT_EQ(FontFor(0, g, false, false).weight, 400);
}

TEST(CellGeometry, ACellsFontFollowsUnderlineAndLineAttribute) {
    struct Case {
        std::uint8_t attribute, lineAttribute;
        int text, picture;
    };
    const Case cases[] = {
        {0x0, 0, 0, 8},  {0x4, 0, 4, 8},  {0xF, 1, 5, 9},
        {0xB, 2, 2, 10}, {0x5, 3, 7, 11}, {0x8, 3, 3, 11},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CellFontIndex(c.attribute, c.lineAttribute), c.text)
            << int{c.attribute} << "/" << int{c.lineAttribute};
        EXPECT_EQ(ControlPictureFontIndex(c.lineAttribute), c.picture) << int{c.lineAttribute};
    }
}

TEST(CellGeometry, RepaintRectanglesCoverTheirCellsOrWholeRowsInItalics) {
    struct Case {
        CellRange cells;
        bool italic;
        Rect expected;
    };
    const Case cases[] = {
        {{0, 0, 0, 0}, false, {2, 2, 10, 18}},
        {{1, 2, 3, 4}, false, {18, 18, 42, 66}},
        {{23, 79, 23, 79}, false, {634, 370, 642, 386}},
        {{1, 2, 3, 4}, true, {2, 18, 646, 66}},
    };
    const CellGeometry g = Standard();
    for (const Case& c : cases) {
        EXPECT_EQ(RepaintRect(g, c.cells, c.italic), c.expected)
            << c.cells.topRow << "," << c.cells.leftColumn << " italic " << c.italic;
    }
    EXPECT_EQ(CellRangeRect(g, CellRange{1, 2, 3, 4}), (Rect{18, 18, 42, 66}));
}

TEST(CellGeometry, TheCursorCellIsTwoCellsWideOnADoubleWidthRow) {
    struct Case {
        int row, column;
        bool doubleWidth, italic;
        Rect expected;
    };
    const Case cases[] = {
        {1, 5, false, false, {42, 18, 50, 34}},
        {1, 5, true, false, {34, 18, 50, 34}}, // odd column: the pair starts one left
        {1, 4, true, false, {34, 18, 50, 34}},
        {1, 5, false, true, {2, 18, 646, 34}},
    };
    const CellGeometry g = Standard();
    for (const Case& c : cases) {
        EXPECT_EQ(CursorCellRect(g, c.row, c.column, c.doubleWidth, c.italic), c.expected)
            << c.column << " dw " << c.doubleWidth << " italic " << c.italic;
    }
}

TEST(CellGeometry, AnUpdateRectangleCoversTheCellsItsPixelsTouch) {
    struct Case {
        const char* name;
        Rect update;
        CellSpan expected;
    };
    const Case cases[] = {
        {"whole client", {0, 0, 644, 388}, {0, 24, 0, 80}},
        {"top margin", {0, 0, 644, 2}, {}},
        {"left margin", {0, 0, 2, 388}, {}},
        {"bottom margin", {0, 386, 644, 388}, {}},
        {"right margin", {642, 0, 644, 388}, {}},
        {"first pixel of the grid", {2, 2, 3, 3}, {0, 1, 0, 1}},
        {"exactly one cell", {10, 18, 18, 34}, {1, 2, 1, 2}},
        {"one pixel across a corner", {17, 33, 19, 35}, {1, 3, 1, 3}},
        {"from the margins into the grid", {0, 0, 10, 18}, {0, 1, 0, 1}},
        {"beyond the client", {-50, -50, 5000, 5000}, {0, 24, 0, 80}},
    };
    const CellGeometry g = Standard();
    for (const Case& c : cases) {
        EXPECT_EQ(CellsInRect(g, c.update), c.expected) << c.name;
    }
}

TEST(CellGeometry, TheMousePicksTheNearestCellCorner) {
    struct Case {
        int x, y;
        GridPoint expected;
    };
    const Case cases[] = {
        {2, 2, {0, 0}},           {5, 9, {0, 0}},   // still nearer the first corner
        {6, 10, {1, 1}},          {13, 25, {1, 1}}, // half a cell past it: the next one
        {-100, -100, {0, 0}},     {1000, 1000, {24, 80}},
        {642, 386, {24, 80}},     {637, 377, {23, 79}}, // just short of the last corner
        {-32768, 32767, {24, 0}},
    };
    const CellGeometry g = Standard();
    for (const Case& c : cases) {
        EXPECT_EQ(GridPointAt(g, c.x, c.y), c.expected) << c.x << "," << c.y;
    }
}
