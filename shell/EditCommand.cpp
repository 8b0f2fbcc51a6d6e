#include "shell/EditCommand.h"

namespace kestra::shell {
namespace {

// Formats one piece of text; integersUsed carries the count of integer
// conversions already filled across the pieces of one command.
std::string FormatPiece(std::string_view format, std::string_view fileName, int line, int column,
                        int& integersUsed) {
    std::string out;
    out.reserve(format.size() + fileName.size());
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char character = format[i];
        if (character != '%' || i + 1 == format.size()) {
            out += character;
            continue;
        }
        const char conversion = format[i + 1];
        switch (conversion) {
        case '%':
            out += '%';
            ++i;
            break;
        case 's':
            out += fileName;
            ++i;
            break;
        case 'd':
        case 'i':
        case 'u':
            if (integersUsed < 2) {
                out += std::to_string(integersUsed == 0 ? line : column);
                ++integersUsed;
                ++i;
            } else {
                out += character; // a third number has nothing to show
            }
            break;
        default: out += character; // the rest of the sequence follows as plain text
        }
    }
    return out;
}

} // namespace

std::string FormatEditCommand(std::string_view format, std::string_view fileName, int line,
                              int column) {
    int integersUsed = 0;
    return FormatPiece(format, fileName, line, column, integersUsed);
}

std::vector<std::string> SplitCommandWords(std::string_view commandLine) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (const char character : commandLine) {
        if (character == '"') {
            quoted = !quoted;
            inWord = true; // "" is an empty argument
        } else if (!quoted && (character == ' ' || character == '\t')) {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
        } else {
            word += character;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return words;
}

std::vector<std::string> EditorArguments(std::string_view editCommand, std::string_view fileName,
                                         int line, int column) {
    std::vector<std::string> arguments = SplitCommandWords(editCommand);
    int integersUsed = 0;
    for (std::string& argument : arguments) {
        argument = FormatPiece(argument, fileName, line, column, integersUsed);
    }
    return arguments;
}

} // namespace kestra::shell
