#include "platform/Exit.h"
#include "termdef/TerminalDefinition.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

using namespace kestra::termdef;
using kestra::platform::FatalError;
using kestra::platform::ScopedFatalCapture;

namespace {

std::string Bytes(const KeyMap& map, std::int32_t code) {
    const KeyEntry* entry = KeyMapFind(map, code);
    return entry == nullptr ? "<none>" : entry->bytes;
}

// Each test starts from the definition as the process starts with it, writes
// its definition text to a file of its own and loads it.
class DefinitionFile : public ::testing::Test {
protected:
    void SetUp() override {
        ResetTerminalDefinition();
        colours_.fill(0x5A);
        TheTerminalDefinition().colourTarget = &colours_;
        directory_ = std::filesystem::path(::testing::TempDir()) /
                     ("kestra-termdef-" + std::to_string(::getpid()) + "-" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(directory_);
    }

    void TearDown() override {
        ResetTerminalDefinition();
        std::filesystem::remove_all(directory_);
    }

    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = (directory_ / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    // Loads text as a definition file; the report of the error it ends with,
    // or the empty string when it loads.
    std::string Load(const std::string& text) {
        path_ = Write("VT100.CNF", text);
        ScopedFatalCapture capture;
        try {
            LoadTerminalDefinition(path_);
        } catch (const FatalError& error) {
            return std::string(error.message());
        }
        return {};
    }

    void LoadOk(const std::string& text) {
        const std::string report = Load(text);
        ASSERT_EQ(report, "") << text;
        ASSERT_TRUE(TheTerminalDefinition().loaded);
    }

    // The located report for the last line of the file, marker as '-'.
    std::string Report(int line, const std::string& text, const std::string& marker,
                       const std::string& message) const {
        return "Error in line " + std::to_string(line) + " of " + path_ + "\n" + text + "\n" +
               marker + "\n" + message + "\n";
    }

    const TerminalDefinition& Definition() const { return TheTerminalDefinition(); }

    ColourMap colours_{};
    std::filesystem::path directory_;
    std::string path_;
};

struct ErrorCase {
    std::string text;   // the whole file; the error is on its last line
    std::string marker; // the marker line under it
    std::string message;
};

std::string LastLine(const std::string& text) {
    std::string body = text;
    if (!body.empty() && body.back() == '\n') {
        body.pop_back();
    }
    return body.substr(body.rfind('\n') == std::string::npos ? 0 : body.rfind('\n') + 1);
}

int LineCount(const std::string& text) {
    int lines = 0;
    for (char c : text) {
        lines += c == '\n';
    }
    return lines;
}

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
        ResetTerminalDefinition();
        TheTerminalDefinition().colourTarget = &colours_;
        const std::string report = Load(c.text);
        EXPECT_EQ(report, Report(LineCount(c.text), LastLine(c.text), c.marker, c.message))
            << c.text;
        EXPECT_FALSE(Definition().loaded) << c.text;
    }
}

TEST_F(DefinitionFile, AMissingFileEndsTheProgramWithItsName) {
    const std::string missing = (directory_ / "nowhere" / "VT100.CNF").string();
    ScopedFatalCapture capture;
    try {
        LoadTerminalDefinition(missing);
        ADD_FAILURE() << "loaded a missing file";
    } catch (const FatalError& error) {
        EXPECT_EQ(error.message(), "Can't open configuration file: " + missing);
    }
}

TEST_F(DefinitionFile, KeyOutputsReadNumbersAndUpperCasedText) {
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
    };
    // clang-format on
    for (const Case& c : cases) {
        ResetTerminalDefinition();
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

// Numbers fill one byte each up to 128; a text must leave the total below 128.
TEST_F(DefinitionFile, KeyOutputLimitIs128Bytes) {
    const std::string text127(127, 'Q');
    LoadOk("KEY F1 = '" + text127 +
           "' 1\n"
           "KEY F2 = '" +
           text127 +
           "'\n"
           "KEY F3 = 1 '" +
           std::string(126, 'Q') + "'\n");
    EXPECT_EQ(Bytes(Definition().keyMap, 0x13B), text127 + "\x01");
    EXPECT_EQ(Bytes(Definition().keyMap, 0x13C), text127);
    EXPECT_EQ(Bytes(Definition().keyMap, 0x13D), "\x01" + std::string(126, 'Q'));
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

TEST_F(DefinitionFile, IdStringKeepsCaseUpTo127Bytes) {
    struct Case {
        std::string line;
        std::string id;
    };
    const Case cases[] = {
        {"IDSTRING = 033 '[?1;2c'", "\x1b[?1;2c"},
        {"idstring = abc", "abc"},
        {"IDSTRING = '" + std::string(127, 'i') + "'", std::string(127, 'i')},
        {"IDSTRING = '" + std::string(126, 'i') + "' 0x41", std::string(126, 'i') + "A"},
        {"IDSTRING = 033 0 'x'", "\x1b"}, // the reply stops at its first 0 byte
    };
    for (const Case& c : cases) {
        ResetTerminalDefinition();
        LoadOk(c.line + "\n");
        EXPECT_EQ(Definition().idString, c.id) << c.line;
    }
}

TEST_F(DefinitionFile, Type) {
    struct Case {
        std::string text;
        bool vt52;
        bool genrad;
    };
    const Case cases[] = {
        {"TYPE = vt52\n", true, false},
        {"TYPE = VT52\nTYPE = vt100\n", false, false},
        {"TYPE = GENRAD\nTYPE = VT100\n", false, true}, // nothing clears GENRAD
        {"TYPE = genrad\nTYPE = VT52\n", true, true},
        {"type = \"VT52\"\n", true, false},
    };
    for (const Case& c : cases) {
        ResetTerminalDefinition();
        LoadOk(c.text);
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

TEST_F(DefinitionFile, IncludedFilesAreReadWhereTheyAreNamed) {
    const std::string more = Write("more.cnf", "KEY F2 = 2\n\n; nothing else\n");
    LoadOk("KEY F1 = 1\ninclude " + more + " rest is ignored\nKEY F3 = 3\n");
    EXPECT_EQ(Bytes(Definition().keyMap, 0x13B), "\x01");
    EXPECT_EQ(Bytes(Definition().keyMap, 0x13C), "\x02");
    EXPECT_EQ(Bytes(Definition().keyMap, 0x13D), "\x03");
}

TEST_F(DefinitionFile, ErrorsInIncludedFilesNameTheIncludingLine) {
    const std::string more = Write("more.cnf", "KEY F2 = 2\nKEY F1 = 3\n");
    const std::string report = Load("KEY F1 = 1\nINCLUDE " + more + "\n");
    EXPECT_EQ(report, "Error in line 2 of " + more + "\n    from line 2 of " + path_ +
                          "\nKEY F1 = 3\n--- ^^\nKey code 013B (F1) already defined\n");
}

// The definition that ships with KESTRA loads and gives a VT100 keyboard.
TEST(ShippedDefinition, LoadsAndSendsVt100Sequences) {
    const char* data = std::getenv("KESTRA_DATA");
    const std::string directory = data != nullptr ? data : KESTRA_SOURCE_DIR "/data";
    ResetTerminalDefinition();
    ColourMap colours{};
    TheTerminalDefinition().colourTarget = &colours;
    {
        ScopedFatalCapture capture;
        try {
            LoadTerminalDefinition(directory + "/VT100.CNF");
        } catch (const FatalError& error) {
            FAIL() << error.message();
        }
    }
    const TerminalDefinition& d = TheTerminalDefinition();
    ASSERT_TRUE(d.loaded);
    EXPECT_FALSE(d.vt52Type);
    EXPECT_EQ(d.idString, "\x1b[?1;0c");

    // The cursor and keypad keys in each mode, and a line-drawing glyph.
    EXPECT_EQ(Bytes(d.keyMap, 0x148), "\x1b[A");
    EXPECT_EQ(Bytes(d.appKeyMap, 0x148), "\x1bOA");
    EXPECT_EQ(Bytes(d.vt52KeyMap, 0x148), "\033A");
    EXPECT_EQ(Bytes(d.keyMap, 0x252), "0");
    EXPECT_EQ(Bytes(d.appKeyMap, 0x252), "\x1bOp");
    EXPECT_EQ(d.graphicMap.entries.size(), 32u); // 0x5F to 0x7E
    ASSERT_NE(CharMapFind(d.graphicMap, 'q'), nullptr);
    EXPECT_EQ(CharMapFind(d.graphicMap, 'q')->value, 0xFFF8u);
    ResetTerminalDefinition();
}
