// Time to paint a whole console screen into an image: the console window's
// own paint (lock, plan, glyph runs, cursor), on the offscreen platform.
//
//   build/default/bin/paint_screen

#include "console/window/ConsoleWindow.h"
#include "console/window/ConsoleWindowList.h"
#include "console/window/StandaloneConsole.h"

#include <QApplication>
#include <QImage>
#include <benchmark/benchmark.h>
#include <memory>

using namespace kestra::console;

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "paint_screen";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static QApplication* app = new QApplication(argc, argv); // never destroyed
    return *app;
}

// A screen of text as a shell session shows it: letters, digits and
// punctuation with a change of attribute every few words, so every row
// breaks into several runs.
void FillScreen(kestra::emulator::ScreenBuffer& screen) {
    static const char16_t text[] =
        u"total 48 drwxr-xr-x  2 user staff 4096 Dec  5 16:45 console/window README.md ";
    constexpr std::uint8_t attributes[] = {
        0, 0, kestra::emulator::kAttrBold, 0, kestra::emulator::kAttrUnderline, 0};
    const std::size_t length = std::char_traits<char16_t>::length(text);
    for (std::uint32_t row = 0; row < screen.rows; ++row) {
        for (std::uint32_t column = 0; column < screen.cols; ++column) {
            const std::size_t at = screen.CellIndex(row, column);
            screen.chars[at] = text[(row * 7 + column) % length];
            screen.attrs[at] = attributes[(column / 12 + row) % std::size(attributes)];
        }
    }
}

struct PaintFixture {
    Properties properties;
    BlinkPalette blink;
    SelectionState selection;
    ConsoleWindowList list{ConsoleWindowContext{&properties, &blink, &selection, {}, {}}};
    std::unique_ptr<StandaloneConsole> console;
    std::unique_ptr<ConsoleWindow> window;
    QImage image;

    explicit PaintFixture(int columns) {
        App();
        blink.SetPaletteDevice(true);
        blink.UpdateBlinkState();
        console = std::make_unique<StandaloneConsole>("bench", 24, columns > 80, false);
        FillScreen(console->Screen());
        window = std::make_unique<ConsoleWindow>(list, *console, 24, columns, std::nullopt);
        // The usual 8x16 cells for 80 columns; 132 columns in the same window.
        window->resize(644, 388);
        window->RebuildFonts();
        image = QImage(window->size(), QImage::Format_RGB32);
    }
};

void PaintScreen(benchmark::State& state) {
    PaintFixture fixture(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        fixture.window->render(&fixture.image);
        benchmark::DoNotOptimize(fixture.image.constBits());
    }
    state.SetLabel(std::to_string(state.range(0)) + " columns");
}
BENCHMARK(PaintScreen)->Arg(80)->Arg(132)->Unit(benchmark::kMicrosecond);

// The display-free part alone: what the painter is asked to draw.
void PlanScreen(benchmark::State& state) {
    PaintFixture fixture(static_cast<int>(state.range(0)));
    const Rect whole{0, 0, 644, 388};
    for (auto _ : state) {
        PaintPlan plan = PlanPaint(fixture.window->Geometry(), fixture.console->Screen(), whole,
                                   false, std::nullopt);
        benchmark::DoNotOptimize(plan);
    }
}
BENCHMARK(PlanScreen)->Arg(80)->Arg(132)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
