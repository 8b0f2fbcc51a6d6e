#include "shell/ConsoleFrameBridge.h"

#include "shell/FrameWindow.h"

#include <QApplication>

namespace kestra::shell {

void ConsoleFrameBridge::RegisterConsole(console::ConsoleRecord& record, unsigned rows,
                                         unsigned columns) {
    frame_.PostRegisterConsole(&record, static_cast<int>(rows), static_cast<int>(columns));
}

void ConsoleFrameBridge::Beep() {
    QMetaObject::invokeMethod(
        &frame_, [] { QApplication::beep(); }, Qt::QueuedConnection);
}

} // namespace kestra::shell
