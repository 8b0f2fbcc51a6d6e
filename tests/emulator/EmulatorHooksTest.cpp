// What the console learns from the emulator: the hooks that received bytes
// cause, which drive its repaint requests and resize notices; and the screen
// buffer's own rules that no received byte reaches.

#include "emulator/Emulator.h"
#include "emulator/Vt100Sequences.h"
#include "emulator/Vt52Sequences.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <iterator>
#include <set>
#include <sstream>

namespace kestra::emulator {
namespace {

void Record(ScreenBuffer& s, const std::string& call, unsigned count = 0) {
    static_cast<std::vector<std::string>*>(s.owner)->push_back(
        count == 0 ? call
                   : call + " " + std::to_string(s.row) + "," + std::to_string(s.col) + " " +
                         std::to_string(count));
}

// A VT100 on a 24-row screen with every hook recording, found through the
// buffer's owner as the console finds itself, after `before` was received.
struct Recorded {
    explicit Recorded(std::string_view before) {
        termdef::ResetTerminalDefinition();
        termdef::TheTerminalDefinition().loaded = true;
        InitEmulator(emulator, "", 24);
        emulator.charCodes[0x7F] = 0;
        ScreenHooks& hooks = emulator.screen.hooks;
        hooks.RefreshAll = [](ScreenBuffer& s) { Record(s, "refresh"); };
        hooks.CursorMoved = [](ScreenBuffer& s) {
            Record(s, "cursor " + std::to_string(s.shownRow) + "," + std::to_string(s.shownCol));
        };
        hooks.CursorVisibility = [](ScreenBuffer& s, int on) {
            Record(s, "visible " + std::to_string(on));
        };
        hooks.CellsChanged = [](ScreenBuffer& s, unsigned count) { Record(s, "cells", count); };
        hooks.CellsPrinted = [](ScreenBuffer& s, unsigned count) { Record(s, "printed", count); };
        hooks.ScrolledUp = [](ScreenBuffer& s) { Record(s, "scrolled up"); };
        hooks.ScrolledDown = [](ScreenBuffer& s) { Record(s, "scrolled down"); };
        hooks.FlushChanges = [](ScreenBuffer& s) { Record(s, "flush"); };
        hooks.LineChanged = [](ScreenBuffer& s) { Record(s, "line " + std::to_string(s.row)); };
        hooks.ScreenResized = [](ScreenBuffer& s) {
            Record(s, "resized " + std::to_string(s.rows) + "x" + std::to_string(s.cols));
        };
        emulator.screen.owner = &log;
        emulator.screen.attached = 1;
        for (char byte : before) {
            ReceiveByte(emulator, static_cast<std::uint8_t>(byte));
        }
        log.clear();
    }
    ~Recorded() { termdef::ResetTerminalDefinition(); }

    Emulator emulator;
    std::vector<std::string> log;
};

// Bytes fed through ReceiveByte (limit 0), or in the steps ReceiveRun takes
// with at most `limit` characters printed per run, each step noted as "| N"
// after its calls. Only calls starting with a word of `only` are kept.
TEST(EmulatorHooksTest, ReceivedBytesCauseTheseCalls) {
    // clang-format off
    const struct {
        std::string_view before, bytes;
        std::size_t limit;
        std::string only; // empty: every call
        std::vector<std::string> calls;
    } cases[] = {
        {"",                "A",              0, "", {"cells 0,0 1", "cursor 0,1"}},
        // once by the width switch, once more by the repaint of the cleared screen
        {"\x1b[3;6H",       "\x1b[?3h",       0, "", {"resized 24x132", "resized 24x132", "visible 1",
                                                      "cursor 2,5", "refresh", "cursor 0,0"}},
        {"",                "\x1b[5;1H\x1b#6", 0, "line", {"line 4"}},
        {"\x1b#3",          "\x1b#4",         0, "line cells", {"line 0"}},
        {"\x1b#6\x1b[1;3H", "A",              0, "cells", {"cells 0,4 1", "cells 0,5 1"}},
        {"\x1b[24;1H",      "\n",             0, "", {"scrolled up", "cells 23,0 80", "flush", "cursor 23,0"}},
        {"\x1b[5;9r\x1b[5;1H", "\x1bM",       0, "", {"scrolled down", "cells 4,0 80", "flush", "cursor 4,0"}},
        {"\x1b[23;71H",     "\x1b[J",         0, "cells", {"cells 22,70 10", "cells 23,0 80"}},
        {"\x1b[10W\x1b[4;8H", "\x1b[1J",      0, "cells", {"cells 0,0 10", "cells 1,0 10", "cells 2,0 10",
                                                           "cells 3,0 7"}},
        {"",                "\x1b[1K",        0, "cells", {}},
        {"",                "\x1b[?25l\x1b[?25h", 0, "visible", {"visible 0", "visible 1"}},
        // runs of text
        {"",             "abc\r",         9, "", {"printed 0,3 3", "| 3", "cursor 0,0", "| 1"}},
        {"",             "abcde",         2, "", {"printed 0,2 2", "| 2", "printed 0,4 2", "| 2",
                                                  "printed 0,5 1", "| 1"}},
        // the parameters change nothing: one step up to the final byte
        {"",             "\x1b[12;40Hx",  9, "", {"| 2", "cursor 11,39", "| 6", "printed 11,40 1", "| 1"}},
        // the last column is written byte by byte: it wraps or stays
        {"\x1b[1;78H",   "abc",           9, "", {"printed 0,79 2", "| 2", "cells 0,79 1", "cursor 0,79", "| 1"}},
        // a mapped code 0 is taken but neither stored nor moved past
        {"",             "a\x7f" "b",      9, "", {"printed 0,2 2", "| 3"}},
        // a double-width row is printed byte by byte
        {"\x1b#6",       "ab",            9, "cells |", {"cells 0,0 1", "cells 0,1 1", "| 1",
                                                         "cells 0,2 1", "cells 0,3 1", "| 1"}},
    };
    // clang-format on
    for (const auto& c : cases) {
        Recorded run(c.before);
        std::span rest(reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size());
        while (!rest.empty()) {
            const std::size_t taken = c.limit ? ReceiveRun(run.emulator, rest, 0x7F, c.limit) : 1;
            if (c.limit) {
                run.log.push_back("| " + std::to_string(taken));
            } else {
                ReceiveByte(run.emulator, rest[0]);
            }
            rest = rest.subspan(taken);
        }
        std::istringstream only(c.only);
        std::set<std::string> words{std::istream_iterator<std::string>(only), {}};
        std::erase_if(run.log, [&](const std::string& call) {
            return !words.empty() && !words.contains(call.substr(0, call.find(' ')));
        });
        EXPECT_EQ(run.log, c.calls) << c.before << c.bytes;
    }
}

TEST(EmulatorHooksTest, ResetWithTheBufferDetachedCallsNoHook) {
    Recorded run("text\x1b[5;10r");
    run.emulator.screen.attached = 0;
    ResetEmulator(run.emulator, true);
    EXPECT_TRUE(run.log.empty());
    EXPECT_EQ(run.emulator.screen.cols, 132u);
}

// A byte listed twice in an escape table would silently lose its second action.
TEST(EmulatorHooksTest, EscapeTablesListEachByteOnce) {
    for (const auto table : {Vt100EscapeTable(), Vt52EscapeTable()}) {
        std::set<char> seen;
        for (const EscapeAction& action : table) {
            EXPECT_TRUE(seen.insert(action.byte).second) << action.byte;
        }
    }
}

// Erased runs are filled several cells per store: every run length and
// alignment must blank exactly its cells, up to the end of the screen.
TEST(ScreenBufferTest, ErasedRunsCoverExactlyTheirCells) {
    ScreenBuffer screen;
    ASSERT_TRUE(screen.CreateScreen(4, MaxColumns));
    screen.SetColumns(80);
    for (const std::size_t start : {0, 1, 2, 3, 5, 6, 77, 4 * 80 - 3}) {
        for (std::size_t count = 0; count < 12; ++count) {
            std::fill(screen.chars.begin(), screen.chars.end(), 'x');
            std::fill(screen.attrs.begin(), screen.attrs.end(), AttrBold);
            std::vector<std::uint16_t> chars = screen.chars;
            std::vector<std::uint8_t> attrs = screen.attrs;
            const std::size_t end = std::min<std::size_t>(start + count, 4 * 80);
            std::fill(chars.begin() + start, chars.begin() + end, ' ');
            std::fill(attrs.begin() + start, attrs.begin() + end, 0);
            screen.EraseCells(start, count);
            ASSERT_EQ(screen.chars, chars) << "start " << start << " count " << count;
            ASSERT_EQ(screen.attrs, attrs) << "start " << start << " count " << count;
        }
    }
}

} // namespace
} // namespace kestra::emulator
