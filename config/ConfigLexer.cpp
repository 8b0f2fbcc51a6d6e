#include "config/ConfigLexer.h"

#include "parsing/AsciiText.h"
#include "parsing/Numbers.h"
#include "platform/Exit.h"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace kestra::config {
namespace {

bool NoBreak(const ConfigLexer&, char) {
    return false;
}

bool IsComment(const ConfigLexer& record, char character) {
    return record.commentChar != 0 &&
           static_cast<unsigned char>(character) == static_cast<unsigned>(record.commentChar);
}

bool IsSeparator(const ConfigLexer& record, char character) {
    return record.isSeparator ? record.isSeparator(record, character)
                              : DefaultSeparator(record, character);
}

bool IsBreak(const ConfigLexer& record, char character) {
    return record.isBreak && record.isBreak(record, character);
}

thread_local bool reportsAsExceptions = false;

[[noreturn]] void ReportAndExit(ConfigLexer& lexer, const std::string* message) {
    if (reportsAsExceptions) {
        throw LineRejected{message ? *message : std::string()};
    }
    const std::string report =
        message ? LexerReport(lexer, *message + "\n") : LexerReport(lexer, {});
    platform::Fatal("%s", report.c_str());
}

[[noreturn]] void Fail(ConfigLexer& lexer, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void Fail(ConfigLexer& lexer, const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    const std::string message = FormatMessage(format, arguments);
    va_end(arguments);
    ReportAndExit(lexer, &message);
}

// One physical read: at most 254 characters, the new-line included when it
// fits; a longer line is left for the following reads.
bool ReadPhysicalLine(ConfigLexer& record) {
    std::array<char, kLineReadSize> buffer{};
    const bool read = record.file && std::fgets(buffer.data(), buffer.size(), record.file.get());
    ++record.lineNumber;
    record.cursor = 0;
    // A NUL byte ends the line, as it ends the text of any line read.
    record.line = read ? std::string(buffer.data(), std::strlen(buffer.data())) : std::string();
    return read;
}

std::string VariableValue(const std::string& name) {
    if (const char* value = std::getenv(name.c_str())) {
        return value;
    }
    std::string upper = name;
    for (char& character : upper) {
        character = AsciiUpper(character);
    }
    const char* value = std::getenv(upper.c_str());
    return value ? value : "";
}

// %NAME% becomes the variable's value and %% a single '%'. A value is never
// scanned again; an over-long name or a line that would grow past its limit
// stops the substitution and leaves the rest of the line as it is.
void SubstituteVariables(std::string& line) {
    std::size_t scan = 0;
    for (;;) {
        const std::size_t open = line.find('%', scan);
        if (open == std::string::npos) {
            return;
        }
        const std::size_t close = line.find('%', open + 1);
        if (close == std::string::npos) {
            return;
        }
        if (close == open + 1) {
            line.erase(open, 1);
            scan = open + 1;
            continue;
        }
        const std::string name = line.substr(open + 1, close - open - 1);
        if (name.size() > kMaxVariableName) {
            return;
        }
        const std::string value = VariableValue(name);
        if (line.size() - (name.size() + 2) + value.size() > kMaxSubstitutedLine) {
            return;
        }
        line.erase(open, name.size() + 2);
        parsing::InsertText(line, open, value);
        scan = open + value.size();
    }
}

bool IsBlankLine(const ConfigLexer& record) {
    std::size_t position = 0;
    while (position < record.line.size() && IsSeparator(record, record.line[position])) {
        ++position;
    }
    return position == record.line.size() || IsComment(record, record.line[position]);
}

void CopySettings(const ConfigLexer& from, ConfigLexer& to) {
    to.commentChar = from.commentChar;
    to.skipBlankLines = from.skipBlankLines;
    to.substituteVariables = from.substituteVariables;
    to.includeKeyword = from.includeKeyword;
    to.isSeparator = from.isSeparator;
    to.isBreak = from.isBreak;
    to.openFile = from.openFile;
}

bool SameFile(const ConfigLexer& left, const ConfigLexer& right) {
    struct stat leftStatus {};
    struct stat rightStatus {};
    return left.file && right.file && ::fstat(fileno(left.file.get()), &leftStatus) == 0 &&
           ::fstat(fileno(right.file.get()), &rightStatus) == 0 &&
           leftStatus.st_dev == rightStatus.st_dev && leftStatus.st_ino == rightStatus.st_ino;
}

bool IsOctalDigit(char character) {
    return character >= '0' && character <= '7';
}

// The escape after a backslash inside double quotes, starting at position;
// moves position past it. False for an escape that does not exist.
bool ReadEscape(const std::string& line, std::size_t& position, std::string& text) {
    if (position >= line.size() || static_cast<unsigned char>(line[position]) >= 0x80) {
        return false;
    }
    const char letter = AsciiUpper(line[position]);
    if (IsOctalDigit(letter)) {
        unsigned value = 0;
        for (int digits = 0; digits < 3 && position < line.size() && IsOctalDigit(line[position]);
             ++digits, ++position) {
            value = value * 8 + static_cast<unsigned>(line[position] - '0');
        }
        text += static_cast<char>(value & 0xFF);
        return true;
    }
    // clang-format off
    static constexpr struct { char letter; char value; } kEscapes[] = {
        {'"',  '"'},
        {'\\', '\\'},
        {'N',  '\n'},
        {'R',  '\r'},
        {'T',  '\t'},
    };
    // clang-format on
    for (const auto& escape : kEscapes) {
        if (escape.letter == letter) {
            text += escape.value;
            ++position;
            return true;
        }
    }
    return false;
}

// Collects the token that starts at the record's cursor and leaves the cursor
// just after it. Errors are reported with the cursor where the scan stopped.
std::string CollectToken(ConfigLexer& outermost, ConfigLexer& record, bool breaksEnabled) {
    const std::string& line = record.line;
    std::string text;
    std::size_t& position = record.cursor;
    while (position < line.size()) {
        const char character = line[position];
        if (IsComment(record, character) || IsSeparator(record, character) ||
            (breaksEnabled && position != record.tokenStart && IsBreak(record, character))) {
            break;
        }
        if (character == '\'') {
            const std::size_t close = line.find('\'', position + 1);
            if (close == std::string::npos) {
                position = line.size();
                Fail(outermost, "Unmatched apostrophes");
            }
            text.append(line, position + 1, close - position - 1);
            position = close + 1;
        } else if (character == '"') {
            ++position;
            for (;;) {
                if (position >= line.size()) {
                    Fail(outermost, "Unmatched quotation marks");
                }
                const char quoted = line[position];
                if (quoted == '"') {
                    ++position;
                    break;
                }
                if (quoted == '\\') {
                    ++position;
                    if (!ReadEscape(line, position, text)) {
                        Fail(outermost, "Illegal \\ usage");
                    }
                } else {
                    text += quoted;
                    ++position;
                }
            }
        } else {
            text += character;
            ++position;
        }
    }
    return text;
}

void AppendMarkerFor(std::string& marker, char character) {
    marker += character == '\t' || character == ' ' ? character : platform::LineMarker();
}

} // namespace

std::string FormatMessage(const char* format, std::va_list arguments) {
    std::va_list measuring;
    va_copy(measuring, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    if (length <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, arguments);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

ConfigLexer::~ConfigLexer() {
    std::vector<std::unique_ptr<ConfigLexer>> chain;
    for (std::unique_ptr<ConfigLexer> next = std::move(child); next;) {
        std::unique_ptr<ConfigLexer> below = std::move(next->child);
        chain.push_back(std::move(next));
        next = std::move(below);
    }
    while (!chain.empty()) {
        chain.pop_back();
    }
}

bool DefaultSeparator(const ConfigLexer&, char character) {
    return character == ' ' || character == '\t' || character == '\r' || character == '\n';
}

void LexerCreate(std::unique_ptr<ConfigLexer>& lexer) {
    lexer = std::make_unique<ConfigLexer>();
}

void LexerDestroy(std::unique_ptr<ConfigLexer>& lexer) {
    lexer.reset();
}

bool LexerOpen(ConfigLexer& lexer, std::string_view name) {
    std::string fullPath;
    parsing::FilePointer file;
    if (lexer.openFile) {
        file = lexer.openFile(lexer, name, "r", fullPath);
    }
    if (!file) {
        file = parsing::OpenOnPath(name, "r", fullPath);
    }
    if (!file) {
        lexer.fileName = std::string(name);
        return false;
    }
    lexer.fileName = fullPath.empty() ? std::string(name) : fullPath;
    lexer.file = std::move(file);
    lexer.lineNumber = 0;
    lexer.line.clear();
    lexer.cursor = 0;
    lexer.tokenStart = 0;
    lexer.parent = nullptr;
    lexer.child.reset();
    lexer.token.clear();
    if (!lexer.isSeparator) {
        lexer.isSeparator = DefaultSeparator;
    }
    if (!lexer.isBreak) {
        lexer.isBreak = NoBreak;
    }
    return true;
}

bool LexerReadLine(ConfigLexer& lexer) {
    for (;;) {
        ConfigLexer& record = LexerInnermost(lexer);
        if (!ReadPhysicalLine(record)) {
            if (record.parent != nullptr) {
                // The rest of the line that held the INCLUDE is never read.
                record.parent->child.reset();
                continue;
            }
            return false;
        }
        if (record.substituteVariables) {
            SubstituteVariables(record.line);
        }
        if (!record.skipBlankLines || !IsBlankLine(record)) {
            return true;
        }
    }
}

namespace {

// Paths on Linux are written with '/', which breaks tokens in the
// configuration file: the file name after INCLUDE is read without break
// characters, so that INCLUDE /etc/kestra/units.cnf needs no quotes.
enum class Breaks { Enabled, Disabled };

bool NextToken(ConfigLexer& lexer, Breaks breaks) {
    for (;;) {
        lexer.haveToken = false;
        ConfigLexer* record = &LexerInnermost(lexer);
        const std::string& line = record->line;
        while (record->cursor < line.size() && !IsComment(*record, line[record->cursor]) &&
               IsSeparator(*record, line[record->cursor])) {
            ++record->cursor;
        }
        record->tokenStart = record->cursor;
        // A token never continues on the next line.
        if (record->cursor >= line.size() || IsComment(*record, line[record->cursor])) {
            record->token.clear();
            lexer.token.clear();
            return false;
        }

        record->token = CollectToken(lexer, *record, breaks == Breaks::Enabled);

        if (record->includeKeyword.empty() ||
            !EqualIgnoringCase(record->token, record->includeKeyword)) {
            if (record != &lexer) {
                lexer.token = record->token;
            }
            record->haveToken = true;
            return true;
        }

        // INCLUDE: the next token names the file, and the first token of
        // that file is the one returned.
        if (!NextToken(lexer, Breaks::Disabled)) {
            return false;
        }
        ConfigLexer& including = LexerInnermost(lexer);
        const std::string name = lexer.token;
        auto child = std::make_unique<ConfigLexer>();
        CopySettings(including, *child);
        if (!LexerOpen(*child, name)) {
            Fail(lexer, "Can't open include file %s", name.c_str());
        }
        // A file that includes itself, directly or through others, would
        // never end: refuse it at once instead of running out of files.
        for (const ConfigLexer* open = &including; open != nullptr; open = open->parent) {
            if (SameFile(*open, *child)) {
                Fail(lexer,
                     "Can't open include file %s (it is already open: a file may not "
                     "include itself)",
                     name.c_str());
            }
        }
        child->parent = &including;
        including.child = std::move(child);
        if (!LexerReadLine(lexer)) {
            lexer.token.clear();
            return false;
        }
    }
}

} // namespace

bool LexerNextToken(ConfigLexer& lexer) {
    return NextToken(lexer, Breaks::Enabled);
}

bool LexerNextTokenUpper(ConfigLexer& lexer) {
    const bool found = LexerNextToken(lexer);
    for (char& character : lexer.token) {
        character = AsciiUpper(character);
    }
    return found;
}

std::uint32_t LexerNextNumber(ConfigLexer& lexer, unsigned base) {
    std::uint32_t value = 0;
    if (!LexerNextToken(lexer) || !parsing::ReadNumber(lexer.token, value, base)) {
        switch (base) {
        case 8: Fail(lexer, "Expected an octal number");
        case 10: Fail(lexer, "Expected a decimal number");
        case 16: Fail(lexer, "Expected a hexadecimal number");
        default: Fail(lexer, "Expected a base %u number", base);
        }
    }
    lexer.number = value;
    return value;
}

void LexerExpectEquals(ConfigLexer& lexer) {
    if (!LexerNextToken(lexer) || lexer.token != "=") {
        Fail(lexer, "Expected =");
    }
}

std::string LexerReport(ConfigLexer& lexer, std::string_view message) {
    ConfigLexer& record = LexerInnermost(lexer);
    std::string report =
        "Error in line " + std::to_string(record.lineNumber) + " of " + record.fileName + "\n";
    for (const ConfigLexer* including = record.parent; including != nullptr;
         including = including->parent) {
        if (report.size() >= kChainCutLength) {
            report += "...\n"; // the chain goes on but would crowd out the rest
            break;
        }
        report += "    from line " + std::to_string(including->lineNumber) + " of " +
                  including->fileName + "\n";
    }

    // A line read from a file with CR LF ends keeps both here.
    while (!record.line.empty() && (record.line.back() == '\n' || record.line.back() == '\r')) {
        parsing::TrimTrailing(record.line, '\n');
        parsing::TrimTrailing(record.line, '\r');
    }
    const std::string& line = record.line;
    report += line + "\n";

    std::string marker;
    if (record.haveToken) {
        const std::size_t start = std::min(record.tokenStart, line.size());
        const std::size_t end = std::max(start, std::min(record.cursor, line.size()));
        for (std::size_t i = 0; i < start; ++i) {
            AppendMarkerFor(marker, line[i]);
        }
        marker.append(end - start, '^');
    } else {
        for (const char character : line) {
            AppendMarkerFor(marker, character);
        }
        marker += '^';
    }
    report += marker + "\n";
    report += message;
    return report;
}

void LexerError(ConfigLexer& lexer, const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    const std::string message = FormatMessage(format, arguments);
    va_end(arguments);
    ReportAndExit(lexer, &message);
}

void LexerError(ConfigLexer& lexer) {
    ReportAndExit(lexer, nullptr);
}

ReportsAsExceptions::ReportsAsExceptions() : previous_(reportsAsExceptions) {
    reportsAsExceptions = true;
}

ReportsAsExceptions::~ReportsAsExceptions() {
    reportsAsExceptions = previous_;
}

void LexerClose(ConfigLexer& lexer) {
    lexer.child.reset(); // each record closes its own child before its file
    lexer.file.reset();
    lexer.fileName.clear();
    lexer.token.clear();
}

ConfigLexer& LexerInnermost(ConfigLexer& lexer) {
    ConfigLexer* record = &lexer;
    while (record->child) {
        record = record->child.get();
    }
    return *record;
}

const ConfigLexer& LexerInnermost(const ConfigLexer& lexer) {
    const ConfigLexer* record = &lexer;
    while (record->child) {
        record = record->child.get();
    }
    return *record;
}

void ApplyConfigurationFileSettings(ConfigLexer& lexer) {
    lexer.commentChar = ';';
    lexer.skipBlankLines = true;
    lexer.substituteVariables = true;
    lexer.includeKeyword = "INCLUDE";
    // Switches follow each other without blanks: /UNIT:1/WIDTH:80.
    lexer.isBreak = [](const ConfigLexer&, char character) { return character == '/'; };
    lexer.openFile = OpenProgramFile;
}

void ApplyDefinitionFileSettings(ConfigLexer& lexer) {
    lexer.commentChar = ';';
    lexer.skipBlankLines = true;
    lexer.substituteVariables = false;
    lexer.includeKeyword = "INCLUDE";
    lexer.isBreak = nullptr;
    lexer.openFile = nullptr;
}

parsing::FilePointer OpenProgramFile(const ConfigLexer&, std::string_view name, const char* mode,
                                     std::string& fullPath) {
    std::string found = FindProgramFile(name);
    parsing::FilePointer file(std::fopen(found.c_str(), mode));
    struct stat status {};
    if (!file || ::fstat(fileno(file.get()), &status) != 0 || S_ISDIR(status.st_mode)) {
        fullPath.clear();
        return nullptr;
    }
    fullPath = std::move(found);
    return file;
}

} // namespace kestra::config
