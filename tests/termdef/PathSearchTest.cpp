#include "parsing/PathSearch.h"

#include "support/Program.h"
#include "support/ScopedEnvironment.h"

#include <gtest/gtest.h>

using namespace kestra::parsing;
namespace fs = std::filesystem;

// Each name is looked for under CNF and opened as the lexer opens files, in a
// tree of its own made the current directory, where each file holds its own
// path. In rows '@' is the root, '#' a directory whose path has 250
// characters and "-" an unset variable.
TEST(PathSearch, NamesAreFoundInPlaceOrUnderTheListedDirectories) {
    const kestra::testing::TemporaryDirectory root;
    std::string deep = root.Path();
    while (deep.size() < 250) {
        deep += "/" + std::string(std::min<std::size_t>(49, 249 - deep.size()), 'd');
    }
    const auto rooted = [&](std::string_view text) -> std::optional<std::string> {
        std::string result;
        for (const char c : text) {
            result += c == '@' ? root.Path() : c == '#' ? deep : std::string(1, c);
        }
        return text == "-" ? std::nullopt : std::optional(result);
    };
    for (const char* file : {"HERE.CNF", "a/X.CNF", "a/Z.CNFX", "a/.CNF", "b/X.CNF", "c/sub/Y.CNF",
                             "#/ABCD.CNF", "#/ABCDE.CNF", "e/DIR.CNF/x"}) {
        const fs::path path = fs::path(root.Path()) / *rooted(file); // '#' is absolute
        fs::create_directories(path.parent_path());
        std::ofstream(path) << file;
    }
    const fs::path oldDirectory = fs::current_path();
    fs::current_path(root.Path());
    // clang-format off
    const struct { std::string_view name, cnf, path, found, opened; } rows[] = {
        {"X.CNF",      "@/a:@/b",  "-",       "@/a/X.CNF",     "@/a/X.CNF"},     // first hit wins
        {"X.CNF",      "@/b/:@/a", "-",       "@/b/X.CNF",     "@/b/X.CNF"},     // no second '/' added
        {"X.CNF",      ":::@/b:",  "-",       "@/b/X.CNF",     "@/b/X.CNF"},     // empty elements passed over
        {"X.CNF",      "a",        "-",       "@/a/X.CNF",     "@/a/X.CNF"},     // found paths are absolute
        {"x.cnf",      "@/b",      "@/a",     "@/b/X.CNF",     "@/b/X.CNF"},     // last component in any case
        {"sub/Y.CNF",  "@/c",      "-",       "@/c/sub/Y.CNF", "@/c/sub/Y.CNF"},
        {"SUB/Y.CNF",  "@/c",      "@/c",     "",              ""},
        {"sub\\Y.CNF", "@/c",      "@/c",     "",              ""},              // never searched for
        {"/Y.CNF",     "@/c/sub",  "@/c/sub", "",              ""},              // nor absolute names
        {"X.CNF",      "-",        "@/b",     "",              "@/b/X.CNF"},     // then PATH
        {"HERE.CNF",   "@/a",      "@/b",     "@/HERE.CNF",    "HERE.CNF"},      // in place: as written
        {"here.cnf",   "@/a",      "@/b",     "@/HERE.CNF",    "HERE.CNF"},
        {"Z.CNFX",     "@/a",      "-",       "@/a/Z.CNFX",    "@/a/Z.CNFX"},    // three letters name it
        {".CNF",       "@/a",      "-",       "@/a/.CNF",      ""},              // a leading dot is no extension
        {".CNF",       "-",        "@/a",     "",              "@/a/.CNF"},
        {"a",          "-",        "-",       "@/a",           ""},              // directories exist, never open
        {"DIR.CNF",    "@/e",      "-",       "@/e/DIR.CNF",   ""},
        {"ABCD.CNF",   "#",        "-",       "#/ABCD.CNF",    "#/ABCD.CNF"},    // 259 characters fit
        {"ABCDE.CNF",  "#",        "#",       "",              ""},              // 260 do not
    };
    // clang-format on
    for (const auto& row : rows) {
        kestra::testing::ScopedEnvironment cnf("CNF", rooted(row.cnf)),
            path("PATH", rooted(row.path));
        EXPECT_EQ(SearchPathList(row.name, "CNF"), rooted(row.found)) << row.name;
        std::string opened = "stale";
        const FilePointer file = OpenOnPath(row.name, "r", opened);
        EXPECT_EQ(opened, rooted(row.opened)) << row.name;
        char content[300] = {};
        EXPECT_EQ(file && std::fgets(content, sizeof content, file.get()), !row.opened.empty());
        EXPECT_EQ(content, row.opened.substr(row.opened.starts_with('@') ? 2 : 0)) << row.name;
    }
    fs::current_path(oldDirectory);
}
