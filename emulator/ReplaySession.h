#pragma once

#include "emulator/Emulator.h"
#include "emulator/ScreenHistory.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One console's emulator fed as a server would feed it, with no window: the
// bytes it sends and the bells it rings are recorded, and its state can be
// printed in a stable text form. kestra-replay and the emulator's fixture
// tests share it, so a fixture's expected lines are what the tool prints.
namespace kestra::emulator {

struct ReplayOptions {
    unsigned rows = 24;
    unsigned width = 80;
    bool autowrap = false;
    bool eightBit = false;
    std::size_t historyLines = 0; // lines kept as they scroll off; 0: none
    bool vt102 = false;           // a VT102 console; auto-wrap is then on
};

class ReplaySession : private TerminalOutput, private ScreenObserver {
public:
    // The definition must outlive the session.
    ReplaySession(const ReplayOptions& options, const termdef::TerminalDefinition& definition);
    ReplaySession(const ReplaySession&) = delete;
    ReplaySession& operator=(const ReplaySession&) = delete;

    // Received bytes; bit 7 is cleared unless the session is 8-bit.
    void Receive(std::string_view bytes);
    void Type(std::int32_t code);
    // The console's Reset: wide when the configured width is above 80.
    void Reset();

    Emulator& emulator() { return emulator_; }
    const std::vector<std::uint8_t>& sent() const { return sent_; }
    unsigned bells() const { return bells_; }
    // What scrolled off the top while the session observed its screen.
    ScreenHistory& history() { return history_; }

    // size, cursor, region, modes, (on a VT102 console) vt102, attr, bells,
    // sent, one hL|TEXT line per kept history line, one L|TEXT line per row,
    // then one aROW line per row holding attributes.
    std::vector<std::string> Describe() const;

private:
    void SendByte(std::uint8_t byte) override { sent_.push_back(byte); }
    void RingBell() override { ++bells_; }
    // Observing the screen only to keep its history: printed text in runs,
    // as a console takes it.
    bool TakesPrintedRuns() const override { return true; }
    void LineScrolledOff(const ScreenBuffer& screen) override { history_.Keep(screen, 0); }

    ReplayOptions options_;
    Emulator emulator_;
    std::vector<std::uint8_t> sent_;
    unsigned bells_ = 0;
    ScreenHistory history_;
};

// Cells as printed: trailing blanks removed, 0x20-0x7E as themselves except
// '\' as "\\", any other code as \u{XXXX}.
std::string DescribeText(std::span<const std::uint16_t> cells);

} // namespace kestra::emulator
