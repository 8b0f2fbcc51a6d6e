#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// What the shell needs from the configuration layer: the options the command
// line and the configuration file set, where a configuration error stands,
// and the two start-up steps that belong to that layer. The program binds it
// to the configuration interpreter; tests give a plain fake.
namespace kestra::shell {

struct EditPosition {
    std::string fileName;
    int line = 0;
    int column = 0;
    bool operator==(const EditPosition&) const = default;
};

// The shell's services that configuration calls back during start-up.
struct ShellServices {
    std::function<void(std::string_view caption)> setFrameTitle;
    std::function<void()> showSplash;
    // Shows the help text and returns when the user closed it.
    std::function<void(std::string_view text)> presentHelp;
};

class ShellConfiguration {
public:
    virtual ~ShellConfiguration() = default;

    // Hands the shell's services to the configuration layer.
    virtual void Connect(const ShellServices& services) = 0;
    // Start-up step: the command line (arguments[0] is the program).
    virtual void ParseCommandLine(std::span<const std::string> arguments) = 0;
    // Start-up step: caption, both configuration passes, Title, splash, priority.
    virtual void ConfigureAtStartup() = 0;

    virtual bool QuietMode() const = 0;
    virtual void SetQuietMode(bool quiet) = 0;
    virtual std::optional<std::string> SplashGraphic() const = 0;
    virtual bool SplashBorder() const = 0;
    virtual std::optional<std::string> EditCommand() const = 0;
    virtual void SetEditCommand(std::string command) = 0;
    virtual bool ConfigOpened() const = 0;
    virtual std::optional<std::string> ConfigFilePath() const = 0;
    // The program and its arguments as a restart repeats them (never a /W:).
    virtual std::vector<std::string> RestartArguments() const = 0;
    // The key below the program's own under which the Properties live ("" for
    // the program's own).
    virtual std::string PropertiesSubKey() const = 0;
    // Closes every configuration file still open and tells where the
    // innermost of them stood: its name, line and the 1-based column of its
    // current token (0 without one). Nothing when no file was open.
    virtual std::optional<EditPosition> CloseAtErrorPosition() = 0;
};

} // namespace kestra::shell
