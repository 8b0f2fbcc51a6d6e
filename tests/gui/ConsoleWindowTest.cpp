#include "ConsoleWindowTestSupport.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <gtest/gtest.h>
#include <vector>

using namespace kestra::console;
using namespace kestra::console::testing;

namespace {

std::uint32_t Packed(int left, int top, int right, int bottom) {
    return static_cast<std::uint32_t>(left) << 24 | static_cast<std::uint32_t>(top) << 16 |
           static_cast<std::uint32_t>(right) << 8 | static_cast<std::uint32_t>(bottom);
}

} // namespace

TEST(ConsoleWindow, TwentyFourByEightyInTheUsualClientAreaGetsEightBySixteenCells) {
    WindowHarness h;
    ConsoleWindow& window = h.Open(644, 388);
    EXPECT_EQ(window.State(), kShown);
    const CellGeometry& g = window.Geometry();
    EXPECT_EQ(g.clientWidth, 644);
    EXPECT_EQ(g.clientHeight, 388);
    EXPECT_EQ(g.cellWidth, 8);
    EXPECT_EQ(g.cellHeight, 16);
    EXPECT_EQ(g.marginLeft, 2);
    EXPECT_EQ(g.marginTop, 2);
    // The normal font's line fits the cell and its characters fill the width.
    const ConsoleFont& font = window.Fonts().Font(0);
    ASSERT_TRUE(font.raw.isValid());
    EXPECT_LE(font.raw.ascent() + font.raw.descent(), 16.5);
    EXPECT_GE(font.raw.ascent() + font.raw.descent(), 12.0);
}

TEST(ConsoleWindow, AResizeNoticeKeepsTheWindowAndShrinksTheCells) {
    WindowHarness h;
    ConsoleWindow& window = h.Open(644, 388);
    const QSize subSize = h.sub->size();
    const int minimumBefore = h.sub->minimumSizeHint().width();
    window.PostResize(24, 132);
    ProcessEvents();
    EXPECT_EQ(window.size(), QSize(644, 388));
    EXPECT_EQ(h.sub->size(), subSize);
    EXPECT_EQ(window.Geometry().columns, 132);
    EXPECT_EQ(window.Geometry().cellWidth, (644 - 4) / 132);
    EXPECT_EQ(window.Geometry().marginLeft, (644 - 132 * 4) / 2);
    // The smallest window: two pixels per cell, plus the sub-window's border.
    EXPECT_EQ(window.minimumWidth(), 2 * 132);
    const int border = h.sub->width() - window.width();
    EXPECT_GE(h.sub->minimumSizeHint().width(), 2 * 132 + border);
    EXPECT_GT(h.sub->minimumSizeHint().width(), minimumBefore);
}

TEST(ConsoleWindow, EveryRepaintRequestSetsThePaintedEventButOnlyAShownWindowPaints) {
    struct Case {
        bool minimise;
        int kind;
    };
    const Case cases[] = {{false, kRepaintAll},
                          {false, kRepaintReshaped},
                          {false, kRepaintCollected},
                          {true, kRepaintAll},
                          {true, kRepaintCollected}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "minimise " << c.minimise << " kind " << c.kind);
        WindowHarness h;
        ConsoleWindow& window = h.Open();
        if (c.minimise) {
            h.sub->showMinimized();
            ProcessEvents();
            EXPECT_EQ(window.State(), kMinimised);
        }
        h.console->Painted().Reset();
        h.recorder.paints = 0;
        h.recorder.watched = &h.console->Painted();
        window.PostRepaint(c.kind, Packed(0, 0, 3, 0));
        EXPECT_FALSE(h.console->Painted().IsSet()); // posted, not handled yet
        ProcessEvents();
        EXPECT_TRUE(h.console->Painted().IsSet());
        EXPECT_EQ(h.recorder.paints > 0, !c.minimise);
        // The reader is released only once the changes are on the screen.
        EXPECT_FALSE(h.recorder.setBeforePaint);
    }
}

TEST(ConsoleWindow, APartialRepaintCoversItsCellsOrWholeRowsInItalics) {
    struct Case {
        bool italic;
        QRect expected;
    };
    // Cells 3..5 of row 2 in 8x16 cells with 2-pixel margins.
    const Case cases[] = {
        {false, QRect(2 + 3 * 8, 2 + 2 * 16, 3 * 8, 16)},
        {true, QRect(2, 2 + 2 * 16, 642, 16)}, // to the client's right edge
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.italic);
        WindowHarness h;
        h.properties.italicFont = c.italic;
        ConsoleWindow& window = h.Open();
        window.RebuildFonts();
        h.recorder.painted = QRegion();
        window.PostRepaint(kRepaintCollected, Packed(3, 2, 5, 2));
        ProcessEvents();
        EXPECT_EQ(h.recorder.painted, QRegion(c.expected));
    }
}

TEST(ConsoleWindow, RepaintRequestsCancelTheSelectionExceptForCollectedOutput) {
    struct Case {
        int kind;
        bool kept;
    };
    const Case cases[] = {
        {kRepaintAll, false}, {kRepaintReshaped, false}, {kRepaintCollected, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        WindowHarness h;
        ConsoleWindow& window = h.Open();
        h.selection.ButtonDown(&window, {0, 0});
        h.selection.ButtonUp({2, 3});
        ASSERT_TRUE(h.selection.Active());
        window.PostRepaint(c.kind, Packed(0, 0, 0, 0));
        ProcessEvents();
        EXPECT_EQ(h.selection.Active(), c.kept);
        EXPECT_EQ(h.selection.HeldBy(&window), c.kept);
    }
}

TEST(ConsoleWindow, ACursorIsInvalidatedTwoCellsWideOnADoubleWidthRow) {
    struct Case {
        std::uint8_t line;
        int column;
        QRect expected;
    };
    const Case cases[] = {
        {0, 5, QRect(2 + 5 * 8, 2 + 3 * 16, 8, 16)},
        {1, 5, QRect(2 + 4 * 8, 2 + 3 * 16, 16, 16)},
    };
    for (const Case& c : cases) {
        WindowHarness h;
        ConsoleWindow& window = h.Open();
        h.Line(3, c.line);
        h.Cursor(3, c.column);
        ProcessEvents();
        h.recorder.painted = QRegion();
        h.GiveFocus();
        ProcessEvents();
        EXPECT_TRUE(window.HasKeyboardFocus());
        EXPECT_EQ(h.recorder.painted, QRegion(c.expected));
    }
}

TEST(ConsoleWindow, FocusShowsTheCursorOnlyWhileTheProgramIsActive) {
    struct Case {
        bool appActive;
        bool focused;
    };
    for (const Case& c : {Case{true, true}, Case{false, false}}) {
        WindowHarness h;
        ConsoleWindow& window = h.Open();
        QFocusEvent out(QEvent::FocusOut, Qt::OtherFocusReason);
        QCoreApplication::sendEvent(&window, &out);
        EXPECT_FALSE(window.HasKeyboardFocus());
        h.blink.SetAppActive(c.appActive);
        h.GiveFocus();
        EXPECT_EQ(window.HasKeyboardFocus(), c.focused);
    }
}

namespace {
std::vector<std::uint8_t>& SentBytes() {
    static std::vector<std::uint8_t> sent;
    return sent;
}
int RecordByte(kestra::emulator::Emulator&, std::uint8_t byte) {
    SentBytes().push_back(byte);
    return 1;
}
} // namespace

TEST(ConsoleWindow, TypedCharactersGoToTheEmulator) {
    WindowHarness h;
    ConsoleWindow& window = h.Open();
    h.console->Emulator().SendByte = RecordByte;
    SentBytes().clear();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QCoreApplication::sendEvent(&window, &key);
    QKeyEvent cr(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QCoreApplication::sendEvent(&window, &cr);
    EXPECT_EQ(SentBytes(), (std::vector<std::uint8_t>{'a', '\r'}));
}

TEST(ConsoleWindow, ResetOnTheWindowMenuReturnsToTheConfiguredWidth) {
    struct Case {
        bool wide;
        int columns;
    };
    for (const Case& c : {Case{false, 80}, Case{true, 132}}) {
        SCOPED_TRACE(c.wide);
        WindowHarness h;
        ConsoleWindow& window = h.Open(644, 388, 24, c.wide);
        // The server switched to the other width.
        h.Screen().SetColumns(c.wide ? 80 : 132);
        window.PostResize(24, c.wide ? 80 : 132);
        h.Put(0, 0, u"HELLO");
        ProcessEvents();
        ASSERT_NE(window.Geometry().columns, c.columns);

        if (c.wide) {
            // The frame passes its menu's Reset on as a command event.
            ConsoleCommandEvent command(kResetCommand);
            QCoreApplication::sendEvent(&window, &command);
        } else {
            QAction* reset = h.sub->systemMenu()->findChild<QAction*>(QStringLiteral("reset"));
            ASSERT_NE(reset, nullptr);
            EXPECT_EQ(reset->text(), QStringLiteral("R&eset"));
            reset->trigger();
        }
        EXPECT_EQ(window.Geometry().columns, c.columns);
        EXPECT_EQ(static_cast<int>(h.Screen().cols), c.columns);
        EXPECT_EQ(window.Geometry().cellWidth, (644 - 4) / c.columns);
        // The screen was cleared; only the cursor is left, at home.
        EXPECT_EQ(LitPixels(h.Grab(), QRect(0, 0, 644, 2 + 13)), 0);
    }
}

TEST(ConsoleWindow, CloseIsIgnored) {
    WindowHarness h;
    ConsoleWindow& window = h.Open();
    EXPECT_FALSE(h.sub->close());
    ProcessEvents();
    EXPECT_TRUE(h.sub->isVisible());
    EXPECT_EQ(h.list.Windows(), std::vector<ConsoleWindow*>{&window});
}

TEST(ConsoleWindow, MinimisingAndRestoringMovesBetweenTheStates) {
    WindowHarness h;
    ConsoleWindow& window = h.Open();
    h.sub->showMinimized();
    ProcessEvents();
    EXPECT_EQ(window.State(), kMinimised);
    EXPECT_FALSE(h.list.IsConsoleReady(h.sub));
    h.sub->showNormal();
    ProcessEvents();
    EXPECT_EQ(window.State(), kShown);
    EXPECT_TRUE(h.list.IsConsoleReady(h.sub));
    EXPECT_EQ(window.Geometry().cellWidth, 8);
}

TEST(ConsoleWindow, DraggingTheMouseSelectsAndEnablesCopy) {
    WindowHarness h;
    ConsoleWindow& window = h.Open();
    auto mouse = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(at), QPointF(window.mapToGlobal(at)), Qt::LeftButton,
                          buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &event);
    };
    // From the corner of cell (1, 2) to that of cell (3, 6).
    mouse(QEvent::MouseButtonPress, QPoint(2 + 2 * 8, 2 + 1 * 16), Qt::LeftButton);
    mouse(QEvent::MouseMove, QPoint(2 + 6 * 8 + 1, 2 + 3 * 16 + 2), Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, QPoint(2 + 6 * 8 + 1, 2 + 3 * 16 + 2), Qt::NoButton);
    EXPECT_TRUE(h.selection.Active());
    EXPECT_EQ(h.selection.Range(), (SelectionRange{1, 3, 2, 6}));
    EXPECT_TRUE(h.copyEnabled);
    // The window's selected cells show inverted: white behind the text.
    const QImage image = h.Grab();
    EXPECT_EQ(Level(image, 2 + 3 * 8 + 4, 2 + 2 * 16 + 8), 255);
    EXPECT_EQ(Level(image, 2 + 7 * 8 + 4, 2 + 2 * 16 + 8), 0);
}

TEST(ConsoleWindow, TheWindowMenuShowsTheWindowThroughTheFrame) {
    struct Case {
        int item; // in the window menu
        int showCommand;
    };
    // Restore, Minimize, Maximize; Close (3) asks nothing.
    const Case cases[] = {{0, 1}, {1, 7}, {2, 3}};
    for (const Case& c : cases) {
        WindowHarness h;
        std::vector<int> asked;
        h.showState = [&](QMdiSubWindow&, int show, ConsolePlacement& placement) {
            asked.push_back(show);
            placement.iconX = 99;
        };
        ConsoleWindow& window = h.Open();
        const QList<QAction*> items = h.sub->systemMenu()->actions();
        items[c.item]->trigger();
        items[3]->trigger();
        EXPECT_EQ(asked, std::vector<int>{c.showCommand});
        EXPECT_EQ(window.Placement().iconX, 99); // the frame keeps the window's own record
    }
}
