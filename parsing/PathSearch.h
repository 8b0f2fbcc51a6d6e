#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

// Finding the files that KESTRA reads (configuration files, the terminal
// definition, the splash picture) and the small string helpers of the
// configuration lexer.
//
// Names are matched as on the system the configuration files come from: when
// a name does not exist exactly, a case-insensitive match of its last
// component in the same directory is taken, so VT100.CNF finds vt100.cnf.
// Search lists in environment variables are split at ':' and candidates are
// built with '/'. A name beginning with '/' is absolute, and a name holding a
// backslash or a colon is never searched for.
namespace kestra::parsing {

// Paths the configuration names are at most 259 characters long.
inline constexpr std::size_t kMaxPathLength = 259;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePointer = std::unique_ptr<std::FILE, FileCloser>;

// The path of name as it exists (exactly, or by the case-insensitive match of
// its last component), or the empty string when there is no such file or
// directory.
std::string ExistingPath(std::string_view name);

// The absolute path of the first existing file found: name itself, then (for
// a name that may be searched for) name under each directory listed in the
// environment variable. The empty string when nothing is found. Found paths
// keep their case.
std::string SearchPathList(std::string_view name, std::string_view variable);

// Opens name with mode: as it stands when it exists, otherwise searched for
// under the directories of the variable named by its extension ("CNF" for
// VT100.CNF), then under those of PATH. openedPath receives the path that was
// opened (name as written when found in place), or the empty string. No
// stream when nothing could be opened; a directory is never opened.
FilePointer OpenOnPath(std::string_view name, const char* mode, std::string& openedPath);
FilePointer OpenOnPath(std::string_view name, const char* mode);

// Inserts prefix in front of the part of text that starts at position.
void InsertText(std::string& text, std::size_t position, std::string_view prefix);
// Removes every trailing occurrence of character.
void TrimTrailing(std::string& text, char character);
// Position of the first character in text, or text.size() when there is none.
std::size_t FindCharOrEnd(std::string_view text, char character);

} // namespace kestra::parsing
