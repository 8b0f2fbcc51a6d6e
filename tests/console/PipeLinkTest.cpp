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
    void PostRepaint(RepaintKind kind, std::uint32_t packed) override {
        counts.push_back(record.dirtyCount);
        RecordingWindow::PostRepaint(kind, packed);
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
        screen.row = 3;
        screen.col = std::uint32_t(column);
        screen.hooks.CellsChanged(screen, unsigned(count));
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

// Text in runs gives what the same bytes give one by one, each character alone.
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
            ReaderThread reader(console.record);
            ASSERT_TRUE(window.WaitForRepaints(25, 5000ms));
            std::this_thread::sleep_for(50ms); // nothing more may come
            reader.Stop();
            EXPECT_EQ(window.counts, expected);
            EXPECT_EQ(window.Lines(), Lines(25, "repaint 2 79 0 79 0"));
            EXPECT_GE(MillisecondsSince(start), answer == Answer::Never ? 24 * RepaintWaitMs : 0);
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

// A failed write while typing ends the program through the Fatal Error dialog,
// under which the console is still painted. An error other than the server
// going away is named with the direction and the system's text.
TEST(PipeReader, AFailedWriteLetsGoOfTheLockAndNamesTheDirectionAndTheError) {
    platform::ScopedFatalCapture capture;
    const std::string error = std::to_string(ENOTSOCK) + ": Socket operation on non-socket";
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    ASSERT_EQ(write(ends[1], "x", 1), 1);
    TestConsole console;
    console.record.pipe = platform::PipeConnection(ends[0]); // no socket
    console.record.pipePath = "/run/odd";
    {
        std::unique_lock typing(console.record.lock);
        try {
            WritePipeByte(console.emulator, 'x');
            ADD_FAILURE() << "the write should end the program";
        } catch (const platform::FatalError& fatal) {
            EXPECT_EQ(std::string(fatal.message()), "Pipe /run/odd write error " + error);
        }
        EXPECT_TRUE(std::async([&] {
                        const bool free = console.record.lock.try_lock();
                        console.record.lock.unlock();
                        return free;
                    }).get());
    }
    EXPECT_EQ(console.record.errorCode, ENOTSOCK);
    EXPECT_EQ(ReaderThread(console.record).WaitForEnd(5000ms), "Pipe /run/odd read error " + error);
    close(ends[1]);
}

// With --requests each file is one burst, its requests after the screen.
TEST(ConsoleDefinition, KestraReplayPrintsEachBurstsRequests) {
    TemporaryDirectory directory;
    std::vector<std::string> plain{BinaryPath("kestra-replay")}, requests{plain[0], "--requests"};
    for (const std::string bytes : {"A", "", "B"}) {
        std::ofstream(directory / ("in" + bytes)) << bytes;
        plain.push_back(directory / ("in" + bytes));
        requests.push_back(plain.back());
    }
    const std::vector<std::string> environment{"CNF=" KESTRA_SOURCE_DIR "/data"};
    EXPECT_EQ(RunProgram(requests, environment).out,
              RunProgram(plain, environment).out + "repaint 2 0 0 1 0\nrepaint 2 1 0 2 0\n");
}

} // namespace
} // namespace kestra::console
