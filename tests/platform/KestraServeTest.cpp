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

// Each endpoint form, two clients at once, each with its own command: what
// one types reaches only its own command (the terminal echoes the line, the
// command answers), and each gets all of its command's output, more than a
// terminal holds, before the connection closes as the command ends.
TEST(KestraServe, RelaysEachConnectionToItsOwnCommandUntilItsLastOutput) {
    TemporaryDirectory directory;
    const PipeDirectorySources sources{directory.Path(), std::nullopt, 0};
    const std::string path = directory / "new/dir/console";
    const std::string name = "my pipe \xc3\xaf\xff..b"; // all of it is the name
    const struct {
        std::string argument, endpoint, pipe;
    } rows[] = {
        {path, path, path},
        {"--tcp=0", "127.0.0.1:", "\\\\127.0.0.1\\pipe\\"},
        // A bare name listens where a console looks for that pipe.
        {name, directory / name, "\\\\.\\pipe\\" + name},
    };
    for (const auto& row : rows) {
        Server server({row.argument, "--", "/bin/sh", "-c",
                       "echo hello; read line; echo \"got $line\"; "
                       "head -c 100000 /dev/zero | tr '\\0' x; echo; echo last"},
                      {"KESTRA_PIPES=" + directory.Path()});
        const std::string endpoint = server.Endpoint();
        ASSERT_TRUE(endpoint.starts_with(row.endpoint) && !endpoint.ends_with(":0")) << endpoint;
        const std::string pipe = row.pipe + endpoint.substr(row.endpoint.size());
        const std::string lines[] = {"abc", "xyz"};
        std::vector<PipeConnection> clients;
        for (const std::string& line : lines) {
            PipeOpenResult opened = PipeConnection::Open(pipe, sources);
            ASSERT_TRUE(opened.Ok()) << pipe << ": " << opened.errorText;
            EXPECT_EQ(ReadUntil(opened.connection, "hello\r\n").text, "hello\r\n");
            Type(opened.connection, line + "\r");
            clients.push_back(std::move(opened.connection));
        }
        for (std::size_t i = 0; i < clients.size(); ++i) {
            const Received received = ReadUntil(clients[i]);
            EXPECT_TRUE(received.shutDown) << lines[i];
            EXPECT_TRUE(received.text == lines[i] + "\r\ngot " + lines[i] + "\r\n" +
                                             std::string(100000, 'x') + "\r\nlast\r\n")
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
