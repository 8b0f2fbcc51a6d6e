// Pipe names, also those a configuration may hold by mistake or on purpose
// (steps out of the pipe directory name no pipe; blanks and bytes that are
// not ASCII are part of the name), and the connections they open, over a Unix
// socket or TCP on loopback, also to the real kestra-serve.

#include "platform/PipeConnection.h"
#include "platform/PipeName.h"
#include "platform/SocketListener.h"
#include "platform/SystemError.h"
#include "platform/WakeUpSignal.h"
#include "support/Program.h"
#include "support/ScopedEnvironment.h"

#include <array>
#include <cerrno>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace kestra::platform;
using namespace kestra::testing;
using namespace std::chrono_literals;

namespace {

PipeEndpoint Local(std::string path) {
    return {PipeEndpoint::Kind::LocalSocket, std::move(path), {}, {}};
}
PipeEndpoint Tcp(std::string host, std::string service) {
    return {PipeEndpoint::Kind::Tcp, {}, std::move(host), std::move(service)};
}

const PipeDirectorySources KestraPipes{"/k", "/run/user/7", 7};

TEST(PipeName, EveryFormMapsToItsEndpointAndNoOtherNameToAny) {
    const PipeDirectorySources xdgOnly{"", "/run/user/7/", 7}; // empty counts as unset
    const PipeDirectorySources noVariables{std::nullopt, std::nullopt, 1000};
    struct Row {
        std::string name;
        std::optional<PipeEndpoint> expected;
        const PipeDirectorySources& sources = KestraPipes;
    };
    const Row rows[] = {
        {R"(\\.\pipe\PIPE1)", Local("/k/PIPE1")},
        {R"(\\.\Pipe\lab\one)", Local("/k/lab/one")},
        {R"(\\.\pipe\PIPE1)", Local("/run/user/7/kestra-pipes/PIPE1"), xdgOnly},
        {R"(\\.\pipe\PIPE1)", Local("/tmp/kestra-pipes-1000/PIPE1"), noVariables},
        {R"(\\alpha\pipe\7001)", Tcp("alpha", "7001")},
        {R"(\\[::1]\pipe\7001)", Tcp("::1", "7001")},
        {"/odd\\name", Local("/odd\\name")}, // a socket path stays unchanged
        // Dots inside a step, blanks and bytes beyond ASCII are part of the name.
        {R"(\\.\pipe\a..b)", Local("/k/a..b")},
        {R"(\\.\pipe\.hidden)", Local("/k/.hidden")},
        {"\\\\.\\pipe\\na\xc3\xafve \xff\x01", Local("/k/na\xc3\xafve \xff\x01")},
        // Names that lead nowhere, or out of the pipe directory.
        {R"(\\.\pipe\)", std::nullopt},
        {R"(\\alpha\pipe\70\01)", std::nullopt},
        {R"(\\alpha\share\file)", std::nullopt},
        {R"(\\alpha)", std::nullopt},
        {R"(\\\pipe\x)", std::nullopt},
        {"PIPE1", std::nullopt},
        {R"(\\.\pipe\..\x)", std::nullopt},
        {R"(\\.\pipe\a\..\..\etc\passwd)", std::nullopt},
        {R"(\\.\pipe\.\x)", std::nullopt},
        {R"(\\.\pipe\..)", std::nullopt},
        {R"(\\.\pipe\a\.)", std::nullopt},
        // A NUL would end the path early, at a socket of another name.
        {std::string("\\\\.\\pipe\\a\0b", 12), std::nullopt},
        {std::string("/tmp/a\0b", 8), std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ResolvePipeName(row.name, row.sources), row.expected) << row.name;
        if (!row.expected) {
            EXPECT_EQ(PipeConnection::Open(row.name, row.sources).error, EINVAL) << row.name;
        }
    }
    for (const auto& [name, full] :
         {std::pair{R"(\\.\pipe\x)", true}, {"/tmp/x", true}, {R"(\x)", false}, {"PIPE1", false}})
        EXPECT_EQ(IsFullPipePath(name), full) << name;

    ScopedEnvironment kestraPipes("KESTRA_PIPES", "");
    std::optional<ScopedEnvironment> xdg;
    xdg.emplace("XDG_RUNTIME_DIR", "/run/env");
    EXPECT_EQ(LocalPipeDirectory(PipeDirectorySources::FromProcess()), "/run/env/kestra-pipes");
    xdg.emplace("XDG_RUNTIME_DIR", std::nullopt);
    EXPECT_EQ(LocalPipeDirectory(PipeDirectorySources::FromProcess()),
              "/tmp/kestra-pipes-" + std::to_string(getuid()));
}

TEST(PipeConnection, OpenFailuresCarryTheSystemErrorAndAText) {
    TemporaryDirectory directory;
    ASSERT_TRUE(SocketListener::ListenLocal(directory / "stale").Ok()); // nobody listens now
    const int closedPort = SocketListener::ListenTcp("127.0.0.1", "0").listener.Port();
    const std::pair<std::string, int> rows[] = {
        {directory / "missing", ENOENT},
        {directory / "stale", ECONNREFUSED},
        {"\\\\127.0.0.1\\pipe\\" + std::to_string(closedPort), ECONNREFUSED},
        {"\\\\.\\pipe\\" + std::string(10000, 'p'), ENAMETOOLONG},
        {"\\\\127.0.0.1\\pipe\\no-such-service-for-kestra", ENXIO},
    };
    EXPECT_EQ(SystemErrorText(ECONNREFUSED), "Connection refused");
    EXPECT_EQ(SystemErrorText(-1), std::nullopt);
    for (const auto& [name, error] : rows) {
        const PipeOpenResult opened = PipeConnection::Open(name);
        EXPECT_FALSE(opened.Ok()) << name;
        EXPECT_EQ(opened.error, error) << name;
        EXPECT_FALSE(opened.errorText.empty()) << name;
        if (error != ENXIO) {
            EXPECT_EQ(opened.errorText, SystemErrorText(error).value_or("?")) << name;
        }
    }
}

// A socket file is replaced only when nobody listens on it; missing
// directories are made; a listener removes its socket file when asked.
TEST(SocketListener, SocketFileIsReplacedOnlyWhenStale) {
    TemporaryDirectory directory;
    ASSERT_TRUE(SocketListener::ListenLocal(directory / "stale").Ok());
    EXPECT_TRUE(SocketListener::ListenLocal(directory / "stale").Ok());
    const std::string live = directory / "new/dir/live";
    ListenResult listening = SocketListener::ListenLocal(live);
    ASSERT_TRUE(listening.Ok()) << listening.errorText;
    EXPECT_EQ(SocketListener::ListenLocal(live).error, EADDRINUSE);
    EXPECT_TRUE(PipeConnection::Open(live).Ok()) << "the live server keeps its socket";
    listening.listener.CloseAndRemove();
    EXPECT_NE(access(live.c_str(), F_OK), 0);

    std::ofstream(directory / "file") << "keep me";
    EXPECT_EQ(SocketListener::ListenLocal(directory / "file").error, EEXIST);
    std::string content;
    std::getline(std::ifstream(directory / "file"), content);
    EXPECT_EQ(content, "keep me");
    EXPECT_EQ(SocketListener::ListenLocal("/tmp/" + std::string(10000, 'p')).error, ENAMETOOLONG);
}

enum class Transport { Unix, Tcp };

// A server and a connected client over one transport, on loopback only.
class Connected : public ::testing::TestWithParam<Transport> {
protected:
    void SetUp() override {
        const bool unix = GetParam() == Transport::Unix;
        ListenResult listening = unix ? SocketListener::ListenLocal(directory_ / "pipe")
                                      : SocketListener::ListenTcp("127.0.0.1", "0");
        ASSERT_TRUE(listening.Ok()) << listening.errorText;
        const std::string path =
            unix ? directory_ / "pipe"
                 : "\\\\127.0.0.1\\pipe\\" + std::to_string(listening.listener.Port());
        PipeOpenResult opened = PipeConnection::Open(path);
        ASSERT_TRUE(opened.Ok()) << path << ": " << opened.errorText;
        client_ = std::move(opened.connection);
        PipeOpenResult accepted = listening.listener.Accept();
        ASSERT_TRUE(accepted.Ok()) << accepted.errorText;
        server_ = std::move(accepted.connection);
    }

    TemporaryDirectory directory_;
    PipeConnection client_, server_;
};

// One pass through a connection's life: an idle wait lasts its timeout
// unless bytes or a wake-up end it, bytes are counted without being
// consumed, and the server's close is a shut-down once the last byte is read.
TEST_P(Connected, WaitsReadsAndEndsAsTheServerDoes) {
    const auto start = Clock::now();
    EXPECT_EQ(client_.WaitReadable(60).result, WaitResult::TimedOut);
    EXPECT_GE(MillisecondsSince(start), 60);
    const PipeOutcome idle = client_.BytesAvailable();
    EXPECT_TRUE(idle.Ok() && idle.error == 0 && idle.bytes == 0) << "nothing waits on it";

    WakeUpSignal wakeUp;
    ASSERT_EQ(wakeUp.CreationError(), 0);
    wakeUp.Raise();
    wakeUp.Raise(); // a raised signal stays raised until cleared, however often raised
    EXPECT_EQ(client_.WaitReadable(60000, wakeUp.Descriptor()).result, WaitResult::WokenUp);
    wakeUp.Clear();
    EXPECT_EQ(client_.WaitReadable(20, wakeUp.Descriptor()).result, WaitResult::TimedOut);
    wakeUp.Raise();
    ASSERT_EQ(send(server_.Descriptor(), "hello", 5, MSG_NOSIGNAL), 5);
    // Bytes win over a raised signal: the reader must not miss them.
    EXPECT_EQ(client_.WaitReadable(60000, wakeUp.Descriptor()).result, WaitResult::Readable);
    EXPECT_EQ(client_.BytesAvailable().bytes, 5u);
    EXPECT_EQ(client_.BytesAvailable().bytes, 5u) << "counting must not consume the bytes";
    std::array<unsigned char, 3> small;
    ASSERT_EQ(client_.Read(small).bytes, 3u);
    EXPECT_EQ(std::string(small.begin(), small.end()), "hel");
    EXPECT_EQ(client_.BytesAvailable().bytes, 2u);

    server_.Close();
    std::array<unsigned char, 16> buffer;
    ASSERT_EQ(client_.Read(buffer).bytes, 2u);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 2), "lo");
    EXPECT_EQ(client_.WaitReadable(60000).result, WaitResult::Readable) << "the end ends a wait";
    const PipeOutcome after = client_.BytesAvailable();
    EXPECT_TRUE(after.status == PipeStatus::ShutDown && after.error == 0) << after.error;
    EXPECT_EQ(client_.Read(buffer).status, PipeStatus::ShutDown);
}

// A server that closes with bytes it never read resets the connection; the
// client sees a shut-down when it reads and when it writes, never a signal.
TEST_P(Connected, AResetByTheServerIsAShutDown) {
    ASSERT_TRUE(client_.WriteByte('!').Ok());
    ASSERT_TRUE(Eventually([&] { return server_.BytesAvailable().bytes == 1; }, 10s));
    server_.Close();
    ASSERT_EQ(client_.WaitReadable(60000).result, WaitResult::Readable);
    const PipeOutcome available = client_.BytesAvailable();
    EXPECT_EQ(available.status, PipeStatus::ShutDown);
    EXPECT_EQ(available.error, ECONNRESET);
    const PipeOutcome written = client_.WriteByte('a');
    EXPECT_EQ(written.status, PipeStatus::ShutDown);
    EXPECT_TRUE(written.error == EPIPE || written.error == ECONNRESET) << written.error;
}

INSTANTIATE_TEST_SUITE_P(Transports, Connected, ::testing::Values(Transport::Unix, Transport::Tcp),
                         [](const auto& info) {
                             return info.param == Transport::Unix ? "UnixSocket" : "Tcp";
                         });

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

// What the server sends until `wanted` came (by default, until it shut the
// connection down, marked "<end>"), for at most 20 s.
std::string ReadUntil(const PipeConnection& connection, const std::string& wanted = "<end>") {
    std::string text;
    const auto start = Clock::now();
    while (!text.ends_with(wanted) && !text.ends_with("<failed>") &&
           MillisecondsSince(start) < 20000) {
        std::array<unsigned char, 1024> buffer;
        if (connection.WaitReadable(50).result == WaitResult::Readable) {
            const PipeOutcome read = connection.Read(buffer);
            text += read.Ok() ? std::string(buffer.begin(), buffer.begin() + read.bytes)
                    : read.status == PipeStatus::ShutDown ? "<end>"
                                                          : "<failed>";
        }
    }
    return text;
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
            EXPECT_EQ(ReadUntil(opened.connection, "hello\r\n"), "hello\r\n");
            for (const char c : line + "\r")
                ASSERT_TRUE(opened.connection.WriteByte(c).Ok());
            clients.push_back(std::move(opened.connection));
        }
        for (std::size_t i = 0; i < clients.size(); ++i) {
            const std::string text = ReadUntil(clients[i]);
            EXPECT_TRUE(text == lines[i] + "\r\ngot " + lines[i] + "\r\n" +
                                    std::string(100000, 'x') + "\r\nlast\r\n<end>")
                << text.size() << " bytes: " << text.substr(0, 40);
        }
        // Every connection's command has ended; the server must have reaped them.
        const std::string pid = std::to_string(server.Pid());
        std::string children;
        EXPECT_TRUE(Eventually(
            [&] {
                std::getline(std::ifstream("/proc/" + pid + "/task/" + pid + "/children"),
                             children = "");
                return children.empty();
            },
            20s))
            << children;
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
