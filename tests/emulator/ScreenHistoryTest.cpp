// What scrolls off the top of the screen is kept, as it was shown, and only that.

#include "emulator/ReplaySession.h"

#include <gtest/gtest.h>

namespace kestra::emulator {
namespace {

std::string Kept(ReplaySession& session) {
    std::string text;
    for (std::size_t i = 0; i < session.history().Size(); ++i) {
        const HistoryLine line = session.history().Line(i);
        text += std::to_string(line.lineAttr) + DescribeText(line.chars) + "/";
    }
    return text;
}

TEST(ScreenHistory, KeepsEachLineThatLeavesTheTopAndNoOther) {
    const struct {
        std::string bytes;
        unsigned rows;
        std::size_t lines;
        std::string kept;
    } rows[] = {
        {"a\r\nb\r\nc\n", 2, 10, "0a/0b/"}, // line feeds at the bottom
        {"a\x1b"
         "Db\x1b"
         "E\x1b"
         "D",
         2, 10, "0a/0 b/"}, // IND and NEL
        {std::string(81, 'w') + "\x1b[?7h" + std::string(81, 'x'), 2, 10,
         "0" + std::string(79, 'w') + "x/"},
        {"a\x1b[1;2r\x1b[2;1H\nb\n", 3, 10, "0a/0/"},           // a region from the top row
        {"a\x1b[2;3r\x1b[3;1H\n\n\x1bM\x1bM\x1bM", 3, 10, ""},  // below it, or scrolled down
        {"\x1b#6ab \x1b[7mc\x1b[0m\r\n\n", 2, 10, "1a b   c/"}, // double width, a reverse blank
        {"1\r\n2\r\n3\r\n4\r\n5\r\n", 2, 2, "03/04/"},          // the oldest go
        {"1\n2\n", 2, 0, ""},                                   // none kept
    };
    for (const auto& row : rows) {
        const termdef::TerminalDefinition definition;
        ReplaySession session({row.rows, 80, false, false, row.lines}, definition);
        session.Receive(row.bytes);
        EXPECT_EQ(Kept(session), row.kept) << row.bytes;
    }
}

// Lines come back with their characters and attributes, however they were
// stored, and a smaller history keeps the newest.
TEST(ScreenHistory, LinesComeBackAsShownWhateverTheirStore) {
    termdef::TerminalDefinition definition;
    termdef::CharMapPut(definition.graphicMap, 'q', 0x2500);
    ReplaySession session({2, 80, false, false, 10}, definition);
    session.Receive("\x1b[4mab\x1b[0m\r\n\x1b(0q\x1b(Bq\x1b[1mr\r\n\x1b[5mplain\x1b[0m\r\n\n");
    ScreenHistory& history = session.history();
    ASSERT_EQ(history.Size(), 3u);
    const std::vector<std::uint8_t> underline(2, 4), boldBlink(5, 9);
    EXPECT_EQ(history.Line(0), (HistoryLine{0, {'a', 'b'}, underline}));
    EXPECT_EQ(history.Line(1), (HistoryLine{0, {0x2500, 'q', 'r'}, {0, 0, 8}}));
    EXPECT_EQ(history.Line(2), (HistoryLine{0, {'p', 'l', 'a', 'i', 'n'}, boldBlink}));
    history.SetCapacity(2);
    EXPECT_EQ(Kept(session), "0\\u{2500}qr/0plain/");
    history.Clear();
    EXPECT_EQ(history.Size(), 0u);
}

} // namespace
} // namespace kestra::emulator
