#include "GuiTestSupport.h"
#include "config/ConfigHooks.h"
#include "config/ConfigInterpreter.h"
#include "config/ProgramFile.h"
#include "platform/Process.h"
#include "shell/Dialogs.h"
#include "shell/Icons.h"
#include "shell/Restart.h"

#include <QFontMetricsF>
#include <QLabel>
#include <fstream>
#include <future>
#include <thread>

using namespace kestra;
using namespace kestra::shell;
using namespace kestra::shell::testing;
using kestra::testing::Eventually;
using kestra::testing::TemporaryDirectory;

namespace {

class ShellTest : public ::testing::Test {
protected:
    ShellTest() : shell((App(), configuration), world.Environment()) {}

    // Shows the Fatal Error dialog, runs steps on it, then clicks Shutdown.
    void WithFatalDialog(const std::function<void(QDialog&)>& steps) {
        DialogAnswerer answerer([&](QDialog& dialog) { steps(dialog), Click(dialog, "503"); });
        shell.PresentFatal("Unknown keyword");
        EXPECT_EQ(answerer.Count(), 1);
    }
    QString Text(QDialog& dialog) { return dialog.findChild<QLabel*>("502")->text(); }

    platform::ScopedFatalCapture capture;
    TestConfiguration configuration;
    TestWorld world;
    Shell shell;
};

TEST_F(ShellTest, StartupStepsRunInTheirOrder) {
    std::vector<std::string> steps;
    world.Save("Properties", "2 0");
    configuration.parse = [&](std::span<const std::string> arguments) {
        steps.push_back("command line " + arguments[1]);
        EXPECT_EQ(shell.Properties().blinkMode, 1) << "Properties load after the command line";
    };
    configuration.configure = [&] {
        steps.push_back("configuration");
        EXPECT_EQ(shell.Properties().blinkMode, 2);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        configuration.services.showSplash();
        EXPECT_NE(shell.Splash().Window(), nullptr);
        world.now += 600;
    };
    shell.ConsoleSlots().createConsoleWindows = [&](FrameWindow& frame) {
        steps.push_back("console windows");
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the arrow is back";
        EXPECT_EQ(shell.Splash().Window(), nullptr);
        EXPECT_TRUE(frame.isVisible());
    };
    shell.RunStartup(std::vector<std::string>{"kestra", "/C:x.cnf"});
    EXPECT_EQ(steps, (std::vector<std::string>{"command line /C:x.cnf", "configuration",
                                               "console windows"}));
    EXPECT_EQ(world.waits, (std::vector<int>{1400})) << "the splash stays 2000 ms";
    EXPECT_TRUE(configuration.QuietMode()) << "a removed splash never comes back";
    EXPECT_FALSE(console::TheWindowSide().BeepOnBell()) << "the consoles read the loaded beeps";
    EXPECT_TRUE(console::TheWindowSide().BeepOnError());
}

// The 218 ms blink timer runs only while the animation does: always, or
// while the program is in the foreground, or never.
TEST(Shell, TheBlinkTimerRunsOnlyWhileTheAnimationDoes) {
    platform::ScopedFatalCapture capture;
    for (const char* blink : {"0", "1", "2"}) {
        for (const bool active : {false, true}) {
            TestWorld world;
            world.Save("Properties", blink);
            TestConfiguration configuration;
            configuration.SetQuietMode(true);
            Shell shell((App(), configuration), world.Environment());
            shell.RunStartup(std::vector<std::string>{"kestra"});
            auto* timer = shell.Frame().findChild<QTimer*>(QStringLiteral("blinkTimer"));
            emit qApp->applicationStateChanged(active ? Qt::ApplicationActive
                                                      : Qt::ApplicationInactive);
            const bool running = blink[0] == '2' || (blink[0] == '1' && active);
            EXPECT_EQ(timer->isActive(), running) << blink << active;
            EXPECT_EQ(timer->interval(), 218);
            EXPECT_EQ(shell.Blink().BlinkActive(), running) << blink << active;
        }
    }
}

// The splash waits out its two seconds before a configuration error shows.
TEST(Shell, AConfigurationErrorShowsTheSplashFirstUnlessQuiet) {
    platform::ScopedFatalCapture capture;
    for (const bool quiet : {false, true}) {
        platform::ResetExitStateForTesting();
        TestConfiguration configuration;
        configuration.SetQuietMode(quiet);
        configuration.configure = [] { platform::Fatal("Can't open %s", "/nowhere/x.cnf"); };
        TestWorld world;
        Shell shell((App(), configuration), world.Environment());
        shell.InstallExitRoutine();
        std::int64_t shownAfter = -1;
        QString text;
        DialogAnswerer answerer([&](QDialog& dialog) {
            EXPECT_EQ(shell.Splash().Window(), nullptr);
            shownAfter = world.now - 100000;
            text = dialog.windowTitle() + ": " + dialog.findChild<QLabel*>("502")->text();
            Click(dialog, "503");
        });
        try {
            shell.RunStartup(std::vector<std::string>{"kestra"});
            ADD_FAILURE() << "the program went on after a configuration error";
        } catch (const platform::ProcessEnded& ended) {
            EXPECT_EQ(ended.status(), 255);
        }
        EXPECT_EQ(text, QStringLiteral("Fatal Error: Can't open /nowhere/x.cnf"));
        EXPECT_EQ(shell.Splash().EverShown(), !quiet);
        EXPECT_EQ(shownAfter, quiet ? 0 : 2000);
    }
}

// A reader thread reports and waits for its dialog on the window thread,
// which fails meanwhile: the window thread shows the reader's dialog while
// it waits, and the reader, not the window thread, ends the process.
TEST_F(ShellTest, AWindowThreadFailingWhileAReaderReportsShowsTheReadersDialog) {
    shell.InstallExitRoutine();
    std::atomic<int> ends{0};
    platform::SetProcessEnder([&](int status) { throw platform::ProcessEnded((++ends, status)); });
    QString text;
    DialogAnswerer answerer([&](QDialog& dialog) { text = Text(dialog), Click(dialog, "503"); });
    std::atomic<bool> readerEnded{false};
    std::thread reader([&] {
        EXPECT_THROW(platform::Fatal("Pipe %s closed", "DEMO1"), platform::ProcessEnded);
        readerEnded = true;
    });
    // The reader's dialog is queued for this thread, which does not look at
    // its queue until it fails.
    ASSERT_TRUE(Eventually([] { return platform::Exiting(); }, std::chrono::seconds(10)));
    std::atomic<bool> readerEndedFirst{false};
    std::thread watchdog([&] { // lets this thread out once the reader has ended
        readerEndedFirst = Eventually([&] { return readerEnded.load(); }, std::chrono::seconds(10));
        platform::ResetExitStateForTesting();
    });
    EXPECT_THROW(platform::Fatal("Write to DEMO1 failed"), platform::ProcessEnded);
    watchdog.join();
    EXPECT_TRUE(PumpUntil([&] { return readerEnded.load(); }));
    reader.join();
    EXPECT_TRUE(readerEndedFirst) << "the reader's dialog never showed while this thread waited";
    EXPECT_EQ(answerer.Count(), 1);
    EXPECT_EQ(text, QStringLiteral("Pipe DEMO1 closed"));
    EXPECT_EQ(ends.load(), 2) << "the reader's end, then this thread let go by the reset";
}

// Edit Cnf is grayed until a configuration file was opened; it opens the
// innermost file at the error with the desktop's opener unless an edit
// command is set, leaving the dialog open with Shutdown the default; while
// the editor runs it is only brought forward; later clicks open the
// configuration file at the place remembered.
TEST_F(ShellTest, EditCnfOpensTheFileOfTheErrorAtItsLineAndColumn) {
    WithFatalDialog([&](QDialog& dialog) { EXPECT_FALSE(Button(dialog, "504")->isEnabled()); });
    config::Options().configOpened = true;
    config::Options().configFilePath = "/home/u/lab.cnf";
    configuration.errorPosition = EditPosition{"/home/u/inc/my ports.cnf", 7, 5};
    WithFatalDialog([&](QDialog& dialog) { Click(dialog, "504"); });
    EXPECT_EQ(configuration.EditCommand(), std::optional<std::string>("xdg-open %s"));
    ASSERT_TRUE(PumpUntil([&] { return !shell.Editor().EditorRunning(); }));

    config::Options().editCommand = "ed %s %d %d";
    configuration.errorPosition = EditPosition{"/home/u/inc/ports.cnf", 7, 5};
    std::promise<void> editorEnds;
    *world.editorWait = [ended = editorEnds.get_future().share()] { ended.wait(); };
    WithFatalDialog([&](QDialog& dialog) {
        Click(dialog, "504");
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_TRUE(Button(dialog, "503")->isDefault() && !Button(dialog, "504")->isDefault());
        Click(dialog, "504");
    });
    EXPECT_EQ(world.editorRaised, std::vector<pid_t>{4242});
    editorEnds.set_value();
    ASSERT_TRUE(PumpUntil([&] { return !shell.Editor().EditorRunning(); }));
    WithFatalDialog([&](QDialog& dialog) { Click(dialog, "504"); });
    EXPECT_EQ(world.editorStarts,
              (std::vector<std::vector<std::string>>{{"xdg-open", "/home/u/inc/my ports.cnf"},
                                                     {"ed", "/home/u/inc/ports.cnf", "7", "5"},
                                                     {"ed", "/home/u/lab.cnf", "7", "5"}}));
    // Fonts advance by fractions of a pixel: a line sized in whole characters
    // must still show its last letters.
    const QString text = QStringLiteral("The server for pipe \\\\.\\pipe\\FIN has shut down");
    FatalErrorDialog fatal(text.toStdString(), {}, nullptr);
    const QLabel* label = fatal.findChild<QLabel*>(QStringLiteral("502"));
    EXPECT_GE(label->width(), QFontMetricsF(label->font()).horizontalAdvance(text));
}

// The binding tells where the error stands while the pass that found it is
// still reporting; the first look closes the files.
TEST(ConfigBinding, AnErrorInAnIncludedFileGivesTheInnermostFileLineAndColumn) {
    TestConfiguration configuration;
    ShellConfiguration& binding = *configuration.bound;
    TemporaryDirectory dir;
    config::SetProgramDirectory(dir.Path());
    std::ofstream(dir / "inc.cnf") << "QuietMode = on\n  Bogus = 1\n";
    std::ofstream(dir / "main.cnf") << "Title = Lab\nINCLUDE inc.cnf\n";
    config::Options().configFilePath = dir / "main.cnf";
    std::vector<std::optional<EditPosition>> looks;
    {
        platform::ScopedFatalCapture capture;
        platform::SetFatalPresenter([&](std::string_view message) {
            looks = {binding.CloseAtErrorPosition(), binding.CloseAtErrorPosition()};
            throw platform::FatalError(message);
        });
        EXPECT_THROW(config::ConfigPass(1), platform::FatalError);
    }
    EXPECT_TRUE(binding.ConfigOpened());
    config::ResetHooks();
    config::SetProgramDirectory("");
    EXPECT_EQ(looks, (std::vector<std::optional<EditPosition>>{EditPosition{dir / "inc.cnf", 2, 3},
                                                               std::nullopt}));
}

// Restart starts the program again with its old arguments, each handed over
// unchanged, and /W: with this process's id in eight hexadecimal digits.
TEST_F(ShellTest, RestartStartsANewProcessWithTheOldArgumentsAndTheWaitSwitch) {
    config::Options().restartArguments = {"kestra", "/C:lab.cnf"};
    shell.InstallExitRoutine();
    DialogAnswerer answerer([](QDialog& dialog) { Click(dialog, "506"); });
    EXPECT_THROW(platform::Fatal("Pipe error"), platform::ProcessEnded);
    EXPECT_TRUE(platform::RestartRequested());
    EXPECT_EQ(world.restarts, (std::vector<std::vector<std::string>>{{"kestra", "/C:lab.cnf"}}));

    EXPECT_EQ(RestartArguments({"k"}, 0x1A4), (std::vector<std::string>{"k", "/W:000001A4"}));
    TemporaryDirectory dir;
    const std::string out = dir / "arguments";
    Restart({"/bin/sh", "-c",
             "printf '%s\\n' \"$@\" >" + out + ".part && mv " + out + ".part " + out, "kestra",
             "/C:my lab.cnf", "/Q"});
    ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(out); }, std::chrono::seconds(20)));
    std::ifstream in(out);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    char wait[16];
    std::snprintf(wait, sizeof wait, "/W:%08X",
                  static_cast<unsigned>(platform::CurrentProcessId()));
    EXPECT_EQ(lines, (std::vector<std::string>{"/C:my lab.cnf", "/Q", wait}));
}

// The splash shows the built-in picture, framed or not, for at least two
// seconds; a bad or missing picture is reported once, and the exit routine's
// second attempt shows the built-in one.
TEST_F(ShellTest, TheSplashShowsItsPictureForTwoSeconds) {
    for (const int border : {0, SplashScreen::kBorderWidth}) {
        config::Options().splashBorder = border != 0;
        for (const int upFor : {0, 1999, 2000}) {
            configuration.SetQuietMode(false);
            world.waits.clear();
            SplashScreen splash(configuration, world.Clock(), {});
            splash.Show();
            const QImage shown = splash.Window()->grab().toImage();
            EXPECT_EQ(shown.size(), QSize(520 + 2 * border, 240 + 2 * border));
            EXPECT_EQ(shown.pixel(border + 260, border + 120),
                      BuiltInSplashImage().pixel(260, 120));
            world.now += upFor;
            splash.Remove();
            EXPECT_EQ(world.waits,
                      upFor < 2000 ? std::vector<int>{2000 - upFor} : std::vector<int>{});
        }
    }
    std::ofstream(world.home / "bad.bmp") << "XX not a bitmap";
    const std::pair<std::string, const char*> pictures[] = {
        {world.home / "bad.bmp", "Invalid BMP graphic file"},
        {"/nonexistent/splash.bmp", "No such file or directory"}};
    for (const auto& [path, error] : pictures) {
        config::Options().splashGraphic = path;
        configuration.SetQuietMode(false);
        SplashScreen splash(configuration, world.Clock(), {});
        try {
            splash.Show();
            ADD_FAILURE() << "no report";
        } catch (const platform::FatalError& fatal) {
            EXPECT_EQ(fatal.message(), error + ("\n" + path));
        }
        EXPECT_EQ(splash.Window(), nullptr);
        splash.Show();
        EXPECT_EQ(splash.Window()->Image().size(), QSize(520, 240));
    }
}

} // namespace
