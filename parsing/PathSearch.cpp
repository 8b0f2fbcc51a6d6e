#include "parsing/PathSearch.h"

#include "parsing/AsciiText.h"

#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>

namespace kestra::parsing {
namespace {

bool Exists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

// A name holding a drive letter or a backslash was written for another
// system and names a place there; an absolute name needs no search.
bool MaySearchFor(std::string_view name) {
    return !name.empty() && name.front() != '/' &&
           name.find_first_of(":\\") == std::string_view::npos;
}

std::string FullPath(const std::string& path) {
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(path, error);
    if (error) {
        return {};
    }
    return full.lexically_normal().string();
}

// The stream, or none; a directory opens on Linux but reads nothing, so it
// counts as a file that could not be opened.
FilePointer OpenFile(const std::string& path, const char* mode) {
    FilePointer file(std::fopen(path.c_str(), mode));
    if (!file) {
        return nullptr;
    }
    struct stat status {};
    if (::fstat(fileno(file.get()), &status) != 0 || S_ISDIR(status.st_mode)) {
        return nullptr;
    }
    return file;
}

} // namespace

std::string ExistingPath(std::string_view name) {
    std::string path(name);
    if (path.empty() || path.find('\0') != std::string::npos) {
        return {};
    }
    if (Exists(path)) {
        return path;
    }
    const std::size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
    if (last.empty()) {
        return {};
    }
    DIR* listing = ::opendir(directory.empty() ? "." : directory.c_str());
    if (listing == nullptr) {
        return {};
    }
    // Several names may differ only in case; the smallest one wins so that
    // the choice does not depend on the order of the directory.
    std::string match;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view entryName(entry->d_name);
        if (EqualIgnoringCase(entryName, last) && (match.empty() || entryName < match)) {
            match = entryName;
        }
    }
    ::closedir(listing);
    return match.empty() ? std::string() : directory + match;
}

std::string SearchPathList(std::string_view name, std::string_view variable) {
    if (std::string inPlace = ExistingPath(name); !inPlace.empty()) {
        return FullPath(inPlace);
    }
    if (!MaySearchFor(name)) {
        return {};
    }
    const char* value = std::getenv(std::string(variable).c_str());
    if (value == nullptr || *value == '\0') {
        return {};
    }
    const std::string_view list(value);
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = start + FindCharOrEnd(list.substr(start), ':');
        const std::string_view element = list.substr(start, end - start);
        // An empty element would stand for the current directory, where name
        // has already been looked for. Over-long elements and candidates that
        // would not fit a path are skipped.
        if (!element.empty() && element.size() < kMaxPathLength) {
            std::string candidate(element);
            if (candidate.back() != '/') {
                candidate += '/';
            }
            candidate += name;
            if (candidate.size() <= kMaxPathLength) {
                if (std::string found = ExistingPath(candidate); !found.empty()) {
                    return FullPath(found);
                }
            }
        }
        if (end >= list.size()) {
            return {};
        }
        start = end + 1;
    }
}

FilePointer OpenOnPath(std::string_view name, const char* mode, std::string& openedPath) {
    openedPath.clear();
    if (std::string inPlace = ExistingPath(name); !inPlace.empty()) {
        FilePointer file = OpenFile(inPlace, mode);
        if (file) {
            openedPath = inPlace;
        }
        return file;
    }
    if (name.empty() || name.front() == '/' || name.front() == '\\' ||
        (name.size() > 1 && name[1] == ':')) {
        return nullptr;
    }
    std::string found;
    const std::size_t mark = name.find_last_of(".\\/:");
    if (mark != std::string_view::npos && mark != 0 && name[mark] == '.') {
        std::string variable(name.substr(mark + 1, 3));
        for (char& character : variable) {
            character = AsciiUpper(character);
        }
        found = SearchPathList(name, variable);
    }
    if (found.empty()) {
        found = SearchPathList(name, "PATH");
    }
    if (found.empty()) {
        return nullptr;
    }
    FilePointer file = OpenFile(found, mode);
    if (file) {
        openedPath = found;
    }
    return file;
}

FilePointer OpenOnPath(std::string_view name, const char* mode) {
    std::string ignored;
    return OpenOnPath(name, mode, ignored);
}

void InsertText(std::string& text, std::size_t position, std::string_view prefix) {
    text.insert(position, prefix);
}

void TrimTrailing(std::string& text, char character) {
    while (!text.empty() && text.back() == character) {
        text.pop_back();
    }
}

std::size_t FindCharOrEnd(std::string_view text, char character) {
    const std::size_t position = text.find(character);
    return position == std::string_view::npos ? text.size() : position;
}

} // namespace kestra::parsing
