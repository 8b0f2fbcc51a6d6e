#pragma once

#include <string>
#include <string_view>

namespace kestra::platform {

// Files KESTRA writes hold what the user typed and saw: they are the user's
// alone. Each is created with mode 0600 (less when the umask takes more), and
// never written through a symbolic link at its name, which someone else may
// have put there in a shared directory.

// Opens path for writing (flags: O_WRONLY or O_RDWR, with O_APPEND, O_TRUNC or
// O_EXCL as wanted), creating it user-only when missing. Refused: a symbolic
// link at the last component (ELOOP), anything but a regular file (EINVAL), a
// file of another user (EPERM); O_TRUNC takes effect only once the file has
// passed. Returns the descriptor (close-on-exec), or -1 with errno set.
int OpenUserFile(const std::string& path, int flags);

// Replaces the file at path with contents as a whole: the bytes go to a new
// user-only file beside it, reach the disk, and only then is it renamed over
// the name, so a crash or a full disk leaves the old file or the new one,
// never a mix, and no temporary file. A symbolic link or anything but a
// regular file at the name is refused (ELOOP, EINVAL) and left alone.
// Returns 0 or errno.
int ReplaceUserFile(const std::string& path, std::string_view contents);

// Writes all of bytes to the descriptor, going on after interruptions and
// short writes; 0 or errno.
int WriteAll(int descriptor, std::string_view bytes);

// Creates a directory and its missing parents with the given mode; 0 or errno.
int CreateDirectories(const std::string& path, unsigned mode);

} // namespace kestra::platform
