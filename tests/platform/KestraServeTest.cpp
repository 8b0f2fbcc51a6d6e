// kestra-serve end to end: the real program, real sockets and real commands.

#include "platform/PipeConnection.h"
#include "platform/Process.h"
#include "support/Program.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

using namespace kestra::platform;
using namespace kestra::testing;
using namespace std::chrono_literals;

namespace {

struct Server : Program {
    explicit Server(std::vector<std::string> arguments, std::vector<std::string> environment = {})
        : Program((arguments.insert(arguments.begin(), BinaryPath("kestra-serve")), arguments),
                  environment) {}

    // The endpoint from the "listening on ENDPOINT" line, empty when none came.
    std::string Endpoint() const {
        std::string line;
        Eventually([&] { return (line = Out()).find('\n') != std::string::npos; }, 20s);
        return line.starts_with("listening on ") ? line.substr(13, line.find('\n') - 13) : "";
    }
};

struct Received {
    std::string text;
    bool shutDown = false;
};

// Reads until the text holds `wanted` (with an empty `wanted`, until the
// server shuts the connection down), or for at most 20 s.
Received ReadUntil(const PipeConnection& connection, const std::string& wanted = "") {
    Received received;
    const auto start = Clock::now();
    while (MillisecondsSince(start) < 20000 &&
           (wanted.empty() || received.text.find(wanted) == std::string::npos)) {
        if (connection.WaitReadable(50).result != WaitResult::Readable)
            continue;
        std::array<unsigned char, 1024> buffer;
        const PipeOutcome read = connection.Read(buffer);
        received.shutDown = read.status == PipeStatus::ShutDown;
        if (!read.Ok())
            break;
        received.text.append(buffer.begin(), buffer.begin() + read.bytes);
    }
    return received;
}

void Type(const PipeConnection& connection, std::string_view text) {
    for (char c : text)
        ASSERT_TRUE(connection.WriteByte(static_cast<unsigned char>(c)).Ok());
}

PipeConnection Connect(const std::string& pipePath, const PipeDirectorySources& sources) {
    PipeOpenResult opened = PipeConnection::Open(pipePath, sources);
    EXPECT_TRUE(opened.Ok()) << pipePath << ": " << opened.errorText;
    return std::move(opened.connection);
}

// Two clients at once, each with its own command: what one types reaches
// only its own command (the terminal echoes the line, the command answers),
// and each gets all of its command's output, more than a terminal holds,
// before the connection closes as the command ends.
TEST(KestraServe, RelaysEachConnectionToItsOwnCommandUntilItsLastOutput) {
    TemporaryDirectory directory;
    const std::string path = directory / "new/dir/console";
    Server server({path, "--", "/bin/sh", "-c",
                   "echo hello; read line; echo \"got $line\"; "
                   "head -c 100000 /dev/zero | tr '\\0' x; echo; echo last"});
    ASSERT_EQ(server.Endpoint(), path);
    const PipeDirectorySources sources = PipeDirectorySources::FromProcess();
    PipeConnection first = Connect(path, sources);
    PipeConnection second = Connect(path, sources);
    EXPECT_TRUE(ReadUntil(first, "hello\r\n").text.starts_with("hello\r\n"));
    EXPECT_TRUE(ReadUntil(second, "hello\r\n").text.starts_with("hello\r\n"));
    Type(first, "abc\r");
    Type(second, "xyz\r");
    for (auto [connection, line] : {std::pair{&first, "abc"}, std::pair{&second, "xyz"}}) {
        const Received received = ReadUntil(*connection);
        const std::string expected = line + std::string("\r\ngot ") + line + "\r\n" +
                                     std::string(100000, 'x') + "\r\nlast\r\n";
        EXPECT_TRUE(received.shutDown) << line;
        EXPECT_TRUE(received.text == expected)
            << received.text.size() << " bytes: " << received.text.substr(0, 40);
    }
    // Every connection's command has ended; the server must have reaped them.
    const std::string pid = std::to_string(server.Pid());
    const auto children = [&] {
        std::string line;
        std::getline(std::ifstream("/proc/" + pid + "/task/" + pid + "/children"), line);
        return line;
    };
    EXPECT_TRUE(Eventually([&] { return children().empty(); }, 20s)) << children();
}

TEST(KestraServe, EveryEndpointFormServes) {
    TemporaryDirectory directory;
    const PipeDirectorySources sources{directory.Path(), std::nullopt, 0};
    const std::vector<std::string> rows[] = {{"--tcp", "0"}, {"--tcp=127.0.0.1:0"}, {"PIPE1"}};
    for (std::vector<std::string> arguments : rows) {
        SCOPED_TRACE(arguments.front());
        arguments.insert(arguments.end(), {"--", "/bin/sh", "-c", "echo hello; cat"});
        Server server(arguments, {"KESTRA_PIPES=" + directory.Path()});
        const std::string endpoint = server.Endpoint();
        const bool tcp = arguments.front().starts_with("--tcp");
        // A bare name listens where a console looks for that pipe.
        ASSERT_TRUE(tcp ? endpoint.starts_with("127.0.0.1:") && !endpoint.ends_with(":0")
                        : endpoint == directory / "PIPE1")
            << endpoint;
        PipeConnection client = Connect(
            tcp ? "\\\\127.0.0.1\\pipe\\" + endpoint.substr(10) : "\\\\.\\pipe\\PIPE1", sources);
        EXPECT_TRUE(ReadUntil(client, "hello").text.starts_with("hello"));
        Type(client, "ping\r");
        EXPECT_NE(ReadUntil(client, "ping\r\nping\r\n").text.find("ping\r\nping\r\n"),
                  std::string::npos);
    }
}

TEST(KestraServe, OnceServesOneConnectionThenExitsAndEndsTheCommand) {
    TemporaryDirectory directory;
    const std::string path = directory / "console";
    // The command ignores the hang-up that a vanished client causes.
    Server server({"--once", path, "--", "/bin/sh", "-c",
                   "trap '' HUP; echo pid=$$; while :; do sleep 0.05; done"});
    ASSERT_EQ(server.Endpoint(), path);
    pid_t command = 0;
    {
        PipeConnection client = Connect(path, PipeDirectorySources::FromProcess());
        const std::string text = ReadUntil(client, "\r\n").text;
        ASSERT_TRUE(text.starts_with("pid=")) << text;
        command = std::stoi(text.substr(4));
        EXPECT_NE(access(path.c_str(), F_OK), 0) << "a --once server takes no more connections";
    } // the client leaves while the command still runs
    EXPECT_EQ(server.Wait(20s), std::optional<int>(0));
    EXPECT_EQ(WaitForProcessExit(command, 20000), ProcessWaitResult::Ended)
        << "the command must end when its client leaves";
}

// The usage status and the pointer to --help are checked with the other
// helper programs; these are the messages for each mistake.
TEST(KestraServe, BadArgumentsAreRefusedWithTheirMessage) {
    TemporaryDirectory directory;
    const std::string path = directory / "s";
    const std::pair<std::vector<std::string>, const char*> rows[] = {
        {{}, "missing socket path or --tcp"},
        {{"--tcp"}, "option '--tcp' requires an argument"},
        {{"--tcp", "1:2:3"}, "invalid TCP address '1:2:3'"},
        {{path, "--tcp", "0"}, "only one endpoint may be given"},
        {{path, "cat"}, "unexpected argument 'cat'"},
    };
    for (const auto& [arguments, message] : rows) {
        Server server(arguments);
        EXPECT_EQ(server.Wait(20s), std::optional<int>(2)) << message;
        EXPECT_NE(server.Err().find(message), std::string::npos) << server.Err();
    }
    EXPECT_NE(access(path.c_str(), F_OK), 0) << "a refused command line must not create the socket";
}

} // namespace
