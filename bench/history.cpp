// What history costs: the memory of 100 consoles each holding 10,000 lines of
// the plain stream, composing and planning the paint of a view scrolled back
// into a 100,000-line history, and finding a text in all of it.

#include "bench/StreamGenerator.h"
#include "console/HistoryView.h"
#include "console/PaintPlan.h"
#include "emulator/ReplaySession.h"
#include "tests/support/ResidentMemory.h"

#include <benchmark/benchmark.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using kestra::emulator::ReplaySession;

const kestra::termdef::TerminalDefinition kPlainDefinition;

// A session fed the plain stream until its history holds `lines`.
std::unique_ptr<ReplaySession> FilledSession(std::size_t lines) {
    auto session = std::make_unique<ReplaySession>(
        kestra::emulator::ReplayOptions{kestra::bench::kStreamRows, 80, false, false, lines},
        kPlainDefinition);
    const std::string stream = kestra::bench::GenerateStream(kestra::bench::StreamKind::Plain);
    while (session->history().Kept() < lines) {
        session->Receive(stream);
    }
    return session;
}

// 100 consoles with full 10,000-line histories: the resident memory they add.
void HundredFullHistories(benchmark::State& state) {
    for (auto _ : state) {
        const std::size_t before = kestra::testing::ResidentKilobytes();
        std::vector<std::unique_ptr<ReplaySession>> consoles;
        for (int i = 0; i < 100; ++i) {
            consoles.push_back(FilledSession(10000));
        }
        state.counters["added_MB"] =
            static_cast<double>(kestra::testing::ResidentKilobytes() - before) / 1024.0;
    }
}
BENCHMARK(HundredFullHistories)->Iterations(1)->Unit(benchmark::kMillisecond);

// One view of 24 rows scrolled half way back into 100,000 lines: composed and
// planned for a full repaint, as a wheel step asks.
void ScrolledViewPaintPlan(benchmark::State& state) {
    const auto session = FilledSession(100000);
    const kestra::emulator::ScreenBuffer& live = session->emulator().screen;
    kestra::emulator::ScreenBuffer view;
    const kestra::console::CellGeometry geometry =
        kestra::console::ComputeCellGeometry(640, 384, 80, 24);
    std::size_t offset = 50000;
    for (auto _ : state) {
        kestra::console::ComposeScrolledView(live, session->history(), offset += 3, view);
        benchmark::DoNotOptimize(kestra::console::PlanPaint(
            geometry, view, {0, 0, geometry.clientWidth, geometry.clientHeight}, false, {}));
    }
}
BENCHMARK(ScrolledViewPaintPlan)->Unit(benchmark::kMicrosecond);

// Find over the text of 100,000 history lines and the screen, for a text that
// is nowhere (the whole text is searched).
void FindInHistory(benchmark::State& state) {
    const auto session = FilledSession(100000);
    for (auto _ : state) {
        const std::vector<std::u16string> lines =
            kestra::console::ConsoleTextLines(session->emulator().screen, session->history());
        benchmark::DoNotOptimize(
            kestra::console::FindText(lines, u"no such text", std::nullopt, true, false));
    }
}
BENCHMARK(FindInHistory)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
