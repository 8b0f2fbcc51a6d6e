// The demo's configuration (data/demo.cnf, two consoles behind kestra-serve)
// on a real display: each console shows in its own cells what its server
// wrote, by its own options, and a server that exits ends the program with
// its message once the user has closed the Fatal Error dialog.
#include "e2e/EndToEnd.h"

namespace kestra::e2e {
namespace {

TEST_F(EndToEndTest, TheDemoShowsWhatItsServersWriteUntilOneExits) {
    struct Console {
        const char* name;
        const char* pipe;
        std::vector<std::string> rows;
    };
    // 85 digits: the console that wraps (Shell 2) shows five on its second
    // row, the other overwrites its last column with them.
    const Console consoles[] = {
        {"Shell 1", "DEMO1", {std::string(80, '0'), "alpha 111"}},
        {"Shell 2", "DEMO2", {std::string(80, '0'), "00000", "  -- a b"}},
    };
    std::vector<std::unique_ptr<Program>> servers;
    for (const Console& console : consoles) {
        // The output goes through a terminal: \n becomes CR LF.
        const std::string script = "printf '%085d\\n" + console.rows.back() +
                                   "\\n' 0; while [ ! -e " + directory_.Path() + "/done-" +
                                   console.pipe + " ]; do sleep 0.05; done";
        servers.push_back(std::make_unique<Program>(
            std::vector<std::string>{testing::BinaryPath("kestra-serve"), console.pipe, "--",
                                     "/bin/sh", "-c", script},
            Environment()));
        ASSERT_TRUE(
            Eventually([&] { return std::filesystem::exists(directory_ / console.pipe); }, 20s))
            << servers.back()->Err();
    }
    ASSERT_NO_FATAL_FAILURE(StartKestra(KESTRA_SOURCE_DIR "/data/demo.cnf", "KESTRA"));

    for (const Console& console : consoles) {
        // The maximised console's name in the frame's title shows which is
        // active; the Window menu's list numbers the consoles.
        const std::string title = std::string("KESTRA demo - [") + console.name + "]";
        EXPECT_TRUE(KeyUntil(frame_, "alt+w " + std::string(1, console.name[6]), [&] {
            return Xdotool("getwindowname " + frame_) == title;
        })) << Xdotool("getwindowname " + frame_);
        std::vector<std::string> expected;
        std::vector<std::string> seen;
        for (const std::string& row : console.rows) {
            expected.push_back(InkOf(row));
        }
        ScreenshotUntil([&](const QImage& picture) {
            seen = InkRows(picture, {500, 400}, 24, static_cast<int>(console.rows.size()));
            return seen == expected;
        });
        EXPECT_EQ(seen, expected) << console.name;
    }

    // The second server's command ends; kestra-serve closes the connection.
    WriteFile(directory_ / "done-DEMO2", "");
    const std::string dialog = FindWindow("^Fatal.Error$");
    ASSERT_FALSE(dialog.empty()) << "no dialog; standard error: " << kestra_->Err();
    EXPECT_TRUE(Running()) << "the program waits for the user";
    // Return presses Shutdown, the dialog's default button.
    EXPECT_TRUE(KeyUntil(dialog, "Return", [&] { return !Running(); }));
    EXPECT_EQ(kestra_->Wait(20s), 255);
    EXPECT_EQ(kestra_->Err(), "The server for pipe \\\\.\\pipe\\DEMO2 has shut down\n");
}

// Under a window manager the frame is placed by it at the first start, title
// bar on the screen, and saved as the user sees it, title bar included, so
// the next start brings it back exactly there.
TEST_F(EndToEndTest, TheFrameComesBackWhereTheUserLeftIt) {
    const Program manager({"openbox"}, Environment());
    const std::vector<std::string> check{"xprop", "-display", display_, "-root",
                                         "_NET_SUPPORTING_WM_CHECK"}; // set once at work
    ASSERT_TRUE(Eventually(
        [&] { return testing::RunProgram(check).out.find('#') != std::string::npos; }, 20s));
    ScriptedServer server(directory_ / "Frame");
    WriteFile(directory_ / "frame.cnf", "QuietMode = on\nTitle = Frame\nCON = Frame\n");
    const std::string settings = directory_ / "config/Marrow Data/KESTRA.conf";
    WriteFile(settings, "[General]\nProperties=1 1 1 1 0\n"); // no question at exit
    std::array<int, 4> client[2];
    for (auto& [x, y, width, height] : client) {
        ASSERT_NO_FATAL_FAILURE(StartKestra(directory_ / "frame.cnf", "Frame"));
        std::this_thread::sleep_for(2s); // framed by the window manager, at its final size
        const std::string info =
            testing::RunProgram({"xwininfo", "-display", display_, "-id", frame_}).out;
        std::sscanf(
            info.substr(info.find("Absolute")).c_str(),
            "Absolute upper-left X: %d Absolute upper-left Y: %d Relative upper-left X: %*d "
            "Relative upper-left Y: %*d Width: %d Height: %d",
            &x, &y, &width, &height);
        EXPECT_GT(y, 0) << "the title bar is on the screen";
        ASSERT_TRUE(KeyUntil(frame_, "alt+f x", [&] { return !Running(); }));
    }
    EXPECT_EQ(client[0], client[1]);
}

} // namespace
} // namespace kestra::e2e

namespace kestra::e2e {
namespace {

// 200 lines printed: the wheel brings the first back on screen, and a typed
// key returns the view to the live screen (the server echoes the key).
TEST_F(EndToEndTest, TheWheelScrollsIntoTheHistoryAndAKeyComesBack) {
    Program server({testing::BinaryPath("kestra-serve"), "H", "--", "/bin/sh", "-c",
                    "i=1; while [ $i -le 200 ]; do echo line $i; i=$((i+1)); done; cat"},
                   Environment());
    ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(directory_ / "H"); }, 20s));
    WriteFile(directory_ / "h.cnf", "Title = History\nQuietMode = on\nCON = H\n");
    ASSERT_NO_FATAL_FAILURE(StartKestra(directory_ / "h.cnf", "History"));
    // The grid is found around a column no line reaches, on the live screen.
    // The last column is left out: the bar showing the view's place is there.
    QRect client;
    const auto firstRows = [&](const std::vector<std::string>& rows) {
        std::vector<std::string> expected, seen;
        for (const std::string& row : rows) {
            expected.push_back(InkOf(row).substr(0, 79));
        }
        ScreenshotUntil([&](const QImage& picture) {
            const QRect area = client.isEmpty() ? ClientAround(picture, {500, 400}) : client;
            seen = InkRowsIn(picture, area, 24, static_cast<int>(rows.size()));
            for (std::string& row : seen) {
                row.resize(79);
            }
            client = seen == expected ? area : client; // kept once a check has passed
            return seen == expected;
        });
        return seen == expected;
    };
    EXPECT_TRUE(firstRows({"line 178", "line 179"}));
    Xdotool("mousemove --window " + frame_ + " 500 400 click --repeat 80 --delay 5 4");
    EXPECT_TRUE(firstRows({"line 1", "line 2"})) << "the wheel reaches the first line";
    Xdotool("windowfocus --sync " + frame_);
    Type("x");
    EXPECT_TRUE(firstRows({"line 178", "line 179"})) << "the key brings the live screen back";
}

} // namespace
} // namespace kestra::e2e
