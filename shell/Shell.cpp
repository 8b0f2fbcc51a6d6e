#include "shell/Shell.h"

#include "console/WindowLink.h"
#include "platform/Exit.h"
#include "platform/qt/IniSettingsStore.h"
#include "shell/ConsoleFrameBridge.h"
#include "shell/Dialogs.h"
#include "shell/FrameWindow.h"
#include "shell/Icons.h"
#include "shell/PropertiesDialog.h"
#include "shell/Restart.h"
#include "shell/WindowLayout.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMessageBox>
#include <QSessionManager>
#include <QThread>
#include <QTimer>
#include <cstdio>

namespace kestra::shell {
namespace {

// Offers every key event of the application to the key pre-translation
// before any widget sees it.
class KeyPreTranslator : public QObject {
public:
    explicit KeyPreTranslator(ConsoleWindowSlots& consoles) : slots_(consoles) {}

protected:
    bool eventFilter(QObject* target, QEvent* event) override {
        if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
            slots_.preTranslateKey) {
            return slots_.preTranslateKey(target, static_cast<QKeyEvent*>(event));
        }
        return false;
    }

private:
    ConsoleWindowSlots& slots_;
};

console::Rect ToRect(const QRect& rect) {
    return {rect.x(), rect.y(), rect.x() + rect.width(), rect.y() + rect.height()};
}

} // namespace

ShellEnvironment SystemShellEnvironment() {
    ShellEnvironment environment;
    environment.exit = [] { platform::Exit(); };
    environment.openSettings = [](const std::string& subKey) {
        return std::unique_ptr<platform::SettingsStore>(
            std::make_unique<platform::IniSettingsStore>(subKey));
    };
    environment.restart = [](const std::vector<std::string>& arguments) { Restart(arguments); };
    return environment;
}

Shell::Shell(ShellConfiguration& configuration, ShellEnvironment environment)
    : configuration_(configuration), environment_(std::move(environment)),
      editor_(environment_.editor) {
    frame_ = std::make_unique<FrameWindow>(*this);
    splash_ = std::make_unique<SplashScreen>(configuration_, environment_.clock,
                                             [this](QWidget& window, int width, int height) {
                                                 frame_->CenterWindow(window, width, height);
                                             });
    // Consoles defined from now on register with this frame.
    frameBridge_ = std::make_unique<ConsoleFrameBridge>(*frame_);
    previousFrameLink_ = console::TheWindowSide().SetFrame(frameBridge_.get());
    // The display counts as palette-based: the painter emulates the animation.
    blink_.SetPaletteDevice(true);
    blink_.UpdateBlinkState();

    // The dialog needs nothing from the console windows: the shell runs it,
    // and Apply reaches the consoles through PropertiesApplied.
    consoleSlots_.propertiesDialog = [this](QWidget* parent) { RunPropertiesDialog(parent); };

    auto* translator = new KeyPreTranslator(consoleSlots_);
    translator->setParent(&context_);
    qApp->installEventFilter(translator);

    QObject::connect(qApp, &QGuiApplication::applicationStateChanged, &context_,
                     [this](Qt::ApplicationState state) {
                         ApplicationStateChanged(state == Qt::ApplicationActive);
                     });
    // Log-off or shutdown: the question first (it may refuse), then the
    // Properties are saved and the program ends when the session really ends.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, &context_,
                     [this](QSessionManager& manager) {
                         if (manager.allowsInteraction()) {
                             const bool allowed = frame_->QueryEndSession();
                             manager.release();
                             if (!allowed) {
                                 manager.cancel();
                             }
                         }
                     });
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, &context_, [this] {
        if (properties_.saveOnExit) {
            SaveProperties(true);
        }
        ExitProgram();
    });

    ShellServices services;
    services.setFrameTitle = [this](std::string_view caption) { SetFrameTitle(caption); };
    services.showSplash = [this] { splash_->Show(); };
    services.presentHelp = [this](std::string_view text) { PresentHelp(text); };
    configuration_.Connect(services);
}

Shell::~Shell() {
    console::TheWindowSide().SetFrame(previousFrameLink_);
    if (exitRoutineInstalled_) {
        platform::SetFatalPresenter(std::move(previousPresenter_));
        platform::SetRestartFunction(std::move(previousRestart_));
        platform::SetLockWaitStep(std::move(previousLockWaitStep_));
    }
    splash_.reset();
    frame_.reset();
}

void Shell::InstallExitRoutine() {
    previousPresenter_ =
        platform::SetFatalPresenter([this](std::string_view message) { PresentFatal(message); });
    previousRestart_ = platform::SetRestartFunction([this] {
        if (environment_.restart) {
            environment_.restart(configuration_.RestartArguments());
        }
    });
    // A reader thread that is reporting waits for its dialog to run on the
    // window thread; a window thread that failed meanwhile waits for the
    // reader. It keeps its event queue going while it waits, so the dialog
    // shows (and the reader, not it, ends the process).
    previousLockWaitStep_ = platform::SetLockWaitStep([] {
        if (qApp != nullptr && QThread::currentThread() == qApp->thread()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
    });
    exitRoutineInstalled_ = true;
}

void Shell::OnWindowThread(const std::function<void()>& body) {
    if (QThread::currentThread() == qApp->thread()) {
        body();
        return;
    }
    // The failing thread waits here until the user closed the dialog; the
    // exit routine then ends the process from this thread.
    QMetaObject::invokeMethod(&context_, body, Qt::BlockingQueuedConnection);
}

void Shell::EnsureSplashShownAndRemoved() {
    splash_->Show();
    splash_->Remove();
}

void Shell::PresentFatal(std::string_view message) {
    const std::string text(message);
    OnWindowThread([this, &text] {
        // The hourglass of the configuration step would stay over the dialog.
        while (QApplication::overrideCursor() != nullptr) {
            QApplication::restoreOverrideCursor();
        }
        frame_->RestoreIfMinimized();
        EnsureSplashShownAndRemoved();
        FatalErrorDialog::Actions actions;
        actions.configOpened = configuration_.ConfigOpened();
        actions.editConfiguration = [this] { EditAtError(); };
        actions.requestRestart = [] { platform::SetRestartRequested(true); };
        FatalErrorDialog dialog(text, std::move(actions), frame_.get());
        dialog.exec();
    });
}

void Shell::PresentHelp(std::string_view text) {
    // As the exit routine does for its messages: a user who typed the command
    // in a terminal reads the help there too.
    const std::string copy(text);
    std::fprintf(stderr, "%s\n", ShowLineMarkers(copy, platform::kShownLineMarker, false).c_str());
    std::fflush(stderr);
    OnWindowThread([this, &copy] {
        frame_->RestoreIfMinimized();
        EnsureSplashShownAndRemoved();
        HelpDialog dialog(copy, frame_.get());
        dialog.exec();
    });
}

void Shell::SetFrameTitle(std::string_view caption) {
    frame_->setWindowTitle(QString::fromStdString(std::string(caption)));
}

void Shell::SaveProperties(bool hide) {
    const std::unique_ptr<platform::SettingsStore> store = OpenSettings();
    if (!store) {
        return;
    }
    console::FramePlacement placement;
    placement.showCommand = frame_->isMinimized()   ? console::kShowMinimized
                            : frame_->isMaximized() ? console::kShowMaximized
                                                    : console::kShowNormal;
    placement.consolesMaximized = frame_->ConsolesMaximized();
    placement.normal = ToRect(frame_->OuterNormalGeometry());
    console::SaveFrameAndProperties(*store, placement, properties_);
    if (consoleSlots_.saveConsolePlacements) {
        consoleSlots_.saveConsolePlacements(*store, hide);
    }
    store->Commit();
}

int Shell::ShowShutdownDialog() {
    ShutdownDialog dialog(frame_.get());
    frame_->CenterDialog(dialog);
    return dialog.exec();
}

void Shell::ShowAboutDialog() {
    AboutDialog dialog(frame_.get());
    frame_->CenterDialog(dialog);
    dialog.exec();
}

void Shell::ShowPropertiesDialog() {
    if (consoleSlots_.propertiesDialog) {
        consoleSlots_.propertiesDialog(frame_.get());
    }
}

void Shell::RunPropertiesDialog(QWidget* parent) {
    PropertiesDialog::Actions actions;
    actions.paletteDevice = [this] { return blink_.PaletteDevice(); };
    actions.apply = [this](const console::Properties& applied) {
        properties_ = applied;
        PropertiesApplied();
    };
    actions.saveNow = [this] { SaveProperties(false); };
    PropertiesDialog dialog(properties_, std::move(actions), parent);
    dialog.adjustSize();
    frame_->CenterDialog(dialog);
    dialog.exec();
}

void Shell::EditConfiguration(const std::string& fileName, int line, int column) {
    if (const auto failure = editor_.Edit(configuration_, fileName, line, column)) {
        // Over the Fatal Error dialog when Edit Cnf was pressed there.
        QWidget* over = QApplication::activeModalWidget();
        QMessageBox::warning(over != nullptr ? over : frame_.get(), QStringLiteral("Edit Cnf"),
                             QString::fromStdString(*failure));
    }
}

void Shell::EditAtError() {
    if (std::optional<EditPosition> position = configuration_.CloseAtErrorPosition()) {
        lastEdit_ = *position;
        EditConfiguration(position->fileName, position->line, position->column);
        return;
    }
    const std::optional<std::string> path = configuration_.ConfigFilePath();
    if (path) {
        EditConfiguration(*path, lastEdit_.line, lastEdit_.column);
    }
}

void Shell::ExitProgram() {
    if (environment_.exit) {
        environment_.exit();
    }
}

void Shell::LoadPropertiesIntoFrame() {
    console::FramePlacement placement;
    placement.showCommand = console::kShowNormal;
    if (auto store = OpenSettings()) {
        console::LoadProperties(*store, console::kShowDefault, placement, properties_);
    }
    // The saved rectangle is the one the user saw, title bar included; with
    // none the window manager places the frame.
    const console::Rect& normal = placement.normal;
    if (normal.right > normal.left && normal.bottom > normal.top) {
        frame_->SetOuterGeometry(
            QRect(normal.left, normal.top, normal.right - normal.left, normal.bottom - normal.top));
    }
    frame_->SetConsolesMaximized(placement.consolesMaximized);
    PropertiesApplied();
    switch (placement.showCommand) {
    case console::kShowMaximized: frame_->showMaximized(); break;
    case console::kShowMinimized:
    case console::kShowMinNoActive: frame_->showMinimized(); break;
    default: frame_->show();
    }
    frame_->UpdateMinimumSize();
}

void Shell::StartBlinkTimer() {
    blinkTimer_ = new QTimer(frame_.get());
    blinkTimer_->setObjectName(QStringLiteral("blinkTimer"));
    QObject::connect(blinkTimer_, &QTimer::timeout, frame_.get(), [this] {
        const console::BlinkStep step = blink_.BlinkTick();
        if (step.advanced && consoleSlots_.blinkTicked) {
            consoleSlots_.blinkTicked(step);
        }
    });
    blinkTimer_->setInterval(console::kBlinkPeriodMs);
    // Activation is only reported when it changes: a frame that never got
    // the focus (an X server without a window manager) was never active.
    ApplicationStateChanged(QGuiApplication::applicationState() == Qt::ApplicationActive);
    RunBlinkTimerWhileActive();
}

// A tick while the animation is off changes nothing, so the timer only runs
// while it is on: an idle program in the background is never woken.
void Shell::RunBlinkTimerWhileActive() {
    if (blinkTimer_ == nullptr || blinkTimer_->isActive() == blink_.BlinkActive()) {
        return;
    }
    if (blink_.BlinkActive()) {
        blinkTimer_->start();
    } else {
        blinkTimer_->stop();
    }
}

void Shell::ApplicationStateChanged(bool active) {
    blink_.SetAppActive(active);
    BlinkStateChanged();
}

void Shell::PropertiesApplied() {
    console::TheWindowSide().SetBeeps(properties_.beepOnBell, properties_.beepOnError);
    BlinkStateChanged();
    if (consoleSlots_.propertiesApplied) {
        consoleSlots_.propertiesApplied();
    }
}

std::unique_ptr<platform::SettingsStore> Shell::OpenSettings() {
    if (!environment_.openSettings) {
        return nullptr;
    }
    return environment_.openSettings(configuration_.PropertiesSubKey());
}

void Shell::BlinkStateChanged() {
    const bool wasActive = blink_.BlinkActive();
    blink_.SetBlinkMode(properties_.blinkMode);
    blink_.UpdateBlinkState();
    RunBlinkTimerWhileActive();
    if (wasActive != blink_.BlinkActive() && consoleSlots_.paletteChanged) {
        consoleSlots_.paletteChanged();
    }
}

void Shell::RunStartup(std::span<const std::string> arguments) {
    configuration_.ParseCommandLine(arguments);
    LoadPropertiesIntoFrame();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    configuration_.ConfigureAtStartup();
    QApplication::restoreOverrideCursor();
    splash_->Remove();
    StartBlinkTimer();
    // The consoles registered themselves with posted events while the
    // configuration was read; the message loop has not run yet, so their
    // registrations are handled here, before the windows are made from them.
    QCoreApplication::sendPostedEvents(frame_.get(), RegisterConsoleEventType());
    if (consoleSlots_.createConsoleWindows) {
        consoleSlots_.createConsoleWindows(*frame_);
    }
}

int Start(int argc, char** argv, ShellConfiguration& configuration,
          const std::function<void(Shell& shell)>& installConsoleLayer) {
    // Qt's own event loop rather than GLib's: a console flooded with output
    // hands its window a repaint request every few dozen bytes, and each
    // wake-up and turn of GLib's loop costs more system calls (a quarter to a
    // third of the throughput of a scrolling console). A user's own setting
    // stands, and the programs KESTRA starts (the editor, a restart) get the
    // environment as it was.
    const bool chooseLoop = !qEnvironmentVariableIsSet("QT_NO_GLIB");
    if (chooseLoop) {
        qputenv("QT_NO_GLIB", "1");
    }
    QApplication application(argc, argv);
    if (chooseLoop) {
        qunsetenv("QT_NO_GLIB");
    }
    QApplication::setApplicationName(QStringLiteral("KESTRA"));
    // Every way out passes the exit routine; closing a window never ends the
    // program by itself.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(LoadShellIcon(ShellIcon::Frame));
    platform::SetLineMarker(platform::kShownLineMarker);
    Shell shell(configuration, SystemShellEnvironment());
    shell.InstallExitRoutine();
    if (installConsoleLayer) {
        installConsoleLayer(shell);
    }
    const std::vector<std::string> arguments(argv, argv + argc);
    shell.RunStartup(arguments);
    return application.exec();
}

} // namespace kestra::shell
