#include "termdef/TerminalDefinition.h"

#include <algorithm>

namespace kestra::termdef {

namespace {

// Binary search over entries sorted by signed code; the tables are small and
// looked up once per typed key or received byte.
template <typename Entry>
const Entry* FindSorted(const std::vector<Entry>& entries, std::int32_t code) {
    auto found =
        std::lower_bound(entries.begin(), entries.end(), code,
                         [](const Entry& entry, std::int32_t c) { return entry.code < c; });
    if (found == entries.end() || found->code != code) {
        return nullptr;
    }
    return &*found;
}

// Returns the entry for code, inserting a new one in order when there is none.
template <typename Entry>
Entry& FindOrInsert(std::vector<Entry>& entries, std::int32_t code) {
    auto place = std::find_if(entries.begin(), entries.end(),
                              [code](const Entry& entry) { return entry.code >= code; });
    if (place == entries.end() || place->code != code) {
        place = entries.insert(place, Entry{code, {}});
    }
    return *place;
}

} // namespace

const KeyEntry* KeyMapFind(const KeyMap& map, std::int32_t code) {
    return FindSorted(map.entries, code);
}

void KeyMapPut(KeyMap& map, std::int32_t code, std::string_view bytes) {
    FindOrInsert(map.entries, code).bytes.assign(bytes);
}

const CharEntry* CharMapFind(const CharMap& map, std::int32_t code) {
    return FindSorted(map.entries, code);
}

void CharMapPut(CharMap& map, std::int32_t code, std::uint32_t value) {
    FindOrInsert(map.entries, code).value = value;
}

TerminalDefinition& TheTerminalDefinition() {
    static TerminalDefinition definition;
    return definition;
}

void ResetTerminalDefinition() {
    TheTerminalDefinition() = TerminalDefinition{};
}

} // namespace kestra::termdef
