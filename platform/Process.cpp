#include "platform/Process.h"

#include "platform/Thread.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace kestra::platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kProcessPollIntervalMs = 10;

// Rounded up: a wait cut short by a truncated remainder would end early.
int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// A zombie or a dead process still answers kill(pid, 0); its state letter in
// /proc says that it has ended.
bool HasEndedPerProcTable(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    if (!stat) {
        return false;
    }
    std::string line;
    std::getline(stat, line);
    auto nameEnd = line.rfind(')');
    if (nameEnd == std::string::npos || nameEnd + 2 >= line.size()) {
        return false;
    }
    char state = line[nameEnd + 2];
    return state == 'Z' || state == 'X' || state == 'x';
}

bool HasEnded(pid_t pid) {
    if (kill(pid, 0) != 0 && errno == ESRCH) {
        return true;
    }
    return HasEndedPerProcTable(pid);
}

} // namespace

bool HasCommandInterpreter() {
    return std::system(nullptr) != 0;
}

int RunCommandLine(const std::string& commandLine) {
    return std::system(commandLine.c_str());
}

ProcessStart StartProcess(const std::vector<std::string>& argv) {
    ProcessStart result;
    if (argv.empty() || argv.front().empty()) {
        result.error = ENOENT;
        return result;
    }
    std::vector<char*> arguments;
    for (const auto& argument : argv) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);

    // The child starts with the signal handling a fresh program expects, not
    // with whatever this process ignores or blocks.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int signal : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        sigaddset(&defaults, signal);
    }
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    int error =
        posix_spawnp(&pid, arguments.front(), nullptr, &attributes, arguments.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        result.error = error;
        return result;
    }
    result.pid = pid;
    return result;
}

int WaitForChild(pid_t pid) {
    int status = 0;
    for (;;) {
        if (waitpid(pid, &status, 0) == pid) {
            break;
        }
        if (errno != EINTR) {
            return -1;
        }
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return -1;
}

bool StartDetachedProcess(const std::vector<std::string>& argv) {
    ProcessStart start = StartProcess(argv);
    if (!start.Started()) {
        return false;
    }
    pid_t pid = start.pid;
    auto reaper = Thread::Start([pid] { WaitForChild(pid); });
    if (!reaper.Ok()) {
        return true; // it runs; it may only linger as a zombie until we exit
    }
    reaper.thread.Detach();
    return true;
}

ProcessWaitResult WaitForProcessExitByPolling(pid_t pid, int timeoutMs) {
    if (pid <= 0) {
        return ProcessWaitResult::Failed;
    }
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (HasEnded(pid)) {
            return ProcessWaitResult::Ended;
        }
        int left = RemainingMs(deadline);
        if (left <= 0) {
            return ProcessWaitResult::TimedOut;
        }
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::min(left, kProcessPollIntervalMs)));
    }
}

ProcessWaitResult WaitForProcessExit(pid_t pid, int timeoutMs) {
    if (pid <= 0) {
        return ProcessWaitResult::Failed;
    }
#ifdef SYS_pidfd_open
    int descriptor = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (descriptor < 0 && errno == ESRCH) {
        return ProcessWaitResult::Ended;
    }
    if (descriptor >= 0) {
        // A process descriptor turns readable when the process ends.
        auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            pollfd entry{descriptor, POLLIN, 0};
            int ready = poll(&entry, 1, RemainingMs(deadline));
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            close(descriptor);
            if (ready > 0) {
                return ProcessWaitResult::Ended;
            }
            if (ready == 0) {
                return ProcessWaitResult::TimedOut;
            }
            return WaitForProcessExitByPolling(pid, RemainingMs(deadline));
        }
    }
#endif
    return WaitForProcessExitByPolling(pid, timeoutMs);
}

pid_t CurrentProcessId() {
    return getpid();
}

std::string ExecutablePath() {
    std::string path(256, '\0');
    for (;;) {
        ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) < path.size()) {
            path.resize(static_cast<std::size_t>(length));
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string ExecutableDirectory() {
    std::string path = ExecutablePath();
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return {};
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace kestra::platform
