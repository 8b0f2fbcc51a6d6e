#pragma once

#include "console/CellGeometry.h"

#include <QFont>
#include <QRawFont>
#include <QString>
#include <array>
#include <unordered_map>
#include <vector>

// The twelve fonts of a console window, scaled to its cell, with what the
// painter needs of each: the raw font for glyph runs, the glyph index of
// every character drawn so far, the ascent and the underline stroke. Made
// when the window's size, grid or Properties change, never while painting.
namespace kestra::console {

// The face to use: the one asked for when the system has it, otherwise a
// fixed-pitch face that is always installed. The system's own substitute
// could be a proportional font, which would not fill the cells evenly.
QString ResolveFontFamily(const QString& requested);
inline constexpr const char* kFallbackFontFamily = "DejaVu Sans Mono";

struct ConsoleFont {
    QFont font;
    QRawFont raw;
    FontRequest request;
    // Horizontal scale that makes the glyph's advance the requested width,
    // where the font engine does not stretch exactly.
    qreal widthScale = 1.0;
    qreal ascent = 0;
    qreal underlinePosition = 0; // below the baseline
    qreal lineThickness = 1;
};

class ConsoleFonts {
public:
    void Rebuild(const CellGeometry& geometry, const QString& face, bool bold, bool italic);

    bool Empty() const { return fonts_.empty(); }
    const ConsoleFont& Font(int index) const;
    QString Family() const { return family_; }

    // Glyph indexes of the characters of one font, looked up once.
    void GlyphIndexes(int fontIndex, const std::vector<char16_t>& codes, QVector<quint32>& indexes);

private:
    QString family_;
    std::vector<ConsoleFont> fonts_;
    std::array<std::unordered_map<char16_t, quint32>, kFontCount> glyphCache_;
};

} // namespace kestra::console
