#pragma once

namespace kestra::platform {

// A descriptor that becomes readable when someone raises the signal, so that a
// thread blocked in poll() on a connection can also be woken for other work
// (an idle console's reader waits on both instead of waking periodically).
// Raise() is safe from any thread and from a signal handler.
class WakeUpSignal {
public:
    WakeUpSignal();
    ~WakeUpSignal();
    WakeUpSignal(const WakeUpSignal&) = delete;
    WakeUpSignal& operator=(const WakeUpSignal&) = delete;

    // errno of a failed creation, 0 when the signal is usable.
    int CreationError() const { return creationError_; }
    // The descriptor to poll for reading.
    int Descriptor() const { return readEnd_; }

    void Raise() const;
    // Consumes every Raise() so far; the descriptor is no longer readable.
    void Clear() const;

private:
    int readEnd_ = -1;
    int writeEnd_ = -1;
    int creationError_ = 0;
};

} // namespace kestra::platform
