// Pipe names a configuration may hold by mistake or on purpose: steps out of
// the pipe directory name no pipe; blanks and bytes that are not ASCII are
// part of the name and reach the socket of that name; a name too long for a
// socket fails to open with a reason.

#include "platform/PipeConnection.h"
#include "platform/PipeName.h"
#include "support/Program.h"
#include "platform/SocketListener.h"

#include <array>
#include <gtest/gtest.h>
#include <optional>
#include <string>

using namespace kestra::platform;

namespace {

const PipeDirectorySources KestraPipes{"/k", std::nullopt, 7};

TEST(PipeNameHostile, StepsOutOfThePipeDirectoryNameNoPipe) {
    struct Row {
        std::string name;
        std::optional<std::string> socket; // nullopt: no pipe
    };
    const Row rows[] = {
        {R"(\\.\pipe\..\x)", std::nullopt},
        {R"(\\.\pipe\a\..\..\etc\passwd)", std::nullopt},
        {R"(\\.\pipe\.\x)", std::nullopt},
        {R"(\\.\pipe\..)", std::nullopt},
        {R"(\\.\pipe\a\.)", std::nullopt},
        // Dots inside a step are part of the name.
        {R"(\\.\pipe\a..b)", "/k/a..b"},
        {R"(\\.\pipe\...)", "/k/..."},
        {R"(\\.\pipe\.hidden)", "/k/.hidden"},
        {R"(\\.\pipe\my pipe)", "/k/my pipe"},
        {"\\\\.\\pipe\\na\xc3\xafve \xff\x01", "/k/na\xc3\xafve \xff\x01"},
        // A NUL would end the path early, at a socket of another name.
        {std::string("\\\\.\\pipe\\a\0b", 12), std::nullopt},
        {std::string("/tmp/a\0b", 8), std::nullopt},
    };
    for (const Row& row : rows) {
        const auto endpoint = ResolvePipeName(row.name, KestraPipes);
        if (!row.socket) {
            EXPECT_EQ(endpoint, std::nullopt) << row.name;
            EXPECT_FALSE(PipeConnection::Open(row.name, KestraPipes).Ok()) << row.name;
            continue;
        }
        ASSERT_TRUE(endpoint.has_value()) << row.name;
        EXPECT_EQ(endpoint->socketPath, *row.socket) << row.name;
    }
}

TEST(PipeNameHostile, BlanksAndBytesBeyondAsciiReachTheSocketOfThatName) {
    kestra::testing::TemporaryDirectory directory;
    const PipeDirectorySources sources{directory.Path(), std::nullopt, 7};
    for (const std::string name : {"my pipe", "na\xc3\xafve \xff", "a..b"}) {
        ListenResult listening = SocketListener::ListenLocal(directory / name);
        ASSERT_TRUE(listening.Ok()) << name;
        PipeOpenResult opened = PipeConnection::Open("\\\\.\\pipe\\" + name, sources);
        ASSERT_TRUE(opened.Ok()) << name << ": " << opened.errorText;
        PipeOpenResult accepted = listening.listener.Accept();
        ASSERT_TRUE(accepted.Ok()) << name;
        ASSERT_TRUE(opened.connection.WriteByte('k').Ok()) << name;
        std::array<unsigned char, 4> buffer{};
        const PipeOutcome got = accepted.connection.Read(buffer);
        EXPECT_EQ(got.bytes, 1u) << name;
        EXPECT_EQ(buffer[0], 'k') << name;
    }
}

TEST(PipeNameHostile, ANameTooLongForASocketFailsWithAReason) {
    const std::string name = "\\\\.\\pipe\\" + std::string(10000, 'p');
    const PipeOpenResult opened = PipeConnection::Open(name, KestraPipes);
    EXPECT_FALSE(opened.Ok());
    EXPECT_FALSE(opened.errorText.empty());
    EXPECT_FALSE(SocketListener::ListenLocal("/tmp/" + std::string(10000, 'p')).Ok());
}

} // namespace
