// The pipe link: what received bytes become on the screen and as repaint
// requests, first with each read handed over on the test's thread, then with
// the reader on its own thread against a server on a real socket.

#include "ConsoleTestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>

namespace kestra::console {
namespace {

using namespace consoletest;
using Lines = std::vector<std::string>;
using Answer = RecordingWindow::Answer;

// Also notes the change count each request carried (posted under the lock;
// read on the reader's thread or once it has stopped).
struct CountingWindow : RecordingWindow {
    CountingWindow(ConsoleRecord& r, Answer answer) : RecordingWindow(r, answer), record(r) {
        AttachWindow(r, *this);
    }
    void PostRepaint(RepaintKind kind, std::uint32_t packed) override {
        counts.push_back(record.dirtyCount);
        RecordingWindow::PostRepaint(kind, packed);
    }
    ConsoleRecord& record;
    std::vector<std::uint32_t> counts;
};

TEST(PipeLinkHooks, ChangesInADoubleWidthRowCoverWholePairsAndBytesLoseBitSeven) {
    // line attribute, column, count; left and right of the change
    const std::uint32_t cases[][5] = {{0, 5, 1, 5, 5}, {0, 4, 3, 4, 6}, {1, 5, 1, 4, 5},
                                      {1, 4, 1, 4, 5}, {1, 4, 3, 4, 7}, {3, 5, 1, 4, 5}};
    for (const auto& c : cases) {
        TestConsole console;
        emulator::ScreenBuffer& screen = console.emulator.screen;
        console.record.dirtyCount = 0;
        screen.lineAttrs[3] = std::uint8_t(c[0]);
        screen.row = 3;
        screen.col = c[1];
        screen.hooks.CellsChanged(screen, c[2]);
        const ConsoleRecord& r = console.record;
        EXPECT_EQ((std::vector<int>{r.dirtyLeft, r.dirtyTop, r.dirtyRight, r.dirtyBottom}),
                  (std::vector<int>{int(c[3]), 3, int(c[4]), 3}))
            << c[0] << " " << c[1] << " " << c[2];
    }
    for (const bool eightBit : {false, true}) {
        TestConsole console;
        console.record.eightBit = eightBit;
        console.Receive("\xC1");
        EXPECT_EQ(console.Cell(0, 0), eightBit ? 0xC1 : 0x41);
    }
}

// Bytes handled as one read, then the connection runs dry: the requests the
// window saw, in posting order.
TEST(PipeLinkHooks, ReceivedBytesBecomeTheRequestsOfTheirChanges) {
    const struct {
        bool cursorSuppressed;
        std::string bytes;
        Lines expected;
    } cases[] = {
        {false, "A", {"repaint 2 0 0 1 0"}}, // the character, the cursor's old and new cell
        {true, "A", {"repaint 2 0 0 0 0"}},
        {false, "\x1b[3;5H", {"repaint 2 0 0 4 2"}},
        {true, "\x1b[3;5H", {}},
        {true, "\x1b[2;1H\x1b#6", {"repaint 1 0 1 79 1"}},        // a line size, at once
        {true, "\x1b[3;10r\x1b[10;1H\n", {"repaint 1 0 2 79 9"}}, // the scrolled region
        {false,
         "\x1b[?3h",
         {"resize 24 132", "resize 24 132", "repaint 0 0 0 0 0", "repaint 2 0 0 0 0"}},
    };
    for (const auto& c : cases) {
        TestConsole console(24, c.cursorSuppressed);
        RecordingWindow window(console.record);
        AttachWindow(console.record, window);
        console.record.dirtyCount = 0; // shown by the window's first paint
        console.Receive(c.bytes);
        std::unique_lock held(console.record.lock);
        RepaintWhenIdle(console.record, held);
        EXPECT_EQ(window.Lines(), c.expected) << c.bytes;
    }
}

// Text runs, cursor moves, line ends, renditions, line sizes, character sets
// and erases, from a fixed seed.
std::string MixedOutput(std::uint32_t seed, std::size_t size) {
    std::string out;
    auto next = [&seed](std::uint32_t range) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % range;
    };
    while (out.size() < size) {
        switch (next(8)) {
        case 0:
            out += "\x1b[" + std::to_string(next(26)) + ";" + std::to_string(next(84)) + "H";
            break;
        case 1: out += "\r\n"; break;
        case 2: out += "\x1b[" + std::to_string(next(8)) + "m"; break;
        case 3: out += next(4) == 0 ? "\x1b#6" : next(2) ? "\x0e" : "\x0f"; break;
        case 4: out += next(2) ? "\x1b[K" : "\x1b#5"; break;
        default:
            for (std::uint32_t n = next(90); n > 0; --n) {
                out += static_cast<char>(' ' + next(95));
            }
        }
    }
    return out;
}

// The console takes text in runs; the same bytes handed over one at a time,
// each character reported by itself, must give the same requests with the
// same counts, the same screen and the same cursor.
TEST(PipeLinkHooks, RunsOfTextCountTheChangesOfTheirCharacters) {
    for (const std::uint32_t seed : {0u, 1u, 2u, 3u}) {
        const std::string bytes = MixedOutput(seed + 1, 60000);
        TestConsole runs(24, seed & 2), single(24, seed & 2);
        single.emulator.screen.hooks.CellsPrinted = nullptr;
        CountingWindow runsWindow(runs.record, Answer::AtOnce);
        CountingWindow singleWindow(single.record, Answer::AtOnce);
        runs.emulator.screen.autowrap = single.emulator.screen.autowrap = seed & 1;
        for (std::size_t start = 0; start < bytes.size(); start += ReceiveBufferSize) {
            runs.Receive(std::string_view(bytes).substr(start, ReceiveBufferSize));
        }
        for (const char byte : bytes) {
            single.Receive(std::string_view(&byte, 1));
        }
        SCOPED_TRACE(seed);
        EXPECT_GT(runsWindow.RepaintCount(), 100u);
        EXPECT_EQ(runsWindow.Lines(), singleWindow.Lines());
        EXPECT_EQ(runsWindow.counts, singleWindow.counts);
        EXPECT_EQ(runs.record.dirtyCount, single.record.dirtyCount);
        EXPECT_EQ(runs.record.cursorState, single.record.cursorState);
        EXPECT_EQ(runs.emulator.screen.chars, single.emulator.screen.chars);
        EXPECT_EQ(runs.emulator.screen.attrs, single.emulator.screen.attrs);
    }
}

// 10,000 bytes in one write: a move to the last column, then characters that
// each change that one cell (the cursor is hidden). Shown every 400 changes
// and once more when the pipe runs dry, also to a window that never answers.
TEST(PipeReader, ABurstIsShownEveryFourHundredChanges) {
    const std::string move = "\x1b[1;80H";
    std::vector<std::uint32_t> expected(24, 400);
    expected.push_back(10000 - move.size() - 24 * 400);
    for (const Transport transport : {Transport::UnixSocket, Transport::Tcp}) {
        for (const Answer answer : {Answer::AtOnce, Answer::Never}) {
            SCOPED_TRACE(::testing::Message() << int(transport) << int(answer));
            TestConsole console{24, true};
            ServerLink link(transport, console.record);
            ASSERT_TRUE(link.ok);
            CountingWindow window(console.record, answer);
            console.record.dirtyCount = 0;
            ASSERT_TRUE(link.Write(move + std::string(10000 - move.size(), 'A')));
            const auto start = Clock::now();
            ReaderThread reader(console.record);
            ASSERT_TRUE(window.WaitForRepaints(25, 5000ms));
            const long elapsed = MillisecondsSince(start);
            std::this_thread::sleep_for(50ms); // nothing more may come
            reader.Stop();
            EXPECT_EQ(window.counts, expected);
            EXPECT_EQ(window.Lines(), Lines(25, "repaint 2 79 0 79 0"));
            EXPECT_GE(elapsed, answer == Answer::Never ? 24 * RepaintWaitMs : 0) << "each wait";
        }
    }
}

// Bytes that come before the window are shown when it arrives, and what the
// server writes later wakes the idle reader.
TEST(PipeReader, AnIdleReaderWakesForANewWindowAndForTheServer) {
    for (const Transport transport : {Transport::UnixSocket, Transport::Tcp}) {
        platform::ScopedFatalCapture capture;
        TestConsole console{24, true};
        ServerLink link(transport, console.record);
        ASSERT_TRUE(link.ok);
        RecordingWindow window(console.record);
        ReaderThread reader(console.record);
        ASSERT_TRUE(link.Write("HELLO\r\nWORLD"));
        ASSERT_TRUE(Eventually([&] { return console.Cell(1, 4) == 'D'; }, 5000ms));
        AttachWindow(console.record, window);
        ASSERT_TRUE(window.WaitForRepaints(1, 5000ms));
        ASSERT_TRUE(link.Write("Z"));
        EXPECT_TRUE(window.WaitForRepaints(2, 5000ms));
        EXPECT_EQ(window.Lines(), (Lines{"repaint 2 0 0 4 1", "repaint 2 5 1 5 1"}));
    }
}

// A write that fails while typing holds the console's lock ends the program
// through the Fatal Error dialog, under which the console is still painted;
// the reader ends with its own message. A server that went away is a shut
// down; a descriptor that is no socket fails with another error (ENOTSOCK).
TEST(PipeReader, AFailedConnectionEndsTheProgramWithTheLockFreeAndThePipesMessage) {
    const std::string notSocket = std::to_string(ENOTSOCK) + ": Socket operation on non-socket";
    for (const int kind : {0, 1, 2}) {
        platform::ScopedFatalCapture capture;
        TestConsole console{24, true};
        std::optional<ServerLink> link;
        int ends[2] = {-1, -1};
        if (kind < 2) {
            link.emplace(kind == 0 ? Transport::UnixSocket : Transport::Tcp, console.record);
            link->server.Close();
        } else {
            ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
            ASSERT_EQ(write(ends[1], "x", 1), 1);
            console.record.pipe = platform::PipeConnection(ends[0]);
            console.record.pipePath = "/run/odd";
        }
        bool paintable = false;
        std::string reported;
        auto previous = platform::SetFatalPresenter([&](std::string_view message) {
            std::thread([&] {
                if ((paintable = console.record.lock.try_lock())) {
                    console.record.lock.unlock();
                }
            }).join();
            reported = message;
            throw platform::FatalError(message);
        });
        const auto typed = [&] { // a TCP write may go out before the server's reset is back
            try {
                WritePipeByte(console.emulator, 'x');
            } catch (const platform::FatalError&) {
            }
            return !reported.empty();
        };
        {
            std::unique_lock typing(console.record.lock);
            EXPECT_TRUE(Eventually(typed, 5000ms));
        }
        platform::SetFatalPresenter(std::move(previous));
        EXPECT_EQ(reported,
                  kind < 2 ? "The server for pipe " + console.record.pipePath + " has shut down"
                           : "Pipe /run/odd write error " + notSocket);
        EXPECT_TRUE(paintable);
        EXPECT_TRUE(console.record.lock.try_lock()) << "the lock is free after the report";
        console.record.lock.unlock();
        if (kind == 2) {
            EXPECT_EQ(console.record.errorCode, ENOTSOCK);
            EXPECT_EQ(ReaderThread(console.record).WaitForEnd(5000ms),
                      "Pipe /run/odd read error " + notSocket);
            close(ends[1]);
        }
    }
}

} // namespace
} // namespace kestra::console
