#pragma once

#include "console/BlinkPalette.h"
#include "console/PaintPlan.h"
#include "console/window/ConsoleFonts.h"

#include <QColor>
#include <array>

class QPainter;

// Draws what PlanPaint and PlanCursor decided: each run as one glyph run with
// every glyph at its planned position, so the grid stays exact whatever the
// font's own advances. Double-width and double-height rows are drawn with the
// normal row's font in a scaled painter, clipped to the row's band.
namespace kestra::console {

// The colour of every palette entry for one paint (the blink phase of now).
using EntryColours = std::array<QColor, kPaletteSize>;
EntryColours ColoursOfPhase(const BlinkPalette& blink);
QColor ToQColor(Rgb rgb);

void PaintRows(QPainter& painter, const PaintPlan& plan, ConsoleFonts& fonts,
               const EntryColours& colours);
void PaintCursor(QPainter& painter, const CursorPlan& cursor, const EntryColours& colours);

} // namespace kestra::console
