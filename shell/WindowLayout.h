#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The placement rules of the shell's windows as plain arithmetic: centring a
// window, sizing a message dialog to its text, placing its buttons, the
// frame's minimum size and tiling. The Qt classes only measure and move.
namespace kestra::shell {

struct Extent {
    int width = 0;
    int height = 0;
    bool operator==(const Extent&) const = default;
};

struct Spot {
    int x = 0;
    int y = 0;
    bool operator==(const Spot&) const = default;
};

struct Box {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Box&) const = default;
};

// Where a window of the given size goes: centred on the parent's rectangle,
// moved back so that it does not pass the desktop's right or bottom edge,
// with a negative coordinate made 0.
Spot CenteredPosition(const Box& parent, Extent size, const Box& desktop);

// A message laid out in a grid of characters: wrapped where a line would
// pass maxColumns, then clamped to [min, max] in both directions.
struct TextFit {
    int columns = 0;
    int rows = 0;
    bool wrapped = false;
    std::string text; // the message with a new line at every wrap
};

// Columns count characters, not bytes: the text is UTF-8.
TextFit FitText(std::string_view text, Extent maxCharacters, Extent minCharacters);

// The buttons of a message dialog on one line, character height above the
// bottom: with one button it is centred; with more, the first goes right,
// the second left and the third in the middle. Sizes stay as they are.
std::vector<Spot> PlaceMessageButtons(Extent client, Extent character,
                                      const std::vector<Extent>& buttons);

// The marker character that the configuration report writes before the
// marked token, shown as a blank when the message fits and as an ellipsis
// when some line had to be wrapped (the columns under the line no longer
// line up then).
std::string ShowLineMarkers(std::string_view message, char marker, bool wrapped);

// A console window's frame around its client area: twice the sizing frame
// plus 4 across, and the caption on top of that downwards.
Extent ConsoleBorder(int sizingFrameWidth, int sizingFrameHeight, int captionHeight);
// The smallest frame: room for two console borders and a small grid, plus the
// frame's own decorations (window size minus client size).
Extent MinimumFrameSize(Extent consoleBorder, Extent frameDecorations);

// Tiling: "horizontally" stacks the windows one above the other, each the
// area's full width; "vertically" puts them side by side, each its full
// height. The last window takes what integer division leaves.
std::vector<Box> TileBoxes(int count, Extent area, bool horizontally);

// Minimised windows lined up from the bottom-left corner, row after row
// upwards.
std::vector<Spot> IconSpots(int count, Extent area, Extent icon);

} // namespace kestra::shell
