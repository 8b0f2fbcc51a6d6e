#include "ConfigTestSupport.h"

namespace kestra::config::testing {
namespace {

class ConOptionReaders : public ConfigFilesTest {
protected:
    // Runs one CON line through both passes.
    std::optional<std::string> RunCon(const std::string& line) {
        consoles_.clear();
        UseConfig(line + "\n");
        return RunPasses();
    }
};

struct ConCase {
    const char* line;
    std::function<bool(const RecordedConsole&)> holds;
};

TEST_F(ConOptionReaders, OptionsAreReadBeforeTheEqualsSign) {
    // clang-format off
    const ConCase cases[] = {
        {"CON = PIPE1",                     [](auto& c) { return c.pipeName == "PIPE1" &&
                                                                 c.unit == 0xFFFF && !c.unitName &&
                                                                 c.height == 24 && c.cursor; }},
        {"CON /UNIT:3/WIDTH:132 = P",       [](auto& c) { return c.unit == 3 && c.width == 132; }},
        {"CON /Height:254 = P",             [](auto& c) { return c.height == 254; }},
        {"CON /HEIGHT:0x10 = P",            [](auto& c) { return c.height == 16; }},
        {"CON /WIDTH:65536 = P",            [](auto& c) { return c.width == 0; }},
        {"CON /cursor:off = P",             [](auto& c) { return !c.cursor; }},
        {"CON /8BIT:On/AUTOWRAP:YES = P",   [](auto& c) { return c.eightBit && c.autowrap; }},
        {"CON /UNITNAME:a/UNITNAME:b = P",  [](auto& c) { return c.unitName == "b"; }},
        {"CON /UNITNAME:\"A  b\" = P",      [](auto& c) { return c.unitName == "A  b"; }},
        {"CON /UNITNAME:a:b = P",           [](auto& c) { return c.unitName == "a:b"; }},
        {"CON /OCTAL:777 = P",              [](auto& c) { return c.octal == 0777; }},
        {"CON /HEX:1f = P",                 [](auto& c) { return c.hex == 0x1F; }},
        {"CON = my pipe  name  ; comment",  [](auto& c) { return c.pipeName == "my pipe  name"; }},
        {"CON = \\\\host\\pipe\\7001",      [](auto& c) { return c.pipeName ==
                                                                 "\\\\host\\pipe\\7001"; }},
    };
    // clang-format on
    for (const ConCase& row : cases) {
        SCOPED_TRACE(row.line);
        ASSERT_EQ(RunCon(row.line), std::nullopt);
        ASSERT_EQ(consoles_.size(), 1u);
        EXPECT_TRUE(row.holds(consoles_[0]));
    }
}

TEST_F(ConOptionReaders, EveryReaderMessageIsLocated) {
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"CON UNIT:3 = P",
         "CON UNIT:3 = P\n--- ^^^^^^\nAll options must be of the form /Option:Value\n"},
        {"CON /UNITNAME:a b = P",
         "CON /UNITNAME:a b = P\n--- ----------- ^\nAll options must be of the form /Option:Value\n"},
        {"CON /SPEED:9600 = P",
         "CON /SPEED:9600 = P\n--- ^^^^^^^^^^^\nInvalid option\n"},
        {"CON /UNIT:1x = P",
         "CON /UNIT:1x = P\n--- ^^^^^^^^\nExpected a decimal number\n"},
        {"CON /OCTAL:9 = P",
         "CON /OCTAL:9 = P\n--- ^^^^^^^^\nExpected an octal number\n"},
        {"CON /HEX:xyz = P",
         "CON /HEX:xyz = P\n--- ^^^^^^^^\nExpected a hexadecimal number\n"},
        {"CON /unit:100 = P",
         "CON /unit:100 = P\n--- ^^^^^^^^^\nunit must be from 0 to 99\n"},
        {"CON /Height:255 = P",
         "CON /Height:255 = P\n--- ^^^^^^^^^^^\nHeight must be from 2 to 254\n"},
        {"CON /OCTAL:7 = P",
         "CON /OCTAL:7 = P\n--- ^^^^^^^^\nOCTAL must be from 000010 to 000777, octal\n"},
        {"CON /HEX:100 = P",
         "CON /HEX:100 = P\n--- ^^^^^^^^\nHEX must be from 0010 to 00FF, hex\n"},
        {"CON /CURSOR:1 = P",
         "CON /CURSOR:1 = P\n--- ^^^^^^^^^\nOption value must be ON, OFF, YES or NO\n"},
        {"CON /UNIT:3",
         "CON /UNIT:3\n--- -------^\nExpected '='\n"},
        {"CON /UNIT:3 =",
         "CON /UNIT:3 =\n--- ------- -^\nNo argument following '='\n"},
    };
    // clang-format on
    for (const auto& [line, report] : cases) {
        SCOPED_TRACE(line);
        EXPECT_EQ(RunCon(line), "Error in line 1 of k.cnf\n" + std::string(report));
        EXPECT_TRUE(consoles_.empty());
    }
}

} // namespace
} // namespace kestra::config::testing
