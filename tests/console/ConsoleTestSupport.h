#pragma once

// Consoles without a window: a console record with its emulator, fed on the
// test's thread or by its reader on its own thread from a server that the
// test plays over a real socket.

#include "console/CellGeometry.h"
#include "console/PipeLink.h"
#include "console/RecordingWindow.h"
#include "platform/Exit.h"
#include "platform/SocketListener.h"
#include "support/Program.h"
#include "termdef/TerminalDefinition.h"

#include <future>
#include <sys/socket.h>

namespace kestra::console::consoletest {

using namespace kestra::testing;
using namespace std::chrono_literals;
enum class Transport { UnixSocket, Tcp };

// As the CON command leaves a console (plain terminal definition, VT100),
// without a connection.
struct TestConsole {
    explicit TestConsole(unsigned rows = 24, bool cursorSuppressed = false) {
        termdef::ResetTerminalDefinition();
        termdef::TheTerminalDefinition().loaded = true;
        record.cursorSuppressed = cursorSuppressed;
        emulator::InitEmulator(emulator, "", rows);
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
    ConsoleRecord record;
    emulator::Emulator emulator;
};

// Connects the console to a server end that the test holds.
struct ServerLink {
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
    bool Write(std::string_view bytes) const {
        for (ssize_t sent = 0; !bytes.empty(); bytes.remove_prefix(std::size_t(sent))) {
            if ((sent = ::send(server.Descriptor(), bytes.data(), bytes.size(), MSG_NOSIGNAL)) <=
                0) {
                return false;
            }
        }
        return true;
    }
    TemporaryDirectory directory;
    platform::PipeConnection server;
    bool ok = false;
};

// PipeReader on its own thread. A fatal error, thrown by the tests' exit
// routine, ends it; its message is the reader's outcome.
struct ReaderThread {
    explicit ReaderThread(ConsoleRecord& r) : record(r) {}
    ~ReaderThread() { Stop(); }
    void Stop() {
        record.stopReader = true;
        record.readerWakeUp.Raise();
        end.wait();
    }
    std::optional<std::string> WaitForEnd(std::chrono::milliseconds limit) const {
        return end.wait_for(limit) == std::future_status::ready
                   ? end.get()
                   : std::optional<std::string>("(still reading)");
    }
    ConsoleRecord& record;
    std::atomic<pid_t> id{0};
    std::shared_future<std::optional<std::string>> end =
        std::async(std::launch::async, [this]() -> std::optional<std::string> {
            id = gettid();
            try {
                PipeReader(record);
            } catch (const platform::FatalError& error) {
                return std::string(error.message());
            } catch (const platform::ProcessEnded&) {
            }
            return std::nullopt;
        }).share();
};

} // namespace kestra::console::consoletest
