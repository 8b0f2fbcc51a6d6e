#include "shell/Dialogs.h"

#include "ShellTestSupport.h"
#include "platform/Exit.h"
#include "shell/FrameWindow.h"

#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <future>
#include <gtest/gtest.h>

using namespace kestra;
using namespace kestra::shell;
using namespace kestra::shell::testing;

namespace {

QPushButton* Button(QDialog& dialog, const char* id) {
    return dialog.findChild<QPushButton*>(QString::fromLatin1(id));
}

QLabel* Label(QDialog& dialog, const char* id) {
    return dialog.findChild<QLabel*>(QString::fromLatin1(id));
}

struct CharacterSize {
    int width;
    int height;
};

CharacterSize CharacterOf(const QLabel& label) {
    const QFontMetrics metrics(label.font());
    return {metrics.horizontalAdvance(QLatin1Char('0')), metrics.height()};
}

class DialogsTest : public ::testing::Test {
protected:
    DialogsTest() { App(); }
};

TEST_F(DialogsTest, HelpDialogCentresItsOneButton) {
    HelpDialog dialog("Command line: KESTRA [Commands] [Options]", nullptr);
    QPushButton* shutdown = Button(dialog, "603");
    ASSERT_NE(shutdown, nullptr);
    const CharacterSize character = CharacterOf(*Label(dialog, "602"));
    EXPECT_LE(std::abs(shutdown->x() + shutdown->width() / 2 - dialog.width() / 2), 1);
    EXPECT_EQ(shutdown->y(), dialog.height() - character.height - shutdown->height());
    EXPECT_TRUE(shutdown->isDefault());
}

TEST_F(DialogsTest, FatalErrorDialogPutsShutdownRightEditLeftRestartMiddle) {
    FatalErrorDialog dialog("Pipe error", {}, nullptr);
    QPushButton* shutdown = Button(dialog, "503");
    QPushButton* edit = Button(dialog, "504");
    QPushButton* restart = Button(dialog, "506");
    const CharacterSize character = CharacterOf(*Label(dialog, "502"));
    EXPECT_EQ(shutdown->x(), dialog.width() - 2 * character.width - shutdown->width());
    EXPECT_EQ(edit->x(), 2 * character.width);
    EXPECT_LE(std::abs(restart->x() + restart->width() / 2 - dialog.width() / 2), 1);
    const int top = dialog.height() - character.height - shutdown->height();
    for (QPushButton* button : {shutdown, edit, restart}) {
        EXPECT_EQ(button->y(), top) << button->objectName().toStdString();
    }
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Fatal Error"));
    EXPECT_EQ(shutdown->text(), QStringLiteral("&Shutdown"));
    EXPECT_EQ(edit->text(), QStringLiteral("&Edit Cnf"));
    EXPECT_EQ(restart->text(), QStringLiteral("&Restart"));
}

TEST_F(DialogsTest, DialogGrowsToTheTextAndWrapsWhatTheDesktopCannotHold) {
    const std::string longLine(200, 'x'); // wider than the desktop in any font
    const std::string message = "first line\n" + longLine + "\n\x7F\x7F^\nUnknown keyword";
    FatalErrorDialog wide(message, {}, nullptr);
    EXPECT_TRUE(wide.Wrapped());
    QLabel* text = Label(wide, "502");
    const CharacterSize character = CharacterOf(*text);
    EXPECT_LE(wide.x() + wide.width(), wide.screen()->availableGeometry().right() + 1);
    EXPECT_EQ(text->width() % character.width, 0);
    EXPECT_TRUE(text->text().contains(QStringLiteral("\u2026\u2026^")))
        << "markers shown as ellipses when a line was wrapped";

    const std::string fitting = "X = 1\n\x7F\x7F\x7F\x7F^\nBad value";
    FatalErrorDialog narrow(fitting, {}, nullptr);
    EXPECT_FALSE(narrow.Wrapped());
    EXPECT_EQ(Label(narrow, "502")->text(), QStringLiteral("X = 1\n    ^\nBad value"));
    EXPECT_GT(wide.width(), narrow.width());
}

TEST_F(DialogsTest, IconDoubleClickEndsTheDialogWithOne) {
    FatalErrorDialog dialog("Pipe error", {}, nullptr);
    QWidget* icon = dialog.findChild<QWidget*>(QStringLiteral("501"));
    ASSERT_NE(icon, nullptr);
    QTimer::singleShot(0, &dialog, [icon] {
        QMouseEvent press(QEvent::MouseButtonDblClick, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(icon, &press);
    });
    EXPECT_EQ(dialog.exec(), 1);
    FatalErrorDialog again("Pipe error", {}, nullptr);
    QTimer::singleShot(0, &again, [&again] { Click(again, "503"); });
    EXPECT_EQ(again.exec(), 0);
}

TEST_F(DialogsTest, ShutdownDialogAnswersOneForShutdownZeroForCancel) {
    struct Answer {
        const char* button;
        int result;
    };
    for (const Answer answer : {Answer{"405", 1}, Answer{"406", 0}}) {
        ShutdownDialog dialog(nullptr);
        EXPECT_EQ(Label(dialog, "402")->text(), QStringLiteral("Do you want to shut down KESTRA?"));
        QTimer::singleShot(0, &dialog, [&] { Click(dialog, answer.button); });
        EXPECT_EQ(dialog.exec(), answer.result) << answer.button;
    }
    ShutdownDialog dialog(nullptr);
    QTimer::singleShot(0, &dialog, [&dialog] { dialog.reject(); }); // Escape, Close
    EXPECT_EQ(dialog.exec(), 0);
}

// The Fatal Error dialog of a running shell, with its Edit Cnf button.
class EditCnfTest : public ::testing::Test {
protected:
    EditCnfTest() : shell((App(), configuration), world.Environment()) {
        configuration.quietMode = true;
        configuration.editCommand = "ed %s %d %d";
        configuration.configFilePath = "/home/u/lab.cnf";
    }

    // Shows the Fatal Error dialog and runs steps on it, then Shutdown.
    void WithFatalDialog(const std::function<void(QDialog&)>& steps) {
        DialogAnswerer answerer([&](QDialog& dialog) {
            steps(dialog);
            Click(dialog, "503");
        });
        shell.PresentFatal("Unknown keyword");
        EXPECT_EQ(answerer.Count(), 1);
    }

    platform::ScopedFatalCapture capture;
    FakeConfiguration configuration;
    TestWorld world;
    Shell shell;
};

TEST_F(EditCnfTest, GrayedWithoutAConfigurationFile) {
    for (const bool opened : {false, true}) {
        configuration.configOpened = opened;
        bool enabled = !opened;
        WithFatalDialog([&](QDialog& dialog) { enabled = Button(dialog, "504")->isEnabled(); });
        EXPECT_EQ(enabled, opened);
    }
}

TEST_F(EditCnfTest, OpensTheInnermostFileAtItsLineAndColumnAndStaysOpen) {
    configuration.configOpened = true;
    configuration.errorPosition = EditPosition{"/home/u/inc/ports.cnf", 7, 5};
    std::promise<void> editorEnds;
    std::shared_future<void> ended = editorEnds.get_future().share();
    *world.editorWait = [ended](pid_t) { ended.wait(); };
    bool visibleAfterEdit = false;
    bool shutdownIsDefault = false;
    WithFatalDialog([&](QDialog& dialog) {
        Click(dialog, "504");
        visibleAfterEdit = dialog.isVisible();
        shutdownIsDefault =
            Button(dialog, "503")->isDefault() && !Button(dialog, "504")->isDefault();
        Click(dialog, "504"); // the editor still runs: only brought forward
    });
    EXPECT_TRUE(visibleAfterEdit);
    EXPECT_TRUE(shutdownIsDefault);
    ASSERT_EQ(world.editorStarts.size(), 1u);
    EXPECT_EQ(world.editorStarts[0],
              (std::vector<std::string>{"ed", "/home/u/inc/ports.cnf", "7", "5"}));
    EXPECT_EQ(world.editorRaised, std::vector<pid_t>{4242});
    EXPECT_TRUE(shell.Editor().EditorRunning());

    editorEnds.set_value();
    ASSERT_TRUE(PumpUntil([&] { return !shell.Editor().EditorRunning(); }));
    // The files are closed now: a later click opens the configuration file at
    // the place remembered.
    WithFatalDialog([&](QDialog& dialog) { Click(dialog, "504"); });
    ASSERT_EQ(world.editorStarts.size(), 2u);
    EXPECT_EQ(world.editorStarts[1], (std::vector<std::string>{"ed", "/home/u/lab.cnf", "7", "5"}));
}

TEST_F(EditCnfTest, UnsetEditCommandBecomesTheDesktopOpener) {
    configuration.configOpened = true;
    configuration.editCommand.reset();
    WithFatalDialog([&](QDialog& dialog) { Click(dialog, "504"); });
    EXPECT_EQ(configuration.editCommand, std::optional<std::string>("xdg-open %s"));
    ASSERT_EQ(world.editorStarts.size(), 1u);
    EXPECT_EQ(world.editorStarts[0], (std::vector<std::string>{"xdg-open", "/home/u/lab.cnf"}));
}

} // namespace
