#pragma once

// What the tests share for timing, temporary files and child processes: a
// private temporary directory, a polling wait, and the project's programs run
// from the build tree, either to their end with output captured or kept
// running for the length of a test. Everything stays on loopback and under
// /tmp.

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace kestra::testing {

using Clock = std::chrono::steady_clock;

inline long MillisecondsSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Polls a condition every 2 ms until it holds or the limit passed.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit) {
    const auto start = Clock::now();
    while (!condition()) {
        if (Clock::now() - start > limit) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A fresh directory removed with its contents at the end of the test. Short
// paths, since a Unix socket path is limited to about a hundred bytes.
class TemporaryDirectory {
public:
    TemporaryDirectory() {
        std::string pattern = "/tmp/kpt-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        if (!path_.empty()) {
            std::filesystem::remove_all(path_, ignored);
        }
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A file's bytes; "" for anything but a regular file, which is never opened
// (a named pipe in its place would block the reader).
inline std::string FileText(const std::string& path) {
    if (!std::filesystem::is_regular_file(path)) {
        return "";
    }
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline std::string BinaryPath(const std::string& program) {
    return std::string(KESTRA_BINARY_DIR) + "/bin/" + program;
}

struct ProgramResult {
    int status = -1; // exit status, 128 + signal when killed, -1 when not run
    std::string out;
    std::string err;
};

// A started program with its standard output and error going to files.
class Program {
public:
    // The test's environment settings go in front through env(1), so they
    // replace the inherited ones of the same name.
    Program(const std::vector<std::string>& argv,
            const std::vector<std::string>& environment = {}) {
        std::vector<std::string> command{"/usr/bin/env"};
        command.insert(command.end(), environment.begin(), environment.end());
        command.insert(command.end(), argv.begin(), argv.end());
        std::vector<char*> pointers;
        for (std::string& word : command) {
            pointers.push_back(word.data());
        }
        pointers.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT, 0600);
        if (posix_spawn(&pid_, pointers[0], &actions, nullptr, pointers.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Program() {
        if (pid_ > 0 && !status_) {
            kill(pid_, SIGTERM);
            if (!Wait(std::chrono::milliseconds(3000))) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
            }
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    std::string Out() const { return FileText(out_); }
    std::string Err() const { return FileText(err_); }

    // The program's status once it ended within the limit; a zero limit asks
    // whether it has ended.
    std::optional<int> Wait(std::chrono::milliseconds limit) {
        Eventually(
            [this] {
                int status = 0;
                if (!status_ && waitpid(pid_, &status, WNOHANG) == pid_) {
                    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                }
                return status_.has_value();
            },
            limit);
        return status_;
    }

private:
    TemporaryDirectory directory_;
    std::string out_ = directory_ / "out";
    std::string err_ = directory_ / "err";
    pid_t pid_ = -1;
    std::optional<int> status_;
};

inline ProgramResult RunProgram(const std::vector<std::string>& argv,
                                const std::vector<std::string>& environment = {}) {
    Program program(argv, environment);
    const std::optional<int> status =
        program.Started() ? program.Wait(std::chrono::milliseconds(30000)) : std::nullopt;
    return status ? ProgramResult{*status, program.Out(), program.Err()} : ProgramResult{};
}

} // namespace kestra::testing
