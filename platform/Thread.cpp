#include "platform/Thread.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <unistd.h>
#include <utility>

namespace kestra::platform {

namespace {

void* RunBody(void* argument) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
    (*body)();
    return nullptr;
}

std::size_t StackSize() {
    const long minimum = sysconf(_SC_THREAD_STACK_MIN);
    return std::max(Thread::kStackBytes,
                    minimum > 0 ? static_cast<std::size_t>(minimum) : PTHREAD_STACK_MIN);
}

} // namespace

Thread::~Thread() {
    if (running_) {
        Detach();
    }
}

Thread::Thread(Thread&& other) noexcept
    : handle_(other.handle_), running_(std::exchange(other.running_, false)) {}

Thread& Thread::operator=(Thread&& other) noexcept {
    if (this != &other) {
        if (running_) {
            Detach();
        }
        handle_ = other.handle_;
        running_ = std::exchange(other.running_, false);
    }
    return *this;
}

ThreadStart Thread::Start(std::function<void()> body) {
    ThreadStart result;
    pthread_attr_t attributes;
    if (int error = pthread_attr_init(&attributes)) {
        result.error = error;
        return result;
    }
    int error = pthread_attr_setstacksize(&attributes, StackSize());
    auto* argument = new std::function<void()>(std::move(body));
    if (error == 0) {
        error = pthread_create(&result.thread.handle_, &attributes, RunBody, argument);
    }
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        delete argument;
        result.error = error;
        return result;
    }
    result.thread.running_ = true;
    return result;
}

void Thread::Join() {
    if (running_) {
        pthread_join(handle_, nullptr);
        running_ = false;
    }
}

void Thread::Detach() {
    if (running_) {
        pthread_detach(handle_);
        running_ = false;
    }
}

} // namespace kestra::platform
