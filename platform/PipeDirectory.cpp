#include "platform/PipeDirectory.h"

#include "platform/Exit.h"
#include "platform/UserFile.h"

#include <array>
#include <cstdio>
#include <sys/stat.h>

namespace kestra::platform {

namespace {

// lstat() of "dir/" would look through a link named dir.
std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::optional<std::string> Flaw(const std::string& directory, unsigned uid) {
    struct stat status {};
    // Missing: nothing can listen there yet. Not reachable at all: the
    // connection fails with the system's own reason.
    if (lstat(directory.c_str(), &status) != 0) {
        return std::nullopt;
    }
    if (S_ISLNK(status.st_mode)) {
        return "it is a symbolic link";
    }
    if (!S_ISDIR(status.st_mode)) {
        return "it is not a directory";
    }
    if (status.st_uid != uid) {
        return "it belongs to user ID " + std::to_string(status.st_uid);
    }
    if ((status.st_mode & 077) != 0) {
        std::array<char, 64> text{};
        std::snprintf(text.data(), text.size(), "group or others may use it (mode %04o)",
                      static_cast<unsigned>(status.st_mode & 07777));
        return text.data();
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> PipeDirectoryProblem(const PipeDirectorySources& sources) {
    const std::string directory = WithoutTrailingSlashes(LocalPipeDirectory(sources));
    const std::optional<std::string> flaw = Flaw(directory, sources.uid);
    if (!flaw) {
        return std::nullopt;
    }
    std::array<char, kMessageBufferSize> message{};
    std::snprintf(message.data(), message.size(),
                  "Pipe directory %s is not safe: %s. Remove it, or set KESTRA_PIPES to a "
                  "directory that only you can use (mode 0700)",
                  directory.c_str(), flaw->c_str());
    return message.data();
}

std::optional<std::string> PreparePipeDirectory(const PipeDirectorySources& sources) {
    // A directory that cannot be made is reported when the socket cannot be.
    CreateDirectories(WithoutTrailingSlashes(LocalPipeDirectory(sources)), 0700);
    return PipeDirectoryProblem(sources);
}

} // namespace kestra::platform
