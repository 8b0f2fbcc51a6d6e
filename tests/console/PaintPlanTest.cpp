// What a console window paints, without a display: the cell grid in the
// client area, the runs, glyphs and cursor of a paint, the selection and its
// copied text, and the blinking palette.

#include "console/PaintPlan.h"

#include "console/BlinkPalette.h"
#include "console/Selection.h"

#include <gtest/gtest.h>

namespace kestra::console {
namespace {

const CellGeometry g = ComputeCellGeometry(644, 388, 80, 24); // 8x16 cells, 2-pixel margins

// A screen written cell by cell.
struct Screen {
    explicit Screen(unsigned rows = 24, unsigned columns = 80) {
        buffer.CreateScreen(rows, 132);
        buffer.SetColumns(columns);
    }
    Screen& Put(int row, int column, std::u16string_view text, std::uint8_t attribute = 0) {
        for (char16_t ch : text) {
            const auto at = buffer.CellIndex(std::uint32_t(row), std::uint32_t(column++));
            buffer.chars[at] = ch;
            buffer.attrs[at] = attribute;
        }
        return *this;
    }
    Screen& Line(int row, std::uint8_t attribute) {
        buffer.lineAttrs[std::size_t(row)] = attribute;
        return *this;
    }
    RowPlan Row(int row, const std::optional<SelectionBand>& selection = {}) const {
        const auto plan =
            PlanPaint(g, buffer, CellRangeRect(g, {row, 0, row, 79}), false, selection);
        return plan.rows.size() == 1 ? plan.rows[0] : RowPlan{};
    }
    emulator::ScreenBuffer buffer;
};

// Each item as "column+positions attribute glyph-kind text".
std::vector<std::string> Items(const RowPlan& row) {
    std::vector<std::string> items;
    for (const PaintItem& item : row.items) {
        std::string text;
        for (const Glyph& glyph : item.glyphs) {
            text += glyph.code < 128 ? char(glyph.code) : glyph.code == 0x2500 ? '-' : '?';
        }
        items.push_back(std::to_string(item.firstColumn) + "+" + std::to_string(item.positions) +
                        " " + std::to_string(item.effectiveAttribute) + " " +
                        std::to_string(int(item.kind)) + " " + text.substr(0, 4));
        // Every glyph sits on the grid, whatever the font's own advance.
        const int left = g.marginLeft + g.cellWidth * item.firstColumn;
        EXPECT_EQ(item.rect,
                  (Rect{left, row.band.top, left + row.advance * item.positions, row.band.bottom}));
        for (std::size_t i = 0; i < item.glyphs.size() && item.kind == GlyphKind::Text; ++i) {
            EXPECT_EQ(item.glyphs[i].x, left + row.advance * int(i)) << items.back();
        }
    }
    return items;
}

TEST(CellGeometry, TheGridFillsTheClientAreaAndMapsPixelsToCells) {
    const int cases[][8] = {
        // client width, height, columns, rows: cell width, height, margins
        {644, 388, 80, 24, 8, 16, 2, 2}, {644, 388, 132, 24, 4, 16, 58, 2},
        {650, 400, 80, 24, 8, 16, 5, 8}, {647, 391, 80, 24, 8, 16, 3, 3},
        {10, 10, 80, 24, 1, 1, -35, -7}, {100, 100, 0, 0, 96, 96, 2, 2},
    };
    for (const auto& c : cases) {
        const CellGeometry r = ComputeCellGeometry(c[0], c[1], c[2], c[3]);
        EXPECT_EQ((std::array{r.cellWidth, r.cellHeight, r.marginLeft, r.marginTop}),
                  (std::array{c[4], c[5], c[6], c[7]}))
            << c[0] << "x" << c[1] << " " << c[2] << "x" << c[3];
    }
    EXPECT_EQ(WindowTrackingSize(132, 24, 10, 30), (TrackingSize{274, 78, 32767, 32767}));
    const std::pair<Rect, CellSpan> updates[] = {
        {{0, 0, 644, 388}, {0, 24, 0, 80}},
        {{0, 0, 644, 2}, {}},
        {{642, 0, 644, 388}, {}},
        {{10, 18, 18, 34}, {1, 2, 1, 2}},
        {{17, 33, 19, 35}, {1, 3, 1, 3}},
        {{0, 0, 10, 18}, {0, 1, 0, 1}},
        {{-50, -50, 5000, 5000}, {0, 24, 0, 80}},
    };
    for (const auto& [update, cells] : updates) {
        EXPECT_EQ(CellsInRect(g, update), cells) << update.left << "," << update.top;
    }
    const std::pair<GridPoint, GridPoint> corners[] = {
        // the nearest cell corner
        {{2, 2}, {0, 0}},       {{5, 9}, {0, 0}},         {{6, 10}, {1, 1}},     {{13, 25}, {1, 1}},
        {{-100, -100}, {0, 0}}, {{1000, 1000}, {24, 80}}, {{637, 377}, {23, 79}}};
    for (const auto& [pixel, corner] : corners) {
        EXPECT_EQ(GridPointAt(g, pixel.row, pixel.column), corner)
            << pixel.row << "," << pixel.column;
    }
}

TEST(CellGeometry, FontsAreScaledToTheCellAndChosenByAttributeAndLine) {
    const int cases[][4] = {
        {0, 16, 8, 0}, {1, 16, 16, 0}, {2, 32, 16, 0}, {5, 16, 16, 1},
        {8, 9, 4, 0},  {10, 19, 9, 0}, {12, 16, 8, 0}}; // index: height, width, underline
    for (const auto& c : cases) {
        const FontRequest font = FontFor(c[0], g, false, false);
        EXPECT_EQ((std::array{font.pixelHeight, font.pixelWidth, int(font.underline)}),
                  (std::array{c[1], c[2], c[3]}))
            << c[0];
    }
    EXPECT_EQ(FontFor(0, g, false, false).weight, 400);
    EXPECT_EQ(FontSet(g, true, true)[3].weight, 700);
    EXPECT_TRUE(FontSet(g, true, true)[3].italic);
    const int indexes[][4] = {{0x0, 0, 0, 8}, {0xF, 1, 5, 9}, {0xB, 2, 2, 10}, {0x5, 3, 7, 11}};
    for (const auto& c : indexes) {
        EXPECT_EQ(CellFontIndex(std::uint8_t(c[0]), std::uint8_t(c[1])), c[2])
            << c[0] << "/" << c[1];
        EXPECT_EQ(ControlPictureFontIndex(std::uint8_t(c[1])), c[3]) << c[1];
    }
}

TEST(PaintPlan, CellsAreColouredByAttributeSelectionAndReverseVideo) {
    EXPECT_EQ(WindowBackground(false), (Rgb{0, 0, 0}));
    EXPECT_EQ(WindowBackground(true), (Rgb{255, 255, 255}));
    const int cases[][6] = {// attribute, selected, reverse video: effective attribute, colours
                            {0x0, 0, 0, 0, 2, 0},
                            {0x0, 1, 0, 16, 1, 3},
                            {0x0, 1, 1, 0, 2, 0},
                            {0x8, 0, 0, 8, 3, 0},
                            {0xF2, 0, 0, 2, 0, 1}};
    for (const auto& c : cases) {
        const int e = EffectiveAttribute(std::uint8_t(c[0]), c[1], c[2]);
        EXPECT_EQ(e, c[3]) << c[0] << c[1] << c[2];
        EXPECT_EQ(ColoursFor(e), (CellColours{c[4], c[5]})) << e;
    }
}

TEST(PaintPlan, RunsSplitWhereTheLookChangesAndDoubledRowsDrawEverySecondColumn) {
    Screen s;
    s.Put(0, 0, u"ab", 0).Put(0, 2, u"cd", 8).Put(0, 4, u"e\uFFF8f", 0);
    s.Put(3, 0, u"A B C").Line(3, 1);
    EXPECT_EQ(Items(s.Row(0)), (std::vector<std::string>{"0+2 0 0 ab", "2+2 8 0 cd", "4+1 0 0 e",
                                                         "5+1 0 2 -", "6+74 0 0 f   "}));
    EXPECT_EQ(s.Row(0).band, (Rect{2, 2, 642, 18}));
    EXPECT_EQ(s.Row(0).items[1].colours, (CellColours{3, 0}));
    const RowPlan wide = s.Row(3);
    EXPECT_EQ(wide.scaleX, 2);
    EXPECT_EQ(Items(wide), std::vector<std::string>{"0+40 0 0 ABC "});
    const auto partial = PlanPaint(g, s.buffer, CellRangeRect(g, {3, 3, 3, 3}), false, {});
    ASSERT_EQ(partial.rows.size(), 1u); // an odd column starts at its pair
    EXPECT_EQ(Items(partial.rows[0]), std::vector<std::string>{"2+1 0 0 B"});

    s.buffer.SetColumns(132); // the resize notice has not reached the window yet
    EXPECT_EQ(s.Row(0).items.back().rect.right, 642);
    s.buffer.SetColumns(40);
    EXPECT_EQ(s.Row(0).items.back().rect.right, 2 + 40 * 8);
}

TEST(PaintPlan, ADoubleHeightPairShowsItsHalvesAndScanLinesSitAtFiveHeights) {
    Screen s;
    s.Put(6, 0, u"H", 4).Put(7, 0, u"H", 4).Line(6, 2).Line(7, 3);
    const PaintPlan plan = PlanPaint(g, s.buffer, CellRangeRect(g, {6, 0, 7, 0}), false, {});
    ASSERT_EQ(plan.rows.size(), 2u);
    for (int half = 0; half < 2; ++half) { // one glyph box twice a cell high, through two bands
        const RowPlan& row = plan.rows[std::size_t(half)];
        EXPECT_EQ(row.band, (Rect{2, 98 + 16 * half, 642, 114 + 16 * half})) << half;
        EXPECT_EQ((std::array{row.textTop, row.scaleY, row.items.at(0).fontIndex}),
                  (std::array{98, 2, 6 + half}));
        EXPECT_EQ(row.items[0].glyphs.at(0), (Glyph{u'H', 2, 98})) << half;
    }
    const int scanLines[][3] = {{0, 0xFFF6, -6}, {0, 0xFFF7, -2},  {0, 0xFFF8, 0},  {0, 0xFFF9, 3},
                                {0, 0xFFFA, 6},  {2, 0xFFF6, -12}, {2, 0xFFFA, 13}, {3, 0xFFF9, 6}};
    for (const auto& c : scanLines) { // line attribute, code: offset from the glyph box's top
        const RowPlan row = Screen()
                                .Put(1, 0, std::u16string(1, char16_t(c[1])))
                                .Line(1, std::uint8_t(c[0]))
                                .Row(1);
        ASSERT_FALSE(row.items.empty());
        EXPECT_EQ(row.items[0].kind, GlyphKind::ScanLine);
        EXPECT_EQ(row.items[0].fontIndex, c[0]);
        EXPECT_EQ(row.items[0].glyphs.at(0).y - row.textTop, c[2])
            << std::hex << c[1] << " " << c[0];
    }
}

TEST(PaintPlan, TheCursorIsLinesAtTheBottomOfItsCellInvertedWhereSelected) {
    Screen s;
    s.Put(1, 0, u"0123456789").Put(2, 0, u"0 1 2 3 4 ").Line(2, 1);
    const SelectionBand band{1, 3, 3, 5};
    EXPECT_EQ(Items(s.Row(1, band)),
              (std::vector<std::string>{"0+3 0 0 012", "3+2 16 0 34", "5+75 0 0 5678"}));
    EXPECT_EQ(Items(s.Row(2, band)),
              (std::vector<std::string>{"0+1 0 0 0", "2+2 16 0 12", "6+37 0 0 34  "}));
    EXPECT_EQ(s.Row(3, band).items.size(), 1u) << "rows outside the band are untouched";

    const std::optional<SelectionBand> none, selected = SelectionBand{1, 2, 5, 6};
    const struct {
        CursorPosition cursor;
        std::uint8_t lineAttribute;
        bool reverseVideo;
        std::optional<SelectionBand> selection;
        CursorPlan expected;
    } cases[] = {
        {{1, 5, false}, 0, false, none, {{42, 32, 50, 34}, 2, 0, 16}},
        {{1, 4, true}, 1, false, none, {{34, 32, 50, 34}, 2, 0, 16}},
        {{1, 5, false}, 2, false, none, {{42, 31, 50, 34}, 3, 0, 16}},
        {{1, 5, false}, 0, true, none, {{42, 32, 50, 34}, 2, 1, 17}},
        {{1, 5, false}, 0, false, selected, {{42, 32, 50, 34}, 2, 1, 17}},
        {{1, 5, false}, 0, true, selected, {{42, 32, 50, 34}, 2, 0, 16}},
        {{1, 4, true}, 1, false, selected, {{34, 32, 50, 34}, 2, 1, 17}}, // its pair reaches it
    };
    for (const auto& c : cases) {
        Screen screen;
        screen.Line(c.cursor.row, c.lineAttribute);
        EXPECT_EQ(PlanCursor(g, screen.buffer, c.cursor, true, c.reverseVideo, c.selection),
                  c.expected)
            << c.cursor.column << " " << int(c.lineAttribute) << c.reverseVideo
            << c.selection.has_value();
    }
    // None without focus, hidden, or off the grid.
    EXPECT_FALSE(PlanCursor(g, s.buffer, {0, 0, false, true}, false, false, {}));
    EXPECT_FALSE(PlanCursor(g, s.buffer, {0, 0, false, false}, true, false, {}));
    EXPECT_FALSE(PlanCursor(g, s.buffer, {24, 0, false, true}, true, false, {}));
    EXPECT_TRUE(PlanCursor(g, s.buffer, {23, 79, false, true}, true, false, {}));
}

TEST(PaintPlan, ABlinkTickRepaintsOnlyBlinkingCellsWhenTheyChange) {
    Screen s;
    s.Put(0, 3, u"abc", 1).Put(0, 6, u"d", 8).Put(0, 7, u"e", 9).Put(5, 0, u"x y ", 1).Line(5, 1);
    const std::vector<Rect> hidden = {{26, 2, 50, 18}, {58, 2, 66, 18}, {2, 82, 34, 98}};
    EXPECT_EQ(BlinkRepaintRects(g, s.buffer, false, {}, 3, 4, false), hidden);
    EXPECT_EQ(BlinkRepaintRects(g, s.buffer, false, {}, 7, 0, false), hidden);
    for (int phase : {0, 1, 2, 4, 5, 6}) {
        EXPECT_TRUE(BlinkRepaintRects(g, s.buffer, false, {}, phase, phase + 1, false).empty());
    }
    const std::vector<Rect> italic = {{2, 2, 646, 18}, {2, 2, 646, 18}, {2, 82, 646, 98}};
    EXPECT_EQ(BlinkRepaintRects(g, s.buffer, false, {}, 3, 4, true), italic);
}

Rgb Grey(int v) {
    return Rgb{std::uint8_t(v), std::uint8_t(v), std::uint8_t(v)};
}

TEST(BlinkPalette, BlinkingTextShowsForFourPhasesAndTheCursorFlipsEveryPhase) {
    for (int phase = 0; phase < kBlinkPhases; ++phase) {
        const auto row = PhaseRow(phase);
        for (int entry = kFirstBlinkEntry; entry < kEndBlinkEntries; ++entry) {
            const BlinkLevels levels = BlinkEntryLevels(entry); // one per pair of levels
            EXPECT_NE(levels.foreground, levels.background) << entry;
            EXPECT_EQ(BlinkEntry(levels.foreground, levels.background), entry);
            const int shown = phase < 4 ? levels.foreground : levels.background;
            EXPECT_EQ(row[std::size_t(entry - kFirstBlinkEntry)], Grey(kGreyLevels[shown]))
                << entry << " " << phase;
        }
        for (int pen : kCursorEntries) {
            EXPECT_EQ(row[std::size_t(pen - kFirstBlinkEntry)], Grey(phase % 2 ? 0 : 255)) << phase;
            EXPECT_TRUE(EntryChangesBetween(pen, phase, phase + 1)) << phase;
        }
        EXPECT_EQ(BlinkEntry(phase % 4, phase % 4), -1) << "no entry for equal levels";
    }
    EXPECT_EQ(BlinkEntry(4, 0), -1);
}

TEST(BlinkPalette, ModeActivityAndDisplayDecideWhetherItRunsAndStoppedItWaits) {
    const int cases[][4] = {// palette device, mode, application active: runs
                            {1, kBlinkModeNever, 1, 0},
                            {1, kBlinkModeForeground, 1, 1},
                            {1, kBlinkModeForeground, 0, 0},
                            {1, kBlinkModeAlways, 0, 1},
                            {0, kBlinkModeAlways, 1, 0}};
    for (const auto& c : cases) {
        BlinkPalette blink;
        blink.SetPaletteDevice(c[0]);
        blink.SetBlinkMode(c[1]);
        blink.SetAppActive(c[2]);
        blink.UpdateBlinkState();
        EXPECT_EQ(blink.BlinkActive(), bool(c[3])) << c[0] << c[1] << c[2];
        EXPECT_EQ(blink.PaletteInUse()[4].flags, c[3] ? kEntryAnimated : 0);
        EXPECT_EQ(blink.BlinkTick().advanced, bool(c[3]));
        EXPECT_EQ(blink.Phase(), c[3]);
    }
    BlinkPalette blink;
    blink.SetPaletteDevice(true);
    blink.SetBlinkMode(kBlinkModeForeground);
    for (int tick = 0; tick < 8; ++tick) {
        blink.SetAppActive(tick != 4 && tick != 5); // stopped for two ticks
        blink.UpdateBlinkState();
        blink.BlinkTick();
    }
    EXPECT_EQ(blink.Phase(), 6);
    blink.SetAppActive(false);
    blink.UpdateBlinkState();
    EXPECT_EQ(blink.EntryColour(11), kPaletteTable[11]) << "stopped: the static colour";
    blink.SetAppActive(true);
    blink.UpdateBlinkState();
    EXPECT_EQ(blink.EntryColour(11), Grey(85)) << "phase 6 shows the background";
    EXPECT_EQ(blink.EntryColour(16), Grey(255));
    EXPECT_EQ(blink.EntryColour(3), Grey(255));
    blink.BlinkTick();
    blink.BlinkTick();
    EXPECT_EQ(blink.Phase(), 0) << "eight phases make a period";
    EXPECT_EQ(blink.EntryColour(11), Grey(170)) << "phase 0 shows the foreground";
}

int owners[2];
const SelectionOwner kFirst = &owners[0], kSecond = &owners[1];

TEST(Selection, ItsRepaintRectangleAndBandCoverNeighbouringRowsWholePairsAndHalves) {
    const std::tuple<SelectionRange, bool, std::optional<Rect>> rects[] = {
        {{2, 4, 3, 5}, false, Rect{18, 18, 50, 82}},
        {{0, 24, 0, 80}, false, Rect{2, 2, 642, 386}},  // no row above the first or below the last
        {{0, 1, 79, 80}, false, Rect{626, 2, 642, 34}}, // an odd column takes its pair
        {{2, 4, 3, 5}, true, Rect{2, 18, 646, 82}},     // italic
        {{2, 2, 3, 5}, false, std::nullopt}};
    for (const auto& [range, italic, expected] : rects) {
        EXPECT_EQ(SelectionRepaintRect(g, range, italic), expected) << range.startRow << italic;
    }
    const std::tuple<std::vector<std::uint8_t>, SelectionRange, int, int> bands[] = {
        {{0, 0, 0, 0}, {1, 3, 0, 4}, 1, 3}, {{0, 2, 3, 0}, {2, 3, 0, 4}, 1, 3},
        {{0, 2, 3, 0}, {0, 2, 0, 4}, 0, 3}, {{0, 0, 3, 0}, {2, 3, 0, 4}, 2, 3},
        {{0, 2, 0, 0}, {1, 2, 0, 4}, 1, 2}, {{0, 0, 0, 2}, {3, 4, 0, 4}, 3, 4}};
    for (const auto& [lines, range, first, end] : bands) { // a lower half takes in its upper half
        const SelectionBand band = MakeSelectionBand(range, lines);
        EXPECT_EQ(std::pair(band.firstRow, band.endRow), std::pair(first, end)) << range.startRow;
    }
}

TEST(Selection, DraggingRepaintsTheOldAndNewRectangleAndAPressElsewhereCancels) {
    using Range = std::optional<SelectionRange>;
    const std::tuple<GridPoint, Range, Range> steps[] = {
        {{2, 7}, {}, {}}, // across corners in one direction only: nothing
        {{4, 6}, {}, SelectionRange{2, 4, 3, 6}},
        {{4, 6}, {}, {}},
        {{1, 1}, SelectionRange{2, 4, 3, 6}, SelectionRange{1, 2, 1, 3}}, // across the anchor
        {{2, 1}, SelectionRange{1, 2, 1, 3}, {}}, // back onto the anchor's row
        {{5, 9}, {}, SelectionRange{2, 5, 3, 9}}};
    SelectionState state;
    EXPECT_FALSE(state.Cancel().window) << "nothing to cancel";
    state.ButtonDown(kFirst, {2, 3});
    for (const auto& [to, old, fresh] : steps) {
        const SelectionUpdate update = state.Move(to);
        EXPECT_EQ(update.window, fresh ? kFirst : update.window);
        EXPECT_EQ(std::pair(update.repaintOld, update.repaintNew), std::pair(old, fresh)) << to.row;
        EXPECT_FALSE(update.copyEnabled) << "Copy changes only when the button goes up";
    }
    const SelectionUpdate up = state.ButtonUp({5, 9});
    EXPECT_TRUE(up.releaseCapture);
    EXPECT_EQ(up.copyEnabled, true);
    EXPECT_FALSE(state.Move({10, 10}).repaintNew) << "once the button is up, moving does nothing";
    EXPECT_EQ(state.Range(), (SelectionRange{2, 5, 3, 9}));
    const std::vector<std::uint8_t> lines(24);
    EXPECT_TRUE(state.BandFor(kFirst, lines));
    EXPECT_FALSE(state.BandFor(kSecond, lines));
    const SelectionUpdate cancelled = state.ButtonDown(kSecond, {5, 5});
    EXPECT_EQ(cancelled.window, kFirst);
    EXPECT_FALSE(cancelled.releaseCapture);
    EXPECT_EQ(cancelled.copyEnabled, false);
    EXPECT_EQ(cancelled.repaintOld, (SelectionRange{2, 5, 3, 9}));
    EXPECT_TRUE(state.HeldBy(kSecond));
    EXPECT_FALSE(state.BandFor(kFirst, lines));
    const SelectionUpdate whileDragging = state.Cancel();
    EXPECT_EQ(whileDragging.window, kSecond);
    EXPECT_TRUE(whileDragging.releaseCapture);
    EXPECT_FALSE(whileDragging.repaintOld || state.Dragging());
    EXPECT_FALSE(state.ButtonUp({6, 6}).releaseCapture) << "the button going up does nothing";
}

TEST(Selection, CopiedTextHasOneLinePerRowWithoutTrailingBlanks) {
    const struct {
        std::vector<std::u16string> rows; // from row 0, column 0
        std::vector<std::uint8_t> lines;  // line attributes from row 0
        SelectionRange range;
        std::u16string expected;
    } cases[] = {
        {{u"ab      ", u"ab      "}, {}, {0, 2, 0, 8}, u"ab\r\nab"},
        {{u"ab", u"", u"cd"}, {}, {0, 3, 0, 4}, u"ab\r\n\r\ncd"},
        {{u"a  b  "}, {}, {0, 1, 0, 6}, u"a  b"},
        {{u"abcdef", u"  ghij"}, {}, {0, 2, 1, 4}, u"bcd\r\n gh"},
        {{u"B i g ", u"B i g ", u"end"}, {2, 3, 0}, {0, 3, 0, 6}, u"Big\r\nend"}, // a pair once
        {{u"B i g ", u"B i g "}, {2, 3}, {1, 2, 0, 5}, u"Big"},
        {{u"W i d e "}, {1}, {0, 1, 1, 5}, u"Wid"},
        {{u"W i d e "}, {1}, {0, 1, 2, 3}, u"i"},
        {{u"\uFFF8\uFFF6\uFFFA"}, {}, {0, 1, 0, 3}, u"\u2500\u00AF_"}, // scan lines
        {{u"a\uFFF0\uFFF4"}, {}, {0, 1, 0, 3}, u"a\u2194\u00B6"},      // control pictures
        {{u"abc"}, {}, {0, 1, 78, 81}, u""},
        {{u"a", u"x"}, {}, {0, 99, 0, 200}, u"a\r\nx\r\n\r\n"}, // not past the edges
    };
    for (const auto& c : cases) {
        Screen s(4, 132);
        for (std::size_t r = 0; r < c.rows.size(); ++r) {
            s.Put(int(r), 0, c.rows[r]);
        }
        for (std::size_t r = 0; r < c.lines.size(); ++r) {
            s.Line(int(r), c.lines[r]);
        }
        EXPECT_EQ(CopySelectionText(s.buffer, c.range), c.expected) << c.range.startColumn;
    }
}

TEST(Selection, PastingSendsPrintableAsciiAndReturnsWithTheirPauses) {
    const std::tuple<std::u16string, std::uint16_t, std::uint16_t, std::vector<PasteStep>> cases[] =
        {{u"A\nB\r", 10, 100, {{'A', 10}, {'B', 10}, {'\r', 100}}},
         {u"\t\x1B[x\x7F\x1F", 10, 100, {{'[', 10}, {'x', 10}}}, // controls skipped
         {std::u16string(u"a\0b", 3), 10, 100, {{'a', 10}}},     // ends at a NUL
         {u"\u00E9\u20AC\U0001F600~ ", 10, 100, {{'~', 10}, {' ', 10}}},
         {u"\r\r.", 0, 65535, {{'\r', 65535}, {'\r', 65535}, {'.', 0}}}};
    for (const auto& [text, interchar, ret, expected] : cases) {
        EXPECT_EQ(PasteSchedule(text, interchar, ret), expected) << text.size();
    }
    // From UTF-8, every byte of a non-ASCII character is skipped.
    EXPECT_EQ(PasteSchedule(std::string_view("caf\xC3\xA9!\n"), kDefaultIntercharDelay,
                            kDefaultReturnDelay),
              (std::vector<PasteStep>{{'c', 10}, {'a', 10}, {'f', 10}, {'!', 10}}));
}

} // namespace
} // namespace kestra::console
