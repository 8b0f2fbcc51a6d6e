#include "KeyboardTestSupport.h"
#include "console/window/ConsoleKeyboard.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <gtest/gtest.h>

using namespace kestra;
using namespace kestra::shell::testing;

namespace {

constexpr Qt::KeyboardModifiers kNone = Qt::NoModifier;
constexpr Qt::KeyboardModifiers kKeypad = Qt::KeypadModifier;
constexpr Qt::KeyboardModifiers kShift = Qt::ShiftModifier;
constexpr Qt::KeyboardModifiers kCtrl = Qt::ControlModifier;
constexpr Qt::KeyboardModifiers kAlt = Qt::AltModifier;
constexpr std::int32_t kNoCode = termdef::NoKeyCode;

QKeyEvent Press(int key, Qt::KeyboardModifiers modifiers, const QString& text = {},
                quint32 keysym = 0) {
    return QKeyEvent(QEvent::KeyPress, key, modifiers, 0, keysym, 0, text);
}

struct StrokeCase {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    quint32 keysym;
    std::int32_t code;
};

// The key table itself is the definition tests'; these rows check what the
// adapter makes of Qt's events.
TEST(ConsoleKeyboard, KeyEventsBecomeTheKeyCodesOfTheirKeys) {
    App(); // key events made before it leave Qt's keyboard device unowned
    // clang-format off
    const StrokeCase cases[] = {
        // name                            key                modifiers        keysym  code
        {"keypad 7, NumLock on",           Qt::Key_7,         kKeypad,         0,      0x247 },
        {"keypad 7, NumLock off",          Qt::Key_Home,      kKeypad,         0,      0x247 },
        {"keypad 5, NumLock off",          Qt::Key_Clear,     kKeypad,         0,      0x24C },
        {"keypad decimal comma",           Qt::Key_Comma,     kKeypad,         0,      0x253 },
        {"Ctrl+keypad minus",              Qt::Key_Minus,     kKeypad | kCtrl, 0,      0x28E },
        {"keypad Home by keysym alone",    Qt::Key_Home,      kNone,           0xFF95, 0x247 },
        {"keypad Enter",                   Qt::Key_Enter,     kKeypad,         0,      0x20D },
        {"grey Home",                      Qt::Key_Home,      kNone,           0,      0x147 },
        {"grey Up",                        Qt::Key_Up,        kNone,           0,      0x148 },
        {"keypad Up",                      Qt::Key_Up,        kKeypad,         0,      0x248 },
        {"F1",                             Qt::Key_F1,        kNone,           0,      0x13B },
        {"Alt+F1 is the window's",         Qt::Key_F1,        kAlt,            0,      kNoCode },
        {"Shift+Tab",                      Qt::Key_Backtab,   kShift,          0,      0x10F },
        {"Backspace",                      Qt::Key_Backspace, kNone,           0,      0x07F },
        {"Ctrl+Break",                     Qt::Key_Pause,     kCtrl,           0,      0x100 },
        {"Ctrl+Break by keysym alone",     Qt::Key_unknown,   kCtrl,           0xFF6B, 0x100 },
        {"Pause alone",                    Qt::Key_Pause,     kNone,           0,      kNoCode },
        {"main-keyboard 7 types",          Qt::Key_7,         kNone,           0,      kNoCode },
        {"Ctrl+A types",                   Qt::Key_A,         kCtrl,           0,      kNoCode },
    };
    // clang-format on
    for (const StrokeCase& row : cases) {
        SCOPED_TRACE(row.name);
        const QKeyEvent event = Press(row.key, row.modifiers, {}, row.keysym);
        const auto stroke = console::KeyStrokeFromEvent(event);
        const auto code = stroke ? termdef::KeyCodeFromMessage(*stroke) : std::nullopt;
        EXPECT_EQ(code.value_or(kNoCode), row.code);
    }
}

struct TypedCase {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    QString text;
    std::u16string typed;
};

TEST(ConsoleKeyboard, OrdinaryKeysTypeTheCharactersATerminalKeyboardMakes) {
    App();
    // clang-format off
    const TypedCase cases[] = {
        // name                        key                  modifiers     text                typed
        {"letter",                     Qt::Key_A,           kNone,        "a",                u"a"      },
        {"Ctrl+letter, no text",       Qt::Key_A,           kCtrl,        "",                 u"\x01"   },
        {"Ctrl+[",                     Qt::Key_BracketLeft, kCtrl,        "",                 u"\x1b"   },
        {"Enter",                      Qt::Key_Return,      kNone,        "\r",               u"\r"     },
        {"Ctrl+Enter",                 Qt::Key_Return,      kCtrl,        "\r",               u"\n"     },
        {"Ctrl+Backspace",             Qt::Key_Backspace,   kCtrl,        "\b",               u"\x7f"   },
        {"Escape",                     Qt::Key_Escape,      kNone,        "",                 u"\x1b"   },
        {"Alt+letter is the menu's",   Qt::Key_F,           kAlt,         "f",                u""       },
        {"AltGr keeps its character",  Qt::Key_Q,           kCtrl|kAlt,   "@",                u"@"      },
        {"Latin-1 letter",             Qt::Key_Eacute,      kNone,        "\u00e9",           u"\u00e9" },
        {"beyond Latin-1",             Qt::Key_unknown,     kNone,        "\u20ac",           u"?"      },
    };
    // clang-format on
    for (const TypedCase& row : cases) {
        const QKeyEvent event = Press(row.key, row.modifiers, row.text);
        EXPECT_EQ(console::TypedCharacters(event), row.typed) << row.name;
    }
}

// Alt+digit makes the console of that index active, from wherever it is
// typed; a console that does not exist only beeps, when Beep on Error is on.
struct SelectCase {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    bool intoFrame;         // typed into the frame instead of a console
    bool minimised;         // the selected console's window is an icon
    bool consolesMaximized; // console windows are shown maximised
    bool beepOnError;
    int active; // the active console afterwards
    int beeps;
    bool typed; // the key reached the console as a character instead
};

class KeyboardSelectionTest : public BoundConsolesTest {};

TEST_F(KeyboardSelectionTest, AltDigitActivatesTheConsoleOfThatIndex) {
    // clang-format off
    const SelectCase cases[] = {
        // name                            key         mods           frame  icon   max    beep   act beeps typed
        {"Alt+1",                          Qt::Key_1,  kAlt,          false, false, false, true,  1,  0,    false},
        {"Alt+2 typed into the frame",     Qt::Key_2,  kAlt,          true,  false, false, true,  2,  0,    false},
        {"Alt+1 restores an icon",         Qt::Key_1,  kAlt,          false, true,  false, true,  1,  0,    false},
        {"Alt+1 icon, consoles maximised", Qt::Key_1,  kAlt,          false, true,  true,  true,  1,  0,    false},
        {"Alt+3: no such console",         Qt::Key_3,  kAlt,          false, false, false, true,  0,  1,    false},
        {"Alt+9, Beep on Error off",       Qt::Key_9,  kAlt,          false, false, false, false, 0,  0,    false},
        {"Alt+keypad 1 is no selection",   Qt::Key_1,  kAlt|kKeypad,  false, false, false, true,  0,  0,    false},
        {"AltGr+1 is no selection",        Qt::Key_1,  kAlt|kCtrl,    false, false, false, true,  0,  0,    true },
    };
    // clang-format on
    QMdiArea& area = *shell.Frame().MdiArea();
    for (const SelectCase& row : cases) {
        SCOPED_TRACE(row.name);
        for (QMdiSubWindow* sub : area.subWindowList()) {
            sub->showNormal();
        }
        area.setActiveSubWindow(Window(0).SubWindow());
        if (row.minimised) {
            Window(1).SubWindow()->showMinimized();
        }
        shell.Frame().SetConsolesMaximized(row.consolesMaximized);
        shell.Properties().beepOnError = row.beepOnError;
        beeps = 0;

        QWidget* target = row.intoFrame ? static_cast<QWidget*>(&shell.Frame()) : &Window(0);
        QKeyEvent event = Press(row.key, row.modifiers, QStringLiteral("1"));
        QCoreApplication::sendEvent(target, &event);

        EXPECT_EQ(Active(), &Window(row.active));
        EXPECT_EQ(beeps, row.beeps);
        if (row.minimised) {
            QMdiSubWindow* selected = Window(1).SubWindow();
            EXPECT_FALSE(selected->isMinimized());
            EXPECT_EQ(selected->isMaximized(), row.consolesMaximized);
        }
        EXPECT_EQ(Received(0, 1, 20), row.typed ? "1" : "");
    }
}

// Special keys become key codes only in a console window; the frame and its
// dialogs get their keys untranslated.
struct RouteCase {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    QString text;
    bool intoFrame;
    std::string sent; // bytes the active console sends
};

TEST_F(KeyboardSelectionTest, SpecialKeysAreTranslatedOnlyInConsoleWindows) {
    // clang-format off
    const RouteCase cases[] = {
        // name                        key              modifiers text     frame  sent
        {"F1 with no definition",      Qt::Key_F1,      kNone,    "",      false, "\x3b"  },
        {"keypad 8, NumLock on",       Qt::Key_8,       kKeypad,  "8",     false, "\x48"  },
        {"Ctrl+Tab",                   Qt::Key_Tab,     kCtrl,    "\t",    false, "\x94"  },
        {"a letter",                   Qt::Key_A,       kNone,    "a",     false, "a"     },
        {"F1 in the frame",            Qt::Key_F1,      kNone,    "",      true,  ""      },
        {"Tab in the frame",           Qt::Key_Tab,     kNone,    "\t",    true,  ""      },
    };
    // clang-format on
    shell.Frame().MdiArea()->setActiveSubWindow(Window(2).SubWindow());
    for (const RouteCase& row : cases) {
        QWidget* target = row.intoFrame ? static_cast<QWidget*>(&shell.Frame()) : &Window(2);
        QKeyEvent event = Press(row.key, row.modifiers, row.text);
        QCoreApplication::sendEvent(target, &event);
        const std::size_t expected = std::max<std::size_t>(row.sent.size(), 1);
        EXPECT_EQ(Received(2, expected, row.sent.empty() ? 20 : 2000), row.sent) << row.name;
    }
}

} // namespace
