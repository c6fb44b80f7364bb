// The fixture of the tests that open an analysis window in a main frame on
// the simulator: a fresh working folder with its own profile, the shipped
// string table and channel list.
#pragma once

#include "lib/channellist.h"
#include "lib/stringtable.h"
#include "platform/profile.h"
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
