// Runs every emulator fixture in tests/emulator/fixtures/*.txt.
//
// A fixture file holds cases; each starts with "=== title" and lists, in any
// order:
//   options --rows N --width 80|132 --autowrap --8bit --reset
//   def type vt52|genrad|vt100      terminal definition, filled by hand
//   def char|graphic CODE VALUE     character map entries (program notation)
//   def key|akey|52key|52akey CODE BYTES
//   def idstring BYTES
//   push BYTES                      received bytes; several lines concatenate
//   keys LIST                       typed after the input (and the reset)
// and expected lines in the kestra-replay shape, of which only those listed
// are compared:
//   size / cursor / region / attr / bells / sent ...  the whole line
//   modes k=v ...                   only the fields listed
//   row N L|TEXT                    the line of row N
//   aN|HEX                          the attribute line of row N ("aN|": none)
// BYTES are written with escapes: \e \r \n \t \b \\ \xHH.
// Lines starting with '#' and blank lines are ignored.
//
// Each case runs twice: all bytes in one call, and one byte per call.

#include "emulator/ReplaySession.h"
#include "termdef/parsing/Numbers.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace kestra::emulator {
namespace {

struct FixtureCase {
    std::string file;
    int line = 0;
    std::string title;
    ReplayOptions options;
    bool reset = false;
    std::vector<std::string> definitions; // "def" lines, applied in order
    std::string bytes;
    std::vector<std::int32_t> keys;
    std::vector<std::pair<int, std::string>> expected; // line number, text
    std::string error; // a malformed fixture fails its case with this
};

std::string Unescape(std::string_view text, std::string& error) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            bytes += text[i];
            continue;
        }
        const char kind = text[++i];
        const std::string_view simple = "e\x1br\rn\nt\tb\b\\\\";
        std::uint32_t value = 0;
        if (const std::size_t at = simple.find(kind); at != simple.npos && at % 2 == 0) {
            bytes += simple[at + 1];
        } else if (kind == 'x' && i + 2 < text.size() &&
                   termdef::ReadHex(text.substr(i + 1, 2), value)) {
            bytes += static_cast<char>(value);
            i += 2;
        } else {
            error = "bad escape in: " + std::string(text);
        }
    }
    return bytes;
}

std::vector<std::string> Words(std::string_view text) {
    std::istringstream stream{std::string(text)};
    std::vector<std::string> words;
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    return words;
}

void ParseOptions(FixtureCase& fixture, std::string_view text) {
    const std::vector<std::string> words = Words(text);
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if ((word == "--rows" || word == "--width") && i + 1 < words.size()) {
            const unsigned value = static_cast<unsigned>(std::stoul(words[++i]));
            (word == "--rows" ? fixture.options.rows : fixture.options.width) = value;
        } else if (word == "--autowrap" || word == "--8bit" || word == "--reset") {
            (word == "--autowrap" ? fixture.options.autowrap
             : word == "--8bit"   ? fixture.options.eightBit
                                  : fixture.reset) = true;
        } else {
            fixture.error = "unknown option " + word;
        }
    }
}

std::vector<FixtureCase> LoadFixtures() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(KESTRA_SOURCE_DIR) / "tests/emulator/fixtures")) {
        if (entry.path().extension() == ".txt") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<FixtureCase> cases;
    for (const auto& path : files) {
        std::ifstream input(path);
        std::string text;
        const std::string file = path.filename().string();
        for (int lineNumber = 1; std::getline(input, text); ++lineNumber) {
            if (text.empty() || text[0] == '#') {
                continue;
            }
            if (text.starts_with("=== ")) {
                cases.emplace_back().title = text.substr(4);
                cases.back().file = file;
                cases.back().line = lineNumber;
                continue;
            }
            if (cases.empty() || cases.back().file != file) {
                ADD_FAILURE() << path << ":" << lineNumber << ": line before the first case";
                continue;
            }
            FixtureCase& fixture = cases.back();
            const std::size_t space = text.find(' ');
            const std::string word = text.substr(0, space);
            const std::string rest = space == std::string::npos ? "" : text.substr(space + 1);
            if (word == "options") {
                ParseOptions(fixture, rest);
            } else if (word == "def") {
                fixture.definitions.push_back(rest);
            } else if (word == "push") {
                fixture.bytes += Unescape(rest, fixture.error);
            } else if (word == "keys") {
                if (!ParseKeyList(rest, fixture.keys)) {
                    fixture.error = "bad key list " + rest;
                }
            } else {
                fixture.expected.emplace_back(lineNumber, text);
            }
        }
    }
    return cases;
}

// Fills the process-wide definition as the fixture says; nothing is read.
std::string ApplyDefinitions(const FixtureCase& fixture) {
    termdef::ResetTerminalDefinition();
    termdef::TerminalDefinition& definition = termdef::TheTerminalDefinition();
    std::string error;
    for (const std::string& line : fixture.definitions) {
        const std::vector<std::string> words = Words(line);
        const std::string kind = words.empty() ? "" : words[0];
        std::uint32_t code = 0;
        std::uint32_t value = 0;
        termdef::KeyMap* const keys = kind == "key"      ? &definition.keyMap
                                      : kind == "akey"   ? &definition.appKeyMap
                                      : kind == "52key"  ? &definition.vt52KeyMap
                                      : kind == "52akey" ? &definition.vt52AppKeyMap
                                                         : nullptr;
        if (kind == "type" && words.size() == 2) {
            definition.vt52Type = words[1] == "vt52";
            definition.genradType = definition.genradType || words[1] == "genrad";
        } else if (kind == "idstring") {
            definition.idString = Unescape(line.substr(line.find(' ') + 1), error);
        } else if (words.size() < 3 || !termdef::ReadNumber(words[1], code, 8)) {
            return "bad def line: " + line;
        } else if ((kind == "char" || kind == "graphic") &&
                   termdef::ReadNumber(words[2], value, 8)) {
            termdef::CharMapPut(kind == "char" ? definition.charMap : definition.graphicMap,
                                static_cast<std::int32_t>(code), value);
        } else if (keys) {
            termdef::KeyMapPut(*keys, static_cast<std::int32_t>(code), Unescape(words[2], error));
        } else {
            return "bad def line: " + line;
        }
    }
    definition.loaded = true;
    return error;
}

// Compares one expected line against the described state; empty when it holds.
std::string Check(const std::string& expected, const std::vector<std::string>& actual,
                  unsigned rows) {
    const std::string word = expected.substr(0, expected.find(' '));
    constexpr std::size_t FirstRowLine = 7;
    if (word == "row") {
        std::istringstream stream(expected.substr(4));
        unsigned row = 0;
        stream >> row;
        std::string rest;
        std::getline(stream, rest);
        if (row >= rows) {
            return "no row " + std::to_string(row);
        }
        const std::string& line = actual[FirstRowLine + row];
        return " " + line == rest ? "" : "row " + std::to_string(row) + " is  " + line;
    }
    if (word.size() > 1 && word[0] == 'a' && expected.find('|') != std::string::npos) {
        const std::string prefix = expected.substr(0, expected.find('|') + 1);
        auto found = std::find_if(actual.begin(), actual.end(), [&](const std::string& line) {
            return line.starts_with(prefix);
        });
        const std::string line = found == actual.end() ? prefix : *found;
        return line == expected ? "" : "attributes are  " + line;
    }
    const auto rowsStart = actual.begin() + FirstRowLine;
    auto found = std::find_if(actual.begin(), rowsStart, [&](const std::string& line) {
        return line.substr(0, line.find(' ')) == word;
    });
    if (found == rowsStart) {
        return "unknown expectation";
    }
    if (word == "modes") {
        for (const std::string& field : Words(expected.substr(6))) {
            if ((" " + *found + " ").find(" " + field + " ") == std::string::npos) {
                return "modes are  " + *found;
            }
        }
        return "";
    }
    return *found == expected ? "" : "actual  " + *found;
}

struct FixtureRun {
    FixtureCase fixture;
    bool bytewise;
};

class EmulatorFixture : public testing::TestWithParam<FixtureRun> {};

TEST_P(EmulatorFixture, ProducesTheExpectedScreen) {
    const auto& [fixture, bytewise] = GetParam();
    SCOPED_TRACE(fixture.file + ":" + std::to_string(fixture.line) + " (" + fixture.title + ")" +
                 (bytewise ? " one byte at a time" : ""));
    const std::string error = fixture.error.empty() ? ApplyDefinitions(fixture) : fixture.error;
    ASSERT_EQ(error, "");
    ASSERT_FALSE(fixture.expected.empty()) << "the case expects nothing";

    ReplaySession session(fixture.options);
    for (std::size_t at = 0; at < fixture.bytes.size(); at += bytewise ? 1 : fixture.bytes.size()) {
        session.Receive(
            std::string_view(fixture.bytes).substr(at, bytewise ? 1 : std::string::npos));
    }
    if (fixture.reset) {
        session.Reset();
    }
    for (std::int32_t code : fixture.keys) {
        session.Type(code);
    }
    const std::vector<std::string> actual = session.Describe();
    for (const auto& [line, text] : fixture.expected) {
        EXPECT_EQ(Check(text, actual, session.emulator().screen.rows), "")
            << fixture.file << ":" << line << ": expected  " << text;
    }
    termdef::ResetTerminalDefinition();
}

std::vector<FixtureRun> AllRuns() {
    std::vector<FixtureRun> runs;
    for (const FixtureCase& fixture : LoadFixtures()) {
        runs.push_back({fixture, false});
        runs.push_back({fixture, true});
    }
    return runs;
}

std::string RunName(const testing::TestParamInfo<FixtureRun>& info) {
    std::string name = info.param.fixture.file + "_" + std::to_string(info.param.fixture.line) +
                       (info.param.bytewise ? "_bytewise" : "_whole");
    std::replace_if(
        name.begin(), name.end(),
        [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, EmulatorFixture, testing::ValuesIn(AllRuns()), RunName);

} // namespace
} // namespace kestra::emulator
