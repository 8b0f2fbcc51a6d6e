#include "console/window/ConsoleWindow.h"

#include "console/PaintPlan.h"
#include "console/window/ConsoleKeyboard.h"
#include "console/window/ConsolePainter.h"
#include "console/window/ConsoleWindowList.h"
#include "platform/SystemError.h"
#include "platform/Thread.h"
#include "platform/UserFile.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QWheelEvent>
#include <algorithm>
#include <atomic>
#include <chrono>

namespace kestra::console {

namespace {

QRect ToQRect(const Rect& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

Rect ToRect(const QRect& r) {
    return Rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

// While the view is scrolled back, a thin bar at the grid's right edge
// shows which part of history and screen it shows.
QRect HistoryMarker(const QRect& grid, std::size_t historyLines, std::size_t offset,
                    std::uint32_t rows) {
    constexpr int kMarkerWidth = 3;
    const double total = static_cast<double>(historyLines + rows);
    const int top = grid.top() + static_cast<int>(grid.height() * (historyLines - offset) / total);
    const int height = std::max(4, static_cast<int>(grid.height() * rows / total));
    return QRect(grid.right() - kMarkerWidth + 1, top, kMarkerWidth, height);
}

// Repaint requests are painted at most once per frame, about 60 a second:
// a server that scrolls line by line asks for a repaint per line, far more
// often than anyone can see.
constexpr int kFrameMs = 16;

std::span<const std::uint8_t> RowAttributes(const emulator::ScreenBuffer& screen) {
    return {screen.lineAttrs.data(), std::min<std::size_t>(screen.rows, screen.lineAttrs.size())};
}

// Notices made and not yet taken, for every console window; an event that
// is deleted unhandled (its window went first) counts as taken.
std::atomic<int> noticesWaiting{0};

// While a server floods its console, the reader asks for a repaint a few
// microseconds after each answer, and waking a window thread that has gone
// back to sleep in its event loop costs more than the whole request. So
// within a busy frame the window thread stays a moment after an answer and
// handles the next notices (of any console) as they come: until none has
// come for a while, the frame is due, or a short budget is spent, so input
// and the frame's paint wait at most that budget. When the processors are
// busy with other work it goes back to its loop at once (SpinWait). It
// roughly doubles what a flooded console shows per second: see
// docs/performance.md, "The window thread stays for the next request".
constexpr auto kNoticeQuietSpin = std::chrono::microseconds(50);
constexpr auto kNoticeSpinBudget = std::chrono::milliseconds(2);

void HandleNoticesForAMoment(std::chrono::milliseconds untilFrame) {
    static bool running = false;
    if (running) {
        return; // a notice handled from the loop below
    }
    struct Running {
        Running() { running = true; }
        ~Running() { running = false; }
        Running(const Running&) = delete;
        Running& operator=(const Running&) = delete;
    } const guard;
    static platform::SpinWait noticeSpin; // the window thread's only
    using Clock = platform::SpinWait::Clock;
    const auto end = Clock::now() + std::min<Clock::duration>(kNoticeSpinBudget, untilFrame);
    while (Clock::now() < end &&
           noticeSpin.Until(ReaderNoticeEvent::AnyWaiting, kNoticeQuietSpin)) {
        QCoreApplication::sendPostedEvents(nullptr, ReaderNoticeEventType());
    }
}

} // namespace

QEvent::Type ReaderNoticeEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

QEvent::Type ConsoleCommandEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

ReaderNoticeEvent::ReaderNoticeEvent(bool resize, RepaintKind kind, CellRange cells, int rows,
                                     int columns)
    : QEvent(ReaderNoticeEventType()), resize(resize), kind(kind), cells(cells), rows(rows),
      columns(columns) {
    noticesWaiting.fetch_add(1, std::memory_order_release);
}

ReaderNoticeEvent::~ReaderNoticeEvent() {
    Take();
}

bool ReaderNoticeEvent::AnyWaiting() {
    return noticesWaiting.load(std::memory_order_acquire) > 0;
}

void ReaderNoticeEvent::Take() const {
    if (waiting_) {
        waiting_ = false;
        noticesWaiting.fetch_sub(1, std::memory_order_relaxed);
    }
}

ConsoleWindow::ConsoleWindow(ConsoleWindowList& list, WindowConsole& console, int rows, int columns,
                             std::optional<ConsolePlacement> placement)
    : list_(list), console_(console) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    setFocusPolicy(Qt::StrongFocus);
    setWindowTitle(QString::fromStdString(console.Name()));
    if (placement) {
        state_ = kCreatedPlaced;
        placement_ = *placement;
        createMinimised_ = placement->minimized;
    }
    SetGrid(rows, columns);
    list_.Add(this);
    frameTimer_.setSingleShot(true);
    connect(&frameTimer_, &QTimer::timeout, this, [this] { PaintPending(); });
}

ConsoleWindow::~ConsoleWindow() {
    SelectionState* selection = list_.Context().selection;
    if (selection != nullptr && selection->HeldBy(this)) {
        selection->Cancel();
    }
    list_.Remove(this);
}

void ConsoleWindow::PostRepaint(RepaintKind kind, CellRange cells) {
    QCoreApplication::postEvent(this, ReaderNoticeEvent::Repaint(kind, cells));
}

void ConsoleWindow::PostResize(int rows, int columns) {
    QCoreApplication::postEvent(this, ReaderNoticeEvent::Resize(rows, columns));
}

void ConsoleWindow::SetTitle(const QString& title) {
    setWindowTitle(title);
    if (subWindow_ != nullptr) {
        subWindow_->setWindowTitle(title);
    }
}

const Properties& ConsoleWindow::Prefs() const {
    static const Properties defaults;
    const Properties* properties = list_.Context().properties;
    return properties != nullptr ? *properties : defaults;
}

void ConsoleWindow::SetGrid(int rows, int columns) {
    geometry_.rows = std::max(1, rows);
    geometry_.columns = std::max(1, columns);
    // The window may shrink to two pixels per cell; the sub-window adds its
    // border to this.
    setMinimumSize(2 * geometry_.columns, 2 * geometry_.rows);
    setMaximumSize(kMaxTrackingSize, kMaxTrackingSize);
}

QSize ConsoleWindow::sizeHint() const {
    // Cells of 8 by 16 pixels inside the 2-pixel border: the size at which
    // the font is read as easily as any terminal's. The frame's area bounds
    // it, and the font is scaled to whatever the window gets.
    constexpr int kDefaultCellWidth = 8;
    constexpr int kDefaultCellHeight = 16;
    return {geometry_.columns * kDefaultCellWidth + 4, geometry_.rows * kDefaultCellHeight + 4};
}

void ConsoleWindow::Place(QMdiSubWindow& subWindow) {
    subWindow_ = &subWindow;
    subWindow.setWindowTitle(windowTitle());
    subWindow.installEventFilter(this);
    connect(&subWindow, &QMdiSubWindow::windowStateChanged, this,
            [this](Qt::WindowStates, Qt::WindowStates) { SubWindowStateChanged(); });
    BuildWindowMenu();
    if (state_ == kCreatedPlaced) {
        const Rect& r = placement_.normal;
        subWindow.setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
    } else {
        // Where the area put it is the normal rectangle until it moves.
        NoteSubWindowGeometry();
    }
}

void ConsoleWindow::BuildWindowMenu() {
    // The window menu routes the show commands through the frame, which
    // keeps the placements. There is no Close: a console window cannot be
    // closed.
    auto* menu = new QMenu(subWindow_);
    menu->addAction(tr("&Restore"), this, [this] { ShowAs(kShowNormal); });
    menu->addAction(tr("Mi&nimize"), this, [this] { ShowAs(kShowMinNoActive); });
    menu->addAction(tr("Ma&ximize"), this, [this] { ShowAs(kShowMaximized); });
    menu->addSeparator();
    QAction* reset = menu->addAction(tr("R&eset"), this, [this] { Command(kResetCommand); });
    reset->setData(kResetCommand);
    reset->setObjectName(QStringLiteral("reset"));
    QAction* clear =
        menu->addAction(tr("Clear &History"), this, [this] { Command(kClearHistoryCommand); });
    clear->setData(kClearHistoryCommand);
    clear->setObjectName(QStringLiteral("clearHistory"));
    subWindow_->setSystemMenu(menu);
}

void ConsoleWindow::ShowAs(int showCommand) {
    if (subWindow_ == nullptr) {
        return;
    }
    if (list_.Context().setShowState) {
        list_.Context().setShowState(*subWindow_, showCommand, placement_);
        return;
    }
    switch (showCommand) {
    case kShowMaximized: subWindow_->showMaximized(); break;
    case kShowMinimized:
    case kShowMinNoActive: subWindow_->showMinimized(); break;
    default: subWindow_->showNormal(); break;
    }
}

ConsolePlacement ConsoleWindow::Placement() const {
    ConsolePlacement placement = placement_;
    placement.minimized = subWindow_ != nullptr && subWindow_->isMinimized();
    return placement;
}

void ConsoleWindow::NoteSubWindowGeometry() {
    if (subWindow_ == nullptr) {
        return;
    }
    if (subWindow_->isMinimized()) {
        placement_.iconX = subWindow_->x();
        placement_.iconY = subWindow_->y();
    } else if (!subWindow_->isMaximized()) {
        placement_.normal = ToRect(subWindow_->geometry());
    }
}

void ConsoleWindow::SubWindowStateChanged() {
    if (subWindow_->isMinimized()) {
        state_ = kMinimised;
        return;
    }
    if (state_ != kShown && width() > 0 && height() > 0) {
        state_ = kShown;
        geometry_.clientWidth = width();
        geometry_.clientHeight = height();
        RebuildFonts();
    }
}

bool ConsoleWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == subWindow_) {
        switch (event->type()) {
        case QEvent::Close:
            // A console window cannot be closed.
            event->ignore();
            return true;
        case QEvent::Move:
        case QEvent::Resize: NoteSubWindowGeometry(); break;
        default: break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ConsoleWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (subWindow_ != nullptr && subWindow_->isMinimized()) {
        state_ = kMinimised;
        return;
    }
    state_ = kShown;
    geometry_.clientWidth = width();
    geometry_.clientHeight = height();
    RebuildFonts();
    eraseNext_ = true;
}

void ConsoleWindow::RebuildFonts() {
    geometry_ = ComputeCellGeometry(geometry_.clientWidth, geometry_.clientHeight,
                                    geometry_.columns, geometry_.rows);
    const Properties& prefs = Prefs();
    fonts_.Rebuild(geometry_, QString::fromStdString(prefs.fontFace), prefs.boldFont,
                   prefs.italicFont);
}

void ConsoleWindow::RebuildAndRepaint() {
    if (state_ != kShown) {
        return;
    }
    RebuildFonts();
    eraseNext_ = true;
    update();
}

void ConsoleWindow::RepaintAll() {
    if (state_ == kShown) {
        update();
    }
}

bool ConsoleWindow::event(QEvent* event) {
    if (event->type() == ConsoleCommandEventType()) {
        if (const auto* command = dynamic_cast<ConsoleCommandEvent*>(event)) {
            Command(command->command);
            return true;
        }
    }
    if (event->type() == ReaderNoticeEventType()) {
        HandleReaderNotice(static_cast<const ReaderNoticeEvent&>(*event));
        // Within a busy frame the reader will ask again in a moment.
        if (frameTimer_.isActive()) {
            HandleNoticesForAMoment(std::chrono::milliseconds(frameTimer_.remainingTime()));
        }
        return true;
    }
    return QWidget::event(event);
}

void ConsoleWindow::HandleReaderNotice(const ReaderNoticeEvent& notice) {
    notice.Take();
    if (notice.resize) {
        HandleResizeNotice(notice.rows, notice.columns);
    } else {
        HandleRepaintRequest(notice.kind, notice.cells);
    }
}

void ConsoleWindow::HandleRepaintRequest(RepaintKind kind, const CellRange& cells) {
    if (kind == RepaintKind::All) {
        CancelSelectionFor(SelectionEvent::RepaintAll);
    } else if (kind == RepaintKind::Reshaped) {
        CancelSelectionFor(SelectionEvent::RepaintScrolled);
    }
    if (state_ == kShown) {
        if (kind == RepaintKind::All || scrolledBack_) {
            eraseNext_ = true;
            RepaintSoon(rect());
        } else {
            RepaintSoon(ToQRect(RepaintRect(geometry_, cells, Prefs().italicFont)));
        }
    }
    // The request is answered once the window holds it: a paint after a
    // quiet frame has happened by now, and one within a busy frame follows
    // at the frame's end from the pending area. Waiting for every paint
    // would hold a scrolling server to one line per paint and display round
    // trip.
    console_.SetPainted();
}

void ConsoleWindow::RepaintSoon(const QRect& area) {
    pendingRepaint_ = pendingRepaint_.united(area);
    if (frameTimer_.isActive()) {
        return;
    }
    const qint64 since =
        sinceRequestPaint_.isValid() ? sinceRequestPaint_.elapsed() : qint64{kFrameMs};
    if (since >= kFrameMs) {
        PaintPending();
    } else {
        frameTimer_.start(static_cast<int>(kFrameMs - since));
    }
}

void ConsoleWindow::PaintPending() {
    frameTimer_.stop();
    const QRect area = pendingRepaint_;
    pendingRepaint_ = QRect();
    sinceRequestPaint_.start();
    if (state_ == kShown && !area.isEmpty()) {
        repaint(area);
    }
}

void ConsoleWindow::HandleResizeNotice(int rows, int columns) {
    CancelSelectionFor(SelectionEvent::ResizeNotice);
    SetGrid(rows, columns);
    if (state_ == kShown) {
        RebuildFonts();
        // Every cell moved: the old picture is no use. The switch clears the
        // screen without reporting its cells, so nothing else would ask.
        eraseNext_ = true;
        update();
    }
}

void ConsoleWindow::CancelSelectionFor(SelectionEvent cause) {
    SelectionState* selection = list_.Context().selection;
    if (selection != nullptr && CancelsSelection(cause, selection->HeldBy(this))) {
        ApplySelectionUpdate(selection->Cancel());
    }
}

void ConsoleWindow::ApplySelectionUpdate(const SelectionUpdate& update) {
    ConsoleWindow* target = list_.WindowOf(update.window);
    if (target != nullptr && target->state_ == kShown) {
        const bool italic = Prefs().italicFont;
        for (const auto& range : {update.repaintOld, update.repaintNew}) {
            if (!range) {
                continue;
            }
            if (const auto rect = SelectionRepaintRect(target->geometry_, *range, italic)) {
                target->update(ToQRect(*rect));
            }
        }
    }
    if (update.releaseCapture && target != nullptr && QWidget::mouseGrabber() == target) {
        target->releaseMouse();
    }
    if (update.copyEnabled && list_.Context().setCopyEnabled) {
        list_.Context().setCopyEnabled(*update.copyEnabled);
    }
}

void ConsoleWindow::Command(int command) {
    switch (command) {
    case kResetCommand: Reset(); break;
    case kClearHistoryCommand: {
        {
            std::lock_guard lock(console_);
            console_.History().Clear();
            ScrollHistoryLocked(0);
        }
        found_.reset();
        RepaintAll();
        break;
    }
    case kSaveTextCommand: SaveText(); break;
    case kFindCommand: ShowFindDialog(); break;
    default: break;
    }
}

void ConsoleWindow::Reset() {
    CancelSelectionFor(SelectionEvent::Reset);
    int rows = 0;
    int columns = 0;
    {
        std::lock_guard lock(console_);
        emulator::ScreenBuffer& screen = console_.Screen();
        // Reset repaints everything itself: the hooks stay quiet meanwhile.
        screen.attached = 0;
        emulator::ResetEmulator(console_.Emulator(), console_.ConfiguredWide());
        screen.attached = 1;
        console_.CursorAfterReset();
        rows = static_cast<int>(screen.rows);
        columns = static_cast<int>(screen.cols);
    }
    SetGrid(rows, columns);
    if (state_ == kShown) {
        RebuildFonts();
        eraseNext_ = true;
        repaint();
    }
}

void ConsoleWindow::InvalidateCursor() {
    if (state_ != kShown) {
        return;
    }
    CursorPosition cursor;
    {
        std::lock_guard lock(console_);
        cursor = console_.Cursor();
    }
    if (cursor.visible) {
        update(ToQRect(CursorCellRect(geometry_, cursor.row, cursor.column, cursor.doubleWidth,
                                      Prefs().italicFont)));
    }
}

// The base class would repaint the whole window on focus changes; only the
// cursor's cell changes.
void ConsoleWindow::focusInEvent(QFocusEvent* event) {
    event->accept();
    // Focus that arrives while another program is active does not show the
    // cursor until the window gets the focus again.
    const BlinkPalette* blink = list_.Context().blink;
    if (blink == nullptr || blink->AppActive()) {
        hasFocus_ = true;
        InvalidateCursor();
    }
}

void ConsoleWindow::focusOutEvent(QFocusEvent* event) {
    event->accept();
    hasFocus_ = false;
    InvalidateCursor();
}

void ConsoleWindow::TypeCode(std::int32_t code) {
    if (scrolledBack_ || found_) {
        // A key is meant for what the server shows now.
        found_.reset();
        ScrollHistory(-static_cast<long>(HistoryOffset()));
    }
    console_.Type(code);
}

// Special keys were translated before they got here; what is left types
// characters.
void ConsoleWindow::keyPressEvent(QKeyEvent* event) {
    const std::u16string typed = TypedCharacters(*event);
    if (typed.empty()) {
        QWidget::keyPressEvent(event);
        return;
    }
    for (const char16_t code : typed) {
        TypeCode(code);
    }
}

void ConsoleWindow::mousePressEvent(QMouseEvent* event) {
    SelectionState* selection = list_.Context().selection;
    if (selection == nullptr || event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    ApplySelectionUpdate(selection->ButtonDown(this, GridPointAt(geometry_, at.x(), at.y())));
}

void ConsoleWindow::mouseMoveEvent(QMouseEvent* event) {
    SelectionState* selection = list_.Context().selection;
    ConsoleWindow* owner = selection != nullptr ? list_.WindowOf(selection->Owner()) : nullptr;
    if (owner == nullptr || !selection->Dragging()) {
        return;
    }
    // The point is taken in the owner's grid, wherever the mouse is.
    const QPoint at = owner->mapFromGlobal(event->globalPosition().toPoint());
    ApplySelectionUpdate(selection->Move(GridPointAt(owner->geometry_, at.x(), at.y())));
}

void ConsoleWindow::mouseReleaseEvent(QMouseEvent* event) {
    SelectionState* selection = list_.Context().selection;
    ConsoleWindow* owner = selection != nullptr ? list_.WindowOf(selection->Owner()) : nullptr;
    if (owner == nullptr || event->button() != Qt::LeftButton) {
        return;
    }
    const QPoint at = owner->mapFromGlobal(event->globalPosition().toPoint());
    ApplySelectionUpdate(selection->ButtonUp(GridPointAt(owner->geometry_, at.x(), at.y())));
}

std::optional<SelectionBand> ConsoleWindow::SelectionBandLocked() {
    const emulator::ScreenBuffer& shown = ShownScreenLocked();
    const SelectionState* selection = list_.Context().selection;
    std::optional<SelectionBand> band =
        selection != nullptr ? selection->BandFor(this, RowAttributes(shown)) : std::nullopt;
    if (band || !found_) {
        return band;
    }
    // No selection: the last match found shows as one, where it is in view.
    const std::size_t firstLine = console_.History().Size() - HistoryOffsetLocked();
    if (found_->line < firstLine || found_->line - firstLine >= shown.rows) {
        return std::nullopt;
    }
    const int row = static_cast<int>(found_->line - firstLine);
    const int scale = shown.lineAttrs[row] == emulator::kLineSingleWidth ? 1 : 2;
    return SelectionBand{row, row + 1, static_cast<int>(found_->column) * scale,
                         static_cast<int>(found_->column + found_->length) * scale};
}

const emulator::ScreenBuffer& ConsoleWindow::ShownScreenLocked() {
    const std::size_t offset = HistoryOffsetLocked();
    if (offset == 0) {
        return console_.Screen();
    }
    ComposeScrolledView(console_.Screen(), console_.History(), offset, historyView_);
    return historyView_;
}

std::size_t ConsoleWindow::HistoryOffsetLocked() {
    const emulator::ScreenHistory& history = console_.History();
    if (!scrolledBack_) {
        return 0;
    }
    const std::uint64_t below = history.Kept() - std::min(historyTop_, history.Kept());
    return static_cast<std::size_t>(std::min<std::uint64_t>(below, history.Size()));
}

void ConsoleWindow::ScrollHistoryLocked(std::size_t offset) {
    const emulator::ScreenHistory& history = console_.History();
    offset = std::min(offset, history.Size());
    scrolledBack_ = offset != 0;
    historyTop_ = history.Kept() - offset;
}

std::u16string ConsoleWindow::SelectedText(const SelectionRange& range) {
    std::lock_guard lock(console_);
    return CopySelectionText(ShownScreenLocked(), range);
}

std::size_t ConsoleWindow::HistoryOffset() {
    std::lock_guard lock(console_);
    return HistoryOffsetLocked();
}

void ConsoleWindow::ScrollHistory(long rows) {
    {
        std::lock_guard lock(console_);
        const long offset = static_cast<long>(HistoryOffsetLocked()) + rows;
        ScrollHistoryLocked(static_cast<std::size_t>(std::max(offset, 0L)));
    }
    CancelSelectionFor(SelectionEvent::RepaintAll);
    eraseNext_ = true;
    RepaintAll();
}

void ConsoleWindow::ScrollHistoryToEnd(bool oldest) {
    std::size_t size = 0;
    {
        std::lock_guard lock(console_);
        size = console_.History().Size();
    }
    ScrollHistory(oldest ? static_cast<long>(size) : -static_cast<long>(size));
}

bool ConsoleWindow::FindNext(std::u16string_view text, bool forward, bool matchCase) {
    std::optional<TextMatch> match;
    {
        std::lock_guard lock(console_);
        const emulator::ScreenHistory& history = console_.History();
        match = FindText(ConsoleTextLines(console_.Screen(), history), text, found_, forward,
                         matchCase);
        if (match) {
            // A history line comes to the top of the view; a screen row needs
            // the live screen.
            ScrollHistoryLocked(match->line < history.Size() ? history.Size() - match->line : 0);
        }
    }
    found_ = match;
    CancelSelectionFor(SelectionEvent::RepaintAll);
    eraseNext_ = true;
    RepaintAll();
    if (!match) {
        QApplication::beep();
    }
    return match.has_value();
}

void ConsoleWindow::SaveText() {
    static QString folder; // the last folder used, for the next save
    const QString path = QFileDialog::getSaveFileName(this, tr("Save Console Text"), folder,
                                                      tr("Text files (*.txt);;All files (*)"));
    if (path.isEmpty()) {
        return;
    }
    folder = QFileInfo(path).absolutePath();
    QString text;
    {
        std::lock_guard lock(console_);
        for (const std::u16string& line : ConsoleTextLines(console_.Screen(), console_.History())) {
            text += QString::fromUtf16(line.data(), static_cast<qsizetype>(line.size())) + '\n';
        }
    }
    const QByteArray bytes = text.toUtf8();
    if (const int error = platform::ReplaceUserFile(
            path.toStdString(), std::string_view(bytes.constData(), bytes.size()))) {
        QMessageBox::warning(
            this, tr("Save Console Text"),
            tr("Can't write %1: %2")
                .arg(path, QString::fromStdString(platform::SystemErrorTextOrCode(error))));
    }
}

void ConsoleWindow::ShowFindDialog() {
    if (findDialog_ == nullptr) {
        auto* dialog = new QDialog(this);
        dialog->setObjectName(QStringLiteral("findDialog"));
        dialog->setWindowTitle(tr("Find"));
        auto* text = new QLineEdit(dialog);
        text->setObjectName(QStringLiteral("findText"));
        auto* matchCase = new QCheckBox(tr("Match &case"), dialog);
        auto* next = new QPushButton(tr("Find &Next"), dialog);
        next->setObjectName(QStringLiteral("findNext"));
        next->setDefault(true);
        auto* previous = new QPushButton(tr("Find &Previous"), dialog);
        previous->setObjectName(QStringLiteral("findPrevious"));
        auto* close = new QPushButton(tr("Close"), dialog);
        const auto find = [this, text, matchCase](bool forward) {
            const QString wanted = text->text();
            FindNext(std::u16string_view(reinterpret_cast<const char16_t*>(wanted.utf16()),
                                         static_cast<std::size_t>(wanted.size())),
                     forward, matchCase->isChecked());
        };
        connect(next, &QPushButton::clicked, dialog, [find] { find(true); });
        connect(previous, &QPushButton::clicked, dialog, [find] { find(false); });
        connect(close, &QPushButton::clicked, dialog, &QDialog::close);
        auto* layout = new QGridLayout(dialog);
        layout->addWidget(text, 0, 0, 1, 3);
        layout->addWidget(matchCase, 1, 0, 1, 3);
        layout->addWidget(next, 2, 0);
        layout->addWidget(previous, 2, 1);
        layout->addWidget(close, 2, 2);
        findDialog_ = dialog;
    }
    findDialog_->show();
    findDialog_->raise();
    findDialog_->activateWindow();
}

void ConsoleWindow::wheelEvent(QWheelEvent* event) {
    // Three rows a notch, as most terminals scroll.
    const int notches = event->angleDelta().y() / 120;
    if (notches != 0) {
        ScrollHistory(3L * notches);
    }
    event->accept();
}

QRegion ConsoleWindow::BlinkRegion(int fromPhase, int toPhase) {
    QRegion region;
    if (state_ != kShown) {
        return region;
    }
    std::vector<Rect> rects;
    CursorPosition cursor;
    {
        std::lock_guard lock(console_);
        rects = BlinkRepaintRects(geometry_, console_.Screen(), Prefs().reverseVideo,
                                  SelectionBandLocked(), fromPhase, toPhase, Prefs().italicFont);
        cursor = console_.Cursor();
    }
    for (const Rect& rect : rects) {
        region += ToQRect(rect);
    }
    if (hasFocus_ && cursor.visible) {
        region += ToQRect(CursorCellRect(geometry_, cursor.row, cursor.column, cursor.doubleWidth,
                                         Prefs().italicFont));
    }
    return region;
}

void ConsoleWindow::BlinkTicked(int fromPhase, int toPhase) {
    const QRegion region = BlinkRegion(fromPhase, toPhase);
    if (!region.isEmpty()) {
        update(region);
    }
}

void ConsoleWindow::paintEvent(QPaintEvent* event) {
    if (state_ != kShown || fonts_.Empty()) {
        return;
    }
    const Properties& prefs = Prefs();
    QPainter painter(this);
    const QRect grid(geometry_.marginLeft, geometry_.marginTop,
                     geometry_.columns * geometry_.cellWidth,
                     geometry_.rows * geometry_.cellHeight);
    std::vector<PaintPlan> plans;
    std::optional<CursorPlan> cursor;
    QRect marker;
    bool reversed = false;
    {
        std::lock_guard lock(console_);
        const emulator::ScreenBuffer& screen = ShownScreenLocked();
        reversed = ShowsReversed(screen, prefs.reverseVideo);
        const std::optional<SelectionBand> band = SelectionBandLocked();
        for (const QRect& r : event->region()) {
            plans.push_back(PlanPaint(geometry_, screen, ToRect(r), prefs.reverseVideo, band));
        }
        if (scrolledBack_) {
            marker =
                HistoryMarker(grid, console_.History().Size(), HistoryOffsetLocked(), screen.rows);
        } else {
            cursor = PlanCursor(geometry_, screen, console_.Cursor(), hasFocus_, prefs.reverseVideo,
                                band);
        }
    }
    // A full repaint erases; otherwise only the margins are filled, which no
    // cell covers.
    const QRegion erase = eraseNext_ ? event->region() : event->region().subtracted(grid);
    eraseNext_ = false;
    const QColor background = ToQColor(WindowBackground(reversed));
    for (const QRect& r : erase) {
        painter.fillRect(r, background);
    }
    const BlinkPalette* blink = list_.Context().blink;
    const EntryColours colours =
        blink != nullptr ? ColoursOfPhase(*blink) : ColoursOfPhase(BlinkPalette{});
    for (const PaintPlan& plan : plans) {
        PaintRows(painter, plan, fonts_, colours);
    }
    if (cursor) {
        PaintCursor(painter, *cursor, colours);
    }
    if (!marker.isEmpty()) {
        painter.fillRect(marker, colours[3]);
    }
}

} // namespace kestra::console
