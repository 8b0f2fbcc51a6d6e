#pragma once

#include "config/CommandLine.h"
#include "config/ConfigHooks.h"
#include "config/ConfigInterpreter.h"
#include "config/ConfigLexer.h"
#include "config/OptionReaders.h"
#include "config/ProgramFile.h"
#include "config/StartupConfiguration.h"
#include "platform/Exit.h"
#include "support/Program.h"
#include "support/ScopedEnvironment.h"

#include <gtest/gtest.h>

namespace kestra::config::testing {

using kestra::testing::ScopedEnvironment;

// Stands in for the console layer: reads a CON line's options as a console
// definition does and describes each one as it was read, then the pipe.
inline std::string ReadConsole(const OptionRow& row) {
    if (const auto pipeName = CommandLinePipeName(row)) {
        return "pipe[" + std::string(*pipeName) + "] ";
    }
    std::string text = "con[";
    std::string_view name, value;
    std::uint16_t number = 0;
    bool flag = false;
    std::optional<std::string> unitName;
    while (NextOption(name, value)) {
        if (FlagOption("CURSOR", name, value, flag)) {
            text += std::string(name) + (flag ? ":on " : ":off ");
        } else if (NumberOption("UNIT", name, value, number, 10, 0, 99) ||
                   NumberOption("WIDTH", name, value, number, 10, 0, 0) ||
                   NumberOption("HEIGHT", name, value, number, 10, 2, 254)) {
            text += std::string(name) + ":" + std::to_string(number) + " ";
        } else if (UnitNameOption(name, value, unitName)) {
            text += "name:" + *unitName + " ";
        } else {
            InvalidOption();
        }
    }
    EXPECT_EQ(ConfigLexerInstance()->token, "=") << "the options end at the equals sign";
    return LexerNextToken(*ConfigLexerInstance()), text + "= " + RestOfLine() + "] ";
}

// A fresh directory, current while the test runs, with "prog" in it as the
// program's directory; fresh options; the start-up steps recorded in log_;
// errors captured as exceptions.
class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::current_path(root_.Path());
        SetProgramDirectory(root_ / "prog");
        ResetOptions();
        ResetHooks();
        const auto log = [this](const std::string& step) { log_ += step + "] "; };
        const auto n = [](unsigned value) { return std::to_string(value); };
        Hooks().defineConsole = [this](const OptionRow& row) { log_ += ReadConsole(row); };
        Hooks().hasCommandInterpreter = [this] { return shell_; };
        Hooks().runCommandLine = [=](const std::string& line) { return log("run[" + line), 0; };
        Hooks().setFrameTitle = [=](std::string_view text) { log("caption[" + std::string(text)); };
        Hooks().showSplash = [=] { log("splash[" + Options().splashGraphic.value_or("")); };
        Hooks().setPriorityClass = [=](unsigned value) { log("set-priority[" + n(value)); };
        Hooks().sleep = [=](unsigned ms) { log("sleep[" + n(ms)); };
        Hooks().waitForProcess = [=](unsigned id, int ms) { log("wait[" + n(id) + " " + n(ms)); };
        platform::SetFatalPresenter([this](std::string_view message) {
            lexerAtReport_ = ConfigLexerInstance() != nullptr;
            throw platform::FatalError(message);
        });
    }
    void TearDown() override {
        std::filesystem::current_path(previousDirectory_);
        ResetHooks();
    }

    std::string Write(const std::string& name, const std::string& content) const {
        std::filesystem::create_directories(std::filesystem::path(root_ / name).parent_path());
        std::ofstream(root_ / name, std::ios::binary) << content;
        return root_ / name;
    }

    // The text with this test's directory left out.
    std::string Relative(std::string text) const {
        for (std::size_t at; (at = text.find(root_.Path() + "/")) != std::string::npos;) {
            text.erase(at, root_.Path().size() + 1);
        }
        return text;
    }

    // The report that failing produces (relative); empty when there is none.
    std::string ReportOf(const std::function<void()>& failing) const {
        try {
            failing();
        } catch (const platform::FatalError& error) {
            return Relative(std::string(error.message()));
        }
        return {};
    }

    // The steps taken, then the options that differ from their start-up values.
    std::string State() const {
        const GlobalOptions& o = Options();
        std::string text = log_;
        const auto add = [&text](bool set, const char* name, const std::string& value) {
            text += set ? name + ("[" + value + "] ") : "";
        };
        const auto n = [](unsigned value) { return std::to_string(value); };
        add(o.quietMode, "quiet", "on");
        add(!o.splashBorder, "border", "off");
        add(o.priorityClassValue != kNormalPriorityClass, "priority", n(o.priorityClassValue));
        add(o.intercharDelay != 10 || o.returnDelay != 100, "delays",
            n(o.intercharDelay) + "/" + n(o.returnDelay));
        add(o.historyLines != kDefaultHistoryLines, "history", n(o.historyLines));
        add(o.serverPrefix && o.serverPrefix != kDefaultServerPrefix, "server",
            o.serverPrefix.value_or(""));
        add(o.propertiesKey != kDefaultPropertiesKey, "key",
            o.propertiesKey.substr(kDefaultPropertiesKey.size()));
        for (const auto& [name, value] : {std::pair{"title", o.title},
                                          {"edit", o.editCommand},
                                          {"graphic", o.splashGraphic},
                                          {"user", o.user},
                                          {"password", o.password}}) {
            add(value.has_value(), name, value.value_or(""));
        }
        return Relative(text.substr(0, text.size() - !text.empty()));
    }

    static std::string Join(const std::string& first, const std::string& second) {
        return first.empty() || second.empty() ? first + second : first + " " + second;
    }

    kestra::testing::TemporaryDirectory root_;
    std::filesystem::path previousDirectory_ = std::filesystem::current_path();
    platform::ScopedFatalCapture capture_;
    std::string log_;
    bool shell_ = true;
    bool lexerAtReport_ = false;
};

} // namespace kestra::config::testing
