#pragma once

// The fixture of the definition file tests: a directory of its own per test,
// and a loader that starts each load from a fresh definition.

#include "platform/Exit.h"
#include "termdef/TerminalDefinition.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace kestra::termdef::testing {

using kestra::platform::FatalError;
using kestra::platform::ScopedFatalCapture;

inline std::string Bytes(const KeyMap& map, std::int32_t code) {
    const KeyEntry* entry = KeyMapFind(map, code);
    return entry == nullptr ? "<none>" : entry->bytes;
}

// Each test starts from the definition as the process starts with it, writes
// its definition text to a file of its own and loads it.
class DefinitionFile : public ::testing::Test {
protected:
    void SetUp() override {
        colours_.fill(0x5A);
        directory_ = std::filesystem::path(::testing::TempDir()) /
                     ("kestra-termdef-" + std::to_string(::getpid()) + "-" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(directory_);
    }

    void TearDown() override {
        ResetTerminalDefinition();
        std::filesystem::remove_all(directory_);
    }

    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = (directory_ / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    // Loads a definition file into a fresh definition; the report of the
    // error it ends with, or the empty string when it loads.
    std::string LoadFile(const std::string& path) {
        ResetTerminalDefinition();
        TheTerminalDefinition().colourTarget = &colours_;
        ScopedFatalCapture capture;
        try {
            LoadTerminalDefinition(path);
        } catch (const FatalError& error) {
            return std::string(error.message());
        }
        return {};
    }

    std::string Load(const std::string& text) { return LoadFile(path_ = Write("VT100.CNF", text)); }

    void LoadOk(const std::string& text) {
        const std::string report = Load(text);
        ASSERT_EQ(report, "") << text;
        ASSERT_TRUE(TheTerminalDefinition().loaded);
    }

    // The located report for the last line of the file, marker as '-'.
    std::string Report(int line, const std::string& text, const std::string& marker,
                       const std::string& message) const {
        return "Error in line " + std::to_string(line) + " of " + path_ + "\n" + text + "\n" +
               marker + "\n" + message + "\n";
    }

    const TerminalDefinition& Definition() const { return TheTerminalDefinition(); }

    ColourMap colours_{};
    std::filesystem::path directory_;
    std::string path_;
};

} // namespace kestra::termdef::testing
