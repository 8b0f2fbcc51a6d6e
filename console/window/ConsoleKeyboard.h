#pragma once

#include "termdef/KeyTranslation.h"

#include <QtGlobal>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QKeyEvent;
class QObject;

// Typing into the consoles: the adapter from Qt's key events to the
// display-free key strokes, the characters ordinary keys type, and the hook
// that sees every key event of the program before any widget does.
namespace kestra::console {

class ConsoleWindow;
class ConsoleWindowList;

// The special key a key event is, where it sits and its modifiers; none for a
// key that types characters. The keypad is told from the grey block by
// Qt::KeypadModifier (or a keypad keysym as native virtual key), and a keypad
// key is the same stroke whether NumLock turned it into a digit or not.
std::optional<termdef::KeyStroke> KeyStrokeFromEvent(const QKeyEvent& event);

// What an ordinary key types into a console, one code per character: the
// event's text, with the controls a terminal keyboard makes whatever the
// platform puts in the text (Ctrl+letter, Ctrl+[ and the like, Escape, Enter
// as 13 and Ctrl+Enter as 10, Backspace as 8 and Ctrl+Backspace as 0x7F).
// Alt without Ctrl types nothing: those keys belong to the menus and console
// selection. Characters beyond Latin-1 become '?', as in a single-byte code
// page, so that none is taken for a key code (0x100 and above).
std::u16string TypedCharacters(const QKeyEvent& event);

// The console index of Alt+digit on the main keyboard, or none.
std::optional<unsigned> ConsoleSelectionDigit(const QKeyEvent& event);

struct KeyboardContext {
    ConsoleWindowList* windows = nullptr;
    // The window of the console at an index of the console table (the
    // console-selection keys), or null.
    std::function<ConsoleWindow*(unsigned index)> consoleWindowByIndex;
    // Console windows are shown maximised inside the frame.
    std::function<bool()> consolesMaximized;
    // The system beep; empty: QApplication::beep().
    std::function<void()> beep;
};

class ConsoleKeyboard {
public:
    explicit ConsoleKeyboard(KeyboardContext context);

    // Offered every key event of the program before its target sees it; true
    // consumes it. Alt+digit selects a console wherever it is typed (a beep
    // when there is none, if Beep on Error is on); a special key typed into a
    // console window goes to its emulator as a key code. Everything else,
    // and every key typed into the frame or a dialog, passes.
    bool PreTranslateKey(QObject* target, QKeyEvent* event);

    // Brings a console window forward: restored from an icon unless consoles
    // are shown maximised (then it is maximised like the others), and made
    // the active one. False for no window.
    bool ActivateConsoleWindow(ConsoleWindow* window);

    // Returns the beep it replaces.
    std::function<void()> SetBeep(std::function<void()> beep);

private:
    void Beep();
    void KeepLockState(QObject* target, const QKeyEvent& event);
    bool ActivateNextOnCtrlF6(QObject* target, const QKeyEvent& event);

    KeyboardContext context_;
    // NumLock or ScrollLock pressed in a console: its lock as it was then,
    // put back when the key is released.
    struct PressedLock {
        int key = 0;
        unsigned modifiers = 0;
        bool on = false;
    };
    std::optional<PressedLock> pressedLock_;
};

} // namespace kestra::console
