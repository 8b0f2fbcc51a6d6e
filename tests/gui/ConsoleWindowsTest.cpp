#include "GuiTestSupport.h"

namespace kestra::shell::testing {
using Qt::Key_1, Qt::Key_F1;

namespace {

constexpr Qt::KeyboardModifiers kNone = Qt::NoModifier, kPad = Qt::KeypadModifier,
                                kCtrl = Qt::ControlModifier, kAlt = Qt::AltModifier;

using ConsoleWindowsTest = BoundConsoles;
struct SavedConsolesTest : BoundConsoles {
    SavedConsolesTest() : BoundConsoles(false) {}
};

} // namespace

// Every console gets a window in the frame, placed as saved under its name,
// also in the files of earlier versions (8 by 16 pixel cells without a
// placement); consoles saved minimised are activated first, then the others
// from the last to the first. Exit saves the placements again under their
// names; an icon keeps its normal place. Reset goes to the
// active console only.
TEST_F(SavedConsolesTest, ConsolesComeBackWhereTheyWereSavedAndAreSavedAgainAtExit) {
    std::ofstream(world.settingsFile)
        << "[General]\n%255C%255C%252E%255Cpipe%255CONE=0 10 20 310 220 0 0\n";
    world.Save(kNames[1], console::FormatConsolePlacement({true, {50, 60, 350, 260}}));
    std::vector<QString> activated;
    QObject::connect(
        shell.Frame().MdiArea(), &QMdiArea::subWindowActivated,
        [&](QMdiSubWindow* sub) { sub ? activated.push_back(sub->windowTitle()) : void(); });
    Start();
    EXPECT_EQ(Window(0).SubWindow()->geometry(), QRect(10, 20, 300, 200));
    EXPECT_EQ(Window(1).State(), console::kMinimised);
    EXPECT_EQ(Window(2).Geometry().columns, 132);
    EXPECT_EQ(Window(2).Geometry().cellHeight, 16);
    EXPECT_EQ(Active(), &Window(0));
    ASSERT_GE(activated.size(), 3u);
    EXPECT_EQ(std::vector<QString>(activated.end() - 3, activated.end()),
              (std::vector<QString>{kNames[1], QString::fromUtf8(kNames[2]), kNames[0]}));

    Window(0).SubWindow()->move(100, 110);
    shell.Properties().promptBeforeExit = false;
    shell.Frame().HandleCommand(kCommandExit);
    EXPECT_EQ(world.exits, 1);
    auto store = world.Settings();
    EXPECT_EQ(console::ParseConsolePlacement(*store->Read(kNames[0])),
              (console::ConsolePlacement{false, {100, 110, 400, 310}}));
    const QPoint icon = Window(1).SubWindow()->pos();
    EXPECT_EQ(console::ParseConsolePlacement(*store->Read(kNames[1])),
              (console::ConsolePlacement{true, {50, 60, 350, 260}, icon.x(), icon.y()}));
    EXPECT_TRUE(store->Read(kNames[2]).has_value());
    EXPECT_EQ(FileText(world.settingsFile).find("%255C"), std::string::npos)
        << "the old key is gone";

    Screen(0).chars[0] = Screen(1).chars[0] = u'X';
    Screen(0).SetColumns(132);
    shell.Frame().HandleCommand(console::kResetCommand);
    EXPECT_EQ(Screen(0).cols, 80u);
    EXPECT_EQ(Screen(0).chars[0], u' ');
    EXPECT_EQ(Screen(1).chars[0], u'X');
}

// Keys typed into a console window send what a terminal keyboard makes,
// special keys their code (its low byte here), except Alt+digit, which makes
// the console of that index active from wherever it is typed, restoring its
// icon as the consoles are shown (maximised when one was maximised from its
// title bar); a console that does not exist only beeps, when Beep on Error is
// on. Ctrl+F6 goes to the next console. The frame gets its other keys
// untranslated.
TEST_F(ConsoleWindowsTest, KeysSendWhatATerminalKeyboardMakesAndAltDigitSelectsAConsole) {
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        const char16_t* text;
        bool intoFrame, minimised, consolesMaximized, beepOnError;
        int active, beeps;
        std::string sent;
    } rows[] = {
        // clang-format off
        {Key_1, kAlt, u"1", false, false, false, true, 1, 0, ""},       {Qt::Key_2, kAlt, u"2", true, false, false, true, 2, 0, ""},
        {Key_1, kAlt, u"1", false, true, false, true, 1, 0, ""},        {Key_1, kAlt, u"1", false, true, true, true, 1, 0, ""},
        {Qt::Key_3, kAlt, u"3", false, false, false, true, 0, 1, ""},   {Qt::Key_9, kAlt, u"9", false, false, false, false, 0, 0, ""},
        {Key_1, kAlt | kPad, u"1", false, false, false, true, 0, 0, ""}, {Key_1, kAlt | kCtrl, u"1", false, false, false, true, 0, 0, "1"},
        {Qt::Key_A, kCtrl, u"", false, false, false, true, 0, 0, "\x01"}, {Qt::Key_Return, kCtrl, u"\r", false, false, false, true, 0, 0, "\n"},
        {Qt::Key_F, kAlt, u"f", false, false, false, true, 0, 0, ""},   {Qt::Key_unknown, kNone, u"\u20ac", false, false, false, true, 0, 0, "?"},
        {Key_F1, kNone, u"", false, false, false, true, 0, 0, "\x3b"},  {Key_F1, kNone, u"", true, false, false, true, 0, 0, ""},
        {Qt::Key_F6, kCtrl, u"", false, false, false, true, 1, 0, ""},  {Qt::Key_F6, kCtrl | Qt::ShiftModifier, u"", true, false, false, true, 2, 0, ""},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        for (QMdiSubWindow* sub : shell.Frame().MdiArea()->subWindowList()) {
            sub->showNormal();
        }
        shell.Frame().MdiArea()->setActiveSubWindow(Window(0).SubWindow());
        row.minimised ? Window(1).SubWindow()->showMinimized() : void();
        row.consolesMaximized ? Window(0).SubWindow()->showMaximized() : void();
        shell.Properties().beepOnError = row.beepOnError;
        beeps = 0;
        QKeyEvent event(QEvent::KeyPress, row.key, row.modifiers, QString::fromUtf16(row.text));
        QCoreApplication::sendEvent(
            row.intoFrame ? static_cast<QWidget*>(&shell.Frame()) : &Window(0), &event);
        EXPECT_EQ(Active(), &Window(row.active));
        EXPECT_EQ(beeps, row.beeps);
        EXPECT_EQ(Window(1).SubWindow()->isMinimized(), row.minimised && row.active != 1);
        EXPECT_EQ(Window(1).SubWindow()->geometry() == shell.Frame().MdiArea()->viewport()->rect(),
                  row.consolesMaximized && row.active == 1);
        EXPECT_EQ(
            Received(0, std::max<std::size_t>(row.sent.size(), 1), row.sent.empty() ? 20 : 5000),
            row.sent);
    }
}

// Whether the consoles are maximised follows every way a console window is
// maximised, restored or minimised. A console offers no Close.
TEST_F(ConsoleWindowsTest, ConsolesMaximizedFollowsEveryShowChange) {
    QMdiSubWindow* sub = Window(0).SubWindow();
    QStyleOptionTitleBar bar;
    bar.initFrom(sub), bar.titleBarFlags = sub->windowFlags(), bar.subControls = QStyle::SC_All;
    QStyleOptionComplex controls;
    controls.rect = {0, 0, 60, 20}, controls.subControls = QStyle::SC_All;
    const QStyle* style = sub->style();
    const QRect close =
        style->subControlRect(QStyle::CC_TitleBar, &bar, QStyle::SC_TitleBarCloseButton, sub);
    EXPECT_EQ(style->hitTestComplexControl(QStyle::CC_TitleBar, &bar, close.center(), sub), 0);
    EXPECT_NE(style->hitTestComplexControl(QStyle::CC_MdiControls, &controls, {58, 10}, nullptr),
              QStyle::SC_MdiCloseButton);
    EXPECT_TRUE(sub->systemMenu()->actions().at(3)->isSeparator()) << "no Close after Maximize";
    std::string maximized;
    for (auto show : {&QWidget::showMaximized, &QWidget::showNormal, &QWidget::showMaximized,
                      &QWidget::showMinimized}) {
        (sub->*show)(), maximized += shell.Frame().ConsolesMaximized() ? 'y' : 'n';
    }
    EXPECT_EQ(maximized, "ynyn");
}

// Paste sends printable ASCII to the active console only and is grayed while
// a paste runs or with nothing to paste; Configuration needs an opened file.
TEST_F(ConsoleWindowsTest, PasteSendsTheClipboardToTheActiveConsole) {
    const auto Enabled = [&](int command) {
        emit shell.Frame().Popup(kEditPopup)->aboutToShow();
        return shell.Frame().Action(command)->isEnabled();
    };
    config::Options().intercharDelay = config::Options().returnDelay = 0;
    shell.Frame().MdiArea()->setActiveSubWindow(Window(1).SubWindow());
    QGuiApplication::clipboard()->setText(
        QString::fromUtf16(u"ls -l\r\n\u00e9t\u20ac\U0001F600\ta\r"));
    EXPECT_TRUE(Enabled(kCommandPaste) && !Enabled(kCommandConfiguration));
    shell.Frame().HandleCommand(kCommandPaste);
    EXPECT_EQ(Received(1, 9), "ls -l\rta\r");
    EXPECT_TRUE(PumpUntil([&] { return binding->Paste().Idle(); }));
    EXPECT_EQ(Received(0, 1, 20), "") << "only the active console gets the text";

    config::Options().intercharDelay = 300;
    config::Options().configOpened = true;
    QGuiApplication::clipboard()->setText(QStringLiteral("ab"));
    shell.Frame().HandleCommand(kCommandPaste);
    EXPECT_TRUE(!Enabled(kCommandPaste) && Enabled(kCommandConfiguration)) << "a paste runs";
    QGuiApplication::clipboard()->setText(QStringLiteral("XY"));
    shell.Frame().HandleCommand(kCommandPaste);
    EXPECT_TRUE(PumpUntil([&] { return binding->Paste().Idle(); }));
    EXPECT_EQ(Received(1, 4, 200), "ab") << "the second paste was refused";
    EXPECT_TRUE(Enabled(kCommandPaste));
    QGuiApplication::clipboard()->clear();
    EXPECT_FALSE(Enabled(kCommandPaste)) << "nothing to paste";
}

// Cascade and tiling take the consoles out of maximised; tiling covers the
// area in creation order without gap or overlap; arranging puts the icons
// along the bottom.
TEST_F(ConsoleWindowsTest, TheWindowMenuArrangesTheConsoles) {
    const QSize area = shell.Frame().MdiArea()->viewport()->size();
    for (const int command : {kCommandCascade, kCommandTileHorizontally, kCommandTileVertically,
                              kCommandArrangeIcons}) {
        const bool icons = command == kCommandArrangeIcons,
                   across = command == kCommandTileHorizontally;
        const bool tiled = across || command == kCommandTileVertically;
        for (int unit = 0; unit < kConsoles; ++unit) {
            icons ? Window(unit).SubWindow()->showMinimized()
                  : Window(unit).SubWindow()->showNormal();
            Window(unit).SubWindow()->move(50 + 20 * unit, 30); // out of every arrangement
        }
        shell.Frame().SetConsolesMaximized(true);
        shell.Frame().HandleCommand(command);
        EXPECT_EQ(shell.Frame().ConsolesMaximized(), icons);
        int covered = 0;
        for (int unit = 0; unit < kConsoles; ++unit) {
            const QRect box = Window(unit).SubWindow()->geometry();
            if (icons) {
                EXPECT_EQ(box.topLeft(), QPoint(unit * box.width(), area.height() - box.height()));
            } else if (tiled) {
                EXPECT_EQ(across ? box.width() : box.height(),
                          across ? area.width() : area.height());
                EXPECT_EQ(across ? box.top() : box.left(), covered) << command;
                covered += across ? box.height() : box.width();
            }
        }
        EXPECT_EQ(covered, !tiled ? 0 : across ? area.height() : area.width());
    }
}

// Exit and Restart ask first when Prompt Before Exit is on, over a frame
// brought back from an icon, or in the middle of the desktop while the frame
// is hidden; agreeing saves the Properties when Save on Exit is on.
TEST_F(ConsoleWindowsTest, ExitAndRestartPassTheShutdownQuestion) {
    enum Frame { kShown, kIcon, kHidden };
    const struct {
        int command;
        bool prompt, saveOnExit;
        const char* answer; // the Shutdown dialog's button, null when none comes
        Frame frame;
    } rows[] = {
        // clang-format off
        {kCommandExit, false, true, nullptr, kShown}, {kCommandRestart, false, false, nullptr, kShown},
        {kCommandExit, true, true, "405", kShown},    {kCommandRestart, true, true, "405", kHidden},
        {kCommandExit, true, true, "406", kIcon},     {kCommandRestart, true, true, "406", kShown},
        // clang-format on
    };
    FrameWindow& frame = shell.Frame();
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        world.exits = 0;
        std::filesystem::remove(world.settingsFile);
        platform::SetRestartRequested(false);
        shell.Properties().promptBeforeExit = row.prompt;
        shell.Properties().saveOnExit = row.saveOnExit;
        frame.move(200, 100);
        frame.setWindowState(row.frame == kIcon ? Qt::WindowMinimized : Qt::WindowNoState);
        frame.setVisible(row.frame != kHidden);
        QPoint offCentre;
        DialogAnswerer answerer([&](QDialog& dialog) {
            EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Shutdown"));
            EXPECT_FALSE(frame.isMinimized());
            const QRect over =
                row.frame == kHidden ? frame.screen()->availableGeometry() : frame.geometry();
            offCentre = dialog.geometry().center() - over.center();
            Click(dialog, row.answer);
        });
        frame.HandleCommand(row.command);
        EXPECT_EQ(answerer.Count(), row.answer != nullptr ? 1 : 0);
        EXPECT_LE(offCentre.manhattanLength(), 2) << "centred over the frame or the desktop";
        const bool exited = row.answer == nullptr || row.answer == std::string("405");
        EXPECT_EQ(world.exits, exited ? 1 : 0);
        EXPECT_EQ(world.Settings()->Read("Properties").has_value(), exited && row.saveOnExit);
        EXPECT_EQ(platform::RestartRequested(), row.command == kCommandRestart);
        frame.show();
    }
}

} // namespace kestra::shell::testing

namespace kestra::shell::testing {

// Scrolled back, the view stays on its lines while output goes on, and Copy
// takes what it shows; Find brings a match into view; a typed key returns
// the view to the live screen before it is sent.
TEST_F(ConsoleWindowsTest, TheHistoryViewStaysOnItsLinesUntilAKeyIsTyped) {
    console::ConsoleRecord& record = Record(0);
    record.history.SetCapacity(100);
    const auto receive = [&record](std::string bytes) {
        std::unique_lock held(record.lock);
        console::ReceiveBytes(
            record, std::span(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()), held);
    };
    for (int line = 1; line <= 40; ++line) {
        receive("line " + std::to_string(line) + "\r\n"); // lines 1 to 17 scroll off
    }
    console::ConsoleWindow& window = Window(0);
    window.ScrollHistory(5);
    receive("more\r\nmore\r\n");
    EXPECT_EQ(window.HistoryOffset(), 7u) << "new output leaves the view where it was";
    EXPECT_EQ(window.SelectedText({6, 8, 0, 80}), u"line 19\r\nline 20") << "across the edge";
    EXPECT_TRUE(window.FindNext(u"LINE 3", true, false));
    EXPECT_EQ(window.SelectedText({0, 1, 0, 80}), u"line 3");
    window.TypeCode('x');
    EXPECT_EQ(window.HistoryOffset(), 0u);
    EXPECT_EQ(Received(0), "x");
}

} // namespace kestra::shell::testing
