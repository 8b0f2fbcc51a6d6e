#include "console/window/StandaloneConsole.h"

#include "termdef/TerminalDefinitionFile.h"

namespace kestra::console {

StandaloneConsole::StandaloneConsole(std::string name, unsigned rows, bool wide,
                                     bool loadDefinition, std::string_view definitionFile)
    : name_(std::move(name)), wide_(wide) {
    if (loadDefinition) {
        emulator::InitEmulator(emulator_, termdef::LoadTerminalDefinition(definitionFile), rows);
    } else {
        emulator_.screen.CreateScreen(rows, emulator::kMaxColumns);
        emulator_.screen.SetColumns(80);
    }
    if (wide) {
        emulator_.screen.SetColumns(132);
    }
}

void StandaloneConsole::Type(std::int32_t code) {
    std::lock_guard held(lock_);
    emulator::TypeChar(emulator_, code);
}

Delivery StandaloneConsole::Paste(std::uint8_t byte) {
    if (emulator_.output == nullptr) {
        return Delivery::NoConnection;
    }
    emulator_.output->SendByte(byte);
    return Delivery::Queued;
}

CursorPosition StandaloneConsole::Cursor() const {
    const emulator::ScreenBuffer& screen = emulator_.screen;
    CursorPosition cursor;
    cursor.row = static_cast<int>(screen.shownRow);
    cursor.column = static_cast<int>(screen.shownCol);
    cursor.visible = screen.cursorVisible != 0;
    cursor.doubleWidth = screen.shownRow < screen.lineAttrs.size() &&
                         screen.lineAttrs[screen.shownRow] != emulator::kLineSingleWidth;
    return cursor;
}

} // namespace kestra::console
