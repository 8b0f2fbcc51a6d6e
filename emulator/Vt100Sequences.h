#pragma once

#include <cstdint>
#include <span>

// The VT100 escape and control sequences: what each recognised sequence means
// as screen operations and replies. The byte dispatcher decides when they are
// reached; these functions never look at parser syntax beyond their own byte.
namespace kestra::emulator {

struct Emulator;
struct EmulationState;

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

// Pieces that the VT102 set shares with this one.
struct ScreenBuffer;
void MakeRowsSingleWidth(ScreenBuffer& screen, std::uint32_t first, std::uint32_t last);
void SetTabStop(EmulationState& state, std::uint32_t column, bool set);
// TBC: p = 0 the stop at the cursor's column, 3 every stop; others nothing.
void ClearTabStops(Emulator& emulator, std::int32_t p);
void SaveCursor(Emulator& emulator);
void RestoreCursor(Emulator& emulator);
void SelectGraphicRendition(ScreenBuffer& screen, std::int32_t p);
void AppendNumber(char*& out, std::uint32_t value);
// ESC [ row ; column R, the row counted from the region's top in origin mode.
void ReportCursorPosition(Emulator& emulator);

} // namespace kestra::emulator
