#pragma once

#include <fstream>
#include <string>

namespace vessaro::test {

// The resident memory of a process in KiB, from /proc (0 when it cannot be read).
inline long ResidentKiB(int pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

} // namespace vessaro::test
