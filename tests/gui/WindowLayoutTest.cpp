#include "GuiTestSupport.h"

namespace kestra::shell::testing {

TEST(WindowLayout, DialogsAreCentredOverTheirParentInsideTheDesktop) {
    struct Row {
        Box parent;
        Extent size;
        Spot expected;
    };
    const Row rows[] = {
        {{100, 100, 400, 300}, {200, 100}, {200, 200}}, // the middle of the parent
        {{900, 0, 400, 300}, {300, 100}, {724, 100}},   // not past the right edge
        {{-300, -300, 200, 200}, {100, 100}, {0, 0}},   // nor the left
        {{0, 0, 1024, 768}, {2000, 1000}, {0, 0}},      // larger than the desktop
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CenteredPosition(row.parent, row.size, {0, 0, 1024, 768}), row.expected);
    }
}

TEST(WindowLayout, MessagesWrapAtTheMaximumAndClampBothWays) {
    struct Row {
        const char* text;
        Extent max;
        Extent min;
        int columns;
        int rows;
        bool wrapped;
        const char* shown;
    };
    // clang-format off
    const Row rows[] = {
        {"ab\nabcd",               {10, 10}, {1, 1}, 4, 2, false, "ab\nabcd"},
        {"ab",                     {10, 10}, {6, 3}, 6, 3, false, "ab"},
        {"abcdefghijk",            {5, 10},  {1, 1}, 5, 3, true,  "abcde\nfghij\nk"},
        {"a\nb\nc\nd",             {5, 2},   {1, 1}, 1, 2, false, "a\nb\nc\nd"},
        {"abc\n",                  {10, 10}, {1, 1}, 3, 2, false, "abc\n"},
        {"\xC3\xA9\xC3\xA9\xC3\xA9", {3, 5}, {1, 1}, 3, 1, false, "\xC3\xA9\xC3\xA9\xC3\xA9"},
    };
    // clang-format on
    for (const Row& row : rows) {
        const TextFit fit = FitText(row.text, row.max, row.min);
        EXPECT_EQ(fit.columns, row.columns) << row.text;
        EXPECT_EQ(fit.rows, row.rows) << row.text;
        EXPECT_EQ(fit.wrapped, row.wrapped) << row.text;
        EXPECT_EQ(fit.text, row.shown);
    }
    // The marker under a token shows blank, or as an ellipsis in a wrapped
    // message; before start-up the marker is '-', shown as itself.
    const std::string report = "X = 1\n\x7F\x7F\x7F\x7F^\nBad value";
    EXPECT_EQ(ShowLineMarkers(report, '\x7F', false), "X = 1\n    ^\nBad value");
    EXPECT_EQ(ShowLineMarkers(report, '\x7F', true),
              "X = 1\n\xE2\x80\xA6\xE2\x80\xA6\xE2\x80\xA6\xE2\x80\xA6^\nBad value");
    EXPECT_EQ(ShowLineMarkers("--^ \x7F", '\x7F', false), "--^  ");
}

// One button is centred; of three, the first goes right, the second left,
// the third in the middle. Icons fill the bottom row first.
TEST(WindowLayout, ButtonsAndIconsGoToTheirPlaces) {
    const Extent client{400, 200};
    const Extent character{8, 16};
    EXPECT_EQ(PlaceMessageButtons(client, character, {{80, 24}}),
              (std::vector<Spot>{{160, 200 - 16 - 24}}));
    EXPECT_EQ(PlaceMessageButtons(client, character, {{80, 24}, {90, 24}, {100, 24}}),
              (std::vector<Spot>{{400 - 16 - 80, 160}, {16, 160}, {150, 160}}));
    EXPECT_TRUE(PlaceMessageButtons(client, character, {}).empty());
    EXPECT_EQ(IconSpots(5, {250, 400}, {100, 30}),
              (std::vector<Spot>{{0, 370}, {100, 370}, {0, 340}, {100, 340}, {0, 310}}));
}

} // namespace kestra::shell::testing
