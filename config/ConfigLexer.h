#pragma once

#include "config/ProgramFile.h"
#include "parsing/PathSearch.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// The lexer shared by the configuration file and the terminal definition
// file. It reads one line at a time (at most 254 characters, longer lines
// come in pieces), may replace %NAME% by environment variables, splits lines
// into tokens ('...' taken literally, "..." with \ escapes, pieces without
// blanks between them joined), follows INCLUDE into further files to any
// depth, and writes the one located report that every configuration error
// uses before it ends the program.
namespace kestra::config {

inline constexpr std::size_t kLineReadSize = 255; // characters read + terminator
inline constexpr std::size_t kMaxSubstitutedLine = 255;
inline constexpr std::size_t kMaxVariableName = 126;
inline constexpr std::size_t kChainCutLength = 3796; // no "from line" lines beyond

struct ConfigLexer;
using CharClass = std::function<bool(const ConfigLexer& lexer, char character)>;
// Opens name with mode and writes the path it opened into fullPath; no stream
// when it cannot.
using FileOpener = std::function<parsing::FilePointer(
    const ConfigLexer& lexer, std::string_view name, const char* mode, std::string& fullPath)>;

// One open file. The record the interpreter creates is the outermost of a
// chain; each INCLUDE hangs a child below the innermost one. Every operation
// takes the outermost record and works on the innermost. Callers read the
// current token and number from the outermost; line, cursor and tokenStart
// are only current in the innermost (LexerInnermost).
struct ConfigLexer {
    ConfigLexer() = default;
    // Closes the included files innermost first, without recursion: a chain
    // is as deep as the files that can be open at once.
    ~ConfigLexer();
    ConfigLexer(const ConfigLexer&) = delete;
    ConfigLexer& operator=(const ConfigLexer&) = delete;

    std::string fileName;       // as the opener reported it (the name asked for, when it failed)
    parsing::FilePointer file;  // null when not open
    std::string line;           // the current line, its new-line included when it fitted
    std::size_t cursor = 0;     // where the next scan starts
    std::size_t tokenStart = 0; // first character of the current token, quotes included
    unsigned lineNumber = 0;    // read attempts on this file, the one at its end included
    bool haveToken = false;
    ConfigLexer* parent = nullptr;
    std::unique_ptr<ConfigLexer> child; // the file included from this one, still being read
    std::uint32_t number = 0;           // the value of the last LexerNextNumber

    // Settings: set between creation and LexerOpen; every included file
    // inherits them. All off by default.
    int commentChar = 0; // 0: no comments
    bool skipBlankLines = false;
    bool substituteVariables = false;
    std::string token;          // the current token, quotes and escapes resolved
    std::string includeKeyword; // empty: no inclusion
    CharClass isSeparator;      // default: blank, tab, carriage return, line feed
    CharClass isBreak;          // ends a token unless it is its first character; default: none
    FileOpener openFile;        // tried before the path search
};

bool DefaultSeparator(const ConfigLexer& lexer, char character);

void LexerCreate(std::unique_ptr<ConfigLexer>& lexer);
void LexerDestroy(std::unique_ptr<ConfigLexer>& lexer);

// False when the file cannot be opened; the caller reports that.
bool LexerOpen(ConfigLexer& lexer, std::string_view name);
// The next line; false at the end of the outermost file.
bool LexerReadLine(ConfigLexer& lexer);
// The next token of the current line; false at its end (token then empty).
bool LexerNextToken(ConfigLexer& lexer);
bool LexerNextTokenUpper(ConfigLexer& lexer);
// The next token as a number with base as its default base, into number.
std::uint32_t LexerNextNumber(ConfigLexer& lexer, unsigned base);
// The next token must be exactly "=".
void LexerExpectEquals(ConfigLexer& lexer);

// The located report, ended by the message when there is one; ends the
// program through Fatal.
[[noreturn]] void LexerError(ConfigLexer& lexer, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
[[noreturn]] void LexerError(ConfigLexer& lexer);
// While one lives on a thread, a report on that thread does not end the
// program: LexerError throws LineRejected with the message alone instead.
class ReportsAsExceptions {
public:
    ReportsAsExceptions();
    ~ReportsAsExceptions();
    ReportsAsExceptions(const ReportsAsExceptions&) = delete;
    ReportsAsExceptions& operator=(const ReportsAsExceptions&) = delete;

private:
    bool previous_;
};
struct LineRejected {
    std::string message;
};
// A printf-style message as text, for the reports of the lexer and its
// callers.
std::string FormatMessage(const char* format, std::va_list arguments);
// The report's text without ending the program.
std::string LexerReport(ConfigLexer& lexer, std::string_view message);

// Closes the file and every file included from it, innermost first.
void LexerClose(ConfigLexer& lexer);
ConfigLexer& LexerInnermost(ConfigLexer& lexer);
const ConfigLexer& LexerInnermost(const ConfigLexer& lexer);

// The settings of the two file kinds that the lexer reads.
void ApplyConfigurationFileSettings(ConfigLexer& lexer);
void ApplyDefinitionFileSettings(ConfigLexer& lexer);

// The opener of the configuration file: the program file search, then the
// found path opened with mode.
parsing::FilePointer OpenProgramFile(const ConfigLexer& lexer, std::string_view name,
                                     const char* mode, std::string& fullPath);

} // namespace kestra::config
