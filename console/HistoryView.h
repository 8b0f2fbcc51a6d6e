#pragma once

#include "emulator/ScreenBuffer.h"
#include "emulator/ScreenHistory.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A console seen with its history: the view scrolled back, the whole text
// for saving, and finding a text in it. Display-free; the window paints,
// selects and copies from a scrolled view as it does from the live screen.
namespace kestra::console {

// The rows a view scrolled back by `offset` rows shows: the newest `offset`
// history lines (fewer when there are fewer), then the top of the live
// screen, in a buffer of the live screen's size and width. The cursor is
// hidden. offset 0 is the live screen itself.
void ComposeScrolledView(const emulator::ScreenBuffer& live, const emulator::ScreenHistory& history,
                         std::size_t offset, emulator::ScreenBuffer& view);

// The console's text, history lines first, then the screen's rows: one line
// per row, trailing blanks removed, a double-width row as its characters.
std::vector<std::u16string> ConsoleTextLines(const emulator::ScreenBuffer& live,
                                             const emulator::ScreenHistory& history);

struct TextMatch {
    std::size_t line = 0;   // in ConsoleTextLines
    std::size_t column = 0; // characters into the line
    std::size_t length = 0;
    bool operator==(const TextMatch&) const = default;
};

// The next match of needle after `after` (forward) or before it (backward),
// going round past either end; from the end of the text (searching
// backward) or its start (forward) when there is no earlier match. Letters
// A-Z match either case unless matchCase. None for an empty needle or no
// match anywhere.
std::optional<TextMatch> FindText(const std::vector<std::u16string>& lines,
                                  std::u16string_view needle, std::optional<TextMatch> after,
                                  bool forward, bool matchCase);

} // namespace kestra::console
