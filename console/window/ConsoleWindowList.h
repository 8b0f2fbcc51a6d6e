#pragma once

#include "console/BlinkPalette.h"
#include "console/Properties.h"
#include "console/Selection.h"
#include "platform/SettingsStore.h"

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class QMdiArea;
class QObject;
class QMdiSubWindow;

// The console windows of the program as the frame sees them: the list in
// creation order, the active one, and what they share (the Properties, the
// blink palette, the selection). The frame owns one and calls the functions
// below; nothing here is a hidden global.
namespace kestra::console {

class ConsoleWindow;
class WindowConsole;

struct ConsoleWindowContext {
    const Properties* properties = nullptr;
    const BlinkPalette* blink = nullptr;
    SelectionState* selection = nullptr;
    // Edit/Copy enabled (true) or grayed; empty: no menu to update.
    std::function<void(bool)> setCopyEnabled;
    // The frame's way of showing a console window normal (1), maximised (3)
    // or minimised without activation (7), keeping the window's normal
    // rectangle and minimised position in `placement`; empty: shown directly.
    std::function<void(QMdiSubWindow&, int showCommand, ConsolePlacement& placement)> setShowState;
    // Whether a console window is shown maximised, after every change of a
    // window's show state, however it came (title-bar buttons, the menu bar's
    // buttons, the window menu, a double click on the title); empty: nobody
    // keeps it.
    std::function<void(bool maximized)> consolesMaximizedChanged;
};

// A console the frame registered, with the grid its window starts with.
struct ConsoleWindowEntry {
    WindowConsole* console = nullptr;
    int rows = 24;
    int columns = 80;
};

// The order windows are activated in after they are created: those created
// minimised from the last to the first, then the others from the last to the
// first, so the first shown console in table order ends up active.
struct ActivationPlan {
    std::vector<int> order;         // table indexes
    std::optional<int> focus;       // the window that gets the keyboard focus
    bool maximise = false;          // the focus window is maximised
    bool consolesMaximized = false; // the frame's flag afterwards
};
ActivationPlan PlanActivation(const std::vector<bool>& createdMinimised, bool consolesMaximized);

// Must outlive its windows (they leave the list when they are destroyed):
// make it before the frame's MDI area and destroy it after.
class ConsoleWindowList {
public:
    explicit ConsoleWindowList(ConsoleWindowContext context);
    ~ConsoleWindowList();
    ConsoleWindowList(const ConsoleWindowList&) = delete;
    ConsoleWindowList& operator=(const ConsoleWindowList&) = delete;

    const ConsoleWindowContext& Context() const { return context_; }

    // Creates a window for every entry in order, placed where its console's
    // saved placement (read from `store` under the console's name) says,
    // then activates them as PlanActivation says. consolesMaximized is read
    // and updated.
    void CreateConsoleWindows(QMdiArea& area, std::span<const ConsoleWindowEntry> entries,
                              SettingsStore* store, bool& consolesMaximized);

    // Properties changed: every shown window gets new fonts and is repainted.
    void RebuildAllConsoleFonts();
    // The window exists and is shown with a known size.
    bool IsConsoleReady(const QMdiSubWindow* window) const;
    // Blinking moved on a phase, or the palette in use changed.
    void BlinkTicked(const BlinkStep& step);
    void PaletteChanged();
    // Each window's placement under its console's name; hide also hides the
    // windows afterwards.
    void SaveConsolePlacements(SettingsStore& store, bool hide);

    const std::vector<ConsoleWindow*>& Windows() const { return windows_; }
    ConsoleWindow* Active() const { return active_; }
    ConsoleWindow* WindowOf(const QMdiSubWindow* subWindow) const;
    // The console window an event is for, or null (the frame, a dialog).
    ConsoleWindow* WindowOfTarget(const QObject* target) const;
    // The window behind a selection owner.
    ConsoleWindow* WindowOf(SelectionOwner owner) const;

    // A window became the active console: any selection goes.
    void Activated(ConsoleWindow* window);

    // Keeps a console view for as long as the list lives (the windows
    // outlive nothing else that could own it, e.g. a RecordConsole).
    WindowConsole& Keep(std::unique_ptr<WindowConsole> console);

    // Called by the windows themselves.
    void Add(ConsoleWindow* window);
    void Remove(ConsoleWindow* window);

private:
    ConsoleWindowContext context_;
    // Declared first: destroyed after the list of windows that refer to them.
    std::vector<std::unique_ptr<WindowConsole>> kept_;
    std::vector<ConsoleWindow*> windows_;
    ConsoleWindow* active_ = nullptr;
};

} // namespace kestra::console
