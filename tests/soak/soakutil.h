// What the soak tests measure of their own process.
#pragma once

#include "lib/stringtable.h"
#include "platform/profile.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace soak {

// A soak's surroundings: a working folder of its own with its profile, the
// shipped string table, and a simulator scene (the seed) that unplugs the
// device every period for the replug time, running in real time so that the
// faults come at their times while the windows measure. Undone at the end.
class Setting {
public:
    Setting(int seed, double periodS, double replugS) {
        EXPECT_TRUE(getcwd(m_oldCwd, sizeof m_oldCwd));
        EXPECT_EQ(chdir(dir.path().c_str()), 0);
        SetProfileFile(dir.file("TORVEL.INI").c_str());
        EXPECT_EQ(InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500), 1);
        char scene[160];
        std::snprintf(scene, sizeof scene,
                      "[Scene]\nSeed=%d\n[Faults]\nUnplugEvery=%g\nReplugAfter=%g\n", seed, periodS,
                      replugS);
        WriteWholeFile(dir.file("scene.ini"), scene);
        setenv("TORVEL_SIM_SCENE", dir.file("scene.ini").c_str(), 1);
        setenv("TORVEL_SIM_SPEED", "1", 1);
    }
    ~Setting() {
        unsetenv("TORVEL_SIM_SCENE");
        SetProfileFile(nullptr);
        EXPECT_EQ(chdir(m_oldCwd), 0);
    }
    Setting(const Setting&) = delete;
    Setting& operator=(const Setting&) = delete;

    TempDir dir;

private:
    char m_oldCwd[4096] = {};
};

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
