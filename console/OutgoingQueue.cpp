#include "console/OutgoingQueue.h"

namespace kestra::console {

void OutgoingQueue::Push(std::span<const std::uint8_t> bytes) {
    std::lock_guard held(mutex_);
    const bool wasEmpty = bytes_.empty();
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    pending_ += bytes.size();
    if (wasEmpty) {
        changed_.notify_all();
    }
}

bool OutgoingQueue::Full() const {
    std::lock_guard held(mutex_);
    return pending_ >= kOutgoingLimit;
}

bool OutgoingQueue::WaitForRoom(std::chrono::milliseconds limit) {
    std::unique_lock held(mutex_);
    return changed_.wait_for(held, limit, [this] { return stopped_ || pending_ < kOutgoingLimit; });
}

bool OutgoingQueue::Take(std::vector<std::uint8_t>& batch) {
    batch.clear();
    std::unique_lock held(mutex_);
    changed_.wait(held, [this] { return stopped_ || !bytes_.empty(); });
    if (stopped_) {
        return false;
    }
    // The emptied batch becomes the next queue: no allocation once both
    // have grown to the traffic's size.
    batch.swap(bytes_);
    return true;
}

void OutgoingQueue::Sent(std::size_t count) {
    std::lock_guard held(mutex_);
    const bool wasFull = pending_ >= kOutgoingLimit;
    pending_ -= count;
    if (wasFull && pending_ < kOutgoingLimit) {
        changed_.notify_all();
    }
}

void OutgoingQueue::Stop() {
    {
        std::lock_guard held(mutex_);
        stopped_ = true;
    }
    changed_.notify_all();
    stopSignal_.Raise();
}

bool OutgoingQueue::Stopped() const {
    std::lock_guard held(mutex_);
    return stopped_;
}

} // namespace kestra::console
