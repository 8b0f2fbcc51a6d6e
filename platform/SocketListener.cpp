#include "platform/SocketListener.h"

#include "platform/SystemError.h"
#include "platform/UserFile.h"

#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace kestra::platform {

namespace {

constexpr int kBacklog = 16;

ListenResult ListenFailure(int error, std::string text = {}) {
    ListenResult result;
    result.error = error;
    if (text.empty()) {
        text = SystemErrorTextOrCode(error);
    }
    result.errorText = std::move(text);
    return result;
}

std::string ParentDirectory(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return {};
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// 0 when nothing at path stops a new socket from being bound there.
int ClearStaleSocket(const std::string& path, const sockaddr_un& address) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) {
        return errno == ENOENT ? 0 : errno;
    }
    if (!S_ISSOCK(status.st_mode)) {
        return EEXIST;
    }
    int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0) {
        return errno;
    }
    int connected = connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    int error = errno;
    close(probe);
    if (connected == 0) {
        return EADDRINUSE;
    }
    if (error != ECONNREFUSED) {
        return 0;
    }
    if (unlink(path.c_str()) != 0 && errno != ENOENT) {
        return errno;
    }
    return 0;
}

} // namespace

SocketListener::SocketListener(SocketListener&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), socketPath_(std::move(other.socketPath_)) {
}

SocketListener& SocketListener::operator=(SocketListener&& other) noexcept {
    if (this != &other) {
        Close();
        descriptor_ = std::exchange(other.descriptor_, -1);
        socketPath_ = std::move(other.socketPath_);
    }
    return *this;
}

ListenResult SocketListener::ListenLocal(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty()) {
        return ListenFailure(EINVAL);
    }
    if (path.size() >= sizeof address.sun_path) {
        return ListenFailure(ENAMETOOLONG);
    }
    std::memcpy(address.sun_path, path.data(), path.size());

    if (int error = CreateDirectories(ParentDirectory(path), 0700)) {
        return ListenFailure(error);
    }
    if (int error = ClearStaleSocket(path, address)) {
        return ListenFailure(error, error == EEXIST ? "File exists and is not a socket" : "");
    }

    int descriptor = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        return ListenFailure(errno);
    }
    // The socket is the user's alone: whoever may connect to it types into
    // the command behind it. Narrowed before anyone can connect (a socket
    // refuses connections until it listens), never widened past the umask.
    struct stat bound {};
    if (bind(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        lstat(path.c_str(), &bound) != 0 || chmod(path.c_str(), bound.st_mode & 0600) != 0 ||
        listen(descriptor, kBacklog) != 0) {
        int error = errno;
        close(descriptor);
        return ListenFailure(error);
    }
    ListenResult result;
    result.listener.descriptor_ = descriptor;
    result.listener.socketPath_ = path;
    return result;
}

ListenResult SocketListener::ListenTcp(const std::string& host, const std::string& port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* addresses = nullptr;
    if (int code =
            getaddrinfo(host.empty() ? nullptr : host.c_str(), port.c_str(), &hints, &addresses);
        code != 0) {
        return ListenFailure(code == EAI_SYSTEM ? errno : ENXIO,
                             code == EAI_SYSTEM ? std::string{} : gai_strerror(code));
    }

    int lastError = EADDRNOTAVAIL;
    ListenResult result;
    for (addrinfo* address = addresses; address != nullptr; address = address->ai_next) {
        int descriptor =
            socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC, address->ai_protocol);
        if (descriptor < 0) {
            lastError = errno;
            continue;
        }
        // A server restarted at once must get its port back.
        int on = 1;
        setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (bind(descriptor, address->ai_addr, address->ai_addrlen) != 0 ||
            listen(descriptor, kBacklog) != 0) {
            lastError = errno;
            close(descriptor);
            continue;
        }
        result.listener.descriptor_ = descriptor;
        break;
    }
    freeaddrinfo(addresses);
    if (!result.Ok()) {
        return ListenFailure(lastError);
    }
    return result;
}

std::optional<bool> IsLoopbackHost(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* addresses = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &addresses) != 0) {
        return std::nullopt;
    }
    bool loopback = true;
    for (const addrinfo* address = addresses; address != nullptr; address = address->ai_next) {
        if (address->ai_family == AF_INET) {
            const auto& ip = reinterpret_cast<const sockaddr_in*>(address->ai_addr)->sin_addr;
            loopback = loopback && (ntohl(ip.s_addr) >> 24) == 127;
        } else if (address->ai_family == AF_INET6) {
            const auto& ip = reinterpret_cast<const sockaddr_in6*>(address->ai_addr)->sin6_addr;
            loopback = loopback && (IN6_IS_ADDR_LOOPBACK(&ip) ||
                                    (IN6_IS_ADDR_V4MAPPED(&ip) && ip.s6_addr[12] == 127));
        } else {
            loopback = false;
        }
    }
    freeaddrinfo(addresses);
    return loopback;
}

int SocketListener::Port() const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (descriptor_ < 0 ||
        getsockname(descriptor_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    if (address.ss_family == AF_INET) {
        return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    }
    if (address.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    }
    return 0;
}

PipeOpenResult SocketListener::Accept() const {
    PipeOpenResult result;
    int descriptor = accept4(descriptor_, nullptr, nullptr, SOCK_CLOEXEC);
    if (descriptor < 0) {
        result.error = errno;
        result.errorText = SystemErrorText(result.error).value_or("accept failed");
        return result;
    }
    result.connection = PipeConnection(descriptor);
    return result;
}

void SocketListener::Close() {
    if (descriptor_ >= 0) {
        close(std::exchange(descriptor_, -1));
    }
}

void SocketListener::CloseAndRemove() {
    Close();
    if (!socketPath_.empty()) {
        unlink(socketPath_.c_str());
    }
    socketPath_.clear();
}

} // namespace kestra::platform
