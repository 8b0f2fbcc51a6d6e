#pragma once

#include "console/BlinkPalette.h"
#include "console/Properties.h"
#include "console/WindowLink.h"
#include "platform/SettingsStore.h"
#include "shell/ConfigEditor.h"
#include "shell/ConsoleWindowSlots.h"
#include "shell/ShellConfiguration.h"
#include "shell/SplashScreen.h"

#include <QObject>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class QTimer;

// The application shell: the frame, the splash screen, the editor, the
// Properties in use, the blink animation, and the start-up steps in their
// order. One per process; tests make their own with fakes for the outside.
namespace kestra::shell {

class ConsoleFrameBridge;
class FrameWindow;

struct ShellEnvironment {
    SplashClock clock = SystemSplashClock();
    EditorLauncher editor = SystemEditorLauncher();
    // The normal exit (status 0); the default never returns.
    std::function<void()> exit;
    // The store of the Properties under a key ("" for the program's own).
    std::function<std::unique_ptr<platform::SettingsStore>(const std::string& subKey)> openSettings;
    // Starts a new instance with these arguments (the shell adds /W:).
    std::function<void(const std::vector<std::string>& arguments)> restart;
};
// The real exit, the INI settings store and the real restart.
ShellEnvironment SystemShellEnvironment();

class Shell {
public:
    Shell(ShellConfiguration& configuration, ShellEnvironment environment);
    ~Shell();
    Shell(const Shell&) = delete;
    Shell& operator=(const Shell&) = delete;

    FrameWindow& Frame() { return *frame_; }
    // Null once the frame is being destroyed.
    FrameWindow* FrameWhileAlive() { return frame_.get(); }
    SplashScreen& Splash() { return *splash_; }
    ConfigEditor& Editor() { return editor_; }
    ShellConfiguration& Configuration() { return configuration_; }
    console::Properties& Properties() { return properties_; }
    console::BlinkPalette& Blink() { return blink_; }
    ConsoleWindowSlots& ConsoleSlots() { return consoleSlots_; }

    // Start-up after the frame exists, in order: the command line, the
    // Properties (the frame's placement applied and the frame shown), the
    // configuration under the hourglass cursor, the splash removed, the blink
    // timer, the console windows. The message loop comes next.
    void RunStartup(std::span<const std::string> arguments);

    // Makes this shell the exit routine's presenter (the Fatal Error dialog)
    // and restart; the destructor puts the previous ones back.
    void InstallExitRoutine();
    // The Fatal Error dialog, from any thread: the frame restored, the splash
    // put through its course first. Returns when the dialog is closed.
    void PresentFatal(std::string_view message);
    // The Command Line Help dialog, the same way.
    void PresentHelp(std::string_view text);

    void SetFrameTitle(std::string_view caption);
    // Saves the frame's placement, the Properties and the consoles'
    // placements; hide also hides the console windows.
    void SaveProperties(bool hide);
    // 1 when the user agrees to shut down, 0 for Cancel.
    int ShowShutdownDialog();
    void ShowAboutDialog();
    // Menu command Properties: the dialog in the ConsoleSlots, which is
    // RunPropertiesDialog unless something replaced it.
    void ShowPropertiesDialog();
    // The Properties dialog, modal over parent, working on the Properties in
    // use: Apply and OK make its settings the ones in use, Save Now also
    // saves them.
    void RunPropertiesDialog(QWidget* parent);
    void EditConfiguration(const std::string& fileName, int line, int column);
    // The Fatal Error dialog's Edit Cnf: the innermost configuration file
    // still open at its line and column, or else the configuration file at
    // the place an earlier click remembered.
    void EditAtError();
    // Exit through the environment's exit (the real one ends the process).
    void ExitProgram();
    // What the exit routine and the help do before their dialog: the splash
    // shown (unless quiet) and removed, which waits out its 2000 ms.
    void EnsureSplashShownAndRemoved();
    // Blinking may have started or stopped: tell the consoles.
    void BlinkStateChanged();
    // The Properties were loaded or changed (the Properties dialog's Apply):
    // the beeps the consoles read and the blink state follow them.
    void PropertiesApplied();
    // The store of the Properties in use (under the configured key); null
    // when the environment has none.
    std::unique_ptr<platform::SettingsStore> OpenSettings();

    const EditPosition& LastEditPosition() const { return lastEdit_; }

private:
    void LoadPropertiesIntoFrame();
    void StartBlinkTimer();
    void RunBlinkTimerWhileActive();
    // Runs body on the window thread and waits for it.
    void OnWindowThread(const std::function<void()>& body);
    void ApplicationStateChanged(bool active);

    ShellConfiguration& configuration_;
    ShellEnvironment environment_;
    console::Properties properties_;
    console::BlinkPalette blink_;
    ConsoleWindowSlots consoleSlots_;
    ConfigEditor editor_;
    std::unique_ptr<FrameWindow> frame_;
    std::unique_ptr<SplashScreen> splash_;
    std::unique_ptr<ConsoleFrameBridge> frameBridge_;
    console::ConsoleFrameLink* previousFrameLink_ = nullptr;
    QTimer* blinkTimer_ = nullptr;
    QObject context_; // owns the connections to application-wide signals
    EditPosition lastEdit_;
    bool exitRoutineInstalled_ = false;
    std::function<void(std::string_view)> previousPresenter_;
    std::function<void()> previousRestart_;
    std::function<void()> previousLockWaitStep_;
};

// The program: a QApplication, one Shell bound to the configuration, start-up
// and the message loop. installConsoleLayer, when given, runs once the shell
// exists and before start-up: the console layer fills the shell's
// ConsoleSlots and hooks its console definition into the configuration.
// Returns the loop's result (in practice the process ends through the exit
// routine first).
int Start(int argc, char** argv, ShellConfiguration& configuration,
          const std::function<void(Shell& shell)>& installConsoleLayer = {});

} // namespace kestra::shell
