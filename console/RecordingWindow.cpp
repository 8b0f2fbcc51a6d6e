#include "console/RecordingWindow.h"

#include "console/ConsoleRecord.h"

namespace kestra::console {

std::string DescribeRepaint(RepaintKind kind, const CellRange& cells) {
    return "repaint " + std::to_string(static_cast<int>(kind)) + " " +
           std::to_string(cells.leftColumn) + " " + std::to_string(cells.topRow) + " " +
           std::to_string(cells.rightColumn) + " " + std::to_string(cells.bottomRow);
}

std::string DescribeResize(unsigned rows, unsigned columns) {
    return "resize " + std::to_string(rows) + " " + std::to_string(columns);
}

void RecordingWindow::PostRepaint(RepaintKind kind, CellRange cells) {
    {
        std::lock_guard guard(mutex_);
        lines_.push_back(DescribeRepaint(kind, cells));
        ++repaints_;
    }
    posted_.notify_all();
    if (answer_ == Answer::AtOnce) {
        record_.paintedEvent.Set();
    }
}

void RecordingWindow::PostResize(unsigned rows, unsigned columns) {
    {
        std::lock_guard guard(mutex_);
        lines_.push_back(DescribeResize(rows, columns));
    }
    posted_.notify_all();
}

std::vector<std::string> RecordingWindow::Lines() const {
    std::lock_guard guard(mutex_);
    return lines_;
}

std::size_t RecordingWindow::RepaintCount() const {
    std::lock_guard guard(mutex_);
    return repaints_;
}

bool RecordingWindow::WaitForRepaints(std::size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock guard(mutex_);
    return posted_.wait_for(guard, limit, [&] { return repaints_ >= count; });
}

} // namespace kestra::console
