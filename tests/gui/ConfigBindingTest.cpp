#include "shell/ConfigBinding.h"

#include "config/ConfigHooks.h"
#include "config/ConfigInterpreter.h"
#include "config/GlobalOptions.h"
#include "config/ProgramFile.h"
#include "platform/Exit.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace kestra;
using namespace kestra::shell;

namespace {

// The Fatal Error dialog's Edit Cnf asks the binding where the configuration
// error stands while the pass that found it is still reporting.
class ConfigBindingTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = "/tmp/kbind-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        config::SetProgramDirectory(root_);
        config::ResetOptions();
        config::ResetHooks();
    }
    void TearDown() override {
        config::ResetHooks();
        config::ResetOptions();
        config::SetProgramDirectory("");
        std::filesystem::remove_all(root_);
    }
    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = root_ + "/" + name;
        std::ofstream(path) << text;
        return path;
    }

    // Runs pass 1; the error position the binding gave while the error was
    // being reported, and what a second look gave.
    void RunPassCapturing(std::optional<EditPosition>& first, std::optional<EditPosition>& second) {
        platform::ScopedFatalCapture capture;
        platform::SetFatalPresenter([&](std::string_view message) {
            first = binding_->CloseAtErrorPosition();
            second = binding_->CloseAtErrorPosition();
            throw platform::FatalError(message);
        });
        EXPECT_THROW(config::ConfigPass(1), platform::FatalError);
    }

    std::string root_;
    std::unique_ptr<ShellConfiguration> binding_ = BindConfiguration();
};

TEST_F(ConfigBindingTest, ErrorInAnIncludedFileGivesTheInnermostFileLineAndColumn) {
    Write("inc.cnf", "QuietMode = on\n  Bogus = 1\n");
    config::Options().configFilePath = Write("main.cnf", "Title = Lab\nINCLUDE inc.cnf\n");
    std::optional<EditPosition> first;
    std::optional<EditPosition> second;
    RunPassCapturing(first, second);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(std::filesystem::path(first->fileName).filename(), "inc.cnf");
    EXPECT_EQ(first->line, 2);
    EXPECT_EQ(first->column, 3);
    EXPECT_FALSE(second.has_value()) << "the files were closed by the first look";
    EXPECT_TRUE(binding_->ConfigOpened());
}

} // namespace
