#include "console/window/ConsoleWindowList.h"

#include "console/window/ConsoleTitleStyle.h"
#include "console/window/ConsoleWindow.h"
#include "console/window/WindowConsole.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <algorithm>

namespace kestra::console {

ActivationPlan PlanActivation(const std::vector<bool>& createdMinimised, bool consolesMaximized) {
    ActivationPlan plan;
    const int count = static_cast<int>(createdMinimised.size());
    for (int i = count - 1; i >= 0; --i) {
        if (createdMinimised[static_cast<std::size_t>(i)]) {
            plan.order.push_back(i);
        }
    }
    for (int i = count - 1; i >= 0; --i) {
        if (!createdMinimised[static_cast<std::size_t>(i)]) {
            plan.order.push_back(i);
            plan.focus = i;
        }
    }
    plan.consolesMaximized = plan.focus.has_value() && consolesMaximized;
    plan.maximise = plan.consolesMaximized;
    return plan;
}

ConsoleWindowList::ConsoleWindowList(ConsoleWindowContext context) : context_(std::move(context)) {}

ConsoleWindowList::~ConsoleWindowList() {
    // Windows still alive belong to their sub-windows; they must not reach
    // back into a list that is gone.
    windows_.clear();
}

WindowConsole& ConsoleWindowList::Keep(std::unique_ptr<WindowConsole> console) {
    kept_.push_back(std::move(console));
    return *kept_.back();
}

void ConsoleWindowList::Add(ConsoleWindow* window) {
    windows_.push_back(window);
}

void ConsoleWindowList::Remove(ConsoleWindow* window) {
    std::erase(windows_, window);
    if (active_ == window) {
        active_ = nullptr;
    }
}

ConsoleWindow* ConsoleWindowList::WindowOf(const QMdiSubWindow* subWindow) const {
    const auto found = std::find_if(windows_.begin(), windows_.end(), [subWindow](auto* window) {
        return subWindow != nullptr && window->SubWindow() == subWindow;
    });
    return found != windows_.end() ? *found : nullptr;
}

ConsoleWindow* ConsoleWindowList::WindowOfTarget(const QObject* target) const {
    const auto found = std::find_if(windows_.begin(), windows_.end(), [target](auto* window) {
        return target != nullptr && static_cast<const QObject*>(window) == target;
    });
    return found != windows_.end() ? *found : nullptr;
}

ConsoleWindow* ConsoleWindowList::WindowOf(SelectionOwner owner) const {
    const auto found = std::find_if(windows_.begin(), windows_.end(), [owner](auto* window) {
        return owner != nullptr && static_cast<const void*>(window) == owner;
    });
    return found != windows_.end() ? *found : nullptr;
}

void ConsoleWindowList::Activated(ConsoleWindow* window) {
    if (window == nullptr || window == active_) {
        return;
    }
    active_ = window;
    if (context_.selection != nullptr &&
        CancelsSelection(SelectionEvent::ConsoleActivated,
                         context_.selection->HeldBy(static_cast<const void*>(window)))) {
        window->ApplySelectionUpdate(context_.selection->Cancel());
    }
}

void ConsoleWindowList::CreateConsoleWindows(QMdiArea& area,
                                             std::span<const ConsoleWindowEntry> entries,
                                             SettingsStore* store, bool& consolesMaximized) {
    QObject::connect(&area, &QMdiArea::subWindowActivated, &area,
                     [this](QMdiSubWindow* sub) { Activated(WindowOf(sub)); });

    UseConsoleTitleStyle();
    std::vector<ConsoleWindow*> created;
    std::vector<bool> minimised;
    for (const ConsoleWindowEntry& entry : entries) {
        if (entry.console == nullptr) {
            continue;
        }
        std::optional<ConsolePlacement> saved;
        if (store != nullptr) {
            if (const auto text = store->Read(entry.console->Name())) {
                saved = ParseConsolePlacement(*text);
            }
        }
        auto* window = new ConsoleWindow(*this, *entry.console, entry.rows, entry.columns, saved);
        QMdiSubWindow* sub = area.addSubWindow(window);
        sub->setAttribute(Qt::WA_DeleteOnClose, false);
        QObject::connect(sub, &QMdiSubWindow::windowStateChanged, &area, [this, &area] {
            if (context_.consolesMaximizedChanged) {
                const QList<QMdiSubWindow*> subs = area.subWindowList();
                context_.consolesMaximizedChanged(std::any_of(
                    subs.begin(), subs.end(), [](auto* sub) { return sub->isMaximized(); }));
            }
        });
        window->Place(*sub);
        if (window->CreateMinimised()) {
            // The area lines minimised windows up along its bottom edge
            // itself, so a saved minimised position is kept, not applied.
            sub->showMinimized();
        } else {
            sub->show();
        }
        entry.console->Attach(*window);
        created.push_back(window);
        minimised.push_back(window->CreateMinimised());
    }

    const ActivationPlan plan = PlanActivation(minimised, consolesMaximized);
    for (int index : plan.order) {
        area.setActiveSubWindow(created[static_cast<std::size_t>(index)]->SubWindow());
    }
    consolesMaximized = plan.consolesMaximized;
    if (plan.focus) {
        ConsoleWindow* focus = created[static_cast<std::size_t>(*plan.focus)];
        if (plan.maximise) {
            focus->SubWindow()->showMaximized();
        }
        focus->setFocus();
    }
}

void ConsoleWindowList::RebuildAllConsoleFonts() {
    for (ConsoleWindow* window : windows_) {
        window->RebuildAndRepaint();
    }
}

bool ConsoleWindowList::IsConsoleReady(const QMdiSubWindow* subWindow) const {
    const ConsoleWindow* window = WindowOf(subWindow);
    return window != nullptr && window->State() == kShown;
}

void ConsoleWindowList::BlinkTicked(const BlinkStep& step) {
    if (!step.advanced) {
        return;
    }
    for (ConsoleWindow* window : windows_) {
        window->BlinkTicked(step.fromPhase, step.toPhase);
    }
}

void ConsoleWindowList::PaletteChanged() {
    for (ConsoleWindow* window : windows_) {
        window->RepaintAll();
    }
}

void ConsoleWindowList::SaveConsolePlacements(SettingsStore& store, bool hide) {
    for (ConsoleWindow* window : windows_) {
        store.Write(window->Console().Name(), FormatConsolePlacement(window->Placement()));
        if (hide && window->SubWindow() != nullptr) {
            window->SubWindow()->hide();
        }
    }
}

} // namespace kestra::console
