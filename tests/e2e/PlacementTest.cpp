// The frame under a window manager: placed by it at the first start, title
// bar on the screen, and back where the user left it at the next, saved as
// the rectangle the user sees, decorations included.
#include "e2e/EndToEnd.h"

namespace kestra::e2e {
namespace {

TEST_F(EndToEndTest, TheFrameComesBackWhereTheUserLeftIt) {
    const Program manager({"openbox"}, Environment());
    const auto X = [&](const std::string& tool, const std::string& window, const char* what) {
        return testing::RunProgram({tool, "-display", display_, "-id", window, what}).out;
    };
    ScriptedServer server(directory_ / "Frame");
    WriteFile(directory_ / "frame.cnf", "QuietMode = on\nTitle = Frame\nCON = Frame\n");
    // No question at exit.
    WriteFile(directory_ / "config/Marrow Data/KESTRA.conf", "[General]\nProperties=1 1 1 1 0\n");
    std::string outer[2];
    for (std::string& seen : outer) {
        ASSERT_NO_FATAL_FAILURE(StartKestra(directory_ / "frame.cnf", "Frame"));
        int l = 0, r = 0, t = 0, b = 0;
        ASSERT_TRUE(Eventually(
            [&] {
                return std::sscanf(X("xprop", frame_, "_NET_FRAME_EXTENTS").c_str(),
                                   "%*[^=]= %d, %d, %d, %d", &l, &r, &t, &b) == 4;
            },
            20s));
        std::this_thread::sleep_for(1s); // the frame takes its final size
        const std::string info = X("xwininfo", frame_, "-stats");
        const auto number = [&](const char* label) {
            return std::stoi(info.substr(info.find(label) + std::strlen(label)));
        };
        const int x = number("Absolute upper-left X:"), y = number("Absolute upper-left Y:");
        EXPECT_GE(y - t, 0) << "the title bar is on the screen";
        seen = std::to_string(x - l) + " " + std::to_string(y - t) + " " +
               std::to_string(x + number("Width:") + r) + " " +
               std::to_string(y + number("Height:") + b);
        ASSERT_TRUE(KeyUntil(frame_, "alt+f x", [&] { return !Running(); }));
        EXPECT_NE(testing::FileText(directory_ / "config/Marrow Data/KESTRA.conf")
                      .find("Window=1 0 " + seen),
                  std::string::npos);
    }
    EXPECT_EQ(outer[0], outer[1]);
}

} // namespace
} // namespace kestra::e2e
