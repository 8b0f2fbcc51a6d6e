#include "config/OptionReaders.h"

#include "config/ConfigInterpreter.h"
#include "parsing/AsciiText.h"
#include "parsing/Numbers.h"

namespace kestra::config {

bool NextOption(std::string_view& name, std::string_view& value) {
    ConfigLexer* lexer = ConfigLexerInstance();
    if (lexer == nullptr || !LexerNextToken(*lexer) || lexer->token == "=") {
        return false;
    }
    const std::string_view token = lexer->token;
    const std::size_t colon = token.find(':');
    if (!token.starts_with('/') || colon == std::string_view::npos) {
        ConfigError("All options must be of the form /Option:Value");
    }
    name = token.substr(1, colon - 1);
    value = token.substr(colon + 1);
    return true;
}

bool NumberOption(std::string_view optionName, std::string_view name, std::string_view value,
                  std::uint32_t& result, unsigned base, std::uint32_t minimum,
                  std::uint32_t maximum) {
    if (!EqualIgnoringCase(optionName, name)) {
        return false;
    }
    std::uint32_t number = 0;
    if (!parsing::ReadNumber(value, number, base)) {
        switch (base) {
        case 8: ConfigError("Expected an octal number");
        case 16: ConfigError("Expected a hexadecimal number");
        default: ConfigError("Expected a decimal number");
        }
    }
    if ((maximum != 0 && number > maximum) || number < minimum) {
        const std::string written(name);
        const unsigned long low = minimum;
        const unsigned long high = maximum;
        switch (base) {
        case 8: ConfigError("%s must be from %06lo to %06lo, octal", written.c_str(), low, high);
        case 16: ConfigError("%s must be from %04lX to %04lX, hex", written.c_str(), low, high);
        default: ConfigError("%s must be from %lu to %lu", written.c_str(), low, high);
        }
    }
    result = number;
    return true;
}

bool NumberOption(std::string_view optionName, std::string_view name, std::string_view value,
                  std::uint16_t& result, unsigned base, std::uint32_t minimum,
                  std::uint32_t maximum) {
    std::uint32_t number = 0;
    if (!NumberOption(optionName, name, value, number, base, minimum, maximum)) {
        return false;
    }
    result = static_cast<std::uint16_t>(number);
    return true;
}

bool FlagOption(std::string_view optionName, std::string_view name, std::string_view value,
                bool& result) {
    if (!EqualIgnoringCase(optionName, name)) {
        return false;
    }
    if (EqualIgnoringCase(value, "ON") || EqualIgnoringCase(value, "YES")) {
        result = true;
    } else if (EqualIgnoringCase(value, "OFF") || EqualIgnoringCase(value, "NO")) {
        result = false;
    } else {
        ConfigError("Option value must be ON, OFF, YES or NO");
    }
    return true;
}

bool UnitNameOption(std::string_view name, std::string_view value,
                    std::optional<std::string>& unitName) {
    if (!EqualIgnoringCase(name, "UNITNAME")) {
        return false;
    }
    unitName = std::string(value);
    return true;
}

void InvalidOption() {
    ConfigError("Invalid option");
}

} // namespace kestra::config
