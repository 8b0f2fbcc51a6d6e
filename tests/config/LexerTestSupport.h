#pragma once

#include "config/ConfigLexer.h"
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

} // namespace kestra::config::testing
