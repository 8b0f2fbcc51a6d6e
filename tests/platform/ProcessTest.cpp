#include "platform/Process.h"

#include "platform/Event.h"
#include "platform/Priority.h"
#include "platform/SystemError.h"
#include "platform/Thread.h"
#include "support/Program.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace kestra::platform;
using namespace kestra::testing;
using namespace std::chrono_literals;

namespace {

std::string ReadFirstLine(const std::string& path) {
    std::string line;
    std::getline(std::ifstream(path), line);
    return line;
}

int OwnThreadNice() {
    return getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
}

} // namespace

TEST(SystemErrorText, GivesTheSystemTextOrNothing) {
    EXPECT_EQ(SystemErrorText(ECONNREFUSED), "Connection refused");
    EXPECT_EQ(SystemErrorText(-1), std::nullopt);
}

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
        std::this_thread::sleep_for(5ms);
        event.Set();
    });
    const auto waited = Clock::now();
    EXPECT_TRUE(event.Wait(60000));
    EXPECT_LT(MillisecondsSince(waited), 30000) << "a Set wakes the waiter, not its limit";
    setter.join();
}

// A spinning wait ends at once when it is done already, and by its limit
// (or sooner on a busy machine) when it never is, looking once more first.
TEST(SpinWait, EndsWhenDoneOrAtItsLimit) {
    SpinWait spin;
    int looks = 0;
    EXPECT_TRUE(spin.Until([&looks] { return ++looks > 0; }, 10s));
    EXPECT_EQ(looks, 1);
    looks = 0;
    const auto start = Clock::now();
    EXPECT_FALSE(spin.Until([&looks] { return ++looks < 0; }, 2ms));
    EXPECT_LT(MillisecondsSince(start), 1000) << "the limit is a few milliseconds";
    EXPECT_GE(looks, 2);
}

// A reader asks for 8192 bytes; it must still get a stack of at least the
// floor, in whole pages, that takes 128 KiB of frames.
TEST(Thread, StackIsNeverSmallerThanTheFloorAndRunsDeepCalls) {
    for (const std::size_t requested :
         {std::size_t{0}, std::size_t{8192}, Thread::MinimumStackBytes * 4 + 1}) {
        const std::size_t size = Thread::EffectiveStackSize(requested);
        EXPECT_GE(size, std::max(requested, Thread::MinimumStackBytes));
        EXPECT_EQ(size % static_cast<std::size_t>(sysconf(_SC_PAGESIZE)), 0u) << requested;
    }
    std::size_t reported = 0;
    std::atomic<bool> finished{false};
    ThreadStart start = Thread::Start(
        [&] {
            pthread_attr_t attributes;
            if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
                pthread_attr_getstacksize(&attributes, &reported);
                pthread_attr_destroy(&attributes);
            }
            volatile char frame[128 * 1024];
            for (std::size_t i = 0; i < sizeof frame; i += 512)
                frame[i] = static_cast<char>(i);
            finished = true;
        },
        8192);
    ASSERT_TRUE(start.Ok()) << start.error;
    start.thread.Join();
    EXPECT_TRUE(finished.load());
    EXPECT_GE(reported, Thread::MinimumStackBytes);
}

// Threads that run before the priority is set (console readers) must get it
// too, and so must threads started afterwards. Idle needs no privileges; the
// change cannot be undone, so it happens in a child process.
TEST(Priority, EveryThreadOfTheProcessGetsTheClass) {
    EXPECT_FALSE(SetProcessPriorityClass(0x30)) << "a value that names no class";
    const pid_t child = fork();
    if (child == 0) {
        std::atomic<bool> set{false};
        std::atomic<int> earlierThreadNice{0};
        std::thread earlier([&] {
            while (!set)
                std::this_thread::sleep_for(1ms);
            earlierThreadNice = OwnThreadNice();
        });
        const bool applied = SetProcessPriorityClass(0x40);
        set = true;
        earlier.join();
        int laterThreadNice = 0;
        std::thread([&] { laterThreadNice = OwnThreadNice(); }).join();
        _exit(applied && OwnThreadNice() == 19 && earlierThreadNice == 19 && laterThreadNice == 19
                  ? 0
                  : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(Process, ChildrenRunAndReportTheirStatus) {
    ASSERT_TRUE(HasCommandInterpreter());
    EXPECT_EQ(WEXITSTATUS(RunCommandLine("exit 3")), 3);

    ProcessStart started = StartProcess({"/bin/sh", "-c", "exit 7"});
    ASSERT_TRUE(started.Started()) << started.error;
    EXPECT_EQ(WaitForChild(started.pid), 7);
    ProcessStart searched = StartProcess({"sh", "-c", "kill -TERM $$"});
    ASSERT_TRUE(searched.Started()) << "a name without '/' is searched on PATH";
    EXPECT_EQ(WaitForChild(searched.pid), 128 + SIGTERM);
    EXPECT_EQ(StartProcess({"/nonexistent/kestra-editor", "file"}).error, ENOENT);
    EXPECT_FALSE(StartProcess({}).Started());

    // A detached child is reaped: an unreaped one would answer kill(pid, 0).
    TemporaryDirectory directory;
    const std::string pidFile = directory / "pid";
    ASSERT_TRUE(StartDetachedProcess({"/bin/sh", "-c", "echo $$ > '" + pidFile + "'"}));
    ASSERT_TRUE(Eventually([&] { return !ReadFirstLine(pidFile).empty(); }, 10s));
    const pid_t pid = std::stoi(ReadFirstLine(pidFile));
    EXPECT_TRUE(Eventually([&] { return kill(pid, 0) != 0 && errno == ESRCH; }, 10s));
    EXPECT_FALSE(StartDetachedProcess({"/nonexistent/kestra-editor"}));
}

TEST(Process, WaitForAnotherProcessEndsWhenItEndsOrAtTheLimit) {
    for (const auto wait : {WaitForProcessExit, WaitForProcessExitByPolling}) {
        ProcessStart quick = StartProcess({"sleep", "0.05"});
        ASSERT_TRUE(quick.Started());
        auto start = Clock::now();
        EXPECT_EQ(wait(quick.pid, 60000), ProcessWaitResult::Ended);
        EXPECT_LT(MillisecondsSince(start), 30000) << "the wait must end with the process";
        EXPECT_EQ(wait(quick.pid, 100), ProcessWaitResult::Ended) << "an ended zombie";
        WaitForChild(quick.pid);
        EXPECT_EQ(wait(quick.pid, 100), ProcessWaitResult::Ended) << "a process gone";

        ProcessStart endless = StartProcess({"sleep", "60"});
        ASSERT_TRUE(endless.Started());
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
