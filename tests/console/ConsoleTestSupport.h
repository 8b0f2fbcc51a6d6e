#pragma once

// A console linked to a server played by the test over a real socket, its
// reader on a real thread, and the window played by a recorder.

#include "console/CellGeometry.h"
#include "console/ConsoleRecord.h"
#include "console/PipeLink.h"
#include "console/RecordingWindow.h"
#include "platform/Exit.h"
#include "platform/PipeConnection.h"
#include "support/Program.h"
#include "platform/SocketListener.h"
#include "termdef/TerminalDefinition.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kestra::console::consoletest {

using kestra::testing::Clock;
using kestra::testing::Eventually;
using kestra::testing::MillisecondsSince;
using kestra::testing::TemporaryDirectory;

enum class Transport { UnixSocket, Tcp };

inline const char* TransportName(Transport transport) {
    return transport == Transport::Tcp ? "Tcp" : "UnixSocket";
}

// The usual 24x80 console: 8x16 cells with 2-pixel margins.
inline CellGeometry StandardGeometry() {
    return ComputeCellGeometry(644, 388, 80, 24);
}

// A screen with text and attributes written straight into its cells.
struct TextScreen {
    explicit TextScreen(unsigned rows = 24, unsigned columns = 80) {
        buffer.CreateScreen(rows, 132);
        buffer.SetColumns(columns);
    }
    void Put(int row, int column, std::u16string_view text, std::uint8_t attribute = 0) {
        for (char16_t ch : text) {
            const std::size_t at = buffer.CellIndex(static_cast<std::uint32_t>(row),
                                                    static_cast<std::uint32_t>(column++));
            buffer.chars[at] = ch;
            buffer.attrs[at] = attribute;
        }
    }
    void Line(int row, std::uint8_t lineAttribute) {
        buffer.lineAttrs[static_cast<std::size_t>(row)] = lineAttribute;
    }

    emulator::ScreenBuffer buffer;
};

// The terminal definition without its file: plain maps, VT100 type.
struct BareTerminalDefinition {
    BareTerminalDefinition() {
        termdef::ResetTerminalDefinition();
        termdef::TheTerminalDefinition().loaded = true;
    }
    ~BareTerminalDefinition() { termdef::ResetTerminalDefinition(); }
};

// The frame: notes the units of the registered consoles in order.
class RecordingFrame : public ConsoleFrameLink {
public:
    RecordingFrame() { previous_ = TheWindowSide().SetFrame(this); }
    ~RecordingFrame() override { TheWindowSide().SetFrame(previous_); }
    RecordingFrame(const RecordingFrame&) = delete;
    RecordingFrame& operator=(const RecordingFrame&) = delete;

    void RegisterConsole(ConsoleRecord& record, unsigned, unsigned) override {
        std::lock_guard guard(mutex_);
        units_.push_back(record.unit);
    }
    void Beep() override {}

    std::vector<std::uint16_t> Units() const {
        std::lock_guard guard(mutex_);
        return units_;
    }

private:
    ConsoleFrameLink* previous_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<std::uint16_t> units_;
};

// A console record with its own emulator, hooks attached, as the CON command
// leaves it, without a connection.
struct TestConsole {
    explicit TestConsole(unsigned rows = 24, bool cursorSuppressed = false) {
        record.cursorSuppressed = cursorSuppressed;
        emulator::InitEmulator(emulator, "", rows);
        ConnectEmulator(record, emulator);
        emulator.screen.attached = 1;
        emulator.screen.RefreshScreen();
    }
    // What the reader does with one read of these bytes.
    void Receive(std::string_view bytes) {
        std::unique_lock held(record.lock);
        ReceiveBytes(record, {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()},
                     held);
    }
    // The connection runs dry.
    bool Idle() {
        std::unique_lock held(record.lock);
        return RepaintWhenIdle(record, held);
    }
    // Under the console's lock, as the painter reads it.
    std::uint16_t Cell(std::uint32_t row, std::uint32_t column) {
        std::lock_guard held(record.lock);
        return emulator.screen.chars[emulator.screen.CellIndex(row, column)];
    }

    BareTerminalDefinition definition;
    ConsoleRecord record;
    emulator::Emulator emulator;
};

// A connected pair of sockets: the console's end and the server's.
struct ServerLink {
    explicit ServerLink(Transport transport) {
        platform::ListenResult listening =
            transport == Transport::Tcp ? platform::SocketListener::ListenTcp("127.0.0.1", "0")
                                        : platform::SocketListener::ListenLocal(directory / "pipe");
        if (!listening.Ok()) {
            return;
        }
        listener = std::move(listening.listener);
        path = transport == Transport::Tcp
                   ? "\\\\127.0.0.1\\pipe\\" + std::to_string(listener.Port())
                   : directory / "pipe";
        platform::PipeOpenResult opened = platform::PipeConnection::Open(path);
        platform::PipeOpenResult accepted = listener.Accept();
        if (opened.Ok() && accepted.Ok()) {
            client = std::move(opened.connection);
            server = std::move(accepted.connection);
        }
    }
    bool Ok() const { return client.IsOpen() && server.IsOpen(); }
    bool Write(std::string_view bytes) const {
        for (std::size_t done = 0; done < bytes.size();) {
            ssize_t sent =
                ::send(server.Descriptor(), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (sent <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(sent);
        }
        return true;
    }

    TemporaryDirectory directory;
    platform::SocketListener listener;
    std::string path;
    platform::PipeConnection client;
    platform::PipeConnection server;
};

// PipeReader on its own thread. A fatal pipe error is caught as the test's
// exit routine throws it and kept as the thread's outcome.
class ReaderThread {
public:
    explicit ReaderThread(ConsoleRecord& record) : record_(record) {
        thread_ = std::thread([this] {
            threadId_ = static_cast<pid_t>(syscall(SYS_gettid));
            started_ = true;
            try {
                PipeReader(record_);
            } catch (const platform::FatalError& error) {
                std::lock_guard guard(mutex_);
                fatal_ = std::string(error.message());
            } catch (const platform::ProcessEnded&) {
            }
            ended_ = true;
        });
        while (!started_) {
            std::this_thread::yield();
        }
    }
    ~ReaderThread() { Stop(); }
    ReaderThread(const ReaderThread&) = delete;
    ReaderThread& operator=(const ReaderThread&) = delete;

    void Stop() {
        if (thread_.joinable()) {
            record_.stopReader = true;
            record_.readerWakeUp.Raise();
            thread_.join();
        }
    }
    // Waits for the reader to end by itself; its fatal message, if any.
    std::optional<std::string> WaitForEnd(std::chrono::milliseconds limit) {
        if (!Eventually([this] { return ended_.load(); }, limit)) {
            return std::nullopt;
        }
        thread_.join();
        std::lock_guard guard(mutex_);
        return fatal_;
    }
    pid_t ThreadId() const { return threadId_; }

private:
    ConsoleRecord& record_;
    std::thread thread_;
    std::atomic<bool> started_{false};
    std::atomic<bool> ended_{false};
    std::atomic<pid_t> threadId_{0};
    std::mutex mutex_;
    std::optional<std::string> fatal_;
};

} // namespace kestra::console::consoletest
