#include "platform/PipeConnection.h"

#include "platform/SocketListener.h"
#include "platform/SystemError.h"
#include "platform/WakeUpSignal.h"
#include "support/Program.h"

#include <array>
#include <cerrno>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <thread>

using namespace kestra::platform;
using namespace kestra::testing;
using namespace std::chrono_literals;

namespace {

enum class Transport { Unix, Tcp };

// A server and a connected client over one transport, on loopback only.
class Connected : public ::testing::TestWithParam<Transport> {
protected:
    void SetUp() override {
        const bool unix = GetParam() == Transport::Unix;
        ListenResult listening = unix ? SocketListener::ListenLocal(directory_ / "pipe")
                                      : SocketListener::ListenTcp("127.0.0.1", "0");
        ASSERT_TRUE(listening.Ok()) << listening.errorText;
        listener_ = std::move(listening.listener);
        const std::string path =
            unix ? directory_ / "pipe" : "\\\\127.0.0.1\\pipe\\" + std::to_string(listener_.Port());
        PipeOpenResult opened = PipeConnection::Open(path);
        ASSERT_TRUE(opened.Ok()) << path << ": " << opened.errorText;
        client_ = std::move(opened.connection);
        PipeOpenResult accepted = listener_.Accept();
        ASSERT_TRUE(accepted.Ok()) << accepted.errorText;
        server_ = std::move(accepted.connection);
    }

    void ServerSends(std::string_view bytes) {
        ASSERT_EQ(send(server_.Descriptor(), bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }

    TemporaryDirectory directory_;
    SocketListener listener_;
    PipeConnection client_, server_;
};

// One pass through a connection's life: idle waits last their timeout unless
// bytes or a wake-up end them, bytes are counted without being consumed, and
// the server's close is a shut-down once the last byte is read.
TEST_P(Connected, WaitsReadsAndEndsAsTheServerDoes) {
    auto start = Clock::now();
    EXPECT_EQ(client_.WaitReadable(60).result, WaitResult::TimedOut);
    EXPECT_GE(MillisecondsSince(start), 60);
    EXPECT_EQ(client_.BytesAvailable().status, PipeStatus::Ok);
    EXPECT_EQ(client_.BytesAvailable().bytes, 0u) << "an idle open connection has nothing waiting";

    WakeUpSignal wakeUp;
    ASSERT_EQ(wakeUp.CreationError(), 0);
    std::thread raiser([&] {
        std::this_thread::sleep_for(30ms);
        wakeUp.Raise();
    });
    start = Clock::now();
    EXPECT_EQ(client_.WaitReadable(60000, wakeUp.Descriptor()).result, WaitResult::WokenUp);
    EXPECT_LT(MillisecondsSince(start), 30000);
    raiser.join();
    wakeUp.Raise(); // a raised signal stays raised until cleared, however often raised
    EXPECT_EQ(client_.WaitReadable(1000, wakeUp.Descriptor()).result, WaitResult::WokenUp);
    wakeUp.Clear();
    EXPECT_EQ(client_.WaitReadable(20, wakeUp.Descriptor()).result, WaitResult::TimedOut);

    std::thread sender([this] {
        std::this_thread::sleep_for(50ms);
        ServerSends("hello");
    });
    start = Clock::now();
    EXPECT_EQ(client_.WaitReadable(60000).result, WaitResult::Readable);
    EXPECT_LT(MillisecondsSince(start), 30000) << "the wait must end when bytes arrive";
    sender.join();
    wakeUp.Raise(); // bytes win over a raised signal: the reader must not miss them
    EXPECT_EQ(client_.WaitReadable(1000, wakeUp.Descriptor()).result, WaitResult::Readable);
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
    EXPECT_EQ(client_.WaitReadable(60000).result, WaitResult::Readable)
        << "an end of stream must end the wait, not let it run to its limit";
    const PipeOutcome after = client_.BytesAvailable();
    EXPECT_EQ(after.status, PipeStatus::ShutDown);
    EXPECT_EQ(after.error, 0);
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

TEST(PipeConnection, OpenFailuresCarryTheSystemErrorAndAText) {
    TemporaryDirectory directory;
    ASSERT_TRUE(SocketListener::ListenLocal(directory / "stale").Ok()); // nobody listens now
    const int closedPort = SocketListener::ListenTcp("127.0.0.1", "0").listener.Port();
    const std::pair<std::string, int> rows[] = {
        {directory / "missing", ENOENT},
        {directory / "stale", ECONNREFUSED},
        {"\\\\127.0.0.1\\pipe\\" + std::to_string(closedPort), ECONNREFUSED},
        {"/" + std::string(200, 'x'), ENAMETOOLONG},
        {"\\\\127.0.0.1\\pipe\\no-such-service-for-kestra", ENXIO},
    };
    for (const auto& [name, error] : rows) {
        const PipeOpenResult opened = PipeConnection::Open(name);
        EXPECT_FALSE(opened.Ok()) << name;
        EXPECT_EQ(opened.error, error) << name;
        EXPECT_EQ(opened.errorText.empty(), false) << name;
        EXPECT_EQ(opened.errorText,
                  error == ENXIO ? opened.errorText : SystemErrorText(error).value_or("?"))
            << name;
    }
}

TEST(SocketListener, SocketFileIsReplacedOnlyWhenStale) {
    TemporaryDirectory directory;
    ASSERT_TRUE(SocketListener::ListenLocal(directory / "stale").Ok());
    EXPECT_TRUE(SocketListener::ListenLocal(directory / "stale").Ok())
        << "a socket file that nobody listens on must be replaced";

    ListenResult live = SocketListener::ListenLocal(directory / "live");
    ASSERT_TRUE(live.Ok());
    EXPECT_EQ(SocketListener::ListenLocal(directory / "live").error, EADDRINUSE);
    EXPECT_TRUE(PipeConnection::Open(directory / "live").Ok()) << "the live server keeps it";

    std::ofstream(directory / "file") << "keep me";
    EXPECT_EQ(SocketListener::ListenLocal(directory / "file").error, EEXIST);
    std::string content;
    std::getline(std::ifstream(directory / "file"), content);
    EXPECT_EQ(content, "keep me");
}

} // namespace
