#include "platform/Priority.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <sys/resource.h>

namespace kestra::platform {

std::optional<int> NiceValueOf(std::uint32_t classValue) {
    for (const auto& row : kPriorityTable) {
        if (static_cast<std::uint32_t>(row.priorityClass) == classValue) {
            return row.nice;
        }
    }
    return std::nullopt;
}

bool SetProcessPriorityClass(std::uint32_t classValue) {
    auto nice = NiceValueOf(classValue);
    if (!nice) {
        return false;
    }
    // On Linux a nice value belongs to each thread, and console readers are
    // running by the time the priority is set; so every thread gets it.
    if (DIR* tasks = opendir("/proc/self/task")) {
        bool allSet = true;
        while (dirent* entry = readdir(tasks)) {
            if (entry->d_name[0] == '.') {
                continue;
            }
            id_t thread = static_cast<id_t>(std::strtol(entry->d_name, nullptr, 10));
            if (setpriority(PRIO_PROCESS, thread, *nice) != 0 && errno != ESRCH) {
                allSet = false;
            }
        }
        closedir(tasks);
        return allSet;
    }
    return setpriority(PRIO_PROCESS, 0, *nice) == 0;
}

} // namespace kestra::platform
