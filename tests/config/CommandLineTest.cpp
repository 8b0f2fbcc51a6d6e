#include "ConfigTestSupport.h"

namespace kestra::config::testing {
namespace {

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
        {{"/C:x.cnf"},                    "file[x.cnf]"},
        {{"x.cnf/c"},                     "file[x.cnf]"},
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
        {{"/z:1"},                        help("Invalid command line option: /z:1")},
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
    EXPECT_TRUE(text.starts_with("Command line: KESTRA [Commands] [Options]\n\nCommand: /H "))
        << text;
    EXPECT_NE(text.find("\n                                   (Default = Lab.Term.CNF)\n"),
              std::string::npos);
    EXPECT_TRUE(text.ends_with(
        separator + "Version 4.23.59\nBuild 158. Monday, November 25, 2002  14:09:25         "));
}

} // namespace
} // namespace kestra::config::testing
