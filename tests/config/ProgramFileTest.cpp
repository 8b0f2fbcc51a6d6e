#include "ConfigTestSupport.h"

namespace kestra::config::testing {
namespace {

class ProgramFiles : public LexerFilesTest {};

TEST_F(ProgramFiles, FindProgramFileTriesItsPlacesInOrder) {
    // Each place holds the files named in its column; '@' is the root.
    for (const char* file :
         {"prog/K.CNF", "prog/sub/S.CNF", "K.CNF", "sub/S.CNF", "kestra/M.CNF", "path/M.CNF",
          "path/E.CNF", "ext/E.CNF", "ext/F.CNF", "ext/G.CONFIG", "cn/G.CN", "path/X.CNF"}) {
        Write(file, file);
    }
    SetProgramDirectory(root_ + "/prog");
    ScopedEnvironment kestra("KESTRA", root_ + "/kestra");
    ScopedEnvironment path("PATH", root_ + "/path");
    ScopedEnvironment cnf("CNF", root_ + "/ext");
    ScopedEnvironment config("CONFIG", root_ + "/ext");
    ScopedEnvironment cn("CN", root_ + "/cn");
    // clang-format off
    const struct { const char* name; std::string expected; } rows[] = {
        {"K.CNF",           root_ + "/prog/K.CNF"},   // program directory before the current one
        {"k.cnf",           root_ + "/prog/K.CNF"},
        {"sub/S.CNF",       "sub/S.CNF"},             // a directory: not in the program directory
        {"M.CNF",           root_ + "/kestra/M.CNF"}, // KESTRA before PATH
        {"E.CNF",           root_ + "/path/E.CNF"},   // PATH before the extension's variable
        {"F.CNF",           root_ + "/ext/F.CNF"},
        {"G.CN",            root_ + "/cn/G.CN"},      // ".CN": three characters with the dot
        {"G.CONFIG",        "G.CONFIG"},              // seven: no variable is consulted
        {"sub\\X.CNF",      "sub\\X.CNF"},            // never searched for
        {"NONE.CNF",        "NONE.CNF"},              // not found: unchanged, opening will fail
    };
    // clang-format on
    for (const auto& row : rows) {
        EXPECT_EQ(FindProgramFile(row.name), row.expected) << row.name;
    }
}

TEST_F(ProgramFiles, IncludedFilesAreLookedForInTheProgramDirectoryFirst) {
    Write("conf/main.cnf", "INCLUDE units.cnf\n");
    Write("conf/units.cnf", "beside\n");
    Write("prog/units.cnf", "program\n");
    SetProgramDirectory(root_ + "/prog");
    auto configuration = Open("conf/main.cnf", Kind::Configuration);
    EXPECT_EQ(AllTokens(*configuration), (std::vector<std::vector<std::string>>{{"program"}}));

    // Without the program file opener, only the usual path search applies.
    Write("units.cnf", "current\n");
    auto definition = Open("conf/main.cnf", Kind::Definition);
    EXPECT_EQ(AllTokens(*definition), (std::vector<std::vector<std::string>>{{"current"}}));
}

} // namespace
} // namespace kestra::config::testing
