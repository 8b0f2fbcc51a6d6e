#pragma once

#include "console/CellGeometry.h"

#include <atomic>
#include <cstdint>
#include <string>

// How a console reaches the windows that show it. The console layer never
// touches a window: it calls these interfaces, which the GUI implements by
// posting events to the window thread (tests, kestra-check and kestra-replay
// implement them with recorders). Two kinds of caller matter:
//
//  - the console's reader thread, which calls while it holds the console's
//    lock (ConsoleRecord::lock);
//  - the window thread, which calls while it holds the same lock (typing,
//    Reset) or during start-up.
//
// So no method may block, wait for the window thread, or take a console's
// lock: each one posts (QCoreApplication::postEvent is safe from any thread)
// and returns.
//
// The window thread, in turn, holds the console's lock (ConsoleRecord::lock)
// whenever it touches the emulator, the screen buffer or cursorState: while
// it paints cells or draws the cursor, around TypeChar for a typed key, and
// around a Reset. It never holds it while it waits for anything. The paste
// thread queues its bytes with PasteByte and needs no lock; no thread but a
// console's writer ever waits on the connection for writing.
namespace kestra::console {

struct ConsoleRecord;

// What a repaint request asks of the window.
enum class RepaintKind : int {
    All = 0,       // repaint the whole screen; the selection goes
    Reshaped = 1,  // repaint the rectangle; the contents moved or changed
                   // shape (scroll, line size, flush), so the selection goes
    Collected = 2, // repaint the rectangle the reader collected; the
                   // selection stays
};

// One console's window. The GUI's console window implements it and, once it
// has been created (on the window thread), hands itself to its console with
// AttachWindow (below). Until then the console only collects
// changes; the first moment its reader finds the connection idle afterwards
// it asks for a repaint of everything collected.
class ConsoleWindowLink {
public:
    virtual ~ConsoleWindowLink() = default;

    // Called on the reader thread (or on the window thread, for changes made
    // by typing or Reset) with the console's lock held. The window must post
    // itself an event carrying kind and cells, and return at once. When it
    // handles the event (window thread): cancel the selection as
    // CancelsSelection says for the kind, take the rectangle's cells (all of
    // them for kind All) into what it will paint from the screen buffer with
    // the console's lock held (at once after a quiet frame, otherwise when
    // the frame ends, so that a flood of requests is painted at the
    // display's pace); then, with the lock dropped, call
    // record.paintedEvent.Set(). The reader waits at most 20 ms for that
    // Set(), with the lock released; an event handled later is still handled
    // (the request stays posted).
    virtual void PostRepaint(RepaintKind kind, CellRange cells) = 0;

    // The screen buffer's grid changed size (a column mode switch). Same
    // threads and rules as PostRepaint: post an event; when it is handled,
    // resize the window's grid to rows x columns and repaint all of it (a
    // switch clears the screen without reporting the cells, so with the
    // cursor hidden no repaint request follows). Nothing is waited for and
    // the painted event is not involved.
    virtual void PostResize(unsigned rows, unsigned columns) = 0;

    // A reconnecting console's server has gone (waiting) or is back. Same
    // threads and rules; the window shows it in its title.
    virtual void PostServerState(bool /*waiting*/) {}
};

// The console's window has been created (window thread): from now on the
// console's changes become repaint requests to it. Call once per console,
// after the window is ready to take events; it must outlive the process's
// readers (console windows live until the process ends).
void AttachWindow(ConsoleRecord& record, ConsoleWindowLink& window);

// The frame that holds the console windows, and the system's beep.
class ConsoleFrameLink {
public:
    virtual ~ConsoleFrameLink() = default;

    // A console has been defined (window thread, during start-up, before the
    // message loop runs). The frame creates the console's window later, after
    // the configuration has been read, sized rows x columns; that window then
    // calls AttachWindow. Must not create the window at once: the definition
    // still runs (the GUI posts itself an event).
    virtual void RegisterConsole(ConsoleRecord& record, unsigned rows, unsigned columns) = 0;

    // The system's default beep. Called from any thread, reader threads and
    // the paste thread included, possibly with a console's lock held: the GUI
    // posts an event to the window thread that calls QApplication::beep().
    virtual void Beep() = 0;

    // A problem that does not end the program (a capture that cannot be
    // written), shown once. Any thread, any lock; the GUI posts a warning
    // box. Default: standard error.
    virtual void Warn(const std::string& message);
};

// The frame side of the process: the frame link and the two beep settings of
// the Properties. The shell installs its frame before the first console is
// defined and copies BeepOnBell and BeepOnError in whenever the Properties
// are loaded or changed; reader threads read the copies.
class WindowSide {
public:
    // Returns the link it replaces; null installs none (nothing is
    // registered, nothing beeps).
    ConsoleFrameLink* SetFrame(ConsoleFrameLink* frame);
    ConsoleFrameLink* Frame() const { return frame_.load(std::memory_order_acquire); }

    void SetBeeps(bool onBell, bool onError);
    bool BeepOnBell() const { return beepOnBell_.load(std::memory_order_relaxed); }
    bool BeepOnError() const { return beepOnError_.load(std::memory_order_relaxed); }

    // Tests only: no frame, both beeps on (the Properties' defaults).
    void Reset();

private:
    std::atomic<ConsoleFrameLink*> frame_{nullptr};
    std::atomic<bool> beepOnBell_{true};
    std::atomic<bool> beepOnError_{true};
};

// The process's window side.
WindowSide& TheWindowSide();

} // namespace kestra::console
