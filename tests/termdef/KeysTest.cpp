#include "termdef/KeyNames.h"
#include "termdef/KeyTranslation.h"

#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace kestra::termdef;

// Every name is unique, reads back in any case (here alternating, lower case
// first), and the first row carrying a code is the one that names it.
TEST(KeyNames, EveryRowReadsBackAndTheFirstRowNamesItsCode) {
    std::set<std::string_view> names;
    std::map<std::int32_t, std::string_view> first;
    for (const KeyName& row : KeyNameTable) {
        EXPECT_TRUE(names.insert(row.name).second) << row.name;
        first.emplace(row.code, row.name);
        std::string mixed(row.name);
        for (std::size_t i = 0; i < mixed.size(); i += 2) {
            mixed[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(mixed[i])));
        }
        EXPECT_EQ(KeyCodeFromName(mixed), row.code) << mixed;
        EXPECT_EQ(KeyNameFromCode(row.code), first.at(row.code)) << row.name;
    }
}

TEST(KeyNames, KeyWordsAndCodesWithoutARow) {
    // clang-format off
    const struct { std::string_view text; std::int32_t code; } words[] = {
        {"073", 073},  {"73", 073},         {"0x13B", 0x13B},     {"315.", 0x13B},   // octal unless marked
        {"1377", 767}, {"01400", 768},      {"37777777777", -1},  {"0x80000148", static_cast<std::int32_t>(0x80000148u)},
        {"\"a\"", 'a'}, {"\"\"\"", '"'},    {"\"\xE9\"", -23},    {"\"\xFF\"", -1},  // a signed byte
        {"XYZ", -1},   {"9", -1},           {"", -1},             {"\"ab\"", -1},
        {"'a'", -1},   {"F1 ", -1},         {"a\"", -1},          {"\"a", -1},
    };
    const struct { std::int32_t code; std::string_view name; } codes[] = {
        {0x41, "'A"},       {0x21, "'!"},       {0x7E, "'~"},       {0x22, "'\""},
        {0x80, "0x0080"},   {0xFF, "0x00FF"},   {0x2FF, "0x02FF"},
        {0x300, "0x0300"},  {-1, "0xFFFFFFFF"}, {static_cast<std::int32_t>(0x80000148u), "0x80000148"},
    };
    // clang-format on
    for (const auto& word : words) {
        EXPECT_EQ(KeyCodeFromName(word.text), word.code) << '[' << word.text << ']';
    }
    for (const auto& code : codes) {
        EXPECT_EQ(KeyNameFromCode(code.code), code.name) << std::hex << code.code;
    }
}

// Every special key in both blocks with every combination of Shift, Ctrl and
// Alt. The expected codes come from the names a definition file uses for them
// ("" for no code), not from the translation table: Shift changes only Tab
// and the function keys, Ctrl puts a C before the name, and the keypad twins
// of the grey keys have KPD in theirs.
TEST(KeyTranslation, EveryKeyInEveryBlockWithEveryModifier) {
    using enum SpecialKey;
    struct Names {
        KeyBlock block;
        std::string plain, withShift, withCtrl;
    };
    std::multimap<SpecialKey, Names> keys = {
        {Break, {KeyBlock::Grey, "", "", "BREAKCHAR"}},
        {Backspace, {KeyBlock::Either, "CBACKSPACE", "", ""}},
        {Tab, {KeyBlock::Either, "TAB", "BTAB", "CTAB"}},
        {Enter, {KeyBlock::Keypad, "KPDENTER", "KPDENTER", "CKPDENTER"}},
        {NumLock, {KeyBlock::Either, "NUMLOCK", "NUMLOCK", "NUMLOCK"}},
        {ScrollLock, {KeyBlock::Either, "SCROLLLOCK", "SCROLLLOCK", "SCROLLLOCK"}},
    };
    // clang-format off
    const std::pair<SpecialKey, std::string> twins[] = {
        {PageUp, "PGUP"}, {PageDown, "PGDN"}, {End, "END"},   {Home, "HOME"},  {Left, "LEFT"},
        {Up, "UP"},       {Right, "RIGHT"},   {Down, "DOWN"}, {Insert, "INS"}, {Delete, "DEL"},
    }, keypad[] = {
        {KeypadClear, "FIVE"}, {Keypad0, "ZERO"},    {Keypad1, "ONE"},      {Keypad2, "TWO"},
        {Keypad3, "THREE"},    {Keypad4, "FOUR"},    {Keypad5, "FIVE"},     {Keypad6, "SIX"},
        {Keypad7, "SEVEN"},    {Keypad8, "EIGHT"},   {Keypad9, "NINE"},     {KeypadPeriod, "PERIOD"},
        {KeypadStar, "STAR"},  {KeypadPlus, "PLUS"}, {KeypadMinus, "DASH"}, {KeypadSlash, "SLASH"},
    };
    // clang-format on
    for (const auto& [key, name] : twins) {
        keys.insert({key, {KeyBlock::Grey, name, name, "C" + name}});
        keys.insert({key, {KeyBlock::Keypad, "KPD" + name, "KPD" + name, "CKPD" + name}});
    }
    for (const auto& [key, name] : keypad) {
        keys.insert({key, {KeyBlock::Either, "KPD" + name, "KPD" + name, "CKPD" + name}});
    }
    for (int i = 1; i <= 12; ++i) {
        const std::string name = "F" + std::to_string(i);
        keys.insert({static_cast<SpecialKey>(static_cast<int>(F1) + i - 1),
                     {KeyBlock::Either, name, "S" + name, ""}});
    }
    for (int key = 0; key < SpecialKeyCount; ++key) {
        for (int bits = 0; bits < 16; ++bits) {
            const KeyStroke s{static_cast<SpecialKey>(key), (bits & 1) != 0, (bits & 2) != 0,
                              (bits & 4) != 0, (bits & 8) != 0};
            std::optional<std::int32_t> expected;
            const auto [from, to] = keys.equal_range(s.key);
            for (auto it = from; it != to && !(s.alt && !s.ctrl); ++it) {
                const Names& n = it->second;
                if (n.block == KeyBlock::Either || (n.block == KeyBlock::Keypad) == s.keypad) {
                    const std::string& name = s.ctrl ? n.withCtrl : s.shift ? n.withShift : n.plain;
                    expected = name.empty() ? std::nullopt : std::optional(KeyCodeFromName(name));
                    ASSERT_NE(expected, -1) << name;
                }
            }
            EXPECT_EQ(KeyCodeFromMessage(s), expected) << "key " << key << " modifiers " << bits;
        }
    }
}
