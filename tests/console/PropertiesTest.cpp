// The saved settings: the frame's placement, the font and the Properties
// value, each read back as far as it parses.

#include "console/Properties.h"

#include <gtest/gtest.h>
#include <map>

namespace kestra::console {
namespace {

using Values = std::map<std::string, std::string, std::less<>>;

struct MapStore : platform::SettingsStore {
    std::optional<std::string> Read(std::string_view name) override {
        const auto found = values.find(name);
        return found == values.end() ? std::nullopt : std::optional(found->second);
    }
    void Write(std::string_view name, std::string_view value) override {
        values[std::string(name)] = value;
    }
    bool Commit() override { return true; }
    Values values;
};

// "frame | font | properties" after loading the values.
std::string Load(Values values, int startShowCommand = kShowNormal) {
    MapStore store;
    store.values = std::move(values);
    FramePlacement frame{kShowNormal, false, Rect{1, 2, 3, 4}};
    Properties properties;
    LoadProperties(store, startShowCommand, frame, properties);
    return FormatFramePlacement(frame) + " | " + properties.fontFace + " | " +
           FormatProperties(properties);
}

TEST(Properties, LoadingTakesAsMuchOfEachValueAsParsesAndTheFrameAsSaved) {
    const std::string plain = "1 0 1 2 3 4 | Lucida Console | ";
    const std::pair<Values, std::string> cases[] = {
        {{}, plain + "1 1 1 1 1 0 0 1 0"},
        {{{"Properties", "0 0"}}, plain + "0 0 1 1 1 0 0 1 0"},
        {{{"Properties", "2 0 0 0 0 1 1 0 1 1 1"}}, plain + "2 0 0 0 0 1 1 0 1"},
        {{{"Properties", "0 1 x 0"}}, plain + "0 1 1 1 1 0 0 1 0"},
        {{{"Properties", "0\t0x 0"}}, plain + "0 0 1 1 1 0 0 1 0"},
        {{{"Window", "1 0 10 x 650 420"}}, plain + "1 1 1 1 1 0 0 1 0"},
        {{{"Window", "1 0 10 20 650 420 9"}}, plain + "1 1 1 1 1 0 0 1 0"},
        {{{"Window", "3 1 -4 -4 1284 -1000"}},
         "3 1 -4 -4 1284 -1000 | Lucida Console | 1 1 1 1 1 0 0 1 0"}};
    for (const auto& [values, expected] : cases) {
        EXPECT_EQ(Load(values), expected) << (values.empty() ? "" : values.begin()->second);
    }
    const int frames[][3] = {{kShowNormal, kShowMaximized, kShowMaximized}, // started, saved: shown
                             {kShowNormal, kShowMinimized, kShowNormal},
                             {kShowDefault, kShowMinNoActive, kShowNormal},
                             {kShowMinimized, kShowMaximized, kShowMinimized},
                             {kShowMaximized, kShowNormal, kShowMaximized}};
    for (const auto [started, saved, shown] : frames) {
        EXPECT_EQ(
            Load({{"Window", std::to_string(saved) + " 1 10 20 650 420"}}, started).substr(0, 18),
            std::to_string(shown) + " 1 10 20 650 420 ")
            << started << " " << saved;
    }
    const ConsolePlacement minimized{true, Rect{5, 6, 700, 500}, 0, 380};
    EXPECT_EQ(FormatConsolePlacement(minimized), "1 5 6 700 500 0 380");
    EXPECT_EQ(ParseConsolePlacement("1 5 6 700 500 0 380"), minimized);
    EXPECT_FALSE(ParseConsolePlacement("2 5 6 700 500 0 380")->minimized) << "only 1 minimises";
    EXPECT_FALSE(ParseConsolePlacement("0 1 2 3 4 5 6 7"));
}

// The face is a 31-byte field: longer names are cut, never inside a UTF-8
// character, when saved and when loaded.
TEST(Properties, SavingWritesWhatLoadingReadsWithTheFontNameCutTo31Bytes) {
    const std::string e = "\xc3\xa9", cjk = "\xe4\xb8\xad"; // two and three bytes
    const std::pair<std::string, std::string> faces[] = {
        {std::string(40, 'F'), std::string(31, 'F')},
        {std::string(29, 'a') + e, std::string(29, 'a') + e},
        {std::string(30, 'a') + e, std::string(30, 'a')},
        {std::string(29, 'a') + cjk, std::string(29, 'a')}};
    for (const auto& [face, expected] : faces) {
        MapStore store;
        Properties saved;
        saved.blinkMode = kBlinkAlways;
        saved.reverseVideo = true;
        saved.fontFace = face;
        SaveFrameAndProperties(store, {kShowMaximized, true, Rect{1, 2, 300, 400}}, saved);
        const Values written{
            {"Font", expected}, {"Properties", "2 1 1 1 1 0 1 1 0"}, {"Window", "3 1 1 2 300 400"}};
        EXPECT_EQ(store.values, written);
        store.values["Font"] = face;
        EXPECT_EQ(Load(store.values, kShowDefault),
                  "3 1 1 2 300 400 | " + expected + " | 2 1 1 1 1 0 1 1 0");
    }
}

} // namespace
} // namespace kestra::console
