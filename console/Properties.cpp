#include "console/Properties.h"

#include <charconv>
#include <cstdio>
#include <vector>

namespace kestra::console {

namespace {

// Reads the leading decimal numbers of text, separated by blanks, stopping
// at the first thing that is not one.
std::vector<int> LeadingNumbers(std::string_view text, std::size_t most) {
    std::vector<int> numbers;
    std::size_t at = 0;
    while (numbers.size() < most) {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) {
            ++at;
        }
        int value = 0;
        const char* begin = text.data() + at;
        const char* end = text.data() + text.size();
        if (begin < end && *begin == '+') {
            ++begin;
        }
        auto [next, error] = std::from_chars(begin, end, value);
        if (error != std::errc{}) {
            break;
        }
        numbers.push_back(value);
        // A number glued to something else is the last one read.
        if (next != end && *next != ' ' && *next != '\t') {
            break;
        }
        at = static_cast<std::size_t>(next - text.data());
    }
    return numbers;
}

// A value that must hold exactly its count of numbers and nothing else.
std::optional<std::vector<int>> ExactNumbers(std::string_view text, std::size_t count) {
    std::vector<int> numbers = LeadingNumbers(text, count + 1);
    if (numbers.size() != count) {
        return std::nullopt;
    }
    return numbers;
}

std::string Joined(std::initializer_list<int> numbers) {
    std::string text;
    for (int number : numbers) {
        if (!text.empty()) {
            text += ' ';
        }
        text += std::to_string(number);
    }
    return text;
}

} // namespace

std::string CutFontFace(std::string_view face) {
    if (face.size() <= kMaxFontFace) {
        return std::string(face);
    }
    std::size_t end = kMaxFontFace;
    // Back over continuation bytes (10xxxxxx) to the start of the character
    // that the limit splits.
    while (end > 0 && (static_cast<unsigned char>(face[end]) & 0xC0) == 0x80) {
        --end;
    }
    return std::string(face.substr(0, end));
}

std::string FormatProperties(const Properties& p) {
    return Joined({p.blinkMode, p.beepOnBell, p.beepOnError, p.saveOnExit, p.promptBeforeExit,
                   p.boldFont, p.reverseVideo, p.promptOnShutdown, p.italicFont});
}

void ParseProperties(std::string_view text, Properties& p) {
    const std::vector<int> numbers = LeadingNumbers(text, 9);
    // The settings in their stored order; each number read sets the next one.
    bool* const flags[] = {&p.beepOnBell, &p.beepOnError,  &p.saveOnExit,       &p.promptBeforeExit,
                           &p.boldFont,   &p.reverseVideo, &p.promptOnShutdown, &p.italicFont};
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (i == 0) {
            p.blinkMode = numbers[0];
        } else {
            *flags[i - 1] = numbers[i] != 0;
        }
    }
}

std::string FormatFramePlacement(const FramePlacement& f) {
    return Joined({f.showCommand, f.consolesMaximized, f.normal.left, f.normal.top, f.normal.right,
                   f.normal.bottom});
}

std::optional<FramePlacement> ParseFramePlacement(std::string_view text) {
    auto numbers = ExactNumbers(text, 6);
    if (!numbers) {
        return std::nullopt;
    }
    const std::vector<int>& n = *numbers;
    return FramePlacement{n[0], n[1] != 0, Rect{n[2], n[3], n[4], n[5]}};
}

std::string FormatConsolePlacement(const ConsolePlacement& c) {
    return Joined({c.minimized, c.normal.left, c.normal.top, c.normal.right, c.normal.bottom,
                   c.iconX, c.iconY});
}

std::optional<ConsolePlacement> ParseConsolePlacement(std::string_view text) {
    auto numbers = ExactNumbers(text, 7);
    if (!numbers) {
        return std::nullopt;
    }
    const std::vector<int>& n = *numbers;
    return ConsolePlacement{n[0] == 1, Rect{n[1], n[2], n[3], n[4]}, n[5], n[6]};
}

int StartingShowCommand(int startShowCommand, int savedShowCommand) {
    if (startShowCommand != kShowNormal && startShowCommand != kShowDefault) {
        return startShowCommand;
    }
    if (savedShowCommand == kShowMinimized || savedShowCommand == kShowMinNoActive) {
        return kShowNormal;
    }
    return savedShowCommand;
}

void LoadProperties(SettingsStore& store, int startShowCommand, FramePlacement& frame,
                    Properties& properties) {
    if (auto text = store.Read("Window")) {
        if (auto saved = ParseFramePlacement(*text)) {
            frame.normal = saved->normal;
            frame.consolesMaximized = saved->consolesMaximized;
            frame.showCommand = StartingShowCommand(startShowCommand, saved->showCommand);
        }
    }
    if (auto face = store.Read("Font")) {
        // The face is a fixed-size field: a longer stored name is cut, never
        // allowed to grow it. A name of broken characters only cuts down to
        // nothing, which is no face: the default stays, as after a save.
        if (std::string cut = CutFontFace(*face); !cut.empty()) {
            properties.fontFace = std::move(cut);
        }
    }
    if (auto text = store.Read("Properties")) {
        ParseProperties(*text, properties);
    }
}

void SaveFrameAndProperties(SettingsStore& store, const FramePlacement& frame,
                            const Properties& properties) {
    store.Write("Window", FormatFramePlacement(frame));
    store.Write("Font", CutFontFace(properties.fontFace));
    store.Write("Properties", FormatProperties(properties));
}

} // namespace kestra::console
