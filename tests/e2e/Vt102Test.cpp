// vim in a VT102 console served with TERM=vt102, on a file whose lines wrap
// (some exactly 80 characters long): paged, edited, and shown as tmux, a
// general-purpose terminal, shows the same keys; then reversed by DECSCNM.
#include "e2e/EndToEnd.h"

namespace kestra::e2e {
namespace {

// tmux 80 x 24 with TERM=vt102, after the keys below.
constexpr const char* kExpected[] = {
    "16 abcdefghi",
    "17 abcdefghijabcdefghijabcdef",
    "18 abcdefghijabcdefghijabcdefghijabcdefghijabc",
    "new text",
    "20 abcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcdefg",
    "21 abcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcdefg",
    "hijabcdefghijabcd",
    "22 abcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcdefg",
    "hijabcdefghijabcdefghijabcdefghija",
    "2",
    "24 abcdefghijabcde",
    "25 abcdefghijabcdefghijabcdefghijab",
    "26 abcdefghijabcdefghijabcdefghijabcdefghijabcdefghi",
    "27 abcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcdef",
    "28 abcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcdefg",
    "hijabc",
    "29 abcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcdefg",
    "hijabcdefghijabcdefghij",
    "30 abcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcdefg",
    "hijabcdefghijabcdefghijabcdefghijabcdefg",
    "31 abcd",
    "32 abcdefghijabcdefghija",
    "33 abcdefghijabcdefghijabcdefghijabcdefgh",
    ""};

// A point of the right margin on the console's last row, which ends blank:
// the lines through it meet the client area's edges.
const QPoint kBlank(990, 685);

TEST_F(EndToEndTest, VimInAVt102ConsoleShowsWhatADecTerminalShows) {
    if (testing::RunProgram({"sh", "-c", "command -v vim"}).status != 0) {
        GTEST_SKIP() << "needs vim";
    }
    // Line n: "n " and letters, (17 n) mod 130 characters (5 when that is 0).
    std::string text;
    for (int n = 1; n <= 60; ++n) {
        const int length = (n * 17) % 130 == 0 ? 5 : (n * 17) % 130;
        std::string line = std::to_string(n) + " ";
        while (line.size() < static_cast<std::size_t>(length)) {
            line += "abcdefghij";
        }
        text += line.substr(0, static_cast<std::size_t>(length)) + "\n";
    }
    WriteFile(directory_ / "long.txt", text);
    WriteFile(directory_ / "vt102.cnf", "Title = VT102 test\nCON /VT102:ON = VIM1\n");
    Program server({testing::BinaryPath("kestra-serve"), "--term", "vt102", "VIM1", "--", "vim",
                    "-u", "NONE", "-N", "-i", "NONE", directory_ / "long.txt"},
                   Environment());
    ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(directory_ / "VIM1"); }, 20s));
    ASSERT_NO_FATAL_FAILURE(StartKestra(directory_ / "vt102.cnf", "VT102"));

    std::vector<std::string> expected;
    for (const char* row : kExpected) {
        expected.push_back(InkOf(row));
    }
    std::vector<std::string> seen;
    // Escape may arrive twice; it only gives the console the focus.
    ASSERT_TRUE(KeyUntil(frame_, "Escape", [] { return true; }));
    Type("ctrl+f j j j o n e w space t e x t Escape k d d");
    ScreenshotUntil([&](const QImage& picture) {
        seen = InkRows(picture, kBlank, 24, 24);
        return seen == expected;
    });
    EXPECT_EQ(seen, expected);
    // A reverse screen shows dark on light, the window's margins too.
    Type("colon exclam p r i n t f space apostrophe backslash 0 3 3 bracketleft question 5 h "
         "apostrophe Return Return");
    EXPECT_TRUE(ScreenshotUntil(
        [](const QImage& picture) { return picture.pixel(kBlank) == qRgb(255, 255, 255); }));
}

} // namespace
} // namespace kestra::e2e
