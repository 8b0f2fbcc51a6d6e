// Servers that die mid-burst, and output built to hurt: every byte that came is
// shown, then the pipe's message; no crash, hang or growth; what follows is obeyed.

#include "console/ConsoleTestSupport.h"
#include "support/ResidentMemory.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

namespace kestra::console {
namespace {

using namespace consoletest;

// A console that counts its printed cells.
struct CountingRecord : ConsoleRecord {
    void CellsChanged(std::uint32_t row, std::uint32_t column, unsigned count,
                      std::uint8_t attribute) override {
        printed += count == 1;
        ConsoleRecord::CellsChanged(row, column, count, attribute);
    }
    std::atomic<std::size_t> printed{0};
};

TEST(ServerFaults, AServerThatDiesInABurstEndsTheProgramWithThePipesMessage) {
    const struct {
        Transport transport;
        bool reset;                   // torn down (TCP: a reset) rather than closed
        std::size_t bytesBeforeDeath; // one burst, then the server goes
    } cases[] = {{Transport::UnixSocket, false, 1 << 20},
                 {Transport::Tcp, false, 1 << 20},
                 {Transport::Tcp, true, 1 << 20},
                 {Transport::UnixSocket, false, 0},
                 {Transport::Tcp, false, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << int(c.transport) << c.reset << c.bytesBeforeDeath);
        platform::ScopedFatalCapture capture;
        TestConsoleOf<CountingRecord> console{24, true};
        // Every character goes to the last column: nothing scrolls, so the
        // printed cells are the bytes shown.
        console.Receive("\x1b[1;80H");
        ServerLink link(c.transport, console.record);
        ASSERT_TRUE(link.ok);
        console.record.printed = 0;
        ConsoleThread reader(console.record);
        std::thread server([&] {
            link.Write(std::string(c.bytesBeforeDeath, 'x'));
            const linger abort{1, 0};
            if (c.reset) {
                ::setsockopt(link.server.Descriptor(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            }
            link.server.Close();
        });
        const std::optional<std::string> message = reader.WaitForEnd(10s);
        server.join();
        ASSERT_TRUE(message.has_value()) << "the reader did not end";
        EXPECT_EQ(*message, "The server for pipe " + console.record.pipePath + " has shut down");
        const std::size_t shown = console.record.printed;
        EXPECT_TRUE(c.reset ? shown <= c.bytesBeforeDeath : shown == c.bytesBeforeDeath)
            << shown << " cells shown";
    }
}

// After any state the stream left: cancel a sequence, leave VT52 mode, go
// back to 80 columns with origin mode, insert mode and the scroll region off
// and ASCII in G0, reset, and print a word at the top left in single width.
const std::string kRecover = "\x18\x1b<\x1b[?3l\x1b[?6l\x1b[4l\x1b[r\x1b(B\x0f\x1b"
                             "c\x1b[H\x1b#5END";

std::string Repeat(std::string_view piece, std::size_t times) {
    std::string text;
    while (times-- > 0) {
        text += piece;
    }
    return text;
}

bool ShowsEnd(TestConsole& console) {
    return console.Cell(0, 0) == 'E' && console.Cell(0, 1) == 'N' && console.Cell(0, 2) == 'D';
}

TEST(HostileStreams, EndlessAndOverlongSequencesAreDroppedAndWhatFollowsIsObeyed) {
    // Parameters beyond those kept are dropped; the final byte still ends the
    // sequence. Each case leaves `cell` at row 1, column 0.
    const struct {
        std::string bytes;
        std::uint16_t cell;
    } cases[] = {
        {"\x1b[" + Repeat("9;", 10000) + "m\x1b[2;1HA", 'A'},
        {"\x1b[" + std::string(10000, '9') + "B\x1b[2;1HB", 'B'},
        {"\x1b[" + Repeat("1;", 500000), ' '},       // CSI that never ends
        {"\x1b" + std::string(1000000, '#'), ' '},   // ESC that never ends
        {"\x1b[?" + std::string(1000000, '0'), ' '}, // DEC private that never ends
        {std::string(10000, '\x1b') + "[2;1HC", 'C'},
        {Repeat("\x05\x0e\x0f\x0b\x0c\x08\x09", 150000), ' '},
        {Repeat("\x1b#6\x1b#3\x1b#4\x1b#5", 250000), ' '}, // line sizes
        {Repeat("\x1b[?3h\x1b[?3l", 500000), ' '},         // columns
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 12));
        TestConsole console;
        console.Receive(c.bytes);
        ASSERT_LT(console.emulator.screen.row, console.emulator.screen.rows);
        ASSERT_LT(console.emulator.screen.col, console.emulator.screen.cols);
        EXPECT_EQ(console.Cell(1, 0), c.cell);
        console.Receive(kRecover);
        EXPECT_TRUE(ShowsEnd(console)) << "the terminal no longer obeys";
    }
}

// Random bytes from a server as fast as the reader takes them, through a
// real socket and the console's reader without a window.
TEST(HostileStreams, AHundredMegabytesOfRandomBytesNeitherCrashNorHangNorGrow) {
#if defined(__SANITIZE_ADDRESS__)
    constexpr std::size_t kBytes = 16u << 20; // the sanitizers make each byte slower
#else
    constexpr std::size_t kBytes = 100u << 20;
#endif
    platform::ScopedFatalCapture capture;
    TestConsole console;
    ServerLink link(Transport::UnixSocket, console.record);
    ASSERT_TRUE(link.ok);
    const std::size_t residentBefore = kestra::testing::ResidentKilobytes();
    // The terminal answers what reads as a request: the server takes it in.
    std::thread drain([&] {
        for (char answers[4096]; ::recv(link.server.Descriptor(), answers, 4096, 0) > 0;) {
        }
    });
    ConsoleThread reader(console.record);
    std::thread server([&] {
        std::mt19937 random(20261205);
        std::string chunk(1 << 16, '\0');
        for (std::size_t sent = 0; sent < kBytes; sent += chunk.size()) {
            std::generate(chunk.begin(), chunk.end(), [&] { return char(random()); });
            link.Write(chunk); // fails at once if the reader is gone
        }
        link.Write(kRecover);
    });
    EXPECT_TRUE(Eventually([&] { return ShowsEnd(console); }, 90s)) << "the end was never shown";
    server.join();
    reader.Stop();
    ::shutdown(link.server.Descriptor(), SHUT_RDWR);
    drain.join();
    const std::size_t residentAfter = kestra::testing::ResidentKilobytes();
    EXPECT_LT(residentAfter - std::min(residentAfter, residentBefore), 32u * 1024) << "KB grown";
}

} // namespace
} // namespace kestra::console
