#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <pthread.h>
#include <thread>

namespace kestra::platform {

struct ThreadStart;

// A short busy wait for another thread, for waits that are over in
// microseconds while both threads have a processor, where blocking and being
// woken would cost more than the wait. Each look is followed by a yield. A
// yield that comes back late shows that other work wants the processors:
// then spinning only takes turns from it and from the thread waited for, so
// the wait gives up at once and this object's waits are skipped for a while
// (the caller blocks instead).
class SpinWait {
public:
    using Clock = std::chrono::steady_clock;

    // Looks at done until it returns true (true), or until limit has passed
    // or the processors are busy (false).
    template <typename Done>
    bool Until(Done&& done, Clock::duration limit) {
        Clock::time_point now = Clock::now();
        if (now < busyUntil_) {
            return done();
        }
        const Clock::time_point end = now + limit;
        for (;;) {
            if (done()) {
                return true;
            }
            if (now >= end) {
                return false;
            }
            std::this_thread::yield();
            const Clock::time_point before = now;
            now = Clock::now();
            if (now - before > kLateYield) {
                busyUntil_ = now + kBusyPause;
                return done();
            }
        }
    }

private:
    // An idle processor gives the turn back within microseconds; another
    // thread that took it keeps it for a scheduler slice (a millisecond or
    // more).
    static constexpr auto kLateYield = std::chrono::microseconds(1000);
    static constexpr auto kBusyPause = std::chrono::milliseconds(20);
    Clock::time_point busyUntil_{};
};

// A thread with a stack of known size. Console readers run until the process
// ends and nobody waits for them, so destroying a Thread that still runs
// detaches it rather than ending the program as std::thread would.
class Thread {
public:
    // Every thread gets this much stack (or the system's minimum, if that is
    // larger): the C library, Qt's event posting and the error routine's
    // message formatting run on each, and a sanitizer build needs far more
    // than the work itself. Untouched stack pages cost no memory.
    static constexpr std::size_t kStackBytes = 256 * 1024;

    Thread() = default;
    ~Thread();
    Thread(Thread&& other) noexcept;
    Thread& operator=(Thread&& other) noexcept;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Runs body on a new thread.
    static ThreadStart Start(std::function<void()> body);

    bool Joinable() const { return running_; }
    void Join();
    void Detach();

private:
    pthread_t handle_{};
    bool running_ = false;
};

struct ThreadStart {
    Thread thread;
    int error = 0; // errno-style code when the thread could not be started

    bool Ok() const { return error == 0; }
};

} // namespace kestra::platform
