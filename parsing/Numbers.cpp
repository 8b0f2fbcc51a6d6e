#include "parsing/Numbers.h"

namespace kestra::parsing {
namespace {

// Bytes 0x80 and above must never count as digits, whatever the signedness
// of char, so every class test works on the unsigned byte.
constexpr unsigned char Byte(char character) {
    return static_cast<unsigned char>(character);
}

constexpr bool IsDecimalDigit(char character) {
    return Byte(character) >= '0' && Byte(character) <= '9';
}

constexpr bool IsOctalDigit(char character) {
    return Byte(character) >= '0' && Byte(character) <= '7';
}

constexpr bool IsHexDigit(char character) {
    const unsigned char byte = Byte(character);
    return IsDecimalDigit(character) || (byte >= 'a' && byte <= 'f') ||
           (byte >= 'A' && byte <= 'F');
}

// The shared shape of the three prefix scanners: optional '~', optional sign,
// then digits of one kind for as long as they last (none is required).
template <typename IsDigit, typename DigitValue>
std::size_t ScanNumber(std::string_view text, std::uint32_t& value, std::uint32_t base,
                       IsDigit isDigit, DigitValue digitValue) {
    std::size_t used = 0;
    bool complement = false;
    bool negative = false;
    value = 0;
    if (used < text.size() && text[used] == '~') {
        complement = true;
        ++used;
    }
    if (used < text.size() && (text[used] == '+' || text[used] == '-')) {
        negative = text[used] == '-';
        ++used;
    }
    // Unsigned arithmetic: overflow wraps silently, which is the documented
    // behaviour (4294967296 reads as 0).
    while (used < text.size() && isDigit(text[used])) {
        value = value * base + digitValue(text[used]);
        ++used;
    }
    if (negative) {
        value = 0u - value;
    }
    if (complement) {
        value = ~value;
    }
    return used;
}

unsigned DecimalDigitValue(char character) {
    return Byte(character) - '0';
}

bool StartsWithHexMarker(std::string_view text) {
    return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

// A reader of the 32-bit family narrowed to 16 bits: the low half of the
// same value.
template <typename Reader>
bool ReadLow16(std::string_view text, std::uint16_t& value, Reader reader) {
    std::uint32_t wide = 0;
    if (!reader(text, wide)) {
        return false;
    }
    value = static_cast<std::uint16_t>(wide);
    return true;
}

} // namespace

unsigned HexDigitValue(char character) {
    if (IsDecimalDigit(character)) {
        return DecimalDigitValue(character);
    }
    unsigned upper = Byte(character);
    if (upper >= 'a' && upper <= 'z') {
        upper -= 'a' - 'A';
    }
    return upper - 55; // 'A' (65) gives 10
}

std::size_t ScanDecimal(std::string_view text, std::uint32_t& value) {
    return ScanNumber(text, value, 10, IsDecimalDigit, DecimalDigitValue);
}

std::size_t ScanOctal(std::string_view text, std::uint32_t& value) {
    return ScanNumber(text, value, 8, IsOctalDigit, DecimalDigitValue);
}

std::size_t ScanHex(std::string_view text, std::uint32_t& value) {
    return ScanNumber(text, value, 16, IsHexDigit, HexDigitValue);
}

bool ReadOctal(std::string_view text, std::uint32_t& value) {
    if (text.empty()) {
        return false;
    }
    std::uint32_t scanned = 0;
    if (ScanOctal(text, scanned) != text.size()) {
        return false;
    }
    value = scanned;
    return true;
}

bool ReadDecimal(std::string_view text, std::uint32_t& value) {
    if (text.empty() || text == ".") {
        return false;
    }
    std::uint32_t scanned = 0;
    const std::size_t used = ScanDecimal(text, scanned);
    // A trailing '.' marks the number as decimal and is allowed once, last.
    const bool wholeText = used == text.size() || (used + 1 == text.size() && text[used] == '.');
    if (!wholeText) {
        return false;
    }
    value = scanned;
    return true;
}

bool ReadHex(std::string_view text, std::uint32_t& value) {
    if (text.empty() || (text.size() == 2 && StartsWithHexMarker(text))) {
        return false;
    }
    if (StartsWithHexMarker(text)) {
        text.remove_prefix(2);
    }
    std::uint32_t scanned = 0;
    if (ScanHex(text, scanned) != text.size()) {
        return false;
    }
    value = scanned;
    return true;
}

bool ReadDecimal16(std::string_view text, std::uint16_t& value) {
    return ReadLow16(text, value, ReadDecimal);
}

bool ReadNumber(std::string_view text, std::uint32_t& value, unsigned base) {
    if (text.empty()) {
        return false;
    }
    // The text's own marking wins over the caller's default base.
    if (text.back() == '.') {
        return ReadDecimal(text, value);
    }
    if (text.front() == '0') {
        return StartsWithHexMarker(text) ? ReadHex(text, value) : ReadOctal(text, value);
    }
    switch (base) {
    case 8: return ReadOctal(text, value);
    case 10: return ReadDecimal(text, value);
    case 16: return ReadHex(text, value);
    default: break;
    }
    // Any other base: plain digits from '0' upwards, no sign and no '~'.
    std::uint32_t result = 0;
    for (const char character : text) {
        const unsigned digit = static_cast<unsigned>(Byte(character)) - '0';
        if (digit >= base) {
            return false;
        }
        result = result * base + digit;
    }
    value = result;
    return true;
}

bool ReadNumber16(std::string_view text, std::uint16_t& value, unsigned base) {
    return ReadLow16(text, value, [base](std::string_view digits, std::uint32_t& wide) {
        return ReadNumber(digits, wide, base);
    });
}

bool ReadNumberList(std::string_view list, unsigned base, std::vector<std::int32_t>& values) {
    std::vector<std::int32_t> parsed;
    while (true) {
        const std::size_t comma = list.find(',');
        std::uint32_t value = 0;
        if (!ReadNumber(list.substr(0, comma), value, base)) {
            return false;
        }
        parsed.push_back(static_cast<std::int32_t>(value));
        if (comma == std::string_view::npos) {
            break;
        }
        list.remove_prefix(comma + 1);
    }
    values.insert(values.end(), parsed.begin(), parsed.end());
    return true;
}

} // namespace kestra::parsing
