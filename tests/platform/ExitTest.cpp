#include "platform/Exit.h"

#include "support/Program.h"

#include <atomic>
#include <functional>
#include <gtest/gtest.h>
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
// before it (it may hang on a dialog) and the steps to the end. The restart
// runs after the report and before the end, only when asked for; a presenter
// that throws takes the report over and leaves the routine open; one that
// fails itself ends the process without a second report.
TEST(Exit, EachWayOutReportsOnceAndEndsWithItsStatus) {
    const std::string longText(5000, 'x');
    const std::string fits(kMessageBufferSize - 1, 'y');
    const std::string cut = longText.substr(0, kMessageBufferSize - 1);
    using Steps = std::vector<std::string>;
    // clang-format off
    const struct { std::function<void()> leave; std::string shown, err; Steps after; } rows[] = {
        {[] { Exit(); },                                    "",                "",                  {"end 0"}},
        {[] { Fatal(); },                                   "",                "",                  {"end 255"}},
        {[] { Fatal("Can't open %s: %d%c", "a", 2, '!'); }, "Can't open a: 2!", "Can't open a: 2!\n", {"end 255"}},
        // The buffer holds 2000 bytes, terminator included: longer texts lose their end.
        {[&] { Fatal("%s", longText.c_str()); },            cut,               cut + "\n",          {"end 255"}},
        {[&] { Fatal("%s", fits.c_str()); },                fits,              fits + "\n",         {"end 255"}},
        // The line marker looks like a blank on a terminal; the presenter decides itself.
        {[] { Fatal("A B\n\x7F ^\n"); },                  "A B\n\x7F ^\n",   "A B\n  ^\n",         {"end 255"}},
        {[] { Fatal("restart"); },                          "restart",         "restart\n",         {"restarted", "end 255"}},
        {[] { Fatal("throw"); },                            "throw",           "throw\n",           {}},
        {[] { Fatal("fail"); },                             "fail",            "fail\n",            {"end 255"}},
    };
    // clang-format on
    for (const auto& row : rows) {
        ScopedFatalCapture capture;
        Steps steps;
        std::optional<std::string> err;
        ::testing::internal::CaptureStderr();
        SetFatalPresenter([&](std::string_view message) {
            err = ::testing::internal::GetCapturedStderr();
            steps.emplace_back(message);
            EXPECT_TRUE(Exiting());
            if (message == "throw")
                throw FatalError(message);
            if (message == "fail")
                Fatal("failed while reporting");
            SetRestartRequested(message == "restart"); // the dialog's Restart button
        });
        SetRestartFunction([&] { steps.push_back("restarted"); });
        SetProcessEnder([&, end = SetProcessEnder({})](int status) {
            steps.push_back("end " + std::to_string(status));
            end(status);
        });
        EXPECT_ANY_THROW(row.leave());
        if (!err)
            err = ::testing::internal::GetCapturedStderr();
        Steps expected = row.after;
        if (!row.shown.empty())
            expected.insert(expected.begin(), row.shown);
        EXPECT_EQ(steps, expected);
        EXPECT_EQ(*err, row.err) << row.shown;
        EXPECT_EQ(FatalMessage(), row.shown) << "the dialogs read the message there";
        EXPECT_EQ(ExitCode(), row.after == Steps{"end 0"} ? 0u : kFailureExitCode) << row.shown;
        EXPECT_FALSE(Exiting()) << row.shown << ": a captured end leaves the routine open";
    }
}

// Fails on this thread and counts the way out, for tests whose ender throws.
void Fail(std::atomic<int>& left, const char* message) {
    try {
        Fatal("%s", message);
    } catch (const ProcessEnded&) {
        ++left;
    }
}

// A reader thread reports first and its presenter waits for the dialog to
// run on the window thread, as a task of its event queue; then the window
// thread fails too. While it waits for the routine, the window thread must
// keep running its queue (the lock-wait step, again and again, which the
// reporter never runs), or the dialog never shows and neither thread ends.
// It stays in the lock after the reader's end; let go, it does not report.
TEST(Exit, TwoThreadsFailingGiveOneReportAndTheWaitingWindowThreadRunsItsDialog) {
    ScopedFatalCapture capture; // puts the presenter and the ender back
    std::atomic<std::thread::id> windowThread{};
    std::atomic<int> presented{0}, ended{0}, readerLeft{0}, windowLeft{0}, steps{0}, others{0};
    std::atomic<bool> dialogQueued{false}, dialogRan{false}, abandoned{false};
    SetFatalPresenter([&](std::string_view) {
        ++presented;
        dialogQueued = true;
        while (!dialogRan && !abandoned)
            std::this_thread::sleep_for(1ms);
    });
    SetProcessEnder([&](int status) {
        ++ended;
        throw ProcessEnded(status);
    });
    const LockWaitStep oldStep = SetLockWaitStep([&] {
        const bool onWindow = std::this_thread::get_id() == windowThread.load();
        ++(onWindow ? steps : others);
        dialogRan = dialogRan || (onWindow && dialogQueued);
    });

    std::thread reader(Fail, std::ref(readerLeft), "Pipe DEMO1 closed");
    ASSERT_TRUE(WaitFor([&] { return presented == 1; }));
    std::thread window([&] {
        windowThread = std::this_thread::get_id();
        Fail(windowLeft, "Write to DEMO1 failed");
    });
    const bool readerEnded = WaitFor([&] { return readerLeft == 1; });
    const int stepsThen = steps;
    EXPECT_TRUE(WaitFor([&] { return steps >= stepsThen + 3; })) << "the waiter stopped its steps";
    std::this_thread::sleep_for(50ms); // the window thread must stay in the lock
    const bool windowStillWaiting = windowLeft == 0;
    const int endedThen = ended;
    abandoned = true; // lets both threads go, whatever happened, so that they can be joined
    ASSERT_TRUE(WaitFor([&] { return readerLeft == 1; }));
    const std::string reported(FatalMessage());
    ResetExitStateForTesting();
    reader.join();
    window.join();

    EXPECT_TRUE(SetLockWaitStep(oldStep)) << "the setter returns the step it replaced";
    EXPECT_TRUE(readerEnded && dialogRan) << "the dialog never ran on the window thread";
    EXPECT_TRUE(windowStillWaiting) << "the window thread left before the process ended";
    EXPECT_EQ(others, 0) << "only a waiting thread runs the step";
    EXPECT_EQ(presented, 1) << "one report, none from the waiter let go";
    EXPECT_EQ(reported, "Pipe DEMO1 closed");
    EXPECT_EQ(endedThen, 1);
    EXPECT_EQ(ended, 2) << "the reader's end, then the waiter let go by the reset";
}

TEST(Exit, DefaultEndTerminatesTheProcessWithTheLowByteOfTheExitCode) {
    EXPECT_EXIT(Fatal("bye"), ::testing::ExitedWithCode(255), "bye");
    EXPECT_EXIT(Exit(), ::testing::ExitedWithCode(0), "");
}

} // namespace
