#include "console/window/RecordConsole.h"

#include "console/window/ConsoleWindow.h"

namespace kestra::console {

CursorPosition RecordConsole::Cursor() const {
    const CursorCell cell = UnpackCursor(record_.cursorState);
    CursorPosition cursor;
    cursor.row = static_cast<int>(cell.row);
    cursor.column = static_cast<int>(cell.column);
    cursor.doubleWidth = cell.doubleWidth;
    cursor.visible = CursorVisibleByte(record_.cursorState) != 0;
    return cursor;
}

void RecordConsole::CursorAfterReset() {
    const emulator::ScreenBuffer& screen = record_.emulator->screen;
    record_.cursorState =
        PackCursor(record_.cursorState, CursorCell{false, screen.shownRow, screen.shownCol});
}

void RecordConsole::Attach(ConsoleWindow& window) {
    window_.store(&window, std::memory_order_release);
    AttachWindow(record_, *this);
}

void RecordConsole::PostRepaint(RepaintKind kind, CellRange cells) {
    if (ConsoleWindow* window = window_.load(std::memory_order_acquire)) {
        window->PostRepaint(kind, cells);
    }
}

void RecordConsole::PostServerState(bool waiting) {
    ConsoleWindow* window = window_.load();
    if (window == nullptr) {
        return;
    }
    QString title = QString::fromStdString(record_.unitName);
    if (waiting) {
        title += QStringLiteral(" - waiting for its server");
    }
    QMetaObject::invokeMethod(
        window, [window, title] { window->SetTitle(title); }, Qt::QueuedConnection);
}

void RecordConsole::PostResize(unsigned rows, unsigned columns) {
    if (ConsoleWindow* window = window_.load(std::memory_order_acquire)) {
        window->PostResize(static_cast<int>(rows), static_cast<int>(columns));
    }
}

} // namespace kestra::console
