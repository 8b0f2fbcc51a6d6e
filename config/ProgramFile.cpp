#include "config/ProgramFile.h"

#include "parsing/AsciiText.h"
#include "parsing/PathSearch.h"
#include "platform/Process.h"

#include <mutex>

namespace kestra::config {
namespace {

struct ProgramDirectoryState {
    std::mutex mutex;
    std::string overridden;
};

ProgramDirectoryState& State() {
    static ProgramDirectoryState state;
    return state;
}

} // namespace

std::string ProgramDirectory() {
    {
        std::lock_guard guard(State().mutex);
        if (!State().overridden.empty()) {
            return State().overridden;
        }
    }
    const std::string directory = platform::ExecutableDirectory();
    return directory.empty() ? "." : directory;
}

void SetProgramDirectory(std::string directory) {
    while (directory.size() > 1 && directory.back() == '/') {
        directory.pop_back();
    }
    std::lock_guard guard(State().mutex);
    State().overridden = std::move(directory);
}

std::string FindProgramFile(std::string_view name) {
    // Configuration files may come from a system that writes directories with
    // '\' and drives with ':', so either means the name carries a place.
    const std::size_t lastSeparator = name.find_last_of("/\\:");
    const std::string_view fileName =
        lastSeparator == std::string_view::npos ? name : name.substr(lastSeparator + 1);
    if (lastSeparator == std::string_view::npos && !name.empty()) {
        std::string directory = ProgramDirectory();
        if (directory.back() != '/') {
            directory += '/';
        }
        if (std::string found = parsing::ExistingPath(directory + std::string(name));
            !found.empty()) {
            return found;
        }
    }
    if (std::string found = parsing::ExistingPath(name); !found.empty()) {
        return found;
    }
    for (const char* variable : {"KESTRA", "PATH"}) {
        if (std::string found = parsing::SearchPathList(name, variable); !found.empty()) {
            return found;
        }
    }
    // The extension names a further list: KESTRA.CNF is looked for in $CNF.
    const std::size_t dot = fileName.rfind('.');
    if (dot != std::string_view::npos) {
        const std::string_view extension = fileName.substr(dot);
        if (extension.size() >= 2 && extension.size() <= 4) {
            std::string variable;
            for (const char character : extension.substr(1)) {
                variable += AsciiUpper(character);
            }
            if (std::string found = parsing::SearchPathList(name, variable); !found.empty()) {
                return found;
            }
        }
    }
    return std::string(name);
}

} // namespace kestra::config
