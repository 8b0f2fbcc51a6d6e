#include "ConfigTestSupport.h"

namespace kestra::config::testing {
namespace {

using Lines = std::vector<std::vector<std::string>>;

// Every line the interpreter would see, as its tokens.
Lines AllTokens(const std::string& name, bool definition) {
    std::unique_ptr<ConfigLexer> lexer;
    EXPECT_TRUE(LexerCreate(lexer));
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
    const std::string x300(300, 'x'), x254(254, 'x'), v240(240, 'v'), n126(126, 'N'),
        n127(127, 'N');
    ScopedEnvironment value("KT_VALUE", "val"), lower("kt_lower", "low"),
        unset("KT_UNSET", std::nullopt);
    ScopedEnvironment blanks("KT_BLANKS", "a b"), percent("KT_PERCENT", "%KT_VALUE%"),
        longOne("KT_LONG", v240);
    // clang-format off
    const struct { std::string text; Lines configuration; std::optional<Lines> definition = std::nullopt; } rows[] = {
        {"a b\tc\r\n",                 {{"a", "b", "c"}}},
        {"CON /UNIT:1/WIDTH:80\n",     {{"CON", "/UNIT:1", "/WIDTH:80"}}, Lines{{"CON", "/UNIT:1/WIDTH:80"}}},
        {"// x a\"/b\" a'/b'\n",       {{"/", "/", "x", "a/b", "a/b"}},   Lines{{"//", "x", "a/b", "a/b"}}},
        {"a;b \"c;d\"\n",              {{"a"}}},
        {"\"\\101\" \"\\0101\" \"\\477\"\n", {{"A", "\b1", "?"}}}, // three digits at most, modulo 256
        {"\"\\n\\N\\r\\R\\t\\T\\\"\\\\\"\n", {{"\n\n\r\r\t\t\"\\"}}},
        {"'\\n a;b' 'it''s'\n",        {{"\\n a;b", "its"}}},
        {"ab\"c d\"'e;f' \"\" ''\n",   {{"abc de;f", "", ""}}},
        {"Title = X Title=X\n",        {{"Title", "=", "X", "Title=X"}}},
        {"\xE9t\xE9 \"\xFF\"\n",       {{"\xE9t\xE9", "\xFF"}}},
        {" \n\t\n; note\n  ;x\nA\n\nlast", {{"A"}, {"last"}}},
        // A read takes at most 254 characters; a NUL ends the line.
        {x300 + "\nN\n",               {{x254}, {std::string(46, 'x')}, {"N"}}},
        {x254 + "\nN\n",               {{x254}, {"N"}}},
        {std::string("ab\0cd\nN\n", 8), {{"ab"}, {"N"}}},
        // The rest of the line that holds INCLUDE is never read.
        {"A\nINCLUDE one.cnf never read\nB\n", {{"A"}, {"C"}, {"E", "e"}, {"D"}, {"B"}}},
        {"x \"InClUdE\" one.cnf y\nz\n", {{"x", "C"}, {"E", "e"}, {"D"}, {"z"}}},
        {"A INCLUDE blank.cnf\nB\n",   {{"A", "B"}}},
        {"A INCLUDE\nB\n",             {{"A"}, {"B"}}},
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

// Stands in for an interpreter: "W" takes a number in the base that follows
// it ("W8", "W16"; plain "W" is decimal), "T" takes "=", "FAIL" fails.
void Interpret(ConfigLexer& lexer) {
    while (LexerReadLine(lexer)) {
        if (!LexerNextToken(lexer)) {
            continue;
        }
        const std::string keyword = lexer.token;
        if (keyword[0] == 'W') {
            LexerNextNumber(lexer, keyword.size() > 1 ? std::stoul(keyword.substr(1)) : 10);
        } else if (keyword == "T") {
            LexerExpectEquals(lexer);
        } else if (keyword == "FAIL") {
            LexerError(lexer);
        }
        while (LexerNextToken(lexer)) {
        }
    }
}

TEST_F(ConfigTest, LexerErrorsAreLocatedInFileLineAndColumn) {
    Write("D:\\ONE.CNF", "\nINCLUDE two.cnf\n");
    Write("two.cnf", "; c\nW 1x\n");
    const std::string at1 = "Error in line 1 of m.cnf\n", at2 = "Error in line 2 of m.cnf\n";
    // clang-format off
    const std::pair<std::string, std::string> rows[] = {
        {"A 'abc\n",            at1 + "A 'abc\n- ----^\nUnmatched apostrophes\n"},
        {"Title \"abc\n",       at1 + "Title \"abc\n----- ----^\nUnmatched quotation marks\n"},
        {"\"a\\x\"\n",          at1 + "\"a\\x\"\n-----^\nIllegal \\ usage\n"},
        {"T X\n",               at1 + "T X\n- ^\nExpected =\n"},
        {"W8 8\n",              at1 + "W8 8\n-- ^\nExpected an octal number\n"},
        {"W16 0xg\n",           at1 + "W16 0xg\n--- ^^^\nExpected a hexadecimal number\n"},
        {"W2 102\n",            at1 + "W2 102\n-- ^^^\nExpected a base 2 number\n"},
        {"; c\nW ; none\n",     at2 + "W ; none\n- - ----^\nExpected a decimal number\n"},
        {"\tW \t 1x ; c\n",     at1 + "\tW \t 1x ; c\n\t- \t ^^\nExpected a decimal number\n"},
        // Every read counts a line: blank ones, comments, each piece of a long one.
        {"\n \n;c\n" + std::string(300, 'x') + "\n" + std::string(254, 'x') + "\nFAIL now\n",
         "Error in line 8 of m.cnf\nFAIL now\n^^^^\n"},
        {"A\nINCLUDE missing.cnf x\n",
         at2 + "INCLUDE missing.cnf x\n------- ^^^^^^^^^^^\nCan't open include file missing.cnf\n"},
        // Names as on the files' home system: plain file names on Linux.
        {"A\n\nINCLUDE D:\\ONE.CNF\n",
         "Error in line 2 of two.cnf\n    from line 2 of D:\\ONE.CNF\n    from line 3 of m.cnf\n"
         "W 1x\n- ^^\nExpected a decimal number\n"},
        {"INCLUDE m.cnf\n",
         at1 + "INCLUDE m.cnf\n------- ^^^^^\n"
         "Can't open include file m.cnf (it is already open: a file may not include itself)\n"},
    };
    // clang-format on
    const auto report = [this](const std::string& text) {
        Write("m.cnf", text);
        std::unique_ptr<ConfigLexer> lexer;
        EXPECT_TRUE(LexerCreate(lexer));
        ApplyConfigurationFileSettings(*lexer);
        EXPECT_TRUE(LexerOpen(*lexer, "m.cnf"));
        return ReportOf([&] { Interpret(*lexer); });
    };
    for (const auto& [text, expected] : rows) {
        EXPECT_EQ(report(text), expected) << text;
    }
    // The marker start-up sets stands under all but tabs and blanks.
    platform::SetLineMarker('\x7F');
    EXPECT_EQ(report("\n\tW \t 1x\n"),
              "Error in line 2 of m.cnf\n\tW \t 1x\n\t\x7F \t ^^\nExpected a decimal number\n");
}

} // namespace
} // namespace kestra::config::testing
