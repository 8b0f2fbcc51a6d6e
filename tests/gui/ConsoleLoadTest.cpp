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

// Each printed cell, announced alone or in a run left of the cursor, is the
// stream's next character (on the reader's thread, under the console's lock).
struct CheckedRecord : console::ConsoleRecord {
    explicit CheckedRecord(std::size_t unit) : streamUnit(unit) {}
    void Check(std::uint32_t row, std::uint32_t column) {
        if (const char16_t shown = screen->chars[screen->CellIndex(row, column)]; shown != u' ') {
            wrong += shown != StreamCharacter(streamUnit, count++);
        }
    }
    void CellsChanged(std::uint32_t row, std::uint32_t column, unsigned cells,
                      std::uint8_t attribute) override {
        cells == 1 ? Check(row, column) : void();
        ConsoleRecord::CellsChanged(row, column, cells, attribute);
    }
    void CellsPrinted(std::uint32_t row, std::uint32_t column, unsigned printed) override {
        for (unsigned i = printed; i > 0; --i) {
            Check(row, column - i);
        }
        ConsoleRecord::CellsPrinted(row, column, printed);
    }
    std::size_t streamUnit, count = 0, wrong = 0;
};

struct ConsoleLoadTest : BoundConsoles {
    ConsoleLoadTest()
        : BoundConsoles(true, 100, [](int unit) { return std::make_unique<CheckedRecord>(unit); }) {
    }
    CheckedRecord& Checked(int unit) { return static_cast<CheckedRecord&>(Record(unit)); }
};

} // namespace

// A hundred consoles flooded by their servers while text is typed into each
// and pasted into one: no byte lost or reordered either way.
TEST_F(ConsoleLoadTest, AHundredFloodedConsolesLoseNoByte) {
    std::vector<std::thread> threads;
    for (int unit = 0; unit < kConsoles; ++unit) {
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
        for (int unit = 0; unit < kConsoles; ++unit) { // as a key press types
            console::TypeKey(Record(unit), typed(unit, i));
            QCoreApplication::processEvents();
        }
    }
    QGuiApplication::clipboard()->setText(QString::fromStdString(kPasted));
    ASSERT_TRUE(console::PasteIntoConsole(binding->Paste(), &Window(0), {1, 5}));
    EXPECT_TRUE(PumpUntil(
        [&] {
            for (int unit = 0; unit < kConsoles; ++unit) {
                std::lock_guard lock(Record(unit).lock);
                if (Checked(unit).count < kStream) {
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
    for (int unit = 0; unit < kConsoles; ++unit) {
        EXPECT_EQ(std::pair(Checked(unit).count, Checked(unit).wrong), std::pair(kStream, 0ul));
    }
}

} // namespace kestra::shell::testing
