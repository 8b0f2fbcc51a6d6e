#include "termdef/KeyNames.h"
#include "termdef/KeyTranslation.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>

using namespace kestra::termdef;

// Every name reads back in any case and the first row carrying a code names
// it; then words and codes without a row ('>' a word read, '<' a code named).
TEST(KeyNames, EveryRowAndEveryOtherFormReadsBack) {
    std::map<std::int32_t, std::string_view> first;
    for (const KeyName& row : KeyNameTable) {
        first.emplace(row.code, row.name);
        std::string lower(row.name);
        std::ranges::transform(lower, lower.begin(),
                               [](unsigned char c) { return std::tolower(c); });
        EXPECT_EQ(KeyCodeFromName(lower), row.code) << lower;
        EXPECT_EQ(KeyNameFromCode(row.code), first.at(row.code)) << row.name;
    }
    const std::int32_t high = static_cast<std::int32_t>(0x80000148u);
    // clang-format off
    const struct { char way; std::string_view text; std::int32_t code; } rows[] = {
        {'>', "73", 073},       {'>', "0x80000148", high}, {'>', "\"a\"", 'a'},  {'>', "\"\"\"", '"'},
        {'>', "\"\xE9\"", -23},  {'>', "\"\xFF\"", -1},      {'>', "XYZ", -1},    {'>', "9", -1},
        {'>', "", -1},          {'>', "\"ab\"", -1},       {'>', "'a'", -1},    {'>', "F1 ", -1},
        {'>', "a\"", -1},       {'>', "\"a", -1},          {'<', "'!", 0x21},   {'<', "'~", 0x7E},
        {'<', "'\"", 0x22},     {'<', "0x0080", 0x80},     {'<', "0x02FF", 0x2FF}, {'<', "0x0300", 0x300},
        {'<', "0xFFFFFFFF", -1}, {'<', "0x80000148", high},
    };
    // clang-format on
    for (const auto& row : rows) {
        if (row.way == '>') {
            EXPECT_EQ(KeyCodeFromName(row.text), row.code) << '[' << row.text << ']';
        } else {
            EXPECT_EQ(KeyNameFromCode(row.code), row.text) << std::hex << row.code;
        }
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
