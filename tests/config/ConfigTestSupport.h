#pragma once

#include "config/ConfigHooks.h"
#include "config/ConfigInterpreter.h"
#include "config/ConfigLexer.h"
#include "config/GlobalOptions.h"
#include "config/OptionReaders.h"
#include "platform/Exit.h"
#include "support/ScopedEnvironment.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace kestra::config::testing {

using kestra::testing::ScopedEnvironment;

// A fresh directory, the current one while the test runs, with errors
// captured as exceptions.
class LexerFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kestra-lexer-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        oldDirectory_ = std::filesystem::current_path();
        std::filesystem::current_path(root_);
    }
    void TearDown() override {
        std::filesystem::current_path(oldDirectory_);
        std::filesystem::remove_all(root_);
        SetProgramDirectory({});
    }

    // Writes content to name (relative to the root) and returns its path.
    std::string Write(const std::string& name, const std::string& content) {
        const std::filesystem::path path = std::filesystem::path(root_) / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }

    enum class Kind { Configuration, Definition };

    std::unique_ptr<ConfigLexer> Open(const std::string& name, Kind kind = Kind::Configuration) {
        std::unique_ptr<ConfigLexer> lexer;
        EXPECT_TRUE(LexerCreate(lexer));
        if (kind == Kind::Configuration) {
            ApplyConfigurationFileSettings(*lexer);
        } else {
            ApplyDefinitionFileSettings(*lexer);
        }
        EXPECT_TRUE(LexerOpen(*lexer, name)) << name;
        return lexer;
    }

    // Every line the interpreter would see, as its tokens.
    static std::vector<std::vector<std::string>> AllTokens(ConfigLexer& lexer) {
        std::vector<std::vector<std::string>> lines;
        while (LexerReadLine(lexer)) {
            lines.emplace_back();
            while (LexerNextToken(lexer)) {
                lines.back().push_back(lexer.token);
            }
            EXPECT_EQ(lexer.token, "") << "the token text after the end of a line";
        }
        return lines;
    }

    // The report that failing produces, or a test failure when it produces
    // none.
    static std::string ReportOf(const std::function<void()>& failing) {
        platform::ScopedFatalCapture capture;
        try {
            failing();
        } catch (const platform::FatalError& error) {
            return std::string(error.message());
        }
        ADD_FAILURE() << "no error was reported";
        return {};
    }

    std::string root_;
    std::filesystem::path oldDirectory_;
    platform::ScopedFatalCapture capture_;
};

inline std::string DataDirectory() {
    return std::string(KESTRA_SOURCE_DIR) + "/tests/config/data";
}

// One console as the recording CON handler read it.
struct RecordedConsole {
    std::string pipeName;
    bool fromCommandLine = false;
    std::uint16_t unit = 0xFFFF;
    std::optional<std::string> unitName;
    bool eightBit = false;
    std::uint16_t width = 80;
    bool autowrap = false;
    bool cursor = true;
    std::uint16_t height = 24;
    std::uint16_t octal = 0;
    std::uint16_t hex = 0;
};

// Stands in for the console layer: reads a CON line with the option readers
// as a console definition does (plus an octal and a hexadecimal option, to
// reach every form of the range message), and records what it read.
inline void RecordConsole(const OptionRow& row, std::vector<RecordedConsole>& consoles) {
    RecordedConsole console;
    if (const auto pipeName = CommandLinePipeName(row)) {
        console.pipeName = std::string(*pipeName);
        console.fromCommandLine = true;
        consoles.push_back(console);
        return;
    }
    std::string_view name;
    std::string_view value;
    while (NextOption(name, value)) {
        if (NumberOption("UNIT", name, value, console.unit, 10, 0, 99) ||
            UnitNameOption(name, value, console.unitName) ||
            FlagOption("8BIT", name, value, console.eightBit) ||
            NumberOption("WIDTH", name, value, console.width, 10, 0, 0) ||
            FlagOption("AUTOWRAP", name, value, console.autowrap) ||
            FlagOption("CURSOR", name, value, console.cursor) ||
            NumberOption("HEIGHT", name, value, console.height, 10, 2, 254) ||
            NumberOption("OCTAL", name, value, console.octal, 8, 010, 0777) ||
            NumberOption("HEX", name, value, console.hex, 16, 0x10, 0xFF)) {
            continue;
        }
        InvalidOption();
    }
    ConfigLexer& lexer = *ConfigLexerInstance();
    if (lexer.token != "=") {
        ConfigError("Expected '='");
    }
    if (!LexerNextToken(lexer)) {
        ConfigError("No argument following '='");
    }
    console.pipeName = RestOfLine();
    consoles.push_back(console);
}

// A temporary program directory holding the configuration files of a case,
// with fresh options, the recording CON handler and recording log-on steps
// installed, and errors captured as exceptions.
class ConfigFilesTest : public LexerFilesTest {
protected:
    void SetUp() override {
        LexerFilesTest::SetUp();
        SetProgramDirectory(root_);
        ResetOptions();
        ResetHooks();
        Hooks().defineConsole = [this](const OptionRow& row) { RecordConsole(row, consoles_); };
        Hooks().hasCommandInterpreter = [this] { return hasInterpreter_; };
        Hooks().runCommandLine = [this](const std::string& commandLine) {
            commandLines_.push_back(commandLine);
            return 0;
        };
    }
    void TearDown() override {
        ResetHooks();
        ResetOptions();
        LexerFilesTest::TearDown();
    }

    // Writes the configuration file and makes it the one the passes read.
    void UseConfig(const std::string& content, const std::string& name = "k.cnf") {
        Options().configFilePath = Write(name, content);
    }

    // Runs the passes in order; the report of the first error (with the
    // case's directory left out of file names), or nothing.
    std::optional<std::string> RunPasses(std::initializer_list<int> passes = {1, 2}) {
        try {
            for (const int pass : passes) {
                ConfigPass(pass);
            }
        } catch (const platform::FatalError& error) {
            EXPECT_EQ(ConfigLexerInstance(), nullptr) << "the lexer outlived its pass";
            std::string report(error.message());
            const std::string directory = root_ + "/";
            for (std::size_t at; (at = report.find(directory)) != std::string::npos;) {
                report.erase(at, directory.size());
            }
            return report;
        }
        EXPECT_EQ(ConfigLexerInstance(), nullptr);
        return std::nullopt;
    }

    // The last line of a report: its message.
    static std::string MessageOf(const std::optional<std::string>& report) {
        if (!report) {
            return "(no error)";
        }
        std::string text = *report;
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        return text.substr(text.rfind('\n') + 1);
    }

    std::vector<RecordedConsole> consoles_;
    std::vector<std::string> commandLines_;
    bool hasInterpreter_ = true;
};

} // namespace kestra::config::testing
