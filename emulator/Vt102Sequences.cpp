#include "emulator/Vt102Sequences.h"

#include "emulator/ControlCharacters.h"
#include "emulator/Emulator.h"
#include "emulator/Vt100Sequences.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace kestra::emulator {

namespace {

constexpr std::uint8_t kDel = 127;
constexpr std::uint8_t kDc1 = 0x11;              // sent after a reset, as on a VT100 console
constexpr std::uint16_t kErrorBlock = 219;       // shown for a cancelled sequence
constexpr std::uint16_t kPoundSign = 0xA3;       // '#' in the United Kingdom set
constexpr std::uint16_t kParameterLimit = 16383; // larger values count as this
constexpr std::string_view kDefaultIdentification = "\x1b[?1;0c";
constexpr std::string_view kVt102Identification = "\x1b[?6c";

// Character positions of the cursor row: half as many on a double-width row.
std::uint32_t RowWidth(const ScreenBuffer& screen) {
    return screen.IsDoubleWidthRow() ? screen.cols / 2 : screen.cols;
}

std::uint32_t Parameter(const Vt102State& dec, unsigned i) {
    return i <= dec.paramIndex && i < kDecParameterCount ? dec.params[i] : 0;
}

// A count: a missing or zero parameter counts as one.
std::uint32_t Count(const Vt102State& dec, unsigned i) {
    return std::max<std::uint32_t>(Parameter(dec, i), 1);
}

// The parameters collected, as the finals that act on each of them see them.
unsigned kParameterCount(const Vt102State& dec) {
    return std::min<unsigned>(dec.paramIndex + 1u, kDecParameterCount);
}

std::uint16_t MappedCode(const Emulator& emulator, std::uint8_t byte) {
    const EmulationState& state = emulator.state;
    const std::int32_t set = state.shiftOut ? state.g1Set : state.g0Set;
    if (set == kCharSetGraphics) {
        return emulator.graphicCodes[byte];
    }
    return set == kCharSetUnitedKingdom && byte == '#' ? kPoundSign : emulator.charCodes[byte];
}

// A character at the cursor's logical column. In the last column the cursor
// stays and a wrap is left pending (with auto-wrap); the next character
// takes it: back to the first column and down one row, scrolling at the
// region's bottom.
void Print(Emulator& emulator, std::uint16_t code) {
    ScreenBuffer& screen = emulator.screen;
    Vt102State& dec = emulator.dec;
    if (code == 0) {
        return;
    }
    if (dec.wrapPending) {
        dec.wrapPending = false;
        screen.col = 0;
        screen.CursorDown(true);
    }
    const bool doubleWidth = screen.IsDoubleWidthRow();
    const std::uint32_t width = RowWidth(screen);
    screen.col = std::min(screen.col, width - 1);
    const std::uint32_t logical = screen.col;
    const std::uint32_t physical = doubleWidth ? 2 * logical : logical;
    if (dec.insertMode) {
        screen.col = physical;
        screen.InsertCells(doubleWidth ? 2 : 1);
        screen.col = logical;
    }
    const std::size_t index = screen.CellIndex(screen.row, physical);
    screen.chars[index] = code;
    screen.attrs[index] = screen.attr;
    if (doubleWidth) {
        screen.chars[index + 1] = ' ';
        screen.attrs[index + 1] = screen.attr;
    }
    if (ScreenObserver* told = screen.Observer()) {
        told->CellsChanged(screen.row, physical, doubleWidth ? 2 : 1, screen.attr);
    }
    if (logical + 1 < width) {
        ++screen.col;
    } else if (screen.autowrap) {
        dec.wrapPending = true;
    }
    screen.UpdateCursor();
}

void HorizontalTab(Emulator& emulator) {
    ScreenBuffer& screen = emulator.screen;
    const std::uint32_t last = RowWidth(screen) - 1;
    std::uint32_t column = screen.col;
    while (column < last) {
        ++column;
        if (column < kTabStopColumns && (emulator.state.tabStops[column / 8] >> (column % 8)) & 1) {
            break;
        }
    }
    screen.MoveCursor(screen.row, column);
}

void StartSequence(Vt102State& dec, DecParser parser) {
    dec.parser = parser;
    dec.intermediate = 0;
    dec.marker = 0;
    dec.manyIntermediates = false;
    // Only a control sequence has parameters: ESC [ clears them.
    if (parser == DecParser::CsiEntry) {
        dec.paramIndex = 0;
        dec.params.fill(0);
    }
}

void Collect(Vt102State& dec, std::uint8_t byte) {
    if (dec.intermediate == 0) {
        dec.intermediate = byte;
    } else {
        dec.manyIntermediates = true;
    }
}

void ControlCharacter(Emulator& emulator, std::uint8_t byte) {
    ScreenBuffer& screen = emulator.screen;
    EmulationState& state = emulator.state;
    Vt102State& dec = emulator.dec;
    switch (byte) {
    case kBel: RingBell(emulator); break;
    case kBs:
        dec.wrapPending = false;
        screen.CursorLeft();
        break;
    case kHt: {
        // In the last column a tab moves nothing and the wrap stays pending.
        const std::uint32_t column = screen.col;
        HorizontalTab(emulator);
        dec.wrapPending = dec.wrapPending && screen.col == column;
        break;
    }
    case kLf:
    case kVt:
    case kFf:
        dec.wrapPending = false;
        screen.LineFeed();
        if (state.newLineMode) {
            screen.CarriageReturn();
        }
        break;
    case kCr:
        dec.wrapPending = false;
        screen.CarriageReturn();
        break;
    case kSo: state.shiftOut = 1; break;
    case kSi: state.shiftOut = 0; break;
    case kCan:
    case kSub:
        dec.parser = DecParser::Ground;
        Print(emulator, kErrorBlock);
        break;
    case kEsc: StartSequence(dec, DecParser::Escape); break;
    default: break; // NUL and the others
    }
}

void SendIdentification(Emulator& emulator) {
    const std::string& id = emulator.definition->idString;
    SendString(emulator, id == kDefaultIdentification ? kVt102Identification : id);
}

void SaveVt102Cursor(Emulator& emulator) {
    const EmulationState& state = emulator.state;
    SaveCursor(emulator);
    emulator.dec.saved = {state.g0Set, state.g1Set, state.shiftOut, state.originMode,
                          emulator.dec.wrapPending};
}

void RestoreVt102Cursor(Emulator& emulator) {
    EmulationState& state = emulator.state;
    const DecSavedCursor& saved = emulator.dec.saved;
    RestoreCursor(emulator);
    state.g0Set = saved.g0Set;
    state.g1Set = saved.g1Set;
    state.shiftOut = saved.shiftOut;
    state.originMode = saved.originMode;
    emulator.dec.wrapPending = saved.wrapPending;
}

// The power-up state, keeping the column count and the screen's contents
// aside: everything a reset clears.
void ResetToPowerUp(Emulator& emulator) {
    ScreenBuffer& screen = emulator.screen;
    EmulationState& state = emulator.state;
    Vt102State& dec = emulator.dec;
    const std::uint8_t autowrap = dec.autowrapAtStart;
    dec = Vt102State{};
    dec.autowrapAtStart = autowrap;
    state.keypadApplication = 0;
    state.newLineMode = 0;
    state.g0Set = state.g1Set = kCharSetAscii;
    state.shiftOut = 0;
    state.originMode = 0;
    state.savedRow = state.savedCol = 0;
    state.savedAttr = 0;
    state.savedCursorVisible = 1;
    ResetTabStops(state);
    screen.attr = 0;
    screen.autowrap = autowrap;
    screen.reverseScreen = 0;
    MakeRowsSingleWidth(screen, 0, screen.rows - 1);
    screen.SetScrollRegion(0, screen.rows - 1);
}

void ResetTerminal(Emulator& emulator) {
    ResetToPowerUp(emulator);
    emulator.screen.ShowCursor();
    emulator.screen.ClearScreen();
    const char reply[] = {static_cast<char>(kDc1)};
    SendString(emulator, std::string_view(reply, 1));
}

// ESC # 8: the screen filled with E, margins and line sizes reset, the cursor home.
void ScreenAlignment(Emulator& emulator) {
    ScreenBuffer& screen = emulator.screen;
    MakeRowsSingleWidth(screen, 0, screen.rows - 1);
    screen.SetScrollRegion(0, screen.rows - 1);
    const std::size_t cells = std::size_t{screen.rows} * screen.cols;
    std::fill_n(screen.chars.begin(), cells, 'E');
    std::fill_n(screen.attrs.begin(), cells, std::uint8_t{0});
    screen.RefreshScreen();
    screen.HomeCursor();
}

void Designate(std::int32_t& set, std::uint8_t final) {
    switch (final) {
    case '0': set = kCharSetGraphics; break;
    case 'A': set = kCharSetUnitedKingdom; break;
    case 'B': set = kCharSetAscii; break;
    default: break; // the alternate character ROMs, which a console has not
    }
}

void EscapeDispatch(Emulator& emulator, std::uint8_t final) {
    ScreenBuffer& screen = emulator.screen;
    Vt102State& dec = emulator.dec;
    if (dec.manyIntermediates) {
        return;
    }
    switch (dec.intermediate) {
    case 0: break;
    case '#':
        dec.wrapPending = false;
        if (final == '8') {
            ScreenAlignment(emulator);
        } else {
            LineSizeFinal(emulator, final);
        }
        return;
    case '(': Designate(emulator.state.g0Set, final); return;
    case ')': Designate(emulator.state.g1Set, final); return;
    default: return;
    }
    switch (final) {
    case '7': SaveVt102Cursor(emulator); break;
    case '8': RestoreVt102Cursor(emulator); break;
    case '=': emulator.state.keypadApplication = 1; break;
    case '>': emulator.state.keypadApplication = 0; break;
    case 'D': // index
        dec.wrapPending = false;
        screen.CursorDown(true);
        break;
    case 'E': // next line
        dec.wrapPending = false;
        screen.CarriageReturn();
        screen.CursorDown(true);
        break;
    case 'H': SetTabStop(emulator.state, screen.col, true); break;
    case 'M': // reverse index
        dec.wrapPending = false;
        screen.CursorUp(true);
        break;
    case 'Z': SendIdentification(emulator); break;
    case 'c': ResetTerminal(emulator); break;
    default: break;
    }
}

// The cursor's cells on the physical row: one, or the pair of a double-width
// character.
std::uint32_t FirstCell(const ScreenBuffer& screen) {
    return screen.IsDoubleWidthRow() ? 2 * screen.col : screen.col;
}

std::uint32_t LastCell(const ScreenBuffer& screen) {
    return screen.IsDoubleWidthRow() ? 2 * screen.col + 1 : screen.col;
}

// Erasing to the start of the line or screen includes the cursor's cell.
void EraseInDisplay(ScreenBuffer& screen, std::uint32_t p) {
    const std::size_t rowStart = screen.CellIndex(screen.row, 0);
    const std::size_t cells = std::size_t{screen.rows} * screen.cols;
    switch (p) {
    case 0:
        if (screen.col == 0) {
            MakeRowsSingleWidth(screen, screen.row, screen.rows - 1);
        } else {
            MakeRowsSingleWidth(screen, screen.row + 1, screen.rows - 1);
        }
        screen.EraseCells(rowStart + FirstCell(screen), cells);
        break;
    case 1:
        if (screen.row > 0) {
            MakeRowsSingleWidth(screen, 0, screen.row - 1);
        }
        screen.EraseCells(0, rowStart + LastCell(screen) + 1);
        break;
    case 2:
        MakeRowsSingleWidth(screen, 0, screen.rows - 1);
        screen.EraseCells(0, cells);
        break;
    default: break;
    }
}

void EraseInLine(ScreenBuffer& screen, std::uint32_t p) {
    const std::size_t rowStart = screen.CellIndex(screen.row, 0);
    switch (p) {
    case 0: screen.EraseCells(rowStart + FirstCell(screen), screen.cols - FirstCell(screen)); break;
    case 1: screen.EraseCells(rowStart, LastCell(screen) + 1); break;
    case 2: screen.EraseCells(rowStart, screen.cols); break;
    default: break;
    }
}

// Cells inserted or deleted at the cursor: two per character on a
// double-width row.
template <typename Edit>
void EditCells(ScreenBuffer& screen, std::uint32_t n, Edit edit) {
    const std::uint32_t logical = screen.col;
    const bool doubleWidth = screen.IsDoubleWidthRow();
    screen.col = FirstCell(screen);
    edit(doubleWidth ? 2 * n : n);
    screen.col = logical;
}

// CUP and HVP: in origin mode counted from the region's top and kept inside it.
void CursorPosition(Emulator& emulator) {
    ScreenBuffer& screen = emulator.screen;
    const Vt102State& dec = emulator.dec;
    std::uint32_t row = Count(dec, 0) - 1;
    if (emulator.state.originMode) {
        row = std::min<std::uint32_t>(screen.regionTop + row, screen.regionBottom);
    }
    screen.MoveCursor(row, std::min(Count(dec, 1) - 1, RowWidth(screen) - 1));
}

// DECSTBM: a region of at least two rows within the screen; anything else
// is ignored. The cursor goes home.
void SetRegion(Emulator& emulator) {
    ScreenBuffer& screen = emulator.screen;
    const Vt102State& dec = emulator.dec;
    const std::uint32_t top = Count(dec, 0);
    const std::uint32_t bottom = Parameter(dec, 1) ? Parameter(dec, 1) : screen.rows;
    if (top >= bottom || bottom > screen.rows) {
        return;
    }
    screen.SetScrollRegion(top - 1, bottom - 1);
    screen.MoveCursor(emulator.state.originMode ? screen.regionTop : 0, 0);
}

void ReportParameters(Emulator& emulator, std::uint32_t p) {
    if (p > 1) {
        return;
    }
    // Solicited (3) or not (2); no parity, 8 bits, 38400 baud both ways.
    std::array<char, 32> reply{};
    char* out = reply.data();
    *out++ = '\x1b';
    *out++ = '[';
    AppendNumber(out, p + 2);
    for (const char ch : std::string_view(";1;1;128;128;1;0x")) {
        *out++ = ch;
    }
    SendString(emulator, std::string_view(reply.data(), out - reply.data()));
}

void DecPrivateMode(Emulator& emulator, std::uint32_t mode, bool on) {
    ScreenBuffer& screen = emulator.screen;
    EmulationState& state = emulator.state;
    // The modes that move the cursor or change wrapping drop a pending wrap.
    if (mode == 3 || mode == 6 || mode == 7) {
        emulator.dec.wrapPending = false;
    }
    switch (mode) {
    case 2:
        if (!on) {
            state.vt52Mode = 1;
        }
        break;
    case 3:
        screen.SetColumns(on ? 132 : 80);
        MakeRowsSingleWidth(screen, 0, screen.rows - 1);
        screen.SetScrollRegion(0, screen.rows - 1);
        screen.ClearScreen();
        break;
    case 5:
        screen.reverseScreen = on ? 1 : 0;
        screen.RefreshScreen();
        break;
    case 6:
        state.originMode = on ? 1 : 0;
        screen.MoveCursor(on ? screen.regionTop : 0, 0);
        break;
    case 7: screen.autowrap = on ? 1 : 0; break;
    case 25:
        if (on) {
            screen.ShowCursor();
        } else {
            screen.HideCursor();
        }
        break;
    default: break; // cursor keys, smooth scroll, auto-repeat and the unknown
    }
}

void AnsiMode(Emulator& emulator, std::uint32_t mode, bool on) {
    if (mode == 4) {
        emulator.dec.insertMode = on;
    } else if (mode == 20) {
        emulator.state.newLineMode = on ? 1 : 0;
    }
}

void SetModes(Emulator& emulator, bool on) {
    const Vt102State& dec = emulator.dec;
    for (unsigned i = 0; i < kParameterCount(dec); ++i) {
        if (dec.marker == '?') {
            DecPrivateMode(emulator, Parameter(dec, i), on);
        } else {
            AnsiMode(emulator, Parameter(dec, i), on);
        }
    }
}

void CsiDispatch(Emulator& emulator, std::uint8_t final) {
    ScreenBuffer& screen = emulator.screen;
    Vt102State& dec = emulator.dec;
    // No VT102 sequence has an intermediate; of the private ones only modes.
    if (dec.intermediate != 0 ||
        (dec.marker != 0 && !(dec.marker == '?' && (final == 'h' || final == 'l')))) {
        return;
    }
    const std::uint32_t p = Parameter(dec, 0);
    const std::uint32_t n = Count(dec, 0);
    switch (final) {
    case 'A':
        dec.wrapPending = false;
        screen.CursorUpBy(n);
        break;
    case 'B':
        dec.wrapPending = false;
        screen.CursorDownBy(n);
        break;
    case 'C':
        dec.wrapPending = false;
        screen.CursorRightBy(std::min(n, RowWidth(screen)));
        break;
    case 'D':
        dec.wrapPending = false;
        screen.CursorLeftBy(n);
        break;
    case 'H':
    case 'f':
        dec.wrapPending = false;
        CursorPosition(emulator);
        break;
    case 'J': EraseInDisplay(screen, p); break;
    case 'K': EraseInLine(screen, p); break;
    // Lines inserted or deleted leave the cursor in the first column.
    case 'L':
        dec.wrapPending = false;
        screen.InsertLines(n);
        screen.CarriageReturn();
        break;
    case 'M':
        dec.wrapPending = false;
        screen.DeleteLines(n);
        screen.CarriageReturn();
        break;
    case '@': EditCells(screen, n, [&screen](std::uint32_t k) { screen.InsertCells(k); }); break;
    case 'P': EditCells(screen, n, [&screen](std::uint32_t k) { screen.DeleteCells(k); }); break;
    case 'c':
        if (p == 0) {
            SendIdentification(emulator);
        }
        break;
    case 'g': ClearTabStops(emulator, static_cast<std::int32_t>(p)); break;
    case 'h': SetModes(emulator, true); break;
    case 'l': SetModes(emulator, false); break;
    case 'm':
        for (unsigned i = 0; i < kParameterCount(dec); ++i) {
            SelectGraphicRendition(screen, static_cast<std::int32_t>(Parameter(dec, i)));
        }
        break;
    case 'n':
        if (p == 5) {
            SendString(emulator, "\x1b[0n");
        } else if (p == 6) {
            ReportCursorPosition(emulator);
        }
        break;
    case 'r':
        dec.wrapPending = false;
        SetRegion(emulator);
        break;
    case 'x': ReportParameters(emulator, p); break;
    default: break; // q (LEDs), y (tests) and the unknown finals
    }
}

// Inline: the digits of a cursor position are most of what a full-screen
// program sends.
inline void ParameterByte(Vt102State& dec, std::uint8_t byte) {
    if (byte == ';') {
        if (dec.paramIndex < kDecParameterCount) {
            ++dec.paramIndex;
        }
        return;
    }
    if (dec.paramIndex < kDecParameterCount) [[likely]] {
        auto& parameter = dec.params[dec.paramIndex];
        parameter = static_cast<std::uint16_t>(
            std::min<std::uint32_t>(parameter * 10u + (byte - '0'), kParameterLimit));
    }
}

// A byte of a control sequence after ESC [.
void ControlSequence(Emulator& emulator, std::uint8_t byte) {
    Vt102State& dec = emulator.dec;
    const bool parameterPart =
        dec.parser == DecParser::CsiEntry || dec.parser == DecParser::CsiParameter;
    if (byte >= 0x40) {
        const bool act = dec.parser != DecParser::CsiIgnore;
        dec.parser = DecParser::Ground;
        if (act) {
            CsiDispatch(emulator, byte);
        }
    } else if (dec.parser == DecParser::CsiIgnore) {
        return;
    } else if (byte <= 0x2F) {
        Collect(dec, byte);
        dec.parser = DecParser::CsiIntermediate;
    } else if (!parameterPart || byte == ':') {
        dec.parser = DecParser::CsiIgnore; // parameters after an intermediate, or ':'
    } else if (byte >= 0x3C) {
        // A private marker counts only first.
        dec.parser =
            dec.parser == DecParser::CsiEntry ? DecParser::CsiParameter : DecParser::CsiIgnore;
        dec.marker = byte;
    } else {
        dec.parser = DecParser::CsiParameter;
        ParameterByte(dec, byte);
    }
}

void Dispatch(Emulator& emulator, std::uint8_t byte) {
    Vt102State& dec = emulator.dec;
    if (dec.parser == DecParser::String) {
        // A string ends at ST (ESC \) or, as xterm's titles do, at BEL;
        // CAN and SUB abandon it. Nothing in it acts.
        if (byte == kEsc) {
            StartSequence(dec, DecParser::Escape);
        } else if (byte == kBel || byte == kCan || byte == kSub) {
            dec.parser = DecParser::Ground;
        }
        return;
    }
    if (byte < 32) {
        ControlCharacter(emulator, byte);
        return;
    }
    if (byte == kDel) {
        return;
    }
    switch (dec.parser) {
    case DecParser::Ground: Print(emulator, MappedCode(emulator, byte)); break;
    case DecParser::Escape:
        if (byte <= 0x2F) {
            Collect(dec, byte);
            dec.parser = DecParser::EscapeIntermediate;
            break;
        }
        dec.parser = DecParser::Ground;
        if (byte == '[') {
            StartSequence(dec, DecParser::CsiEntry);
        } else if (byte == 'P' || byte == ']' || byte == 'X' || byte == '^' || byte == '_') {
            dec.parser = DecParser::String;
        } else {
            EscapeDispatch(emulator, byte);
        }
        break;
    case DecParser::EscapeIntermediate:
        if (byte <= 0x2F) {
            Collect(dec, byte);
            break;
        }
        dec.parser = DecParser::Ground;
        EscapeDispatch(emulator, byte);
        break;
    default: ControlSequence(emulator, byte); break;
    }
}

} // namespace

void ReceiveVt102Byte(Emulator& emulator, std::uint8_t byte) {
    ScreenBuffer& screen = emulator.screen;
    // Sequences and printing work on the logical column, as on a VT100 console.
    if (screen.IsDoubleWidthRow()) {
        screen.MoveCursor(screen.row, screen.col / 2);
    }
    Dispatch(emulator, byte);
    if (screen.IsDoubleWidthRow()) {
        const std::uint32_t physical = 2 * screen.col;
        screen.MoveCursor(screen.row, physical >= screen.cols ? screen.cols - 2 : physical);
    }
}

std::size_t TakeVt102QuietBytes(Emulator& emulator, std::span<const std::uint8_t> bytes,
                                std::uint8_t mask) {
    Vt102State& dec = emulator.dec;
    std::size_t taken = 0;
    for (; taken < bytes.size(); ++taken) {
        const std::uint8_t byte = bytes[taken] & mask;
        const bool parameters =
            dec.parser == DecParser::CsiEntry || dec.parser == DecParser::CsiParameter;
        if (parameters && (static_cast<unsigned>(byte - '0') <= 9 || byte == ';')) {
            dec.parser = DecParser::CsiParameter;
            ParameterByte(dec, byte);
        } else if (byte == kEsc && dec.parser != DecParser::String) {
            StartSequence(dec, DecParser::Escape);
        } else if (byte == '[' && dec.parser == DecParser::Escape) {
            StartSequence(dec, DecParser::CsiEntry);
        } else {
            break;
        }
    }
    return taken;
}

bool Vt102PrintsRuns(const Emulator& emulator) {
    const Vt102State& dec = emulator.dec;
    const EmulationState& state = emulator.state;
    return dec.parser == DecParser::Ground && !dec.wrapPending && !dec.insertMode &&
           (state.shiftOut ? state.g1Set : state.g0Set) != kCharSetUnitedKingdom;
}

} // namespace kestra::emulator
