#include "platform/UserFile.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestra::platform {

namespace {

// Read and write for the user; open() takes the umask off it, so a stricter
// umask gives less.
constexpr mode_t kUserOnly = 0600;
// Names tried for a new file beside the one replaced before giving up.
constexpr int kTemporaryNameTries = 100;

int CloseFailing(int descriptor, int error) {
    close(descriptor);
    errno = error;
    return -1;
}

} // namespace

int WriteAll(int descriptor, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(descriptor, bytes.data(), bytes.size());
        if (written < 0 && errno != EINTR) {
            return errno;
        }
        if (written > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
        }
    }
    return 0;
}

namespace {

// 0 when nothing or a regular file stands at path; a link is not followed.
int RegularFileOrNothing(const std::string& path) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) {
        return errno == ENOENT ? 0 : errno;
    }
    if (S_ISLNK(status.st_mode)) {
        return ELOOP;
    }
    return S_ISREG(status.st_mode) ? 0 : EINVAL;
}

} // namespace

int OpenUserFile(const std::string& path, int flags) {
    // Non-blocking, so that a named pipe in the file's place cannot hold the
    // open; it is refused below like anything else that is no file.
    const int descriptor = open(
        path.c_str(), (flags & ~O_TRUNC) | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK,
        kUserOnly);
    if (descriptor < 0) {
        return -1;
    }
    struct stat status {};
    if (fstat(descriptor, &status) != 0) {
        return CloseFailing(descriptor, errno);
    }
    if (!S_ISREG(status.st_mode)) {
        return CloseFailing(descriptor, EINVAL);
    }
    if (status.st_uid != geteuid()) {
        return CloseFailing(descriptor, EPERM);
    }
    if ((flags & O_TRUNC) != 0 && ftruncate(descriptor, 0) != 0) {
        return CloseFailing(descriptor, errno);
    }
    fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    return descriptor;
}

int ReplaceUserFile(const std::string& path, std::string_view contents) {
    if (const int error = RegularFileOrNothing(path)) {
        return error;
    }
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    int descriptor = -1;
    for (int tries = 1; descriptor < 0; ++tries) {
        temporary = path + ".new-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
        descriptor = OpenUserFile(temporary, O_WRONLY | O_EXCL);
        if (descriptor < 0 && (errno != EEXIST || tries == kTemporaryNameTries)) {
            return errno;
        }
    }
    int error = WriteAll(descriptor, contents);
    if (error == 0 && fsync(descriptor) != 0) {
        error = errno;
    }
    if (close(descriptor) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        unlink(temporary.c_str());
    }
    return error;
}

int CreateDirectories(const std::string& path, unsigned mode) {
    if (path.empty()) {
        return 0;
    }
    struct stat status {};
    if (stat(path.c_str(), &status) == 0) {
        return S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
    }
    const auto slash = path.find_last_of('/');
    if (slash != std::string::npos && slash != 0) {
        if (const int error = CreateDirectories(path.substr(0, slash), mode)) {
            return error;
        }
    }
    if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST) {
        return errno;
    }
    return 0;
}

} // namespace kestra::platform
