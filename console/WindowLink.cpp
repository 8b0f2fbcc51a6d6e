#include "console/WindowLink.h"

#include "console/ConsoleRecord.h"

namespace kestra::console {

std::uint32_t PackRectangle(int left, int top, int right, int bottom) {
    // Each edge is cut to its low byte, as the request's format has it.
    auto byte = [](int value) { return static_cast<std::uint32_t>(value) & 0xFF; };
    return byte(left) << 24 | byte(top) << 16 | byte(right) << 8 | byte(bottom);
}

PackedRectangle UnpackRectangle(std::uint32_t packed) {
    auto edge = [packed](int shift) { return static_cast<int>((packed >> shift) & 0xFF); };
    return {edge(24), edge(16), edge(8), edge(0)};
}

void AttachWindow(ConsoleRecord& record, ConsoleWindowLink& window) {
    record.window.store(&window, std::memory_order_release);
    // An idle reader blocks without a time limit; it must look again now
    // that its collected changes can be shown.
    record.readerWakeUp.Raise();
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
