// Defining consoles through the configuration passes, as start-up does: the
// CON line's options and messages, the pipe path, the unit, the table, and a
// live reader behind every console. The servers are in-test listeners.

#include "console/ConsoleDefinition.h"

#include "ConsoleTestSupport.h"
#include "config/ConfigTestSupport.h"
#include "console/ConsoleTable.h"

#include <atomic>
#include <cstring>
#include <poll.h>
#include <sstream>

namespace kestra::console {
namespace {

using config::testing::ConfigFilesTest;
using config::testing::ScopedEnvironment;
using consoletest::BareTerminalDefinition;
using consoletest::Eventually;
using consoletest::RecordingFrame;
using namespace std::chrono_literals;

// A server that takes every connection and keeps it.
class AcceptingServer {
public:
    explicit AcceptingServer(platform::ListenResult listening)
        : listener_(std::move(listening.listener)) {
        if (!listener_.IsOpen()) {
            return;
        }
        thread_ = std::thread([this] {
            while (!stop_) {
                pollfd entry{listener_.Descriptor(), POLLIN, 0};
                if (poll(&entry, 1, 20) <= 0) {
                    continue;
                }
                platform::PipeOpenResult accepted = listener_.Accept();
                if (accepted.Ok()) {
                    std::lock_guard guard(mutex_);
                    connections_.push_back(std::move(accepted.connection));
                }
            }
        });
    }
    ~AcceptingServer() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        listener_.CloseAndRemove();
    }
    bool Ok() const { return listener_.IsOpen(); }
    int Port() const { return listener_.Port(); }
    std::size_t Accepted() {
        std::lock_guard guard(mutex_);
        return connections_.size();
    }

private:
    platform::SocketListener listener_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<platform::PipeConnection> connections_;
};

class ConsoleDefinitionTest : public ConfigFilesTest {
protected:
    void SetUp() override {
        ConfigFilesTest::SetUp();
        InstallConsoleDefinition();
        pipes_ = root_ + "/pipes";
        pipesVariable_.emplace("KESTRA_PIPES", pipes_);
    }
    void TearDown() override {
        // The readers go before their servers.
        Consoles().Reset();
        servers_.clear();
        pipesVariable_.reset();
        ConfigFilesTest::TearDown();
    }

    // A local pipe NAME is the Unix socket DIR/NAME; no name: TCP.
    AcceptingServer& Serve(const std::string& name = "") {
        servers_.push_back(std::make_unique<AcceptingServer>(
            name.empty() ? platform::SocketListener::ListenTcp("127.0.0.1", "0")
                         : platform::SocketListener::ListenLocal(pipes_ + "/" + name)));
        EXPECT_TRUE(servers_.back()->Ok()) << name;
        return *servers_.back();
    }

    std::string pipes_;
    std::optional<ScopedEnvironment> pipesVariable_;
    std::vector<std::unique_ptr<AcceptingServer>> servers_;
    BareTerminalDefinition definition_;
    RecordingFrame frame_;
};

const std::string Prefix = "\\\\.\\pipe\\";

const std::string Pipe1 = Prefix + "PIPE1";

// Unit, name, grid, and the options that are on.
std::string Describe(ConsoleRecord& record) {
    std::lock_guard held(record.lock);
    std::ostringstream out;
    out << record.unit << " " << record.unitName << " " << record.screen->rows << "x"
        << record.screen->cols << "/" << record.width
        << (record.screen->autowrap ? " autowrap" : "") << (record.eightBit ? " 8bit" : "")
        << (record.cursorSuppressed ? " cursor-off" : "");
    return out.str();
}

TEST_F(ConsoleDefinitionTest, ConLinesDefineConsolesWithTheirOptions) {
    struct Case {
        const char* line;
        std::uint16_t unit;
        std::string expected;
    };
    const Case cases[] = {
        {"CON = PIPE1", 0, "0 " + Pipe1 + " 24x80/80"},
        {"CON /UNIT:7/UNITNAME:Lab/8BIT:yes/WIDTH:132/AUTOWRAP:on/CURSOR:off/HEIGHT:30 = PIPE1", 7,
         "7 Lab 30x132/132 autowrap 8bit cursor-off"},
        {"con /unit:99 /cursor:yes /height:254 /8BIT:NO = PIPE1", 99, "99 " + Pipe1 + " 254x80/80"},
        {"CON /UNITNAME:A /UNITNAME:'B C' = PIPE1", 0, "0 B C 24x80/80"},
    };
    Serve("PIPE1");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Consoles().Reset();
        UseConfig(std::string(c.line) + "\n");
        ASSERT_EQ(RunPasses(), std::nullopt);
        ASSERT_EQ(ConsoleCount(), 1);
        ConsoleRecord* record = Consoles().At(c.unit);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(Describe(*record), c.expected);
        EXPECT_EQ(record->pipePath, Pipe1);
        EXPECT_TRUE(record->pipe.IsOpen());
        EXPECT_TRUE(record->readerThread.Joinable());
    }
}

TEST_F(ConsoleDefinitionTest, PipeNamesFollowTheServerPrefixUnlessTheyAreFullPaths) {
    AcceptingServer& tcp = Serve();
    const std::string port = std::to_string(tcp.Port());
    Serve("PIPE1");
    const std::string socketPath = pipes_ + "/PIPE1";
    UseConfig("Server = 127.0.0.1\nCON = " + port + "\nCON = " + socketPath +
              "\nCON = \\\\.\\pipe\\PIPE1\n");
    ASSERT_EQ(RunPasses(), std::nullopt);
    ASSERT_EQ(ConsoleCount(), 3);
    EXPECT_EQ(Consoles().At(0)->pipePath, "\\\\127.0.0.1\\pipe\\" + port);
    EXPECT_EQ(Consoles().At(1)->pipePath, socketPath);
    EXPECT_EQ(Consoles().At(2)->pipePath, "\\\\.\\pipe\\PIPE1");
    EXPECT_TRUE(Eventually([&] { return tcp.Accepted() == 1; }, 5000ms));
}

TEST_F(ConsoleDefinitionTest, UnitsAreTheLowestFreeOnesUnlessGiven) {
    struct Case {
        const char* config;
        std::vector<std::uint16_t> units; // in definition order
    };
    const Case cases[] = {
        {"CON = P\nCON = P\nCON = P\n", {0, 1, 2}},
        {"CON /UNIT:5 = P\nCON /UNIT:3 = P\nCON = P\n", {5, 3, 0}},
    };
    Serve("P");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.config);
        Consoles().Reset();
        RecordingFrame frame;
        UseConfig(c.config);
        ASSERT_EQ(RunPasses(), std::nullopt);
        EXPECT_EQ(frame.Units(), c.units);
        EXPECT_EQ(ConsoleCount(), c.units.size());
    }
}

// Each case's message, as the last line of its located report. The line's
// syntax (slashes, '=', its argument) is the option readers' and tested there;
// these are the consoles' own options and limits.
TEST_F(ConsoleDefinitionTest, EveryMistakeInAConLineIsReportedWhereItStands) {
    struct Case {
        const char* config;
        std::string message;
    };
    const Case cases[] = {
        {"CON /UNIT:3 = P\nCON /UNIT:3 = P\n", "Unit number already in use"},
        {"CON /UNIT:100 = P\n", "UNIT must be from 0 to 99"},
        {"CON /unit:x = P\n", "Expected a decimal number"},
        {"CON /WIDTH:100 = P\n", "Width must be 80 or 132 columns"},
        {"CON /HEIGHT:1 = P\n", "HEIGHT must be from 2 to 254"},
        {"CON /CURSOR:maybe = P\n", "Option value must be ON, OFF, YES or NO"},
        {"CON /COLOUR:red = P\n", "Invalid option"},
        {"CON = nobody\n", std::string(std::strerror(ENOENT)) + "[" + Prefix + "nobody]"},
    };
    Serve("P");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.config);
        Consoles().Reset();
        UseConfig(c.config);
        EXPECT_EQ(MessageOf(RunPasses()), c.message);
    }
}

TEST_F(ConsoleDefinitionTest, AHundredAndFirstConsoleIsRefused) {
    Serve("P");
    std::string config;
    for (int i = 0; i < 101; ++i) {
        config += "CON = P\n";
    }
    UseConfig(config);
    EXPECT_EQ(MessageOf(RunPasses()), "Too many CONs: only 100 consoles may be configured");
    EXPECT_EQ(ConsoleCount(), 100);
}

// A pipe that cannot be opened ends the program without a location.
TEST_F(ConsoleDefinitionTest, PipeNamesOnTheCommandLineDefineOneConsoleEach) {
    struct Case {
        std::vector<std::string> names;
        std::optional<std::string> error;
        int consoles;
    };
    const Case cases[] = {
        {{"nobody"}, std::string(std::strerror(ENOENT)) + "[" + Prefix + "nobody]", 0},
        {{"PIPE1", "PIPE2"}, std::nullopt, 2},
    };
    Serve("PIPE1");
    Serve("PIPE2");
    for (const Case& c : cases) {
        Consoles().Reset();
        config::Options().commandLineConsoles = true;
        config::Options().commandLinePipeNames = c.names;
        EXPECT_EQ(RunPasses(), c.error) << c.names[0];
        EXPECT_EQ(ConsoleCount(), c.consoles) << c.names[0];
    }
    EXPECT_EQ(Describe(*Consoles().At(0)), "0 " + Pipe1 + " 24x80/80");
    EXPECT_EQ(Consoles().At(1)->pipePath, Prefix + "PIPE2");
    EXPECT_FALSE(config::Options().configOpened);
}

} // namespace
} // namespace kestra::console
