#include "console/WindowLink.h"

#include "console/ConsoleRecord.h"

#include <cstdio>

namespace kestra::console {

void AttachWindow(ConsoleRecord& record, ConsoleWindowLink& window) {
    record.window.store(&window, std::memory_order_release);
    // An idle reader blocks without a time limit; it must look again now
    // that its collected changes can be shown.
    record.readerWakeUp.Raise();
}

void ConsoleFrameLink::Warn(const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
}

ConsoleFrameLink* WindowSide::SetFrame(ConsoleFrameLink* frame) {
    return frame_.exchange(frame, std::memory_order_acq_rel);
}

void WindowSide::SetBeeps(bool onBell, bool onError) {
    beepOnBell_.store(onBell, std::memory_order_relaxed);
    beepOnError_.store(onError, std::memory_order_relaxed);
}

void WindowSide::Reset() {
    SetFrame(nullptr);
    SetBeeps(true, true);
}

WindowSide& TheWindowSide() {
    static WindowSide side;
    return side;
}

} // namespace kestra::console
