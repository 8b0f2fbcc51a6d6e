#include "emulator/Emulator.h"

#include "emulator/ControlCharacters.h"
#include "emulator/Vt100Sequences.h"
#include "emulator/Vt102Sequences.h"
#include "emulator/Vt52Sequences.h"

#include <algorithm>

namespace kestra::emulator {

namespace {

bool IsTabStop(const EmulationState& state, std::uint32_t column) {
    return column < kTabStopColumns && (state.tabStops[column / 8] >> (column % 8)) & 1;
}

void HorizontalTab(Emulator& emulator) {
    ScreenBuffer& screen = emulator.screen;
    std::uint32_t column = screen.col;
    while (column + 1 < screen.cols) {
        ++column;
        if (IsTabStop(emulator.state, column)) {
            break;
        }
    }
    screen.MoveCursor(screen.row, column);
}

// Control characters act whatever the parser state, as on a real terminal:
// a sequence in progress goes on afterwards, except after CAN, SUB and ESC.
void ControlCharacter(Emulator& emulator, std::uint8_t byte) {
    ScreenBuffer& screen = emulator.screen;
    EmulationState& state = emulator.state;
    switch (byte) {
    case kBel: RingBell(emulator); break;
    case kBs: screen.CursorLeft(); break;
    case kHt: HorizontalTab(emulator); break;
    case kLf:
    case kVt:
    case kFf:
        screen.LineFeed();
        if (state.newLineMode) {
            screen.CarriageReturn();
        }
        break;
    case kCr: screen.CarriageReturn(); break;
    case kSo:
        if (!state.genradMode) {
            state.shiftOut = 1;
        }
        break;
    case kSi: state.shiftOut = 0; break;
    case kCan:
    case kSub:
        state.parserState = StateText;
        PrintCode(emulator, kErrorBlock);
        break;
    case kEsc: state.parserState = StateEscape; break;
    default: break;
    }
}

// The VT52 table first when one of its dialects is on; GENRAD then falls back
// to the VT100 table for what the VT52 table lacks, plain VT52 does not.
void DispatchEscape(Emulator& emulator, std::uint8_t byte) {
    const EmulationState& state = emulator.state;
    if (state.vt52Mode || state.genradMode) {
        const bool taken = Vt52EscapeFinal(emulator, byte);
        if (taken || !state.genradMode) {
            return;
        }
    }
    EscapeFinal(emulator, byte);
}

// The code a received byte shows, from the map of the character set in use.
std::uint16_t MappedCode(const Emulator& emulator, std::uint8_t byte) {
    const EmulationState& state = emulator.state;
    const std::int32_t set = state.shiftOut ? state.g1Set : state.g0Set;
    return (set == kCharSetGraphics ? emulator.graphicCodes : emulator.charCodes)[byte];
}

void PrintReceived(Emulator& emulator, std::uint8_t byte) {
    PrintCode(emulator, MappedCode(emulator, byte));
}

void ResolveCharacterMaps(Emulator& emulator) {
    const termdef::TerminalDefinition& definition = *emulator.definition;
    for (unsigned byte = 0; byte < 256; ++byte) {
        const auto code = static_cast<std::int32_t>(byte);
        const termdef::CharEntry* normal = termdef::CharMapFind(definition.charMap, code);
        const termdef::CharEntry* graphic = termdef::CharMapFind(definition.graphicMap, code);
        // Only the low 16 bits of a mapped value are shown.
        emulator.charCodes[byte] = static_cast<std::uint16_t>(normal ? normal->value : byte);
        emulator.graphicCodes[byte] = static_cast<std::uint16_t>(graphic ? graphic->value : byte);
    }
}

// Back from the logical column to the physical one after a byte on a
// double-width row.
void ToPhysicalColumn(ScreenBuffer& screen) {
    if (screen.IsDoubleWidthRow()) {
        const std::uint32_t physical = 2 * screen.col;
        screen.MoveCursor(screen.row, physical >= screen.cols ? screen.cols - 2 : physical);
    }
}

} // namespace

void ResetTabStops(EmulationState& state) {
    state.tabStops.fill(0);
    for (unsigned column = 0; column <= 128; column += 8) {
        state.tabStops[column / 8] |= 1;
    }
}

void InitEmulator(Emulator& emulator, const termdef::TerminalDefinition& definition,
                  unsigned rows) {
    emulator.state = EmulationState{};
    emulator.screen.CreateScreen(rows, kMaxColumns);
    emulator.screen.cols = 80;
    emulator.screen.autowrap = 0;
    ResetTabStops(emulator.state);
    emulator.definition = &definition;
    emulator.state.vt52Mode = definition.vt52Type ? 1 : 0;
    emulator.state.genradMode = definition.genradType ? 1 : 0;
    ResolveCharacterMaps(emulator);
}

void EnableVt102(Emulator& emulator) {
    if (emulator.state.vt52Mode || emulator.state.genradMode) {
        return;
    }
    emulator.vt102 = true;
    emulator.dec = Vt102State{};
    emulator.dec.autowrapAtStart = emulator.screen.autowrap;
    // A VT102 has no way to hide its cursor: restoring an unsaved cursor shows it.
    emulator.state.savedCursorVisible = 1;
}

namespace {

// A printable byte in text on a single-width row, where the logical and
// physical columns agree.
[[gnu::noinline]] void PrintOnSingleWidthRow(Emulator& emulator, std::uint8_t byte) {
    const std::uint16_t code = MappedCode(emulator, byte);
    // PrintCode's plain case without the call.
    if (emulator.state.spacedChars) {
        PrintCode(emulator, code);
    } else {
        emulator.screen.PutChar(code);
    }
    // A wrap may have moved the cursor onto a double-width row.
    ToPhysicalColumn(emulator.screen);
}

// A byte of a control sequence other than a digit, on a single-width row.
[[gnu::noinline]] void SequenceByteOnSingleWidthRow(Emulator& emulator, std::uint8_t byte) {
    ControlSequenceByte(emulator, byte);
    // Only a final byte acts: ';' and '?' leave the cursor where it was. A
    // cursor move may end on a double-width row.
    if (emulator.state.parserState != StateControlSequence) {
        ToPhysicalColumn(emulator.screen);
    }
}

// Every other byte: control characters, escape sequences, and whatever
// arrives while the cursor stands on a double-width row.
[[gnu::noinline]] void ReceiveOtherByte(Emulator& emulator, std::uint8_t byte) {
    ScreenBuffer& screen = emulator.screen;
    EmulationState& state = emulator.state;
    // Sequences and printing work on the logical column: a double-width row
    // has half as many character positions.
    if (screen.IsDoubleWidthRow()) {
        screen.MoveCursor(screen.row, screen.col / 2);
    }
    if (byte < 32) {
        ControlCharacter(emulator, byte);
    } else {
        switch (state.parserState) {
        case StateEscape:
            state.parserState = StateText;
            DispatchEscape(emulator, byte);
            break;
        case StateLineSize:
            state.parserState = StateText;
            LineSizeFinal(emulator, byte);
            break;
        case StateDesignateG0:
            state.parserState = StateText;
            DesignateG0(emulator, byte);
            break;
        case StateDesignateG1:
            state.parserState = StateText;
            DesignateG1(emulator, byte);
            break;
        case StateControlSequence: ControlSequenceByte(emulator, byte); break;
        case StateCursorRow:
            state.pendingRow = byte - 32;
            state.parserState = StateCursorColumn;
            break;
        case StateCursorColumn:
            state.parserState = StateText;
            DirectCursorAddress(emulator, byte);
            break;
        case StateGenradAttribute:
            state.parserState = StateText;
            GenradAttributeFinal(emulator, byte);
            break;
        case StateSkipAfterPercent:
        case StateSkipAfterAmpersand: state.parserState = StateText; break;
        default:
            state.parserState = StateText;
            PrintReceived(emulator, byte);
            break;
        }
    }
    ToPhysicalColumn(screen);
}

} // namespace

void ReceiveByte(Emulator& emulator, std::uint8_t byte) {
    const ScreenBuffer& screen = emulator.screen;
    EmulationState& state = emulator.state;
    // A VT102 console in its VT52 mode takes the VT52 path below.
    if (emulator.vt102 && !state.vt52Mode) [[unlikely]] {
        ReceiveVt102Byte(emulator, byte);
        return;
    }
    // Most bytes are text printed on a single-width row, or control sequence
    // bytes on one. Those cases skip the state switch, whose indirect jump
    // mixed text and sequences predict badly, and the conversion to the
    // logical column, which does nothing there. Each case is a call at the
    // end of this function, so it needs no frame of its own.
    if (byte >= 32 && !screen.IsDoubleWidthRow()) {
        if (state.parserState == StateText) {
            PrintOnSingleWidthRow(emulator, byte);
            return;
        }
        if (state.parserState == StateControlSequence) {
            const unsigned digit = byte - '0';
            if (digit <= 9) { // the commonest sequence byte
                state.AddParameterDigit(digit);
                return;
            }
            SequenceByteOnSingleWidthRow(emulator, byte);
            return;
        }
    }
    ReceiveOtherByte(emulator, byte);
}

namespace {

// Printable bytes from bytes[taken] on, written at once on a single-width
// row short of its last column, which is left to the byte-by-byte path.
// A VT102 console also stops at DEL, which it ignores.
template <bool kStopAtDelete>
std::size_t PrintTextRun(Emulator& emulator, std::span<const std::uint8_t> bytes, std::size_t taken,
                         std::uint8_t mask, std::size_t printLimit) {
    ScreenBuffer& screen = emulator.screen;
    const EmulationState& state = emulator.state;
    const std::uint32_t lastColumn = screen.cols - 1;
    const std::int32_t set = state.shiftOut ? state.g1Set : state.g0Set;
    const auto& codes = set == kCharSetGraphics ? emulator.graphicCodes : emulator.charCodes;
    std::uint16_t* const chars = &screen.chars[screen.CellIndex(screen.row, 0)];
    std::uint8_t* const attrs = &screen.attrs[screen.CellIndex(screen.row, 0)];
    printLimit = std::max<std::size_t>(printLimit, 1);
    std::uint32_t column = screen.col;
    std::size_t printed = 0;
    while (taken < bytes.size() && printed < printLimit && column < lastColumn) {
        const std::uint8_t byte = bytes[taken] & mask;
        if (byte < 32 || (kStopAtDelete && byte == 127)) {
            break;
        }
        ++taken;
        const std::uint16_t code = codes[byte];
        if (code == 0) {
            continue; // not stored, and the cursor stays, as in PutCell
        }
        chars[column] = code;
        attrs[column] = screen.attr;
        ++column;
        ++printed;
    }
    if (printed != 0) {
        screen.col = column;
        screen.shownRow = screen.row;
        screen.shownCol = column;
        if (ScreenObserver* told = screen.Observer()) {
            told->CellsPrinted(screen.row, column, static_cast<unsigned>(printed));
        }
    }
    return taken;
}

// A VT102 console's bytes: a run of text where nothing is pending, else one
// byte through its dispatcher.
std::size_t ReceiveVt102Run(Emulator& emulator, std::span<const std::uint8_t> bytes,
                            std::uint8_t mask, std::size_t printLimit) {
    const ScreenBuffer& screen = emulator.screen;
    if (screen.IsDoubleWidthRow()) {
        ReceiveVt102Byte(emulator, bytes.front() & mask);
        return 1;
    }
    // First what changes nothing a hook would report, then one byte that
    // acts or a run of text.
    const std::size_t taken = TakeVt102QuietBytes(emulator, bytes, mask);
    if (taken == bytes.size()) {
        return taken;
    }
    const std::uint8_t byte = bytes[taken] & mask;
    const ScreenObserver* const told = screen.Observer();
    if (byte >= 32 && byte != 127 && screen.col + 1 < screen.cols && Vt102PrintsRuns(emulator) &&
        (told == nullptr || told->TakesPrintedRuns())) {
        return PrintTextRun<true>(emulator, bytes, taken, mask, printLimit);
    }
    ReceiveVt102Byte(emulator, byte);
    return taken + 1;
}

} // namespace

std::size_t ReceiveRun(Emulator& emulator, std::span<const std::uint8_t> bytes, std::uint8_t mask,
                       std::size_t printLimit) {
    ScreenBuffer& screen = emulator.screen;
    EmulationState& state = emulator.state;
    if (emulator.vt102 && !state.vt52Mode) [[unlikely]] {
        return ReceiveVt102Run(emulator, bytes, mask, printLimit);
    }
    if (screen.IsDoubleWidthRow()) {
        ReceiveByte(emulator, bytes.front() & mask);
        return 1;
    }
    // First the bytes that change nothing a hook would report, so need no
    // return to the caller: the escape character and the parameter bytes of
    // a control sequence. Then one byte that acts, or a run of text.
    std::size_t taken = 0;
    std::uint8_t byte = 0;
    for (;; ++taken) {
        if (taken == bytes.size()) {
            return taken;
        }
        byte = bytes[taken] & mask;
        if (state.parserState == StateControlSequence && byte >= 32) {
            const unsigned digit = byte - '0';
            if (digit <= 9) {
                state.AddParameterDigit(digit);
                continue;
            }
            if (byte == ';' || byte == '?') {
                ControlSequenceByte(emulator, byte);
                continue;
            }
            SequenceByteOnSingleWidthRow(emulator, byte);
            return taken + 1;
        }
        if (byte == kEsc) {
            state.parserState = StateEscape; // a sequence in progress is abandoned
            continue;
        }
        if (byte < 32 || state.parserState != StateText) {
            ReceiveOtherByte(emulator, byte);
            return taken + 1;
        }
        break;
    }

    // Text. The last column is left to the byte-by-byte path: writing there
    // wraps or stays.
    const std::uint32_t lastColumn = screen.cols - 1;
    const ScreenObserver* const told = screen.Observer();
    const bool announcesRuns = told == nullptr || told->TakesPrintedRuns();
    if (state.spacedChars || !announcesRuns || screen.col >= lastColumn) {
        PrintOnSingleWidthRow(emulator, byte);
        return taken + 1;
    }
    return PrintTextRun<false>(emulator, bytes, taken, mask, printLimit);
}

void PrintCode(Emulator& emulator, std::uint16_t code) {
    ScreenBuffer& screen = emulator.screen;
    if (screen.IsDoubleWidthRow()) {
        screen.MoveCursor(screen.row, 2 * screen.col);
        screen.PutChar(code);
        screen.PutChar(' ');
        screen.MoveCursor(screen.row, screen.col / 2);
    } else if (emulator.state.spacedChars) {
        screen.PutChar(code);
        screen.PutChar(' ');
    } else {
        screen.PutChar(code);
    }
}

void RingBell(Emulator& emulator) {
    if (emulator.output != nullptr) {
        emulator.output->RingBell();
    }
}

void SendString(Emulator& emulator, std::string_view text) {
    if (emulator.output == nullptr) {
        return;
    }
    for (char ch : text) {
        if (ch == '\0') {
            break;
        }
        emulator.output->SendByte(static_cast<std::uint8_t>(ch));
    }
}

void TypeChar(Emulator& emulator, std::int32_t code) {
    const EmulationState& state = emulator.state;
    const termdef::TerminalDefinition& definition = *emulator.definition;
    // A key missing from the mode's map falls back to the general map only.
    const termdef::KeyMap* modeMap = nullptr;
    if (state.vt52Mode) {
        modeMap = state.keypadApplication ? &definition.vt52AppKeyMap : &definition.vt52KeyMap;
    } else if (state.keypadApplication) {
        modeMap = &definition.appKeyMap;
    }
    const termdef::KeyEntry* entry = modeMap ? termdef::KeyMapFind(*modeMap, code) : nullptr;
    if (!entry) {
        entry = termdef::KeyMapFind(definition.keyMap, code);
    }
    TerminalOutput* const output = emulator.output;
    if (output == nullptr) {
        return;
    }
    if (entry) {
        // Key strings may hold 0 bytes: every byte is sent.
        for (char ch : entry->bytes) {
            output->SendByte(static_cast<std::uint8_t>(ch));
        }
        return;
    }
    output->SendByte(static_cast<std::uint8_t>(code & 0xFF));
    if (code == 13 && state.newLineMode) {
        output->SendByte(10);
    }
}

void ResetEmulator(Emulator& emulator, bool wide) {
    EmulationState& state = emulator.state;
    ScreenBuffer& screen = emulator.screen;
    state.vt52Mode = emulator.definition && emulator.definition->vt52Type ? 1 : 0;
    state.spacedChars = 0;
    screen.SetColumns(wide ? 132 : 80);
    screen.attr = 0;
    for (std::uint32_t r = 0; r < screen.rows; ++r) {
        screen.lineAttrs[r] = kLineSingleWidth;
    }
    ResetTabStops(state);
    screen.SetScrollRegion(0, screen.rows - 1);
    if (emulator.vt102) {
        // Also what only a VT102 console has: its parser, pending wrap,
        // insert mode and reverse screen.
        const std::uint8_t autowrap = emulator.dec.autowrapAtStart;
        emulator.dec = Vt102State{};
        emulator.dec.autowrapAtStart = autowrap;
        screen.reverseScreen = 0;
    }
    screen.ShowCursor();
    screen.ClearScreen();
}

} // namespace kestra::emulator
