#include "platform/Exit.h"

#include "support/Program.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <latch>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace kestra::platform;
using namespace std::chrono_literals;

// Waits until condition holds, for at most ten seconds.
bool WaitFor(const std::function<bool()>& condition) {
    return kestra::testing::Eventually(condition, 10s);
}

std::string CapturedMessage(const std::function<void()>& failing) {
    try {
        failing();
    } catch (const FatalError& error) {
        return std::string(error.message());
    }
    ADD_FAILURE() << "no FatalError was thrown";
    return {};
}

TEST(Exit, FatalFormatsPrintfStyleAndKeepsTheFailureExitCode) {
    const std::string longText(5000, 'x');
    const std::string fits(kMessageBufferSize - 1, 'y');
    // clang-format off
    const struct { const char* name; std::function<void()> failing; std::string expected; } rows[] = {
        {"plain",          [] { Fatal("Out of memory"); },                        "Out of memory"},
        {"arguments",      [] { Fatal("Can't open %s: %d%c", "a.cnf", 2, '!'); }, "Can't open a.cnf: 2!"},
        {"percent",        [] { Fatal("100%%"); },                                "100%"},
        // The buffer holds 2000 bytes, terminator included: longer texts lose their end.
        {"cut",            [&] { Fatal("%s", longText.c_str()); },                longText.substr(0, kMessageBufferSize - 1)},
        {"just fits",      [&] { Fatal("%s", fits.c_str()); },                    fits},
        {"cut after args", [&] { Fatal("%d %s", 42, longText.c_str()); },         ("42 " + longText).substr(0, kMessageBufferSize - 1)},
    };
    // clang-format on
    for (const auto& row : rows) {
        ScopedFatalCapture capture;
        EXPECT_EQ(CapturedMessage(row.failing), row.expected) << row.name;
        EXPECT_EQ(FatalMessage(), row.expected) << row.name << ": the dialogs read the buffer";
        EXPECT_EQ(ExitCode(), kFailureExitCode) << row.name;
        EXPECT_FALSE(Exiting()) << row.name << ": a taken-over report leaves the routine open";
    }
}

TEST(Exit, OnlyTheNormalExitEndsWithStatusZero) {
    // clang-format off
    const struct { const char* name; std::function<void()> leave; bool presented; int status; std::uint32_t exitCode; } rows[] = {
        {"Exit",              [] { Exit(); },              false, 0,   0},
        {"Fatal, no message", [] { Fatal(); },             false, 255, kFailureExitCode},
        {"Fatal, message",    [] { Fatal("gone"); },       true,  255, kFailureExitCode},
    };
    // clang-format on
    for (const auto& row : rows) {
        ScopedFatalCapture capture;
        int presentations = 0;
        SetFatalPresenter([&](std::string_view) { ++presentations; });
        int status = -1;
        try {
            row.leave();
        } catch (const ProcessEnded& ended) {
            status = ended.status();
        }
        EXPECT_EQ(status, row.status) << row.name;
        EXPECT_EQ(presentations, row.presented ? 1 : 0) << row.name;
        EXPECT_EQ(ExitCode(), row.exitCode) << row.name;
    }
}

TEST(Exit, MessageGoesToStandardErrorBeforeThePresenter) {
    ScopedFatalCapture capture;
    std::string seenByPresenter;
    ::testing::internal::CaptureStderr();
    SetFatalPresenter([&](std::string_view message) {
        seenByPresenter = ::testing::internal::GetCapturedStderr();
        throw FatalError(message);
    });
    EXPECT_THROW(Fatal("Pipe %s closed", "P1"), FatalError);
    EXPECT_EQ(seenByPresenter, "Pipe P1 closed\n");

    // The line marker looks like a blank on a terminal; the presenter gets
    // the message as it is and decides itself.
    ::testing::internal::CaptureStderr();
    try {
        Fatal("A B\n\x7F ^\n");
    } catch (const FatalError& error) {
        EXPECT_EQ(error.message(), "A B\n\x7F ^\n");
    }
    EXPECT_EQ(seenByPresenter, "A B\n  ^\n") << "no second new-line after one that ends it";
}

TEST(Exit, RestartRunsAfterTheReportAndBeforeTheEnd) {
    ScopedFatalCapture capture;
    std::vector<std::string> steps;
    SetFatalPresenter([&](std::string_view) {
        steps.push_back("present");
        EXPECT_TRUE(Exiting());
        SetRestartRequested(true); // the dialog's Restart button
    });
    SetRestartFunction([&] { steps.push_back("restart"); });
    const ProcessEnder capturedEnd = SetProcessEnder({});
    SetProcessEnder([&](int status) {
        steps.push_back("end");
        capturedEnd(status);
    });
    EXPECT_THROW(Fatal("x"), ProcessEnded);
    EXPECT_EQ(steps, (std::vector<std::string>{"present", "restart", "end"}));

    steps.clear();
    SetRestartRequested(false);
    EXPECT_THROW(Exit(), ProcessEnded);
    EXPECT_EQ(steps, std::vector<std::string>{"end"}) << "no restart unless asked for";
}

TEST(Exit, AFailureWhileReportingEndsWithoutASecondReport) {
    ScopedFatalCapture capture;
    std::vector<std::string> reports;
    SetFatalPresenter([&](std::string_view message) {
        reports.emplace_back(message);
        Fatal("failed while reporting");
    });
    EXPECT_THROW(Fatal("first"), ProcessEnded);
    EXPECT_EQ(reports, std::vector<std::string>{"first"});
}

// The lock-wait step belongs to waiting: the reporting thread never runs it,
// the waiting one runs it again and again until it is let go.
TEST(Exit, TwoThreadsFailingTogetherGiveOneReportAndOneExit) {
    ScopedFatalCapture capture; // puts the presenter and the ender back
    std::atomic<int> steps{0};
    std::atomic<int> presented{0};
    std::atomic<int> ended{0};
    std::atomic<int> leftFatal{0};
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
    EXPECT_EQ(presented, 1);
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
    // True when the task ran, false when the queue was abandoned first.
    bool RunThereAndWait(std::function<void()> task) {
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
    bool ran_ = false;
    bool abandoned_ = false;
};

// A reader thread reports first and its presenter waits for the dialog to
// run on the window thread; then the window thread fails too. The window
// thread must keep running its queue while it waits for the routine, or the
// dialog never shows and neither thread ever ends.
TEST(Exit, AWaitingWindowThreadRunsTheDialogOfTheReportingThread) {
    ScopedFatalCapture capture; // puts the presenter and the ender back
    TaskQueue windowQueue;
    std::atomic<std::thread::id> windowThread{};
    std::atomic<int> presented{0};
    std::atomic<bool> dialogRanOnWindowThread{false};
    std::atomic<bool> dialogRan{false};
    std::atomic<int> ended{0};
    std::atomic<bool> readerLeft{false};
    std::atomic<bool> windowLeft{false};

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
        if (std::this_thread::get_id() == windowThread.load()) {
            windowQueue.RunPending();
        }
    });

    std::thread reader([&] {
        try {
            Fatal("Pipe %s closed", "DEMO1");
        } catch (const ProcessEnded&) {
            readerLeft = true;
        }
    });
    ASSERT_TRUE(WaitFor([&] { return presented == 1; }));
    std::thread window([&] {
        windowThread = std::this_thread::get_id();
        try {
            Fatal("Write to DEMO1 failed");
        } catch (const ProcessEnded&) {
            windowLeft = true;
        }
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
    EXPECT_EXIT(Fatal(), ::testing::ExitedWithCode(255), "");
}

} // namespace
