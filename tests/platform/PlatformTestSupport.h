#pragma once

// Helpers shared by the platform tests: a private temporary directory and a
// few timing helpers. Everything stays on loopback and under /tmp.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace kestra::platform::testing {

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
        if (Clock::now() - start > limit)
            return false;
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
        if (mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

} // namespace kestra::platform::testing
