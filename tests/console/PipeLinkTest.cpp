// The pipe link: what received bytes become on the screen and as repaint
// requests, first through the reader's handling of one read, then with the
// reader on its own thread against a server on a real socket.

#include "ConsoleTestSupport.h"

#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace kestra::console {
namespace {

using namespace kestra::console::consoletest;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

constexpr auto Patience = 5000ms;

// A window that also notes how many changes each request carried: the
// reader posts while it holds the console's lock, so the count is stable.
class CountingWindow : public RecordingWindow {
public:
    CountingWindow(ConsoleRecord& record, Answer answer)
        : RecordingWindow(record, answer), record_(record) {}
    void PostRepaint(RepaintKind kind, std::uint32_t packed) override {
        {
            std::lock_guard guard(mutex_);
            counts_.push_back(record_.dirtyCount);
        }
        RecordingWindow::PostRepaint(kind, packed);
    }
    std::vector<std::uint32_t> Counts() const {
        std::lock_guard guard(mutex_);
        return counts_;
    }

private:
    ConsoleRecord& record_;
    mutable std::mutex mutex_;
    std::vector<std::uint32_t> counts_;
};

// --- The change rectangle and the hooks, driven on the test's thread ---

TEST(ChangeRectangle, ADoubleWidthRowMarksWholeCharacterPairs) {
    struct Case {
        std::uint8_t lineAttribute;
        std::uint32_t column;
        unsigned count;
        int left, right;
    };
    const Case cases[] = {
        {0, 5, 1, 5, 5}, {0, 4, 3, 4, 6}, // single width: the cells
        {1, 5, 1, 4, 5}, {1, 4, 1, 4, 5}, // the pair of column 5 or 4
        {1, 4, 3, 4, 7}, {3, 5, 1, 4, 5}, // across pairs; double height is double width
    };
    for (const Case& c : cases) {
        TestConsole console;
        emulator::ScreenBuffer& screen = console.emulator.screen;
        console.record.dirtyCount = 0;
        screen.lineAttrs[3] = c.lineAttribute;
        screen.row = 3;
        screen.col = c.column;
        screen.hooks.CellsChanged(screen, c.count);
        EXPECT_EQ((PackedRectangle{console.record.dirtyLeft, console.record.dirtyTop,
                                   console.record.dirtyRight, console.record.dirtyBottom}),
                  (PackedRectangle{c.left, 3, c.right, 3}))
            << "line " << int(c.lineAttribute) << " column " << c.column << " count " << c.count;
    }
}

TEST(PipeLinkHooks, ReceivedBytesLoseBitSevenUnlessTheConsoleIsEightBit) {
    for (const bool eightBit : {false, true}) {
        TestConsole console;
        console.record.eightBit = eightBit;
        console.Receive("\xC1");
        EXPECT_EQ(console.Cell(0, 0), eightBit ? 0xC1 : 0x41) << eightBit;
    }
}

// Bytes handled as one read, then the connection runs dry; the requests the
// window saw, in posting order.
TEST(PipeLinkHooks, ReceivedBytesBecomeTheRequestsOfTheirChanges) {
    // clang-format off
    const struct {
        const char* name;
        bool cursorSuppressed;
        std::string bytes;
        Lines expected;
    } cases[] = {
        {"a character and the cursor's old and new cell", false, "A", {"repaint 2 0 0 1 0"}},
        {"CURSOR OFF: only the character",                true,  "A", {"repaint 2 0 0 0 0"}},
        {"a move repaints where it was and where it is",  false, "\x1b[3;5H",
         {"repaint 2 0 0 4 2"}},
        {"CURSOR OFF: a cursor move changes nothing",     true,  "\x1b[3;5H", {}},
        {"a line size change posts its row at once",      true,  "\x1b[2;1H\x1b#6",
         {"repaint 1 0 1 79 1"}},
        // The moved rows, then the row scrolled in is erased: one request.
        {"scrolling up repaints the region",              true,  "\x1b[3;10r\x1b[10;1H\n",
         {"repaint 1 0 2 79 9"}},
        // The switch clears the screen detached; the window repaints on the
        // resize, and the shown cursor's cell makes a full repaint.
        {"a column mode switch with the cursor shown",    false, "\x1b[?3h",
         {"resize 24 132", "resize 24 132", "repaint 0 0 0 0 0", "repaint 2 0 0 0 0"}},
    };
    // clang-format on
    for (const auto& c : cases) {
        TestConsole console(24, c.cursorSuppressed);
        RecordingWindow window(console.record);
        AttachWindow(console.record, window);
        console.record.dirtyCount = 0; // shown by the window's first paint
        console.Receive(c.bytes);
        console.Idle();
        EXPECT_EQ(window.Lines(), c.expected) << c.name;
    }
}

// Text runs, cursor moves, line ends, renditions, line sizes, character
// sets and erases, from a fixed seed.
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
    const struct {
        bool cursorSuppressed;
        bool autowrap;
        std::uint32_t seed;
    } cases[] = {{false, false, 1}, {false, true, 2}, {true, false, 3}, {true, true, 4}};
    for (const auto& c : cases) {
        const std::string bytes = MixedOutput(c.seed, 60000);
        TestConsole runs(24, c.cursorSuppressed);
        TestConsole single(24, c.cursorSuppressed);
        single.emulator.screen.hooks.CellsPrinted = nullptr;
        CountingWindow runsWindow(runs.record, RecordingWindow::Answer::AtOnce);
        CountingWindow singleWindow(single.record, RecordingWindow::Answer::AtOnce);
        AttachWindow(runs.record, runsWindow);
        AttachWindow(single.record, singleWindow);
        for (TestConsole* console : {&runs, &single}) {
            console->emulator.screen.autowrap = c.autowrap ? 1 : 0;
        }
        for (std::size_t start = 0; start < bytes.size(); start += ReceiveBufferSize) {
            runs.Receive(std::string_view(bytes).substr(start, ReceiveBufferSize));
        }
        for (const char byte : bytes) {
            single.Receive(std::string_view(&byte, 1));
        }
        SCOPED_TRACE(c.seed);
        EXPECT_GT(runsWindow.RepaintCount(), 100u);
        EXPECT_EQ(runsWindow.Lines(), singleWindow.Lines());
        EXPECT_EQ(runsWindow.Counts(), singleWindow.Counts());
        EXPECT_EQ(runs.record.dirtyCount, single.record.dirtyCount);
        EXPECT_EQ(runs.record.cursorState, single.record.cursorState);
        EXPECT_EQ(runs.emulator.screen.chars, single.emulator.screen.chars);
        EXPECT_EQ(runs.emulator.screen.attrs, single.emulator.screen.attrs);
    }
}

// --- The reader on its own thread, against a server on a real socket ---

class PipeReaderTest : public ::testing::TestWithParam<Transport> {
protected:
    void SetUp() override {
        ASSERT_TRUE(link.Ok()) << TransportName(GetParam());
        console.record.pipe = std::move(link.client);
        console.record.pipePath = link.path;
    }
    void TearDown() override { TheWindowSide().Reset(); }

    platform::ScopedFatalCapture capture;
    ServerLink link{GetParam()};
    TestConsole console{24, true};
};

// 10,000 bytes in one write: a move to the last column, then characters
// that each change that one cell (the cursor is hidden and stays there).
// Shown every 400 changes and once more when the pipe runs dry.
TEST_P(PipeReaderTest, ABurstIsShownEveryFourHundredChangesEvenToAWindowThatNeverAnswers) {
    const std::string move = "\x1b[1;80H";
    std::vector<std::uint32_t> expected(24, 400);
    expected.push_back(10000 - move.size() - 24 * 400);
    for (const auto answer : {RecordingWindow::Answer::AtOnce, RecordingWindow::Answer::Never}) {
        const bool never = answer == RecordingWindow::Answer::Never;
        TestConsole burst{24, true};
        ServerLink server(GetParam());
        ASSERT_TRUE(server.Ok());
        burst.record.pipe = std::move(server.client);
        CountingWindow window(burst.record, answer);
        AttachWindow(burst.record, window);
        burst.record.dirtyCount = 0;
        ASSERT_TRUE(server.Write(move + std::string(10000 - move.size(), 'A')));
        const auto start = Clock::now();
        ReaderThread reader(burst.record);
        ASSERT_TRUE(window.WaitForRepaints(25, Patience)) << never;
        const long elapsed = MillisecondsSince(start);
        std::this_thread::sleep_for(50ms); // nothing more may come
        reader.Stop();
        EXPECT_EQ(window.Counts(), expected) << never;
        EXPECT_EQ(window.Lines(), Lines(25, "repaint 2 79 0 79 0")) << never;
        if (never) {
            // 24 waits ran out before the last request; each is 20 ms and no
            // more (the margin is for a loaded machine).
            EXPECT_GE(elapsed, 24 * RepaintWaitMs);
            EXPECT_LE(elapsed, 25 * RepaintWaitMs + 1500);
        }
    }
}

TEST_P(PipeReaderTest, BytesWrittenBeforeTheWindowExistsAreShownWhenItArrives) {
    ReaderThread reader(console.record);
    ASSERT_TRUE(link.Write("HELLO\r\nWORLD"));
    ASSERT_TRUE(Eventually([&] { return console.Cell(1, 4) == 'D'; }, Patience));

    RecordingWindow window(console.record);
    AttachWindow(console.record, window);
    ASSERT_TRUE(window.WaitForRepaints(1, Patience));
    reader.Stop();
    const Lines lines = window.Lines();
    ASSERT_EQ(lines.size(), 1u);
    // Both rows (the cursor is hidden).
    EXPECT_EQ(lines[0], "repaint 2 0 0 4 1");
    EXPECT_EQ(console.Cell(0, 0), 'H');
}

// Typing holds the console's lock; a write that fails there ends the program
// through the Fatal Error dialog, under which the console is still painted.
TEST_P(PipeReaderTest, AWriteToAClosedServerLetsGoOfTheLockAndReportsAShutDown) {
    link.server.Close();
    bool paintable = false;
    std::string reported;
    platform::FatalPresenter previous = platform::SetFatalPresenter([&](std::string_view message) {
        std::thread painter([&] {
            paintable = console.record.lock.try_lock();
            if (paintable) {
                console.record.lock.unlock();
            }
        });
        painter.join();
        reported = message;
        throw platform::FatalError(message);
    });
    {
        std::unique_lock typing(console.record.lock);
        // A TCP write may still go out before the server's reset comes back.
        EXPECT_TRUE(Eventually(
            [&] {
                try {
                    WritePipeByte(console.emulator, 'x');
                    return false;
                } catch (const platform::FatalError&) {
                    return true;
                }
            },
            Patience));
    }
    platform::SetFatalPresenter(std::move(previous));
    EXPECT_EQ(reported, "The server for pipe " + link.path + " has shut down");
    EXPECT_TRUE(paintable);
    EXPECT_TRUE(console.record.lock.try_lock()) << "the lock is free after the report";
    console.record.lock.unlock();
}

TEST_P(PipeReaderTest, AnIdleReaderSleepsUntilTheServerWrites) {
    RecordingWindow window(console.record);
    AttachWindow(console.record, window);
    ReaderThread reader(console.record);
    std::this_thread::sleep_for(50ms);

    auto switches = [&] {
        std::ifstream status("/proc/self/task/" + std::to_string(reader.ThreadId()) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0) {
                return std::stol(line.substr(line.find(':') + 1));
            }
        }
        return -1L;
    };
    const long before = switches();
    ASSERT_GE(before, 0);
    std::this_thread::sleep_for(300ms);
    // A reader that polled every 20 ms would have woken about 15 times.
    EXPECT_LE(switches() - before, 2);

    ASSERT_TRUE(link.Write("Z"));
    EXPECT_TRUE(window.WaitForRepaints(1, Patience));
    EXPECT_EQ(console.Cell(0, 0), 'Z');
}

INSTANTIATE_TEST_SUITE_P(Transports, PipeReaderTest,
                         ::testing::Values(Transport::UnixSocket, Transport::Tcp),
                         [](const auto& info) { return std::string(TransportName(info.param)); });

// --- Failures other than a shut-down server ---

// A descriptor that is no socket makes every socket operation fail with
// ENOTSOCK, an error that is not the server going away.
TEST(PipeLinkFailures, OtherErrorsNameTheDirectionTheCodeAndTheSystemText) {
    platform::ScopedFatalCapture capture;
    const std::string error = std::to_string(ENOTSOCK) + ": Socket operation on non-socket";
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    ASSERT_EQ(write(ends[1], "x", 1), 1);
    TestConsole console;
    console.record.pipe = platform::PipeConnection(ends[0]);
    console.record.pipePath = "/run/odd";
    try {
        WritePipeByte(console.emulator, 'x');
        ADD_FAILURE() << "the write should end the program";
    } catch (const platform::FatalError& fatal) {
        EXPECT_EQ(std::string(fatal.message()), "Pipe /run/odd write error " + error);
    }
    EXPECT_EQ(console.record.errorCode, ENOTSOCK);

    ReaderThread reader(console.record);
    EXPECT_EQ(reader.WaitForEnd(Patience), "Pipe /run/odd read error " + error);
    close(ends[1]);
}

} // namespace
} // namespace kestra::console
