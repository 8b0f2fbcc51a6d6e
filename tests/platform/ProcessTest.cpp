// Processes, threads and the waits between them.

#include "platform/Process.h"

#include "platform/Event.h"
#include "platform/Priority.h"
#include "platform/Thread.h"
#include "support/Program.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kestra::platform;
using namespace kestra::testing;
using namespace std::chrono_literals;

TEST(Event, ManualResetEventWaitsTimesOutAndWakesAcrossThreads) {
    Event event;
    const auto start = Clock::now();
    EXPECT_FALSE(event.Wait(20));
    EXPECT_GE(MillisecondsSince(start), 20);
    event.Set();
    EXPECT_TRUE(event.Wait(0) && event.Wait(0)) << "a wait must not clear a manual-reset event";
    event.Reset();
    EXPECT_FALSE(event.Wait(1));
    std::thread setter([&] {
        std::this_thread::sleep_for(5ms); // most likely once the waiter is blocked
        event.Set();
    });
    const auto waited = Clock::now();
    EXPECT_TRUE(event.Wait(20000));
    EXPECT_LT(MillisecondsSince(waited), 10000) << "a Set wakes the waiter, not its limit";
    setter.join();
}

// A spinning wait ends at once when it is done already, and by its limit
// (or sooner on a busy machine) when it never is, looking once more first.
TEST(SpinWait, EndsWhenDoneOrAtItsLimit) {
    SpinWait spin;
    int looks = 0;
    EXPECT_TRUE(spin.Until([&looks] { return ++looks > 0; }, 10s));
    EXPECT_EQ(looks, 1);
    const auto start = Clock::now();
    EXPECT_FALSE(spin.Until([&looks] { return ++looks < 0; }, 2ms));
    EXPECT_LT(MillisecondsSince(start), 1000) << "the limit is a few milliseconds";
    EXPECT_GE(looks, 3);
}

// Stacks are whole pages, never below the floor whatever a thread asks for.
TEST(Thread, StackIsNeverSmallerThanTheFloor) {
    for (const std::size_t asked : {std::size_t{0}, std::size_t{8192}, std::size_t{1} << 22}) {
        const std::size_t size = Thread::EffectiveStackSize(asked + 1);
        EXPECT_GE(size, std::max(asked + 1, Thread::MinimumStackBytes));
        EXPECT_EQ(size % static_cast<std::size_t>(sysconf(_SC_PAGESIZE)), 0u) << asked;
    }
}

// Threads that run before the priority is set (console readers) must get it
// too, and so must threads started afterwards. Idle needs no privileges; the
// change cannot be undone, so it happens in a child process.
TEST(Priority, EveryThreadOfTheProcessGetsTheClass) {
    EXPECT_FALSE(SetProcessPriorityClass(0x30)) << "a value that names no class";
    const auto nice = [] { return getpriority(PRIO_PROCESS, syscall(SYS_gettid)); };
    const pid_t child = fork();
    if (child == 0) {
        std::atomic<bool> set{false};
        std::atomic<int> earlier{0}, later{0};
        std::thread before([&] {
            while (!set)
                std::this_thread::sleep_for(1ms);
            earlier = nice();
        });
        const bool applied = SetProcessPriorityClass(0x40);
        set = true;
        before.join();
        std::thread([&] { later = nice(); }).join();
        _exit(applied && nice() == 19 && earlier == 19 && later == 19 ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// A child starts with the signal handling a fresh program expects, not with
// what this process ignores; a detached one is reaped, as an unreaped one
// would answer kill(pid, 0).
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
        EXPECT_EQ(wait(endless.pid, 150), ProcessWaitResult::TimedOut);
        EXPECT_GE(MillisecondsSince(start), 150);
        kill(endless.pid, SIGKILL);
        WaitForChild(endless.pid);
        EXPECT_EQ(wait(0, 100), ProcessWaitResult::Failed);
    }
}

TEST(Process, ExecutableIsThisTestProgram) {
    EXPECT_EQ(std::filesystem::path(ExecutablePath()).filename(), "test_platform");
    EXPECT_EQ(std::filesystem::canonical(ExecutableDirectory()),
              std::filesystem::canonical(KESTRA_BINARY_DIR "/bin"));
    EXPECT_EQ(CurrentProcessId(), getpid());
}
