// Terminal definition files far beyond the usual size and shape: ten thousand
// keys load into sorted, complete tables; lines longer than a read and
// outputs longer than their limits end with the located report.

#include "DefinitionTestSupport.h"

#include <chrono>

using namespace kestra::termdef;
using namespace kestra::termdef::testing;

// 768 keys in each of the four keyboard modes and the rest as key-down
// definitions: 10,000 keys.
TEST_F(DefinitionFile, TenThousandKeysLoadIntoSortedCompleteTables) {
    const char* const modes[] = {"KEY", "AKEY", "52KEY", "52AKEY"};
    std::string text;
    int keys = 0;
    for (const char* mode : modes) {
        for (int code = 0; code < 768; ++code, ++keys) {
            text += std::string(mode) + " " + std::to_string(code) +
                    ". = " + std::to_string(code % 256) + ". 'k'\n";
        }
    }
    const int keyDowns = 10000 - keys;
    for (int i = 0; i < keyDowns; ++i) {
        text += "KEYDOWN " + std::to_string(0x10000 + i) + ". = 1 2 3 4 5\n";
    }
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Load(text), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));

    const TerminalDefinition& definition = Definition();
    // KEYDOWN keeps two entries: the key under its id, the id under the key.
    EXPECT_EQ(definition.keyMap.entries.size(), 768u + 2 * keyDowns);
    for (const KeyMap* map :
         {&definition.appKeyMap, &definition.vt52KeyMap, &definition.vt52AppKeyMap}) {
        EXPECT_EQ(map->entries.size(), 768u);
    }
    EXPECT_EQ(definition.nextKeyDownId, 0x8000u + keyDowns);
    for (const KeyMap* map : {&definition.keyMap, &definition.appKeyMap, &definition.vt52KeyMap,
                              &definition.vt52AppKeyMap}) {
        for (std::size_t i = 1; i < map->entries.size(); ++i) {
            ASSERT_LT(map->entries[i - 1].code, map->entries[i].code) << i;
        }
    }
    const KeyEntry* last = KeyMapFind(definition.vt52AppKeyMap, 767);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->bytes, std::string("\xFFK"));
    // A duplicate after all of them is still found and located.
    EXPECT_EQ(Load(text + "52AKEY 767. = 1\n"), Report(10001, "52AKEY 767. = 1", "------ ^^^^",
                                                       "Key code 02FF (0x02FF) already defined"));
}

TEST_F(DefinitionFile, OverlongLinesAndOutputsEndWithTheLocatedReport) {
    struct Case {
        const char* name;
        std::string text;
        std::string message; // the report's last line
    };
    const Case cases[] = {
        // The first 254 characters are one line, the rest another.
        {"a comment of 10,000 characters", "; " + std::string(10000, 'c') + "\n", "Invalid token"},
        {"an IDSTRING word of 10,000 characters", "IDSTRING = " + std::string(10000, 'i') + "\n",
         "I.D. string too long"},
        {"a key output of 10,000 characters", "KEY UP = " + std::string(10000, 'o') + "\n",
         "Output string too long"},
        {"a quoted output that runs past the read", "KEY UP = \"" + std::string(300, 'q') + "\"\n",
         "Unmatched quotation marks"},
        {"a character code of ten octal digits", "CHAR 7777777777 = 1\n", "Must be less than 256"},
        // The digits wrap, and the read ends before the "=".
        {"a character code of 10,000 digits", "CHAR " + std::string(10000, '7') + " = 1\n",
         "Expected ="},
    };
    for (const Case& c : cases) {
        const std::string report = Load(c.text);
        ASSERT_FALSE(report.empty()) << c.name;
        EXPECT_EQ(report.rfind("Error in line ", 0), 0u) << c.name << ": " << report;
        const std::string last = report.substr(report.rfind('\n', report.size() - 2) + 1);
        EXPECT_EQ(last, c.message + "\n") << c.name;
        EXPECT_FALSE(Definition().loaded) << c.name;
    }
}
