#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestra::platform {

// Where a pipe name leads on this system: a Unix socket for a local pipe or an
// absolute socket path, a TCP connection for a pipe on another machine.
struct PipeEndpoint {
    enum class Kind { LocalSocket, Tcp };

    Kind kind = Kind::LocalSocket;
    std::string socketPath; // LocalSocket
    std::string host;       // Tcp
    std::string service;    // Tcp: a port number or a service name

    bool operator==(const PipeEndpoint&) const = default;
};

// The environment values that choose the directory of local pipes, gathered in
// one place so that tests can set them without touching the process.
struct PipeDirectorySources {
    std::optional<std::string> kestraPipes;   // $KESTRA_PIPES
    std::optional<std::string> xdgRuntimeDir; // $XDG_RUNTIME_DIR
    unsigned uid = 0;

    static PipeDirectorySources FromProcess();
};

// $KESTRA_PIPES, else $XDG_RUNTIME_DIR/kestra-pipes, else /tmp/kestra-pipes-UID.
// An empty variable counts as unset, as an empty XDG_RUNTIME_DIR does for
// every other program that reads it.
std::string LocalPipeDirectory(const PipeDirectorySources& sources);

// A name that is used as it stands, without the server prefix: one that
// begins with two backslashes (a full pipe path) or with '/' (a socket path).
bool IsFullPipePath(std::string_view name);

// Maps a full pipe path to its endpoint:
//   \\.\pipe\NAME      the Unix socket DIR/NAME, a '\' inside NAME becoming '/'
//   \\HOST\pipe\NAME   TCP to HOST, port or service NAME ([::1] may be bracketed)
//   /PATH              the Unix socket PATH, unchanged
// The word "pipe" is matched without regard to case. Any other form names no
// pipe and gives nullopt, and so do a local NAME with a "." or ".." step,
// which would lead out of the pipe directory, and any name holding a NUL.
std::optional<PipeEndpoint> ResolvePipeName(std::string_view pipePath,
                                            const PipeDirectorySources& sources);

} // namespace kestra::platform
