// Pipe names, also those a configuration may hold by mistake or on purpose,
// and the connections they open over a Unix socket or TCP on loopback, also
// to the real kestra-serve; who else may reach them, and the user's files.

#include "platform/PipeConnection.h"
#include "platform/PipeName.h"
#include "platform/SocketListener.h"
#include "platform/SystemError.h"
#include "platform/UserFile.h"
#include "platform/WakeUpSignal.h"
#include "support/Program.h"
#include "support/ScopedEnvironment.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

using namespace kestra::platform;
using namespace kestra::testing;
using namespace std::chrono_literals;

namespace {

const PipeDirectorySources KestraPipes{"/k", "/run/user/7", 7};

TEST(PipeName, EveryFormMapsToItsEndpointAndNoOtherNameToAny) {
    const PipeDirectorySources xdgOnly{"", "/run/user/7/", 7}; // empty counts as unset
    const PipeDirectorySources noVariables{std::nullopt, std::nullopt, 1000};
    using Kind = PipeEndpoint::Kind;
    const auto Local = [](auto path) { return PipeEndpoint{Kind::LocalSocket, path, "", ""}; };
    const auto Tcp = [](auto host, auto port) { return PipeEndpoint{Kind::Tcp, "", host, port}; };
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

    ScopedEnvironment kestraPipes("KESTRA_PIPES", ""), xdg("XDG_RUNTIME_DIR", "/run/env");
    EXPECT_EQ(LocalPipeDirectory(PipeDirectorySources::FromProcess()), "/run/env/kestra-pipes");
}

// Opening fails with the system's error and its text. A socket file is
// replaced only when nobody listens on it; missing directories are made; a
// listener removes its socket file when asked.
TEST(SocketListener, SocketFilesAreReplacedOnlyWhenStaleAndOpenFailuresSayWhy) {
    TemporaryDirectory directory;
    ASSERT_TRUE(SocketListener::ListenLocal(directory / "stale").Ok()); // nobody listens now
    const std::pair<std::string, int> rows[] = {
        {directory / "missing", ENOENT},
        {directory / "stale", ECONNREFUSED},
        {"\\\\127.0.0.1\\pipe\\0", ECONNREFUSED}, // no server can have port 0
        {"\\\\.\\pipe\\" + std::string(10000, 'p'), ENAMETOOLONG},
        {"\\\\127.0.0.1\\pipe\\no-such-service-for-kestra", ENXIO},
    };
    EXPECT_EQ(SystemErrorText(ECONNREFUSED), "Connection refused");
    EXPECT_EQ(SystemErrorText(-1), std::nullopt);
    for (const auto& [name, error] : rows) {
        const PipeOpenResult opened = PipeConnection::Open(name);
        EXPECT_EQ(opened.error, error) << name;
        EXPECT_FALSE(opened.errorText.empty()) << name;
        if (error != ENXIO) {
            EXPECT_EQ(opened.errorText, SystemErrorText(error).value_or("?")) << name;
        }
    }

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
    EXPECT_TRUE(std::filesystem::is_regular_file(directory / "file")) << "it must stay";
    EXPECT_EQ(SocketListener::ListenLocal("/tmp/" + std::string(10000, 'p')).error, ENAMETOOLONG);
}

// A client connected to a server over a Unix socket or TCP on loopback.
struct Connection {
    PipeConnection client, server;
};
Connection Connect(const TemporaryDirectory& directory, bool tcp) {
    ListenResult listening = tcp ? SocketListener::ListenTcp("127.0.0.1", "0")
                                 : SocketListener::ListenLocal(directory / "pipe");
    PipeOpenResult opened = PipeConnection::Open(tcp ? "\\\\127.0.0.1\\pipe\\" +
                                                           std::to_string(listening.listener.Port())
                                                     : directory / "pipe");
    const bool ok = opened.Ok(); // else an accept would wait for ever
    EXPECT_TRUE(ok) << opened.errorText;
    return {std::move(opened.connection),
            ok ? listening.listener.Accept().connection : PipeConnection()};
}

std::span<const unsigned char> Bytes(std::string_view text) {
    return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

// A connection's life: an idle wait lasts its timeout unless bytes or a
// wake-up end it, bytes are counted without being consumed, and the server's
// close is a shut-down once the last byte is read. A server that closes with
// bytes it never read resets the connection: a shut-down for reads and
// writes, never a signal.
TEST(PipeConnection, WaitsReadsAndEndsAsTheServerDoes) {
    for (const bool tcp : {false, true}) {
        SCOPED_TRACE(tcp ? "TCP" : "Unix socket");
        TemporaryDirectory directory;
        Connection c = Connect(directory, tcp);
        const auto start = Clock::now();
        EXPECT_EQ(c.client.WaitReadable(60).result, WaitResult::TimedOut);
        EXPECT_GE(MillisecondsSince(start), 60);
        const PipeOutcome idle = c.client.BytesAvailable();
        EXPECT_TRUE(idle.Ok() && idle.error == 0 && idle.bytes == 0) << "nothing waits on it";

        WakeUpSignal wakeUp;
        wakeUp.Raise();
        wakeUp.Raise(); // a raised signal stays raised until cleared, however often raised
        EXPECT_EQ(c.client.WaitReadable(60000, wakeUp.Descriptor()).result, WaitResult::WokenUp);
        wakeUp.Clear();
        EXPECT_EQ(c.client.WaitReadable(20, wakeUp.Descriptor()).result, WaitResult::TimedOut);
        wakeUp.Raise();
        ASSERT_EQ(send(c.server.Descriptor(), "hello", 5, MSG_NOSIGNAL), 5);
        // Bytes win over a raised signal: the reader must not miss them.
        EXPECT_EQ(c.client.WaitReadable(60000, wakeUp.Descriptor()).result, WaitResult::Ready);
        EXPECT_EQ(c.client.BytesAvailable().bytes, 5u);
        EXPECT_EQ(c.client.BytesAvailable().bytes, 5u) << "counting must not consume the bytes";
        std::array<unsigned char, 3> small;
        ASSERT_EQ(c.client.Read(small).bytes, 3u);
        EXPECT_EQ(std::string(small.begin(), small.end()), "hel");
        c.server.Close();
        std::array<unsigned char, 16> buffer;
        ASSERT_EQ(c.client.Read(buffer).bytes, 2u);
        EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 2), "lo");
        EXPECT_EQ(c.client.WaitReadable(60000).result, WaitResult::Ready) << "it ends a wait";
        const PipeOutcome after = c.client.BytesAvailable();
        EXPECT_TRUE(after.status == PipeStatus::ShutDown && after.error == 0) << after.error;
        EXPECT_EQ(c.client.Read(buffer).status, PipeStatus::ShutDown);

        c = Connect(directory, tcp);
        ASSERT_EQ(c.client.WriteSome(Bytes("!")).bytes, 1u);
        ASSERT_TRUE(Eventually([&] { return c.server.BytesAvailable().bytes == 1; }, 10s));
        c.server.Close();
        ASSERT_EQ(c.client.WaitReadable(60000).result, WaitResult::Ready);
        const PipeOutcome reset = c.client.BytesAvailable();
        EXPECT_TRUE(reset.status == PipeStatus::ShutDown && reset.error == ECONNRESET)
            << reset.error;
        const PipeOutcome written = c.client.WriteSome(Bytes("a"));
        EXPECT_EQ(written.status, PipeStatus::ShutDown);
        EXPECT_TRUE(written.error == EPIPE || written.error == ECONNRESET) << written.error;
    }
}

// The endpoint from kestra-serve's "listening on ENDPOINT" line.
std::string Endpoint(const Program& server) {
    std::string out;
    Eventually([&] { return (out = server.Out()).find('\n') != std::string::npos; }, 20s);
    return out.starts_with("listening on ") ? out.substr(13, out.find('\n') - 13) : "";
}

// What the server sends until `wanted` came (by default, until it shut the
// connection down, marked "<end>"), for at most 20 s.
std::string ReadUntil(const PipeConnection& connection, const std::string& wanted = "<end>") {
    std::string text;
    std::array<unsigned char, 1024> buffer;
    PipeOutcome read;
    Eventually(
        [&] {
            if (connection.WaitReadable(50).result == WaitResult::Ready &&
                (read = connection.Read(buffer)).Ok()) {
                text.append(buffer.begin(), buffer.begin() + read.bytes);
            }
            return text.ends_with(wanted) || !read.Ok();
        },
        20s);
    return read.status == PipeStatus::ShutDown ? text + "<end>" : text;
}

// kestra-serve with each endpoint form, two clients at once, each with its
// own command: what one types reaches only its own command (the terminal
// echoes the line, the command answers), and each gets all of its command's
// output, more than a terminal holds, before the connection closes as the
// command ends. Command lines it cannot serve are refused with their reason.
TEST(KestraServe, RelaysEachConnectionToItsOwnCommandAndRefusesWhatItCannotServe) {
    TemporaryDirectory directory;
    const std::string serve = BinaryPath("kestra-serve");
    const std::string name = "my pipe \xc3\xaf\xff..b"; // all of it is the name
    const std::array<std::string, 3> rows[] = {
        // argument, endpoint, its pipe name
        {directory / "console", directory / "console", directory / "console"},
        {"--tcp=0", "127.0.0.1:", "\\\\127.0.0.1\\pipe\\"},
        // A bare name listens where a console looks for that pipe.
        {name, directory / name, "\\\\.\\pipe\\" + name},
    };
    for (const auto& [argument, prefix, pipeName] : rows) {
        Program server({serve, argument, "--", "/bin/sh", "-c",
                        "echo hello; read line; echo \"got $line\"; "
                        "head -c 100000 /dev/zero | tr '\\0' x; echo; echo last"},
                       {"KESTRA_PIPES=" + directory.Path()});
        const std::string endpoint = Endpoint(server);
        ASSERT_TRUE(endpoint.starts_with(prefix) && !endpoint.ends_with(":0")) << endpoint;
        const std::string pipe = pipeName + endpoint.substr(prefix.size());
        const std::string lines[] = {"abc", "xyz"};
        std::vector<PipeConnection> clients;
        for (const std::string& line : lines) {
            PipeOpenResult opened = PipeConnection::Open(pipe, {directory.Path(), {}, getuid()});
            ASSERT_TRUE(opened.Ok()) << pipe << ": " << opened.errorText;
            EXPECT_EQ(ReadUntil(opened.connection, "hello\r\n"), "hello\r\n");
            const std::string typed = line + "\r";
            ASSERT_EQ(opened.connection.WriteSome(Bytes(typed)).bytes, 4u);
            clients.push_back(std::move(opened.connection));
        }
        for (std::size_t i = 0; i < clients.size(); ++i) {
            const std::string text = ReadUntil(clients[i]);
            EXPECT_TRUE(text == lines[i] + "\r\ngot " + lines[i] + "\r\n" +
                                    std::string(100000, 'x') + "\r\nlast\r\n<end>")
                << text.size() << " bytes: " << text.substr(0, 40);
        }
    }
    // (The usage status and the pointer to --help are checked with the other programs'.)
    const std::pair<std::vector<std::string>, const char*> refusals[] = {
        {{serve}, "missing socket path or --tcp"},
        {{serve, "--tcp"}, "option '--tcp' requires an argument"},
        {{serve, "--tcp", "1:2:3"}, "invalid TCP address '1:2:3'"},
        {{serve, directory / "s", "--tcp", "0"}, "only one endpoint may be given"},
        {{serve, directory / "s", "cat"}, "unexpected argument 'cat'"},
        {{serve, "--tcp", "0.0.0.0:0"}, "'0.0.0.0' is not a loopback address"},
        {{serve, "--tcp", "[::]:0"}, "add --listen-anywhere"},
    };
    for (const auto& [arguments, message] : refusals) {
        const ProgramResult result = RunProgram(arguments);
        EXPECT_EQ(result.status, 2) << message;
        EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    }
}

mode_t Mode(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// A pipe name leads through the pipe directory only when it is the user's own
// and private (named with a trailing '/', which must not lead through a link);
// a socket path written out is the user's choice.
TEST(PipeDirectory, OnlyTheUsersOwnPrivateDirectoryIsConnectedThrough) {
    TemporaryDirectory base;
    std::vector<SocketListener> listeners;
    for (const auto& [name, mode] : {std::pair{"own", 0700}, {"open", 0777}, {"shared", 01750}}) {
        mkdir((base / name).c_str(), 0);
        chmod((base / name).c_str(), mode);
        listeners.push_back(std::move(SocketListener::ListenLocal(base / name + "/VM1").listener));
    }
    symlink((base / "own").c_str(), (base / "link").c_str());
    std::ofstream(base / "file");
    const unsigned me = getuid();
    const std::tuple<std::string, unsigned, std::string> rows[] = {
        // directory, user, what is wrong with it ("" when it is used)
        {"own", me, ""},
        {"open", me, "group or others may use it (mode 0777)"},
        {"shared", me, "group or others may use it (mode 1750)"},
        {"own", me + 1, "it belongs to user ID " + std::to_string(me)},
        {"link", me, "it is a symbolic link"},
        {"file", me, "it is not a directory"},
    };
    for (const auto& [name, uid, flaw] : rows) {
        const PipeOpenResult opened =
            PipeConnection::Open("\\\\.\\pipe\\VM1", {base / name + "/", {}, uid});
        const std::string said = "Pipe directory " + base / name + " is not safe: " + flaw + ". ";
        EXPECT_EQ(opened.errorText.find(said), flaw.empty() ? std::string::npos : 0) << name;
    }
    EXPECT_TRUE(PipeConnection::Open(base / "open/VM1").Ok());
}

// kestra-serve makes a missing pipe directory private (or it would refuse it),
// and listens beyond loopback only when told to, with a warning.
TEST(KestraServe, ListensOnlyWhereTheUserMeant) {
    TemporaryDirectory base;
    const std::string serve = BinaryPath("kestra-serve"), pipes = base / "new/pipes";
    Program server({serve, "VM1", "--", "/bin/true"}, {"KESTRA_PIPES=" + pipes});
    EXPECT_EQ(Endpoint(server), pipes + "/VM1");
    EXPECT_EQ(Mode(pipes + "/VM1"), 0600u);
    chmod(pipes.c_str(), 0711);
    const ProgramResult refused = RunProgram({serve, "VM1"}, {"KESTRA_PIPES=" + pipes});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.starts_with("kestra-serve: Pipe directory " + pipes + " is not safe"))
        << refused.err;

    Program anywhere({serve, "--tcp", "0.0.0.0:0", "--listen-anywhere", "--", "/bin/true"});
    EXPECT_TRUE(Endpoint(anywhere).starts_with("0.0.0.0:"));
    EXPECT_NE(anywhere.Err().find("anyone who can reach 0.0.0.0:"), std::string::npos);
}

// Created files are the user's alone, less with a stricter umask; a link at
// the name, or a file of another user, is refused and left whole.
TEST(UserFile, CreatedForTheUserAloneAndNeverThroughALink) {
    TemporaryDirectory directory;
    std::ofstream(directory / "old") << "old";
    chmod((directory / "old").c_str(), 0644);
    for (const auto& [mask, expected] : {std::pair{022, 0600}, {0277, 0400}}) {
        const std::string opened = directory / ("opened" + std::to_string(mask));
        const mode_t previous = umask(mask);
        close(OpenUserFile(opened, O_WRONLY));
        EXPECT_EQ(ReplaceUserFile(directory / "old", "new"), 0);
        umask(previous);
        EXPECT_EQ(Mode(opened), mode_t(expected)) << mask;
        EXPECT_EQ(Mode(directory / "old"), mode_t(expected)) << mask;
    }
    EXPECT_EQ(FileText(directory / "old"), "new");

    std::ofstream(directory / "theirs") << "theirs";
    symlink("theirs", (directory / "link").c_str());
    EXPECT_EQ(OpenUserFile(directory / "link", O_WRONLY | O_TRUNC), -1);
    EXPECT_EQ(ReplaceUserFile(directory / "link", "mine"), ELOOP);
    if (getuid() != 0) {
        GTEST_SKIP() << "a file of another user needs root to make";
    }
    chown((directory / "theirs").c_str(), 65534, 65534);
    EXPECT_EQ(OpenUserFile(directory / "theirs", O_WRONLY | O_TRUNC), -1);
    EXPECT_EQ(FileText(directory / "theirs"), "theirs");
}

} // namespace
