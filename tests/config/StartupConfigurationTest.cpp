#include "config/StartupConfiguration.h"

#include "ConfigTestSupport.h"
#include "config/CommandLine.h"

namespace kestra::config::testing {
namespace {

// Records every start-up step in the order it happens.
class StartupTest : public ConfigFilesTest {
protected:
    void SetUp() override {
        ConfigFilesTest::SetUp();
        Hooks().defineConsole = [this](const OptionRow& row) {
            RecordConsole(row, consoles_);
            steps_.push_back("console " + consoles_.back().pipeName);
        };
        Hooks().setFrameTitle = [this](std::string_view caption) {
            steps_.push_back("title " + std::string(caption));
        };
        Hooks().showSplash = [this] {
            const GlobalOptions& options = Options();
            steps_.push_back(std::string("splash quiet=") + (options.quietMode ? "1" : "0") +
                             " border=" + (options.splashBorder ? "1" : "0") +
                             " graphic=" + options.splashGraphic.value_or("-"));
        };
        Hooks().setPriorityClass = [this](std::uint32_t classValue) {
            steps_.push_back("priority " + std::to_string(classValue));
        };
        Hooks().runCommandLine = [this](const std::string& commandLine) {
            steps_.push_back(commandLine);
            return 0;
        };
    }

    std::vector<std::string> steps_;
};

TEST_F(StartupTest, ConfiguresInTheStartUpOrder) {
    SetProgramDirectory(DataDirectory());
    ASSERT_FALSE(std::filesystem::exists("sample.cnf"));
    ParseCommandLine(std::vector<std::string>{"kestra", "/C:sample.cnf"});
    ConfigureAtStartup();
    const std::string path = DataDirectory() + "/sample.cnf";
    EXPECT_EQ(steps_, (std::vector<std::string>{
                          "title KESTRA [" + path + "]",
                          "net use \\\\alpha /user:operator ",
                          "console 7001",
                          "console \\\\beta\\pipe\\7002",
                          "title Lab   consoles",
                          "splash quiet=0 border=0 graphic=lab.bmp",
                          "priority 128",
                      }));
    EXPECT_TRUE(Options().configOpened);
    EXPECT_EQ(Options().returnDelay, 250);
    ASSERT_EQ(consoles_.size(), 2u);
    EXPECT_EQ(consoles_[1].unitName, "Beta line");
}

TEST_F(StartupTest, CommandLineConsolesAreTitledWithTheProgramAlone) {
    ParseCommandLine(std::vector<std::string>{"kestra", "PIPE1", "PIPE2"});
    ConfigureAtStartup();
    EXPECT_EQ(steps_,
              (std::vector<std::string>{"title KESTRA", "console PIPE1", "console PIPE2",
                                        "splash quiet=0 border=1 graphic=-", "priority 32"}));
}

TEST_F(StartupTest, AnErrorStopsBeforeTheSplashAndThePriority) {
    UseConfig("PriorityClass = high\nCON /WIDTH:x = P\n");
    EXPECT_THROW(ConfigureAtStartup(), platform::FatalError);
    EXPECT_EQ(steps_, (std::vector<std::string>{"title KESTRA [" + root_ + "/k.cnf]"}));
}

} // namespace
} // namespace kestra::config::testing
