#pragma once

// Helpers shared by the fuzz targets: a private scratch directory for inputs
// that must be files, the splitting of one input into several files or
// arguments, and the check that stops a run when an invariant breaks.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace kestra::fuzz {

// Stops the run with the broken invariant; libFuzzer keeps the input.
inline void Require(bool holds, const char* what, std::string_view detail = {}) {
    if (!holds) {
        const std::string shown(detail);
        std::fprintf(stderr, "invariant broken: %s\n%s\n", what, shown.c_str());
        std::abort();
    }
}

// The input cut at every NUL byte, at most `most` pieces: the last piece
// keeps any further NULs.
inline std::vector<std::string> SplitAtNul(const std::uint8_t* data, std::size_t size,
                                           std::size_t most) {
    std::vector<std::string> pieces(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0 && pieces.size() < most) {
            pieces.emplace_back();
        } else {
            pieces.back().push_back(static_cast<char>(data[i]));
        }
    }
    return pieces;
}

// A directory of this process's own, made once (in memory when the system
// offers /dev/shm), where the inputs that must be files are written.
inline const std::string& ScratchDirectory() {
    // Never destroyed: the removal at exit still needs the name.
    static const std::string& directory = *new std::string([] {
        std::string pattern = (::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                              std::string("/kestra-fuzz-XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        std::atexit([] { std::filesystem::remove_all(ScratchDirectory()); });
        return pattern;
    }());
    return directory;
}

inline std::string ScratchPath(std::string_view name) {
    return ScratchDirectory() + "/" + std::string(name);
}

// Writes content to the scratch file name; the file is removed when content
// is absent, so a missing include is a missing file.
inline void PutScratchFile(std::string_view name, const std::string* content) {
    const std::string path = ScratchPath(name);
    if (content == nullptr) {
        ::unlink(path.c_str());
        return;
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << *content;
}

inline bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

} // namespace kestra::fuzz
