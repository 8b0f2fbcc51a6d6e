#pragma once

#include "console/window/PasteRunner.h"

#include <cstdint>

// The Edit menu's Copy and Paste for the console windows, through the
// system clipboard's Unicode text.
namespace kestra::console {

class ConsoleWindow;
class ConsoleWindowList;

// Puts the selected text on the clipboard, then cancels the selection
// (which grays Copy). Without an active selection it only cancels.
void CopySelection(ConsoleWindowList& windows);

struct PasteDelays {
    std::uint16_t intercharDelay = 10;
    std::uint16_t returnDelay = 100;
};

// Starts pasting the clipboard's text into the window's console, through the
// console's own output (the connection, not the key translation). False when
// refused: no window, or a paste still runs.
bool PasteIntoConsole(PasteRunner& paste, ConsoleWindow* window, PasteDelays delays);

} // namespace kestra::console
