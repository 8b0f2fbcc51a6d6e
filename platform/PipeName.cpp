#include "platform/PipeName.h"

#include <algorithm>
#include <cstdlib>
#include <unistd.h>

namespace kestra::platform {

namespace {

std::optional<std::string> NonEmptyVariable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

bool HasValue(const std::optional<std::string>& text) {
    return text && !text->empty();
}

// A local pipe's name is one name in the pipe directory, even when it holds
// backslashes (which become subfolders): a "." or ".." step would lead out
// of the directory, to a socket no server of that name offers.
bool LeavesTheDirectory(std::string_view relative) {
    for (std::size_t start = 0; start <= relative.size();) {
        std::size_t end = relative.find('/', start);
        if (end == std::string_view::npos) {
            end = relative.size();
        }
        const std::string_view step = relative.substr(start, end - start);
        if (step == "." || step == "..") {
            return true;
        }
        start = end + 1;
    }
    return false;
}

std::string JoinPath(std::string directory, std::string_view name) {
    while (directory.size() > 1 && directory.back() == '/') {
        directory.pop_back();
    }
    if (directory != "/") {
        directory += '/';
    }
    directory += name;
    return directory;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

} // namespace

PipeDirectorySources PipeDirectorySources::FromProcess() {
    return {NonEmptyVariable("KESTRA_PIPES"), NonEmptyVariable("XDG_RUNTIME_DIR"),
            static_cast<unsigned>(getuid())};
}

std::string LocalPipeDirectory(const PipeDirectorySources& sources) {
    if (HasValue(sources.kestraPipes)) {
        return *sources.kestraPipes;
    }
    if (HasValue(sources.xdgRuntimeDir)) {
        return JoinPath(*sources.xdgRuntimeDir, "kestra-pipes");
    }
    return "/tmp/kestra-pipes-" + std::to_string(sources.uid);
}

bool IsFullPipePath(std::string_view name) {
    return name.starts_with("\\\\") || name.starts_with('/');
}

std::optional<PipeEndpoint> ResolvePipeName(std::string_view pipePath,
                                            const PipeDirectorySources& sources) {
    // The system takes a path up to its first NUL: such a name would reach
    // a socket of another name.
    if (pipePath.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    if (pipePath.starts_with('/')) {
        return PipeEndpoint{PipeEndpoint::Kind::LocalSocket, std::string(pipePath), {}, {}};
    }
    if (!pipePath.starts_with("\\\\")) {
        return std::nullopt;
    }

    std::string_view rest = pipePath.substr(2);
    auto hostEnd = rest.find('\\');
    if (hostEnd == std::string_view::npos || hostEnd == 0) {
        return std::nullopt;
    }
    std::string_view host = rest.substr(0, hostEnd);
    rest.remove_prefix(hostEnd + 1);
    auto wordEnd = rest.find('\\');
    if (wordEnd == std::string_view::npos || !EqualsIgnoringCase(rest.substr(0, wordEnd), "pipe")) {
        return std::nullopt;
    }
    std::string_view name = rest.substr(wordEnd + 1);
    if (name.empty()) {
        return std::nullopt;
    }

    if (host == ".") {
        std::string relative(name);
        std::replace(relative.begin(), relative.end(), '\\', '/');
        if (LeavesTheDirectory(relative)) {
            return std::nullopt;
        }
        return PipeEndpoint{PipeEndpoint::Kind::LocalSocket,
                            JoinPath(LocalPipeDirectory(sources), relative),
                            {},
                            {}};
    }
    // A port or service name never holds a path separator.
    if (name.find_first_of("\\/") != std::string_view::npos) {
        return std::nullopt;
    }
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    return PipeEndpoint{PipeEndpoint::Kind::Tcp, {}, std::string(host), std::string(name)};
}

} // namespace kestra::platform
