#include "ShellTestSupport.h"
#include "console/WindowLink.h"
#include "platform/Exit.h"
#include "shell/FrameWindow.h"

#include <QLabel>
#include <atomic>
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

struct ErrorCase {
    bool quiet;
    bool splashExpected;
};

TEST_F(StartupTest, ConfigurationErrorShowsTheSplashFirstUnlessQuiet) {
    for (const ErrorCase row : {ErrorCase{false, true}, ErrorCase{true, false}}) {
        platform::ResetExitStateForTesting();
        FakeConfiguration config;
        config.quietMode = row.quiet;
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
        const std::vector<std::string> arguments{"kestra"};
        try {
            shell.RunStartup(arguments);
            ADD_FAILURE() << "the program went on after a configuration error";
        } catch (const platform::ProcessEnded& ended) {
            EXPECT_EQ(ended.status(), 255);
        }
        EXPECT_EQ(answerer.Count(), 1);
        EXPECT_EQ(title, QStringLiteral("Fatal Error"));
        EXPECT_EQ(text, QStringLiteral("Can't open configuration file: /nowhere/x.cnf"));
        EXPECT_EQ(shell.Splash().EverShown(), row.splashExpected) << "quiet " << row.quiet;
        EXPECT_TRUE(splashGoneAtDialog);
        EXPECT_EQ(clockAtDialog - start, row.splashExpected ? 2000 : 0)
            << "the splash waits out its 2000 ms before the dialog";
    }
}

// Two reader threads fail at once: one dialog, one end of the process; the
// other thread waits in the exit routine until the process ends.
TEST_F(StartupTest, TwoFailingThreadsGiveOneDialogAndOneExit) {
    configuration.quietMode = true;
    Shell shell(configuration, world.Environment());
    shell.InstallExitRoutine();
    std::atomic<int> ends{0};
    platform::SetProcessEnder([&](int status) {
        ++ends;
        throw platform::ProcessEnded(status);
    });
    DialogAnswerer answerer([](QDialog& dialog) { Click(dialog, "503"); });

    std::atomic<int> finished{0};
    auto reader = [&](int unit) {
        try {
            platform::Fatal("Pipe %d read error", unit);
        } catch (const platform::ProcessEnded&) {
        }
        ++finished;
    };
    std::thread first(reader, 1);
    std::thread second(reader, 2);
    ASSERT_TRUE(PumpUntil([&] { return finished >= 1; }));
    PumpUntil([] { return false; }, 300); // time for a second dialog, which must not come
    EXPECT_EQ(answerer.Count(), 1);
    EXPECT_EQ(ends.load(), 1);
    EXPECT_EQ(finished.load(), 1) << "the second thread waits in the exit routine";

    platform::ResetExitStateForTesting(); // lets the waiting thread go
    first.join();
    second.join();
    EXPECT_EQ(answerer.Count(), 1);
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

} // namespace
