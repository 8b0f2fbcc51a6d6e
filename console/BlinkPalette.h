#pragma once

#include <array>
#include <cstdint>

// The eighteen colours console text is drawn with, and the animation that
// makes text and the cursor blink. Entries 0-3 are the four grey levels,
// 4-15 the blinking pairs (one per foreground level and a different
// background level), 16-17 the two cursor pens. The painter names entries;
// this object says what colour each entry shows now.
namespace kestra::console {

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const Rgb&) const = default;
};

inline constexpr int kPaletteSize = 18;
inline constexpr int kFirstBlinkEntry = 4;
inline constexpr int kEndBlinkEntries = 16;
inline constexpr int kCursorEntries[2] = {16, 17}; // pen 0 and pen 1
inline constexpr int kAnimatedEntries = kPaletteSize - kFirstBlinkEntry;
inline constexpr int kBlinkPhases = 8;
inline constexpr int kBlinkPeriodMs = 218; // one phase
inline constexpr std::array<std::uint8_t, 4> kGreyLevels = {0, 85, 170, 255};

// Marks an entry that the animation may change.
inline constexpr std::uint8_t kEntryAnimated = 1;

struct PaletteEntry {
    Rgb colour;
    std::uint8_t flags = 0;
    bool operator==(const PaletteEntry&) const = default;
};

// clang-format off
// The colours both palettes start from. Entries 4-15 show odd colours in the
// static palette, so that blinking text stays recognisable when nothing
// animates.
inline constexpr std::array<Rgb, kPaletteSize> kPaletteTable = {{
    //  red  green  blue
    {     0,    0,    0 },  //  0 grey level 0
    {    85,   85,   85 },  //  1 grey level 1
    {   170,  170,  170 },  //  2 grey level 2
    {   255,  255,  255 },  //  3 grey level 3
    {     0,    0,  255 },  //  4 blink: foreground 0, background 1
    {     0,    0,    0 },  //  5 blink: 0 on 2
    {     0,    0,    0 },  //  6 blink: 0 on 3
    {    85,   85,    0 },  //  7 blink: 1 on 0
    {    85,   85,  255 },  //  8 blink: 1 on 2
    {    85,   85,  255 },  //  9 blink: 1 on 3
    {   170,  170,    0 },  // 10 blink: 2 on 0
    {   170,  170,    0 },  // 11 blink: 2 on 1
    {   170,  170,  255 },  // 12 blink: 2 on 3
    {   255,  255,  255 },  // 13 blink: 3 on 0
    {   255,  255,  255 },  // 14 blink: 3 on 1
    {   255,  255,    0 },  // 15 blink: 3 on 2
    {     0,  255,  255 },  // 16 cursor pen 0
    {   255,    0,    0 },  // 17 cursor pen 1
}};
// clang-format on

using Palette = std::array<PaletteEntry, kPaletteSize>;

struct BlinkLevels {
    int foreground = 0;
    int background = 0;
    bool operator==(const BlinkLevels&) const = default;
};
// The two grey levels of blink entry 4-15.
BlinkLevels BlinkEntryLevels(int entry);

// The colour of any entry in a phase of the animation (entries 0-3 never
// change; blinking pairs show their foreground in phases 0-3 and their
// background in 4-7; the cursor entries are white in even phases and black
// in odd ones). Out-of-range entries are black.
Rgb AnimatedEntryColour(int entry, int phase);

// Whether an entry shows another colour after the animation moves from one
// phase to the other.
bool EntryChangesBetween(int entry, int fromPhase, int toPhase);

// Blink modes as the Properties store them.
inline constexpr int kBlinkModeNever = 0;
inline constexpr int kBlinkModeForeground = 1;
inline constexpr int kBlinkModeAlways = 2;

// What BlinkTick did: the phase before and after, and whether it moved.
struct BlinkStep {
    bool advanced = false;
    int fromPhase = 0;
    int toPhase = 0;
};

// The blink state of the program: one object, created by the frame, that the
// painters ask for colours. Inputs are set by the frame (activation, display
// kind) and the Properties (mode); UpdateBlinkState derives whether the
// animation runs.
class BlinkPalette {
public:
    void SetAppActive(bool active) { appActive_ = active; }
    void SetPaletteDevice(bool paletteDevice) { paletteDevice_ = paletteDevice; }
    void SetBlinkMode(int mode) { blinkMode_ = mode; }

    // "Foreground" animates only while the program is the active
    // application, "Always" in the background too, "Never" never, and
    // nothing animates on a display without palettes.
    void UpdateBlinkState();

    // One timer period: the next phase when the animation runs; otherwise
    // nothing, and the phase is kept for when it starts again.
    BlinkStep BlinkTick();

    bool AppActive() const { return appActive_; }
    bool PaletteDevice() const { return paletteDevice_; }
    int BlinkMode() const { return blinkMode_; }
    bool BlinkActive() const { return blinkActive_; }
    int Phase() const { return phase_; }

    // The palette in use: the animated one while blinking runs.
    const Palette& PaletteInUse() const;

    // The colour an entry shows now.
    Rgb EntryColour(int entry) const;

private:
    bool appActive_ = true;
    bool paletteDevice_ = false;
    int blinkMode_ = kBlinkModeForeground;
    bool blinkActive_ = false;
    int phase_ = 0;
};

} // namespace kestra::console
