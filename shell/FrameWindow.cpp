#include "shell/FrameWindow.h"

#include "console/window/ConsoleWindow.h"
#include "platform/Exit.h"
#include "shell/Icons.h"
#include "shell/MenuTable.h"
#include "shell/Shell.h"
#include "shell/WindowLayout.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStyle>
#include <QTimer>

namespace kestra::shell {
namespace {

Box ToBox(const QRect& rect) {
    return {rect.x(), rect.y(), rect.width(), rect.height()};
}

QString Text(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<int>(text.size()));
}

} // namespace

FrameWindow::FrameWindow(Shell& shell) : shell_(shell) {
    setObjectName(QStringLiteral("KESTRAFrame"));
    setWindowTitle(QStringLiteral("KESTRA"));
    setWindowIcon(LoadShellIcon(ShellIcon::Frame));
    mdiArea_ = new QMdiArea(this);
    mdiArea_->setObjectName(QStringLiteral("MDICLIENT"));
    mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdiArea_);
    BuildMenus();
    setMaximumSize(kMaxTrackingSize, kMaxTrackingSize);
    resize(800, 560);
    UpdateMinimumSize();
}

FrameWindow::~FrameWindow() = default;

void FrameWindow::BuildMenus() {
    for (std::string_view text : kPopupTexts) {
        QMenu* popup = menuBar()->addMenu(Text(text));
        popup->setObjectName(Text(text).remove(QLatin1Char('&')));
        popups_.push_back(popup);
    }
    for (const MenuItem& item : kMenuItems) {
        QMenu* popup = popups_[item.popup];
        if (item.command == kSeparator) {
            popup->addSeparator();
            continue;
        }
        QAction* action = popup->addAction(Text(item.text));
        action->setObjectName(QString::number(item.command));
        action->setEnabled(item.enabled);
        const int command = item.command;
        connect(action, &QAction::triggered, this, [this, command] { HandleCommand(command); });
        actions_[command] = action;
    }
    Action(kCommandCapture)->setCheckable(true);
    connect(popups_[kConsolesPopup], &QMenu::aboutToShow, this, [this] {
        const ConsoleWindowSlots& consoles = shell_.ConsoleSlots();
        QMdiSubWindow* active = mdiArea_->activeSubWindow();
        Action(kCommandCapture)->setEnabled(active != nullptr && consoles.capture);
        Action(kCommandCapture)
            ->setChecked(active != nullptr && consoles.isCapturing && consoles.isCapturing(active));
    });
    connect(popups_[kEditPopup], &QMenu::aboutToShow, this, [this] { UpdateEditMenu(); });
    connect(popups_[kWindowPopup], &QMenu::aboutToShow, this, [this] { UpdateWindowList(); });
}

QAction* FrameWindow::Action(int command) const {
    const auto found = actions_.find(command);
    return found == actions_.end() ? nullptr : found->second;
}

void FrameWindow::UpdateEditMenu() {
    const ConsoleWindowSlots& consoles = shell_.ConsoleSlots();
    QMdiSubWindow* active = mdiArea_->activeSubWindow();
    const QMimeData* clipboard = QGuiApplication::clipboard()->mimeData();
    const bool pasteAllowed = active != nullptr && consoles.isConsoleReady &&
                              consoles.isConsoleReady(active) && clipboard != nullptr &&
                              clipboard->hasText() && consoles.pasteIdle && consoles.pasteIdle();
    Action(kCommandPaste)->setEnabled(pasteAllowed);
    Action(kCommandConfiguration)->setEnabled(shell_.Configuration().ConfigOpened());
}

// The window list of the "&Window" pop-up, numbered from 10000 as the
// console windows were created.
void FrameWindow::UpdateWindowList() {
    for (QAction* action : windowListActions_) {
        popups_[kWindowPopup]->removeAction(action);
        action->deleteLater();
    }
    windowListActions_.clear();
    const QList<QMdiSubWindow*> windows = mdiArea_->subWindowList(QMdiArea::CreationOrder);
    if (windows.isEmpty()) {
        return;
    }
    windowListActions_.push_back(popups_[kWindowPopup]->addSeparator());
    int number = 0;
    for (QMdiSubWindow* window : windows) {
        QAction* action = popups_[kWindowPopup]->addAction(
            QStringLiteral("&%1 %2").arg(number + 1).arg(window->windowTitle()));
        action->setObjectName(QString::number(kFirstWindowListCommand + number));
        action->setCheckable(true);
        action->setChecked(window == mdiArea_->activeSubWindow());
        connect(action, &QAction::triggered, this, [this, window] {
            if (window->isMinimized()) {
                window->showNormal();
            }
            mdiArea_->setActiveSubWindow(window);
        });
        windowListActions_.push_back(action);
        ++number;
    }
}

void FrameWindow::HandleCommand(int command) {
    const ConsoleWindowSlots& consoles = shell_.ConsoleSlots();
    switch (command) {
    case kCommandExit:
    case kCommandRestart:
        // Both pass the same question; the last one chosen decides.
        platform::SetRestartRequested(command == kCommandRestart);
        close();
        break;
    case kCommandCopy:
        if (consoles.copySelection) {
            consoles.copySelection();
        }
        break;
    case kCommandPaste:
        if (consoles.pasteIntoConsole) {
            consoles.pasteIntoConsole(mdiArea_->activeSubWindow());
        }
        break;
    case kCommandConfiguration:
        if (const auto path = shell_.Configuration().ConfigFilePath()) {
            shell_.EditConfiguration(*path, 0, 0);
        }
        break;
    case kCommandProperties: shell_.ShowPropertiesDialog(); break;
    case kCommandCapture:
        if (consoles.capture && mdiArea_->activeSubWindow() != nullptr) {
            consoles.capture(mdiArea_->activeSubWindow());
        }
        break;
    case kCommandConnect:
        if (consoles.connectConsole) {
            consoles.connectConsole(mdiArea_->activeSubWindow());
        }
        break;
    case kCommandCascade:
        mdiArea_->cascadeSubWindows();
        consolesMaximized_ = false;
        break;
    case kCommandTileHorizontally:
        Tile(true);
        consolesMaximized_ = false;
        break;
    case kCommandTileVertically:
        Tile(false);
        consolesMaximized_ = false;
        break;
    case kCommandArrangeIcons: ArrangeIcons(); break;
    case kCommandAbout: shell_.ShowAboutDialog(); break;
    default:
        if (QMdiSubWindow* active = mdiArea_->activeSubWindow()) {
            QWidget* target = active->widget() ? active->widget() : active;
            console::ConsoleCommandEvent event(command);
            QCoreApplication::sendEvent(target, &event);
        }
    }
}

void FrameWindow::Tile(bool horizontally) {
    std::vector<QMdiSubWindow*> shown;
    for (QMdiSubWindow* window : mdiArea_->subWindowList(QMdiArea::CreationOrder)) {
        if (!window->isMinimized() && window->isVisible()) {
            shown.push_back(window);
        }
    }
    const QSize area = mdiArea_->viewport()->size();
    const std::vector<Box> boxes =
        TileBoxes(static_cast<int>(shown.size()), {area.width(), area.height()}, horizontally);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (shown[i]->isMaximized()) {
            shown[i]->showNormal();
        }
        shown[i]->setGeometry(boxes[i].x, boxes[i].y, boxes[i].width, boxes[i].height);
    }
}

void FrameWindow::ArrangeIcons() {
    std::vector<QMdiSubWindow*> icons;
    for (QMdiSubWindow* window : mdiArea_->subWindowList(QMdiArea::CreationOrder)) {
        if (window->isMinimized()) {
            icons.push_back(window);
        }
    }
    if (icons.empty()) {
        return;
    }
    const QSize area = mdiArea_->viewport()->size();
    const QSize icon = icons.front()->size();
    const std::vector<Spot> spots =
        IconSpots(static_cast<int>(icons.size()), {area.width(), area.height()},
                  {icon.width(), icon.height()});
    for (std::size_t i = 0; i < icons.size(); ++i) {
        icons[i]->move(spots[i].x, spots[i].y);
    }
}

QRect FrameWindow::OuterNormalGeometry() const {
    const QMargins decorations = frameGeometry().size() == geometry().size()
                                     ? QMargins()
                                     : QMargins(geometry().left() - frameGeometry().left(),
                                                geometry().top() - frameGeometry().top(),
                                                frameGeometry().right() - geometry().right(),
                                                frameGeometry().bottom() - geometry().bottom());
    return normalGeometry().marginsAdded(decorations);
}

void FrameWindow::SetOuterGeometry(const QRect& outer) {
    // A top-level's move places its frame, decorations included.
    move(outer.topLeft());
    resize(outer.size());
    pendingOuterSize_ = outer.size();
    // A window manager that has not framed the window by then draws none.
    constexpr int kDecorationWaitMs = 3000;
    QTimer::singleShot(kDecorationWaitMs, this, [this] { pendingOuterSize_.reset(); });
}

void FrameWindow::RestoreIfMinimized() {
    if (isMinimized()) {
        showNormal();
    }
}

void FrameWindow::RequestClose() {
    const console::Properties& properties = shell_.Properties();
    if (properties.promptBeforeExit) {
        RestoreIfMinimized();
        if (shell_.ShowShutdownDialog() == 0) {
            return;
        }
    }
    if (properties.saveOnExit) {
        shell_.SaveProperties(true);
    }
    shell_.ExitProgram();
}

bool FrameWindow::QueryEndSession() {
    if (!shell_.Properties().promptOnShutdown) {
        return true;
    }
    RestoreIfMinimized();
    return shell_.ShowShutdownDialog() == 1;
}

void FrameWindow::closeEvent(QCloseEvent* event) {
    // The frame is never closed by Qt: every way out is the exit routine.
    event->ignore();
    RequestClose();
}

bool FrameWindow::event(QEvent* event) {
    if (event->type() == RegisterConsoleEventType()) {
        const auto& registration = static_cast<const RegisterConsoleEvent&>(*event);
        // The configuration refuses more consoles than this before they get here.
        if (static_cast<int>(registered_.size()) < kMaxRegisteredConsoles) {
            registered_.push_back({registration.record, registration.rows, registration.columns});
        }
        return true;
    }
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange) {
        UpdateMinimumSize();
    }
    const bool placed = event->type() == QEvent::Move || event->type() == QEvent::Resize ||
                        event->type() == QEvent::Show;
    if (placed && pendingOuterSize_ && windowState() == Qt::WindowNoState &&
        frameGeometry().size() != geometry().size()) {
        const QSize outer = *std::exchange(pendingOuterSize_, std::nullopt);
        resize(outer - (frameGeometry().size() - geometry().size()));
    }
    return QMainWindow::event(event);
}

void FrameWindow::PostRegisterConsole(console::ConsoleRecord* record, int rows, int columns) {
    QCoreApplication::postEvent(this, new RegisterConsoleEvent(record, rows, columns));
}

void FrameWindow::UpdateMinimumSize() {
    const QStyle* style = this->style();
    const int frameWidth = style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, this);
    const int captionHeight = style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    const Extent border = ConsoleBorder(frameWidth, frameWidth, captionHeight);
    // The frame's own decorations as Qt knows them: menu bar and margins
    // around the console area.
    const QSize decorations = menuBar()->sizeHint().expandedTo(QSize(0, 0));
    const Extent minimum = MinimumFrameSize(border, {0, decorations.height()});
    setMinimumSize(minimum.width, minimum.height);
}

void FrameWindow::CenterWindow(QWidget& window, int width, int height) {
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect desktop = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    QWidget* parent = window.parentWidget() ? window.parentWidget()->window() : this;
    const QRect parentRect =
        (parent == this && isMinimized()) || !parent->isVisible() ? desktop : parent->geometry();
    const Spot spot = CenteredPosition(ToBox(parentRect), {width, height}, ToBox(desktop));
    window.setGeometry(spot.x, spot.y, width, height);
}

void FrameWindow::CenterDialog(QWidget& window) {
    CenterWindow(window, window.width(), window.height());
}

void FrameWindow::SetConsoleShowState(QMdiSubWindow& window, int showCommand,
                                      console::ConsolePlacement& saved) {
    if (window.isMinimized()) {
        saved.iconX = window.x();
        saved.iconY = window.y();
    } else if (!window.isMaximized()) {
        const QRect normal = window.geometry();
        saved.normal = {normal.x(), normal.y(), normal.x() + normal.width(),
                        normal.y() + normal.height()};
    }
    switch (showCommand) {
    case console::kShowNormal:
        window.showNormal();
        window.setGeometry(saved.normal.left, saved.normal.top,
                           saved.normal.right - saved.normal.left,
                           saved.normal.bottom - saved.normal.top);
        consolesMaximized_ = false;
        break;
    case console::kShowMinNoActive:
        window.showMinimized();
        window.move(saved.iconX, saved.iconY);
        consolesMaximized_ = false;
        break;
    case console::kShowMaximized:
        window.showMaximized();
        consolesMaximized_ = true;
        break;
    default: break;
    }
}

QEvent::Type RegisterConsoleEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

} // namespace kestra::shell
