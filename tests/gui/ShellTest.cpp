#include "GuiTestSupport.h"

namespace kestra::shell::testing {
namespace {

struct ShellTest : ::testing::Test {
    ShellTest() : shell((App(), configuration), world.Environment()) {}
    // Shows the Fatal Error dialog, runs steps on it, then clicks Shutdown.
    void WithFatalDialog(const std::function<void(QDialog&)>& steps) {
        DialogAnswerer answerer([&](QDialog& dialog) { steps(dialog), Click(dialog, "503"); });
        shell.PresentFatal("Unknown keyword");
        EXPECT_EQ(answerer.Count(), 1);
    }

    platform::ScopedFatalCapture capture;
    TestConfiguration configuration;
    TestWorld world;
    Shell shell;
};

} // namespace

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
        EXPECT_TRUE(shell.Splash().Window() == nullptr && frame.isVisible());
        EXPECT_TRUE(frame.findChild<QTimer*>("blinkTimer")->isActive());
    };
    shell.RunStartup(std::vector<std::string>{"kestra", "/C:x.cnf"});
    EXPECT_EQ(steps, (std::vector<std::string>{"command line /C:x.cnf", "configuration",
                                               "console windows"}));
    EXPECT_EQ(world.waits, (std::vector<int>{1400})) << "the splash stays 2000 ms";
    EXPECT_TRUE(configuration.QuietMode()) << "a removed splash never comes back";
    EXPECT_FALSE(console::TheWindowSide().BeepOnBell()) << "the consoles read the loaded beeps";
}

// A reader thread reports and waits for its dialog on the window thread,
// which fails meanwhile: it shows the reader's dialog while it waits, and
// the reader, not it, ends the process.
TEST_F(ShellTest, AWindowThreadFailingWhileAReaderReportsShowsTheReadersDialog) {
    shell.InstallExitRoutine();
    std::atomic<int> ends{0};
    platform::SetProcessEnder([&](int status) { throw platform::ProcessEnded((++ends, status)); });
    QString text;
    DialogAnswerer answerer([&](QDialog& dialog) {
        text = dialog.findChild<QLabel*>("502")->text();
        Click(dialog, "503");
    });
    std::atomic<bool> readerEnded{false};
    std::thread reader([&] {
        EXPECT_THROW(platform::Fatal("Pipe %s closed", "DEMO1"), platform::ProcessEnded);
        readerEnded = true;
    });
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
    EXPECT_EQ(text, QStringLiteral("Pipe DEMO1 closed"));
    EXPECT_EQ(ends.load(), 2) << "the reader's end, then this thread let go by the reset";
}

// The splash waits out its two seconds before the Fatal Error dialog. Edit
// Cnf, grayed until a configuration file was opened, opens the innermost
// file at the error (with the desktop's opener unless an edit command is
// set), leaving the dialog open with Shutdown the default; a running editor
// is only brought forward; once it ends, the configuration file opens at the
// place remembered. An editor that cannot start is reported: command, reason.
TEST_F(ShellTest, EditCnfOpensTheFileOfTheErrorAtItsLineAndColumn) {
    WithFatalDialog([&](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle() + ": " + dialog.findChild<QLabel*>("502")->text(),
                  QStringLiteral("Fatal Error: Unknown keyword"));
        EXPECT_EQ(world.waits, std::vector<int>{2000});
        EXPECT_FALSE(Button(dialog, "504")->isEnabled());
    });
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
        EXPECT_TRUE(dialog.isVisible() && Button(dialog, "503")->isDefault());
        EXPECT_FALSE(Button(dialog, "504")->isDefault());
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
    world.editorError = ENOENT; // an editor that cannot start says so
    ASSERT_TRUE(PumpUntil([&] { return !shell.Editor().EditorRunning(); }));
    QString told;
    DialogAnswerer answer(
        [&](QDialog& box) { told = static_cast<QMessageBox&>(box).text(), box.reject(); });
    shell.EditConfiguration("/home/u/lab.cnf", 3, 4);
    EXPECT_EQ(told, "The editor could not be started.\nEditCommand: ed /home/u/lab.cnf 3 4\n"
                    "No such file or directory");
}

// Enter presses the focused button, the default one only when the focus is
// elsewhere (Shutdown starts on Cancel); every text shows whole.
TEST_F(ShellTest, EnterPressesTheFocusedButtonAndEveryTextShowsWhole) {
    using Make = std::function<QDialog*()>;
    const Make shutdown = [] { return new ShutdownDialog(nullptr); };
    const Make properties = [] { return new PropertiesDialog({}, {}, nullptr); };
    const std::tuple<Make, const char*, std::string> rows[] = {
        // clang-format off
        {shutdown, nullptr, "406"}, {shutdown, "405", "405"}, {properties, "1102", "1102"}, {properties, "1111", "1101"},
        {[] { return new AboutDialog(nullptr); }, nullptr, "201"}, {[] { return new FatalErrorDialog("Pipe lost", {}, nullptr); }, "506", "506"}};
    // clang-format on
    for (const auto& [make, focus, expected] : rows) {
        const std::unique_ptr<QDialog> dialog(make());
        std::string pressed;
        for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
            QObject::connect(button, &QPushButton::clicked,
                             [&pressed, button] { pressed = button->objectName().toStdString(); });
        }
        dialog->show(), dialog->activateWindow();
        ASSERT_TRUE(PumpUntil([&] { return dialog->focusWidget() != nullptr; }));
        focus ? dialog->findChild<QWidget*>(focus)->setFocus() : void();
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(dialog->focusWidget(), &enter);
        EXPECT_EQ(pressed, expected);
        for (const QLabel* label : dialog->findChildren<QLabel*>()) {
            EXPECT_TRUE(dialog->rect().contains(
                            QRect(label->mapTo(dialog.get(), QPoint()), label->size())) &&
                        label->width() >= label->fontMetrics().horizontalAdvance(label->text()))
                << label->text().toStdString();
        }
    }
}

// The new process gets the old arguments, each unchanged, and /W: with this
// process's id in eight hexadecimal digits.
TEST_F(ShellTest, RestartStartsANewProcessWithTheOldArgumentsAndTheWaitSwitch) {
    const std::string out = world.home / "arguments";
    Restart({"/bin/sh", "-c", "printf '%s\\n' \"$@\" >" + out + "~ && mv " + out + "~ " + out,
             "kestra", "/C:my lab.cnf", "/Q"});
    ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(out); }, std::chrono::seconds(20)));
    char wait[16];
    std::snprintf(wait, sizeof wait, "/W:%08X",
                  static_cast<unsigned>(platform::CurrentProcessId()));
    EXPECT_EQ(FileText(out), "/C:my lab.cnf\n/Q\n" + std::string(wait) + "\n");
}

// The splash shows the built-in picture in its frame; a bad or missing
// picture is reported once, and the exit routine's second attempt shows the
// built-in one.
TEST_F(ShellTest, TheSplashShowsTheConfiguredPictureOrTheBuiltInOne) {
    configuration.SetQuietMode(false);
    SplashScreen shown(configuration, world.Clock(), {});
    shown.Show();
    const QImage image = shown.Window()->grab().toImage();
    EXPECT_EQ(image.size(), QSize(526, 246)) << "a frame of three pixels";
    EXPECT_EQ(image.pixel(263, 123), BuiltInSplashImage().pixel(260, 120));
    std::ofstream(world.home / "bad.bmp") << "XX not a bitmap";
    const std::pair<std::string, std::string> pictures[] = {
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
            EXPECT_EQ(fatal.message(), error + "\n" + path);
        }
        EXPECT_EQ(splash.Window(), nullptr);
        splash.Show();
        EXPECT_EQ(splash.Window()->Image().size(), QSize(520, 240));
    }
}

} // namespace kestra::shell::testing
