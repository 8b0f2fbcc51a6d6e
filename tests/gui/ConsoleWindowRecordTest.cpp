// A console window showing a console record fed by a reader thread, the way
// the program runs.

#include "ConsoleWindowTestSupport.h"
#include "console/PipeLink.h"
#include "console/window/RecordConsole.h"
#include "termdef/TerminalDefinition.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <string_view>
#include <thread>

using namespace kestra::console;
using namespace kestra::console::testing;

namespace {

struct RecordHarness {
    RecordHarness() {
        kestra::termdef::ResetTerminalDefinition();
        kestra::termdef::TheTerminalDefinition().loaded = true;
        kestra::emulator::InitEmulator(emulator, "", 24);
        record.unitName = "ONE";
        record.emulator = &emulator;
        ConnectEmulator(record, emulator);
        emulator.screen.attached = 1;
        window = new ConsoleWindow(h.list, adapter, 24, 80, std::nullopt);
        h.sub = h.area.addSubWindow(window);
        h.window = window;
        window->Place(*h.sub);
        h.sub->show();
        ProcessEvents();
        h.SetClientSize(644, 388);
        window->installEventFilter(&h.recorder);
        adapter.Attach(*window);
    }
    ~RecordHarness() { kestra::termdef::ResetTerminalDefinition(); }

    // What the reader does with one read, on a thread of its own, while this
    // thread runs the window's events until the reader is done.
    void ReceiveOnReader(std::string_view bytes) {
        std::atomic<bool> done{false};
        std::thread reader([&] {
            std::unique_lock held(record.lock);
            ReceiveBytes(record,
                         {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, held);
            RepaintWhenIdle(record, held);
            done = true;
        });
        QElapsedTimer timer;
        timer.start();
        while (!done && timer.elapsed() < 5000) {
            ProcessEvents();
        }
        reader.join();
        ProcessEvents();
    }

    ConsoleRecord record;
    kestra::emulator::Emulator emulator;
    RecordConsole adapter{record};
    WindowHarness h;
    ConsoleWindow* window = nullptr;
};

QRect CellRect(int row, int column) {
    return QRect(2 + column * 8, 2 + row * 16, 8, 16);
}

} // namespace

TEST(ConsoleWindowRecord, ReceivedTextIsPaintedAndTheReaderReleased) {
    RecordHarness r;
    r.record.paintedEvent.Reset();
    r.ReceiveOnReader("HI");
    EXPECT_TRUE(r.record.paintedEvent.IsSet());
    const QImage image = r.h.Grab();
    EXPECT_GT(LitPixels(image, CellRect(0, 0)), 0);
    EXPECT_GT(LitPixels(image, CellRect(0, 1)), 0);
    EXPECT_EQ(LitPixels(image, CellRect(0, 2)), 0);
}

TEST(ConsoleWindowRecord, ALongBurstIsPaintedInBatchesWhileTheReaderRuns) {
    RecordHarness r;
    // 24 lines of 79 letters, then a mark at the top left: 1900 changes.
    std::string burst;
    for (int line = 0; line < 24; ++line) {
        burst += std::string(79, static_cast<char>('a' + line % 26));
        burst += line < 23 ? "\r\n" : "";
    }
    burst += "\x1b[H\x1b[1m#";
    r.h.recorder.paints = 0;
    r.ReceiveOnReader(burst);
    // A request per scrolled line, every 400 changes and at the end, each
    // answered before the reader went on; painted as the frames allow, the
    // last one included.
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
    EXPECT_EQ(r.window->Geometry().columns, 132);
    EXPECT_EQ(r.window->Geometry().cellWidth, 4);
    r.ReceiveOnReader("\x1b[?3l");
    EXPECT_EQ(r.window->Geometry().columns, 80);
}
