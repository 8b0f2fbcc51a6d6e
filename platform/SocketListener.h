#pragma once

#include "platform/PipeConnection.h"

#include <optional>
#include <string>

namespace kestra::platform {

struct ListenResult;

// The server side of a pipe: a listening Unix or TCP socket. Used by the test
// server program and by tests that play the server.
class SocketListener {
public:
    SocketListener() = default;
    ~SocketListener() { Close(); }
    SocketListener(SocketListener&& other) noexcept;
    SocketListener& operator=(SocketListener&& other) noexcept;
    SocketListener(const SocketListener&) = delete;
    SocketListener& operator=(const SocketListener&) = delete;

    // Listens on a Unix socket at path, mode 0600. Missing directories are
    // created (private to the user, since they hold the user's consoles). A socket file
    // that nobody listens on any more is removed first; a live one is left
    // alone (EADDRINUSE), and so is anything that is not a socket (EEXIST).
    static ListenResult ListenLocal(const std::string& path);
    // Listens on TCP; port "0" picks a free port (see Port()).
    static ListenResult ListenTcp(const std::string& host, const std::string& port);

    bool IsOpen() const { return descriptor_ >= 0; }
    int Descriptor() const { return descriptor_; }
    const std::string& SocketPath() const { return socketPath_; }
    // The TCP port actually bound; 0 for a Unix socket.
    int Port() const;

    // Waits for the next connection. EINTR is returned, not retried, so that
    // a server loop can look at its signals.
    PipeOpenResult Accept() const;

    // Closes the socket; the socket file stays (a forked child that only
    // closes its copy must not remove it).
    void Close();
    // Closes the socket and removes its socket file.
    void CloseAndRemove();

private:
    int descriptor_ = -1;
    std::string socketPath_;
};

struct ListenResult {
    SocketListener listener;
    int error = 0;
    std::string errorText;

    bool Ok() const { return listener.IsOpen(); }
};

// Whether every address that host stands for is a loopback address, so that
// only this machine can connect to a port listening there; nullopt when the
// host stands for no address.
std::optional<bool> IsLoopbackHost(const std::string& host);

} // namespace kestra::platform
