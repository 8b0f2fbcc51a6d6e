#pragma once

#include <algorithm>
#include <string>
#include <string_view>

// Keywords, option names and values are compared without regard to case, for
// the letters a to z only: other bytes compare as they are, whatever the
// locale. Every layer from the parsers up shares these.
namespace kestra {

constexpr char AsciiUpper(char character) {
    return character >= 'a' && character <= 'z' ? static_cast<char>(character - 'a' + 'A')
                                                : character;
}

constexpr bool EqualIgnoringCase(std::string_view left, std::string_view right) {
    return left.size() == right.size() &&
           std::equal(left.begin(), left.end(), right.begin(),
                      [](char a, char b) { return AsciiUpper(a) == AsciiUpper(b); });
}

constexpr bool EndsWithIgnoringCase(std::string_view text, std::string_view ending) {
    return text.size() >= ending.size() &&
           EqualIgnoringCase(text.substr(text.size() - ending.size()), ending);
}

} // namespace kestra
