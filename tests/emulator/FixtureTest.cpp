// Runs every case of tests/emulator/fixtures/*.txt: "=== title", options
// (--rows N --width N --autowrap --8bit --reset --vt102), def lines filling the
// terminal definition by hand, push BYTES, keys LIST (typed last) and expected
// lines in the kestra-replay shape, compared only where listed (a modes or
// vt102 line for its fields; "aN|": row N has no attribute). Each case is fed three ways
// that must agree (in runs as the console's reader hands bytes over, in runs of
// one byte, through ReceiveByte), then again counting allocations: none allowed.

#include "emulator/ReplaySession.h"
#include "parsing/Numbers.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <new>
#include <optional>
#include <set>
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

// Every form, so that no block goes from one allocator to another's release
// (a sanitizer's own operator new[] or nothrow new would meet this delete).
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
    termdef::TerminalDefinition definition; // plain maps unless the case says otherwise
    bool reset = false;
    std::string bytes;
    std::vector<std::int32_t> keys;
    std::vector<std::pair<int, std::string>> expected; // line number, text
};

std::string Unescape(std::string_view text) {
    constexpr std::string_view kSimple = "e\x1br\rn\nt\tb\b\\\\";
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t value = 0;
        if (text[i] != '\\' || i + 1 == text.size()) {
            bytes += text[i];
        } else if (const std::size_t at = kSimple.find(text[++i]); at % 2 == 0) {
            bytes += kSimple[at + 1];
        } else if (text[i] == 'x' && i + 2 < text.size() &&
                   parsing::ReadHex(text.substr(i + 1, 2), value)) {
            bytes += static_cast<char>(value);
            i += 2;
        } else {
            ADD_FAILURE() << "bad escape in: " << text;
        }
    }
    return bytes;
}

std::vector<std::string> Words(std::string_view text) {
    std::istringstream stream{std::string(text)};
    return {std::istream_iterator<std::string>(stream), {}};
}

// One line of a case.
void AddLine(FixtureCase& fixture, int line, const std::string& text) {
    termdef::TerminalDefinition& definition = fixture.definition;
    const std::map<std::string, termdef::KeyMap*> keyMaps = {{"key", &definition.keyMap},
                                                             {"akey", &definition.appKeyMap},
                                                             {"52key", &definition.vt52KeyMap},
                                                             {"52akey", &definition.vt52AppKeyMap}};
    std::vector<std::string> words = Words(text);
    words.resize(std::max<std::size_t>(words.size(), 4));
    const std::string rest = text.substr(std::min(text.size(), words[0].size() + 1));
    std::uint32_t code = 0, value = 0;
    const bool def = words[0] == "def" && parsing::ReadNumber(words[2], code, 8);
    if (words[0] == "def" && words[1] == "type") {
        definition.vt52Type = words[2] == "vt52";
        definition.genradType = definition.genradType || words[2] == "genrad";
    } else if (words[0] == "def" && words[1] == "idstring") {
        definition.idString = Unescape(rest.substr(rest.find(' ') + 1));
    } else if (def && (words[1] == "char" || words[1] == "graphic") &&
               parsing::ReadNumber(words[3], value, 8)) {
        termdef::CharMapPut(words[1] == "char" ? definition.charMap : definition.graphicMap,
                            static_cast<std::int32_t>(code), value);
    } else if (def && keyMaps.contains(words[1])) {
        termdef::KeyMapPut(*keyMaps.at(words[1]), static_cast<std::int32_t>(code),
                           Unescape(words[3]));
    } else if (words[0] == "push") {
        fixture.bytes += Unescape(rest);
    } else if (words[0] == "keys") {
        EXPECT_TRUE(parsing::ReadNumberList(rest, 8, fixture.keys)) << "bad key list";
    } else if (words[0] == "def") {
        ADD_FAILURE() << "bad definition";
    } else if (words[0] != "options") {
        fixture.expected.emplace_back(line, text);
    }
    for (std::size_t i = 1; words[0] == "options" && i < words.size() && !words[i].empty(); ++i) {
        ReplayOptions& options = fixture.options;
        if (words[i] == "--rows" || words[i] == "--width") {
            (words[i] == "--rows" ? options.rows : options.width) = std::stoul(words.at(i + 1));
            ++i;
        } else if (words[i] == "--autowrap" || words[i] == "--8bit" || words[i] == "--reset" ||
                   words[i] == "--vt102") {
            (words[i] == "--autowrap" ? options.autowrap
             : words[i] == "--8bit"   ? options.eightBit
             : words[i] == "--vt102"  ? options.vt102
                                      : fixture.reset) = true;
        } else {
            ADD_FAILURE() << "unknown option " << words[i];
        }
    }
}

enum class Feed { Runs, OneByteRuns, ReceiveByte };

void Receive(ReplaySession& session, std::string_view bytes, Feed feed, bool eightBit) {
    for (std::size_t i = 0; i < bytes.size(); i += feed == Feed::Runs ? bytes.size() : 1) {
        if (feed == Feed::ReceiveByte) {
            ReceiveByte(session.emulator(), bytes[i] & (eightBit ? 0xFF : 0x7F));
        } else {
            session.Receive(bytes.substr(i, feed == Feed::Runs ? bytes.npos : 1));
        }
    }
}

unsigned quietReplies = 0;

void RunCase(const FixtureCase& fixture, const std::string& file) {
    SCOPED_TRACE(fixture.where);
    ASSERT_FALSE(fixture.expected.empty()) << "the case expects nothing";
    for (const Feed feed : {Feed::Runs, Feed::OneByteRuns, Feed::ReceiveByte}) {
        ReplaySession session(fixture.options, fixture.definition);
        Receive(session, fixture.bytes, feed, fixture.options.eightBit);
        if (fixture.reset) {
            session.Reset();
        }
        for (std::int32_t code : fixture.keys) {
            session.Type(code);
        }
        const std::vector<std::string> lines = session.Describe();
        for (const auto& [line, text] : fixture.expected) {
            // The line starting with the same word; "row N" the line of row N.
            const std::string key = text.substr(0, text.find_first_of(" |") + 1);
            std::string actual = key.starts_with('a') && key.ends_with('|') ? key : "";
            for (const std::string& described : lines) {
                actual = described.starts_with(key) ? described : actual;
            }
            if (key == "row ") {
                const unsigned row = std::stoul(text.substr(4));
                actual = row < session.emulator().screen.rows
                             ? "row " + std::to_string(row) + " " +
                                   lines[(fixture.options.vt102 ? 8 : 7) + row]
                             : "";
            }
            const bool fields = key == "modes " || key == "vt102 ";
            bool holds = fields || actual == text;
            for (const std::string& field : Words(fields ? text : "")) {
                holds = holds && (" " + actual + " ").find(" " + field + " ") != std::string::npos;
            }
            EXPECT_TRUE(holds) << file << ":" << line << ": expected  " << text << "\n  actual  "
                               << actual << "\n  fed " << static_cast<int>(feed);
        }
    }
    struct : TerminalOutput {
        void SendByte(std::uint8_t) override { ++quietReplies; }
        void RingBell() override {}
    } counter;
    ReplaySession quiet(fixture.options, fixture.definition);
    quiet.emulator().output = &counter;
    allocations = 0;
    counting = true;
    Receive(quiet, fixture.bytes, Feed::Runs, fixture.options.eightBit);
    Receive(quiet, fixture.bytes, Feed::ReceiveByte, fixture.options.eightBit);
    counting = false;
    EXPECT_EQ(allocations.load(), 0) << "receiving allocated";
}

TEST(EmulatorFixtures, ProduceTheExpectedStateWithoutAllocating) {
    // The counter itself must see an allocation, or the check below proves nothing.
    counting = true;
    delete new std::string(100, 'x');
    counting = false;
    ASSERT_GT(allocations.load(), 0);

    const std::filesystem::directory_iterator listing(std::filesystem::path(KESTRA_SOURCE_DIR) /
                                                      "tests/emulator/fixtures");
    for (const auto& path : std::set<std::filesystem::path>(begin(listing), end(listing))) {
        std::ifstream input(path);
        const std::string file = path.filename().string();
        std::optional<FixtureCase> fixture;
        std::string text;
        for (int line = 1;; ++line) {
            const bool more = static_cast<bool>(std::getline(input, text));
            if (fixture && (!more || text.starts_with("=== "))) {
                RunCase(*fixture, file);
            }
            SCOPED_TRACE(file + ":" + std::to_string(line));
            if (!more) {
                break;
            } else if (text.starts_with("=== ")) {
                fixture.emplace().where = file + ":" + std::to_string(line) + " (" + text + ")";
            } else if (!text.empty() && text[0] != '#') {
                ASSERT_TRUE(fixture) << "a line before the first case";
                AddLine(*fixture, line, text);
            }
        }
    }
    EXPECT_GT(quietReplies, 10u) << "the counted pass never reached a reply";
}

} // namespace
} // namespace kestra::emulator
