#include "emulator/Vt52Sequences.h"

#include "emulator/Emulator.h"

namespace kestra::emulator {

namespace {

void ClearSpacedScreen(Emulator& emulator) {
    ScreenBuffer& screen = emulator.screen;
    emulator.state.spacedChars = 0;
    for (std::uint32_t r = 0; r < screen.rows; ++r) {
        screen.SetLineAttribute(r, kLineSingleWidth);
    }
    screen.ClearScreen();
}

// clang-format off
constexpr EscapeAction kVt52Escapes[] = {
    {'%', [](Emulator& e) { e.state.parserState = StateSkipAfterPercent; }},
    {'&', [](Emulator& e) { e.state.parserState = StateSkipAfterAmpersand; }},
    {':', [](Emulator& e) { e.state.parserState = StateGenradAttribute; }},
    {'<', [](Emulator& e) { e.state.vt52Mode = 0; }},
    {'=', [](Emulator& e) { e.state.keypadApplication = 1; }},
    {'>', [](Emulator& e) { e.state.keypadApplication = 0; }},
    {'A', [](Emulator& e) { e.screen.CursorUp(false); }},
    {'B', [](Emulator& e) { e.screen.CursorDown(false); }},
    {'C', [](Emulator& e) { e.screen.CursorRight(); }},
    {'D', [](Emulator& e) { e.screen.CursorLeft(); }},
    {'F', [](Emulator& e) { e.state.g0Set = kCharSetGraphics; }},
    {'G', [](Emulator& e) { e.state.g0Set = kCharSetAscii; }},
    {'H', [](Emulator& e) { e.screen.HomeCursor(); }},
    {'I', [](Emulator& e) { e.screen.CursorUp(true); }},    // reverse line feed
    {'J', EraseBelowOnPhysicalColumn},
    {'K', EraseLineRightOnPhysicalColumn},
    {'Y', [](Emulator& e) { e.state.parserState = StateCursorRow; }},
    {'Z', [](Emulator& e) { SendString(e, "\x1b/Z"); }},
};

using Command = GenradAttributeCommand;
constexpr GenradAttributeCommand kGenradAttributes[] = {
    {'A', Command::Other,        0,             ClearSpacedScreen},
    {'B', Command::AttributeOn,  kAttrUnderline, nullptr},
    {'K', Command::AttributeOn,  kAttrUnderline, nullptr},
    {'C', Command::AttributeOff, kAttrUnderline, nullptr},
    {'L', Command::AttributeOff, kAttrUnderline, nullptr},
    {'D', Command::AttributeOn,  kAttrBlink,     nullptr},
    {'Q', Command::AttributeOn,  kAttrBlink,     nullptr},
    {'G', Command::AttributeOff, kAttrBlink,     nullptr},
    {'R', Command::AttributeOff, kAttrBlink,     nullptr},
    {'M', Command::AttributeOn,  kAttrBold,      nullptr},
    {'N', Command::AttributeOff, kAttrBold,      nullptr},
    {'O', Command::AttributeOn,  kAttrReverse,   nullptr},
    {'P', Command::AttributeOff, kAttrReverse,   nullptr},
    {'E', Command::Other,        0,             [](Emulator& e) { e.screen.scrolling = 1; }},
    {'F', Command::Other,        0,             [](Emulator& e) { e.screen.scrolling = 0; }},
    {'I', Command::Other,        0,             [](Emulator& e) { e.state.spacedChars = 1; }},
    {'J', Command::Other,        0,             [](Emulator& e) { e.state.spacedChars = 0; }},
    {'U', Command::Other,        0,             [](Emulator& e) { e.screen.ShowCursor(); }},
    {'V', Command::Other,        0,             [](Emulator& e) { e.screen.HideCursor(); }},
};
// clang-format on

} // namespace

bool Vt52EscapeFinal(Emulator& emulator, std::uint8_t byte) {
    emulator.state.parserState = StateText;
    for (const EscapeAction& entry : kVt52Escapes) {
        if (static_cast<std::uint8_t>(entry.byte) == byte) {
            entry.action(emulator);
            return true;
        }
    }
    return false;
}

void GenradAttributeFinal(Emulator& emulator, std::uint8_t byte) {
    emulator.state.parserState = StateText;
    ScreenBuffer& screen = emulator.screen;
    for (const GenradAttributeCommand& command : kGenradAttributes) {
        if (static_cast<std::uint8_t>(command.byte) != byte) {
            continue;
        }
        switch (command.kind) {
        case Command::AttributeOn: screen.attr |= command.bits; break;
        case Command::AttributeOff: screen.attr &= static_cast<std::uint8_t>(~command.bits); break;
        case Command::Other: command.action(emulator); break;
        }
        return;
    }
}

void DirectCursorAddress(Emulator& emulator, std::uint8_t columnByte) {
    ScreenBuffer& screen = emulator.screen;
    const std::int32_t pendingRow = emulator.state.pendingRow;
    const std::int32_t column = columnByte - 32;
    // A row equal to the row count, or a column equal to the column count,
    // keeps that coordinate; larger ones are clamped by the move.
    const std::uint32_t r = static_cast<std::uint32_t>(pendingRow) == screen.rows
                                ? screen.row
                                : static_cast<std::uint32_t>(pendingRow);
    const std::uint32_t c = static_cast<std::uint32_t>(column) == screen.cols
                                ? screen.col
                                : static_cast<std::uint32_t>(column);
    screen.MoveCursor(r, c);
}

} // namespace kestra::emulator
