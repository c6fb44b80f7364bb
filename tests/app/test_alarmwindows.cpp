// Alarms and triggers of whole windows on the simulator: a logging trigger
// never fires on a level that was never below its line, however often its
// traces are refreshed, and sees a carrier at the stop frequency; a window
// that watches for an alarm keeps getting data beside a streaming window;
// and one that gets none raises a technical alarm in its graphs, its alarm
// log and its outputs, and ends it when data come again.
#include "analysis/alarmlistener.h"
#include "app/childframe.h"
#include "app/mainframe.h"
#include "framewindowtest.h"
#include "lib/logwindow.h"
#include "modes/corefactory.h"
#include "modes/medicalanalysis.h"
#include "modes/normalanalysis.h"
#include "modes/semirealanalysis.h"
#include "modes/xpdanalysis.h"
#include "platform/profile.h"
#include "ptycontroller.h"
#include "testutil.h"

#include <QPointer>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

// What the test sees of a window: its data intakes and its logging outputs.
struct Counts {
    int intakes = 0;
    int outputs = 0;
};

template <class Core> class Counted : public Core {
public:
    Counted(CCommandEntry* f, CCommandEntry* b, CFrameLink* link, Counts* counts)
        : Core(f, b, link), m_counts(counts) {}
    void AnalysisFinished(WPARAM wParam, LPARAM lParam) override {
        Core::AnalysisFinished(wParam, lParam);
        ++m_counts->intakes;
    }
    void AnalysisProgress(WPARAM wParam, LPARAM lParam) override {
        Core::AnalysisProgress(wParam, lParam);
        ++m_counts->intakes;
    }
    int LoggingStep() override {
        const int output = Core::LoggingStep();
        m_counts->outputs += output;
        return output;
    }

private:
    Counts* m_counts;
};

struct Heard {
    CAnalysisCore* core;
    bool raised;
    std::string text;
};

class AlarmWindowTest : public FrameWindowTest, public CAlarmListener {
protected:
    void SetUp() override {
        FrameWindowTest::SetUp();
        setenv("TORVEL_SIM_SPEED", "0", 1);
    }
    void TechnicalAlarm(CAnalysisCore& core, bool raised, const CString& text) override {
        heard.push_back({&core, raised, static_cast<const char*>(text)});
    }
    void OpenFrame() {
        frame = std::make_unique<CMainFrame>([](const CString&) {});
        frame->SetCoreFactory([this](int kind, CCommandEntry* f, CCommandEntry* b,
                                     CFrameLink* link) -> std::unique_ptr<CAnalysisCore> {
            Counts* c = &counts[static_cast<size_t>(kind)];
            switch (kind) {
            case 1:
                return std::make_unique<Counted<CNormalAnalysis>>(f, b, link, c);
            case 4:
                return std::make_unique<Counted<CSemiRealAnalysis>>(f, b, link, c);
            case 6:
                return std::make_unique<Counted<CMedicalAnalysis>>(f, b, link, c);
            case 7:
                return std::make_unique<Counted<CXpdAnalysis>>(f, b, link, c);
            default:
                return CreateAnalysisCore(kind, f, b, link);
            }
        });
        ASSERT_TRUE(frame->Create(false));
        frame->SetAlarmListener(this);
        frame->show();
    }
    // The window of kind takes n more data intakes.
    bool Intakes(int kind, int n, std::chrono::milliseconds timeout = 30s) {
        Counts& c = counts[static_cast<size_t>(kind)];
        const int until = c.intakes + n;
        return PumpUntil([&] { return c.intakes >= until; }, timeout);
    }
    // The normal window over 100..101 MHz at 10 kHz: one block is one sweep.
    // It does not measure until the test starts it.
    void NormalProfile() {
        const char* s = "NormalAnalysis_1";
        WriteProfileString(s, "AnalyzeFlag", "0");
        WriteProfileString(s, "StartFrequency", "100000");
        WriteProfileString(s, "StopFrequency", "101000");
        WriteProfileString(s, "RBWIndex", "1");
        WriteProfileString(s, "AttValue", "0");
    }
    // The logging trigger line at level dB (rising), logging every block
    // with no files, refresh as asked.
    static void SetLine(CNormalAnalysis* core, double level) {
        CLoggingTriggerContext& line = core->GetTriggerLine();
        const double top = line.GetDataLine()->GetYMax();
        const double bottom = line.GetDataLine()->GetYMin();
        line.SetPositionRatio(
            static_cast<int>((top - level) / (top - bottom) * CLoggingTriggerContext::kRatioOne));
    }
    static void StartLogging(CNormalAnalysis* core) {
        core->ExecuteCommand(49, 1, 0, 0, 0, 0);
        core->GetTriggerLine().SetDirectionFlag(0);
        CLoggingParam& p = core->GetLoggingParam();
        p.m_StartFlag = 0;
        p.m_StopFlag = 0;
        p.m_RefreshFlag = 0;
        p.m_OutFlags = 0;
        p.m_TimeSpan = CTimeSpan(0);
        p.m_StartTime = CTime::GetCurrentTime();
        core->GetLoggingOutput().Start();
    }
    static CString LogText() {
        const CLogWindow* log = GetLogWindow();
        return log ? log->GetText() : CString();
    }

    // The XPD window's controllers outlive its window.
    PtyController pri, sec;
    Counts counts[8];
    std::vector<Heard> heard;
};

constexpr const char* kInterrupted = "Monitoring interrupted: no data since ";
constexpr const char* kResumed = "Monitoring resumed at ";

bool StartsWith(const CString& text, const char* head) {
    return std::string(text).rfind(head, 0) == 0;
}

// A carrier 30 dB above the trigger line from the moment the window starts
// was never below it: no output at switch-on, nor when every output would
// refresh the traces. Once the level was below the line, the crossing logs.
TEST_F(AlarmWindowTest, ALoggingTriggerLogsNothingUntilTheLevelHasBeenBelowItsLine) {
    Scene("[Signal Steady]\nFrequency=100500\nLevel=-20\n");
    NormalProfile();
    OpenFrame();
    auto* core = Open<CNormalAnalysis>(1);
    ASSERT_TRUE(core);
    SetLine(core, -50.0);
    ASSERT_NEAR(core->GetTriggerLine().GetLevel(), -50.0, 0.01);
    for (int refresh : {0, 1}) {
        SCOPED_TRACE(refresh ? "refresh on" : "refresh off");
        // Switched on, and then started again on a fresh grid.
        core->Reconfigure(TRUE);
        StartLogging(core);
        core->GetLoggingParam().m_RefreshFlag = refresh;
        frame->RunActiveWindow();
        ASSERT_TRUE(Intakes(1, 8));
        EXPECT_EQ(counts[1].outputs, 0);
        EXPECT_EQ(core->GetLoggingOutput().GetState(), CLoggingOutput::kWaiting);
    }

    // The line above the carrier: the level is below it, the trigger arms;
    // back under the carrier, the crossing logs.
    SetLine(core, -5.0);
    ASSERT_TRUE(PumpUntil(
        [&] { return core->GetLoggingOutput().GetState() == CLoggingOutput::kArmed; }, 30s));
    EXPECT_EQ(counts[1].outputs, 0);
    SetLine(core, -50.0);
    ASSERT_TRUE(PumpUntil([&] { return counts[1].outputs >= 1; }, 30s));
}

// The trigger watches its whole range, the point of the stop frequency too:
// a tone there shows 3 dB down at the point below, under the line.
TEST_F(AlarmWindowTest, ACarrierAtTheStopFrequencyFiresTheLoggingTrigger) {
    Scene("[Signal AtTheStop]\nFrequency=101000\nLevel=-20\n");
    NormalProfile();
    OpenFrame();
    auto* core = Open<CNormalAnalysis>(1);
    ASSERT_TRUE(core);
    SetLine(core, -5.0);
    StartLogging(core);
    frame->RunActiveWindow();
    ASSERT_TRUE(PumpUntil(
        [&] { return core->GetLoggingOutput().GetState() == CLoggingOutput::kArmed; }, 30s));
    SetLine(core, -21.5);
    ASSERT_TRUE(Intakes(1, 6));
    EXPECT_GE(counts[1].outputs, 1);
}

// A stream keeps the device only from windows that watch nothing: while the
// medical window's alarm is on, the semi-real-time window hands the device
// on after each batch, though the option is off; with the alarm off the
// medical window waits for the stream as before.
TEST_F(AlarmWindowTest, AStreamHandsTheDeviceOnWhileAWindowWatchesForAnAlarm) {
    Scene("[Signal Telemetry]\nFrequency=431000\nLevel=-30\n");
    WriteProfileString("MedicalAnalysis_1", "AnalyzeFlag", "1");
    WriteProfileString("MedicalAnalysis_1", "AlarmFlag", "1");
    WriteProfileString("SemiRealAnalysis_1", "AnalyzeFlag", "1");
    OpenFrame();
    ASSERT_FALSE(frame->HandsDeviceOn());
    auto* medical = Open<CMedicalAnalysis>(6);
    ASSERT_TRUE(medical);
    ASSERT_TRUE(Open<CSemiRealAnalysis>(4));
    ASSERT_TRUE(medical->HasArmedAlarm());
    ASSERT_TRUE(Intakes(4, 2));
    // Both measure, over and over.
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(Intakes(6, 10)) << "the medical window got no data, round " << i;
        EXPECT_TRUE(Intakes(4, 5)) << "the stream stopped, round " << i;
    }
    EXPECT_TRUE(medical->GetTechnicalAlarm().IsEmpty());
    EXPECT_TRUE(windows[0]->GetDeviceWait().isEmpty());

    medical->ExecuteCommand(CMedicalAnalysis::kCmdAlarm, 0, 0, 0, 0, 0);
    ASSERT_FALSE(medical->HasArmedAlarm());
    EXPECT_TRUE(PumpUntil([&] { return !windows[0]->GetDeviceWait().isEmpty(); }, 30s));
}

// The medical window with its alarm on loses the analyser for a while: once
// the silence passes its limit, both graphs, the log window and the listener
// say that monitoring was interrupted and since when; data back, the alarm
// ends and the log says so.
TEST_F(AlarmWindowTest, AMedicalWindowWithoutDataRaisesATechnicalAlarmUntilDataReturn) {
    Scene("[Faults]\nUnplugAt=3\nReplugAfter=4\n"
          "[Signal Telemetry]\nFrequency=431000\nLevel=-30\n");
    WriteProfileString("MedicalAnalysis_1", "AnalyzeFlag", "1");
    WriteProfileString("MedicalAnalysis_1", "AlarmFlag", "1");
    OpenFrame();
    auto* medical = Open<CMedicalAnalysis>(6);
    ASSERT_TRUE(medical);
    medical->GetDataWatchdog().SetLeastSilence(1000ms);
    ASSERT_TRUE(Intakes(6, 2));
    ASSERT_TRUE(PumpUntil([&] { return !medical->GetTechnicalAlarm().IsEmpty(); }, 30s));
    const CString alarm = medical->GetTechnicalAlarm();
    EXPECT_TRUE(StartsWith(alarm, kInterrupted)) << alarm.c_str();
    EXPECT_EQ(alarm.Right(8), medical->GetLastDataTime().Format("%H:%M:%S"));
    EXPECT_EQ(medical->GetWideInterface().GetGraph().GetAlarmText(), alarm);
    EXPECT_EQ(medical->GetGraphInterface().GetGraph().GetAlarmText(), alarm);
    EXPECT_NE(std::string(LogText()).find(std::string(alarm)), std::string::npos);
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.back().core, medical);
    EXPECT_TRUE(heard.back().raised);
    EXPECT_EQ(heard.back().text, std::string(alarm));

    ASSERT_TRUE(PumpUntil([&] { return medical->GetTechnicalAlarm().IsEmpty(); }, 30s));
    EXPECT_TRUE(medical->GetWideInterface().GetGraph().GetAlarmText().IsEmpty());
    EXPECT_TRUE(medical->GetGraphInterface().GetGraph().GetAlarmText().IsEmpty());
    EXPECT_FALSE(heard.back().raised);
    EXPECT_EQ(heard.back().text.rfind(kResumed, 0), 0u) << heard.back().text;
    EXPECT_NE(std::string(LogText()).find(kResumed), std::string::npos);
    EXPECT_TRUE(Intakes(6, 5));
}

// The XPD window watches for a rise above its detect level: without data it
// raises the technical alarm in both graphs and its alarm log and sets the
// controllers' alarm relay; data back, the relay falls.
TEST_F(AlarmWindowTest, AnXpdWindowWithoutDataSetsItsAlarmRelayUntilDataReturn) {
    Scene("[Faults]\nUnplugAt=4\nReplugAfter=4\n"
          "[Signal Link]\nFrequency=431000\nLevel=-20\nCrossPolar=25\n");
    XpdProfile(pri, sec);
    OpenFrame();
    auto* xpd = Open<CXpdAnalysis>(7);
    ASSERT_TRUE(xpd);
    xpd->GetDataWatchdog().SetLeastSilence(1000ms);
    // Measured below the detect level (0 dB): the detect level is armed.
    ASSERT_TRUE(PumpUntil([&] { return xpd->HasArmedAlarm(); }, 30s));
    ASSERT_TRUE(PumpUntil([&] { return pri.Register('R', 0) == 0x2000u; }, 30s));
    ASSERT_TRUE(PumpUntil([&] { return !xpd->GetTechnicalAlarm().IsEmpty(); }, 30s));
    const CString alarm = xpd->GetTechnicalAlarm();
    EXPECT_TRUE(StartsWith(alarm, kInterrupted)) << alarm.c_str();
    EXPECT_EQ(xpd->GetGraphInterface().GetGraph().GetAlarmText(), alarm);
    EXPECT_EQ(xpd->GetSecondGraph().GetGraph().GetAlarmText(), alarm);
    EXPECT_NE(std::string(xpd->GetAlarmLog().GetText()).find(std::string(alarm)),
              std::string::npos);
    EXPECT_TRUE(PumpUntil(
        [&] { return pri.Register('R', 0) == 0x2C00u && sec.Register('R', 0) == 0x2C00u; }, 30s));

    ASSERT_TRUE(PumpUntil([&] { return xpd->GetTechnicalAlarm().IsEmpty(); }, 30s));
    EXPECT_TRUE(xpd->GetSecondGraph().GetGraph().GetAlarmText().IsEmpty());
    EXPECT_NE(std::string(xpd->GetAlarmLog().GetText()).find(kResumed), std::string::npos);
    EXPECT_TRUE(PumpUntil(
        [&] { return pri.Register('R', 0) == 0x2000u && sec.Register('R', 0) == 0x2000u; }, 30s));
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.back().core, xpd);
    EXPECT_FALSE(heard.back().raised);
}

// An XPD window whose paths stood above its detect level since it started
// waits for them to fall below it before a rise can start an active period:
// it watches for that as a logging trigger waiting to arm does, and a medical
// window with its alarm on in every state. Without data it cannot see the
// fall nor the rise that follows: the silence is a technical alarm too.
TEST_F(AlarmWindowTest, AnXpdWindowWaitingToArmRaisesATechnicalAlarmWithoutData) {
    Scene("[Faults]\nUnplugAt=4\nReplugAfter=4\n"
          "[Signal Link]\nFrequency=431000\nLevel=-20\nCrossPolar=25\n");
    XpdProfile(pri, sec);
    WriteProfileString("XPDAnalysis_1", "DetectLevel", "-6000"); // -60 dBm, below the carrier
    OpenFrame();
    auto* xpd = Open<CXpdAnalysis>(7);
    ASSERT_TRUE(xpd);
    xpd->GetDataWatchdog().SetLeastSilence(1000ms);
    ASSERT_TRUE(Intakes(7, 4));
    // Measured above the detect level from the start: nothing detected yet.
    EXPECT_EQ(xpd->GetDetectFlag(), 0);
    const auto raised = [&] {
        for (const Heard& h : heard)
            if (h.core == xpd && h.raised)
                return true;
        return false;
    };
    EXPECT_TRUE(PumpUntil(raised, 20s)) << "the XPD window lost its data and said nothing";
}

} // namespace
