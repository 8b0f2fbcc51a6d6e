#include "platform/PipeName.h"

#include "support/ScopedEnvironment.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <unistd.h>

using kestra::platform::IsFullPipePath;
using kestra::platform::LocalPipeDirectory;
using kestra::platform::PipeDirectorySources;
using kestra::platform::PipeEndpoint;
using kestra::platform::ResolvePipeName;

namespace {

PipeEndpoint Local(std::string path) {
    return {PipeEndpoint::Kind::LocalSocket, std::move(path), {}, {}};
}
PipeEndpoint Tcp(std::string host, std::string service) {
    return {PipeEndpoint::Kind::Tcp, {}, std::move(host), std::move(service)};
}

const PipeDirectorySources KestraPipes{"/k", "/run/user/7", 7};
const PipeDirectorySources XdgOnly{std::nullopt, "/run/user/7", 7};
const PipeDirectorySources NoVariables{std::nullopt, std::nullopt, 1000};

} // namespace

TEST(PipeName, DirectoryOfLocalPipesFollowsTheEnvironmentInOrder) {
    struct Row {
        PipeDirectorySources sources;
        const char* expected;
    };
    const Row rows[] = {
        {{"/k", "/run/user/7", 7}, "/k"},
        {{std::nullopt, "/run/user/7", 7}, "/run/user/7/kestra-pipes"},
        {{"", "/run/user/7", 7}, "/run/user/7/kestra-pipes"}, // empty counts as unset
        {{"", "", 42}, "/tmp/kestra-pipes-42"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(LocalPipeDirectory(row.sources), row.expected)
            << "KESTRA_PIPES=" << row.sources.kestraPipes.value_or("(unset)")
            << " XDG_RUNTIME_DIR=" << row.sources.xdgRuntimeDir.value_or("(unset)");
}

TEST(PipeName, EveryFormMapsToItsEndpoint) {
    struct Row {
        const char* name;
        const PipeDirectorySources& sources;
        std::optional<PipeEndpoint> expected;
    };
    const Row rows[] = {
        {R"(\\.\pipe\PIPE1)", KestraPipes, Local("/k/PIPE1")},
        {R"(\\.\Pipe\lab\one)", KestraPipes, Local("/k/lab/one")},
        {R"(\\.\pipe\PIPE1)", XdgOnly, Local("/run/user/7/kestra-pipes/PIPE1")},
        {R"(\\.\pipe\PIPE1)", NoVariables, Local("/tmp/kestra-pipes-1000/PIPE1")},
        {R"(\\alpha\pipe\7001)", KestraPipes, Tcp("alpha", "7001")},
        {R"(\\[::1]\pipe\7001)", KestraPipes, Tcp("::1", "7001")},
        {R"(\\::1\pipe\7001)", KestraPipes, Tcp("::1", "7001")},
        {"/var/run/console.sock", KestraPipes, Local("/var/run/console.sock")},
        {"/odd\\name", KestraPipes, Local("/odd\\name")}, // a socket path stays unchanged
        // Names that lead nowhere.
        {R"(\\.\pipe\)", KestraPipes, std::nullopt},
        {R"(\\alpha\pipe\70\01)", KestraPipes, std::nullopt},
        {R"(\\alpha\share\file)", KestraPipes, std::nullopt},
        {R"(\\alpha)", KestraPipes, std::nullopt},
        {R"(\\\pipe\x)", KestraPipes, std::nullopt},
        {"PIPE1", KestraPipes, std::nullopt},
    };
    for (const auto& row : rows) {
        auto endpoint = ResolvePipeName(row.name, row.sources);
        EXPECT_EQ(endpoint, row.expected) << row.name;
    }
}

TEST(PipeName, FullPathsAreThoseUsedWithoutTheServerPrefix) {
    for (const char* full : {R"(\\.\pipe\x)", R"(\\alpha\pipe\x)", "/tmp/x"})
        EXPECT_TRUE(IsFullPipePath(full)) << full;
    for (const char* relative : {R"(\x)", "PIPE1", "./x", ""})
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
