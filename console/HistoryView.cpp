#include "console/HistoryView.h"

#include <algorithm>

namespace kestra::console {

namespace {

using emulator::HistoryLine;
using emulator::kLineSingleWidth;
using emulator::ScreenBuffer;
using emulator::ScreenHistory;

std::u16string RowText(const std::uint16_t* chars, std::size_t count, std::uint8_t lineAttr) {
    std::u16string text;
    const std::size_t step = lineAttr == kLineSingleWidth ? 1 : 2;
    for (std::size_t c = 0; c < count; c += step) {
        text.push_back(static_cast<char16_t>(chars[c]));
    }
    text.erase(text.find_last_not_of(u' ') + 1);
    return text;
}

char16_t Folded(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

} // namespace

void ComposeScrolledView(const ScreenBuffer& live, const ScreenHistory& history, std::size_t offset,
                         ScreenBuffer& view) {
    if (view.rows != live.rows || view.chars.size() != live.chars.size()) {
        view.CreateScreen(live.rows, emulator::kMaxColumns);
    }
    view.cols = live.cols;
    view.cursorVisible = 0;
    view.reverseScreen = live.reverseScreen;
    // The view's rows are the lines from `top` on, history lines first.
    const std::size_t top = history.Size() - std::min(offset, history.Size());
    for (std::uint32_t row = 0; row < live.rows; ++row) {
        const std::size_t at = view.CellIndex(row, 0);
        const std::size_t line = top + row;
        if (line < history.Size()) {
            const HistoryLine kept = history.Line(line);
            std::fill_n(&view.chars[at], view.cols, u' ');
            std::fill_n(&view.attrs[at], view.cols, 0);
            const std::size_t count = std::min<std::size_t>(kept.chars.size(), view.cols);
            std::copy_n(kept.chars.begin(), count, &view.chars[at]);
            std::copy_n(kept.attrs.begin(), count, &view.attrs[at]);
            view.lineAttrs[row] = kept.lineAttr;
        } else {
            const auto liveRow = static_cast<std::uint32_t>(line - history.Size());
            const std::size_t from = live.CellIndex(liveRow, 0);
            std::copy_n(&live.chars[from], view.cols, &view.chars[at]);
            std::copy_n(&live.attrs[from], view.cols, &view.attrs[at]);
            view.lineAttrs[row] = live.lineAttrs[liveRow];
        }
    }
}

std::vector<std::u16string> ConsoleTextLines(const ScreenBuffer& live,
                                             const ScreenHistory& history) {
    std::vector<std::u16string> lines;
    lines.reserve(history.Size() + live.rows);
    for (std::size_t i = 0; i < history.Size(); ++i) {
        const HistoryLine line = history.Line(i);
        lines.push_back(RowText(line.chars.data(), line.chars.size(), line.lineAttr));
    }
    for (std::uint32_t row = 0; row < live.rows; ++row) {
        lines.push_back(
            RowText(&live.chars[live.CellIndex(row, 0)], live.cols, live.lineAttrs[row]));
    }
    return lines;
}

std::optional<TextMatch> FindText(const std::vector<std::u16string>& lines,
                                  std::u16string_view needle, std::optional<TextMatch> after,
                                  bool forward, bool matchCase) {
    if (needle.empty()) {
        return std::nullopt;
    }
    const auto equal = [matchCase](char16_t a, char16_t b) {
        return matchCase ? a == b : Folded(a) == Folded(b);
    };
    std::vector<TextMatch> matches;
    for (std::size_t line = 0; line < lines.size(); ++line) {
        const std::u16string& text = lines[line];
        for (std::size_t c = 0; c + needle.size() <= text.size(); ++c) {
            if (std::equal(needle.begin(), needle.end(), text.begin() + c, equal)) {
                matches.push_back({line, c, needle.size()});
            }
        }
    }
    if (matches.empty()) {
        return std::nullopt;
    }
    if (!after) {
        return forward ? matches.front() : matches.back();
    }
    const auto before = [](const TextMatch& a, const TextMatch& b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    };
    if (forward) {
        const auto next = std::upper_bound(matches.begin(), matches.end(), *after, before);
        return next != matches.end() ? *next : matches.front();
    }
    const auto next = std::lower_bound(matches.begin(), matches.end(), *after, before);
    return next != matches.begin() ? *std::prev(next) : matches.back();
}

} // namespace kestra::console
