#pragma once

#include <string>
#include <string_view>
#include <vector>

// The command line that opens a configuration file in the user's editor. The
// configured EditCommand is user text used as a format: "%s" stands for the
// file name, the first two integer conversions ("%d", "%i" or "%u") for the
// line and the column, "%%" for a percent sign. Every other '%' sequence is
// copied as written, so no command the user can type makes the program read
// an argument that is not there.
namespace kestra::shell {

// This system's default: the desktop's opener for the file's type.
inline constexpr std::string_view kDefaultEditCommand = "xdg-open %s";

std::string FormatEditCommand(std::string_view format, std::string_view fileName, int line,
                              int column);

// Splits a command line into words at blanks and tabs; double quotes group
// blanks into a word and are removed. An unclosed quote runs to the end.
std::vector<std::string> SplitCommandWords(std::string_view commandLine);

// The editor's argument vector: the command split into words first and each
// word formatted afterwards, so a file name holding blanks stays one argument
// and is never read by a shell. Integer conversions count across the words.
std::vector<std::string> EditorArguments(std::string_view editCommand, std::string_view fileName,
                                         int line, int column);

} // namespace kestra::shell
