#pragma once

#include <QEvent>

namespace kestra::console {
struct ConsoleRecord;
}

// Messages to the frame and the console windows, posted with
// QCoreApplication::postEvent, which is safe from any thread. The types keep
// the offsets of the window messages they stand for above QEvent::User:
// 0 registers a console; 4 and 5 (repaint and resize) and 0x100 (a menu
// command for the active console window, ConsoleCommandEvent) are the console
// windows' own.
namespace kestra::shell {

inline constexpr QEvent::Type kRegisterConsoleEvent = static_cast<QEvent::Type>(QEvent::User + 0);

// A console defined by the configuration, registered before its window exists.
class RegisterConsoleEvent : public QEvent {
public:
    RegisterConsoleEvent(console::ConsoleRecord* record, int rows, int columns)
        : QEvent(kRegisterConsoleEvent), record(record), rows(rows), columns(columns) {}
    console::ConsoleRecord* record;
    int rows;
    int columns;
};

} // namespace kestra::shell
