#include "config/CommandLine.h"

#include "ConfigTestSupport.h"

namespace kestra::config::testing {
namespace {

// The help text of a program file named kestra, line by line as the user
// sees it; the last line ends in nine blanks.
const std::string kHelp =
    "Command line: KESTRA [Commands] [Options]\n"
    "\n"
    "Command: /H                      = Print this Help text.\n"
    "                                   Do not configure or start KESTRA.\n"
    "Options: /C:<Configuration file> = Specify the configuration file to parse.\n"
    "                                   (Default = kestra.CNF)\n"
    "         /K:<Properties Key>     = Specify the registry subkey to use for\n"
    "                                   getting and saving KESTRA 'Properties'.\n"
    "                                   (Default = none)\n"
    "         /N:<Configuration file> = Specify both the configuration file to\n"
    "                                   parse and the registry subkey to use for\n"
    "                                   getting and saving KESTRA 'Properties'.\n"
    "                                   The registry subkey that will be used is\n"
    "                                   the given configuration filename without\n"
    "                                   drive, directories or extension).\n"
    "                                   (Default = none)\n"
    "\n"
    "---------------------------------------------------------------------------\n"
    "Version 4.23.59\n"
    "Build 158. Monday, November 25, 2002  14:09:25         ";

const std::string kSeparator =
    "\n---------------------------------------------------------------------------\n";

struct SwitchCase {
    const char* argument;
    bool keepCase;
    char letter; // 0: no switch
    std::optional<std::string> value;
    NumberReading octal, decimal, hex, number;
};

TEST(ParseSwitch, ReadsLeadingAndTrailingForms) {
    const NumberReading no{};
    const NumberReading all{true, 0xFFFFFFFF};
    // clang-format off
    const SwitchCase cases[] = {
        // argument        keep   letter value          octal        decimal      hex            number
        {"/C:foo.cnf",     false, 'C',   "foo.cnf",     no,          no,          no,            no},
        {"/Cfoo.cnf",      false, 'C',   "foo.cnf",     no,          no,          no,            no},
        {"-c:x",           true,  'c',   "x",           no,          no,          no,            no},
        {"foo.cnf/C",      false, 'C',   "foo.cnf",     no,          no,          no,            no},
        {"foo.cnf/c",      true,  'c',   "foo.cnf",     no,          no,          no,            no},
        {"a/1",            false, '1',   "a",           no,          no,          {true, 0xA},   no},
        {"/Q",             false, 'Q',   std::nullopt,  no,          no,          no,            no},
        {"/C:",            false, 'C',   "",            no,          no,          no,            no},
        {"/W:1A4",         false, 'W',   "1A4",         no,          no,          {true, 0x1A4}, no},
        {"/W:0x1A4",       false, 'W',   "0x1A4",       no,          no,          {true, 0x1A4}, {true, 0x1A4}},
        {"/D:12.",         false, 'D',   "12.",         no,          {true, 12},  no,            {true, 12}},
        {"/X:017",         false, 'X',   "017",         {true, 15},  {true, 17},  {true, 0x17},  {true, 15}},
        {"/X:-1",          false, 'X',   "-1",          all,         all,         all,           all},
        {"PIPE1",          false, 0,     std::nullopt,  no,          no,          no,            no},
        {"/",              false, 0,     std::nullopt,  no,          no,          no,            no},
        {"/:x",            false, 0,     std::nullopt,  no,          no,          no,            no},
        {"x-C",            false, 0,     std::nullopt,  no,          no,          no,            no},
        {"/\xC3\xA9",      false, 0,     std::nullopt,  no,          no,          no,            no},
    };
    // clang-format on
    for (const SwitchCase& row : cases) {
        SCOPED_TRACE(row.argument);
        SwitchRecord record;
        record.letter = '?';
        record.value = "stale";
        EXPECT_EQ(ParseSwitch(row.argument, record, row.keepCase), row.letter != 0);
        EXPECT_EQ(record.letter, row.letter);
        EXPECT_EQ(record.value, row.value);
        EXPECT_EQ(record.octal, row.octal);
        EXPECT_EQ(record.decimal, row.decimal);
        EXPECT_EQ(record.hex, row.hex);
        EXPECT_EQ(record.number, row.number);
    }
}

// Runs the command line with recording steps; help and errors are captured.
class CommandLineTest : public ConfigFilesTest {
protected:
    void SetUp() override {
        ConfigFilesTest::SetUp();
        Hooks().presentHelp = [this](std::string_view text) {
            shownHelp_ = std::string(text);
            quietWhenShown_ = Options().quietMode;
        };
        Hooks().sleep = [this](std::uint32_t ms) { sleeps_.push_back(ms); };
        Hooks().waitForProcess = [this](std::uint32_t pid, int timeoutMs) {
            waits_.emplace_back(pid, timeoutMs);
        };
    }

    // True when the command line ended the program (through the help).
    bool Parse(std::vector<std::string> arguments) {
        shownHelp_.reset();
        try {
            ParseCommandLine(arguments);
        } catch (const platform::ProcessEnded& ended) {
            EXPECT_EQ(ended.status(), 255);
            EXPECT_TRUE(shownHelp_) << "ended without showing the help";
            return true;
        }
        return false;
    }

    std::optional<std::string> shownHelp_;
    bool quietWhenShown_ = false;
    std::vector<std::uint32_t> sleeps_;
    std::vector<std::pair<std::uint32_t, int>> waits_;
};

TEST_F(CommandLineTest, HelpTextIsExactForTheProgramFile) {
    EXPECT_EQ(HelpText("kestra"), kHelp);
    for (const char* help : {"/H", "/R", "-h", "x/r"}) {
        SCOPED_TRACE(help);
        ASSERT_TRUE(Parse({"/usr/local/bin/kestra", help}));
        EXPECT_EQ(shownHelp_, kHelp);
        EXPECT_EQ(platform::FatalMessage(), kHelp) << "the help lives in the message buffer";
    }
    ASSERT_TRUE(Parse({"/opt/Lab.Term.exe", "/H"}));
    EXPECT_NE(shownHelp_->find("(Default = Lab.Term.CNF)\n"), std::string::npos) << *shownHelp_;
}

TEST_F(CommandLineTest, BadArgumentsShowTheirMessageAboveTheHelp) {
    const std::string key81(81, 'k');
    // clang-format off
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"/X"},                      "Invalid command line option: /X"},
        {{"/C:x.cnf", "PIPE1"},       "Invalid command line option: PIPE1"},
        {{"/W:zz"},                   "Invalid command line option: /W:zz"},
        {{"/W:0x"},                   "Invalid command line option: /W:0x"},
        {{"/K:" + key81},             "Invalid properties key: /K:" + key81},
        {{"/K:a b"},                  "Invalid properties key: /K:a b"},
        {{"/K:"},                     "Invalid properties key: /K:"},
        {{"/N:D:\\cfg\\Lab 1.cnf"},   "Invalid properties key: /N:D:\\cfg\\Lab 1.cnf"},
    };
    // clang-format on
    for (const auto& [arguments, message] : cases) {
        SCOPED_TRACE(message);
        std::vector<std::string> commandLine = {"kestra"};
        commandLine.insert(commandLine.end(), arguments.begin(), arguments.end());
        ASSERT_TRUE(Parse(commandLine));
        EXPECT_EQ(shownHelp_, message + kSeparator + kHelp);
    }
}

struct ConfigFileCase {
    std::vector<std::string> arguments;
    std::string configFile;
    std::string propertiesKey;
};

TEST_F(CommandLineTest, SwitchesChooseTheFileAndTheKey) {
    const std::string base = "Software\\Marrow Data\\KESTRA";
    // clang-format off
    const ConfigFileCase cases[] = {
        {{"/C:x.cnf"},                      "x.cnf",               base},
        {{"x.cnf/C"},                       "x.cnf",               base},
        {{"/C:a.cnf", "/C:b.cnf"},          "b.cnf",               base},
        {{"/N:D:\\cfg\\Lab-1.cnf"},         "D:\\cfg\\Lab-1.cnf",  base + "\\Lab-1"},
        {{"/N:a.cnf", "/C:b.cnf"},          "b.cnf",               base + "\\a"},
        {{"/C:b.cnf", "/N:a.b.cnf"},        "a.b.cnf",             base + "\\a.b"},
        {{"/K:Lab_1"},                      "",                    base + "\\Lab_1"},
        {{"/K:" + std::string(80, 'k')},    "",                    base + "\\" + std::string(80, 'k')},
        {{"/C:x.cnf", "/C"},                "",                    base},
    };
    // clang-format on
    for (const ConfigFileCase& row : cases) {
        SCOPED_TRACE(row.arguments.front());
        ResetOptions();
        std::vector<std::string> commandLine = {"/opt/kestra/bin/kestra"};
        commandLine.insert(commandLine.end(), row.arguments.begin(), row.arguments.end());
        ASSERT_FALSE(Parse(commandLine));
        // Without a file named, the program's own name with .CNF, which is
        // not there to be found in these cases.
        EXPECT_EQ(Options().configFilePath, row.configFile.empty() ? "kestra.CNF" : row.configFile);
        EXPECT_EQ(Options().propertiesKey, row.propertiesKey);
        EXPECT_FALSE(Options().commandLineConsoles);
    }
}

TEST_F(CommandLineTest, DefaultFileIsFoundInTheProgramDirectory) {
    const std::string found = Write("KESTRA.CNF", "; the program's own file\n");
    std::filesystem::create_directory(root_ + "/elsewhere");
    std::filesystem::current_path(root_ + "/elsewhere");
    ASSERT_FALSE(Parse({root_ + "/kestra"}));
    EXPECT_EQ(Options().configFilePath, found);
    EXPECT_EQ(Options().programPath, root_ + "/kestra");
    EXPECT_EQ(Options().programBaseName, "kestra");
    EXPECT_EQ(DefaultConfigName("CNF"), "kestra.CNF");
}

TEST_F(CommandLineTest, WaitTakesTheOldProcessIdInHexAndIsLeftOutOfTheRestart) {
    for (const char* wait : {"/W:1A4", "/W:0x1A4", "1A4/W"}) {
        SCOPED_TRACE(wait);
        ResetOptions();
        waits_.clear();
        ASSERT_FALSE(Parse({"/opt/k/kestra", wait, "/C:my file.cnf", "/Q"}));
        EXPECT_EQ(Options().waitProcessId, 0x1A4u);
        EXPECT_EQ(waits_, (std::vector<std::pair<std::uint32_t, int>>{{0x1A4, 10000}}));
        EXPECT_TRUE(Options().quietMode) << "the wait comes after every switch was read";
        EXPECT_EQ(Options().restartCommandLine, "\"/opt/k/kestra\" \"/C:my file.cnf\" \"/Q\"");
        EXPECT_EQ(Options().restartArguments,
                  (std::vector<std::string>{"/opt/k/kestra", "/C:my file.cnf", "/Q"}));
    }
    ResetOptions();
    waits_.clear();
    ASSERT_FALSE(Parse({"kestra", "/Q"}));
    EXPECT_TRUE(waits_.empty());
    EXPECT_EQ(WaitSwitch(0x1A4), "/W:000001A4");
}

TEST_F(CommandLineTest, DelaySleepsBetweenArguments) {
    // clang-format off
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"/D:250",   250},
        {"/D",       0},
        {"/D:12abc", 12},
        {"/D:-5",    0},
        {"/D:99999999999", 0xFFFFFFFF},
    };
    // clang-format on
    for (const auto& [argument, milliseconds] : cases) {
        SCOPED_TRACE(argument);
        sleeps_.clear();
        ASSERT_FALSE(Parse({"kestra", argument}));
        EXPECT_EQ(sleeps_, std::vector<std::uint32_t>{milliseconds});
    }
    // The pause happens before a later argument is even read.
    sleeps_.clear();
    ASSERT_TRUE(Parse({"kestra", "/D:5", "/X", "/D:6"}));
    EXPECT_EQ(sleeps_, std::vector<std::uint32_t>{5});
}

TEST_F(CommandLineTest, SwitchesActInTheirOrder) {
    ASSERT_TRUE(Parse({"kestra", "/Q", "/H"}));
    EXPECT_TRUE(quietWhenShown_);
    ResetOptions();
    ASSERT_TRUE(Parse({"kestra", "/H", "/Q"}));
    EXPECT_FALSE(quietWhenShown_) << "/H acts before /Q is read";
}

TEST_F(CommandLineTest, PipeNamesMakeConsolesThatReadNoFileInEitherPass) {
    // A configuration file that would fail if it were read.
    Write("kestra.CNF", "Bogus\n");
    ASSERT_FALSE(Parse({root_ + "/kestra", "PIPE1", "/H", "\\\\host\\pipe\\7001"}));
    EXPECT_TRUE(Options().commandLineConsoles);
    EXPECT_FALSE(Options().configFilePath);
    EXPECT_EQ(Options().restartCommandLine, "\"" + root_ + "/kestra\"");
    ASSERT_EQ(RunPasses(), std::nullopt);
    ASSERT_EQ(consoles_.size(), 3u);
    EXPECT_EQ(consoles_[1].pipeName, "/H");
    EXPECT_EQ(consoles_[2].pipeName, "\\\\host\\pipe\\7001");
    EXPECT_FALSE(Options().configOpened);
}

} // namespace
} // namespace kestra::config::testing
