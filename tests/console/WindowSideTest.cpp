// A console's window side without a display: paint, selection, blink, settings.

#include "console/BlinkPalette.h"
#include "console/PaintPlan.h"
#include "console/Properties.h"
#include "console/Selection.h"

#include <gtest/gtest.h>
#include <map>

namespace kestra::console {
namespace {

const CellGeometry g = ComputeCellGeometry(644, 388, 80, 24); // 8x16 cells, 2-pixel margins

struct Screen {
    explicit Screen(unsigned rows = 24) { buffer.CreateScreen(rows, 132), buffer.SetColumns(80); }
    Screen& Put(int row, std::u16string_view text, int column = 0, std::uint8_t attribute = 0) {
        for (char16_t ch : text) {
            const auto at = buffer.CellIndex(std::uint32_t(row), std::uint32_t(column++));
            buffer.chars[at] = ch;
            buffer.attrs[at] = attribute;
        }
        return *this;
    }
    Screen& Line(int row, int attribute) {
        buffer.lineAttrs[std::size_t(row)] = std::uint8_t(attribute);
        return *this;
    }
    PaintPlan Plan(CellRange cells, const std::optional<SelectionBand>& selection = {}) const {
        return PlanPaint(g, buffer, CellRangeRect(g, cells), false, selection);
    }
    emulator::ScreenBuffer buffer;
};

// "column+positions attribute kind text" per item, each checked to sit on the grid.
std::vector<std::string> Items(const PaintPlan& plan) {
    std::vector<std::string> items;
    for (const RowPlan& row : plan.rows) {
        for (const PaintItem& item : row.items) {
            const int left = g.marginLeft + g.cellWidth * item.firstColumn;
            std::string text;
            for (const Glyph& glyph : item.glyphs) {
                text += glyph.code < 128 ? char(glyph.code) : glyph.code == 0x2500 ? '-' : '?';
                EXPECT_TRUE(item.kind != GlyphKind::Text ||
                            glyph.x == left + row.advance * int(text.size() - 1));
            }
            text += std::string(item.shapes.size(), '-');
            items.push_back(std::to_string(item.firstColumn) + "+" +
                            std::to_string(item.positions) + " " +
                            std::to_string(item.effectiveAttribute) + " " +
                            std::to_string(int(item.kind)) + " " + text.substr(0, 4));
            EXPECT_EQ(item.rect, (Rect{left, row.band.top, left + row.advance * item.positions,
                                       row.band.bottom}));
        }
    }
    return items;
}

using Texts = std::vector<std::string>;

TEST(PaintPlan, RunsSplitWhereTheLookChangesAndBlinkingCellsRepaintWhenTheyChange) {
    const CellGeometry wide = ComputeCellGeometry(647, 391, 132, 24); // odd leftovers round down
    const FontRequest high = FontFor(2, g, false, false), picture = FontFor(10, g, true, false);
    EXPECT_EQ((std::array{wide.cellWidth, wide.cellHeight, wide.marginLeft, wide.marginTop,
                          high.pixelHeight, high.pixelWidth, picture.pixelHeight, picture.weight}),
              (std::array{4, 16, 59, 3, 32, 16, 19, 700}));
    EXPECT_EQ(GridPointAt(g, 6, 10), (GridPoint{1, 1})) << "the nearest corner";
    EXPECT_EQ(ColoursFor(EffectiveAttribute(0xF2, false, false)), (CellColours{0, 1}));
    EXPECT_EQ(ColoursFor(EffectiveAttribute(0x0, true, true)), (CellColours{2, 0}));
    Screen s;
    s.Put(0, u"ab").Put(0, u"cd", 2, 8).Put(0, u"e\uFFF8f", 4).Put(3, u"A B C").Line(3, 1);
    EXPECT_EQ(Items(s.Plan({0, 0, 0, 79})),
              (Texts{"0+2 0 0 ab", "2+2 8 0 cd", "4+1 0 0 e", "5+1 0 2 -", "6+74 0 0 f   "}));
    EXPECT_EQ(Items(s.Plan({3, 0, 3, 79})), Texts{"0+40 0 0 ABC "});
    EXPECT_EQ(s.Plan({3, 0, 3, 79}).rows.at(0).scaleX, 2);
    EXPECT_EQ(Items(s.Plan({3, 3, 3, 3})), Texts{"2+1 0 0 B"}) << "an odd column takes its pair";
    // A double-height pair: one glyph box through two bands; a scan line's height.
    s.Put(6, u"H \uFFF6", 0, 4).Put(7, u"H \uFFF9", 0, 4).Line(6, 2).Line(7, 3);
    EXPECT_EQ(Items(s.Plan({6, 0, 7, 2})),
              (Texts{"0+1 4 0 H", "2+1 4 2 -", "0+1 4 0 H", "2+1 4 2 -"}));
    EXPECT_EQ(s.Plan({7, 0, 7, 2}).rows.at(0).items.at(1).shapes.at(0).rect,
              (Rect{18, 119, 34, 121}));
    EXPECT_EQ(PlanCursor(g, s.buffer, {6, 5, true}, true, false, {}),
              (CursorPlan{{34, 111, 50, 114}, 3, 0, 16}));
    EXPECT_FALSE(PlanCursor(g, s.buffer, {0, 0, false, true}, false, false, {})) << "no focus";
    s.Put(1, u"0123456789").Put(2, u"0 1 2 3 4 ").Line(2, 1);
    EXPECT_EQ(Items(s.Plan({1, 0, 2, 79}, SelectionBand{1, 3, 3, 5})),
              (Texts{"0+3 0 0 012", "3+2 16 0 34", "5+75 0 0 5678", "0+1 0 0 0", "2+2 16 0 12",
                     "6+37 0 0 34  "}));
    s.Put(0, u"abc", 3, 1).Put(0, u"d", 6, 8).Put(0, u"e", 7, 9).Put(5, u"x y ", 0, 1).Line(5, 1);
    const std::vector<Rect> hidden = {{26, 2, 50, 18}, {58, 2, 66, 18}, {2, 82, 34, 98}};
    EXPECT_EQ(BlinkRepaintRects(g, s.buffer, false, {}, 3, 4, false), hidden);
    EXPECT_EQ(BlinkRepaintRects(g, s.buffer, false, {}, 7, 0, false), hidden);
    for (int phase : {0, 1, 2, 4, 5, 6}) {
        EXPECT_TRUE(BlinkRepaintRects(g, s.buffer, false, {}, phase, phase + 1, false).empty());
    }
    const std::vector<Rect> italic = {{2, 2, 646, 18}, {2, 2, 646, 18}, {2, 82, 646, 98}};
    EXPECT_EQ(BlinkRepaintRects(g, s.buffer, false, {}, 3, 4, true), italic);
    s.buffer.SetColumns(40); // the resize notice has not reached the window yet
    EXPECT_EQ(s.Plan({0, 0, 0, 79}).rows.at(0).items.back().rect.right, 2 + 40 * 8);
}

// Line drawing comes from the glyph box: strokes centred and doubled with the
// row, every arm reaching its edge so that neighbours join; the shade fills
// the box with a checker, the diamond a square (doubled) in its middle.
TEST(PaintPlan, LineDrawingIsDrawnFromTheBoxSoThatNeighboursJoin) {
    const Rect box{10, 20, 18, 36}, twice{10, 20, 26, 52};
    const std::tuple<char16_t, Rect, int, std::vector<Rect>> rows[] = {
        // clang-format off
        {u'\u2500', box, 1, {{10, 27, 18, 28}}},                   {u'\u2502', box, 1, {{13, 20, 14, 36}}},
        {u'\u250C', box, 1, {{13, 27, 18, 28}, {13, 27, 14, 36}}}, {u'\u2518', box, 1, {{10, 27, 14, 28}, {13, 20, 14, 28}}},
        {u'\u253C', twice, 2, {{10, 35, 26, 37}, {17, 20, 19, 52}}}, {u'\uFFF6', box, 1, {{10, 21, 18, 22}}},
        {u'\uFFFA', twice, 2, {{10, 48, 26, 50}}},                 {u'\uFFFA', {0, 0, 8, 4}, 2, {{0, 2, 8, 4}}}, // kept inside
        {u'x', box, 1, {}},
        // clang-format on
    };
    for (const auto& [code, inside, scale, expected] : rows) {
        std::vector<Rect> strokes;
        for (const Shape& shape : ShapesOf(code, inside, 1, scale, scale)) {
            strokes.push_back(shape.rect);
        }
        EXPECT_EQ(strokes, expected) << int(code);
    }
    EXPECT_EQ(ShapesOf(u'\u2592', box, 1, 1, 1), (std::vector{Shape{box, ShapeFill::Checker}}));
    EXPECT_EQ(ShapesOf(u'\u25C6', twice, 1, 2, 2),
              (std::vector{Shape{{10, 28, 26, 44}, ShapeFill::Diamond}}));
    EXPECT_EQ((std::array{LineStroke(16), LineStroke(28)}), (std::array{1, 2}));
}

// Twelve entries, one per pair of levels: the foreground for four phases, then
// the background; the cursor flips each phase. The mode, activity and display decide.
TEST(BlinkPalette, BlinkingShowsEachLevelForFourPhasesWhenModeActivityAndDisplayAllow) {
    const auto Grey = [](int v) { return Rgb{std::uint8_t(v), std::uint8_t(v), std::uint8_t(v)}; };
    const std::string foreground = "000111222333", background = "123023013012";
    for (int phase = 0; phase < kBlinkPhases; ++phase) {
        for (std::size_t i = 0; i < 12; ++i) {
            const int level = (phase < 4 ? foreground : background)[i] - '0';
            EXPECT_EQ(AnimatedEntryColour(kFirstBlinkEntry + int(i), phase),
                      Grey(kGreyLevels[std::size_t(level)]))
                << i << " " << phase;
        }
        for (int pen : kCursorEntries) {
            EXPECT_EQ(AnimatedEntryColour(pen, phase), Grey(phase % 2 ? 0 : 255)) << phase;
            EXPECT_TRUE(EntryChangesBetween(pen, phase, phase + 1)) << phase;
        }
    }
    // palette device, mode, application active: runs
    // clang-format off
    const int cases[][4] = {{1, kBlinkModeNever, 1, 0}, {1, kBlinkModeForeground, 1, 1},
        {1, kBlinkModeForeground, 0, 0}, {1, kBlinkModeAlways, 0, 1}, {0, kBlinkModeAlways, 1, 0}};
    // clang-format on
    for (const auto& [device, mode, active, runs] : cases) {
        BlinkPalette blink;
        blink.SetPaletteDevice(device);
        blink.SetBlinkMode(mode);
        blink.SetAppActive(active);
        blink.UpdateBlinkState();
        EXPECT_EQ(blink.PaletteInUse()[4].flags, runs ? kEntryAnimated : 0) << device << mode;
        EXPECT_EQ(blink.BlinkTick().advanced, bool(runs)) << device << mode << active;
        EXPECT_EQ(blink.Phase(), runs);
        EXPECT_EQ(blink.EntryColour(11), runs ? Grey(170) : kPaletteTable[11]);
    }
}

int owners[2];
const SelectionOwner kFirst = &owners[0], kSecond = &owners[1];

TEST(Selection, DraggingRepaintsOldAndNewCopyingKeepsRowsWithoutTrailingBlanks) {
    EXPECT_EQ(SelectionRepaintRect(g, {2, 4, 3, 5}, false), (Rect{18, 18, 50, 82}));
    const std::tuple<std::vector<std::uint8_t>, SelectionRange, int, int> bands[] = {
        {{0, 2, 3, 0}, {2, 3, 0, 4}, 1, 3}, {{0, 2, 3, 0}, {0, 2, 0, 4}, 0, 3}};
    for (const auto& [lines, range, first, end] : bands) { // a half takes in its other half
        const SelectionBand band = MakeSelectionBand(range, lines);
        EXPECT_EQ(std::pair(band.firstRow, band.endRow), std::pair(first, end)) << range.startRow;
    }
    using Range = std::optional<SelectionRange>;
    // clang-format off
    const std::tuple<GridPoint, Range, Range> steps[] = {
        {{2, 7}, {}, {}}, {{4, 6}, {}, SelectionRange{2, 4, 3, 6}}, {{4, 6}, {}, {}},
        {{1, 1}, SelectionRange{2, 4, 3, 6}, SelectionRange{1, 2, 1, 3}},
        {{2, 1}, SelectionRange{1, 2, 1, 3}, {}}, {{5, 9}, {}, SelectionRange{2, 5, 3, 9}}};
    // clang-format on
    SelectionState state;
    state.ButtonDown(kFirst, {2, 3});
    for (const auto& [to, old, fresh] : steps) {
        const SelectionUpdate update = state.Move(to);
        EXPECT_EQ(std::tuple(update.repaintOld, update.repaintNew, update.copyEnabled),
                  std::tuple(old, fresh, std::nullopt))
            << to.row << "," << to.column;
    }
    const SelectionUpdate up = state.ButtonUp({5, 9});
    EXPECT_EQ(std::pair(up.releaseCapture, up.copyEnabled), std::pair(true, std::optional(true)));
    const std::vector<std::uint8_t> lines(24);
    EXPECT_TRUE(state.BandFor(kFirst, lines) && !state.BandFor(kSecond, lines));
    const SelectionUpdate cancelled = state.ButtonDown(kSecond, {5, 5});
    EXPECT_EQ(std::tuple(cancelled.window, cancelled.releaseCapture, cancelled.copyEnabled,
                         cancelled.repaintOld),
              std::tuple(kFirst, false, std::optional(false), Range(SelectionRange{2, 5, 3, 9})));
    EXPECT_TRUE(state.HeldBy(kSecond) && !state.BandFor(kFirst, lines));
    const SelectionUpdate dragging = state.Cancel();
    EXPECT_TRUE(dragging.window == kSecond && dragging.releaseCapture && !state.Dragging());
    // rows from the top, their line attributes, range: text
    const std::tuple<std::vector<std::u16string>, std::vector<int>, SelectionRange, std::u16string>
        copies[] = {
            {{u"ab      ", u"", u"a  b  "}, {}, {0, 3, 0, 8}, u"ab\r\n\r\na  b"},
            {{u"abcdef", u"  ghij"}, {}, {0, 2, 1, 4}, u"bcd\r\n gh"},
            {{u"B i g ", u"B i g ", u"end"}, {2, 3, 0}, {0, 3, 0, 6}, u"Big\r\nend"},
            {{u"B i g ", u"B i g "}, {2, 3}, {1, 2, 0, 5}, u"Big"},
            {{u"\uFFF8\uFFF6\uFFFA\uFFF0\uFFF4"}, {}, {0, 1, 0, 5}, u"\u2500\u00AF_\u2194\u00B6"},
            {{u"a", u"x"}, {}, {0, 99, 0, 200}, u"a\r\nx\r\n\r\n"}};
    for (const auto& [rows, lines, range, expected] : copies) {
        Screen s(4);
        for (std::size_t r = 0; r < rows.size(); ++r) {
            s.Put(int(r), rows[r]).Line(int(r), r < lines.size() ? lines[r] : 0);
        }
        EXPECT_EQ(CopySelectionText(s.buffer, range), expected) << range.startColumn;
    }
    EXPECT_EQ(PasteSchedule(std::u16string(u"A\n\t\x1B[\x7F\u00E9\U0001F600\r\0b", 12), 0, 65535),
              (std::vector<PasteStep>{{'A', 0}, {'[', 0}, {'\r', 65535}}));
    EXPECT_EQ(PasteSchedule(std::string_view("caf\xC3\xA9!\n"), 10, 100),
              (std::vector<PasteStep>{{'c', 10}, {'a', 10}, {'f', 10}, {'!', 10}}));
}

struct MapStore : platform::SettingsStore {
    std::optional<std::string> Read(std::string_view name) override {
        return values.contains(name) ? std::optional(values.find(name)->second) : std::nullopt;
    }
    void Write(std::string_view name, std::string_view value) override {
        values[std::string(name)] = value;
    }
    bool Commit() override { return true; }
    std::map<std::string, std::string, std::less<>> values;
};

// The stored values as loaded: "frame | font | properties".
std::string Load(MapStore store, int startShowCommand = kShowNormal) {
    FramePlacement frame{kShowNormal, false, Rect{1, 2, 3, 4}};
    Properties properties;
    LoadProperties(store, startShowCommand, frame, properties);
    return FormatFramePlacement(frame) + " | " + properties.fontFace + " | " +
           FormatProperties(properties);
}

TEST(Properties, LoadingTakesWhatParsesAndSavingWritesWhatLoadingReads) {
    // clang-format off
    const std::tuple<std::string, std::string, int, std::string> cases[] = {
        {"Properties", "0\t0x 0", kShowNormal, "1 0 1 2 3 4 | Lucida Console | 0 0 1 1 1 0 0 1 0"},
        {"Properties", "2 0 0 0 0 1 1 0 1 1 1", kShowNormal, "1 0 1 2 3 4 | Lucida Console | 2 0 0 0 0 1 1 0 1"},
        {"Window", "1 0 10 x 650 420", kShowNormal, "1 0 1 2 3 4 | Lucida Console | 1 1 1 1 1 0 0 1 0"},
        {"Window", "3 1 -4 -4 1284 -1000", kShowNormal, "3 1 -4 -4 1284 -1000 | Lucida Console | 1 1 1 1 1 0 0 1 0"},
        {"Window", "2 0 10 20 650 420", kShowNormal, "1 0 10 20 650 420 | Lucida Console | 1 1 1 1 1 0 0 1 0"},
        {"Window", "3 0 1 2 3 4", kShowMinimized, "2 0 1 2 3 4 | Lucida Console | 1 1 1 1 1 0 0 1 0"},
        {"Window", "1 0 1 2 3 4", kShowMaximized, "3 0 1 2 3 4 | Lucida Console | 1 1 1 1 1 0 0 1 0"}};
    // clang-format on
    for (const auto& [name, value, started, expected] : cases) {
        MapStore store;
        store.values[name] = value;
        EXPECT_EQ(Load(store, started), expected) << value << " started " << started;
    }
    // The face is a 31-byte field: longer names are cut, never inside a character.
    const std::string e = "\xc3\xa9", cjk = "\xe4\xb8\xad", a29(29, 'a'); // two, three bytes
    const std::pair<std::string, std::string> faces[] = {
        {std::string(40, 'F'), std::string(31, 'F')},
        {a29 + e, a29 + e},
        {a29 + "a" + e, a29 + "a"},
        {a29 + cjk, a29}};
    for (const auto& [face, expected] : faces) {
        MapStore store;
        const Properties saved{.blinkMode = kBlinkAlways, .reverseVideo = true, .fontFace = face};
        SaveFrameAndProperties(store, {kShowMaximized, true, Rect{1, 2, 300, 400}}, saved);
        EXPECT_EQ(Load(store, kShowDefault),
                  "3 1 1 2 300 400 | " + expected + " | 2 1 1 1 1 0 1 1 0");
        store.values["Font"] = face;
        EXPECT_EQ(Load(store).substr(18), expected + " | 2 1 1 1 1 0 1 1 0");
    }
    EXPECT_EQ(Load({}), "1 0 1 2 3 4 | Lucida Console | 1 1 1 1 1 0 0 1 0") << "the defaults";
}

} // namespace
} // namespace kestra::console
