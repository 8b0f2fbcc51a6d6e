// kestra-serve end to end: the real program, real sockets and real commands.

#include "PlatformTestSupport.h"
#include "platform/PipeConnection.h"
#include "platform/Process.h"
#include "platform/SocketListener.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace kestra::platform;
using kestra::platform::testing::Clock;
using kestra::platform::testing::MillisecondsSince;
using kestra::platform::testing::TemporaryDirectory;
using namespace std::chrono_literals;

namespace {

const std::string ServeProgram = KESTRA_BINARY_DIR "/bin/kestra-serve";
constexpr int LimitMs = 5000;

// Reads a descriptor to its end or until limitMs passed.
std::string ReadAll(int descriptor, int limitMs) {
    std::string text;
    auto start = Clock::now();
    while (MillisecondsSince(start) < limitMs) {
        pollfd entry{descriptor, POLLIN, 0};
        if (poll(&entry, 1, 50) <= 0)
            continue;
        char chunk[512];
        ssize_t got = read(descriptor, chunk, sizeof chunk);
        if (got <= 0)
            break;
        text.append(chunk, static_cast<std::size_t>(got));
    }
    return text;
}

// One run of kestra-serve with its standard output and error captured.
class Server {
public:
    explicit Server(const std::vector<std::string>& arguments,
                    const std::vector<std::string>& extraEnvironment = {}) {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<std::string> argv{ServeProgram};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        std::vector<char*> argp;
        for (auto& argument : argv)
            argp.push_back(argument.data());
        argp.push_back(nullptr);
        std::vector<std::string> environment(extraEnvironment);
        for (char** variable = environ; *variable != nullptr; ++variable)
            environment.emplace_back(*variable);
        std::vector<char*> envp;
        for (auto& variable : environment)
            envp.push_back(variable.data());
        envp.push_back(nullptr);
        if (posix_spawn(&pid_, ServeProgram.c_str(), &actions, nullptr, argp.data(), envp.data()) !=
            0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        stdout_ = out[0];
        stderr_ = err[0];
    }

    ~Server() {
        if (pid_ > 0 && !exitStatus_) {
            kill(pid_, SIGTERM);
            if (WaitForExit(3000) == std::nullopt) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
            }
        }
        close(stdout_);
        close(stderr_);
    }

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }

    // The endpoint from the "listening on ENDPOINT" line, empty when none came.
    std::string Endpoint() {
        std::string line;
        auto start = Clock::now();
        while (MillisecondsSince(start) < LimitMs) {
            pollfd entry{stdout_, POLLIN, 0};
            if (poll(&entry, 1, 50) <= 0)
                continue;
            char c;
            if (read(stdout_, &c, 1) != 1)
                break;
            if (c == '\n')
                break;
            line += c;
        }
        const std::string prefix = "listening on ";
        return line.starts_with(prefix) ? line.substr(prefix.size()) : std::string{};
    }

    // Exit status once the program ended within limitMs.
    std::optional<int> WaitForExit(int limitMs) {
        if (exitStatus_)
            return exitStatus_;
        auto start = Clock::now();
        while (MillisecondsSince(start) < limitMs) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return exitStatus_;
            }
            std::this_thread::sleep_for(5ms);
        }
        return std::nullopt;
    }

    std::string Output(int limitMs = 1000) { return ReadAll(stdout_, limitMs); }
    std::string Errors(int limitMs = 1000) { return ReadAll(stderr_, limitMs); }

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    int stderr_ = -1;
    std::optional<int> exitStatus_;
};

struct Received {
    std::string text;
    bool shutDown = false;
};

// Reads until the text holds `wanted` (or, with an empty `wanted`, until the
// server shuts the connection down), or the limit passed.
Received ReadUntil(const PipeConnection& connection, const std::string& wanted,
                   int limitMs = LimitMs) {
    Received received;
    auto start = Clock::now();
    while (MillisecondsSince(start) < limitMs) {
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
    struct stat status {};
    return lstat(path.c_str(), &status) == 0;
}

// The children of `parent` that have ended without being reaped.
int ZombieChildren(pid_t parent) {
    int zombies = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::string line;
        std::getline(std::ifstream(entry.path() / "stat"), line);
        auto nameEnd = line.rfind(')');
        if (nameEnd == std::string::npos)
            continue;
        std::istringstream fields(line.substr(nameEnd + 2));
        char state = 0;
        pid_t itsParent = 0;
        fields >> state >> itsParent;
        if (itsParent == parent && state == 'Z')
            ++zombies;
    }
    return zombies;
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
    EXPECT_NE(ReadUntil(first, "hello").text.find("hello"), std::string::npos);
    EXPECT_NE(ReadUntil(second, "hello").text.find("hello"), std::string::npos);

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
    auto start = Clock::now();
    while (ZombieChildren(server.Pid()) > 0 && MillisecondsSince(start) < LimitMs)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(ZombieChildren(server.Pid()), 0);
}

TEST_F(KestraServe, CommandRunsWithAVt100TerminalOf24By80) {
    std::string path = directory_ / "console";
    Server server({path, "--", "/bin/sh", "-c", "echo \"term=$TERM\"; stty size"});
    ASSERT_EQ(server.Endpoint(), path);
    PipeConnection client = Connect(path);
    Received received = ReadUntil(client, "");
    EXPECT_NE(received.text.find("term=vt100\r\n"), std::string::npos) << received.text;
    EXPECT_NE(received.text.find("24 80\r\n"), std::string::npos) << received.text;
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
    EXPECT_EQ(server.WaitForExit(LimitMs), std::optional<int>(0));
    EXPECT_EQ(WaitForProcessExit(command, LimitMs), ProcessWaitResult::Ended)
        << "the command must end when its client leaves";
}

TEST_F(KestraServe, ServesTcpOnLoopbackByDefault) {
    struct Row {
        std::vector<std::string> arguments;
    };
    const Row rows[] = {{{"--tcp", "0"}}, {{"--tcp=127.0.0.1:0"}}};
    for (const auto& row : rows) {
        std::vector<std::string> arguments = row.arguments;
        arguments.insert(arguments.end(), {"--", "/bin/sh", "-c", "echo tcp-hello; cat"});
        Server server(arguments);
        std::string endpoint = server.Endpoint();
        ASSERT_TRUE(endpoint.starts_with("127.0.0.1:")) << endpoint;
        std::string port = endpoint.substr(endpoint.find(':') + 1);
        ASSERT_NE(port, "0");
        PipeConnection client = Connect("\\\\127.0.0.1\\pipe\\" + port);
        EXPECT_NE(ReadUntil(client, "tcp-hello").text.find("tcp-hello"), std::string::npos);
        Type(client, "ping\r");
        EXPECT_NE(ReadUntil(client, "ping\r\nping\r\n").text.find("ping\r\nping\r\n"),
                  std::string::npos);
    }
}

TEST_F(KestraServe, BareNameListensWhereAConsoleLooksForThatPipe) {
    Server server({"PIPE1", "--", "/bin/sh", "-c", "echo named"},
                  {"KESTRA_PIPES=" + directory_.Path()});
    ASSERT_EQ(server.Endpoint(), directory_ / "PIPE1");
    PipeOpenResult opened =
        PipeConnection::Open("\\\\.\\pipe\\PIPE1", {directory_.Path(), std::nullopt, 0});
    ASSERT_TRUE(opened.Ok()) << opened.errorText;
    EXPECT_NE(ReadUntil(opened.connection, "named").text.find("named"), std::string::npos);
}

TEST_F(KestraServe, CommandThatCannotRunIsReportedToTheClient) {
    std::string path = directory_ / "console";
    Server server({path, "--", "/nonexistent/kestra-command"});
    ASSERT_EQ(server.Endpoint(), path);
    PipeConnection client = Connect(path);
    Received received = ReadUntil(client, "");
    EXPECT_TRUE(received.shutDown);
    EXPECT_NE(received.text.find("cannot run '/nonexistent/kestra-command'"), std::string::npos)
        << received.text;
}

TEST_F(KestraServe, StaleSocketIsReplacedButOtherFilesAreKept) {
    std::string stale = directory_ / "stale";
    { ASSERT_TRUE(SocketListener::ListenLocal(stale).Ok()); }
    ASSERT_TRUE(Exists(stale));
    Server server({stale, "--", "/bin/sh", "-c", "echo fresh"});
    ASSERT_EQ(server.Endpoint(), stale);
    PipeConnection client = Connect(stale);
    EXPECT_NE(ReadUntil(client, "fresh").text.find("fresh"), std::string::npos);

    std::string file = directory_ / "file";
    std::ofstream(file) << "data";
    Server refused({file});
    EXPECT_EQ(refused.WaitForExit(LimitMs), std::optional<int>(1));
    EXPECT_NE(refused.Errors().find("cannot listen on " + file), std::string::npos);
    EXPECT_TRUE(Exists(file));
}

TEST_F(KestraServe, TerminationSignalRemovesTheSocketFile) {
    std::string path = directory_ / "console";
    Server server({path, "--", "/bin/cat"});
    ASSERT_EQ(server.Endpoint(), path);
    kill(server.Pid(), SIGTERM);
    EXPECT_EQ(server.WaitForExit(LimitMs), std::optional<int>(0));
    EXPECT_FALSE(Exists(path));
}

TEST_F(KestraServe, BadArgumentsAreRefusedWithUsageStatus) {
    struct Row {
        std::vector<std::string> arguments;
        int status;
        const char* message; // on standard error, or standard output for --help
    };
    std::string path = directory_ / "s";
    const Row rows[] = {
        {{}, 2, "missing socket path or --tcp"},
        {{"--once"}, 2, "missing socket path or --tcp"},
        {{"--tcp"}, 2, "option '--tcp' requires an argument"},
        {{"--tcp", "1:2:3"}, 2, "invalid TCP address '1:2:3'"},
        {{"--tcp", "[::1]"}, 2, "invalid TCP address '[::1]'"},
        {{"--tcp", ":7001"}, 2, "invalid TCP address ':7001'"},
        {{"--bogus", path}, 2, "unrecognized option '--bogus'"},
        {{path, "--tcp", "0"}, 2, "only one endpoint may be given"},
        {{path, "cat"}, 2, "unexpected argument 'cat'"},
        {{path, "--"}, 2, "missing command after '--'"},
        {{"--help"}, 0, "Usage: kestra-serve [--once] (SOCKETPATH | --tcp [HOST:]PORT)"},
        {{"--tcp", "127.0.0.1:no-such-service-for-kestra"}, 1, "cannot listen on"},
    };
    for (const auto& row : rows) {
        std::string shown;
        for (const auto& argument : row.arguments)
            shown += argument + " ";
        Server server(row.arguments);
        ASSERT_TRUE(server.Started());
        EXPECT_EQ(server.WaitForExit(LimitMs), std::optional<int>(row.status)) << shown;
        std::string text = row.status == 0 ? server.Output() : server.Errors();
        EXPECT_NE(text.find(row.message), std::string::npos) << shown << "\n" << text;
        if (row.status == 2) {
            EXPECT_NE(text.find("Try 'kestra-serve --help'"), std::string::npos) << shown;
        }
    }
    EXPECT_FALSE(Exists(path)) << "a refused command line must not create the socket";
}
