#pragma once

// Runs the project's programs from the build tree: one run to its end with
// its output captured, or a server kept running for the length of a test.

#include "platform/PlatformTestSupport.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
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

// A started program with its standard output and error going to files.
class Program {
public:
    Program(std::vector<std::string> argv, const std::vector<std::string>& environment = {}) {
        // The test's settings replace the inherited ones of the same name.
        std::vector<std::string> variables(environment);
        for (char** variable = environ; *variable != nullptr; ++variable) {
            const std::string_view inherited(*variable);
            const std::string_view name = inherited.substr(0, inherited.find('=') + 1);
            if (std::none_of(environment.begin(), environment.end(),
                             [&](const std::string& set) { return set.starts_with(name); })) {
                variables.emplace_back(inherited);
            }
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT, 0600);
        const std::vector<char*> argp = Pointers(argv);
        const std::vector<char*> envp = Pointers(variables);
        if (posix_spawn(&pid_, argp[0], &actions, nullptr, argp.data(), envp.data()) != 0) {
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
    std::string Out() const { return Contents(out_); }

    // The program's status once it ended within the limit.
    std::optional<int> Wait(std::chrono::milliseconds limit) {
        const auto start = std::chrono::steady_clock::now();
        while (!status_ && std::chrono::steady_clock::now() - start < limit) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        return status_;
    }
    std::optional<ProgramResult> Finish(std::chrono::milliseconds limit) {
        if (!Wait(limit)) {
            return std::nullopt;
        }
        return ProgramResult{*status_, Contents(out_), Contents(err_)};
    }

private:
    static std::vector<char*> Pointers(std::vector<std::string>& strings) {
        std::vector<char*> pointers;
        for (std::string& string : strings) {
            pointers.push_back(string.data());
        }
        pointers.push_back(nullptr);
        return pointers;
    }
    static std::string Contents(const std::string& path) {
        std::ostringstream contents;
        contents << std::ifstream(path, std::ios::binary).rdbuf();
        return contents.str();
    }

    platform::testing::TemporaryDirectory directory_;
    std::string out_ = directory_ / "out";
    std::string err_ = directory_ / "err";
    pid_t pid_ = -1;
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
