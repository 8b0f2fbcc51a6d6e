// A VT102 console and libvterm, which implements DEC's rules, must show the
// same screen for the same bytes: the text of every row, the cursor and the
// line sizes, on 24 x 80 with UTF-8 off.
//
// With KESTRA_RECORDED_SESSIONS set (the test that replays fuzz/sessions),
// an input starting with 'R' is a recorded session of real programs, fed as
// it is and compared after every byte. The fuzzer never sees sessions: mutated,
// they would find the corners of libvterm's parser where it is not DEC's.
// Any other input is a list of choices: each byte picks an operation from
// the VT102's repertoire below and the bytes after it its parameters; the
// screens are compared after every operation.
//
// Where libvterm knowingly differs from a VT102 the generator keeps out:
// - CAN and SUB: a VT102 shows its error character, libvterm nothing;
// - a line feed, index or reverse index that scrolls while a wrap is
//   pending: libvterm keeps the wrap pending because the cursor did not
//   move; DEC clears it (the generator returns the carriage first);
// - a cursor movement that leaves the cursor where it stands (CUF in the
//   last column, CUP to the cursor's cell) keeps libvterm's wrap pending;
//   DEC's movements always drop it (the generator returns the carriage
//   instead of moving while a wrap is pending); so does turning auto-wrap
//   off, and libvterm 0.1.4 then still wraps (the same carriage return
//   comes before every mode change);
// - IL and DL: DEC puts the cursor in the first column, libvterm leaves it
//   (the generator returns the carriage after them);
// - line sizes (ESC # 3, 4, 5, 6): when the region scrolls, libvterm 0.1.4
//   moves the line sizes with the rows but leaves the rows that scroll in
//   the size of the rows that were there; a VT102's are single-size (the
//   comparison clears libvterm's as its screen moves the rows); and libvterm
//   shows again what a double-width row hid, which a VT102 lost (the
//   generator makes only single-width rows single-width, and inserts or
//   deletes rows below double-size ones only by scrolling: an IL or DL of
//   every row to the margin erases them, and the erased rows keep their
//   sizes in libvterm, not in a VT102); a row made
//   double-width takes a VT102's cursor from its right half to its last
//   column, libvterm's stays (the generator returns the carriage first), and
//   libvterm's cursor may stand past the last column of a double-width row,
//   as it stays past it when a line feed or CUU/CUD moves it onto one
//   from the right half; a VT102's goes to the row's last column (the
//   generator returns the carriage before moving vertically from the right
//   half and before scrolling from a double-size row, and while a row is
//   double-size, CUP and ESC 8 go to the left half only, and there is no
//   CUF or HT on a double-width row); an ED
//   that erases all of the cursor's row makes it single-size on a VT102,
//   not in libvterm (from a double-size row the generator erases all);
// - restoring the cursor (ESC 8): libvterm 0.1.4 does not restore the
//   character sets and the shift state, a VT102 does; after an ESC 8 the
//   comparison designates them in libvterm as the console restored them;
//   nor origin mode and a pending wrap: the generator restores only when
//   those are as they were saved and, in origin mode, the saved row is in
//   the region (libvterm keeps the cursor in it); and a reset (ESC c) forgets the saved
//   cursor on a VT102, not in libvterm (the generator saves after a reset);
// - CUU and CUD with a scroll region: DEC's stop at the region's margins,
//   libvterm 0.1.4's only at the screen's edges (the generator moves
//   vertically only while the region is the whole screen);
// - ICH and DCH outside the scroll region: libvterm 0.1.4 ignores them, DEC
//   edits the cursor's row wherever it is (the generator edits inside);
// - ESC # 8: DEC's alignment pattern also resets the margins, the line
//   sizes and homes the cursor, libvterm's does none of them (the generator
//   erases the screen before it, which makes every row single-size in both,
//   and does the rest after it);
// - DECCOLM, which libvterm's screen does not act on: the generator leaves
//   it out, and in a recorded session the comparison resizes libvterm and
//   does what DEC's terminal does (clear, home, whole-screen region).

#include "emulator/Emulator.h"

extern "C" {
#include <vterm.h>
}

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using kestra::emulator::Emulator;

constexpr int kRows = 24;
constexpr int kColumns = 80;

struct Pair {
    VTerm* vt = nullptr;
    VTermScreen* screen = nullptr;
    Emulator emulator;
    kestra::termdef::TerminalDefinition definition;
    std::string fed; // the bytes so far, shown when the screens differ

    // A new libvterm: a reset keeps its saved cursor.
    void NewVterm() {
        if (vt != nullptr) {
            vterm_free(vt);
        }
        vt = vterm_new(kRows, kColumns);
        vterm_set_utf8(vt, 0);
        vterm_output_set_callback(
            vt, [](const char*, std::size_t, void*) {}, nullptr);
        screen = vterm_obtain_screen(vt);
        static const VTermScreenCallbacks moves = [] {
            VTermScreenCallbacks callbacks{};
            callbacks.moverect = ClearVacatedLineSizes;
            return callbacks;
        }();
        vterm_screen_set_callbacks(screen, &moves, vt);
        vterm_screen_reset(screen, 1);
    }

    // Scrolling moves whole rows, their line sizes with them, and leaves
    // blank, single-size rows behind; libvterm 0.1.4 leaves those rows the
    // size they had. It hands out only a read-only view of its line sizes;
    // the array behind it is its own.
    static int ClearVacatedLineSizes(VTermRect dest, VTermRect src, void* user) {
        VTerm* vt = static_cast<VTerm*>(user);
        int rows = 0, columns = 0;
        vterm_get_size(vt, &rows, &columns);
        if (src.start_col != 0 || src.end_col != columns) {
            return 0;
        }
        VTermState* state = vterm_obtain_state(vt);
        const int top = std::min(src.start_row, dest.start_row);
        const int bottom = std::max(src.end_row, dest.end_row);
        for (int row = top; row < bottom; ++row) {
            if (row < dest.start_row || row >= dest.end_row) {
                *const_cast<VTermLineInfo*>(vterm_state_get_lineinfo(state, row)) = {};
            }
        }
        return 0;
    }

    Pair() {
        NewVterm();
        // The special graphics as libvterm shows them, so that both show the
        // same codes.
        vterm_input_write(vt, "\x1b(0", 3);
        for (int byte = 0x5F; byte <= 0x7E; ++byte) {
            const char ch = static_cast<char>(byte);
            vterm_input_write(vt, "\r", 1);
            vterm_input_write(vt, &ch, 1);
            VTermScreenCell cell{};
            vterm_screen_get_cell(screen, {0, 0}, &cell);
            kestra::termdef::CharMapPut(definition.graphicMap, byte,
                                        static_cast<std::uint32_t>(cell.chars[0]));
        }
    }

    ~Pair() { vterm_free(vt); }

    void Start() {
        NewVterm();
        InitEmulator(emulator, definition, kRows);
        emulator.screen.autowrap = 1;
        EnableVt102(emulator);
        fed.clear();
    }

    // Bit 7 cleared, as a console without the 8BIT option does.
    void Feed(std::string bytes) {
        for (char& byte : bytes) {
            byte = static_cast<char>(byte & 0x7F);
            kestra::emulator::ReceiveByte(emulator, static_cast<std::uint8_t>(byte));
        }
        fed += bytes;
        vterm_input_write(vt, bytes.data(), bytes.size());
    }

    static char SetFinal(std::int32_t set) {
        return set == kestra::emulator::kCharSetGraphics        ? '0'
               : set == kestra::emulator::kCharSetUnitedKingdom ? 'A'
                                                                : 'B';
    }

    // Bytes, then what libvterm needs to do what DEC's terminal does.
    void FeedAndCatchUp(const std::string& bytes) {
        Feed(bytes);
        if (fed.ends_with("\x1b"
                          "8")) {
            const kestra::emulator::EmulationState& state = emulator.state;
            const std::string sets = std::string("\x1b(") + SetFinal(state.g0Set) + "\x1b)" +
                                     SetFinal(state.g1Set) + (state.shiftOut ? "\x0e" : "\x0f");
            vterm_input_write(vt, sets.data(), sets.size());
        }
        for (const auto& [sequence, columns] : {std::pair{"\x1b[?3h", 132}, {"\x1b[?3l", 80}}) {
            if (fed.ends_with(sequence)) {
                vterm_set_size(vt, kRows, columns);
                vterm_input_write(vt, "\x1b[r\x1b[2J\x1b[H", 10);
            }
        }
    }
};

// The bytes fed so far, readable: printable ASCII as itself, the rest as \xHH.
std::string Shown(const std::string& bytes) {
    std::string text;
    for (unsigned char byte : bytes) {
        char hex[8];
        std::snprintf(hex, sizeof hex,
                      byte >= 0x20 && byte < 0x7F && byte != '\\' ? "%c" : "\\x%02X", byte);
        text += hex;
    }
    return text;
}

void Compare(Pair& pair) {
    const kestra::emulator::ScreenBuffer& ours = pair.emulator.screen;
    VTermState* state = vterm_obtain_state(pair.vt);
    std::string difference;
    for (int row = 0; row < kRows && difference.empty(); ++row) {
        const VTermLineInfo* info = vterm_state_get_lineinfo(state, row);
        const int theirSize = info->doubleheight == 1   ? 2
                              : info->doubleheight == 2 ? 3
                              : info->doublewidth       ? 1
                                                        : 0;
        const int ourSize = ours.lineAttrs[row];
        if (theirSize != ourSize) {
            difference = "line size of row " + std::to_string(row) + ": " +
                         std::to_string(ourSize) + " here, " + std::to_string(theirSize) +
                         " in libvterm";
            break;
        }
        const int columns = static_cast<int>(ours.cols);
        const int width = ourSize == 0 ? columns : columns / 2;
        std::string mine, theirs;
        for (int column = 0; column < width; ++column) {
            const int cell = ourSize == 0 ? column : 2 * column;
            const std::uint16_t code = ours.chars[ours.CellIndex(row, cell)];
            VTermScreenCell their{};
            vterm_screen_get_cell(pair.screen, {row, column}, &their);
            const std::uint32_t theirCode = their.chars[0] == 0 ? ' ' : their.chars[0];
            if (code != theirCode) {
                difference = "row " + std::to_string(row) + " column " + std::to_string(column) +
                             ": " + std::to_string(code) + " here, " + std::to_string(theirCode) +
                             " in libvterm";
                break;
            }
        }
    }
    VTermPos cursor{};
    vterm_state_get_cursorpos(state, &cursor);
    const std::uint32_t column = ours.IsDoubleWidthRow() ? ours.col / 2 : ours.col;
    if (difference.empty() &&
        (static_cast<int>(ours.row) != cursor.row || static_cast<int>(column) != cursor.col)) {
        difference = "cursor " + std::to_string(ours.row) + "," + std::to_string(column) +
                     " here, " + std::to_string(cursor.row) + "," + std::to_string(cursor.col) +
                     " in libvterm";
    }
    if (!difference.empty()) {
        std::fprintf(stderr, "screens differ: %s\nafter: %s\n", difference.c_str(),
                     Shown(pair.fed).c_str());
        std::abort();
    }
}

// The choices of one input, read one byte at a time; 0 once they run out.
struct Choices {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    bool More() const { return at < size; }
    unsigned Next() { return at < size ? data[at++] : 0; }
};

// A parameter: mostly small, sometimes missing, now and then past the screen.
std::string Number(Choices& choices) {
    const unsigned value = choices.Next();
    if (value < 32) {
        return "";
    }
    return std::to_string(value < 224 ? value % 30 : value * 3);
}

std::string kCsi(const std::string& parameters, char final) {
    return "\x1b[" + parameters + final;
}

bool IsSingleSize(const Emulator& emulator) {
    return emulator.screen.lineAttrs[emulator.screen.row] == 0;
}

std::string Operation(Choices& choices, const Emulator& emulator) {
    static constexpr char kCursorFinals[] = "ABCDHfJK@Pgn";
    static constexpr char kEscapeFinals[] = "DEM78H=>Zc";
    static constexpr char kControls[] = "\b\t\n\v\f\r\x0e\x0f\x07\x7f";
    static constexpr const char* kIgnored[] = {"\x1b*B",         "\x1b[>c",      "\x1b[?1;2$p",
                                               "\x1bP1$r\x1b\\", "\x1b]0;t\x07", "\x1b[1:2m"};
    static constexpr const char* kModes[] = {"4", "20", "?5", "?6", "?7", "?25", "?1"};
    // Before what scrolls without moving, DEC and libvterm part ways on a
    // pending wrap: return the carriage first.
    // So do a scroll under a cursor on a double-width row and a move onto
    // one from the right half: libvterm keeps its column past the row's end.
    const bool rightHalf = emulator.screen.col >= emulator.screen.cols / 2;
    const std::string settle =
        emulator.dec.wrapPending || rightHalf || !IsSingleSize(emulator) ? "\r" : "";
    const unsigned choice = choices.Next();
    switch (choice % 15) {
    case 0:
    case 1:
    case 2: {
        std::string text;
        const unsigned length = 1 + choices.Next() % 90;
        const unsigned seed = choices.Next();
        for (unsigned i = 0; i < length; ++i) {
            text += static_cast<char>(0x20 + (seed * 7 + i * (seed | 1)) % 95);
        }
        return text;
    }
    case 3: {
        const char control = kControls[choices.Next() % (sizeof kControls - 1)];
        if (control == '\t' && !IsSingleSize(emulator)) {
            return "\r"; // see CUP
        }
        return (control >= '\n' && control <= '\f' ? settle : "") + std::string(1, control);
    }
    case 4: {
        const char final = kEscapeFinals[choices.Next() % (sizeof kEscapeFinals - 1)];
        const kestra::emulator::DecSavedCursor& saved = emulator.dec.saved;
        const kestra::emulator::EmulationState& state = emulator.state;
        const kestra::emulator::ScreenBuffer& screen = emulator.screen;
        const bool outside = state.originMode && (state.savedRow < screen.regionTop ||
                                                  state.savedRow > screen.regionBottom);
        const bool pastRowEnd =
            state.savedCol >= screen.cols / 2 && screen.lineAttrs[state.savedRow] != 0; // see CUP
        if (final == '8' &&
            (saved.wrapPending || saved.originMode != state.originMode || outside || pastRowEnd)) {
            return "\x1b"
                   "7";
        }
        const std::string after = final == 'c' ? "\x1b"
                                                 "7"
                                               : "";
        return (final == 'D' || final == 'M' ? settle : "") + "\x1b" + std::string(1, final) +
               after;
    }
    case 5:
    case 6: {
        const char final = kCursorFinals[choices.Next() % (sizeof kCursorFinals - 1)];
        // TBC: libvterm also takes ECMA-48's 5 for all tab stops; a VT102 only 3.
        const std::string first = final == 'g' ? (choices.Next() % 2 ? "3" : "") : Number(choices);
        const kestra::emulator::ScreenBuffer& screen = emulator.screen;
        if (emulator.dec.wrapPending && final != 'J' && final != 'K' && final != 'g' &&
            final != 'n') {
            return "\r";
        }
        const bool outside = screen.row < screen.regionTop || screen.row > screen.regionBottom;
        const bool region = screen.regionTop != 0 || screen.regionBottom != kRows - 1;
        if (((region || rightHalf) && (final == 'A' || final == 'B')) ||
            (!IsSingleSize(emulator) && final == 'C') ||
            (outside && (final == '@' || final == 'P'))) {
            return "\r";
        }
        if (final == 'J' && !IsSingleSize(emulator)) {
            return kCsi("2", 'J');
        }
        if (final == 'H' || final == 'f') {
            // Not past a double-width row's end: see above.
            std::string column = Number(choices);
            const bool sized = std::any_of(screen.lineAttrs.begin(), screen.lineAttrs.end(),
                                           [](auto size) { return size != 0; });
            if (sized && !column.empty() && std::stoi(column) > kColumns / 2) {
                column = std::to_string(std::stoi(column) % (kColumns / 2) + 1);
            }
            return kCsi(first + ";" + column, final);
        }
        return kCsi(first, final);
    }
    case 7: {
        // Inserting or deleting every row down to the margin erases them,
        // which in libvterm leaves their sizes: see above.
        const std::string count = Number(choices);
        const kestra::emulator::ScreenBuffer& screen = emulator.screen;
        const int reach = static_cast<int>(screen.regionBottom) - static_cast<int>(screen.row);
        const bool sized =
            std::any_of(&screen.lineAttrs[screen.row], &screen.lineAttrs[screen.regionBottom] + 1,
                        [](auto size) { return size != 0; });
        if (sized && reach >= 0 && (count.empty() ? 1 : std::stoi(count)) > reach) {
            return "\r";
        }
        return kCsi(count, choices.Next() % 2 ? 'L' : 'M') + "\r";
    }
    case 8: {
        const unsigned top = 1 + choices.Next() % 20;
        const unsigned bottom = top + 1 + choices.Next() % (kRows - top);
        return kCsi(std::to_string(top) + ";" + std::to_string(bottom), 'r');
    }
    case 9: {
        const char* mode = kModes[choices.Next() % std::size(kModes)];
        return settle + kCsi(mode, choices.Next() % 2 ? 'h' : 'l');
    }
    case 10: {
        static constexpr char kSets[] = "0AB";
        return std::string("\x1b") + (choices.Next() % 2 ? '(' : ')') + kSets[choices.Next() % 3];
    }
    case 11: return "\x1b[2J\x1b#8\x1b[r";
    case 12: {
        // Back to single width only from single width, and from the left
        // half only: see above.
        const char size = "3465"[choices.Next() % (IsSingleSize(emulator) ? 4 : 3)];
        return settle + "\x1b#" + size;
    }
    case 13: return kIgnored[choices.Next() % std::size(kIgnored)];
    default: return kCsi(Number(choices) + ";" + Number(choices), choices.Next() % 2 ? 'm' : 'x');
    }
}

Pair& ThePair() {
    static Pair* pair = new Pair; // reused: libvterm's set-up costs more than a reset
    return *pair;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Pair& pair = ThePair();
    pair.Start();
    static const bool sessions = std::getenv("KESTRA_RECORDED_SESSIONS") != nullptr;
    if (sessions && size > 0 && data[0] == 'R') {
        for (std::size_t at = 1; at < size; ++at) {
            pair.FeedAndCatchUp(std::string(1, static_cast<char>(data[at])));
            Compare(pair);
        }
        return 0;
    }
    Choices choices{data, size};
    while (choices.More()) {
        pair.FeedAndCatchUp(Operation(choices, pair.emulator));
        Compare(pair);
    }
    return 0;
}
