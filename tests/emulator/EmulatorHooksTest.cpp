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
        termdef::ResetTerminalDefinition();
        termdef::TheTerminalDefinition().loaded = true;
        Emulator emulator;
        InitEmulator(emulator, "", 24);
        HookLog log;
        AttachRecorder(emulator.screen, log);
        Receive(emulator, c.before);
        log.calls.clear();
        Receive(emulator, c.bytes);
        EXPECT_EQ(log.Only(std::string(c.only)), c.calls) << c.before << c.bytes;
    }
    termdef::ResetTerminalDefinition();
}

TEST(EmulatorHooksTest, ResetWithTheBufferDetachedCallsNoHook) {
    termdef::ResetTerminalDefinition();
    termdef::TheTerminalDefinition().loaded = true;
    Emulator emulator;
    InitEmulator(emulator, "", 24);
    HookLog log;
    AttachRecorder(emulator.screen, log);
    Receive(emulator, "text\x1b[5;10r");
    log.calls.clear();
    emulator.screen.attached = 0;
    ResetEmulator(emulator, true);
    EXPECT_TRUE(log.calls.empty());
    EXPECT_EQ(emulator.screen.cols, 132u);
    termdef::ResetTerminalDefinition();
}

} // namespace
} // namespace kestra::emulator
