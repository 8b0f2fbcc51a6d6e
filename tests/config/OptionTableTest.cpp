#include "config/OptionTable.h"

#include "termdef/parsing/AsciiText.h"

#include <gtest/gtest.h>
#include <string>

namespace kestra::config {
namespace {

template <typename Table>
void ExpectEveryRowFoundInAnyCase(const Table& table) {
    for (const OptionRow& row : table) {
        EXPECT_EQ(TableLookup<OptionRow>(row.name, table), &row) << row.name;
        std::string upper(row.name);
        std::string lower(row.name);
        for (std::size_t at = 0; at < upper.size(); ++at) {
            upper[at] = AsciiUpper(upper[at]);
            lower[at] = upper[at] >= 'A' && upper[at] <= 'Z' ? static_cast<char>(upper[at] + 32)
                                                             : upper[at];
        }
        EXPECT_EQ(TableLookup<OptionRow>(upper, table), &row) << row.name;
        EXPECT_EQ(TableLookup<OptionRow>(lower, table), &row) << row.name;
    }
}

TEST(OptionTables, EveryKeywordIsFoundInAnyCaseAndOnlyOnce) {
    ExpectEveryRowFoundInAnyCase(OptionTable);
    ExpectEveryRowFoundInAnyCase(CommandTable);
    // A keyword in both tables would never reach its command.
    for (const OptionRow& command : CommandTable) {
        EXPECT_EQ(TableLookup<OptionRow>(command.name, OptionTable), nullptr) << command.name;
    }
}

TEST(OptionTables, LookupMissesNearNames) {
    for (const char* name : {"", "Titl", "Titles", "Title=Console", "CONS", "QuietMode "}) {
        EXPECT_EQ(TableLookup<OptionRow>(name, OptionTable), nullptr) << name;
    }
    EXPECT_EQ(TableLookup<OptionRow>("CO", CommandTable), nullptr);
}

TEST(OptionTables, FirstMatchWins) {
    // clang-format off
    static constexpr OptionRow doubled[] = {
        {"Same", SetFlag,   &GlobalOptions::quietMode,    kPass1, false},
        {"SAME", SetFlag,   &GlobalOptions::splashBorder, kPass1, false},
    };
    // clang-format on
    EXPECT_EQ(TableLookup<OptionRow>("same", doubled), &doubled[0]);
}

} // namespace
} // namespace kestra::config
