// Defining consoles: what the CON line sets in the console, and the real
// kestra-check and kestra-replay; the servers are the test's own listeners.

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

// Listens on DIRECTORY/P and keeps every connection until the test ends.
struct Server {
    explicit Server(const TemporaryDirectory& directory)
        : listener(platform::SocketListener::ListenLocal(directory / "P").listener) {}
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
    Server server(directory);
    platform::ScopedFatalCapture capture;
    termdef::TheTerminalDefinition().loaded = true;
    config::ResetOptions();
    config::ResetHooks();
    InstallConsoleDefinition();
    config::Options().configFilePath = directory / "k.cnf";
    std::ofstream(directory / "k.cnf")
        << "CON /8BIT:yes/AUTOWRAP:on/CURSOR:off = " + directory / "P"
        << "\nCON /8BIT:no/AUTOWRAP:off/CURSOR:on = " + directory / "P";
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

// A configuration (or, without a blank, the argument): what is listed, or
// the end of the report on standard error.
TEST(ConsoleDefinition, KestraCheckListsTheConsolesOrShowsTheReport) {
    TemporaryDirectory directory;
    Server server(directory);
    const std::string p = "\\\\.\\pipe\\P", config = directory / "k.cnf", path = directory / "P";
    std::string hundredAndOne;
    for (int i = 0; i < 101; ++i) {
        hundredAndOne += "CON = P\n";
    }
    const std::pair<std::string, std::string> cases[] = {
        {"CON /UNIT:7/UNITNAME:'B C'/WIDTH:132/HEIGHT:30 = P\nCON /UNIT:0 = P\ncon /height:254 = P",
         "console 7 30x132 " + p + " B C\nconsole 0 24x80 " + p + " " + p + "\nconsole 1 254x80 " +
             p + " " + p + "\n"},
        {"CON = " + path, "console 0 24x80 " + path + " " + path + "\n"},
        {"P", "console 0 24x80 " + p + " " + p + "\n"},
        {"CON /UNIT:3 = P\nCON /UNIT:3 = P", "Unit number already in use\n"},
        {"CON /UNIT:100 = P", "UNIT must be from 0 to 99\n"},
        {"CON /HEIGHT:1 = P", "HEIGHT must be from 2 to 254\n"},
        {"CON = P\nCON /WIDTH:100 = P",
         "line 2 of " + config +
             "\nCON /WIDTH:100 = P\n    ^^^^^^^^^^\nWidth must be 80 or 132 columns\n"},
        {"CON = nobody", std::string(std::strerror(ENOENT)) + "[\\\\.\\pipe\\nobody]\n"},
        {"nobody", std::string(std::strerror(ENOENT)) + "[\\\\.\\pipe\\nobody]\n"},
        {hundredAndOne, "Too many CONs: only 100 consoles may be configured\n"}};
    for (const auto& [text, expected] : cases) {
        std::ofstream(config) << text << "\n";
        const ProgramResult r = RunProgram(
            {BinaryPath("kestra-check"), text.find(' ') == text.npos ? text : "/C:" + config},
            {"KESTRA_PIPES=" + directory.Path(), "CNF=" KESTRA_SOURCE_DIR "/data"});
        const bool listed = expected.starts_with("console ");
        EXPECT_EQ(r.status, listed ? 0 : 255) << text;
        EXPECT_TRUE(listed ? r.out == expected : r.err.ends_with(expected))
            << text << r.out << r.err;
    }
}

// With --requests each file is one burst, its requests after the screen.
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
    const ProgramResult without = RunProgram(plain, environment);
    EXPECT_EQ(RunProgram(requests, environment).out,
              without.out + "repaint 2 0 0 1 0\nrepaint 2 1 0 2 0\n");
    EXPECT_EQ(without.status, 0) << without.err;
}

} // namespace
} // namespace kestra::console
