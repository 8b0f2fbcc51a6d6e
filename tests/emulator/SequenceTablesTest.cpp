#include "emulator/Vt100Sequences.h"
#include "emulator/Vt52Sequences.h"

#include <gtest/gtest.h>
#include <set>

namespace kestra::emulator {
namespace {

// A byte listed twice would silently lose its second action.
TEST(SequenceTablesTest, EscapeTablesListEachByteOnce) {
    const struct {
        const char* name;
        std::span<const EscapeAction> table;
    } tables[] = {{"VT100", Vt100EscapeTable()}, {"VT52", Vt52EscapeTable()}};
    for (const auto& entry : tables) {
        std::set<char> seen;
        for (const EscapeAction& action : entry.table) {
            EXPECT_TRUE(seen.insert(action.byte).second) << entry.name << " " << action.byte;
        }
    }
}

} // namespace
} // namespace kestra::emulator
