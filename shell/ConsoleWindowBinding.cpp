#include "shell/ConsoleWindowBinding.h"

#include "console/window/RecordConsole.h"
#include "shell/FrameWindow.h"
#include "shell/Shell.h"

#include <QMdiArea>
#include <vector>

namespace kestra::shell {

ConsoleWindowBinding::ConsoleWindowBinding(Shell& shell) : shell_(shell) {
    console::ConsoleWindowContext context;
    context.properties = &shell.Properties();
    context.blink = &shell.Blink();
    context.selection = &selection_;
    context.setShowState = [&shell](QMdiSubWindow& window, int showCommand,
                                    console::ConsolePlacement& placement) {
        shell.Frame().SetConsoleShowState(window, showCommand, placement);
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
}

ConsoleWindowBinding::~ConsoleWindowBinding() = default;

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
