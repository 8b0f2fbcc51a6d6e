#include "ConfigTestSupport.h"
#include "config/OutOfMemory.h"

#include <functional>

namespace kestra::config::testing {
namespace {

class ConfigPasses : public ConfigFilesTest {
protected:
    // Runs one file through the passes with fresh options.
    std::optional<std::string> RunFresh(const std::string& config,
                                        std::initializer_list<int> passes = {1, 2}) {
        ResetOptions();
        commandLines_.clear();
        UseConfig(config);
        return RunPasses(passes);
    }
};

TEST_F(ConfigPasses, GlobalOptionsTakeTheirValues) {
    // clang-format off
    const std::pair<const char*, std::function<bool(const GlobalOptions&)>> cases[] = {
        {"quietmode = ON",              [](auto& o) { return o.quietMode; }},
        {"SplashBorder = no",           [](auto& o) { return !o.splashBorder; }},
        {"PriorityClass = idle",        [](auto& o) { return o.priorityClassValue == 0x40; }},
        {"PriorityClass = High",        [](auto& o) { return o.priorityClassValue == 0x80; }},
        {"PriorityClass = realtime",    [](auto& o) { return o.priorityClassValue == 0x100; }},
        {"PriorityClass = HIGH\nPriorityClass = normal",
                                        [](auto& o) { return o.priorityClassValue == 0x20; }},
        {"Title = A\nTitle = B",        [](auto& o) { return o.title == "B"; }},
        {"EditCommand = vi +%%d %%s",   [](auto& o) { return o.editCommand == "vi +%d %s"; }},
        {"PasteDelays = 5",             [](auto& o) { return o.intercharDelay == 5 &&
                                                             o.returnDelay == 100; }},
        {"PasteDelays = 1000 10000",    [](auto& o) { return o.intercharDelay == 1000 &&
                                                             o.returnDelay == 10000; }},
        {"PasteDelays = 0x10 012",      [](auto& o) { return o.intercharDelay == 16 &&
                                                             o.returnDelay == 10; }},
    };
    // clang-format on
    for (const auto& [line, holds] : cases) {
        SCOPED_TRACE(line);
        ASSERT_EQ(RunFresh(std::string(line) + "\n"), std::nullopt);
        EXPECT_TRUE(holds(Options()));
        EXPECT_TRUE(Options().configOpened);
    }
}

TEST_F(ConfigPasses, ServerPrefixIsBuiltFromTheServerName) {
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"alpha",                 "\\\\alpha\\pipe\\"},
        {"\\\\alpha",             "\\\\alpha\\pipe\\"},
        {"\\\\alpha\\",           "\\\\alpha\\pipe\\"},
        {"\\\\alpha\\pipe",       "\\\\alpha\\pipe\\"},
        {"\\\\alpha\\PIPE\\",     "\\\\alpha\\PIPE\\"},
        {"\\\\alpha\\other",      "\\\\alpha\\other\\pipe\\"},
        {"'two words'",           "\\\\two words\\pipe\\"},
    };
    // clang-format on
    for (const auto& [server, prefix] : cases) {
        ASSERT_EQ(RunFresh(std::string("Server = ") + server + "\n"), std::nullopt) << server;
        EXPECT_EQ(Options().serverPrefix, prefix) << server;
    }
}

TEST_F(ConfigPasses, LogOnRunsNetUseAtTheEndOfPassOne) {
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"Server = alpha\nUser = op\n",                  "net use \\\\alpha /user:op "},
        {"User = op\nServer = \\\\beta\\pipe\\\n",       "net use \\\\beta /user:op "},
        {"User = op\nPassword = s3 cret\n",              "net use \\\\. /user:op s3 cret"},
    };
    // clang-format on
    for (const auto& [config, commandLine] : cases) {
        SCOPED_TRACE(config);
        ASSERT_EQ(RunFresh(config, {1}), std::nullopt);
        EXPECT_EQ(commandLines_, std::vector<std::string>{commandLine});
        ASSERT_EQ(RunPasses({2}), std::nullopt);
        EXPECT_EQ(commandLines_.size(), 1u) << "pass 2 logs on again";
    }
    ASSERT_EQ(RunFresh("Password = p\n"), std::nullopt);
    EXPECT_TRUE(commandLines_.empty()) << "no log-on without a user";
}

TEST_F(ConfigPasses, ConfigurationErrorsAreLocated) {
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"Title=Console\n",
         "Error in line 1 of k.cnf\nTitle=Console\n^^^^^^^^^^^^^\nUnknown configuration command\n"},
        {"QuietMode = 1\n",
         "Error in line 1 of k.cnf\nQuietMode = 1\n--------- - ^\n"
         "Option value must be ON, OFF, YES or NO\n"},
        {"\nPasteDelays = 5 20 30\n",
         "Error in line 2 of k.cnf\nPasteDelays = 5 20 30\n----------- - - -- ^^\n"
         "Expected end of line\n"},
        {"PasteDelays = 1001\n",
         "Error in line 1 of k.cnf\nPasteDelays = 1001\n----------- - ^^^^\n"
         "Intercharacter delay must be from 0 to 1000\n"},
        {"PasteDelays = 5 10001\n",
         "Error in line 1 of k.cnf\nPasteDelays = 5 10001\n----------- - - ^^^^^\n"
         "Return delay must be from 0 to 10000\n"},
        {"Title =\n",
         "Error in line 1 of k.cnf\nTitle =\n----- -^\nNo argument following '='\n"},
        {"Title   ; comment\n",
         "Error in line 1 of k.cnf\nTitle   ; comment\n-----   - -------^\nExpected =\n"},
        {"PriorityClass = urgent\n",
         "Error in line 1 of k.cnf\nPriorityClass = urgent\n------------- - ^^^^^^\nInvalid option\n"},
        {"Server = alpha beta\n",
         "Error in line 1 of k.cnf\nServer = alpha beta\n------ - ----- ^^^^\n"
         "Expected end of line\n"},
    };
    // clang-format on
    for (const auto& [config, report] : cases) {
        EXPECT_EQ(RunFresh(config), report) << config;
    }
}

TEST_F(ConfigPasses, LogOnOptionsAreRefusedOffNTInEitherPass) {
    for (const char* config : {"User = op\n", "Password = pw\n"}) {
        ResetOptions();
        Options().isNT = false;
        UseConfig(config);
        EXPECT_EQ(MessageOf(RunPasses()), "This option is only available under Windows/NT")
            << config;
    }
    ASSERT_EQ(RunFresh("User = op\n", {1}), std::nullopt);
    Options().isNT = false;
    EXPECT_EQ(MessageOf(RunPasses({2})), "This option is only available under Windows/NT");
}

TEST_F(ConfigPasses, LogOnWithoutACommandInterpreterIsReportedAtTheEndOfTheFile) {
    hasInterpreter_ = false;
    EXPECT_EQ(RunFresh("Server = alpha\nUser = op\n", {1}),
              "Error in line 3 of k.cnf\n\n^\n"
              "Logging in to \\\\alpha\\pipe\\ as op: no command interpreter found\n");
    EXPECT_TRUE(commandLines_.empty());
}

TEST_F(ConfigPasses, AnUnopenableFileEndsTheProgramWithItsName) {
    Options().configFilePath = "missing.cnf";
    EXPECT_EQ(RunPasses({1}), "Can't open configuration file: missing.cnf");
    EXPECT_FALSE(Options().configOpened);
}

TEST_F(ConfigPasses, UnknownKeywordIsReportedInPassOneBeforeAnyConsole) {
    EXPECT_EQ(MessageOf(RunFresh("CON = PIPE1\nBogus = 1\n", {1})),
              "Unknown configuration command");
    EXPECT_TRUE(consoles_.empty());
}

TEST_F(ConfigPasses, ConErrorsWaitForPassTwoAfterEveryOption) {
    // The unmatched quote on the CON line is not even scanned in pass 1.
    ASSERT_EQ(RunFresh("QuietMode = on\nCON /X:1 = \"PIPE1\nTitle = after\n", {1}), std::nullopt);
    EXPECT_TRUE(Options().quietMode);
    EXPECT_EQ(Options().title, "after");
    EXPECT_TRUE(consoles_.empty());
    EXPECT_EQ(MessageOf(RunPasses({2})), "Invalid option");
}

TEST_F(ConfigPasses, PassTwoPassesOptionLinesOverUnread) {
    EXPECT_EQ(MessageOf(RunFresh("PasteDelays = 5\nCON = PIPE1\nQuietMode = \"unclosed\n", {1})),
              "Unmatched quotation marks");
    Options().intercharDelay = 77;
    EXPECT_EQ(RunPasses({2}), std::nullopt);
    EXPECT_EQ(Options().intercharDelay, 77) << "pass 2 ran an option again";
    ASSERT_EQ(consoles_.size(), 1u);
}

TEST_F(ConfigPasses, TheReportSeesTheLexerAtThePlaceOfTheError) {
    // The Fatal Error dialog opens the file at the error through the lexer,
    // so the lexer must still be there while the report is shown.
    Write("units.cnf", "\nCON /UNIT:x = P\n");
    UseConfig("QuietMode = on\nINCLUDE units.cnf\n");
    std::vector<std::string> seen;
    auto previous = platform::SetFatalPresenter([&seen](std::string_view message) {
        for (const ConfigLexer* record = ConfigLexerInstance(); record != nullptr;
             record = record->child.get()) {
            seen.push_back(record->fileName.substr(record->fileName.rfind('/') + 1) + ":" +
                           std::to_string(record->lineNumber));
        }
        throw platform::FatalError(message);
    });
    EXPECT_EQ(MessageOf(RunPasses()), "Expected a decimal number");
    platform::SetFatalPresenter(std::move(previous));
    EXPECT_EQ(seen, (std::vector<std::string>{"k.cnf:2", "units.cnf:2"}));
}

TEST_F(ConfigPasses, InternalErrorsReportTheirMessageAlone) {
    Hooks().defineConsole = nullptr;
    EXPECT_EQ(RunFresh("CON = PIPE1\n"), "CON: no console layer is installed to define consoles");
    EXPECT_EQ(ReportOf([] { OutOfMemory(); }), "Out of memory");
    const std::new_handler previous = std::get_new_handler();
    InstallOutOfMemoryHandler();
    const std::new_handler installed = std::set_new_handler(previous);
    ASSERT_NE(installed, nullptr);
    EXPECT_EQ(ReportOf([installed] { installed(); }), "Out of memory");
}

// RestOfLine keeps the separators between tokens as written, also where the
// title comes from an included file or runs on over an empty one into the
// next line of the including file (whose indentation is shorter than where
// the title's line had got to).
TEST_F(ConfigPasses, TitleKeepsTheRestOfItsLine) {
    // clang-format off
    const struct { std::string config; std::string included; std::string title; } cases[] = {
        {"Title = \"My  Consoles;1\"   ; note",   "",        "My  Consoles;1"},
        {"Title = a  b\t c   ",                   "",        "a  b\t c"},
        {"Title = \"a\\tb\"  'c\\n'",             "",        "a\tb  c\\n"},
        {"Title = %KESTRA_TEST_WORD%  x",         "",        "word  x"},
        {"INCLUDE i.cnf\nQuietMode = on",         "Title =  Lab   \"two  words\"\t'x'   ; c",
                                                             "Lab   two  words\tx"},
        {"Title = one two INCLUDE i.cnf\n  X\nQuietMode = on", "", "one two  X"},
    };
    // clang-format on
    ScopedEnvironment word("KESTRA_TEST_WORD", "word");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.config);
        Write("i.cnf", c.included);
        ASSERT_EQ(RunFresh(c.config + "\n", {1}), std::nullopt);
        EXPECT_EQ(Options().title, c.title);
        EXPECT_EQ(Options().quietMode, c.config.ends_with("QuietMode = on"))
            << "the including file goes on after the included one";
    }
}

} // namespace
} // namespace kestra::config::testing
