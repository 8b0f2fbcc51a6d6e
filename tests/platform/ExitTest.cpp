#include "platform/Exit.h"

#include "support/Program.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <latch>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace kestra::platform;
using namespace std::chrono_literals;

bool WaitFor(const std::function<bool()>& condition) {
    return kestra::testing::Eventually(condition, 10s);
}

// Every way out: what the presenter is shown, what reaches standard error
// (before the presenter, which may hang on a dialog) and the status.
TEST(Exit, EachWayOutReportsItsMessageAndEndsWithItsStatus) {
    const std::string longText(5000, 'x');
    const std::string fits(kMessageBufferSize - 1, 'y');
    const std::string cut = longText.substr(0, kMessageBufferSize - 1);
    // clang-format off
    const struct { const char* name; std::function<void()> leave; std::optional<std::string> shown; std::string err; int status; } rows[] = {
        {"Exit",      [] { Exit(); },                                std::nullopt,           "",                        0},
        {"Fatal()",   [] { Fatal(); },                               std::nullopt,           "",                        255},
        {"arguments", [] { Fatal("Can't open %s: %d%c", "a", 2, '!'); }, "Can't open a: 2!", "Can't open a: 2!\n",     255},
        // The buffer holds 2000 bytes, terminator included: longer texts lose their end.
        {"cut",       [&] { Fatal("%s", longText.c_str()); },        cut,                    cut + "\n",                255},
        {"just fits", [&] { Fatal("%s", fits.c_str()); },            fits,                   fits + "\n",               255},
        // The line marker looks like a blank on a terminal; the presenter decides itself.
        {"marker",    [] { Fatal("A B\n\x7F ^\n"); },                "A B\n\x7F ^\n",        "A B\n  ^\n",              255},
    };
    // clang-format on
    for (const auto& row : rows) {
        ScopedFatalCapture capture;
        std::vector<std::string> shown;
        std::optional<std::string> err;
        ::testing::internal::CaptureStderr();
        SetFatalPresenter([&](std::string_view message) {
            err = ::testing::internal::GetCapturedStderr();
            shown.emplace_back(message);
        });
        int status = -1;
        try {
            row.leave();
        } catch (const ProcessEnded& ended) {
            status = ended.status();
        }
        if (!err)
            err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, row.status) << row.name;
        EXPECT_EQ(shown, row.shown ? std::vector{*row.shown} : std::vector<std::string>{})
            << row.name;
        EXPECT_EQ(*err, row.err) << row.name;
        EXPECT_EQ(FatalMessage(), row.shown.value_or("")) << row.name << ": the dialogs read it";
        EXPECT_EQ(ExitCode(), row.status == 0 ? 0u : kFailureExitCode) << row.name;
        EXPECT_FALSE(Exiting()) << row.name << ": a captured end leaves the routine open";
    }
}

// The restart runs after the report and before the end, only when asked for;
// a presenter that throws takes the report over and leaves the routine open;
// one that fails itself ends the process without a second report.
TEST(Exit, RestartAndFailingPresentersKeepOneReportAndOneEnd) {
    ScopedFatalCapture capture;
    std::vector<std::string> steps;
    SetFatalPresenter([&](std::string_view message) {
        steps.emplace_back(message);
        EXPECT_TRUE(Exiting());
        if (message == "throw")
            throw FatalError(message);
        if (message == "fail")
            Fatal("failed while reporting");
        SetRestartRequested(message == "restart"); // the dialog's Restart button
    });
    SetRestartFunction([&] { steps.push_back("restarted"); });
    const ProcessEnder capturedEnd = SetProcessEnder({});
    SetProcessEnder([&](int status) {
        steps.push_back("end");
        capturedEnd(status);
    });
    using Steps = std::vector<std::string>;
    const std::pair<std::function<void()>, Steps> rows[] = {
        {[] { Fatal("restart"); }, {"restart", "restarted", "end"}},
        {[] { Fatal("throw"); }, {"throw"}},
        {[] { Fatal("stay"); }, {"stay", "end"}},
        {[] { Fatal("fail"); }, {"fail", "end"}},
        {[] { Exit(); }, {"end"}},
    };
    for (const auto& [leave, expected] : rows) {
        steps.clear();
        EXPECT_ANY_THROW(leave());
        EXPECT_EQ(steps, expected);
    }
}

// The lock-wait step belongs to waiting: the reporting thread never runs it,
// the waiting one runs it again and again until it is let go.
TEST(Exit, TwoThreadsFailingTogetherGiveOneReportAndOneExit) {
    ScopedFatalCapture capture; // puts the presenter and the ender back
    std::atomic<int> steps{0}, presented{0}, ended{0}, leftFatal{0};
    std::latch releasePresenter(1);
    SetFatalPresenter([&](std::string_view) {
        ++presented;
        releasePresenter.wait();
    });
    SetProcessEnder([&](int status) {
        ++ended;
        throw ProcessEnded(status);
    });
    const LockWaitStep oldStep = SetLockWaitStep([&] { ++steps; });

    std::latch start(2);
    auto failingThread = [&](int id) {
        start.arrive_and_wait();
        try {
            Fatal("thread %d failed", id);
        } catch (const ProcessEnded&) {
            ++leftFatal;
        }
    };
    std::thread first(failingThread, 1);
    std::thread second(failingThread, 2);

    ASSERT_TRUE(WaitFor([&] { return presented == 1; }));
    EXPECT_TRUE(WaitFor([&] { return steps >= 3; })) << "the waiter ran its step only " << steps;
    releasePresenter.count_down();
    ASSERT_TRUE(WaitFor([&] { return leftFatal == 1; }));
    std::this_thread::sleep_for(50ms); // the waiter must stay in the lock
    EXPECT_EQ(presented, 1);
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(leftFatal, 1);
    const std::string message(FatalMessage());
    EXPECT_TRUE(message == "thread 1 failed" || message == "thread 2 failed") << message;

    // Let the waiter go so that the threads can be joined.
    ResetExitStateForTesting();
    first.join();
    second.join();
    EXPECT_EQ(leftFatal, 2);
    EXPECT_EQ(presented, 1) << "a released waiter must not report";
    EXPECT_TRUE(SetLockWaitStep(oldStep)) << "the setter returns the step it replaced";
}

// A task handed to one thread, as to a window thread's event queue: the
// poster waits until it has run there, or until the queue is abandoned.
class TaskQueue {
public:
    bool RunThereAndWait(std::function<void()> task) { // false when abandoned first
        std::unique_lock guard(mutex_);
        task_ = std::move(task);
        changed_.wait(guard, [&] { return ran_ || abandoned_; });
        return ran_;
    }
    void RunPending() {
        std::unique_lock guard(mutex_);
        if (task_ && !ran_) {
            guard.unlock();
            task_();
            guard.lock();
            ran_ = true;
            changed_.notify_all();
        }
    }
    void Abandon() {
        std::lock_guard guard(mutex_);
        abandoned_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> task_;
    bool ran_ = false, abandoned_ = false;
};

// A reader thread reports first and its presenter waits for the dialog to
// run on the window thread; then the window thread fails too. The window
// thread must keep running its queue while it waits for the routine, or the
// dialog never shows and neither thread ever ends.
TEST(Exit, AWaitingWindowThreadRunsTheDialogOfTheReportingThread) {
    ScopedFatalCapture capture; // puts the presenter and the ender back
    TaskQueue windowQueue;
    std::atomic<std::thread::id> windowThread{};
    std::atomic<int> presented{0}, ended{0};
    std::atomic<bool> dialogRanOnWindowThread{false}, dialogRan{false};
    std::atomic<bool> readerLeft{false}, windowLeft{false};

    SetFatalPresenter([&](std::string_view) {
        ++presented;
        dialogRan = windowQueue.RunThereAndWait(
            [&] { dialogRanOnWindowThread = std::this_thread::get_id() == windowThread.load(); });
    });
    SetProcessEnder([&](int status) {
        ++ended;
        throw ProcessEnded(status);
    });
    const LockWaitStep oldStep = SetLockWaitStep([&] {
        if (std::this_thread::get_id() == windowThread.load())
            windowQueue.RunPending();
    });
    auto failing = [](std::atomic<bool>& left, const char* message) {
        try {
            Fatal("%s", message);
        } catch (const ProcessEnded&) {
            left = true;
        }
    };

    std::thread reader(failing, std::ref(readerLeft), "Pipe DEMO1 closed");
    ASSERT_TRUE(WaitFor([&] { return presented == 1; }));
    std::thread window([&] {
        windowThread = std::this_thread::get_id();
        failing(windowLeft, "Write to DEMO1 failed");
    });

    const bool readerEnded = WaitFor([&] { return readerLeft.load(); });
    std::this_thread::sleep_for(50ms); // the window thread must stay in the lock
    const bool windowStillWaiting = !windowLeft;
    // Let both threads go, whatever happened, so that they can be joined.
    windowQueue.Abandon();
    ASSERT_TRUE(WaitFor([&] { return readerLeft.load(); }));
    const std::string reported(FatalMessage());
    ResetExitStateForTesting();
    reader.join();
    window.join();
    SetLockWaitStep(oldStep);

    EXPECT_TRUE(readerEnded) << "the reader's dialog never ran";
    EXPECT_TRUE(dialogRan);
    EXPECT_TRUE(dialogRanOnWindowThread);
    EXPECT_TRUE(windowStillWaiting) << "the window thread left before the process ended";
    EXPECT_EQ(presented, 1);
    EXPECT_EQ(reported, "Pipe DEMO1 closed");
    EXPECT_EQ(ended, 2) << "the reader's end, then the waiter let go by the reset";
}

TEST(Exit, DefaultEndTerminatesTheProcessWithTheLowByteOfTheExitCode) {
    EXPECT_EXIT(Fatal("bye"), ::testing::ExitedWithCode(255), "bye");
    EXPECT_EXIT(Exit(), ::testing::ExitedWithCode(0), "");
}

} // namespace
