#include "ShellTestSupport.h"
#include "console/WindowLink.h"
#include "platform/Exit.h"
#include "platform/Process.h"
#include "shell/FrameWindow.h"
#include "shell/Restart.h"

#include <QLabel>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

using namespace kestra;
using namespace kestra::shell;
using namespace kestra::shell::testing;

namespace {

class StartupTest : public ::testing::Test {
protected:
    StartupTest() { App(); }

    FakeConfiguration configuration;
    TestWorld world;
    platform::ScopedFatalCapture capture;
};

TEST_F(StartupTest, StepsRunInTheirOrder) {
    std::vector<std::string> steps;
    world.settings["Properties"] = "2 0";
    Shell shell(configuration, world.Environment());
    configuration.parse = [&](std::span<const std::string> arguments) {
        steps.push_back("command line " + arguments[1]);
        EXPECT_TRUE(world.opened.empty()) << "Properties are loaded after the command line";
    };
    configuration.configure = [&] {
        steps.push_back("configuration");
        EXPECT_FALSE(world.opened.empty()) << "Properties come before the configuration";
        EXPECT_EQ(shell.Properties().blinkMode, 2);
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        configuration.services.showSplash();
        EXPECT_NE(shell.Splash().Window(), nullptr);
        world.clock.now += 600; // the configuration took 600 ms
    };
    shell.ConsoleSlots().createConsoleWindows = [&](FrameWindow& frame) {
        steps.push_back("console windows");
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the arrow is back";
        EXPECT_EQ(shell.Splash().Window(), nullptr) << "the splash is gone";
        auto* timer = frame.findChild<QTimer*>(QStringLiteral("blinkTimer"));
        ASSERT_NE(timer, nullptr);
        EXPECT_TRUE(timer->isActive());
        EXPECT_EQ(timer->interval(), 218);
        EXPECT_TRUE(frame.isVisible());
    };
    const std::vector<std::string> arguments{"kestra", "/C:x.cnf"};
    shell.RunStartup(arguments);

    EXPECT_EQ(steps, (std::vector<std::string>{"command line /C:x.cnf", "configuration",
                                               "console windows"}));
    EXPECT_EQ(world.clock.waits, (std::vector<int>{1400})) << "the splash stays 2000 ms";
    EXPECT_TRUE(configuration.quietMode) << "a removed splash never comes back";
    EXPECT_FALSE(console::TheWindowSide().BeepOnBell()) << "the consoles read the loaded beeps";
    EXPECT_TRUE(console::TheWindowSide().BeepOnError());
}

// The blink timer runs only while the animation does, so that a program in
// the background with nothing to animate is never woken.
TEST_F(StartupTest, BlinkTimerRunsOnlyWhileTheAnimationDoes) {
    struct Row {
        const char* properties;
        Qt::ApplicationState state;
        bool running;
    };
    const Row rows[] = {
        {"0", Qt::ApplicationActive, false},  {"0", Qt::ApplicationInactive, false},
        {"1", Qt::ApplicationActive, true},   {"1", Qt::ApplicationInactive, false},
        {"2", Qt::ApplicationInactive, true}, {"2", Qt::ApplicationActive, true},
    };
    for (const Row& row : rows) {
        TestWorld local;
        local.settings["Properties"] = row.properties;
        FakeConfiguration config;
        config.quietMode = true;
        Shell shell(config, local.Environment());
        shell.RunStartup(std::vector<std::string>{"kestra"});
        auto* timer = shell.Frame().findChild<QTimer*>(QStringLiteral("blinkTimer"));
        ASSERT_NE(timer, nullptr);
        emit qApp->applicationStateChanged(row.state);
        EXPECT_EQ(timer->isActive(), row.running) << row.properties << " " << row.state;
        EXPECT_EQ(shell.Blink().BlinkActive(), row.running) << row.properties << " " << row.state;
    }
}

TEST_F(StartupTest, ConfigurationErrorShowsTheSplashFirstUnlessQuiet) {
    for (const bool quiet : {false, true}) {
        SCOPED_TRACE(quiet);
        platform::ResetExitStateForTesting();
        FakeConfiguration config;
        config.quietMode = quiet;
        TestWorld local;
        Shell shell(config, local.Environment());
        shell.InstallExitRoutine();
        config.configure = [] {
            platform::Fatal("Can't open configuration file: %s", "/nowhere/x.cnf");
        };

        bool splashGoneAtDialog = false;
        std::int64_t clockAtDialog = 0;
        QString title;
        QString text;
        DialogAnswerer answerer([&](QDialog& dialog) {
            splashGoneAtDialog = shell.Splash().Window() == nullptr;
            clockAtDialog = local.clock.now;
            title = dialog.windowTitle();
            text = dialog.findChild<QLabel*>(QStringLiteral("502"))->text();
            Click(dialog, "503");
        });
        const std::int64_t start = local.clock.now;
        try {
            shell.RunStartup(std::vector<std::string>{"kestra"});
            ADD_FAILURE() << "the program went on after a configuration error";
        } catch (const platform::ProcessEnded& ended) {
            EXPECT_EQ(ended.status(), 255);
        }
        EXPECT_EQ(answerer.Count(), 1);
        EXPECT_EQ(title, QStringLiteral("Fatal Error"));
        EXPECT_EQ(text, QStringLiteral("Can't open configuration file: /nowhere/x.cnf"));
        EXPECT_EQ(shell.Splash().EverShown(), !quiet);
        EXPECT_TRUE(splashGoneAtDialog);
        EXPECT_EQ(clockAtDialog - start, quiet ? 0 : 2000) << "the splash waits out its 2000 ms";
    }
}

// A reader thread reports and waits for its dialog on the window thread; the
// window thread fails meanwhile (a key typed into a pipe that just closed).
// The window thread must show the reader's dialog while it waits, and the
// reader, not the window thread, ends the process.
TEST_F(StartupTest, WindowThreadFailingWhileAReaderReportsShowsTheReadersDialog) {
    configuration.quietMode = true;
    Shell shell(configuration, world.Environment());
    shell.InstallExitRoutine();
    std::atomic<int> ends{0};
    platform::SetProcessEnder([&](int status) {
        ++ends;
        throw platform::ProcessEnded(status);
    });
    QString text;
    DialogAnswerer answerer([&](QDialog& dialog) {
        text = dialog.findChild<QLabel*>(QStringLiteral("502"))->text();
        Click(dialog, "503");
    });

    std::atomic<bool> readerEnded{false};
    std::thread reader([&] {
        try {
            platform::Fatal("Pipe %s closed", "DEMO1");
        } catch (const platform::ProcessEnded&) {
        }
        readerEnded = true;
    });
    // The reader holds the routine once it is exiting; its dialog is queued
    // for this thread, which does not look at its queue until it fails.
    for (int i = 0; i < 1000 && !platform::Exiting(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(platform::Exiting());

    // Lets this thread out of the routine once the reader has ended, or after
    // ten seconds if it never does.
    std::atomic<bool> readerEndedFirst{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 1000 && !readerEnded; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        readerEndedFirst = readerEnded.load();
        platform::ResetExitStateForTesting();
    });
    bool windowThreadEnded = false;
    try {
        platform::Fatal("Write to DEMO1 failed");
    } catch (const platform::ProcessEnded&) {
        windowThreadEnded = true;
    }
    watchdog.join();
    EXPECT_TRUE(PumpUntil([&] { return readerEnded.load(); })); // without the fix it ends now
    reader.join();

    EXPECT_TRUE(readerEndedFirst) << "the reader's dialog never showed while the window thread "
                                     "waited";
    EXPECT_TRUE(windowThreadEnded);
    EXPECT_EQ(answerer.Count(), 1);
    EXPECT_EQ(text, QStringLiteral("Pipe DEMO1 closed"));
    EXPECT_EQ(ends.load(), 2) << "the reader's end, then the window thread let go by the reset";
}

TEST_F(StartupTest, RestartButtonRestartsWithTheOldArguments) {
    configuration.quietMode = true;
    configuration.restartArguments = {"kestra", "/C:lab.cnf"};
    Shell shell(configuration, world.Environment());
    shell.InstallExitRoutine();
    DialogAnswerer answerer([](QDialog& dialog) { Click(dialog, "506"); });
    EXPECT_THROW(platform::Fatal("Pipe error"), platform::ProcessEnded);
    EXPECT_TRUE(platform::RestartRequested());
    ASSERT_EQ(world.restarts.size(), 1u);
    EXPECT_EQ(world.restarts[0], configuration.restartArguments);
}

std::string WaitSwitch(pid_t pid) {
    char text[16];
    std::snprintf(text, sizeof text, "/W:%08X", static_cast<unsigned>(pid));
    return text;
}

TEST(RestartArguments, AppendTheOldProcessInEightHexDigits) {
    struct Row {
        pid_t pid;
        const char* expected;
    };
    for (const Row row : {Row{0x1A4, "/W:000001A4"}, Row{0x7FFFFFFF, "/W:7FFFFFFF"}}) {
        EXPECT_EQ(RestartArguments({"kestra", "/C:a b.cnf"}, row.pid),
                  (std::vector<std::string>{"kestra", "/C:a b.cnf", row.expected}));
    }
}

// A real restart: the new process gets the old arguments, unchanged and each
// one argument, and /W: with this process's id; it outlives the old one's
// request to start it.
TEST(Restart, StartsANewProcessWithTheOldArgumentsAndTheWaitSwitch) {
    const auto out = std::filesystem::temp_directory_path() /
                     ("kestra-restart-" + std::to_string(::getpid()) + ".txt");
    std::filesystem::remove(out);
    const std::string script = "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                               out.string() + ".part' && mv '" + out.string() + ".part' '" +
                               out.string() + "'";
    Restart({"/bin/sh", "-c", script, "kestra", "/C:my lab.cnf", "/Q"});

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!std::filesystem::exists(out) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(std::filesystem::exists(out)) << "the new instance did not run";
    std::ifstream in(out);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    std::filesystem::remove(out);
    EXPECT_EQ(lines, (std::vector<std::string>{"/C:my lab.cnf", "/Q",
                                               WaitSwitch(platform::CurrentProcessId())}));
}

} // namespace
