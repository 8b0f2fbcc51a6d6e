// Runs every emulator fixture in tests/emulator/fixtures/*.txt. A case starts
// with "=== title" and lists, in any order:
//   options --rows N --width 80|132 --autowrap --8bit --reset
//   def type vt52|genrad|vt100 / def char|graphic CODE VALUE /
//   def key|akey|52key|52akey CODE BYTES / def idstring BYTES
//   push BYTES (received; several lines concatenate) / keys LIST (typed last)
// and expected lines in the kestra-replay shape, of which only those listed
// are compared: size, cursor, region, attr, bells, sent (the whole line),
// modes k=v (the fields listed), row N L|TEXT, aN|HEX ("aN|": no attributes).
// BYTES are written with escapes \e \r \n \t \b \\ \xHH; '#' starts a comment.
//
// Each case runs fed three ways, which must agree: in runs as the console's
// reader hands bytes over, in runs of one byte, and through ReceiveByte. Then
// the bytes are received again, counting allocations: there must be none.

#include "emulator/ReplaySession.h"
#include "termdef/parsing/Numbers.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <new>
#include <sstream>

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void* Counted(std::size_t size) noexcept {
    allocations += counting.load(std::memory_order_relaxed) ? 1 : 0;
    return std::malloc(size == 0 ? 1 : size);
}

void* CountedOrThrow(std::size_t size) {
    void* block = Counted(size);
    return block ? block : throw std::bad_alloc();
}

} // namespace

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

// Every form is replaced, so that no block allocated by one allocator is
// released by another (a sanitizer's own operator new[] or nothrow new would
// otherwise meet this file's delete).
// clang-format off
void* operator new(std::size_t size) { return CountedOrThrow(size); }
void* operator new[](std::size_t size) { return CountedOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Counted(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Counted(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
// clang-format on

namespace kestra::emulator {
namespace {

struct FixtureCase {
    std::string where; // file:line (title)
    ReplayOptions options;
    bool reset = false;
    std::vector<std::string> definitions; // "def" lines, applied in order
    std::string bytes;
    std::vector<std::int32_t> keys;
    std::vector<std::pair<std::string, std::string>> expected; // file:line, text
    std::string error; // a malformed fixture fails its case with this
};

std::string Unescape(std::string_view text, std::string& error) {
    constexpr std::string_view Simple = "e\x1br\rn\nt\tb\b\\\\";
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t value = 0;
        if (text[i] != '\\' || i + 1 == text.size()) {
            bytes += text[i];
        } else if (const std::size_t at = Simple.find(text[++i]); at % 2 == 0) {
            bytes += Simple[at + 1];
        } else if (text[i] == 'x' && i + 2 < text.size() &&
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

void AddLine(FixtureCase& fixture, const std::string& where, const std::string& text) {
    const std::string word = text.substr(0, text.find(' '));
    const std::string rest = text.substr(std::min(text.size(), word.size() + 1));
    const std::vector<std::string> words = Words(rest);
    if (word == "def") {
        fixture.definitions.push_back(rest);
    } else if (word == "push") {
        fixture.bytes += Unescape(rest, fixture.error);
    } else if (word == "keys" && !ParseKeyList(rest, fixture.keys)) {
        fixture.error = "bad key list " + rest;
    } else if (word != "keys" && word != "options") {
        fixture.expected.emplace_back(where, text);
    }
    for (std::size_t i = 0; word == "options" && i < words.size(); ++i) {
        ReplayOptions& options = fixture.options;
        if ((words[i] == "--rows" || words[i] == "--width") && i + 1 < words.size()) {
            (words[i] == "--rows" ? options.rows : options.width) = std::stoul(words[i + 1]);
            ++i;
        } else if (words[i] == "--autowrap" || words[i] == "--8bit" || words[i] == "--reset") {
            (words[i] == "--autowrap" ? options.autowrap
             : words[i] == "--8bit"   ? options.eightBit
                                      : fixture.reset) = true;
        } else {
            fixture.error = "unknown option " + words[i];
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
        const std::size_t first = cases.size();
        std::string text;
        for (int line = 1; std::getline(input, text); ++line) {
            const std::string where = path.filename().string() + ":" + std::to_string(line);
            if (text.starts_with("=== ")) {
                cases.emplace_back().where = where + " (" + text.substr(4) + ")";
            } else if (!text.empty() && text[0] != '#') {
                if (cases.size() == first) {
                    ADD_FAILURE() << where << ": line before the first case";
                } else {
                    AddLine(cases.back(), where, text);
                }
            }
        }
    }
    return cases;
}

// Fills the process-wide definition as the fixture says; nothing is read.
std::string ApplyDefinitions(const FixtureCase& fixture) {
    termdef::ResetTerminalDefinition();
    termdef::TerminalDefinition& definition = termdef::TheTerminalDefinition();
    const std::map<std::string, termdef::KeyMap*> keyMaps = {{"key", &definition.keyMap},
                                                             {"akey", &definition.appKeyMap},
                                                             {"52key", &definition.vt52KeyMap},
                                                             {"52akey", &definition.vt52AppKeyMap}};
    std::string error;
    for (const std::string& line : fixture.definitions) {
        std::vector<std::string> words = Words(line);
        words.resize(std::max<std::size_t>(words.size(), 3));
        const std::string& kind = words[0];
        std::uint32_t code = 0;
        std::uint32_t value = 0;
        const bool coded = termdef::ReadNumber(words[1], code, 8);
        if (kind == "type") {
            definition.vt52Type = words[1] == "vt52";
            definition.genradType = definition.genradType || words[1] == "genrad";
        } else if (kind == "idstring") {
            definition.idString = Unescape(line.substr(line.find(' ') + 1), error);
        } else if (coded && (kind == "char" || kind == "graphic") &&
                   termdef::ReadNumber(words[2], value, 8)) {
            termdef::CharMapPut(kind == "char" ? definition.charMap : definition.graphicMap,
                                static_cast<std::int32_t>(code), value);
        } else if (coded && keyMaps.contains(kind)) {
            termdef::KeyMapPut(*keyMaps.at(kind), static_cast<std::int32_t>(code),
                               Unescape(words[2], error));
        } else {
            return "bad def line: " + line;
        }
    }
    definition.loaded = true;
    return error;
}

// The session's description keyed as a fixture names its lines: "size",
// "modes", "row 3" (the line with its key in front), "a3" (present for every
// row, as "a3|" when the row holds no attribute).
std::map<std::string, std::string> Described(const ReplaySession& session, unsigned rows) {
    const std::vector<std::string> lines = session.Describe();
    std::map<std::string, std::string> keyed;
    for (unsigned r = 0; r < rows; ++r) {
        keyed["row " + std::to_string(r)] = "row " + std::to_string(r) + " " + lines[7 + r];
        keyed["a" + std::to_string(r)] = "a" + std::to_string(r) + "|";
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i < 7 || i >= 7 + rows) {
            keyed[lines[i].substr(0, lines[i].find_first_of(" |"))] = lines[i];
        }
    }
    return keyed;
}

// Replies and bells that allocate nothing, for the counted pass.
unsigned quietReplies = 0;

enum class Feed { Runs, OneByteRuns, ReceiveByte };

void Receive(ReplaySession& session, std::string_view bytes, Feed feed, bool eightBit) {
    if (feed == Feed::Runs) {
        session.Receive(bytes);
    }
    for (std::size_t i = 0; feed != Feed::Runs && i < bytes.size(); ++i) {
        if (feed == Feed::OneByteRuns) {
            session.Receive(bytes.substr(i, 1));
        } else {
            ReceiveByte(session.emulator(),
                        static_cast<std::uint8_t>(bytes[i] & (eightBit ? 0xFF : 0x7F)));
        }
    }
}

TEST(EmulatorFixtures, ProduceTheExpectedStateWithoutAllocating) {
    // The counter itself must see an allocation, or the check below proves nothing.
    counting = true;
    delete new std::string(100, 'x');
    counting = false;
    ASSERT_GT(allocations.load(), 0);

    const std::vector<FixtureCase> cases = LoadFixtures();
    ASSERT_GT(cases.size(), 100u);
    for (const FixtureCase& fixture : cases) {
        SCOPED_TRACE(fixture.where);
        const std::string error = fixture.error.empty() ? ApplyDefinitions(fixture) : fixture.error;
        if (!error.empty() || fixture.expected.empty()) {
            ADD_FAILURE() << (error.empty() ? "the case expects nothing" : error);
            continue;
        }
        for (const Feed feed : {Feed::Runs, Feed::OneByteRuns, Feed::ReceiveByte}) {
            ReplaySession session(fixture.options);
            Receive(session, fixture.bytes, feed, fixture.options.eightBit);
            if (fixture.reset) {
                session.Reset();
            }
            for (std::int32_t code : fixture.keys) {
                session.Type(code);
            }
            std::map<std::string, std::string> actual =
                Described(session, session.emulator().screen.rows);
            for (const auto& [where, text] : fixture.expected) {
                const std::size_t keyEnd =
                    text.starts_with("row ") ? text.find(' ', 4) : text.find_first_of(" |");
                const std::string& found = actual[text.substr(0, keyEnd)];
                // A modes line names only the fields it checks.
                const bool holds =
                    text.starts_with("modes ")
                        ? std::ranges::all_of(
                              Words(text),
                              [&](const auto& field) {
                                  return (" " + found + " ").find(" " + field + " ") !=
                                         std::string::npos;
                              })
                        : found == text;
                EXPECT_TRUE(holds) << where << ": expected  " << text << "\n  actual  " << found
                                   << "\n  fed " << static_cast<int>(feed);
            }
        }
        ReplaySession quiet(fixture.options);
        quiet.emulator().SendByte = [](Emulator&, std::uint8_t) { return ++quietReplies, 1; };
        quiet.emulator().RingBell = [](Emulator&) {};
        allocations = 0;
        counting = true;
        Receive(quiet, fixture.bytes, Feed::Runs, fixture.options.eightBit);
        Receive(quiet, fixture.bytes, Feed::ReceiveByte, fixture.options.eightBit);
        counting = false;
        EXPECT_EQ(allocations.load(), 0) << "receiving allocated";
    }
    EXPECT_GT(quietReplies, 10u) << "the counted pass never reached a reply";
    termdef::ResetTerminalDefinition();
}

} // namespace
} // namespace kestra::emulator
