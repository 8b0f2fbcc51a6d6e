// The saved settings: the frame's placement, the font and the Properties
// value, read back as far as they parse.

#include "console/Properties.h"

#include <gtest/gtest.h>
#include <map>

namespace kestra::console {
namespace {

struct MapStore : platform::SettingsStore {
    std::map<std::string, std::string, std::less<>> values;
    std::optional<std::string> Read(std::string_view name) override {
        const auto found = values.find(name);
        return found == values.end() ? std::nullopt : std::optional(found->second);
    }
    void Write(std::string_view name, std::string_view value) override {
        values[std::string(name)] = value;
    }
    bool Commit() override { return true; }
};

// What loading makes of the stored values: "frame | font | properties".
std::string Load(MapStore& store, int startShowCommand = kShowNormal) {
    FramePlacement frame{kShowNormal, false, Rect{1, 2, 3, 4}};
    Properties properties;
    LoadProperties(store, startShowCommand, frame, properties);
    return FormatFramePlacement(frame) + " | " + properties.fontFace + " | " +
           FormatProperties(properties);
}

TEST(Properties, LoadingTakesAsMuchOfEachValueAsParsesAndTheFrameAsSaved) {
    MapStore empty;
    EXPECT_EQ(Load(empty), "1 0 1 2 3 4 | Lucida Console | 1 1 1 1 1 0 0 1 0") << "defaults";
    const std::pair<std::string, std::string> values[] = {
        {"0 0", "0 0 1 1 1 0 0 1 0"},
        {"2 0 0 0 0 1 1 0 1 1 1", "2 0 0 0 0 1 1 0 1"},
        {"0 1 x 0", "0 1 1 1 1 0 0 1 0"},
        {"0\t0x 0", "0 0 1 1 1 0 0 1 0"}};
    for (const auto& [stored, expected] : values) {
        MapStore store;
        store.values["Properties"] = stored;
        EXPECT_EQ(Load(store), "1 0 1 2 3 4 | Lucida Console | " + expected) << stored;
    }
    const int frames[][3] = {// started, saved: shown
                             {kShowNormal, kShowMaximized, kShowMaximized},
                             {kShowNormal, kShowMinimized, kShowNormal},
                             {kShowDefault, kShowMinNoActive, kShowNormal},
                             {kShowMinimized, kShowMaximized, kShowMinimized},
                             {kShowMaximized, kShowNormal, kShowMaximized}};
    for (const auto& c : frames) {
        MapStore store;
        store.values["Window"] = std::to_string(c[1]) + " 1 10 20 650 420";
        EXPECT_EQ(Load(store, c[0]).substr(0, 18), std::to_string(c[2]) + " 1 10 20 650 420 ")
            << c[0] << " " << c[1];
    }
    for (const char* broken : {"1 0 10 20 650", "1 0 10 x 650 420", "1 0 10 20 650 420 9"}) {
        MapStore store;
        store.values["Window"] = broken;
        EXPECT_EQ(Load(store).substr(0, 12), "1 0 1 2 3 4 ") << "only whole: " << broken;
    }
    EXPECT_EQ(ParseFramePlacement("3 1 -4 -4 1284 -1000"),
              (FramePlacement{kShowMaximized, true, Rect{-4, -4, 1284, -1000}}));
}

TEST(Properties, ConsolePlacementsAreWholeAndOnlyOneMeansMinimised) {
    const ConsolePlacement minimized{true, Rect{5, 6, 700, 500}, 0, 380};
    EXPECT_EQ(FormatConsolePlacement(minimized), "1 5 6 700 500 0 380");
    EXPECT_EQ(ParseConsolePlacement("1 5 6 700 500 0 380"), minimized);
    EXPECT_FALSE(ParseConsolePlacement("2 5 6 700 500 0 380")->minimized);
    EXPECT_FALSE(ParseConsolePlacement("0 1 2 3 4 5 6 7"));
}

// The face is a 31-byte field: longer names are cut, never inside a UTF-8
// character, on loading and on saving alike.
TEST(Properties, SavingWritesWhatLoadingReadsWithTheFontNameCutTo31Bytes) {
    const std::string e = "\xc3\xa9", cjk = "\xe4\xb8\xad"; // two and three bytes
    const std::pair<std::string, std::string> faces[] = {
        {std::string(40, 'F'), std::string(31, 'F')},
        {std::string(29, 'a') + e, std::string(29, 'a') + e},
        {std::string(30, 'a') + e, std::string(30, 'a')},
        {std::string(29, 'a') + cjk, std::string(29, 'a')},
        {"DejaVu Sans Mono", "DejaVu Sans Mono"}};
    for (const auto& [face, expected] : faces) {
        MapStore store;
        Properties saved;
        saved.blinkMode = kBlinkAlways;
        saved.reverseVideo = true;
        saved.fontFace = face;
        SaveFrameAndProperties(store, {kShowMaximized, true, Rect{1, 2, 300, 400}}, saved);
        EXPECT_EQ(store.values, (std::map<std::string, std::string, std::less<>>{
                                    {"Font", expected},
                                    {"Properties", "2 1 1 1 1 0 1 1 0"},
                                    {"Window", "3 1 1 2 300 400"}}));
        EXPECT_EQ(Load(store, kShowDefault),
                  "3 1 1 2 300 400 | " + expected + " | 2 1 1 1 1 0 1 1 0");
        store.values["Font"] = face;
        EXPECT_EQ(Load(store, kShowDefault),
                  "3 1 1 2 300 400 | " + expected + " | 2 1 1 1 1 0 1 1 0");
    }
}

} // namespace
} // namespace kestra::console
