#include "shell/ConsoleFrameBridge.h"

#include "shell/FrameWindow.h"

#include <QApplication>
#include <QMessageBox>

namespace kestra::shell {

void ConsoleFrameBridge::RegisterConsole(console::ConsoleRecord& record, unsigned rows,
                                         unsigned columns) {
    frame_.PostRegisterConsole(&record, static_cast<int>(rows), static_cast<int>(columns));
}

void ConsoleFrameBridge::Warn(const std::string& message) {
    QMetaObject::invokeMethod(
        &frame_,
        [this, text = QString::fromStdString(message)] {
            QMessageBox::warning(&frame_, QStringLiteral("KESTRA"), text);
        },
        Qt::QueuedConnection);
}

void ConsoleFrameBridge::Beep() {
    QMetaObject::invokeMethod(
        &frame_, [] { QApplication::beep(); }, Qt::QueuedConnection);
}

} // namespace kestra::shell
