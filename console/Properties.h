#pragma once

#include "platform/SettingsStore.h"

#include <optional>
#include <string>
#include <string_view>

// The user's preferences and the saved window placements, with the text
// formats they are stored in. Display-free: the frame and the console
// windows turn placements into window states, the settings store reads and
// writes the texts.
namespace kestra::console {

// Window show commands as stored in the "Window" value; the numbers are the
// stored format and must not change.
enum ShowCommand : int {
    kShowHide = 0,
    kShowNormal = 1,
    kShowMinimized = 2,
    kShowMaximized = 3,
    kShowMinNoActive = 7,
    kShowDefault = 10,
};

enum BlinkMode : int { kBlinkNever = 0, kBlinkForeground = 1, kBlinkAlways = 2 };

inline constexpr std::size_t kMaxFontFace = 31;

// A face name as the settings hold it: at most kMaxFontFace bytes, cut
// before a character that would not fit whole, so a UTF-8 name never ends in
// half a character.
std::string CutFontFace(std::string_view face);

struct Properties {
    int blinkMode = kBlinkForeground;
    bool beepOnBell = true;
    bool beepOnError = true;
    bool saveOnExit = true;
    bool promptBeforeExit = true;
    bool boldFont = false;
    bool reverseVideo = false;
    bool promptOnShutdown = true;
    bool italicFont = false;
    std::string fontFace = "Lucida Console";
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const Rect&) const = default;
};

// The "Window" value: the frame's show command, whether the consoles are
// maximised, and the frame's normal rectangle.
struct FramePlacement {
    int showCommand = kShowNormal;
    bool consolesMaximized = false;
    Rect normal;
    bool operator==(const FramePlacement&) const = default;
};

// A console's value, stored under its name.
struct ConsolePlacement {
    bool minimized = false;
    Rect normal;
    int iconX = 0;
    int iconY = 0;
    bool operator==(const ConsolePlacement&) const = default;
};

// The nine settings in their stored order, as far as the text parses:
// settings after the last number read keep their values.
std::string FormatProperties(const Properties& properties);
void ParseProperties(std::string_view text, Properties& properties);

std::string FormatFramePlacement(const FramePlacement& placement);
// Only a value holding exactly its six numbers is used.
std::optional<FramePlacement> ParseFramePlacement(std::string_view text);

std::string FormatConsolePlacement(const ConsolePlacement& placement);
std::optional<ConsolePlacement> ParseConsolePlacement(std::string_view text);

// The show command the frame starts with: the saved one when the program was
// started normally, except that a frame saved minimised comes back normal;
// otherwise the one the program was started with.
int StartingShowCommand(int startShowCommand, int savedShowCommand);

using platform::SettingsStore;

// What loading gives the frame: its placement (changed only by a valid
// "Window" value) and the preferences.
void LoadProperties(SettingsStore& store, int startShowCommand, FramePlacement& frame,
                    Properties& properties);
void SaveFrameAndProperties(SettingsStore& store, const FramePlacement& frame,
                            const Properties& properties);

} // namespace kestra::console
