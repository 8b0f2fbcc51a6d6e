#include "GuiTestSupport.h"
#include "console/window/ConsoleKeyboard.h"
#include "shell/MenuTable.h"

#include <QClipboard>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>

using namespace kestra;
using namespace kestra::shell;
using namespace kestra::shell::testing;
using Qt::Key_1, Qt::Key_Home, Qt::Key_F1, Qt::Key_Tab;

namespace {

constexpr Qt::KeyboardModifiers kNone = Qt::NoModifier, kPad = Qt::KeypadModifier,
                                kCtrl = Qt::ControlModifier, kAlt = Qt::AltModifier;

class ConsoleWindowsTest : public BoundConsoles {
protected:
    explicit ConsoleWindowsTest(bool start = true) : BoundConsoles(start) {}
    bool Enabled(int command) {
        emit shell.Frame().Popup(kEditPopup)->aboutToShow();
        return shell.Frame().Action(command)->isEnabled();
    }
    void Mouse(QEvent::Type type, int row, int column) {
        const console::CellGeometry& g = Window(0).Geometry();
        const QPointF at(g.marginLeft + column * g.cellWidth, g.marginTop + row * g.cellHeight);
        QMouseEvent event(type, at, Window(0).mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          kNone);
        QCoreApplication::sendEvent(&Window(0), &event);
    }
    void Select(int row, int columns) { // from the row's start into the next row
        Mouse(QEvent::MouseButtonPress, row, 0);
        Mouse(QEvent::MouseMove, row + 1, columns);
        Mouse(QEvent::MouseButtonRelease, row + 1, columns);
    }
    void Key(QWidget& target, int key, Qt::KeyboardModifiers modifiers, const QString& text) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
        QCoreApplication::sendEvent(&target, &event);
    }
};

struct SavedConsolesTest : ConsoleWindowsTest {
    SavedConsolesTest() : ConsoleWindowsTest(false) {}
};

} // namespace

// Every console gets a window in the frame, placed as saved (8 by 16 pixel
// cells without a placement); consoles saved minimised are activated first,
// then the others from the last to the first. A record's repaint requests
// reach its window and release the reader; applied Properties rebuild every
// window's fonts; Reset goes to the active console only. Exit saves the
// placements again; an icon keeps its normal place.
TEST_F(SavedConsolesTest, ConsolesComeBackWhereTheyWereSavedAndAreSavedAgainAtExit) {
    world.Save("Console 0", console::FormatConsolePlacement({false, {10, 20, 310, 220}}));
    world.Save("Console 1", console::FormatConsolePlacement({true, {50, 60, 350, 260}}));
    std::vector<QString> activated;
    QObject::connect(
        shell.Frame().MdiArea(), &QMdiArea::subWindowActivated,
        [&](QMdiSubWindow* sub) { sub ? activated.push_back(sub->windowTitle()) : void(); });
    Start();
    EXPECT_EQ(binding->List().Windows(),
              (std::vector<console::ConsoleWindow*>{&Window(0), &Window(1), &Window(2)}));
    EXPECT_EQ(Window(0).SubWindow()->geometry(), QRect(10, 20, 300, 200));
    EXPECT_EQ(Window(1).State(), console::kMinimised);
    EXPECT_EQ(Window(2).SubWindow()->windowTitle(), QStringLiteral("Console 2"));
    EXPECT_EQ(Window(2).Geometry().columns, 132);
    EXPECT_EQ(Window(2).Geometry().cellHeight, 16);
    EXPECT_EQ(Active(), &Window(0));
    ASSERT_GE(activated.size(), 3u);
    EXPECT_EQ(std::vector<QString>(activated.end() - 3, activated.end()),
              (std::vector<QString>{"Console 1", "Console 2", "Console 0"}));

    console::ConsoleRecord& first = *console::Consoles().At(0);
    first.paintedEvent.Reset();
    first.Window()->PostRepaint(console::RepaintKind::All, 0);
    EXPECT_TRUE(console::ReaderNoticeEvent::AnyWaiting() && !first.paintedEvent.IsSet());
    EXPECT_TRUE(PumpUntil([&] { return first.paintedEvent.IsSet(); }));
    EXPECT_FALSE(console::ReaderNoticeEvent::AnyWaiting());
    shell.Properties().boldFont = true;
    shell.PropertiesApplied();
    for (const int unit : {0, 2}) { // not the icon
        EXPECT_TRUE(Window(unit).Fonts().Font(0).font.bold()) << unit;
    }
    Screen(0).chars[0] = Screen(1).chars[0] = u'X';
    Screen(0).SetColumns(132);
    shell.Frame().HandleCommand(console::kResetCommand);
    EXPECT_EQ(Screen(0).cols, 80u);
    EXPECT_EQ(Screen(0).chars[0], u' ');
    EXPECT_EQ(Screen(1).chars[0], u'X');

    Window(0).SubWindow()->move(100, 110);
    shell.Properties().promptBeforeExit = false;
    shell.Frame().HandleCommand(kCommandExit);
    EXPECT_EQ(world.exits, 1);
    auto store = world.Settings();
    EXPECT_EQ(console::ParseConsolePlacement(*store->Read("Console 0")),
              (console::ConsolePlacement{false, {100, 110, 400, 310}}));
    const QPoint icon = Window(1).SubWindow()->pos();
    EXPECT_EQ(console::ParseConsolePlacement(*store->Read("Console 1")),
              (console::ConsolePlacement{true, {50, 60, 350, 260}, icon.x(), icon.y()}));
}

// The text reaches the window light grey on black, inverted by reverse video
// and by the selection, each undoing the other.
TEST_F(ConsoleWindowsTest, TextReachesTheWindowInItsColours) {
    for (const auto [reverseVideo, selected] :
         {std::pair{false, false}, {false, true}, {true, false}, {true, true}}) {
        shell.Properties().reverseVideo = reverseVideo;
        shell.PropertiesApplied();
        Screen(0).chars[0] = Screen(0).chars[1] = u'H';
        selected ? Select(0, 2) : void();
        const QImage image = Window(0).grab().toImage();
        int brightest = 0;
        for (int y = 2; y < 18; ++y) {
            for (int x = 2; x < 18; ++x) {
                brightest = std::max(brightest, qGray(image.pixel(x, y)));
            }
        }
        const bool inverted = reverseVideo != selected;
        EXPECT_EQ(qGray(image.pixel(2, 2)), inverted ? 255 : 0) << reverseVideo << selected;
        EXPECT_EQ(brightest, inverted ? 255 : 170) << reverseVideo << selected;
        shell.Frame().HandleCommand(kCommandCopy); // ends the selection
    }
}

// Keypad and grey keys, and keys Qt knows only by their keysym, become the
// codes of their keys; the keys that type or belong to the window have none.
TEST(ConsoleKeyboard, KeyEventsBecomeTheKeyCodesOfTheirKeys) {
    App(); // key events made before it leave Qt's keyboard device unowned
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        quint32 keysym;
        std::int32_t code;
    } rows[] = {
        // clang-format off
        {Qt::Key_7, kPad, 0, 0x247},           {Key_Home, kPad, 0, 0x247},  {Qt::Key_Clear, kPad, 0, 0x24C},
        {Qt::Key_Comma, kPad, 0, 0x253},       {Qt::Key_Minus, kPad | kCtrl, 0, 0x28E},
        {Key_Home, kNone, 0xFF95, 0x247},      {Qt::Key_Enter, kPad, 0, 0x20D}, {Key_Home, kNone, 0, 0x147},
        {Qt::Key_Up, kNone, 0, 0x148},         {Qt::Key_Up, kPad, 0, 0x248},    {Key_F1, kNone, 0, 0x13B},
        {Qt::Key_Backtab, Qt::ShiftModifier, 0, 0x10F}, {Qt::Key_Backspace, kNone, 0, 0x07F},
        {Qt::Key_Pause, kCtrl, 0, 0x100},      {Qt::Key_unknown, kCtrl, 0xFF6B, 0x100},
        {Key_F1, kAlt, 0, -1}, {Qt::Key_Pause, kNone, 0, -1}, {Qt::Key_7, kNone, 0, -1}, {Qt::Key_A, kCtrl, 0, -1},
        // clang-format on
    };
    for (const auto& row : rows) {
        const QKeyEvent event(QEvent::KeyPress, row.key, row.modifiers, 0, row.keysym, 0);
        const auto stroke = console::KeyStrokeFromEvent(event);
        const auto code = stroke ? termdef::KeyCodeFromMessage(*stroke) : std::nullopt;
        EXPECT_EQ(code.value_or(-1), row.code) << std::hex << row.key << " " << row.modifiers;
    }
}

// Typed into a console window, keys send what a terminal keyboard makes,
// special keys their code (its low byte here); the frame gets its keys
// untranslated.
TEST_F(ConsoleWindowsTest, KeysSendWhatATerminalKeyboardDoesOnlyFromConsoleWindows) {
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        QString text;
        bool intoFrame;
        std::string sent;
    } rows[] = {
        // clang-format off
        {Qt::Key_A, kNone, "a", false, "a"},               {Qt::Key_A, kCtrl, "", false, "\x01"},
        {Qt::Key_BracketLeft, kCtrl, "", false, "\x1b"},   {Qt::Key_Return, kCtrl, "\r", false, "\n"},
        {Qt::Key_Backspace, kCtrl, "\b", false, "\x7f"},   {Qt::Key_F, kAlt, "f", false, ""},
        {Qt::Key_Q, kCtrl | kAlt, "@", false, "@"},        {Qt::Key_Eacute, kNone, "\u00e9", false, "\xe9"},
        {Qt::Key_unknown, kNone, "\u20ac", false, "?"},    {Key_F1, kNone, "", false, "\x3b"},
        {Qt::Key_8, kPad, "8", false, "\x48"},             {Key_Tab, kCtrl, "\t", false, "\x94"},
        {Key_F1, kNone, "", true, ""},                     {Key_Tab, kNone, "\t", true, ""},
        // clang-format on
    };
    shell.Frame().MdiArea()->setActiveSubWindow(Window(2).SubWindow());
    for (const auto& row : rows) {
        Key(row.intoFrame ? static_cast<QWidget&>(shell.Frame()) : Window(2), row.key,
            row.modifiers, row.text);
        const std::size_t count = std::max<std::size_t>(row.sent.size(), 1);
        EXPECT_EQ(Received(2, count, row.sent.empty() ? 20 : 5000), row.sent)
            << std::hex << row.key;
    }
}

// Alt+digit makes the console of that index active from wherever it is
// typed, restoring its icon as the consoles are shown; a console that does
// not exist only beeps, when Beep on Error is on.
TEST_F(ConsoleWindowsTest, AltDigitActivatesTheConsoleOfThatIndex) {
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        bool intoFrame, minimised, consolesMaximized, beepOnError;
        int active, beeps;
        const char* typed;
    } rows[] = {
        // clang-format off
        {Key_1, kAlt, false, false, false, true, 1, 0, ""},       {Qt::Key_2, kAlt, true, false, false, true, 2, 0, ""},
        {Key_1, kAlt, false, true, false, true, 1, 0, ""},        {Key_1, kAlt, false, true, true, true, 1, 0, ""},
        {Qt::Key_3, kAlt, false, false, false, true, 0, 1, ""},   {Qt::Key_9, kAlt, false, false, false, false, 0, 0, ""},
        {Key_1, kAlt | kPad, false, false, false, true, 0, 0, ""}, {Key_1, kAlt | kCtrl, false, false, false, true, 0, 0, "1"},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        for (QMdiSubWindow* sub : shell.Frame().MdiArea()->subWindowList()) {
            sub->showNormal();
        }
        shell.Frame().MdiArea()->setActiveSubWindow(Window(0).SubWindow());
        row.minimised ? Window(1).SubWindow()->showMinimized() : void();
        shell.Frame().SetConsolesMaximized(row.consolesMaximized);
        shell.Properties().beepOnError = row.beepOnError;
        beeps = 0;
        Key(row.intoFrame ? static_cast<QWidget&>(shell.Frame()) : Window(0), row.key,
            row.modifiers, "1");
        EXPECT_EQ(Active(), &Window(row.active));
        EXPECT_EQ(beeps, row.beeps);
        EXPECT_EQ(Window(1).SubWindow()->isMinimized(), row.minimised && row.active != 1);
        EXPECT_EQ(Window(1).SubWindow()->isMaximized(), row.consolesMaximized && row.active == 1);
        EXPECT_EQ(Received(0, 1, 20), row.typed);
    }
}

// Copy is enabled only with a selection and puts its text on the clipboard;
// Paste sends printable ASCII to the active console only and is grayed while
// a paste runs or with nothing to paste; Configuration needs an opened file.
TEST_F(ConsoleWindowsTest, CopyAndPasteGoThroughTheClipboard) {
    const std::u16string line = u"hello \u2500";
    std::copy(line.begin(), line.end(), &Screen(0).chars[Screen(0).CellIndex(1, 0)]);
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    EXPECT_FALSE(Enabled(kCommandCopy)) << "no selection yet";
    Mouse(QEvent::MouseButtonPress, 1, 0);
    Mouse(QEvent::MouseButtonRelease, 1, 5);
    EXPECT_FALSE(Enabled(kCommandCopy)) << "a drag in one direction selects nothing";
    Select(1, 10);
    EXPECT_TRUE(Enabled(kCommandCopy));
    for (int copy = 0; copy < 2; ++copy) { // the second copies nothing
        shell.Frame().HandleCommand(kCommandCopy);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromStdU16String(line));
        EXPECT_FALSE(Enabled(kCommandCopy)) << "copying ends the selection";
    }
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
        shell.Frame().SetConsolesMaximized(true);
        for (int unit = 0; unit < kConsoles; ++unit) {
            icons ? Window(unit).SubWindow()->showMinimized()
                  : Window(unit).SubWindow()->showNormal();
        }
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
