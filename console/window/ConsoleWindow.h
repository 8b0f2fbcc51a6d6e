#pragma once

#include "console/CellGeometry.h"
#include "console/HistoryView.h"
#include "console/Properties.h"
#include "console/Selection.h"
#include "console/WindowLink.h"
#include "console/window/ConsoleCommands.h"
#include "console/window/ConsoleFonts.h"
#include "console/window/WindowConsole.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <optional>

class QMdiSubWindow;
class QMenu;

// One console's window: the client widget of an MDI sub-window. It owns the
// console's fonts and cell geometry, answers repaint requests and resize
// notices, paints the screen buffer and the cursor, hands typed characters
// to the emulator, tracks the mouse for the selection and offers Reset on its
// window menu. The grid always fills the client area: the font is scaled to
// the window, never the window to the font.
namespace kestra::console {

class ConsoleWindowList;

// The event types of a console window's notices and commands.
QEvent::Type ReaderNoticeEventType();
QEvent::Type ConsoleCommandEventType();

// What a console posts to its window: a repaint request or a new grid size.
// Both are one event type so that they are handled in the order posted.
class ReaderNoticeEvent : public QEvent {
public:
    static ReaderNoticeEvent* Repaint(RepaintKind kind, CellRange cells) {
        return new ReaderNoticeEvent(false, kind, cells, 0, 0);
    }
    static ReaderNoticeEvent* Resize(int rows, int columns) {
        return new ReaderNoticeEvent(true, RepaintKind::All, {}, rows, columns);
    }
    ~ReaderNoticeEvent() override;
    ReaderNoticeEvent(const ReaderNoticeEvent&) = delete;
    ReaderNoticeEvent& operator=(const ReaderNoticeEvent&) = delete;

    // Whether any notice, for any window, is posted and not yet taken.
    static bool AnyWaiting();
    void Take() const;

    bool resize;
    RepaintKind kind;
    CellRange cells; // inclusive
    int rows;
    int columns;

private:
    ReaderNoticeEvent(bool resize, RepaintKind kind, CellRange cells, int rows, int columns);
    mutable bool waiting_ = true;
};

// A menu command for the active console window, sent by the frame.
class ConsoleCommandEvent : public QEvent {
public:
    explicit ConsoleCommandEvent(int command)
        : QEvent(ConsoleCommandEventType()), command(command) {}
    int command;
};

// What the window's state says about it.
enum WindowState : int {
    kCreatedUnplaced = 0, // created without a saved placement
    kCreatedPlaced = 1,   // created with a saved placement
    kMinimised = 2,
    kShown = 3, // shown with a known client size: the only state that paints
};

class ConsoleWindow : public QWidget {
public:
    // The window joins the list; `placement` is the saved one, if any.
    ConsoleWindow(ConsoleWindowList& list, WindowConsole& console, int rows, int columns,
                  std::optional<ConsolePlacement> placement);
    ~ConsoleWindow() override;

    // Any thread: queue a repaint request or a resize notice for this window.
    void PostRepaint(RepaintKind kind, CellRange cells);
    void PostResize(int rows, int columns);
    // The caption of the window and of its sub-window.
    void SetTitle(const QString& title);

    // Puts the window into an MDI sub-window (made by the caller and added
    // to the area), applies the placement, and installs the window menu.
    void Place(QMdiSubWindow& subWindow);

    int State() const { return state_; }
    const CellGeometry& Geometry() const { return geometry_; }
    bool HasKeyboardFocus() const { return hasFocus_; }
    WindowConsole& Console() { return console_; }
    QMdiSubWindow* SubWindow() const { return subWindow_; }
    const ConsoleFonts& Fonts() const { return fonts_; }
    // Normal rectangle and minimised position as last seen; `minimized` is
    // whether the window is minimised now.
    ConsolePlacement Placement() const;
    bool CreateMinimised() const { return createMinimised_; }

    // A menu command for this console (kResetCommand and the others).
    void Command(int command);

    // Scrolls the view `rows` lines back into the history (forward when
    // negative); it stops at the oldest kept line and at the live screen.
    void ScrollHistory(long rows);
    void ScrollHistoryToEnd(bool oldest);
    // Rows the view is scrolled back; 0 while it shows the live screen.
    std::size_t HistoryOffset();
    // Finds text in the history and the screen, after (or before) the last
    // match, scrolls to it and marks it; false, with a beep, when there is none.
    bool FindNext(std::u16string_view text, bool forward, bool matchCase);
    // The text of a selection of what the window shows (screen or history).
    std::u16string SelectedText(const SelectionRange& range);
    // A typed character or translated key code for the emulator.
    void TypeCode(std::int32_t code);
    // Shown normal (1), maximised (3) or minimised without activation (7),
    // through the frame when it keeps the placements.
    void ShowAs(int showCommand);
    void Reset();

    // New cell geometry and fonts from the client size, grid and Properties.
    void RebuildFonts();
    // Fonts rebuilt and the whole window repainted with erasing.
    void RebuildAndRepaint();
    // The palette in use changed: repaint everything.
    void RepaintAll();
    // What a blink tick from one phase to the other repaints: the cells that
    // change colour, and the cursor.
    QRegion BlinkRegion(int fromPhase, int toPhase);
    void BlinkTicked(int fromPhase, int toPhase);

    // The selection has changed what it asks of this window.
    void ApplySelectionUpdate(const SelectionUpdate& update);

    // The size the frame gives a window created without a saved placement.
    QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void HandleReaderNotice(const ReaderNoticeEvent& notice);
    void HandleRepaintRequest(RepaintKind kind, const CellRange& cells);
    // Takes a requested area into the window's pending repaint; painted at
    // once when the last such paint is a frame old, otherwise when the
    // frame is over.
    void RepaintSoon(const QRect& area);
    void PaintPending();
    void HandleResizeNotice(int rows, int columns);
    void CancelSelectionFor(SelectionEvent cause);
    void InvalidateCursor();
    void SetGrid(int rows, int columns);
    void BuildWindowMenu();
    void NoteSubWindowGeometry();
    void SubWindowStateChanged();
    const Properties& Prefs() const;
    std::optional<SelectionBand> SelectionBandLocked();
    // What the window shows: the live screen, or the view scrolled back.
    const emulator::ScreenBuffer& ShownScreenLocked();
    std::size_t HistoryOffsetLocked();
    void ScrollHistoryLocked(std::size_t offset);
    void SaveText();
    void ShowFindDialog();

    ConsoleWindowList& list_;
    WindowConsole& console_;
    QMdiSubWindow* subWindow_ = nullptr;
    int state_ = kCreatedUnplaced;
    ConsolePlacement placement_;
    bool createMinimised_ = false;
    CellGeometry geometry_;
    bool hasFocus_ = false;
    bool eraseNext_ = false;
    ConsoleFonts fonts_;
    QRect pendingRepaint_; // requested and not yet painted
    QTimer frameTimer_;    // runs while a pending repaint waits for its frame
    QElapsedTimer sinceRequestPaint_;
    // While scrolled back, the top shown line counted in lines kept, so that
    // new output leaves the view where it is.
    bool scrolledBack_ = false;
    std::uint64_t historyTop_ = 0;
    emulator::ScreenBuffer historyView_;
    std::optional<TextMatch> found_; // the last match, marked while shown
    QPointer<QDialog> findDialog_;
};

} // namespace kestra::console
