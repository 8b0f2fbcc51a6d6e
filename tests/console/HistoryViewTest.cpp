// A console seen with its history: the scrolled view, its text, finding in it.

#include "console/HistoryView.h"

#include "emulator/ReplaySession.h"

#include <gtest/gtest.h>

namespace kestra::console {
namespace {

TEST(HistoryView, TheViewTextAndFindReachIntoTheHistory) {
    const termdef::TerminalDefinition definition;
    emulator::ReplaySession session({2, 80, false, false, 10}, definition);
    session.Receive("one\r\n\x1b#6Two\r\nthree\r\nfour\r\nfive");
    const emulator::ScreenBuffer& live = session.emulator().screen;
    emulator::ScreenBuffer view;
    const auto shown = [&](std::size_t offset) {
        ComposeScrolledView(live, session.history(), offset, view);
        std::string rows;
        for (std::uint32_t r = 0; r < view.rows; ++r) {
            rows += std::to_string(view.lineAttrs[r]) +
                    emulator::DescribeText({&view.chars[view.CellIndex(r, 0)], view.cols}) + "/";
        }
        return rows;
    };
    EXPECT_EQ(shown(0), "0four/0five/");
    EXPECT_EQ(shown(1), "0three/0four/");
    EXPECT_EQ(shown(2), "1T w o/0three/") << "more history than rows";
    EXPECT_EQ(shown(9), "0one/1T w o/") << "no further back than the history";
    const std::vector<std::u16string> lines = ConsoleTextLines(live, session.history());
    EXPECT_EQ(lines, (std::vector<std::u16string>{u"one", u"Two", u"three", u"four", u"five"}));
    const auto find = [&](std::u16string_view needle, std::optional<TextMatch> after, bool forward,
                          bool matchCase = false) {
        const auto match = FindText(lines, needle, after, forward, matchCase);
        return match ? int(match->line * 10 + match->column) : -1;
    };
    EXPECT_EQ(find(u"O", std::nullopt, true), 0) << "the first, either case";
    EXPECT_EQ(find(u"o", TextMatch{1, 2, 1}, true), 31) << "the next, in a later line";
    EXPECT_EQ(find(u"o", TextMatch{3, 1, 1}, true), 0) << "round past the end";
    EXPECT_EQ(find(u"o", TextMatch{0, 0, 1}, false), 31) << "round past the start";
    EXPECT_EQ(find(u"o", std::nullopt, false), 31);
    EXPECT_EQ(find(u"T", std::nullopt, true, true), 10);
    EXPECT_EQ(find(u"six", std::nullopt, true), -1);
}

} // namespace
} // namespace kestra::console
