#include "shell/EditCommand.h"

#include <gtest/gtest.h>

using namespace kestra::shell;

namespace {

struct FormatCase {
    const char* format;
    const char* file;
    const char* expected;
};

// Line 12, column 7 throughout.
TEST(EditCommandFormat, HonoursOnlyTheFileNameTwoNumbersAndPercent) {
    // clang-format off
    const FormatCase cases[] = {
        { "vi +%d %s",            "a.cnf",      "vi +12 a.cnf"          },
        { "ed %s:%i:%u",          "a.cnf",      "ed a.cnf:12:7"         },
        { "ed %d %d %d",          "a.cnf",      "ed 12 7 %d"            },  // a third number has no value
        { "%s%s%s",               "a.cnf",      "a.cnfa.cnfa.cnf"       },
        { "100%% %%s",            "a.cnf",      "100% %s"               },
        { "ed %n %*d %5d %s",     "a.cnf",      "ed %n %*d %5d a.cnf"   },  // never writes through an argument
        { "ed %x %p %f %c %ls",   "a.cnf",      "ed %x %p %f %c %ls"    },
        { "trailing %",           "a.cnf",      "trailing %"            },
        { "ed %s %d",             "%d%s%n.cnf", "ed %d%s%n.cnf 12"      },  // the name is never a format
    };
    // clang-format on
    for (const FormatCase& row : cases) {
        EXPECT_EQ(FormatEditCommand(row.format, row.file, 12, 7), row.expected)
            << "format " << row.format;
    }
}

struct SplitCase {
    const char* line;
    std::vector<std::string> words;
};

TEST(EditCommandSplit, BlanksSeparateAndQuotesGroup) {
    // clang-format off
    const SplitCase cases[] = {
        { "  gvim \t --remote  %s  ",      {"gvim", "--remote", "%s"}         },
        { "\"/opt/my editor/ed\" \"%s\"",  {"/opt/my editor/ed", "%s"}        },
        { "ed \"\"",                       {"ed", ""}                         },
        { "ed a\"b c\"d",                  {"ed", "ab cd"}                    },
        { "ed \"unclosed %s",              {"ed", "unclosed %s"}              },
        { "   ",                           {}                                 },
    };
    // clang-format on
    for (const SplitCase& row : cases) {
        EXPECT_EQ(SplitCommandWords(row.line), row.words) << "line " << row.line;
    }
}

// A file name with blanks stays one argument; the numbers count across words.
TEST(EditCommandArguments, SplitBeforeFormatting) {
    EXPECT_EQ(EditorArguments("xdg-open %s", "/home/u/my config.cnf", 0, 0),
              (std::vector<std::string>{"xdg-open", "/home/u/my config.cnf"}));
    EXPECT_EQ(EditorArguments("ed +%d %s --col=%d --x=%d", "f.cnf", 9, 3),
              (std::vector<std::string>{"ed", "+9", "f.cnf", "--col=3", "--x=%d"}));
}

} // namespace
