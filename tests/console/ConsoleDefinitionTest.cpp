// Defining consoles: the CON line's options, limits and messages, the pipe
// paths and units, through kestra-check as start-up does; and kestra-replay's
// requests. The servers are listeners of the test's.

#include "console/ConsoleDefinition.h"

#include "ConsoleTestSupport.h"
#include "config/ConfigHooks.h"
#include "config/ConfigInterpreter.h"
#include "config/GlobalOptions.h"
#include "console/ConsoleTable.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>

namespace kestra::console {
namespace {

using namespace consoletest;

// Whatever connects to P is accepted and kept until the test ends.
struct Server {
    explicit Server(const std::string& path)
        : listener(platform::SocketListener::ListenLocal(path).listener) {}
    ~Server() {
        ::shutdown(listener.Descriptor(), SHUT_RDWR);
        acceptor.join();
    }
    platform::SocketListener listener;
    std::thread acceptor{[this] {
        std::vector<platform::PipeConnection> kept;
        for (auto got = listener.Accept(); got.Ok(); got = listener.Accept()) {
            kept.push_back(std::move(got.connection));
        }
    }};
};

TEST(ConsoleDefinition, TheConLineSetsTheConsoleAndStartsItsReader) {
    TemporaryDirectory directory;
    Server server(directory / "P");
    platform::ScopedFatalCapture capture;
    termdef::TheTerminalDefinition().loaded = true;
    config::ResetOptions();
    config::ResetHooks();
    InstallConsoleDefinition();
    config::Options().configFilePath = directory / "k.cnf";
    std::ofstream(directory / "k.cnf")
        << "CON /8BIT:yes/AUTOWRAP:on/CURSOR:off = " + (directory / "P") +
               "\nCON /8BIT:no/AUTOWRAP:off/CURSOR:on = " + (directory / "P");
    config::ConfigPass(1);
    config::ConfigPass(2);
    for (const std::uint16_t unit : {0, 1}) {
        const ConsoleRecord& r = *Consoles().At(unit);
        EXPECT_EQ((std::array{r.eightBit, r.screen->autowrap != 0, r.cursorSuppressed}),
                  (std::array{!unit, !unit, !unit}));
        EXPECT_TRUE(r.pipe.IsOpen() && r.readerThread.Joinable());
    }
    Consoles().Reset();
    config::ResetHooks();
    config::ResetOptions();
}

TEST(ConsoleDefinition, KestraCheckListsTheConsolesOrShowsTheReport) {
    TemporaryDirectory directory;
    Server server(directory / "P");
    auto tcp = platform::SocketListener::ListenTcp("127.0.0.1", "0");
    const std::string port = std::to_string(tcp.listener.Port()), local = "\\\\.\\pipe\\P";
    const struct {
        std::string config;   // or the argument, when it is not a configuration
        std::string expected; // the output; after an error, the end of the report
    } cases[] = {
        {"CON = P", "console 0 24x80 " + local + " " + local + "\n"},
        {"CON /UNIT:7/UNITNAME:Lab/8BIT:yes/WIDTH:132/AUTOWRAP:on/CURSOR:off/HEIGHT:30 = P",
         "console 7 30x132 " + local + " Lab\n"},
        {"con /unit:99 /cursor:yes /height:254 /8BIT:NO = P",
         "console 99 254x80 " + local + " " + local + "\n"},
        {"CON /UNITNAME:A /UNITNAME:'B C' = P\nCON /UNIT:1 = P\nCON = P",
         "console 0 24x80 " + local + " B C\nconsole 1 24x80 " + local + " " + local +
             "\nconsole 2 24x80 " + local + " " + local + "\n"},
        {"Server = 127.0.0.1\nCON = " + port + "\nCON = " + (directory / "P"),
         "console 0 24x80 \\\\127.0.0.1\\pipe\\" + port + " \\\\127.0.0.1\\pipe\\" + port +
             "\nconsole 1 24x80 " + (directory / "P") + " " + (directory / "P") + "\n"},
        {"CON /UNIT:3 = P\nCON /UNIT:3 = P", "Unit number already in use\n"},
        {"CON /UNIT:100 = P", "UNIT must be from 0 to 99\n"},
        {"CON /unit:x = P", "Expected a decimal number\n"},
        {"CON = P\nCON /WIDTH:100 = P",
         "line 2 of " + (directory / "k.cnf") +
             "\nCON /WIDTH:100 = P\n    ^^^^^^^^^^\nWidth must be 80 or 132 columns\n"},
        {"CON /HEIGHT:1 = P", "HEIGHT must be from 2 to 254\n"},
        {"CON /CURSOR:maybe = P", "Option value must be ON, OFF, YES or NO\n"},
        {"CON /COLOUR:red = P", "Invalid option\n"},
        {"CON = nobody", std::string(std::strerror(ENOENT)) + "[\\\\.\\pipe\\nobody]\n"},
        {[] {
             std::string all;
             for (int i = 0; i < 101; ++i)
                 all += "CON = P\n";
             return all;
         }(),
         "Too many CONs: only 100 consoles may be configured\n"},
        {"nobody", std::string(std::strerror(ENOENT)) + "[\\\\.\\pipe\\nobody]\n"}, // pipe names
        {"P", "console 0 24x80 " + local + " " + local + "\n"},
        {"/C:missing.cnf", "Can't open configuration file: missing.cnf\n"},
    };
    for (const auto& c : cases) {
        std::ofstream(directory / "k.cnf") << c.config << "\n";
        const bool argument =
            c.config.find_first_of(" /") == std::string::npos || c.config[0] == '/';
        const ProgramResult r = RunProgram(
            {BinaryPath("kestra-check"), argument ? c.config : "/C:" + (directory / "k.cnf")},
            {"KESTRA_PIPES=" + directory.Path(), "CNF=" KESTRA_SOURCE_DIR "/data"});
        const bool listed = c.expected.starts_with("console ");
        EXPECT_EQ(r.status, listed ? 0 : 255) << c.config;
        EXPECT_EQ(listed ? r.out
                         : r.err.substr(r.err.size() - std::min(r.err.size(), c.expected.size())),
                  c.expected)
            << c.config;
    }
}

// With --requests, each file is one burst that ends with the pipe running
// dry: its requests follow the screen, which stays as without them.
TEST(ConsoleDefinition, KestraReplayPrintsEachBurstsRequests) {
    TemporaryDirectory directory;
    std::vector<std::string> plain{BinaryPath("kestra-replay")};
    for (const char* bytes : {"A", "", "B"}) {
        plain.push_back(directory / std::to_string(plain.size()));
        std::ofstream(plain.back()) << bytes;
    }
    std::vector<std::string> requests(plain);
    requests.insert(requests.begin() + 1, "--requests");
    const std::vector<std::string> environment{"CNF=" KESTRA_SOURCE_DIR "/data"};
    const ProgramResult without = RunProgram(plain, environment),
                        with = RunProgram(requests, environment);
    ASSERT_EQ(without.status, 0) << without.err;
    EXPECT_EQ(with.out, without.out + "repaint 2 0 0 1 0\nrepaint 2 1 0 2 0\n");
}

} // namespace
} // namespace kestra::console
