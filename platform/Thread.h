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

// A thread started with a chosen stack size. Console readers run until the
// process ends and nobody waits for them, so destroying a Thread that still
// runs detaches it rather than ending the program as std::thread would.
class Thread {
public:
    // Stacks are never smaller than this, whatever a caller asks for (a
    // console reader asks for 8192 bytes, an editor's waiter for 1024). Linux
    // refuses anything below PTHREAD_STACK_MIN, and even that is too small
    // once the C library, Qt's event posting and the error routine's message
    // formatting run on the thread, and far too small for a sanitizer build.
    // Untouched stack pages cost no memory, so the floor is generous.
    static constexpr std::size_t MinimumStackBytes = 256 * 1024;

    Thread() = default;
    ~Thread();
    Thread(Thread&& other) noexcept;
    Thread& operator=(Thread&& other) noexcept;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Runs body on a new thread with a stack of EffectiveStackSize(stackBytes).
    static ThreadStart Start(std::function<void()> body, std::size_t stackBytes);

    // The stack size actually used for a request: at least the system's
    // minimum and MinimumStackBytes, rounded up to whole pages.
    static std::size_t EffectiveStackSize(std::size_t requestedBytes);

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
