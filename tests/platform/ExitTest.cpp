#include "platform/Exit.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <latch>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace kestra::platform;
using namespace std::chrono_literals;

// Waits until condition holds, for at most ten seconds.
bool WaitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 1000 && !condition(); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    return condition();
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
        {"hex",            [] { Fatal("%08X", 0xABCu); },                         "00000ABC"},
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
    testing::internal::CaptureStderr();
    SetFatalPresenter([&](std::string_view message) {
        seenByPresenter = testing::internal::GetCapturedStderr();
        throw FatalError(message);
    });
    EXPECT_THROW(Fatal("Pipe %s closed", "P1"), FatalError);
    EXPECT_EQ(seenByPresenter, "Pipe P1 closed\n");

    // The line marker looks like a blank on a terminal; the presenter gets
    // the message as it is and decides itself.
    testing::internal::CaptureStderr();
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

TEST(Exit, TwoThreadsFailingTogetherGiveOneReportAndOneExit) {
    ResetExitStateForTesting();
    std::atomic<int> presented{0};
    std::atomic<int> ended{0};
    std::atomic<int> leftFatal{0};
    std::latch releasePresenter(1);
    const FatalPresenter oldPresenter = SetFatalPresenter([&](std::string_view) {
        ++presented;
        releasePresenter.wait();
    });
    const ProcessEnder oldEnder = SetProcessEnder([&](int status) {
        ++ended;
        throw ProcessEnded(status);
    });

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
    std::this_thread::sleep_for(50ms); // let the other thread reach the lock
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
    SetFatalPresenter(oldPresenter);
    SetProcessEnder(oldEnder);
}

TEST(Exit, ResetRestoresTheStateAtProcessStart) {
    ScopedFatalCapture capture;
    EXPECT_EQ(LineMarker(), '-');
    SetLineMarker('\x7F');
    SetRestartRequested(true);
    EXPECT_THROW(Fatal("x"), FatalError);
    EXPECT_THROW(Exit(), ProcessEnded);
    EXPECT_EQ(ExitCode(), 0u);
    EXPECT_EQ(LineMarker(), '\x7F');

    ResetExitStateForTesting();
    EXPECT_EQ(LineMarker(), '-');
    EXPECT_FALSE(RestartRequested());
    EXPECT_FALSE(Exiting());
    EXPECT_EQ(ExitCode(), kFailureExitCode);
    EXPECT_EQ(FatalMessage(), "");
}

TEST(Exit, DefaultEndTerminatesTheProcessWithTheLowByteOfTheExitCode) {
    EXPECT_EXIT(Fatal("bye"), testing::ExitedWithCode(255), "bye");
    EXPECT_EXIT(Exit(), testing::ExitedWithCode(0), "");
    EXPECT_EXIT(Fatal(), testing::ExitedWithCode(255), "");
}

} // namespace
