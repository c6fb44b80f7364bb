// The real-time window on the simulator: free-running captures follow one
// another, and a level-triggered single capture of the scene's remote key
// puts the first slice of the pulse at the trigger position.
#include "app/childframe.h"
#include "app/mainframe.h"
#include "device/TorvelAPI.h"
#include "lib/channellist.h"
#include "lib/stringtable.h"
#include "modes/corefactory.h"
#include "modes/realtimeanalysis.h"
#include "platform/profile.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <unistd.h>

namespace {

class RealTimeWindowTest : public ::testing::Test {
protected:
    TempDir dir;
    char oldCwd[4096] = {};
    void SetUp() override {
        ASSERT_TRUE(getcwd(oldCwd, sizeof oldCwd));
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
        SetProfileFile(dir.file("TORVEL.INI").c_str());
        InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500);
        ASSERT_EQ(LoadChannelList(TORVEL_SOURCE_RESOURCES "/TorvelList.txt"), 1);
        // The remote key's band, analysing from the start.
        WriteProfileString("RealTimeAnalysis_1", "AnalyzeFlag", "1");
        WriteProfileString("RealTimeAnalysis_1", "StartFrequency", "421920");
        WriteProfileString("RealTimeAnalysis_1", "StopFrequency", "445920");
    }
    void TearDown() override {
        SetProfileFile(nullptr);
        ASSERT_EQ(chdir(oldCwd), 0);
    }
    CRealTimeAnalysis* Open(CMainFrame& frame) {
        CChildFrame* w = frame.OpenAnalysisWindow(5, "Real Time", 1);
        return w ? dynamic_cast<CRealTimeAnalysis*>(w->GetCore()) : nullptr;
    }
};

// The highest level of a slice in dB.
double Highest(const CTraceStore& slice) {
    const long long f =
        slice.Peak(slice.GetStart(), slice.GetStart() + slice.GetPoints() * slice.GetStep());
    return slice.Level(f);
}

TEST_F(RealTimeWindowTest, FreeRunningCapturesFollowOneAnother) {
    WriteProfileString("RealTimeAnalysis_1", "TrigMode", "1");
    auto frame = std::make_unique<CMainFrame>([](const CString&) {});
    frame->SetCoreFactory(CreateAnalysisCore);
    ASSERT_TRUE(frame->Create(false));
    frame->show();
    CRealTimeAnalysis* core = Open(*frame);
    ASSERT_TRUE(core);
    EXPECT_EQ(core->GetCenter(), 433750);
    // Each capture stamps a new time on the data; three of them come in a row.
    int captures = 0;
    const CDataLineContext* newest = &core->GetSliceBack(0);
    short last = 0;
    ASSERT_TRUE(PumpUntil([&] {
        const short* data = newest->GetData();
        if (data && data[3] != kNoSample && data[3] != last) {
            last = data[3];
            ++captures;
        }
        return captures >= 3;
    }));
    EXPECT_EQ(core->GetAnalyzeFlag(), 1);
    frame.reset();
}

TEST_F(RealTimeWindowTest, TriggeredCaptureStartsThePulseAtTheTriggerPosition) {
    WriteProfileString("RealTimeAnalysis_1", "TrigType", "1");
    WriteProfileString("RealTimeAnalysis_1", "TrigPosition", "40");
    auto frame = std::make_unique<CMainFrame>([](const CString&) {});
    frame->SetCoreFactory(CreateAnalysisCore);
    ASSERT_TRUE(frame->Create(false));
    frame->show();
    CRealTimeAnalysis* core = Open(*frame);
    ASSERT_TRUE(core);
    // A single capture: the window stops once its data are in.
    ASSERT_TRUE(PumpUntil([&] { return core->GetAnalyzeFlag() == 0; }));
    // The threshold lies 10 dB above the floor the bins show at this attenuation.
    const double threshold = -82.7 + core->GetAttenuation() + 10.0;
    // Block 40 of 256 is the trigger block: 255 - 40 slices back from the newest.
    const int trigger = 255 - 40;
    EXPECT_GT(Highest(core->GetSliceBack(trigger)), threshold);
    for (int k = trigger + 1; k <= 255; ++k)
        EXPECT_LT(Highest(core->GetSliceBack(k)), threshold) << k;
    // The 5 ms pulse lasts the rest of the 1.024 ms capture.
    EXPECT_GT(Highest(core->GetSliceBack(0)), threshold);
    frame.reset();
}

} // namespace
