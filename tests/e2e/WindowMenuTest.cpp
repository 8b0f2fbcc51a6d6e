// The Window menu arranges the console windows: seen on the display as the
// consoles' black client areas.
#include "e2e/EndToEnd.h"

#include <algorithm>
#include <sstream>

namespace kestra::e2e {
namespace {

std::string Describe(const std::vector<QRect>& regions) {
    std::ostringstream text;
    for (const QRect& region : regions) {
        text << "(" << region.x() << "," << region.y() << " " << region.width() << "x"
             << region.height() << ") ";
    }
    return text.str();
}

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
    ScriptedServer first(directory_ / "first");
    ScriptedServer second(directory_ / "second");
    WriteSettings({{"Window", "1 0 0 0 1000 700"}});
    const std::string configuration = WriteConfiguration(
        "arrange.cnf",
        "QuietMode = on\nTitle = Arrange\nCON /UNITNAME:First = " + (directory_ / "first") +
            "\nCON /UNITNAME:Second = " + (directory_ / "second") + "\n");
    KestraRun kestra(*x_, directory_, {"/C:" + configuration});
    const std::string frame = x_->FindWindow("^Arrange");
    ASSERT_FALSE(frame.empty()) << "no frame; stderr: " << kestra.Errors();

    struct Arrangement {
        const char* keys;
        const char* name;
        std::function<bool(const std::vector<QRect>&, QSize)> check;
    };
    const Arrangement arrangements[] = {
        {"alt+w h", "tiled horizontally",
         [](const auto& regions, QSize size) { return Tiled(regions, size, true); }},
        {"alt+w v", "tiled vertically",
         [](const auto& regions, QSize size) { return Tiled(regions, size, false); }},
        {"alt+w c", "cascaded", Cascaded},
        {"alt+w h", "tiled horizontally again",
         [](const auto& regions, QSize size) { return Tiled(regions, size, true); }},
    };
    for (const Arrangement& row : arrangements) {
        std::vector<QRect> regions;
        const auto arranged = [&](const QImage& picture) {
            regions = ColourRegions(picture, qRgb(0, 0, 0), 400);
            return row.check(regions, picture.size());
        };
        x_->Key(frame, row.keys);
        ScreenshotUntil(frame, arranged);
        EXPECT_TRUE(row.check(regions, QSize(1000, 700)))
            << row.name << ": consoles at " << Describe(regions);
    }
}

} // namespace
} // namespace kestra::e2e
