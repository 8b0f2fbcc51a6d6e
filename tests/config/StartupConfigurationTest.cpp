#include "ConfigTestSupport.h"
#include "config/OutOfMemory.h"

namespace kestra::config::testing {
namespace {

struct Row {
    std::string config;        // k.cnf
    std::string expected;      // what State shows, then the report
    std::string passes = "12"; // 'S': the whole start-up
    bool nt = true;            // the platform takes the log-on options
    bool shell = true;         // a command interpreter exists for the log-on
};

class ConfigFile : public ConfigTest {
protected:
    // Runs k.cnf through the passes; the state, then the report if any.
    std::string Run(const Row& row) {
        ResetOptions();
        Options().isNT = row.nt;
        shell_ = row.shell;
        lexerAtReport_ = false;
        log_.clear();
        Options().configFilePath = Write("k.cnf", row.config);
        const auto descriptors = OpenDescriptors();
        const std::string report = ReportOf([&] {
            for (const char pass : row.passes) {
                pass == 'S' ? ConfigureAtStartup() : ConfigPass(pass - '0');
            }
        });
        EXPECT_EQ(ConfigLexerInstance(), nullptr) << "the lexer outlived its pass";
        EXPECT_EQ(lexerAtReport_, !report.empty()) << "the report is shown with the lexer in place";
        EXPECT_EQ(OpenDescriptors(), descriptors) << "a file was left open";
        return Join(State(), report);
    }

    static std::ptrdiff_t OpenDescriptors() {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    }
};

// Each file read through the passes, or the whole start-up, and what it led
// to: the steps and options, or the first fault's located report. Large,
// malformed and hostile files included.
TEST_F(ConfigFile, FilesSetOptionsAndDefineConsolesOrAreReportedWhereTheyFail) {
    Write("t.cnf", "Title =  Lab   \"two  words\"\t'x'   ; c");
    Write("empty.cnf", "");
    std::string big, bigConsoles, thousand, thousandConsoles;
    for (int i = 0; i < 10000; ++i) {
        const std::string n = std::to_string(i), con = "UNIT:" + std::to_string(i / 100) + " = P";
        const std::string lines[] = {"CON /" + con + n, "Title = " + n, "   \t", "; " + n};
        big += lines[std::min(i % 100, 2 + i % 2)] + "\n";
        bigConsoles += i % 100 == 0 ? "con[" + con + n + "] " : "";
        thousand += i < 1000 ? "INCLUDE u.cnf\n" : "";
        thousandConsoles += i < 1000 ? "con[= P] " : "";
    }
    Write("a.cnf", "INCLUDE b.cnf\n");
    Write("b.cnf", "INCLUDE k.cnf\n");
    Write("u.cnf", "CON = P\n");
    for (int i = 1; i <= 200; ++i) {
        const std::string next = "INCLUDE i" + std::to_string(i + 1) + ".cnf\n";
        Write("i" + std::to_string(i) + ".cnf", i < 200 ? next : "Title = deepest\n");
    }
    Write("D:\\ONE.CNF", "\nINCLUDE two.cnf\n");
    Write("two.cnf", "; c\nBogus\n");
    const std::string at1 = "Error in line 1 of k.cnf\n", alpha = "server[\\\\alpha\\pipe\\]";
    const std::string x254(254, 'x'), unknown = "\nUnknown configuration command\n";
    const std::string already = " (it is already open: a file may not include itself)\n";
    // clang-format off
    const Row rows[] = {
        {"quietmode = ON\nSplashBorder = no\n",                "quiet[on] border[off]"},
        {"PriorityClass = idle\n", "priority[64]"},           {"PriorityClass = realtime\n", "priority[256]"},
        {"PriorityClass = HIGH\nPriorityClass = normal\n",     ""},
        {"Title = A\nTitle = B\n",                             "title[B]"},
        {"EditCommand = vi +%%d %%s\nSplashGraphic = a.bmp\n", "edit[vi +%d %s] graphic[a.bmp]"},
        {"PasteDelays = 5\n", "delays[5/100]"},               {"PasteDelays = 1000 10000\n", "delays[1000/10000]"},
        {"PasteDelays = 0x10 012\n",                           "delays[16/10]"},
        {"History = 0\n", "history[0]"},                     {"History = 1000000\n", "history[1000000]"},
        {"Server = \\\\alpha\\\n", alpha},                    {"Server = \\\\alpha\\pipe\n", alpha},
        {"Server = \\\\alpha\\PIPE\\\n",                       "server[\\\\alpha\\PIPE\\]"},
        {"Server = \\\\alpha\\other\n",                        "server[\\\\alpha\\other\\pipe\\]"},
        // The log-on runs once, at the end of pass 1, before any console.
        {"Server = alpha\nUser = op\nCON = P\n",   "run[net use \\\\alpha /user:op ] con[= P] " + alpha + " user[op]"},
        {"User = op\nServer = \\\\beta\\pipe\\\n", "run[net use \\\\beta /user:op ] server[\\\\beta\\pipe\\] user[op]"},
        {"User = op\nPassword = s3 cret\n",        "run[net use \\\\. /user:op s3 cret] user[op] password[s3 cret]"},
        {"Server = alpha\nUser = op\n",            alpha + " user[op] Error in line 3 of k.cnf\n\n^\n"
                                                   "Logging in to \\\\alpha\\pipe\\ as op: no command interpreter found\n", "1", true, false},
        {"User = op\n",     at1 + "User = op\n^^^^\nThis option is only available under Windows/NT\n", "1", false},
        {"Password = pw\n", at1 + "Password = pw\n^^^^^^^^\nThis option is only available under Windows/NT\n", "2", false},
        // The rest of the line keeps the separators between tokens as written,
        // also from an included file or over an empty one into the next line.
        {"Title = \"My  Consoles;1\"  b\t c/d   ; note\n", "title[My  Consoles;1  b\t c/d]"},
        {"INCLUDE t.cnf\nQuietMode = on\n",        "quiet[on] title[Lab   two  words\tx]"},
        {"Title = one two INCLUDE empty.cnf\n  X\nQuietMode = on\n", "quiet[on] title[one two  X]", "1"},
        // Pass 1 reads the options and passes CON lines over unread; pass 2
        // the other way round.
        {"CON = PIPE1\nBogus = 1\n",               "Error in line 2 of k.cnf\nBogus = 1\n^^^^^\nUnknown configuration command\n"},
        {"QuietMode = on\nCON /X:1 = \"PIPE1\nTitle = after\n",
         "quiet[on] title[after] Error in line 2 of k.cnf\nCON /X:1 = \"PIPE1\n--- ^^^^\nInvalid option\n"},
        {"QuietMode = \"unclosed\nCON = P\n",      "con[= P]", "2"},
        {"Title=Console\n",            at1 + "Title=Console\n^^^^^^^^^^^^^\nUnknown configuration command\n"},
        {"QuietMode = 1\n",            at1 + "QuietMode = 1\n--------- - ^\nOption value must be ON, OFF, YES or NO\n"},
        {"\nPasteDelays = 5 20 30\n",  "delays[5/20] Error in line 2 of k.cnf\nPasteDelays = 5 20 30\n----------- - - -- ^^\nExpected end of line\n"},
        {"PasteDelays = 1001\n",       at1 + "PasteDelays = 1001\n----------- - ^^^^\nIntercharacter delay must be from 0 to 1000\n"},
        {"History = 1000001\n",        at1 + "History = 1000001\n------- - ^^^^^^^\nHistory must be from 0 to 1000000\n"},
        {"History = lots\n",           at1 + "History = lots\n------- - ^^^^\nExpected a decimal number\n"},
        {"PasteDelays = 5 10001\n",    "delays[5/100] " + at1 + "PasteDelays = 5 10001\n----------- - - ^^^^^\nReturn delay must be from 0 to 10000\n"},
        {"Title =\n",                  at1 + "Title =\n----- -^\nNo argument following '='\n"},
        {"Title   ; comment\n",        at1 + "Title   ; comment\n-----   - -------^\nExpected =\n"},
        {"PriorityClass = urgent\n",   at1 + "PriorityClass = urgent\n------------- - ^^^^^^\nInvalid option\n"},
        // CON options stand before the "=", each read by its reader.
        {"CON = my pipe  name  ; comment\n",                "con[= my pipe  name]"},
        {"CON /UNIT:3/WIDTH:132 = \\\\host\\pipe\\7001\n",  "con[UNIT:3 WIDTH:132 = \\\\host\\pipe\\7001]"},
        {"CON /Height:254/HEIGHT:0x10/WIDTH:65536 = P\n",   "con[Height:254 HEIGHT:16 WIDTH:0 = P]"},
        {"CON /CURSOR:On/cursor:off/Cursor:YES/CURSOR:no = P\n", "con[CURSOR:on cursor:off Cursor:on CURSOR:off = P]"},
        {"CON /UNITNAME:a/UNITNAME:\"A  b\" /UNITNAME:a:b = P\n", "con[name:a name:A  b name:a:b = P]"},
        {"CON UNIT:3 = P\n",         at1 + "CON UNIT:3 = P\n--- ^^^^^^\nAll options must be of the form /Option:Value\n"},
        {"CON /UNITNAME:a b = P\n",  at1 + "CON /UNITNAME:a b = P\n--- ----------- ^\nAll options must be of the form /Option:Value\n"},
        {"CON /SPEED:9600 = P\n",    at1 + "CON /SPEED:9600 = P\n--- ^^^^^^^^^^^\nInvalid option\n"},
        {"CON /UNIT:1x = P\n",       at1 + "CON /UNIT:1x = P\n--- ^^^^^^^^\nExpected a decimal number\n"},
        {"CON /unit:100 = P\n",      at1 + "CON /unit:100 = P\n--- ^^^^^^^^^\nunit must be from 0 to 99\n"},
        {"CON /Height:1 = P\n",      at1 + "CON /Height:1 = P\n--- ^^^^^^^^^\nHeight must be from 2 to 254\n"},
        {"CON /CURSOR:1 = P\n",      at1 + "CON /CURSOR:1 = P\n--- ^^^^^^^^^\nOption value must be ON, OFF, YES or NO\n"},
        // Start-up reads both passes, then titles the frame, shows the splash
        // screen and sets the priority; an error stops it before those.
        {"Title = Lab   consoles ; kept\nSplashGraphic = lab.bmp\nPriorityClass = High\nCON /UNIT:1 = 7001\n",
         "caption[KESTRA [k.cnf]] con[UNIT:1 = 7001] caption[Lab   consoles] splash[lab.bmp] set-priority[128] "
         "priority[128] title[Lab   consoles] graphic[lab.bmp]", "S"},
        {"PriorityClass = high\nCON /WIDTH:x = P\n",
         "caption[KESTRA [k.cnf]] priority[128] Error in line 2 of k.cnf\nCON /WIDTH:x = P\n--- ^^^^^^^^\nExpected a decimal number\n", "S"},
        // Quotes, escapes and INCLUDE, reported where they fail.
        {"Title = 'abc\n",          at1 + "Title = 'abc\n----- - ----^\nUnmatched apostrophes\n"},
        {"Title = \"a\\x\"\n",       at1 + "Title = \"a\\x\"\n----- - -----^\nIllegal \\ usage\n"},
        {"Title X\n",               at1 + "Title X\n----- ^\nExpected =\n"},
        {"INCLUDE missing.cnf x\n", at1 + "INCLUDE missing.cnf x\n------- ^^^^^^^^^^^\nCan't open include file missing.cnf\n"},
        {"\n\nINCLUDE D:\\ONE.CNF\n", "Error in line 2 of two.cnf\n    from line 2 of D:\\ONE.CNF\n    from line 3 of k.cnf\nBogus\n^^^^^" + unknown},
        {"INCLUDE k.cnf\n",         at1 + "INCLUDE k.cnf\n------- ^^^^^\nCan't open include file k.cnf" + already},
        {big,                                         bigConsoles + "title[9901]"},
        {std::string(9999, '\n') + "Bogus = 1\n",    "Error in line 10000 of k.cnf\nBogus = 1\n^^^^^" + unknown},
        // A read takes at most 254 characters: the rest of a long value is
        // read as a line of its own, and no keyword.
        {"Title = " + std::string(246, 'x') + "\nBogus\n", "title[" + std::string(246, 'x') + "] Error in line 3 of k.cnf\nBogus\n^^^^^" + unknown},
        {"Title = " + std::string(10000, 'x') + "\n", "title[" + std::string(246, 'x') + "] Error in line 2 of k.cnf\n" + x254 + "\n" + std::string(254, '^') + unknown},
        {"CON /UNITNAME:" + std::string(10000, 'x') + " = P\n", "Error in line 2 of k.cnf\n" + x254 + "\n" + std::string(254, '^') + unknown},
        {"Title = \"" + std::string(10000, 'x') + "\"\n", "Error in line 1 of k.cnf\nTitle = \"" + std::string(245, 'x') + "\n----- - " + std::string(246, '-') + "^\nUnmatched quotation marks\n"},
        {std::string("Title = a\0b\x01\x7f\xff\n", 15), "title[a]"},
        {"INCLUDE a.cnf\n", "Error in line 1 of b.cnf\n    from line 1 of a.cnf\n    from line 1 of k.cnf\nINCLUDE k.cnf\n------- ^^^^^\n"
                            "Can't open include file k.cnf" + already},
        {thousand + "Title = end\n",                  thousandConsoles + "title[end]"},
        {"INCLUDE i1.cnf\nCON = after\n",             "con[= after] title[deepest]"},
    };
    // clang-format on
    for (const Row& row : rows) {
        EXPECT_EQ(Run(row), row.expected) << row.config.substr(0, 80);
    }
}

TEST_F(ConfigFile, InternalErrorsReportTheirMessageAlone) {
    Options().configFilePath = "missing.cnf";
    EXPECT_EQ(ReportOf([] { ConfigPass(1); }), "Can't open configuration file: missing.cnf");
    EXPECT_FALSE(Options().configOpened);
    const std::new_handler previous = std::get_new_handler();
    InstallOutOfMemoryHandler();
    const std::new_handler installed = std::set_new_handler(previous);
    EXPECT_EQ(ReportOf(installed), "Out of memory");
    Hooks().defineConsole = nullptr;
    EXPECT_EQ(Run({"CON = PIPE1\n", ""}), "CON: no console layer is installed to define consoles");
}

// The file named or the program's own is looked for in the program's
// directory, where it is, then on the lists KESTRA, PATH and the one its
// extension names.
TEST_F(ConfigTest, CommandLinesChooseTheFileAndTheKeyOrShowTheHelp) {
    for (const char* file :
         {"prog/K.CNF", "prog/sub/S.CNF", "K.CNF", "sub/S.CNF", "kestra/M.CNF", "path/M.CNF",
          "path/E.CNF", "ext/E.CNF", "ext/G.CONFIG", "cn/G.CN", "cn/H.C", "path/sub\\Y.CNF"}) {
        Write(file, file);
    }
    ScopedEnvironment kestra("KESTRA", root_ / "kestra"), path("PATH", root_ / "path"),
        cnf("CNF", root_ / "ext");
    ScopedEnvironment config("CONFIG", root_ / "ext"), cn("CN", root_ / "cn"), c("C", root_ / "cn");
    // The program is prog/kestra, whose own file would fail if it were read.
    std::string program = root_ / "prog/kestra";
    Write("prog/KESTRA.CNF", "Bogus\n");
    Hooks().presentHelp = [this](std::string_view text) {
        EXPECT_EQ(text, platform::FatalMessage()) << "the help lives in the message buffer";
        EXPECT_TRUE(text.ends_with(HelpText(Options().programBaseName))) << text;
        log_ += (Options().quietMode ? "quiet help[" : "help[") +
                std::string(text.substr(0, text.find("Command line:"))) + "]";
    };
    // The file chosen, the steps taken and the options set; a help shown (with
    // the message above it) ends the program. Pipe names are taken through the
    // whole start-up.
    const auto run = [&](std::vector<std::string> arguments) {
        ResetOptions();
        log_.clear();
        arguments.insert(arguments.begin(), program);
        try {
            ParseCommandLine(arguments);
            log_ += Options().commandLineConsoles ? ReportOf([] { ConfigureAtStartup(); }) : "";
        } catch (const platform::ProcessEnded& ended) {
            EXPECT_EQ(ended.status(), 255);
            return log_;
        }
        return Join("file[" + Relative(Options().configFilePath.value_or("none")) + "]", State());
    };
    const std::string k80(80, 'k'), own = "file[prog/KESTRA.CNF]",
                                    separator = "\n" + std::string(75, '-') + "\n";
    const auto help = [&](const std::string& message) {
        return "help[" + message + separator + "]";
    };
    const std::string pipes = "file[none] caption[KESTRA] pipe[";
    // clang-format off
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{},                              own},
        {{"/C:x.cnf"}, "file[x.cnf]"},          {{"x.cnf/c"}, "file[x.cnf]"},
        {{"-Ca.cnf", "/C:b.cnf"},         "file[b.cnf]"},
        {{"/C:x.cnf", "/C"},              own},
        {{"/C:K.CNF"}, "file[prog/K.CNF]"},     {{"/C:sub/S.CNF"}, "file[sub/S.CNF]"}, // a directory: where it is
        {{"/C:M.CNF"}, "file[kestra/M.CNF]"},   {{"/C:E.CNF"}, "file[path/E.CNF]"},
        {{"/C:G.CN"}, "file[cn/G.CN]"},         {{"/C:H.C"}, "file[cn/H.C]"},
        {{"/C:G.CONFIG"}, "file[G.CONFIG]"},    {{"/C:sub\\Y.CNF"}, "file[sub\\Y.CNF]"}, // never searched for
        {{"/N:D:\\cfg\\Lab-1.cnf"},       "file[D:\\cfg\\Lab-1.cnf] key[\\Lab-1]"},
        {{"/N:a.cnf", "/C:b.cnf"},        "file[b.cnf] key[\\a]"},
        {{"/C:b.cnf", "/N:a.b.cnf"},      "file[a.b.cnf] key[\\a.b]"},
        {{"/K:Lab_1"},                    own + " key[\\Lab_1]"},
        {{"/K:" + k80, "/Q"},             own + " quiet[on] key[\\" + k80 + "]"},
        // The old process id is hexadecimal; the wait comes after every switch.
        {{"/W:0x1A4", "/D:1"},            own + " sleep[1] wait[420 10000]"},
        {{"1a4/W"},                       own + " wait[420 10000]"},
        // The pause: leading decimal digits, nothing when negative, at most 2^32 - 1.
        {{"/D", "/D:250", "/D:12abc", "/D:-5", "/D:+12", "/D:99999999999"},
         own + " sleep[0] sleep[250] sleep[12] sleep[0] sleep[12] sleep[4294967295]"},
        {{"/D:5", "/A", "/D:6"},          "sleep[5] " + help("Invalid command line option: /A")},
        {{"a/0"},                         help("Invalid command line option: a/0")},
        {{"/A:1"},                        help("Invalid command line option: /A:1")},
        {{"/W:zz"},                       help("Invalid command line option: /W:zz")},
        {{"/C:x.cnf", "PIPE1"},           help("Invalid command line option: PIPE1")},
        {{"/H"}, "help[]"}, {{"/R"}, "help[]"}, {{"-h"}, "help[]"}, {{"x/r"}, "help[]"},
        {{"/Q", "/H"}, "quiet help[]"},   {{"/H", "/Q"}, "help[]"},
        {{"/K:" + k80 + "k"},             help("Invalid properties key: /K:" + k80 + "k")},
        {{"/K:a b"},                      help("Invalid properties key: /K:a b")},
        {{"/K:"}, help("Invalid properties key: /K:")}, {{"/N"}, help("Invalid properties key: /N")},
        {{"/N:D:\\cfg\\Lab 1.cnf"},       help("Invalid properties key: /N:D:\\cfg\\Lab 1.cnf")},
        // Pipe names, when the first argument is no switch: a console each,
        // and no file is read in either pass.
        {{"PIPE1", "/H", "\\\\host\\pipe\\7001"}, pipes + "PIPE1] pipe[/H] pipe[\\\\host\\pipe\\7001] splash[] set-priority[32]"},
        {{"/", "/:x", "x-C", "/\xC3\xA9"},       pipes + "/] pipe[/:x] pipe[x-C] pipe[/\xC3\xA9] splash[] set-priority[32]"},
    };
    // clang-format on
    for (const auto& [arguments, expected] : rows) {
        EXPECT_EQ(run(arguments), expected) << (arguments.empty() ? "" : arguments.front());
    }
    // A restart runs the same command line without the wait, which it adds
    // again with its own process id.
    run({"/W:1A4", "/C:my file.cnf", "/Q"});
    EXPECT_EQ(Options().restartCommandLine, "\"" + program + "\" \"/C:my file.cnf\" \"/Q\"");
    EXPECT_EQ(Options().restartArguments,
              (std::vector<std::string>{program, "/C:my file.cnf", "/Q"}));
    EXPECT_EQ(WaitSwitch(0x1A4), "/W:000001A4");
    // The help names the program's own configuration file.
    program = "/opt/Lab.Term.exe";
    EXPECT_EQ(run({"/H"}), "help[]");
    const std::string text(platform::FatalMessage());
    EXPECT_TRUE(text.starts_with("Command line: KESTRA [Commands] [Options]\n\nCommand: /H "));
    EXPECT_NE(text.find("\n                                   (Default = Lab.Term.CNF)\n"),
              std::string::npos);
    EXPECT_TRUE(text.ends_with(
        separator + "Version 4.23.59\nBuild 158. Monday, November 25, 2002  14:09:25         "));
}

} // namespace
} // namespace kestra::config::testing
