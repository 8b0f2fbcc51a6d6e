#include "console/CellGeometry.h"

#include "ConsoleTestSupport.h"

#include <gtest/gtest.h>

using namespace kestra::console;
using kestra::console::consoletest::StandardGeometry;

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
        {10, 10, 80, 24, 1, 1, -35, -7},   // squeezed: cells stay one pixel
        {100, 100, 0, 0, 96, 96, 2, 2},    // no grid counts as one cell
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
    EXPECT_EQ(WindowTrackingSize(80, 24, 10, 30), (TrackingSize{170, 78, 32767, 32767}));
    EXPECT_EQ(WindowTrackingSize(132, 24, 10, 30), (TrackingSize{274, 78, 32767, 32767}));
}

TEST(CellGeometry, FontsAreScaledToTheCell) {
    struct Case {
        int index;
        int pixelHeight, pixelWidth;
        bool underline;
    };
    // 8x16 cells.
    const Case cases[] = {
        {0, 16, 8, false}, {1, 16, 16, false}, {2, 32, 16, false}, {5, 16, 16, true},
        {8, 9, 4, false},  {10, 19, 9, false}, {12, 16, 8, false}, // out of range: normal
    };
    const CellGeometry g = StandardGeometry();
    for (const Case& c : cases) {
        const FontRequest font = FontFor(c.index, g, false, false);
        EXPECT_EQ(font.pixelHeight, c.pixelHeight) << c.index;
        EXPECT_EQ(font.pixelWidth, c.pixelWidth) << c.index;
        EXPECT_EQ(font.underline, c.underline) << c.index;
    }
    EXPECT_EQ(FontFor(0, g, false, false).weight, 400);
    EXPECT_EQ(FontSet(g, true, true)[3].weight, 700);
    EXPECT_TRUE(FontSet(g, true, true)[3].italic);
}

TEST(CellGeometry, ACellsFontFollowsUnderlineAndLineAttribute) {
    struct Case {
        std::uint8_t attribute, lineAttribute;
        int text, picture;
    };
    const Case cases[] = {
        {0x0, 0, 0, 8},
        {0xF, 1, 5, 9},
        {0xB, 2, 2, 10},
        {0x5, 3, 7, 11},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CellFontIndex(c.attribute, c.lineAttribute), c.text)
            << int{c.attribute} << "/" << int{c.lineAttribute};
        EXPECT_EQ(ControlPictureFontIndex(c.lineAttribute), c.picture) << int{c.lineAttribute};
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
        {"right margin", {642, 0, 644, 388}, {}},
        {"exactly one cell", {10, 18, 18, 34}, {1, 2, 1, 2}},
        {"one pixel across a corner", {17, 33, 19, 35}, {1, 3, 1, 3}},
        {"from the margins into the grid", {0, 0, 10, 18}, {0, 1, 0, 1}},
        {"beyond the client", {-50, -50, 5000, 5000}, {0, 24, 0, 80}},
    };
    const CellGeometry g = StandardGeometry();
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
        {2, 2, {0, 0}},       {5, 9, {0, 0}},   // still nearer the first corner
        {6, 10, {1, 1}},      {13, 25, {1, 1}}, // half a cell past it: the next one
        {-100, -100, {0, 0}}, {1000, 1000, {24, 80}},
        {637, 377, {23, 79}}, // just short of the last corner
    };
    const CellGeometry g = StandardGeometry();
    for (const Case& c : cases) {
        EXPECT_EQ(GridPointAt(g, c.x, c.y), c.expected) << c.x << "," << c.y;
    }
}
