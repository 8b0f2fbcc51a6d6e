// What the console learns from the emulator: the hooks that received bytes
// cause, which drive its repaint requests and resize notices.

#include "RecordingHooks.h"
#include "emulator/Emulator.h"

#include <gtest/gtest.h>
#include <string_view>

namespace kestra::emulator {
namespace {

void Receive(Emulator& emulator, std::string_view bytes) {
    for (char byte : bytes) {
        ReceiveByte(emulator, static_cast<std::uint8_t>(byte));
    }
}

// A VT100 on a 24-row screen with the recorder attached, after `before` was
// received; the log holds only what comes next.
struct Recorded {
    explicit Recorded(std::string_view before) {
        termdef::ResetTerminalDefinition();
        termdef::TheTerminalDefinition().loaded = true;
        InitEmulator(emulator, "", 24);
        emulator.charCodes[0x7F] = 0;
        AttachRecorder(emulator.screen, log);
        emulator.screen.hooks.CellsPrinted = [](ScreenBuffer& s, unsigned count) {
            Record(s, "printed " + std::to_string(s.row) + "," + std::to_string(s.col) + " " +
                          std::to_string(count));
        };
        Receive(emulator, before);
        log.calls.clear();
    }
    ~Recorded() { termdef::ResetTerminalDefinition(); }

    Emulator emulator;
    HookLog log;
};

TEST(EmulatorHooksTest, ReceivedBytesCauseTheseCalls) {
    // clang-format off
    const struct {
        std::string_view before, bytes, only;
        std::vector<std::string> calls;
    } cases[] = {
        {"",                  "A",       "",        {"cells 0,0 1", "cursor 0,1"}},
        // once by the width switch, once more by the repaint of the cleared screen
        {"",                  "\x1b[?3h", "resized", {"resized 24x132", "resized 24x132"}},
        {"",                  "\x1b[5;1H\x1b#6", "line", {"line 4"}},
        {"\x1b#6\x1b[1;3H",   "A",       "cells",   {"cells 0,4 1", "cells 0,5 1"}},
        {"\x1b[24;1H",        "\n",      "",        {"scrolled up", "cells 23,0 80", "flush", "cursor 23,0"}},
    };
    // clang-format on
    for (const auto& c : cases) {
        Recorded run(c.before);
        Receive(run.emulator, c.bytes);
        std::erase_if(run.log.calls,
                      [&](const std::string& call) { return !call.starts_with(c.only); });
        EXPECT_EQ(run.log.calls, c.calls) << c.before << c.bytes;
    }
}

// Bytes in the steps ReceiveRun takes, each step noted as "| N" after its
// calls, with at most `limit` characters printed per run.
void ReceiveInRuns(Emulator& emulator, HookLog& log, std::string_view bytes, std::size_t limit) {
    std::span rest(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    while (!rest.empty()) {
        const std::size_t taken = ReceiveRun(emulator, rest, 0x7F, limit);
        log.calls.push_back("| " + std::to_string(taken));
        rest = rest.subspan(taken);
    }
}

TEST(EmulatorHooksTest, ARunOfTextIsAnnouncedOnceWhereTheConsoleTakesRuns) {
    // clang-format off
    const struct {
        std::string_view before, bytes;
        std::size_t limit;
        std::string_view only; // with the steps; empty: every call
        std::vector<std::string> calls;
    } cases[] = {
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
        {"\x1b#6",       "ab",            9, "cells", {"cells 0,0 1", "cells 0,1 1", "| 1",
                                                       "cells 0,2 1", "cells 0,3 1", "| 1"}},
    };
    // clang-format on
    for (const auto& c : cases) {
        Recorded run(c.before);
        ReceiveInRuns(run.emulator, run.log, c.bytes, c.limit);
        std::erase_if(run.log.calls, [&](const std::string& call) {
            return !call.starts_with(c.only) && !call.starts_with("|");
        });
        EXPECT_EQ(run.log.calls, c.calls) << c.before << c.bytes;
    }
}

TEST(EmulatorHooksTest, ResetWithTheBufferDetachedCallsNoHook) {
    Recorded run("text\x1b[5;10r");
    run.emulator.screen.attached = 0;
    ResetEmulator(run.emulator, true);
    EXPECT_TRUE(run.log.calls.empty());
    EXPECT_EQ(run.emulator.screen.cols, 132u);
}

} // namespace
} // namespace kestra::emulator
