// What the soak tests measure of their own process.
#pragma once

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace soak {

// Resident memory in bytes.
inline long ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// The entries of a folder such as /proc/self/task or /proc/self/fd.
inline long CountEntries(const char* dir) {
    long n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        (void)e;
        ++n;
    }
    return n;
}

} // namespace soak
