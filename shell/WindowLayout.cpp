#include "shell/WindowLayout.h"

#include <algorithm>

namespace kestra::shell {

Spot CenteredPosition(const Box& parent, Extent size, const Box& desktop) {
    Spot spot{parent.x + (parent.width - size.width) / 2,
              parent.y + (parent.height - size.height) / 2};
    spot.x = std::min(spot.x, desktop.x + desktop.width - size.width);
    spot.y = std::min(spot.y, desktop.y + desktop.height - size.height);
    spot.x = std::max(spot.x, 0);
    spot.y = std::max(spot.y, 0);
    return spot;
}

TextFit FitText(std::string_view text, Extent maxCharacters, Extent minCharacters) {
    TextFit fit;
    const int maxColumns = std::max(maxCharacters.width, 1);
    int rows = 1;
    int column = 0;
    int longest = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\n') {
            fit.text += '\n';
            ++rows;
            column = 0;
            continue;
        }
        const bool continuation = (byte & 0xC0) == 0x80;
        if (!continuation) {
            if (column == maxColumns) {
                fit.wrapped = true;
                fit.text += '\n';
                ++rows;
                column = 0;
            }
            ++column;
            longest = std::max(longest, column);
        }
        fit.text += text[i];
    }
    fit.columns = std::max(std::min(longest, maxColumns), minCharacters.width);
    fit.rows = std::max(std::min(rows, maxCharacters.height), minCharacters.height);
    return fit;
}

std::vector<Spot> PlaceMessageButtons(Extent client, Extent character,
                                      const std::vector<Extent>& buttons) {
    std::vector<Spot> spots;
    if (buttons.empty()) {
        return spots;
    }
    const int top = client.height - character.height - buttons[0].height;
    const auto centred = [&](Extent button) { return (client.width - button.width) / 2; };
    if (buttons.size() == 1) {
        spots.push_back({centred(buttons[0]), top});
        return spots;
    }
    spots.push_back({client.width - 2 * character.width - buttons[0].width, top});
    spots.push_back({2 * character.width, top});
    if (buttons.size() >= 3) {
        spots.push_back({centred(buttons[2]), top});
    }
    return spots;
}

std::string ShowLineMarkers(std::string_view message, char marker, bool wrapped) {
    static constexpr std::string_view kEllipsis = "\xE2\x80\xA6"; // U+2026 in UTF-8
    std::string shown;
    shown.reserve(message.size());
    for (const char character : message) {
        if (character != marker) {
            shown += character;
        } else if (wrapped) {
            shown += kEllipsis;
        } else {
            shown += ' ';
        }
    }
    return shown;
}

Extent ConsoleBorder(int sizingFrameWidth, int sizingFrameHeight, int captionHeight) {
    return {2 * sizingFrameWidth + 4, 2 * sizingFrameHeight + 4 + captionHeight};
}

Extent MinimumFrameSize(Extent consoleBorder, Extent frameDecorations) {
    return {2 * consoleBorder.width + 328 + frameDecorations.width,
            2 * consoleBorder.height + 104 + frameDecorations.height};
}

std::vector<Box> TileBoxes(int count, Extent area, bool horizontally) {
    std::vector<Box> boxes;
    if (count <= 0) {
        return boxes;
    }
    const int along = horizontally ? area.height : area.width;
    const int step = along / count;
    for (int i = 0; i < count; ++i) {
        const int start = i * step;
        const int length = i + 1 == count ? along - start : step;
        boxes.push_back(horizontally ? Box{0, start, area.width, length}
                                     : Box{start, 0, length, area.height});
    }
    return boxes;
}

std::vector<Spot> IconSpots(int count, Extent area, Extent icon) {
    std::vector<Spot> spots;
    const int perRow = std::max(1, icon.width > 0 ? area.width / icon.width : 1);
    for (int i = 0; i < count; ++i) {
        spots.push_back({(i % perRow) * icon.width, area.height - (i / perRow + 1) * icon.height});
    }
    return spots;
}

} // namespace kestra::shell
