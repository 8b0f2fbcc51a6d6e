#include "platform/Exit.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>

namespace kestra::platform {
namespace {

// Everything the exit routine keeps for the process. A function-local static,
// so it exists before the first thread can fail, whatever the order of
// static initialisation.
struct ExitRoutineState {
    std::mutex mutex; // guards the lock fields and the steps
    std::condition_variable lockChanged;
    bool lockTaken = false;
    std::thread::id lockOwner;
    unsigned resetGeneration = 0;

    std::atomic<bool> exiting{false};
    std::atomic<bool> restartRequested{false};
    std::atomic<std::uint32_t> exitCode{kFailureExitCode};
    std::atomic<char> lineMarker{'-'};
    std::array<char, kMessageBufferSize> message{};

    FatalPresenter presenter;
    RestartFunction restart;
    ProcessEnder ender;
    LockWaitStep lockWaitStep;
};

// How long a waiting thread sleeps between two runs of the lock-wait step: short
// enough that a dialog queued for the window thread appears at once.
constexpr std::chrono::milliseconds kLockWaitStepInterval{10};

ExitRoutineState& State() {
    static ExitRoutineState state;
    return state;
}

enum class LockEntry { Acquired, ReleasedByReset };

// The fatal-error lock. Like a critical section it may be entered again by
// the thread that holds it (a dialog that fails while reporting), and it is
// never left on the way out: other threads wait here until the process ends.
LockEntry EnterLock() {
    ExitRoutineState& state = State();
    std::unique_lock guard(state.mutex);
    const std::thread::id self = std::this_thread::get_id();
    if (state.lockTaken && state.lockOwner == self) {
        return LockEntry::Acquired;
    }
    const unsigned generation = state.resetGeneration;
    const auto lockFreeOrReset = [&] {
        return !state.lockTaken || state.resetGeneration != generation;
    };
    while (!lockFreeOrReset()) {
        const LockWaitStep step = state.lockWaitStep;
        if (!step) {
            // Nothing to keep going: wait until the lock is free, which in a
            // real run is never (the reporting thread ends the process).
            state.lockChanged.wait(guard, lockFreeOrReset);
            break;
        }
        guard.unlock();
        step();
        guard.lock();
        state.lockChanged.wait_for(guard, kLockWaitStepInterval, lockFreeOrReset);
    }
    if (state.resetGeneration != generation) {
        return LockEntry::ReleasedByReset;
    }
    state.lockTaken = true;
    state.lockOwner = self;
    return LockEntry::Acquired;
}

// Used when a presenter threw, or a captured end was thrown: the process goes
// on, so the routine must be usable again.
void ReopenRoutine() {
    ExitRoutineState& state = State();
    std::lock_guard guard(state.mutex);
    state.exiting = false;
    state.lockTaken = false;
    state.lockOwner = {};
    state.lockChanged.notify_all();
}

template <typename Step>
Step CopyStep(const Step& step) {
    std::lock_guard guard(State().mutex);
    return step;
}

[[noreturn]] void EndProcess() {
    ExitRoutineState& state = State();
    // POSIX keeps only the low byte: 0xFFFFFFFF becomes 255.
    const int status = static_cast<int>(state.exitCode.load() & 0xFF);
    if (ProcessEnder ender = CopyStep(state.ender)) {
        ender(status);
    }
    std::fflush(nullptr);
    std::_Exit(status);
}

// The configuration report's line marker (0x7F after start-up) is meant to
// look like a blank; the dialog shows it so, and so does the terminal.
void WriteToStandardError(std::string_view message) {
    for (const char character : message) {
        std::fputc(character == '\x7F' ? ' ' : character, stderr);
    }
    if (message.empty() || message.back() != '\n') {
        std::fputc('\n', stderr);
    }
    std::fflush(stderr);
}

[[noreturn]] void RunExitRoutine(const char* format, std::va_list* arguments) {
    ExitRoutineState& state = State();
    if (EnterLock() == LockEntry::ReleasedByReset) {
        EndProcess();
    }
    // Whoever entered first has already reported; a second entry (only the
    // reporting thread itself can get here) goes straight to the end.
    if (!state.exiting.exchange(true)) {
        if (format != nullptr) {
            std::vsnprintf(state.message.data(), state.message.size(), format, *arguments);
            WriteToStandardError(FatalMessage());
            if (FatalPresenter presenter = CopyStep(state.presenter)) {
                try {
                    presenter(FatalMessage());
                } catch (...) {
                    ReopenRoutine();
                    throw;
                }
            }
        }
        if (state.restartRequested) {
            if (RestartFunction restart = CopyStep(state.restart)) {
                restart();
            }
        }
    }
    EndProcess();
}

} // namespace

void Fatal(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    // The routine never returns, but a test presenter may leave it by an
    // exception: end the argument list on that way out too.
    struct EndArguments {
        std::va_list& list;
        ~EndArguments() { va_end(list); }
    } endArguments{arguments};
    RunExitRoutine(format, &arguments);
}

void Fatal() {
    RunExitRoutine(nullptr, nullptr);
}

void Exit() {
    State().exitCode = 0;
    RunExitRoutine(nullptr, nullptr);
}

bool Exiting() {
    return State().exiting;
}
bool RestartRequested() {
    return State().restartRequested;
}
void SetRestartRequested(bool requested) {
    State().restartRequested = requested;
}
std::uint32_t ExitCode() {
    return State().exitCode;
}
char LineMarker() {
    return State().lineMarker;
}
void SetLineMarker(char marker) {
    State().lineMarker = marker;
}

std::span<char, kMessageBufferSize> MessageBuffer() {
    return State().message;
}

std::string_view FatalMessage() {
    const auto& message = State().message;
    std::string_view text(message.data(), message.size());
    return text.substr(0, text.find('\0'));
}

FatalPresenter SetFatalPresenter(FatalPresenter presenter) {
    std::lock_guard guard(State().mutex);
    return std::exchange(State().presenter, std::move(presenter));
}

RestartFunction SetRestartFunction(RestartFunction restart) {
    std::lock_guard guard(State().mutex);
    return std::exchange(State().restart, std::move(restart));
}

ProcessEnder SetProcessEnder(ProcessEnder ender) {
    std::lock_guard guard(State().mutex);
    return std::exchange(State().ender, std::move(ender));
}

LockWaitStep SetLockWaitStep(LockWaitStep step) {
    std::lock_guard guard(State().mutex);
    return std::exchange(State().lockWaitStep, std::move(step));
}

void ResetExitStateForTesting() {
    ExitRoutineState& state = State();
    std::lock_guard guard(state.mutex);
    state.lockTaken = false;
    state.lockOwner = {};
    ++state.resetGeneration;
    state.exiting = false;
    state.restartRequested = false;
    state.exitCode = kFailureExitCode;
    state.lineMarker = '-';
    state.message.fill('\0');
    state.lockChanged.notify_all();
}

ScopedFatalCapture::ScopedFatalCapture() {
    ResetExitStateForTesting();
    previousPresenter_ =
        SetFatalPresenter([](std::string_view message) { throw FatalError(message); });
    previousRestart_ = SetRestartFunction([] {});
    // The process goes on after a captured end, so the routine is opened again
    // for the next case; ExitCode and the message stay for inspection.
    previousEnder_ = SetProcessEnder([](int status) {
        ReopenRoutine();
        throw ProcessEnded(status);
    });
}

ScopedFatalCapture::~ScopedFatalCapture() {
    SetFatalPresenter(std::move(previousPresenter_));
    SetRestartFunction(std::move(previousRestart_));
    SetProcessEnder(std::move(previousEnder_));
    ResetExitStateForTesting();
}

} // namespace kestra::platform
