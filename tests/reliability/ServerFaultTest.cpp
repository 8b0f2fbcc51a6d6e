// Servers that fail while they send: a console shows every byte that arrived
// before the end, then its reader ends the program with the pipe's message;
// nothing waits for ever.

#include "console/ConsoleTestSupport.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <thread>

namespace kestra::console {
namespace {

using namespace kestra::console::consoletest;
using namespace std::chrono_literals;

constexpr auto Patience = 10000ms;

// Printed cells of one console, counted by wrapping its cell hook; the
// reader is the only thread that prints here.
std::size_t g_printed = 0;
void (*g_cellsChanged)(emulator::ScreenBuffer&, unsigned) = nullptr;
void CountPrinted(emulator::ScreenBuffer& screen, unsigned count) {
    g_printed += count == 1;
    g_cellsChanged(screen, count);
}

TEST(ServerFaults, AServerThatDiesInABurstEndsTheProgramWithThePipesMessage) {
    const struct {
        const char* name;
        Transport transport;
        bool reset;                   // the server's end is torn down (TCP: a reset)
        std::size_t bytesBeforeDeath; // sent in one burst, then the server goes
    } cases[] = {
        {"local socket closed after 1 MB", Transport::UnixSocket, false, 1 << 20},
        {"TCP closed after 1 MB", Transport::Tcp, false, 1 << 20},
        {"TCP reset after 1 MB", Transport::Tcp, true, 1 << 20},
        {"local socket closed before sending", Transport::UnixSocket, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        platform::ScopedFatalCapture capture;
        TestConsole console{24, true};
        // The last column holds every character: nothing scrolls, so the
        // count of printed cells is the count of bytes shown.
        console.Receive("\x1b[1;80H");
        ServerLink link(c.transport);
        ASSERT_TRUE(link.Ok());
        console.record.pipe = std::move(link.client);
        console.record.pipePath = link.path;
        g_printed = 0;
        g_cellsChanged = console.emulator.screen.hooks.CellsChanged;
        console.emulator.screen.hooks.CellsChanged = CountPrinted;

        ReaderThread reader(console.record);
        std::thread server([&] {
            link.Write(std::string(c.bytesBeforeDeath, 'x'));
            if (c.reset) {
                const linger abort{1, 0};
                ::setsockopt(link.server.Descriptor(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            }
            link.server.Close();
        });
        const std::optional<std::string> message = reader.WaitForEnd(Patience);
        server.join();
        ASSERT_TRUE(message.has_value()) << "the reader did not end";
        EXPECT_EQ(*message, "The server for pipe " + link.path + " has shut down");
        if (!c.reset) {
            EXPECT_EQ(g_printed, c.bytesBeforeDeath) << "bytes that arrived were not all shown";
        }
        EXPECT_LE(g_printed, c.bytesBeforeDeath);
    }
}

} // namespace
} // namespace kestra::console
