#pragma once

#include <QEvent>

namespace kestra::console {
struct ConsoleRecord;
}

// A message to the frame, posted with QCoreApplication::postEvent, which is
// safe from any thread. The console windows' notices and commands are their
// own (console/window/ConsoleWindow.h); every type is registered with Qt.
namespace kestra::shell {

QEvent::Type RegisterConsoleEventType();

// A console defined by the configuration, registered before its window exists.
class RegisterConsoleEvent : public QEvent {
public:
    RegisterConsoleEvent(console::ConsoleRecord* record, int rows, int columns)
        : QEvent(RegisterConsoleEventType()), record(record), rows(rows), columns(columns) {}
    console::ConsoleRecord* record;
    int rows;
    int columns;
};

} // namespace kestra::shell
