#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// The VT102 console's byte dispatcher: DEC's parser (intermediates, private
// markers, strings consumed whole), the pending wrap, origin mode, the
// editing functions and the VT102's reports. It acts on the same screen
// buffer and shares the VT100 set's pieces where the two agree.
namespace kestra::emulator {

struct Emulator;

// One received byte on a VT102 console that is not in its VT52 mode.
void ReceiveVt102Byte(Emulator& emulator, std::uint8_t byte);

// Takes the leading bytes that change nothing on the screen (ESC, ESC [ and
// the parameters of a control sequence), each first masked; returns how
// many. The cursor must stand on a single-width row.
std::size_t TakeVt102QuietBytes(Emulator& emulator, std::span<const std::uint8_t> bytes,
                                std::uint8_t mask);

// Whether the next printable byte may join a run of text written without
// the dispatcher: no wrap pending, replace mode, an ASCII or graphics set.
bool Vt102PrintsRuns(const Emulator& emulator);

} // namespace kestra::emulator
