#include "config/OptionTable.h"

#include "termdef/parsing/AsciiText.h"

#include <gtest/gtest.h>
#include <string>

namespace kestra::config {
namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& character : lower) {
        if (character >= 'A' && character <= 'Z') {
            character = static_cast<char>(character - 'A' + 'a');
        }
    }
    return lower;
}

template <typename Table>
void ExpectEveryRowFoundInAnyCase(const Table& table) {
    for (const OptionRow& row : table) {
        EXPECT_EQ(TableLookup<OptionRow>(row.name, table), &row) << row.name;
        EXPECT_EQ(TableLookup<OptionRow>(Lower(row.name), table), &row) << row.name;
        std::string upper(row.name);
        for (char& character : upper) {
            character = AsciiUpper(character);
        }
        EXPECT_EQ(TableLookup<OptionRow>(upper, table), &row) << row.name;
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
