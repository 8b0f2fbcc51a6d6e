#include "termdef/parsing/PathSearch.h"

#include "support/Program.h"
#include "support/ScopedEnvironment.h"

#include <gtest/gtest.h>

using namespace kestra::termdef;
using kestra::testing::ScopedEnvironment;
using kestra::testing::TemporaryDirectory;
namespace fs = std::filesystem;

namespace {

using Text = std::optional<std::string_view>;

// A tree of its own, the current directory while the test runs; each file
// holds its path under the root, so a test can tell which one was opened.
// In rows '@' stands for the root and '#' for a directory whose path is 250
// characters long.
class PathSearch : public ::testing::Test {
protected:
    void SetUp() override {
        deep_ = root_.Path();
        while (deep_.size() < 250) {
            deep_ += "/" + std::string(std::min<std::size_t>(49, 249 - deep_.size()), 'd');
        }
        for (const char* file :
             {"HERE.CNF", "a/X.CNF", "a/Z.CNFX", "a/.CNF", "b/X.CNF", "b/lower.cnf", "c/sub/Y.CNF",
              "d/VT100.CNF", "#/ABCD.CNF", "#/ABCDE.CNF", "#/eeeeeeee/Q"}) {
            const fs::path path = fs::path(root_.Path()) / *Rooted(file); // '#' is absolute
            fs::create_directories(path.parent_path());
            std::ofstream(path) << file;
        }
        fs::create_directories(root_ / "e/DIR.CNF");
        fs::current_path(root_.Path());
    }
    void TearDown() override { fs::current_path(oldDirectory_); }

    std::optional<std::string> Rooted(Text text) const {
        if (!text) {
            return std::nullopt;
        }
        std::string result;
        for (const char character : *text) {
            result += character == '@'   ? root_.Path()
                      : character == '#' ? deep_
                                         : std::string(1, character);
        }
        return result;
    }

    fs::path oldDirectory_ = fs::current_path();
    TemporaryDirectory root_;
    std::string deep_;
};

TEST_F(PathSearch, SearchPathListTriesNameThenEachListedDirectory) {
    // clang-format off
    const struct { std::string_view name; Text list; std::string_view found; } rows[] = {
        {"X.CNF",       "@/a:@/b",       "@/a/X.CNF"},   // first hit wins
        {"X.CNF",       "@/b/:@/a",      "@/b/X.CNF"},   // no second '/' after an element's own
        {"X.CNF",       ":::@/b:",       "@/b/X.CNF"},   // empty elements are passed over
        {"X.CNF",       "a",             "@/a/X.CNF"},   // relative elements give absolute paths
        {"x.cnf",       "@/b",           "@/b/X.CNF"},   // last component in any case, found case kept
        {"LOWER.CNF",   "@/b",           "@/b/lower.cnf"},
        {"sub/Y.CNF",   "@/c",           "@/c/sub/Y.CNF"},
        {"SUB/Y.CNF",   "@/c",           ""},            // only the last component ignores case
        {"sub\\Y.CNF",  "@/c",           ""},            // a backslash: never searched for
        {"/Y.CNF",      "@/c/sub",       ""},            // absolute: never searched for
        {"X.CNF",       std::nullopt,    ""},
        {"X.CNF",       "",              ""},
        {"HERE.CNF",    "@/a",           "@/HERE.CNF"},  // present where we are
        {"a",           std::nullopt,    "@/a"},         // directories count as existing
        {"ABCD.CNF",    "#",             "#/ABCD.CNF"},  // a candidate of 259 characters fits
        {"ABCDE.CNF",   "#",             ""},            // one of 260 does not
        {"Q",           "#/eeeeeeee",    ""},            // nor does an element of 259
    };
    // clang-format on
    for (const auto& row : rows) {
        ScopedEnvironment variable("KESTRA_TEST_LIST", Rooted(row.list));
        EXPECT_EQ(SearchPathList(row.name, "KESTRA_TEST_LIST"), Rooted(row.found))
            << row.name << " with " << Rooted(row.list).value_or("(unset)");
    }
}

TEST_F(PathSearch, OpenOnPathOpensInPlaceOrSearchesExtensionVariableThenPath) {
    // clang-format off
    const struct { std::string_view name; Text cnf, path; std::string_view opened; } rows[] = {
        {"HERE.CNF",       "@/a",        "@/b",        "HERE.CNF"},      // as written, not made absolute
        {"here.cnf",       "@/a",        "@/b",        "HERE.CNF"},      // the name that really exists
        {"X.CNF",          "@/a",        "@/b",        "@/a/X.CNF"},     // the extension's variable first
        {"x.cnf",          "@/a",        "@/b",        "@/a/X.CNF"},     // variable named in upper case
        {"X.CNF",          std::nullopt, "@/b",        "@/b/X.CNF"},     // then PATH
        {"Z.CNFX",         "@/a",        std::nullopt, "@/a/Z.CNFX"},    // three letters name it
        {"VT100.CNF",      "@/a:@/d",    "@/b",        "@/d/VT100.CNF"},
        {"sub/Y.CNF",      "@/c",        std::nullopt, "@/c/sub/Y.CNF"},
        {"sub\\Y.CNF",     "@/c",        "@/c",        ""},
        {"/nowhere/X.CNF", "@/a",        "@/a",        ""},
        {".CNF",           "@/a",        std::nullopt, ""},              // a leading dot is no extension
        {".CNF",           std::nullopt, "@/a",        "@/a/.CNF"},
        {"a",              "@/a",        "@/a",        ""},              // a directory is not opened
        {"DIR.CNF",        "@/e",        std::nullopt, ""},
    };
    // clang-format on
    for (const auto& row : rows) {
        ScopedEnvironment cnf("CNF", Rooted(row.cnf));
        ScopedEnvironment path("PATH", Rooted(row.path));
        std::string opened = "stale";
        FilePointer file = OpenOnPath(row.name, "r", opened);
        EXPECT_EQ(opened, Rooted(row.opened)) << row.name;
        ASSERT_EQ(file != nullptr, !row.opened.empty()) << row.name;
        char content[300] = {};
        if (file) {
            ASSERT_NE(std::fgets(content, sizeof content, file.get()), nullptr) << row.name;
            EXPECT_EQ(content, row.opened.substr(row.opened.front() == '@' ? 2 : 0)) << row.name;
        }
    }
}

} // namespace
