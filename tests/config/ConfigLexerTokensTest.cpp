#include "ConfigTestSupport.h"

namespace kestra::config::testing {
namespace {

using Lines = std::vector<std::vector<std::string>>;

class LexerTokens : public LexerFilesTest {
protected:
    Lines TokensOf(const std::string& text, Kind kind = Kind::Configuration) {
        Write("t.cnf", text);
        auto lexer = Open("t.cnf", kind);
        return AllTokens(*lexer);
    }
};

TEST_F(LexerTokens, LinesSplitIntoTokensOfBothFileKinds) {
    // clang-format off
    const struct { const char* name; std::string text; Lines configuration; std::optional<Lines> definition = std::nullopt; } rows[] = {
        {"blanks and tabs",      "a b\tc\r\n",              {{"a", "b", "c"}}},
        {"switches break",       "CON /UNIT:1/WIDTH:80\n",  {{"CON", "/UNIT:1", "/WIDTH:80"}}, Lines{{"CON", "/UNIT:1/WIDTH:80"}}},
        {"break char alone",     "// x\n",                  {{"/", "/", "x"}},                 Lines{{"//", "x"}}},
        {"break inside quotes",  "a\"/b\" a'/b'\n",         {{"a/b", "a/b"}}},
        {"comment",              "a;b \"c;d\"\n",           {{"a"}}},
        {"octal escape",         "\"\\101\"\n",             {{"A"}}},
        {"three digits at most", "\"\\0101\"\n",            {{"\b1"}}},
        {"escape modulo 256",    "\"\\477\"\n",             {{"?"}}},
        {"letter escapes",       "\"\\n\\N\\r\\R\\t\\T\\\"\\\\\"\n", {{"\n\n\r\r\t\t\"\\"}}},
        {"literal piece",        "'\\n a;b'\n",             {{"\\n a;b"}}},
        {"doubled apostrophes",  "'it''s'\n",               {{"its"}}},
        {"pieces join",          "ab\"c d\"'e;f'\n",        {{"abc de;f"}}},
        {"empty quoted token",   "Title \"\" ''\n",         {{"Title", "", ""}}},
        {"equals",               "Title = X Title=X\n",     {{"Title", "=", "X", "Title=X"}}},
        {"high bytes",           "\xE9t\xE9 \"\xFF\"\n",    {{"\xE9t\xE9", "\xFF"}}},
        {"blank and comment lines skipped, no final new-line", " \n\t\n; note\n  ;x\nA\n\nlast", {{"A"}, {"last"}}},
    };
    // clang-format on
    for (const auto& row : rows) {
        EXPECT_EQ(TokensOf(row.text), row.configuration) << row.name << " (configuration)";
        EXPECT_EQ(TokensOf(row.text, Kind::Definition), row.definition.value_or(row.configuration))
            << row.name << " (definition)";
    }
}

TEST_F(LexerTokens, LineNumbersCountEveryReadAndLongLinesComeInPieces) {
    const std::string piece(254, 'p');
    // clang-format off
    const struct { const char* name; std::string text; bool skipBlank; std::vector<std::pair<unsigned, std::string>> expected; } rows[] = {
        {"blank lines count",      "\n \n;c\nA\n\nB\n",            true,  {{4, "A"}, {6, "B"}}},
        {"blank lines delivered",  "\n;c\nA\n",                     false, {{1, ""}, {2, ""}, {3, "A"}}},
        {"300 characters",         std::string(300, 'x') + "\nN\n", true,  {{1, std::string(254, 'x')}, {2, std::string(46, 'x')}, {3, "N"}}},
        // 254 characters fill the read: the new-line comes alone and is blank.
        {"exactly 254",            piece + "\nN\n",                true,  {{1, piece}, {3, "N"}}},
        {"NUL ends the line",      std::string("ab\0cd\nN\n", 8),  true,  {{1, "ab"}, {2, "N"}}},
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
    const std::string name127(127, 'N');
    // clang-format off
    const struct { const char* name; std::string text; Lines expected; } rows[] = {
        {"replaced, also quoted",  "x%KT_VALUE%y '%KT_VALUE%'\n", {{"xvaly", "val"}}},
        {"upper-case fallback",    "%kt_value%\n",          {{"val"}}},
        {"exact name first",       "%kt_lower%\n",          {{"low"}}},
        {"doubled then variable",  "%%%KT_VALUE%%\n",       {{"%val%"}}},  // "%%" is one '%', which then opens a name
        {"unset is removed",       "a%KT_UNSET%b\n",        {{"ab"}}},
        {"single percent stays",   "a % b\n",               {{"a", "%", "b"}}},
        {"value splits tokens",    "%KT_BLANKS%\n",         {{"a", "b"}}},
        {"value never rescanned",  "%KT_PERCENT%\n",        {{"%KT_VALUE%"}}},
        {"126-character name",     "a%" + std::string(126, 'N') + "%b\n", {{"ab"}}},
        {"127 stops substituting", "%" + name127 + "%%KT_VALUE%\n", {{"%" + name127 + "%%KT_VALUE%"}}},
        // 18 characters become 249; the second value would make 480.
        {"line would grow past 255", "%KT_LONG%%KT_LONG%\n", {{longValue + "%KT_LONG%"}}},
    };
    // clang-format on
    for (const auto& row : rows) {
        EXPECT_EQ(TokensOf(row.text), row.expected) << row.name;
    }
    EXPECT_EQ(TokensOf("%KT_VALUE%\n", Kind::Definition), Lines{{"%KT_VALUE%"}})
        << "substitution is off there";
}

TEST_F(LexerTokens, IncludeFollowsFiles) {
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
        {"blank included file",
         {{"main.cnf", "A INCLUDE blank.cnf\nB\n"},
          {"blank.cnf", "\n ; only a comment\n"}},
         {{"A", "B"}}},
        {"no file name ends the line",
         {{"main.cnf", "A INCLUDE\nB\n"}},
         {{"A"}, {"B"}}},
        // A file name after INCLUDE is one token even where '/' starts one.
        {"settings shared, name one token",
         {{"main.cnf", "INCLUDE sub/inner.cnf/x\n"},
          {"sub/inner.cnf/x", "a/b\n"}},
         {{"a", "/b"}}},
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
}

} // namespace
} // namespace kestra::config::testing
