#include "console/Selection.h"

#include "ConsoleTestSupport.h"

#include <gtest/gtest.h>

using namespace kestra::console;
using namespace kestra::console::consoletest;

namespace {

int owners[2];
const SelectionOwner kFirst = &owners[0];
const SelectionOwner kSecond = &owners[1];

} // namespace

TEST(Selection, ItsRepaintRectangleCoversNeighbouringRowsAndWholePairs) {
    struct Case {
        SelectionRange range;
        bool italic;
        std::optional<Rect> expected;
    };
    const Case cases[] = {
        {{2, 4, 3, 5}, false, Rect{18, 18, 50, 82}},
        {{0, 24, 0, 80}, false, Rect{2, 2, 642, 386}},  // no row above the first or below the last
        {{0, 1, 79, 80}, false, Rect{626, 2, 642, 34}}, // an odd column takes its pair
        {{2, 4, 3, 5}, true, Rect{2, 18, 646, 82}},
        {{2, 2, 3, 5}, false, std::nullopt},
    };
    const CellGeometry g = StandardGeometry();
    for (const Case& c : cases) {
        EXPECT_EQ(SelectionRepaintRect(g, c.range, c.italic), c.expected)
            << c.range.startRow << ".." << c.range.endRow << " x " << c.range.startColumn << ".."
            << c.range.endColumn << " italic " << c.italic;
    }
}

TEST(Selection, TheBandTakesInTheOtherHalfOfADoubleHeightPair) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> lineAttrs;
        SelectionRange range;
        int firstRow, endRow;
    };
    const Case cases[] = {
        {"plain rows", {0, 0, 0, 0}, {1, 3, 0, 4}, 1, 3},
        {"starts on a lower half", {0, 2, 3, 0}, {2, 3, 0, 4}, 1, 3},
        {"ends on an upper half", {0, 2, 3, 0}, {0, 2, 0, 4}, 0, 3},
        {"lower half without its upper half", {0, 0, 3, 0}, {2, 3, 0, 4}, 2, 3},
        {"upper half without its lower half", {0, 2, 0, 0}, {1, 2, 0, 4}, 1, 2},
        {"upper half on the last row", {0, 0, 0, 2}, {3, 4, 0, 4}, 3, 4},
    };
    for (const Case& c : cases) {
        const SelectionBand band = MakeSelectionBand(c.range, c.lineAttrs);
        EXPECT_EQ(band.firstRow, c.firstRow) << c.name;
        EXPECT_EQ(band.endRow, c.endRow) << c.name;
    }
}

TEST(Selection, DraggingRepaintsTheOldAndTheNewRectangle) {
    using Range = std::optional<SelectionRange>;
    struct Step {
        GridPoint to;
        Range old, fresh;
    };
    const Step steps[] = {
        {{2, 7}, {}, {}}, // across corners in one direction only: nothing
        {{4, 6}, {}, SelectionRange{2, 4, 3, 6}},
        {{4, 6}, {}, {}},
        {{1, 1}, SelectionRange{2, 4, 3, 6}, SelectionRange{1, 2, 1, 3}}, // across the anchor
        {{2, 1}, SelectionRange{1, 2, 1, 3}, {}}, // back onto the anchor's row
        {{5, 9}, {}, SelectionRange{2, 5, 3, 9}},
    };
    SelectionState state;
    state.ButtonDown(kFirst, {2, 3});
    for (const Step& step : steps) {
        const SelectionUpdate update = state.Move(step.to);
        if (step.fresh) {
            EXPECT_EQ(update.window, kFirst);
        }
        EXPECT_EQ(update.repaintOld, step.old) << step.to.row << "," << step.to.column;
        EXPECT_EQ(update.repaintNew, step.fresh) << step.to.row << "," << step.to.column;
        EXPECT_FALSE(update.copyEnabled) << "Copy changes only when the button goes up";
    }
    const SelectionUpdate up = state.ButtonUp({5, 9});
    EXPECT_TRUE(up.releaseCapture);
    EXPECT_EQ(up.copyEnabled, true);
    EXPECT_EQ(state.Range(), (SelectionRange{2, 5, 3, 9}));
    EXPECT_FALSE(state.Move({10, 10}).repaintNew) << "once the button is up, moving does nothing";
    EXPECT_EQ(state.Range(), (SelectionRange{2, 5, 3, 9}));
}

TEST(Selection, CancellingUndoesWhateverTheSelectionHolds) {
    SelectionState state;
    EXPECT_FALSE(state.Cancel().window) << "nothing to cancel";

    state.ButtonDown(kFirst, {2, 3});
    const SelectionUpdate whileDragging = state.Cancel();
    EXPECT_EQ(whileDragging.window, kFirst);
    EXPECT_TRUE(whileDragging.releaseCapture);
    EXPECT_FALSE(whileDragging.repaintOld);
    EXPECT_FALSE(state.Dragging());
    EXPECT_FALSE(state.ButtonUp({5, 5}).releaseCapture) << "the button going up does nothing";

    // A press in another window cancels the first window's selection.
    state.ButtonDown(kFirst, {0, 0});
    state.ButtonUp({2, 2});
    const std::vector<std::uint8_t> lineAttrs(24);
    EXPECT_TRUE(state.BandFor(kFirst, lineAttrs));
    EXPECT_FALSE(state.BandFor(kSecond, lineAttrs));
    const SelectionUpdate cancelled = state.ButtonDown(kSecond, {5, 5});
    EXPECT_EQ(cancelled.window, kFirst);
    EXPECT_FALSE(cancelled.releaseCapture);
    EXPECT_EQ(cancelled.repaintOld, (SelectionRange{0, 2, 0, 2}));
    EXPECT_EQ(cancelled.copyEnabled, false);
    EXPECT_TRUE(state.HeldBy(kSecond));
    EXPECT_FALSE(state.BandFor(kFirst, lineAttrs));
}

TEST(Selection, CopiedTextHasOneLinePerRowWithoutTrailingBlanks) {
    struct Case {
        const char* name;
        std::vector<std::u16string> rows;    // from row 0, column 0
        std::vector<std::uint8_t> lineAttrs; // from row 0
        SelectionRange range;
        std::u16string expected;
    };
    // clang-format off
    const Case cases[] = {
        {"two rows of ab",          {u"ab      ", u"ab      "}, {}, {0, 2, 0, 8}, u"ab\r\nab"},
        {"blank middle row",        {u"ab", u"", u"cd"}, {},        {0, 3, 0, 4}, u"ab\r\n\r\ncd"},
        {"inner blanks stay",       {u"a  b  "}, {},                {0, 1, 0, 6}, u"a  b"},
        {"a column range keeps leading blanks",
                                    {u"abcdef", u"  ghij"}, {},     {0, 2, 1, 4}, u"bcd\r\n gh"},
        {"double-height pair once", {u"B i g ", u"B i g ", u"end"}, {2, 3, 0},
                                                                    {0, 3, 0, 6}, u"Big\r\nend"},
        {"lower half alone",        {u"B i g ", u"B i g "}, {2, 3}, {1, 2, 0, 5}, u"Big"},
        {"double-width row",        {u"W i d e "}, {1},             {0, 1, 1, 5}, u"Wid"},
        {"double-width, odd end",   {u"W i d e "}, {1},             {0, 1, 2, 3}, u"i"},
        {"scan line 5",             {u"\uFFF8\uFFF6\uFFFA"}, {},    {0, 1, 0, 3}, u"\u2500\u00AF_"},
        {"control pictures",        {u"a\uFFF0\uFFF4"}, {},         {0, 1, 0, 3}, u"a\u2194\u00B6"},
        {"past the right edge",     {u"abc"}, {},                   {0, 1, 78, 81}, u""},
    };
    // clang-format on
    for (const Case& c : cases) {
        TextScreen s(4, 80);
        for (std::size_t r = 0; r < c.rows.size(); ++r) {
            s.Put(static_cast<int>(r), 0, c.rows[r]);
        }
        for (std::size_t r = 0; r < c.lineAttrs.size(); ++r) {
            s.Line(static_cast<int>(r), c.lineAttrs[r]);
        }
        EXPECT_EQ(CopySelectionText(s.buffer, c.range), c.expected) << c.name;
    }
}

TEST(Selection, CopyingTheLastCellsOfAFullScreenStaysInside) {
    TextScreen s(24, 132);
    s.Put(23, 128, u"tail");
    s.Line(23, 1);
    EXPECT_EQ(CopySelectionText(s.buffer, SelectionRange{20, 24, 127, 132}), u"\r\n\r\n\r\n ti");
    EXPECT_EQ(CopySelectionText(s.buffer, SelectionRange{0, 99, 0, 200}).size(),
              23 * 2 + 64 + 2u); // 23 line ends, then 64 pairs and "ti"
}

TEST(Selection, PastingSendsPrintableAsciiAndReturnsWithTheirPauses) {
    struct Case {
        const char* name;
        std::u16string text;
        std::uint16_t interchar, ret;
        std::vector<PasteStep> expected;
    };
    const Case cases[] = {
        {"letters and line ends", u"A\nB\r", 10, 100, {{'A', 10}, {'B', 10}, {'\r', 100}}},
        {"control characters skipped", u"\t\x1B[x\x7F\x1F", 10, 100, {{'[', 10}, {'x', 10}}},
        {"ends at a NUL", std::u16string(u"a\0b", 3), 10, 100, {{'a', 10}}},
        {"beyond ASCII skipped", u"\u00E9\u20AC\U0001F600~ ", 10, 100, {{'~', 10}, {' ', 10}}},
        {"configured delays", u"\r\r.", 0, 65535, {{'\r', 65535}, {'\r', 65535}, {'.', 0}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PasteSchedule(c.text, c.interchar, c.ret), c.expected) << c.name;
    }
    // The same from UTF-8: every byte of a non-ASCII character is skipped.
    EXPECT_EQ(PasteSchedule(std::string_view("caf\xC3\xA9!\n"), kDefaultIntercharDelay,
                            kDefaultReturnDelay),
              (std::vector<PasteStep>{{'c', 10}, {'a', 10}, {'f', 10}, {'!', 10}}));
}
