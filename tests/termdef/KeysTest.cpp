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
    for (const KeyName& row : kKeyNameTable) {
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
    for (const auto& [way, text, code] : rows) {
        EXPECT_TRUE(way == '>' ? KeyCodeFromName(text) == code : KeyNameFromCode(code) == text)
            << way << " [" << text << "] " << std::hex << code;
    }
}

// Every special key in both blocks with every combination of Shift, Ctrl and
// Alt, expected by the names a definition file gives the codes ("" for none):
// Shift changes only Tab and the function keys, Ctrl puts a C before a name,
// a grey key's twin on the keypad has KPD in its name, Alt alone gives none.
TEST(KeyTranslation, EveryKeyInEveryBlockWithEveryModifier) {
    using enum SpecialKey;
    // Plain, with Shift, with Ctrl, by key and block (true for the keypad);
    std::map<std::pair<SpecialKey, bool>, std::array<std::string, 3>> names = {
        {{Break, false}, {"", "", "BREAKCHAR"}},
        {{Enter, true}, {"KPDENTER", "KPDENTER", "CKPDENTER"}}};
    // the stems from PageUp to Delete, then of the keys only the keypad has.
    // clang-format off
    const std::string stems[] = {"PGUP", "PGDN", "END", "HOME", "LEFT", "UP", "RIGHT", "DOWN", "INS", "DEL", "FIVE",
        "ZERO", "ONE", "TWO", "THREE", "FOUR", "FIVE", "SIX", "SEVEN", "EIGHT", "NINE", "PERIOD", "STAR", "PLUS", "DASH", "SLASH"};
    // clang-format on
    for (const bool pad : {false, true}) {
        names[{Backspace, pad}] = {"CBACKSPACE", "", ""};
        names[{Tab, pad}] = {"TAB", "BTAB", "CTAB"};
        names[{NumLock, pad}] = {"NUMLOCK", "NUMLOCK", "NUMLOCK"};
        names[{ScrollLock, pad}] = {"SCROLLLOCK", "SCROLLLOCK", "SCROLLLOCK"};
        for (int i = 0; i < 26; ++i) {
            const std::string n = (i < 10 && !pad ? "" : "KPD") + stems[i];
            names[{static_cast<SpecialKey>(static_cast<int>(PageUp) + i), pad}] = {n, n, "C" + n};
        }
        for (int i = 0; i < 12; ++i) {
            const std::string n = "F" + std::to_string(i + 1);
            names[{static_cast<SpecialKey>(static_cast<int>(F1) + i), pad}] = {n, "S" + n, ""};
        }
    }
    for (int i = 0; i < kSpecialKeyCount * 16; ++i) { // a key, then keypad, Shift, Ctrl, Alt bits
        const KeyStroke s{static_cast<SpecialKey>(i / 16), (i & 1) != 0, (i & 2) != 0, (i & 4) != 0,
                          (i & 8) != 0};
        const int column = s.ctrl ? 2 : s.shift ? 1 : 0;
        const auto found = names.find({s.key, s.keypad});
        const std::string name =
            found == names.end() || (s.alt && !s.ctrl) ? "" : found->second[column];
        const auto expected = name.empty() ? std::nullopt : std::optional(KeyCodeFromName(name));
        EXPECT_EQ(KeyCodeFromMessage(s), expected) << "key " << i / 16 << " modifiers " << i % 16;
    }
}
