#pragma once

#include "console/OutgoingQueue.h"
#include "console/WindowLink.h"
#include "emulator/Emulator.h"
#include "platform/Event.h"
#include "platform/PipeConnection.h"
#include "platform/Thread.h"
#include "platform/WakeUpSignal.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// One console: a terminal bound to one connection. Its record is where the
// reader thread, the emulator's hooks and the console window meet. Records
// are made by the CON command and live until the process ends.
namespace kestra::console {

inline constexpr std::uint16_t kNoUnit = 0xFFFF; // while the CON line is read
inline constexpr std::uint16_t kDefaultWidth = 80;
inline constexpr std::uint16_t kWideWidth = 132;
inline constexpr unsigned kDefaultRows = 24;

// The per-console lock: a mutex that knows which thread holds it, so that a
// thread about to end the program from inside a locked section can let the
// window thread go on painting while the Fatal Error dialog is shown.
class ConsoleLock {
public:
    void lock() {
        mutex_.lock();
        owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    }
    bool try_lock() {
        if (!mutex_.try_lock()) {
            return false;
        }
        owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
        return true;
    }
    // A lock given up by ReleaseForExit is not released again: the exit
    // routine never returns, except in tests, whose unwinding ends here.
    void unlock() {
        if (!HeldByThisThread()) {
            return;
        }
        owner_.store(std::thread::id{}, std::memory_order_relaxed);
        mutex_.unlock();
    }
    bool HeldByThisThread() const {
        return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
    }
    // Before the program ends from a section that holds the lock (a pipe
    // failure seen while typing, or while the reader writes a reply).
    void ReleaseForExit() { unlock(); }

private:
    std::mutex mutex_;
    std::atomic<std::thread::id> owner_{};
};

// The record is its emulator's output and its screen's observer: what the
// server is sent is queued here, and what the screen announces becomes the
// change rectangle and the repaint requests (both in PipeLink.cpp).
struct ConsoleRecord : emulator::ScreenObserver, emulator::TerminalOutput {
    virtual ~ConsoleRecord() = default;

    void RefreshAll() override;
    void CursorMoved(std::uint32_t row, std::uint32_t column) override;
    void CursorVisibility(bool shown) override;
    void CellsChanged(std::uint32_t row, std::uint32_t column, unsigned count,
                      std::uint8_t attribute) override;
    void ScrolledUp(std::uint32_t top, std::uint32_t bottom) override;
    void ScrolledDown(std::uint32_t top, std::uint32_t bottom) override;
    void FlushChanges() override;
    void LineChanged(std::uint32_t row) override;
    void ScreenResized(std::uint32_t rows, std::uint32_t columns) override;
    bool TakesPrintedRuns() const override { return true; }
    void CellsPrinted(std::uint32_t row, std::uint32_t column, unsigned count) override;

    void SendByte(std::uint8_t byte) override;
    void RingBell() override;

    std::uint16_t unit = kNoUnit;
    std::string unitName; // the UNITNAME option, else the pipe path: window title
    emulator::Emulator* emulator = nullptr;
    emulator::ScreenBuffer* screen = nullptr; // the emulator's
    bool eightBit = false;                    // received bytes keep bit 7
    bool cursorSuppressed = false;            // CURSOR OFF: never show the cursor
    std::uint16_t width = kDefaultWidth;       // 80 or 132; also the width of a Reset
    // Reset before each repaint request; the window sets it once the request
    // has been painted.
    platform::Event paintedEvent;
    platform::PipeConnection pipe; // closed: no pipe
    std::string pipePath;          // as opened; named in every pipe message
    platform::Thread readerThread;
    // Every byte for the server leaves through the queue; the writer thread
    // is the only one that waits on the connection for writing.
    OutgoingQueue outgoing;
    platform::Thread writerThread;

    // The change rectangle, inclusive, valid while dirtyCount is not 0.
    std::uint32_t dirtyCount = 0;
    std::int32_t dirtyLeft = 0;
    std::int32_t dirtyTop = 0;
    std::int32_t dirtyRight = 0;
    std::int32_t dirtyBottom = 0;

    // The cursor as last shown, packed (see the accessors below).
    std::uint32_t cursorState = 0;

    // Written once by the window thread (AttachWindow), read by the reader.
    std::atomic<ConsoleWindowLink*> window{nullptr};

    std::string errorText;         // text of the last system error
    std::atomic<int> errorCode{0}; // errno of the last open, read or write failure

    // Held by the reader while the emulator handles received bytes, and by
    // the window thread while it paints cells, handles typed characters or
    // resets. The emulator, the screen buffer, the change rectangle and
    // cursorState are only touched with it held. The reader releases it while
    // it waits for the painted event, so the painter is never blocked by a
    // waiting reader.
    ConsoleLock lock;

    // Wakes an idle reader: raised when the window arrives, when changes are
    // collected outside the reader, and when a test stops the reader.
    platform::WakeUpSignal readerWakeUp;
    std::atomic<bool> stopping{false}; // tests only: the reader and the writer return

    // Set while the reader runs the emulator on received bytes; a repaint
    // request posted meanwhile owes the wait for the painted event, which the
    // reader serves between bytes, so the lock is never released while the
    // emulator is inside a byte.
    bool readerReceiving = false;
    bool repaintAnswerOwed = false;

    // The emulator of a console made by the CON command; `emulator` points
    // to it. Tools that feed an emulator of their own leave it empty.
    std::unique_ptr<emulator::Emulator> ownedEmulator;

    ConsoleWindowLink* Window() const { return window.load(std::memory_order_acquire); }
};

// cursorState: bits 0-7 visible (0 or 1), 8-15 the cursor's row is double
// width (0 or 1), 16-23 row, 24-31 column.
struct CursorCell {
    bool doubleWidth = false;
    std::uint32_t row = 0;
    std::uint32_t column = 0;
    bool operator==(const CursorCell&) const = default;
};
constexpr std::uint32_t CursorVisibleByte(std::uint32_t state) {
    return state & 0xFF;
}
constexpr CursorCell UnpackCursor(std::uint32_t state) {
    return {((state >> 8) & 0xFF) != 0, (state >> 16) & 0xFF, (state >> 24) & 0xFF};
}
// The visible byte of state is kept.
constexpr std::uint32_t PackCursor(std::uint32_t state, CursorCell cell) {
    return (state & 0xFF) | (cell.doubleWidth ? 1u << 8 : 0u) | ((cell.row & 0xFF) << 16) |
           ((cell.column & 0xFF) << 24);
}

} // namespace kestra::console
