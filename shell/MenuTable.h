#pragma once

#include "console/window/ConsoleCommands.h"

#include <array>
#include <string_view>

// The frame's menu bar: pop-ups by position and their items in order, with
// each item's command id (also the QAction's object name), text and whether
// it starts enabled. Save Console Text and Find go to the active console
// window.
namespace kestra::shell {

enum Command : int {
    kCommandExit = 7110,
    kCommandRestart = 7120,
    kCommandSaveConsoleText = console::kSaveTextCommand,
    kCommandCopy = 7210,
    kCommandPaste = 7220,
    kCommandConfiguration = 7230,
    kCommandProperties = 7240,
    kCommandFind = console::kFindCommand,
    kCommandCapture = 7310,
    kCommandConnect = 7320,
    kCommandCascade = 7410,
    kCommandTileHorizontally = 7420,
    kCommandTileVertically = 7430,
    kCommandArrangeIcons = 7440,
    kCommandAbout = 7510,
};

// The window list in the "&Window" pop-up numbers console windows from here.
inline constexpr int kFirstWindowListCommand = 10000;
inline constexpr int kSeparator = 0;

enum Popup : int { kFilePopup, kEditPopup, kConsolesPopup, kWindowPopup, kHelpPopup, kPopupCount };

inline constexpr std::array<std::string_view, kPopupCount> kPopupTexts = {
    "&File", "&Edit", "&Consoles", "&Window", "&Help"};

struct MenuItem {
    Popup popup;
    int command; // kSeparator for a separator
    std::string_view text;
    bool enabled;
};

// clang-format off
inline constexpr std::array<MenuItem, 16> kMenuItems = {{
    // popup           command                    text                            enabled
    { kFilePopup,     kCommandSaveConsoleText,   "Save Console &Text...",        true  },
    { kFilePopup,     kCommandRestart,           "&Restart",                     true  },
    { kFilePopup,     kCommandExit,              "E&xit...",                     true  },
    { kEditPopup,     kCommandCopy,              "&Copy",                        false },
    { kEditPopup,     kCommandPaste,             "&Paste",                       false },
    { kEditPopup,     kCommandFind,              "&Find...\tCtrl+Shift+F",       true  },
    { kEditPopup,     kSeparator,                "",                             false },
    { kEditPopup,     kCommandConfiguration,     "Con&figuration",               false },
    { kEditPopup,     kCommandProperties,        "Pr&operties...",               true  },
    { kConsolesPopup, kCommandCapture,           "C&apture...",                  true  },
    { kConsolesPopup, kCommandConnect,           "C&onnect...",                  true  },
    { kWindowPopup,   kCommandCascade,           "&Cascade Consoles",            true  },
    { kWindowPopup,   kCommandTileHorizontally,  "Tile Consoles &Horizontally",  true  },
    { kWindowPopup,   kCommandTileVertically,    "Tile Consoles &Vertically",    true  },
    { kWindowPopup,   kCommandArrangeIcons,      "&Arrange Console Icons",       true  },
    { kHelpPopup,     kCommandAbout,             "&About KESTRA...",             true  },
}};
// clang-format on

} // namespace kestra::shell
