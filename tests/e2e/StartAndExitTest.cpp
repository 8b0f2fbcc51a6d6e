// How kestra comes up and how it ends: its dialogs, its frame and consoles
// on real servers, its exit statuses and its restart.
#include "e2e/EndToEnd.h"

#include <algorithm>
#include <cstdio>

namespace kestra::e2e {
namespace {

// Help and a bad option show the Command Line Help dialog; Shutdown ends the
// program with status 255.
TEST_F(EndToEndTest, CommandLineHelpShowsItsDialogAndEndsWithStatus255) {
    for (const auto& [option, message] :
         {std::pair{"/H", "Command line: KESTRA [Commands] [Options]"},
          std::pair{"/X", "Invalid command line option: /X"}}) {
        KestraRun kestra(*x_, directory_, {"/Q", option});
        const std::string dialog = x_->FindWindow("^Command Line Help$");
        ASSERT_FALSE(dialog.empty()) << option << ": no dialog; stderr: " << kestra.Errors();
        EXPECT_TRUE(x_->KeyUntil(dialog, "alt+s", [&] { return !kestra.Running(); })) << option;
        EXPECT_EQ(kestra.Status(), 255) << option;
        EXPECT_NE(kestra.Errors().find(message), std::string::npos) << kestra.Errors();
    }
}

// Two consoles on two kestra-serve sockets: the frame carries the configured
// title and the maximised console's name, each console shows in its own cells
// what its server wrote, and File > Exit ends the program with status 0.
TEST_F(EndToEndTest, TwoConsolesShowWhatTheirServersWrite) {
    struct Console {
        const char* name;
        const char* script; // its output goes through the terminal: \n becomes CR LF
        std::vector<std::pair<int, std::string>> rows;
    };
    const Console consoles[] = {
        {"Alpha", "printf 'alpha 111\\n  -- a b\\n'", {{0, "alpha 111"}, {1, "  -- a b"}}},
        {"Beta", "printf '\\n\\nbeta 22 two\\n'", {{0, ""}, {2, "beta 22 two"}}},
    };
    std::vector<ChildProcess> servers;
    for (const Console& console : consoles) {
        servers.push_back(StartServe(directory_ / console.name,
                                     std::string(console.script) + "; exec cat >/dev/null"));
    }
    // The consoles maximised in a frame of known size: the active console's
    // cells then fill the frame below its menu bar.
    WriteSettings({{"Window", "1 1 0 0 1000 700"}});
    ASSERT_NO_FATAL_FAILURE(StartKestra("Two consoles", {"Alpha", "Beta"}));
    for (std::size_t index = 0; index < std::size(consoles); ++index) {
        const Console& console = consoles[index];
        const std::string title = std::string("Two consoles - [") + console.name + "]";
        if (index > 0) {
            // The window list of the Window menu numbers the consoles.
            x_->KeyUntil(frame_, "alt+w " + std::to_string(index + 1),
                         [&] { return x_->WindowName(frame_) == title; });
        }
        EXPECT_TRUE(WaitUntil([&] { return x_->WindowName(frame_) == title; }))
            << "frame title: " << x_->WindowName(frame_);
        std::vector<std::string> expected;
        std::vector<std::string> seen;
        for (const auto& [row, text] : console.rows) {
            expected.push_back(InkOf(text, 80));
        }
        ScreenshotUntil(frame_, [&](const QImage& picture) {
            seen.clear();
            if (const auto area = FindCellArea(picture, {500, 400}, 24, 80)) {
                for (const auto& [row, text] : console.rows) {
                    seen.push_back(InkRow(picture, *area, row, 80));
                }
            }
            return seen == expected;
        });
        EXPECT_EQ(seen, expected) << console.name;
    }
    EXPECT_EQ(ExitThroughMenu(*kestra_, frame_), 0) << kestra_->Errors();
}

// A missing configuration file: the Fatal Error dialog waits for the user.
// Its Restart ends the old instance with 255 and runs a new one with the old
// arguments and /W: with the old process id (it waits for that process
// before it reads anything, and then reports the same missing file).
TEST_F(EndToEndTest, RestartStartsANewInstanceThatWaitsForTheOldOne) {
    const std::string missing = directory_ / "missing.cnf";
    KestraRun kestra(*x_, directory_, {"/Q", "/C:" + missing});
    const std::string dialog = x_->FindWindow("^Fatal Error$");
    ASSERT_FALSE(dialog.empty()) << kestra.Errors();
    EXPECT_EQ(kestra.Status(300), -1) << "the program waits for the user";
    EXPECT_TRUE(x_->KeyUntil(dialog, "alt+r", [&] { return !kestra.Running(); }));
    EXPECT_EQ(kestra.Status(), 255);
    EXPECT_NE(kestra.Errors().find("Can't open configuration file: " + missing), std::string::npos)
        << kestra.Errors();

    // The new instance is not this process's child: it is ended by its pid,
    // however the test ends.
    struct Restarted {
        pid_t pid = -1;
        ~Restarted() {
            if (pid > 0) {
                ::kill(pid, SIGKILL);
            }
        }
    } restarted;
    // It reports the same file in its own dialog. Window ids of an ended
    // client may be given out again, so the process tells them apart.
    std::string second;
    WaitUntil(
        [&] {
            for (const std::string& window : x_->FindWindows("^Fatal Error$", 0)) {
                const std::string owner = x_->Xdotool("getwindowpid " + window);
                if (!owner.empty() && owner != std::to_string(kestra.Pid())) {
                    second = window;
                    restarted.pid = static_cast<pid_t>(std::stol(owner));
                    return true;
                }
            }
            return false;
        },
        25000, 100);
    ASSERT_FALSE(second.empty()) << "no restarted instance; standard error: " << kestra.Errors()
                                 << "; processes: "
                                 << RunShell("ps -eo pid,ppid,stat,args | grep [b]in/kestra");
    std::string commandLine = ReadFile("/proc/" + std::to_string(restarted.pid) + "/cmdline");
    std::replace(commandLine.begin(), commandLine.end(), '\0', ' ');
    char waitSwitch[16];
    std::snprintf(waitSwitch, sizeof waitSwitch, "/W:%08X", static_cast<unsigned>(kestra.Pid()));
    EXPECT_NE(commandLine.find("/Q /C:" + missing + " " + waitSwitch), std::string::npos)
        << commandLine;
    EXPECT_TRUE(x_->KeyUntil(second, "alt+s", [&] { return ::kill(restarted.pid, 0) != 0; }))
        << "the restarted instance did not end";
}

} // namespace
} // namespace kestra::e2e
