#include "console/window/ConsoleClipboard.h"

#include "console/Selection.h"
#include "console/window/ConsoleWindow.h"
#include "console/window/ConsoleWindowList.h"

#include <QClipboard>
#include <QGuiApplication>
#include <mutex>
#include <string>

namespace kestra::console {

void CopySelection(ConsoleWindowList& windows) {
    SelectionState* selection = windows.Context().selection;
    ConsoleWindow* owner = selection != nullptr ? windows.WindowOf(selection->Owner()) : nullptr;
    if (owner == nullptr) {
        return;
    }
    if (selection->Active()) {
        std::u16string text;
        text = owner->SelectedText(selection->Range());
        QGuiApplication::clipboard()->setText(QString(reinterpret_cast<const QChar*>(text.data()),
                                                      static_cast<qsizetype>(text.size())));
    }
    owner->ApplySelectionUpdate(selection->Cancel());
}

bool PasteIntoConsole(PasteRunner& paste, ConsoleWindow* window, PasteDelays delays) {
    if (window == nullptr || !paste.Idle()) {
        return false;
    }
    const QString text = QGuiApplication::clipboard()->text();
    // The paste writes as the emulator's replies do, byte by byte, without
    // the key translation; the console takes pasted bytes from any thread.
    WindowConsole& console = window->Console();
    auto write = [&console](std::uint8_t byte) { return console.Paste(byte); };
    return paste.Start(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                           static_cast<std::size_t>(text.size())),
                       std::move(write), delays.intercharDelay, delays.returnDelay);
}

} // namespace kestra::console
