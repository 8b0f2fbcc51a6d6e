// Server output built to hurt: sequences that never end or carry thousands of
// parameters, and a flood of random bytes through a console's reader. None
// may crash, hang or grow memory, and the terminal still obeys what comes
// after them.

#include "console/ConsoleTestSupport.h"
#include "support/ResidentMemory.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <sys/socket.h>
#include <thread>

namespace kestra::console {
namespace {

using kestra::testing::ResidentKilobytes;

using namespace kestra::console::consoletest;
using namespace std::chrono_literals;

// After any state the stream left: cancel a sequence, leave VT52 mode, go
// back to 80 columns (which ESC c keeps) with origin mode, insert mode and
// the scroll region off and ASCII in G0, reset, and print a word at the top
// left in single width.
const std::string kRecover = "\x18\x1b<\x1b[?3l\x1b[?6l\x1b[4l\x1b[r\x1b(B\x0f\x1b"
                             "c\x1b[H\x1b#5END";

std::string Repeat(std::string_view piece, std::size_t times) {
    std::string text;
    text.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

bool ShowsEnd(TestConsole& console) {
    return console.Cell(0, 0) == 'E' && console.Cell(0, 1) == 'N' && console.Cell(0, 2) == 'D';
}

TEST(HostileStreams, EndlessAndOverlongSequencesAreDroppedAndWhatFollowsIsObeyed) {
    // Parameters beyond what the terminal keeps are dropped; the final byte
    // still ends the sequence. Each case leaves this in cell (1, 0).
    const struct {
        const char* name;
        std::string bytes;
        std::uint16_t cell;
    } cases[] = {
        {"CSI with 10,000 parameters", "\x1b[" + Repeat("9;", 10000) + "m\x1b[2;1HA", 'A'},
        {"a parameter of 10,000 digits", "\x1b[" + std::string(10000, '9') + "B\x1b[2;1HB", 'B'},
        {"CSI that never ends", "\x1b[" + Repeat("1;", 500000), ' '},
        {"ESC that never ends (intermediates)", "\x1b" + std::string(1000000, '#'), ' '},
        {"DEC private that never ends", "\x1b[?" + std::string(1000000, '0'), ' '},
        {"10,000 ESC bytes", std::string(10000, '\x1b') + "[2;1HC", 'C'},
        {"a million control characters", Repeat("\x05\x0e\x0f\x0b\x0c\x08\x09", 150000), ' '},
        {"a million line size switches", Repeat("\x1b#6\x1b#3\x1b#4\x1b#5", 250000), ' '},
        {"a million column switches", Repeat("\x1b[?3h\x1b[?3l", 500000), ' '},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestConsole console;
        const auto start = std::chrono::steady_clock::now();
        console.Receive(c.bytes);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
        const emulator::ScreenBuffer& screen = console.emulator.screen;
        ASSERT_LT(screen.row, screen.rows);
        ASSERT_LT(screen.col, screen.cols);
        EXPECT_EQ(console.Cell(1, 0), c.cell);
        console.Receive(kRecover);
        EXPECT_TRUE(ShowsEnd(console)) << "the terminal no longer obeys";
    }
}

// Random bytes from a server, as fast as the reader takes them, through a
// real socket and the console's reader without a window.
TEST(HostileStreams, AHundredMegabytesOfRandomBytesNeitherCrashNorHangNorGrow) {
#if defined(__SANITIZE_ADDRESS__)
    constexpr std::size_t kBytes = 16u << 20; // the sanitizers make each byte slower
#else
    constexpr std::size_t kBytes = 100u << 20;
#endif
    platform::ScopedFatalCapture capture;
    TestConsole console;
    ServerLink link(Transport::UnixSocket);
    ASSERT_TRUE(link.Ok());
    console.record.pipe = std::move(link.client);
    console.record.pipePath = link.path;
    const std::size_t residentBefore = ResidentKilobytes();

    // The terminal answers what reads as a request; the server takes the
    // answers, or the console would wait for it to read.
    std::thread drain([&] {
        char answers[4096];
        while (::recv(link.server.Descriptor(), answers, sizeof answers, 0) > 0) {
        }
    });
    ReaderThread reader(console.record);
    const auto start = std::chrono::steady_clock::now();
    std::thread server([&] {
        std::mt19937_64 random(20261205);
        std::string chunk(1 << 16, '\0');
        for (std::size_t sent = 0; sent < kBytes; sent += chunk.size()) {
            for (std::size_t i = 0; i < chunk.size(); i += 8) {
                const std::uint64_t value = random();
                std::memcpy(&chunk[i], &value, 8);
            }
            if (!link.Write(chunk)) {
                return;
            }
        }
        link.Write(kRecover);
    });
    const bool ended = Eventually([&] { return ShowsEnd(console); }, 60s);
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    server.join();
    reader.Stop();
    ::shutdown(link.server.Descriptor(), SHUT_RDWR);
    drain.join();
    const std::size_t residentAfter = ResidentKilobytes();

    EXPECT_TRUE(ended) << "the stream's end was never shown";
    EXPECT_LT(residentAfter - std::min(residentAfter, residentBefore), 32u * 1024)
        << "kilobytes grown";
    std::printf("%zu MB of random bytes through the reader in %.1f s (%.1f MB/s); resident %zu "
                "-> %zu KB\n",
                kBytes >> 20, seconds, static_cast<double>(kBytes >> 20) / seconds, residentBefore,
                residentAfter);
}

} // namespace
} // namespace kestra::console
