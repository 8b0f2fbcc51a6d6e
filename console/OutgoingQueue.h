#pragma once

#include "platform/WakeUpSignal.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

// The bytes on their way to one console's server: typed keys, the terminal's
// replies and pasted text, in the order they were produced. Producers append
// and never wait on the connection; the console's writer thread takes them
// out and waits for the connection instead, so a server that stops reading
// stalls its own console's output and nothing else.
namespace kestra::console {

// A megabyte is minutes of typing or pasting at any speed a server keeps up
// with, yet a server that never reads cannot make the program grow without
// end.
inline constexpr std::size_t kOutgoingLimit = std::size_t{1} << 20;

// What became of a byte offered to a console's server.
enum class Delivery {
    Queued,
    NoConnection, // the console has none: nothing was queued
    QueueFull,    // the queue is still full: nothing was queued, try again
};

class OutgoingQueue {
public:
    // Appends bytes, whatever the queue holds: the callers look at Full()
    // first, so that a key, a reply or a pasted byte is never split.
    void Push(std::span<const std::uint8_t> bytes);
    void Push(std::uint8_t byte) { Push(std::span(&byte, 1)); }

    // OutgoingLimit bytes or more are queued or still being written.
    bool Full() const;
    // Waits at most `limit` for the queue to drop below its limit; true when
    // it has room. A stopped queue always has room.
    bool WaitForRoom(std::chrono::milliseconds limit);

    // The writer: waits for bytes and moves all of them into batch (which it
    // empties first). They still count as queued until Sent reports them.
    // False once the queue is stopped.
    bool Take(std::vector<std::uint8_t>& batch);
    void Sent(std::size_t count);
    // Readable while the queue is stopped, for a writer waiting on the
    // connection.
    int StopDescriptor() const { return stopSignal_.Descriptor(); }

    // Ends every wait: the writer returns, room waits return. Tests only;
    // the program's writers end with the process.
    void Stop();
    bool Stopped() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_; // bytes appended, sent, or the stop
    std::vector<std::uint8_t> bytes_; // not yet taken by the writer
    std::size_t pending_ = 0;         // queued and taken, not yet sent
    bool stopped_ = false;
    platform::WakeUpSignal stopSignal_;
};

} // namespace kestra::console
