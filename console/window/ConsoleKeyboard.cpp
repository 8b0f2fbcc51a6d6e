#include "console/window/ConsoleKeyboard.h"

#include "console/window/ConsoleWindow.h"
#include "console/window/ConsoleWindowList.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <array>

namespace kestra::console {

namespace {

using termdef::SpecialKey;

// Where a Qt key sits for the translation table.
enum class Place : std::uint8_t {
    AsEvent,    // grey block or keypad, as the event says
    kKeypad,     // always the keypad (Qt has no grey twin of the key)
    KeypadOnly, // special only on the keypad; elsewhere it types a character
};

struct QtKeyRow {
    int key; // Qt::Key
    SpecialKey special;
    Place place;
};

// Shift+Tab arrives as Backtab. The keypad digits and operators are the
// keypad's with NumLock on; with it off the same keys arrive as the cursor
// and editing keys (and keypad 5 as Clear) with the keypad modifier, and the
// table of codes gives both the same code.
// clang-format off
constexpr std::array<QtKeyRow, 47> kQtKeys{{
//   Qt key              special                     place
    {Qt::Key_Pause,      SpecialKey::Break,          Place::AsEvent   },
    {Qt::Key_Cancel,     SpecialKey::Break,          Place::AsEvent   },
    {Qt::Key_Backspace,  SpecialKey::Backspace,      Place::AsEvent   },
    {Qt::Key_Tab,        SpecialKey::Tab,            Place::AsEvent   },
    {Qt::Key_Backtab,    SpecialKey::Tab,            Place::AsEvent   },
    {Qt::Key_Enter,      SpecialKey::Enter,          Place::kKeypad    },
    {Qt::Key_PageUp,     SpecialKey::PageUp,         Place::AsEvent   },
    {Qt::Key_PageDown,   SpecialKey::PageDown,       Place::AsEvent   },
    {Qt::Key_End,        SpecialKey::End,            Place::AsEvent   },
    {Qt::Key_Home,       SpecialKey::Home,           Place::AsEvent   },
    {Qt::Key_Left,       SpecialKey::Left,           Place::AsEvent   },
    {Qt::Key_Up,         SpecialKey::Up,             Place::AsEvent   },
    {Qt::Key_Right,      SpecialKey::Right,          Place::AsEvent   },
    {Qt::Key_Down,       SpecialKey::Down,           Place::AsEvent   },
    {Qt::Key_Insert,     SpecialKey::Insert,         Place::AsEvent   },
    {Qt::Key_Delete,     SpecialKey::Delete,         Place::AsEvent   },
    {Qt::Key_Clear,      SpecialKey::KeypadClear,    Place::kKeypad    },
    {Qt::Key_0,          SpecialKey::Keypad0,        Place::KeypadOnly},
    {Qt::Key_1,          SpecialKey::Keypad1,        Place::KeypadOnly},
    {Qt::Key_2,          SpecialKey::Keypad2,        Place::KeypadOnly},
    {Qt::Key_3,          SpecialKey::Keypad3,        Place::KeypadOnly},
    {Qt::Key_4,          SpecialKey::Keypad4,        Place::KeypadOnly},
    {Qt::Key_5,          SpecialKey::Keypad5,        Place::KeypadOnly},
    {Qt::Key_6,          SpecialKey::Keypad6,        Place::KeypadOnly},
    {Qt::Key_7,          SpecialKey::Keypad7,        Place::KeypadOnly},
    {Qt::Key_8,          SpecialKey::Keypad8,        Place::KeypadOnly},
    {Qt::Key_9,          SpecialKey::Keypad9,        Place::KeypadOnly},
    {Qt::Key_Period,     SpecialKey::KeypadPeriod,   Place::KeypadOnly},
    {Qt::Key_Comma,      SpecialKey::KeypadPeriod,   Place::KeypadOnly},
    {Qt::Key_Asterisk,   SpecialKey::KeypadStar,     Place::KeypadOnly},
    {Qt::Key_Plus,       SpecialKey::KeypadPlus,     Place::KeypadOnly},
    {Qt::Key_Minus,      SpecialKey::KeypadMinus,    Place::KeypadOnly},
    {Qt::Key_Slash,      SpecialKey::KeypadSlash,    Place::KeypadOnly},
    {Qt::Key_F1,         SpecialKey::F1,             Place::AsEvent   },
    {Qt::Key_F2,         SpecialKey::F2,             Place::AsEvent   },
    {Qt::Key_F3,         SpecialKey::F3,             Place::AsEvent   },
    {Qt::Key_F4,         SpecialKey::F4,             Place::AsEvent   },
    {Qt::Key_F5,         SpecialKey::F5,             Place::AsEvent   },
    {Qt::Key_F6,         SpecialKey::F6,             Place::AsEvent   },
    {Qt::Key_F7,         SpecialKey::F7,             Place::AsEvent   },
    {Qt::Key_F8,         SpecialKey::F8,             Place::AsEvent   },
    {Qt::Key_F9,         SpecialKey::F9,             Place::AsEvent   },
    {Qt::Key_F10,        SpecialKey::F10,            Place::AsEvent   },
    {Qt::Key_F11,        SpecialKey::F11,            Place::AsEvent   },
    {Qt::Key_F12,        SpecialKey::F12,            Place::AsEvent   },
    {Qt::Key_NumLock,    SpecialKey::NumLock,        Place::AsEvent   },
    {Qt::Key_ScrollLock, SpecialKey::ScrollLock,     Place::AsEvent   },
}};
// clang-format on

// X11 keysyms of the keypad (KP_Space to KP_9): a platform plugin that drops
// the keypad modifier still names the key.
constexpr quint32 kFirstKeypadKeysym = 0xFF80;
constexpr quint32 kLastKeypadKeysym = 0xFFBD;

// Ctrl+Pause makes the Break keysym, which a platform plugin may not name.
constexpr quint32 kBreakKeysym = 0xFF6B;

bool OnKeypad(const QKeyEvent& event) {
    const quint32 keysym = event.nativeVirtualKey();
    return event.modifiers().testFlag(Qt::KeypadModifier) ||
           (keysym >= kFirstKeypadKeysym && keysym <= kLastKeypadKeysym);
}

const QtKeyRow* RowOf(int key, bool keypad) {
    for (const QtKeyRow& row : kQtKeys) {
        if (row.key == key && (row.place != Place::KeypadOnly || keypad)) {
            return &row;
        }
    }
    return nullptr;
}

constexpr char16_t kEscape = 0x1B;
constexpr char16_t kReturn = 0x0D;
constexpr char16_t kLineFeed = 0x0A;
constexpr char16_t kBackspace = 0x08;
constexpr char16_t kDelete = 0x7F;
constexpr char16_t kOutsideCodePage = u'?';

// The control character of Ctrl with a key, as a terminal keyboard makes it:
// Ctrl+A to Ctrl+Z are 1 to 26, Ctrl+@ [ \ ] ^ _ the codes around them.
std::optional<char16_t> ControlCharacter(int key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        return static_cast<char16_t>(key - Qt::Key_A + 1);
    }
    switch (key) {
    case Qt::Key_At: return char16_t{0x00};
    case Qt::Key_BracketLeft: return char16_t{0x1B};
    case Qt::Key_Backslash: return char16_t{0x1C};
    case Qt::Key_BracketRight: return char16_t{0x1D};
    case Qt::Key_AsciiCircum: return char16_t{0x1E};
    case Qt::Key_Underscore: return char16_t{0x1F};
    default: return std::nullopt;
    }
}

} // namespace

std::optional<termdef::KeyStroke> KeyStrokeFromEvent(const QKeyEvent& event) {
    const bool keypad = OnKeypad(event);
    const int key = event.nativeVirtualKey() == kBreakKeysym ? int{Qt::Key_Pause} : event.key();
    const QtKeyRow* row = RowOf(key, keypad);
    if (row == nullptr) {
        return std::nullopt;
    }
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    termdef::KeyStroke stroke{row->special};
    stroke.keypad = keypad || row->place == Place::kKeypad;
    stroke.shift = modifiers.testFlag(Qt::ShiftModifier) || key == Qt::Key_Backtab;
    stroke.ctrl = modifiers.testFlag(Qt::ControlModifier);
    stroke.alt = modifiers.testFlag(Qt::AltModifier);
    return stroke;
}

std::u16string TypedCharacters(const QKeyEvent& event) {
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    const bool ctrl = modifiers.testFlag(Qt::ControlModifier);
    if (modifiers.testFlag(Qt::AltModifier) && !ctrl) {
        return {};
    }
    switch (event.key()) {
    case Qt::Key_Return: return {ctrl ? kLineFeed : kReturn};
    case Qt::Key_Escape: return {kEscape};
    case Qt::Key_Backspace: return {ctrl ? kDelete : kBackspace};
    default: break;
    }
    // Ctrl+Alt is how AltGr arrives: its text is the character it makes.
    if (ctrl && !modifiers.testFlag(Qt::AltModifier)) {
        if (const std::optional<char16_t> control = ControlCharacter(event.key())) {
            return {*control};
        }
    }
    std::u16string typed;
    for (const QChar ch : event.text()) {
        typed.push_back(ch.unicode() <= 0xFF ? ch.unicode() : kOutsideCodePage);
    }
    return typed;
}

std::optional<unsigned> ConsoleSelectionDigit(const QKeyEvent& event) {
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    if (event.type() != QEvent::KeyPress || !modifiers.testFlag(Qt::AltModifier) ||
        modifiers.testFlag(Qt::ControlModifier) || OnKeypad(event) || event.key() < Qt::Key_0 ||
        event.key() > Qt::Key_9) {
        return std::nullopt;
    }
    return static_cast<unsigned>(event.key() - Qt::Key_0);
}

ConsoleKeyboard::ConsoleKeyboard(KeyboardContext context) : context_(std::move(context)) {}

std::function<void()> ConsoleKeyboard::SetBeep(std::function<void()> beep) {
    return std::exchange(context_.beep, std::move(beep));
}

void ConsoleKeyboard::Beep() {
    const Properties* properties =
        context_.windows != nullptr ? context_.windows->Context().properties : nullptr;
    if (properties != nullptr && !properties->beepOnError) {
        return;
    }
    if (context_.beep) {
        context_.beep();
    } else {
        QApplication::beep();
    }
}

bool ConsoleKeyboard::PreTranslateKey(QObject* target, QKeyEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    if (const std::optional<unsigned> digit = ConsoleSelectionDigit(*event)) {
        ConsoleWindow* window =
            context_.consoleWindowByIndex ? context_.consoleWindowByIndex(*digit) : nullptr;
        if (!ActivateConsoleWindow(window)) {
            Beep();
        }
        return true;
    }
    ConsoleWindow* window =
        context_.windows != nullptr ? context_.windows->WindowOfTarget(target) : nullptr;
    if (window == nullptr) {
        return false;
    }
    const std::optional<termdef::KeyStroke> stroke = KeyStrokeFromEvent(*event);
    const std::optional<std::int32_t> code =
        stroke ? termdef::KeyCodeFromMessage(*stroke) : std::nullopt;
    if (!code) {
        return false;
    }
    window->TypeCode(*code);
    return true;
}

bool ConsoleKeyboard::ActivateConsoleWindow(ConsoleWindow* window) {
    QMdiSubWindow* sub = window != nullptr ? window->SubWindow() : nullptr;
    if (sub == nullptr) {
        return false;
    }
    if (sub->isMinimized()) {
        // Activating a window while the others are maximised shows it
        // maximised too, as the frame keeps its consoles in one mode.
        const bool maximized = context_.consolesMaximized && context_.consolesMaximized();
        window->ShowAs(maximized ? kShowMaximized : kShowNormal);
    }
    if (QMdiArea* area = sub->mdiArea()) {
        area->setActiveSubWindow(sub);
    }
    return true;
}

} // namespace kestra::console
