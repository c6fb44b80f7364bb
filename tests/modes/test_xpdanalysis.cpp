// The XPD core: the scheduler turn with the path switch, the data intake of
// both paths with the calibration value, the common peak and the XPD, the
// detect and alarm flags with the alarm log, the commands, and the profile,
// setting data file and CSV keys.
#include "analysis/csvfile.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "modes/xpdanalysis.h"
#include "platform/profile.h"
#include "ptycontroller.h"
#include "testutil.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A core on a pretend device: the path switch, the timer and the sweeps are
// recorded, each path delivers the block set for it, and the entry and the
// file dialog answer what the test says.
class TestXpd : public CXpdAnalysis {
public:
    TestXpd() : CXpdAnalysis(nullptr, nullptr) {}
    int switchResult = 1;
    std::vector<int> switches;
    std::vector<UINT> timers;
    std::vector<std::pair<int, int>> sweeps; // function, start
    std::vector<short> block[2];
    double entryAnswer = DBL_MAX;
    std::vector<CString> entryTitles;
    double entryShown = 0.0;
    CString entryUnit;
    CString fileAnswer;

    // Sets path's whole grid to noise with a carrier of level dB at kHz.
    void Carrier(int path, long long kHz, double dB, double noiseDb = -100.0) {
        CTraceStore& line = PathStore(path, 0);
        block[path].assign(line.GetPoints(), static_cast<short>(noiseDb * kWordsPerDb));
        const long long i = (kHz - line.GetStart()) / line.GetStep();
        block[path][static_cast<size_t>(i)] = static_cast<short>(std::lround(dB * kWordsPerDb));
    }
    // One finished sweep of the selected path from its start.
    void Deliver() {
        SetAnalyzeFlag(1);
        StartAnalysis();
        OnTimer(ScheduleTimerId());
        AnalysisFinished(0, 0);
    }
    void DeliverBoth() {
        // The first block after a new grid only clears the traces.
        const bool fresh = PathStore(1, 0).GetLastPosition() == 0;
        SetPathSelect(0);
        Deliver();
        Deliver();
        if (fresh)
            DeliverBoth();
    }
    using CXpdAnalysis::ActiveFlag;

protected:
    int DevicePathSwitch(int path) override {
        switches.push_back(path);
        return switchResult;
    }
    void StartScheduleTimer(UINT ms) override { timers.push_back(ms); }
    int DeviceSweep(int function, int start) override {
        sweeps.emplace_back(function, start);
        return 1;
    }
    int DeviceDataCount() override { return static_cast<int>(block[GetPathSelect()].size()); }
    int DeviceReceiveData(short* buffer, int count) override {
        std::copy_n(block[GetPathSelect()].begin(), count, buffer);
        return count;
    }
    double EntryDouble(double value, const char* unit, const char* title) override {
        entryTitles.push_back(title);
        entryShown = value;
        entryUnit = unit;
        return entryAnswer;
    }
    CString AskLogFileName() override { return fileAnswer; }
};

class XpdTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetProfileFile(m_dir.file("TORVEL.INI").c_str());
        InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500);
    }
    void TearDown() override { SetProfileFile(nullptr); }
    void Ready(TestXpd& core) {
        core.SetTitleIndex(1);
        core.ReadProfile();
        core.Reconfigure(TRUE);
        core.GetAlarmLog().Create(&m_host, CRect(0, 0, 200, 200));
    }
    TempDir m_dir;
    QWidget m_host;
};

TEST_F(XpdTest, ATurnSwitchesThePathWaitsItsDelayAndSweepsThatPathsNextBlock) {
    TestXpd core;
    WriteProfileInt("XPDAnalysis_1", "OnDelay", 70);
    WriteProfileInt("XPDAnalysis_1", "OffDelay", 30);
    Ready(core);
    const CTraceStore& line = core.PathStore(0, 0);
    ASSERT_GT(line.GetPoints(), 0u);
    EXPECT_EQ(core.GetStart(), 430000);
    EXPECT_EQ(core.GetStop(), 432000);

    EXPECT_EQ(core.StartAnalysis(), 1);
    EXPECT_EQ(core.switches, std::vector<int>{0});
    EXPECT_EQ(core.timers, std::vector<UINT>{30});
    EXPECT_TRUE(core.sweeps.empty()); // not before the timer
    core.SetAnalyzeFlag(1);
    EXPECT_FALSE(core.OnTimer(core.ScheduleTimerId() + 1));
    EXPECT_TRUE(core.OnTimer(core.ScheduleTimerId()));
    ASSERT_EQ(core.sweeps.size(), 1u);
    EXPECT_EQ(core.sweeps[0].second, static_cast<int>(line.GetStart()));
    EXPECT_EQ(core.GetTaskRunning(), 1);
    // A timer that fires twice starts nothing more.
    EXPECT_FALSE(core.OnTimer(core.ScheduleTimerId()));

    // Half a sweep of RF1, then the second path's turn with the on delay.
    core.block[0].assign(line.GetPoints() / 2, -10000);
    core.block[1].assign(line.GetPoints() / 2, -10000);
    core.AnalysisFinished(0, 0);
    EXPECT_EQ(core.GetPathSelect(), 1);
    EXPECT_EQ(core.GetPathPosition(0), static_cast<int>(line.GetPoints() / 2));
    EXPECT_EQ(core.StartAnalysis(), 1);
    EXPECT_EQ(core.switches.back(), 1);
    EXPECT_EQ(core.timers.back(), 70u);
    core.OnTimer(core.ScheduleTimerId());
    EXPECT_EQ(core.sweeps.back().second, static_cast<int>(line.GetStart()));
    core.AnalysisFinished(0, 0);
    // Back on RF1, the sweep goes on where it stopped.
    core.StartAnalysis();
    core.OnTimer(core.ScheduleTimerId());
    EXPECT_EQ(core.sweeps.back().second,
              static_cast<int>(line.GetStart() + line.GetPoints() / 2 * line.GetStep()));

    // A switch that fails fails the start.
    core.switchResult = 0;
    const size_t timers = core.timers.size();
    EXPECT_EQ(core.StartAnalysis(), 0);
    EXPECT_EQ(core.timers.size(), timers);
}

TEST_F(XpdTest, TheCommonPeakGivesTheXpdAndAnAlarmIsLoggedOncePerDip) {
    TestXpd core;
    WriteProfileInt("XPDAnalysis_1", "CalValue", 100); // +1.00 dB: +163 words
    Ready(core);
    // RF1 -20.00 dB and RF2 -45.50 dB once calibrated.
    core.Carrier(0, 431000, -21.0);
    core.Carrier(1, 431000, -46.5);
    core.DeliverBoth();
    EXPECT_NEAR(core.GetRf1Level(), -21.0 + 163 / kWordsPerDb, 0.01);
    EXPECT_NEAR(core.GetXpdValue(), 25.5, 0.01);
    EXPECT_DOUBLE_EQ(core.GetPeakValue(), 431.0);
    EXPECT_EQ(core.GetDetectFlag(), 0); // both below the detect level 0 dB
    // No active period: no alarm, the data lines write.
    EXPECT_EQ(core.GetAlarmFlag(), 0);
    EXPECT_EQ(core.PathStore(0, 0).GetTraceState(), CXpdAnalysis::kStateWrite);
    EXPECT_TRUE(core.GetAlarmLog().GetText().IsEmpty());
    // The worker's values follow.
    EXPECT_NEAR(core.GetControllers().m_xpdValue.load(), core.GetXpdValue(), 1e-9);
    EXPECT_DOUBLE_EQ(core.GetControllers().m_peakValue.load(), 431.0);

    // In an active period the XPD below 30 dB raises the alarm and logs it once.
    core.GetControllers().m_activeFlag.store(1);
    core.DeliverBoth();
    core.DeliverBoth();
    EXPECT_EQ(core.GetAlarmFlag(), 1);
    EXPECT_EQ(core.GetControllers().m_alarmFlag.load(), 1);
    EXPECT_EQ(core.PathStore(1, 0).GetTraceState(), CXpdAnalysis::kStateMaxHold);
    const CString log = core.GetAlarmLog().GetText();
    ASSERT_EQ(log.GetLength(), 26) << log.c_str(); // "YYYY/MM/DD  HH:MM 25.5dB\r\n"
    EXPECT_EQ(log.Right(8), "25.5dB\r\n");
    EXPECT_EQ(log.Mid(4, 1), "/");
    EXPECT_EQ(log.Mid(10, 2), "  ");

    // The data lines hold their maxima during the period: a weaker RF2 changes
    // nothing, a stronger RF1 lifts the XPD to 30 dB or more and ends the alarm.
    core.Carrier(1, 431000, -60.0);
    core.DeliverBoth();
    EXPECT_EQ(core.GetAlarmFlag(), 1);
    core.Carrier(0, 431000, -15.0);
    core.DeliverBoth();
    EXPECT_NEAR(core.GetXpdValue(), 31.5, 0.01);
    EXPECT_EQ(core.GetAlarmFlag(), 0);
    // The next dip is logged again.
    core.Carrier(1, 431000, -25.0);
    core.DeliverBoth();
    EXPECT_EQ(core.GetAlarmLog().GetText().GetLength(), 52);
    EXPECT_EQ(core.GetAlarmLog().GetText().Right(8), "10.0dB\r\n");
    // Outside a period the alarm is off and the data lines write again.
    core.GetControllers().m_activeFlag.store(0);
    core.DeliverBoth();
    EXPECT_EQ(core.GetAlarmFlag(), 0);
    EXPECT_EQ(core.PathStore(0, 0).GetTraceState(), CXpdAnalysis::kStateWrite);
}

// The detect level is a level at the input: a window showing dBuV detects
// the same carriers as one showing dBm, and its entry shows and takes the
// level in the window's unit.
TEST_F(XpdTest, TheDetectLevelIsALevelAtTheInputInEveryUnit) {
    TestXpd core;
    Ready(core);
    EXPECT_EQ(core.ExecuteCommand(32, 2, 0, 0, 0, 0), kCommandRedraw);
    EXPECT_EQ(core.ExecuteCommand(CXpdAnalysis::kCmdSetDetectLevel, -5000, 0, 0, 0, 0),
              kCommandRedraw);
    EXPECT_DOUBLE_EQ(core.GetDetectLevel(), -50.0);
    core.Carrier(0, 431000, -60.0); // 53 dBuV: below the detect level
    core.Carrier(1, 431000, -85.0);
    core.DeliverBoth();
    ASSERT_TRUE(core.HasXpd());
    EXPECT_NEAR(core.GetRf1Level(), 53.0, 0.01);
    EXPECT_EQ(core.GetDetectFlag(), 0);
    core.Carrier(0, 431000, -40.0);
    core.DeliverBoth();
    EXPECT_EQ(core.GetDetectFlag(), 1);

    core.entryAnswer = 70.0; // dBuV
    core.ExecuteCommand(CXpdAnalysis::kCmdDetectLevel, 0, 0, 0, 0, 0);
    EXPECT_EQ(core.entryUnit, CString("dBuV"));
    EXPECT_NEAR(core.entryShown, 63.0, 0.01);
    EXPECT_NEAR(core.GetDetectLevel(), -43.0, 0.01);
}

TEST_F(XpdTest, NoXpdIsTakenUntilBothPathsHoldMeasuredWordsOfTheCurrentGrid) {
    TestXpd core;
    Ready(core);
    core.GetControllers().m_activeFlag.store(1); // a period runs from the start
    core.Carrier(0, 431000, -20.0);
    core.Carrier(1, 431000, -60.0);
    const CString noData = GetTorvelString(CXPDButtonContext::kStrNoData);
    auto nothingTaken = [&](const char* when) {
        EXPECT_FALSE(core.HasXpd()) << when;
        EXPECT_EQ(core.GetAlarmFlag(), 0) << when;
        EXPECT_TRUE(core.GetAlarmLog().GetText().IsEmpty()) << when;
        EXPECT_EQ(core.GetControllers().m_valuesValid.load(), 0) << when;
        EXPECT_EQ(core.GetPanel().RowValue(0), noData) << when;
    };
    // The first sweep of each path only restarts its traces.
    core.SetPathSelect(0);
    core.Deliver();
    nothingTaken("RF1 restarted");
    core.Deliver();
    nothingTaken("RF2 restarted");
    core.Deliver();
    nothingTaken("RF1 measured, RF2 not");
    core.Deliver();
    ASSERT_TRUE(core.HasXpd());
    EXPECT_NEAR(core.GetXpdValue(), 40.0, 0.01);
    EXPECT_EQ(core.GetControllers().m_valuesValid.load(), 1);
    EXPECT_EQ(core.GetAlarmFlag(), 0);

    // A span command resets the traces, a logging refresh reinitialises them:
    // again nothing until both paths are measured.
    for (const char* when : {"reset", "refresh"}) {
        if (std::string(when) == "reset") {
            core.Reconfigure(TRUE);
        } else {
            for (int k = 0; k < CNormalAnalysis::kTraceStores; ++k) {
                core.PathStore(0, k).SetInitializedFlag(1);
                core.PathStore(1, k).SetInitializedFlag(1);
            }
        }
        core.SetPathSelect(0);
        for (int i = 0; i < 3; ++i) {
            core.Deliver();
            nothingTaken(when);
        }
        core.Deliver();
        EXPECT_TRUE(core.HasXpd()) << when;
        EXPECT_NEAR(core.GetXpdValue(), 40.0, 0.01) << when;
    }
}

// The detect flag is a level trigger: it rises, and so starts an active
// period, only once both paths were measured below the detect level. A
// carrier above it since the window started, and the fill of a refresh,
// raise nothing; a rise after a measured fall does.
TEST_F(XpdTest, TheDetectFlagRisesOnlyAfterThePathsWereMeasuredBelowTheDetectLevel) {
    TestXpd core;
    WriteProfileInt("XPDAnalysis_1", "DetectLevel", -5000);
    Ready(core);
    auto refresh = [&] {
        for (int k = 0; k < CNormalAnalysis::kTraceStores; ++k) {
            core.PathStore(0, k).SetInitializedFlag(1);
            core.PathStore(1, k).SetInitializedFlag(1);
        }
    };
    auto above = [&] {
        core.Carrier(0, 431000, -20.0);
        core.Carrier(1, 431000, -45.0);
    };
    above();
    for (int i = 0; i < 4; ++i) {
        core.DeliverBoth(); // i odd: the blocks after a refresh only restart the traces
        EXPECT_EQ(core.GetDetectFlag(), 0) << i;
        EXPECT_EQ(core.GetControllers().m_detectFlag.load(), 0) << i;
        EXPECT_EQ(core.GetDetectState(), kTriggerWaiting) << i;
        if (i % 2 == 0)
            refresh();
    }
    // Measured below: armed, nothing raised; above again: the flag rises.
    core.Carrier(0, 431000, -60.0);
    core.Carrier(1, 431000, -85.0);
    core.DeliverBoth();
    EXPECT_EQ(core.GetDetectFlag(), 0);
    EXPECT_EQ(core.GetDetectState(), kTriggerArmed);
    above();
    core.DeliverBoth();
    EXPECT_EQ(core.GetDetectFlag(), 1);
    EXPECT_EQ(core.GetControllers().m_detectFlag.load(), 1);
    // A refresh keeps the flag; only a measured fall lowers it.
    refresh();
    core.DeliverBoth();
    EXPECT_EQ(core.GetDetectFlag(), 1);
    core.Carrier(0, 431000, -60.0);
    core.Carrier(1, 431000, -85.0);
    core.DeliverBoth();
    EXPECT_EQ(core.GetDetectFlag(), 0);
}

TEST_F(XpdTest, ThePeakIsSearchedNearTheCentreAndTheStrongerPathChoosesIt) {
    TestXpd core;
    WriteProfileInt("XPDAnalysis_1", "TrackingDiv", 10); // +-200 kHz around 431000
    WriteProfileInt("XPDAnalysis_1", "DetectLevel", -3000);
    Ready(core);
    // RF1's strongest signal lies outside the search; inside, RF2 is the
    // stronger, first below the detect level, then above it.
    core.Carrier(0, 430100, -5.0);
    core.Carrier(1, 431150, -40.0);
    core.DeliverBoth();
    EXPECT_EQ(core.GetDetectFlag(), 0);
    core.Carrier(0, 430100, -5.0);
    core.Carrier(1, 431150, -20.0);
    core.block[0][static_cast<size_t>((430950 - 430000) / core.PathStore(0, 0).GetStep())] =
        static_cast<short>(-25 * 163.84);
    core.DeliverBoth();
    EXPECT_DOUBLE_EQ(core.GetPeakValue(), 431.15);
    EXPECT_NEAR(core.GetRf2Level(), -20.0, 0.01);
    EXPECT_NEAR(core.GetRf1Level(), -100.0, 0.01);
    EXPECT_EQ(core.GetDetectFlag(), 1); // RF2 is above -30 dB

    // A tracking divisor of 0 is taken as 1: the whole span is searched.
    TestXpd wide;
    WriteProfileInt("XPDAnalysis_1", "TrackingDiv", 0);
    Ready(wide);
    EXPECT_EQ(wide.GetTrackingDiv(), 1u);
    wide.Carrier(0, 430100, -5.0);
    wide.Carrier(1, 430100, -15.0);
    wide.DeliverBoth();
    EXPECT_DOUBLE_EQ(wide.GetPeakValue(), 430.1);
    EXPECT_NEAR(wide.GetXpdValue(), 10.0, 0.01);
}

TEST_F(XpdTest, ProfileKeysHaveTheirDefaultsAndSomeAreWrittenBackOnRead) {
    TestXpd core;
    WriteProfileInt("XPDAnalysis_1", "ActiveTime", 0);
    Ready(core);
    EXPECT_EQ(core.GetActiveTime(), 1); // 0 would divide by zero
    EXPECT_DOUBLE_EQ(core.GetAlarmValue(), 30.0);
    EXPECT_EQ(core.GetBaseWait(), 40);
    EXPECT_EQ(core.GetPrimaryPort(), "COM4");
    const char* s = "XPDAnalysis_1";
    EXPECT_EQ(GetProfileString(s, "PriMessage", "-"), "[RF1]");
    EXPECT_EQ(GetProfileString(s, "SecPortName", "-"), "COM5");
    EXPECT_EQ(GetProfileString(s, "AlarmValue", "-"), "3000");
    EXPECT_EQ(GetProfileString(s, "DownWait", "-"), "1000");
    EXPECT_EQ(GetProfileString(s, "CalValue", "-"), "0");
    EXPECT_EQ(GetProfileString(s, "YAxisOffset", "-"), "-");
    EXPECT_EQ(GetProfileString(s, "TrackingDiv", "-"), "-");
    EXPECT_EQ(GetProfileString(s, "BaseWait", "-"), "-");

    // Closing writes the edited values back (x 100, truncated).
    core.entryAnswer = 12.345;
    EXPECT_EQ(core.ExecuteCommand(CXpdAnalysis::kCmdAlarmValue, 0, 0, 0, 0, 0), kCommandRedraw);
    core.ExecuteCommand(CXpdAnalysis::kCmdYAxisOffset, -20, 0, 0, 0, 0);
    core.WriteProfile();
    EXPECT_EQ(GetProfileInt(s, "AlarmValue", 0), 1234);
    EXPECT_EQ(GetProfileInt(s, "YAxisOffset", 0), -20);
    EXPECT_EQ(GetProfileInt(s, "TrackingDiv", 0), 10);
}

TEST_F(XpdTest, CommandsEditTheLevelsTheOffsetAndTheAlarmLog) {
    TestXpd core;
    Ready(core);
    core.entryAnswer = DBL_MAX; // cancelled
    EXPECT_EQ(core.ExecuteCommand(CXpdAnalysis::kCmdDetectLevel, 0, 0, 0, 0, 0), kCommandDone);
    core.entryAnswer = NAN;
    EXPECT_EQ(core.ExecuteCommand(CXpdAnalysis::kCmdDetectLevel, 0, 0, 0, 0, 0), kCommandDone);
    EXPECT_DOUBLE_EQ(core.GetDetectLevel(), 0.0);
    core.entryAnswer = -42.5;
    EXPECT_EQ(core.ExecuteCommand(CXpdAnalysis::kCmdDetectLevel, 0, 0, 0, 0, 0), kCommandRedraw);
    EXPECT_DOUBLE_EQ(core.GetDetectLevel(), -42.5);
    EXPECT_EQ(core.entryTitles.back(), GetLibraryString(76));

    // The offset: entered and held to +-100, or toggled by a parameter.
    const double top = core.Graph().yMax;
    core.entryAnswer = 250;
    EXPECT_EQ(core.ExecuteCommand(CXpdAnalysis::kCmdYAxisOffsetEntry, 0, 0, 0, 0, 0),
              kCommandRedraw);
    EXPECT_EQ(core.GetYAxisOffset(), 100);
    EXPECT_EQ(core.entryTitles.back(), GetLibraryString(65));
    core.Reconfigure(FALSE);
    EXPECT_DOUBLE_EQ(core.Graph().yMax, top + 100);
    core.ExecuteCommand(CXpdAnalysis::kCmdYAxisOffset, 10, 0, 0, 0, 0);
    EXPECT_EQ(core.GetCommandState(CXpdAnalysis::kCmdYAxisOffset, 10, 0, 0, 0, 0), kStateTicked);
    core.ExecuteCommand(CXpdAnalysis::kCmdYAxisOffset, 10, 0, 0, 0, 0);
    EXPECT_EQ(core.GetYAxisOffset(), 0);
    // The captions start with the paths' messages.
    core.Reconfigure(FALSE);
    EXPECT_EQ(core.GetGraphInterface().GetGraph().GetCornerText(0)->Left(6), "[RF1] ");
    EXPECT_EQ(core.GetSecondGraph().GetGraph().GetCornerText(0)->Left(6), "[RF2] ");

    // The log is saved under the name typed (".TXT" added when it has no
    // extension), replacing the file, and cleared.
    core.GetAlarmLog().AppendText("2026/01/02  03:04 25.5dB");
    WriteWholeFile(m_dir.file("alarms.TXT"), "old contents that are longer than the log");
    core.fileAnswer = m_dir.file("alarms").c_str();
    core.ExecuteCommand(CXpdAnalysis::kCmdSaveLog, 0, 0, 0, 0, 0);
    EXPECT_EQ(ReadWholeFile(m_dir.file("alarms.TXT")), "2026/01/02  03:04 25.5dB\r\n");
    core.fileAnswer = m_dir.file("alarms.log").c_str();
    core.ExecuteCommand(CXpdAnalysis::kCmdSaveLog, 0, 0, 0, 0, 0);
    EXPECT_EQ(ReadWholeFile(m_dir.file("alarms.log")), "2026/01/02  03:04 25.5dB\r\n");
    EXPECT_EQ(CXpdAnalysis::AlarmLogPath("/a.b/log"), "/a.b/log.TXT");
    core.ExecuteCommand(CXpdAnalysis::kCmdClearLog, 0, 0, 0, 0, 0);
    EXPECT_TRUE(core.GetAlarmLog().GetText().IsEmpty());
}

TEST_F(XpdTest, TheSettingFileKeepsTheSixKeysAndLoadingNeedsThemAll) {
    TestXpd core;
    WriteProfileString("XPDAnalysis_1", "PriPortName", "/dev/ttyUSB0");
    WriteProfileInt("XPDAnalysis_1", "AlarmValue", 2575);
    Ready(core);
    ReleaseSettingFileObject();
    ASSERT_EQ(core.SaveSettings(), 1);
    int alarm = 0;
    ASSERT_EQ(GetSettingFileINT("XPD_CORE", "Alarm", &alarm), 1);
    EXPECT_EQ(alarm, 2575);
    CString port;
    ASSERT_EQ(GetSettingFileSTRING("XPD_CORE", "PriPortName", port), 1);
    EXPECT_EQ(port, "/dev/ttyUSB0");
    ASSERT_EQ(WriteSettingFileObject(m_dir.file("x.SPE").c_str()), 1);
    ReleaseSettingFileObject();
    EXPECT_NE(ReadWholeFile(m_dir.file("x.SPE")).find("[SEC_GRAPH_INTF]"), std::string::npos);

    TestXpd again;
    again.SetTitleIndex(1);
    ASSERT_EQ(LoadSettingFile(m_dir.file("x.SPE").c_str()), 1);
    EXPECT_EQ(again.LoadSettings(), 1);
    EXPECT_EQ(again.GetPrimaryPort(), "/dev/ttyUSB0");
    EXPECT_DOUBLE_EQ(again.GetAlarmValue(), 25.75);
    ReleaseSettingFileObject();

    // The band chosen comes back, whatever the window showed before loading.
    core.SetCenter(10000);
    core.SetSpan(2000);
    core.ExecuteCommand(CXpdAnalysis::kCmdYAxisOffset, -20, 0, 0, 0, 0);
    ReleaseSettingFileObject();
    ASSERT_EQ(core.SaveSettings(), 1);
    ASSERT_EQ(WriteSettingFileObject(m_dir.file("band.SPE").c_str()), 1);
    ReleaseSettingFileObject();
    TestXpd moved;
    Ready(moved);
    moved.SetCenter(431000);
    ASSERT_EQ(LoadSettingFile(m_dir.file("band.SPE").c_str()), 1);
    EXPECT_EQ(moved.LoadSettings(), 1);
    ReleaseSettingFileObject();
    EXPECT_EQ(moved.GetStart(), 9000);
    EXPECT_EQ(moved.GetStop(), 11000);
    EXPECT_EQ(moved.GetYAxisOffset(), -20);

    std::string text = ReadWholeFile(m_dir.file("x.SPE"));
    const size_t at = text.find("DownWait");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 8, "DownWaiX");
    WriteWholeFile(m_dir.file("y.SPE"), text);
    TestXpd third;
    ASSERT_EQ(LoadSettingFile(m_dir.file("y.SPE").c_str()), 1);
    EXPECT_EQ(third.LoadSettings(), 0);
    ReleaseSettingFileObject();
}

TEST_F(XpdTest, TheCsvFileHoldsBothPathsAndReadsBack) {
    TestXpd core;
    WriteProfileString("XPDAnalysis_1", "SecPortName", "/dev/pts/9");
    Ready(core);
    core.Carrier(0, 431000, -20.0);
    core.Carrier(1, 431000, -44.0);
    core.DeliverBoth();
    const std::string path = m_dir.file("x.CSV");
    ASSERT_EQ(core.WriteCSVFile(path.c_str()), 1);
    std::string text = ReadWholeFile(path);
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    const DWORD points = core.PathStore(0, 0).GetPoints();
    EXPECT_NE(text.find("Unit,1\nPriPortName,COM4\nSecPortName,/dev/pts/9\nBaseWait,40\n"
                        "DownWait,1000\nAlarmValue,30.000000\nDetectLevel,0.000000\n"),
              std::string::npos)
        << text.substr(0, 400);
    const size_t rf1 = text.find("RF1 Frequency,DataLine,Trace1,Trace2,Trace3,Trace4,Trace5\n");
    const size_t rf2 = text.find("RF2 Frequency,DataLine,Trace1,Trace2,Trace3,Trace4,Trace5\n");
    ASSERT_NE(rf1, std::string::npos);
    ASSERT_NE(rf2, std::string::npos);
    EXPECT_NE(text.find("431000,-44.00,", rf2), std::string::npos);
    EXPECT_EQ(std::count(text.begin() + static_cast<long>(rf1),
                         text.begin() + static_cast<long>(rf2), '\n'),
              static_cast<long>(points) + 1);

    TestXpd back;
    back.SetTitleIndex(1);
    back.ReadProfile();
    ASSERT_EQ(back.ReadCSVSections(path.c_str()), 1);
    EXPECT_EQ(back.GetSecondaryPort(), "/dev/pts/9");
    EXPECT_EQ(back.PathStore(1, 0).GetPoints(), points);
    EXPECT_NEAR(back.PathStore(1, 0).Level(431000), -44.0, 0.01);
    EXPECT_NEAR(back.PathStore(0, 0).Level(431000), -20.0, 0.01);
    // The panel shows the XPD of the data read, not a placeholder.
    EXPECT_NEAR(back.GetXpdValue(), 24.0, 0.01);
    EXPECT_NEAR(std::atof(back.GetPanel().RowValue(0)), 24.0, 0.02);
}

TEST_F(XpdTest, APathWithoutASignalAboveItsNoiseShowsWhyAndGivesNoXpdOrAlarm) {
    TestXpd core;
    Ready(core);
    // A new window opens at 0 dB attenuation, where the second path's
    // carriers stand above the noise floor.
    EXPECT_EQ(core.GetAttenuation(), 0);
    // Nothing swept yet: no data, not a level of -199 dB or an XPD of 0 dB.
    EXPECT_FALSE(core.HasXpd());
    EXPECT_EQ(core.GetPanel().RowValue(0), GetTorvelString(CXPDButtonContext::kStrNoData));
    EXPECT_EQ(core.GetPanel().RowValue(1), GetTorvelString(CXPDButtonContext::kStrNoData));

    core.Carrier(0, 431000, -20.0);
    core.Carrier(1, 431000, -44.0);
    core.DeliverBoth();
    ASSERT_TRUE(core.HasXpd());
    EXPECT_NEAR(std::atof(core.GetPanel().RowValue(0)), 24.0, 0.02);
    EXPECT_EQ(core.GetPanel().RowValue(0).Right(2), "dB");
    EXPECT_EQ(core.GetPanel().RowValue(1), "-20.00dBm");
    EXPECT_EQ(core.GetPanel().RowValue(2), "-44.00dBm");

    // RF2 only 3 dB above its floor: no XPD, the controllers keep the last one.
    core.Carrier(1, 431000, -97.0);
    core.DeliverBoth();
    EXPECT_FALSE(core.HasXpd());
    EXPECT_EQ(core.GetPanel().RowValue(0), GetTorvelString(2407));
    EXPECT_EQ(core.GetPanel().RowValue(1), "-20.00dBm");
    EXPECT_EQ(core.GetPanel().RowValue(2), GetTorvelString(2407));
    EXPECT_NEAR(core.GetControllers().m_xpdValue.load(), 24.0, 0.01);
    // In an active period noise raises no alarm and logs nothing.
    core.GetControllers().m_activeFlag.store(1);
    core.DeliverBoth();
    EXPECT_EQ(core.GetAlarmFlag(), 0);
    EXPECT_EQ(core.GetDetectFlag(), 0);
    EXPECT_TRUE(core.GetAlarmLog().GetText().IsEmpty());
}

TEST_F(XpdTest, LevelsWaitsAndTimesFromFilesAreHeldToTheirRanges) {
    // The profile: an alarm value of 21474836 dB and a base wait of 24 days.
    const char* s = "XPDAnalysis_1";
    WriteProfileInt(s, "AlarmValue", 2147483647);
    WriteProfileInt(s, "DetectLevel", -2147483647);
    WriteProfileInt(s, "CalValue", 2147483647);
    WriteProfileInt(s, "BaseWait", 2147483647);
    WriteProfileInt(s, "ActiveTime", 50000000);
    TestXpd core;
    Ready(core);
    EXPECT_DOUBLE_EQ(core.GetAlarmValue(), 30.0);
    EXPECT_DOUBLE_EQ(core.GetDetectLevel(), 0.0);
    EXPECT_DOUBLE_EQ(core.GetCalValue(), 0.0);
    EXPECT_EQ(core.GetBaseWait(), CXpdControllerLink::kMaxBaseWaitMs);
    EXPECT_EQ(core.GetActiveTime(), CXpdControllerLink::kMaxActiveTime);
    // Nor does an entry take a level beyond the analyser's.
    core.entryAnswer = 1e300;
    core.ExecuteCommand(CXpdAnalysis::kCmdAlarmValue, 0, 0, 0, 0, 0);
    EXPECT_DOUBLE_EQ(core.GetAlarmValue(), 30.0);

    // A setting file's alarm of 21474836 dB is refused, its base wait held.
    core.entryAnswer = 25.0;
    core.ExecuteCommand(CXpdAnalysis::kCmdAlarmValue, 0, 0, 0, 0, 0);
    ReleaseSettingFileObject();
    ASSERT_EQ(core.SaveSettings(), 1);
    WriteSettingFileINT("XPD_CORE", "Alarm", 2147483647);
    WriteSettingFileINT("XPD_CORE", "BaseWait", 2147483647);
    TestXpd loaded;
    loaded.SetTitleIndex(1);
    loaded.LoadSettings();
    EXPECT_DOUBLE_EQ(loaded.GetAlarmValue(), 30.0);
    EXPECT_EQ(loaded.GetBaseWait(), CXpdControllerLink::kMaxBaseWaitMs);
    ReleaseSettingFileObject();

    // A CSV file: no number, not finite or beyond the levels keeps the value.
    const std::string path = m_dir.file("x.CSV");
    ASSERT_EQ(core.WriteCSVFile(path.c_str()), 1);
    const std::string text = ReadWholeFile(path);
    for (const char* bad : {"nan", "inf", "-inf", "1e300", "25dB", ""}) {
        std::string t = text;
        const size_t at = t.find("AlarmValue,");
        t.replace(at, t.find('\n', at) - at, std::string("AlarmValue,") + bad);
        const size_t wait = t.find("BaseWait,");
        t.replace(wait, t.find('\n', wait) - wait, "BaseWait,2147483647");
        WriteWholeFile(path, t);
        TestXpd back;
        back.SetTitleIndex(1);
        back.ReadProfile();
        ASSERT_EQ(back.ReadCSVSections(path.c_str()), 1) << bad;
        EXPECT_DOUBLE_EQ(back.GetAlarmValue(), 30.0) << bad;
        EXPECT_EQ(back.GetBaseWait(), CXpdControllerLink::kMaxBaseWaitMs) << bad;
        back.WriteProfile();
        EXPECT_EQ(GetProfileInt(s, "AlarmValue", 0), 3000) << bad;
    }
}

// The window's panes in a host.
class XpdWindowTest : public XpdTest {
protected:
    void Panes(TestXpd& core) { core.CreatePanes(&m_parent, new QWidget); }
    // A loaded machine can hold a pseudo-terminal's bytes up for seconds at a
    // time, and the worker misses a reply in every round meanwhile: waits on
    // the emulated controllers are long.
    static constexpr std::chrono::minutes kPtyBound{1};
    QWidget m_parent;
};

TEST_F(XpdWindowTest, OnlyAMeasuringWindowDrivesTheControllersAndOnlyOnItsOwnPorts) {
    PtyController pri, sec, first, second;
    {
        // The user's ports come from the profile, after the panes.
        WriteProfileString("XPDAnalysis_1", "PriPortName", pri.Path().c_str());
        WriteProfileString("XPDAnalysis_1", "SecPortName", sec.Path().c_str());
        TestXpd core;
        core.SetTitleIndex(1);
        Panes(core);
        EXPECT_FALSE(core.GetControllers().IsWorkerRunning());
        core.ReadProfile();
        core.Reconfigure(TRUE);
        ASSERT_TRUE(core.GetControllers().IsWorkerRunning());
        ASSERT_TRUE(PumpUntil([&] { return sec.Register('R', 0) == 0x2000u; }, kPtyBound));

        // Loaded settings with new port names move the controllers.
        ReleaseSettingFileObject();
        ASSERT_EQ(core.SaveSettings(), 1);
        CString moved = first.Path().c_str();
        WriteSettingFileSTRING("XPD_CORE", "PriPortName", moved);
        core.LoadSettings();
        ReleaseSettingFileObject();
        ASSERT_TRUE(PumpUntil([&] { return first.Register('R', 0) == 0x2000u; }, kPtyBound));
        // The move is done: the old port is written nothing more. What was
        // written to it before (the rounds' frames, the writes that leave its
        // controller inactive) may reach it only now.
        pri.TakeAll();
        const size_t left = pri.Frames().size();
        const int reads = first.Count("?01WDR0020");
        ASSERT_TRUE(PumpUntil([&] { return first.Count("?01WDR0020") >= reads + 2; }, kPtyBound));
        pri.TakeAll();
        EXPECT_EQ(pri.Frames().size(), left);

        // A window showing a data file named the same ports writes nothing.
        const std::string path = m_dir.file("x.CSV");
        ASSERT_EQ(core.WriteCSVFile(path.c_str()), 1);
        std::string text = ReadWholeFile(path);
        const size_t at = text.find("PriPortName,");
        text.replace(at, text.find('\n', at) - at, "PriPortName," + second.Path());
        WriteWholeFile(path, text);
        {
            TestXpd shown;
            shown.SetTitleIndex(1);
            Panes(shown);
            shown.ReadProfile();
            shown.SetAnalyzeFlag(0);
            ASSERT_EQ(shown.ReadCSVSections(path.c_str()), 1);
            EXPECT_FALSE(shown.GetControllers().IsWorkerRunning());
            shown.Stop();
        }
        EXPECT_TRUE(second.Frames().empty());

        // At close a controller that cannot be reached is reported.
        CString warned;
        core.GetLoggingOutput().Prompts().warning = [&](const CString& t) { warned = t; };
        sec.Disappear();
        core.Stop();
        EXPECT_NE(core.GetAlarmLog().GetText().Find(sec.Path().c_str()), -1);
        ASSERT_TRUE(PumpUntil([&] { return !warned.IsEmpty(); }));
        EXPECT_NE(warned.Find(sec.Path().c_str()), -1);
        EXPECT_EQ(first.Register('R', 0), 0x2000u);
    }
}

} // namespace
