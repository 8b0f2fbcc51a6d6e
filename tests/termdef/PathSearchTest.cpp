#include "termdef/parsing/PathSearch.h"

#include "support/ScopedEnvironment.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

using namespace kestra::termdef;
namespace fs = std::filesystem;

using kestra::testing::ScopedEnvironment;

// A fresh directory tree, made the current directory while the test runs.
// Each file holds its own path relative to the root, so a test can tell
// which one was opened.
class PathSearch : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kestra-paths-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        oldDirectory_ = fs::current_path();
        for (const char* file : {"HERE.CNF", "a/X.CNF", "a/Z.CNFX", "a/.CNF", "b/X.CNF",
                                 "b/lower.cnf", "c/sub/Y.CNF", "d/VT100.CNF"}) {
            Make(file);
        }
        fs::create_directories(root_ + "/e/DIR.CNF");
        fs::current_path(root_);
    }
    void TearDown() override {
        fs::current_path(oldDirectory_);
        fs::remove_all(root_);
    }
    void Make(const std::string& relative) {
        const fs::path path = fs::path(root_) / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << relative;
    }
    // '@' stands for the root of the tree.
    std::string Rooted(std::string_view text) const {
        std::string result;
        for (char character : text) {
            result += character == '@' ? root_ : std::string(1, character);
        }
        return result;
    }

    std::string root_;
    fs::path oldDirectory_;
};

TEST_F(PathSearch, SearchPathListTriesNameThenEachListedDirectory) {
    // clang-format off
    const struct { std::string_view name; std::optional<std::string_view> list; std::string_view expected; } rows[] = {
        {"X.CNF",       "@/a:@/b",          "@/a/X.CNF"},   // first hit wins
        {"X.CNF",       "@/b/:@/a",         "@/b/X.CNF"},   // no second '/' after one that ends the element
        {"X.CNF",       ":::@/b:",          "@/b/X.CNF"},   // empty elements are passed over
        {"X.CNF",       "a",                "@/a/X.CNF"},   // relative elements give absolute paths
        {"x.cnf",       "@/b",              "@/b/X.CNF"},   // case-insensitive last component, found case kept
        {"LOWER.CNF",   "@/b",              "@/b/lower.cnf"},
        {"sub/Y.CNF",   "@/c",              "@/c/sub/Y.CNF"},
        {"SUB/Y.CNF",   "@/c",              ""},            // only the last component ignores case
        {"sub\\Y.CNF",  "@/c",              ""},            // a backslash: never searched for
        {"/Y.CNF",      "@/c/sub",          ""},            // absolute: never searched for
        {"X.CNF",       std::nullopt,       ""},
        {"HERE.CNF",    "@/a",              "@/HERE.CNF"},  // present where we are
        {"a",           std::nullopt,       "@/a"},         // directories count as existing
    };
    // clang-format on
    for (const auto& row : rows) {
        std::optional<std::string> list;
        if (row.list) {
            list = Rooted(*row.list);
        }
        ScopedEnvironment variable("KESTRA_TEST_LIST", list);
        EXPECT_EQ(SearchPathList(row.name, "KESTRA_TEST_LIST"), Rooted(row.expected))
            << row.name << " with " << (list ? *list : "(unset)");
    }
}

TEST_F(PathSearch, SearchPathListSkipsCandidatesLongerThanAPath) {
    // A directory whose path is 250 characters long: X.CNF fits beneath it
    // (256), a longer name does not (265) and is not found there even though
    // it exists.
    std::string deep = root_ + "/";
    while (deep.size() < 250) {
        deep += std::string(std::min<std::size_t>(50, 250 - deep.size()), 'd');
        if (deep.size() < 250) {
            deep += '/';
        }
    }
    ASSERT_EQ(deep.size(), 250u);
    fs::create_directories(deep);
    std::ofstream(deep + "/X.CNF") << "x";
    std::ofstream(deep + "/LONGERNAME.CNF") << "x";

    ScopedEnvironment variable("KESTRA_TEST_LIST", deep);
    EXPECT_EQ(SearchPathList("X.CNF", "KESTRA_TEST_LIST"), deep + "/X.CNF");
    EXPECT_EQ(SearchPathList("LONGERNAME.CNF", "KESTRA_TEST_LIST"), "");

    // An element of 259 characters or more is passed over whole.
    std::string tooLong = deep + "/" + std::string(8, 'e');
    ASSERT_EQ(tooLong.size(), kMaxPathLength);
    fs::create_directories(tooLong);
    std::ofstream(tooLong + "/Q") << "x";
    ScopedEnvironment longList("KESTRA_TEST_LIST", tooLong);
    EXPECT_EQ(SearchPathList("Q", "KESTRA_TEST_LIST"), "");
}

TEST_F(PathSearch, OpenOnPathOpensInPlaceOrSearchesExtensionVariableThenPath) {
    // clang-format off
    const struct {
        std::string_view name;
        std::optional<std::string_view> cnf, path;
        std::string_view opened;     // "" when nothing may be opened
    } rows[] = {
        {"HERE.CNF",         "@/a", "@/b", "HERE.CNF"},       // as written, not made absolute
        {"here.cnf",         "@/a", "@/b", "HERE.CNF"},       // the name that really exists
        {"X.CNF",            "@/a", "@/b", "@/a/X.CNF"},      // the extension's variable first
        {"x.cnf",            "@/a", "@/b", "@/a/X.CNF"},      // variable named in upper case
        {"Z.CNFX",           "@/a", std::nullopt, "@/a/Z.CNFX"},  // at most three letters name it
        {"VT100.CNF",        "@/a:@/d", "@/b", "@/d/VT100.CNF"},
        {"sub/Y.CNF",        "@/c", std::nullopt, "@/c/sub/Y.CNF"},
        {"sub\\Y.CNF",       "@/c", "@/c", ""},
        {"/nowhere/X.CNF",   "@/a", "@/a", ""},               // absolute: never searched for
        {".CNF",             "@/a", std::nullopt, ""},        // a leading dot is no extension
        {".CNF",             std::nullopt, "@/a", "@/a/.CNF"},
        {"a",                "@/a", "@/a", ""},               // a directory in place is not opened
        {"DIR.CNF",          "@/e", std::nullopt, ""},        // nor one found by the search
    };
    // clang-format on
    for (const auto& row : rows) {
        auto rooted = [&](std::optional<std::string_view> value) -> std::optional<std::string> {
            return value ? std::optional(Rooted(*value)) : std::nullopt;
        };
        ScopedEnvironment cnf("CNF", rooted(row.cnf));
        ScopedEnvironment path("PATH", rooted(row.path));
        std::string opened = "stale";
        FilePointer file = OpenOnPath(row.name, "r", opened);
        EXPECT_EQ(opened, Rooted(row.opened)) << row.name;
        ASSERT_EQ(file != nullptr, !row.opened.empty()) << row.name;
        if (file) {
            char content[300] = {};
            ASSERT_NE(std::fgets(content, sizeof content, file.get()), nullptr) << row.name;
            const std::string relative = row.opened.front() == '@'
                                             ? std::string(row.opened.substr(2))
                                             : std::string(row.opened);
            EXPECT_EQ(content, relative) << row.name;
        }
    }
}

} // namespace
