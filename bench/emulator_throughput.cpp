// Bytes per second through the emulator with console-like hooks attached,
// against libvterm on the same streams, with a summary of the ratio per
// stream. The emulator should stay at least twice as fast as libvterm on
// every stream: a console's reader thread hands it every received byte.
//
// Both sides get what a console without a window would do: 24x80, bytes read
// 4096 at a time, every screen change collected into a change rectangle, and
// the last 10,000 lines that scroll off kept.

#include "bench/StreamGenerator.h"
#include "emulator/Emulator.h"
#include "emulator/ScreenHistory.h"
#include "termdef/TerminalDefinitionFile.h"

extern "C" {
#include <vterm.h>
}

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace {

using kestra::emulator::Emulator;
using kestra::emulator::ScreenBuffer;

constexpr std::size_t kReadSize = 4096; // what the reader takes from the pipe at once
constexpr unsigned kRepaintBatch = 400; // changes after which the reader asks for a repaint

// The console's change rectangle and cursor record, without the window: a
// repaint request packs the rectangle as the message would and counts it.
struct ChangeCollector : kestra::emulator::ScreenObserver, kestra::emulator::TerminalOutput {
    static constexpr std::uint32_t Empty = ~0u;
    const ScreenBuffer* screen = nullptr;

    // While dirtyCount is 0 the edges hold an inverted rectangle, so the first
    // range added becomes the rectangle exactly without a test per change.
    std::uint32_t dirtyCount = 0;
    std::uint32_t left = Empty, top = Empty, right = 0, bottom = 0;
    // The cursor as the console records it, with its cell range kept ready:
    // a move adds the old range and the new one.
    bool cursorShown = true;
    bool cursorDoubleWidth = false;
    std::uint32_t cursorRow = 0, cursorCol = 0;
    std::uint32_t cursorFirst = 0, cursorLast = 0;
    std::uint64_t requests = 0;
    std::uint32_t lastPacked = 0;
    unsigned bells = 0;

    void Add(std::uint32_t r0, std::uint32_t c0, std::uint32_t r1, std::uint32_t c1,
             std::uint32_t changes = 1) {
        left = std::min(left, c0);
        top = std::min(top, r0);
        right = std::max(right, c1);
        bottom = std::max(bottom, r1);
        dirtyCount += changes;
    }

    // The cursor's cell, or the pair of a double-width character.
    void RecordCursor(std::uint32_t row, std::uint32_t col, bool doubleWidth) {
        cursorRow = row;
        cursorCol = col;
        cursorDoubleWidth = doubleWidth;
        cursorFirst = doubleWidth ? col & ~1u : col;
        cursorLast = cursorFirst + (doubleWidth ? 1 : 0);
    }

    void AddCursorCell() { Add(cursorRow, cursorFirst, cursorRow, cursorLast); }

    // As the console's reader: a run of text ends with the character that
    // brings the changes to the batch.
    std::size_t PrintsBeforeBatch() const {
        if (dirtyCount >= kRepaintBatch) {
            return 1;
        }
        const std::uint32_t perCharacter = cursorShown ? 3 : 1;
        return (kRepaintBatch - dirtyCount + perCharacter - 1) / perCharacter;
    }

    void Post() {
        if (dirtyCount == 0) {
            return;
        }
        lastPacked =
            (left & 0xFF) << 24 | (top & 0xFF) << 16 | (right & 0xFF) << 8 | (bottom & 0xFF);
        ++requests;
        dirtyCount = 0;
        left = top = Empty;
        right = bottom = 0;
    }

    bool DoubleWidth(std::uint32_t row) const { return screen->lineAttrs[row] != 0; }

    void SendByte(std::uint8_t) override {}
    void RingBell() override { ++bells; }

    // A console keeps 10,000 lines of history by default.
    kestra::emulator::ScreenHistory history{10000};
    void LineScrolledOff(const ScreenBuffer& from) override { history.Keep(from, 0); }

    void RefreshAll() override { Post(); }
    void CursorMoved(std::uint32_t row, std::uint32_t column) override {
        const std::uint32_t oldRow = cursorRow, oldFirst = cursorFirst, oldLast = cursorLast;
        RecordCursor(row, column, DoubleWidth(row));
        if (cursorShown) {
            // The old cell and the new one, two changes, in one step.
            Add(std::min(oldRow, cursorRow), std::min(oldFirst, cursorFirst),
                std::max(oldRow, cursorRow), std::max(oldLast, cursorLast), 2);
        }
    }
    void CursorVisibility(bool shown) override {
        if (cursorShown != shown) {
            cursorShown = shown;
            AddCursorCell();
        }
    }
    void CellsChanged(std::uint32_t row, std::uint32_t column, unsigned count,
                      std::uint8_t) override {
        if (DoubleWidth(row)) {
            const std::uint32_t first = column & ~1u;
            Add(row, first, row, first + ((count - 1) | 1u));
        } else {
            Add(row, column, row, column + count - 1);
        }
    }
    void ScrolledUp(std::uint32_t top, std::uint32_t bottom) override {
        Add(top, 0, bottom - 1, screen->cols - 1);
    }
    void ScrolledDown(std::uint32_t top, std::uint32_t bottom) override {
        Add(top + 1, 0, bottom, screen->cols - 1);
    }
    void FlushChanges() override { Post(); }
    void LineChanged(std::uint32_t row) override {
        RecordCursor(cursorRow, cursorCol, DoubleWidth(row));
        Add(row, 0, row, screen->cols - 1);
        Post();
    }
    bool TakesPrintedRuns() const override { return true; }
    void CellsPrinted(std::uint32_t row, std::uint32_t column, unsigned count) override {
        // count cells and count cursor moves along them, in one step.
        const std::uint32_t oldRow = cursorRow, oldFirst = cursorFirst, oldLast = cursorLast;
        RecordCursor(row, column, DoubleWidth(row));
        const std::uint32_t first = column - count;
        if (cursorShown) {
            Add(std::min(oldRow, row), std::min({oldFirst, cursorFirst, first}),
                std::max(oldRow, row), std::max({oldLast, cursorLast, column - 1}), 3 * count);
        } else {
            Add(row, first, row, column - 1, count);
        }
    }
};

// hooked: the console-like hooks attached; otherwise the screen is detached
// and no hook runs, which shows what the emulator alone costs. vt102: a
// VT102 console (auto-wrap on), else the plain terminal.
void KestraThroughput(benchmark::State& state, const std::string& stream, bool hooked, bool vt102) {
    kestra::termdef::ResetTerminalDefinition();
    Emulator emulator;
    InitEmulator(emulator,
                 kestra::termdef::LoadTerminalDefinition(KESTRA_SOURCE_DIR "/data/VT100.CNF"),
                 kestra::bench::kStreamRows);
    if (vt102) {
        emulator.screen.autowrap = 1;
        kestra::emulator::EnableVt102(emulator);
    }
    ChangeCollector collector;
    collector.screen = &emulator.screen;
    emulator.output = &collector;
    if (hooked) {
        emulator.screen.observer = &collector;
        emulator.screen.attached = 1;
    }

    const auto* bytes = reinterpret_cast<const std::uint8_t*>(stream.data());
    for (auto _ : state) {
        for (std::size_t start = 0; start < stream.size(); start += kReadSize) {
            const std::size_t end = std::min(stream.size(), start + kReadSize);
            std::span<const std::uint8_t> block(bytes + start, end - start);
            while (!block.empty()) {
                block = block.subspan(kestra::emulator::ReceiveRun(emulator, block, 0x7F,
                                                                   collector.PrintsBeforeBatch()));
                if (collector.dirtyCount >= kRepaintBatch) {
                    collector.Post();
                }
            }
        }
        collector.Post(); // the pipe ran dry
        benchmark::DoNotOptimize(collector.lastPacked);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    state.counters["repaints"] = benchmark::Counter(static_cast<double>(collector.requests),
                                                    benchmark::Counter::kAvgIterations);
}

// libvterm's screen layer with the callbacks a window would set; damage is
// collected into the same kind of rectangle.
struct VtermCollector {
    // The last 10,000 lines that scrolled off, as a console keeps them.
    std::vector<std::vector<VTermScreenCell>> scrollback =
        std::vector<std::vector<VTermScreenCell>>(10000);
    std::size_t kept = 0;
    void Keep(const VTermScreenCell* cells, int columns) {
        scrollback[kept++ % scrollback.size()].assign(cells, cells + columns);
    }
    VTermRect dirty{};
    std::uint32_t dirtyCount = 0;
    std::uint64_t requests = 0;
    std::uint32_t cursorRow = 0, cursorCol = 0;
    unsigned bells = 0;

    void Add(const VTermRect& rect) {
        if (dirtyCount == 0) {
            dirty = rect;
        } else {
            dirty.start_row = std::min(dirty.start_row, rect.start_row);
            dirty.start_col = std::min(dirty.start_col, rect.start_col);
            dirty.end_row = std::max(dirty.end_row, rect.end_row);
            dirty.end_col = std::max(dirty.end_col, rect.end_col);
        }
        ++dirtyCount;
    }

    void Post() {
        if (dirtyCount != 0) {
            ++requests;
            dirtyCount = 0;
        }
    }
};

// clang-format off
const VTermScreenCallbacks VtermCallbacks = {
    /* damage      */ [](VTermRect rect, void* user) {
                          static_cast<VtermCollector*>(user)->Add(rect);
                          return 1;
                      },
    /* moverect    */ [](VTermRect dest, VTermRect, void* user) {
                          static_cast<VtermCollector*>(user)->Add(dest);
                          return 1;
                      },
    /* movecursor  */ [](VTermPos pos, VTermPos old, int visible, void* user) {
                          auto* c = static_cast<VtermCollector*>(user);
                          if (visible) {
                              c->Add({old.row, old.row + 1, old.col, old.col + 1});
                              c->Add({pos.row, pos.row + 1, pos.col, pos.col + 1});
                          }
                          c->cursorRow = static_cast<std::uint32_t>(pos.row);
                          c->cursorCol = static_cast<std::uint32_t>(pos.col);
                          return 1;
                      },
    /* settermprop */ [](VTermProp, VTermValue*, void*) { return 1; },
    /* bell        */ [](void* user) { ++static_cast<VtermCollector*>(user)->bells; return 1; },
    /* resize      */ [](int, int, void*) { return 1; },
    /* sb_pushline */ [](int columns, const VTermScreenCell* cells, void* user) {
                          static_cast<VtermCollector*>(user)->Keep(cells, columns);
                          return 1;
                      },
    /* sb_popline  */ nullptr,
};
// clang-format on

void VtermThroughput(benchmark::State& state, const std::string& stream) {
    VTerm* vt = vterm_new(kestra::bench::kStreamRows, kestra::bench::kStreamColumns);
    vterm_set_utf8(vt, 0); // the streams are 7-bit, as the console's bytes are
    vterm_output_set_callback(
        vt, [](const char*, std::size_t, void*) {}, nullptr);
    VTermScreen* screen = vterm_obtain_screen(vt);
    VtermCollector collector;
    vterm_screen_set_callbacks(screen, &VtermCallbacks, &collector);
    vterm_screen_set_damage_merge(screen, VTERM_DAMAGE_SCROLL);
    vterm_screen_reset(screen, 1);

    for (auto _ : state) {
        for (std::size_t start = 0; start < stream.size(); start += kReadSize) {
            const std::size_t count = std::min(kReadSize, stream.size() - start);
            vterm_input_write(vt, stream.data() + start, count);
            vterm_screen_flush_damage(screen);
            collector.Post();
        }
        benchmark::DoNotOptimize(collector.dirty);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    state.counters["repaints"] = benchmark::Counter(static_cast<double>(collector.requests),
                                                    benchmark::Counter::kAvgIterations);
    vterm_free(vt);
}

// The console table as usual, then one line per stream with both rates.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.cpu_accumulated_time <= 0) {
                continue;
            }
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median) {
                continue;
            }
            const std::string& name = run.run_name.function_name;
            if (!median && medians_.count(name)) {
                continue;
            }
            const auto bytes = run.counters.find("bytes_per_second");
            if (bytes != run.counters.end()) {
                rates_[name] = bytes->second.value / 1e6;
                if (median) {
                    medians_[name] = true;
                }
            }
        }
    }

    void PrintSummary() const {
        std::printf("\n%-11s %13s %15s %8s %15s %11s %8s\n", "stream", "KESTRA MB/s",
                    "libvterm MB/s", "ratio", "detached MB/s", "VT102 MB/s", "ratio");
        bool measured = false;
        bool allMet = true;
        for (const kestra::bench::StreamInfo& stream : kestra::bench::kStreams) {
            const std::string name(stream.name);
            const double kestra = Rate("KESTRA/" + name);
            const double vterm = Rate("libvterm/" + name);
            if (kestra <= 0 || vterm <= 0) {
                continue;
            }
            const double ratio = kestra / vterm;
            const double vt102Ratio = Rate("KESTRA-vt102/" + name) / vterm;
            measured = true;
            allMet = allMet && ratio >= 2.0 && vt102Ratio >= 2.0;
            const double detached = Rate("KESTRA-detached/" + name);
            char detachedText[32] = "-";
            if (detached > 0) {
                std::snprintf(detachedText, sizeof detachedText, "%.1f", detached);
            }
            std::printf("%-11s %13.1f %15.1f %7.2fx %15s %11.1f %7.2fx%s\n", name.c_str(), kestra,
                        vterm, ratio, detachedText, Rate("KESTRA-vt102/" + name), vt102Ratio,
                        ratio >= 2.0 && vt102Ratio >= 2.0 ? "" : "  below 2x");
        }
        std::printf(
            "(MB = 10^6 bytes; streams of %zu bytes; ratio = KESTRA / libvterm, plain and VT102)\n",
            kestra::bench::kStreamBytes);
        if (measured) {
            std::printf("%s\n", allMet ? "at least 2x libvterm on every stream"
                                       : "below 2x libvterm on a stream");
        }
    }

private:
    double Rate(const std::string& name) const {
        const auto found = rates_.find(name);
        return found == rates_.end() ? 0.0 : found->second;
    }

    std::map<std::string, double> rates_;
    std::map<std::string, bool> medians_;
};

} // namespace

int main(int argc, char** argv) {
    // Generated before any timing; the registered benchmarks refer to them.
    std::vector<std::string> streams;
    for (const kestra::bench::StreamInfo& stream : kestra::bench::kStreams) {
        streams.push_back(kestra::bench::GenerateStream(stream.kind));
    }
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const std::string name(kestra::bench::kStreams[i].name);
        const std::string& bytes = streams[i];
        benchmark::RegisterBenchmark(("KESTRA/" + name).c_str(), KestraThroughput, bytes, true,
                                     false)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("KESTRA-vt102/" + name).c_str(), KestraThroughput, bytes,
                                     true, true)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("libvterm/" + name).c_str(), VtermThroughput, bytes)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("KESTRA-detached/" + name).c_str(), KestraThroughput, bytes,
                                     false, false)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintSummary();
    benchmark::Shutdown();
    return 0;
}
