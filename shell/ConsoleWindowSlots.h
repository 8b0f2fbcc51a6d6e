#pragma once

#include "console/BlinkPalette.h"
#include "platform/SettingsStore.h"

#include <functional>

class QKeyEvent;
class QMdiSubWindow;
class QObject;
class QWidget;

// What the frame asks of the console windows, which their own layer installs.
// An empty slot is not called: the frame then behaves as with no console
// window (Paste stays grayed, nothing is saved for consoles).
namespace kestra::shell {

class FrameWindow;

struct ConsoleWindowSlots {
    // Creates a window for every console registered with the frame, in
    // registration order (FrameWindow::RegisteredConsoles), and activates them.
    std::function<void(FrameWindow& frame)> createConsoleWindows;
    // The window exists and has been shown with a known size.
    std::function<bool(QMdiSubWindow* window)> isConsoleReady;
    // No paste is running.
    std::function<bool()> pasteIdle;
    std::function<void()> copySelection;
    std::function<void(QMdiSubWindow* active)> pasteIntoConsole;
    // The Properties dialog, modal over the frame.
    std::function<void(QWidget* parent)> propertiesDialog;
    // Stores every console window's placement; hide also hides each window
    // once its placement is stored.
    std::function<void(platform::SettingsStore& store, bool hide)> saveConsolePlacements;
    // The blink animation moved on: repaint the cells whose colour changed.
    std::function<void(const console::BlinkStep& step)> blinkTicked;
    // The palette in use changed (blinking started or stopped): repaint.
    std::function<void()> paletteChanged;
    // The Properties were loaded or changed: new fonts for every window.
    std::function<void()> propertiesApplied;
    // The Consoles menu: whether the active console captures; Capture...
    // (starts or stops the active console's capture); Connect... (a new
    // console, or at once a retry of a console waiting for its server).
    std::function<bool(QMdiSubWindow* active)> isCapturing;
    std::function<void(QMdiSubWindow* active)> capture;
    std::function<void(QMdiSubWindow* active)> connectConsole;
    // Offered every key event before any widget sees it; true consumes it.
    std::function<bool(QObject* target, QKeyEvent* event)> preTranslateKey;
};

} // namespace kestra::shell
