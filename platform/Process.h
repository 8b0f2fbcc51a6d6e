#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace kestra::platform {

// Whether a command interpreter (the shell that system() runs) exists.
bool HasCommandInterpreter();

// Runs one command line through the command interpreter and waits for it.
// Returns system()'s status; the log-on ignores it, tests look at it.
int RunCommandLine(const std::string& commandLine);

struct ProcessStart {
    pid_t pid = -1;
    int error = 0; // errno when the program could not be started

    bool Started() const { return pid > 0; }
};

// Starts argv[0] (searched on PATH when it holds no '/') as a child of this
// process. Started() is false when it could not be run at all, for example
// when the program does not exist. The caller reaps it with WaitForChild.
ProcessStart StartProcess(const std::vector<std::string>& argv);

// Waits without a time limit for a child started by StartProcess to end and
// returns its exit status (128 + signal for a killed child, -1 on failure).
int WaitForChild(pid_t pid);

// Starts a program that nobody waits for (a restarted instance, an editor);
// it is reaped in the background, so it never lingers as a zombie. Returns
// whether it started.
bool StartDetachedProcess(const std::vector<std::string>& argv);

enum class ProcessWaitResult { Ended, TimedOut, Failed };

// How long a restarted instance waits for its predecessor.
constexpr int kRestartWaitMs = 10000;

// Waits at most timeoutMs for the process pid (any process, not only a child)
// to end. A process that has already gone counts as ended. Uses a process
// descriptor where the kernel has them, else WaitForProcessExitByPolling.
ProcessWaitResult WaitForProcessExit(pid_t pid, int timeoutMs);
// The same by looking at the process every few milliseconds.
ProcessWaitResult WaitForProcessExitByPolling(pid_t pid, int timeoutMs);

pid_t CurrentProcessId();

// The running program's file, and the directory that holds it; empty when
// the system does not say.
std::string ExecutablePath();
std::string ExecutableDirectory();

} // namespace kestra::platform
