#pragma once

// A console's menu commands: Reset and Clear History on its window menu;
// Save Console Text... and Find..., which the frame's File and Edit menus
// send to the active console.
namespace kestra::console {

inline constexpr int kResetCommand = 7900;
inline constexpr int kClearHistoryCommand = 7910;
inline constexpr int kSaveTextCommand = 7130;
inline constexpr int kFindCommand = 7250;

} // namespace kestra::console
