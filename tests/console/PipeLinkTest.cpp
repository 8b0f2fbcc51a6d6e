// Consoles defined by the CON line, what received bytes become, failed writes.

#include "ConsoleTestSupport.h"
#include "config/ConfigHooks.h"
#include "config/ConfigInterpreter.h"
#include "config/GlobalOptions.h"
#include "console/ConsoleDefinition.h"
#include "console/ConsoleTable.h"

#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <signal.h>
#include <sys/wait.h>

namespace kestra::console {
namespace {

using namespace consoletest;
using Lines = std::vector<std::string>;
using Answer = RecordingWindow::Answer;

TEST(ConsoleDefinition, TheConLineSetsTheConsoleAndKestraCheckListsItOrTheReport) {
    TemporaryDirectory directory;
    const auto server = platform::SocketListener::ListenLocal(directory / "P");
    platform::ScopedFatalCapture capture;
    termdef::TheTerminalDefinition().loaded = true;
    config::ResetOptions();
    config::ResetHooks();
    InstallConsoleDefinition();
    config::Options().configFilePath = directory / "k.cnf";
    std::ofstream(directory / "k.cnf")
        << "CON /8BIT:yes/AUTOWRAP:on/CURSOR:off = " + directory / "P"
        << "\nCON /8BIT:no/AUTOWRAP:off/CURSOR:on = " + directory / "P";
    config::ConfigPass(1);
    config::ConfigPass(2);
    for (const std::uint16_t unit : {0, 1}) {
        const ConsoleRecord& r = *Consoles().At(unit);
        EXPECT_EQ((std::array{r.eightBit, r.screen->autowrap != 0, r.cursorSuppressed,
                              r.pipe.IsOpen() && r.readerThread.Joinable()}),
                  (std::array{!unit, !unit, !unit, true}));
    }
    Consoles().Reset();
    // kestra-check, given a configuration or a pipe name: the consoles, or the report.
    const std::string p = "\\\\.\\pipe\\P", config = directory / "k.cnf", path = directory / "P";
    const std::pair<std::string, std::string> cases[] = {
        {"CON /UNIT:7/UNITNAME:'B C'/WIDTH:132/HEIGHT:30 = P\nCON /UNIT:0 = P\ncon = " + path,
         "console 7 30x132 " + p + " B C\nconsole 0 24x80 " + p + " " + p + "\nconsole 1 24x80 " +
             path + " " + path + "\n"},
        {"CON = P\nCON /HEIGHT:255 = P",
         "line 2 of " + config +
             "\nCON /HEIGHT:255 = P\n    ^^^^^^^^^^^\nHEIGHT must be from 2 to 254\n"},
        {"nobody", std::string(std::strerror(ENOENT)) + "[\\\\.\\pipe\\nobody]\n"}};
    for (const auto& [text, expected] : cases) {
        std::ofstream(config) << text << "\n";
        const ProgramResult r = RunProgram(
            {BinaryPath("kestra-check"), text.find(' ') == text.npos ? text : "/C:" + config},
            {"KESTRA_PIPES=" + directory.Path(), "CNF=" KESTRA_SOURCE_DIR "/data"});
        const bool listed = expected.starts_with("console ");
        EXPECT_EQ(r.status, listed ? 0 : 255) << text;
        EXPECT_TRUE(listed ? r.out == expected : r.err.ends_with(expected))
            << text << r.out << r.err;
    }
}

struct CountingWindow : RecordingWindow {
    CountingWindow(ConsoleRecord& r, Answer answer) : RecordingWindow(r, answer), record(r) {
        AttachWindow(r, *this);
    }
    void PostRepaint(RepaintKind kind, CellRange cells) override {
        counts.push_back(record.dirtyCount);
        RecordingWindow::PostRepaint(kind, cells);
    }
    ConsoleRecord& record;
    std::vector<std::uint32_t> counts;
};

TEST(PipeLinkHooks, ChangesInADoubleWidthRowCoverWholeCharacterPairs) {
    // line attribute, column, count: left and right of the change
    const int cases[][5] = {{0, 5, 1, 5, 5}, {0, 4, 3, 4, 6}, {1, 5, 1, 4, 5},
                            {1, 4, 1, 4, 5}, {1, 4, 3, 4, 7}, {3, 5, 1, 4, 5}};
    for (const auto [line, column, count, left, right] : cases) {
        TestConsole console;
        emulator::ScreenBuffer& screen = console.emulator.screen;
        console.record.dirtyCount = 0;
        screen.lineAttrs[3] = std::uint8_t(line);
        console.record.CellsChanged(3, column, count, 0);
        const ConsoleRecord& r = console.record;
        EXPECT_EQ((std::array{r.dirtyLeft, r.dirtyTop, r.dirtyRight, r.dirtyBottom}),
                  (std::array{left, 3, right, 3}))
            << line << " " << column << " " << count;
    }
}

// Bytes handled as one read, then the connection runs dry: the requests posted.
TEST(PipeLinkHooks, ReceivedBytesBecomeTheRequestsOfTheirChanges) {
    const std::tuple<bool, std::string, Lines> cases[] = {
        {false, "A", {"repaint 2 0 0 1 0"}}, // the character, the cursor's old and new cell
        {true, "A", {"repaint 2 0 0 0 0"}},
        {false, "\x1b[3;5H", {"repaint 2 0 0 4 2"}},
        {true, "\x1b[3;5H", {}},
        {true, "\x1b[2;1H\x1b#6", {"repaint 1 0 1 79 1"}},        // a line size, at once
        {true, "\x1b[3;10r\x1b[10;1H\n", {"repaint 1 0 2 79 9"}}, // the scrolled region
        {false,
         "\x1b[?3h",
         {"resize 24 132", "resize 24 132", "repaint 0 0 0 0 0", "repaint 2 0 0 0 0"}}};
    for (const auto& [cursorSuppressed, bytes, expected] : cases) {
        TestConsole console(24, cursorSuppressed);
        RecordingWindow window(console.record);
        AttachWindow(console.record, window);
        console.record.dirtyCount = 0; // shown by the window's first paint
        console.Receive(bytes);
        std::unique_lock held(console.record.lock);
        RepaintWhenIdle(console.record, held);
        EXPECT_EQ(window.Lines(), expected) << bytes;
    }
}

// Text, cursor moves, line ends, renditions, line sizes, character sets, erases.
std::string MixedOutput(std::uint32_t seed, std::size_t size) {
    const std::string pieces[] = {"\r\n",    "\x1b[K",  "\x1b#5",    "\x1b#6", "\x0e",   "\x0f",
                                  "\x1b[1m", "\x1b[0m", "\x1b[4;7m", "\r\n",   "\x1b[K", "\x1b#5"};
    std::minstd_rand next(seed);
    std::string out;
    while (out.size() < size) {
        if (const auto pick = next() % 24; pick < 12) {
            out += pieces[pick];
        } else if (pick < 15) {
            out += "\x1b[" + std::to_string(next() % 26) + ";" + std::to_string(next() % 84) + "H";
        }
        for (auto n = next() % 90; n > 0; --n) {
            out += static_cast<char>(' ' + next() % 95);
        }
    }
    return out;
}

struct ByteByByte : ConsoleRecord {
    bool TakesPrintedRuns() const override { return false; }
};

// Text in runs gives what the same bytes give one by one, each character alone.
TEST(PipeLinkHooks, RunsOfTextCountTheChangesOfTheirCharacters) {
    for (const std::uint32_t seed : {0u, 1u, 2u, 3u}) {
        const std::string bytes = MixedOutput(seed + 1, 60000);
        TestConsole runs(24, seed & 2);
        TestConsoleOf<ByteByByte> single(24, seed & 2);
        CountingWindow runsWindow(runs.record, Answer::AtOnce);
        CountingWindow singleWindow(single.record, Answer::AtOnce);
        runs.emulator.screen.autowrap = single.emulator.screen.autowrap = seed & 1;
        for (std::size_t start = 0; start < bytes.size(); start += kReceiveBufferSize) {
            runs.Receive(std::string_view(bytes).substr(start, kReceiveBufferSize));
        }
        for (const char byte : bytes) {
            single.Receive(std::string_view(&byte, 1));
        }
        ASSERT_GT(runsWindow.RepaintCount(), 100u);
        EXPECT_TRUE(runsWindow.Lines() == singleWindow.Lines() &&
                    runsWindow.counts == singleWindow.counts)
            << seed;
        EXPECT_EQ(std::tie(runs.record.dirtyCount, runs.record.cursorState,
                           runs.emulator.screen.chars, runs.emulator.screen.attrs),
                  std::tie(single.record.dirtyCount, single.record.cursorState,
                           single.emulator.screen.chars, single.emulator.screen.attrs))
            << seed;
    }
}

// 10,000 bytes changing one cell: shown every 400 changes and when the pipe runs dry.
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
            ConsoleThread reader(console.record);
            ASSERT_TRUE(window.WaitForRepaints(25, 5000ms));
            std::this_thread::sleep_for(50ms); // nothing more may come
            reader.Stop();
            EXPECT_EQ(window.counts, expected);
            EXPECT_EQ(window.Lines(), Lines(25, "repaint 2 79 0 79 0"));
            EXPECT_GE(MillisecondsSince(start), answer == Answer::Never ? 24 * kRepaintWaitMs : 0);
        }
    }
}

// Bytes are shown when the window arrives; later bytes wake the idle reader.
TEST(PipeReader, AnIdleReaderWakesForANewWindowAndForTheServer) {
    for (const Transport transport : {Transport::UnixSocket, Transport::Tcp}) {
        platform::ScopedFatalCapture capture;
        TestConsole console{24, true};
        ServerLink link(transport, console.record);
        ASSERT_TRUE(link.ok);
        RecordingWindow window(console.record);
        ConsoleThread reader(console.record);
        ASSERT_TRUE(link.Write("HELLO\r\nWORLD"));
        ASSERT_TRUE(Eventually([&] { return console.Cell(1, 4) == 'D'; }, 5000ms));
        AttachWindow(console.record, window);
        ASSERT_TRUE(window.WaitForRepaints(1, 5000ms));
        ASSERT_TRUE(link.Write("Z"));
        EXPECT_TRUE(window.WaitForRepaints(2, 5000ms));
        EXPECT_EQ(window.Lines(), (Lines{"repaint 2 0 0 4 1", "repaint 2 5 1 5 1"}));
    }
}

// A failed write ends the program, whichever thread sees it first. An error
// other than the server going away is named with the direction and the
// system's text.
TEST(PipeWriter, AFailedWriteNamesTheDirectionAndTheError) {
    platform::ScopedFatalCapture capture;
    const std::string error = std::to_string(ENOTSOCK) + ": Socket operation on non-socket";
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    ASSERT_EQ(write(ends[1], "x", 1), 1);
    TestConsole console;
    console.record.pipe = platform::PipeConnection(ends[0]); // no socket
    console.record.pipePath = "/run/odd";
    TypeKey(console.record, 'x');
    EXPECT_EQ(ConsoleThread(console.record, PipeWriter).WaitForEnd(5000ms),
              "Pipe /run/odd write error " + error);
    EXPECT_EQ(console.record.errorCode, ENOTSOCK);
    EXPECT_EQ(ConsoleThread(console.record).WaitForEnd(5000ms),
              "Pipe /run/odd read error " + error);
    close(ends[1]);
}

struct BeepCounter : ConsoleFrameLink {
    BeepCounter() { TheWindowSide().SetFrame(this); }
    ~BeepCounter() override { TheWindowSide().Reset(); }
    void RegisterConsole(ConsoleRecord&, unsigned, unsigned) override {}
    void Beep() override { ++beeps; }
    std::atomic<int> beeps{0};
};

// The next count bytes from a descriptor, or as many as came before it ended.
std::string ReadBytes(int descriptor, std::size_t count) {
    std::string bytes(count, '\0');
    std::size_t got = 0;
    for (ssize_t n = 1; got < count && n > 0; got += std::max<ssize_t>(n, 0)) {
        n = ::read(descriptor, bytes.data() + got, count - got);
    }
    return bytes.substr(0, got);
}

// A console served over a Unix socket, its reader and writer running.
struct ServedConsole {
    ServedConsole() { EXPECT_TRUE(link.ok); }
    TestConsole console;
    ServerLink link{Transport::UnixSocket, console.record};
    ConsoleThread reader{console.record}, writer{console.record, PipeWriter};
};

// A server that floods cursor reports and never reads fills its console's
// queue: typing there beeps and the reader stops, holding no lock, while
// another console shows and sends all it should. When the stuck server
// closes, the program ends with the usual message.
TEST(PipeWriter, AServerThatStopsReadingStallsItsOwnConsoleOnly) {
    platform::ScopedFatalCapture capture;
    BeepCounter frame;
    ServedConsole stuck, busy;
    std::atomic<int> flooded{0};
    std::thread flood([&] {
        while (stuck.link.Write("\x1b[6n\x1b[6n\x1b[6n\x1b[6n")) {
            ++flooded;
        }
    });
    EXPECT_TRUE(Eventually([&] { return stuck.console.record.outgoing.Full(); }, 30s));
    const auto floodedAfter = [&](auto pause) {
        return std::this_thread::sleep_for(pause), +flooded;
    };
    EXPECT_EQ(floodedAfter(300ms), floodedAfter(300ms)) << "the reader must stop reading";
    TypeKey(stuck.console.record, 'k');
    EXPECT_EQ(frame.beeps, 1) << "a key for a full queue is dropped with a beep";
    EXPECT_TRUE(Eventually(
        [&] { return std::unique_lock(stuck.console.record.lock, std::try_to_lock).owns_lock(); },
        5s))
        << "the stalled reader holds no lock";
    for (char line = 'a'; line <= 'z'; ++line) {
        ASSERT_TRUE(busy.link.Write(std::string(1, line)));
        EXPECT_TRUE(Eventually([&] { return busy.console.Cell(0, line - 'a') == line; }, 5s));
        TypeKey(busy.console.record, line);
    }
    EXPECT_EQ(ReadBytes(busy.link.server.Descriptor(), 26), "abcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(frame.beeps, 1);
    ::shutdown(stuck.link.server.Descriptor(), SHUT_RDWR);
    flood.join();
    EXPECT_EQ(stuck.writer.WaitForEnd(10s),
              "The server for pipe " + stuck.console.record.pipePath + " has shut down");
}

// A paste into a stopped server waits in the paste thread while the queue is
// full; once the server goes on, every byte arrives, in order.
TEST(PipeWriter, APasteIntoAStoppedServerArrivesWholeWhenItGoesOn) {
    ServedConsole console;
    int copy[2];
    ASSERT_EQ(::pipe(copy), 0);
    const pid_t server = fork();
    if (server == 0) { // the server: what it receives goes to the test, unchanged
        char buffer[4096];
        for (ssize_t got; (got = ::read(console.link.server.Descriptor(), buffer, 4096)) > 0 &&
                          ::write(copy[1], buffer, got) == got;) {
        }
        _exit(0);
    }
    ::close(copy[1]);
    ASSERT_EQ(::kill(server, SIGSTOP), 0);
    const std::string pasted = MixedOutput(7, kOutgoingLimit * 3 / 2);
    std::atomic<std::size_t> sent{0};
    std::thread paste([&] {
        for (const char byte : pasted) {
            while (PasteByte(console.console.record, byte) == Delivery::QueueFull) {
            }
            ++sent;
        }
    });
    EXPECT_TRUE(Eventually([&] { return console.console.record.outgoing.Full(); }, 30s));
    std::this_thread::sleep_for(200ms);
    EXPECT_LT(sent, pasted.size()) << "the paste waits while the server is stopped";
    EXPECT_EQ(::kill(server, SIGCONT), 0);
    const std::string arrived = ReadBytes(copy[0], pasted.size());
    paste.join();
    EXPECT_TRUE(arrived == pasted) << arrived.size() << " of " << pasted.size();
    ::kill(server, SIGKILL);
    ::waitpid(server, nullptr, 0);
    ::close(copy[0]);
}

} // namespace
} // namespace kestra::console
