#include "config/OptionTable.h"

#include <gtest/gtest.h>
#include <string>

namespace kestra::config {
namespace {

// A keyword in both tables would never reach its command.
TEST(OptionTables, NoKeywordIsInBothTables) {
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
