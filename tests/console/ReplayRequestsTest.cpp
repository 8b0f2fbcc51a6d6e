// kestra-replay --requests: the console's requests to its window, printed
// after the screen, one burst per input file.

#include "ConsoleTestSupport.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace kestra::console {
namespace {

using namespace kestra::console::consoletest;
using namespace kestra::testing;
using Lines = std::vector<std::string>;

struct Split {
    Lines screen;
    Lines requests;
};

Split SplitOutput(const std::string& out) {
    Split split;
    std::istringstream stream(out);
    std::string line;
    while (std::getline(stream, line)) {
        const bool request = line.starts_with("repaint ") || line.starts_with("resize ");
        (request ? split.requests : split.screen).push_back(line);
        if (!request && !split.requests.empty()) {
            split.screen.push_back("(screen line after a request)");
        }
    }
    return split;
}

TEST(ReplayRequests, EachFileIsOneBurstAndTheScreenIsUnchanged) {
    struct Case {
        const char* name;
        std::vector<std::string> files;
        Lines requests;
    };
    const Case cases[] = {
        {"two bursts", {"A", "B"}, {"repaint 2 0 0 1 0", "repaint 2 1 0 2 0"}},
        {"an empty file asks for nothing", {"A", ""}, {"repaint 2 0 0 1 0"}},
    };
    TemporaryDirectory directory;
    const std::vector<std::string> environment{"CNF=" KESTRA_SOURCE_DIR "/data"};
    for (const Case& c : cases) {
        std::vector<std::string> names;
        for (std::size_t i = 0; i < c.files.size(); ++i) {
            names.push_back(directory / ("in" + std::to_string(i)));
            std::ofstream(names.back(), std::ios::binary) << c.files[i];
        }
        std::vector<std::string> plain{BinaryPath("kestra-replay")};
        plain.insert(plain.end(), names.begin(), names.end());
        std::vector<std::string> withRequests(plain);
        withRequests.insert(withRequests.begin() + 1, "--requests");

        const ProgramResult without = RunProgram(plain, environment);
        const ProgramResult with = RunProgram(withRequests, environment);
        ASSERT_EQ(without.status, 0) << c.name << ": " << without.err;
        ASSERT_EQ(with.status, 0) << c.name << ": " << with.err;
        const Split expected = SplitOutput(without.out);
        const Split got = SplitOutput(with.out);
        EXPECT_TRUE(expected.requests.empty()) << c.name;
        EXPECT_EQ(got.screen, expected.screen) << c.name;
        EXPECT_EQ(got.requests, c.requests) << c.name;
    }
}

} // namespace
} // namespace kestra::console
