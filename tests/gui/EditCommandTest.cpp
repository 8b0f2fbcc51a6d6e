#include "shell/EditCommand.h"

#include <gtest/gtest.h>

using namespace kestra::shell;

namespace {

struct FormatCase {
    const char* format;
    const char* expected;
};

// File "a.cnf", line 12, column 7 throughout.
TEST(EditCommandFormat, HonoursOnlyTheFileNameTwoNumbersAndPercent) {
    // clang-format off
    const FormatCase cases[] = {
        { "xdg-open %s",          "xdg-open a.cnf"           },
        { "NotePad %s",           "NotePad a.cnf"            },  // line and column unused
        { "vi +%d %s",            "vi +12 a.cnf"             },
        { "ed %s:%d:%d",          "ed a.cnf:12:7"            },
        { "ed %s:%i:%u",          "ed a.cnf:12:7"            },
        { "ed %d %d %d",          "ed 12 7 %d"               },  // a third number has no value
        { "%s%s%s",               "a.cnfa.cnfa.cnf"          },
        { "100%% %s",             "100% a.cnf"               },
        { "ed %n %s",             "ed %n a.cnf"              },  // never writes through an argument
        { "ed %*d %s",            "ed %*d a.cnf"             },
        { "ed %5d",               "ed %5d"                   },
        { "ed %x %p %f %c %ls",   "ed %x %p %f %c %ls"       },
        { "trailing %",           "trailing %"               },
        { "%",                    "%"                        },
        { "",                     ""                         },
        { "%%s",                  "%s"                       },
    };
    // clang-format on
    for (const FormatCase& row : cases) {
        EXPECT_EQ(FormatEditCommand(row.format, "a.cnf", 12, 7), row.expected)
            << "format " << row.format;
    }
}

TEST(EditCommandFormat, FileNameIsNeverReadAsFormat) {
    EXPECT_EQ(FormatEditCommand("ed %s %d", "%d%s%n.cnf", 3, 4), "ed %d%s%n.cnf 3");
}

struct SplitCase {
    const char* line;
    std::vector<std::string> words;
};

TEST(EditCommandSplit, BlanksSeparateAndQuotesGroup) {
    // clang-format off
    const SplitCase cases[] = {
        { "xdg-open %s",                   {"xdg-open", "%s"}                 },
        { "  gvim   --remote  %s  ",       {"gvim", "--remote", "%s"}         },
        { "\"/opt/my editor/ed\" \"%s\"",  {"/opt/my editor/ed", "%s"}        },
        { "ed \"\"",                       {"ed", ""}                         },
        { "ed a\"b c\"d",                  {"ed", "ab cd"}                    },
        { "ed \"unclosed %s",              {"ed", "unclosed %s"}              },
        { "ed\t%s",                        {"ed", "%s"}                       },
        { "",                              {}                                 },
        { "   ",                           {}                                 },
    };
    // clang-format on
    for (const SplitCase& row : cases) {
        EXPECT_EQ(SplitCommandWords(row.line), row.words) << "line " << row.line;
    }
}

TEST(EditCommandArguments, FileNameWithBlanksStaysOneArgument) {
    EXPECT_EQ(EditorArguments("xdg-open %s", "/home/u/my config.cnf", 0, 0),
              (std::vector<std::string>{"xdg-open", "/home/u/my config.cnf"}));
}

TEST(EditCommandArguments, NumbersCountAcrossWords) {
    EXPECT_EQ(EditorArguments("ed +%d %s --col=%d --x=%d", "f.cnf", 9, 3),
              (std::vector<std::string>{"ed", "+9", "f.cnf", "--col=3", "--x=%d"}));
}

} // namespace
