// The semi-real-time window on the simulator: it opens from its window kind
// with the spectrogram over the chunk and spectrum graphs, streams slices
// until the ring is full, and the scene's swept tone runs through the ring as
// a line that moves up in frequency from the oldest slice to the newest.
#include "app/childframe.h"
#include "app/mainframe.h"
#include "device/TorvelAPI.h"
#include "lib/channellist.h"
#include "lib/stringtable.h"
#include "modes/corefactory.h"
#include "modes/semirealanalysis.h"
#include "platform/profile.h"
#include "testutil.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

namespace {

class SemiRealWindowTest : public ::testing::Test {
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

// The frequency of the highest word of a slice.
long long PeakOf(const CTraceStore& slice) {
    return slice.Peak(slice.GetStart(), slice.GetStart() + slice.GetPoints() * slice.GetStep());
}

TEST_F(SemiRealWindowTest, RingFillsAndTheSweptToneMovesUpThroughIt) {
    // A tone running from 1000 to 1100 MHz in 10 s of the device's clock.
    WriteWholeFile(dir.file("scene.ini"), "[Scene]\nSeed=7\nDefaultSignals=0\n"
                                          "[Signal Sweep]\nType=Sweep\nFrequency=1000000\n"
                                          "StopFrequency=1100000\nPeriod=10\nLevel=-30\n");
    setenv("TORVEL_SIM_SCENE", dir.file("scene.ini").c_str(), 1);
    WriteProfileString("SemiRealAnalysis_1", "AnalyzeFlag", "1");
    WriteProfileString("SemiRealAnalysis_1", "StartFrequency", "1000000");
    WriteProfileString("SemiRealAnalysis_1", "StopFrequency", "1100000");
    std::vector<CString> messages;
    auto frame = std::make_unique<CMainFrame>([&](const CString& s) { messages.push_back(s); });
    frame->SetCoreFactory(CreateAnalysisCore);
    ASSERT_TRUE(frame->Create(false));
    unsetenv("TORVEL_SIM_SCENE");
    frame->show();
    CChildFrame* w = frame->OpenAnalysisWindow(4, "Semi Real Time", 1);
    ASSERT_TRUE(w);
    auto* core = dynamic_cast<CSemiRealAnalysis*>(w->GetCore());
    ASSERT_TRUE(core);
    ASSERT_TRUE(core->GetOuterSplitter() && core->GetInnerSplitter());
    EXPECT_EQ(core->Get3DView()->parentWidget(), core->GetOuterSplitter());
    EXPECT_EQ(core->GetChunkView()->parentWidget(), core->GetInnerSplitter());

    // 100 slices and more: every ring entry has been written.
    int received = 0;
    int lastWrite = 0;
    ASSERT_TRUE(PumpUntil([&] {
        const int now = core->GetWritePosition();
        received += (now - lastWrite + 100) % 100;
        lastWrite = now;
        return received >= 150;
    }));
    core->SetAnalyzeFlag(0);
    // A slice takes 50 ms of the device's clock: 100 slices span 5 s, in
    // which the tone moves about 50 MHz.
    const long long newest = PeakOf(core->GetSliceBack(0));
    const long long oldest = PeakOf(core->GetSliceBack(99));
    EXPECT_GT(newest - oldest, 30000) << newest << " " << oldest;
    EXPECT_LT(newest - oldest, 70000) << newest << " " << oldest;
    // Step by step the line only moves up (a slice or two may share a point).
    for (int k = 1; k < 100; ++k)
        EXPECT_GE(PeakOf(core->GetSliceBack(k - 1)), PeakOf(core->GetSliceBack(k))) << k;
    // The tone stands far above the noise at its point.
    const CTraceStore& slice = core->GetSliceBack(0);
    EXPECT_GT(slice.Level(newest), -40.0);
    EXPECT_LT(slice.Level(newest < 1050000 ? 1090000 : 1010000), -45.0);
    // The spectrum shows the newest slice and the chunk line is full.
    EXPECT_EQ(core->GetDataLine()->Peak(1000000, 1100000), newest);
    EXPECT_NE(core->GetChunkLine().GetData()[99], kNoSample);
    w->close();
    PumpEvents();
    frame.reset();
}

} // namespace
