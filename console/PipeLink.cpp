#include "console/PipeLink.h"

#include "platform/Exit.h"
#include "platform/SystemError.h"
#include "platform/Thread.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace kestra::console {

namespace {

using emulator::Emulator;
using emulator::kLineSingleWidth;
using emulator::ScreenBuffer;
using platform::PipeOutcome;
using platform::PipeStatus;

bool IsDoubleWidth(const ScreenBuffer& screen, std::uint32_t row) {
    return screen.lineAttrs[row] != kLineSingleWidth;
}

// Adds `changes` ranges at once whose union is the given rectangle: the
// rectangle ends as it would after adding them one by one, and dirtyCount
// counts each of them.
void AddChanges(ConsoleRecord& record, int left, int top, int right, int bottom,
                std::uint32_t changes) {
    if (record.dirtyCount == 0) [[unlikely]] {
        record.dirtyLeft = left;
        record.dirtyTop = top;
        record.dirtyRight = right;
        record.dirtyBottom = bottom;
        if (!record.readerReceiving) {
            // Changes made by typing or Reset on the window thread: the idle
            // reader is the one that shows them.
            record.readerWakeUp.Raise();
        }
    } else {
        record.dirtyLeft = std::min(record.dirtyLeft, left);
        record.dirtyTop = std::min(record.dirtyTop, top);
        record.dirtyRight = std::max(record.dirtyRight, right);
        record.dirtyBottom = std::max(record.dirtyBottom, bottom);
    }
    record.dirtyCount += changes;
}

// A cell range added to the rectangle is one change: a written run of cells
// is one, a cursor move two (its old cell and its new one).
constexpr std::uint32_t kChangesPerPrintedCell = 1;
constexpr std::uint32_t kChangesPerCursorMove = 2;

// The cursor cell of a cursorState: one cell, or the pair of cells of a
// double-width character (the column with its lowest bit cleared, and the
// next one).
struct CursorRange {
    int row;
    int left;
    int right;
};

CursorRange CursorRangeOf(std::uint32_t state) {
    const CursorCell cell = UnpackCursor(state);
    const std::uint32_t doubleWidth = cell.doubleWidth ? 1 : 0;
    const auto left = static_cast<int>(cell.column & ~doubleWidth);
    return {static_cast<int>(cell.row), left, left + static_cast<int>(doubleWidth)};
}

void AddCursorCell(ConsoleRecord& record) {
    const CursorRange cell = CursorRangeOf(record.cursorState);
    AddChanges(record, cell.left, cell.row, cell.right, cell.row, 1);
}

void AddWholeRows(ConsoleRecord& record, const ScreenBuffer& screen, int top, int bottom) {
    AddChanges(record, 0, top, static_cast<int>(screen.cols) - 1, bottom, 1);
}

// How many characters one run may print: it must end with the character
// that brings the changes to the batch, so that the request follows the
// same byte as when the bytes go to the emulator one by one.
std::size_t PrintsBeforeBatch(const ConsoleRecord& record) {
    if (record.dirtyCount >= kRepaintBatch) {
        return 1;
    }
    const std::uint32_t missing = kRepaintBatch - record.dirtyCount;
    if (CursorVisibleByte(record.cursorState) == 0) {
        return (missing + kChangesPerPrintedCell - 1) / kChangesPerPrintedCell;
    }
    constexpr std::uint32_t perCharacter = kChangesPerPrintedCell + kChangesPerCursorMove;
    return (missing + perCharacter - 1) / perCharacter;
}

void Beep() {
    if (ConsoleFrameLink* frame = TheWindowSide().Frame()) {
        frame->Beep();
    }
}

void BeepOnError() {
    if (TheWindowSide().BeepOnError()) {
        Beep();
    }
}

// Queues a byte for the server; false, after a beep, when the console has no
// connection.
bool QueueForServer(ConsoleRecord& record, std::uint8_t byte) {
    if (!record.pipe.IsOpen()) {
        BeepOnError();
        return false;
    }
    record.outgoing.Push(byte);
    return true;
}

// How long a paste or a reader waits for room in a full outgoing queue before
// it looks again whether it should stop.
constexpr std::chrono::milliseconds kQueueFullWait{100};

// The window answers a request as soon as it has taken it in, within
// microseconds, while waking a thread that sleeps takes far longer on a busy
// machine, and a scrolling server asks once per line. So the reader first
// looks for the answer for a moment, letting other threads run, and only
// then sleeps for the rest of the wait; when the processors are busy with
// other work it sleeps at once (SpinWait).
constexpr auto kAnswerSpin = std::chrono::microseconds(50);

// The painted event, with the lock released so that the painter can run.
void AwaitWindow(ConsoleRecord& record, std::unique_lock<ConsoleLock>& held) {
    record.repaintAnswerOwed = false;
    held.unlock();
    // Each reader waits on its own thread, so one waiter per thread.
    thread_local platform::SpinWait answerSpin;
    if (!answerSpin.Until([&record] { return record.paintedEvent.IsSet(); }, kAnswerSpin)) {
        record.paintedEvent.Wait(kRepaintWaitMs);
    }
    held.lock();
}

[[noreturn]] void EndWithPipeFailure(ConsoleRecord& record, PipeDirection direction,
                                     const PipeOutcome& outcome) {
    record.errorCode = outcome.error;
    // The window thread must be able to paint this console under the Fatal
    // Error dialog, whoever shows it.
    record.lock.ReleaseForExit();
    const std::string message = PipeFailureMessage(record, direction, outcome);
    platform::Fatal("%s", message.c_str());
}

} // namespace

void PostRepaintRequest(ConsoleRecord& record, RepaintKind kind) {
    ConsoleWindowLink* window = record.Window();
    if (record.dirtyCount == 0 || window == nullptr) {
        return;
    }
    record.paintedEvent.Reset();
    window->PostRepaint(
        kind, CellRange{record.dirtyTop, record.dirtyLeft, record.dirtyBottom, record.dirtyRight});
    record.dirtyCount = 0;
    if (record.readerReceiving) {
        record.repaintAnswerOwed = true;
    }
}

void ReceiveBytes(ConsoleRecord& record, std::span<const std::uint8_t> bytes,
                  std::unique_lock<ConsoleLock>& held) {
    Emulator& emulator = *record.emulator;
    const std::uint8_t mask = record.eightBit ? 0xFF : 0x7F;
    while (!bytes.empty()) {
        record.readerReceiving = true;
        bytes =
            bytes.subspan(emulator::ReceiveRun(emulator, bytes, mask, PrintsBeforeBatch(record)));
        if (record.dirtyCount >= kRepaintBatch) {
            PostRepaintRequest(record, RepaintKind::Collected);
        }
        record.readerReceiving = false;
        if (record.repaintAnswerOwed) {
            AwaitWindow(record, held);
        }
    }
}

bool RepaintWhenIdle(ConsoleRecord& record, std::unique_lock<ConsoleLock>& held) {
    if (record.dirtyCount == 0 || record.Window() == nullptr) {
        return false;
    }
    PostRepaintRequest(record, RepaintKind::Collected);
    AwaitWindow(record, held);
    return true;
}

std::string PipeFailureMessage(const ConsoleRecord& record, PipeDirection direction,
                               const PipeOutcome& outcome) {
    char buffer[platform::kMessageBufferSize];
    if (outcome.status == PipeStatus::ShutDown) {
        std::snprintf(buffer, sizeof buffer, "The server for pipe %s has shut down",
                      record.pipePath.c_str());
    } else {
        std::snprintf(buffer, sizeof buffer,
                      direction == PipeDirection::Read ? "Pipe %s read error %d: %s"
                                                       : "Pipe %s write error %d: %s",
                      record.pipePath.c_str(), outcome.error,
                      platform::SystemErrorTextOrCode(outcome.error).c_str());
    }
    return buffer;
}

void PipeReader(ConsoleRecord& record) {
    std::array<std::uint8_t, kReceiveBufferSize> buffer;
    while (!record.stopping.load()) {
        if (record.outgoing.Full()) {
            // The server does not take the replies already owed: show what
            // has changed and read nothing until it does.
            {
                std::unique_lock held(record.lock);
                RepaintWhenIdle(record, held);
            }
            record.outgoing.WaitForRoom(kQueueFullWait);
            continue;
        }
        const PipeOutcome waiting = record.pipe.BytesAvailable();
        if (!waiting.Ok()) {
            EndWithPipeFailure(record, PipeDirection::Read, waiting);
        }
        if (waiting.bytes == 0) {
            {
                std::unique_lock held(record.lock);
                if (RepaintWhenIdle(record, held)) {
                    continue;
                }
            }
            // Nothing to show and nothing to read: sleep until the server
            // writes, the window arrives or changes are collected elsewhere.
            const platform::PipeWait wait =
                record.pipe.WaitReadable(-1, record.readerWakeUp.Descriptor());
            if (wait.result == platform::WaitResult::WokenUp) {
                record.readerWakeUp.Clear();
            } else if (wait.result == platform::WaitResult::Failed) {
                EndWithPipeFailure(record, PipeDirection::Read,
                                   platform::ClassifyPipeError(wait.error));
            }
            continue;
        }
        const PipeOutcome got = record.pipe.Read(buffer);
        if (!got.Ok()) {
            EndWithPipeFailure(record, PipeDirection::Read, got);
        }
        std::unique_lock held(record.lock);
        ReceiveBytes(record, std::span(buffer.data(), got.bytes), held);
    }
}

void PipeWriter(ConsoleRecord& record) {
    std::vector<std::uint8_t> batch;
    while (record.outgoing.Take(batch)) {
        std::span<const std::uint8_t> left(batch);
        while (!left.empty()) {
            const PipeOutcome sent = record.pipe.WriteSome(left);
            if (!sent.Ok()) {
                EndWithPipeFailure(record, PipeDirection::Write, sent);
            }
            left = left.subspan(sent.bytes);
            record.outgoing.Sent(sent.bytes);
            if (left.empty()) {
                break;
            }
            const platform::PipeWait wait =
                record.pipe.WaitWritable(-1, record.outgoing.StopDescriptor());
            if (wait.result == platform::WaitResult::WokenUp) {
                return;
            }
            if (wait.result == platform::WaitResult::Failed) {
                EndWithPipeFailure(record, PipeDirection::Write,
                                   platform::ClassifyPipeError(wait.error));
            }
        }
    }
}

void StartConsoleThreads(ConsoleRecord& record, bool writerOnly) {
    const auto start = [&record](void (*body)(ConsoleRecord&)) {
        platform::ThreadStart started = platform::Thread::Start([&record, body] { body(record); });
        if (!started.Ok()) {
            record.errorCode = started.error;
            platform::Fatal("Thread creation error: %s",
                            platform::SystemErrorTextOrCode(started.error).c_str());
        }
        return std::move(started.thread);
    };
    record.writerThread = start(PipeWriter);
    if (!writerOnly) {
        record.readerThread = start(PipeReader);
    }
}

void StopConsoleThreads(ConsoleRecord& record) {
    record.stopping = true;
    record.readerWakeUp.Raise();
    record.outgoing.Stop();
    for (platform::Thread* thread : {&record.readerThread, &record.writerThread}) {
        if (thread->Joinable()) {
            thread->Join();
        }
    }
}

void TypeKey(ConsoleRecord& record, std::int32_t code) {
    if (record.outgoing.Full()) {
        BeepOnError();
        return;
    }
    std::lock_guard held(record.lock);
    emulator::TypeChar(*record.emulator, code);
}

Delivery PasteByte(ConsoleRecord& record, std::uint8_t byte) {
    if (!record.outgoing.WaitForRoom(kQueueFullWait)) {
        return Delivery::QueueFull;
    }
    return QueueForServer(record, byte) ? Delivery::Queued : Delivery::NoConnection;
}

void ConnectEmulator(ConsoleRecord& record, Emulator& emulator) {
    emulator.output = &record;
    ConnectScreen(record, emulator);
}

void ConnectScreen(ConsoleRecord& record, Emulator& emulator) {
    emulator.screen.observer = &record;
    record.emulator = &emulator;
    record.screen = &emulator.screen;
}

// The screen's announcements, with the console's lock held by whoever drives
// the emulator (the reader, or the window thread while typing or resetting).

void ConsoleRecord::RefreshAll() {
    PostRepaintRequest(*this, RepaintKind::All);
}

void ConsoleRecord::CursorMoved(std::uint32_t row, std::uint32_t column) {
    const std::uint32_t before = cursorState;
    cursorState = PackCursor(before, {IsDoubleWidth(*screen, row), row, column});
    if (CursorVisibleByte(before) == 0) {
        return;
    }
    // The old cell and the new one, added in one step: this runs for every
    // printed character.
    const CursorRange old = CursorRangeOf(before);
    const CursorRange now = CursorRangeOf(cursorState);
    AddChanges(*this, std::min(old.left, now.left), std::min(old.row, now.row),
               std::max(old.right, now.right), std::max(old.row, now.row), kChangesPerCursorMove);
}

// count characters printed one after the other, each a CellsChanged of one
// cell and a CursorMoved: the same rectangle and the same count as those
// calls, in one step.
void ConsoleRecord::CellsPrinted(std::uint32_t row, std::uint32_t column, unsigned count) {
    const std::uint32_t before = cursorState;
    cursorState = PackCursor(before, {IsDoubleWidth(*screen, row), row, column});
    const int top = static_cast<int>(row);
    const int end = static_cast<int>(column);
    const int first = end - static_cast<int>(count);
    if (CursorVisibleByte(before) == 0) {
        AddChanges(*this, first, top, end - 1, top, count * kChangesPerPrintedCell);
        return;
    }
    const CursorRange old = CursorRangeOf(before);
    const CursorRange now = CursorRangeOf(cursorState);
    AddChanges(*this, std::min({old.left, now.left, first}), std::min(old.row, top),
               std::max({old.right, now.right, end - 1}), std::max(old.row, top),
               count * (kChangesPerPrintedCell + kChangesPerCursorMove));
}

void ConsoleRecord::CursorVisibility(bool shown) {
    const std::uint32_t visible = shown && !cursorSuppressed ? 1 : 0;
    if (visible == CursorVisibleByte(cursorState)) {
        return;
    }
    cursorState = (cursorState & ~0xFFu) | visible;
    AddCursorCell(*this);
}

void ConsoleRecord::CellsChanged(std::uint32_t row, std::uint32_t column, unsigned count,
                                 std::uint8_t) {
    const int top = static_cast<int>(row);
    const int left = static_cast<int>(column);
    const int last = static_cast<int>(count) - 1;
    if (IsDoubleWidth(*screen, row)) {
        // Whole pairs: one changed cell of a double-width character repaints both.
        const int pair = left & ~1;
        AddChanges(*this, pair, top, pair + (last | 1), top, kChangesPerPrintedCell);
    } else {
        AddChanges(*this, left, top, left + last, top, kChangesPerPrintedCell);
    }
}

void ConsoleRecord::ScrolledUp(std::uint32_t top, std::uint32_t bottom) {
    AddWholeRows(*this, *screen, static_cast<int>(top), static_cast<int>(bottom) - 1);
}

void ConsoleRecord::ScrolledDown(std::uint32_t top, std::uint32_t bottom) {
    AddWholeRows(*this, *screen, static_cast<int>(top) + 1, static_cast<int>(bottom));
}

void ConsoleRecord::FlushChanges() {
    PostRepaintRequest(*this, RepaintKind::Reshaped);
}

void ConsoleRecord::LineChanged(std::uint32_t row) {
    CursorCell cell = UnpackCursor(cursorState);
    cell.doubleWidth = IsDoubleWidth(*screen, row);
    cursorState = PackCursor(cursorState, cell);
    AddWholeRows(*this, *screen, static_cast<int>(row), static_cast<int>(row));
    PostRepaintRequest(*this, RepaintKind::Reshaped);
}

void ConsoleRecord::ScreenResized(std::uint32_t rows, std::uint32_t columns) {
    if (ConsoleWindowLink* window = Window()) {
        window->PostResize(rows, columns);
    }
}

void ConsoleRecord::SendByte(std::uint8_t byte) {
    QueueForServer(*this, byte);
}

void ConsoleRecord::RingBell() {
    if (TheWindowSide().BeepOnBell()) {
        Beep();
    }
}

} // namespace kestra::console
