// What the console learns from the emulator: the hooks that received bytes
// cause, which drive its repaint requests and resize notices.

#include "RecordingHooks.h"
#include "emulator/Emulator.h"

#include <gtest/gtest.h>
#include <string_view>

namespace kestra::emulator {
namespace {

class EmulatorHooksTest : public testing::Test {
protected:
    void SetUp() override {
        termdef::ResetTerminalDefinition();
        termdef::TheTerminalDefinition().loaded = true;
        InitEmulator(emulator, "", 24);
        AttachRecorder(emulator.screen, log);
    }
    void TearDown() override { termdef::ResetTerminalDefinition(); }

    void Receive(std::string_view bytes) {
        for (char byte : bytes) {
            ReceiveByte(emulator, static_cast<std::uint8_t>(byte));
        }
    }

    Emulator emulator;
    HookLog log;
};

TEST_F(EmulatorHooksTest, CreatedDetachedWithEightyColumns) {
    Emulator fresh;
    InitEmulator(fresh, "", 30);
    EXPECT_EQ(fresh.screen.attached, 0u);
    EXPECT_EQ(fresh.screen.rows, 30u);
    EXPECT_EQ(fresh.screen.cols, 80u);
    EXPECT_EQ(fresh.screen.autowrap, 0);
    EXPECT_EQ(termdef::TheTerminalDefinition().colourTarget, &fresh.screen.colourMap);
}

TEST_F(EmulatorHooksTest, ThePrintedCharacterIsOneCell) {
    Receive("A");
    EXPECT_EQ(log.calls, (std::vector<std::string>{"cells 0,0 1", "cursor 0,1"}));
}

TEST_F(EmulatorHooksTest, ColumnModeAnnouncesTheNewWidthAndRepaintsAll) {
    Receive("\x1b[?3h");
    // Once by the width switch, once more by the repaint of the cleared screen.
    EXPECT_EQ(log.Only("resized"), (std::vector<std::string>{"resized 24x132", "resized 24x132"}));
    EXPECT_EQ(log.Only("refresh").size(), 1u);
}

TEST_F(EmulatorHooksTest, LineSizeAnnouncesTheRow) {
    Receive("\x1b[5;1H\x1b#6");
    EXPECT_EQ(log.Only("line"), std::vector<std::string>{"line 4"});
}

TEST_F(EmulatorHooksTest, ADoubleWidthCharacterChangesTwoPhysicalCells) {
    Receive("\x1b#6\x1b[1;3H");
    log.calls.clear();
    Receive("A");
    EXPECT_EQ(log.Only("cells"), (std::vector<std::string>{"cells 0,4 1", "cells 0,5 1"}));
    EXPECT_EQ(log.calls.back(), "cursor 0,6");
}

TEST_F(EmulatorHooksTest, ScrollingIsOneRectangleAndAFlush) {
    Receive("\x1b[24;1H");
    log.calls.clear();
    Receive("\n");
    EXPECT_EQ(log.calls,
              (std::vector<std::string>{"scrolled up", "cells 23,0 80", "flush", "cursor 23,0"}));
}

TEST_F(EmulatorHooksTest, EraseInDisplayReportsOneRunPerRow) {
    Receive("\x1b[2;71H\x1b[J");
    const std::vector<std::string> cells = log.Only("cells");
    ASSERT_EQ(cells.size(), 23u);
    EXPECT_EQ(cells.front(), "cells 1,70 10");
    EXPECT_EQ(cells.back(), "cells 23,0 80");
}

TEST_F(EmulatorHooksTest, CursorVisibilityFollowsTheMode) {
    Receive("\x1b[?25l\x1b[?25h");
    EXPECT_EQ(log.Only("visible"), (std::vector<std::string>{"visible 0", "visible 1"}));
}

TEST_F(EmulatorHooksTest, ResetWithTheBufferDetachedCallsNoHook) {
    Receive("text\x1b[5;10r");
    log.calls.clear();
    emulator.screen.attached = 0;
    ResetEmulator(emulator, true);
    emulator.screen.attached = 1;
    EXPECT_TRUE(log.calls.empty());
    EXPECT_EQ(emulator.screen.cols, 132u);
}

} // namespace
} // namespace kestra::emulator
