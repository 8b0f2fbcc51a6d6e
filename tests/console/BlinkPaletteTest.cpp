#include "console/BlinkPalette.h"

#include <gtest/gtest.h>

using namespace kestra::console;

namespace {

Rgb Grey(std::uint8_t v) {
    return Rgb{v, v, v};
}

} // namespace

TEST(BlinkPalette, BlinkingTextShowsForFourPhasesAndTheCursorFlipsEveryPhase) {
    for (int phase = 0; phase < kBlinkPhases; ++phase) {
        const auto row = PhaseRow(phase);
        for (int entry = kFirstBlinkEntry; entry < kEndBlinkEntries; ++entry) {
            // Twelve entries, one for each pair of different levels.
            const BlinkLevels levels = BlinkEntryLevels(entry);
            EXPECT_NE(levels.foreground, levels.background) << entry;
            EXPECT_EQ(BlinkEntry(levels.foreground, levels.background), entry);
            const int shown = phase < 4 ? levels.foreground : levels.background;
            EXPECT_EQ(row[static_cast<std::size_t>(entry - kFirstBlinkEntry)],
                      Grey(kGreyLevels[static_cast<std::size_t>(shown)]))
                << "entry " << entry << " phase " << phase;
        }
        for (int pen : kCursorEntries) {
            EXPECT_EQ(row[static_cast<std::size_t>(pen - kFirstBlinkEntry)],
                      Grey(phase % 2 == 0 ? 255 : 0))
                << "pen " << pen << " phase " << phase;
            EXPECT_TRUE(EntryChangesBetween(pen, phase, phase + 1)) << phase;
        }
        EXPECT_EQ(BlinkEntry(phase % 4, phase % 4), -1) << "no entry for equal levels";
    }
    EXPECT_EQ(BlinkEntry(4, 0), -1);
}

TEST(BlinkPalette, BlinkModeAppActivityAndDisplayDecideWhetherItRuns) {
    struct Case {
        bool paletteDevice;
        int mode;
        bool appActive;
        bool expected;
    };
    const Case cases[] = {
        {true, kBlinkModeNever, true, false},       {true, kBlinkModeForeground, true, true},
        {true, kBlinkModeForeground, false, false}, {true, kBlinkModeAlways, false, true},
        {false, kBlinkModeAlways, true, false},
    };
    for (const Case& c : cases) {
        BlinkPalette blink;
        blink.SetPaletteDevice(c.paletteDevice);
        blink.SetBlinkMode(c.mode);
        blink.SetAppActive(c.appActive);
        blink.UpdateBlinkState();
        EXPECT_EQ(blink.BlinkActive(), c.expected)
            << "device " << c.paletteDevice << " mode " << c.mode << " active " << c.appActive;
        EXPECT_EQ(blink.PaletteInUse()[4].flags, c.expected ? kEntryAnimated : 0);
        const int before = blink.Phase();
        EXPECT_EQ(blink.BlinkTick().advanced, c.expected);
        EXPECT_EQ(blink.Phase(), c.expected ? before + 1 : before);
    }
}

TEST(BlinkPalette, ThePhaseWaitsWhileTheAnimationIsStopped) {
    BlinkPalette blink;
    blink.SetPaletteDevice(true);
    blink.SetBlinkMode(kBlinkModeForeground);
    blink.UpdateBlinkState();
    for (int i = 0; i < 3; ++i) {
        blink.BlinkTick();
    }
    blink.SetAppActive(false);
    blink.UpdateBlinkState();
    for (int i = 0; i < 5; ++i) {
        blink.BlinkTick();
    }
    EXPECT_EQ(blink.Phase(), 3);
    // Stopped: blinking text shows the static table colour again.
    EXPECT_EQ(blink.EntryColour(11), kPaletteTable[11]);
    blink.SetAppActive(true);
    blink.UpdateBlinkState();
    EXPECT_EQ(blink.EntryColour(11), Grey(170)) << "phase 3 shows the foreground";
    blink.BlinkTick();
    EXPECT_EQ(blink.Phase(), 4);
    EXPECT_EQ(blink.EntryColour(11), Grey(85)) << "phase 4 shows the background";
    EXPECT_EQ(blink.EntryColour(16), Grey(255));
    EXPECT_EQ(blink.EntryColour(3), Grey(255));
    for (int i = 0; i < 4; ++i) {
        blink.BlinkTick();
    }
    EXPECT_EQ(blink.Phase(), 0) << "eight phases make a period";
}
