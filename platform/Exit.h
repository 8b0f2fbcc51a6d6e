#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

// The program's only way out. Every normal exit and every fatal error passes
// through here: the first thread to arrive reports (message to standard error
// and to the presenter, usually the Fatal Error dialog), restarts the program
// when that was asked for, and ends the process; any other thread that fails
// meanwhile waits for ever.
namespace kestra::platform {

inline constexpr std::size_t kMessageBufferSize = 2000;
inline constexpr std::uint32_t kFailureExitCode = 0xFFFFFFFF;

// Never return: format the message (printf-style, cut to fit the 2000-byte
// message buffer), report it and end the process. Callable from any thread.
[[noreturn]] void Fatal(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same path without a report: nothing is shown.
[[noreturn]] void Fatal();
// The normal exit: exit code 0, nothing shown.
[[noreturn]] void Exit();

// Set once anyone has entered the exit routine; error reporters that would
// open windows of their own stay silent after that.
bool Exiting();
bool RestartRequested();
void SetRestartRequested(bool requested);
// 0xFFFFFFFF until Exit sets it to 0; the process status is its low byte.
std::uint32_t ExitCode();

// Written under the characters of an offending configuration line that
// precede the marked token: '-' until start-up sets kShownLineMarker, which
// the dialogs and kestra-check's report show as a blank.
inline constexpr char kShownLineMarker = '\x7F';
char LineMarker();
void SetLineMarker(char marker);

// The message buffer: filled by Fatal, also by the help display; read by the
// Fatal Error and help dialogs.
std::span<char, kMessageBufferSize> MessageBuffer();
std::string_view FatalMessage(); // the buffer's text up to its terminator

// Replaceable steps. Each setter returns the step it replaced; an empty
// function restores the default.
//  - presenter: shows the formatted message (default: nothing more than the
//    standard error copy). The shell installs the Fatal Error dialog. A
//    presenter that throws takes the report over: the exception leaves Fatal
//    and the routine is open again, as if it had never been entered.
//  - restart: starts a new instance; called when RestartRequested is set
//    (default: nothing). The shell owns the real restart.
//  - ender: ends the process with the status (default: flush the standard
//    streams and _Exit). If it returns, the process is ended anyway.
//  - lock-wait step: run over and over (every few milliseconds) by a thread
//    that waits for the exit routine while another thread reports (default:
//    nothing, the thread just waits). The reporting thread may need the
//    waiting one: its presenter shows the dialog on the window thread and
//    waits for it, so a window thread that failed meanwhile must keep its
//    event queue going. The shell installs a step that does that when it
//    runs on the window thread. It is called without any lock of the
//    routine held and may run anything, even a nested Fatal.
using FatalPresenter = std::function<void(std::string_view message)>;
using RestartFunction = std::function<void()>;
using ProcessEnder = std::function<void(int status)>;
using LockWaitStep = std::function<void()>;
FatalPresenter SetFatalPresenter(FatalPresenter presenter);
RestartFunction SetRestartFunction(RestartFunction restart);
ProcessEnder SetProcessEnder(ProcessEnder ender);
LockWaitStep SetLockWaitStep(LockWaitStep step);

// Thrown by the test presenter of ScopedFatalCapture: the reported message.
class FatalError : public std::runtime_error {
public:
    explicit FatalError(std::string_view message) : std::runtime_error(std::string(message)) {}
    std::string_view message() const { return what(); }
};

// Thrown by the test ender of ScopedFatalCapture: the process would have
// ended here with this status. The routine is open again afterwards.
class ProcessEnded : public std::exception {
public:
    explicit ProcessEnded(int status) : status_(status) {}
    int status() const { return status_; }
    const char* what() const noexcept override { return "process ended"; }

private:
    int status_;
};

// Tests only: return the exit routine to its state at process start (lock
// free, Exiting and RestartRequested clear, ExitCode 0xFFFFFFFF, empty
// message, LineMarker '-'). Threads still waiting in the lock are let go and
// leave through the ender. Installed steps stay as they are.
void ResetExitStateForTesting();

// Tests only: while it lives, the exit state starts fresh, a reported message
// throws FatalError and ending the process throws ProcessEnded, so every
// error text can be asserted without a dialog and without leaving the test.
class ScopedFatalCapture {
public:
    ScopedFatalCapture();
    ~ScopedFatalCapture();
    ScopedFatalCapture(const ScopedFatalCapture&) = delete;
    ScopedFatalCapture& operator=(const ScopedFatalCapture&) = delete;

private:
    FatalPresenter previousPresenter_;
    RestartFunction previousRestart_;
    ProcessEnder previousEnder_;
};

} // namespace kestra::platform
