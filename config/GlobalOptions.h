#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Everything the command line and the configuration file's global options set
// during start-up, read by the rest of the program afterwards. One object for
// the process, written on the window thread before the message loop runs;
// tests put it back to its start-up state with ResetOptions.
namespace kestra::config {

inline constexpr std::string_view kDefaultServerPrefix = "\\\\.\\pipe\\";
inline constexpr std::string_view kDefaultPropertiesKey = "Software\\Marrow Data\\KESTRA";
inline constexpr std::uint32_t kNormalPriorityClass = 0x20;
// History = N and /HISTORY:N: lines kept per console.
inline constexpr std::uint32_t kDefaultHistoryLines = 10000;
inline constexpr std::uint32_t kMaxHistoryLines = 1000000;

struct GlobalOptions {
    // Set by the configuration file (and QuietMode by /Q). Strings are unset
    // until an option names them: an empty Title ("") is a title, and an
    // empty caption then.
    bool quietMode = false;
    std::uint32_t priorityClassValue = kNormalPriorityClass;
    std::optional<std::string> serverPrefix; // the default is put in by the first pass
    std::optional<std::string> title;
    std::optional<std::string> editCommand;
    std::optional<std::string> splashGraphic;
    bool splashBorder = true;
    std::uint16_t intercharDelay = 10; // milliseconds between pasted characters
    std::uint16_t returnDelay = 100;   // milliseconds after a pasted carriage return
    std::uint32_t historyLines = kDefaultHistoryLines; // for consoles without /HISTORY
    std::optional<std::string> user;
    std::optional<std::string> password;
    // The RECONNECT default of the CON lines that follow (read in pass 2, in
    // the order of the lines).
    bool reconnect = false;
    bool vt102 = false;        // the VT102 option of the CON lines that follow
    bool configOpened = false; // the configuration file has been opened at least once

    // Whether the platform takes the log-on options (User, Password). Always
    // so on this system; a test turns it off to see them refused.
    bool isNT = true;

    // Set by the command line.
    std::string programPath;     // argument 0 as the program was started
    std::string programBaseName; // its file name without directory and extension
    // The quoted program path and every argument except /W:, each in double
    // quotes: what a restart runs, before it adds its own /W:.
    std::string restartCommandLine;
    // The same as separate arguments (program path first), for starting the
    // new instance without a shell.
    std::vector<std::string> restartArguments;
    // The arguments are pipe names and no configuration file is read.
    bool commandLineConsoles = false;
    std::vector<std::string> commandLinePipeNames;
    std::optional<std::string> configFilePath; // unset with command-line consoles
    std::string propertiesKey = std::string(kDefaultPropertiesKey);
    // The process id given with /W:, which start-up waited for.
    std::optional<std::uint32_t> waitProcessId;

    // The part of propertiesKey below the program's own key ("" for the
    // program's own): the name the settings store takes.
    std::string PropertiesSubKey() const;
};

// The process's options.
GlobalOptions& Options();
// Tests only: every option back to its value at process start.
void ResetOptions();

} // namespace kestra::config
