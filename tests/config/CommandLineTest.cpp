#include "ConfigTestSupport.h"

namespace kestra::config::testing {
namespace {

const std::string kSeparator = "\n" + std::string(75, '-') + "\n";

// The program is prog/kestra, whose own configuration file, prog/KESTRA.CNF,
// would fail if it were read.
class CommandLine : public ConfigTest {
protected:
    void SetUp() override {
        ConfigTest::SetUp();
        Write("prog/KESTRA.CNF", "Bogus\n");
        Hooks().presentHelp = [this](std::string_view text) {
            EXPECT_EQ(text, platform::FatalMessage()) << "the help lives in the message buffer";
            const std::string help = HelpText(Options().programBaseName);
            std::string message(text.substr(0, text.size() - help.size()));
            EXPECT_TRUE(text.ends_with(help) && (message.empty() || message.ends_with(kSeparator)))
                << text;
            message.resize(message.empty() ? 0 : message.size() - kSeparator.size());
            log_ += (Options().quietMode ? "quiet help[" : "help[") + message + "]";
        };
    }

    // What the command line decided, with the steps it took; pipe names are
    // taken through the whole start-up.
    std::string Run(std::vector<std::string> arguments) {
        ResetOptions();
        log_.clear();
        arguments.insert(arguments.begin(), program_);
        try {
            ParseCommandLine(arguments);
        } catch (const platform::ProcessEnded& ended) {
            EXPECT_EQ(ended.status(), 255);
            return log_;
        }
        if (Options().commandLineConsoles) {
            log_ += ReportOf([] { ConfigureAtStartup(); });
        }
        std::string text =
            log_ + "file[" + Relative(Options().configFilePath.value_or("none")) + "]";
        if (Options().propertiesKey != kDefaultPropertiesKey) {
            text += " key[" + Options().propertiesKey.substr(kDefaultPropertiesKey.size()) + "]";
        }
        return text + (Options().quietMode ? " quiet" : "");
    }

    std::string program_ = root_ / "prog/kestra";
};

TEST_F(CommandLine, SwitchesChooseTheFileAndTheKeyOrShowTheHelp) {
    const std::string k80(80, 'k'), own = "file[prog/KESTRA.CNF]";
    // clang-format off
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{},                              own},
        {{"/C:x.cnf"},                    "file[x.cnf]"},
        {{"x.cnf/c"},                     "file[x.cnf]"},
        {{"-Ca.cnf", "/C:b.cnf"},         "file[b.cnf]"},
        {{"/C:x.cnf", "/C"},              own},
        {{"/N:D:\\cfg\\Lab-1.cnf"},       "file[D:\\cfg\\Lab-1.cnf] key[\\Lab-1]"},
        {{"/N:a.cnf", "/C:b.cnf"},        "file[b.cnf] key[\\a]"},
        {{"/C:b.cnf", "/N:a.b.cnf"},      "file[a.b.cnf] key[\\a.b]"},
        {{"/K:Lab_1"},                    own + " key[\\Lab_1]"},
        {{"/K:" + k80, "/Q"},             own + " key[\\" + k80 + "] quiet"},
        // The old process id is hexadecimal; the wait comes after every switch.
        {{"/W:0x1A4", "/D:1"},            "sleep[1] wait[420 10000] " + own},
        {{"1a4/W"},                       "wait[420 10000] " + own},
        // The pause: leading decimal digits, nothing when negative, at most 2^32 - 1.
        {{"/D", "/D:250", "/D:12abc", "/D:-5", "/D:+12", "/D:99999999999"},
         "sleep[0] sleep[250] sleep[12] sleep[0] sleep[12] sleep[4294967295] " + own},
        {{"/D:5", "/A", "/D:6"},          "sleep[5] help[Invalid command line option: /A]"},
        {{"a/0"},                         "help[Invalid command line option: a/0]"},
        {{"/z:1"},                        "help[Invalid command line option: /z:1]"},
        {{"/H"}, "help[]"}, {{"/R"}, "help[]"}, {{"-h"}, "help[]"}, {{"x/r"}, "help[]"},
        {{"/Q", "/H"},                    "quiet help[]"},
        {{"/H", "/Q"},                    "help[]"},
        {{"/C:x.cnf", "PIPE1"},           "help[Invalid command line option: PIPE1]"},
        {{"/W:zz"},                       "help[Invalid command line option: /W:zz]"},
        {{"/K:" + k80 + "k"},             "help[Invalid properties key: /K:" + k80 + "k]"},
        {{"/K:a b"},                      "help[Invalid properties key: /K:a b]"},
        {{"/K:"},                         "help[Invalid properties key: /K:]"},
        {{"/N"},                          "help[Invalid properties key: /N]"},
        {{"/N:D:\\cfg\\Lab 1.cnf"},       "help[Invalid properties key: /N:D:\\cfg\\Lab 1.cnf]"},
        // Pipe names, when the first argument is no switch: a console each,
        // and no file is read in either pass.
        {{"PIPE1", "/H", "\\\\host\\pipe\\7001"},
         "caption[KESTRA] pipe[PIPE1] pipe[/H] pipe[\\\\host\\pipe\\7001] splash[] set-priority[32] file[none]"},
        {{"/", "/:x", "x-C", "/\xC3\xA9"},   "caption[KESTRA] pipe[/] pipe[/:x] pipe[x-C] pipe[/\xC3\xA9] splash[] set-priority[32] file[none]"},
    };
    // clang-format on
    for (const auto& [arguments, expected] : rows) {
        EXPECT_EQ(Run(arguments), expected) << (arguments.empty() ? "" : arguments.front());
    }
    // A restart runs the same command line without the wait, which it adds
    // again with its own process id.
    Run({"/W:1A4", "/C:my file.cnf", "/Q"});
    EXPECT_EQ(Options().restartCommandLine, "\"" + program_ + "\" \"/C:my file.cnf\" \"/Q\"");
    EXPECT_EQ(Options().restartArguments,
              (std::vector<std::string>{program_, "/C:my file.cnf", "/Q"}));
    EXPECT_EQ(WaitSwitch(0x1A4), "/W:000001A4");
    Run({"PIPE1"});
    EXPECT_EQ(Options().restartCommandLine, "\"" + program_ + "\"");
}

TEST_F(CommandLine, HelpNamesTheProgramsOwnConfigurationFile) {
    program_ = "/opt/Lab.Term.exe";
    EXPECT_EQ(Run({"/H"}), "help[]");
    const std::string help(platform::FatalMessage());
    EXPECT_TRUE(help.starts_with("Command line: KESTRA [Commands] [Options]\n\nCommand: /H "))
        << help;
    EXPECT_NE(help.find("\n                                   (Default = Lab.Term.CNF)\n"),
              std::string::npos);
    EXPECT_TRUE(help.ends_with(
        kSeparator + "Version 4.23.59\nBuild 158. Monday, November 25, 2002  14:09:25         "));
    EXPECT_EQ(DefaultConfigName("ext"), "Lab.Term.ext");
}

TEST_F(CommandLine, ProgramFilesAreLookedForInTheirPlacesInOrder) {
    for (const char* file :
         {"prog/K.CNF", "prog/sub/S.CNF", "K.CNF", "sub/S.CNF", "kestra/M.CNF", "path/M.CNF",
          "path/E.CNF", "ext/E.CNF", "ext/G.CONFIG", "cn/G.CN", "cn/H.C", "path/X.CNF"}) {
        Write(file, file);
    }
    ScopedEnvironment kestra("KESTRA", root_ / "kestra"), path("PATH", root_ / "path"),
        cnf("CNF", root_ / "ext");
    ScopedEnvironment config("CONFIG", root_ / "ext"), cn("CN", root_ / "cn"), c("C", root_ / "cn");
    // clang-format off
    const std::pair<const char*, const char*> rows[] = {
        {"K.CNF",      "prog/K.CNF"},   // the program's directory before the current one
        {"sub/S.CNF",  "sub/S.CNF"},    // a directory: not in the program's directory
        {"M.CNF",      "kestra/M.CNF"}, // KESTRA before PATH
        {"E.CNF",      "path/E.CNF"},   // PATH before the extension's variable
        {"G.CN",       "cn/G.CN"},      // an extension of one to three characters
        {"H.C",        "cn/H.C"},
        {"G.CONFIG",   "G.CONFIG"},     // longer: no variable is consulted
        {"sub\\X.CNF", "sub\\X.CNF"},   // never searched for
        {"NONE.CNF",   "NONE.CNF"},     // not found: unchanged, opening will fail
    };
    // clang-format on
    for (const auto& [name, expected] : rows) {
        EXPECT_EQ(Relative(FindProgramFile(name)), expected) << name;
    }
}

} // namespace
} // namespace kestra::config::testing
