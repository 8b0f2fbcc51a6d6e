// The Properties and the window placements outlive the program: saved at
// exit (Save on Program Exit), they are back at the next start.
#include "e2e/EndToEnd.h"

#include <sstream>

namespace kestra::e2e {
namespace {

std::vector<int> Numbers(const std::string& text) {
    std::istringstream in(text);
    std::vector<int> numbers;
    for (int number = 0; in >> number;) {
        numbers.push_back(number);
    }
    return numbers;
}

// The frame's position and size as the window manager has it.
QRect FrameGeometry(const XServer& x, const std::string& frame) {
    const std::vector<int> numbers = Numbers(x.Xdotool(
        "getwindowgeometry --shell " + frame + " | sed -n 's/^[XYWIDTHEG]*=//p' | head -n 4"));
    return numbers.size() == 4 ? QRect(numbers[0], numbers[1], numbers[2], numbers[3]) : QRect();
}

TEST_F(EndToEndTest, SettingsAndPlacementsSavedAtExitAreBackAtTheNextStart) {
    // The consoles as seen on the display: with Reverse Video their empty
    // cells are white, in areas far larger than the white bits of the frame's
    // decorations. Screenshots until they are as expected.
    const auto whiteConsoles = [&](const std::string& frame, const auto& check) {
        std::vector<QRect> regions;
        ScreenshotUntil(frame, [&](const QImage& picture) {
            regions = ColourRegions(picture, qRgb(255, 255, 255), 20000);
            return check(regions);
        });
        return regions;
    };
    ScriptedServer first(directory_ / "First");
    ScriptedServer second(directory_ / "Second");
    const std::string configuration = ConsolesConfiguration("Saved", {"First", "Second"});
    // Reverse Video on: what the first run has, the second must have too.
    const std::string properties = "1 1 1 1 1 0 1 1 0";
    WriteSettings({{"Properties", properties}, {"Window", "1 0 20 30 1020 730"}});
    const QRect moved(40, 50, 1100, 760);
    std::vector<QRect> consoles; // where the first run left them on the display
    {
        KestraRun kestra(*x_, directory_, {"/C:" + configuration});
        const std::string frame = x_->FindWindow("^Saved");
        ASSERT_FALSE(frame.empty()) << "no frame; stderr: " << kestra.Errors();
        EXPECT_TRUE(WaitUntil([&] {
            return FrameGeometry(*x_, frame) == QRect(20, 30, 1000, 700);
        })) << "the frame is not where the settings put it";
        x_->Key(frame, "alt+w v");
        const auto tiled = [](const std::vector<QRect>& regions) {
            return Tiled(regions, {1000, 700}, false);
        };
        EXPECT_TRUE(tiled(whiteConsoles(frame, tiled))) << "no white consoles side by side";
        x_->Xdotool("windowmove --sync " + frame + " 40 50 windowsize --sync " + frame +
                    " 1100 760");
        EXPECT_TRUE(WaitUntil([&] { return FrameGeometry(*x_, frame) == moved; }));
        consoles = whiteConsoles(frame, [](const auto& regions) { return regions.size() == 2; });
        ASSERT_EQ(ExitThroughMenu(kestra, frame), 0) << kestra.Errors();
    }
    EXPECT_EQ(ReadSetting("Properties").value_or("none"), properties);
    EXPECT_EQ(ReadSetting("Window").value_or("none"), "1 0 40 50 1140 810");
    // Console values: minimised flag, normal rectangle, minimised position.
    const std::vector<int> left = Numbers(ReadSetting("First").value_or(""));
    const std::vector<int> right = Numbers(ReadSetting("Second").value_or(""));
    ASSERT_EQ(left.size(), 7U);
    ASSERT_EQ(right.size(), 7U);
    EXPECT_EQ(left[0], 0);
    EXPECT_EQ(right[0], 0);
    EXPECT_EQ(left[3], right[1]) << "side by side, the second where the first ends";
    EXPECT_EQ(left[2], right[2]) << "same top";
    EXPECT_EQ(left[4], right[4]) << "same bottom";

    KestraRun again(*x_, directory_, {"/C:" + configuration}, "stderr-again");
    const std::string frame = x_->FindWindow("^Saved");
    ASSERT_FALSE(frame.empty()) << "no frame; stderr: " << again.Errors();
    EXPECT_TRUE(WaitUntil([&] { return FrameGeometry(*x_, frame) == moved; }))
        << "the frame is not where it was left";
    const std::vector<QRect> restored =
        whiteConsoles(frame, [&](const auto& regions) { return regions == consoles; });
    EXPECT_EQ(restored, consoles) << "the consoles are not where they were, or not white";
    EXPECT_EQ(ExitThroughMenu(again, frame), 0) << again.Errors();
}

} // namespace
} // namespace kestra::e2e
