#include "ConsoleWindowTestSupport.h"

#include <gtest/gtest.h>

using namespace kestra::console;
using namespace kestra::console::testing;
using kestra::emulator::AttrBlink;

namespace {

// Columns of a rectangle that hold a lit pixel.
std::vector<int> LitColumns(const QImage& image, const QRect& rect) {
    std::vector<int> columns;
    for (int x = rect.left(); x <= rect.right(); ++x) {
        if (LitPixels(image, QRect(x, rect.top(), 1, rect.height())) > 0) {
            columns.push_back(x);
        }
    }
    return columns;
}

// The widest run of lit pixels in one line of a rectangle.
int WidestLitLine(const QImage& image, const QRect& rect) {
    int widest = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        widest = std::max(widest, LitPixels(image, QRect(rect.left(), y, rect.width(), 1)));
    }
    return widest;
}

int BrightestLevel(const QImage& image, const QRect& rect) {
    int brightest = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            brightest = std::max(brightest, Level(image, x, y));
        }
    }
    return brightest;
}

} // namespace

TEST(ConsoleWindowPaint, ADoubleWidthRowDrawsEverySecondColumnWithTwiceTheAdvance) {
    WindowHarness h;
    h.Open();
    // The emulator stores a double-width row's characters at even columns.
    h.Line(2, 1);
    h.Put(2, 0, u"H H H");
    h.Cursor(2, 3);
    h.GiveFocus();
    const QImage image = h.Grab();
    for (int pair = 0; pair < 3; ++pair) {
        SCOPED_TRACE(pair);
        const std::vector<int> columns =
            LitColumns(image, CellRect(2, 2 * pair, 2).adjusted(0, 0, 0, -4));
        ASSERT_FALSE(columns.empty());
        EXPECT_GT(columns.back() - columns.front(), 8); // wider than one cell
        EXPECT_GE(columns.front(), 2 + 16 * pair);
        EXPECT_LT(columns.back(), 2 + 16 * (pair + 1));
    }
    // The cursor at column 3 underlines the pair 2-3: 16 pixels at the bottom.
    const int bottom = 2 + 3 * 16 - 1;
    for (int x = 2 + 2 * 8; x < 2 + 4 * 8; ++x) {
        EXPECT_EQ(Level(image, x, bottom), 255) << x;
    }
    EXPECT_EQ(Level(image, 2 + 4 * 8 + 2, bottom), 0);
    EXPECT_EQ(Level(image, 2 + 2 * 8 - 1, bottom), 0);
}

TEST(ConsoleWindowPaint, ADoubleHeightPairShowsTheTopAndTheBottomHalf) {
    WindowHarness h;
    h.Open();
    // A T: its bar is in the top half of the glyph, only the stem below.
    h.Line(4, 2);
    h.Line(5, 3);
    h.Put(4, 0, u"T");
    h.Put(5, 0, u"T");
    const QImage image = h.Grab();
    const QRect top = CellRect(4, 0, 2);
    const QRect bottom = CellRect(5, 0, 2);
    EXPECT_GE(WidestLitLine(image, top), 10); // the doubled bar
    EXPECT_GT(LitPixels(image, bottom), 0);
    EXPECT_LE(WidestLitLine(image, bottom), 5); // the stem only
    // The stem runs on across the boundary between the two rows.
    const int boundary = bottom.top();
    EXPECT_EQ(LitColumns(image, QRect(top.left(), boundary - 1, top.width(), 1)),
              LitColumns(image, QRect(top.left(), boundary, top.width(), 1)));
}

TEST(ConsoleWindowPaint, ScanLinesMoveByTwoFifthsOfTheCellPerStep) {
    WindowHarness h;
    h.Open();
    // Scan lines 1, 3, 5, 7, 9 side by side.
    h.Put(6, 0, u"\uFFF6\uFFF7\uFFF8\uFFF9\uFFFA");
    const QImage image = h.Grab();
    int lines[5];
    for (int k = 0; k < 5; ++k) {
        lines[k] = FirstLitRow(image, CellRect(6, k).adjusted(2, 0, -2, 0));
        ASSERT_GE(lines[k], 0) << k;
    }
    // (k x 16 + 2) / 5 truncated towards zero, for k = -2 .. 2.
    EXPECT_EQ(lines[2] - lines[0], 6);
    EXPECT_EQ(lines[2] - lines[1], 2);
    EXPECT_EQ(lines[3] - lines[2], 3);
    EXPECT_EQ(lines[4] - lines[2], 6);
}

TEST(ConsoleWindowPaint, ReverseVideoAndSelectionInvertEachOther) {
    struct Case {
        bool reverseVideo;
        bool selected;
        int background;
        int margin;
    };
    const Case cases[] = {
        {false, false, 0, 0},
        {false, true, 255, 0},
        {true, false, 255, 255},
        {true, true, 0, 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.reverseVideo << c.selected);
        WindowHarness h;
        h.properties.reverseVideo = c.reverseVideo;
        ConsoleWindow& window = h.Open();
        h.Put(0, 0, u"X");
        if (c.selected) {
            h.selection.ButtonDown(&window, {0, 0});
            h.selection.ButtonUp({1, 1});
        }
        const QImage image = h.Grab();
        EXPECT_EQ(Level(image, 2, 2), c.background); // the cell's corner
        EXPECT_EQ(Level(image, 0, 0), c.margin);
    }
}

TEST(ConsoleWindowPaint, BlinkingCellsFollowThePhasesAndOnlyTheyAreRepainted) {
    WindowHarness h;
    ConsoleWindow& window = h.Open();
    h.Put(0, 0, u"BLINK", AttrBlink);
    h.Put(1, 0, u"PLAIN");
    h.Cursor(2, 0);
    h.GiveFocus();
    ASSERT_TRUE(h.blink.BlinkActive());

    const QRect blinking = CellRect(0, 0, 5);
    const QRect plain = CellRect(1, 0, 5);
    const QRect cursor = CellRect(2, 0);
    const QImage visible = h.Grab();
    EXPECT_EQ(BrightestLevel(visible, blinking), 170);

    // Phases 1-3: the text stays, only the cursor changes and is repainted.
    for (int phase = 1; phase < 4; ++phase) {
        const BlinkStep step = h.blink.BlinkTick();
        const QRegion region = window.BlinkRegion(step.fromPhase, step.toPhase);
        EXPECT_EQ(region, QRegion(cursor)) << phase;
        h.list.BlinkTicked(step);
    }
    // Phase 4: blinking text takes its background's colour.
    const BlinkStep hide = h.blink.BlinkTick();
    ASSERT_EQ(hide.toPhase, 4);
    const QRegion region = window.BlinkRegion(hide.fromPhase, hide.toPhase);
    EXPECT_TRUE(region.contains(blinking));
    EXPECT_TRUE(region.contains(cursor));
    h.recorder.painted = QRegion();
    h.list.BlinkTicked(hide);
    ProcessEvents();
    EXPECT_FALSE(h.recorder.painted.intersects(plain));

    // Plain blinking text is light grey on black with a dark grey partner:
    // it dims to dark grey rather than vanishing.
    const QImage hidden = h.Grab();
    EXPECT_EQ(BrightestLevel(hidden, blinking), 85);
    EXPECT_EQ(hidden.copy(plain), visible.copy(plain));
    // The cursor is white in even phases, black in odd ones.
    EXPECT_EQ(Level(visible, cursor.left() + 3, cursor.bottom()), 255);
    EXPECT_EQ(Level(hidden, cursor.left() + 3, cursor.bottom()), 255);
    h.list.BlinkTicked(h.blink.BlinkTick());
    EXPECT_EQ(Level(h.Grab(), cursor.left() + 3, cursor.bottom()), 0);
}
