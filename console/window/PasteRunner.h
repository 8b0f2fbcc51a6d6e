#pragma once

#include "console/OutgoingQueue.h"
#include "platform/Event.h"
#include "platform/Thread.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

// The one paste of the program: a background thread that sends text to a
// console's connection a byte at a time, pausing after each so that a slow
// server keeps up. Display-free; the window side reads the clipboard and
// hands the text over.
namespace kestra::console {

class PasteRunner {
public:
    // One byte to the console's connection. A full queue is offered the
    // byte again (the write waits a moment for room itself); a console
    // without a connection ends the paste.
    using WriteByte = std::function<Delivery(std::uint8_t byte)>;
    // The pause after a written byte; empty: a real pause, cut short when
    // the runner is destroyed.
    using Pause = std::function<void(std::uint16_t milliseconds)>;

    explicit PasteRunner(Pause pause = {});
    // A paste still running stops after its current byte.
    ~PasteRunner();
    PasteRunner(const PasteRunner&) = delete;
    PasteRunner& operator=(const PasteRunner&) = delete;

    // Starts sending the printable ASCII characters and carriage returns of
    // text, up to its first NUL, with intercharDelay after each character and
    // returnDelay after each carriage return; everything else is skipped
    // without a pause. False, and nothing sent, while another paste runs or
    // when no thread can be started. Text with nothing to send starts nothing.
    bool Start(std::u16string_view text, WriteByte write, std::uint16_t intercharDelay,
               std::uint16_t returnDelay);

    // No paste is running. A finished paste is cleaned up here.
    bool Idle();

private:
    Pause pause_;
    platform::Thread thread_;
    // Shared with the thread, which may still be ending when Idle looks.
    std::shared_ptr<std::atomic<bool>> running_ = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<platform::Event> stop_ = std::make_shared<platform::Event>();
};

} // namespace kestra::console
