// The Window menu arranges the console windows: seen on the display as the
// consoles' black client areas.
#include "e2e/EndToEnd.h"

#include <algorithm>

namespace kestra::e2e {
namespace {

// Two consoles of one size, smaller than the frame, each a step down and to
// the right of the one before.
bool Cascaded(std::vector<QRect> regions, QSize frame) {
    if (regions.size() != 2) {
        return false;
    }
    std::sort(regions.begin(), regions.end(),
              [](const QRect& a, const QRect& b) { return a.left() < b.left(); });
    const QRect& back = regions[0];
    const QRect& front = regions[1];
    return back.left() < front.left() && back.top() < front.top() &&
           Near(back.width(), front.width(), 2) && Near(back.height(), front.height(), 2) &&
           front.width() < frame.width() * 9 / 10 && front.height() < frame.height() * 9 / 10;
}

TEST_F(EndToEndTest, WindowMenuCascadesAndTilesTheConsoles) {
    ScriptedServer first(directory_ / "First");
    ScriptedServer second(directory_ / "Second");
    WriteSettings({{"Window", "1 0 0 0 1000 700"}});
    ASSERT_NO_FATAL_FAILURE(StartKestra("Arrange", {"First", "Second"}));

    struct Arrangement {
        const char* keys;
        const char* name;
        std::function<bool(const std::vector<QRect>&, QSize)> check;
    };
    const auto stacked = [](const auto& regions, QSize size) { return Tiled(regions, size, true); };
    const Arrangement arrangements[] = {
        {"alt+w h", "tiled horizontally", stacked},
        {"alt+w v", "tiled vertically",
         [](const auto& regions, QSize size) { return Tiled(regions, size, false); }},
        {"alt+w c", "cascaded", Cascaded},
        {"alt+w h", "tiled horizontally again", stacked},
    };
    for (const Arrangement& row : arrangements) {
        std::vector<QRect> regions;
        const auto arranged = [&](const QImage& picture) {
            regions = ColourRegions(picture, qRgb(0, 0, 0), 400);
            return row.check(regions, picture.size());
        };
        x_->Key(frame_, row.keys);
        ScreenshotUntil(frame_, arranged);
        EXPECT_TRUE(row.check(regions, QSize(1000, 700)))
            << row.name << ": consoles at " << testing::PrintToString(regions);
    }
}

} // namespace
} // namespace kestra::e2e
