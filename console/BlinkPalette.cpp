#include "console/BlinkPalette.h"

namespace kestra::console {

namespace {

constexpr std::uint8_t kCursorOn = 255;
constexpr std::uint8_t kCursorOff = 0;

Rgb Grey(int level) {
    const std::uint8_t v = kGreyLevels[static_cast<std::size_t>(level)];
    return Rgb{v, v, v};
}

constexpr bool IsBlinkEntry(int entry) {
    return entry >= kFirstBlinkEntry && entry < kEndBlinkEntries;
}

constexpr bool IsAnimatedEntry(int entry) {
    return entry >= kFirstBlinkEntry && entry < kPaletteSize;
}

constexpr Palette MakePalette(std::uint8_t animatedFlags) {
    Palette palette{};
    for (int i = 0; i < kPaletteSize; ++i) {
        const auto at = static_cast<std::size_t>(i);
        palette[at] = PaletteEntry{
            kPaletteTable[at], static_cast<std::uint8_t>(IsAnimatedEntry(i) ? animatedFlags : 0)};
    }
    return palette;
}

constexpr Palette kStatic = MakePalette(0);
constexpr Palette kAnimated = MakePalette(kEntryAnimated);

} // namespace

BlinkLevels BlinkEntryLevels(int entry) {
    if (!IsBlinkEntry(entry)) {
        return BlinkLevels{};
    }
    const int foreground = (entry - kFirstBlinkEntry) / 3;
    const int k = (entry - kFirstBlinkEntry) % 3;
    return BlinkLevels{foreground, k < foreground ? k : k + 1};
}

Rgb AnimatedEntryColour(int entry, int phase) {
    phase = ((phase % kBlinkPhases) + kBlinkPhases) % kBlinkPhases;
    if (entry >= 0 && entry < kFirstBlinkEntry) {
        return kPaletteTable[static_cast<std::size_t>(entry)];
    }
    if (IsBlinkEntry(entry)) {
        const BlinkLevels levels = BlinkEntryLevels(entry);
        return Grey(phase < 4 ? levels.foreground : levels.background);
    }
    if (entry == kCursorEntries[0] || entry == kCursorEntries[1]) {
        const std::uint8_t v = phase % 2 == 0 ? kCursorOn : kCursorOff;
        return Rgb{v, v, v};
    }
    return Rgb{};
}

bool EntryChangesBetween(int entry, int fromPhase, int toPhase) {
    return AnimatedEntryColour(entry, fromPhase) != AnimatedEntryColour(entry, toPhase);
}

void BlinkPalette::UpdateBlinkState() {
    const int needed = appActive_ ? kBlinkModeForeground : kBlinkModeAlways;
    blinkActive_ = paletteDevice_ && blinkMode_ >= needed;
}

BlinkStep BlinkPalette::BlinkTick() {
    BlinkStep step{false, phase_, phase_};
    if (blinkActive_) {
        phase_ = (phase_ + 1) % kBlinkPhases;
        step.advanced = true;
        step.toPhase = phase_;
    }
    return step;
}

const Palette& BlinkPalette::PaletteInUse() const {
    return blinkActive_ ? kAnimated : kStatic;
}

Rgb BlinkPalette::EntryColour(int entry) const {
    if (entry < 0 || entry >= kPaletteSize) {
        return Rgb{};
    }
    // The animated entries show the current phase from the moment the
    // animation runs, not the table colours until the first tick: a user
    // would see a flash of blue text otherwise.
    if (blinkActive_) {
        return AnimatedEntryColour(entry, phase_);
    }
    return kPaletteTable[static_cast<std::size_t>(entry)];
}

} // namespace kestra::console
