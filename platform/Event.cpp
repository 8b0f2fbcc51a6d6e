#include "platform/Event.h"

#include <chrono>

namespace kestra::platform {

void Event::Set() {
    {
        std::lock_guard lock(mutex_);
        set_.store(true, std::memory_order_release);
    }
    changed_.notify_all();
}

void Event::Reset() {
    std::lock_guard lock(mutex_);
    set_.store(false, std::memory_order_relaxed);
}

bool Event::IsSet() const {
    return set_.load(std::memory_order_acquire);
}

bool Event::Wait(int timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [this] { return set_.load(std::memory_order_relaxed); });
}

} // namespace kestra::platform
