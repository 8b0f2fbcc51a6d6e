#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The command line: switches that choose the configuration file and the key
// of the Properties, ask for the help text or make a restarted instance wait
// for its predecessor; or a list of pipe names, one console each.
namespace kestra::config {

// One reading of a switch's value as a number.
struct NumberReading {
    bool valid = false;
    std::uint32_t value = 0;

    bool operator==(const NumberReading&) const = default;
};

// One argument read as a switch.
struct SwitchRecord {
    char letter = 0;                  // 0 when the argument is no switch
    std::optional<std::string> value; // the text after the letter (and its ':')
    NumberReading octal;
    NumberReading decimal; // may end in a single '.'
    NumberReading hex;     // may begin with 0x
    NumberReading number;  // the general notation, decimal by default
};

// The characters a Properties key may hold; a key has 1 to 80 of them.
inline constexpr std::string_view kPropertiesKeyCharacters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789.!@#$%^&~+-_";
inline constexpr std::size_t kMaxPropertiesKeyLength = 80;

// Reads /X, /X:value, /Xvalue, -X... or the trailing form value/X. False, with
// the record cleared, when the argument is no switch. keepCase false
// upper-cases the letter.
bool ParseSwitch(std::string_view argument, SwitchRecord& record, bool keepCase = false);

bool IsValidPropertiesKey(std::string_view key);

// Reads the command line (arguments[0] is the program as started) into the
// options: the configuration file, the Properties key, quiet mode, the
// restart command line, or the pipe names of command-line consoles; sleeps
// for /D and waits for the process of /W:. /H, /R and every bad argument end
// the program through ShowHelp.
void ParseCommandLine(std::span<const std::string> arguments);

// The switch a restart adds to the restart command line: /W: and the process
// id of the instance that restarts, in eight upper-case hexadecimal digits.
std::string WaitSwitch(std::uint32_t processId);

// The program's base name with the extension: "CNF" gives kestra.CNF.
std::string DefaultConfigName(std::string_view extension);

// The help text, for a program whose base name is baseName.
std::string HelpText(std::string_view baseName);

// Shows the help text through the help presenter, after the message and a
// separator line when there is a message, all cut to the 2000-byte message
// buffer; then ends the program without a further message (exit status 255).
[[noreturn]] void ShowHelp();
[[noreturn]] void ShowHelp(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace kestra::config
