#pragma once

#include <QEvent>

namespace kestra::console {
struct ConsoleRecord;
}

// Messages to the frame and the console windows, posted with
// QCoreApplication::postEvent, which is safe from any thread. The types keep
// the offsets of the window messages they stand for above QEvent::User:
// 0 registers a console, 4 and 5 (repaint and resize, the console windows'
// own) are left to them, 0x100 carries a menu command.
namespace kestra::shell {

inline constexpr QEvent::Type kRegisterConsoleEvent = static_cast<QEvent::Type>(QEvent::User + 0);
inline constexpr QEvent::Type kCommandEvent = static_cast<QEvent::Type>(QEvent::User + 0x100);

// A console defined by the configuration, registered before its window exists.
class RegisterConsoleEvent : public QEvent {
public:
    RegisterConsoleEvent(console::ConsoleRecord* record, int rows, int columns)
        : QEvent(kRegisterConsoleEvent), record(record), rows(rows), columns(columns) {}
    console::ConsoleRecord* record;
    int rows;
    int columns;
};

// A menu command the frame does not handle itself, passed on to the active
// console window (for example the console's Reset, 7900).
class CommandEvent : public QEvent {
public:
    explicit CommandEvent(int command) : QEvent(kCommandEvent), command(command) {}
    int command;
};

} // namespace kestra::shell
