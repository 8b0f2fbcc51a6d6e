// A terminal definition file and up to three files it may include, from one
// input cut at NUL bytes (VT100.CNF, a.cnf, b.cnf, c.cnf). The definition is
// either read whole, with every table sorted, unique and within its limits,
// or refused with one located report; a second load never reads again.

#include "FuzzSupport.h"
#include "platform/Exit.h"
#include "termdef/TerminalDefinitionFile.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using namespace kestra::termdef;
using kestra::fuzz::Require;
using kestra::fuzz::StartsWith;

constexpr std::array<const char*, 4> kFileNames = {"VT100.CNF", "a.cnf", "b.cnf", "c.cnf"};

// Sorted by signed code, unique, every entry found by the binary search.
void CheckKeyMap(const KeyMap& map, bool plainKeysOnly, std::uint32_t nextKeyDownId) {
    for (std::size_t i = 0; i < map.entries.size(); ++i) {
        const KeyEntry& entry = map.entries[i];
        Require(i == 0 || map.entries[i - 1].code < entry.code, "key map out of order");
        Require(KeyMapFind(map, entry.code) == &entry, "key entry not found");
        Require(!entry.bytes.empty() && entry.bytes.size() <= 128, "key output length");
        const bool plain = entry.code >= 0 && entry.code <= 0x3FF;
        if (plainKeysOnly) {
            Require(entry.code >= 0 && entry.code <= 767, "key code out of range");
        } else {
            // KEY and FKEY codes, KEYDOWN codes (top bit set) and the ids
            // their output strings are kept under.
            const bool keyDownId =
                entry.code >= 0x8000 && static_cast<std::uint32_t>(entry.code) < nextKeyDownId;
            Require(plain || entry.code < 0 || keyDownId, "key code out of range");
        }
    }
}

void CheckCharMap(const CharMap& map) {
    for (std::size_t i = 0; i < map.entries.size(); ++i) {
        const CharEntry& entry = map.entries[i];
        Require(i == 0 || map.entries[i - 1].code < entry.code, "character map out of order");
        Require(entry.code <= 255, "character code above 255");
        Require(CharMapFind(map, entry.code) == &entry, "character entry not found");
    }
}

std::size_t EntryCount(const TerminalDefinition& definition) {
    return definition.keyMap.entries.size() + definition.appKeyMap.entries.size() +
           definition.vt52KeyMap.entries.size() + definition.vt52AppKeyMap.entries.size() +
           definition.charMap.entries.size() + definition.graphicMap.entries.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The main file is named with its path; included files are found through
    // the CNF search list. The current directory is left alone: libFuzzer
    // reads its corpus by relative names.
    static const bool ready = ::setenv("CNF", kestra::fuzz::ScratchDirectory().c_str(), 1) == 0;
    Require(ready, "scratch directory");
    const std::string mainFile = kestra::fuzz::ScratchPath(kFileNames[0]);
    const std::vector<std::string> pieces = kestra::fuzz::SplitAtNul(data, size, kFileNames.size());
    for (std::size_t i = 0; i < kFileNames.size(); ++i) {
        kestra::fuzz::PutScratchFile(kFileNames[i], i < pieces.size() ? &pieces[i] : nullptr);
    }

    ResetTerminalDefinition();
    TerminalDefinition& definition = TheTerminalDefinition();
    kestra::platform::ScopedFatalCapture capture;
    try {
        LoadTerminalDefinition(mainFile);
    } catch (const kestra::platform::FatalError& error) {
        Require(StartsWith(error.message(), "Error in line "), "report without its place",
                error.message());
        Require(!definition.loaded, "a refused definition counts as loaded");
        return 0;
    }
    Require(definition.loaded, "not marked loaded");
    Require(definition.idString.size() <= 127, "identification string above 127 bytes");
    Require(definition.nextKeyDownId >= 0x8000, "key-down ids");
    CheckKeyMap(definition.keyMap, false, definition.nextKeyDownId);
    for (const KeyMap* map :
         {&definition.appKeyMap, &definition.vt52KeyMap, &definition.vt52AppKeyMap}) {
        CheckKeyMap(*map, true, 0);
    }
    CheckCharMap(definition.charMap);
    CheckCharMap(definition.graphicMap);

    // Read once per process: a second load changes nothing, even when the
    // file is gone.
    const std::size_t entries = EntryCount(definition);
    kestra::fuzz::PutScratchFile(kFileNames[0], nullptr);
    LoadTerminalDefinition(mainFile);
    Require(EntryCount(definition) == entries, "a second load read the file again");
    return 0;
}
