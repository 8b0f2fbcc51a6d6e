#include "ConfigTestSupport.h"

namespace kestra::config::testing {
namespace {

using Lines = std::vector<std::vector<std::string>>;

// Every line the interpreter would see, as its tokens.
Lines AllTokens(const std::string& name, bool definition) {
    std::unique_ptr<ConfigLexer> lexer;
    LexerCreate(lexer);
    definition ? ApplyDefinitionFileSettings(*lexer) : ApplyConfigurationFileSettings(*lexer);
    EXPECT_TRUE(LexerOpen(*lexer, name));
    Lines lines;
    while (LexerReadLine(*lexer)) {
        for (lines.emplace_back(); LexerNextToken(*lexer);) {
            lines.back().push_back(lexer->token);
        }
        EXPECT_EQ(lexer->token, "") << "the token after the end of a line";
    }
    EXPECT_EQ(lexer->child, nullptr) << "the chain is one record again";
    return lines;
}

// Both file kinds split lines alike, except that in configuration files '/'
// breaks tokens and variables are replaced.
TEST_F(ConfigTest, LexerSplitsLinesIntoTokensAndFollowsIncludes) {
    Write("one.cnf", "C\ninclude two.cnf\nD\n");
    Write("two.cnf", "E e\n");
    Write("blank.cnf", "\n ; only a comment\n");
    Write("sub/inner.cnf/x", "a/b\n");
    Write("prog/units.cnf", "program\n");
    Write("units.cnf", "current\n");
    const std::string v240(240, 'v'), n126(126, 'N'), n127(127, 'N');
    ScopedEnvironment value("KT_VALUE", "val"), lower("kt_lower", "low"), unset("KT_UNSET", {});
    ScopedEnvironment blanks("KT_BLANKS", "a b"), percent("KT_PERCENT", "%KT_VALUE%");
    ScopedEnvironment longOne("KT_LONG", v240);
    // clang-format off
    const struct { std::string text; Lines configuration; std::optional<Lines> definition = std::nullopt; } rows[] = {
        {"a b\tc \xE9t\xE9 \"\xFF\"\r\n", {{"a", "b", "c", "\xE9t\xE9", "\xFF"}}},
        {"CON /UNIT:1/WIDTH:80\n",     {{"CON", "/UNIT:1", "/WIDTH:80"}}, Lines{{"CON", "/UNIT:1/WIDTH:80"}}},
        {"// x a\"/b\" a'/b'\n",       {{"/", "/", "x", "a/b", "a/b"}},   Lines{{"//", "x", "a/b", "a/b"}}},
        {"\"\\101\" \"\\0101\" \"\\477\"\n", {{"A", "\b1", "?"}}}, // three digits at most, modulo 256
        {"\"\\n\\N\\r\\R\\t\\T\\\"\\\\\"\n", {{"\n\n\r\r\t\t\"\\"}}},
        {"'\\n a;b' 'it''s' ab\"c d\"'e;f' \"\" ''\n", {{"\\n a;b", "its", "abc de;f", "", ""}}},
        {" \n\t\n; note\n  ;x\nA\n\nlast", {{"A"}, {"last"}}},
        // The rest of the line that holds INCLUDE is never read.
        {"A\nINCLUDE one.cnf never read\nB\n", {{"A"}, {"C"}, {"E", "e"}, {"D"}, {"B"}}},
        {"x \"InClUdE\" one.cnf y\nz\n", {{"x", "C"}, {"E", "e"}, {"D"}, {"z"}}},
        {"A INCLUDE blank.cnf\nB INCLUDE\nC\n", {{"A", "B"}, {"C"}}},
        // The name after INCLUDE is one token even where '/' starts one.
        {"INCLUDE sub/inner.cnf/x\n",  {{"a", "/b"}},                     Lines{{"a/b"}}},
        // Only configuration files are looked for in the program's directory first.
        {"INCLUDE units.cnf\n",        {{"program"}},                     Lines{{"current"}}},
        // "%%" is one '%'; an unset variable is nothing; a value is never scanned again.
        {"x%KT_VALUE%y '%kt_value%' %kt_lower% a%KT_UNSET%b %KT_BLANKS% %KT_PERCENT% a % b\n",
         {{"xvaly", "val", "low", "ab", "a", "b", "%KT_VALUE%", "a", "%", "b"}},
         Lines{{"x%KT_VALUE%y", "%kt_value%", "%kt_lower%", "a%KT_UNSET%b", "%KT_BLANKS%", "%KT_PERCENT%", "a", "%", "b"}}},
        {"%%%KT_VALUE%%\n",            {{"%val%"}},                       Lines{{"%%%KT_VALUE%%"}}},
        // Names of up to 126 characters; the line may grow to 255, its new-line included.
        {"a%" + n126 + "%b\n",         {{"ab"}},                          Lines{{"a%" + n126 + "%b"}}},
        {"%" + n127 + "%%KT_VALUE%\n", {{"%" + n127 + "%%KT_VALUE%"}}},
        {"%KT_LONG%abcdefghijklmn\n",  {{v240 + "abcdefghijklmn"}},       Lines{{"%KT_LONG%abcdefghijklmn"}}},
        {"%KT_LONG%abcdefghijklmno\n", {{"%KT_LONG%abcdefghijklmno"}}},
        {"%KT_LONG%%KT_LONG%\n",       {{v240 + "%KT_LONG%"}},            Lines{{"%KT_LONG%%KT_LONG%"}}},
    };
    // clang-format on
    for (const auto& row : rows) {
        Write("t.cnf", row.text);
        EXPECT_EQ(AllTokens("t.cnf", false), row.configuration) << row.text;
        EXPECT_EQ(AllTokens("t.cnf", true), row.definition.value_or(row.configuration)) << row.text;
    }
}

// Numbers are read in the caller's base; a bare error marks the token alone.
TEST_F(ConfigTest, LexerNumbersAndTheirErrorsAreLocated) {
    Write("m.cnf", "\n017 8\t1x FAIL\n");
    std::unique_ptr<ConfigLexer> lexer;
    LexerCreate(lexer);
    ApplyDefinitionFileSettings(*lexer);
    ASSERT_TRUE(LexerOpen(*lexer, "m.cnf") && LexerReadLine(*lexer));
    EXPECT_EQ(LexerNextNumber(*lexer, 8), 15u);
    const std::string at = "Error in line 2 of m.cnf\n017 8\t1x FAIL\n";
    EXPECT_EQ(ReportOf([&] { LexerNextNumber(*lexer, 8); }),
              at + "--- ^\nExpected an octal number\n");
    platform::SetLineMarker(
        platform::kShownLineMarker); // as start-up sets it: tabs and blanks stay
    EXPECT_EQ(ReportOf([&] { LexerNextNumber(*lexer, 10); }),
              at + "\x7F\x7F\x7F \x7F\t^^\nExpected a decimal number\n");
    platform::SetLineMarker('-');
    ASSERT_TRUE(LexerNextToken(*lexer));
    EXPECT_EQ(ReportOf([&] { LexerError(*lexer); }), at + "--- -\t-- ^^^^\n");
    EXPECT_THROW(LexerNextNumber(*lexer, 10), platform::FatalError) << "a number is missing";
}

} // namespace
} // namespace kestra::config::testing
