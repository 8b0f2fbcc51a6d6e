#pragma once

#include "console/ConsoleRecord.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>

// Moves bytes between a console's connection and its emulator, and turns the
// screen buffer's change notifications into repaint requests for the
// console's window: one request per burst that ends, per 400 changes, per
// line size change and per flush, never one per byte.
//
// The path of a repaint, all in PipeLink.cpp but for the window's part:
//  1. the reader hands received bytes to the emulator (ReceiveBytes) with the
//     console's lock held; the screen tells its observer, the console record
//     (ConsoleRecord::CellsChanged and the others), which grows the change
//     rectangle;
//  2. PostRepaintRequest resets the painted event and posts the rectangle to
//     the window (ConsoleWindowLink::PostRepaint; the GUI's ConsoleWindow
//     takes it on the window thread);
//  3. the reader waits for the answer in AwaitWindow with the lock released,
//     at most 20 ms;
//  4. the window takes the rectangle into what it will paint and answers
//     with WindowConsole::SetPainted, which sets the painted event and so
//     releases the reader.
// Bytes the other way go through the console's outgoing queue: TypeKey,
// PasteByte and the emulator's replies append, PipeWriter sends.
namespace kestra::console {

inline constexpr std::size_t kReceiveBufferSize = 4096;
inline constexpr std::uint32_t kRepaintBatch = 400; // changes
inline constexpr int kRepaintWaitMs = 20;           // for the painted event

// The reader thread of a console: reads what the server sends and hands it to
// the emulator until the connection fails, then ends the program with the
// pipe message. While idle it blocks until bytes arrive or its wake-up is
// raised, so an idle console costs nothing. While the console's outgoing
// queue is full it reads nothing, so that the replies the terminal owes wait
// for the server instead of piling up. Returns only when a test has asked it
// to stop (StopConsoleThreads).
void PipeReader(ConsoleRecord& record);

// The writer thread of a console: sends what the outgoing queue holds, in
// order, waiting for the connection as long as the server does not read. A
// failed write ends the program with the pipe message.
void PipeWriter(ConsoleRecord& record);

// Starts the console's writer, and its reader unless writerOnly; a thread
// that cannot be started ends the program.
void StartConsoleThreads(ConsoleRecord& record, bool writerOnly = false);
// Tests only: asks the reader and the writer to return and waits for them.
void StopConsoleThreads(ConsoleRecord& record);

// A typed key or character (window thread): its bytes are queued with the
// console's lock held. While the outgoing queue is full the key is dropped
// with a beep (Beep on Error): the server has stopped reading.
void TypeKey(ConsoleRecord& record, std::int32_t code);

// A pasted byte (paste thread): waits a moment for room in the outgoing queue
// and queues it, or reports that the queue is still full.
Delivery PasteByte(ConsoleRecord& record, std::uint8_t byte);

// Ties an emulator to its console: the record becomes the screen's observer
// and the emulator's output (bytes for the server, the bell). The screen is
// not attached here.
void ConnectEmulator(ConsoleRecord& record, emulator::Emulator& emulator);
// Only the screen side: for an emulator whose output and bell go elsewhere.
void ConnectScreen(ConsoleRecord& record, emulator::Emulator& emulator);

// Posts a repaint request of the kind when changes are collected and a window
// exists, and empties the rectangle. Called with the console's lock held.
// On the reader, while it hands bytes to the emulator, the wait for the
// painted event is served after the current byte; anywhere else it is not
// waited for (the window thread cannot answer itself).
void PostRepaintRequest(ConsoleRecord& record, RepaintKind kind);

// What the reader does with the bytes one read returned, with the console's
// lock held by `held`: each byte, masked to 7 bits unless the console is
// 8-bit, goes to the emulator (runs of printed text in one step, which
// count the changes of their characters); every 400 changes the window is
// asked to repaint. Each request is followed by a wait of at most 20 ms for the
// painted event with the lock released.
void ReceiveBytes(ConsoleRecord& record, std::span<const std::uint8_t> bytes,
                  std::unique_lock<ConsoleLock>& held);

// The connection has run dry: when changes are collected and a window exists,
// asks for their repaint (and waits, as above). Returns whether it asked.
bool RepaintWhenIdle(ConsoleRecord& record, std::unique_lock<ConsoleLock>& held);

// How a connection failed, and the message that ends the program for it.
enum class PipeDirection { Read, Write };
std::string PipeFailureMessage(const ConsoleRecord& record, PipeDirection direction,
                               const platform::PipeOutcome& outcome);

} // namespace kestra::console
