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

TEST(ChangeRectangle, GrowsToCoverEveryRangeAndStartsAfreshAfterARequest) {
    struct Range {
        int left, top, right, bottom;
    };
    struct Case {
        const char* name;
        std::vector<Range> before; // added, then a request is posted
        std::vector<Range> after;
        PackedRectangle expected;
        std::uint32_t count;
    };
    const Case cases[] = {
        {"one cell", {}, {{5, 3, 5, 3}}, {5, 3, 5, 3}, 1},
        {"grows left and down", {}, {{5, 3, 5, 3}, {2, 7, 4, 7}}, {2, 3, 5, 7}, 2},
        {"grows right and up", {}, {{5, 3, 5, 3}, {6, 1, 9, 1}}, {5, 1, 9, 3}, 2},
        {"inside adds to the count only", {}, {{0, 0, 79, 23}, {4, 4, 5, 4}}, {0, 0, 79, 23}, 2},
        {"after a request", {{0, 0, 79, 23}}, {{7, 8, 7, 8}}, {7, 8, 7, 8}, 1},
    };
    for (const Case& c : cases) {
        TestConsole console;
        RecordingWindow window(console.record);
        AttachWindow(console.record, window);
        console.record.dirtyCount = 0;
        for (const Range& r : c.before) {
            AddChange(console.record, r.left, r.top, r.right, r.bottom);
        }
        PostRepaintRequest(console.record, RepaintKind::Collected);
        for (const Range& r : c.after) {
            AddChange(console.record, r.left, r.top, r.right, r.bottom);
        }
        const ConsoleRecord& record = console.record;
        EXPECT_EQ((PackedRectangle{record.dirtyLeft, record.dirtyTop, record.dirtyRight,
                                   record.dirtyBottom}),
                  c.expected)
            << c.name;
        EXPECT_EQ(record.dirtyCount, c.count) << c.name;
    }
}

TEST(ChangeRectangle, ADoubleWidthRowMarksWholeCharacterPairs) {
    struct Case {
        std::uint8_t lineAttribute;
        std::uint32_t column;
        unsigned count;
        int left, right;
    };
    const Case cases[] = {
        {0, 5, 1, 5, 5}, {0, 4, 3, 4, 6},                  // single width: the cells
        {1, 5, 1, 4, 5}, {1, 4, 1, 4, 5}, {1, 4, 2, 4, 5}, // the pair of column 5 or 4
        {1, 7, 1, 6, 7}, {1, 6, 2, 6, 7}, {1, 4, 3, 4, 7}, // right halves, across pairs
        {2, 5, 1, 4, 5}, {3, 5, 1, 4, 5},                  // double height is double width
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

TEST(ChangeRectangle, TheCursorCellOfADoubleWidthRowIsItsPair) {
    struct Case {
        bool doubleWidth;
        std::uint32_t column;
        int left, right;
    };
    const Case cases[] = {{false, 5, 5, 5}, {true, 5, 4, 5}, {true, 4, 4, 5}, {true, 0, 0, 1}};
    for (const Case& c : cases) {
        TestConsole console;
        emulator::ScreenBuffer& screen = console.emulator.screen;
        console.record.cursorState = PackCursor(0, {c.doubleWidth, 2, c.column}); // hidden
        console.record.dirtyCount = 0;
        screen.hooks.CursorVisibility(screen, 1);
        EXPECT_EQ(CursorVisibleByte(console.record.cursorState), 1u);
        EXPECT_EQ((PackedRectangle{console.record.dirtyLeft, console.record.dirtyTop,
                                   console.record.dirtyRight, console.record.dirtyBottom}),
                  (PackedRectangle{c.left, 2, c.right, 2}))
            << c.column;
    }
}

// A cursor move adds the old cursor cell and then the new one: two changes,
// whether the rectangle was empty or not, and nothing while the cursor is
// hidden.
TEST(ChangeRectangle, ACursorMoveAddsTheOldCellThenTheNewOne) {
    struct Cell {
        bool doubleWidth;
        std::uint32_t row, column;
    };
    struct Case {
        const char* name;
        bool shown;
        Cell from, to;
        std::vector<PackedRectangle> before; // already collected
        PackedRectangle expected;
        std::uint32_t count;
    };
    const Case cases[] = {
        {"right along a row", true, {false, 4, 10}, {false, 4, 11}, {}, {10, 4, 11, 4}, 2},
        {"left and up", true, {false, 9, 30}, {false, 2, 5}, {}, {5, 2, 30, 9}, 2},
        {"right and down", true, {false, 2, 5}, {false, 9, 30}, {}, {5, 2, 30, 9}, 2},
        {"from a pair", true, {true, 3, 7}, {false, 3, 9}, {}, {6, 3, 9, 3}, 2},
        {"onto a pair", true, {false, 3, 2}, {true, 5, 9}, {}, {2, 3, 9, 5}, 2},
        {"grows a rectangle",
         true,
         {false, 4, 10},
         {false, 4, 11},
         {{12, 1, 20, 2}},
         {10, 1, 20, 4},
         3},
        {"inside a rectangle",
         true,
         {false, 4, 10},
         {false, 4, 11},
         {{0, 0, 79, 23}},
         {0, 0, 79, 23},
         3},
        {"hidden", false, {false, 4, 10}, {false, 4, 11}, {{12, 1, 20, 2}}, {12, 1, 20, 2}, 1},
    };
    for (const Case& c : cases) {
        TestConsole console;
        emulator::ScreenBuffer& screen = console.emulator.screen;
        ConsoleRecord& record = console.record;
        record.cursorState =
            PackCursor(c.shown ? 1 : 0, {c.from.doubleWidth, c.from.row, c.from.column});
        record.dirtyCount = 0;
        for (const PackedRectangle& r : c.before) {
            AddChange(record, r.left, r.top, r.right, r.bottom);
        }
        screen.lineAttrs[c.to.row] = c.to.doubleWidth ? emulator::LineDoubleWidth : 0;
        screen.shownRow = c.to.row;
        screen.shownCol = c.to.column;
        screen.hooks.CursorMoved(screen);
        EXPECT_EQ(UnpackCursor(record.cursorState),
                  (CursorCell{c.to.doubleWidth, c.to.row, c.to.column}))
            << c.name;
        EXPECT_EQ(CursorVisibleByte(record.cursorState), c.shown ? 1u : 0u) << c.name;
        if (record.dirtyCount != 0) {
            EXPECT_EQ((PackedRectangle{record.dirtyLeft, record.dirtyTop, record.dirtyRight,
                                       record.dirtyBottom}),
                      c.expected)
                << c.name;
        }
        EXPECT_EQ(record.dirtyCount, c.count) << c.name;
    }
}

// Bytes handled as one read, then the connection runs dry; the requests the
// window saw, in posting order.
TEST(PipeLinkHooks, ReceivedBytesBecomeTheRequestsOfTheirChanges) {
    struct Case {
        const char* name;
        bool cursorSuppressed;
        std::string bytes;
        Lines expected;
    };
    const Case cases[] = {
        {"printed character and the cursor's old and new cell", false, "A", {"repaint 2 0 0 1 0"}},
        {"CURSOR OFF: only the character", true, "A", {"repaint 2 0 0 0 0"}},
        {"a cursor move repaints where it was and where it is",
         false,
         "\x1b[3;5H",
         {"repaint 2 0 0 4 2"}},
        {"CURSOR OFF: a cursor move changes nothing", true, "\x1b[3;5H", {}},
        {"a line size change posts its row at once",
         true,
         "\x1b[2;1H\x1b#6",
         {"repaint 1 0 1 79 1"}},
        // The moved rows, then the row scrolled in is erased: one request.
        {"scrolling up repaints the region and flushes",
         true,
         "\x1b[3;10r\x1b[10;1H\n",
         {"repaint 1 0 2 79 9"}},
        {"scrolling down repaints the region and flushes",
         true,
         "\x1b[3;10r\x1b[3;1H\x1bM",
         {"repaint 1 0 2 79 9"}},
        {"scrolling outside a region keeps to the region",
         true,
         "\x1b[5;8r\x1b[8;1H\n\n",
         {"repaint 1 0 4 79 7", "repaint 1 0 4 79 7"}},
        // The switch clears the screen detached; the window repaints on the
        // resize. With the cursor shown, its cell makes a full repaint.
        {"CURSOR OFF: a column mode switch is a resize",
         true,
         "\x1b[?3h",
         {"resize 24 132", "resize 24 132"}},
        {"a column mode switch with the cursor shown",
         false,
         "\x1b[?3h",
         {"resize 24 132", "resize 24 132", "repaint 0 0 0 0 0", "repaint 2 0 0 0 0"}},
    };
    for (const Case& c : cases) {
        TestConsole console(24, c.cursorSuppressed);
        RecordingWindow window(console.record);
        AttachWindow(console.record, window);
        console.record.dirtyCount = 0; // shown by the window's first paint
        console.Receive(c.bytes);
        console.Idle();
        EXPECT_EQ(window.Lines(), c.expected) << c.name;
    }
}

TEST(PipeLinkHooks, CursorOffKeepsTheCursorHiddenWhenTheEmulatorShowsIt) {
    for (bool suppressed : {false, true}) {
        TestConsole console(24, suppressed);
        emulator::ScreenBuffer& screen = console.emulator.screen;
        std::lock_guard held(console.record.lock);
        screen.HideCursor();
        screen.ShowCursor();
        EXPECT_EQ(CursorVisibleByte(console.record.cursorState), suppressed ? 0u : 1u);
    }
}

TEST(PipeLinkHooks, WithoutAWindowChangesAreOnlyCollected) {
    TestConsole console(24, true);
    console.record.dirtyCount = 0;
    console.Receive("AB\x1b#6\x1b[?3h");
    EXPECT_FALSE(console.Idle());
    EXPECT_GT(console.record.dirtyCount, 0u);

    RecordingWindow window(console.record);
    AttachWindow(console.record, window);
    EXPECT_TRUE(console.Idle());
    ASSERT_EQ(window.Lines().size(), 1u);
    EXPECT_EQ(window.Lines()[0].substr(0, 9), "repaint 2");
    EXPECT_FALSE(console.Idle()) << "everything collected was asked for once";
}

TEST(PipeLinkHooks, EveryFourHundredChangesAskForARepaint) {
    // One change per byte: the cursor is hidden and stays in the last column.
    TestConsole console(24, true);
    CountingWindow window(console.record, RecordingWindow::Answer::AtOnce);
    AttachWindow(console.record, window);
    console.record.dirtyCount = 0;
    console.Receive("\x1b[1;80H" + std::string(999, 'A'));
    EXPECT_EQ(window.Counts(), (std::vector<std::uint32_t>{400, 400}));
    console.Idle();
    EXPECT_EQ(window.Counts(), (std::vector<std::uint32_t>{400, 400, 199}));
    EXPECT_EQ(window.Lines(), Lines(3, "repaint 2 79 0 79 0"));
}

TEST(PipeLinkHooks, TheBellBeepsOnlyWhenBeepOnBellIsOn) {
    for (bool on : {true, false}) {
        RecordingFrame frame;
        TheWindowSide().SetBeeps(on, !on);
        TestConsole console;
        console.Receive("\a\a");
        EXPECT_EQ(frame.Beeps(), on ? 2 : 0) << on;
        TheWindowSide().Reset();
    }
}

TEST(PipeLinkHooks, RectangleEdgesArePackedOneBytePerEdge) {
    struct Case {
        int left, top, right, bottom;
        std::uint32_t packed;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 0x00000000},
        {1, 2, 3, 4, 0x01020304},
        {0, 0, 131, 253, 0x000083FD},
        {256 + 7, 0, 0, 0, 0x07000000}, // cut to the low byte
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PackRectangle(c.left, c.top, c.right, c.bottom), c.packed) << c.packed;
        const PackedRectangle back = UnpackRectangle(c.packed);
        EXPECT_EQ(PackRectangle(back.left, back.top, back.right, back.bottom), c.packed);
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

TEST_P(PipeReaderTest, ABurstIsShownEveryFourHundredChangesAndWhenThePipeRunsDry) {
    CountingWindow window(console.record, RecordingWindow::Answer::AtOnce);
    AttachWindow(console.record, window);
    console.record.dirtyCount = 0;
    // 10,000 bytes in one write: a move to the last column, then characters
    // that each change that one cell (the cursor is hidden and stays there).
    const std::string move = "\x1b[1;80H";
    ASSERT_TRUE(link.Write(move + std::string(10000 - move.size(), 'A')));
    ReaderThread reader(console.record);
    ASSERT_TRUE(window.WaitForRepaints(25, Patience));
    std::this_thread::sleep_for(50ms); // nothing more may come
    reader.Stop();

    std::vector<std::uint32_t> expected(24, 400);
    expected.push_back(10000 - move.size() - 24 * 400);
    EXPECT_EQ(window.Counts(), expected);
    EXPECT_EQ(window.Lines(), Lines(25, "repaint 2 79 0 79 0"));
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

TEST_P(PipeReaderTest, ReceivedBytesLoseBitSevenUnlessTheConsoleIsEightBit) {
    struct Case {
        bool eightBit;
        std::uint16_t expected;
    };
    for (const Case c : {Case{false, 0x41}, Case{true, 0xC1}}) {
        TestConsole fresh{24, true};
        ServerLink server(GetParam());
        ASSERT_TRUE(server.Ok());
        fresh.record.pipe = std::move(server.client);
        fresh.record.eightBit = c.eightBit;
        ReaderThread reader(fresh.record);
        ASSERT_TRUE(server.Write("\xC1\xC2"));
        ASSERT_TRUE(Eventually([&] { return fresh.Cell(0, 1) != ' '; }, Patience));
        EXPECT_EQ(fresh.Cell(0, 0), c.expected) << c.eightBit;
        EXPECT_EQ(fresh.Cell(0, 1), c.expected + 1) << c.eightBit;
    }
}

TEST_P(PipeReaderTest, AServerThatClosesEndsTheProgramNamingThePipe) {
    ReaderThread reader(console.record);
    ASSERT_TRUE(link.Write("bye"));
    link.server.Close();
    const std::optional<std::string> message = reader.WaitForEnd(Patience);
    ASSERT_TRUE(message.has_value()) << "the reader should end";
    EXPECT_EQ(*message, "The server for pipe " + link.path + " has shut down");
    EXPECT_EQ(console.Cell(0, 2), 'e') << "what came before the end is shown";
}

TEST_P(PipeReaderTest, AWriteToAClosedServerEndsTheProgramAsAShutDown) {
    link.server.Close();
    console.emulator.console = &console.record;
    EXPECT_TRUE(Eventually(
        [&] {
            try {
                WritePipeByte(console.emulator, 'x');
                return false;
            } catch (const platform::FatalError& error) {
                EXPECT_EQ(std::string(error.message()),
                          "The server for pipe " + link.path + " has shut down");
                return true;
            }
        },
        Patience));
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

TEST_P(PipeReaderTest, ChangesMadeOnTheWindowThreadAreShownByTheIdleReader) {
    RecordingWindow window(console.record);
    AttachWindow(console.record, window);
    console.record.dirtyCount = 0;
    ReaderThread reader(console.record);
    std::this_thread::sleep_for(50ms); // idle, blocked
    {
        // What typing with local echo or a Reset does to the screen.
        std::lock_guard typing(console.record.lock);
        console.emulator.screen.MoveCursor(3, 7);
        console.emulator.screen.PutChar('Q');
    }
    ASSERT_TRUE(window.WaitForRepaints(1, Patience));
    EXPECT_EQ(window.Lines(), Lines{"repaint 2 7 3 7 3"});
}

TEST_P(PipeReaderTest, AWindowThatNeverAnswersCostsAtMostTwentyMillisecondsPerRequest) {
    CountingWindow window(console.record, RecordingWindow::Answer::Never);
    AttachWindow(console.record, window);
    console.record.dirtyCount = 0;
    const std::string move = "\x1b[1;80H";
    ASSERT_TRUE(link.Write(move + std::string(10000 - move.size(), 'A')));
    const auto start = Clock::now();
    ReaderThread reader(console.record);
    ASSERT_TRUE(window.WaitForRepaints(25, Patience));
    const long elapsed = MillisecondsSince(start);
    reader.Stop();
    // 24 waits ran out before the last request; each is 20 ms and no more
    // (the margin is for a loaded machine).
    EXPECT_GE(elapsed, 24 * RepaintWaitMs);
    EXPECT_LE(elapsed, 25 * RepaintWaitMs + 1500);
    EXPECT_EQ(window.Counts().size(), 25u);
}

INSTANTIATE_TEST_SUITE_P(Transports, PipeReaderTest,
                         ::testing::Values(Transport::UnixSocket, Transport::Tcp),
                         [](const auto& info) { return std::string(TransportName(info.param)); });

// --- Failures other than a shut-down server ---

// A descriptor that is no socket makes every socket operation fail with
// ENOTSOCK, an error that is not the server going away.
struct NotASocket {
    NotASocket() {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) == 0) {
            readEnd = ends[0];
            writeEnd = ends[1];
        }
    }
    ~NotASocket() {
        if (writeEnd >= 0) {
            close(writeEnd);
        }
    }
    int readEnd = -1;
    int writeEnd = -1;
};

TEST(PipeLinkFailures, OtherErrorsNameTheDirectionTheCodeAndTheSystemText) {
    platform::ScopedFatalCapture capture;
    const std::string text = "Socket operation on non-socket";
    const std::string code = std::to_string(ENOTSOCK);
    {
        TestConsole console;
        NotASocket descriptor;
        ASSERT_GE(descriptor.readEnd, 0);
        console.record.pipe = platform::PipeConnection(descriptor.readEnd);
        console.record.pipePath = "\\\\.\\pipe\\odd";
        ASSERT_EQ(write(descriptor.writeEnd, "x", 1), 1);
        ReaderThread reader(console.record);
        const std::optional<std::string> message = reader.WaitForEnd(Patience);
        ASSERT_TRUE(message.has_value());
        EXPECT_EQ(*message, "Pipe \\\\.\\pipe\\odd read error " + code + ": " + text);
        EXPECT_EQ(console.record.errorCode, ENOTSOCK);
    }
    {
        TestConsole console;
        NotASocket descriptor;
        console.record.pipe = platform::PipeConnection(descriptor.readEnd);
        console.record.pipePath = "/run/odd";
        try {
            WritePipeByte(console.emulator, 'x');
            ADD_FAILURE() << "the write should end the program";
        } catch (const platform::FatalError& error) {
            EXPECT_EQ(std::string(error.message()),
                      "Pipe /run/odd write error " + code + ": " + text);
        }
        EXPECT_EQ(console.record.errorCode, ENOTSOCK);
    }
}

TEST(PipeLinkFailures, WritingWithoutAPipeBeepsWhenBeepOnErrorIsOn) {
    for (bool on : {true, false}) {
        RecordingFrame frame;
        TheWindowSide().SetBeeps(!on, on);
        TestConsole console;
        EXPECT_EQ(WritePipeByte(console.emulator, 'x'), 0);
        EXPECT_EQ(frame.Beeps(), on ? 1 : 0);
        TheWindowSide().Reset();
    }
}

} // namespace
} // namespace kestra::console

namespace kestra::console {
namespace {

using namespace kestra::console::consoletest;

// Typing holds the console's lock; a write that fails there ends the program
// through the Fatal Error dialog, under which the console is still painted.
TEST(PipeLinkFailures, AFailedWriteLetsGoOfTheConsoleLockBeforeTheReport) {
    platform::ScopedFatalCapture capture;
    TestConsole console;
    ServerLink link(Transport::UnixSocket);
    ASSERT_TRUE(link.Ok());
    console.record.pipe = std::move(link.client);
    link.server.Close();

    bool paintable = false;
    platform::FatalPresenter previous = platform::SetFatalPresenter([&](std::string_view message) {
        std::thread painter([&] {
            paintable = console.record.lock.try_lock();
            if (paintable) {
                console.record.lock.unlock();
            }
        });
        painter.join();
        throw platform::FatalError(message);
    });
    {
        std::unique_lock typing(console.record.lock);
        EXPECT_THROW(
            {
                for (int i = 0; i < 100; ++i) {
                    WritePipeByte(console.emulator, 'x');
                }
            },
            platform::FatalError);
    }
    platform::SetFatalPresenter(std::move(previous));
    EXPECT_TRUE(paintable);
    EXPECT_TRUE(console.record.lock.try_lock()) << "the lock is free after the report";
    console.record.lock.unlock();
}

} // namespace
} // namespace kestra::console
