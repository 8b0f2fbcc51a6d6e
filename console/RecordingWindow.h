#pragma once

#include "console/WindowLink.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

// A console window that shows nothing: it writes down every request it is
// posted, as text lines, in posting order. kestra-replay prints them; tests
// wait for them. Safe to post to from any thread.
namespace kestra::console {

// "repaint KIND LEFT TOP RIGHT BOTTOM" and "resize ROWS COLS".
std::string DescribeRepaint(RepaintKind kind, const CellRange& cells);
std::string DescribeResize(unsigned rows, unsigned columns);

class RecordingWindow : public ConsoleWindowLink {
public:
    // How the recorded window answers a repaint request.
    enum class Answer {
        AtOnce, // sets the painted event while the request is posted
        Never,  // never: the reader's wait always runs out
    };

    explicit RecordingWindow(ConsoleRecord& record, Answer answer = Answer::AtOnce)
        : record_(record), answer_(answer) {}

    void PostRepaint(RepaintKind kind, CellRange cells) override;
    void PostResize(unsigned rows, unsigned columns) override;

    std::vector<std::string> Lines() const;
    std::size_t RepaintCount() const;
    // Waits until at least count repaint requests were posted; false when
    // the time ran out first.
    bool WaitForRepaints(std::size_t count, std::chrono::milliseconds limit) const;

private:
    ConsoleRecord& record_;
    Answer answer_;
    mutable std::mutex mutex_;
    mutable std::condition_variable posted_;
    std::vector<std::string> lines_;
    std::size_t repaints_ = 0;
};

} // namespace kestra::console
