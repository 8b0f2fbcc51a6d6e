#include "shell/Restart.h"

#include "platform/Process.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

using namespace kestra;
using namespace kestra::shell;

namespace {

std::string WaitSwitch(pid_t pid) {
    char text[16];
    std::snprintf(text, sizeof text, "/W:%08X", static_cast<unsigned>(pid));
    return text;
}

TEST(RestartArguments, AppendTheOldProcessInEightHexDigits) {
    struct Row {
        pid_t pid;
        const char* expected;
    };
    for (const Row row : {Row{0x1A4, "/W:000001A4"}, Row{0x7FFFFFFF, "/W:7FFFFFFF"}}) {
        EXPECT_EQ(RestartArguments({"kestra", "/C:a b.cnf"}, row.pid),
                  (std::vector<std::string>{"kestra", "/C:a b.cnf", row.expected}));
    }
}

// A real restart: the new process gets the old arguments, unchanged and each
// one argument, and /W: with this process's id; it outlives the old one's
// request to start it.
TEST(Restart, StartsANewProcessWithTheOldArgumentsAndTheWaitSwitch) {
    const auto out = std::filesystem::temp_directory_path() /
                     ("kestra-restart-" + std::to_string(::getpid()) + ".txt");
    std::filesystem::remove(out);
    const std::string script = "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                               out.string() + ".part' && mv '" + out.string() + ".part' '" +
                               out.string() + "'";
    Restart({"/bin/sh", "-c", script, "kestra", "/C:my lab.cnf", "/Q"});

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!std::filesystem::exists(out) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(std::filesystem::exists(out)) << "the new instance did not run";
    std::ifstream in(out);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    std::filesystem::remove(out);
    EXPECT_EQ(lines, (std::vector<std::string>{"/C:my lab.cnf", "/Q",
                                               WaitSwitch(platform::CurrentProcessId())}));
}

} // namespace
