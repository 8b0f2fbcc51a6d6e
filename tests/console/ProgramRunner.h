#pragma once

// Runs the project's programs from the build tree: one run to its end with
// its output captured, or a server kept running for the length of a test.

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace kestra::console::consoletest {

inline std::string BinaryPath(const std::string& program) {
    return std::string(KESTRA_BINARY_DIR) + "/bin/" + program;
}

struct ProgramResult {
    int status = -1; // exit status, 128 + signal when killed, -1 when not run
    std::string out;
    std::string err;
};

// A started program with its standard output and error on pipes.
class Program {
public:
    Program(const std::vector<std::string>& argv,
            const std::vector<std::string>& environment = {}) {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0) {
            return;
        }
        if (pipe2(err, O_CLOEXEC) != 0) {
            close(out[0]);
            close(out[1]);
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<std::string> arguments(argv);
        std::vector<char*> argp;
        for (std::string& argument : arguments) {
            argp.push_back(argument.data());
        }
        argp.push_back(nullptr);
        // Later entries win: the test's settings come after the inherited ones.
        std::vector<std::string> variables;
        for (char** variable = environ; *variable != nullptr; ++variable) {
            variables.emplace_back(*variable);
        }
        variables.insert(variables.end(), environment.begin(), environment.end());
        std::vector<char*> envp;
        for (std::string& variable : variables) {
            envp.push_back(variable.data());
        }
        envp.push_back(nullptr);
        if (posix_spawn(&pid_, argp[0], &actions, nullptr, argp.data(), envp.data()) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~Program() {
        if (pid_ > 0 && !status_) {
            kill(pid_, SIGTERM);
            if (!Wait(std::chrono::milliseconds(3000))) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
            }
        }
        if (out_ >= 0) {
            close(out_);
        }
        if (err_ >= 0) {
            close(err_);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Started() const { return pid_ > 0; }

    // Reads standard output until a whole line came; empty when none came
    // within the limit.
    std::string ReadLine(std::chrono::milliseconds limit) {
        const auto start = std::chrono::steady_clock::now();
        std::string line;
        while (std::chrono::steady_clock::now() - start < limit) {
            pollfd entry{out_, POLLIN, 0};
            if (poll(&entry, 1, 20) <= 0) {
                continue;
            }
            char c;
            if (read(out_, &c, 1) != 1 || c == '\n') {
                break;
            }
            line += c;
        }
        return line;
    }

    // Collects both outputs until the program closes them, then its status;
    // nullopt when it did not end within the limit.
    std::optional<ProgramResult> Finish(std::chrono::milliseconds limit) {
        ProgramResult result;
        const auto start = std::chrono::steady_clock::now();
        bool outOpen = true, errOpen = true;
        while ((outOpen || errOpen) && std::chrono::steady_clock::now() - start < limit) {
            pollfd entries[2] = {{outOpen ? out_ : -1, POLLIN, 0},
                                 {errOpen ? err_ : -1, POLLIN, 0}};
            if (poll(entries, 2, 20) <= 0) {
                continue;
            }
            char chunk[4096];
            if (entries[0].revents != 0) {
                ssize_t got = read(out_, chunk, sizeof chunk);
                if (got > 0) {
                    result.out.append(chunk, static_cast<std::size_t>(got));
                } else {
                    outOpen = false;
                }
            }
            if (entries[1].revents != 0) {
                ssize_t got = read(err_, chunk, sizeof chunk);
                if (got > 0) {
                    result.err.append(chunk, static_cast<std::size_t>(got));
                } else {
                    errOpen = false;
                }
            }
        }
        const auto left = limit - std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - start);
        if (!Wait(std::max(left, std::chrono::milliseconds(0)))) {
            return std::nullopt;
        }
        result.status = *status_;
        return result;
    }

private:
    bool Wait(std::chrono::milliseconds limit) {
        const auto start = std::chrono::steady_clock::now();
        for (;;) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return true;
            }
            if (std::chrono::steady_clock::now() - start >= limit) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::optional<int> status_;
};

inline ProgramResult RunProgram(const std::vector<std::string>& argv,
                                const std::vector<std::string>& environment = {}) {
    Program program(argv, environment);
    if (!program.Started()) {
        return {};
    }
    return program.Finish(std::chrono::milliseconds(30000)).value_or(ProgramResult{});
}

} // namespace kestra::console::consoletest
