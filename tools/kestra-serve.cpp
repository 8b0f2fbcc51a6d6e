// kestra-serve: a small server for trying and testing KESTRA. It listens on a
// Unix socket or a TCP port and, for each connection, runs a command on a
// pseudo-terminal and relays bytes both ways, so a console sees what a serial
// line to that command would show.

#include "platform/PipeDirectory.h"
#include "platform/PipeName.h"
#include "platform/SocketListener.h"
#include "platform/SystemError.h"
#include "platform/WakeUpSignal.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <pty.h>
#include <set>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using kestra::platform::PipeConnection;
using kestra::platform::SocketListener;
using kestra::platform::WakeUpSignal;

constexpr const char* Program = "kestra-serve";
constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;
constexpr unsigned short kPtyRows = 24;
constexpr unsigned short kPtyColumns = 80;
// Bytes held for a side that does not take them yet, before reading from the
// other side stops; keeps a stalled client from growing the server unbounded.
constexpr std::size_t kRelayBufferLimit = 64 * 1024;
// After the command ended: how long its last output may take to come out of
// the pseudo-terminal, and how long a client may take to accept it.
constexpr int kDrainIdleMs = 200;
constexpr int kFlushLimitMs = 5000;
// After the client left: how long the command has to end on its hang-up.
constexpr int kHangupGraceMs = 2000;
// A stopping server waits this long for its connections to end their commands.
constexpr int kStopLimitMs = kHangupGraceMs + 1000;

void PrintHelp() {
    std::printf(
        "Usage: %s [--once] [--term NAME]\n"
        "                    (SOCKETPATH | --tcp [HOST:]PORT [--listen-anywhere])\n"
        "                    [-- COMMAND ARGS...]\n"
        "Listen for connections and run COMMAND on a pseudo-terminal for each one,\n"
        "relaying bytes both ways; the connection closes when the command ends.\n"
        "\n"
        "  SOCKETPATH         Unix socket to listen on. A path holding '/' is used as\n"
        "                     it stands; a bare NAME (or \\\\.\\pipe\\NAME) is the local\n"
        "                     pipe that a console opens with the pipe name NAME.\n"
        "                     Missing directories are created, a stale socket file\n"
        "                     is replaced; the socket is yours alone (mode 0600).\n"
        "                     The pipe directory must be yours with mode 0700: it is\n"
        "                     made so when missing, and refused otherwise.\n"
        "  --tcp [HOST:]PORT  listen on TCP instead; HOST defaults to 127.0.0.1, PORT 0\n"
        "                     picks a free port. Write [ADDRESS]:PORT for IPv6.\n"
        "  --listen-anywhere  allow a HOST that is not a loopback address: anyone who\n"
        "                     can reach the port gets COMMAND's terminal, no password\n"
        "  --once             serve one connection, then exit\n"
        "  --term NAME        the TERM the command runs with (default vt100); vt102\n"
        "                     for a console with the VT102 option\n"
        "  --help             display this help and exit\n"
        "  --version          display the version and exit\n"
        "\n"
        "COMMAND defaults to the user's shell ($SHELL, else /bin/sh). It runs with\n"
        "TERM=vt100 (or --term's NAME) on a %ux%u terminal. Once listening, the program prints\n"
        "'listening on ENDPOINT' on standard output.\n"
        "\n"
        "Exit status: 0 when done, 1 when the endpoint cannot be used, 2 for bad\n"
        "arguments.\n",
        Program, kPtyRows, kPtyColumns);
}

[[noreturn]] void UsageError(const std::string& message) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", Program,
                 message.c_str(), Program);
    std::exit(kExitUsage);
}

struct Options {
    bool once = false;
    std::optional<std::string> socketPath;
    bool inPipeDirectory = false; // socketPath is a pipe name's socket
    std::optional<std::string> tcpHost;
    std::string tcpPort;
    bool listenAnywhere = false;
    std::string term = "vt100";
    std::vector<std::string> command;
};

void ParseTcpAddress(const std::string& text, Options& options) {
    std::string host = "127.0.0.1";
    std::string port = text;
    if (text.starts_with('[')) {
        auto close = text.find("]:");
        if (close == std::string::npos) {
            UsageError("invalid TCP address '" + text + "' (expected [ADDRESS]:PORT)");
        }
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else if (auto colon = text.find(':'); colon != std::string::npos) {
        if (text.find(':', colon + 1) != std::string::npos) {
            UsageError("invalid TCP address '" + text +
                       "' (write IPv6 addresses as [ADDRESS]:PORT)");
        }
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    if (host.empty() || port.empty()) {
        UsageError("invalid TCP address '" + text + "'");
    }
    options.tcpHost = host;
    options.tcpPort = port;
}

std::string SocketPathFor(const std::string& operand) {
    if (operand.find('/') != std::string::npos) {
        return operand;
    }
    auto sources = kestra::platform::PipeDirectorySources::FromProcess();
    std::string pipePath = operand.starts_with("\\\\") ? operand : "\\\\.\\pipe\\" + operand;
    auto endpoint = kestra::platform::ResolvePipeName(pipePath, sources);
    if (!endpoint || endpoint->kind != kestra::platform::PipeEndpoint::Kind::LocalSocket) {
        UsageError("'" + operand + "' names no local socket");
    }
    return endpoint->socketPath;
}

Options ParseArguments(int argc, char** argv) {
    Options options;
    for (int index = 1; index < argc; ++index) {
        std::string argument = argv[index];
        if (argument == "--") {
            options.command.assign(argv + index + 1, argv + argc);
            if (options.command.empty()) {
                UsageError("missing command after '--'");
            }
            break;
        }
        if (argument == "--help") {
            PrintHelp();
            std::exit(0);
        } else if (argument == "--version") {
            std::printf("%s %s\n", Program, KESTRA_VERSION);
            std::exit(0);
        } else if (argument == "--once") {
            options.once = true;
        } else if (argument == "--term" || argument.starts_with("--term=")) {
            if (argument == "--term" && index + 1 >= argc) {
                UsageError("option '--term' requires an argument");
            }
            options.term = argument == "--term" ? argv[++index] : argument.substr(7);
            if (options.term.empty()) {
                UsageError("empty terminal name");
            }
        } else if (argument == "--listen-anywhere") {
            options.listenAnywhere = true;
        } else if (argument == "--tcp" || argument.starts_with("--tcp=")) {
            std::string value;
            if (argument == "--tcp") {
                if (index + 1 >= argc) {
                    UsageError("option '--tcp' requires an argument");
                }
                value = argv[++index];
            } else {
                value = argument.substr(6);
            }
            if (options.tcpHost || options.socketPath) {
                UsageError("only one endpoint may be given");
            }
            ParseTcpAddress(value, options);
        } else if (argument.starts_with("-") && argument.size() > 1) {
            UsageError("unrecognized option '" + argument + "'");
        } else {
            if (options.tcpHost || options.socketPath) {
                UsageError("unexpected argument '" + argument + "' (put the command after '--')");
            }
            if (argument.empty()) {
                UsageError("empty socket path");
            }
            options.socketPath = SocketPathFor(argument);
            options.inPipeDirectory = argument.find('/') == std::string::npos;
        }
    }
    if (!options.tcpHost && !options.socketPath) {
        UsageError("missing socket path or --tcp");
    }
    // A host that does not resolve is left to the listening, which says why.
    if (options.tcpHost && !options.listenAnywhere &&
        !kestra::platform::IsLoopbackHost(*options.tcpHost).value_or(true)) {
        UsageError("'" + *options.tcpHost +
                   "' is not a loopback address: anyone who can reach the port would get the "
                   "command's terminal; add --listen-anywhere if that is meant");
    }
    if (options.command.empty()) {
        const char* shell = std::getenv("SHELL");
        options.command.push_back(shell != nullptr && *shell != '\0' ? shell : "/bin/sh");
    }
    return options;
}

// --- signals ---------------------------------------------------------------

// Raised by the signal handlers; the loops poll its descriptor.
WakeUpSignal* SignalWakeUp = nullptr;
volatile sig_atomic_t StopRequested = 0;

void OnChildEnded(int) {
    int saved = errno;
    if (SignalWakeUp != nullptr) {
        SignalWakeUp->Raise();
    }
    errno = saved;
}

void OnStop(int) {
    int saved = errno;
    StopRequested = 1;
    if (SignalWakeUp != nullptr) {
        SignalWakeUp->Raise();
    }
    errno = saved;
}

void SetHandler(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

// --- one connection ----------------------------------------------------------

void SetNonBlocking(int descriptor) {
    fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) | O_NONBLOCK);
}

[[noreturn]] void RunCommandOnTerminal(const std::vector<std::string>& command) {
    for (int signal : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        std::signal(signal, SIG_DFL);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    std::vector<char*> arguments;
    for (const auto& argument : command) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);
    execvp(arguments.front(), arguments.data());
    // Standard error is the terminal, so the client reads why.
    std::fprintf(stderr, "%s: cannot run '%s': %s\r\n", Program, command.front().c_str(),
                 std::strerror(errno));
    _exit(127);
}

// Moves bytes from `from` into `pending`; false at end of stream or on an error.
bool ReadInto(int from, std::vector<char>& pending) {
    char chunk[4096];
    for (;;) {
        ssize_t got = read(from, chunk, sizeof chunk);
        if (got > 0) {
            pending.insert(pending.end(), chunk, chunk + got);
            return true;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

// Writes what `to` takes of `pending`; false when `to` is gone.
bool WriteFrom(int to, std::vector<char>& pending, bool isSocket) {
    while (!pending.empty()) {
        ssize_t sent = isSocket ? send(to, pending.data(), pending.size(), MSG_NOSIGNAL)
                                : write(to, pending.data(), pending.size());
        if (sent > 0) {
            pending.erase(pending.begin(), pending.begin() + sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        return sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;
}

bool ChildHasEnded(pid_t child) {
    int status;
    pid_t reaped = waitpid(child, &status, WNOHANG);
    return reaped == child || (reaped < 0 && errno == ECHILD);
}

// Reads the command's last output until the terminal hangs up or stays quiet.
void DrainTerminal(int master, std::vector<char>& toSocket) {
    for (;;) {
        pollfd entry{master, POLLIN, 0};
        int ready = poll(&entry, 1, kDrainIdleMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0 || !ReadInto(master, toSocket)) {
            return;
        }
    }
}

void FlushToSocket(int socket, std::vector<char>& toSocket) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFlushLimitMs);
    while (!toSocket.empty() && std::chrono::steady_clock::now() < deadline) {
        if (!WriteFrom(socket, toSocket, true)) {
            return;
        }
        pollfd entry{socket, POLLOUT, 0};
        poll(&entry, 1, 100);
    }
}

// Signals the command's whole process group: the command leads its own
// session, and what it started should end with it.
void SignalCommand(pid_t child, int signal) {
    if (kill(-child, signal) != 0) {
        kill(child, signal);
    }
}

void EndCommand(pid_t child) {
    if (ChildHasEnded(child)) {
        return;
    }
    SignalCommand(child, SIGHUP);
    for (int waited = 0; waited < kHangupGraceMs; waited += 10) {
        if (ChildHasEnded(child)) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    SignalCommand(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

void ServeConnection(PipeConnection connection, const std::vector<std::string>& command) {
    WakeUpSignal childEnded;
    SignalWakeUp = &childEnded;
    SetHandler(SIGCHLD, OnChildEnded);

    winsize size{};
    size.ws_row = kPtyRows;
    size.ws_col = kPtyColumns;
    int master = -1;
    pid_t child = forkpty(&master, nullptr, nullptr, &size);
    if (child < 0) {
        std::string text = std::string(Program) +
                           ": cannot open a pseudo-terminal: " + std::strerror(errno) + "\r\n";
        send(connection.Descriptor(), text.data(), text.size(), MSG_NOSIGNAL);
        return;
    }
    if (child == 0) {
        RunCommandOnTerminal(command);
    }

    fcntl(master, F_SETFD, FD_CLOEXEC);
    int socket = connection.Descriptor();
    SetNonBlocking(socket);
    SetNonBlocking(master);
    std::vector<char> toTerminal, toSocket;
    bool clientGone = false;
    for (;;) {
        pollfd entries[3] = {
            {socket,
             static_cast<short>((toTerminal.size() < kRelayBufferLimit ? POLLIN : 0) |
                                (toSocket.empty() ? 0 : POLLOUT)),
             0},
            {master,
             static_cast<short>((toSocket.size() < kRelayBufferLimit ? POLLIN : 0) |
                                (toTerminal.empty() ? 0 : POLLOUT)),
             0},
            {childEnded.Descriptor(), POLLIN, 0},
        };
        if (poll(entries, 3, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (StopRequested) {
            clientGone = true;
            break;
        }
        if (entries[2].revents != 0) {
            childEnded.Clear();
            if (ChildHasEnded(child)) {
                break;
            }
        }
        if ((entries[0].revents & (POLLIN | POLLHUP | POLLERR)) && !ReadInto(socket, toTerminal)) {
            clientGone = true;
            break;
        }
        // The terminal hangs up once the command and everything it started
        // have closed it.
        if ((entries[1].revents & (POLLIN | POLLHUP | POLLERR)) && !ReadInto(master, toSocket)) {
            break;
        }
        if (!WriteFrom(socket, toSocket, true)) {
            clientGone = true;
            break;
        }
        if (!WriteFrom(master, toTerminal, false)) {
            break;
        }
    }

    if (!clientGone) {
        DrainTerminal(master, toSocket);
        FlushToSocket(socket, toSocket);
    }
    connection.Close();
    close(master);
    EndCommand(child);
    SignalWakeUp = nullptr;
}

// --- the listening loop ----------------------------------------------------

int Serve(const Options& options) {
    if (options.inPipeDirectory) {
        auto sources = kestra::platform::PipeDirectorySources::FromProcess();
        if (auto problem = kestra::platform::PreparePipeDirectory(sources)) {
            std::fprintf(stderr, "%s: %s\n", Program, problem->c_str());
            return kExitFailure;
        }
    }
    auto listening = options.socketPath
                         ? SocketListener::ListenLocal(*options.socketPath)
                         : SocketListener::ListenTcp(*options.tcpHost, options.tcpPort);
    std::string endpoint =
        options.socketPath ? *options.socketPath : *options.tcpHost + ":" + options.tcpPort;
    if (!listening.Ok()) {
        std::fprintf(stderr, "%s: cannot listen on %s: %s\n", Program, endpoint.c_str(),
                     listening.errorText.c_str());
        return kExitFailure;
    }
    SocketListener listener = std::move(listening.listener);
    if (!options.socketPath) {
        bool ipv6 = options.tcpHost->find(':') != std::string::npos;
        endpoint = (ipv6 ? "[" + *options.tcpHost + "]" : *options.tcpHost) + ":" +
                   std::to_string(listener.Port());
    }

    WakeUpSignal wakeUp;
    SignalWakeUp = &wakeUp;
    SetHandler(SIGCHLD, OnChildEnded);
    SetHandler(SIGINT, OnStop);
    SetHandler(SIGTERM, OnStop);
    SetHandler(SIGHUP, OnStop);
    SetNonBlocking(listener.Descriptor());

    // Before the line that tells a waiting script to go on.
    if (options.tcpHost && !kestra::platform::IsLoopbackHost(*options.tcpHost).value_or(false)) {
        std::fprintf(stderr,
                     "%s: warning: anyone who can reach %s gets a terminal running %s, "
                     "without a password\n",
                     Program, endpoint.c_str(), options.command.front().c_str());
    }
    std::printf("listening on %s\n", endpoint.c_str());
    std::fflush(stdout);

    std::set<pid_t> handlers;
    while (!StopRequested) {
        pollfd entries[2] = {{listener.Descriptor(), POLLIN, 0}, {wakeUp.Descriptor(), POLLIN, 0}};
        if (poll(entries, 2, -1) < 0 && errno != EINTR) {
            break;
        }
        if (entries[1].revents != 0) {
            wakeUp.Clear();
            for (pid_t ended; (ended = waitpid(-1, nullptr, WNOHANG)) > 0;) {
                handlers.erase(ended);
            }
        }
        if (StopRequested || (entries[0].revents & POLLIN) == 0) {
            continue;
        }
        auto accepted = listener.Accept();
        if (!accepted.Ok()) {
            continue; // the client gave up before we took it, or a signal came
        }
        if (options.once) {
            // Nobody else can connect from here on.
            listener.CloseAndRemove();
            ServeConnection(std::move(accepted.connection), options.command);
            return 0;
        }
        pid_t handler = fork();
        if (handler == 0) {
            // The stop handlers stay: a stopped server's connections end
            // their commands and reap them before they go.
            listener.Close();
            ServeConnection(std::move(accepted.connection), options.command);
            _exit(0);
        }
        if (handler > 0) {
            handlers.insert(handler);
        } else {
            std::fprintf(stderr, "%s: cannot serve a connection: %s\n", Program,
                         std::strerror(errno));
        }
    }
    listener.CloseAndRemove();
    // Connections in progress end with the server; waiting for them leaves
    // no process of ours behind.
    for (pid_t handler : handlers) {
        kill(handler, SIGTERM);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopLimitMs);
    while (!handlers.empty() && std::chrono::steady_clock::now() < deadline) {
        pid_t ended = waitpid(-1, nullptr, WNOHANG);
        if (ended > 0) {
            handlers.erase(ended);
        } else if (ended < 0 && errno == ECHILD) {
            break;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    SignalWakeUp = nullptr;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    const Options options = ParseArguments(argc, argv);
    // Every command started inherits it.
    setenv("TERM", options.term.c_str(), 1);
    return Serve(options);
}
