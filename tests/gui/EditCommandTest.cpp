#include "GuiTestSupport.h"

namespace kestra::shell::testing {

// The command line is split into words first (blanks separate, quotes group,
// "" is an empty word), then each word is formatted: only %s, two numbers
// (the line, then the column: 12 and 7 here) and %% have a meaning; nothing
// is ever written through an argument, and the file name is never a format.
TEST(EditCommand, WordsAreSplitThenFormattedWithOnlyTheFileTwoNumbersAndPercent) {
    struct Row {
        const char* command;
        const char* file;
        std::vector<std::string> arguments;
    };
    // clang-format off
    const Row rows[] = {
        {"vi +%d %s",                   "a.cnf",         {"vi", "+12", "a.cnf"}},
        {"ed %s:%i:%u",                 "a.cnf",         {"ed", "a.cnf:12:7"}},
        {"ed +%d %s --col=%d --x=%d",   "a.cnf",         {"ed", "+12", "a.cnf", "--col=7", "--x=%d"}},
        {"%s%s%s",                      "a.cnf",         {"a.cnfa.cnfa.cnf"}},
        {"100%% %%s",                   "a.cnf",         {"100%", "%s"}},
        {"ed %n %*d %5d %s",            "a.cnf",         {"ed", "%n", "%*d", "%5d", "a.cnf"}},
        {"ed %x %p %f %c %ls trailing%", "a.cnf",        {"ed", "%x", "%p", "%f", "%c", "%ls", "trailing%"}},
        {"ed %s %d",                    "%d%s%n.cnf",    {"ed", "%d%s%n.cnf", "12"}},
        {"xdg-open %s",                 "/home/my a.cnf", {"xdg-open", "/home/my a.cnf"}},
        {"  gvim \t --remote  %s  ",    "a.cnf",         {"gvim", "--remote", "a.cnf"}},
        {"\"/opt/my editor/ed\" \"%s\"", "a.cnf",        {"/opt/my editor/ed", "a.cnf"}},
        {"ed \"\" a\"b c\"d",           "a.cnf",         {"ed", "", "ab cd"}},
        {"ed \"unclosed %s",            "a.cnf",         {"ed", "unclosed a.cnf"}},
        {"   ",                         "a.cnf",         {}},
    };
    // clang-format on
    for (const Row& row : rows) {
        EXPECT_EQ(EditorArguments(row.command, row.file, 12, 7), row.arguments) << row.command;
    }
}

} // namespace kestra::shell::testing
