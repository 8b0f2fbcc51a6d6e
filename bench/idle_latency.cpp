// How long a byte that a server writes to an idle console takes to reach the
// emulator and become a repaint request: the console's reader blocks on its
// connection while idle, so the byte should be handled at once rather than
// at the reader's next wake-up. A reader that slept 20 ms between polls is
// measured beside it for comparison.

#include "console/ConsoleRecord.h"
#include "console/PipeLink.h"
#include "platform/PipeConnection.h"
#include "platform/SocketListener.h"
#include "termdef/TerminalDefinitionFile.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace kestra;
using Clock = std::chrono::steady_clock;

// Notes the moment each repaint request is posted and answers at once.
class TimingWindow : public console::ConsoleWindowLink {
public:
    explicit TimingWindow(console::ConsoleRecord& record) : record_(record) {}
    void PostRepaint(console::RepaintKind, console::CellRange) override {
        {
            std::lock_guard guard(mutex_);
            postedAt_ = Clock::now();
            ++posted_;
        }
        changed_.notify_all();
        record_.paintedEvent.Set();
    }
    void PostResize(unsigned, unsigned) override {}

    // Waits for the request after the count-th and returns when it came.
    Clock::time_point WaitBeyond(unsigned count) {
        std::unique_lock guard(mutex_);
        changed_.wait(guard, [&] { return posted_ > count; });
        return postedAt_;
    }
    unsigned Posted() {
        std::lock_guard guard(mutex_);
        return posted_;
    }

private:
    console::ConsoleRecord& record_;
    std::mutex mutex_;
    std::condition_variable changed_;
    Clock::time_point postedAt_;
    unsigned posted_ = 0;
};

// A console with the cursor hidden in the last column, so that every
// received character is exactly one change, linked to a server over a Unix
// socket.
struct IdleConsole {
    IdleConsole() {
        termdef::ResetTerminalDefinition();
        termdef::TheTerminalDefinition().loaded = true;
        char pattern[] = "/tmp/kbench-XXXXXX";
        directory = mkdtemp(pattern);
        platform::ListenResult listening =
            platform::SocketListener::ListenLocal(directory + "/pipe");
        listener = std::move(listening.listener);
        record.pipe = std::move(platform::PipeConnection::Open(directory + "/pipe").connection);
        server = std::move(listener.Accept().connection);

        record.cursorSuppressed = true;
        emulator::InitEmulator(emulator, termdef::LoadTerminalDefinition(""), 24);
        console::ConnectEmulator(record, emulator);
        emulator.screen.attached = 1;
        emulator.screen.RefreshScreen();
        emulator.screen.MoveCursor(0, 79);
        console::AttachWindow(record, window);
    }
    ~IdleConsole() {
        listener.CloseAndRemove();
        rmdir(directory.c_str());
    }
    bool Ok() const { return record.pipe.IsOpen() && server.IsOpen(); }
    void Send(char byte) const { (void)!write(server.Descriptor(), &byte, 1); }

    std::string directory;
    platform::SocketListener listener;
    platform::PipeConnection server;
    console::ConsoleRecord record;
    emulator::Emulator emulator;
    TimingWindow window{record};
};

// The reader before it blocked while idle: peek, and sleep 20 ms when
// nothing waits. Only what the measurement needs.
void PollingReader(console::ConsoleRecord& record) {
    std::vector<std::uint8_t> buffer(console::kReceiveBufferSize);
    while (!record.stopping) {
        const platform::PipeOutcome waiting = record.pipe.BytesAvailable();
        if (!waiting.Ok()) {
            return;
        }
        if (waiting.bytes == 0) {
            {
                std::unique_lock held(record.lock);
                if (console::RepaintWhenIdle(record, held)) {
                    continue;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        const platform::PipeOutcome got = record.pipe.Read(buffer);
        if (!got.Ok()) {
            return;
        }
        std::unique_lock held(record.lock);
        console::ReceiveBytes(record, std::span(buffer.data(), got.bytes), held);
    }
}

template <void (*Reader)(console::ConsoleRecord&)>
void IdleLatency(benchmark::State& state) {
    IdleConsole console;
    if (!console.Ok()) {
        state.SkipWithError("no connection");
        return;
    }
    std::thread reader([&] { Reader(console.record); });
    std::vector<double> latencies;
    for (auto _ : state) {
        // Let the reader settle into its idle wait, at a random phase of a
        // polling reader's sleep.
        std::this_thread::sleep_for(std::chrono::microseconds(5000 + std::rand() % 20000));
        const unsigned before = console.window.Posted();
        const Clock::time_point sent = Clock::now();
        console.Send('A');
        const Clock::time_point handled = console.window.WaitBeyond(before);
        const double seconds = std::chrono::duration<double>(handled - sent).count();
        state.SetIterationTime(seconds);
        latencies.push_back(seconds * 1000.0);
    }
    console.record.stopping = true;
    console.record.readerWakeUp.Raise();
    reader.join();

    std::sort(latencies.begin(), latencies.end());
    auto at = [&](double fraction) {
        return latencies[static_cast<std::size_t>(fraction * (latencies.size() - 1))];
    };
    state.counters["median_ms"] = at(0.5);
    state.counters["p90_ms"] = at(0.9);
    state.counters["max_ms"] = latencies.back();
}

void BlockingReader(console::ConsoleRecord& record) {
    console::PipeReader(record);
}

BENCHMARK(IdleLatency<BlockingReader>)
    ->Name("IdleLatency/BlockingReader")
    ->UseManualTime()
    ->Iterations(200)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(IdleLatency<PollingReader>)
    ->Name("IdleLatency/PollingEvery20ms")
    ->UseManualTime()
    ->Iterations(100)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
