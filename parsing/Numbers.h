#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// The one notation for numbers in every file and switch KESTRA reads: a
// default base chosen by the caller, overridden by the text (a trailing '.'
// for decimal, a leading 0x for hexadecimal, a leading 0 for octal), an
// optional sign and an optional leading '~' for the bitwise complement.
// Values are unsigned 32-bit and wrap silently; the 16-bit readers keep the
// low 16 bits of the same value. Bytes 0x80 and above are never digits.
namespace kestra::parsing {

// Prefix scanners: set value (0 when nothing was read) and return how many
// characters of text were used, '~' and sign included.
std::size_t ScanDecimal(std::string_view text, std::uint32_t& value);
std::size_t ScanOctal(std::string_view text, std::uint32_t& value);
std::size_t ScanHex(std::string_view text, std::uint32_t& value);
unsigned HexDigitValue(char character);

// Whole-text readers: true only when all of text is a number of the kind.
bool ReadOctal(std::string_view text, std::uint32_t& value);
bool ReadDecimal(std::string_view text, std::uint32_t& value);
bool ReadHex(std::string_view text, std::uint32_t& value);
bool ReadDecimal16(std::string_view text, std::uint16_t& value);

// The general readers; base is the default when the text carries no marking.
bool ReadNumber(std::string_view text, std::uint32_t& value, unsigned base);
bool ReadNumber16(std::string_view text, std::uint16_t& value, unsigned base);

// Numbers separated by commas, appended to values. False, with values
// untouched, when one is not a number.
bool ReadNumberList(std::string_view list, unsigned base, std::vector<std::int32_t>& values);

} // namespace kestra::parsing
