#pragma once

#include "console/ConsoleRecord.h"
#include "console/Selection.h"
#include "console/window/ConsoleKeyboard.h"
#include "console/window/ConsoleWindowList.h"
#include "console/window/PasteRunner.h"

#include <QString>
#include <memory>

// The console windows bound to the shell: fills the shell's ConsoleSlots so
// the frame creates one window per registered console, shows the blink
// animation in them, saves their placements, rebuilds their fonts when the
// Properties change, translates the keys typed into them, and copies and
// pastes through the clipboard.
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
    console::ConsoleKeyboard& Keyboard() { return *keyboard_; }
    console::PasteRunner& Paste() { return paste_; }

    // The window showing a console record, or null.
    console::ConsoleWindow* WindowOfRecord(const console::ConsoleRecord* record) const;

private:
    void CreateConsoleWindows();
    // Windows for the consoles registered after the first `known` ones.
    void CreateWindowsAfter(std::size_t known);
    console::ConsoleRecord* RecordOf(const QMdiSubWindow* window) const;
    void Capture(QMdiSubWindow* active);
    void Connect(QMdiSubWindow* active);

    Shell& shell_;
    console::SelectionState selection_;
    QString captureFolder_; // where the last capture file was chosen
    std::unique_ptr<console::ConsoleWindowList> list_;
    std::unique_ptr<console::ConsoleKeyboard> keyboard_;
    // Destroyed first: a running paste stops before the consoles it writes
    // to can go.
    console::PasteRunner paste_;
};

} // namespace kestra::shell
