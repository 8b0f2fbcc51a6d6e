// The console windows bound to a shell: consoles defined while the
// configuration is read become windows in the frame, attached to their
// records, and the frame's commands and Properties reach them.

#include "KeyboardTestSupport.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <gtest/gtest.h>

using namespace kestra;
using namespace kestra::shell::testing;

namespace {

class ConsoleWindowBindingTest : public BoundConsolesTest {
protected:
    ConsoleWindowBindingTest() : BoundConsolesTest(false) {}
};

// Without a saved placement a window gets cells of 8 by 16 pixels when the
// frame has room for them; applied Properties rebuild every window's fonts.
TEST_F(ConsoleWindowBindingTest, EveryDefinedConsoleGetsAnAttachedWindowInDefinitionOrder) {
    shell.Frame().resize(1200, 900);
    Start();
    ASSERT_EQ(Windows().size(), std::size_t{kConsoles});
    for (int unit = 0; unit < kConsoles; ++unit) {
        SCOPED_TRACE(unit);
        console::ConsoleWindow* window = Windows()[static_cast<std::size_t>(unit)];
        console::ConsoleRecord& record = *console::Consoles().At(static_cast<std::uint16_t>(unit));
        EXPECT_EQ(window->SubWindow()->windowTitle().toStdString(), record.unitName);
        EXPECT_EQ(window->SubWindow()->mdiArea(), shell.Frame().MdiArea());
        EXPECT_NE(record.Window(), nullptr) << "the reader has no window";
        EXPECT_EQ(window->State(), console::kShown);
        EXPECT_EQ(window->size(), QSize(644, 388));
        EXPECT_EQ(window->Geometry().cellWidth, 8);
        EXPECT_EQ(window->Geometry().cellHeight, 16);
        EXPECT_FALSE(window->Fonts().Font(0).font.bold());
    }
    EXPECT_EQ(Active(), Windows()[0]) << "the first console ends up active";
    // The record's repaint requests reach the window, which releases the reader.
    console::ConsoleRecord& first = *console::Consoles().At(0);
    first.paintedEvent.Reset();
    first.Window()->PostRepaint(console::RepaintKind::All, 0);
    EXPECT_TRUE(PumpUntil([&] { return first.paintedEvent.IsSet(); }, 2000));

    shell.Properties().boldFont = true;
    shell.PropertiesApplied();
    for (console::ConsoleWindow* window : Windows()) {
        EXPECT_TRUE(window->Fonts().Font(0).font.bold());
    }
}

// The frame's Reset goes to the active console only, which returns to its
// configured width.
TEST_F(ConsoleWindowBindingTest, TheFramesResetReachesTheActiveConsole) {
    Start();
    for (int unit = 0; unit < 2; ++unit) {
        Screen(unit).SetColumns(132);
        Screen(unit).chars[0] = u'X';
    }
    shell.Frame().MdiArea()->setActiveSubWindow(Window(0).SubWindow());
    shell.Frame().HandleCommand(console::kResetCommand);
    EXPECT_EQ(Screen(0).cols, 80u);
    EXPECT_EQ(Screen(0).chars[0], u' ');
    EXPECT_EQ(Screen(1).chars[0], u'X');
}

} // namespace
