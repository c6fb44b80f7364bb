// The fixture of the tests that open an analysis window in a main frame on
// the simulator: a fresh working folder with its own profile, the shipped
// string table and channel list.
#pragma once

#include "lib/channellist.h"
#include "lib/stringtable.h"
#include "platform/profile.h"
#include "ptycontroller.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <unistd.h>

class AnalysisWindowTest : public ::testing::Test {
protected:
    TempDir dir;
    char oldCwd[4096] = {};
    void SetUp() override {
        ASSERT_TRUE(getcwd(oldCwd, sizeof oldCwd));
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
        SetProfileFile(dir.file("TORVEL.INI").c_str());
        InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500);
        ASSERT_EQ(LoadChannelList(TORVEL_SOURCE_RESOURCES "/TorvelList.txt"), 1);
    }
    void TearDown() override {
        SetProfileFile(nullptr);
        ASSERT_EQ(chdir(oldCwd), 0);
    }
};

// The XPD window measuring with its two controllers on pri and sec, without
// switching delays, at 0 dB attenuation.
inline void XpdProfile(const PtyController& pri, const PtyController& sec) {
    const char* x = "XPDAnalysis_1";
    WriteProfileString(x, "AnalyzeFlag", "1");
    WriteProfileString(x, "PriPortName", pri.Path().c_str());
    WriteProfileString(x, "SecPortName", sec.Path().c_str());
    WriteProfileString(x, "OnDelay", "0");
    WriteProfileString(x, "OffDelay", "0");
    WriteProfileString(x, "AttValue", "0");
}
