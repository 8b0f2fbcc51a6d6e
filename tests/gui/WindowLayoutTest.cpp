#include "shell/WindowLayout.h"

#include <gtest/gtest.h>

using namespace kestra::shell;

namespace {

struct CentreCase {
    const char* name;
    Box parent;
    Extent size;
    Spot expected;
};

TEST(CenteredPosition, CentresInsideTheDesktop) {
    const Box desktop{0, 0, 1024, 768};
    // clang-format off
    const CentreCase cases[] = {
        { "middle of parent",      {100, 100, 400, 300},  {200, 100},   {200, 200} },
        { "past the right edge",   {900, 0, 400, 300},    {300, 100},   {724, 100} },
        { "negative becomes 0",    {-300, -300, 200, 200},{100, 100},   {0, 0}     },
        { "larger than desktop",   {0, 0, 1024, 768},     {2000, 1000}, {0, 0}     },
    };
    // clang-format on
    for (const CentreCase& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(CenteredPosition(row.parent, row.size, desktop), row.expected);
    }
}

struct FitCase {
    const char* name;
    const char* text;
    Extent max;
    Extent min;
    int columns;
    int rows;
    bool wrapped;
    const char* shown;
};

TEST(FitText, WrapsAtTheMaximumAndClampsBothWays) {
    // clang-format off
    const FitCase cases[] = {
        { "fits",              "ab\nabcd",    {10, 10}, {1, 1}, 4,  2, false, "ab\nabcd"    },
        { "minimum wins",      "ab",          {10, 10}, {6, 3}, 6,  3, false, "ab"          },
        { "wraps twice",       "abcdefghijk", {5, 10},  {1, 1}, 5,  3, true,  "abcde\nfghij\nk" },
        { "rows cut at max",   "a\nb\nc\nd",  {5, 2},   {1, 1}, 1,  2, false, "a\nb\nc\nd"  },
        { "trailing new line", "abc\n",       {10, 10}, {1, 1}, 3,  2, false, "abc\n"       },
        { "utf-8 counts once", "\xC3\xA9\xC3\xA9\xC3\xA9", {3, 5}, {1, 1}, 3, 1, false,
                               "\xC3\xA9\xC3\xA9\xC3\xA9" },
    };
    // clang-format on
    for (const FitCase& row : cases) {
        SCOPED_TRACE(row.name);
        const TextFit fit = FitText(row.text, row.max, row.min);
        EXPECT_EQ(fit.columns, row.columns);
        EXPECT_EQ(fit.rows, row.rows);
        EXPECT_EQ(fit.wrapped, row.wrapped);
        EXPECT_EQ(fit.text, row.shown);
    }
}

TEST(PlaceMessageButtons, OneCentredThreeRightLeftMiddle) {
    const Extent client{400, 200};
    const Extent character{8, 16};
    const std::vector<Spot> one = PlaceMessageButtons(client, character, {{80, 24}});
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0], (Spot{160, 200 - 16 - 24}));

    const std::vector<Spot> three =
        PlaceMessageButtons(client, character, {{80, 24}, {90, 24}, {100, 24}});
    ASSERT_EQ(three.size(), 3u);
    EXPECT_EQ(three[0], (Spot{400 - 16 - 80, 160})); // first: right
    EXPECT_EQ(three[1], (Spot{16, 160}));            // second: left
    EXPECT_EQ(three[2], (Spot{150, 160}));           // third: centred

    EXPECT_TRUE(PlaceMessageButtons(client, character, {}).empty());
}

TEST(ShowLineMarkers, BlankWhenFittingEllipsisWhenWrapped) {
    const std::string report = "X = 1\n\x7F\x7F\x7F\x7F^\nBad value";
    EXPECT_EQ(ShowLineMarkers(report, '\x7F', false), "X = 1\n    ^\nBad value");
    EXPECT_EQ(ShowLineMarkers(report, '\x7F', true),
              "X = 1\n\xE2\x80\xA6\xE2\x80\xA6\xE2\x80\xA6\xE2\x80\xA6^\nBad value");
    // Before start-up the marker is '-', which is then shown as itself.
    EXPECT_EQ(ShowLineMarkers("--^ \x7F", '\x7F', false), "--^  ");
}

TEST(TileBoxes, CoverTheAreaWithoutOverlap) {
    for (const bool horizontally : {true, false}) {
        for (int count = 1; count <= 7; ++count) {
            const std::vector<Box> boxes = TileBoxes(count, {803, 601}, horizontally);
            ASSERT_EQ(static_cast<int>(boxes.size()), count);
            int covered = 0;
            for (std::size_t i = 0; i < boxes.size(); ++i) {
                const Box& box = boxes[i];
                EXPECT_EQ(horizontally ? box.width : box.height, horizontally ? 803 : 601);
                EXPECT_EQ(horizontally ? box.y : box.x, covered) << "no gap, no overlap";
                covered += horizontally ? box.height : box.width;
            }
            EXPECT_EQ(covered, horizontally ? 601 : 803);
        }
    }
    EXPECT_TRUE(TileBoxes(0, {100, 100}, true).empty());
}

TEST(IconSpots, FillTheBottomRowFirst) {
    const std::vector<Spot> spots = IconSpots(5, {250, 400}, {100, 30});
    EXPECT_EQ(spots, (std::vector<Spot>{{0, 370}, {100, 370}, {0, 340}, {100, 340}, {0, 310}}));
}

} // namespace
