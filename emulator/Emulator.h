#pragma once

#include "emulator/ScreenBuffer.h"
#include "termdef/TerminalDefinition.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// The per-console terminal: received bytes go through a small state machine
// into screen operations and replies; typed keys become the byte strings of
// the terminal definition. VT100, VT52 and GENRAD are escape dialects of the
// one parser.
namespace kestra::emulator {

// Parser states: what the next byte of 32 or more means.
enum ParserState : std::int32_t {
    StateText = 0,                // printed
    StateEscape = 1,              // after ESC
    StateLineSize = 2,            // after ESC #
    StateDesignateG0 = 3,         // after ESC (
    StateDesignateG1 = 4,         // after ESC )
    StateControlSequence = 5,     // after ESC [
    StateCursorRow = 6,           // after ESC Y (VT52, GENRAD)
    StateCursorColumn = 7,        // after ESC Y and its row byte
    StateGenradAttribute = 8,     // after ESC :
    StateSkipAfterPercent = 9,    // after ESC %: one byte discarded
    StateSkipAfterAmpersand = 10, // after ESC &: one byte discarded
};

inline constexpr std::int32_t kCharSetAscii = 1;
inline constexpr std::int32_t kCharSetGraphics = 2;
inline constexpr std::int32_t kCharSetUnitedKingdom = 3; // designated only on a VT102 console
inline constexpr int kParameterCount = 10;
inline constexpr std::int32_t kPrivateOffset = 1000; // added to modes after '?'
inline constexpr unsigned kTabStopColumns = 136;

struct EmulationState {
    std::int32_t parserState = StateText;
    std::int32_t pendingRow = 0; // row byte of ESC Y, less 32
    std::int32_t keypadApplication = 0;
    std::int32_t vt52Mode = 0;
    std::int32_t newLineMode = 0;
    std::int32_t g0Set = kCharSetAscii;
    std::int32_t g1Set = kCharSetAscii;
    std::int32_t shiftOut = 0; // 1: G1 in use
    std::int32_t originMode = 0;
    std::int32_t genradMode = 0;
    std::int32_t spacedChars = 0;
    std::array<std::uint8_t, kTabStopColumns / 8> tabStops{}; // bit c % 8 of byte c / 8
    std::int32_t paramIndex = 0;
    std::array<std::int32_t, kParameterCount> params{};
    std::int32_t privateOffset = 0;
    std::uint16_t savedRow = 0;
    std::uint16_t savedCol = 0;
    std::uint8_t savedAttr = 0;
    std::int32_t savedCursorVisible = 0;

    // 32-bit arithmetic without a limit: huge parameter values wrap.
    void AddParameterDigit(unsigned digit) {
        auto& parameter = params[paramIndex];
        parameter = static_cast<std::int32_t>(static_cast<std::uint32_t>(parameter) * 10u + digit);
    }
};

// The DEC VT102's parser states, used only by a VT102 console: the DEC
// terminals' syntax, where intermediates and private markers are collected
// and a sequence is always consumed whole, even one the terminal ignores.
enum class DecParser : std::uint8_t {
    Ground,
    Escape,             // after ESC
    EscapeIntermediate, // after ESC and an intermediate (0x20-0x2F)
    CsiEntry,           // after ESC [
    CsiParameter,       // in the parameters
    CsiIntermediate,    // after an intermediate of a control sequence
    CsiIgnore,          // a malformed control sequence, up to its final byte
    String,             // a device control, operating system or other string, up to ST
};

inline constexpr int kDecParameterCount = 16;

// What ESC 7 keeps on a VT102 console beyond what it keeps on a VT100 one.
struct DecSavedCursor {
    std::int32_t g0Set = kCharSetAscii;
    std::int32_t g1Set = kCharSetAscii;
    std::int32_t shiftOut = 0;
    std::int32_t originMode = 0;
    bool wrapPending = false;
};

struct Vt102State {
    DecParser parser = DecParser::Ground;
    std::uint8_t intermediate = 0; // the first intermediate byte, 0 when none
    std::uint8_t marker = 0;       // the private marker (< = > ?), 0 when none
    bool manyIntermediates = false;
    std::uint8_t paramIndex = 0; // the parameter being collected; past the last: dropped
    std::array<std::uint16_t, kDecParameterCount> params{};
    // A character written in the last column leaves the cursor there; the
    // next printable character wraps first.
    bool wrapPending = false;
    bool insertMode = false;
    std::uint8_t autowrapAtStart = 1; // auto-wrap's power-up value (RIS)
    DecSavedCursor saved;
};

// Where the terminal's bytes for the server (replies and typed keys) and its
// bell go. An emulator without one drops the bytes and stays silent.
class TerminalOutput {
public:
    virtual void SendByte(std::uint8_t byte) = 0;
    virtual void RingBell() = 0;

protected:
    ~TerminalOutput() = default;
};

struct Emulator {
    EmulationState state;
    ScreenBuffer screen;
    TerminalOutput* output = nullptr;
    // A VT102 console follows DEC's rules where the plain VT100 terminal
    // simplifies them; set once when the console is created.
    bool vt102 = false;
    Vt102State dec;

    // The character maps resolved per received byte at initialisation, so
    // printing needs no search: the definition does not change afterwards.
    std::array<std::uint16_t, 256> charCodes{};
    std::array<std::uint16_t, 256> graphicCodes{};
    const termdef::TerminalDefinition* definition = nullptr;
};

// Creates the screen (rows clamped to 2..254, 132 columns of storage, 80 in
// use, auto-wrap off) and takes the terminal type and maps of the
// definition, which must outlive the emulator and not change.
void InitEmulator(Emulator& emulator, const termdef::TerminalDefinition& definition, unsigned rows);

// Makes a VT100 emulator a VT102 one, with auto-wrap at the screen's current
// setting as its power-up value. VT52 and GENRAD definitions stay as they are.
void EnableVt102(Emulator& emulator);

// One received byte.
void ReceiveByte(Emulator& emulator, std::uint8_t byte);

// Received bytes, each first masked with `mask`, as one ReceiveByte call per
// byte would handle them, taking either a run of text or one byte: a run is
// text printed on a single-width row short of its last column, written at
// once and announced with one CellsPrinted call (when the screen has no
// observer, or one that takes printed runs; otherwise only one byte is
// taken). At most printLimit
// characters (at least 1) are printed in one run, so that a caller counting
// changes can stop where a byte-by-byte caller would. Returns the number of
// bytes taken, at least 1; bytes must not be empty.
std::size_t ReceiveRun(Emulator& emulator, std::span<const std::uint8_t> bytes, std::uint8_t mask,
                       std::size_t printLimit);

// One typed character or translated key code.
void TypeChar(Emulator& emulator, std::int32_t code);

// The bytes of text up to its first 0 byte, one SendByte call each.
void SendString(Emulator& emulator, std::string_view text);

// The bell, on an emulator that has somewhere to ring it.
void RingBell(Emulator& emulator);

// The console's Reset; the caller detaches the screen around it.
void ResetEmulator(Emulator& emulator, bool wide);

// Shows a character code at the cursor: two cells on a double-width row,
// followed by a blank cell while characters are spaced.
void PrintCode(Emulator& emulator, std::uint16_t code);

// Tab stops every eighth column, 0 to 128.
void ResetTabStops(EmulationState& state);

} // namespace kestra::emulator
