#include "shell/ConsoleWindowBinding.h"

#include "config/ConfigInterpreter.h"
#include "config/GlobalOptions.h"
#include "console/ConsoleDefinition.h"
#include "console/ConsoleTable.h"
#include "console/window/ConsoleClipboard.h"
#include "console/window/ConsoleWindow.h"
#include "console/window/RecordConsole.h"
#include "shell/ConnectDialog.h"
#include "shell/FrameEvents.h"
#include "shell/FrameWindow.h"
#include "shell/MenuTable.h"
#include "shell/Shell.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileDialog>
#include <QMdiArea>
#include <vector>

namespace kestra::shell {

ConsoleWindowBinding::ConsoleWindowBinding(Shell& shell) : shell_(shell) {
    console::ConsoleWindowContext context;
    context.properties = &shell.Properties();
    context.blink = &shell.Blink();
    context.selection = &selection_;
    context.setCopyEnabled = [&shell](bool enabled) {
        shell.Frame().Action(kCommandCopy)->setEnabled(enabled);
    };
    context.setShowState = [&shell](QMdiSubWindow& window, int showCommand,
                                    console::ConsolePlacement& placement) {
        shell.Frame().SetConsoleShowState(window, showCommand, placement);
    };
    context.consolesMaximizedChanged = [&shell](bool maximized) {
        // The windows change their state once more while the frame goes.
        if (FrameWindow* frame = shell.FrameWhileAlive()) {
            frame->SetConsolesMaximized(maximized);
        }
    };
    list_ = std::make_unique<console::ConsoleWindowList>(std::move(context));

    ConsoleWindowSlots& consoles = shell.ConsoleSlots();
    consoles.createConsoleWindows = [this](FrameWindow&) { CreateConsoleWindows(); };
    consoles.isConsoleReady = [this](QMdiSubWindow* window) {
        return list_->IsConsoleReady(window);
    };
    consoles.blinkTicked = [this](const console::BlinkStep& step) { list_->BlinkTicked(step); };
    consoles.paletteChanged = [this] { list_->PaletteChanged(); };
    consoles.saveConsolePlacements = [this](platform::SettingsStore& store, bool hide) {
        list_->SaveConsolePlacements(store, hide);
    };
    consoles.propertiesApplied = [this] { list_->RebuildAllConsoleFonts(); };

    console::KeyboardContext keyboard;
    keyboard.windows = list_.get();
    keyboard.consoleWindowByIndex = [this](unsigned index) {
        return WindowOfRecord(console::ConsoleByIndex(index));
    };
    keyboard.consolesMaximized = [&shell] { return shell.Frame().ConsolesMaximized(); };
    keyboard_ = std::make_unique<console::ConsoleKeyboard>(std::move(keyboard));
    consoles.preTranslateKey = [this](QObject* target, QKeyEvent* event) {
        return keyboard_->PreTranslateKey(target, event);
    };

    consoles.isCapturing = [this](QMdiSubWindow* active) {
        const console::ConsoleRecord* record = RecordOf(active);
        return record != nullptr && record->capture.Active();
    };
    consoles.capture = [this](QMdiSubWindow* active) { Capture(active); };
    consoles.connectConsole = [this](QMdiSubWindow* active) { Connect(active); };
    consoles.copySelection = [this] { console::CopySelection(*list_); };
    consoles.pasteIdle = [this] { return paste_.Idle(); };
    consoles.pasteIntoConsole = [this](QMdiSubWindow* active) {
        const config::GlobalOptions& options = config::Options();
        console::PasteIntoConsole(paste_, list_->WindowOf(active),
                                  {options.intercharDelay, options.returnDelay});
    };
}

ConsoleWindowBinding::~ConsoleWindowBinding() = default;

console::ConsoleWindow*
ConsoleWindowBinding::WindowOfRecord(const console::ConsoleRecord* record) const {
    if (record == nullptr) {
        return nullptr;
    }
    for (console::ConsoleWindow* window : list_->Windows()) {
        auto* shown = dynamic_cast<console::RecordConsole*>(&window->Console());
        if (shown != nullptr && &shown->Record() == record) {
            return window;
        }
    }
    return nullptr;
}

void ConsoleWindowBinding::CreateConsoleWindows() {
    CreateWindowsAfter(0);
}

console::ConsoleRecord* ConsoleWindowBinding::RecordOf(const QMdiSubWindow* window) const {
    console::ConsoleWindow* shown = window != nullptr ? list_->WindowOf(window) : nullptr;
    auto* console =
        shown != nullptr ? dynamic_cast<console::RecordConsole*>(&shown->Console()) : nullptr;
    return console != nullptr ? &console->Record() : nullptr;
}

// A second choice stops the capture; otherwise a file and a format are asked
// for, starting in the folder used last. The file is appended to, so no
// question about replacing it.
void ConsoleWindowBinding::Capture(QMdiSubWindow* active) {
    console::ConsoleRecord* record = RecordOf(active);
    if (record == nullptr) {
        return;
    }
    if (record->capture.Active()) {
        record->capture.Stop();
        return;
    }
    const QString raw = QStringLiteral("Raw bytes (*)");
    const QString text = QStringLiteral("Text with timestamps (*)");
    QFileDialog dialog(&shell_.Frame(), QStringLiteral("Capture"), captureFolder_);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOptions(QFileDialog::DontConfirmOverwrite | QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters({raw, text});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    captureFolder_ = dialog.directory().absolutePath();
    console::StartCapture(*record, dialog.selectedFiles().front().toStdString(),
                          dialog.selectedNameFilter() == text ? console::CaptureFormat::Text
                                                              : console::CaptureFormat::Raw);
}

// A console waiting for its server is retried at once; otherwise the dialog
// defines a new console through its CON line.
void ConsoleWindowBinding::Connect(QMdiSubWindow* active) {
    if (console::ConsoleRecord* record = RecordOf(active);
        record != nullptr && record->waitingForServer.load()) {
        console::RetryConnection(*record);
        return;
    }
    FrameWindow& frame = shell_.Frame();
    ConnectDialog dialog(&frame, config::Options().reconnect,
                         [this, &frame](const console::ConnectRequest& request) {
                             const std::size_t known = frame.RegisteredConsoles().size();
                             std::optional<std::string> error =
                                 config::RunConfigurationLine(console::ConnectLine(request));
                             if (!error) {
                                 QCoreApplication::sendPostedEvents(&frame,
                                                                    RegisterConsoleEventType());
                                 CreateWindowsAfter(known);
                             }
                             return error;
                         });
    dialog.exec();
}

void ConsoleWindowBinding::CreateWindowsAfter(std::size_t known) {
    FrameWindow& frame = shell_.Frame();
    std::vector<console::ConsoleWindowEntry> entries;
    const std::vector<RegisteredConsole>& all = frame.RegisteredConsoles();
    for (std::size_t index = known; index < all.size(); ++index) {
        const RegisteredConsole& registered = all[index];
        if (registered.record == nullptr) {
            continue;
        }
        console::ConsoleWindowEntry entry;
        entry.console = &list_->Keep(std::make_unique<console::RecordConsole>(*registered.record));
        entry.rows = registered.rows;
        entry.columns = registered.columns;
        entries.push_back(entry);
    }
    const std::unique_ptr<platform::SettingsStore> store = shell_.OpenSettings();
    bool consolesMaximized = frame.ConsolesMaximized();
    list_->CreateConsoleWindows(*frame.MdiArea(), entries, store.get(), consolesMaximized);
    frame.SetConsolesMaximized(consolesMaximized);
}

} // namespace kestra::shell
