#include "platform/Process.h"

#include "support/Program.h"
#include "platform/Priority.h"
#include "platform/SystemError.h"
#include "platform/Thread.h"

#include <algorithm>
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
using kestra::testing::Clock;
using kestra::testing::Eventually;
using kestra::testing::MillisecondsSince;
using kestra::testing::TemporaryDirectory;
using namespace std::chrono_literals;

namespace {

// Runs body in a forked child and returns its exit status, so that a test can
// change what cannot be changed back (lowered priority, dropped privileges)
// without touching the test process.
int InChildProcess(const std::function<int()>& body) {
    pid_t child = fork();
    if (child == 0)
        _exit(body());
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

int OwnThreadNice() {
    errno = 0;
    return getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
}

std::string ReadFirstLine(const std::string& path) {
    std::string line;
    std::getline(std::ifstream(path), line);
    return line;
}

} // namespace

TEST(SystemErrorText, GivesTheSystemTextOrNothing) {
    EXPECT_EQ(SystemErrorText(ENOENT), "No such file or directory");
    EXPECT_EQ(SystemErrorText(ECONNREFUSED), "Connection refused");
    EXPECT_EQ(SystemErrorText(-1), std::nullopt);
}

TEST(Thread, StackIsNeverSmallerThanTheFloorAndRunsDeepCalls) {
    for (std::size_t requested :
         {std::size_t{0}, std::size_t{8192}, std::size_t{4 * 1024 * 1024 + 1}}) {
        std::size_t size = Thread::EffectiveStackSize(requested);
        EXPECT_GE(size, std::max(requested, Thread::MinimumStackBytes));
        EXPECT_EQ(size % static_cast<std::size_t>(sysconf(_SC_PAGESIZE)), 0u) << requested;
    }

    // A reader asks for 8192 bytes; it must still get a stack that takes
    // 128 KiB of frames and that the system reports at the effective size.
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
    EXPECT_GE(reported, Thread::EffectiveStackSize(8192));
}

// The classes as the configuration stores them, from lowest to highest
// priority, each within the nice range and above the one before.
TEST(Priority, ClassesRunFromIdleToRealtime) {
    int previousNice = 20;
    for (const std::uint32_t value : {0x40u, 0x20u, 0x80u, 0x100u}) {
        const std::optional<int> nice = NiceValueOf(value);
        ASSERT_TRUE(nice) << value;
        EXPECT_LT(*nice, previousNice) << value;
        EXPECT_GE(*nice, -20) << value;
        previousNice = *nice;
    }
    EXPECT_EQ(NiceValueOf(0x20), 0) << "Normal leaves the priority as it is";
    EXPECT_EQ(NiceValueOf(0), std::nullopt);
    EXPECT_EQ(NiceValueOf(0x30), std::nullopt);
}

TEST(Priority, EveryThreadOfTheProcessGetsTheClass) {
    // Threads that run before the priority is set (console readers) must get
    // it too, and so must threads started afterwards. Idle needs no
    // privileges.
    const int idle = NiceValueOf(0x40).value_or(999);
    int status = InChildProcess([&] {
        std::atomic<bool> set{false};
        std::atomic<int> earlierThreadNice{999};
        std::thread earlier([&] {
            while (!set)
                std::this_thread::sleep_for(1ms);
            earlierThreadNice = OwnThreadNice();
        });
        bool applied = SetProcessPriorityClass(0x40);
        set = true;
        earlier.join();
        int laterThreadNice = 999;
        std::thread later([&] { laterThreadNice = OwnThreadNice(); });
        later.join();
        return applied && OwnThreadNice() == idle && earlierThreadNice == idle &&
                       laterThreadNice == idle
                   ? 0
                   : 1;
    });
    EXPECT_EQ(status, 0);
}

TEST(Process, CommandInterpreterRunsCommandLines) {
    ASSERT_TRUE(HasCommandInterpreter());
    TemporaryDirectory directory;
    std::string marker = directory / "ran";
    int status = RunCommandLine("echo logged > '" + marker + "'; exit 3");
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(ReadFirstLine(marker), "logged");
}

TEST(Process, StartedChildReportsItsExitStatusAndMissingProgramsDoNotStart) {
    ProcessStart started = StartProcess({"/bin/sh", "-c", "exit 7"});
    ASSERT_TRUE(started.Started()) << started.error;
    EXPECT_EQ(WaitForChild(started.pid), 7);

    ProcessStart searched = StartProcess({"sh", "-c", "kill -TERM $$"});
    ASSERT_TRUE(searched.Started()) << "a name without '/' is searched on PATH";
    EXPECT_EQ(WaitForChild(searched.pid), 128 + SIGTERM);

    ProcessStart missing = StartProcess({"/nonexistent/kestra-editor", "file"});
    EXPECT_FALSE(missing.Started());
    EXPECT_EQ(missing.error, ENOENT);
    EXPECT_FALSE(StartProcess({}).Started());
}

TEST(Process, DetachedProgramRunsAndLeavesNoZombie) {
    TemporaryDirectory directory;
    std::string pidFile = directory / "pid";
    ASSERT_TRUE(StartDetachedProcess({"/bin/sh", "-c", "echo $$ > '" + pidFile + "'"}));
    ASSERT_TRUE(Eventually([&] { return !ReadFirstLine(pidFile).empty(); }, 5000ms));
    pid_t pid = std::stoi(ReadFirstLine(pidFile));

    // An unreaped child would answer kill(pid, 0) for as long as we live.
    EXPECT_TRUE(Eventually([&] { return kill(pid, 0) != 0 && errno == ESRCH; }, 5000ms));

    EXPECT_FALSE(StartDetachedProcess({"/nonexistent/kestra-editor"}));
}

TEST(Process, WaitForAnotherProcessEndsWhenItEndsOrAtTheLimit) {
    using WaitFunction = ProcessWaitResult (*)(pid_t, int);
    struct Way {
        const char* name;
        WaitFunction wait;
    };
    const Way ways[] = {{"process descriptor", WaitForProcessExit},
                        {"polling", WaitForProcessExitByPolling}};
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        auto start = Clock::now();
        ProcessStart quick = StartProcess({"sleep", "0.05"});
        ASSERT_TRUE(quick.Started());
        EXPECT_EQ(way.wait(quick.pid, 5000), ProcessWaitResult::Ended);
        long waited = MillisecondsSince(start);
        EXPECT_GE(waited, 30);
        EXPECT_LT(waited, 4000) << "the wait must end with the process";
        EXPECT_EQ(way.wait(quick.pid, 100), ProcessWaitResult::Ended)
            << "an ended process is not waited for again";
        WaitForChild(quick.pid);
        EXPECT_EQ(way.wait(quick.pid, 100), ProcessWaitResult::Ended) << "a process gone";

        ProcessStart endless = StartProcess({"sleep", "30"});
        ASSERT_TRUE(endless.Started());
        start = Clock::now();
        EXPECT_EQ(way.wait(endless.pid, 150), ProcessWaitResult::TimedOut);
        waited = MillisecondsSince(start);
        EXPECT_GE(waited, 150);
        EXPECT_LT(waited, 2000);
        kill(endless.pid, SIGKILL);
        WaitForChild(endless.pid);

        EXPECT_EQ(way.wait(0, 100), ProcessWaitResult::Failed);
        EXPECT_EQ(way.wait(-1, 100), ProcessWaitResult::Failed);
    }
}

TEST(Process, ExecutableIsThisTestProgram) {
    std::string path = ExecutablePath();
    EXPECT_EQ(std::filesystem::path(path).filename(), "test_platform");
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(std::filesystem::canonical(ExecutableDirectory()),
              std::filesystem::canonical(KESTRA_BINARY_DIR "/bin"));
    EXPECT_EQ(CurrentProcessId(), getpid());
}
