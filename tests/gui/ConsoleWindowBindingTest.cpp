// The console windows bound to a shell: consoles defined while the
// configuration is read become windows in the frame, attached to their
// records, and the frame's commands and Properties reach them.

#include "shell/ConsoleWindowBinding.h"

#include "ShellTestSupport.h"
#include "console/PipeLink.h"
#include "console/window/ConsoleWindow.h"
#include "platform/Exit.h"
#include "shell/FrameWindow.h"
#include "termdef/TerminalDefinition.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <array>
#include <gtest/gtest.h>
#include <memory>

using namespace kestra;
using namespace kestra::shell;
using namespace kestra::shell::testing;

namespace {

// A console as the CON command leaves it: a record with its emulator.
struct DefinedConsole {
    explicit DefinedConsole(const char* name, std::uint16_t width = console::DefaultWidth) {
        emulator::InitEmulator(emulator, "", console::DefaultRows);
        record.unitName = name;
        record.width = width;
        record.emulator = &emulator;
        console::ConnectEmulator(record, emulator);
        emulator.screen.attached = 1;
    }
    emulator::Emulator emulator;
    console::ConsoleRecord record;
};

// The consoles' emulators need a terminal definition; the built-in one does.
struct BuiltInTerminalDefinition {
    BuiltInTerminalDefinition() {
        termdef::ResetTerminalDefinition();
        termdef::TheTerminalDefinition().loaded = true;
    }
    ~BuiltInTerminalDefinition() { termdef::ResetTerminalDefinition(); }
};

class ConsoleWindowBindingTest : public ::testing::Test {
protected:
    ConsoleWindowBindingTest() : shell((App(), configuration), world.Environment()) {
        binding = std::make_unique<ConsoleWindowBinding>(shell);
        configuration.quietMode = true;
        // The consoles define themselves while the configuration is read.
        configuration.configure = [this] {
            for (DefinedConsole* defined : {&first, &second}) {
                console::TheWindowSide().Frame()->RegisterConsole(defined->record, 24, 80);
            }
        };
    }
    void Start() {
        const std::vector<std::string> arguments{"kestra"};
        shell.RunStartup(arguments);
        PumpUntil([] { return false; }, 50);
    }

    const std::vector<console::ConsoleWindow*>& Windows() { return binding->List().Windows(); }

    platform::ScopedFatalCapture capture;
    BuiltInTerminalDefinition definition;
    FakeConfiguration configuration;
    TestWorld world;
    DefinedConsole first{"Shell 1"};
    DefinedConsole second{"Shell 2", console::WideWidth};
    // Declared before the shell: it must outlive the frame's windows.
    std::unique_ptr<ConsoleWindowBinding> binding;
    Shell shell;
};

TEST_F(ConsoleWindowBindingTest, EveryDefinedConsoleGetsAnAttachedWindowInDefinitionOrder) {
    Start();
    ASSERT_EQ(Windows().size(), 2u);
    const std::array<DefinedConsole*, 2> defined{&first, &second};
    for (std::size_t i = 0; i < defined.size(); ++i) {
        console::ConsoleWindow* window = Windows()[i];
        EXPECT_EQ(window->SubWindow()->windowTitle().toStdString(), defined[i]->record.unitName);
        EXPECT_EQ(window->SubWindow()->mdiArea(), shell.Frame().MdiArea()) << i;
        EXPECT_NE(defined[i]->record.Window(), nullptr) << i << ": the reader has no window";
        EXPECT_EQ(window->State(), console::kShown) << i;
    }
    EXPECT_EQ(binding->List().Active(), Windows()[0]) << "the first console ends up active";
    // The record's repaint requests reach the window, which releases the reader.
    first.record.paintedEvent.Reset();
    first.record.Window()->PostRepaint(console::RepaintKind::All, 0);
    EXPECT_TRUE(PumpUntil([&] { return first.record.paintedEvent.IsSet(); }, 2000));
}

TEST_F(ConsoleWindowBindingTest, SavedPlacementsAreUsedAndSavedAgain) {
    world.settings["Shell 2"] = "0 30 40 530 440 0 0";
    Start();
    ASSERT_EQ(Windows().size(), 2u);
    EXPECT_EQ(Windows()[1]->SubWindow()->geometry(), QRect(30, 40, 500, 400));
    Windows()[1]->SubWindow()->move(60, 70);
    PumpUntil([] { return false; }, 20);
    shell.SaveProperties(false);
    EXPECT_EQ(world.settings["Shell 2"], "0 60 70 560 470 0 0");
    EXPECT_EQ(world.settings.count("Shell 1"), 1u);
    EXPECT_TRUE(Windows()[1]->SubWindow()->isVisible()) << "saving without hiding";
}

// The frame's Reset goes to the active console, which returns to its
// configured width; the other console is left alone.
TEST_F(ConsoleWindowBindingTest, TheFramesResetReachesTheActiveConsole) {
    Start();
    ASSERT_EQ(Windows().size(), 2u);
    for (DefinedConsole* defined : {&first, &second}) {
        defined->emulator.screen.SetColumns(132);
        defined->emulator.screen.chars[0] = u'X';
    }
    shell.Frame().MdiArea()->setActiveSubWindow(Windows()[0]->SubWindow());
    shell.Frame().HandleCommand(console::kResetCommand);
    EXPECT_EQ(first.emulator.screen.cols, 80u);
    EXPECT_EQ(first.emulator.screen.chars[0], u' ');
    EXPECT_EQ(second.emulator.screen.chars[0], u'X') << "only the active console is reset";

    shell.Frame().MdiArea()->setActiveSubWindow(Windows()[1]->SubWindow());
    second.emulator.screen.SetColumns(80);
    shell.Frame().HandleCommand(console::kResetCommand);
    EXPECT_EQ(second.emulator.screen.cols, 132u) << "a wide console resets to 132 columns";
}

TEST_F(ConsoleWindowBindingTest, AppliedPropertiesRebuildTheFonts) {
    Start();
    ASSERT_FALSE(Windows().empty());
    ASSERT_FALSE(Windows()[0]->Fonts().Font(0).font.bold());
    shell.Properties().boldFont = true;
    shell.PropertiesApplied();
    for (console::ConsoleWindow* window : Windows()) {
        EXPECT_TRUE(window->Fonts().Font(0).font.bold());
    }
}

// Without a saved placement a window gets cells of 8 by 16 pixels when the
// frame has room for them.
TEST_F(ConsoleWindowBindingTest, UnplacedWindowsStartWithReadableCells) {
    shell.Frame().resize(1200, 900);
    Start();
    ASSERT_EQ(Windows().size(), 2u);
    for (console::ConsoleWindow* window : Windows()) {
        EXPECT_EQ(window->size(), QSize(644, 388));
        EXPECT_EQ(window->Geometry().cellWidth, 8);
        EXPECT_EQ(window->Geometry().cellHeight, 16);
    }
}

} // namespace
