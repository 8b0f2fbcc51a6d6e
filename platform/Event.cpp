#include "platform/Event.h"

#include <chrono>

namespace kestra::platform {

void Event::Set() {
    {
        std::lock_guard lock(mutex_);
        set_ = true;
    }
    changed_.notify_all();
}

void Event::Reset() {
    std::lock_guard lock(mutex_);
    set_ = false;
}

bool Event::IsSet() const {
    std::lock_guard lock(mutex_);
    return set_;
}

bool Event::Wait(int timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return set_; });
}

void Event::WaitForever() const {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return set_; });
}

} // namespace kestra::platform
