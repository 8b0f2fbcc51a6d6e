#pragma once

#include <cstddef>
#include <fstream>
#include <string>

namespace kestra::testing {

// The process's resident memory (VmRSS) in kilobytes; 0 when it cannot be
// read.
inline std::size_t ResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stoul(line.substr(6));
        }
    }
    return 0;
}

} // namespace kestra::testing
