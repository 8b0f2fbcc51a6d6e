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

// The line-drawing bytes the streams use map to box characters no text byte
// has, so a cell holding one was printed from the graphics set.
void UseLineDrawingDefinition() {
    termdef::ResetTerminalDefinition();
    termdef::TerminalDefinition& definition = termdef::TheTerminalDefinition();
    std::uint32_t code = 0x2500;
    for (char byte : std::string_view("jklmnqtuvwx")) {
        termdef::CharMapPut(definition.graphicMap, static_cast<std::uint8_t>(byte), code++);
    }
    definition.loaded = true;
}

// The effects each stream leaves: scrolls up or down, only inside a region,
// line size changes, erases, cursor jumps, blink/reverse/underline/bold all
// on screen, line-drawing characters on screen, and rows of every size.
TEST(StreamGeneratorTest, EachStreamDoesWhatItsNameSays) {
    const std::pair<StreamKind, std::string> cases[] = {
        {StreamKind::Plain, "up"},
        {StreamKind::Attributes, "up attrs"},
        {StreamKind::Addressing, "erases jumps"},
        {StreamKind::ScrollRegion, "up down region jumps"},
        {StreamKind::LineSizes, "up lines graphics sizes"},
    };
    ASSERT_EQ(std::size(cases), std::size(Streams));
    for (const auto& [kind, expected] : cases) {
        SCOPED_TRACE(StreamName(kind));
        UseLineDrawingDefinition();
        emulator::ReplayOptions options;
        options.rows = StreamRows;
        options.width = StreamColumns;
        emulator::ReplaySession session(options);
        Effects e;
        AttachEffects(session.emulator().screen, e);
        session.Receive(GenerateStream(kind));

        const ScreenBuffer& screen = session.emulator().screen;
        std::uint8_t attributes = 0;
        bool graphics = false;
        for (std::size_t i = 0; i < screen.rows * screen.cols; ++i) {
            attributes |= screen.attrs[i];
            graphics = graphics || (screen.chars[i] >= 0x2500 && screen.chars[i] < 0x250B);
        }
        const auto has = [&](std::uint8_t size) {
            return std::count(screen.lineAttrs.begin(), screen.lineAttrs.end(), size) > 0;
        };
        std::string seen;
        for (const auto& [effect, name] : std::initializer_list<std::pair<bool, const char*>>{
                 {e.scrolledUp > 0, "up"},
                 {e.scrolledDown > 0, "down"},
                 {e.regionScrolls > 0, "region"},
                 {e.lineSizeChanges > 0, "lines"},
                 {e.erases > 0, "erases"},
                 {e.cursorJumps > 0, "jumps"},
                 {attributes == (emulator::AttrBlink | emulator::AttrReverse |
                                 emulator::AttrUnderline | emulator::AttrBold),
                  "attrs"},
                 {graphics, "graphics"},
                 {has(emulator::LineDoubleWidth) && has(emulator::LineDoubleHeightTop) &&
                      has(emulator::LineDoubleHeightBottom) && has(emulator::LineSingleWidth),
                  "sizes"}}) {
            if (effect) {
                seen += (seen.empty() ? "" : " ") + std::string(name);
            }
        }
        EXPECT_EQ(seen, expected);
        EXPECT_TRUE(e.regionScrolls == 0 || e.regionScrolls == e.scrolledUp + e.scrolledDown)
            << "a stream scrolls either only inside a region or never";
        // No stream asks for a reply or rings the bell: a benchmark that
        // waits on neither measures only the screen.
        EXPECT_TRUE(session.sent().empty());
        EXPECT_EQ(session.bells(), 0u);
    }
    termdef::ResetTerminalDefinition();
}

} // namespace
} // namespace kestra::bench
