// kestra-check end to end: the real program against real kestra-serve
// servers, with the configuration written by the test.

#include "ConsoleTestSupport.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>

namespace kestra::console {
namespace {

using namespace kestra::console::consoletest;
using namespace kestra::testing;
using namespace std::chrono_literals;

class KestraCheckTest : public ::testing::Test {
protected:
    std::vector<std::string> Environment() const {
        return {"KESTRA_PIPES=" + pipes_, "CNF=" KESTRA_SOURCE_DIR "/data"};
    }

    // A kestra-serve listening on the pipe (a name or a socket path),
    // relaying to cat; false when it did not come up.
    bool Serve(const std::string& pipe) {
        servers_.push_back(std::make_unique<Program>(
            std::vector<std::string>{BinaryPath("kestra-serve"), pipe, "--", "cat"},
            Environment()));
        Program& server = *servers_.back();
        return server.Started() &&
               Eventually([&] { return server.Out().starts_with("listening on "); }, 5000ms);
    }

    std::string WriteConfig(const std::string& content) {
        const std::string path = directory_ / "check.cnf";
        std::ofstream(path) << content;
        return path;
    }

    ProgramResult Check(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), BinaryPath("kestra-check"));
        return RunProgram(arguments, Environment());
    }

    TemporaryDirectory directory_;
    std::string pipes_ = directory_ / "pipes";
    std::vector<std::unique_ptr<Program>> servers_;
};

TEST_F(KestraCheckTest, AValidConfigurationListsItsConsoles) {
    ASSERT_TRUE(Serve("alpha"));
    const std::string beta = directory_ / "beta";
    ASSERT_TRUE(Serve(beta));
    const std::string config = WriteConfig("Title = Lab\n"
                                           "CON /UNITNAME:First = alpha\n"
                                           "CON /UNIT:5 /WIDTH:132 /HEIGHT:30 = " +
                                           beta + "\n");
    const ProgramResult result = Check({"/C:" + config});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "console 0 24x80 \\\\.\\pipe\\alpha First\n"
                          "console 5 30x132 " +
                              beta + " " + beta + "\n");
    EXPECT_EQ(result.err, "");
}

// A located report shows the marker under the line as blanks.
TEST_F(KestraCheckTest, AFailureShowsWhatTheDialogWouldAndExitsWith255) {
    ASSERT_TRUE(Serve("alpha"));
    const std::string config = WriteConfig("CON = alpha\nCON /WIDTH:100 = alpha\n");
    const std::pair<std::string, std::string> cases[] = {
        {"nobody", std::string(std::strerror(ENOENT)) + "[\\\\.\\pipe\\nobody]\n"},
        {"/X", "Invalid command line option: /X\n-----"}, // with the help
        {"/C:missing.cnf", "Can't open configuration file: missing.cnf\n"},
        {"/C:" + config, "Error in line 2 of " + config +
                             "\nCON /WIDTH:100 = alpha\n    ^^^^^^^^^^\n"
                             "Width must be 80 or 132 columns\n"},
    };
    for (const auto& [argument, errorStart] : cases) {
        const ProgramResult result = Check({argument});
        EXPECT_EQ(result.status, 255) << argument;
        EXPECT_EQ(result.out, "") << argument;
        EXPECT_TRUE(result.err.starts_with(errorStart)) << argument << ":\n" << result.err;
    }
}

} // namespace
} // namespace kestra::console
