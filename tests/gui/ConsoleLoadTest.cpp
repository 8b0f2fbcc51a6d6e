// A hundred consoles flooded by their servers while text is typed into each
// and pasted into one: no byte lost or reordered either way, and the window
// thread keeps answering its timer.

#include "GuiTestSupport.h"
#include "console/window/ConsoleClipboard.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <thread>

using namespace kestra;
using namespace kestra::shell;
using namespace kestra::shell::testing;

namespace {

constexpr std::size_t kConsoles = 100, kLine = 72, kStream = 200 * kLine, kTyped = 16;
const std::string kPasted = "pasted line 0 while flooding\rpasted line 1 while flooding\r";

// Lines of a header naming the console and the line, then letters that move
// with both: a lost, doubled or swapped byte never matches. No blanks: an
// erased cell is never taken for a printed one.
char StreamCharacter(std::size_t unit, std::size_t index) {
    char header[16];
    const std::size_t length =
        std::snprintf(header, sizeof header, "U%02zuL%04zu:", unit, index / kLine);
    return index % kLine < length ? header[index % kLine] : 'a' + (index * 7 + unit) % 26;
}

// A console on a socket pair checking what its emulator prints against its
// stream as it comes, on the reader's thread under the console's lock.
struct LoadedConsole {
    std::size_t unit = 0, printed = 0, wrong = 0;
    platform::PipeConnection server;
    emulator::Emulator emulator;
    console::ConsoleRecord record;
    std::string typed, received;
};
std::map<const emulator::ScreenBuffer*, LoadedConsole*> g_consoles;
void (*g_changed)(emulator::ScreenBuffer&, unsigned),
    (*g_printed)(emulator::ScreenBuffer&, unsigned);

void Check(emulator::ScreenBuffer& screen, unsigned column) {
    LoadedConsole& loaded = *g_consoles.at(&screen);
    if (const char16_t shown = screen.chars[screen.CellIndex(screen.row, column)]; shown != u' ') {
        loaded.wrong += shown != StreamCharacter(loaded.unit, loaded.printed++);
    }
}
// One printed cell is one character of the stream, whether the emulator
// announces it alone or in a run left of the cursor.
void CellChanged(emulator::ScreenBuffer& screen, unsigned count) {
    count == 1 ? Check(screen, screen.col) : void();
    g_changed(screen, count);
}
void RunPrinted(emulator::ScreenBuffer& screen, unsigned count) {
    for (unsigned i = count; i > 0; --i) {
        Check(screen, screen.col - i);
    }
    g_printed(screen, count);
}

} // namespace

TEST(ConsoleLoad, AHundredFloodedConsolesLoseNoByteAndTheWindowThreadStaysResponsive) {
    platform::ScopedFatalCapture capture;
    termdef::ResetTerminalDefinition();
    termdef::TheTerminalDefinition().loaded = true;
    std::vector<std::unique_ptr<LoadedConsole>> consoles;
    for (std::size_t unit = 0; unit < kConsoles; ++unit) {
        LoadedConsole& loaded = *consoles.emplace_back(std::make_unique<LoadedConsole>());
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
        loaded.server = platform::PipeConnection(ends[1]);
        loaded.record.pipe = platform::PipeConnection(ends[0]);
        loaded.unit = loaded.record.unit = static_cast<std::uint16_t>(unit);
        loaded.record.emulator = &loaded.emulator;
        emulator::InitEmulator(loaded.emulator, "", console::DefaultRows);
        console::ConnectEmulator(loaded.record, loaded.emulator);
        loaded.emulator.screen.attached = 1;
        g_consoles[&loaded.emulator.screen] = &loaded;
        g_changed = std::exchange(loaded.emulator.screen.hooks.CellsChanged, CellChanged);
        g_printed = std::exchange(loaded.emulator.screen.hooks.CellsPrinted, RunPrinted);
        for (std::size_t i = 0; i < kTyped; ++i) {
            loaded.typed += static_cast<char>('!' + (unit * 13 + i) % 90);
        }
    }
    TestConfiguration configuration;
    configuration.SetQuietMode(true);
    configuration.configure = [&] {
        for (auto& loaded : consoles) {
            console::TheWindowSide().Frame()->RegisterConsole(loaded->record, 24, 80);
        }
    };
    TestWorld world;
    std::unique_ptr<ConsoleWindowBinding> binding; // outlives the frame's windows
    Shell shell((App(), configuration), world.Environment());
    binding = std::make_unique<ConsoleWindowBinding>(shell);
    shell.RunStartup(std::vector<std::string>{"kestra"});
    ASSERT_EQ(binding->List().Windows().size(), kConsoles);

    std::vector<std::thread> threads;
    for (auto& loaded : consoles) {
        threads.emplace_back([&record = loaded->record] {
            try {
                console::PipeReader(record);
            } catch (...) {
            }
        });
        threads.emplace_back([&loaded = *loaded] {
            std::string stream;
            for (std::size_t i = 0; i < kStream; ++i) {
                stream += StreamCharacter(loaded.unit, i) +
                          std::string(i % kLine == kLine - 1 ? "\r\n" : "");
            }
            ::send(loaded.server.Descriptor(), stream.data(), stream.size(), MSG_NOSIGNAL);
            const std::size_t expected =
                loaded.typed.size() + (loaded.unit == 0 ? kPasted.size() : 0);
            char byte = 0;
            while (loaded.received.size() < expected &&
                   ::recv(loaded.server.Descriptor(), &byte, 1, 0) == 1) {
                loaded.received += byte;
            }
        });
    }
    // The gaps between the window thread's 10 ms ticks.
    QElapsedTimer sinceTick;
    std::vector<qint64> gaps;
    QTimer pulse;
    QObject::connect(&pulse, &QTimer::timeout, [&] { gaps.push_back(sinceTick.restart()); });
    sinceTick.start();
    pulse.start(10);
    for (std::size_t i = 0; i < kTyped; ++i) { // as a key press types: under the console's lock
        for (auto& loaded : consoles) {
            std::unique_lock lock(loaded->record.lock);
            emulator::TypeChar(loaded->emulator, loaded->typed[i]);
            lock.unlock();
            QCoreApplication::processEvents();
        }
    }
    QGuiApplication::clipboard()->setText(QString::fromStdString(kPasted));
    ASSERT_TRUE(console::PasteIntoConsole(binding->Paste(),
                                          binding->WindowOfRecord(&consoles[0]->record), {1, 5}));
    const bool done = PumpUntil(
        [&] {
            return std::ranges::all_of(consoles, [](auto& loaded) {
                std::lock_guard lock(loaded->record.lock);
                return loaded->printed == kStream;
            });
        },
        120000);
    pulse.stop();
    for (auto& loaded : consoles) {
        loaded->record.stopReader = true;
        loaded->record.readerWakeUp.Raise();
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    g_consoles.clear();
    ASSERT_TRUE(done) << "not every stream was printed in time";
    for (auto& loaded : consoles) {
        EXPECT_EQ(loaded->wrong, 0u) << loaded->unit;
        EXPECT_EQ(loaded->received, loaded->typed + (loaded->unit == 0 ? kPasted : ""))
            << loaded->unit;
    }
    // A tick may wait for a paint of every console, and the machine's other
    // load stretches some further; a window thread that answers half its
    // ticks within 100 ms stays usable, one held by a reader does not.
    std::ranges::sort(gaps);
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(gaps.at(gaps.size() / 2), 100) << "the window thread stopped answering its timer";
#endif
}
