#include "LexerTestSupport.h"

namespace kestra::config::testing {
namespace {

using Lines = std::vector<std::vector<std::string>>;

struct TokenRow {
    const char* name;
    std::string text; // the file's content
    Lines configuration;
    std::optional<Lines> definition = std::nullopt; // when it differs from the configuration file
};

class LexerTokens : public LexerFilesTest {};

TEST_F(LexerTokens, LinesSplitIntoTokensOfBothFileKinds) {
    // clang-format off
    const TokenRow rows[] = {
        {"blanks and tabs",      "a b\tc\r\n",              {{"a", "b", "c"}}},
        {"switches break",       "CON /UNIT:1/WIDTH:80\n",  {{"CON", "/UNIT:1", "/WIDTH:80"}}, Lines{{"CON", "/UNIT:1/WIDTH:80"}}},
        {"break after a letter", "a/b\n",                   {{"a", "/b"}},                     Lines{{"a/b"}}},
        {"break char alone",     "// x\n",                  {{"/", "/", "x"}},                 Lines{{"//", "x"}}},
        {"break inside quotes",  "a\"/b\" a'/b'\n",         {{"a/b", "a/b"}}},
        {"quoted comment char",  "\"a;b\"\n",               {{"a;b"}}},
        {"comment",              "a;b\n",                   {{"a"}}},
        {"comment after blank",  "x ; y z\n",               {{"x"}}},
        {"octal escape",         "\"\\101\"\n",             {{"A"}}},
        {"three digits at most", "\"\\0101\"\n",            {{"\b1"}}},
        {"escape modulo 256",    "\"\\477\"\n",             {{"?"}}},
        {"short octal",          "\"\\7x\"\n",              {{"\ax"}}},
        {"letter escapes",       "\"\\n\\N\\r\\R\\t\\T\"\n", {{"\n\n\r\r\t\t"}}},
        {"quote and backslash",  "\"\\\"\\\\\"\n",          {{"\"\\"}}},
        {"literal piece",        "'\\n'\n",                 {{"\\n"}}},
        {"literal separators",   "'a b;c'\n",               {{"a b;c"}}},
        {"doubled apostrophes",  "'it''s'\n",               {{"its"}}},
        {"pieces join",          "ab\"c d\"'e;f'\n",        {{"abc de;f"}}},
        {"empty quoted token",   "Title \"\"\n",            {{"Title", ""}}},
        {"empty literal token",  "'' x\n",                  {{"", "x"}}},
        {"equals apart",         "Title = X\n",             {{"Title", "=", "X"}}},
        {"equals joined",        "Title=X\n",               {{"Title=X"}}},
        {"high bytes",           "\xE9t\xE9 \"\xFF\"\n",    {{"\xE9t\xE9", "\xFF"}}},
        {"no final new-line",    "last",                    {{"last"}}},
        {"blank and comment lines skipped", " \n\t\n; note\n  ;x\nA\n\n", {{"A"}}},
    };
    // clang-format on
    for (const TokenRow& row : rows) {
        Write("t.cnf", row.text);
        auto configuration = Open("t.cnf", Kind::Configuration);
        EXPECT_EQ(AllTokens(*configuration), row.configuration) << row.name << " (configuration)";
        auto definition = Open("t.cnf", Kind::Definition);
        EXPECT_EQ(AllTokens(*definition), row.definition.value_or(row.configuration))
            << row.name << " (definition)";
    }
}

TEST_F(LexerTokens, LineNumbersCountEveryReadAndLongLinesComeInPieces) {
    const std::string piece(254, 'p');
    // clang-format off
    const struct { const char* name; std::string text; bool skipBlank; std::vector<std::pair<unsigned, std::string>> expected; } rows[] = {
        {"blank lines count",      "\n \n;c\nA\n\nB\n",           true,  {{4, "A"}, {6, "B"}}},
        {"blank lines delivered",  "\n;c\nA\n",                    false, {{1, ""}, {2, ""}, {3, "A"}}},
        {"300 characters",         std::string(300, 'x') + "\nN\n", true, {{1, std::string(254, 'x')}, {2, std::string(46, 'x')}, {3, "N"}}},
        // 254 characters fill the read: the new-line comes alone and is blank.
        {"exactly 254",            piece + "\nN\n",               true,  {{1, piece}, {3, "N"}}},
        {"253 keep the new-line",  piece.substr(1) + "\nN\n",     true,  {{1, piece.substr(1)}, {2, "N"}}},
        {"NUL ends the line",      std::string("ab\0cd\nN\n", 8), true,  {{1, "ab"}, {2, "N"}}},
    };
    // clang-format on
    for (const auto& row : rows) {
        Write("n.cnf", row.text);
        auto lexer = Open("n.cnf");
        lexer->skipBlankLines = row.skipBlank;
        std::vector<std::pair<unsigned, std::string>> seen;
        while (LexerReadLine(*lexer)) {
            LexerNextToken(*lexer);
            seen.emplace_back(lexer->lineNumber, lexer->token);
        }
        EXPECT_EQ(seen, row.expected) << row.name;
        EXPECT_EQ(lexer->lineNumber, row.expected.back().first + 1)
            << row.name << ": the read that meets the end counts too";
    }
}

TEST_F(LexerTokens, VariablesAreReplacedInTheRawLine) {
    const std::string longValue(240, 'v');
    ScopedEnvironment value("KT_VALUE", "val");
    ScopedEnvironment lower("kt_lower", "low");
    ScopedEnvironment unset("KT_UNSET", std::nullopt);
    ScopedEnvironment percent("KT_PERCENT", "%KT_VALUE%");
    ScopedEnvironment blank("KT_BLANKS", "a b");
    ScopedEnvironment longOne("KT_LONG", longValue);
    const std::string name126(126, 'N');
    const std::string name127(127, 'N');
    // clang-format off
    const struct { const char* name; std::string text; Lines expected; } rows[] = {
        {"replaced",               "x%KT_VALUE%y\n",        {{"xvaly"}}},
        {"upper-case fallback",    "%kt_value%\n",          {{"val"}}},
        {"exact name first",       "%kt_lower%\n",          {{"low"}}},
        {"doubled percent",        "100%%\n",               {{"100%"}}},
        {"doubled then variable",  "%%%KT_VALUE%%\n",       {{"%val%"}}},  // "%%" is one '%', which then opens a name
        {"unset is removed",       "a%KT_UNSET%b\n",        {{"ab"}}},
        {"single percent stays",   "a % b\n",               {{"a", "%", "b"}}},
        {"inside double quotes",   "\"%KT_VALUE%\"\n",      {{"val"}}},
        {"inside apostrophes",     "'%KT_VALUE%'\n",        {{"val"}}},
        {"value splits tokens",    "%KT_BLANKS%\n",         {{"a", "b"}}},
        {"value never rescanned",  "%KT_PERCENT%\n",        {{"%KT_VALUE%"}}},
        {"only an unset variable", "%KT_UNSET%\nnext\n",    {{"next"}}},
        {"in a comment",           "x ;%KT_VALUE%\n",       {{"x"}}},
        {"126-character name",     "a%" + name126 + "%b\n", {{"ab"}}},
        {"127 stops substituting", "%" + name127 + "%%KT_VALUE%\n", {{"%" + name127 + "%%KT_VALUE%"}}},
        // 18 characters become 249; the second value would make 480.
        {"line would grow past 255", "%KT_LONG%%KT_LONG%\n", {{longValue + "%KT_LONG%"}}},
    };
    // clang-format on
    for (const auto& row : rows) {
        Write("v.cnf", row.text);
        auto lexer = Open("v.cnf");
        EXPECT_EQ(AllTokens(*lexer), row.expected) << row.name;
    }

    Write("v.cnf", "%KT_VALUE%\n");
    auto definition = Open("v.cnf", Kind::Definition);
    EXPECT_EQ(AllTokens(*definition), Lines{{"%KT_VALUE%"}}) << "substitution is off there";
}

TEST_F(LexerTokens, IncludeFollowsFilesToAnyDepth) {
    // clang-format off
    const struct { const char* name; std::vector<std::pair<std::string, std::string>> files; Lines expected; } rows[] = {
        {"two deep",
         {{"main.cnf", "A\nINCLUDE one.cnf never read\nB\n"},
          {"one.cnf",  "C\ninclude two.cnf\nD\n"},
          {"two.cnf",  "E e\n"}},
         {{"A"}, {"C"}, {"E", "e"}, {"D"}, {"B"}}},
        {"anywhere on the line, quoted, any case",
         {{"main.cnf", "x \"InClUdE\" one.cnf y\nz\n"},
          {"one.cnf",  "in\n"}},
         {{"x", "in"}, {"z"}}},
        {"empty file is left at once",
         {{"main.cnf", "INCLUDE empty.cnf\nB\n"},
          {"empty.cnf", ""}},
         {{"B"}}},
        {"blank included file",
         {{"main.cnf", "A INCLUDE blank.cnf\nB\n"},
          {"blank.cnf", "\n ; only a comment\n"}},
         {{"A", "B"}}},
        {"no file name ends the line",
         {{"main.cnf", "A INCLUDE\nB\n"}},
         {{"A"}, {"B"}}},
        {"the keyword as a file's last token",
         {{"main.cnf", "INCLUDE one.cnf\nB\n"},
          {"one.cnf",  "X\nINCLUDE two.cnf\n"},
          {"two.cnf",  "Y\n"}},
         {{"X"}, {"Y"}, {"B"}}},
    };
    // clang-format on
    for (const auto& row : rows) {
        for (const auto& [name, content] : row.files) {
            Write(name, content);
        }
        auto lexer = Open("main.cnf");
        EXPECT_EQ(AllTokens(*lexer), row.expected) << row.name;
        EXPECT_EQ(lexer->child, nullptr) << row.name << ": the chain is one record again";
    }
}

TEST_F(LexerTokens, IncludedFilesShareTheSettingsAndTheOutermostToken) {
    Write("main.cnf", "INCLUDE sub/inner.cnf/x\n");
    Write("sub/inner.cnf/x", "a/b %KT_X%\n");
    ScopedEnvironment variable("KT_X", "x");
    auto lexer = Open("main.cnf");
    ASSERT_TRUE(LexerReadLine(*lexer));
    ASSERT_TRUE(LexerNextToken(*lexer));
    EXPECT_EQ(lexer->token, "a");
    ConfigLexer& inner = LexerInnermost(*lexer);
    ASSERT_NE(&inner, lexer.get());
    EXPECT_EQ(inner.parent, lexer.get());
    // A file name after INCLUDE is one token even in the configuration file,
    // where '/' otherwise starts a new one.
    EXPECT_EQ(inner.fileName, "sub/inner.cnf/x") << "the path the opener reported";
    EXPECT_EQ(inner.lineNumber, 1u);
    EXPECT_TRUE(inner.haveToken);
    EXPECT_FALSE(lexer->haveToken) << "cleared on the record passed in";
    EXPECT_EQ(inner.tokenStart, 0u);
    EXPECT_EQ(inner.cursor, 1u);
    ASSERT_TRUE(LexerNextTokenUpper(*lexer));
    EXPECT_EQ(lexer->token, "/B");
    ASSERT_TRUE(LexerNextToken(*lexer));
    EXPECT_EQ(lexer->token, "x");
    EXPECT_FALSE(LexerNextToken(*lexer));
    EXPECT_TRUE(inner.haveToken) << "stays set from the included file's last token";

    LexerClose(*lexer);
    EXPECT_EQ(lexer->child, nullptr);
    EXPECT_EQ(lexer->file, nullptr);
    std::unique_ptr<ConfigLexer> owned = std::move(lexer);
    LexerDestroy(owned);
    EXPECT_EQ(owned, nullptr);
}

TEST_F(LexerTokens, DeepChainsOfIncludesHaveNoFixedLimit) {
    constexpr int kDepth = 200;
    for (int level = 0; level < kDepth; ++level) {
        Write("f" + std::to_string(level) + ".cnf", "INCLUDE f" + std::to_string(level + 1) +
                                                        ".cnf\nafter" + std::to_string(level) +
                                                        "\n");
    }
    Write("f" + std::to_string(kDepth) + ".cnf", "bottom\n");

    // Every level is open at the bottom; ending the chain there closes them all.
    auto open = Open("f0.cnf");
    ASSERT_TRUE(LexerReadLine(*open));
    ASSERT_TRUE(LexerNextToken(*open));
    EXPECT_EQ(open->token, "bottom");
    int depth = 0;
    for (const ConfigLexer* record = open.get(); record->child; record = record->child.get()) {
        ++depth;
    }
    EXPECT_EQ(depth, kDepth);
    LexerDestroy(open);

    auto lexer = Open("f0.cnf");
    const Lines lines = AllTokens(*lexer);
    ASSERT_EQ(lines.size(), kDepth + 1u);
    EXPECT_EQ(lines.front(), std::vector<std::string>{"bottom"});
    EXPECT_EQ(lines.back(), std::vector<std::string>{"after0"});
}

TEST_F(LexerTokens, NumbersAndEqualsAreReadInTheCallersBase) {
    Write("n.cnf", "17 17 17 0x1f 12. 101 = \n");
    auto lexer = Open("n.cnf");
    ASSERT_TRUE(LexerReadLine(*lexer));
    // clang-format off
    const struct { unsigned base; std::uint32_t value; } numbers[] = {
        {10, 17}, {8, 15}, {16, 0x17}, {10, 31}, {8, 12}, {2, 5},
    };
    // clang-format on
    for (const auto& number : numbers) {
        EXPECT_EQ(LexerNextNumber(*lexer, number.base), number.value) << "base " << number.base;
        EXPECT_EQ(lexer->number, number.value);
    }
    LexerExpectEquals(*lexer);
    EXPECT_FALSE(LexerNextToken(*lexer));
}

TEST_F(LexerTokens, ContinuedLinesReadOnForTheNextToken) {
    Write("c.cnf", "a\n\n ; note\nb INCLUDE\ninc.cnf c\n");
    Write("inc.cnf", "d\n");
    auto lexer = Open("c.cnf", Kind::Definition);
    lexer->continueLines = true;
    std::vector<std::string> tokens;
    ASSERT_TRUE(LexerReadLine(*lexer));
    while (LexerNextToken(*lexer)) {
        tokens.push_back(lexer->token);
    }
    // INCLUDE's file name may stand on the next line; the rest of that line
    // is still never read.
    EXPECT_EQ(tokens, (std::vector<std::string>{"a", "b", "d"}));

    // A file that ends just after INCLUDE: its name is looked for in the
    // including file, which then includes it.
    Write("p.cnf", "INCLUDE q.cnf\nr.cnf s\n");
    Write("q.cnf", "q INCLUDE\n");
    Write("r.cnf", "r\n");
    auto parent = Open("p.cnf", Kind::Definition);
    parent->continueLines = true;
    tokens.clear();
    ASSERT_TRUE(LexerReadLine(*parent));
    while (LexerNextToken(*parent)) {
        tokens.push_back(parent->token);
    }
    EXPECT_EQ(tokens, (std::vector<std::string>{"q", "r"}));
}

} // namespace
} // namespace kestra::config::testing
