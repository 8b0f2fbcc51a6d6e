#include "KeyboardTestSupport.h"
#include "console/window/PasteRunner.h"
#include "shell/MenuTable.h"

#include <QAction>
#include <QClipboard>
#include <QMdiArea>
#include <QMenu>
#include <QMouseEvent>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

using namespace kestra;
using namespace kestra::shell;
using namespace kestra::shell::testing;

namespace {

// Written bytes and pauses as the paste thread makes them.
struct PasteLog {
    std::mutex mutex;
    std::string written;
    std::vector<std::uint16_t> pauses;
    int refuseAt = -1; // the write with this index is refused
    int writes = 0;

    console::PasteRunner::WriteByte Writer() {
        return [this](std::uint8_t byte) {
            std::lock_guard lock(mutex);
            if (writes++ == refuseAt) {
                return 0;
            }
            written.push_back(static_cast<char>(byte));
            return 1;
        };
    }
    console::PasteRunner::Pause Pauser() {
        return [this](std::uint16_t ms) {
            std::lock_guard lock(mutex);
            pauses.push_back(ms);
        };
    }
};

// The filter and the pauses are the paste schedule's (tested with it); the
// runner follows it on its thread, A, LF, B, CR sending A, B, CR with
// 10/10/100 ms pauses, and stops at a refused write.
TEST(PasteRunner, FollowsTheScheduleOnItsThreadUntilAWriteIsRefused) {
    for (const int refuseAt : {-1, 1}) {
        SCOPED_TRACE(refuseAt);
        PasteLog log;
        log.refuseAt = refuseAt;
        console::PasteRunner paste(log.Pauser());
        EXPECT_TRUE(paste.Start(u"A\nB\r", log.Writer(), 10, 100));
        ASSERT_TRUE(PumpUntil([&] { return paste.Idle(); }, 5000));
        EXPECT_EQ(log.written, refuseAt < 0 ? "AB\r" : "A");
        EXPECT_EQ(log.pauses, (refuseAt < 0 ? std::vector<std::uint16_t>{10, 10, 100}
                                            : std::vector<std::uint16_t>{10}));
    }
}

// A pause in progress does not hold up the program's end.
TEST(PasteRunner, DestroyingTheRunnerCutsAPasteShort) {
    PasteLog log;
    {
        console::PasteRunner paste;
        ASSERT_TRUE(paste.Start(u"abc", log.Writer(), 10000, 10000));
        PumpUntil(
            [&] {
                std::lock_guard lock(log.mutex);
                return !log.written.empty();
            },
            2000);
    }
    EXPECT_EQ(log.written, "a");
}

class EditMenuTest : public BoundConsolesTest {
protected:
    bool Enabled(int command) {
        emit shell.Frame().Popup(kEditPopup)->aboutToShow();
        return shell.Frame().Action(command)->isEnabled();
    }
    void Mouse(console::ConsoleWindow& window, QEvent::Type type, int row, int column) {
        const console::CellGeometry& g = window.Geometry();
        const QPoint at(g.marginLeft + column * g.cellWidth, g.marginTop + row * g.cellHeight);
        QMouseEvent event(type, QPointF(at), QPointF(window.mapToGlobal(at)), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &event);
    }
};

TEST_F(EditMenuTest, CopyIsEnabledOnlyWithASelectionAndPutsItsTextOnTheClipboard) {
    console::ConsoleWindow& window = Window(0);
    emulator::ScreenBuffer& screen = window.Console().Screen();
    const std::u16string row1 = u"hello \u2500";
    for (std::size_t i = 0; i < row1.size(); ++i) {
        screen.chars[screen.CellIndex(1, static_cast<std::uint32_t>(i))] = row1[i];
    }
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    EXPECT_FALSE(Enabled(kCommandCopy)) << "no selection yet";

    Mouse(window, QEvent::MouseButtonPress, 1, 0);
    Mouse(window, QEvent::MouseButtonRelease, 1, 5);
    EXPECT_FALSE(Enabled(kCommandCopy)) << "a drag in one direction selects nothing";

    Mouse(window, QEvent::MouseButtonPress, 1, 0);
    Mouse(window, QEvent::MouseMove, 2, 10);
    Mouse(window, QEvent::MouseButtonRelease, 2, 10);
    EXPECT_TRUE(Enabled(kCommandCopy));

    shell.Frame().HandleCommand(kCommandCopy);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf16(u"hello \u2500"));
    EXPECT_FALSE(Enabled(kCommandCopy)) << "copying ends the selection";
    shell.Frame().HandleCommand(kCommandCopy);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf16(u"hello \u2500"))
        << "copying nothing leaves the clipboard alone";
}

TEST_F(EditMenuTest, PasteSendsOnlyPrintableAsciiAndReturnsToTheActiveConsole) {
    config::Options().intercharDelay = 0;
    config::Options().returnDelay = 0;
    shell.Frame().MdiArea()->setActiveSubWindow(Window(1).SubWindow());
    QGuiApplication::clipboard()->setText(
        QString::fromUtf16(u"ls -l\r\n\u00e9t\u20ac\U0001F600\ta\r"));
    ASSERT_TRUE(Enabled(kCommandPaste));
    shell.Frame().HandleCommand(kCommandPaste);
    EXPECT_EQ(Received(1, 9), "ls -l\rta\r");
    EXPECT_TRUE(PumpUntil([&] { return binding->Paste().Idle(); }));
    EXPECT_EQ(Received(0, 1, 20), "") << "only the active console gets the text";
    EXPECT_EQ(Received(2, 1, 20), "");
}

TEST_F(EditMenuTest, PasteIsGrayedAndRefusedWhileAPasteRuns) {
    config::Options().intercharDelay = 300;
    shell.Frame().MdiArea()->setActiveSubWindow(Window(0).SubWindow());
    QGuiApplication::clipboard()->setText(QStringLiteral("ab"));
    ASSERT_TRUE(Enabled(kCommandPaste));
    shell.Frame().HandleCommand(kCommandPaste);
    EXPECT_FALSE(Enabled(kCommandPaste)) << "a paste runs";

    QGuiApplication::clipboard()->setText(QStringLiteral("XY"));
    shell.Frame().HandleCommand(kCommandPaste);
    EXPECT_TRUE(PumpUntil([&] { return binding->Paste().Idle(); }));
    EXPECT_EQ(Received(0, 4, 200), "ab") << "the second paste was refused";
    EXPECT_TRUE(Enabled(kCommandPaste)) << "idle again";

    QGuiApplication::clipboard()->clear();
    EXPECT_FALSE(Enabled(kCommandPaste)) << "nothing to paste";
}

} // namespace
