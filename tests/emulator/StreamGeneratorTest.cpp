// The benchmark streams: reproducible, exactly the documented size, and each
// doing to a screen what its name promises (and not what the others do), so a
// throughput figure per stream measures what it says.

#include "bench/StreamGenerator.h"

#include "emulator/ReplaySession.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <string>

namespace kestra::bench {
namespace {

using emulator::ScreenBuffer;

TEST(StreamGeneratorTest, EachStreamIsFoundByNameExactlyItsSizeAndTheSameEveryTime) {
    std::set<std::string_view> names;
    for (const StreamInfo& stream : Streams) {
        SCOPED_TRACE(stream.name);
        EXPECT_TRUE(names.insert(stream.name).second);
        EXPECT_EQ(FindStream(stream.name), stream.kind);
        EXPECT_EQ(StreamName(stream.kind), stream.name);
        const std::string first = GenerateStream(stream.kind);
        EXPECT_EQ(first.size(), StreamBytes);
        EXPECT_TRUE(first == GenerateStream(stream.kind)) << "not reproducible";
        EXPECT_FALSE(first == GenerateStream(stream.kind, DefaultSeed + 1)) << "seed ignored";
        // A shorter stream is the start of the longer one: the size only cuts.
        EXPECT_EQ(GenerateStream(stream.kind, DefaultSeed, 1000), first.substr(0, 1000));
    }
    EXPECT_FALSE(FindStream("PLAIN").has_value());
    EXPECT_FALSE(FindStream("").has_value());
}

// What feeding a stream through an emulator did, collected by its hooks.
struct Effects {
    unsigned scrolledUp = 0;
    unsigned scrolledDown = 0;
    unsigned regionScrolls = 0; // scrolls inside a region smaller than the screen
    unsigned lineSizeChanges = 0;
    unsigned erases = 0;      // multi-cell changes other than a scroll's new line
    unsigned cursorJumps = 0; // moves of more than one row at once
    bool inScroll = false;
    std::uint32_t lastRow = 0;
};

Effects& EffectsOf(ScreenBuffer& screen) {
    return *static_cast<Effects*>(screen.owner);
}

void NoteScroll(ScreenBuffer& s) {
    Effects& e = EffectsOf(s);
    e.inScroll = true; // until the scroll's FlushChanges
    if (s.regionTop != 0 || s.regionBottom != s.rows - 1) {
        ++e.regionScrolls;
    }
}

void AttachEffects(ScreenBuffer& screen, Effects& effects) {
    screen.hooks.ScrolledUp = [](ScreenBuffer& s) {
        ++EffectsOf(s).scrolledUp;
        NoteScroll(s);
    };
    screen.hooks.ScrolledDown = [](ScreenBuffer& s) {
        ++EffectsOf(s).scrolledDown;
        NoteScroll(s);
    };
    screen.hooks.FlushChanges = [](ScreenBuffer& s) { EffectsOf(s).inScroll = false; };
    screen.hooks.CellsChanged = [](ScreenBuffer& s, unsigned count) {
        Effects& e = EffectsOf(s);
        if (count > 1 && !e.inScroll) {
            ++e.erases;
        }
    };
    screen.hooks.LineChanged = [](ScreenBuffer& s) { ++EffectsOf(s).lineSizeChanges; };
    screen.hooks.CursorMoved = [](ScreenBuffer& s) {
        Effects& e = EffectsOf(s);
        if (s.shownRow > e.lastRow + 1 || s.shownRow + 1 < e.lastRow) {
            ++e.cursorJumps;
        }
        e.lastRow = s.shownRow;
    };
    screen.owner = &effects;
    screen.attached = 1;
}

struct Expected {
    StreamKind kind;
    bool scrollsUp;
    bool scrollsDown;
    bool inRegion;
    bool lineSizes;
    bool erases;
    bool jumps;
    bool allAttributes; // blink, reverse, underline and bold all left on screen
    bool graphics;      // line-drawing characters left on screen
};

// clang-format off
constexpr Expected StreamEffects[] = {
//   kind                      up     down   region lines  erases jumps  attrs  graphics
    {StreamKind::Plain,        true,  false, false, false, false, false, false, false},
    {StreamKind::Attributes,   true,  false, false, false, false, false, true,  false},
    {StreamKind::Addressing,   false, false, false, false, true,  true,  false, false},
    {StreamKind::ScrollRegion, true,  true,  true,  false, false, true,  false, false},
    {StreamKind::LineSizes,    true,  false, false, true,  false, false, false, true},
};
// clang-format on

// The line-drawing bytes the streams use.
constexpr std::string_view LineDrawingBytes = "jklmnqtuvwx";

// The line-drawing bytes map to box characters, so a cell holding one of
// those codes was printed from the graphics set.
void UseLineDrawingDefinition() {
    termdef::ResetTerminalDefinition();
    termdef::TerminalDefinition& definition = termdef::TheTerminalDefinition();
    std::uint32_t code = 0x2500;
    for (char byte : LineDrawingBytes) {
        termdef::CharMapPut(definition.graphicMap, static_cast<std::uint8_t>(byte), code++);
    }
    definition.loaded = true;
}

// Line-drawing bytes are mapped to codes no text byte has.
bool HasLineDrawing(const emulator::Emulator& emulator) {
    const ScreenBuffer& screen = emulator.screen;
    const auto cells = screen.chars.begin() + screen.rows * screen.cols;
    return std::any_of(LineDrawingBytes.begin(), LineDrawingBytes.end(), [&](char byte) {
        const std::uint16_t code = emulator.graphicCodes[static_cast<std::uint8_t>(byte)];
        return code != static_cast<std::uint8_t>(byte) &&
               std::find(screen.chars.begin(), cells, code) != cells;
    });
}

std::uint8_t AttributesOnScreen(const ScreenBuffer& screen) {
    std::uint8_t seen = 0;
    for (std::size_t i = 0; i < screen.rows * screen.cols; ++i) {
        seen |= screen.attrs[i];
    }
    return seen;
}

TEST(StreamGeneratorTest, EachStreamDoesWhatItsNameSays) {
    ASSERT_EQ(std::size(StreamEffects), std::size(Streams));
    for (const Expected& expected : StreamEffects) {
        SCOPED_TRACE(StreamName(expected.kind));
        UseLineDrawingDefinition();
        emulator::ReplayOptions options;
        options.rows = StreamRows;
        options.width = StreamColumns;
        emulator::ReplaySession session(options);
        Effects effects;
        AttachEffects(session.emulator().screen, effects);
        session.Receive(GenerateStream(expected.kind));

        const ScreenBuffer& screen = session.emulator().screen;
        EXPECT_EQ(effects.scrolledUp > 0, expected.scrollsUp);
        EXPECT_EQ(effects.scrolledDown > 0, expected.scrollsDown);
        EXPECT_EQ(effects.regionScrolls > 0, expected.inRegion);
        if (expected.inRegion) {
            // Every scroll of that stream happens inside a region.
            EXPECT_EQ(effects.regionScrolls, effects.scrolledUp + effects.scrolledDown);
        }
        EXPECT_EQ(effects.lineSizeChanges > 0, expected.lineSizes);
        EXPECT_EQ(effects.erases > 0, expected.erases);
        EXPECT_EQ(effects.cursorJumps > 0, expected.jumps);
        const std::uint8_t allBits = emulator::AttrBlink | emulator::AttrReverse |
                                     emulator::AttrUnderline | emulator::AttrBold;
        EXPECT_EQ(AttributesOnScreen(screen) == allBits, expected.allAttributes);
        EXPECT_EQ(HasLineDrawing(session.emulator()), expected.graphics);
        if (expected.lineSizes) {
            // The screen ends with rows of every size.
            for (std::uint8_t size :
                 {emulator::LineDoubleWidth, emulator::LineDoubleHeightTop,
                  emulator::LineDoubleHeightBottom, emulator::LineSingleWidth}) {
                EXPECT_NE(std::count(screen.lineAttrs.begin(), screen.lineAttrs.end(), size), 0)
                    << "line size " << int{size};
            }
        }
        // No stream asks for a reply or rings the bell: a benchmark that
        // waits on neither measures only the screen.
        EXPECT_TRUE(session.sent().empty());
        EXPECT_EQ(session.bells(), 0u);
    }
    termdef::ResetTerminalDefinition();
}

} // namespace
} // namespace kestra::bench
