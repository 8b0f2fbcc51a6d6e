// Arbitrary server output must never take the cursor, the shown cursor or the
// scroll region off the screen, nor the column count out of the storage.
// The first two bytes choose the screen: rows (2 to 254), then width,
// auto-wrap and dialect; the rest is received one byte at a time, with the
// invariants checked after each byte.

#include "emulator/Emulator.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using kestra::emulator::Emulator;
using kestra::emulator::ScreenBuffer;

void Require(bool holds, const char* what, const ScreenBuffer& screen) {
    if (!holds) {
        std::fprintf(stderr,
                     "invariant broken: %s (rows %u cols %u cursor %u,%u shown %u,%u "
                     "region %u..%u)\n",
                     what, screen.rows, screen.cols, screen.row, screen.col, screen.shownRow,
                     screen.shownCol, screen.regionTop, screen.regionBottom);
        std::abort();
    }
}

void CheckInvariants(const ScreenBuffer& screen) {
    Require(screen.cols >= 1 && screen.cols <= kestra::emulator::kMaxColumns, "cols", screen);
    Require(screen.row < screen.rows && screen.col < screen.cols, "cursor", screen);
    Require(screen.shownRow < screen.rows && screen.shownCol < screen.cols, "shown cursor", screen);
    Require(screen.regionTop <= screen.regionBottom && screen.regionBottom < screen.rows, "region",
            screen);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const unsigned rows = 2 + data[0] % 253;
    const std::uint8_t setup = data[1];
    static kestra::termdef::TerminalDefinition definition;
    definition = {};
    const unsigned dialect = (setup >> 2) % 3; // VT100, VT52, GENRAD
    definition.vt52Type = dialect == 1;
    definition.genradType = dialect == 2;
    kestra::termdef::CharMapPut(definition.graphicMap, 'q', 0xFFF5);

    static Emulator emulator; // reused: its storage is what a console keeps
    InitEmulator(emulator, definition, rows);
    emulator.screen.SetColumns((setup & 1) ? 132 : 80);
    emulator.screen.autowrap = (setup & 2) ? 1 : 0;
    CheckInvariants(emulator.screen);
    for (std::size_t i = 2; i < size; ++i) {
        kestra::emulator::ReceiveByte(emulator, data[i]);
        CheckInvariants(emulator.screen);
    }
    if (setup & 0x80) {
        kestra::emulator::ResetEmulator(emulator, setup & 1);
        CheckInvariants(emulator.screen);
    }
    return 0;
}
