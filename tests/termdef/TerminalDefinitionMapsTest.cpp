#include "termdef/TerminalDefinition.h"

#include <gtest/gtest.h>
#include <vector>

using namespace kestra::termdef;

namespace {

std::vector<std::int32_t> Codes(const KeyMap& map) {
    std::vector<std::int32_t> codes;
    for (const auto& entry : map.entries) {
        codes.push_back(entry.code);
    }
    return codes;
}

} // namespace

TEST(KeyMap, KeepsCodesSortedAsSignedNumbersAndUnique) {
    KeyMap map;
    const std::int32_t keyDown = static_cast<std::int32_t>(0x80008000u);
    for (std::int32_t code : {0x148, 0x13B, 0x7F, keyDown, 0x13B, 0x200}) {
        KeyMapPut(map, code, "x");
    }
    EXPECT_EQ(Codes(map), (std::vector<std::int32_t>{keyDown, 0x7F, 0x13B, 0x148, 0x200}));
}

TEST(KeyMap, PutOnAnExistingCodeReplacesItsBytes) {
    KeyMap map;
    KeyMapPut(map, 0x148, "\x1b[A");
    KeyMapPut(map, 0x148, std::string(128, 'y'));
    ASSERT_NE(KeyMapFind(map, 0x148), nullptr);
    EXPECT_EQ(KeyMapFind(map, 0x148)->bytes, std::string(128, 'y'));
    EXPECT_EQ(map.entries.size(), 1u);
}

TEST(KeyMap, FindsEveryEntryAndNothingBetween) {
    KeyMap map;
    for (std::int32_t code = 0; code < 100; code += 3) {
        KeyMapPut(map, code, std::string(1, static_cast<char>(code)));
    }
    for (std::int32_t code = -1; code < 101; ++code) {
        const KeyEntry* entry = KeyMapFind(map, code);
        if (code >= 0 && code % 3 == 0) {
            ASSERT_NE(entry, nullptr) << code;
            EXPECT_EQ(entry->bytes, std::string(1, static_cast<char>(code)));
        } else {
            EXPECT_EQ(entry, nullptr) << code;
        }
    }
    EXPECT_EQ(KeyMapFind(KeyMap{}, 0), nullptr);
}

TEST(CharMap, PutOverwritesTheValueAndFindUsesTheReceivedCode) {
    CharMap map;
    CharMapPut(map, 'q', 0xFFF8);
    CharMapPut(map, 'x', 0x2502);
    CharMapPut(map, 'q', 0x2500);
    ASSERT_NE(CharMapFind(map, 'q'), nullptr);
    EXPECT_EQ(CharMapFind(map, 'q')->value, 0x2500u);
    EXPECT_EQ(CharMapFind(map, 'x')->value, 0x2502u);
    EXPECT_EQ(CharMapFind(map, 'y'), nullptr);
    EXPECT_EQ(map.entries.size(), 2u);
}

TEST(TerminalDefinition, ResetRestoresTheInitialValues) {
    TheTerminalDefinition().loaded = true;
    TheTerminalDefinition().idString = "x";
    KeyMapPut(TheTerminalDefinition().keyMap, 1, "a");
    ResetTerminalDefinition();
    const TerminalDefinition& definition = TheTerminalDefinition();
    EXPECT_FALSE(definition.loaded);
    EXPECT_EQ(definition.idString, "\x1b[?1;0c");
    EXPECT_EQ(definition.nextKeyDownId, 0x8000u);
    EXPECT_EQ(definition.columnMode80, 3u);
    EXPECT_EQ(definition.columnMode132, 85u);
    EXPECT_TRUE(definition.keyMap.entries.empty());
}
