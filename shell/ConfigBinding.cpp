#include "shell/ConfigBinding.h"

#include "config/CommandLine.h"
#include "config/ConfigHooks.h"
#include "config/ConfigInterpreter.h"
#include "config/GlobalOptions.h"
#include "config/StartupConfiguration.h"

namespace kestra::shell {
namespace {

class InterpreterConfiguration : public ShellConfiguration {
public:
    void Connect(const ShellServices& services) override {
        config::ConfigHooks& hooks = config::Hooks();
        hooks.setFrameTitle = services.setFrameTitle;
        hooks.showSplash = services.showSplash;
        hooks.presentHelp = services.presentHelp;
    }
    void ParseCommandLine(std::span<const std::string> arguments) override {
        config::ParseCommandLine(arguments);
    }
    void ConfigureAtStartup() override { config::ConfigureAtStartup(); }

    bool QuietMode() const override { return config::Options().quietMode; }
    void SetQuietMode(bool quiet) override { config::Options().quietMode = quiet; }
    std::optional<std::string> SplashGraphic() const override {
        return config::Options().splashGraphic;
    }
    bool SplashBorder() const override { return config::Options().splashBorder; }
    std::optional<std::string> EditCommand() const override {
        return config::Options().editCommand;
    }
    void SetEditCommand(std::string command) override {
        config::Options().editCommand = std::move(command);
    }
    bool ConfigOpened() const override { return config::Options().configOpened; }
    std::optional<std::string> ConfigFilePath() const override {
        return config::Options().configFilePath;
    }
    std::vector<std::string> RestartArguments() const override {
        return config::Options().restartArguments;
    }
    std::string PropertiesSubKey() const override { return config::Options().PropertiesSubKey(); }

    std::optional<EditPosition> CloseAtErrorPosition() override {
        std::optional<EditPosition> innermost;
        for (config::ConfigLexer* lexer = config::ConfigLexerInstance(); lexer != nullptr;
             lexer = lexer->child.get()) {
            if (!lexer->file) {
                continue;
            }
            const int column = lexer->haveToken ? static_cast<int>(lexer->tokenStart) + 1 : 0;
            innermost = EditPosition{lexer->fileName, static_cast<int>(lexer->lineNumber), column};
            // The editor may want to write the file: let go of it first.
            lexer->file.reset();
        }
        return innermost;
    }
};

} // namespace

std::unique_ptr<ShellConfiguration> BindConfiguration() {
    return std::make_unique<InterpreterConfiguration>();
}

} // namespace kestra::shell
