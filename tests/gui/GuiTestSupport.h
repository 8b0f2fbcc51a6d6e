#pragma once

// The shell's tests: one application on the offscreen platform, a world that
// ends and starts nothing, a hand for modal dialogs, consoles in windows.

#include "config/GlobalOptions.h"
#include "console/ConsoleTable.h"
#include "console/PipeLink.h"
#include "console/window/ConsoleClipboard.h"
#include "console/window/ConsoleWindow.h"
#include "platform/Exit.h"
#include "platform/Process.h"
#include "platform/qt/IniSettingsStore.h"
#include "shell/ConfigBinding.h"
#include "shell/ConsoleWindowBinding.h"
#include "shell/Dialogs.h"
#include "shell/EditCommand.h"
#include "shell/FrameWindow.h"
#include "shell/Icons.h"
#include "shell/MenuTable.h"
#include "shell/PropertiesDialog.h"
#include "shell/Restart.h"
#include "shell/Shell.h"
#include "shell/SplashBitmap.h"
#include "shell/WindowLayout.h"
#include "support/Program.h"
#include "termdef/TerminalDefinitionFile.h"

#include <QtWidgets>
#include <future>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>

namespace kestra::shell::testing {

using kestra::testing::Eventually;
using kestra::testing::FileText;
using kestra::testing::TemporaryDirectory;

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "test_gui";
    static char* argv[] = {name, nullptr};
    static QApplication* app =
        (qputenv("QT_QPA_PLATFORM", "offscreen"), new QApplication(argc, argv));
    return *app;
}

inline bool PumpUntil(const std::function<bool()>& done, int limitMs = 10000) {
    const auto pumped = [&] { return QCoreApplication::processEvents(), done(); };
    return Eventually(pumped, std::chrono::milliseconds(limitMs));
}

// The options are the configuration file's, reset around each test.
struct TestConfiguration : ShellConfiguration {
    TestConfiguration() { config::ResetOptions(); }
    ~TestConfiguration() override { config::ResetOptions(); }
    void Connect(const ShellServices& connected) override { services = connected; }
    void ParseCommandLine(std::span<const std::string> arguments) override { parse(arguments); }
    void ConfigureAtStartup() override { configure(); }
    bool QuietMode() const override { return bound->QuietMode(); }
    void SetQuietMode(bool quiet) override { bound->SetQuietMode(quiet); }
    std::optional<std::string> SplashGraphic() const override { return bound->SplashGraphic(); }
    bool SplashBorder() const override { return bound->SplashBorder(); }
    std::optional<std::string> EditCommand() const override { return bound->EditCommand(); }
    void SetEditCommand(std::string command) override { bound->SetEditCommand(command); }
    bool ConfigOpened() const override { return bound->ConfigOpened(); }
    std::optional<std::string> ConfigFilePath() const override { return bound->ConfigFilePath(); }
    std::vector<std::string> RestartArguments() const override { return bound->RestartArguments(); }
    std::string PropertiesSubKey() const override { return bound->PropertiesSubKey(); }
    std::optional<EditPosition> CloseAtErrorPosition() override {
        return std::exchange(errorPosition, std::nullopt);
    }

    std::unique_ptr<ShellConfiguration> bound = BindConfiguration();
    ShellServices services;
    std::function<void(std::span<const std::string>)> parse = [](auto) {};
    std::function<void()> configure = [] {};
    std::optional<EditPosition> errorPosition;
};

// Time stands still except while the splash waits, which moves it on.
struct TestWorld {
    TemporaryDirectory home;
    std::string settingsFile = home / "KESTRA.conf";
    std::int64_t now = 100000;
    std::vector<int> waits;
    int exits = 0;
    std::vector<std::vector<std::string>> restarts, editorStarts;
    std::vector<pid_t> editorRaised;
    // Shared with the threads that wait for editors, which may outlive it.
    std::shared_ptr<std::function<void()>> editorWait = std::make_shared<std::function<void()>>();

    std::unique_ptr<platform::IniSettingsStore> Settings() const {
        return platform::IniSettingsStore::AtPath(QString::fromStdString(settingsFile));
    }
    void Save(const std::string& name, const std::string& value) const {
        const auto store = Settings();
        store->Write(name, value);
        store->Commit();
    }
    SplashClock Clock() {
        return {[this] { return now; }, [this](int ms) { waits.push_back(ms), now += ms; }};
    }
    ShellEnvironment Environment() {
        ShellEnvironment environment;
        environment.clock = Clock();
        environment.exit = [this] { ++exits; };
        environment.openSettings = [this](const std::string&) { return Settings(); };
        environment.restart = [this](const std::vector<std::string>& a) { restarts.push_back(a); };
        environment.editor.start = [this](const std::vector<std::string>& arguments) {
            return editorStarts.push_back(arguments), pid_t{4242};
        };
        environment.editor.waitForEnd = [wait = editorWait](pid_t) {
            (*wait) ? (*wait)() : void();
        };
        environment.editor.bringForward = [this](pid_t editor) { editorRaised.push_back(editor); };
        return environment;
    }
};

// Hands every modal dialog that comes up to onDialog.
class DialogAnswerer {
public:
    explicit DialogAnswerer(std::function<void(QDialog&)> onDialog) {
        QObject::connect(&timer_, &QTimer::timeout, [this, onDialog] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog != nullptr && dialog != last_ && dialog->isVisible()) {
                last_ = dialog, ++count_, onDialog(*dialog);
            }
        });
        timer_.start(5);
    }
    int Count() const { return count_; }

private:
    QTimer timer_;
    QPointer<QDialog> last_;
    int count_ = 0;
};

inline QPushButton* Button(QWidget& dialog, const char* id) {
    return dialog.findChild<QPushButton*>(QString::fromLatin1(id));
}
inline void Click(QWidget& dialog, const char* id) {
    Button(dialog, id)->click();
}

// A shell showing consoles (the third 132 columns wide), each on a socket
// whose other end the test reads as the console's server.
class BoundConsoles : public ::testing::Test {
protected:
    // Names as servers give them, which the settings file must keep apart.
    static constexpr const char* kNames[] = {"\\\\.\\pipe\\ONE", "/run/a b/%2F",
                                             "na\xc3\xafve=%;#[x] \xf0\x9f\x98\x80"};
    using RecordFactory = std::function<std::unique_ptr<console::ConsoleRecord>(int unit)>;
    explicit BoundConsoles(bool start = true, int consoles = 3, RecordFactory make = {})
        : kConsoles(consoles), shell((App(), configuration), world.Environment()) {
        binding = std::make_unique<ConsoleWindowBinding>(shell);
        configuration.SetQuietMode(true);
        configuration.configure = [this, make] {
            for (std::uint16_t unit = 0; unit < kConsoles; ++unit) {
                int ends[2];
                ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
                servers.emplace_back(ends[1]);
                auto record = make ? make(unit) : std::make_unique<console::ConsoleRecord>();
                record->unit = unit;
                record->unitName = unit < 3 ? kNames[unit] : std::to_string(unit);
                record->ownedEmulator = std::make_unique<emulator::Emulator>();
                record->emulator = record->ownedEmulator.get();
                emulator::InitEmulator(*record->emulator, termdef::LoadTerminalDefinition(""),
                                       console::kDefaultRows);
                console::ConnectEmulator(*record, *record->emulator);
                record->emulator->screen.attached = 1;
                record->pipe = platform::PipeConnection(ends[0]);
                console::ConsoleRecord& stored = console::Consoles().Store(std::move(record));
                console::StartConsoleThreads(stored, true);
                console::Consoles().CountDefinition();
                console::TheWindowSide().Frame()->RegisterConsole(stored, 24, unit == 2 ? 132 : 80);
            }
        };
        binding->Keyboard().SetBeep([this] { ++beeps; });
        if (start) {
            Start();
        }
    }
    console::ConsoleRecord& Record(int unit) {
        return *console::Consoles().At(static_cast<std::uint16_t>(unit));
    }
    void Start() {
        shell.RunStartup(std::vector<std::string>{"kestra"});
        ASSERT_TRUE(PumpUntil([this] { return Active() != nullptr; }));
    }
    console::ConsoleWindow& Window(int unit) { return *binding->WindowOfRecord(&Record(unit)); }
    console::ConsoleWindow* Active() { return binding->List().Active(); }
    emulator::ScreenBuffer& Screen(int unit) { return Window(unit).Console().Screen(); }

    // What a console's server received, once count bytes arrived or in time.
    std::string Received(int unit, std::size_t count = 1, int limitMs = 5000) {
        std::string bytes;
        pollfd wait{servers[static_cast<std::size_t>(unit)].Descriptor(), POLLIN, 0};
        char buffer[256];
        for (ssize_t got = 0; bytes.size() < count && ::poll(&wait, 1, limitMs) > 0 &&
                              (got = ::read(wait.fd, buffer, sizeof buffer)) > 0;) {
            bytes.append(buffer, static_cast<std::size_t>(got));
        }
        return bytes;
    }

    // The consoles leave the table after the windows that show them; every
    // key sends its code's low byte.
    struct TableGuard {
        TableGuard() { Reset(), termdef::TheTerminalDefinition().loaded = true; }
        ~TableGuard() { Reset(); }
        static void Reset() { console::Consoles().Reset(), termdef::ResetTerminalDefinition(); }
    };

    const int kConsoles;
    platform::ScopedFatalCapture capture;
    TableGuard table;
    TestConfiguration configuration;
    TestWorld world;
    std::vector<platform::PipeConnection> servers; // closed after the windows
    int beeps = 0;
    std::unique_ptr<ConsoleWindowBinding> binding; // outlives the frame's windows
    Shell shell;
};

} // namespace kestra::shell::testing
