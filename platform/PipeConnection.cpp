#include "platform/PipeConnection.h"

#include "platform/PipeDirectory.h"
#include "platform/SystemError.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace kestra::platform {

namespace {

using Clock = std::chrono::steady_clock;

// Rounded up: a wait cut short by a truncated remainder would end early.
int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

PipeOpenResult Failure(int error, std::string text = {}) {
    PipeOpenResult result;
    result.error = error;
    result.errorText = text.empty() ? SystemErrorTextOrCode(error) : std::move(text);
    return result;
}

PipeOpenResult ConnectLocal(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return Failure(ENAMETOOLONG);
    }
    std::memcpy(address.sun_path, path.data(), path.size());

    int descriptor = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        return Failure(errno);
    }
    if (connect(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        int error = errno;
        close(descriptor);
        return Failure(error);
    }
    PipeOpenResult result;
    result.connection = PipeConnection(descriptor);
    return result;
}

// Connects one non-blocking socket within the deadline; returns 0 or errno.
int ConnectWithin(int descriptor, const addrinfo& address, Clock::time_point deadline) {
    if (connect(descriptor, address.ai_addr, address.ai_addrlen) == 0) {
        return 0;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        return errno;
    }
    for (;;) {
        pollfd entry{descriptor, POLLOUT, 0};
        int ready = poll(&entry, 1, RemainingMs(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return errno;
        }
        if (ready == 0) {
            return ETIMEDOUT;
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
            return errno;
        }
        return error;
    }
}

int ErrnoOfAddressLookup(int code) {
    switch (code) {
    case EAI_SYSTEM: return errno;
    case EAI_AGAIN: return EAGAIN;
    case EAI_MEMORY: return ENOMEM;
    default: return ENXIO;
    }
}

PipeOpenResult ConnectTcp(const std::string& host, const std::string& service) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* addresses = nullptr;
    if (int code = getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses); code != 0) {
        int error = ErrnoOfAddressLookup(code);
        return Failure(error, code == EAI_SYSTEM ? std::string{} : gai_strerror(code));
    }

    auto deadline = Clock::now() + std::chrono::milliseconds(PipeConnection::kConnectTimeoutMs);
    int lastError = ECONNREFUSED;
    PipeOpenResult result;
    for (addrinfo* address = addresses; address != nullptr; address = address->ai_next) {
        int descriptor =
            socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                   address->ai_protocol);
        if (descriptor < 0) {
            lastError = errno;
            continue;
        }
        lastError = ConnectWithin(descriptor, *address, deadline);
        if (lastError != 0) {
            close(descriptor);
            continue;
        }
        fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
        // Typed keys go out one byte at a time; waiting to coalesce them
        // would make typing lag.
        int on = 1;
        setsockopt(descriptor, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        result.connection = PipeConnection(descriptor);
        break;
    }
    freeaddrinfo(addresses);
    if (!result.Ok()) {
        return Failure(lastError);
    }
    return result;
}

} // namespace

PipeOutcome ClassifyPipeError(int error) {
    switch (error) {
    case ECONNRESET:
    case EPIPE:
    case ENOTCONN: return {PipeStatus::ShutDown, error, 0};
    default: return {PipeStatus::Failed, error, 0};
    }
}

PipeConnection::PipeConnection(PipeConnection&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)) {}

PipeConnection& PipeConnection::operator=(PipeConnection&& other) noexcept {
    if (this != &other) {
        Close();
        descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
}

PipeOpenResult PipeConnection::Open(std::string_view pipePath,
                                    const PipeDirectorySources& sources) {
    auto endpoint = ResolvePipeName(pipePath, sources);
    if (!endpoint) {
        return Failure(EINVAL);
    }
    // A name in the pipe directory trusts whoever may create sockets there;
    // a socket path the user wrote out is the user's own choice. Checked
    // again once connected: a directory missing at the first look may have
    // been made by someone else since.
    const bool inPipeDirectory =
        endpoint->kind == PipeEndpoint::Kind::LocalSocket && !pipePath.starts_with('/');
    const auto problem = [&] {
        return inPipeDirectory ? PipeDirectoryProblem(sources) : std::nullopt;
    };
    if (std::optional<std::string> before = problem()) {
        return Failure(EACCES, std::move(*before));
    }
    PipeOpenResult opened = Connect(*endpoint);
    if (std::optional<std::string> after = opened.Ok() ? problem() : std::nullopt) {
        return Failure(EACCES, std::move(*after)); // closes the connection
    }
    return opened;
}

PipeOpenResult PipeConnection::Open(std::string_view pipePath) {
    return Open(pipePath, PipeDirectorySources::FromProcess());
}

PipeOpenResult PipeConnection::Connect(const PipeEndpoint& endpoint) {
    if (endpoint.kind == PipeEndpoint::Kind::Tcp) {
        return ConnectTcp(endpoint.host, endpoint.service);
    }
    return ConnectLocal(endpoint.socketPath);
}

PipeWait PipeConnection::WaitReadable(int timeoutMs, int wakeDescriptor) const {
    return Wait(POLLIN, timeoutMs, wakeDescriptor);
}

PipeWait PipeConnection::WaitWritable(int timeoutMs, int wakeDescriptor) const {
    return Wait(POLLOUT, timeoutMs, wakeDescriptor);
}

PipeWait PipeConnection::Wait(short events, int timeoutMs, int wakeDescriptor) const {
    pollfd entries[2] = {{descriptor_, events, 0}, {wakeDescriptor, POLLIN, 0}};
    nfds_t count = wakeDescriptor >= 0 ? 2 : 1;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        int ready = poll(entries, count, timeoutMs < 0 ? -1 : RemainingMs(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return {WaitResult::Failed, errno};
        }
        if (ready == 0) {
            return {WaitResult::TimedOut, 0};
        }
        if (entries[0].revents & POLLNVAL) {
            return {WaitResult::Failed, EBADF};
        }
        if (entries[0].revents != 0) {
            return {WaitResult::Ready, 0};
        }
        return {WaitResult::WokenUp, 0};
    }
}

PipeOutcome PipeConnection::BytesAvailable() const {
    int waiting = 0;
    if (ioctl(descriptor_, FIONREAD, &waiting) != 0) {
        return ClassifyPipeError(errno);
    }
    if (waiting > 0) {
        return {PipeStatus::Ok, 0, static_cast<std::size_t>(waiting)};
    }
    // Nothing waiting may also mean that the other end has gone: a peek tells
    // an end of stream or a pending error from an idle connection.
    unsigned char probe;
    for (;;) {
        ssize_t got = recv(descriptor_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
        if (got > 0) {
            return {PipeStatus::Ok, 0, 1};
        }
        if (got == 0) {
            return {PipeStatus::ShutDown, 0, 0};
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return {PipeStatus::Ok, 0, 0};
        }
        return ClassifyPipeError(errno);
    }
}

PipeOutcome PipeConnection::Read(std::span<unsigned char> buffer) const {
    if (buffer.empty()) {
        return {PipeStatus::Ok, 0, 0};
    }
    for (;;) {
        ssize_t got = recv(descriptor_, buffer.data(), buffer.size(), 0);
        if (got > 0) {
            return {PipeStatus::Ok, 0, static_cast<std::size_t>(got)};
        }
        if (got == 0) {
            return {PipeStatus::ShutDown, 0, 0};
        }
        if (errno != EINTR) {
            return ClassifyPipeError(errno);
        }
    }
}

PipeOutcome PipeConnection::WriteSome(std::span<const unsigned char> bytes) const {
    if (bytes.empty()) {
        return {PipeStatus::Ok, 0, 0};
    }
    for (;;) {
        ssize_t sent = send(descriptor_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent >= 0) {
            return {PipeStatus::Ok, 0, static_cast<std::size_t>(sent)};
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return {PipeStatus::Ok, 0, 0};
        }
        if (errno != EINTR) {
            return ClassifyPipeError(errno);
        }
    }
}

void PipeConnection::Close() {
    if (descriptor_ >= 0) {
        close(std::exchange(descriptor_, -1));
    }
}

} // namespace kestra::platform
