// What the console learns from the emulator: the hooks that received bytes
// cause, which drive its repaint requests and resize notices.

#include "emulator/Emulator.h"

#include <gtest/gtest.h>
#include <string_view>

namespace kestra::emulator {
namespace {

// A VT100 on 24 rows, logging "call[ A,B][ N]" for every announcement that
// comes after `before` was received.
struct Recorded : ScreenObserver {
    explicit Recorded(std::string_view before) {
        InitEmulator(emulator, definition, 24);
        emulator.charCodes[0x7F] = 0;
        emulator.screen.observer = this;
        emulator.screen.attached = 1;
        for (char byte : before) {
            ReceiveByte(emulator, static_cast<std::uint8_t>(byte));
        }
        log.clear();
    }
    void Log(std::string call, long a = -1, long b = -1, long n = -1) {
        call += a < 0 ? "" : " " + std::to_string(a) + "," + std::to_string(b);
        log.push_back(call + (n < 0 ? "" : " " + std::to_string(n)));
    }
    void RefreshAll() override { Log("refresh"); }
    void CursorMoved(std::uint32_t r, std::uint32_t c) override { Log("cursor", r, c); }
    void CursorVisibility(bool shown) override { Log("visible", -1, -1, shown); }
    void CellsChanged(std::uint32_t r, std::uint32_t c, unsigned n, std::uint8_t a) override {
        Log(a == 0 ? "cells" : "cells a" + std::to_string(a), r, c, n);
    }
    bool TakesPrintedRuns() const override { return true; }
    void CellsPrinted(std::uint32_t r, std::uint32_t c, unsigned n) override {
        Log("text", r, c, n);
    }
    void ScrolledUp(std::uint32_t top, std::uint32_t bottom) override { Log("up", top, bottom); }
    void ScrolledDown(std::uint32_t top, std::uint32_t bottom) override {
        Log("down", top, bottom);
    }
    void FlushChanges() override { Log("flush"); }
    void LineChanged(std::uint32_t row) override { Log("line", -1, -1, row); }
    void ScreenResized(std::uint32_t rows, std::uint32_t columns) override {
        Log("resized", rows, columns);
    }
    termdef::TerminalDefinition definition;
    Emulator emulator;
    std::vector<std::string> log;
};

// The bytes go through ReceiveByte (limit 0) or in the steps ReceiveRun takes
// with at most `limit` characters printed per run, each step noted as "| N"
// after its calls. Only the calls that start with `only` are kept.
TEST(EmulatorHooksTest, ReceivedBytesCauseTheseCalls) {
    // clang-format off
    const struct {
        std::string_view before, bytes;
        std::size_t limit;
        std::string_view only;
        std::vector<std::string> calls;
    } cases[] = {
        {"",                   "A",               0, "", {"cells 0,0 1", "cursor 0,1"}},
        // once by the width switch, once more by the repaint of the cleared screen
        {"\x1b[3;6H",          "\x1b[?3h",        0, "", {"resized 24,132", "resized 24,132", "visible 1", "cursor 2,5", "refresh", "cursor 0,0"}},
        {"",                   "\x1b[5;1H\x1b#6", 0, "line", {"line 4"}},
        {"\x1b#3",             "\x1b#4",          0, "", {"cursor 0,0", "cursor 0,0", "cursor 0,0", "cursor 0,0",
                                                     "cursor 0,0", "line 0", "cursor 0,0"}},
        {"\x1b#6\x1b[1;3H",    "A",               0, "cells", {"cells 0,4 1", "cells 0,5 1"}},
        {"\x1b[1;7m",          "A\x1b[K",         0, "cells", {"cells a10 0,0 1", "cells 0,1 79"}},
        {"\x1b[24;1H",         "\n",              0, "", {"up 0,23", "cells 23,0 80", "flush", "cursor 23,0"}},
        {"\x1b[5;9r\x1b[5;1H", "\x1bM",           0, "", {"down 4,8", "cells 4,0 80", "flush", "cursor 4,0"}},
        {"\x1b[23;71H",        "\x1b[J",          0, "cells", {"cells 22,70 10", "cells 23,0 80"}},
        {"\x1b[10W\x1b[4;8H",  "\x1b[1J",         0, "cells", {"cells 0,0 10", "cells 1,0 10", "cells 2,0 10", "cells 3,0 7"}},
        {"",                   "abc\r",           9, "", {"text 0,3 3", "| 3", "cursor 0,0", "| 1"}},
        {"",                   "abcde",           2, "", {"text 0,2 2", "| 2", "text 0,4 2", "| 2", "text 0,5 1", "| 1"}},
        // the parameters change nothing: one step up to the final byte
        {"",                   "\x1b[12;40Hx",    9, "", {"| 2", "cursor 11,39", "| 6", "text 11,40 1", "| 1"}},
        // the last column is written byte by byte: it wraps or stays
        {"\x1b[1;78H",         "abc",             9, "", {"text 0,79 2", "| 2", "cells 0,79 1", "cursor 0,79", "| 1"}},
        // a mapped code 0 is taken but neither stored nor moved past
        {"",                   "a\x7f" "b",       9, "", {"text 0,2 2", "| 3"}},
        // a double-width row is printed byte by byte
        {"\x1b#6",             "ab",              9, "cells", {"cells 0,0 1", "cells 0,1 1", "| 1", "cells 0,2 1", "cells 0,3 1", "| 1"}},
    };
    // clang-format on
    for (const auto& c : cases) {
        Recorded run(c.before);
        for (std::span rest(reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size());
             !rest.empty();) {
            const std::size_t taken = c.limit ? ReceiveRun(run.emulator, rest, 0x7F, c.limit) : 1;
            if (c.limit) {
                run.log.push_back("| " + std::to_string(taken));
            } else {
                ReceiveByte(run.emulator, rest[0]);
            }
            rest = rest.subspan(taken);
        }
        std::erase_if(run.log, [&](const std::string& call) {
            return !call.starts_with(c.only) && !call.starts_with("|");
        });
        EXPECT_EQ(run.log, c.calls) << c.before << c.bytes;
    }
}

} // namespace
} // namespace kestra::emulator
