#include "console/Properties.h"

#include <gtest/gtest.h>
#include <map>

using namespace kestra::console;

namespace {

class MapStore : public kestra::platform::SettingsStore {
public:
    std::map<std::string, std::string, std::less<>> values;
    std::optional<std::string> Read(std::string_view name) override {
        auto found = values.find(name);
        if (found == values.end() || found->second.empty() || found->second.size() > kMaxValue) {
            return std::nullopt;
        }
        return found->second;
    }
    void Write(std::string_view name, std::string_view value) override {
        values[std::string(name)] = value;
    }
    bool Commit() override { return true; }
};

} // namespace

TEST(Properties, FirstStartUsesTheDefaults) {
    MapStore empty;
    Properties properties;
    FramePlacement frame{kShowNormal, false, Rect{1, 2, 3, 4}};
    LoadProperties(empty, kShowNormal, frame, properties);
    EXPECT_EQ(FormatProperties(properties), "1 1 1 1 1 0 0 1 0");
    EXPECT_EQ(properties.fontFace, "Lucida Console");
    EXPECT_EQ(frame, (FramePlacement{kShowNormal, false, Rect{1, 2, 3, 4}}))
        << "no saved placement leaves the frame's own";
}

TEST(Properties, TheStoredValueSetsAsManySettingsAsParse) {
    struct Case {
        const char* stored;
        const char* expected; // formatted back
    };
    const Case cases[] = {
        {"0 0", "0 0 1 1 1 0 0 1 0"},
        {"2 0 0 0 0 1 1 0 1 1 1", "2 0 0 0 0 1 1 0 1"},
        {"0 1 x 0", "0 1 1 1 1 0 0 1 0"},
        {"0 0x 0", "0 0 1 1 1 0 0 1 0"},
    };
    for (const Case& c : cases) {
        Properties properties;
        ParseProperties(c.stored, properties);
        EXPECT_EQ(FormatProperties(properties), c.expected) << c.stored;
    }
}

TEST(Properties, TheFrameComesBackAsSavedUnlessStartedOtherwise) {
    struct Case {
        int start;
        int saved;
        int expected;
    };
    const Case cases[] = {
        {kShowNormal, kShowMaximized, kShowMaximized},
        {kShowNormal, kShowMinimized, kShowNormal},
        {kShowDefault, kShowMinNoActive, kShowNormal},
        {kShowMinimized, kShowMaximized, kShowMinimized},
        {kShowMaximized, kShowNormal, kShowMaximized},
    };
    for (const Case& c : cases) {
        MapStore store;
        store.values["Window"] = std::to_string(c.saved) + " 1 10 20 650 420";
        FramePlacement frame;
        Properties properties;
        LoadProperties(store, c.start, frame, properties);
        EXPECT_EQ(frame.showCommand, c.expected) << c.start << " " << c.saved;
        EXPECT_TRUE(frame.consolesMaximized);
        EXPECT_EQ(frame.normal, (Rect{10, 20, 650, 420}));
    }
}

TEST(Properties, PlacementValuesAreUsedOnlyWhenWhole) {
    EXPECT_FALSE(ParseFramePlacement("1 0 10 20 650"));
    EXPECT_FALSE(ParseFramePlacement("1 0 10 x 650 420"));
    EXPECT_TRUE(ParseFramePlacement("1 0 10 20 650 -420"));
    EXPECT_FALSE(ParseConsolePlacement("0 1 2 3 4 5 6 7"));

    const ConsolePlacement minimized{true, Rect{5, 6, 700, 500}, 0, 380};
    EXPECT_EQ(FormatConsolePlacement(minimized), "1 5 6 700 500 0 380");
    EXPECT_EQ(ParseConsolePlacement("1 5 6 700 500 0 380"), minimized);
    EXPECT_FALSE(ParseConsolePlacement("2 5 6 700 500 0 380")->minimized)
        << "only 1 means minimised";

    const FramePlacement frame{kShowMaximized, true, Rect{-4, -4, 1284, 1000}};
    EXPECT_EQ(ParseFramePlacement(FormatFramePlacement(frame)), frame);
}

// The face is a 31-byte field: longer names are cut, and never inside a
// UTF-8 character.
TEST(Properties, ALongFontNameIsCutTo31Bytes) {
    const std::string e = "\xc3\xa9";       // two bytes
    const std::string cjk = "\xe4\xb8\xad"; // three bytes
    const struct {
        std::string stored;
        std::string expected;
    } rows[] = {
        {std::string(40, 'F'), std::string(31, 'F')},
        {std::string(31, 'F'), std::string(31, 'F')},
        {std::string(29, 'a') + e, std::string(29, 'a') + e},
        {std::string(30, 'a') + e, std::string(30, 'a')},
        {std::string(29, 'a') + cjk, std::string(29, 'a')},
        {cjk + cjk + cjk + cjk + cjk + cjk + cjk + cjk + cjk + cjk + cjk,
         std::string() + cjk + cjk + cjk + cjk + cjk + cjk + cjk + cjk + cjk + cjk},
    };
    for (const auto& row : rows) {
        MapStore store;
        store.values["Font"] = row.stored;
        Properties properties;
        FramePlacement frame;
        LoadProperties(store, kShowNormal, frame, properties);
        EXPECT_EQ(properties.fontFace, row.expected) << row.stored;

        properties.fontFace = row.stored;
        SaveFrameAndProperties(store, frame, properties);
        EXPECT_EQ(store.values["Font"], row.expected) << row.stored;
    }
}

TEST(Properties, SavingWritesTheThreeValuesThatLoadingReads) {
    MapStore store;
    Properties saved;
    saved.blinkMode = kBlinkAlways;
    saved.reverseVideo = true;
    saved.fontFace = "DejaVu Sans Mono";
    SaveFrameAndProperties(store, FramePlacement{kShowMaximized, true, Rect{1, 2, 300, 400}},
                           saved);
    EXPECT_EQ(store.values["Window"], "3 1 1 2 300 400");
    EXPECT_EQ(store.values["Properties"], "2 1 1 1 1 0 1 1 0");

    Properties loaded;
    FramePlacement frame;
    LoadProperties(store, kShowDefault, frame, loaded);
    EXPECT_EQ(FormatProperties(loaded), FormatProperties(saved));
    EXPECT_EQ(loaded.fontFace, "DejaVu Sans Mono");
    EXPECT_EQ(frame, (FramePlacement{kShowMaximized, true, Rect{1, 2, 300, 400}}));
}
