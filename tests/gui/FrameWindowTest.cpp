#include "shell/FrameWindow.h"

#include "ShellTestSupport.h"
#include "console/ConsoleRecord.h"
#include "console/WindowLink.h"
#include "console/window/ConsoleWindow.h"
#include "platform/Exit.h"
#include "shell/MenuTable.h"

#include <QAction>
#include <QClipboard>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <array>
#include <gtest/gtest.h>
#include <thread>

using namespace kestra;
using namespace kestra::shell;
using namespace kestra::shell::testing;

namespace {

class FrameWindowTest : public ::testing::Test {
protected:
    FrameWindowTest() : shell((App(), configuration), world.Environment()) {
        configuration.quietMode = true;
        Frame().show();
    }

    FrameWindow& Frame() { return shell.Frame(); }

    QMdiSubWindow* AddConsole() {
        QMdiSubWindow* window = Frame().MdiArea()->addSubWindow(new QWidget);
        window->resize(200, 120);
        window->show();
        return window;
    }

    platform::ScopedFatalCapture capture;
    FakeConfiguration configuration;
    TestWorld world;
    Shell shell;
};

struct EditMenuCase {
    const char* name;
    bool activeConsole;
    bool consoleReady;
    bool clipboardText;
    bool pasteIdle;
    bool configOpened;
    bool pasteEnabled;
};

TEST_F(FrameWindowTest, EditMenuEnablingRules) {
    // clang-format off
    const EditMenuCase cases[] = {
        // name                  active ready  text   idle   config paste
        { "all conditions met",  true,  true,  true,  true,  true,  true  },
        { "no active console",   false, true,  true,  true,  false, false },
        { "console not ready",   true,  false, true,  true,  true,  false },
        { "clipboard empty",     true,  true,  false, true,  false, false },
        { "paste running",       true,  true,  true,  false, true,  false },
    };
    // clang-format on
    for (const EditMenuCase& row : cases) {
        SCOPED_TRACE(row.name);
        for (QMdiSubWindow* window : Frame().MdiArea()->subWindowList()) {
            delete window;
        }
        if (row.activeConsole) {
            Frame().MdiArea()->setActiveSubWindow(AddConsole());
        }
        shell.ConsoleSlots().isConsoleReady = [&](QMdiSubWindow*) { return row.consoleReady; };
        shell.ConsoleSlots().pasteIdle = [&] { return row.pasteIdle; };
        QGuiApplication::clipboard()->setText(row.clipboardText ? QStringLiteral("ls\r")
                                                                : QString());
        if (!row.clipboardText) {
            QGuiApplication::clipboard()->clear();
        }
        configuration.configOpened = row.configOpened;
        emit Frame().Popup(kEditPopup)->aboutToShow();
        EXPECT_EQ(Frame().Action(kCommandPaste)->isEnabled(), row.pasteEnabled);
        EXPECT_EQ(Frame().Action(kCommandConfiguration)->isEnabled(), row.configOpened);
    }
}

struct CloseCase {
    const char* name;
    int command;
    bool prompt;
    bool saveOnExit;
    const char* answer; // button clicked in the Shutdown dialog, or null
    bool exited;
    bool restart;
};

TEST_F(FrameWindowTest, ExitAndRestartPassTheShutdownQuestion) {
    // clang-format off
    const CloseCase cases[] = {
        // name                      command          prompt save   answer  exited restart
        { "exit, no prompt",         kCommandExit,    false, true,  nullptr, true,  false },
        { "restart, no prompt",      kCommandRestart, false, false, nullptr, true,  true  },
        { "exit, agreed",            kCommandExit,    true,  true,  "405",   true,  false },
        { "restart, agreed",         kCommandRestart, true,  true,  "405",   true,  true  },
        { "exit, cancelled",         kCommandExit,    true,  true,  "406",   false, false },
        { "restart, cancelled",      kCommandRestart, true,  true,  "406",   false, true  },
    };
    // clang-format on
    for (const CloseCase& row : cases) {
        SCOPED_TRACE(row.name);
        world.exits = 0;
        world.commits = 0;
        world.settings.clear();
        shell.Properties().promptBeforeExit = row.prompt;
        shell.Properties().saveOnExit = row.saveOnExit;
        QString title;
        DialogAnswerer answerer([&](QDialog& dialog) {
            title = dialog.windowTitle();
            Click(dialog, row.answer != nullptr ? row.answer : "406");
        });
        Frame().HandleCommand(row.command);
        EXPECT_EQ(answerer.Count(), row.answer != nullptr ? 1 : 0);
        if (row.answer != nullptr) {
            EXPECT_EQ(title, QStringLiteral("Shutdown"));
        }
        EXPECT_EQ(world.exits, row.exited ? 1 : 0);
        EXPECT_EQ(world.commits, row.exited && row.saveOnExit ? 1 : 0);
        EXPECT_EQ(world.settings.count("Properties"), row.exited && row.saveOnExit ? 1u : 0u);
        EXPECT_EQ(platform::RestartRequested(), row.restart);
        EXPECT_TRUE(Frame().isVisible()) << "the frame is never closed by Qt";
    }
}

TEST_F(FrameWindowTest, MinimisedFrameIsRestoredBeforeTheShutdownQuestion) {
    for (const bool viaSession : {false, true}) {
        Frame().showMinimized();
        bool minimisedAtDialog = true;
        DialogAnswerer answerer([&](QDialog& dialog) {
            minimisedAtDialog = Frame().isMinimized();
            Click(dialog, "406");
        });
        viaSession ? (void)Frame().QueryEndSession() : Frame().HandleCommand(kCommandExit);
        EXPECT_EQ(answerer.Count(), 1);
        EXPECT_FALSE(minimisedAtDialog) << "via session " << viaSession;
    }
}

TEST_F(FrameWindowTest, CascadeAndTileClearConsolesMaximizedArrangeDoesNot) {
    for (int i = 0; i < 3; ++i) {
        AddConsole();
    }
    const std::pair<int, bool> cases[] = {{kCommandCascade, false},
                                          {kCommandTileHorizontally, false},
                                          {kCommandTileVertically, false},
                                          {kCommandArrangeIcons, true}};
    for (const auto& [command, maximizedAfter] : cases) {
        Frame().SetConsolesMaximized(true);
        Frame().HandleCommand(command);
        EXPECT_EQ(Frame().ConsolesMaximized(), maximizedAfter) << command;
    }
}

// Consoles are defined on the window thread during start-up, but the frame
// link is safe from any thread; the frame learns of them through its events.
TEST_F(FrameWindowTest, ConsolesRegisterThroughTheWindowSideInOrder) {
    console::ConsoleFrameLink* link = console::TheWindowSide().Frame();
    ASSERT_NE(link, nullptr) << "the shell installs its frame for the console layer";
    std::array<console::ConsoleRecord, 3> records;
    std::thread definer([&] {
        for (unsigned unit = 0; unit < records.size(); ++unit) {
            link->RegisterConsole(records[unit], 24 + unit, unit == 2 ? 132 : 80);
        }
    });
    definer.join();
    EXPECT_TRUE(Frame().RegisteredConsoles().empty()) << "registered only by the event";
    ASSERT_TRUE(PumpUntil([&] { return Frame().RegisteredConsoles().size() == 3; }));
    for (std::size_t unit = 0; unit < records.size(); ++unit) {
        EXPECT_EQ(Frame().RegisteredConsoles()[unit].record, &records[unit]);
        EXPECT_EQ(Frame().RegisteredConsoles()[unit].rows, 24 + static_cast<int>(unit));
        EXPECT_EQ(Frame().RegisteredConsoles()[unit].columns, unit == 2 ? 132 : 80);
    }
}

} // namespace
