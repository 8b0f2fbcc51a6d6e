// Pipe names, also those a configuration may hold by mistake or on purpose:
// steps out of the pipe directory name no pipe; blanks and bytes that are not
// ASCII are part of the name and reach the socket of that name; a name too
// long for a socket fails to open with a reason.

#include "platform/PipeName.h"

#include "platform/PipeConnection.h"
#include "platform/SocketListener.h"
#include "support/Program.h"
#include "support/ScopedEnvironment.h"

#include <array>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <unistd.h>

using namespace kestra::platform;

namespace {

PipeEndpoint Local(std::string path) {
    return {PipeEndpoint::Kind::LocalSocket, std::move(path), {}, {}};
}
PipeEndpoint Tcp(std::string host, std::string service) {
    return {PipeEndpoint::Kind::Tcp, {}, std::move(host), std::move(service)};
}

const PipeDirectorySources KestraPipes{"/k", "/run/user/7", 7};

TEST(PipeName, EveryFormMapsToItsEndpointAndNoOtherNameToAny) {
    const PipeDirectorySources xdgOnly{"", "/run/user/7/", 7}; // empty counts as unset
    const PipeDirectorySources noVariables{std::nullopt, std::nullopt, 1000};
    struct Row {
        std::string name;
        std::optional<PipeEndpoint> expected;
        const PipeDirectorySources& sources = KestraPipes;
    };
    const Row rows[] = {
        {R"(\\.\pipe\PIPE1)", Local("/k/PIPE1")},
        {R"(\\.\Pipe\lab\one)", Local("/k/lab/one")},
        {R"(\\.\pipe\PIPE1)", Local("/run/user/7/kestra-pipes/PIPE1"), xdgOnly},
        {R"(\\.\pipe\PIPE1)", Local("/tmp/kestra-pipes-1000/PIPE1"), noVariables},
        {R"(\\alpha\pipe\7001)", Tcp("alpha", "7001")},
        {R"(\\[::1]\pipe\7001)", Tcp("::1", "7001")},
        {R"(\\::1\pipe\7001)", Tcp("::1", "7001")},
        {"/odd\\name", Local("/odd\\name")}, // a socket path stays unchanged
        // Dots inside a step, blanks and bytes beyond ASCII are part of the name.
        {R"(\\.\pipe\a..b)", Local("/k/a..b")},
        {R"(\\.\pipe\...)", Local("/k/...")},
        {R"(\\.\pipe\.hidden)", Local("/k/.hidden")},
        {"\\\\.\\pipe\\na\xc3\xafve \xff\x01", Local("/k/na\xc3\xafve \xff\x01")},
        // Names that lead nowhere, or out of the pipe directory.
        {R"(\\.\pipe\)", std::nullopt},
        {R"(\\alpha\pipe\70\01)", std::nullopt},
        {R"(\\alpha\share\file)", std::nullopt},
        {R"(\\alpha)", std::nullopt},
        {R"(\\\pipe\x)", std::nullopt},
        {"PIPE1", std::nullopt},
        {R"(\\.\pipe\..\x)", std::nullopt},
        {R"(\\.\pipe\a\..\..\etc\passwd)", std::nullopt},
        {R"(\\.\pipe\.\x)", std::nullopt},
        {R"(\\.\pipe\..)", std::nullopt},
        {R"(\\.\pipe\a\.)", std::nullopt},
        // A NUL would end the path early, at a socket of another name.
        {std::string("\\\\.\\pipe\\a\0b", 12), std::nullopt},
        {std::string("/tmp/a\0b", 8), std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ResolvePipeName(row.name, row.sources), row.expected) << row.name;
        if (!row.expected) {
            EXPECT_EQ(PipeConnection::Open(row.name, row.sources).error, EINVAL) << row.name;
        }
    }
    for (const char* full : {R"(\\.\pipe\x)", "/tmp/x"})
        EXPECT_TRUE(IsFullPipePath(full)) << full;
    for (const char* relative : {R"(\x)", "PIPE1", ""})
        EXPECT_FALSE(IsFullPipePath(relative)) << relative;
}

TEST(PipeName, SourcesComeFromTheProcessEnvironment) {
    kestra::testing::ScopedEnvironment kestraPipes("KESTRA_PIPES", "");
    std::optional<kestra::testing::ScopedEnvironment> xdg;
    xdg.emplace("XDG_RUNTIME_DIR", "/run/env");
    EXPECT_EQ(LocalPipeDirectory(PipeDirectorySources::FromProcess()), "/run/env/kestra-pipes");
    xdg.emplace("XDG_RUNTIME_DIR", std::nullopt);
    EXPECT_EQ(LocalPipeDirectory(PipeDirectorySources::FromProcess()),
              "/tmp/kestra-pipes-" + std::to_string(getuid()));
}

TEST(PipeName, BlanksAndBytesBeyondAsciiReachTheSocketOfThatName) {
    kestra::testing::TemporaryDirectory directory;
    const PipeDirectorySources sources{directory.Path(), std::nullopt, 7};
    for (const std::string name : {"my pipe", "na\xc3\xafve \xff", "a..b"}) {
        ListenResult listening = SocketListener::ListenLocal(directory / name);
        ASSERT_TRUE(listening.Ok()) << name;
        PipeOpenResult opened = PipeConnection::Open("\\\\.\\pipe\\" + name, sources);
        ASSERT_TRUE(opened.Ok()) << name << ": " << opened.errorText;
        PipeOpenResult accepted = listening.listener.Accept();
        ASSERT_TRUE(accepted.Ok() && opened.connection.WriteByte('k').Ok()) << name;
        std::array<unsigned char, 4> buffer{};
        EXPECT_EQ(accepted.connection.Read(buffer).bytes, 1u) << name;
        EXPECT_EQ(buffer[0], 'k') << name;
    }
}

TEST(PipeName, ANameTooLongForASocketFailsWithAReason) {
    const PipeOpenResult opened =
        PipeConnection::Open("\\\\.\\pipe\\" + std::string(10000, 'p'), KestraPipes);
    EXPECT_FALSE(opened.Ok());
    EXPECT_FALSE(opened.errorText.empty());
    EXPECT_FALSE(SocketListener::ListenLocal("/tmp/" + std::string(10000, 'p')).Ok());
}

} // namespace
