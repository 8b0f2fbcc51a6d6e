#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The readers of a CON line's options, written /Option:Value before its "=".
// All read the configuration lexer of the running pass and report errors at
// the offending token. A typical loop:
//
//     std::string_view name, value;
//     while (NextOption(name, value)) {
//         if (NumberOption("UNIT", name, value, unit, 10, 0, 99)) continue;
//         if (FlagOption("8BIT", name, value, eightBit)) continue;
//         ...
//         InvalidOption();
//     }
namespace kestra::config {

// The next option of the line: false when the line is used up or the token
// is "=" (which then stays the current token). Otherwise the token must be
// /Option:Value; name and value, split at the first ':', stay valid until the
// next token is read. '/' breaks tokens, so /UNIT:3/WIDTH:132 is two options.
bool NextOption(std::string_view& name, std::string_view& value);

// False when name is not optionName (case ignored). Otherwise value must be a
// number (base being its default base) from minimum to maximum (a maximum of
// 0: no upper limit), reported with name as written; the low 16 bits are
// stored.
bool NumberOption(std::string_view optionName, std::string_view name, std::string_view value,
                  std::uint16_t& result, unsigned base, std::uint32_t minimum,
                  std::uint32_t maximum);
// The same for a 32-bit number, stored whole.
bool NumberOption(std::string_view optionName, std::string_view name, std::string_view value,
                  std::uint32_t& result, unsigned base, std::uint32_t minimum,
                  std::uint32_t maximum);

// False when name is not optionName; otherwise ON or YES store true, OFF or
// NO false, anything else is an error.
bool FlagOption(std::string_view optionName, std::string_view name, std::string_view value,
                bool& result);

// False unless name is UNITNAME; otherwise the unit name becomes value as
// written, replacing an earlier one.
bool UnitNameOption(std::string_view name, std::string_view value,
                    std::optional<std::string>& unitName);

// Reports the current option as unknown.
[[noreturn]] void InvalidOption();

} // namespace kestra::config
