#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace kestra::platform {

// A manual-reset event: once set it stays set, releasing every waiter, until
// someone resets it. The pipe reader waits on one for the window's answer to a
// repaint request.
class Event {
public:
    explicit Event(bool initiallySet = false) : set_(initiallySet) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // Returns true when the event was set within timeoutMs (at once if it is
    // already set), false when the time ran out.
    bool Wait(int timeoutMs) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    // Changed with the mutex held, so a waiter cannot miss a Set; read
    // without it by IsSet, which a reader calls in a tight loop while the
    // window thread is about to Set.
    std::atomic<bool> set_;
};

} // namespace kestra::platform
