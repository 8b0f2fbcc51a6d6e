#pragma once

#include "emulator/Vt100Sequences.h"

#include <cstdint>
#include <span>

// The VT52 escape set, shared by the GENRAD dialect, and the GENRAD attribute
// commands (ESC :).
namespace kestra::emulator {

struct Emulator;

// The byte after ESC in the VT52/GENRAD set; false when the table lacks it.
bool Vt52EscapeFinal(Emulator& emulator, std::uint8_t byte);

// The byte after ESC :.
void GenradAttributeFinal(Emulator& emulator, std::uint8_t byte);

struct GenradAttributeCommand {
    char byte;
    enum Kind { AttributeOn, AttributeOff, Other } kind;
    std::uint8_t bits; // for AttributeOn / AttributeOff
    void (*action)(Emulator& emulator);
};

// Second byte of ESC Y: the column, the row having been kept in pendingRow.
void DirectCursorAddress(Emulator& emulator, std::uint8_t columnByte);

} // namespace kestra::emulator
