#include "console/window/ConsolePainter.h"

#include <QGlyphRun>
#include <QPainter>
#include <vector>

namespace kestra::console {

namespace {

QRect ToQRect(const Rect& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// Scratch space reused from item to item, so a paint allocates little.
struct Scratch {
    std::vector<char16_t> codes;
    QVector<quint32> indexes;
    QVector<QPointF> positions;
};

void DrawGlyphs(QPainter& painter, const RowPlan& row, const PaintItem& item, ConsoleFonts& fonts,
                Scratch& scratch) {
    if (item.glyphs.empty()) {
        return;
    }
    // Bigger rows use the normal row's font of the same kind, scaled about
    // the glyph boxes' top-left corner; the planned positions stay in
    // device pixels and are divided back into the scaled space.
    const int fontIndex = item.fontIndex - row.lineAttribute;
    const ConsoleFont& font = fonts.Font(fontIndex);
    if (!font.raw.isValid()) {
        return;
    }
    const qreal scaleX = row.scaleX * font.widthScale;
    const qreal scaleY = row.scaleY;
    const int originX = item.glyphs.front().x;
    const int originY = row.textTop;

    scratch.codes.clear();
    scratch.positions.clear();
    for (const Glyph& glyph : item.glyphs) {
        scratch.codes.push_back(glyph.code);
        scratch.positions.push_back(
            QPointF((glyph.x - originX) / scaleX, (glyph.y - originY) / scaleY + font.ascent));
    }
    fonts.GlyphIndexes(fontIndex, scratch.codes, scratch.indexes);

    QGlyphRun run;
    run.setRawFont(font.raw);
    run.setGlyphIndexes(scratch.indexes);
    run.setPositions(scratch.positions);

    if (scaleX == 1.0 && scaleY == 1.0) {
        painter.drawGlyphRun(QPointF(originX, originY), run);
        return;
    }
    const QTransform saved = painter.worldTransform();
    painter.translate(originX, originY);
    painter.scale(scaleX, scaleY);
    painter.drawGlyphRun(QPointF(0, 0), run);
    painter.setWorldTransform(saved);
}

// The stroke an underlined font draws under its glyphs, over the whole item.
void DrawUnderline(QPainter& painter, const RowPlan& row, const PaintItem& item,
                   const ConsoleFonts& fonts, int underlinedFont, const QColor& colour) {
    const ConsoleFont& font = fonts.Font(underlinedFont - row.lineAttribute);
    const qreal top = row.textTop + (font.ascent + font.underlinePosition) * row.scaleY -
                      font.lineThickness * row.scaleY / 2;
    const qreal height = font.lineThickness * row.scaleY;
    painter.fillRect(
        QRectF(item.rect.left, top, item.rect.right - item.rect.left, std::max<qreal>(1, height)),
        colour);
}

void DrawShape(QPainter& painter, const Shape& shape, const QColor& colour) {
    const QRect rect = ToQRect(shape.rect);
    switch (shape.fill) {
    case ShapeFill::Solid: painter.fillRect(rect, colour); break;
    case ShapeFill::Checker:
        // The pattern is aligned to the window, so shaded cells side by side
        // show one even pattern.
        painter.fillRect(rect, QBrush(colour, Qt::Dense4Pattern));
        break;
    case ShapeFill::Diamond: {
        const QRectF r(rect);
        const QPointF corners[] = {{r.center().x(), r.top()},
                                   {r.right(), r.center().y()},
                                   {r.center().x(), r.bottom()},
                                   {r.left(), r.center().y()}};
        painter.save();
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawPolygon(corners, 4);
        painter.restore();
        break;
    }
    }
}

} // namespace

QColor ToQColor(Rgb rgb) {
    return QColor(rgb.red, rgb.green, rgb.blue);
}

EntryColours ColoursOfPhase(const BlinkPalette& blink) {
    EntryColours colours;
    for (int entry = 0; entry < kPaletteSize; ++entry) {
        colours[static_cast<std::size_t>(entry)] = ToQColor(blink.EntryColour(entry));
    }
    return colours;
}

void PaintRows(QPainter& painter, const PaintPlan& plan, ConsoleFonts& fonts,
               const EntryColours& colours) {
    if (fonts.Empty()) {
        return;
    }
    Scratch scratch;
    painter.save();
    for (const RowPlan& row : plan.rows) {
        painter.setClipRect(ToQRect(row.band));
        for (const PaintItem& item : row.items) {
            const QColor& text = colours[item.colours.text % kPaletteSize];
            painter.fillRect(ToQRect(item.rect), colours[item.colours.background % kPaletteSize]);
            painter.setPen(text);
            if (item.kind == GlyphKind::Text) {
                // Runs clip to their own rectangle: an italic glyph may not
                // paint over a neighbour drawn in another colour.
                painter.setClipRect(ToQRect(item.rect).intersected(ToQRect(row.band)));
            }
            DrawGlyphs(painter, row, item, fonts, scratch);
            for (const Shape& shape : item.shapes) {
                DrawShape(painter, shape, text);
            }
            if (item.kind == GlyphKind::Text && fonts.Font(item.fontIndex).request.underline) {
                DrawUnderline(painter, row, item, fonts, item.fontIndex, text);
            } else if (item.underlineFontIndex) {
                DrawUnderline(painter, row, item, fonts, *item.underlineFontIndex, text);
            }
            if (item.kind == GlyphKind::Text) {
                painter.setClipRect(ToQRect(row.band));
            }
        }
    }
    painter.restore();
}

void PaintCursor(QPainter& painter, const CursorPlan& cursor, const EntryColours& colours) {
    painter.fillRect(ToQRect(cursor.rect),
                     colours[static_cast<std::size_t>(cursor.penEntry) % kPaletteSize]);
}

} // namespace kestra::console
