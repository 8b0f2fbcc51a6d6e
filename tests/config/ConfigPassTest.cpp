#include "ConfigTestSupport.h"
#include "config/OutOfMemory.h"

#include <functional>

namespace kestra::config::testing {
namespace {

class ConfigPasses : public ConfigFilesTest {};

struct OptionCase {
    const char* line;
    std::function<bool(const GlobalOptions&)> holds;
};

TEST_F(ConfigPasses, GlobalOptionsTakeTheirValues) {
    // clang-format off
    const OptionCase cases[] = {
        {"QuietMode = on",              [](auto& o) { return o.quietMode; }},
        {"QuietMode = Yes",             [](auto& o) { return o.quietMode; }},
        {"quietmode = ON",              [](auto& o) { return o.quietMode; }},
        {"SplashBorder = no",           [](auto& o) { return !o.splashBorder; }},
        {"SplashBorder = OFF",          [](auto& o) { return !o.splashBorder; }},
        {"SplashBorder = yes",          [](auto& o) { return o.splashBorder; }},
        {"PriorityClass = idle",        [](auto& o) { return o.priorityClassValue == 0x40; }},
        {"PriorityClass = LOW",         [](auto& o) { return o.priorityClassValue == 0x40; }},
        {"PriorityClass = High",        [](auto& o) { return o.priorityClassValue == 0x80; }},
        {"PriorityClass = realtime",    [](auto& o) { return o.priorityClassValue == 0x100; }},
        {"PriorityClass = HIGH\nPriorityClass = normal",
                                        [](auto& o) { return o.priorityClassValue == 0x20; }},
        {"Title = Lab consoles",        [](auto& o) { return o.title == "Lab consoles"; }},
        {"Title = \"\"",                [](auto& o) { return o.title == ""; }},
        {"Title = A\nTitle = B",        [](auto& o) { return o.title == "B"; }},
        {"EditCommand = vi +%%d %%s",   [](auto& o) { return o.editCommand == "vi +%d %s"; }},
        {"SplashGraphic = logo.bmp",    [](auto& o) { return o.splashGraphic == "logo.bmp"; }},
        {"User = op",                   [](auto& o) { return o.user == "op"; }},
        {"Password = se cret",          [](auto& o) { return o.password == "se cret"; }},
        {"PasteDelays = 5",             [](auto& o) { return o.intercharDelay == 5 &&
                                                             o.returnDelay == 100; }},
        {"PasteDelays = 0 0",           [](auto& o) { return o.intercharDelay == 0 &&
                                                             o.returnDelay == 0; }},
        {"PasteDelays = 1000 10000",    [](auto& o) { return o.intercharDelay == 1000 &&
                                                             o.returnDelay == 10000; }},
        {"PasteDelays = 0x10 012",      [](auto& o) { return o.intercharDelay == 16 &&
                                                             o.returnDelay == 10; }},
        {"PasteDelays = 7. ; comment",  [](auto& o) { return o.intercharDelay == 7; }},
    };
    // clang-format on
    for (const OptionCase& row : cases) {
        SCOPED_TRACE(row.line);
        ResetOptions();
        UseConfig(std::string(row.line) + "\n");
        ASSERT_EQ(RunPasses(), std::nullopt);
        EXPECT_TRUE(row.holds(Options()));
        EXPECT_TRUE(Options().configOpened);
    }
}

TEST_F(ConfigPasses, DefaultsHoldWithoutOptions) {
    UseConfig("; nothing but a comment\n\n");
    ASSERT_EQ(RunPasses(), std::nullopt);
    const GlobalOptions& options = Options();
    EXPECT_FALSE(options.quietMode);
    EXPECT_TRUE(options.splashBorder);
    EXPECT_EQ(options.priorityClassValue, 0x20u);
    EXPECT_EQ(options.serverPrefix, "\\\\.\\pipe\\");
    EXPECT_EQ(options.intercharDelay, 10);
    EXPECT_EQ(options.returnDelay, 100);
    EXPECT_FALSE(options.title || options.editCommand || options.splashGraphic || options.user ||
                 options.password);
    EXPECT_TRUE(consoles_.empty());
    EXPECT_TRUE(commandLines_.empty()) << "no log-on without a user";
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
        {"a",                     "\\\\a\\pipe\\"},
        {"\\\\x\\pipe",           "\\\\x\\pipe\\"},
        {"'two words'",           "\\\\two words\\pipe\\"},
    };
    // clang-format on
    for (const auto& [server, prefix] : cases) {
        SCOPED_TRACE(server);
        ResetOptions();
        UseConfig(std::string("Server = ") + server + "\n");
        ASSERT_EQ(RunPasses(), std::nullopt);
        EXPECT_EQ(Options().serverPrefix, prefix);
    }
}

TEST_F(ConfigPasses, ServerRootCutsThePrefixAfterTheMachine) {
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"\\\\host\\pipe\\",  "\\\\host"},
        {"\\\\.\\pipe\\",     "\\\\."},
        {"\\\\host",          "\\\\host"},
        {"\\\\",              "\\\\"},
    };
    // clang-format on
    for (const auto& [prefix, root] : cases) {
        EXPECT_EQ(ServerRoot(prefix), root) << prefix;
    }
}

struct LogOnCase {
    const char* config;
    const char* commandLine;
};

TEST_F(ConfigPasses, LogOnRunsNetUseAtTheEndOfPassOne) {
    // clang-format off
    const LogOnCase cases[] = {
        {"Server = alpha\nUser = op\n",                  "net use \\\\alpha /user:op "},
        {"User = op\nServer = \\\\beta\\pipe\\\n",       "net use \\\\beta /user:op "},
        {"User = op\nPassword = s3 cret\n",              "net use \\\\. /user:op s3 cret"},
        {"User = op\nPassword = \"\"\n",                 "net use \\\\. /user:op "},
    };
    // clang-format on
    for (const LogOnCase& row : cases) {
        SCOPED_TRACE(row.config);
        ResetOptions();
        commandLines_.clear();
        UseConfig(row.config);
        ASSERT_EQ(RunPasses({1}), std::nullopt);
        EXPECT_EQ(commandLines_, std::vector<std::string>{row.commandLine});
        ASSERT_EQ(RunPasses({2}), std::nullopt);
        EXPECT_EQ(commandLines_.size(), 1u) << "pass 2 logs on again";
    }
}

TEST_F(ConfigPasses, LogOnThroughTheSystemShellRunsTheCommand) {
    // The real interpreter runs the line; a harmless command shows that it
    // was run as written, and its failure (no "net" here) is ignored.
    Hooks() = DefaultHooks();
    Hooks().defineConsole = [this](const OptionRow& row) { RecordConsole(row, consoles_); };
    ASSERT_TRUE(Hooks().hasCommandInterpreter());
    const std::string marker = root_ + "/ran";
    Hooks().runCommandLine = [&](const std::string& commandLine) {
        commandLines_.push_back(commandLine);
        return DefaultHooks().runCommandLine("printf '%s\\n' '" + commandLine + "' > " + marker);
    };
    UseConfig("User = op\n");
    ASSERT_EQ(RunPasses({1}), std::nullopt);
    std::ifstream ran(marker);
    std::string written;
    std::getline(ran, written);
    EXPECT_EQ(written, "net use \\\\. /user:op ");
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
        {"PasteDelays = fast\n",
         "Error in line 1 of k.cnf\nPasteDelays = fast\n----------- - ^^^^\n"
         "Expected a decimal number\n"},
        {"Title =\n",
         "Error in line 1 of k.cnf\nTitle =\n----- -^\nNo argument following '='\n"},
        {"Title   ; comment\n",
         "Error in line 1 of k.cnf\nTitle   ; comment\n-----   - -------^\nExpected =\n"},
        {"PriorityClass = urgent\n",
         "Error in line 1 of k.cnf\nPriorityClass = urgent\n------------- - ^^^^^^\nInvalid option\n"},
        {"Server = alpha beta\n",
         "Error in line 1 of k.cnf\nServer = alpha beta\n------ - ----- ^^^^\n"
         "Expected end of line\n"},
        {"SplashBorder = on off\n",
         "Error in line 1 of k.cnf\nSplashBorder = on off\n------------ - -- ^^^\n"
         "Expected end of line\n"},
    };
    // clang-format on
    for (const auto& [config, report] : cases) {
        SCOPED_TRACE(config);
        ResetOptions();
        UseConfig(config);
        EXPECT_EQ(RunPasses(), report);
    }
}

TEST_F(ConfigPasses, ErrorInAnIncludedFileNamesTheChain) {
    Write("units.cnf", "QuietMode = on\nPasteDelays = 5 x\n");
    UseConfig("Title = t\nINCLUDE units.cnf\n");
    EXPECT_EQ(RunPasses(), "Error in line 2 of units.cnf\n    from line 2 of k.cnf\n"
                           "PasteDelays = 5 x\n----------- - - ^\nExpected a decimal number\n");
}

TEST_F(ConfigPasses, LogOnOptionsAreRefusedOffNT) {
    for (const char* config : {"User = op\n", "Password = pw\n"}) {
        SCOPED_TRACE(config);
        ResetOptions();
        Options().isNT = false;
        UseConfig(config);
        EXPECT_EQ(MessageOf(RunPasses()), "This option is only available under Windows/NT");
    }
}

TEST_F(ConfigPasses, NTOnlyOptionsAreRefusedInPassTwoAsWell) {
    UseConfig("User = op\n");
    ASSERT_EQ(RunPasses({1}), std::nullopt);
    Options().isNT = false;
    EXPECT_EQ(MessageOf(RunPasses({2})), "This option is only available under Windows/NT");
}

TEST_F(ConfigPasses, LogOnWithoutACommandInterpreterIsReportedAtTheEndOfTheFile) {
    hasInterpreter_ = false;
    UseConfig("Server = alpha\nUser = op\n");
    EXPECT_EQ(RunPasses({1}),
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
    UseConfig("CON = PIPE1\nBogus = 1\n");
    EXPECT_EQ(MessageOf(RunPasses({1})), "Unknown configuration command");
    EXPECT_TRUE(consoles_.empty());
}

TEST_F(ConfigPasses, ConErrorsWaitForPassTwoAfterEveryOption) {
    // The unmatched quote on the CON line is not even scanned in pass 1.
    UseConfig("QuietMode = on\nCON /X:1 = \"PIPE1\nTitle = after\n");
    ASSERT_EQ(RunPasses({1}), std::nullopt);
    EXPECT_TRUE(Options().quietMode);
    EXPECT_EQ(Options().title, "after");
    EXPECT_TRUE(consoles_.empty());
    EXPECT_EQ(MessageOf(RunPasses({2})), "Invalid option");
}

TEST_F(ConfigPasses, PassTwoPassesOptionLinesOverUnread) {
    UseConfig("PasteDelays = 5\nCON = PIPE1\nQuietMode = \"unclosed\n");
    EXPECT_EQ(MessageOf(RunPasses({1})), "Unmatched quotation marks");
    Options().intercharDelay = 77;
    EXPECT_EQ(RunPasses({2}), std::nullopt);
    EXPECT_EQ(Options().intercharDelay, 77) << "pass 2 ran an option again";
    ASSERT_EQ(consoles_.size(), 1u);
}

TEST_F(ConfigPasses, ConLinesAreReadInPassTwoOnly) {
    UseConfig("CON /UNIT:3/WIDTH:132 = PIPE1\ncon /unitname:'Lab A' /8bit:yes = \\\\h\\pipe\\p2\n");
    ASSERT_EQ(RunPasses({1}), std::nullopt);
    EXPECT_TRUE(consoles_.empty());
    ASSERT_EQ(RunPasses({2}), std::nullopt);
    ASSERT_EQ(consoles_.size(), 2u);
    EXPECT_EQ(consoles_[0].pipeName, "PIPE1");
    EXPECT_EQ(consoles_[0].unit, 3);
    EXPECT_EQ(consoles_[0].width, 132);
    EXPECT_FALSE(consoles_[0].fromCommandLine);
    EXPECT_EQ(consoles_[1].pipeName, "\\\\h\\pipe\\p2");
    EXPECT_EQ(consoles_[1].unitName, "Lab A");
    EXPECT_TRUE(consoles_[1].eightBit);
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

TEST_F(ConfigPasses, ConWithoutAConsoleLayerIsAnInternalError) {
    Hooks().defineConsole = nullptr;
    UseConfig("CON = PIPE1\n");
    EXPECT_EQ(RunPasses(), "CON: no console layer is installed to define consoles");
}

TEST_F(ConfigPasses, ALeftOverTokenAfterTheConHandlerIsReported) {
    // A definition that takes only the first token of its line.
    Hooks().defineConsole = [](const OptionRow&) { LexerNextToken(*ConfigLexerInstance()); };
    UseConfig("CON = PIPE1\n");
    EXPECT_EQ(RunPasses(),
              "Error in line 1 of k.cnf\nCON = PIPE1\n--- - ^^^^^\nExpected end of line\n");
}

TEST_F(ConfigPasses, ConfigErrorOutsideAPassReportsTheMessageAlone) {
    EXPECT_EQ(
        ReportOf([] { ConfigError("Too many CONs: only %d consoles may be configured", 100); }),
        "Too many CONs: only 100 consoles may be configured");
}

TEST_F(ConfigPasses, RunningOutOfMemoryEndsTheProgram) {
    EXPECT_EQ(ReportOf([] { OutOfMemory(); }), "Out of memory");
    const std::new_handler previous = std::get_new_handler();
    InstallOutOfMemoryHandler();
    const std::new_handler installed = std::set_new_handler(previous);
    ASSERT_NE(installed, nullptr);
    EXPECT_EQ(ReportOf([installed] { installed(); }), "Out of memory");
}

// RestOfLine keeps the separators between tokens as written.
TEST_F(ConfigPasses, TitleKeepsTheRestOfItsLine) {
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"Title = \"My  Consoles;1\"   ; note",   "My  Consoles;1"},
        {"Title = a  b\t c   ",                   "a  b\t c"},
        {"Title = a/b/c",                         "a/b/c"},
        {"Title = 'x y'  z\"q\"",                 "x y  zq"},
        {"Title = one;two",                       "one"},
        {"Title = \"a\\tb\"  'c\\n'",             "a\tb  c\\n"},
        {"Title = = x",                           "= x"},
        {"Title = %KESTRA_TEST_WORD%  x",         "word  x"},
    };
    // clang-format on
    ScopedEnvironment word("KESTRA_TEST_WORD", "word");
    for (const auto& [line, title] : cases) {
        SCOPED_TRACE(line);
        ResetOptions();
        UseConfig(std::string(line) + "\n");
        ASSERT_EQ(RunPasses({1}), std::nullopt);
        EXPECT_EQ(Options().title, title);
    }
}

TEST_F(ConfigPasses, TitleFromAnIncludedFileKeepsItsBlanks) {
    SetProgramDirectory(DataDirectory());
    Options().configFilePath = DataDirectory() + "/included-title.cnf";
    ASSERT_EQ(RunPasses({1}), std::nullopt);
    EXPECT_EQ(Options().title, "Lab   two  words\tx");
    EXPECT_TRUE(Options().quietMode) << "the including file goes on after the included one";
}

} // namespace
} // namespace kestra::config::testing
