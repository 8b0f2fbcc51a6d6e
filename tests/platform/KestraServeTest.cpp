// kestra-serve end to end: the real program, real sockets and real commands.

#include "support/Program.h"
#include "platform/PipeConnection.h"
#include "platform/Process.h"
#include "platform/SocketListener.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace kestra::platform;
using namespace kestra::testing;
using namespace std::chrono_literals;

namespace {

const std::string ServeProgram = BinaryPath("kestra-serve");
constexpr int LimitMs = 5000;
constexpr std::chrono::milliseconds Limit{LimitMs};

// One run of kestra-serve.
class Server : public Program {
public:
    explicit Server(const std::vector<std::string>& arguments,
                    const std::vector<std::string>& environment = {})
        : Program(Command(arguments), environment) {}

    // The endpoint from the "listening on ENDPOINT" line, empty when none came.
    std::string Endpoint() const {
        const std::string prefix = "listening on ";
        std::string line;
        Eventually([&] { return (line = Out()).find('\n') != std::string::npos; }, 5000ms);
        return line.starts_with(prefix)
                   ? line.substr(prefix.size(), line.find('\n') - prefix.size())
                   : std::string{};
    }

    // The server's children, ended or not, that it has not reaped.
    std::string Children() const {
        std::string children;
        const std::string pid = std::to_string(Pid());
        std::getline(std::ifstream("/proc/" + pid + "/task/" + pid + "/children"), children);
        return children;
    }

private:
    static std::vector<std::string> Command(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), ServeProgram);
        return arguments;
    }
};

struct Received {
    std::string text;
    bool shutDown = false;
};

// Reads until the text holds `wanted` (or, with an empty `wanted`, until the
// server shuts the connection down), or the limit passed.
Received ReadUntil(const PipeConnection& connection, const std::string& wanted) {
    Received received;
    auto start = Clock::now();
    while (MillisecondsSince(start) < LimitMs) {
        if (!wanted.empty() && received.text.find(wanted) != std::string::npos)
            break;
        if (connection.WaitReadable(50).result != WaitResult::Readable)
            continue;
        std::array<unsigned char, 1024> buffer;
        PipeOutcome read = connection.Read(buffer);
        if (!read.Ok()) {
            received.shutDown = read.status == PipeStatus::ShutDown;
            break;
        }
        received.text.append(buffer.begin(), buffer.begin() + read.bytes);
    }
    return received;
}

bool Receives(const PipeConnection& connection, const std::string& wanted) {
    return ReadUntil(connection, wanted).text.find(wanted) != std::string::npos;
}

void Type(const PipeConnection& connection, std::string_view text) {
    for (char c : text)
        ASSERT_TRUE(connection.WriteByte(static_cast<unsigned char>(c)).Ok());
}

PipeConnection Connect(const std::string& pipePath) {
    PipeOpenResult opened = PipeConnection::Open(pipePath);
    EXPECT_TRUE(opened.Ok()) << pipePath << ": " << opened.errorText;
    return std::move(opened.connection);
}

bool Exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

class KestraServe : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(access(ServeProgram.c_str(), X_OK), 0)
            << ServeProgram << " is missing: build the kestra-serve target";
        ASSERT_FALSE(directory_.Path().empty());
    }
    TemporaryDirectory directory_;
};

} // namespace

TEST_F(KestraServe, RelaysACommandToSeveralConnectionsAtOnce) {
    std::string path = directory_ / "new/dir/console";
    Server server({path, "--", "/bin/sh", "-c", "echo hello; cat"});
    ASSERT_TRUE(server.Started());
    ASSERT_EQ(server.Endpoint(), path);

    PipeConnection first = Connect(path);
    PipeConnection second = Connect(path);
    ASSERT_TRUE(first.IsOpen() && second.IsOpen());
    EXPECT_TRUE(Receives(first, "hello"));
    EXPECT_TRUE(Receives(second, "hello"));

    // The terminal echoes the line, then cat sends it back: twice each.
    Type(first, "abc\r");
    Type(second, "xyz\r");
    Received one = ReadUntil(first, "abc\r\nabc\r\n");
    Received two = ReadUntil(second, "xyz\r\nxyz\r\n");
    EXPECT_NE(one.text.find("abc\r\nabc\r\n"), std::string::npos) << one.text;
    EXPECT_NE(two.text.find("xyz\r\nxyz\r\n"), std::string::npos) << two.text;
    EXPECT_EQ(one.text.find("xyz"), std::string::npos) << "connections must not share a command";
}

TEST_F(KestraServe, ConnectionClosesWhenTheCommandEndsWithItsLastOutput) {
    std::string path = directory_ / "console";
    // More output than the terminal holds, so that some of it is still on
    // its way when the command has already ended.
    constexpr int Bulk = 100000;
    Server server({path, "--", "/bin/sh", "-c",
                   "echo first; head -c " + std::to_string(Bulk) +
                       " /dev/zero | tr '\\0' x; echo; echo last"});
    ASSERT_EQ(server.Endpoint(), path);
    for (int connection = 0; connection < 2; ++connection) {
        PipeConnection client = Connect(path);
        Received received = ReadUntil(client, "");
        EXPECT_TRUE(received.shutDown);
        EXPECT_TRUE(received.text.starts_with("first\r\n")) << received.text.substr(0, 80);
        EXPECT_TRUE(received.text.ends_with("\r\nlast\r\n"));
        EXPECT_EQ(std::count(received.text.begin(), received.text.end(), 'x'), Bulk);
    }
    // Every connection's process has ended; the server must have reaped them.
    EXPECT_TRUE(Eventually([&] { return server.Children().empty(); }, 5000ms)) << server.Children();
}

TEST_F(KestraServe, OnceServesOneConnectionThenExitsAndEndsTheCommand) {
    std::string path = directory_ / "console";
    // The command ignores the hang-up that a vanished client causes.
    Server server({"--once", path, "--", "/bin/sh", "-c",
                   "trap '' HUP; echo pid=$$; while :; do sleep 0.05; done"});
    ASSERT_EQ(server.Endpoint(), path);
    pid_t command = 0;
    {
        PipeConnection client = Connect(path);
        Received received = ReadUntil(client, "\r\n");
        auto at = received.text.find("pid=");
        ASSERT_NE(at, std::string::npos) << received.text;
        command = std::stoi(received.text.substr(at + 4));
        EXPECT_FALSE(Exists(path)) << "a --once server takes no further connections";
    } // the client leaves while the command still runs
    EXPECT_EQ(server.Wait(Limit), std::optional<int>(0));
    EXPECT_EQ(WaitForProcessExit(command, LimitMs), ProcessWaitResult::Ended)
        << "the command must end when its client leaves";
}

TEST_F(KestraServe, ServesTcpOnLoopbackByDefault) {
    for (std::vector<std::string> arguments :
         {std::vector<std::string>{"--tcp", "0"}, std::vector<std::string>{"--tcp=127.0.0.1:0"}}) {
        arguments.insert(arguments.end(), {"--", "/bin/sh", "-c", "echo tcp-hello; cat"});
        Server server(arguments);
        std::string endpoint = server.Endpoint();
        ASSERT_TRUE(endpoint.starts_with("127.0.0.1:")) << endpoint;
        std::string port = endpoint.substr(endpoint.find(':') + 1);
        ASSERT_NE(port, "0");
        PipeConnection client = Connect("\\\\127.0.0.1\\pipe\\" + port);
        EXPECT_TRUE(Receives(client, "tcp-hello"));
        Type(client, "ping\r");
        EXPECT_TRUE(Receives(client, "ping\r\nping\r\n"));
    }
}

TEST_F(KestraServe, BareNameListensWhereAConsoleLooksForThatPipe) {
    Server server({"PIPE1", "--", "/bin/sh", "-c", "echo named"},
                  {"KESTRA_PIPES=" + directory_.Path()});
    ASSERT_EQ(server.Endpoint(), directory_ / "PIPE1");
    PipeOpenResult opened =
        PipeConnection::Open("\\\\.\\pipe\\PIPE1", {directory_.Path(), std::nullopt, 0});
    ASSERT_TRUE(opened.Ok()) << opened.errorText;
    EXPECT_TRUE(Receives(opened.connection, "named"));
}

// The usage status and the pointer to --help are checked with the other
// helper programs; these are the messages for each mistake.
TEST_F(KestraServe, BadArgumentsAreRefusedWithUsageStatus) {
    const std::string path = directory_ / "s";
    const std::pair<std::vector<std::string>, const char*> rows[] = {
        {{}, "missing socket path or --tcp"},
        {{"--tcp"}, "option '--tcp' requires an argument"},
        {{"--tcp", "1:2:3"}, "invalid TCP address '1:2:3'"},
        {{path, "--tcp", "0"}, "only one endpoint may be given"},
        {{path, "cat"}, "unexpected argument 'cat'"},
    };
    for (const auto& [arguments, message] : rows) {
        SCOPED_TRACE(message);
        Server server(arguments);
        ASSERT_TRUE(server.Started());
        EXPECT_EQ(server.Wait(Limit), std::optional<int>(2));
        EXPECT_NE(server.Err().find(message), std::string::npos) << server.Err();
    }
    EXPECT_FALSE(Exists(path)) << "a refused command line must not create the socket";
}
