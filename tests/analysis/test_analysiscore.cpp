// Analysis core: ids, the common command table and its states, leaving the
// rotation around window actions, the profile keys with the RBW check, the
// TORVEL_CORE section of a setting data file, and drawing with grey scale.
#include "analysis/analysiscore.h"

#include "analysis/alarmlistener.h"
#include "analysis/framelink.h"
#include "app/mainframe.h"
#include "lib/settingfile.h"
#include "platform/dc.h"
#include "platform/msgwindow.h"
#include "platform/profile.h"
#include "testutil.h"

#include <QImage>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <vector>

namespace {

// A core with a data line, five traces and device facts given by the test.
class TestCore : public CAnalysisCore {
public:
    TestCore() : CAnalysisCore(nullptr, nullptr) {}

    int GetAnalysisType() override { return 1; }
    int GetRBWKindMask() override { return 7; }
    CString GetProfileSection() override { return "TestAnalysis_1"; }
    CTraceStore* GetDataLine() override { return &line; }
    CTraceStore* GetTrace(int k) override {
        return k >= 1 && k <= kTraceCount ? &traces[k - 1] : nullptr;
    }
    void ShowTrace(int k, BOOL show) override { shown[k] = show; }
    int OnPrintRequest() override {
        ++prints;
        flagDuringAction = GetAnalyzeFlag();
        return printResult;
    }
    void SetTimeStamp(const CString& text, BOOL show) override {
        stamps.push_back(show ? text : CString("<hidden>"));
    }
    void DrawView(CDC* dc, const CRect& rect) override {
        dc->FillSolidRect(&rect, background);
        dc->SetPixel(10, 10, RGB(255, 0, 0));
        dc->SetPixel(11, 10, RGB(255, 255, 255));
        dc->SetPixel(12, 10, RGB(0, 0, 0));
        dc->SetPixel(13, 10, RGB(30, 60, 90));
    }
    COLORREF GetGraphBackgroundColor() override { return background; }
    void ShowTechnicalAlarm(bool raised, const CString& text) override {
        technical.emplace_back(raised, text);
    }

    std::vector<std::pair<bool, CString>> technical;
    std::map<int, int> rbw{{0, 1000}, {1, 300}, {2, 100}}; // index -> step kHz
    std::vector<int> kindsAsked;

    CTraceStore line;
    CTraceStore traces[kTraceCount];
    std::map<int, BOOL> shown;
    int prints = 0;
    int flagDuringAction = -1;
    int printResult = kCommandDone;
    std::vector<CString> stamps;
    COLORREF background = RGB(0, 0, 64);

protected:
    int DeviceRBWFrequency(int kind, int index) override {
        kindsAsked.push_back(kind);
        auto it = rbw.find(index);
        return it == rbw.end() ? 0 : it->second;
    }
    double DeviceZeroReferenceLevel() override { return -10.0; }
    int DeviceMaxAttenuation() override { return 50; }
    int DeviceAttenuatorStep() override { return 10; }
};

int Exec(CAnalysisCore& core, int action, int p1 = 0) {
    return core.ExecuteCommand(action, p1, 0, 0, 0, 0);
}
int State(CAnalysisCore& core, int action, int p1 = 0) {
    return core.GetCommandState(action, p1, 0, 0, 0, 0);
}

// A main frame stand-in that records WM_SCHEDULE_NEXT; as the core's link to
// the shell it sends and posts that message to itself as the main frame does.
class ScheduleSink : public CWnd, public CFrameLink {
public:
    HWND GetMainWindow() override { return GetSafeHwnd(); }
    void PostScheduleNext(LPARAM coreId) override { PostMessage(WM_SCHEDULE_NEXT, 0, coreId); }
    void ScheduleNow(LPARAM coreId) override { SendMessage(WM_SCHEDULE_NEXT, 0, coreId); }
    void RefreshCommandStates() override {}
    void ExecuteCommandId(int) override {}
    unsigned GetOutputFlags() override { return 0; }
    void SetCoreTimer(CAnalysisCore*, UINT, UINT) override {}
    CViewWindow* GetViewWindow(CChildFrame*) override { return nullptr; }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_SCHEDULE_NEXT) {
            messages.push_back({static_cast<int>(wParam), static_cast<int>(lParam)});
        }
        return 0;
    }
    std::vector<std::pair<int, int>> messages;
};

} // namespace

TEST(AnalysisCore, IdsWrapAfter255AndSkipIdsThatLiveCoresHold) {
    std::vector<std::unique_ptr<TestCore>> cores;
    std::set<int> ids;
    for (int i = 0; i < kMaxCoreId; ++i) {
        cores.push_back(std::make_unique<TestCore>());
        const int id = cores.back()->GetId();
        ASSERT_GE(id, 1);
        ASSERT_LE(id, kMaxCoreId);
        if (i > 0) { // one up from the last, and 1 again after 255
            EXPECT_EQ(id, cores[cores.size() - 2]->GetId() % kMaxCoreId + 1);
        }
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), static_cast<size_t>(kMaxCoreId));

    // All ids are live: a further core gets none, and it costs no id later.
    {
        TestCore refused;
        EXPECT_EQ(refused.GetId(), 0);
    }
    // Ids that closed cores gave back are handed out again, and only those,
    // whatever the counter passes on its way.
    std::set<int> freed;
    for (size_t k : {size_t{0}, size_t{100}, size_t{254}}) {
        freed.insert(cores[k]->GetId());
        cores[k].reset();
    }
    std::set<int> reused;
    std::vector<std::unique_ptr<TestCore>> more;
    for (int i = 0; i < 3; ++i) {
        more.push_back(std::make_unique<TestCore>());
        reused.insert(more.back()->GetId());
        EXPECT_EQ(more.back()->GetTaskTag(), more.back()->GetId());
    }
    EXPECT_EQ(reused, freed);
    TestCore none;
    EXPECT_EQ(none.GetId(), 0);
}

TEST(AnalysisCoreCommands, ScaleUnitAndReferenceEdges) {
    TestCore core;
    EXPECT_EQ(Exec(core, 31, 3), kCommandRedraw);
    EXPECT_EQ(core.GetScale(), 3);
    EXPECT_EQ(Exec(core, 31, 0), kCommandRedraw);
    EXPECT_EQ(core.GetScale(), 3);
    EXPECT_EQ(Exec(core, 31, 4), kCommandRedraw);
    EXPECT_EQ(core.GetScale(), 3);
    EXPECT_EQ(State(core, 31, 3), kStateTicked);
    EXPECT_EQ(State(core, 31, 1), kStateUnticked);

    // A new unit shows the same measurement: every measured word of every
    // store is re-mapped, the no-sample and fill words stay, and the holds
    // go on (no reset).
    for (CTraceStore* s : {core.GetDataLine(), core.GetTrace(5)}) {
        s->Configure(100000, 100, 4);
        const short words[] = {-4915, 0, kNoSample, kLowestLevel};
        s->SetInitializedFlag(0);
        s->StoreBlock(words, 4, 0, TRUE);
    }
    EXPECT_EQ(Exec(core, 32, 2), kCommandRedraw);
    EXPECT_EQ(core.GetUnit(), 2);
    EXPECT_EQ(core.GetDataLine()->GetUnit(), 2);
    EXPECT_EQ(core.GetTrace(5)->GetUnit(), 2);
    for (CTraceStore* s : {core.GetDataLine(), core.GetTrace(5)}) {
        EXPECT_EQ(s->GetData()[0], -4915 + kUnitOffsetDbuv113);
        EXPECT_EQ(s->GetData()[1], kUnitOffsetDbuv113);
        EXPECT_EQ(s->GetData()[2], kNoSample);
        EXPECT_EQ(s->GetData()[3], kLowestLevel);
        EXPECT_EQ(s->GetInitializedFlag(), 0);
    }
    EXPECT_EQ(Exec(core, 32, 3), kCommandRedraw);
    EXPECT_EQ(core.GetTrace(5)->GetData()[0], -4915 + kUnitOffsetDbuv107);
    EXPECT_EQ(Exec(core, 32, 5), kCommandRedraw); // any other unit is unit 1
    EXPECT_EQ(core.GetUnit(), 1);
    EXPECT_EQ(core.GetTrace(3)->GetUnit(), 1);
    EXPECT_EQ(core.GetDataLine()->GetData()[0], -4915);
    EXPECT_EQ(State(core, 32, 1), kStateTicked);
    EXPECT_EQ(State(core, 32, 5), kStateUnticked);

    EXPECT_EQ(Exec(core, 33, 4), kCommandRedraw);
    EXPECT_EQ(core.GetReferencePosition(), 4);
    EXPECT_EQ(State(core, 33, 4), kStateTicked);
    EXPECT_EQ(Exec(core, 17, 20), kCommandRedraw);
    EXPECT_EQ(core.GetAttenuation(), 20);
    EXPECT_EQ(State(core, 17, 20), kStateTicked);
    EXPECT_EQ(State(core, 17, 30), kStateUnticked);
}

TEST(AnalysisCoreCommands, HoldsAreNeverBothOn) {
    TestCore core;
    EXPECT_EQ(Exec(core, 25), kCommandRedraw);
    EXPECT_EQ(core.GetMaxHoldFlag(), 1);
    EXPECT_EQ(Exec(core, 26), kCommandRedraw);
    EXPECT_EQ(core.GetMinHoldFlag(), 1);
    EXPECT_EQ(core.GetMaxHoldFlag(), 0);
    EXPECT_EQ(State(core, 25), kStateUnticked);
    EXPECT_EQ(State(core, 26), kStateTicked);
    Exec(core, 25);
    EXPECT_EQ(core.GetMaxHoldFlag(), 1);
    EXPECT_EQ(core.GetMinHoldFlag(), 0);
    Exec(core, 25); // switching off leaves both off
    EXPECT_EQ(core.GetMaxHoldFlag() | core.GetMinHoldFlag(), 0);
}

TEST(AnalysisCoreCommands, RbwIsRefusedWhenTheDeviceGivesZero) {
    TestCore core;
    EXPECT_EQ(Exec(core, 24, 2), kCommandReset);
    EXPECT_EQ(core.GetRBWIndex(), 2);
    EXPECT_EQ(Exec(core, 24, 5), kCommandDone); // step 0: not usable
    EXPECT_EQ(core.GetRBWIndex(), 2);
    EXPECT_EQ(Exec(core, 24, 14), kCommandDone);
    EXPECT_EQ(Exec(core, 24, -1), kCommandDone);
    EXPECT_EQ(core.GetRBWIndex(), 2);
    EXPECT_EQ(State(core, 24, 2), kStateTicked);
    EXPECT_EQ(State(core, 24, 0), kStateUnticked);
    EXPECT_EQ(State(core, 24, 5), kStateDisabledUnticked);
    for (int kind : core.kindsAsked) {
        EXPECT_EQ(kind, 7);
    }
}

TEST(AnalysisCoreCommands, GreyScaleAnalyseFlagAndLoggingTrigger) {
    TestCore core;
    ScheduleSink main;
    core.SetFrameLink(&main);
    EXPECT_EQ(Exec(core, 14, 2), kCommandDone);
    EXPECT_EQ(core.GetGreyScaleFlag(), 1);
    EXPECT_EQ(State(core, 14, 2), kStateTicked);
    EXPECT_EQ(State(core, 14, 1), kStateUnticked);
    Exec(core, 14, 1);
    EXPECT_EQ(core.GetGreyScaleFlag(), 0);
    EXPECT_EQ(State(core, 14, 1), kStateTicked);

    EXPECT_EQ(Exec(core, 16), kCommandDone);
    EXPECT_EQ(core.GetAnalyzeFlag(), 1);
    EXPECT_EQ(State(core, 16), kStateTicked);
    Exec(core, 16);
    EXPECT_EQ(core.GetAnalyzeFlag(), 0);
    PumpEvents();
    const std::pair<int, int> stop{0, core.GetId()};
    EXPECT_EQ(main.messages, (std::vector<std::pair<int, int>>{stop, stop}));

    EXPECT_EQ(Exec(core, 49, 1), kCommandRedraw);
    EXPECT_EQ(core.GetLoggingTriggerFlag(), 1);
    EXPECT_EQ(State(core, 49, 1), kStateTicked);
    EXPECT_EQ(State(core, 49, 0), kStateUnticked);
}

TEST(AnalysisCoreCommands, MarkerAndTraceSelectionToggle) {
    TestCore core;
    Exec(core, 34, 2);
    EXPECT_EQ(core.GetCurrentMarkerIndex(), 2);
    EXPECT_EQ(State(core, 34, 2), kStateTicked);
    Exec(core, 34, 2); // selecting the selected marker selects none
    EXPECT_EQ(core.GetCurrentMarkerIndex(), 0);
    EXPECT_EQ(State(core, 34, 0), kStateUnticked);
    Exec(core, 34, 9);
    EXPECT_EQ(core.GetCurrentMarkerIndex(), 0);

    Exec(core, 47, 3);
    EXPECT_EQ(core.GetCurrentTraceIndex(), 3);
    Exec(core, 47, 3);
    EXPECT_EQ(core.GetCurrentTraceIndex(), 0);

    // Without markers the marker commands change nothing and show disabled.
    EXPECT_EQ(Exec(core, 38, 1), kCommandDone);
    EXPECT_EQ(State(core, 38, 1), kStateDisabledUnticked);
    EXPECT_EQ(State(core, 36), kStateDisabled);
}

TEST(AnalysisCoreCommands, CurrentTraceState) {
    TestCore core;
    EXPECT_EQ(Exec(core, 48, 2), kCommandDone); // no trace selected
    EXPECT_EQ(State(core, 48, 2), kStateDisabledUnticked);

    Exec(core, 47, 3);
    CTraceStore* trace = core.GetTrace(3);
    EXPECT_EQ(Exec(core, 48, 2), kCommandRedraw);
    EXPECT_EQ(trace->GetTraceState(), kTraceMaxHold);
    EXPECT_TRUE(core.shown[3]);
    EXPECT_EQ(State(core, 48, 2), kStateTicked);
    EXPECT_EQ(State(core, 48, 3), kStateUnticked);

    Exec(core, 48, 2); // the state it already has turns it off
    EXPECT_EQ(trace->GetTraceState(), kTraceOff);
    EXPECT_FALSE(core.shown[3]);

    Exec(core, 48, 1);
    EXPECT_EQ(trace->GetTraceState(), kTraceWrite);
    Exec(core, 48, 3);
    EXPECT_EQ(trace->GetTraceState(), kTraceMinHold);
    Exec(core, 48, 4);
    EXPECT_EQ(trace->GetTraceState(), kTraceView);
    Exec(core, 48, 9);
    EXPECT_EQ(trace->GetTraceState(), kTraceOff);
    EXPECT_EQ(State(core, 48, 9), kStateTicked);
    EXPECT_EQ(core.GetTrace(1)->GetTraceState(), kTraceWrite); // other traces untouched
}

TEST(AnalysisCoreCommands, UnknownAndModeActionsAreNotHandled) {
    TestCore core;
    EXPECT_EQ(Exec(core, 101), kCommandNotHandled);
    EXPECT_EQ(State(core, 101), kStateUnticked);
    EXPECT_EQ(Exec(core, 19), kCommandNotHandled);
    EXPECT_EQ(Exec(core, 36), kCommandNotHandled);
    EXPECT_EQ(Exec(core, 51), kCommandNotHandled);
    EXPECT_EQ(Exec(core, 22, 5000), kCommandReset);
}

TEST(AnalysisCoreRotation, WindowActionsRunOutsideTheRotation) {
    TestCore core;
    ScheduleSink main;
    core.SetFrameLink(&main);
    core.SetAnalyzeFlag(1);
    core.printResult = 7;
    EXPECT_EQ(Exec(core, 7), 7);
    EXPECT_EQ(core.prints, 1);
    EXPECT_EQ(core.flagDuringAction, 0);
    EXPECT_EQ(core.GetAnalyzeFlag(), 1);
    // The stop request is sent at once, the restart is posted.
    ASSERT_EQ(main.messages.size(), 1u);
    EXPECT_EQ(main.messages[0], std::make_pair(0, core.GetId()));
    PumpEvents();
    ASSERT_EQ(main.messages.size(), 2u);
    EXPECT_EQ(main.messages[1], std::make_pair(0, 0));

    // A core that was not analysing stays out of the rotation.
    core.SetAnalyzeFlag(0);
    main.messages.clear();
    Exec(core, 7);
    EXPECT_EQ(core.GetAnalyzeFlag(), 0);
    PumpEvents();
    EXPECT_EQ(main.messages.size(), 2u);

    // Nested: only the outermost action leaves and rejoins.
    core.SetAnalyzeFlag(1);
    main.messages.clear();
    core.RunOutsideRotation([&] { return Exec(core, 7); });
    EXPECT_EQ(core.GetAnalyzeFlag(), 1);
    PumpEvents();
    EXPECT_EQ(main.messages.size(), 2u);
}

TEST(AnalysisCoreProfile, DefaultsRoundTripAndRbwCheck) {
    TempDir dir;
    SetProfileFile(dir.file("TORVEL.INI").c_str());
    {
        TestCore core;
        core.ReadProfile(); // empty profile: the defaults
        EXPECT_EQ(core.GetAttenuation(), 30);
        EXPECT_EQ(core.GetReferencePosition(), 9);
        EXPECT_EQ(core.GetRBWIndex(), 1);
        EXPECT_EQ(core.GetCatcherRate(), -1);
        EXPECT_EQ(core.GetRejectionRate(), 5);
        EXPECT_EQ(core.GetOffsetLoadFailed(), 0);
    }
    WriteProfileInt("TestAnalysis_1", "AnalyzeFlag", 1);
    WriteProfileInt("TestAnalysis_1", "AttValue", 20);
    WriteProfileInt("TestAnalysis_1", "UnitFlag", 3);
    WriteProfileInt("TestAnalysis_1", "RefPosition", 5);
    WriteProfileInt("TestAnalysis_1", "RBWIndex", 7); // not usable: the first usable one
    WriteProfileInt("TestAnalysis_1", "Scale", 2);
    WriteProfileInt("TestAnalysis_1", "CatcherRate", 4);
    WriteProfileInt("TestAnalysis_1", "RejectionRate", 9);
    {
        TestCore core;
        core.rbw = {{3, 50}, {4, 20}};
        core.ReadProfile();
        EXPECT_EQ(core.GetAnalyzeFlag(), 1);
        EXPECT_EQ(core.GetAttenuation(), 20);
        EXPECT_EQ(core.GetUnit(), 3);
        EXPECT_EQ(core.GetReferencePosition(), 5);
        EXPECT_EQ(core.GetRBWIndex(), 3);
        EXPECT_EQ(core.GetScale(), 2);
        EXPECT_EQ(core.GetCatcherRate(), 4);
        EXPECT_EQ(core.GetRejectionRate(), 9);

        core.rbw.clear(); // no usable index at all
        core.ReadProfile();
        EXPECT_EQ(core.GetRBWIndex(), -1);
        core.WriteProfile();
    }
    EXPECT_EQ(GetProfileInt("TestAnalysis_1", "RBWIndex", 99), -1);
    EXPECT_EQ(GetProfileInt("TestAnalysis_1", "AttValue", 99), 20);
    EXPECT_EQ(GetProfileString("TestAnalysis_1", "OffsetFile", "x"), "");

    // An offset file that cannot be read switches the offset off and says so.
    WriteProfileInt("TestAnalysis_1", "OffsetFlag", 1);
    WriteProfileString("TestAnalysis_1", "OffsetFile", dir.file("missing.txt").c_str());
    {
        TestCore core;
        core.ReadProfile();
        EXPECT_EQ(core.GetOffsetFlag(), 0);
        EXPECT_EQ(core.GetOffsetFileName(), "");
        EXPECT_EQ(core.GetOffsetLoadFailed(), 1);
    }
}

TEST(AnalysisCoreSettings, TorvelCoreRoundTripInOrder) {
    TempDir dir;
    const std::string path = dir.file("window.SPE");
    ReleaseSettingFileObject();
    TestCore a;
    a.SetTitle("Normal 1");
    a.SetTitleIndex(2);
    a.SetAnalyzeFlag(1);
    Exec(a, 17, 10);
    Exec(a, 34, 4);
    Exec(a, 47, 2);
    Exec(a, 32, 2);
    Exec(a, 26);
    Exec(a, 33, 3);
    Exec(a, 24, 0);
    Exec(a, 31, 2);
    Exec(a, 14, 2);
    Exec(a, 49, 1);
    a.GetLoggingParam().m_TargetDir = "/tmp/logs";
    a.GetLoggingParam().m_StartTime = CTime(2024, 3, 1, 10, 0, 0);
    a.GetLoggingParam().m_StopTime = CTime(2024, 3, 2, 11, 30, 15);
    a.GetLoggingParam().m_TimeSpan = CTimeSpan(0, 1, 2, 3);
    a.GetLoggingParam().m_RefreshFlag = 1;
    a.GetLoggingParam().m_StartFlag = 1;
    a.GetLoggingParam().m_StopFlag = 0;
    a.GetLoggingParam().m_OutFlags = 6;
    ASSERT_EQ(a.SaveSettings(), 1);
    ASSERT_EQ(WriteSettingFileObject(path.c_str()), 1);
    ReleaseSettingFileObject();

    const std::string expected =
        "[TORVEL_CORE]\r\nAnalysisType=1\r\nTitle=Normal 1\r\nTitleIndex=2\r\nAnalyzeFlag=1\r\n"
        "AttValue=10\r\nCurrentMarkerIndex=4\r\nCurrentTraceIndex=2\r\nUnitFlag=2\r\n"
        "MaxHoldFlag=0\r\nMinHoldFlag=1\r\nReferencePosition=3\r\nRBWIndex=0\r\nScaleFlag=2\r\n"
        "GlayScaleFlag=1\r\nCatcherRate=-1\r\nRejectionRate=5\r\nLoggingTriggerFlag=1\r\n"
        "LogTargetDir=/tmp/logs\r\nLogStartTime=2024,3,1,10,0,0\r\n"
        "LogStopTime=2024,3,2,11,30,15\r\nLoggingTimeSpan=0,1,2,3\r\nLogRefreshFlag=1\r\n"
        "LogStartFlag=1\r\nLogStopFlag=0\r\nLogOutFlag=6\r\nOffsetEnableFlag=0\r\n"
        "OffsetFileName=\r\n";
    EXPECT_NE(ReadWholeFile(path).find(expected), std::string::npos) << ReadWholeFile(path);

    // Loaded into an open window of another variant: the window keeps its own
    // title and title index, so its profile section stays its own.
    ASSERT_EQ(LoadSettingFile(path.c_str()), 1);
    TestCore b;
    b.SetTitle("Normal 3");
    b.SetTitleIndex(3);
    EXPECT_EQ(b.LoadSettings(), 1);
    ReleaseSettingFileObject();
    EXPECT_EQ(b.GetTitle(), "Normal 3");
    EXPECT_EQ(b.GetTitleIndex(), 3);
    EXPECT_EQ(b.GetAnalyzeFlag(), 1);
    EXPECT_EQ(b.GetAttenuation(), 10);
    EXPECT_EQ(b.GetCurrentMarkerIndex(), 4);
    EXPECT_EQ(b.GetCurrentTraceIndex(), 2);
    EXPECT_EQ(b.GetUnit(), 2);
    EXPECT_EQ(b.GetMinHoldFlag(), 1);
    EXPECT_EQ(b.GetMaxHoldFlag(), 0);
    EXPECT_EQ(b.GetReferencePosition(), 3);
    EXPECT_EQ(b.GetRBWIndex(), 0);
    EXPECT_EQ(b.GetScale(), 2);
    EXPECT_EQ(b.GetGreyScaleFlag(), 1);
    EXPECT_EQ(b.GetLoggingTriggerFlag(), 1);
    const CLoggingParam& log = b.GetLoggingParam();
    EXPECT_EQ(log.m_TargetDir, "/tmp/logs");
    EXPECT_EQ(log.m_StartTime, CTime(2024, 3, 1, 10, 0, 0));
    EXPECT_EQ(log.m_StopTime, CTime(2024, 3, 2, 11, 30, 15));
    EXPECT_EQ(log.m_TimeSpan.GetTotalSeconds(), 3723);
    EXPECT_EQ(log.m_RefreshFlag, 1);
    EXPECT_EQ(log.m_StartFlag, 1);
    EXPECT_EQ(log.m_StopFlag, 0);
    EXPECT_EQ(log.m_OutFlags, 6);
}

TEST(AnalysisCoreSettings, MissingItemsFailAndOutsideValuesAreBroughtIntoRange) {
    TempDir dir;
    const std::string path = dir.file("bad.SPE");
    WriteWholeFile(path, "Torvel Version2 Setting Data File\n[TORVEL_CORE]\nAttValue=25\n"
                         "CurrentMarkerIndex=77\nCurrentTraceIndex=-3\nUnitFlag=9\n"
                         "MaxHoldFlag=1\nMinHoldFlag=1\nScaleFlag=0\nRBWIndex=12\n"
                         "ReferencePosition=-40\n");
    ReleaseSettingFileObject();
    ASSERT_EQ(LoadSettingFile(path.c_str()), 1);
    TestCore core;
    EXPECT_EQ(core.LoadSettings(), 0);
    ReleaseSettingFileObject();
    EXPECT_EQ(core.GetAttenuation(), 20); // what is there is taken, cut to the 10 dB steps
    EXPECT_EQ(core.GetReferencePosition(), 0);
    EXPECT_EQ(core.GetCurrentMarkerIndex(), 0);
    EXPECT_EQ(core.GetCurrentTraceIndex(), 0);
    EXPECT_EQ(core.GetUnit(), 1);
    EXPECT_EQ(core.GetMaxHoldFlag(), 1);
    EXPECT_EQ(core.GetMinHoldFlag(), 0);
    EXPECT_EQ(core.GetScale(), 1);
    EXPECT_EQ(core.GetRBWIndex(), 0); // 12 is not usable: the first usable index
    EXPECT_EQ(core.GetTitle(), "");   // missing: kept
}

TEST(AnalysisCoreProfile, AttenuationAndReferencePositionGoBackUsable) {
    // The device: 0..50 dB in 10 dB steps; the graph: 0..10 divisions. A
    // setting data file is held to the same limits (see the tests above).
    TempDir dir;
    SetProfileFile(dir.file("TORVEL.INI").c_str());
    const struct {
        const char *att, *ref;
        int attenuation, reference;
    } cases[] = {{"12345", "-40", 50, 0}, {"-999", "11", 0, 10}, {"37", "10", 30, 10}};
    for (const auto& c : cases) {
        WriteProfileString("TestAnalysis_1", "AttValue", c.att);
        WriteProfileString("TestAnalysis_1", "RefPosition", c.ref);
        TestCore core;
        core.ReadProfile();
        core.WriteProfile();
        EXPECT_EQ(GetProfileInt("TestAnalysis_1", "AttValue", -1), c.attenuation) << c.att;
        EXPECT_EQ(GetProfileInt("TestAnalysis_1", "RefPosition", -1), c.reference) << c.ref;
    }
    SetProfileFile(nullptr);
}

TEST(AnalysisCoreSettings, OffsetFlagComesWithItsTableOrStaysOff) {
    TempDir dir;
    const std::string offsets = dir.file("offsets.txt");
    WriteWholeFile(offsets, "0,1.5\n3199,1.5\n");
    const std::string path = dir.file("offset.SPE");
    auto load = [&](const std::string& file) {
        WriteWholeFile(path, "Torvel Version2 Setting Data File\n[TORVEL_CORE]\n"
                             "OffsetEnableFlag=1\nOffsetFileName=" +
                                 file + "\n");
        ReleaseSettingFileObject();
        EXPECT_EQ(LoadSettingFile(path.c_str()), 1);
        auto core = std::make_unique<TestCore>();
        core->LoadSettings();
        ReleaseSettingFileObject();
        return core;
    };
    std::unique_ptr<TestCore> on = load(offsets);
    EXPECT_EQ(on->GetOffsetFlag(), 1);
    EXPECT_EQ(on->GetOffsetLoadFailed(), 0);
    EXPECT_EQ(on->GetOffsetTable()[0], on->GetOffsetTable()[1600]);
    EXPECT_NE(on->GetOffsetTable()[1600], 0); // 1.5 dB in level words

    std::unique_ptr<TestCore> off = load(dir.file("missing.txt"));
    EXPECT_EQ(off->GetOffsetFlag(), 0);
    EXPECT_EQ(off->GetOffsetFileName(), "");
    EXPECT_EQ(off->GetOffsetLoadFailed(), 1);
}

TEST(AnalysisCoreDraw, GreyScaleConversionAndTimeStamp) {
    TestCore core;
    QImage image(kImageWidth, kImageHeight, QImage::Format_RGB32);
    const CRect rect(0, 0, kImageWidth, kImageHeight);
    {
        CDC dc(&image);
        core.DrawToDC(&dc, rect, TRUE);
        EXPECT_EQ(dc.GetPixel(10, 10), RGB(255, 0, 0)); // grey scale is off
    }
    ASSERT_EQ(core.stamps.size(), 2u);
    EXPECT_FALSE(core.stamps[0].IsEmpty());
    EXPECT_EQ(core.stamps[1], "<hidden>");

    Exec(core, 14, 2);
    core.stamps.clear();
    {
        CDC dc(&image);
        core.DrawToDC(&dc, rect, FALSE);
        EXPECT_TRUE(core.stamps.empty());
        EXPECT_EQ(dc.GetPixel(0, 0), RGB(255, 255, 255)); // background -> white
        EXPECT_EQ(dc.GetPixel(639, 479), RGB(255, 255, 255));
        EXPECT_EQ(dc.GetPixel(10, 10), RGB(171, 171, 171)); // 255 - (255 * 21845 >> 16)
        EXPECT_EQ(dc.GetPixel(11, 10), RGB(1, 1, 1));       // white: 255 - 254
        EXPECT_EQ(dc.GetPixel(12, 10), RGB(255, 255, 255)); // black -> 255
        EXPECT_EQ(dc.GetPixel(13, 10), RGB(196, 196, 196)); // 180 * 21845 >> 16 = 59
    }
    {
        // A printer's DC keeps its colours.
        CDC dc(&image);
        dc.SetPrinting(TRUE);
        core.DrawToDC(&dc, rect, FALSE);
        EXPECT_EQ(dc.GetPixel(10, 10), RGB(255, 0, 0));
    }
}

// A window that watches for an alarm (here its logging trigger) and gets no
// data for three of its cycles, and at least ten seconds, raises a technical
// alarm: shown by the window and heard by the listener, with the time of the
// last data, and ended when data come again. A window that does not watch
// raises none, one that stops watching ends its alarm without a word, and
// one whose own task runs is not silent.
TEST(AnalysisCoreWatch, ASilenceOfThreeCyclesRaisesATechnicalAlarmUntilDataCome) {
    using namespace std::chrono;
    struct Listener : CAlarmListener, ScheduleSink {
        CAlarmListener* GetAlarmListener() override { return this; }
        void TechnicalAlarm(CAnalysisCore&, bool raised, const CString& text) override {
            heard.emplace_back(raised, text);
        }
        std::vector<std::pair<bool, CString>> heard;
    } shell;
    TestCore core;
    core.SetFrameLink(&shell);
    CDataWatchdog::Clock::time_point now{};
    core.GetDataWatchdog().SetClock([&] { return now; });
    auto after = [&](milliseconds ms) {
        now += ms;
        core.WatchData();
    };
    core.SetAnalyzeFlag(1);
    after(seconds(60)); // not watching: no alarm
    EXPECT_TRUE(core.technical.empty());

    Exec(core, 49, 1);
    core.GetLoggingOutput().Start();
    ASSERT_TRUE(core.HasArmedAlarm());
    const CTime dataTime(2024, 6, 1, 12, 34, 56);
    core.NoteDataTaken(dataTime);
    after(milliseconds(0)); // the watch begins with the first look
    after(milliseconds(9999));
    EXPECT_TRUE(core.technical.empty());
    after(milliseconds(1));
    ASSERT_EQ(core.technical.size(), 1u);
    EXPECT_TRUE(core.technical[0].first);
    EXPECT_EQ(core.technical[0].second, "Monitoring interrupted: no data since 12:34:56");
    EXPECT_EQ(core.GetTechnicalAlarm(), core.technical[0].second);
    EXPECT_EQ(shell.heard, core.technical);
    after(seconds(5)); // raised once
    EXPECT_EQ(core.technical.size(), 1u);

    core.NoteDataTaken(CTime(2024, 6, 1, 12, 35, 30));
    ASSERT_EQ(core.technical.size(), 2u);
    EXPECT_FALSE(core.technical[1].first);
    EXPECT_EQ(core.technical[1].second, "Monitoring resumed at 12:35:30");
    EXPECT_TRUE(core.GetTechnicalAlarm().IsEmpty());
    EXPECT_EQ(shell.heard, core.technical);

    // Data every 6 s make a cycle of 6 s: the alarm waits 18 s (the silence
    // that raised the last alarm is no cycle).
    for (int i = 0; i < 4; ++i) {
        after(seconds(6));
        core.NoteDataTaken(dataTime);
    }
    EXPECT_EQ(core.GetDataWatchdog().Limit(), seconds(18));
    after(milliseconds(17999));
    EXPECT_EQ(core.technical.size(), 2u);
    after(milliseconds(1));
    ASSERT_EQ(core.technical.size(), 3u);
    EXPECT_TRUE(core.technical[2].first);

    // A window that stops measuring ends the alarm quietly, and raises none.
    core.SetAnalyzeFlag(0);
    after(seconds(1));
    ASSERT_EQ(core.technical.size(), 4u);
    EXPECT_FALSE(core.technical[3].first);
    EXPECT_TRUE(core.technical[3].second.IsEmpty());
    after(seconds(100));
    EXPECT_EQ(core.technical.size(), 4u);
    // Watching again, the silence counts from then on.
    core.SetAnalyzeFlag(1);
    after(seconds(0));
    after(seconds(17));
    EXPECT_EQ(core.technical.size(), 4u);
    after(seconds(1));
    EXPECT_EQ(core.technical.size(), 5u);
    // Logging switched off: the window watches nothing.
    core.GetLoggingOutput().Stop();
    EXPECT_FALSE(core.HasArmedAlarm());
    after(seconds(1));
    EXPECT_EQ(core.technical.size(), 6u);
    EXPECT_TRUE(core.GetTechnicalAlarm().IsEmpty());

    // While the window's own task runs (a long capture) the device works for
    // it: no silence. The silence counts from the last look that found it
    // running.
    core.GetLoggingOutput().Start();
    core.SetTaskRunning(1);
    after(seconds(0));
    after(seconds(60));
    EXPECT_EQ(core.technical.size(), 6u);
    core.SetTaskRunning(0);
    after(seconds(17));
    EXPECT_EQ(core.technical.size(), 6u);
    after(seconds(1));
    EXPECT_EQ(core.technical.size(), 7u);
}
