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
