#include "ConsoleWindowTestSupport.h"
#include "console/ConsoleTestSupport.h"
#include "console/PipeLink.h"
#include "console/window/RecordConsole.h"

#include <gtest/gtest.h>
#include <thread>

using namespace kestra::console;
using namespace kestra::console::testing;

namespace {

std::uint32_t Packed(int left, int top, int right, int bottom) {
    return static_cast<std::uint32_t>(left) << 24 | static_cast<std::uint32_t>(top) << 16 |
           static_cast<std::uint32_t>(right) << 8 | static_cast<std::uint32_t>(bottom);
}

// A window showing a console record fed by a reader thread, as the program
// runs.
struct RecordHarness {
    RecordHarness() {
        kestra::emulator::InitEmulator(emulator, "", 24);
        record.emulator = &emulator;
        ConnectEmulator(record, emulator);
        emulator.screen.attached = 1;
        h.Show(adapter);
    }

    // One read on a reader thread of its own, while this thread runs the
    // window's events.
    void ReceiveOnReader(std::string_view bytes) {
        std::atomic<bool> done{false};
        std::thread reader([&] {
            std::unique_lock held(record.lock);
            ReceiveBytes(record,
                         {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, held);
            RepaintWhenIdle(record, held);
            done = true;
        });
        PumpUntil([&] { return done.load(); }, 5000);
        reader.join();
        ProcessEvents();
    }

    consoletest::BareTerminalDefinition definition;
    ConsoleRecord record;
    kestra::emulator::Emulator emulator;
    RecordConsole adapter{record};
    WindowHarness h;
};

} // namespace

TEST(ConsoleWindow, AResizeNoticeKeepsTheWindowAndShrinksTheCells) {
    WindowHarness h;
    ConsoleWindow& window = h.Open();
    const QSize subSize = h.sub->size();
    const int minimumBefore = h.sub->minimumSizeHint().width();
    window.PostResize(24, 132);
    ProcessEvents();
    EXPECT_EQ(window.size(), QSize(644, 388));
    EXPECT_EQ(h.sub->size(), subSize);
    EXPECT_EQ(window.Geometry().cellWidth, (644 - 4) / 132);
    EXPECT_EQ(window.Geometry().marginLeft, (644 - 132 * 4) / 2);
    EXPECT_EQ(window.minimumWidth(), 2 * 132); // two pixels a cell
    EXPECT_GT(h.sub->minimumSizeHint().width(), minimumBefore);
}

TEST(ConsoleWindow, EveryRepaintRequestSetsThePaintedEventButOnlyAShownWindowPaints) {
    struct Case {
        bool minimise;
        int kind;
    };
    const Case cases[] = {
        {false, kRepaintReshaped}, {true, kRepaintAll}, {true, kRepaintCollected}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "minimise " << c.minimise << " kind " << c.kind);
        WindowHarness h;
        ConsoleWindow& window = h.Open();
        if (c.minimise) {
            h.sub->showMinimized();
            ProcessEvents();
            EXPECT_EQ(window.State(), kMinimised);
        }
        h.console->Painted().Reset();
        h.recorder.paints = 0;
        h.recorder.watched = &h.console->Painted();
        window.PostRepaint(c.kind, Packed(0, 0, 3, 0));
        EXPECT_FALSE(h.console->Painted().IsSet()); // posted, not handled yet
        ProcessEvents();
        EXPECT_TRUE(h.console->Painted().IsSet());
        EXPECT_EQ(h.recorder.paints > 0, !c.minimise);
        // After a quiet frame the reader is released once the changes are
        // on the screen.
        EXPECT_FALSE(h.recorder.setBeforePaint);
    }
}

TEST(ConsoleWindow, ARequestWithinAFrameIsAnsweredAtOnceAndPaintedWhenTheFrameEnds) {
    WindowHarness h;
    ConsoleWindow& window = h.Open();
    h.recorder.watched = &h.console->Painted();
    window.PostRepaint(kRepaintCollected, Packed(0, 0, 0, 0));
    ProcessEvents();
    ASSERT_EQ(h.recorder.paints, 1); // the first is painted before it is answered
    EXPECT_FALSE(h.recorder.setBeforePaint);

    h.console->Painted().Reset();
    h.recorder.painted = QRegion();
    window.PostRepaint(kRepaintCollected, Packed(3, 2, 5, 2));
    window.PostRepaint(kRepaintCollected, Packed(1, 4, 1, 4));
    ProcessEvents();
    EXPECT_TRUE(h.console->Painted().IsSet());
    EXPECT_EQ(h.recorder.paints, 1);
    PumpUntil([&] { return h.recorder.paints >= 2; }, 1000);
    // Both areas in one paint, after the answers.
    EXPECT_EQ(h.recorder.paints, 2);
    EXPECT_TRUE(h.recorder.setBeforePaint);
    EXPECT_TRUE(h.recorder.painted.contains(QRect(2 + 3 * 8, 2 + 2 * 16, 3 * 8, 16)));
    EXPECT_TRUE(h.recorder.painted.contains(QRect(2 + 1 * 8, 2 + 4 * 16, 8, 16)));
}

// A flooded window waits for notices while any are waiting: one that is never
// taken would keep it waiting for its whole budget after every request.
TEST(ConsoleWindow, NoticesCountAsWaitingUntilTakenOrDropped) {
    EXPECT_FALSE(ReaderNoticeEvent::AnyWaiting());
    {
        WindowHarness h;
        ConsoleWindow& window = h.Open();
        ProcessEvents();
        window.PostRepaint(kRepaintCollected, Packed(0, 0, 0, 0));
        window.PostResize(24, 80);
        EXPECT_TRUE(ReaderNoticeEvent::AnyWaiting());
        ProcessEvents();
        EXPECT_FALSE(ReaderNoticeEvent::AnyWaiting());
        window.PostRepaint(kRepaintAll, 0);
        EXPECT_TRUE(ReaderNoticeEvent::AnyWaiting());
    } // the window goes with its notice unhandled
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(ReaderNoticeEvent::AnyWaiting());
}

TEST(ConsoleWindow, APartialRepaintCoversItsCellsOrWholeRowsInItalics) {
    struct Case {
        bool italic;
        QRect expected;
    };
    // Cells 3..5 of row 2 in 8x16 cells with 2-pixel margins.
    const Case cases[] = {
        {false, QRect(2 + 3 * 8, 2 + 2 * 16, 3 * 8, 16)},
        {true, QRect(2, 2 + 2 * 16, 642, 16)}, // to the client's right edge
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.italic);
        WindowHarness h;
        h.properties.italicFont = c.italic;
        ConsoleWindow& window = h.Open();
        window.RebuildFonts();
        h.recorder.painted = QRegion();
        window.PostRepaint(kRepaintCollected, Packed(3, 2, 5, 2));
        ProcessEvents();
        EXPECT_EQ(h.recorder.painted, QRegion(c.expected));
    }
}

TEST(ConsoleWindowRecord, ALongBurstIsPaintedInBatchesWhileTheReaderRuns) {
    RecordHarness r;
    r.record.paintedEvent.Reset();
    // 24 lines of 79 letters, then a mark at the top left: 1900 changes.
    std::string burst;
    for (int line = 0; line < 24; ++line) {
        burst += std::string(79, static_cast<char>('a' + line % 26));
        burst += line < 23 ? "\r\n" : "";
    }
    r.ReceiveOnReader(burst + "\x1b[H\x1b[1m#");
    EXPECT_GE(r.h.recorder.paints, 1);
    EXPECT_TRUE(r.record.paintedEvent.IsSet());
    const QImage image = r.h.Grab();
    for (int row : {0, 12, 23}) {
        EXPECT_GT(LitPixels(image, CellRect(row, 40)), 0) << row;
        EXPECT_EQ(LitPixels(image, CellRect(row, 79).adjusted(0, 0, 0, -3)), 0) << row;
    }
}

TEST(ConsoleWindowRecord, AColumnModeSwitchReachesTheWindowAsAResizeNotice) {
    RecordHarness r;
    r.ReceiveOnReader("\x1b[?3h");
    EXPECT_EQ(r.h.window->Geometry().columns, 132);
    EXPECT_EQ(r.h.window->Geometry().cellWidth, 4);
    r.ReceiveOnReader("\x1b[?3l");
    EXPECT_EQ(r.h.window->Geometry().columns, 80);
}
