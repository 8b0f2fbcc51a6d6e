#include "termdef/KeyNames.h"
#include "termdef/KeyTranslation.h"

#include <gtest/gtest.h>
#include <map>

using namespace kestra::termdef;

// Every name reads back in any case (here alternating, lower case first) and
// the first row carrying a code names it; then the words and codes without a row.
TEST(KeyNames, EveryRowAndEveryOtherFormReadsBack) {
    std::map<std::int32_t, std::string_view> first;
    for (const KeyName& row : KeyNameTable) {
        first.emplace(row.code, row.name);
        std::string mixed(row.name);
        for (std::size_t i = 0; i < mixed.size(); i += 2) {
            mixed[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(mixed[i])));
        }
        EXPECT_EQ(KeyCodeFromName(mixed), row.code) << mixed;
        EXPECT_EQ(KeyNameFromCode(row.code), first.at(row.code)) << row.name;
    }
    const std::int32_t high = static_cast<std::int32_t>(0x80000148u);
    // clang-format off
    const struct { std::string_view text; std::int32_t code; } words[] = {
        {"073", 073}, {"73", 073}, {"0x13B", 0x13B}, {"315.", 0x13B}, {"1377", 767}, {"01400", 768},
        {"37777777777", -1}, {"0x80000148", high}, {"\"a\"", 'a'}, {"\"\"\"", '"'},
        {"\"\xE9\"", -23}, {"\"\xFF\"", -1}, {"XYZ", -1}, {"9", -1}, {"", -1}, {"\"ab\"", -1},
        {"'a'", -1}, {"F1 ", -1}, {"a\"", -1}, {"\"a", -1},
    };
    const struct { std::int32_t code; std::string_view name; } codes[] = {
        {0x41, "'A"}, {0x21, "'!"}, {0x7E, "'~"}, {0x22, "'\""}, {0x80, "0x0080"}, {0xFF, "0x00FF"},
        {0x2FF, "0x02FF"}, {0x300, "0x0300"}, {-1, "0xFFFFFFFF"}, {high, "0x80000148"},
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
// of the grey keys have KPD in theirs. Alt alone leaves every key alone.
TEST(KeyTranslation, EveryKeyInEveryBlockWithEveryModifier) {
    using enum SpecialKey;
    // Plain, with Shift, with Ctrl, by key and block (true for the keypad).
    std::map<std::pair<SpecialKey, bool>, std::array<std::string, 3>> names = {
        {{Break, false}, {"", "", "BREAKCHAR"}},
        {{Enter, true}, {"KPDENTER", "KPDENTER", "CKPDENTER"}}};
    // PageUp to Delete, then the keys only the keypad has, in their order.
    // clang-format off
    const std::string stems[] = {"PGUP", "PGDN", "END", "HOME", "LEFT", "UP", "RIGHT", "DOWN", "INS", "DEL", "FIVE",
        "ZERO", "ONE", "TWO", "THREE", "FOUR", "FIVE", "SIX", "SEVEN", "EIGHT", "NINE", "PERIOD", "STAR", "PLUS", "DASH", "SLASH"};
    // clang-format on
    for (const bool keypad : {false, true}) {
        names[{Backspace, keypad}] = {"CBACKSPACE", "", ""};
        names[{Tab, keypad}] = {"TAB", "BTAB", "CTAB"};
        names[{NumLock, keypad}] = {"NUMLOCK", "NUMLOCK", "NUMLOCK"};
        names[{ScrollLock, keypad}] = {"SCROLLLOCK", "SCROLLLOCK", "SCROLLLOCK"};
        for (int i = 0; i < 26; ++i) {
            const std::string n = (i < 10 && !keypad ? "" : "KPD") + stems[i];
            names[{static_cast<SpecialKey>(static_cast<int>(PageUp) + i), keypad}] = {n, n,
                                                                                      "C" + n};
        }
        for (int i = 0; i < 12; ++i) {
            const std::string n = "F" + std::to_string(i + 1);
            names[{static_cast<SpecialKey>(static_cast<int>(F1) + i), keypad}] = {n, "S" + n, ""};
        }
    }
    for (int key = 0; key < SpecialKeyCount; ++key) {
        for (int bits = 0; bits < 16; ++bits) {
            const KeyStroke s{static_cast<SpecialKey>(key), (bits & 1) != 0, (bits & 2) != 0,
                              (bits & 4) != 0, (bits & 8) != 0};
            std::optional<std::int32_t> expected;
            const auto found = names.find({s.key, s.keypad});
            if (found != names.end() && !(s.alt && !s.ctrl)) {
                const std::string& name = found->second[s.ctrl ? 2 : s.shift ? 1 : 0];
                expected = name.empty() ? std::nullopt : std::optional(KeyCodeFromName(name));
            }
            EXPECT_EQ(KeyCodeFromMessage(s), expected) << "key " << key << " modifiers " << bits;
        }
    }
}
