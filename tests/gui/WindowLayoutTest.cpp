#include "GuiTestSupport.h"

namespace kestra::shell::testing {

// Dialogs are centred over their parent inside the desktop; messages wrap at
// the maximum width and clamp both ways, the marker under a token showing
// blank, or as an ellipsis in a wrapped message; one button is centred, of
// three the first goes right, the second left, the third in the middle;
// icons fill the bottom row first. A console window is its client area with
// its sizing frame and two pixels on each side, and its caption.
TEST(WindowLayout, WindowsTextButtonsAndIconsGoToTheirPlaces) {
    const Box desktop{0, 0, 1024, 768};
    EXPECT_EQ(CenteredPosition({100, 100, 400, 300}, {200, 100}, desktop), (Spot{200, 200}));
    EXPECT_EQ(CenteredPosition({900, 0, 400, 300}, {300, 100}, desktop), (Spot{724, 100}));
    EXPECT_EQ(CenteredPosition({-300, -300, 200, 200}, {100, 100}, desktop), (Spot{0, 0}));
    EXPECT_EQ(CenteredPosition(desktop, {2000, 1000}, desktop), (Spot{0, 0}));
    const struct {
        const char* text;
        Extent max, min;
        int columns, rows;
        bool wrapped;
        const char* shown;
    } rows[] = {
        // clang-format off
        {"ab\nabcd", {10, 10}, {1, 1}, 4, 2, false, "ab\nabcd"},      {"ab", {10, 10}, {6, 3}, 6, 3, false, "ab"},
        {"abcdefghijk", {5, 10}, {1, 1}, 5, 3, true, "abcde\nfghij\nk"}, {"a\nb\nc\nd", {5, 2}, {1, 1}, 1, 2, false, "a\nb\nc\nd"},
        {"abc\n", {10, 10}, {1, 1}, 3, 2, false, "abc\n"},            {"\xC3\xA9\xC3\xA9\xC3\xA9", {3, 5}, {1, 1}, 3, 1, false, "\xC3\xA9\xC3\xA9\xC3\xA9"},
        // clang-format on
    };
    for (const auto& row : rows) {
        const TextFit fit = FitText(row.text, row.max, row.min);
        EXPECT_EQ(std::tuple(fit.columns, fit.rows, fit.wrapped, fit.text),
                  std::tuple(row.columns, row.rows, row.wrapped, std::string(row.shown)));
    }
    EXPECT_EQ(ShowLineMarkers("X = 1\n\x7F\x7F^\nBad", '\x7F', false), "X = 1\n  ^\nBad");
    EXPECT_EQ(ShowLineMarkers("X\n\x7F\x7F^", '\x7F', true), "X\n\xE2\x80\xA6\xE2\x80\xA6^");
    EXPECT_EQ(PlaceMessageButtons({400, 200}, {8, 16}, {{80, 24}}),
              (std::vector<Spot>{{160, 160}}));
    EXPECT_EQ(PlaceMessageButtons({400, 200}, {8, 16}, {{80, 24}, {90, 24}, {100, 24}}),
              (std::vector<Spot>{{304, 160}, {16, 160}, {150, 160}}));
    EXPECT_TRUE(PlaceMessageButtons({400, 200}, {8, 16}, {}).empty());
    EXPECT_EQ(ConsoleBorder(4, 5, 20), (Extent{12, 34}));
    EXPECT_EQ(IconSpots(5, {250, 400}, {100, 30}),
              (std::vector<Spot>{{0, 370}, {100, 370}, {0, 340}, {100, 340}, {0, 310}}));
}

} // namespace kestra::shell::testing
