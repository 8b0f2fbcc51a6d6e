#pragma once

#include "emulator/ScreenBuffer.h"

#include <string>
#include <vector>

namespace kestra::emulator {

// Records every hook call as text, found through the buffer's owner as the
// console finds itself, so a test can compare the whole sequence.
struct HookLog {
    std::vector<std::string> calls;
};

inline void Record(ScreenBuffer& screen, const std::string& call) {
    static_cast<HookLog*>(screen.owner)->calls.push_back(call);
}

inline void AttachRecorder(ScreenBuffer& screen, HookLog& log) {
    ScreenHooks& hooks = screen.hooks;
    hooks.RefreshAll = [](ScreenBuffer& s) { Record(s, "refresh"); };
    hooks.CursorMoved = [](ScreenBuffer& s) {
        Record(s, "cursor " + std::to_string(s.shownRow) + "," + std::to_string(s.shownCol));
    };
    hooks.CursorVisibility = [](ScreenBuffer& s, int shown) {
        Record(s, "visible " + std::to_string(shown));
    };
    hooks.CellsChanged = [](ScreenBuffer& s, unsigned count) {
        Record(s, "cells " + std::to_string(s.row) + "," + std::to_string(s.col) + " " +
                      std::to_string(count));
    };
    hooks.ScrolledUp = [](ScreenBuffer& s) { Record(s, "scrolled up"); };
    hooks.ScrolledDown = [](ScreenBuffer& s) { Record(s, "scrolled down"); };
    hooks.FlushChanges = [](ScreenBuffer& s) { Record(s, "flush"); };
    hooks.LineChanged = [](ScreenBuffer& s) { Record(s, "line " + std::to_string(s.row)); };
    hooks.ScreenResized = [](ScreenBuffer& s) {
        Record(s, "resized " + std::to_string(s.rows) + "x" + std::to_string(s.cols));
    };
    screen.owner = &log;
    screen.attached = 1;
}

} // namespace kestra::emulator
