#include "ConfigTestSupport.h"
#include "termdef/parsing/Numbers.h"

namespace kestra::config::testing {
namespace {

using Driver = std::function<void(ConfigLexer&)>;

void ReadAllTokens(ConfigLexer& lexer) {
    while (LexerReadLine(lexer)) {
        while (LexerNextToken(lexer)) {
        }
    }
}

// Stands in for an interpreter: "W" takes a number in the base that follows
// it as a word ("W8", "W16"; plain "W" is decimal), "T" takes "=" and a
// value, "CON" takes a /UNIT:n switch, everything else is passed over.
void Interpret(ConfigLexer& lexer) {
    while (LexerReadLine(lexer)) {
        if (!LexerNextToken(lexer)) {
            continue;
        }
        const std::string keyword = lexer.token;
        if (keyword[0] == 'W') {
            const unsigned base = keyword.size() > 1 ? std::stoul(keyword.substr(1)) : 10;
            LexerNextNumber(lexer, base);
        } else if (keyword == "T") {
            LexerExpectEquals(lexer);
        } else if (keyword == "CON") {
            LexerNextToken(lexer);
            std::uint32_t unit = 0;
            if (lexer.token.starts_with("/UNIT:") &&
                !termdef::ReadNumber(std::string_view(lexer.token).substr(6), unit, 10)) {
                LexerError(lexer, "Expected a decimal number");
            }
        } else if (keyword == "FAIL") {
            LexerError(lexer);
        }
    }
}

class LexerReports : public LexerFilesTest {};

struct ReportRow {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files; // the first is opened
    Driver driver;
    std::string expected;
};

TEST_F(LexerReports, EveryErrorIsLocatedInFileLineAndColumn) {
    // clang-format off
    const ReportRow rows[] = {
        {"unmatched apostrophes", {{"m.cnf", "A 'abc\n"}}, ReadAllTokens,
         "Error in line 1 of m.cnf\nA 'abc\n- ----^\nUnmatched apostrophes\n"},
        {"unmatched quotation marks", {{"m.cnf", "Title \"abc\n"}}, ReadAllTokens,
         "Error in line 1 of m.cnf\nTitle \"abc\n----- ----^\nUnmatched quotation marks\n"},
        {"unknown escape", {{"m.cnf", "\"a\\x\"\n"}}, ReadAllTokens,
         "Error in line 1 of m.cnf\n\"a\\x\"\n-----^\nIllegal \\ usage\n"},
        {"equals missing after a token", {{"m.cnf", "T X\n"}}, Interpret,
         "Error in line 1 of m.cnf\nT X\n- ^\nExpected =\n"},
        {"decimal", {{"m.cnf", "\n\n; counted\nW 1x\n"}}, Interpret,
         "Error in line 4 of m.cnf\nW 1x\n- ^^\nExpected a decimal number\n"},
        {"octal", {{"m.cnf", "W8 8\n"}}, Interpret,
         "Error in line 1 of m.cnf\nW8 8\n-- ^\nExpected an octal number\n"},
        {"hexadecimal", {{"m.cnf", "W16 0xg\n"}}, Interpret,
         "Error in line 1 of m.cnf\nW16 0xg\n--- ^^^\nExpected a hexadecimal number\n"},
        {"other base", {{"m.cnf", "W2 102\n"}}, Interpret,
         "Error in line 1 of m.cnf\nW2 102\n-- ^^^\nExpected a base 2 number\n"},
        {"number missing", {{"m.cnf", "W ; none\n"}}, Interpret,
         "Error in line 1 of m.cnf\nW ; none\n- - ----^\nExpected a decimal number\n"},
        {"tabs and blanks kept", {{"m.cnf", "\tW \t 1x ; c\n"}}, Interpret,
         "Error in line 1 of m.cnf\n\tW \t 1x ; c\n\t- \t ^^\nExpected a decimal number\n"},
        {"no message", {{"m.cnf", "FAIL now\n"}}, Interpret,
         "Error in line 1 of m.cnf\nFAIL now\n^^^^\n"},
        {"include file missing", {{"m.cnf", "A\nINCLUDE missing.cnf x\n"}}, ReadAllTokens,
         "Error in line 2 of m.cnf\nINCLUDE missing.cnf x\n------- ^^^^^^^^^^^\n"
         "Can't open include file missing.cnf\n"},
        // Names as on the files' home system: plain file names on Linux.
        {"two deep, innermost first",
         {{"m.cnf", "A\nINCLUDE D:\\ONE.CNF\n"}, {"D:\\ONE.CNF", "\nINCLUDE two.cnf\n"}, {"two.cnf", "; c\nW 1x\n"}},
         Interpret,
         "Error in line 2 of two.cnf\n    from line 2 of D:\\ONE.CNF\n    from line 2 of m.cnf\n"
         "W 1x\n- ^^\nExpected a decimal number\n"},
        {"a file that includes itself", {{"m.cnf", "INCLUDE m.cnf\n"}}, ReadAllTokens,
         "Error in line 1 of m.cnf\nINCLUDE m.cnf\n------- ^^^^^\n"
         "Can't open include file m.cnf (it is already open: a file may not include itself)\n"},
    };
    // clang-format on
    for (const ReportRow& row : rows) {
        for (const auto& [name, content] : row.files) {
            Write(name, content);
        }
        auto lexer = Open(row.files.front().first);
        EXPECT_EQ(ReportOf([&] { row.driver(*lexer); }), row.expected) << row.name;
    }
}

// Start-up changes the marker; tabs and blanks stay as they are.
TEST_F(LexerReports, TheMarkerIsTheOneStartUpSet) {
    Write("M.CNF", "\tCON /UNIT:1x\n");
    auto marked = Open("M.CNF");
    EXPECT_EQ(ReportOf([&] {
                  platform::SetLineMarker('\x7F');
                  Interpret(*marked);
              }),
              "Error in line 1 of M.CNF\n\tCON /UNIT:1x\n\t\x7F\x7F\x7F ^^^^^^^^\n"
              "Expected a decimal number\n");
}

} // namespace
} // namespace kestra::config::testing
