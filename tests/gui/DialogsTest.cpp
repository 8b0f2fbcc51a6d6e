#include "shell/Dialogs.h"

#include "ShellTestSupport.h"
#include "config/ConfigHooks.h"
#include "config/ConfigInterpreter.h"
#include "config/GlobalOptions.h"
#include "config/ProgramFile.h"
#include "platform/Exit.h"
#include "shell/ConfigBinding.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QTemporaryDir>
#include <fstream>
#include <future>
#include <gtest/gtest.h>

using namespace kestra;
using namespace kestra::shell;
using namespace kestra::shell::testing;

namespace {

QPushButton* Button(QDialog& dialog, const char* id) {
    return dialog.findChild<QPushButton*>(QString::fromLatin1(id));
}

// Fonts advance by fractions of a pixel: a line sized in whole characters must
// still show its last letters.
TEST(MessageDialog, TextControlHoldsTheWholeLine) {
    App();
    const QString text = QStringLiteral("The server for pipe \\\\.\\pipe\\FIN has shut down");
    FatalErrorDialog fatal(text.toStdString(), {}, nullptr);
    const QLabel* label = fatal.findChild<QLabel*>(QStringLiteral("502"));
    ASSERT_NE(label, nullptr);
    EXPECT_GE(label->width(), QFontMetricsF(label->font()).horizontalAdvance(text));
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

// The Fatal Error dialog's Edit Cnf asks the binding where the configuration
// error stands while the pass that found it is still reporting.
TEST(ConfigBinding, ErrorInAnIncludedFileGivesTheInnermostFileLineAndColumn) {
    const std::unique_ptr<ShellConfiguration> binding = BindConfiguration();
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    config::SetProgramDirectory(root);
    config::ResetOptions();
    config::ResetHooks();
    std::ofstream(root + "/inc.cnf") << "QuietMode = on\n  Bogus = 1\n";
    std::ofstream(root + "/main.cnf") << "Title = Lab\nINCLUDE inc.cnf\n";
    config::Options().configFilePath = root + "/main.cnf";
    std::optional<EditPosition> first;
    std::optional<EditPosition> second; // the files were closed by the first look
    {
        platform::ScopedFatalCapture capture;
        platform::SetFatalPresenter([&](std::string_view message) {
            first = binding->CloseAtErrorPosition();
            second = binding->CloseAtErrorPosition();
            throw platform::FatalError(message);
        });
        EXPECT_THROW(config::ConfigPass(1), platform::FatalError);
    }
    EXPECT_TRUE(binding->ConfigOpened());
    config::ResetHooks();
    config::ResetOptions();
    config::SetProgramDirectory("");
    EXPECT_EQ(first, (EditPosition{root + "/inc.cnf", 2, 3}));
    EXPECT_EQ(second, std::nullopt);
}

} // namespace
