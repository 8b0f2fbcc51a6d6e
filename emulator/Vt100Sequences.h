#pragma once

#include <cstdint>
#include <span>

// The VT100 escape and control sequences: what each recognised sequence means
// as screen operations and replies. The byte dispatcher decides when they are
// reached; these functions never look at parser syntax beyond their own byte.
namespace kestra::emulator {

struct Emulator;

struct EscapeAction {
    char byte;
    void (*action)(Emulator& emulator);
};

void EscapeFinal(Emulator& emulator, std::uint8_t byte);
void LineSizeFinal(Emulator& emulator, std::uint8_t byte);
void DesignateG0(Emulator& emulator, std::uint8_t byte);
void DesignateG1(Emulator& emulator, std::uint8_t byte);
void ControlSequenceByte(Emulator& emulator, std::uint8_t byte);
void SetMode(Emulator& emulator, std::int64_t mode, bool on);

// Erase to the end of the screen on the physical column, every row from the
// cursor row (column 0) or the next one becoming single width. Shared with
// the VT52 set.
void EraseBelowOnPhysicalColumn(Emulator& emulator);
void EraseLineRightOnPhysicalColumn(Emulator& emulator);

} // namespace kestra::emulator
