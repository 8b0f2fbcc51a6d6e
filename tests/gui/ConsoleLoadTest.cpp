#include "GuiTestSupport.h"

namespace kestra::shell::testing {
namespace {

constexpr std::size_t kLine = 72, kStream = 200 * kLine, kTyped = 16;
const std::string kPasted = "pasted line 0 while flooding\rpasted line 1 while flooding\r";

// A header naming the console and the line, then letters moving with both: a
// lost, doubled or swapped byte never matches, and no blank is ever printed.
char StreamCharacter(std::size_t unit, std::size_t at) {
    char header[16];
    const std::size_t length =
        std::snprintf(header, sizeof header, "U%02zuL%04zu:", unit, at / kLine);
    return at % kLine < length ? header[at % kLine] : 'a' + (at * 7 + unit) % 26;
}

std::map<const emulator::ScreenBuffer*, std::array<std::size_t, 3>> g_printed; // unit, count, wrong

// Each printed cell, announced alone or in a run left of the cursor, is the
// stream's next character (on the reader's thread, under the console's lock).
void Check(emulator::ScreenBuffer& screen, unsigned column) {
    auto& [unit, count, wrong] = g_printed.at(&screen);
    if (const char16_t shown = screen.chars[screen.CellIndex(screen.row, column)]; shown != u' ') {
        wrong += shown != StreamCharacter(unit, count++);
    }
}

struct ConsoleLoadTest : BoundConsoles {
    ConsoleLoadTest() : BoundConsoles(true, 100) {}
};

} // namespace

// A hundred consoles flooded by their servers while text is typed into each
// and pasted into one: no byte lost or reordered either way.
TEST_F(ConsoleLoadTest, AHundredFloodedConsolesLoseNoByte) {
    // Every console's tally exists before any reader runs: the readers look
    // theirs up while no other thread changes the map.
    for (int unit = 0; unit < kConsoles; ++unit) {
        g_printed[&Record(unit).emulator->screen] = {static_cast<std::size_t>(unit), 0, 0};
    }
    std::vector<std::thread> threads;
    for (int unit = 0; unit < kConsoles; ++unit) {
        emulator::ScreenHooks& hooks = Record(unit).emulator->screen.hooks;
        hooks.CellsChanged = [](emulator::ScreenBuffer& screen, unsigned count) {
            count == 1 ? Check(screen, screen.col) : void();
            console::ConsoleScreenHooks().CellsChanged(screen, count);
        };
        hooks.CellsPrinted = [](emulator::ScreenBuffer& screen, unsigned count) {
            for (unsigned i = count; i > 0; --i) {
                Check(screen, screen.col - i);
            }
            console::ConsoleScreenHooks().CellsPrinted(screen, count);
        };
        threads.emplace_back([&record = Record(unit)] { console::PipeReader(record); });
        threads.emplace_back([unit, server = servers[unit].Descriptor()] {
            std::string stream;
            for (std::size_t i = 0; i < kStream; ++i) {
                stream +=
                    StreamCharacter(unit, i) + std::string(i % kLine == kLine - 1 ? "\r\n" : "");
            }
            ::send(server, stream.data(), stream.size(), MSG_NOSIGNAL);
        });
    }
    const auto typed = [](int unit, std::size_t i) {
        return static_cast<char>('!' + (unit * 13 + i) % 90);
    };
    for (std::size_t i = 0; i < kTyped; ++i) {
        for (int unit = 0; unit < kConsoles; ++unit) { // as a key press types, under the lock
            std::unique_lock lock(Record(unit).lock);
            emulator::TypeChar(*Record(unit).emulator, typed(unit, i));
            lock.unlock();
            QCoreApplication::processEvents();
        }
    }
    QGuiApplication::clipboard()->setText(QString::fromStdString(kPasted));
    ASSERT_TRUE(console::PasteIntoConsole(binding->Paste(), &Window(0), {1, 5}));
    EXPECT_TRUE(PumpUntil(
        [&] {
            for (int unit = 0; unit < kConsoles; ++unit) {
                std::lock_guard lock(Record(unit).lock);
                if (g_printed[&Record(unit).emulator->screen][1] < kStream) {
                    return false;
                }
            }
            return true;
        },
        120000));
    for (int unit = 0; unit < kConsoles; ++unit) {
        Record(unit).stopping = true;
        Record(unit).readerWakeUp.Raise();
        std::string expected;
        for (std::size_t i = 0; i < kTyped; ++i) {
            expected += typed(unit, i);
        }
        expected += unit == 0 ? kPasted : "";
        EXPECT_EQ(Received(unit, expected.size()), expected) << unit;
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const auto& [screen, printed] : g_printed) {
        EXPECT_EQ(printed, (std::array<std::size_t, 3>{printed[0], kStream, 0}));
    }
    g_printed.clear();
}

} // namespace kestra::shell::testing
