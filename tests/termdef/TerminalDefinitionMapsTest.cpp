#include "termdef/TerminalDefinition.h"

#include <gtest/gtest.h>
#include <vector>

using namespace kestra::termdef;

// Codes are kept sorted as signed numbers (key-down codes first) and unique;
// every entry is found and nothing between them.
TEST(KeyMap, KeepsCodesSortedAsSignedNumbersAndFindsOnlyThem) {
    KeyMap map;
    const std::int32_t keyDown = static_cast<std::int32_t>(0x80008000u);
    for (std::int32_t code : {0x148, 0x13B, 0x7F, keyDown, 0x13B, 0x200}) {
        KeyMapPut(map, code, std::to_string(code));
    }
    std::vector<std::int32_t> codes;
    for (const auto& entry : map.entries) {
        codes.push_back(entry.code);
    }
    EXPECT_EQ(codes, (std::vector<std::int32_t>{keyDown, 0x7F, 0x13B, 0x148, 0x200}));
    for (std::int32_t code : codes) {
        ASSERT_NE(KeyMapFind(map, code), nullptr) << code;
        EXPECT_EQ(KeyMapFind(map, code)->bytes, std::to_string(code));
    }
    for (std::int32_t code : {keyDown - 1, -1, 0, 0x7E, 0x80, 0x147, 0x149, 0x201}) {
        EXPECT_EQ(KeyMapFind(map, code), nullptr) << code;
    }
    EXPECT_EQ(KeyMapFind(KeyMap{}, 0), nullptr);
}
