#include "shell/ConsoleWindowBinding.h"

#include "config/GlobalOptions.h"
#include "console/ConsoleTable.h"
#include "console/window/ConsoleClipboard.h"
#include "console/window/ConsoleWindow.h"
#include "console/window/RecordConsole.h"
#include "shell/FrameWindow.h"
#include "shell/MenuTable.h"
#include "shell/Shell.h"

#include <QAction>
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
    FrameWindow& frame = shell_.Frame();
    std::vector<console::ConsoleWindowEntry> entries;
    for (const RegisteredConsole& registered : frame.RegisteredConsoles()) {
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
