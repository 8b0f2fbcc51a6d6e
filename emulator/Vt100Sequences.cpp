#include "emulator/Vt100Sequences.h"

#include "emulator/Emulator.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace kestra::emulator {

namespace {

constexpr std::uint8_t kDc1 = 0x11; // the answer to ESC c

} // namespace

void MakeRowsSingleWidth(ScreenBuffer& screen, std::uint32_t first, std::uint32_t last) {
    for (std::uint32_t r = first; r <= last && r < screen.rows; ++r) {
        screen.SetLineAttribute(r, kLineSingleWidth);
    }
}

namespace {

void ResetWholeRegion(ScreenBuffer& screen) {
    screen.SetScrollRegion(0, screen.rows - 1);
}

} // namespace

void SetTabStop(EmulationState& state, std::uint32_t column, bool set) {
    if (column >= kTabStopColumns) {
        return;
    }
    const auto bit = static_cast<std::uint8_t>(1u << (column % 8));
    if (set) {
        state.tabStops[column / 8] |= bit;
    } else {
        state.tabStops[column / 8] &= static_cast<std::uint8_t>(~bit);
    }
}

void ClearTabStops(Emulator& emulator, std::int32_t p) {
    if (p == 0) {
        SetTabStop(emulator.state, emulator.screen.col, false);
    } else if (p == 3) {
        emulator.state.tabStops.fill(0);
    }
}

void SaveCursor(Emulator& emulator) {
    const ScreenBuffer& screen = emulator.screen;
    EmulationState& state = emulator.state;
    state.savedRow = static_cast<std::uint16_t>(screen.row);
    state.savedCol = static_cast<std::uint16_t>(screen.col);
    state.savedAttr = screen.attr;
    state.savedCursorVisible = static_cast<std::int32_t>(screen.cursorVisible);
}

// Without an earlier save this restores the zero state: hidden, home, plain.
void RestoreCursor(Emulator& emulator) {
    ScreenBuffer& screen = emulator.screen;
    const EmulationState& state = emulator.state;
    if (state.savedCursorVisible) {
        screen.ShowCursor();
    } else {
        screen.HideCursor();
    }
    screen.MoveCursor(state.savedRow, state.savedCol);
    screen.attr = state.savedAttr;
}

namespace {

void SendIdentification(Emulator& emulator) {
    SendString(emulator, emulator.definition->idString);
}

// ESC c: modes, character sets, the column count and auto-wrap stay.
void ResetByEscapeC(Emulator& emulator) {
    ScreenBuffer& screen = emulator.screen;
    screen.attr &= static_cast<std::uint8_t>(~0x1Fu);
    emulator.state.spacedChars = 0;
    MakeRowsSingleWidth(screen, 0, screen.rows - 1);
    ResetWholeRegion(screen);
    ResetTabStops(emulator.state);
    screen.ShowCursor();
    screen.HomeCursor();
    screen.EraseScreenBelow();
    const char reply[] = {static_cast<char>(kDc1)};
    SendString(emulator, std::string_view(reply, 1));
}

void StartControlSequence(Emulator& emulator) {
    EmulationState& state = emulator.state;
    state.parserState = StateControlSequence;
    state.paramIndex = 0;
    state.privateOffset = 0;
    state.params.fill(0);
}

// clang-format off
constexpr EscapeAction kVt100Escapes[] = {
    {'#', [](Emulator& e) { e.state.parserState = StateLineSize; }},
    {'(', [](Emulator& e) { e.state.parserState = StateDesignateG0; }},
    {')', [](Emulator& e) { e.state.parserState = StateDesignateG1; }},
    {'7', SaveCursor},
    {'8', RestoreCursor},
    {'=', [](Emulator& e) { e.state.keypadApplication = 1; }},
    {'>', [](Emulator& e) { e.state.keypadApplication = 0; }},
    {'D', [](Emulator& e) { e.screen.CursorDown(true); }},                         // index
    {'E', [](Emulator& e) { e.screen.CarriageReturn(); e.screen.LineFeed(); }},    // next line
    {'H', [](Emulator& e) { SetTabStop(e.state, e.screen.col, true); }},
    {'M', [](Emulator& e) { e.screen.CursorUp(true); }},                           // reverse index
    {'Z', SendIdentification},
    {'[', StartControlSequence},
    {'c', ResetByEscapeC},
};
// clang-format on

// The table's action per byte, computed once at compile time: every CSI and
// every escape passes here, and a search of the table would cost a dozen
// compares for the common ESC [. The first row for a byte wins, as a search
// in table order would find it.
constexpr auto kEscapeActionByByte = [] {
    std::array<void (*)(Emulator&), 256> actions{};
    for (const EscapeAction& entry : kVt100Escapes) {
        auto& slot = actions[static_cast<std::uint8_t>(entry.byte)];
        if (!slot) {
            slot = entry.action;
        }
    }
    return actions;
}();

// Runs an erase on the physical column of a double-width row.
template <typename Erase>
void OnPhysicalColumn(ScreenBuffer& screen, Erase erase) {
    const bool doubleWidth = screen.IsDoubleWidthRow();
    if (doubleWidth) {
        screen.MoveCursor(screen.row, 2 * screen.col);
    }
    erase();
    if (doubleWidth) {
        screen.MoveCursor(screen.row, screen.col / 2);
    }
}

void EraseInDisplay(ScreenBuffer& screen, std::int32_t p) {
    switch (p) {
    case 0:
        OnPhysicalColumn(screen, [&screen] {
            screen.EraseScreenBelow();
            MakeRowsSingleWidth(screen, screen.col == 0 ? screen.row : screen.row + 1,
                                screen.rows - 1);
        });
        break;
    case 1:
        // The cursor row keeps its line size even in column 0: the erase
        // leaves the cursor cell, so the row still holds text.
        OnPhysicalColumn(screen, [&screen] {
            screen.EraseScreenAbove();
            if (screen.row > 0) {
                MakeRowsSingleWidth(screen, 0, screen.row - 1);
            }
        });
        break;
    case 2:
        OnPhysicalColumn(screen, [&screen] {
            screen.EraseScreenAbove();
            screen.EraseScreenBelow();
            MakeRowsSingleWidth(screen, 0, screen.rows - 1);
        });
        break;
    default: break;
    }
}

void EraseInLine(ScreenBuffer& screen, std::int32_t p) {
    switch (p) {
    case 0: OnPhysicalColumn(screen, [&screen] { screen.EraseLineRight(); }); break;
    case 1: OnPhysicalColumn(screen, [&screen] { screen.EraseLineLeft(); }); break;
    case 2:
        OnPhysicalColumn(screen, [&screen] {
            screen.EraseLineLeft();
            screen.EraseLineRight();
        });
        break;
    default: break;
    }
}

struct Rendition {
    std::int32_t parameter;
    std::uint8_t clear; // bits cleared first
    std::uint8_t set;   // then bits set
};

// clang-format off
constexpr Rendition kRenditions[] = {
    {0,  0x1F,          0},
    {1,  0,             kAttrBold},
    {2,  kAttrBold,      0},
    {21, kAttrBold,      0},
    {22, kAttrBold,      0},
    {4,  0,             kAttrUnderline},
    {5,  0,             kAttrBlink},
    {7,  0,             kAttrReverse},
    {24, kAttrUnderline, 0},
    {25, kAttrBlink,     0},
    {27, kAttrReverse,   0},
};
// clang-format on

// The table's row index plus one per parameter below 32 (0: none), computed
// at compile time so that each SGR parameter costs one lookup, not a search.
// The first row for a parameter wins, as a search in table order would find it.
constexpr std::int32_t kRenditionIndexLimit = 32;
constexpr auto kRenditionByParameter = [] {
    std::array<std::uint8_t, kRenditionIndexLimit> rows{};
    for (std::size_t i = std::size(kRenditions); i-- > 0;) {
        rows[static_cast<std::size_t>(kRenditions[i].parameter)] = static_cast<std::uint8_t>(i + 1);
    }
    return rows;
}();
static_assert(std::ranges::all_of(kRenditions,
                                  [](const Rendition& rendition) {
                                      return rendition.parameter >= 0 &&
                                             rendition.parameter < kRenditionIndexLimit;
                                  }),
              "every rendition parameter has a slot in the index");

} // namespace

void SelectGraphicRendition(ScreenBuffer& screen, std::int32_t p) {
    if (p < 0 || p >= kRenditionIndexLimit || kRenditionByParameter[p] == 0) {
        return;
    }
    const Rendition& rendition = kRenditions[kRenditionByParameter[p] - 1];
    screen.attr = static_cast<std::uint8_t>((screen.attr & ~rendition.clear) | rendition.set);
}

void AppendNumber(char*& out, std::uint32_t value) {
    out = std::to_chars(out, out + 10, value).ptr;
}

void ReportCursorPosition(Emulator& emulator) {
    const ScreenBuffer& screen = emulator.screen;
    std::uint32_t r = screen.row;
    if (emulator.state.originMode && screen.regionTop <= r && r <= screen.regionBottom) {
        r -= screen.regionTop;
    }
    std::array<char, 32> reply{};
    char* out = reply.data();
    *out++ = '\x1b';
    *out++ = '[';
    AppendNumber(out, r + 1);
    *out++ = ';';
    AppendNumber(out, screen.col + 1);
    *out++ = 'R';
    SendString(emulator, std::string_view(reply.data(), out - reply.data()));
}

namespace {

void DeviceStatusReport(Emulator& emulator, std::int32_t p) {
    if (p == 5) {
        SendString(emulator, "\x1b[0n");
    } else if (p == 6) {
        ReportCursorPosition(emulator);
    }
}

// The final byte's action once per collected parameter: raw value p, count n.
void GeneralFinal(Emulator& emulator, std::uint8_t final, std::int32_t p) {
    ScreenBuffer& screen = emulator.screen;
    EmulationState& state = emulator.state;
    const auto n = static_cast<std::uint32_t>(p >= 1 ? p : 1);
    switch (final) {
    case 'A': screen.CursorUpBy(n); break;
    case 'B': screen.CursorDownBy(n); break;
    case 'C': screen.CursorRightBy(n); break;
    case 'D': screen.CursorLeftBy(n); break;
    case 'J': EraseInDisplay(screen, p); break;
    case 'K': EraseInLine(screen, p); break;
    // The storage is 132 columns wide: a negative width clamps there, 0 to 1.
    case 'W': screen.SetColumns(static_cast<std::uint32_t>(p)); break;
    case 'c':
        if (p == 0) {
            SendIdentification(emulator);
        }
        break;
    case 'g': ClearTabStops(emulator, p); break;
    case 'h': SetMode(emulator, std::int64_t{state.privateOffset} + p, true); break;
    case 'l': SetMode(emulator, std::int64_t{state.privateOffset} + p, false); break;
    case 'm': SelectGraphicRendition(screen, p); break;
    case 'n': DeviceStatusReport(emulator, p); break;
    default: break; // q (LEDs), y (tests) and the unknown finals
    }
}

std::uint32_t ZeroBased(std::int32_t parameter) {
    return parameter > 0 ? static_cast<std::uint32_t>(parameter) - 1 : 0;
}

void PositionFinal(Emulator& emulator, std::uint8_t final) {
    ScreenBuffer& screen = emulator.screen;
    const EmulationState& state = emulator.state;
    const std::uint32_t r0 = ZeroBased(state.params[0]);
    const std::uint32_t c0 = ZeroBased(state.params[1]);
    switch (final) {
    case 'H':
    case 'f': screen.MoveCursor(r0, c0); break; // absolute: origin mode not applied
    case 'r':
        screen.SetScrollRegion(r0 & 0xFFFF, c0 & 0xFFFF);
        screen.MoveCursor(state.originMode ? screen.regionTop : 0, 0);
        break;
    default: break; // F
    }
}

} // namespace

void EscapeFinal(Emulator& emulator, std::uint8_t byte) {
    emulator.state.parserState = StateText;
    if (const auto action = kEscapeActionByByte[byte]) {
        action(emulator);
    }
}

void LineSizeFinal(Emulator& emulator, std::uint8_t byte) {
    emulator.state.parserState = StateText;
    ScreenBuffer& screen = emulator.screen;
    switch (byte) {
    case '3': screen.SetLineAttribute(screen.row, kLineDoubleHeightTop); break;
    case '4': screen.SetLineAttribute(screen.row, kLineDoubleHeightBottom); break;
    case '5': screen.SetLineAttribute(screen.row, kLineSingleWidth); break;
    case '6': screen.SetLineAttribute(screen.row, kLineDoubleWidth); break;
    default: break;
    }
}

namespace {

void Designate(std::int32_t& set, std::uint8_t byte) {
    if (byte == '0') {
        set = kCharSetGraphics;
    } else if (byte == 'B') {
        set = kCharSetAscii;
    }
}

} // namespace

void DesignateG0(Emulator& emulator, std::uint8_t byte) {
    emulator.state.parserState = StateText;
    Designate(emulator.state.g0Set, byte);
}

void DesignateG1(Emulator& emulator, std::uint8_t byte) {
    emulator.state.parserState = StateText;
    Designate(emulator.state.g1Set, byte);
}

void ControlSequenceByte(Emulator& emulator, std::uint8_t byte) {
    EmulationState& state = emulator.state;
    // Digits first: they are most of a sequence's bytes.
    if (static_cast<unsigned>(byte - '0') <= 9) {
        state.AddParameterDigit(byte - '0');
        return;
    }
    if (byte == ';') {
        // An eleventh and later parameter each restart the tenth.
        if (state.paramIndex < kParameterCount - 1) {
            ++state.paramIndex;
        }
        state.params[state.paramIndex] = 0;
        return;
    }
    if (byte == '?') {
        state.privateOffset = kPrivateOffset; // wherever it stands
        return;
    }
    state.parserState = StateText;
    if (byte == 'F' || byte == 'H' || byte == 'f' || byte == 'r') {
        PositionFinal(emulator, byte);
        return;
    }
    for (std::int32_t i = 0; i <= state.paramIndex; ++i) {
        GeneralFinal(emulator, byte, state.params[i]);
    }
}

void SetMode(Emulator& emulator, std::int64_t mode, bool on) {
    ScreenBuffer& screen = emulator.screen;
    EmulationState& state = emulator.state;
    switch (mode) {
    case 20: state.newLineMode = on ? 1 : 0; break;
    case kPrivateOffset + 2: state.vt52Mode = on ? 0 : 1; break; // ?2 l enters VT52
    case kPrivateOffset + 3:
        screen.SetColumns(on ? 132 : 80);
        MakeRowsSingleWidth(screen, 0, screen.rows - 1);
        screen.ClearScreen();
        break;
    case kPrivateOffset + 6:
        state.originMode = on ? 1 : 0;
        screen.MoveCursor(on ? screen.regionTop : 0, 0);
        break;
    case kPrivateOffset + 7: screen.autowrap = on ? 1 : 0; break;
    case kPrivateOffset + 25:
        if (on) {
            screen.ShowCursor();
        } else {
            screen.HideCursor();
        }
        break;
    default: break; // cursor keys, smooth scroll, screen reverse and the unknown
    }
}

void EraseBelowOnPhysicalColumn(Emulator& emulator) {
    ScreenBuffer& screen = emulator.screen;
    OnPhysicalColumn(screen, [&screen] {
        MakeRowsSingleWidth(screen, screen.col == 0 ? screen.row : screen.row + 1, screen.rows - 1);
        screen.EraseScreenBelow();
    });
}

void EraseLineRightOnPhysicalColumn(Emulator& emulator) {
    ScreenBuffer& screen = emulator.screen;
    OnPhysicalColumn(screen, [&screen] { screen.EraseLineRight(); });
}

} // namespace kestra::emulator
