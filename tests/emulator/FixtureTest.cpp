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

struct Expectation {
    int line;
    std::string text;
};

struct FixtureCase {
    std::string file;
    int line = 0;
    std::string title;
    ReplayOptions options;
    bool reset = false;
    std::vector<std::string> definitions; // "def" lines, applied in order
    std::string bytes;
    std::vector<std::int32_t> keys;
    std::vector<Expectation> expected;
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
        switch (kind) {
        case 'e': bytes += '\x1b'; break;
        case 'r': bytes += '\r'; break;
        case 'n': bytes += '\n'; break;
        case 't': bytes += '\t'; break;
        case 'b': bytes += '\b'; break;
        case '\\': bytes += '\\'; break;
        case 'x': {
            std::uint32_t value = 0;
            if (i + 2 >= text.size() || !termdef::ReadHex(text.substr(i + 1, 2), value)) {
                error = "bad \\x escape in: " + std::string(text);
                return bytes;
            }
            bytes += static_cast<char>(value);
            i += 2;
            break;
        }
        default: error = std::string("unknown escape \\") + kind; return bytes;
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
        } else if (word == "--autowrap") {
            fixture.options.autowrap = true;
        } else if (word == "--8bit") {
            fixture.options.eightBit = true;
        } else if (word == "--reset") {
            fixture.reset = true;
        } else {
            fixture.error = "unknown option " + word;
        }
    }
}

std::vector<FixtureCase> LoadFixtures() {
    std::vector<FixtureCase> cases;
    const std::filesystem::path directory =
        std::filesystem::path(KESTRA_SOURCE_DIR) / "tests/emulator/fixtures";
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        if (entry.path().extension() == ".txt") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    for (const auto& path : files) {
        std::ifstream input(path);
        std::string text;
        int lineNumber = 0;
        while (std::getline(input, text)) {
            ++lineNumber;
            if (text.empty() || text[0] == '#') {
                continue;
            }
            if (text.rfind("=== ", 0) == 0) {
                FixtureCase fixture;
                fixture.file = path.filename().string();
                fixture.line = lineNumber;
                fixture.title = text.substr(4);
                cases.push_back(std::move(fixture));
                continue;
            }
            if (cases.empty() || cases.back().file != path.filename().string()) {
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
                fixture.expected.push_back({lineNumber, text});
            }
        }
    }
    return cases;
}

// Fills the process-wide definition as the fixture says; nothing is read.
void ApplyDefinitions(const FixtureCase& fixture, std::string& error) {
    termdef::ResetTerminalDefinition();
    termdef::TerminalDefinition& definition = termdef::TheTerminalDefinition();
    for (const std::string& line : fixture.definitions) {
        const std::vector<std::string> words = Words(line);
        if (words.size() < 2) {
            error = "short def line: " + line;
            return;
        }
        const std::string& kind = words[0];
        if (kind == "type") {
            definition.vt52Type = words[1] == "vt52";
            definition.genradType = definition.genradType || words[1] == "genrad";
            continue;
        }
        if (kind == "idstring") {
            definition.idString = Unescape(line.substr(line.find(' ') + 1), error);
            continue;
        }
        std::uint32_t code = 0;
        if (words.size() < 3 || !termdef::ReadNumber(words[1], code, 8)) {
            error = "bad def line: " + line;
            return;
        }
        if (kind == "char" || kind == "graphic") {
            std::uint32_t value = 0;
            if (!termdef::ReadNumber(words[2], value, 8)) {
                error = "bad value: " + line;
                return;
            }
            termdef::CharMapPut(kind == "char" ? definition.charMap : definition.graphicMap,
                                static_cast<std::int32_t>(code), value);
            continue;
        }
        termdef::KeyMap* map = kind == "key"      ? &definition.keyMap
                               : kind == "akey"   ? &definition.appKeyMap
                               : kind == "52key"  ? &definition.vt52KeyMap
                               : kind == "52akey" ? &definition.vt52AppKeyMap
                                                  : nullptr;
        if (!map) {
            error = "unknown def kind: " + kind;
            return;
        }
        termdef::KeyMapPut(*map, static_cast<std::int32_t>(code), Unescape(words[2], error));
    }
    definition.loaded = true;
}

std::string FirstWord(const std::string& line) {
    return line.substr(0, line.find(' '));
}

// Compares one expected line against the described state; empty when it holds.
std::string Check(const std::string& expected, const std::vector<std::string>& actual,
                  unsigned rows) {
    const std::string word = FirstWord(expected);
    constexpr std::size_t FirstRowLine = 7;
    if (word == "row") {
        std::istringstream stream(expected.substr(4));
        unsigned row = 0;
        stream >> row;
        std::string rest;
        std::getline(stream, rest);
        rest.erase(0, 1);
        if (row >= rows) {
            return "no row " + std::to_string(row);
        }
        const std::string& line = actual[FirstRowLine + row];
        return line == rest ? "" : "row " + std::to_string(row) + " is  " + line;
    }
    if (word.size() > 1 && word[0] == 'a' && expected.find('|') != std::string::npos) {
        const std::string prefix = expected.substr(0, expected.find('|') + 1);
        auto found = std::find_if(actual.begin(), actual.end(), [&](const std::string& line) {
            return line.rfind(prefix, 0) == 0;
        });
        const std::string line = found == actual.end() ? prefix : *found;
        return line == expected ? "" : "attributes are  " + line;
    }
    auto found = std::find_if(actual.begin(), actual.begin() + FirstRowLine,
                              [&](const std::string& line) { return FirstWord(line) == word; });
    if (found == actual.begin() + FirstRowLine) {
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
    const FixtureCase& fixture = GetParam().fixture;
    const std::string where = fixture.file + ":" + std::to_string(fixture.line) + " (" +
                              fixture.title + ")" + (GetParam().bytewise ? " bytewise" : "");
    std::string error = fixture.error;
    if (error.empty()) {
        ApplyDefinitions(fixture, error);
    }
    ASSERT_TRUE(error.empty()) << where << ": " << error;
    ASSERT_FALSE(fixture.expected.empty()) << where << ": the case expects nothing";

    ReplaySession session(fixture.options);
    if (GetParam().bytewise) {
        for (char byte : fixture.bytes) {
            session.Receive(std::string_view(&byte, 1));
        }
    } else {
        session.Receive(fixture.bytes);
    }
    if (fixture.reset) {
        session.Reset();
    }
    for (std::int32_t code : fixture.keys) {
        session.Type(code);
    }
    const std::vector<std::string> actual = session.Describe();
    for (const Expectation& expectation : fixture.expected) {
        const std::string problem = Check(expectation.text, actual, session.emulator().screen.rows);
        EXPECT_TRUE(problem.empty())
            << fixture.file << ":" << expectation.line << ": " << fixture.title
            << (GetParam().bytewise ? " (one byte at a time)" : "") << "\n  expected  "
            << expectation.text << "\n  " << problem;
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
