#include "console/BlinkPalette.h"

#include <gtest/gtest.h>
#include <set>

using namespace kestra::console;

namespace {

Rgb Grey(std::uint8_t v) {
    return Rgb{v, v, v};
}

BlinkPalette Running(int mode = kBlinkModeForeground) {
    BlinkPalette blink;
    blink.SetPaletteDevice(true);
    blink.SetBlinkMode(mode);
    blink.UpdateBlinkState();
    return blink;
}

} // namespace

TEST(BlinkPalette, PalettesShareTheTableAndOnlyTheAnimatedOneMarksEntries) {
    const Palette fixed = StaticPalette();
    const Palette animated = AnimatedPalette();
    for (int i = 0; i < kPaletteSize; ++i) {
        const auto at = static_cast<std::size_t>(i);
        EXPECT_EQ(fixed[at].colour, kPaletteTable[at]) << i;
        EXPECT_EQ(animated[at].colour, kPaletteTable[at]) << i;
        EXPECT_EQ(fixed[at].flags, 0) << i;
        EXPECT_EQ(animated[at].flags, i >= 4 ? kEntryAnimated : 0) << i;
    }
    for (int level = 0; level < 4; ++level) {
        EXPECT_EQ(kPaletteTable[static_cast<std::size_t>(level)],
                  Grey(kGreyLevels[static_cast<std::size_t>(level)]));
    }
}

TEST(BlinkPalette, EveryPairOfDifferentLevelsHasItsOwnBlinkEntry) {
    std::set<int> entries;
    for (int f = 0; f < 4; ++f) {
        for (int b = 0; b < 4; ++b) {
            const int entry = BlinkEntry(f, b);
            if (f == b) {
                EXPECT_EQ(entry, -1) << f;
                continue;
            }
            EXPECT_GE(entry, kFirstBlinkEntry) << f << " on " << b;
            EXPECT_LT(entry, kEndBlinkEntries) << f << " on " << b;
            EXPECT_EQ(BlinkEntryLevels(entry), (BlinkLevels{f, b})) << f << " on " << b;
            entries.insert(entry);
        }
    }
    EXPECT_EQ(entries.size(), 12u);
    // The numbering counts background levels in rising order.
    EXPECT_EQ(BlinkEntry(0, 1), 4);
    EXPECT_EQ(BlinkEntry(2, 1), 11);
    EXPECT_EQ(BlinkEntry(3, 2), 15);
    EXPECT_EQ(BlinkEntry(4, 0), -1);
}

TEST(BlinkPalette, BlinkingTextShowsForFourPhasesAndTheCursorFlipsEveryPhase) {
    for (int phase = 0; phase < kBlinkPhases; ++phase) {
        const auto row = PhaseRow(phase);
        for (int entry = kFirstBlinkEntry; entry < kEndBlinkEntries; ++entry) {
            const BlinkLevels levels = BlinkEntryLevels(entry);
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
        for (int grey = 0; grey < 4; ++grey) {
            EXPECT_EQ(AnimatedEntryColour(grey, phase),
                      kPaletteTable[static_cast<std::size_t>(grey)]);
        }
    }
}

TEST(BlinkPalette, BlinkEntriesChangeOnlyWhereTextAppearsOrDisappears) {
    for (int entry = kFirstBlinkEntry; entry < kEndBlinkEntries; ++entry) {
        std::vector<int> changes;
        for (int phase = 0; phase < kBlinkPhases; ++phase) {
            if (EntryChangesBetween(entry, phase, (phase + 1) % kBlinkPhases)) {
                changes.push_back(phase);
            }
        }
        EXPECT_EQ(changes, (std::vector<int>{3, 7})) << entry;
    }
    EXPECT_FALSE(EntryChangesBetween(2, 3, 4));
}

TEST(BlinkPalette, AFullPeriodIsEightTicks) {
    BlinkPalette blink = Running();
    ASSERT_TRUE(blink.BlinkActive());
    const int textEntry = BlinkEntry(2, 1);
    int visible = 0;
    std::set<int> phases;
    for (int tick = 0; tick < kBlinkPhases; ++tick) {
        const BlinkStep step = blink.BlinkTick();
        EXPECT_TRUE(step.advanced);
        EXPECT_EQ(step.fromPhase, tick);
        EXPECT_EQ(step.toPhase, (tick + 1) % kBlinkPhases);
        phases.insert(blink.Phase());
        visible += blink.EntryColour(textEntry) == Grey(170) ? 1 : 0;
    }
    EXPECT_EQ(blink.Phase(), 0);
    EXPECT_EQ(phases.size(), 8u);
    EXPECT_EQ(visible, 4);
    EXPECT_EQ(kBlinkPhases * kBlinkPeriodMs, 1744);
}

TEST(BlinkPalette, BlinkModeAppActivityAndDisplayDecideWhetherItRuns) {
    struct Case {
        bool paletteDevice;
        int mode;
        bool appActive;
        bool expected;
    };
    const Case cases[] = {
        {true, kBlinkModeNever, true, false},     {true, kBlinkModeNever, false, false},
        {true, kBlinkModeForeground, true, true}, {true, kBlinkModeForeground, false, false},
        {true, kBlinkModeAlways, true, true},     {true, kBlinkModeAlways, false, true},
        {false, kBlinkModeNever, true, false},    {false, kBlinkModeForeground, true, false},
        {false, kBlinkModeAlways, true, false},   {false, kBlinkModeAlways, false, false},
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

TEST(BlinkPalette, AFreshStateIsStaticUntilThePaletteMessagesArrive) {
    BlinkPalette blink;
    blink.UpdateBlinkState();
    EXPECT_TRUE(blink.AppActive());
    EXPECT_EQ(blink.BlinkMode(), kBlinkModeForeground);
    EXPECT_FALSE(blink.BlinkActive());
    for (int entry = 0; entry < kPaletteSize; ++entry) {
        EXPECT_EQ(blink.EntryColour(entry), kPaletteTable[static_cast<std::size_t>(entry)])
            << entry;
    }
    EXPECT_EQ(blink.EntryColour(kPaletteSize), Rgb{});
    EXPECT_EQ(blink.EntryColour(-1), Rgb{});
}

TEST(BlinkPalette, ThePhaseWaitsWhileTheAnimationIsStopped) {
    BlinkPalette blink = Running(kBlinkModeForeground);
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
}
