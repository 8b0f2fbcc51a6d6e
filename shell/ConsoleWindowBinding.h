#pragma once

#include "console/Selection.h"
#include "console/window/ConsoleWindowList.h"

#include <memory>

// The console windows bound to the shell: fills the shell's ConsoleSlots so
// the frame creates one window per registered console, shows the blink
// animation in them, saves their placements and rebuilds their fonts when the
// Properties change.
namespace kestra::shell {

class Shell;

class ConsoleWindowBinding {
public:
    // Fills shell.ConsoleSlots(). The binding must outlive the shell: the
    // frame's windows reach back into the list while they are destroyed, and
    // the slots call into it until the shell is gone.
    explicit ConsoleWindowBinding(Shell& shell);
    ~ConsoleWindowBinding();
    ConsoleWindowBinding(const ConsoleWindowBinding&) = delete;
    ConsoleWindowBinding& operator=(const ConsoleWindowBinding&) = delete;

    console::ConsoleWindowList& List() { return *list_; }

private:
    void CreateConsoleWindows();

    Shell& shell_;
    console::SelectionState selection_;
    std::unique_ptr<console::ConsoleWindowList> list_;
};

} // namespace kestra::shell
