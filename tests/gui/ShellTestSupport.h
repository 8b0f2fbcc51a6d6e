#pragma once

#include "platform/SettingsStore.h"
#include "shell/Shell.h"
#include "shell/ShellConfiguration.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>

namespace kestra::shell::testing {

// One QApplication for the whole test program (offscreen platform).
inline QApplication& App() {
    static int argc = 1;
    static char name[] = "test_gui";
    static char* argv[] = {name, nullptr};
    static QApplication* application = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *application;
}

// Runs the event loop until done() holds or the time is up.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

class FakeConfiguration : public ShellConfiguration {
public:
    void Connect(const ShellServices& connected) override { services = connected; }
    void ParseCommandLine(std::span<const std::string> arguments) override {
        if (parse) {
            parse(arguments);
        }
    }
    void ConfigureAtStartup() override {
        if (configure) {
            configure();
        }
    }
    bool QuietMode() const override { return quietMode; }
    void SetQuietMode(bool quiet) override { quietMode = quiet; }
    std::optional<std::string> SplashGraphic() const override { return splashGraphic; }
    bool SplashBorder() const override { return splashBorder; }
    std::optional<std::string> EditCommand() const override { return editCommand; }
    void SetEditCommand(std::string command) override { editCommand = std::move(command); }
    bool ConfigOpened() const override { return configOpened; }
    std::optional<std::string> ConfigFilePath() const override { return configFilePath; }
    std::vector<std::string> RestartArguments() const override { return restartArguments; }
    std::string PropertiesSubKey() const override { return {}; }
    std::optional<EditPosition> CloseAtErrorPosition() override {
        return std::exchange(errorPosition, std::nullopt);
    }

    ShellServices services;
    std::function<void(std::span<const std::string>)> parse;
    std::function<void()> configure;
    bool quietMode = false;
    std::optional<std::string> splashGraphic;
    bool splashBorder = true;
    std::optional<std::string> editCommand;
    bool configOpened = false;
    std::optional<std::string> configFilePath;
    std::vector<std::string> restartArguments;
    std::optional<EditPosition> errorPosition;
};

// Time stands still except while the splash waits, which moves it on.
struct FakeClock {
    std::int64_t now = 100000;
    std::vector<int> waits;

    SplashClock Clock() {
        return {[this] { return now; },
                [this](int milliseconds) {
                    waits.push_back(milliseconds);
                    now += milliseconds;
                }};
    }
};

// Settings in memory, shared by every store opened on them.
struct MemoryStore : platform::SettingsStore {
    MemoryStore(std::map<std::string, std::string>& v, int& c) : values(v), commits(c) {}
    std::optional<std::string> Read(std::string_view name) override {
        const auto found = values.find(std::string(name));
        return found == values.end() ? std::nullopt : std::optional(found->second);
    }
    void Write(std::string_view name, std::string_view value) override {
        values[std::string(name)] = std::string(value);
    }
    bool Commit() override { return ++commits > 0; }
    std::map<std::string, std::string>& values;
    int& commits;
};

// The outside world of a shell under test: nothing ends the process, the
// settings live in memory, nothing is started.
struct TestWorld {
    FakeClock clock;
    std::map<std::string, std::string> settings;
    int commits = 0;
    int exits = 0;
    std::vector<std::string> opened; // sub keys of the stores opened, in order
    std::vector<std::vector<std::string>> restarts;
    std::vector<std::vector<std::string>> editorStarts;
    std::vector<pid_t> editorRaised;
    // Shared with the threads that wait for editors, which may outlive the
    // world.
    std::shared_ptr<std::function<void(pid_t)>> editorWait =
        std::make_shared<std::function<void(pid_t)>>();

    ShellEnvironment Environment() {
        ShellEnvironment environment;
        environment.clock = clock.Clock();
        environment.exit = [this] { ++exits; };
        environment.openSettings = [this](const std::string& subKey) {
            opened.push_back(subKey);
            return std::unique_ptr<platform::SettingsStore>(
                std::make_unique<MemoryStore>(settings, commits));
        };
        environment.restart = [this](const std::vector<std::string>& arguments) {
            restarts.push_back(arguments);
        };
        environment.editor.start = [this](const std::vector<std::string>& arguments) {
            editorStarts.push_back(arguments);
            return pid_t{4242};
        };
        environment.editor.waitForEnd = [wait = editorWait](pid_t editor) {
            if (*wait) {
                (*wait)(editor);
            }
        };
        environment.editor.bringForward = [this](pid_t editor) { editorRaised.push_back(editor); };
        return environment;
    }
};

// Answers every modal dialog that comes up: hands it to onDialog, which looks
// at it and usually clicks one of its buttons.
class DialogAnswerer {
public:
    explicit DialogAnswerer(std::function<void(QDialog&)> onDialog)
        : onDialog_(std::move(onDialog)) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog != nullptr && dialog != last_ && dialog->isVisible()) {
                last_ = dialog;
                ++count_;
                onDialog_(*dialog);
            }
        });
        timer_.start();
    }
    int Count() const { return count_; }

private:
    std::function<void(QDialog&)> onDialog_;
    QTimer timer_;
    QPointer<QDialog> last_;
    int count_ = 0;
};

inline void Click(QDialog& dialog, const char* id) {
    auto* button = dialog.findChild<QPushButton*>(QString::fromLatin1(id));
    ASSERT_NE(button, nullptr) << id;
    button->click();
}

} // namespace kestra::shell::testing
