#include "console/window/PasteRunner.h"

#include "console/Selection.h"

#include <utility>
#include <vector>

namespace kestra::console {

PasteRunner::PasteRunner(Pause pause) : pause_(std::move(pause)) {}

PasteRunner::~PasteRunner() {
    stop_->Set();
    if (thread_.Joinable()) {
        thread_.Join();
    }
}

bool PasteRunner::Idle() {
    if (!thread_.Joinable()) {
        return true;
    }
    if (running_->load(std::memory_order_acquire)) {
        return false;
    }
    thread_.Join();
    return true;
}

bool PasteRunner::Start(std::u16string_view text, WriteByte write, std::uint16_t intercharDelay,
                        std::uint16_t returnDelay) {
    if (!Idle()) {
        return false;
    }
    // The schedule is the paste's private copy of the text.
    std::vector<PasteStep> steps = PasteSchedule(text, intercharDelay, returnDelay);
    if (steps.empty()) {
        return true;
    }
    running_->store(true, std::memory_order_release);
    auto body = [steps = std::move(steps), write = std::move(write), pause = pause_,
                 running = running_, stop = stop_] {
        for (const PasteStep& step : steps) {
            Delivery delivery = Delivery::QueueFull;
            while (!stop->IsSet() && (delivery = write(step.byte)) == Delivery::QueueFull) {
            }
            if (delivery != Delivery::Queued) {
                break;
            }
            if (pause) {
                pause(step.pauseMs);
            } else if (stop->Wait(step.pauseMs)) {
                break;
            }
        }
        running->store(false, std::memory_order_release);
    };
    platform::ThreadStart started = platform::Thread::Start(std::move(body));
    if (!started.Ok()) {
        running_->store(false, std::memory_order_release);
        return false;
    }
    thread_ = std::move(started.thread);
    return true;
}

} // namespace kestra::console
