#include "emulator/ScreenBuffer.h"

#include "RecordingHooks.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kestra::emulator {
namespace {

// The row's cells as text, trailing blanks removed.
std::string RowText(const ScreenBuffer& screen, std::uint32_t r) {
    std::string text;
    for (std::uint32_t c = 0; c < screen.cols; ++c) {
        text += static_cast<char>(screen.chars[screen.CellIndex(r, c)]);
    }
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

void Write(ScreenBuffer& screen, std::string_view text) {
    for (char ch : text) {
        screen.PutChar(static_cast<unsigned char>(ch));
    }
}

ScreenBuffer MakeScreen(unsigned rows = 24, unsigned cols = 80, bool autowrap = false) {
    ScreenBuffer screen;
    EXPECT_TRUE(screen.CreateScreen(rows, MaxColumns));
    screen.SetColumns(cols);
    screen.autowrap = autowrap ? 1 : 0;
    return screen;
}

TEST(ScreenBufferTest, PageModeWrapsToTheTopWithoutMovingText) {
    ScreenBuffer screen = MakeScreen(24, 80, true);
    screen.scrolling = 0;
    screen.MoveCursor(0, 0);
    Write(screen, "first");
    screen.MoveCursor(23, 0);
    Write(screen, "last");

    // A region bottom above the last row: the line feed leaves the cursor.
    screen.SetScrollRegion(2, 10);
    screen.MoveCursor(10, 4);
    screen.LineFeed();
    EXPECT_EQ(screen.row, 10u);

    // Auto-wrap past the end of the last row goes to row 0 too.
    screen.MoveCursor(23, 79);
    Write(screen, "Z");
    EXPECT_EQ(screen.row, 0u);
    EXPECT_EQ(screen.col, 0u);
    EXPECT_EQ(RowText(screen, 23), "last" + std::string(75, ' ') + "Z");

    // Reverse line feed still scrolls down.
    screen.SetScrollRegion(0, 23);
    screen.MoveCursor(0, 0);
    screen.CursorUp(true);
    EXPECT_EQ(RowText(screen, 1), "first");
}

// Erased runs are filled several cells per store: every run length and
// alignment must blank exactly its cells, up to the end of the screen.
TEST(ScreenBufferTest, ErasedRunsCoverExactlyTheirCells) {
    // clang-format off
    const struct { std::size_t start; std::size_t count; std::size_t first; std::size_t end; } cases[] = {
        // start   count   erased cells [first, end)
        {0,        0,      0,        0},
        {0,        1,      0,        1},
        {1,        3,      1,        4},
        {2,        4,      2,        6},
        {3,        5,      3,        8},
        {5,        7,      5,        12},
        {6,        9,      6,        15},
        {77,       6,      77,       83},   // across a row end
        {4 * 80 - 3, 10,   4 * 80 - 3, 4 * 80}, // clamped at the screen's end
    };
    // clang-format on
    for (const auto& c : cases) {
        ScreenBuffer screen = MakeScreen(4, 80);
        std::fill(screen.chars.begin(), screen.chars.end(), 'x');
        std::fill(screen.attrs.begin(), screen.attrs.end(), AttrBold);
        screen.EraseCells(c.start, c.count);
        for (std::size_t i = 0; i < screen.chars.size(); ++i) {
            const bool erased = c.first <= i && i < c.end;
            ASSERT_EQ(screen.chars[i], erased ? ' ' : 'x')
                << "start " << c.start << " count " << c.count << " cell " << i;
            ASSERT_EQ(screen.attrs[i], erased ? 0 : AttrBold)
                << "start " << c.start << " count " << c.count << " cell " << i;
        }
    }
}

TEST(ScreenBufferTest, DoubleWidthOnTheLastRowNeverScrolls) {
    ScreenBuffer screen = MakeScreen(24, 80, true);
    screen.MoveCursor(22, 0);
    Write(screen, "above");
    screen.MoveCursor(23, 0);
    Write(screen, std::string(80, 'x')); // fills the row and scrolls it up
    screen.MoveCursor(23, 0);
    Write(screen, "xyz");
    screen.MoveCursor(23, 79);
    screen.chars[screen.CellIndex(23, 39)] = 'q';
    screen.SetLineAttribute(23, LineDoubleWidth);
    EXPECT_EQ(RowText(screen, 22), std::string(80, 'x'));
    EXPECT_EQ(RowText(screen, 23).substr(0, 6), "x y z ");
    EXPECT_EQ(screen.chars[screen.CellIndex(23, 78)], 'q');
    EXPECT_EQ(screen.row, 23u);
    EXPECT_EQ(screen.col, 79u);
}

TEST(ScreenBufferTest, ScrollDownLineAttributes) {
    ScreenBuffer screen = MakeScreen();
    screen.SetScrollRegion(3, 6);
    for (std::uint32_t r = 3; r <= 6; ++r) {
        screen.lineAttrs[r] = static_cast<std::uint8_t>(r - 3); // 0, 1, 2, 3
        screen.MoveCursor(r, 0);
        Write(screen, std::to_string(r));
    }
    screen.lineAttrs[7] = LineDoubleWidth;
    screen.ScrollDown();
    const std::uint8_t expected[] = {0, 0, 1, 2, 1};
    for (std::uint32_t r = 3; r <= 7; ++r) {
        EXPECT_EQ(screen.lineAttrs[r], expected[r - 3]) << "row " << r;
    }
    EXPECT_EQ(RowText(screen, 3), "");
    EXPECT_EQ(RowText(screen, 4), "3");
    EXPECT_EQ(RowText(screen, 6), "5");

    screen.lineAttrs[6] = LineDoubleHeightBottom;
    screen.ScrollUp();
    const std::uint8_t afterUp[] = {0, 1, 3, 0, 1};
    for (std::uint32_t r = 3; r <= 7; ++r) {
        EXPECT_EQ(screen.lineAttrs[r], afterUp[r - 3]) << "row " << r;
    }
}

TEST(ScreenBufferTest, HooksAndTheirRunLengths) {
    // clang-format off
    const struct {
        const char* name;
        void (*action)(ScreenBuffer&);
        std::vector<std::string> calls;
    } cases[] = {
        {"put", [](ScreenBuffer& s) { s.PutChar('a'); },
            {"cells 2,5 1", "cursor 2,6"}},
        {"erase below from the cursor",
            [](ScreenBuffer& s) { s.SetColumns(80); s.MoveCursor(22, 70); s.EraseScreenBelow(); },
            {"resized 24x80", "cursor 22,70", "cells 22,70 10", "cells 23,0 80"}},
        {"erase line left in column 0", [](ScreenBuffer& s) { s.col = 0; s.EraseLineLeft(); }, {}},
        {"erase cells across three rows",
            [](ScreenBuffer& s) { s.SetColumns(10); s.EraseCells(15, 22); },
            {"resized 24x10", "cells 1,5 5", "cells 2,0 10", "cells 3,0 7"}},
        {"scroll up", [](ScreenBuffer& s) { s.ScrollUp(); },
            {"scrolled up", "cells 23,0 132", "flush"}},
        {"scroll down in a region",
            [](ScreenBuffer& s) { s.SetScrollRegion(4, 8); s.ScrollDown(); },
            {"scrolled down", "cells 4,0 132", "flush"}},
        {"line attribute between double kinds",
            [](ScreenBuffer& s) { s.lineAttrs[9] = 1; s.SetLineAttribute(9, 3); },
            {"line 9"}},
        {"hide and show",
            [](ScreenBuffer& s) { s.HideCursor(); s.ShowCursor(); },
            {"visible 0", "visible 1"}},
        {"clear screen",
            [](ScreenBuffer& s) { s.ClearScreen(); },
            {"resized 24x132", "visible 1", "cursor 2,5", "refresh", "cursor 0,0"}},
    };
    // clang-format on
    for (const auto& c : cases) {
        ScreenBuffer screen = MakeScreen(24, 132);
        screen.MoveCursor(2, 5);
        HookLog log;
        AttachRecorder(screen, log);
        c.action(screen);
        EXPECT_EQ(log.calls, c.calls) << c.name;
    }
}

} // namespace
} // namespace kestra::emulator
