#pragma once

#include "platform/PipeName.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace kestra::platform {

// How an operation on a connection ended.
enum class PipeStatus {
    Ok,
    ShutDown, // the other end closed or reset the connection: end of stream,
              // ECONNRESET, EPIPE or ENOTCONN
    Failed,   // any other error; `error` holds errno
};

struct PipeOutcome {
    PipeStatus status = PipeStatus::Ok;
    int error = 0;         // errno; 0 for Ok and for a plain end of stream
    std::size_t bytes = 0; // bytes waiting (BytesAvailable) or read (Read)

    bool Ok() const { return status == PipeStatus::Ok; }
};

enum class WaitResult {
    Ready,   // the connection is readable (bytes, an end of stream or an error
             // wait) or writable (room, or an error wait), as asked
    WokenUp, // the wake-up descriptor became readable first
    TimedOut,
    Failed, // poll() itself failed; errno is in `error`
};

struct PipeWait {
    WaitResult result = WaitResult::TimedOut;
    int error = 0;
};

struct PipeOpenResult;

// One byte-stream connection to a server: a connected Unix or TCP socket.
// Reading (one thread) and writing (any other threads) may run concurrently;
// Close() and destruction must not overlap either.
class PipeConnection {
public:
    // Time allowed for a TCP connection to a host that does not answer, so that
    // start-up reports an unreachable server instead of hanging for minutes.
    static constexpr int kConnectTimeoutMs = 10000;

    PipeConnection() = default;
    // Takes ownership of a connected stream socket.
    explicit PipeConnection(int descriptor) : descriptor_(descriptor) {}
    ~PipeConnection() { Close(); }
    PipeConnection(PipeConnection&& other) noexcept;
    PipeConnection& operator=(PipeConnection&& other) noexcept;
    PipeConnection(const PipeConnection&) = delete;
    PipeConnection& operator=(const PipeConnection&) = delete;

    // Connects to the endpoint that a full pipe path names (see ResolvePipeName).
    // A pipe directory that is not the user's own is refused (EACCES) with a
    // message that says why (see PipeDirectoryProblem).
    static PipeOpenResult Open(std::string_view pipePath, const PipeDirectorySources& sources);
    static PipeOpenResult Open(std::string_view pipePath);
    static PipeOpenResult Connect(const PipeEndpoint& endpoint);

    bool IsOpen() const { return descriptor_ >= 0; }
    int Descriptor() const { return descriptor_; }

    // Blocks until the connection is readable, wakeDescriptor (when not -1)
    // is readable, or timeoutMs passed (-1: no limit). An end of stream counts
    // as readable, so that the next BytesAvailable() reports it.
    PipeWait WaitReadable(int timeoutMs, int wakeDescriptor = -1) const;
    // The same for writing: until the connection takes bytes again or has
    // failed (which the next WriteSome reports).
    PipeWait WaitWritable(int timeoutMs, int wakeDescriptor = -1) const;

    // The number of bytes that a Read() would return at once, without
    // reading them. A connection that the other end has shut down reports
    // ShutDown here, once every byte it sent has been read.
    PipeOutcome BytesAvailable() const;

    // Reads what is waiting, at most buffer.size() bytes; blocks while nothing
    // is. An end of stream is ShutDown, never a read of 0 bytes.
    PipeOutcome Read(std::span<unsigned char> buffer) const;

    // Writes as many of bytes as the connection takes now, without blocking:
    // `bytes` of the outcome counts them, 0 while it takes none. Never raises
    // SIGPIPE.
    PipeOutcome WriteSome(std::span<const unsigned char> bytes) const;

    void Close();

private:
    PipeWait Wait(short events, int timeoutMs, int wakeDescriptor) const;

    int descriptor_ = -1;
};

struct PipeOpenResult {
    PipeConnection connection; // open on success
    int error = 0;             // errno on failure
    std::string errorText;     // on failure: the reason, never empty

    bool Ok() const { return connection.IsOpen(); }
};

// Sorts an errno from a socket operation: the codes that mean the other end
// has gone become ShutDown, any other Failed.
PipeOutcome ClassifyPipeError(int error);

} // namespace kestra::platform
