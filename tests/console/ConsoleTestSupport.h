#pragma once

// A console without a window, fed on the test's thread or by its reader.

#include "config/ConfigHooks.h"
#include "config/GlobalOptions.h"
#include "console/ConsoleDefinition.h"
#include "console/PipeLink.h"
#include "console/RecordingWindow.h"
#include "platform/Exit.h"
#include "platform/SocketListener.h"
#include "support/Program.h"
#include "termdef/TerminalDefinitionFile.h"

#include <future>
#include <sys/socket.h>

namespace kestra::console::consoletest {

using namespace kestra::testing;
using namespace std::chrono_literals;
enum class Transport { UnixSocket, Tcp };

template <typename Record = ConsoleRecord>
struct TestConsoleOf { // as the CON command leaves it: VT100, plain maps
    explicit TestConsoleOf(unsigned rows = 24, bool cursorSuppressed = false) {
        termdef::TheTerminalDefinition().loaded = true;
        record.cursorSuppressed = cursorSuppressed;
        emulator::InitEmulator(emulator, termdef::LoadTerminalDefinition(""), rows);
        ConnectEmulator(record, emulator);
        emulator.screen.attached = 1;
        emulator.screen.RefreshScreen();
    }
    void Receive(std::string_view bytes) { // one read, as the reader hands it over
        std::unique_lock held(record.lock);
        ReceiveBytes(record, {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()},
                     held);
    }
    std::uint16_t Cell(std::uint32_t row, std::uint32_t column) {
        std::lock_guard held(record.lock);
        return emulator.screen.chars[emulator.screen.CellIndex(row, column)];
    }
    Record record;
    emulator::Emulator emulator;
};
using TestConsole = TestConsoleOf<>;

struct ServerLink { // the console's connection to a server end the test holds
    ServerLink(Transport transport, ConsoleRecord& record) {
        auto listening = transport == Transport::Tcp
                             ? platform::SocketListener::ListenTcp("127.0.0.1", "0")
                             : platform::SocketListener::ListenLocal(directory / "pipe");
        record.pipePath = transport == Transport::Tcp
                              ? "\\\\127.0.0.1\\pipe\\" + std::to_string(listening.listener.Port())
                              : directory / "pipe";
        record.pipe = std::move(platform::PipeConnection::Open(record.pipePath).connection);
        server = std::move(listening.listener.Accept().connection);
        ok = record.pipe.IsOpen() && server.IsOpen();
    }
    bool Write(std::string_view bytes) const { // blocks until all is sent
        return ::send(server.Descriptor(), bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               ssize_t(bytes.size());
    }
    TemporaryDirectory directory;
    platform::PipeConnection server;
    bool ok = false;
};

// A server socket P in a fresh directory, errors thrown, and the CON command
// defining consoles as at start-up.
struct DefinitionSetUp {
    DefinitionSetUp() {
        termdef::TheTerminalDefinition().loaded = true;
        config::ResetOptions();
        config::ResetHooks();
        InstallConsoleDefinition();
    }
    TemporaryDirectory directory;
    platform::SocketListener server =
        std::move(platform::SocketListener::ListenLocal(directory / "P").listener);
    platform::ScopedFatalCapture capture;
};

// PipeReader (or PipeWriter) on its own thread; its outcome is the fatal
// error that ended it.
struct ConsoleThread {
    explicit ConsoleThread(ConsoleRecord& r, void (*body)(ConsoleRecord&) = PipeReader)
        : record(r), body(body) {}
    ~ConsoleThread() { Stop(); }
    void Stop() {
        record.stopping = true;
        record.readerWakeUp.Raise();
        record.outgoing.Stop();
        end.wait();
        record.stopping = false;
    }
    std::optional<std::string> WaitForEnd(std::chrono::milliseconds limit) const {
        return end.wait_for(limit) == std::future_status::ready ? end.get() : "(still running)";
    }
    ConsoleRecord& record;
    void (*body)(ConsoleRecord&);
    std::shared_future<std::optional<std::string>> end =
        std::async(std::launch::async, [this]() -> std::optional<std::string> {
            try {
                body(record);
            } catch (const platform::FatalError& error) {
                return std::string(error.message());
            } catch (const platform::ProcessEnded&) {
            }
            return std::nullopt;
        }).share();
};

} // namespace kestra::console::consoletest
