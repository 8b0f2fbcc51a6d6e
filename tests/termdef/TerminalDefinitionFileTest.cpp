#include "DefinitionTestSupport.h"

#include <algorithm>

using namespace kestra::termdef;
using namespace kestra::termdef::testing;

namespace {

struct ErrorCase {
    std::string text;   // the whole file; the error is on its last line
    std::string marker; // the marker line under it
    std::string message;
};

} // namespace

TEST_F(DefinitionFile, EveryMessageWithItsLocatedReport) {
    const std::string text127(127, 'A');
    const std::string text126(126, 'A');
    // clang-format off
    const ErrorCase cases[] = {
        {"FOO = 1\n",                         "^^^",             "Invalid token"},
        {"KEYS F1 = 1\n",                     "^^^^",            "Invalid token"},
        {"KEY\n",                             "---^",            "Expected a key value"},
        {"KEY 01400 = 1\n",                   "--- ^^^^^",       "Invalid key value"},
        {"KEY 768 = 1\n",                     "--- ^^^",         "Invalid key value"},
        {"KEYDOWN 0x10000000 = 1\n",          "------- ^^^^^^^^^^", "Invalid key value"},
        {"KEY F1 = 1\nKEY F1 = 2\n",          "--- ^^",          "Key code 013B (F1) already defined"},
        {"KEY F1 = 1\nFKEY 073 = 2\n",        "---- ^^^",        "Key code 013B (F1) already defined"},
        {"KEY 1 = 1\nKEY CTRLA = 2\n",       "--- ^^^^^",       "Key code 0001 (CTRLA) already defined"},
        {"AKEY '\"a\"' = 1\nAKEY 0101 = 2\n", "---- ^^^^",       "Key code 0041 ('A) already defined"},
        {"KEYDOWN UP = 1\nKEYDOWN UP = 2\n",  "------- ^^",      "Key code 80000148 (0x80000148) already defined"},
        {"KEY F1 1\n",                        "--- -- ^",        "Expected ="},
        {"KEY F1\n",                          "--- --^",         "Expected ="},
        {"KEY F1 =\n",                        "--- -- -^",       "Expected key codes"},
        {"KEY F1 = ''\n",                     "--- -- - --^",    "Expected key codes"},
        {"KEY F1 = '" + text127 + "' 1 2\n",  "--- -- - " + std::string(129, '-') + " - ^", "Output string too long"},
        {"KEY F1 = '" + text127 + "A'\n",     "--- -- - " + std::string(130, '^'), "Output string too long"},
        {"KEY F1 = 1 '" + text126 + "A'\n",   "--- -- - - " + std::string(129, '^'), "Output string too long"},
        {"CHAR 400 = 1\n",                    "---- ^^^",        "Must be less than 256"},
        {"CHAR 0141 = 0101\nCHAR 0x61 = 1\n", "---- ^^^^",       "Character code 61(hex) already defined"},
        {"CHAR 9 = 1\n",                      "---- ^",          "Expected an octal number"},
        {"GRAPHIC 0161 = x\n",                "------- ---- - ^","Expected an octal number"},
        {"GRAPHIC 0161 0x2500\n",             "------- ---- ^^^^^^", "Expected ="},
        {"IDSTRING = '" + text127 + "A'\n",   "-------- - " + std::string(130, '^'), "I.D. string too long"},
        {"IDSTRING = '" + text126 + "' 1 2\n","-------- - " + std::string(128, '-') + " - ^", "I.D. string too long"},
        {"IDSTRING =\n",                      "-------- -^",     "Expected I.D. bytes"},
        {"80COLUMNMODE = 128\n",              "------------ - ^^^", "Must be less than 128 or 0x80"},
        {"80COLUMNMODE = 12x\n",              "------------ - ^^^", "Expected a decimal number"},
        {"TYPE =\n",                          "---- -^",         "Expected terminal type"},
        {"TYPE = VT220\n",                    "---- - ^^^^^",    "Invalid terminal type"},
        {"8COLUMNMODE = 5\n",                 "^^^^^^^^^^^",     "Invalid token"},
        {"COLOR Blink\n",                     "----- -----^",    "Missing ="},
        {"COLOR Bold = White\n",              "----- ---- ^",    "Invalid VT100 attribute"},
        {"COLOR 16 = White\n",                "----- -- ^",      "Invalid VT100 attribute"},
        {"COLOR Blink =\n",                   "----- ----- -^",  "Invalid screen attribute"},
        {"COLOR Blink = White On Pink\n",     "----- ----- - ----- -- ----^", "Invalid screen attribute"},
        {"; comment\n\nTYPE = VT100\n  key\tf1 = \"\\q\"\n", "  ---\t-- - ----^", "Illegal \\ usage"},
    };
    // clang-format on
    for (const ErrorCase& c : cases) {
        const std::string report = Load(c.text);
        const std::string body = c.text.substr(0, c.text.size() - 1);
        const auto lines = static_cast<int>(std::count(c.text.begin(), c.text.end(), '\n'));
        EXPECT_EQ(report, Report(lines, body.substr(body.rfind('\n') + 1), c.marker, c.message))
            << c.text;
        EXPECT_FALSE(Definition().loaded) << c.text;
    }
}

TEST_F(DefinitionFile, AMissingFileEndsTheProgramWithItsName) {
    const std::string missing = (directory_ / "nowhere" / "VT100.CNF").string();
    EXPECT_EQ(LoadFile(missing), "Can't open configuration file: " + missing);
}

TEST_F(DefinitionFile, KeyOutputsReadNumbersAndUpperCasedText) {
    const std::string q127(127, 'Q');
    const std::string q126(126, 'Q');
    struct Case {
        std::string line;
        std::int32_t code;
        std::string bytes;
    };
    // clang-format off
    const Case cases[] = {
        {"KEY F1 = 033 '[11~'",          0x13B, "\x1b[11~"},
        {"KEY F1 = 033 0117 0160",       0x13B, "\x1bOp"},
        {"KEY F1 = '1'",                 0x13B, std::string(1, '\x01')},
        {"KEY F1 = '-'",                 0x13B, std::string(1, '\0')},
        {"KEY F1 = ~",                   0x13B, "\xff"},
        {"KEY F1 = 33 033 0x1B 27.",     0x13B, "\x1b\x1b\x1b\x1b"},
        {"KEY F1 = ab\"c d\"'e;f'",      0x13B, "ABC DE;F"},
        {"KEY F1 = \"\\033[A\"",         0x13B, "\x1b[A"},
        {"key f1 = 1 ; a comment",       0x13B, "\x01"},
        {"KEY '\"a\"' = 1",              0x041, "\x01"}, // the key word is upper-cased too
        {"KEY 1377 = 1",                 0x2FF, "\x01"},
        {"KEY kpdzero = 1",              0x252, "\x01"},
        {"FKEY 073 = 1",                 0x13B, "\x01"},
        {"KEY F1 = 'xy' 'z' 0 ''",       0x13B, std::string("XYZ\0", 4)},
        {"KEY F1 = %HOME%",              0x13B, "%HOME%"}, // no variable substitution here
        // Numbers fill one byte each up to 128; a text must leave the total below 128.
        {"KEY F1 = '" + q127 + "' 1",    0x13B, q127 + "\x01"},
        {"KEY F1 = '" + q127 + "'",      0x13B, q127},
        {"KEY F1 = 1 '" + q126 + "'",    0x13B, "\x01" + q126},
    };
    // clang-format on
    for (const Case& c : cases) {
        LoadOk(c.line + "\n");
        EXPECT_EQ(Bytes(Definition().keyMap, c.code), c.bytes) << c.line;
        EXPECT_EQ(Definition().keyMap.entries.size(), 1u) << c.line;
    }
}

TEST_F(DefinitionFile, EachKeyCommandFillsItsOwnMap) {
    LoadOk("KEY UP = 1\n"
           "AKEY UP = 2\n"
           "52KEY UP = 3\n"
           "52AKEY UP = 4\n"
           "AKEY F1 = 6\n");
    const TerminalDefinition& d = Definition();
    EXPECT_EQ(d.keyMap.entries.size(), 1u);
    EXPECT_EQ(Bytes(d.keyMap, 0x148), "\x01");
    EXPECT_EQ(Bytes(d.appKeyMap, 0x148), "\x02");
    EXPECT_EQ(Bytes(d.vt52KeyMap, 0x148), "\x03");
    EXPECT_EQ(Bytes(d.vt52AppKeyMap, 0x148), "\x04");
    EXPECT_EQ(Bytes(d.appKeyMap, 0x13B), "\x06");
}

// A key-down string is stored under its own identifier, and the key's
// key-down code sends that identifier, low byte first.
TEST_F(DefinitionFile, KeyDownStoresTheStringUnderAnIdentifier) {
    LoadOk("KEYDOWN UP = 033 '[A'\n"
           "KEYDOWN 0x0FFFFFFF = 1\n"
           "KEY UP = 2\n");
    const TerminalDefinition& d = Definition();
    EXPECT_EQ(Bytes(d.keyMap, 0x8000), "\x1b[A");
    EXPECT_EQ(Bytes(d.keyMap, static_cast<std::int32_t>(0x80000148u)), std::string("\x00\x80", 2));
    EXPECT_EQ(Bytes(d.keyMap, 0x8001), "\x01");
    EXPECT_EQ(Bytes(d.keyMap, static_cast<std::int32_t>(0x8FFFFFFFu)), std::string("\x01\x80", 2));
    EXPECT_EQ(Bytes(d.keyMap, 0x148), "\x02");
    EXPECT_EQ(d.nextKeyDownId, 0x8002u);
    EXPECT_EQ(d.keyMap.entries.size(), 5u);
}

TEST_F(DefinitionFile, CharAndGraphicMapReceivedBytes) {
    LoadOk("CHAR 0141 = 0101\n"
           "CHAR 377 = 0x2588\n"
           "CHAR -1 = 7\n" // below 256 as a signed number
           "GRAPHIC 0x71 = 0xFFF8\n"
           "GRAPHIC 0170 = 0x12502\n"
           "GRAPHIC 255. = 9.\n");
    const TerminalDefinition& d = Definition();
    ASSERT_NE(CharMapFind(d.charMap, 0x61), nullptr);
    EXPECT_EQ(CharMapFind(d.charMap, 0x61)->value, 0x41u);
    EXPECT_EQ(CharMapFind(d.charMap, 0xFF)->value, 0x2588u);
    ASSERT_NE(CharMapFind(d.charMap, -1), nullptr);
    EXPECT_EQ(CharMapFind(d.charMap, -1)->value, 7u);
    EXPECT_EQ(CharMapFind(d.graphicMap, 0x71)->value, 0xFFF8u);
    EXPECT_EQ(CharMapFind(d.graphicMap, 0x78)->value, 0x12502u); // any value is kept
    EXPECT_EQ(CharMapFind(d.graphicMap, 0xFF)->value, 9u);
    EXPECT_EQ(CharMapFind(d.charMap, 0x71), nullptr);
}

TEST_F(DefinitionFile, IdStringAndTypeTakeTheirValues) {
    const std::string i127(127, 'i');
    const std::string i126(126, 'i');
    const std::string vt100 = "\x1b[?1;0c"; // the reply without IDSTRING
    // clang-format off
    const struct { std::string text; std::string id; bool vt52; bool genrad; } cases[] = {
        {"IDSTRING = 033 '[?1;2c'",             "\x1b[?1;2c",   false, false},
        {"idstring = abc",                      "abc",          false, false}, // case kept
        {"IDSTRING = '" + i127 + "'",           i127,           false, false},
        {"IDSTRING = '" + i126 + "' 0x41",      i126 + "A",     false, false},
        {"IDSTRING = 033 0 'x'",                "\x1b",         false, false}, // ends at its first 0
        {"TYPE = vt52",                         vt100,          true,  false},
        {"TYPE = VT52\nTYPE = vt100",           vt100,          false, false},
        {"TYPE = GENRAD\nTYPE = VT100",         vt100,          false, true},  // nothing clears GENRAD
        {"TYPE = genrad\nTYPE = VT52",          vt100,          true,  true},
        {"type = \"VT52\"",                     vt100,          true,  false},
    };
    // clang-format on
    for (const auto& c : cases) {
        LoadOk(c.text + "\n");
        EXPECT_EQ(Definition().idString, c.id) << c.text;
        EXPECT_EQ(Definition().vt52Type, c.vt52) << c.text;
        EXPECT_EQ(Definition().genradType, c.genrad) << c.text;
    }
}

TEST_F(DefinitionFile, ColorWritesEveryAttributeWithTheCombination) {
    LoadOk("COLOR Highlight Underline = Yellow On Blue\n"
           "color reverse,blink = 14 on 1\n"
           "COLOR Normal = 1 On 4095\n"); // 0xFFF1: only the low byte is kept
    for (int attribute = 0; attribute < 256; ++attribute) {
        const int combination = attribute & 0x0F;
        const std::uint8_t expected = combination == 12  ? 0x16
                                      : combination == 3 ? 0x1E
                                      : combination == 0 ? 0xF1
                                                         : 0x5A;
        EXPECT_EQ(colours_[attribute], expected) << attribute;
    }
}

TEST_F(DefinitionFile, ColumnModesAndReadOncePerProcess) {
    LoadOk("TYPE = VT52\n132COLUMNMODE = 0x7F\n80COLUMNMODE = 012\n");
    EXPECT_EQ(Definition().columnMode132, 127u);
    EXPECT_EQ(Definition().columnMode80, 10u);
    // A second load, even of a file that does not exist, changes nothing.
    ScopedFatalCapture capture;
    LoadTerminalDefinition((directory_ / "missing.cnf").string());
    EXPECT_TRUE(Definition().vt52Type);
}

TEST_F(DefinitionFile, ErrorsInIncludedFilesNameTheIncludingLine) {
    const std::string more = Write("more.cnf", "KEY F2 = 2\nKEY F1 = 3\n");
    const std::string report = Load("KEY F1 = 1\nINCLUDE " + more + "\n");
    EXPECT_EQ(report, "Error in line 2 of " + more + "\n    from line 2 of " + path_ +
                          "\nKEY F1 = 3\n--- ^^\nKey code 013B (F1) already defined\n");
}

TEST_F(DefinitionFile, TheShippedDefinitionGivesAVt100Keyboard) {
    ASSERT_EQ(LoadFile(KESTRA_SOURCE_DIR "/data/VT100.CNF"), "");
    const TerminalDefinition& d = TheTerminalDefinition();
    ASSERT_TRUE(d.loaded);
    EXPECT_FALSE(d.vt52Type);
    EXPECT_EQ(d.idString, "\x1b[?1;0c");
    // Up in both keypad modes, PF1 in both dialects, a keypad digit.
    EXPECT_EQ(Bytes(d.keyMap, 0x148), "\x1b[A");
    EXPECT_EQ(Bytes(d.appKeyMap, 0x148), "\x1bOA");
    EXPECT_EQ(Bytes(d.vt52KeyMap, 0x148), "\033A");
    EXPECT_EQ(Bytes(d.keyMap, 0x13B), "\x1bOP");
    EXPECT_EQ(Bytes(d.vt52KeyMap, 0x13B), "\x1bP");
    EXPECT_EQ(Bytes(d.keyMap, 0x252), "0");
    EXPECT_EQ(Bytes(d.appKeyMap, 0x252), "\x1bOp");
    // The special graphics set from 0x5F to 0x7E: q is scan line 5, x a vertical line.
    EXPECT_EQ(d.graphicMap.entries.size(), 32u);
    ASSERT_NE(CharMapFind(d.graphicMap, 'q'), nullptr);
    EXPECT_EQ(CharMapFind(d.graphicMap, 'q')->value, 0xFFF8u);
    ASSERT_NE(CharMapFind(d.graphicMap, 'x'), nullptr);
    EXPECT_EQ(CharMapFind(d.graphicMap, 'x')->value, 0x2502u);
}
