#pragma once

#include "console/Properties.h"
#include "shell/FrameEvents.h"

#include <QMainWindow>
#include <map>
#include <optional>
#include <vector>

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

// The main window: the menu bar, the area that holds the console windows,
// the closing question, and the table of consoles that registered before
// their windows exist.
namespace kestra::shell {

class Shell;

struct RegisteredConsole {
    console::ConsoleRecord* record = nullptr;
    int rows = 0;
    int columns = 0;
};

inline constexpr int kMaxRegisteredConsoles = 100;
inline constexpr int kMaxTrackingSize = 32767;

class FrameWindow : public QMainWindow {
public:
    explicit FrameWindow(Shell& shell);
    ~FrameWindow() override;

    QMdiArea* MdiArea() const { return mdiArea_; }
    // The menu item of a command id, or null.
    QAction* Action(int command) const;
    QMenu* Popup(int popup) const { return popups_.at(static_cast<std::size_t>(popup)); }

    // Runs a menu command; one the frame does not know goes to the active
    // console window as a console::ConsoleCommandEvent.
    void HandleCommand(int command);
    // The Close path: the Shutdown question when Prompt before Exit is on,
    // then the Properties saved when Save on Program Exit is on, then the
    // exit. Returns only when the user cancelled (or a test's exit returned).
    void RequestClose();
    // The log-off question: whether the session may end.
    bool QueryEndSession();

    bool ConsolesMaximized() const { return consolesMaximized_; }
    void SetConsolesMaximized(bool maximized) { consolesMaximized_ = maximized; }

    // Centres a window of the given size on its parent (the frame when it has
    // none, the desktop while the frame is minimised), inside the desktop.
    void CenterWindow(QWidget& window, int width, int height);
    void CenterDialog(QWidget& window);
    // Shows a console window normal (1), minimised (7) or maximised (3),
    // keeping its normal rectangle and icon position in saved.
    void SetConsoleShowState(QMdiSubWindow& window, int showCommand,
                             console::ConsolePlacement& saved);

    // Any thread: queues the registration of a console for the window thread.
    void PostRegisterConsole(console::ConsoleRecord* record, int rows, int columns);
    const std::vector<RegisteredConsole>& RegisteredConsoles() const { return registered_; }

    // The rectangle the user sees, window manager's decorations included.
    QRect OuterNormalGeometry() const;
    // Puts the frame's outer corner at the rectangle's corner and, once the
    // window manager has told the size of its decorations, makes the outer
    // size the rectangle's.
    void SetOuterGeometry(const QRect& outer);

    void RestoreIfMinimized();
    // The Edit pop-up's items as they are about to be shown.
    void UpdateEditMenu();
    // The smallest size: room for two console borders and a small grid.
    void UpdateMinimumSize();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    void UpdateWindowList();
    void Tile(bool horizontally);
    void ArrangeIcons();

    Shell& shell_;
    QMdiArea* mdiArea_ = nullptr;
    std::vector<QMenu*> popups_;
    std::map<int, QAction*> actions_;
    std::vector<QAction*> windowListActions_;
    std::vector<RegisteredConsole> registered_;
    bool consolesMaximized_ = false;
    std::optional<QSize> pendingOuterSize_; // until the decorations are known
};

} // namespace kestra::shell
