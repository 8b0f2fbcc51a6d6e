#include "emulator/ReplaySession.h"

#include <cstdio>

namespace kestra::emulator {

namespace {

std::string Hex2(unsigned value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

} // namespace

ReplaySession::ReplaySession(const ReplayOptions& options,
                             const termdef::TerminalDefinition& definition)
    : options_(options) {
    InitEmulator(emulator_, definition, options_.rows);
    emulator_.output = this;
    // What defining the console does after creating the emulator.
    emulator_.screen.autowrap = options_.autowrap || options_.vt102 ? 1 : 0;
    emulator_.screen.SetColumns(options_.width);
    if (options_.historyLines != 0) {
        history_.SetCapacity(options_.historyLines);
        emulator_.screen.observer = this;
        emulator_.screen.attached = 1;
    }
    if (options_.vt102) {
        EnableVt102(emulator_);
    }
}

void ReplaySession::Receive(std::string_view bytes) {
    // In runs, as the console's reader hands them over: a caller that
    // passes one byte at a time sees the byte-by-byte path.
    std::span<const std::uint8_t> rest(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                       bytes.size());
    const std::uint8_t mask = options_.eightBit ? 0xFF : 0x7F;
    while (!rest.empty()) {
        rest = rest.subspan(ReceiveRun(emulator_, rest, mask, rest.size()));
    }
}

void ReplaySession::Type(std::int32_t code) {
    TypeChar(emulator_, code);
}

void ReplaySession::Reset() {
    const std::uint32_t attached = emulator_.screen.attached;
    emulator_.screen.attached = 0;
    ResetEmulator(emulator_, options_.width > 80);
    emulator_.screen.attached = attached;
}

std::string DescribeText(std::span<const std::uint16_t> cells) {
    std::size_t end = cells.size();
    while (end > 0 && cells[end - 1] == ' ') {
        --end;
    }
    std::string text;
    for (std::size_t c = 0; c < end; ++c) {
        const std::uint16_t code = cells[c];
        if (code == '\\') {
            text += "\\\\";
        } else if (code >= 0x20 && code <= 0x7E) {
            text += static_cast<char>(code);
        } else {
            char escaped[16];
            std::snprintf(escaped, sizeof escaped, "\\u{%04X}", code);
            text += escaped;
        }
    }
    return text;
}

std::vector<std::string> ReplaySession::Describe() const {
    const ScreenBuffer& screen = emulator_.screen;
    const EmulationState& state = emulator_.state;
    std::vector<std::string> lines;
    auto flag = [](auto value) { return value ? std::string("1") : std::string("0"); };
    lines.push_back("size " + std::to_string(screen.rows) + " " + std::to_string(screen.cols));
    lines.push_back("cursor " + std::to_string(screen.shownRow) + " " +
                    std::to_string(screen.shownCol) + " " + flag(screen.cursorVisible));
    lines.push_back("region " + std::to_string(screen.regionTop) + " " +
                    std::to_string(screen.regionBottom));
    lines.push_back("modes vt52=" + flag(state.vt52Mode) + " genrad=" + flag(state.genradMode) +
                    " keypad=" + flag(state.keypadApplication) +
                    " newline=" + flag(state.newLineMode) + " origin=" + flag(state.originMode) +
                    " autowrap=" + flag(screen.autowrap) + " scrolling=" + flag(screen.scrolling) +
                    " g0=" + std::to_string(state.g0Set) + " g1=" + std::to_string(state.g1Set) +
                    " shift=" + flag(state.shiftOut) + " spaced=" + flag(state.spacedChars));
    if (emulator_.vt102) {
        const Vt102State& dec = emulator_.dec;
        lines.push_back("vt102 pending=" + flag(dec.wrapPending) + " insert=" +
                        flag(dec.insertMode) + " reverse=" + flag(screen.reverseScreen));
    }
    lines.push_back("attr " + Hex2(screen.attr));
    lines.push_back("bells " + std::to_string(bells_));
    std::string sent = "sent";
    for (std::uint8_t byte : sent_) {
        sent += " " + Hex2(byte);
    }
    lines.push_back(sent_.empty() ? "sent -" : sent);
    for (std::size_t i = 0; i < history_.Size(); ++i) {
        const HistoryLine line = history_.Line(i);
        lines.push_back("h" + std::to_string(line.lineAttr) + "|" + DescribeText(line.chars));
    }
    for (std::uint32_t r = 0; r < screen.rows; ++r) {
        const std::span row(&screen.chars[screen.CellIndex(r, 0)], screen.cols);
        lines.push_back(std::to_string(screen.lineAttrs[r]) + "|" + DescribeText(row));
    }
    for (std::uint32_t r = 0; r < screen.rows; ++r) {
        std::string digits;
        for (std::uint32_t c = 0; c < screen.cols; ++c) {
            digits += "0123456789ABCDEF"[screen.attrs[screen.CellIndex(r, c)] & 0xF];
        }
        digits.erase(digits.find_last_not_of('0') + 1);
        if (!digits.empty()) {
            lines.push_back("a" + std::to_string(r) + "|" + digits);
        }
    }
    return lines;
}

} // namespace kestra::emulator
