#include "platform/PipeConnection.h"

#include "support/Program.h"
#include "platform/SocketListener.h"
#include "platform/SystemError.h"
#include "platform/WakeUpSignal.h"

#include <array>
#include <cerrno>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace kestra::platform;
using kestra::testing::Clock;
using kestra::testing::MillisecondsSince;
using kestra::testing::TemporaryDirectory;
using namespace std::chrono_literals;

namespace {

enum class Transport { Unix, Tcp };

// A server and a connected client over one transport, on loopback only.
class Connected : public ::testing::TestWithParam<Transport> {
protected:
    void SetUp() override {
        ASSERT_FALSE(directory_.Path().empty());
        ListenResult listening = GetParam() == Transport::Unix
                                     ? SocketListener::ListenLocal(directory_ / "pipe")
                                     : SocketListener::ListenTcp("127.0.0.1", "0");
        ASSERT_TRUE(listening.Ok()) << listening.errorText;
        listener_ = std::move(listening.listener);
        std::string pipePath = GetParam() == Transport::Unix
                                   ? directory_ / "pipe"
                                   : "\\\\127.0.0.1\\pipe\\" + std::to_string(listener_.Port());
        PipeOpenResult opened = PipeConnection::Open(pipePath);
        ASSERT_TRUE(opened.Ok()) << pipePath << ": " << opened.errorText;
        client_ = std::move(opened.connection);
        PipeOpenResult accepted = listener_.Accept();
        ASSERT_TRUE(accepted.Ok()) << accepted.errorText;
        server_ = std::move(accepted.connection);
    }

    void ServerSends(std::string_view bytes) {
        ASSERT_EQ(send(server_.Descriptor(), bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }

    // Reads from the client until `count` bytes came or 5 s passed.
    std::string ClientReceives(std::size_t count) {
        std::string received;
        auto start = Clock::now();
        while (received.size() < count && MillisecondsSince(start) < 5000) {
            if (client_.WaitReadable(100).result != WaitResult::Readable)
                continue;
            std::array<unsigned char, 4096> buffer;
            PipeOutcome read = client_.Read(buffer);
            if (!read.Ok())
                break;
            received.append(buffer.begin(), buffer.begin() + read.bytes);
        }
        return received;
    }

    TemporaryDirectory directory_;
    SocketListener listener_;
    PipeConnection client_;
    PipeConnection server_;
};

std::string TransportName(const ::testing::TestParamInfo<Transport>& info) {
    return info.param == Transport::Unix ? "UnixSocket" : "Tcp";
}

} // namespace

TEST_P(Connected, WaitsLastTheirTimeoutUnlessBytesArriveAndBytesAreCountedBeforeRead) {
    for (int timeoutMs : {0, 60}) {
        auto start = Clock::now();
        PipeWait wait = client_.WaitReadable(timeoutMs);
        long waited = MillisecondsSince(start);
        EXPECT_EQ(wait.result, WaitResult::TimedOut) << timeoutMs;
        EXPECT_GE(waited, timeoutMs);
        EXPECT_LT(waited, timeoutMs + 1000);
    }
    EXPECT_TRUE(client_.BytesAvailable().Ok());
    EXPECT_EQ(client_.BytesAvailable().bytes, 0u) << "an idle open connection has nothing waiting";

    const auto start = Clock::now();
    std::thread server([this] {
        std::this_thread::sleep_for(50ms);
        ServerSends("hello");
    });
    PipeWait wait = client_.WaitReadable(5000);
    long waited = MillisecondsSince(start);
    server.join();
    EXPECT_EQ(wait.result, WaitResult::Readable);
    EXPECT_GE(waited, 40);
    EXPECT_LT(waited, 2500) << "the wait must end when bytes arrive, not at its limit";

    PipeOutcome available = client_.BytesAvailable();
    ASSERT_TRUE(available.Ok());
    EXPECT_EQ(available.bytes, 5u);
    EXPECT_EQ(client_.BytesAvailable().bytes, 5u) << "counting must not consume the bytes";

    std::array<unsigned char, 3> small;
    PipeOutcome read = client_.Read(small);
    ASSERT_TRUE(read.Ok());
    EXPECT_EQ(std::string(small.begin(), small.begin() + read.bytes), "hel");
    EXPECT_EQ(client_.BytesAvailable().bytes, 2u);
    EXPECT_EQ(ClientReceives(2), "lo");
}

TEST_P(Connected, WakeUpDescriptorEndsAnIdleWait) {
    WakeUpSignal wakeUp;
    ASSERT_EQ(wakeUp.CreationError(), 0);

    std::thread raiser([&] {
        std::this_thread::sleep_for(30ms);
        wakeUp.Raise();
    });
    auto start = Clock::now();
    PipeWait wait = client_.WaitReadable(10000, wakeUp.Descriptor());
    long waited = MillisecondsSince(start);
    raiser.join();
    EXPECT_EQ(wait.result, WaitResult::WokenUp);
    EXPECT_LT(waited, 5000);

    // A raised signal stays raised until cleared, however often it was raised.
    wakeUp.Raise();
    EXPECT_EQ(client_.WaitReadable(1000, wakeUp.Descriptor()).result, WaitResult::WokenUp);
    wakeUp.Clear();
    EXPECT_EQ(client_.WaitReadable(20, wakeUp.Descriptor()).result, WaitResult::TimedOut);

    // Bytes on the connection win over a raised signal: the reader must not
    // miss them.
    wakeUp.Raise();
    ServerSends("x");
    EXPECT_EQ(client_.WaitReadable(1000, wakeUp.Descriptor()).result, WaitResult::Readable);
}

TEST_P(Connected, EndOfStreamIsAShutDownOnceTheLastByteIsRead) {
    ServerSends("xy");
    server_.Close();
    ASSERT_EQ(client_.WaitReadable(5000).result, WaitResult::Readable);
    PipeOutcome available = client_.BytesAvailable();
    ASSERT_TRUE(available.Ok());
    EXPECT_EQ(available.bytes, 2u);
    EXPECT_EQ(ClientReceives(2), "xy");

    EXPECT_EQ(client_.WaitReadable(5000).result, WaitResult::Readable)
        << "an end of stream must end the wait, not let it run to its limit";
    PipeOutcome after = client_.BytesAvailable();
    EXPECT_EQ(after.status, PipeStatus::ShutDown);
    EXPECT_EQ(after.error, 0);
    std::array<unsigned char, 16> buffer;
    EXPECT_EQ(client_.Read(buffer).status, PipeStatus::ShutDown);
}

TEST_P(Connected, ResetByTheServerIsAShutDown) {
    // A server that closes with bytes it never read resets the connection.
    ASSERT_TRUE(client_.WriteByte('!').Ok());
    std::this_thread::sleep_for(20ms);
    server_.Close();
    ASSERT_EQ(client_.WaitReadable(5000).result, WaitResult::Readable);
    PipeOutcome available = client_.BytesAvailable();
    EXPECT_EQ(available.status, PipeStatus::ShutDown);
    EXPECT_EQ(available.error, ECONNRESET);
}

TEST_P(Connected, WritingToAServerThatHasGoneIsAShutDownNotASignal) {
    server_.Close();
    // The first byte may still be taken by the system before the close is
    // known; a broken connection shows within a few more.
    PipeOutcome written;
    for (int attempt = 0; attempt < 100 && written.Ok(); ++attempt) {
        written = client_.WriteByte('a');
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(written.status, PipeStatus::ShutDown);
    EXPECT_TRUE(written.error == EPIPE || written.error == ECONNRESET) << written.error;
}

INSTANTIATE_TEST_SUITE_P(Transports, Connected, ::testing::Values(Transport::Unix, Transport::Tcp),
                         TransportName);

TEST(PipeConnection, OpenFailuresCarryTheSystemErrorAndAText) {
    TemporaryDirectory directory;
    // A socket file that nobody listens on any more.
    {
        ListenResult stale = SocketListener::ListenLocal(directory / "stale");
        ASSERT_TRUE(stale.Ok());
    }
    // A TCP port that was free a moment ago.
    std::string closedPort;
    {
        ListenResult free = SocketListener::ListenTcp("127.0.0.1", "0");
        ASSERT_TRUE(free.Ok());
        closedPort = std::to_string(free.listener.Port());
    }
    struct Row {
        std::string name;
        int error;
    };
    const Row rows[] = {
        {directory / "missing", ENOENT},
        {directory / "stale", ECONNREFUSED},
        {"\\\\127.0.0.1\\pipe\\" + closedPort, ECONNREFUSED},
        {"/" + std::string(200, 'x'), ENAMETOOLONG},
        {"\\\\127.0.0.1\\pipe\\no-such-service-for-kestra", ENXIO},
    };
    for (const auto& row : rows) {
        PipeOpenResult opened = PipeConnection::Open(row.name);
        EXPECT_FALSE(opened.Ok()) << row.name;
        EXPECT_EQ(opened.error, row.error) << row.name;
        EXPECT_FALSE(opened.errorText.empty()) << row.name;
        if (row.error != ENXIO) {
            EXPECT_EQ(opened.errorText, SystemErrorText(row.error).value_or("?")) << row.name;
        }
    }
}

TEST(PipeConnection, OnlyTheCodesOfAVanishedServerAreShutDowns) {
    for (const auto& [error, status] : {std::pair{ECONNRESET, PipeStatus::ShutDown},
                                        {EPIPE, PipeStatus::ShutDown},
                                        {ENOTCONN, PipeStatus::ShutDown},
                                        {EIO, PipeStatus::Failed}}) {
        const PipeOutcome outcome = ClassifyPipeError(error);
        EXPECT_EQ(outcome.status, status) << error;
        EXPECT_EQ(outcome.error, error);
    }
}

TEST(SocketListener, SocketFileIsReplacedOnlyWhenStale) {
    TemporaryDirectory directory;
    { ASSERT_TRUE(SocketListener::ListenLocal(directory / "stale").Ok()); }
    EXPECT_TRUE(SocketListener::ListenLocal(directory / "stale").Ok())
        << "a socket file that nobody listens on must be replaced";

    ListenResult live = SocketListener::ListenLocal(directory / "live");
    ASSERT_TRUE(live.Ok());
    ListenResult second = SocketListener::ListenLocal(directory / "live");
    EXPECT_FALSE(second.Ok());
    EXPECT_EQ(second.error, EADDRINUSE);
    EXPECT_TRUE(PipeConnection::Open(directory / "live").Ok())
        << "the live server must keep its socket";

    std::ofstream(directory / "file") << "keep me";
    ListenResult onFile = SocketListener::ListenLocal(directory / "file");
    EXPECT_FALSE(onFile.Ok());
    EXPECT_EQ(onFile.error, EEXIST);
    std::string content;
    std::getline(std::ifstream(directory / "file"), content);
    EXPECT_EQ(content, "keep me");
}
