#pragma once

#include "console/OutgoingQueue.h"
#include "console/PaintPlan.h"
#include "emulator/Emulator.h"
#include "emulator/ScreenHistory.h"

#include <string>

// What a console window needs of the console it shows. The console layer's
// record implements it; tests and benchmarks use StandaloneConsole. Every
// method runs on the window thread.
namespace kestra::console {

class ConsoleWindow;

class WindowConsole {
public:
    virtual ~WindowConsole() = default;

    // The window's title and the name its placement is saved under.
    virtual std::string Name() const = 0;
    virtual emulator::Emulator& Emulator() = 0;
    emulator::ScreenBuffer& Screen() { return Emulator().screen; }
    // What scrolled off the top of the screen. With the lock held.
    virtual emulator::ScreenHistory& History() = 0;
    // The console's lock (BasicLockable, for std::lock_guard): held while
    // the window reads the screen, types and resets.
    virtual void lock() = 0;
    virtual void unlock() = 0;
    // A typed key or character for the server (window thread).
    virtual void Type(std::int32_t code) = 0;
    // One pasted byte for the server (paste thread).
    virtual Delivery Paste(std::uint8_t byte) = 0;
    // Releases a reader waiting for its repaint request to be painted.
    virtual void SetPainted() = 0;
    // Reset returns to 132 columns only for a console configured wider than 80.
    virtual bool ConfiguredWide() const = 0;
    // The cursor as last announced to the window. With the lock held.
    virtual CursorPosition Cursor() const = 0;
    // After a Reset: the cursor at the screen's shown position, single
    // width, its visibility kept. With the lock held.
    virtual void CursorAfterReset() = 0;
    // The window is ready for repaint requests and resize notices: from now
    // on the console's changes go to it (ConsoleWindow::PostRepaint and
    // PostResize, callable from any thread).
    virtual void Attach(ConsoleWindow& window) = 0;
};

} // namespace kestra::console
