#pragma once

#include "ShellTestSupport.h"
#include "config/GlobalOptions.h"
#include "console/ConsoleTable.h"
#include "console/ConsoleTestSupport.h"
#include "console/PipeLink.h"
#include "console/window/ConsoleWindow.h"
#include "platform/Exit.h"
#include "shell/ConsoleWindowBinding.h"
#include "shell/FrameWindow.h"
#include "termdef/TerminalDefinition.h"

#include <QKeyEvent>
#include <memory>
#include <poll.h>
#include <string>
#include <unistd.h>

// A shell with its console windows bound, showing consoles of the console
// table connected to local sockets: what a console sends can be read at the
// server's end.
namespace kestra::shell::testing {

// Consoles defined by the test leave the table when it ends, after the
// windows that show them.
struct ConsoleTableGuard {
    ConsoleTableGuard() { Reset(); }
    ~ConsoleTableGuard() { Reset(); }
    static void Reset() {
        console::Consoles().Reset();
        config::ResetOptions();
    }
    // The built-in definition: every key sends its code's low byte.
    console::consoletest::BareTerminalDefinition definition;
};

class BoundConsolesTest : public ::testing::Test {
protected:
    static constexpr int kConsoles = 3;

    // A test that prepares the settings or the frame first starts the shell
    // itself.
    explicit BoundConsolesTest(bool start = true)
        : shell((App(), configuration), world.Environment()) {
        binding = std::make_unique<ConsoleWindowBinding>(shell);
        configuration.quietMode = true;
        configuration.configure = [this] {
            for (std::uint16_t unit = 0; unit < kConsoles; ++unit) {
                Define(unit);
            }
        };
        binding->Keyboard().SetBeep([this] { ++beeps; });
        if (start) {
            Start();
        }
    }
    void Start() {
        shell.RunStartup(std::vector<std::string>{"kestra"});
        PumpUntil([] { return false; }, 50);
    }
    void Define(std::uint16_t unit) {
        auto record = std::make_unique<console::ConsoleRecord>();
        record->unit = unit;
        record->unitName = "Console " + std::to_string(unit);
        record->ownedEmulator = std::make_unique<emulator::Emulator>();
        record->emulator = record->ownedEmulator.get();
        emulator::InitEmulator(*record->emulator, "", console::DefaultRows);
        console::ConnectEmulator(*record, *record->emulator);
        record->emulator->screen.attached = 1;
        servers.push_back(std::make_unique<console::consoletest::ServerLink>(
            console::consoletest::Transport::UnixSocket));
        ASSERT_TRUE(servers.back()->Ok());
        record->pipe = std::move(servers.back()->client);
        console::ConsoleRecord& stored = console::Consoles().Store(std::move(record));
        console::Consoles().CountDefinition();
        console::TheWindowSide().Frame()->RegisterConsole(stored, 24, 80);
    }

    console::ConsoleWindow& Window(int unit) {
        return *binding->WindowOfRecord(console::Consoles().At(static_cast<std::uint16_t>(unit)));
    }
    console::ConsoleWindow* Active() { return binding->List().Active(); }
    const std::vector<console::ConsoleWindow*>& Windows() { return binding->List().Windows(); }
    emulator::ScreenBuffer& Screen(int unit) {
        return console::Consoles().At(static_cast<std::uint16_t>(unit))->emulator->screen;
    }

    // What the server of a console has received, once `count` bytes have
    // arrived or the time is up.
    std::string Received(int unit, std::size_t count = 1, int timeoutMs = 2000) {
        std::string bytes;
        pollfd wait{servers[static_cast<std::size_t>(unit)]->server.Descriptor(), POLLIN, 0};
        while (bytes.size() < count && ::poll(&wait, 1, timeoutMs) > 0) {
            char buffer[256];
            const ssize_t got = ::read(wait.fd, buffer, sizeof buffer);
            if (got <= 0) {
                break;
            }
            bytes.append(buffer, static_cast<std::size_t>(got));
        }
        return bytes;
    }

    platform::ScopedFatalCapture capture;
    ConsoleTableGuard table;
    FakeConfiguration configuration;
    TestWorld world;
    // The servers' ends, closed only after the windows and any paste are gone.
    std::vector<std::unique_ptr<console::consoletest::ServerLink>> servers;
    int beeps = 0;
    // Declared before the shell: it must outlive the frame's windows.
    std::unique_ptr<ConsoleWindowBinding> binding;
    Shell shell;
};

} // namespace kestra::shell::testing
