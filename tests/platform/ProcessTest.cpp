// The exit routine, processes, threads and the waits between them.

#include "platform/Process.h"

#include "platform/Exit.h"
#include "platform/Priority.h"
#include "platform/Thread.h"
#include "support/Program.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <latch>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kestra::platform;
using namespace kestra::testing;
using namespace std::chrono_literals;

namespace {

// Every way out, one after the other: each leaves the routine open for the
// next once its end is captured. The message reaches standard error before the
// presenter (which may hang on a dialog); a restart comes after the report,
// only when asked for; a presenter that throws takes the report over, one
// that fails ends the process without a second report.
TEST(Exit, EachWayOutReportsOnceAndEndsWithItsStatus) {
    const std::string cut(kMessageBufferSize - 1, 'x'); // a longer text loses its end
    using Steps = std::vector<std::string>;
    // clang-format off
    const struct { std::function<void()> leave; std::string err; Steps steps; } rows[] = {
        {[] { Fatal(); },                                   "",                   {"end 255"}},
        {[] { Fatal("Can't open %s: %d%c", "a", 2, '!'); }, "Can't open a: 2!\n", {"Can't open a: 2!", "end 255"}},
        {[] { Fatal("%s", std::string(5000, 'x').c_str()); }, cut + "\n",         {cut, "end 255"}},
        // The line marker looks like a blank on a terminal; the presenter decides itself.
        {[] { Fatal("A B\n\x7F ^\n"); },                  "A B\n  ^\n",          {"A B\n\x7F ^\n", "end 255"}},
        {[] { Fatal("restart"); },                          "restart\n",          {"restart", "restarted", "end 255"}},
        {[] { Fatal("throw"); },                            "throw\n",            {"throw"}},
        {[] { Fatal("fail"); },                             "fail\n",             {"fail", "end 255"}},
        {[] { Exit(); },                                    "",                   {"end 0"}},
    };
    // clang-format on
    // Uncaptured, the end is the process's, with the exit code's low byte.
    EXPECT_EXIT(Fatal("bye"), ::testing::ExitedWithCode(255), "bye");
    EXPECT_EXIT(Exit(), ::testing::ExitedWithCode(0), "");
    ScopedFatalCapture capture;
    Steps steps;
    std::optional<std::string> err;
    SetFatalPresenter([&](std::string_view message) {
        err = ::testing::internal::GetCapturedStderr();
        steps.emplace_back(message);
        SetRestartRequested(message == "restart"); // the dialog's Restart button
        if (message == "throw") {
            throw FatalError(message);
        }
        if (message == "fail") {
            Fatal("failed while reporting");
        }
    });
    SetRestartFunction([&] { steps.push_back("restarted"); });
    SetProcessEnder([&, end = SetProcessEnder({})](int status) {
        steps.push_back("end " + std::to_string(status));
        end(status);
    });
    for (const auto& row : rows) {
        steps.clear();
        err.reset();
        ::testing::internal::CaptureStderr();
        EXPECT_ANY_THROW(row.leave());
        if (!err) {
            err = ::testing::internal::GetCapturedStderr();
        }
        EXPECT_EQ(steps, row.steps);
        EXPECT_EQ(*err, row.err) << row.err;
        EXPECT_EQ(ExitCode(), row.steps.back() == "end 0" ? 0u : kFailureExitCode) << row.err;
        EXPECT_FALSE(Exiting()) << row.err << ": a captured end leaves the routine open";
    }
}

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
        while (!dialogRan && !abandoned) {
            std::this_thread::sleep_for(1ms);
        }
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
    ASSERT_TRUE(Eventually([&] { return presented == 1; }, 10s));
    std::thread window([&] {
        windowThread = std::this_thread::get_id();
        Fail(windowLeft, "Write to DEMO1 failed");
    });
    const bool readerEnded = Eventually([&] { return readerLeft == 1; }, 10s);
    const int stepsThen = steps; // five more take 50 ms, and the window thread must stay
    EXPECT_TRUE(Eventually([&] { return steps >= stepsThen + 5; }, 10s)) << "it stopped its steps";
    const bool windowStillWaiting = windowLeft == 0;
    abandoned = true; // lets both threads go, whatever happened, so that they can be joined
    ASSERT_TRUE(Eventually([&] { return readerLeft == 1; }, 10s));
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
    EXPECT_EQ(ended, 2) << "the reader's end, then the waiter let go by the reset";
}

// Threads that run before the priority is set (console readers) and after it
// get it. Idle needs no privileges but cannot be undone: in a child process.
TEST(Priority, EveryThreadOfTheProcessGetsTheClass) {
    EXPECT_FALSE(SetProcessPriorityClass(0x30)) << "a value that names no class";
    const auto nice = [] { return getpriority(PRIO_PROCESS, syscall(SYS_gettid)); };
    const pid_t child = fork();
    if (child == 0) {
        std::latch set(1);
        std::atomic<int> earlier{0}, later{0};
        std::thread before([&] {
            set.wait();
            earlier = nice();
        });
        const bool applied = SetProcessPriorityClass(0x40);
        set.count_down();
        before.join();
        std::thread([&] { later = nice(); }).join();
        _exit(applied && nice() == 19 && earlier == 19 && later == 19 ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0) << "the child's threads did not all get the class";
}

// A child starts with the signal handling a fresh program expects, not with
// what this process ignores; a detached one is reaped, as an unreaped one
// would answer kill(pid, 0). This program knows its own directory.
TEST(Process, ChildrenRunAndReportTheirStatus) {
    ASSERT_TRUE(HasCommandInterpreter());
    EXPECT_EQ(WEXITSTATUS(RunCommandLine("exit 3")), 3);
    const ProcessStart started = StartProcess({"/bin/sh", "-c", "exit 7"});
    EXPECT_EQ(WaitForChild(started.pid), 7);
    EXPECT_EQ(WaitForChild(started.pid), -1) << "a child is reaped once";
    const auto ignored = std::signal(SIGTERM, SIG_IGN);
    const ProcessStart searched = StartProcess({"sh", "-c", "kill -TERM $$"});
    std::signal(SIGTERM, ignored);
    EXPECT_EQ(WaitForChild(searched.pid), 128 + SIGTERM) << "a name without '/' is on PATH";
    EXPECT_EQ(StartProcess({"/nonexistent/kestra-editor", "file"}).error, ENOENT);
    EXPECT_FALSE(StartProcess({}).Started());

    TemporaryDirectory directory;
    const std::string pidFile = directory / "pid";
    std::string pid;
    ASSERT_TRUE(StartDetachedProcess({"/bin/sh", "-c", "echo $$ > '" + pidFile + "'"}));
    ASSERT_TRUE(
        Eventually([&] { return std::getline(std::ifstream(pidFile), pid) && pid != ""; }, 20s));
    EXPECT_TRUE(Eventually([&] { return kill(std::stoi(pid), 0) != 0 && errno == ESRCH; }, 20s));
    EXPECT_FALSE(StartDetachedProcess({"/nonexistent/kestra-editor"}));
    EXPECT_EQ(std::filesystem::canonical(ExecutableDirectory()),
              std::filesystem::canonical(KESTRA_BINARY_DIR "/bin"));
}

TEST(Process, WaitForAnotherProcessEndsWhenItEndsOrAtTheLimit) {
    for (const auto wait : {WaitForProcessExit, WaitForProcessExitByPolling}) {
        const ProcessStart quick = StartProcess({"sleep", "0.05"});
        auto start = Clock::now();
        EXPECT_EQ(wait(quick.pid, 60000), ProcessWaitResult::Ended);
        EXPECT_LT(MillisecondsSince(start), 30000) << "the wait must end with the process";
        EXPECT_EQ(wait(quick.pid, 100), ProcessWaitResult::Ended) << "an ended zombie";
        WaitForChild(quick.pid);
        EXPECT_EQ(wait(quick.pid, 100), ProcessWaitResult::Ended) << "a process gone";
        const ProcessStart endless = StartProcess({"sleep", "60"});
        start = Clock::now();
        errno = ESRCH; // left from an earlier call, it must not make a running process gone
        EXPECT_EQ(wait(endless.pid, 150), ProcessWaitResult::TimedOut);
        EXPECT_GE(MillisecondsSince(start), 150);
        kill(endless.pid, SIGKILL);
        WaitForChild(endless.pid);
        EXPECT_EQ(wait(0, 100), ProcessWaitResult::Failed);
    }
}

} // namespace
