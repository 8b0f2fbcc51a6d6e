#include "termdef/KeyNames.h"
#include "termdef/KeyTranslation.h"

#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace kestra::termdef;

// Every name is unique, reads back in any case (here alternating, lower case
// first), and the first row carrying a code is the one that names it; then
// the key words and codes that have no row.
TEST(KeyNames, EveryRowAndEveryOtherFormReadsBack) {
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
    constexpr int Grey = 1, Keypad = 2, Either = 3;
    std::map<std::pair<int, bool>, std::array<std::string, 3>> names; // plain, Shift, Ctrl
    const auto add = [&](SpecialKey key, int blocks, std::string plain, std::string shift,
                         std::string ctrl) {
        for (const bool keypad : {false, true}) {
            if ((blocks & (keypad ? Keypad : Grey)) != 0) {
                names[{static_cast<int>(key), keypad}] = {plain, shift, ctrl};
            }
        }
    };
    add(Break, Grey, "", "", "BREAKCHAR");
    add(Backspace, Either, "CBACKSPACE", "", "");
    add(Tab, Either, "TAB", "BTAB", "CTAB");
    add(Enter, Keypad, "KPDENTER", "KPDENTER", "CKPDENTER");
    add(NumLock, Either, "NUMLOCK", "NUMLOCK", "NUMLOCK");
    add(ScrollLock, Either, "SCROLLLOCK", "SCROLLLOCK", "SCROLLLOCK");
    // clang-format off
    for (const auto& [key, n] : std::map<SpecialKey, std::string>{
             {PageUp, "PGUP"}, {PageDown, "PGDN"}, {End, "END"}, {Home, "HOME"}, {Left, "LEFT"},
             {Up, "UP"}, {Right, "RIGHT"}, {Down, "DOWN"}, {Insert, "INS"}, {Delete, "DEL"}}) {
        add(key, Grey, n, n, "C" + n);
        add(key, Keypad, "KPD" + n, "KPD" + n, "CKPD" + n);
    }
    for (const auto& [key, n] : std::map<SpecialKey, std::string>{
             {KeypadClear, "FIVE"}, {Keypad0, "ZERO"}, {Keypad1, "ONE"}, {Keypad2, "TWO"},
             {Keypad3, "THREE"}, {Keypad4, "FOUR"}, {Keypad5, "FIVE"}, {Keypad6, "SIX"},
             {Keypad7, "SEVEN"}, {Keypad8, "EIGHT"}, {Keypad9, "NINE"}, {KeypadPeriod, "PERIOD"},
             {KeypadStar, "STAR"}, {KeypadPlus, "PLUS"}, {KeypadMinus, "DASH"}, {KeypadSlash, "SLASH"}}) {
        add(key, Either, "KPD" + n, "KPD" + n, "CKPD" + n);
    }
    // clang-format on
    for (int i = 1; i <= 12; ++i) {
        const std::string n = "F" + std::to_string(i);
        add(static_cast<SpecialKey>(static_cast<int>(F1) + i - 1), Either, n, "S" + n, "");
    }
    for (int key = 0; key < SpecialKeyCount; ++key) {
        for (int bits = 0; bits < 16; ++bits) {
            const KeyStroke s{static_cast<SpecialKey>(key), (bits & 1) != 0, (bits & 2) != 0,
                              (bits & 4) != 0, (bits & 8) != 0};
            std::optional<std::int32_t> expected;
            const auto found = names.find({key, s.keypad});
            if (found != names.end() && !(s.alt && !s.ctrl)) {
                const std::string& name = found->second[s.ctrl ? 2 : s.shift ? 1 : 0];
                expected = name.empty() ? std::nullopt : std::optional(KeyCodeFromName(name));
            }
            EXPECT_EQ(KeyCodeFromMessage(s), expected) << "key " << key << " modifiers " << bits;
        }
    }
}
