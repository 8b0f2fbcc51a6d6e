#include "config/ConfigInterpreter.h"

#include "config/ConfigHooks.h"
#include "config/OptionTable.h"
#include "platform/Exit.h"

#include <cstdarg>
#include <cstdio>
#include <memory>

namespace kestra::config {
namespace {

std::unique_ptr<ConfigLexer>& Instance() {
    static std::unique_ptr<ConfigLexer> instance;
    return instance;
}

// The pass's lexer is closed and cleared however the pass ends: normally, or
// by a report that a test's exit routine turns into an exception (the dialog
// of a real report walks the lexer before anything is unwound).
class PassLexer {
public:
    PassLexer() {
        LexerCreate(Instance());
        ApplyConfigurationFileSettings(*Instance());
    }
    ~PassLexer() {
        if (Instance()) {
            LexerClose(*Instance());
            LexerDestroy(Instance());
        }
    }
    PassLexer(const PassLexer&) = delete;
    PassLexer& operator=(const PassLexer&) = delete;

    ConfigLexer& lexer() { return *Instance(); }
};

void DefineCommandLineConsoles() {
    const OptionRow* command = TableLookup<OptionRow>("CON", kCommandTable);
    for (const std::string& pipeName : Options().commandLinePipeNames) {
        OptionRow row = *command;
        row.target = std::string_view(pipeName);
        row.handler(row);
    }
}

// The log-on at the end of pass 1, with the lexer at the end of the file.
void LogOn() {
    const GlobalOptions& options = Options();
    const std::string prefix = options.serverPrefix.value_or(std::string(kDefaultServerPrefix));
    const std::string& user = *options.user;
    ConfigHooks& hooks = Hooks();
    if (!hooks.hasCommandInterpreter || !hooks.hasCommandInterpreter()) {
        ConfigError("Logging in to %s as %s: no command interpreter found", prefix.c_str(),
                    user.c_str());
    }
    const std::string commandLine = "net use " + ServerRoot(prefix) + " /user:" + user + " " +
                                    options.password.value_or(std::string());
    // Whether the log-on worked shows when the pipes are opened.
    if (hooks.runCommandLine) {
        hooks.runCommandLine(commandLine);
    }
}

void ExpectEndOfLine(ConfigLexer& lexer) {
    if (LexerNextToken(lexer)) {
        ConfigError("Expected end of line");
    }
}

void InterpretLine(ConfigLexer& lexer, unsigned pass) {
    const GlobalOptions& options = Options();
    if (const OptionRow* option = TableLookup<OptionRow>(lexer.token, kOptionTable)) {
        if (option->ntOnly && !options.isNT) {
            ConfigError("This option is only available under Windows/NT");
        }
        // An option of the other pass is passed over unread.
        if ((option->passes & pass) == 0) {
            return;
        }
        LexerExpectEquals(lexer);
        if (!LexerNextToken(lexer)) {
            LexerError(lexer, "No argument following '='");
        }
        option->handler(*option);
        ExpectEndOfLine(lexer);
        return;
    }
    const OptionRow* command = TableLookup<OptionRow>(lexer.token, kCommandTable);
    if (command == nullptr) {
        ConfigError("Unknown configuration command");
    }
    if ((command->passes & pass) == 0) {
        return;
    }
    OptionRow row = *command;
    row.target = std::monostate{};
    row.handler(row);
    ExpectEndOfLine(lexer);
}

} // namespace

ConfigLexer* ConfigLexerInstance() {
    return Instance().get();
}

void ConfigPass(int pass) {
    GlobalOptions& options = Options();
    if (!options.serverPrefix) {
        options.serverPrefix = std::string(kDefaultServerPrefix);
    }
    if (options.commandLineConsoles) {
        if (pass == 2) {
            DefineCommandLineConsoles();
        }
        return;
    }

    PassLexer passLexer;
    ConfigLexer& lexer = passLexer.lexer();
    const std::string path = options.configFilePath.value_or(std::string());
    if (!LexerOpen(lexer, path)) {
        platform::Fatal("Can't open configuration file: %s", path.c_str());
    }
    options.configOpened = true;

    const unsigned passBit = pass == 1 ? kPass1 : kPass2;
    while (LexerReadLine(lexer)) {
        if (LexerNextToken(lexer)) {
            InterpretLine(lexer, passBit);
        }
    }
    if (pass == 1 && options.user) {
        LogOn();
    }
}

void ConfigError(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    const std::string message = FormatMessage(format, arguments);
    va_end(arguments);
    if (ConfigLexer* lexer = ConfigLexerInstance()) {
        LexerError(*lexer, "%s", message.c_str());
    }
    platform::Fatal("%s", message.c_str());
}

std::string RestOfLine() {
    ConfigLexer* lexer = ConfigLexerInstance();
    if (lexer == nullptr) {
        return {};
    }
    std::string text = lexer->token;
    for (;;) {
        const ConfigLexer* before = &LexerInnermost(*lexer);
        const std::size_t previousEnd = before->cursor;
        const unsigned previousLine = before->lineNumber;
        if (!LexerNextToken(*lexer)) {
            return text;
        }
        const ConfigLexer& record = LexerInnermost(*lexer);
        // An INCLUDE in the middle of the value goes on in another file:
        // there the separators are those before the token in its own line.
        // A file included after another one ended may sit at the same address,
        // so the line number must match too.
        const bool sameLine = &record == before && record.lineNumber == previousLine &&
                              previousEnd <= record.tokenStart;
        const std::size_t from = sameLine ? previousEnd : 0;
        text.append(record.line, from, record.tokenStart - from);
        text += lexer->token;
    }
}

} // namespace kestra::config
