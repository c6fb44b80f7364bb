// The zero-span core against a recording device: the 24 MHz span and its
// base frequency, the arguments of every device call, the capture life cycle
// (single capture, refused time span, stopping), the trigger status texts,
// data intake with the offset table, the mode's commands, the pane
// proportions of printing, and the profile, setting data and CSV files.
#include "analysis/csvfile.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "modes/zerospananalysis.h"
#include "platform/dc.h"
#include "platform/profile.h"
#include "testutil.h"

#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A device of kind 8 from lo to hi kHz with a 250 kHz step at RBW index 1.
// Every call is recorded with its arguments; received data come from data.
class RecordingZeroSpan : public CZeroSpanAnalysis {
public:
    RecordingZeroSpan() : CZeroSpanAnalysis(nullptr, nullptr) {}
    struct Call {
        std::string name;
        std::vector<int> args;
    };
    std::vector<Call> calls;
    std::vector<int> kindsAsked;
    std::vector<short> data;
    int lo = 10000;
    int hi = 3000000;
    int captureAnswer = 1; // 0: the device refuses captures
    using CZeroSpanAnalysis::m_offsetFlag;
    using CZeroSpanAnalysis::m_offsetTable;

    const Call* Last() const { return calls.empty() ? nullptr : &calls.back(); }
    int Count(const std::string& name) const {
        return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                              [&](const Call& c) { return c.name == name; }));
    }
    // A finished task delivering data.
    void Finish(std::vector<short> words) {
        data = std::move(words);
        AnalysisFinished(GetTaskTag(), static_cast<LPARAM>(data.size()));
    }
    int Run(int action, int p1, int p2 = 0) {
        const int result = ExecuteCommand(action, p1, p2, 0, 0, 0);
        if (result > 0)
            Reconfigure(result == kCommandReset);
        return result;
    }

protected:
    int DeviceMinFrequency(int kind) override {
        kindsAsked.push_back(kind);
        return lo;
    }
    int DeviceMaxFrequency(int kind) override {
        kindsAsked.push_back(kind);
        return hi;
    }
    int DeviceRBWFrequency(int kind, int index) override {
        kindsAsked.push_back(kind);
        return index == 1 ? 250 : 0;
    }
    int DeviceDataCount() override { return static_cast<int>(data.size()); }
    int DeviceReceiveData(short* buffer, int count) override {
        const int n = std::min(count, static_cast<int>(data.size()));
        std::copy_n(data.begin(), n, buffer);
        return n;
    }
    int DeviceZeroSpanSpectrum(HWND hwnd, BYTE tag, int base, int attenuation) override {
        calls.push_back({"spectrum", {static_cast<int>(hwnd), tag, base, attenuation}});
        return 1;
    }
    int DeviceZeroSpanCapture(HWND hwnd, BYTE tag, int base, int attenuation, BYTE triggerType,
                              int level, BYTE firstBin, BYTE lastBin, int samples,
                              int postTrigger) override {
        calls.push_back({"capture",
                         {static_cast<int>(hwnd), tag, base, attenuation, triggerType, level,
                          firstBin, lastBin, samples, postTrigger}});
        return captureAnswer;
    }
    void DeviceTerminate() override { calls.push_back({"terminate", {}}); }

public:
    // The numeric entry: what it proposed, and the answers it gives in turn.
    std::vector<double> answers;
    std::vector<std::pair<double, std::string>> proposed;

protected:
    double NumberEntry(double value, const char* unit, const char* title) override {
        EXPECT_STREQ(unit, "ms");
        proposed.emplace_back(value, title);
        if (answers.empty())
            return DBL_MAX;
        const double answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
};

class ZeroSpanTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetProfileFile(dir.file("TORVEL.INI").c_str());
        InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500);
        core.SetTitleIndex(1);
        core.ReadProfile();
        core.SetAnalyzeFlag(1);
        core.SetCenter(433920);
        core.Reconfigure(TRUE);
    }
    void TearDown() override { SetProfileFile(nullptr); }
    // The time analysis requested and its capture started.
    void StartCapture() {
        if (!core.GetTimeRequested())
            core.Run(251, 0);
        core.StartAnalysis();
        ASSERT_EQ(core.Last()->name, "capture");
    }
    TempDir dir;
    RecordingZeroSpan core;
};

TEST_F(ZeroSpanTest, CentreSnapsToTheGridAndMovesInwardAtTheLimitsOfKind8) {
    core.kindsAsked.clear();
    core.SetCenter(433920);
    // 433920 snaps down to the 250 kHz grid; the base frequency is the 2 MHz
    // grid point at or below centre - 13000.
    EXPECT_EQ(core.GetCenter(), 433750);
    EXPECT_EQ(core.GetSpan(), 24000);
    EXPECT_EQ(core.BaseFrequency(), 420000);
    // Closer than 12000 kHz to a limit: moved inward so that the span fits.
    core.SetCenter(core.lo + 11999);
    EXPECT_EQ(core.GetStart(), core.lo);
    EXPECT_EQ(core.GetStop(), core.lo + 24000);
    core.SetCenter(core.hi - 5000);
    EXPECT_EQ(core.GetStop(), core.hi);
    EXPECT_EQ(core.GetStart(), core.hi - 24000);
    // Every limit and step was asked for kind 8.
    for (int kind : core.kindsAsked)
        EXPECT_EQ(kind, 8);
    // Below 13000 kHz the division truncates toward zero: B is 0, not -2000.
    core.lo = 0;
    core.SetCenter(12000);
    EXPECT_EQ(core.BaseFrequency(), 0);
    // Start and stop entries move the centre; the span never changes.
    core.SetStart(100000);
    EXPECT_EQ(core.GetStart(), 100000);
    EXPECT_EQ(core.GetSpan(), 24000);
    core.SetSpan(1000);
    EXPECT_EQ(core.GetSpan(), 24000);
    // Entries at the ends of int (a file's axis is read saturated) are held
    // at the limits, not wrapped past them.
    core.SetCenter(INT_MAX);
    EXPECT_EQ(core.GetStop(), core.hi);
    EXPECT_EQ(core.GetStart(), core.hi - 24000);
    core.SetStart(INT_MAX);
    EXPECT_EQ(core.GetStop(), core.hi);
    core.SetCenter(INT_MIN);
    EXPECT_EQ(core.GetStart(), core.lo);
    EXPECT_EQ(core.GetStop(), core.lo + 24000);
    core.SetStop(INT_MIN);
    EXPECT_EQ(core.GetStart(), core.lo);
}

TEST_F(ZeroSpanTest, DeviceCallsGetTheirArgumentsInOrder) {
    core.StartAnalysis();
    ASSERT_EQ(core.Last()->name, "spectrum");
    const int hwnd = static_cast<int>(core.GetMainWindow());
    const int att = core.GetAttenuation();
    EXPECT_EQ(core.Last()->args, (std::vector<int>{hwnd, core.GetTaskTag(), 420000, att}));

    // Single bin: the bin under the zero-span marker, N = 10 x TimeSpan and
    // P = (((100 - 30) x 512 / 100) x N) >> 9 = 34960 (not 35000).
    core.Run(253, 2);
    core.Run(255, 30);
    core.GetZeroSpanMarker().SetLockFrequency(433750);
    StartCapture();
    const int level = static_cast<int>(core.GetTriggerLine().GetLevel() * 163.84);
    EXPECT_EQ(core.Last()->args, (std::vector<int>{hwnd, core.GetTaskTag(), 420000, att, 2, level,
                                                   55, 55, 50000, 34960}));
    core.Finish(std::vector<short>(50000, 0));

    // The line lies over levels shown in the unit and with the level-offset
    // correction of the captured bin (433.75 MHz: +10 dB): the device, which
    // compares the words it measures, gets the line's level without either.
    core.m_offsetFlag = 1;
    core.m_offsetTable[433] = 1638;
    core.Run(32, 2);
    StartCapture();
    const double shown = core.GetTriggerLine().GetLevel();
    EXPECT_NEAR(core.Last()->args[5], (shown - 10.0 - 113.0) * 163.84, 3.0);
    core.Finish(std::vector<short>(50000, 0));
    core.Run(32, 1);
    core.m_offsetFlag = 0;

    // Band with the second point below the first: the device gets the bins in
    // ascending order, StartBin and StopBin keep theirs.
    core.Run(257, 1);
    CMarkerContext& marker = core.GetZeroSpanMarker();
    marker.SetLockFrequency(420000 + 60 * 250);
    marker.SetChildLockFrequency(420000 + 40 * 250);
    StartCapture();
    EXPECT_EQ(core.Last()->args[6], 40);
    EXPECT_EQ(core.Last()->args[7], 60);
    EXPECT_EQ(core.GetStartBin(), 60);
    EXPECT_EQ(core.GetStopBin(), 40);
}

TEST_F(ZeroSpanTest, SingleModeReturnsToSpectrumSweepingAfterExactlyOneCapture) {
    StartCapture();
    core.Finish(std::vector<short>(50000, 100));
    EXPECT_EQ(core.GetTimeRequested(), 0);
    EXPECT_EQ(core.GetCommandState(251, 0, 0, 0, 0, 0), kStateUnticked);
    core.StartAnalysis();
    EXPECT_EQ(core.Last()->name, "spectrum");
    EXPECT_EQ(core.Count("capture"), 1);

    // Repeated captures go on.
    core.Run(254, 1);
    StartCapture();
    core.Finish(std::vector<short>(50000, 100));
    core.StartAnalysis();
    EXPECT_EQ(core.Last()->name, "capture");
}

TEST_F(ZeroSpanTest, TimeSpanUpTo50000IsTakenAndAboveIsRefusedWithTheCaptureRestarted) {
    StartCapture();
    EXPECT_EQ(core.Run(252, 50001), kCommandDone);
    EXPECT_EQ(core.GetTimeSpan(), 5000);
    // The capture was cut and started again as it was.
    ASSERT_GE(core.calls.size(), 3u);
    EXPECT_EQ(core.calls[core.calls.size() - 2].name, "terminate");
    EXPECT_EQ(core.Last()->name, "capture");
    EXPECT_EQ(core.Last()->args[8], 50000);
    EXPECT_EQ(core.GetTaskTerminated(), 0);

    EXPECT_EQ(core.Run(252, 50000), kCommandReset);
    EXPECT_EQ(core.GetTimeSpan(), 50000);
    EXPECT_EQ(core.Last()->name, "capture");
    EXPECT_EQ(core.Last()->args[8], 500000);
    EXPECT_EQ(core.GetTimeTrace(0).GetPoints(), 500000u);
    EXPECT_EQ(core.GetCommandState(252, 50000, 0, 0, 0, 0), kStateTicked);

    // Switching the time analysis off stops the capture at once.
    const int terminations = core.Count("terminate");
    core.Run(251, 0);
    EXPECT_EQ(core.Count("terminate"), terminations + 1);
    EXPECT_EQ(core.GetTimeRequested(), 0);
    EXPECT_EQ(core.GetTaskRunning(), 0);
    // An accumulate command that changes nothing lets a cut capture go on.
    StartCapture();
    const size_t before = core.calls.size();
    EXPECT_EQ(core.Run(257, 0), kCommandDone);
    ASSERT_EQ(core.calls.size(), before + 2);
    EXPECT_EQ(core.Last()->name, "capture");
}

TEST_F(ZeroSpanTest, TriggerStatusTellsWaitingAndTriggered) {
    CDrawText& status = core.GetGraphInterface().GetGraph().GetStatusText();
    StartCapture(); // free run
    EXPECT_EQ(status.GetText(), GetTorvelString(84));
    EXPECT_EQ(status.GetRedrawFlag(), 1);
    core.AnalysisProgress(0, CZeroSpanAnalysis::kWaitingForTrigger);
    EXPECT_EQ(core.GetTriggerWait(), 0); // no trigger to wait for
    EXPECT_EQ(status.GetText(), GetTorvelString(84));
    core.Run(253, 1);
    core.AnalysisProgress(0, CZeroSpanAnalysis::kWaitingForTrigger);
    EXPECT_EQ(status.GetText(), GetTorvelString(47));
    EXPECT_EQ(status.GetRedrawFlag(), 1);
    core.AnalysisProgress(0, CZeroSpanAnalysis::kWaitingForTrigger);
    EXPECT_EQ(status.GetRedrawFlag(), 0); // the text blinks while waiting
    core.AnalysisProgress(0, CZeroSpanAnalysis::kTriggered);
    EXPECT_EQ(status.GetText(), GetTorvelString(48));
    EXPECT_EQ(status.GetRedrawFlag(), 1);
    // The data clear it, and so does stopping the window's analysis.
    StartCapture();
    core.Finish(std::vector<short>(50000, 0));
    EXPECT_EQ(status.GetText(), "");
    core.AnalysisProgress(0, CZeroSpanAnalysis::kWaitingForTrigger);
    core.Run(16, 0);
    EXPECT_EQ(status.GetText(), "");
}

TEST_F(ZeroSpanTest, TriggerMarkAndLineFollowTheTriggerCommands) {
    EXPECT_EQ(core.GetTriggerMark().GetRedrawFlag(), 0);
    EXPECT_EQ(core.GetTriggerLine().GetRedrawFlag(), 0);
    EXPECT_EQ(core.Run(253, 2), kCommandRedraw);
    EXPECT_EQ(core.GetTriggerLine().GetRedrawFlag(), 1);
    EXPECT_EQ(core.GetTriggerLine().GetDirectionFlag(), 1);
    EXPECT_EQ(core.GetTriggerMark().GetRedrawFlag(), 1);
    EXPECT_EQ(core.GetTriggerMark().GetPosition(), 2500000); // 50 % of 5 s in us
    // 50 s at 100 %: the product passes 32 bits.
    core.Run(252, 50000);
    EXPECT_EQ(core.Run(255, 100), kCommandRedraw);
    EXPECT_EQ(core.GetTriggerMark().GetPosition(), 50000000);
    EXPECT_EQ(core.GetCommandState(255, 100, 0, 0, 0, 0), kStateTicked);
    // At 10 % the device is given P = ((90 x 512 / 100) x N) >> 9 = 449218 of
    // N = 500000: its trigger sample is 50782, 5.0782 s, and the mark stands
    // there rather than at 5 s.
    core.Run(255, 10);
    EXPECT_EQ(core.GetTriggerMark().GetPosition(), 5078200);
    StartCapture();
    EXPECT_EQ((core.Last()->args[8] - core.Last()->args[9]) * 100,
              core.GetTriggerMark().GetPosition());
    core.Finish(std::vector<short>(500000, 0));
    // The capture keeps the mark of its own trigger point whatever the
    // trigger settings are now: a trigger switched off or moved leaves it.
    core.Run(253, 0);
    EXPECT_EQ(core.Run(255, 20), kCommandDone);
    EXPECT_EQ(core.GetTriggerMark().GetRedrawFlag(), 1);
    EXPECT_EQ(core.GetTriggerMark().GetPosition(), 5078200);
    EXPECT_EQ(core.GetTriggerLine().GetRedrawFlag(), 0);
    // A capture that ran free has none.
    StartCapture();
    core.Finish(std::vector<short>(500000, 0));
    EXPECT_EQ(core.GetTriggerMark().GetRedrawFlag(), 0);
}

// A capture started at 50 % and moved to 10 % while it waited for its
// trigger is marked at 50 %, and its CSV file says 50 %; choosing 90 %
// afterwards moves neither. A new time span starts without a capture: the
// mark follows the settings again until the next one.
TEST_F(ZeroSpanTest, TheMarkAndTheFileFollowTheCaptureNotTheSettingsOfNow) {
    core.Run(252, 1000);
    core.Run(253, 1);
    StartCapture();
    EXPECT_EQ(core.Run(255, 10), kCommandRedraw); // while it waits
    core.Finish(std::vector<short>(10000, -100));
    EXPECT_EQ(core.GetTriggerMark().GetPosition(), 500000);
    core.Run(255, 90);
    EXPECT_EQ(core.GetTriggerMark().GetPosition(), 500000);
    const std::string path = dir.file("capture.csv");
    ASSERT_EQ(core.WriteCSVFile(path.c_str()), 1);
    const std::string text = ReadWholeFile(path);
    EXPECT_NE(text.find("TriggerTimePosition,50"), std::string::npos);
    EXPECT_NE(text.find("TriggerType,1"), std::string::npos);
    core.Run(252, 2000);
    // No capture: the mark of the settings, sample N - P = 20000 - 1992.
    EXPECT_EQ(core.GetTriggerMark().GetPosition(), 1800800);
}

// Samples a short capture did not deliver hold no sample, never a level of
// the capture before it.
TEST_F(ZeroSpanTest, AShortCaptureHoldsNoSampleWhereItDeliveredNone) {
    core.Run(252, 100); // 1000 samples
    StartCapture();
    core.Finish(std::vector<short>(1000, static_cast<short>(-30 * 163.84)));
    StartCapture();
    core.Finish(std::vector<short>(500, static_cast<short>(-60 * 163.84)));
    const CTraceStore& line = core.GetTimeTrace(0);
    EXPECT_EQ(line.GetData()[499], static_cast<short>(-60 * 163.84));
    EXPECT_EQ(line.GetData()[500], kNoSample);
    EXPECT_EQ(line.GetData()[900], kNoSample);
}

TEST_F(ZeroSpanTest, BlocksLandOnTheirFrequenciesWithTheOffsetTable) {
    // Centre 433750: the data line starts at 421000, bin 4 of the block from
    // 420000. Word b of the block is b.
    core.StartAnalysis();
    std::vector<short> block(CZeroSpanAnalysis::kBlockBins);
    for (int b = 0; b < CZeroSpanAnalysis::kBlockBins; ++b)
        block[static_cast<size_t>(b)] = static_cast<short>(b);
    core.m_offsetFlag = 1;
    core.m_offsetTable[430] = 1000; // 430000..430999 kHz
    core.Finish(block);             // the first block after a new grid restarts the traces
    core.StartAnalysis();
    core.Finish(block);
    const CTraceStore* line = core.GetDataLine();
    EXPECT_EQ(line->GetStart(), 421000u);
    EXPECT_EQ(line->Sample(421000), 4);
    EXPECT_EQ(line->Sample(429750), 39);
    EXPECT_EQ(line->Sample(430000), 40 + 1000);
    EXPECT_EQ(line->Sample(445750), 103);

    // A capture: one table entry, that of the captured bin, for every sample;
    // the first capture after a new grid is shown, not only a restart.
    core.GetZeroSpanMarker().SetLockFrequency(430250); // bin 41
    StartCapture();
    core.Finish(std::vector<short>(50000, -500));
    EXPECT_EQ(core.GetTimeTrace(0).Sample(0), 500);
    EXPECT_EQ(core.GetTimeTrace(0).Sample(4999900), 500);
}

TEST_F(ZeroSpanTest, AccumulateAndBinSelectionMoveTheZeroSpanMarker) {
    CMarkerContext& marker = core.GetZeroSpanMarker();
    core.Run(258, 0, 60);
    EXPECT_EQ(marker.GetLockFrequency(), 420000 + 60 * 250);
    EXPECT_EQ(core.GetStartBin(), 60);
    // A bin off the spectrum puts the point back on StartBin.
    core.Run(258, 0, 200);
    EXPECT_EQ(marker.GetLockFrequency(), 420000 + 60 * 250);
    EXPECT_EQ(marker.GetSelectMode(), 0);

    EXPECT_EQ(core.Run(257, 1), kCommandReset);
    EXPECT_EQ(marker.GetDeltaMode(), 2);
    EXPECT_EQ(core.GetStopBin(), core.GetStartBin());
    EXPECT_EQ(core.GetCommandState(257, 1, 0, 0, 0, 0), kStateTicked);
    core.Run(258, 1, 70);
    EXPECT_EQ(marker.GetChildLockFrequency(), 420000 + 70 * 250);
    EXPECT_EQ(core.GetStopBin(), 70);
    EXPECT_EQ(core.Run(257, 0), kCommandReset);
    EXPECT_EQ(marker.GetDeltaMode(), 0);

    // Time analysis needs the window's analysis.
    core.SetAnalyzeFlag(0);
    EXPECT_EQ(core.GetCommandState(251, 0, 0, 0, 0, 0), kStateDisabled);
    core.Run(251, 0);
    EXPECT_EQ(core.GetTimeRequested(), 0);
}

TEST_F(ZeroSpanTest, MarkerEntryPlacesTimeMarkersInMillisecondsAndTheyReadInTime) {
    // No current marker: the first one, proposed from its lock position.
    core.answers = {12.5};
    EXPECT_EQ(core.Run(35, 0), kCommandRedraw);
    CMarkerContext* m1 = core.GetMarker(1);
    EXPECT_EQ(core.GetCurrentMarkerIndex(), 1);
    EXPECT_EQ(m1->GetLockFrequency(), 12500);
    EXPECT_EQ(m1->GetRedrawFlag(), 1);
    ASSERT_EQ(core.proposed.size(), 1u);
    EXPECT_EQ(core.proposed[0].second, GetTorvelString(24));
    // Main point: proposed in ms, placed in us.
    core.answers = {250.0};
    core.Run(35, 0);
    EXPECT_DOUBLE_EQ(core.proposed[1].first, 12.5);
    EXPECT_EQ(m1->GetLockFrequency(), 250000);
    // Child point: the distance from the main point.
    core.Run(39, 1);
    m1->SetChildLockFrequency(260000);
    core.answers = {-50.0};
    core.Run(35, 0);
    EXPECT_DOUBLE_EQ(core.proposed[2].first, 10.0);
    EXPECT_EQ(core.proposed[2].second, GetTorvelString(49));
    EXPECT_EQ(m1->GetChildLockFrequency(), 200000);
    // Cancelled: nothing moves.
    core.Run(35, 0);
    EXPECT_EQ(m1->GetChildLockFrequency(), 200000);
    EXPECT_EQ(m1->GetLockFrequency(), 250000);

    // Drawn, the time markers and cursor read out times.
    core.Run(39, 0);
    StartCapture();
    core.Finish(std::vector<short>(50000, 0));
    QImage image(640, 480, QImage::Format_RGB32);
    {
        CDC dc(&image);
        core.GetTimeGraph().Draw(&dc, CRect(0, 0, 640, 480));
    }
    EXPECT_EQ(std::string(m1->GetReadoutLine().GetText().c_str()).rfind("M1:250mS 0.00dBm", 0), 0u)
        << m1->GetReadoutLine().GetText().c_str();
    EXPECT_EQ(core.GetTimeGraph().GetCursor()->GetReadoutFlags(), kReadoutTimeAxis);
}

TEST_F(ZeroSpanTest, PrintingSplitsTheRectangleInTheProportionOfThePanes) {
    QWidget parent;
    parent.resize(400, 500);
    QWidget view;
    QWidget* panes = core.CreatePanes(&parent, &view);
    ASSERT_TRUE(core.GetSplitter());
    panes->setParent(&parent);
    panes->resize(400, 500);
    parent.show();
    PumpEvents();
    core.GetSplitter()->setSizes({100, 300});
    PumpEvents();
    int top = 0;
    int bottom = 0;
    core.GetSplitter()->GetRowInfo(0, &top, nullptr);
    core.GetSplitter()->GetRowInfo(1, &bottom, nullptr);
    ASSERT_GT(top, 0);
    ASSERT_GT(bottom, 0);
    QImage image(640, 480, QImage::Format_RGB32);
    {
        CDC dc(&image);
        core.DrawToDC(&dc, CRect(0, 0, 640, 480), FALSE);
    }
    const int split = static_cast<int>((481LL * ((top * 65536) / (top + bottom))) >> 16);
    EXPECT_EQ(core.GetTimeGraph().GetRoot().GetWindowRect(), CRect(0, 0, 640, split));
    EXPECT_EQ(core.GetGraphInterface().GetRoot().GetWindowRect(), CRect(0, split, 640, 480));
}

TEST_F(ZeroSpanTest, ProfileAndSettingFileKeepTheCaptureKeys) {
    core.Run(252, 1234);
    core.Run(253, 2);
    core.Run(254, 1);
    core.Run(255, 25);
    core.Run(257, 1);
    core.Run(258, 0, 30);
    core.Run(258, 1, 20);
    core.WriteProfile();
    EXPECT_EQ(GetProfileInt("ZeroSpanAnalysis_1", "AccumulateMode", 0), 2);
    EXPECT_EQ(GetProfileInt("ZeroSpanAnalysis_1", "StartBin", 0), 30);
    EXPECT_EQ(GetProfileInt("ZeroSpanAnalysis_1", "StopBin", 0), 20);
    {
        RecordingZeroSpan again;
        again.SetTitleIndex(1);
        again.ReadProfile();
        EXPECT_EQ(again.GetSpan(), 24000);
        EXPECT_EQ(again.GetTimeSpan(), 1234);
        EXPECT_EQ(again.GetTriggerType(), 2);
        EXPECT_EQ(again.GetTriggerMode(), 1);
        EXPECT_EQ(again.GetTriggerTimePosition(), 25);
        EXPECT_EQ(again.GetStartBin(), 30);
        EXPECT_EQ(again.GetStopBin(), 20);
        EXPECT_EQ(again.GetAccumulateMode(), 2);
        EXPECT_EQ(again.GetTriggerLine().GetRedrawFlag(), 1);
        EXPECT_EQ(again.GetTimeGraph().GetDrawObject(0)->GetProfileFlag(), 0);
    }

    ReleaseSettingFileObject();
    ASSERT_EQ(core.SaveSettings(), 1);
    ASSERT_EQ(WriteSettingFileObject(dir.file("z.SPE").c_str()), 1);
    ReleaseSettingFileObject();
    SetProfileFile(dir.file("other.INI").c_str());
    RecordingZeroSpan loaded;
    loaded.SetTitleIndex(1);
    loaded.ReadProfile();
    ASSERT_EQ(LoadSettingFile(dir.file("z.SPE").c_str()), 1);
    EXPECT_EQ(loaded.LoadSettings(), 1);
    ReleaseSettingFileObject();
    EXPECT_EQ(loaded.GetTimeSpan(), 1234);
    EXPECT_EQ(loaded.GetTriggerType(), 2);
    EXPECT_EQ(loaded.GetTriggerMode(), 1);
    EXPECT_EQ(loaded.GetTriggerTimePosition(), 25);
    EXPECT_EQ(loaded.GetStartBin(), 30);
    EXPECT_EQ(loaded.GetStopBin(), 20);
    EXPECT_EQ(loaded.GetAccumulateMode(), 2);
    EXPECT_EQ(loaded.GetCenter(), core.GetCenter());
    EXPECT_EQ(loaded.GetTriggerMark().GetRedrawFlag(), 1);
}

TEST_F(ZeroSpanTest, CsvOfA5000MsSpanHolds50000TimeLinesAndReadsBackToTheSameFile) {
    StartCapture();
    std::vector<short> samples(50000);
    for (size_t j = 0; j < samples.size(); ++j)
        samples[j] = static_cast<short>(-8000 + static_cast<int>(j % 4000));
    core.Finish(samples);
    const std::string first = dir.file("a.CSV");
    ASSERT_EQ(CCsvFile::Write(core, first.c_str()), 1);
    const std::string text = ReadWholeFile(first);
    std::string plain = text; // lines end in CR LF on disk
    plain.erase(std::remove(plain.begin(), plain.end(), '\r'), plain.end());
    const size_t header = plain.find("\n\nTime,DataLine,Trace1,Trace2\n");
    ASSERT_NE(header, std::string::npos);
    EXPECT_NE(plain.find("\nTimeSpan,5000\nTriggerType,0\nStartBin,52\n"), std::string::npos);
    EXPECT_NE(plain.find("\nAccumulateMode,0\n[DATA ENTRY]\nFrequency,DataLine\n421000,"),
              std::string::npos);
    std::istringstream rows(plain.substr(header + 30));
    std::string row;
    int count = 0;
    int lastTime = -1;
    while (std::getline(rows, row) && !row.empty()) {
        lastTime = std::atoi(row.c_str());
        EXPECT_EQ(lastTime, count * 100) << row;
        if (lastTime != count * 100)
            break;
        ++count;
    }
    EXPECT_EQ(count, 50000);
    EXPECT_EQ(lastTime, 4999900);

    RecordingZeroSpan again;
    again.SetTitleIndex(1);
    again.ReadProfile();
    ASSERT_EQ(again.ReadCSVSections(first.c_str()), 1);
    EXPECT_EQ(again.GetTimeTrace(0).Sample(100), samples[1]);
    const std::string second = dir.file("b.CSV");
    ASSERT_EQ(CCsvFile::Write(again, second.c_str()), 1);
    EXPECT_EQ(ReadWholeFile(second), text);

    // A cut file fails.
    WriteWholeFile(dir.file("cut.CSV"), text.substr(0, text.size() - 1000));
    RecordingZeroSpan cut;
    cut.SetTitleIndex(1);
    cut.ReadProfile();
    EXPECT_EQ(cut.ReadCSVSections(dir.file("cut.CSV").c_str()), 0);
}

TEST_F(ZeroSpanTest, BinsAndTriggerTypesAreHeldToWhatTheDeviceCapturesFromEverySource) {
    // Centre 100.25 MHz: base 86 MHz, so the spectrum's top (112.25 MHz) is
    // bin 105, beyond the device's 0 to 103.
    core.SetCenter(100250);
    core.Reconfigure(TRUE);
    ASSERT_EQ(core.BaseFrequency(), 86000);
    core.GetZeroSpanMarker().SetLockFrequency(112250);
    StartCapture();
    EXPECT_EQ(core.Last()->args[6], 103);
    EXPECT_EQ(core.Last()->args[7], 103);
    EXPECT_EQ(core.GetZeroSpanMarker().GetLockFrequency(), 86000 + 103 * 250);
    core.Finish(std::vector<short>(50000, 0));
    // A capture the device refuses leaves no "Capturing" behind.
    core.captureAnswer = 0;
    core.Run(251, 0);
    EXPECT_EQ(core.StartAnalysis(), 0);
    EXPECT_TRUE(core.GetGraphInterface().GetGraph().GetStatusText().GetText().IsEmpty());
    core.captureAnswer = 1;

    // A damaged profile: bins above 103 and a trigger type the device refuses.
    const char* section = "ZeroSpanAnalysis_1";
    WriteProfileInt(section, "StartBin", 200);
    WriteProfileInt(section, "StopBin", 104);
    WriteProfileInt(section, "TriggerType", 3);
    RecordingZeroSpan fromProfile;
    fromProfile.SetTitleIndex(1);
    fromProfile.ReadProfile();
    EXPECT_EQ(fromProfile.GetStartBin(), 103);
    EXPECT_EQ(fromProfile.GetStopBin(), 103);
    EXPECT_EQ(fromProfile.GetTriggerType(), 0);

    // The same from a setting data file and from a CSV file.
    ReleaseSettingFileObject();
    ASSERT_EQ(core.SaveSettings(), 1);
    WriteSettingFileINT("ZEROSPAN_CORE", "StartBin", 150);
    WriteSettingFileINT("ZEROSPAN_CORE", "TriggerType", 3);
    RecordingZeroSpan fromSettings;
    fromSettings.SetTitleIndex(1);
    fromSettings.ReadProfile();
    fromSettings.LoadSettings();
    ReleaseSettingFileObject();
    EXPECT_EQ(fromSettings.GetStartBin(), 103);
    EXPECT_EQ(fromSettings.GetTriggerType(), 0);

    const std::string path = dir.file("a.CSV");
    ASSERT_EQ(CCsvFile::Write(core, path.c_str()), 1);
    std::string text = ReadWholeFile(path);
    const size_t at = text.find("StartBin,103");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 12, "StartBin,180");
    const size_t type = text.find("TriggerType,0");
    ASSERT_NE(type, std::string::npos);
    text.replace(type, 13, "TriggerType,3");
    WriteWholeFile(path, text);
    RecordingZeroSpan fromCsv;
    fromCsv.SetTitleIndex(1);
    fromCsv.ReadProfile();
    ASSERT_EQ(fromCsv.ReadCSVSections(path.c_str()), 1);
    EXPECT_EQ(fromCsv.GetStartBin(), 103);
    EXPECT_EQ(fromCsv.GetTriggerType(), 0);
    fromCsv.SetAnalyzeFlag(1);
    fromCsv.Run(251, 0);
    fromCsv.StartAnalysis();
    ASSERT_EQ(fromCsv.Last()->name, "capture");
    EXPECT_LE(fromCsv.Last()->args[6], 103);
    EXPECT_LE(fromCsv.Last()->args[4], 2);
}

} // namespace

TEST_F(ZeroSpanTest, ADisplayChangeDuringACaptureKeepsItAndItsResult) {
    core.Run(253, 1);
    // Each of these only changes how the window shows things, or what the
    // next capture uses: the running capture goes on and its data are taken.
    const std::vector<std::vector<int>> changes = {{31, 2},  {34, 1}, {256, 0, 2000000}, {253, 2},
                                                   {17, 20}, {24, 1}, {22, 5000}};
    for (const std::vector<int>& change : changes) {
        SCOPED_TRACE(change[0]);
        core.Run(254, 0); // single: the trigger event comes once
        StartCapture();
        const size_t calls = core.calls.size();
        core.Run(change[0], change[1], change.size() > 2 ? change[2] : 0);
        EXPECT_EQ(core.calls.size(), calls); // nothing terminated, nothing started
        EXPECT_EQ(core.GetTaskRunning(), 1);
        core.Finish(std::vector<short>(50000, 1234));
        EXPECT_EQ(core.GetTimeTrace(0).GetData()[100], 1234);
        EXPECT_EQ(core.GetTimeRequested(), 0);
        core.GetTimeTrace(0).SetWord(100, 0);
    }
    // A new time span measures something else: the capture starts over.
    StartCapture();
    core.Run(252, 2000);
    EXPECT_EQ(core.calls[core.calls.size() - 2].name, "terminate");
    EXPECT_EQ(core.Last()->name, "capture");
}
