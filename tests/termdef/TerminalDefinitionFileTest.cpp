#include "termdef/TerminalDefinitionFile.h"

#include "platform/Exit.h"
#include "support/Program.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sstream>

using namespace kestra::termdef;
using namespace std::string_literals;
using kestra::platform::ScopedFatalCapture;

namespace {

// Definition files loaded from a directory of each test's own.
class DefinitionFile : public ::testing::Test {
protected:
    void TearDown() override { ResetTerminalDefinition(); }

    // Loads text (or that file): the report the load ends with, or "" if none.
    std::string Load(const std::string& text, std::string path = "") {
        if (path.empty()) {
            std::ofstream(path = path_ = directory_ / "VT100.CNF", std::ios::binary) << text;
        }
        ResetTerminalDefinition();
        ScopedFatalCapture capture;
        try {
            LoadTerminalDefinition(path);
        } catch (const kestra::platform::FatalError& error) {
            return std::string(error.message());
        }
        return {};
    }

    // What a load left, defaults left out and codes in hexadecimal: every map
    // entry, the settings, and colours by combination (and any odd attribute).
    std::string Dump() const {
        std::ostringstream out;
        out << std::hex << std::uppercase;
        const KeyMap* keys[] = {&d.keyMap, &d.appKeyMap, &d.vt52KeyMap, &d.vt52AppKeyMap};
        const char* const names[] = {"KEY ", "AKEY ", "52KEY ", "52AKEY "};
        for (int i = 0; i < 4; ++i) {
            for (const KeyEntry& entry : keys[i]->entries) {
                out << names[i] << entry.code << '=' << entry.bytes << ';';
            }
        }
        for (const CharMap* map : {&d.charMap, &d.graphicMap}) {
            for (const CharEntry& entry : map->entries) {
                out << (map == &d.charMap ? "CHAR " : "GRAPHIC ") << entry.code << '='
                    << entry.value << ';';
            }
        }
        out << (d.idString == "\x1b[?1;0c" ? "" : "ID=" + d.idString + ";")
            << (d.vt52Type ? "VT52;" : "") << (d.genradType ? "GENRAD;" : "");
        for (int attribute = 0; attribute < 256; ++attribute) {
            const ColourMap& colours = d.colours;
            if (colours[attribute] !=
                (attribute < 16 ? DefaultColourMap()[attribute] : colours[attribute & 0x0F])) {
                out << "COLOR " << attribute << '=' << +colours[attribute] << ';';
            }
        }
        return out.str();
    }

    const TerminalDefinition& d = TheTerminalDefinition();
    kestra::testing::TemporaryDirectory directory_;
    std::string path_;
};

// Each row is a file (a last newline added) and what it loads, or the marker
// and message of the report locating its last line: '-' under the words
// read, '^' under the word in error ('*' for lines too long to spell out).
TEST_F(DefinitionFile, EachFileLoadsOrEndsWithItsLocatedReport) {
    const std::string a126(126, 'A'), a127(127, 'A'), d128(128, '-'), up130(130, '^'),
        big(10000, 'x');
    // clang-format off
    const struct { std::string text, expected; } rows[] = {
        {"", ""},                                   {"TYPE = VT52\nTYPE = vt100", ""},
        {"KEY F1 = 033 '[11~' 0117 0160", "KEY 13B=\x1b[11~Op;"},
        {"KEY F1 = '1' '-' ~ 33 033 0x1B 27. ab\"c d\"'e;f'", "KEY 13B=\x01\0\xff\x1b\x1b\x1b\x1b" "ABC DE;F;"s},
        {"key f1 = \"\\033[A\" %HOME% 'xy' 'z' 0 '' ; note", "KEY 13B=\x1b[A%HOME%XYZ\0;"s},
        {"KEY '\"a\"' = 1\nKEY 1377 = 2\nFKEY 072 = 3", "KEY 41=\x01;KEY 13A=\x03;KEY 2FF=\x02;"}, // upper-cased
        {"AKEY UP = 2\n52KEY UP = 3\n52AKEY kpdzero = 4\nAKEY F1 = 6",
         "AKEY 13B=\x06;AKEY 148=\x02;52KEY 148=\x03;52AKEY 252=\x04;"},
        // A key-down string goes under an id of its own, which the key sends low byte first.
        {"KEYDOWN UP = 033 '[A'\nKEYDOWN 0x0FFFFFFF = 1\nKEY UP = 2",
         "KEY 80000148=\0\x80;KEY 8FFFFFFF=\x01\x80;KEY 148=\x02;KEY 8000=\x1b[A;KEY 8001=\x01;"s},
        // Numbers fill an output to 128 bytes; a text must leave it below 128.
        {"KEY F1 = '" + a127 + "' 1", "KEY 13B=" + a127 + "\x01;"}, {"KEY F1 = 1 '" + a126 + "'", "KEY 13B=\x01" + a126 + ";"},
        {"CHAR 0141 = 0101\nCHAR 377 = 0x2588\nCHAR -1 = 7\nGRAPHIC 0x71 = 0xFFF8\nGRAPHIC 0170 = 0x12502",
         "CHAR FFFFFFFF=7;CHAR 61=41;CHAR FF=2588;GRAPHIC 71=FFF8;GRAPHIC 78=12502;"},
        {"idstring = abc 033 '[?1;2c' 0 'x'", "ID=abc\x1b[?1;2c;"}, // case kept, up to the first 0
        {"IDSTRING = '" + a127 + "'", "ID=" + a127 + ";"}, {"IDSTRING = '" + a126 + "' 0x41", "ID=" + a126 + "A;"},
        {"TYPE = GENRAD\nTYPE = VT100", "GENRAD;"},  {"TYPE = genrad\ntype = \"vt52\"", "VT52;GENRAD;"},
        {"132COLUMNMODE = 127\n80COLUMNMODE = 012\n80COLUMNMODE = 0x7F\n132COLUMNMODE = 0", ""},
        {"COLOR Highlight Underline = Yellow On Blue\ncolor reverse,blink = 14 on 1\n"
         "COLOR Normal = 1 On 4095", "COLOR 0=F1;COLOR 3=1E;COLOR C=16;"}, // the low byte kept
        {"FOO = 1", "^^^\nInvalid token"},          {"KEYS F1 = 1", "^^^^\nInvalid token"},
        {"KEY", "---^\nExpected a key value"},      {"KEY 01400 = 1", "--- ^^^^^\nInvalid key value"},
        {"KEY F1 1", "--- -- ^\nExpected ="},       {"KEY F1 = ''", "--- -- - --^\nExpected key codes"},
        {"KEYDOWN 0x10000000 = 1", "------- ^^^^^^^^^^\nInvalid key value"},
        {"KEYDOWN UP = 1\nKEYDOWN UP = 2", "------- ^^\nKey code 80000148 (0x80000148) already defined"},
        {"KEY F1 = '" + a127 + "' 1 2", "--- -- - -" + d128 + " - ^\nOutput string too long"},
        {"KEY F1 = '" + a127 + "A'", "--- -- - " + up130 + "\nOutput string too long"},
        {"KEY F1 = 1 '" + a126 + "A'", "--- -- - - " + up130.substr(1) + "\nOutput string too long"},
        {"CHAR 400 = 1", "---- ^^^\nMust be less than 256"}, {"CHAR 9 = 1", "---- ^\nExpected an octal number"},
        {"CHAR 0141 = 0101\nCHAR 0x61 = 1", "---- ^^^^\nCharacter code 61(hex) already defined"},
        {"IDSTRING = '" + a127 + "A'", "-------- - " + up130 + "\nI.D. string too long"},
        {"IDSTRING = '" + a126 + "' 1 2", "-------- - " + d128 + " - ^\nI.D. string too long"},
        {"IDSTRING =", "-------- -^\nExpected I.D. bytes"},  {"TYPE =", "---- -^\nExpected terminal type"},
        {"80COLUMNMODE = 128", "------------ - ^^^\nMust be less than 128 or 0x80"},
        {"TYPE = VT220", "---- - ^^^^^\nInvalid terminal type"}, {"COLOR Blink", "----- -----^\nMissing ="},
        {"COLOR Bold = White", "----- ---- ^\nInvalid VT100 attribute"}, {"COLOR 16 = W", "----- -- ^\nInvalid VT100 attribute"},
        {"COLOR Blink =", "----- ----- -^\nInvalid screen attribute"},
        // Far beyond the usual shape: a line is read 254 characters at a time.
        {"; " + big, "*\nInvalid token"},           {"IDSTRING = " + big, "*\nI.D. string too long"},
        {"KEY UP = " + big, "*\nOutput string too long"}, {"KEY UP = \"" + a127 + a127 + "\"", "*\nUnmatched quotation marks"},
        {"CHAR 7777777777 = 1", "*\nMust be less than 256"}, {"CHAR " + std::string(10000, '7') + " = 1", "*\nExpected ="}, // wraps
    };
    // clang-format on
    for (const auto& [text, expected] : rows) {
        const std::string report = Load(text + "\n");
        EXPECT_EQ(d.loaded, report.empty()) << text;
        if (report.empty()) {
            EXPECT_EQ(Dump(), expected) << text;
        } else if (expected.starts_with('*')) {
            EXPECT_TRUE(report.starts_with("Error in line ") &&
                        report.ends_with(expected.substr(1) + "\n"))
                << report;
        } else {
            EXPECT_EQ(report, "Error in line " +
                                  std::to_string(std::ranges::count(text, '\n') + 1) + " of " +
                                  path_ + "\n" + text.substr(text.rfind('\n') + 1) + "\n" +
                                  expected + "\n");
        }
    }
    const std::string missing = directory_ / "none/X";
    EXPECT_EQ(Load("", missing), "Can't open configuration file: " + missing);
    ASSERT_EQ(Load("TYPE = VT52\n"), "");
    ScopedFatalCapture capture;
    LoadTerminalDefinition(missing); // once loaded, never read again, not even a missing file
    EXPECT_EQ(Dump(), "VT52;");
}

// 768 keys in each of the four keyboard modes and the rest as key-down
// definitions: 10,000 keys load into sorted tables where each is found.
TEST_F(DefinitionFile, TenThousandKeysLoadIntoSortedCompleteTables) {
    const std::string modes[] = {"KEY ", "AKEY ", "52KEY ", "52AKEY "};
    const int keyDowns = 10000 - 4 * 768;
    std::string text;
    for (int i = 0; i < 10000; ++i) {
        text += i < 4 * 768 ? modes[i / 768] + std::to_string(i % 768) +
                                  ". = " + std::to_string(i % 256) + ". 'k'\n"
                            : "KEYDOWN " + std::to_string(0x10000 + i) + ". = 1 2 3 4 5\n";
    }
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Load(text), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(d.nextKeyDownId, 0x8000u + keyDowns);
    for (const KeyMap* map : {&d.keyMap, &d.appKeyMap, &d.vt52KeyMap, &d.vt52AppKeyMap}) {
        // A key-down definition keeps two entries: the string and the key.
        EXPECT_EQ(map->entries.size(), map == &d.keyMap ? 768u + 2 * keyDowns : 768u);
        for (std::size_t i = 0; i < map->entries.size(); ++i) {
            ASSERT_EQ(KeyMapFind(*map, map->entries[i].code), &map->entries[i]) << i;
            ASSERT_TRUE(i == 0 || map->entries[i - 1].code < map->entries[i].code) << i;
        }
    }
    EXPECT_EQ(KeyMapFind(d.vt52AppKeyMap, 767)->bytes, "\xFFK");
    EXPECT_EQ(KeyMapFind(d.keyMap, 768), nullptr);
    EXPECT_EQ(Load(text + "52AKEY 767. = 1\n"), // found after all of them
              "Error in line 10001 of " + path_ +
                  "\n52AKEY 767. = 1\n------ ^^^^\nKey code 02FF (0x02FF) already defined\n");
}

} // namespace
