#include "console/window/ConsoleFonts.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <algorithm>
#include <cmath>

namespace kestra::console {

namespace {

constexpr int kReferencePixelSize = 100;

// A font's height is that of its whole line (ascent and descent), as the
// cell's is; the largest pixel size whose line still fits the height.
int PixelSizeForHeight(const QFont& base, int height) {
    QFont reference = base;
    reference.setPixelSize(kReferencePixelSize);
    const qreal lineAtReference = QFontMetricsF(reference).height();
    if (lineAtReference <= 0) {
        return std::max(1, height);
    }
    return std::max(1, static_cast<int>(height * kReferencePixelSize / lineAtReference));
}

ConsoleFont MakeFont(const QString& family, const FontRequest& request) {
    ConsoleFont made;
    made.request = request;
    QFont font(family);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setKerning(false);
    font.setWeight(request.weight >= 700 ? QFont::Bold : QFont::Normal);
    font.setItalic(request.italic);
    font.setUnderline(request.underline);
    font.setPixelSize(PixelSizeForHeight(font, request.pixelHeight));
    // Stretch so that one character's advance is the cell width.
    const qreal naturalAdvance = QFontMetricsF(font).horizontalAdvance(QLatin1Char('M'));
    if (naturalAdvance > 0) {
        const int stretch =
            static_cast<int>(std::lround(100.0 * request.pixelWidth / naturalAdvance));
        font.setStretch(std::clamp(stretch, 1, 4000));
    }
    made.font = font;
    made.raw = QRawFont::fromFont(font);
    if (made.raw.isValid()) {
        made.ascent = made.raw.ascent();
        made.underlinePosition = std::max<qreal>(1.0, made.raw.underlinePosition());
        made.lineThickness = std::max<qreal>(1.0, made.raw.lineThickness());
        // Whatever the engine made of the stretch, the painter scales the
        // rest so that the glyph fills the cell.
        const QVector<quint32> m = made.raw.glyphIndexesForString(QStringLiteral("M"));
        if (!m.isEmpty()) {
            const QVector<QPointF> advances = made.raw.advancesForGlyphIndexes(m);
            // Within a quarter pixel the glyph is left unscaled: drawing
            // through a scaling transform costs far more than the
            // difference shows.
            constexpr qreal kUnscaledTolerance = 0.25;
            const qreal advance = advances.isEmpty() ? 0 : advances.front().x();
            if (advance > 0 && std::abs(request.pixelWidth - advance) > kUnscaledTolerance) {
                made.widthScale = request.pixelWidth / advance;
            }
        }
    }
    return made;
}

} // namespace

QString ResolveFontFamily(const QString& requested) {
    QFont probe(requested);
    const QFontInfo info(probe);
    if (info.family().compare(requested, Qt::CaseInsensitive) == 0) {
        return requested;
    }
    return QString::fromLatin1(kFallbackFontFamily);
}

void ConsoleFonts::Rebuild(const CellGeometry& geometry, const QString& face, bool bold,
                           bool italic) {
    family_ = ResolveFontFamily(face);
    const std::array<FontRequest, kFontCount> requests = FontSet(geometry, bold, italic);
    fonts_.clear();
    fonts_.reserve(requests.size());
    for (const FontRequest& request : requests) {
        fonts_.push_back(MakeFont(family_, request));
    }
    for (auto& cache : glyphCache_) {
        cache.clear();
    }
}

const ConsoleFont& ConsoleFonts::Font(int index) const {
    const std::size_t at = index >= 0 && index < kFontCount ? static_cast<std::size_t>(index) : 0;
    return fonts_.at(at);
}

void ConsoleFonts::GlyphIndexes(int fontIndex, const std::vector<char16_t>& codes,
                                QVector<quint32>& indexes) {
    const std::size_t at =
        fontIndex >= 0 && fontIndex < kFontCount ? static_cast<std::size_t>(fontIndex) : 0;
    auto& cache = glyphCache_[at];
    const QRawFont& raw = fonts_.at(at).raw;
    indexes.resize(static_cast<qsizetype>(codes.size()));
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const auto found = cache.find(codes[i]);
        if (found != cache.end()) {
            indexes[static_cast<qsizetype>(i)] = found->second;
            continue;
        }
        const QChar ch(codes[i]);
        quint32 glyph = 0;
        int count = 1;
        raw.glyphIndexesForChars(&ch, 1, &glyph, &count);
        cache.emplace(codes[i], glyph);
        indexes[static_cast<qsizetype>(i)] = glyph;
    }
}

} // namespace kestra::console
