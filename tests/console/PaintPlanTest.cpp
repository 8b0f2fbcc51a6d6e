#include "console/PaintPlan.h"

#include "ConsoleTestSupport.h"
#include "console/BlinkPalette.h"

#include <gtest/gtest.h>
#include <string>

using namespace kestra::console;
using namespace kestra::console::consoletest;

namespace {

struct Screen : TextScreen {
    CellGeometry geometry = StandardGeometry();

    PaintPlan Plan(CellRange cells, bool reverseVideo = false,
                   const std::optional<SelectionBand>& selection = std::nullopt) const {
        return PlanPaint(geometry, buffer, CellRangeRect(geometry, cells), reverseVideo, selection);
    }
    RowPlan PlanRow(int row, bool reverseVideo = false,
                    const std::optional<SelectionBand>& selection = std::nullopt) const {
        const PaintPlan plan = Plan(CellRange{row, 0, row, 79}, reverseVideo, selection);
        EXPECT_EQ(plan.rows.size(), 1u);
        return plan.rows.empty() ? RowPlan{} : plan.rows.front();
    }
};

std::u16string GlyphText(const PaintItem& item) {
    std::u16string text;
    for (const Glyph& glyph : item.glyphs) {
        text += glyph.code;
    }
    return text;
}

} // namespace

TEST(PaintPlan, SelectionAndReverseVideoInvertCells) {
    EXPECT_EQ(WindowBackground(false), (Rgb{0, 0, 0}));
    EXPECT_EQ(WindowBackground(true), (Rgb{255, 255, 255}));
    struct Case {
        std::uint8_t attribute;
        bool selected, reverseVideo;
        int effective;
        CellColours colours;
    };
    const Case cases[] = {
        {0x0, false, false, 0, {2, 0}},  // light grey on black
        {0x0, true, false, 16, {1, 3}},  // dark grey on white
        {0x0, true, true, 0, {2, 0}},    // selected under reverse video: plain colours
        {0x8, false, false, 8, {3, 0}},  // bold is white
        {0xF2, false, false, 2, {0, 1}}, // bits above the four attributes do not count
    };
    for (const Case& c : cases) {
        const int e = EffectiveAttribute(c.attribute, c.selected, c.reverseVideo);
        EXPECT_EQ(e, c.effective) << int{c.attribute} << c.selected << c.reverseVideo;
        EXPECT_EQ(ColoursFor(e), c.colours) << e;
    }
}

TEST(PaintPlan, RunsSplitWhereTheLookChanges) {
    Screen s;
    s.Put(0, 0, u"ab", 0);
    s.Put(0, 2, u"cd", 8);
    s.Put(0, 4, u"e\uFFF8f", 0);
    const RowPlan row = s.PlanRow(0);
    ASSERT_EQ(row.items.size(), 5u);
    struct Expected {
        GlyphKind kind;
        int firstColumn, positions;
        std::uint8_t effective;
        std::u16string text;
    };
    const Expected expected[] = {
        {GlyphKind::Text, 0, 2, 0, u"ab"},
        {GlyphKind::Text, 2, 2, 8, u"cd"},
        {GlyphKind::Text, 4, 1, 0, u"e"},
        {GlyphKind::ScanLine, 5, 1, 0, u"\u2500"},
        {GlyphKind::Text, 6, 74, 0, u"f" + std::u16string(73, u' ')},
    };
    for (std::size_t i = 0; i < row.items.size(); ++i) {
        const PaintItem& item = row.items[i];
        EXPECT_EQ(item.kind, expected[i].kind) << i;
        EXPECT_EQ(item.firstColumn, expected[i].firstColumn) << i;
        EXPECT_EQ(item.positions, expected[i].positions) << i;
        EXPECT_EQ(item.effectiveAttribute, expected[i].effective) << i;
        EXPECT_EQ(GlyphText(item), expected[i].text) << i;
        const int left = 2 + 8 * expected[i].firstColumn;
        EXPECT_EQ(item.rect, (Rect{left, 2, left + 8 * expected[i].positions, 18})) << i;
        // Every glyph sits on the grid, whatever the font's own advance.
        for (std::size_t g = 0; g < item.glyphs.size(); ++g) {
            EXPECT_EQ(item.glyphs[g].x, left + 8 * static_cast<int>(g)) << i << "/" << g;
            EXPECT_EQ(item.glyphs[g].y, 2) << i << "/" << g;
        }
    }
    EXPECT_EQ(row.items[1].colours, (CellColours{3, 0}));
    EXPECT_EQ(row.band, (Rect{2, 2, 642, 18}));
}

TEST(PaintPlan, TheBufferAndTheWindowMayDisagreeOnTheSizeForAMoment) {
    Screen s;
    s.buffer.SetColumns(132); // the resize notice has not reached the window yet
    EXPECT_EQ(s.PlanRow(0).items.back().rect.right, 642);
    s.buffer.SetColumns(40);
    const RowPlan narrow = s.PlanRow(0);
    EXPECT_EQ(narrow.items.back().rect.right, 2 + 40 * 8);
}

TEST(PaintPlan, ADoubleWidthRowDrawsEverySecondColumnWithTwiceTheAdvance) {
    Screen s;
    s.Put(3, 0, u"A B C");
    s.Line(3, 1);
    const RowPlan row = s.PlanRow(3);
    EXPECT_EQ(row.scaleX, 2);
    ASSERT_EQ(row.items.size(), 1u);
    const PaintItem& item = row.items[0];
    EXPECT_EQ(item.positions, 40);
    EXPECT_EQ(GlyphText(item).substr(0, 4), u"ABC ");
    for (std::size_t g = 0; g < item.glyphs.size(); ++g) {
        EXPECT_EQ(item.glyphs[g].x, 2 + 16 * static_cast<int>(g)) << g;
    }
    EXPECT_EQ(item.rect, (Rect{2, 50, 642, 66}));

    // An update starting at an odd column starts at its pair.
    const PaintPlan partial = s.Plan(CellRange{3, 3, 3, 3});
    ASSERT_EQ(partial.rows.size(), 1u);
    ASSERT_EQ(partial.rows[0].items.size(), 1u);
    EXPECT_EQ(partial.rows[0].items[0].firstColumn, 2);
    EXPECT_EQ(GlyphText(partial.rows[0].items[0]), u"B");
    EXPECT_EQ(partial.rows[0].items[0].rect, (Rect{18, 50, 34, 66}));
}

TEST(PaintPlan, ADoubleHeightPairShowsTheTopHalfThenTheBottomHalf) {
    Screen s;
    s.Put(6, 0, u"H", 4);
    s.Put(7, 0, u"H", 4);
    s.Line(6, 2);
    s.Line(7, 3);
    const PaintPlan plan = s.Plan(CellRange{6, 0, 7, 0});
    ASSERT_EQ(plan.rows.size(), 2u);
    // The same glyph box, twice a cell high, seen through two bands.
    for (int half = 0; half < 2; ++half) {
        const RowPlan& row = plan.rows[static_cast<std::size_t>(half)];
        EXPECT_EQ(row.band, (Rect{2, 98 + 16 * half, 642, 114 + 16 * half})) << half;
        EXPECT_EQ(row.textTop, 98) << half;
        EXPECT_EQ(row.scaleY, 2) << half;
        ASSERT_FALSE(row.items.empty());
        EXPECT_EQ(row.items[0].fontIndex, 6 + half) << half;
        EXPECT_EQ(row.items[0].glyphs[0], (Glyph{u'H', 2, 98})) << half;
    }
}

TEST(PaintPlan, ScanLinesSitAtFiveHeights) {
    struct Case {
        std::uint8_t lineAttribute;
        std::uint16_t code;
        int offset; // from the top of the glyph box
    };
    const Case cases[] = {
        {0, 0xFFF6, -6}, {0, 0xFFF7, -2},  {0, 0xFFF8, 0},  {0, 0xFFF9, 3},
        {0, 0xFFFA, 6},  {2, 0xFFF6, -12}, {2, 0xFFFA, 13}, {3, 0xFFF9, 6},
    };
    for (const Case& c : cases) {
        Screen s;
        s.Put(1, 0, std::u16string(1, static_cast<char16_t>(c.code)));
        s.Line(1, c.lineAttribute);
        const RowPlan row = s.PlanRow(1);
        ASSERT_FALSE(row.items.empty());
        const PaintItem& item = row.items[0];
        ASSERT_EQ(item.kind, GlyphKind::ScanLine);
        EXPECT_EQ(item.fontIndex, c.lineAttribute);
        EXPECT_EQ(item.glyphs.at(0).y - row.textTop, c.offset)
            << std::hex << c.code << " line " << int{c.lineAttribute};
    }
}

TEST(PaintPlan, SelectedCellsShowInverted) {
    Screen s;
    s.Put(1, 0, u"0123456789");
    s.Put(2, 0, u"0 1 2 3 4 ");
    s.Line(2, 1);
    const SelectionBand band{1, 3, 3, 5};
    const RowPlan single = s.PlanRow(1, false, band);
    ASSERT_EQ(single.items.size(), 3u);
    EXPECT_EQ(GlyphText(single.items[1]), u"34");
    EXPECT_EQ(single.items[1].colours, (CellColours{1, 3}));
    EXPECT_EQ(single.items[0].colours, (CellColours{2, 0}));
    // A double-width row selects whole pairs: columns 2..5, characters 1 and 2.
    const RowPlan pairs = s.PlanRow(2, false, band);
    ASSERT_EQ(pairs.items.size(), 3u);
    EXPECT_EQ(pairs.items[1].firstColumn, 2);
    EXPECT_EQ(GlyphText(pairs.items[1]), u"12");
    // Rows outside the band are untouched.
    EXPECT_EQ(s.PlanRow(3, false, band).items.size(), 1u);
}

TEST(PaintPlan, TheCursorIsLinesAtTheBottomOfItsCell) {
    struct Case {
        const char* name;
        CursorPosition cursor;
        std::uint8_t lineAttribute;
        bool reverseVideo;
        std::optional<SelectionBand> selection;
        CursorPlan expected;
    };
    const SelectionBand band{1, 2, 5, 6};
    const Case cases[] = {
        {"plain", {1, 5, false}, 0, false, std::nullopt, {{42, 32, 50, 34}, 2, 0, 16}},
        {"double width", {1, 4, true}, 1, false, std::nullopt, {{34, 32, 50, 34}, 2, 0, 16}},
        {"double height", {1, 5, false}, 2, false, std::nullopt, {{42, 31, 50, 34}, 3, 0, 16}},
        {"reverse video", {1, 5, false}, 0, true, std::nullopt, {{42, 32, 50, 34}, 2, 1, 17}},
        {"selected", {1, 5, false}, 0, false, band, {{42, 32, 50, 34}, 2, 1, 17}},
        {"selected, reverse", {1, 5, false}, 0, true, band, {{42, 32, 50, 34}, 2, 0, 16}},
        {"pair reaching the selection", {1, 4, true}, 1, false, band, {{34, 32, 50, 34}, 2, 1, 17}},
    };
    for (const Case& c : cases) {
        Screen s;
        s.Line(c.cursor.row, c.lineAttribute);
        const auto plan =
            PlanCursor(s.geometry, s.buffer, c.cursor, true, c.reverseVideo, c.selection);
        ASSERT_TRUE(plan.has_value()) << c.name;
        EXPECT_EQ(*plan, c.expected) << c.name;
    }
}

TEST(PaintPlan, NoCursorWithoutFocusWhenHiddenOrOffTheGrid) {
    Screen s;
    EXPECT_FALSE(PlanCursor(s.geometry, s.buffer, {0, 0, false, true}, false, false, {}));
    EXPECT_FALSE(PlanCursor(s.geometry, s.buffer, {0, 0, false, false}, true, false, {}));
    EXPECT_FALSE(PlanCursor(s.geometry, s.buffer, {24, 0, false, true}, true, false, {}));
    EXPECT_TRUE(PlanCursor(s.geometry, s.buffer, {23, 79, false, true}, true, false, {}));
}

TEST(PaintPlan, ABlinkTickRepaintsOnlyBlinkingCellsWhenTheyChange) {
    Screen s;
    s.Put(0, 3, u"abc", 1);
    s.Put(0, 6, u"d", 8);
    s.Put(0, 7, u"e", 9);
    s.Put(5, 0, u"x y ", 1);
    s.Line(5, 1);
    const std::vector<Rect> hidden = {{26, 2, 50, 18}, {58, 2, 66, 18}, {2, 82, 34, 98}};
    EXPECT_EQ(BlinkRepaintRects(s.geometry, s.buffer, false, {}, 3, 4, false), hidden);
    EXPECT_EQ(BlinkRepaintRects(s.geometry, s.buffer, false, {}, 7, 0, false), hidden);
    for (int phase : {0, 1, 2, 4, 5, 6}) {
        EXPECT_TRUE(
            BlinkRepaintRects(s.geometry, s.buffer, false, {}, phase, phase + 1, false).empty())
            << phase;
    }
    const std::vector<Rect> italic = {{2, 2, 646, 18}, {2, 2, 646, 18}, {2, 82, 646, 98}};
    EXPECT_EQ(BlinkRepaintRects(s.geometry, s.buffer, false, {}, 3, 4, true), italic);
}
