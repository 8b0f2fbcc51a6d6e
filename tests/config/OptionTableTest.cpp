#include "config/OptionTable.h"

#include "termdef/parsing/AsciiText.h"

#include <cctype>
#include <gtest/gtest.h>
#include <string>

namespace kestra::config {
namespace {

// Every keyword is found by itself, in upper case and in lower case.
template <typename Table>
void ExpectEveryRowFoundInAnyCase(const Table& table) {
    for (const OptionRow& row : table) {
        std::string upper(row.name);
        std::string lower(row.name);
        for (std::size_t at = 0; at < upper.size(); ++at) {
            upper[at] = AsciiUpper(upper[at]);
            lower[at] = static_cast<char>(std::tolower(static_cast<unsigned char>(upper[at])));
        }
        for (const std::string& name : {std::string(row.name), upper, lower}) {
            EXPECT_EQ(TableLookup<OptionRow>(name, table), &row) << name;
        }
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

TEST(OptionTables, LookupMissesNearNamesAndTheFirstMatchWins) {
    for (const char* name : {"", "Titl", "Titles", "Title=Console", "CONS", "QuietMode "}) {
        EXPECT_EQ(TableLookup<OptionRow>(name, OptionTable), nullptr) << name;
    }
    EXPECT_EQ(TableLookup<OptionRow>("CO", CommandTable), nullptr);
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
