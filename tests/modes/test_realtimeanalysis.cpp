// The real-time core against a scripted device: the band about a centre on
// the RBW grid, the capture's arguments and its retry, the 256 blocks into the
// ring, the trigger settings with their states, single and repeated captures,
// the trigger status, and the CSV columns of the ring.
#include "analysis/csvfile.h"
#include "commandrun.h"
#include "lib/channellist.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "modes/realtimeanalysis.h"
#include "platform/dc.h"
#include "platform/profile.h"
#include "scriptedstream.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <QImage>

#include <vector>

namespace {

struct Capture {
    int base, attenuation, trigType, level, position;
};

class ScriptedRealTime : public ScriptedStream<CRealTimeAnalysis> {
public:
    using CRealTimeAnalysis::m_offsetFlag;
    using CRealTimeAnalysis::m_offsetTable;
    std::vector<Capture> captures;

    // Blocks of 128 words (a whole capture unless told): word b of block s
    // is s x 100 + b + lift.
    void Deliver(int blocks = kSlices, int lift = 0) {
        delivered.clear();
        for (int s = 0; s < blocks; ++s)
            for (int b = 0; b < kBlockWords; ++b)
                delivered.push_back(static_cast<short>(s * 100 + b + lift));
        AnalysisFinished(GetTaskTag(), static_cast<LPARAM>(delivered.size()));
    }

protected:
    int DeviceStart(int base, int attenuation, BYTE trigType, short level, WORD position) override {
        captures.push_back({base, attenuation, trigType, level, position});
        return NextStartAnswer();
    }
};

class RealTimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetProfileFile(dir.file("TORVEL.INI").c_str());
        InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500);
        core.ReadProfile();
        core.SetCenter(433920);
        core.Reconfigure(TRUE);
    }
    void TearDown() override { SetProfileFile(nullptr); }
    int Run(int action, int p1) { return RunCommand(core, action, p1); }
    int State(int action, int p1) { return core.GetCommandState(action, p1, 0, 0, 0, 0); }
    TempDir dir;
    ScriptedRealTime core;
};

TEST_F(RealTimeTest, CentreSnapsToTheGridAndIsMovedInwardAtTheLimits) {
    EXPECT_EQ(core.GetStart(), 433750 - 12000);
    EXPECT_EQ(core.GetStop(), 433750 + 12000);
    EXPECT_EQ(core.GetFrequencyMode(), 1);
    core.SetCenter(15000);
    EXPECT_EQ(core.GetStart(), 10000);
    EXPECT_EQ(core.GetStop(), 34000);
    core.SetCenter(2995000);
    EXPECT_EQ(core.GetStart(), 2976000);
    EXPECT_EQ(core.GetStop(), 3000000);
    // Start and stop move the band; the span stays 24 MHz.
    core.SetStart(100000);
    EXPECT_EQ(core.GetSpan(), 24000);
    EXPECT_EQ(core.GetStart(), 100000);
}

TEST_F(RealTimeTest, CaptureStartsOnTheBlockBelowTheBandWithTheTriggerSettings) {
    EXPECT_EQ(core.GetDataLine()->GetStart(), 421000u);
    EXPECT_EQ(core.GetDataLine()->GetPoints(), 100u);
    Run(302, 1500);
    Run(304, 9);
    core.SetAnalyzeFlag(1);
    core.startAnswers = {0, 1};
    EXPECT_EQ(core.StartAnalysis(), 1);
    ASSERT_EQ(core.captures.size(), 2u);
    EXPECT_EQ(core.terminates, 1);
    const Capture& c = core.captures[1];
    EXPECT_EQ(c.base, (433750 - 13000) / 2000 * 2000);
    EXPECT_EQ(c.trigType, 1);
    EXPECT_EQ(c.level, 1500);
    EXPECT_EQ(c.position, 9);
    EXPECT_EQ(c.attenuation, core.GetAttenuation());
    EXPECT_EQ(c.base + core.GetFirstDisplayedBin() * 250, core.GetStart());
}

TEST_F(RealTimeTest, BlocksFillTheRingOldestFirstAndTheSpectrumShowsTheChosenSlice) {
    core.SetAnalyzeFlag(1);
    ASSERT_EQ(core.StartAnalysis(), 1);
    // The slices begin at the trace grid's first frequency, 421000.
    const int first = (421000 - core.captures.back().base) / 250;
    core.Deliver();
    EXPECT_EQ(core.GetWritePosition(), 0);
    // Slice 0 is the last block, slice 255 the first.
    EXPECT_EQ(core.GetSliceBack(0).GetData()[0], 255 * 100 + first);
    EXPECT_EQ(core.GetSliceBack(255).GetData()[2], 0 * 100 + first + 2);
    EXPECT_EQ(core.GetDataLine()->GetData()[5], 255 * 100 + first + 5);
    EXPECT_EQ(Run(203, 300), kCommandDone);
    EXPECT_EQ(core.GetSlicePosition(), 255);
    EXPECT_EQ(core.GetDataLine()->GetData()[5], first + 5);
    // The chunk line has a sample per block, 4 us apart, in the capture's
    // time order: the first block at 0 us, the last at the right end.
    const CTraceStore& chunk = core.GetChunkLine();
    EXPECT_EQ(chunk.GetPoints(), 256u);
    EXPECT_EQ(chunk.GetStep(), 4u);
    const int at = core.GetChunkPosition();
    EXPECT_EQ(chunk.GetData()[0], first + at);
    EXPECT_EQ(chunk.GetData()[128], 128 * 100 + first + at);
    EXPECT_EQ(chunk.GetData()[255], 255 * 100 + first + at);
}

TEST_F(RealTimeTest, ABandOffTheMegahertzGridHasASampleAtEveryPointOfItsSlices) {
    // Start 2400.5 MHz: the grid runs from 2400 MHz in 100 points to 2424.75
    // MHz, the block from the base 2398 MHz, so grid point i is word 8 + i and
    // the last point is word 107, beyond the 104 bins about the band.
    core.SetCenter(2412500);
    core.Reconfigure(TRUE);
    ASSERT_EQ(core.GetStart(), 2400500);
    ASSERT_EQ(core.GetDataLine()->GetStart(), 2400000u);
    ASSERT_EQ(core.GetDataLine()->GetPoints(), 100u);
    core.m_offsetFlag = 1;
    core.m_offsetTable[2424] = 1000; // 2424000..2424999 kHz, the last four points
    core.SetAnalyzeFlag(1);
    ASSERT_EQ(core.StartAnalysis(), 1);
    EXPECT_EQ(core.captures.back().base, 2398000);
    // The bin that holds Start.
    EXPECT_EQ(core.GetFirstDisplayedBin(), (2412500 - 2398000 - 12000) / 250);
    core.Deliver();
    for (int k : {0, 255}) {
        const short* slice = core.GetSliceBack(k).GetData();
        for (int i = 0; i < 100; ++i) {
            const int offset = i >= 96 ? 1000 : 0;
            ASSERT_EQ(slice[i], (255 - k) * 100 + 8 + i + offset)
                << "slice " << k << " point " << i;
        }
    }
    EXPECT_EQ(core.GetDataLine()->Sample(2424750), 255 * 100 + 107 + 1000);
}

TEST_F(RealTimeTest, SingleCaptureStopsTheWindowRepeatedOnesGoOn) {
    core.SetAnalyzeFlag(1);
    ASSERT_EQ(core.StartAnalysis(), 1);
    core.Deliver();
    EXPECT_EQ(core.GetAnalyzeFlag(), 0);
    Run(303, 1);
    core.SetAnalyzeFlag(1);
    ASSERT_EQ(core.StartAnalysis(), 1);
    core.Deliver();
    EXPECT_EQ(core.GetAnalyzeFlag(), 1);
    // Nothing is taken without a started task.
    core.SetTaskRunning(0);
    core.delivered.assign(256 * 128, 7);
    core.AnalysisFinished(core.GetTaskTag(), 0);
    EXPECT_NE(core.GetSliceBack(0).GetData()[0], 7);
}

TEST_F(RealTimeTest, TriggerSettingsChangeOnlyWhileStopped) {
    EXPECT_EQ(State(301, 0), kStateTicked);
    EXPECT_EQ(State(302, 1000), kStateDisabled); // no level trigger yet
    EXPECT_EQ(State(304, 4), kStateDisabled);
    EXPECT_EQ(Run(302, 2000), kCommandRedraw);
    EXPECT_EQ(core.GetTrigType(), 1);
    EXPECT_EQ(core.GetSenseTrigValue(), 2000);
    EXPECT_EQ(State(302, 2000), kStateTicked);
    EXPECT_EQ(State(302, 1000), kStateUnticked);
    EXPECT_EQ(State(304, 4), kStateTicked);
    EXPECT_EQ(State(303, 0), kStateTicked);
    core.SetAnalyzeFlag(1);
    for (int action : {301, 302, 303, 304})
        EXPECT_EQ(State(action, 0), kStateDisabled) << action;
}

TEST_F(RealTimeTest, WaitingStatusBlinksAndTriggeredShowsOnlyWithATrigger) {
    CDrawText& status = core.GetGraphInterface().GetGraph().GetStatusText();
    core.AnalysisProgress(0, 0x0800);
    EXPECT_EQ(core.GetTriggerWaitState(), 0);
    Run(301, 1);
    core.AnalysisProgress(0, 0x0800);
    EXPECT_EQ(core.GetTriggerWaitState(), 1);
    EXPECT_EQ(status.GetText(), GetTorvelString(47));
    EXPECT_EQ(status.GetRedrawFlag(), 1);
    core.AnalysisProgress(0, 0x0800);
    EXPECT_EQ(status.GetRedrawFlag(), 0);
    core.AnalysisProgress(0, 0x1000);
    EXPECT_EQ(status.GetText(), GetTorvelString(48));
    EXPECT_EQ(status.GetRedrawFlag(), 1);
}

TEST_F(RealTimeTest, SettingFileAndProfileKeepTheTrigger) {
    ReleaseSettingFileObject();
    Run(302, 1700);
    Run(303, 1);
    Run(304, 12);
    Run(203, 200);
    ASSERT_EQ(core.SaveSettings(), 1);
    ScriptedRealTime again;
    again.ReadProfile();
    EXPECT_EQ(again.LoadSettings(), 1);
    EXPECT_EQ(again.GetTrigType(), 1);
    EXPECT_EQ(again.GetSenseTrigValue(), 1700);
    EXPECT_EQ(again.GetTrigMode(), 1);
    EXPECT_EQ(again.GetTrigPosition(), 12);
    EXPECT_EQ(again.GetSlicePosition(), 200);
    ReleaseSettingFileObject();
    core.WriteProfile();
    ScriptedRealTime fromProfile;
    fromProfile.ReadProfile();
    EXPECT_EQ(fromProfile.GetTrigPosition(), 12);
    EXPECT_EQ(fromProfile.GetSenseTrigValue(), 1700);
    EXPECT_EQ(fromProfile.GetCenter(), 433750);
    EXPECT_EQ(fromProfile.GetFrequencyMode(), 1);
}

TEST_F(RealTimeTest, CsvKeepsTheRingAndTheTriggerAndReadsBackToTheSameFile) {
    Run(302, 1200);
    Run(303, 1);
    core.SetAnalyzeFlag(1);
    ASSERT_EQ(core.StartAnalysis(), 1);
    core.Deliver();
    core.SetAnalyzeFlag(0);
    const std::string first = dir.file("a.csv");
    ASSERT_EQ(CCsvFile::Write(core, first.c_str()), 1);
    const std::string text = ReadWholeFile(first);
    EXPECT_NE(text.find(",SLICE255\r\n"), std::string::npos);
    EXPECT_NE(text.find("TrigMode,1\r\nTrigPosition,4\r\nTrigType,1\r\nSenseTrigValue,1200\r\n"),
              std::string::npos);
    ScriptedRealTime other;
    other.ReadProfile();
    ASSERT_EQ(other.ReadCSVSections(first.c_str()), 1);
    EXPECT_EQ(other.GetSenseTrigValue(), 1200);
    EXPECT_EQ(other.GetTrigMode(), 1);
    EXPECT_EQ(other.GetStart(), core.GetStart());
    EXPECT_NEAR(other.GetSliceBack(0).GetData()[0], core.GetSliceBack(0).GetData()[0], 1);
    EXPECT_NEAR(other.GetSliceBack(255).GetData()[0], core.GetSliceBack(255).GetData()[0], 1);
    EXPECT_EQ(other.GetChunkLine().GetData()[0],
              other.GetSliceBack(255).GetData()[other.GetChunkPosition()]);
    const std::string second = dir.file("b.csv");
    ASSERT_EQ(CCsvFile::Write(other, second.c_str()), 1);
    auto body = [](const std::string& s) { return s.substr(s.find("[PARAM ENTRY]")); };
    EXPECT_EQ(body(ReadWholeFile(second)), body(text));
}

TEST_F(RealTimeTest, ATriggerPositionAbove255IsHeldToTheLastBlockFromEverySource) {
    Run(301, 1);
    Run(304, 300);
    EXPECT_EQ(core.GetTrigPosition(), 255);
    core.StartAnalysis();
    ASSERT_FALSE(core.captures.empty());
    EXPECT_EQ(core.captures.back().position, 255);

    ReleaseSettingFileObject();
    ASSERT_EQ(core.SaveSettings(), 1);
    WriteSettingFileINT("REALTIME_CORE", "TrigPosition", 4000);
    ScriptedRealTime fromSettings;
    fromSettings.ReadProfile();
    fromSettings.LoadSettings();
    ReleaseSettingFileObject();
    EXPECT_EQ(fromSettings.GetTrigPosition(), 255);

    WriteProfileInt(core.GetProfileSection(), "TrigPosition", 256);
    ScriptedRealTime fromProfile;
    fromProfile.ReadProfile();
    EXPECT_EQ(fromProfile.GetTrigPosition(), 255);

    const std::string path = dir.file("r.CSV");
    ASSERT_EQ(CCsvFile::Write(core, path.c_str()), 1);
    std::string text = ReadWholeFile(path);
    const size_t at = text.find("TrigPosition,255");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 16, "TrigPosition,999");
    WriteWholeFile(path, text);
    ScriptedRealTime fromCsv;
    fromCsv.ReadProfile();
    ASSERT_EQ(fromCsv.ReadCSVSections(path.c_str()), 1);
    EXPECT_EQ(fromCsv.GetTrigPosition(), 255);
}

} // namespace

TEST_F(RealTimeTest, TheChunkGraphMarksWhereTheTriggerBlockLiesInTheCapture) {
    auto chunkImage = [&] {
        QImage image(400, 200, QImage::Format_RGB32);
        CDC dc(&image);
        core.GetChunkInterface().Draw(&dc, CRect(0, 0, 400, 200));
        dc.Flush();
        return image;
    };
    EXPECT_EQ(core.GetTriggerMark().GetRedrawFlag(), 0); // no trigger, no mark
    Run(302, 2000);
    Run(304, 4);
    EXPECT_EQ(core.GetTriggerMark().GetRedrawFlag(), 1);
    core.SetAnalyzeFlag(1);
    ASSERT_EQ(core.StartAnalysis(), 1);
    core.Deliver();
    // The chunk line runs in time order, 4 us a block: block 4 of the 256
    // stands at 16 us, and the chunk sample there is block 4's.
    const CTriggerMarkContext& mark = core.GetTriggerMark();
    EXPECT_EQ(mark.GetPosition(), 4 * 4);
    const short atMark = core.GetChunkLine().GetData()[4];
    EXPECT_GE(atMark, 400);
    EXPECT_LT(atMark, 400 + CRealTimeAnalysis::kBlockWords);
    const QImage marked = chunkImage();
    // The capture keeps the mark of its own trigger block: a trigger moved or
    // switched off after it leaves the mark and the picture as they are.
    core.SetAnalyzeFlag(0);
    Run(304, 200);
    Run(301, 0);
    EXPECT_EQ(core.GetTriggerMark().GetRedrawFlag(), 1);
    EXPECT_EQ(mark.GetPosition(), 4 * 4);
    EXPECT_EQ(chunkImage(), marked);
    const std::string path = dir.file("capture.csv");
    ASSERT_EQ(core.WriteCSVFile(path.c_str()), 1);
    const std::string text = ReadWholeFile(path);
    EXPECT_NE(text.find("TrigPosition,4\r\nTrigType,1"), std::string::npos);
    // The next capture runs free: no mark.
    core.SetAnalyzeFlag(1);
    ASSERT_EQ(core.StartAnalysis(), 1);
    core.Deliver();
    EXPECT_EQ(core.GetTriggerMark().GetRedrawFlag(), 0);
    EXPECT_NE(chunkImage(), marked);
}

namespace {
// The number of slices of the ring that hold a capture's words.
int SlicesHeld(ScriptedRealTime& core) {
    int held = 0;
    for (int k = 0; k < ScriptedRealTime::kSlices; ++k) {
        const short* data = core.GetSliceBack(k).GetData();
        held += data && data[0] != kNoSample ? 1 : 0;
    }
    return held;
}
} // namespace

TEST_F(RealTimeTest, ADisplayChangeKeepsTheCaptureAndAChangeOfTheBandStartsOver) {
    core.SetAnalyzeFlag(1);
    ASSERT_EQ(core.StartAnalysis(), 1);
    core.Deliver();
    ASSERT_EQ(SlicesHeld(core), 256);
    const short newest = core.GetSliceBack(0).GetData()[0];
    // Scale, reference position, a span preset (the span is always 24 MHz) and
    // the RBW index it has: the 256 slices stay, in the spectrogram too, and
    // no task is stopped or started for them.
    EXPECT_EQ(Run(31, 2), kCommandRedraw);
    Run(33, 8);
    EXPECT_EQ(Run(22, 5000), kCommandDone);
    EXPECT_EQ(Run(24, core.GetRBWIndex()), kCommandDone);
    EXPECT_EQ(SlicesHeld(core), 256);
    EXPECT_EQ(core.GetSliceBack(0).GetData()[0], newest);
    EXPECT_EQ(core.Get3DInterface().GetGraph().GetSliceAt(0), &core.GetSliceBack(0));
    EXPECT_EQ(core.terminates, 0);
    EXPECT_EQ(core.captures.size(), 1u);
    // The capture is in: the core holds no task and ends none.
    EXPECT_EQ(core.GetTaskRunning(), 0);
    // A new centre measures something else: the ring starts over.
    core.SetCenter(900000);
    core.Reconfigure(TRUE);
    EXPECT_EQ(SlicesHeld(core), 0);
}

TEST_F(RealTimeTest, RunStopEndsTheWaitForTheTrigger) {
    Run(301, 1);
    core.SetAnalyzeFlag(1);
    ASSERT_EQ(core.StartAnalysis(), 1);
    core.AnalysisProgress(core.GetTaskTag(), 0x0800);
    CDrawText& status = core.GetGraphInterface().GetGraph().GetStatusText();
    ASSERT_EQ(status.GetRedrawFlag(), 1);
    Run(16, 0);
    EXPECT_EQ(core.GetAnalyzeFlag(), 0);
    EXPECT_EQ(core.GetTriggerWaitState(), 0);
    EXPECT_EQ(status.GetText(), "");
}

namespace {
// What an interface draws in a 640 x 300 pane.
QImage Drawn(CViewInterface& intf) {
    QImage image(640, 300, QImage::Format_RGB32);
    image.fill(Qt::black);
    CDC dc(&image);
    intf.Draw(&dc, CRect(0, 0, 640, 300));
    return image;
}
} // namespace

TEST_F(RealTimeTest, CapturesFasterThanTheFramesReachTheTracesAndEveryViewShowsTheNewest) {
    // The reference takes every capture into its ring at once (a look at a
    // slice does that); the core under test is looked at only by its views.
    ScriptedRealTime ref;
    ref.ReadProfile();
    ref.SetCenter(433920);
    ref.Reconfigure(TRUE);
    for (ScriptedRealTime* c : {&core, &ref}) {
        RunCommand(*c, 303, 1);
        c->GetTrace(1)->SetTraceState(kTraceMaxHold);
        c->SetAnalyzeFlag(1);
    }
    int round = 0;
    // Captures that follow each other unseen, then one view draws: each of
    // the three views takes the newest capture in by itself.
    auto deliver = [&](int blocks, int lift) {
        for (ScriptedRealTime* c : {&core, &ref}) {
            ASSERT_EQ(c->StartAnalysis(), 1);
            c->Deliver(blocks, lift);
        }
        ref.GetSliceLine(0);
    };
    for (CViewInterface* (*view)(ScriptedRealTime&) :
         {+[](ScriptedRealTime& c) -> CViewInterface* { return &c.Get3DInterface(); },
          +[](ScriptedRealTime& c) -> CViewInterface* { return &c.GetChunkInterface(); },
          +[](ScriptedRealTime& c) -> CViewInterface* {
              c.SetViewMode(1);
              return &c.GetWaterfallInterface();
          }}) {
        SCOPED_TRACE(round);
        deliver(256, 40 + round);
        deliver(256, -30);
        deliver(256, 10 * round);
        EXPECT_TRUE(Drawn(*view(core)) == Drawn(*view(ref)));
        ++round;
    }
    // Every capture reached the traces: the hold keeps the highest. The
    // slices begin at the trace grid's first frequency, 421000.
    const int first = (421000 - core.captures.back().base) / 250;
    EXPECT_EQ(core.GetTrace(1)->GetData()[5], 255 * 100 + first + 5 + 42);
    // A short capture lands on top of a kept whole one.
    deliver(256, 7);
    deliver(100, 3);
    EXPECT_EQ(core.GetDataLine()->GetData()[5], ref.GetDataLine()->GetData()[5]);
    for (int k = 0; k < ScriptedRealTime::kSlices; ++k) {
        const CTraceStore& a = core.GetSliceBack(k);
        const CTraceStore& b = ref.GetSliceBack(k);
        ASSERT_TRUE(std::equal(a.GetData(), a.GetData() + a.GetPoints(), b.GetData())) << k;
    }
    const CTraceStore& chunk = core.GetChunkLine();
    EXPECT_TRUE(std::equal(chunk.GetData(), chunk.GetData() + chunk.GetPoints(),
                           ref.GetChunkLine().GetData()));
    EXPECT_EQ(core.GetWritePosition(), ref.GetWritePosition());
}

TEST_F(RealTimeTest, ANewBandAfterACaptureNobodyLookedAtLeavesTheChunkLineAsEmptyAsTheRing) {
    // The reference takes its capture in at once; the core under test keeps
    // it until the new band's reconfiguration.
    ScriptedRealTime ref;
    ref.ReadProfile();
    ref.SetCenter(433920);
    ref.Reconfigure(TRUE);
    for (ScriptedRealTime* c : {&core, &ref}) {
        c->SetAnalyzeFlag(1);
        ASSERT_EQ(c->StartAnalysis(), 1);
        c->Deliver();
    }
    ref.GetSliceLine(0);
    // A centre 1 MHz up: the chunk frequency still lies in the old slices.
    for (ScriptedRealTime* c : {&core, &ref}) {
        c->SetCenter(434920);
        c->Reconfigure(TRUE);
    }
    const CTraceStore& chunk = core.GetChunkLine();
    const CTraceStore& expected = ref.GetChunkLine();
    ASSERT_EQ(chunk.GetPoints(), expected.GetPoints());
    EXPECT_TRUE(std::all_of(expected.GetData(), expected.GetData() + expected.GetPoints(),
                            [](short w) { return w == kNoSample; }));
    EXPECT_TRUE(
        std::equal(chunk.GetData(), chunk.GetData() + chunk.GetPoints(), expected.GetData()));
    EXPECT_TRUE(Drawn(core.GetChunkInterface()) == Drawn(ref.GetChunkInterface()));
    EXPECT_EQ(SlicesHeld(core), 0);
}

TEST_F(RealTimeTest, InDbuvTheSpectrumAndTheWaterfallShowTheCapturesLevelsWhereverTheUnitCameFrom) {
    // Realistic words (about -27 dBm at the most): word b of block s is
    // s x 100 + b - 30000.
    constexpr int kLift = -30000;
    const short dbuv = CTraceStore::UnitOffset(2);
    // A window opened with dBuV in its profile, one given it in a setting
    // file, and one switched to it: all show the capture alike.
    WriteProfileInt(core.GetProfileSection(), "UnitFlag", 2);
    ScriptedRealTime fromProfile;
    fromProfile.ReadProfile();
    ReleaseSettingFileObject();
    ASSERT_EQ(fromProfile.SaveSettings(), 1);
    WriteProfileInt(core.GetProfileSection(), "UnitFlag", 1);
    ScriptedRealTime fromSettings;
    fromSettings.ReadProfile();
    ASSERT_EQ(fromSettings.GetUnit(), 1);
    fromSettings.LoadSettings();
    ReleaseSettingFileObject();
    ScriptedRealTime switched;
    switched.ReadProfile();
    switched.SetUnitAll(2);
    for (ScriptedRealTime* c : {&fromProfile, &fromSettings, &switched}) {
        ASSERT_EQ(c->GetUnit(), 2);
        c->SetCenter(433920);
        c->Reconfigure(TRUE);
        c->SetAnalyzeFlag(1);
        ASSERT_EQ(c->StartAnalysis(), 1);
        c->Deliver(256, kLift);
        const int first = (421000 - c->captures.back().base) / 250;
        const int word = 255 * 100 + first + 5 + kLift;
        EXPECT_EQ(c->GetDataLine()->GetData()[5], word + dbuv);
        EXPECT_EQ(c->GetChunkLine().GetData()[255],
                  255 * 100 + first + c->GetChunkPosition() + kLift + dbuv);
        // The waterfall keeps dBm words and reads them out in dBuV.
        c->SetViewMode(1);
        c->UpdateView();
        Drawn(c->GetWaterfallInterface());
        CWaterfallContext& fall = c->GetWaterfallInterface().GetWaterfall();
        EXPECT_EQ(fall.SampleAt(0, 5), word);
        CString text;
        ASSERT_TRUE(fall.ReadoutAt(fall.ColumnOfFrequency(421000 + 5 * 250 - 1), fall.RowOfSlice(0),
                                   &text));
        CString level;
        level.Format("%.2fdBuV", (word + dbuv) / 163.84);
        EXPECT_GE(text.Find(level), 0) << text.c_str() << " " << level.c_str();
    }
}
