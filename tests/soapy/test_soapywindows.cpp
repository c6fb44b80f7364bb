// Windows of the program on the SoapySDR test receiver: the levels of a
// receiver are marked uncalibrated, the key fob pulse triggers the zero-span
// and real-time windows at their trigger positions, the semi-real-time
// window's slices arrive, and the XPD window on a receiver with one
// input stops with a message instead of waiting for a second path.
#include "app/childframe.h"
#include "app/mainframe.h"
#include "app/windowtest.h"
#include "device/TorvelAPI.h"
#include "device/loader/devicelibrary.h"
#include "lib/stringtable.h"
#include "modes/corefactory.h"
#include "modes/medicalanalysis.h"
#include "modes/normalanalysis.h"
#include "modes/realtimeanalysis.h"
#include "modes/semirealanalysis.h"
#include "modes/xpdanalysis.h"
#include "modes/zerospananalysis.h"
#include "platform/profile.h"
#include "ptycontroller.h"
#include "remote/remotelink.h"
#include "remote/scpiinstrument.h"
#include "remote/scpisession.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

// The scene's remote key: a 5 ms pulse at 433.92 MHz, -30 dBFS, every second
// from 0.5 s of sample time on; one input, 1 MHz to 3 GHz.
constexpr const char* kReceiver =
    "soapy:driver=torveltest,pulse_hz=433.92e6,pulse_dbfs=-30,tone_hz=433.5e6";

class SoapyWindowTest : public AnalysisWindowTest {
protected:
    void SetUp() override {
        AnalysisWindowTest::SetUp();
        ::setenv("SOAPY_SDR_PLUGIN_PATH", TORVEL_SOAPY_MODULES, 1);
        UseDevice(kReceiver);
    }
    void TearDown() override {
        frame.reset();
        UseDevice(torveldevice::kSimulatorChoice);
        AnalysisWindowTest::TearDown();
    }
    static void UseDevice(const std::string& choice) {
        std::string problem;
        ASSERT_TRUE(torveldevice::LoadDeviceLibrary(choice, 0.0, &problem)) << problem;
    }
    CChildFrame* Open(int kind, const char* section) {
        WriteProfileString(section, "AnalyzeFlag", "1");
        frame = std::make_unique<CMainFrame>([&](const CString& m) { messages.push_back(m); });
        frame->SetCoreFactory(CreateAnalysisCore);
        if (!frame->Create(false))
            return nullptr;
        frame->show();
        return frame->OpenAnalysisWindow(kind, "Window", 1);
    }
    std::vector<CString> messages;
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(SoapyWindowTest, AReceiversLevelsAreMarkedUncalibratedWhereTheyAreShown) {
    const CString mark = GetTorvelString(2646);
    ASSERT_FALSE(mark.IsEmpty());
    for (bool receiver : {true, false}) {
        if (!receiver)
            UseDevice(torveldevice::kSimulatorChoice);
        CChildFrame* w = Open(1, "NormalAnalysis_1");
        ASSERT_TRUE(w);
        auto* core = dynamic_cast<CNormalAnalysis*>(w->GetCore());
        ASSERT_TRUE(core);
        ASSERT_TRUE(
            PumpUntil([&] { return core->GetDataLine()->Sample(core->GetStart()) != kNoSample; },
                      std::chrono::seconds(60)));
        const CString corner = *core->GetGraphInterface().GetGraph().GetCornerText(0);
        EXPECT_EQ(corner.Find(mark) >= 0, receiver) << corner.c_str();
        w->close();
        PumpEvents();
        frame.reset();
    }
}

TEST_F(SoapyWindowTest, TheMedicalWindowsWideGraphIsMarkedUncalibratedAsWell) {
    const CString mark = GetTorvelString(2646);
    CChildFrame* w = Open(6, "MedicalAnalysis_1");
    ASSERT_TRUE(w);
    auto* core = dynamic_cast<CMedicalAnalysis*>(w->GetCore());
    ASSERT_TRUE(core);
    const CString narrow = *core->GetGraphInterface().GetGraph().GetCornerText(0);
    const CString wide = *core->GetWideInterface().GetGraph().GetCornerText(0);
    EXPECT_GE(narrow.Find(mark), 0) << narrow.c_str();
    EXPECT_GE(wide.Find(mark), 0) << wide.c_str();
    w->close();
    PumpEvents();
}

TEST_F(SoapyWindowTest, TheKeyFobPulseTriggersTheZeroSpanWindowAtItsTriggerPosition) {
    const char* section = "ZeroSpanAnalysis_1";
    WriteProfileString(section, "AttValue", "0");
    WriteProfileString(section, "StartFrequency", "421920"); // centre 433.92 MHz, base 420 MHz
    WriteProfileString(section, "StartBin", "56");           // 434 MHz +- 125 kHz
    WriteProfileString(section, "StopBin", "56");
    WriteProfileString(section, "TimeSpan", "100");
    WriteProfileString(section, "TriggerType", "1");
    WriteProfileString(section, "TriggerTimePosition", "25");
    CChildFrame* w = Open(3, section);
    ASSERT_TRUE(w);
    auto* core = dynamic_cast<CZeroSpanAnalysis*>(w->GetCore());
    ASSERT_TRUE(core);
    ASSERT_EQ(core->BaseFrequency(), 420000);
    CTraceStore* line = core->GetDataLine();
    ASSERT_TRUE(PumpUntil([&] { return line->Sample(433500) > -60 * kWordsPerDb; },
                          std::chrono::seconds(60)));
    // The trigger line at -40 (half the graph at attenuation 0): the pulse
    // (-30) crosses it, the floor (-90) never.
    EXPECT_NEAR(core->GetTriggerLine().GetLevel(), -40.0, 0.01);
    core->ExecuteCommand(251, 0, 0, 0, 0, 0);
    ASSERT_EQ(core->GetTimeRequested(), 1);
    ASSERT_TRUE(PumpUntil([&] { return core->GetTimeRequested() == 0; }, std::chrono::seconds(60)));
    EXPECT_TRUE(messages.empty());

    // The first sample above the trigger level lies at the trigger mark: 25 %
    // of 100 ms, sample 250 of 1000; the pulse lasts 5 ms.
    CDataLineContext& time = core->GetTimeTrace(0);
    ASSERT_EQ(time.GetPoints(), 1000u);
    EXPECT_EQ(core->GetTriggerMark().GetPosition(), 25000);
    int edge = -1;
    for (int j = 0; j < 1000 && edge < 0; ++j)
        if (time.Level(static_cast<long long>(j) * 100) > -40.0)
            edge = j;
    EXPECT_NEAR(edge * 100, core->GetTriggerMark().GetPosition(), 100);
    EXPECT_NEAR(time.Level(static_cast<long long>(edge + 20) * 100), -30.0, 1.0);
    EXPECT_LT(time.Level(static_cast<long long>(edge + 80) * 100), -75.0);
    w->close();
    PumpEvents();
}

TEST_F(SoapyWindowTest, TheKeyFobPulseTriggersTheRealTimeWindowAtItsTriggerPosition) {
    const char* section = "RealTimeAnalysis_1";
    WriteProfileString(section, "AttValue", "0");
    WriteProfileString(section, "StartFrequency", "421920"); // about 433.92 MHz
    WriteProfileString(section, "StopFrequency", "445920");
    WriteProfileString(section, "TrigType", "1");
    WriteProfileString(section, "TrigPosition", "40");
    CChildFrame* w = Open(5, section);
    ASSERT_TRUE(w);
    auto* core = dynamic_cast<CRealTimeAnalysis*>(w->GetCore());
    ASSERT_TRUE(core);
    // A single capture: the window stops once its data are in.
    ASSERT_TRUE(PumpUntil([&] { return core->GetAnalyzeFlag() == 0; }, std::chrono::seconds(60)));
    EXPECT_TRUE(messages.empty());
    // Block 40 of 256 is the trigger block, 255 - 40 slices back from the
    // newest. Before it the pulse's bin shows the floor (about -90); from it
    // on the pulse rises, and once an FFT (27 blocks) lies in it, shows -30.
    auto level = [&](int back) { return core->GetSliceBack(back).Level(434000); };
    const int trigger = 255 - 40;
    for (int back = trigger + 2; back <= 255; back += 3)
        EXPECT_LT(level(back), -75.0) << back;
    EXPECT_GT(level(trigger), -80.0);
    for (int back = trigger - 27; back >= 0; back -= 11)
        EXPECT_NEAR(level(back), -30.0, 1.5) << back;
    w->close();
    PumpEvents();
}

TEST_F(SoapyWindowTest, TheSemiRealTimeWindowsSlicesArrive) {
    const char* section = "SemiRealAnalysis_1";
    WriteProfileString(section, "AttValue", "0");
    WriteProfileString(section, "StartFrequency", "420000");
    WriteProfileString(section, "StopFrequency", "450000");
    CChildFrame* w = Open(4, section);
    ASSERT_TRUE(w);
    auto* core = dynamic_cast<CSemiRealAnalysis*>(w->GetCore());
    ASSERT_TRUE(core);
    // Three slices written into the ring.
    const int first = core->GetWritePosition();
    ASSERT_TRUE(PumpUntil([&] { return (core->GetWritePosition() - first + 100) % 100 >= 3; },
                          std::chrono::seconds(60)));
    EXPECT_TRUE(messages.empty());
    // The receiver's tone at 433.5 MHz, -40.
    const CTraceStore& newest = core->GetSliceBack(0);
    const long long peak =
        newest.Peak(newest.GetStart(), newest.GetStart() + newest.GetPoints() * newest.GetStep());
    EXPECT_NEAR(static_cast<double>(peak), 433500.0, 250.0);
    EXPECT_NEAR(newest.Level(peak), -40.0, 1.5);
    // The 3D graph's legend says its levels are uncalibrated too.
    EXPECT_EQ(core->Get3DInterface().GetGraph().GetLegendNote(), CString("levels uncalibrated"));
    w->close();
    PumpEvents();
}

TEST_F(SoapyWindowTest, TheXpdWindowOnAReceiverWithOneInputStopsWithAMessage) {
    PtyController pri, sec;
    const char* section = "XPDAnalysis_1";
    WriteProfileString(section, "PriPortName", pri.Path().c_str());
    WriteProfileString(section, "SecPortName", sec.Path().c_str());
    WriteProfileString(section, "OnDelay", "0");
    WriteProfileString(section, "OffDelay", "0");
    CChildFrame* w = Open(7, section);
    ASSERT_TRUE(w);
    auto* core = dynamic_cast<CXpdAnalysis*>(w->GetCore());
    ASSERT_TRUE(core);
    // The path switch is refused (error 6): the window stops analysing and
    // its user is told why, in the receiver's words; the link stays open.
    ASSERT_TRUE(PumpUntil([&] { return !messages.empty(); }));
    EXPECT_EQ(core->GetAnalyzeFlag(), 0);
    EXPECT_GE(messages.front().Find(GetTorvelString(91)), 0) << messages.front().c_str();
    EXPECT_GE(
        messages.front().Find("this receiver has one antenna input; the XPD window needs two"), 0)
        << messages.front().c_str();
    EXPECT_GE(messages.front().Find("(6)"), 0) << messages.front().c_str();
    EXPECT_EQ(GetTorvelLastError(), kTorvelErrorTaskFailed);
    w->close();
    PumpEvents();
}

// A remote client and the window it runs: the shell's observer hands the
// session what the server would.
class SessionObserver : public CRemoteObserver {
public:
    explicit SessionObserver(CScpiSession& session) : m_session(session) {}
    void DataArrived(CAnalysisCore* core) override { m_session.DataArrived(core); }
    void WindowClosing(CAnalysisCore* core) override { m_session.WindowClosing(core); }
    void DeviceRefused(CAnalysisCore* core, const QString& text) override {
        m_session.DeviceRefused(core, text);
    }

private:
    CScpiSession& m_session;
};

TEST_F(SoapyWindowTest, ARefusalOfAWindowARemoteClientRunsIsQueuedForItInWordsAndNeverABox) {
    // A receiver of 24 to 1766 MHz with one input: the WLAN window's band
    // (2.4 GHz) lies above it, and the XPD window's second path is missing.
    UseDevice("soapy:driver=torveltest,low_hz=24e6,high_hz=1766e6");
    PtyController pri, sec;
    WriteProfileString("XPDAnalysis_1", "PriPortName", pri.Path().c_str());
    WriteProfileString("XPDAnalysis_1", "SecPortName", sec.Path().c_str());
    frame = std::make_unique<CMainFrame>([&](const CString& m) { messages.push_back(m); });
    frame->SetCoreFactory(CreateAnalysisCore);
    ASSERT_TRUE(frame->Create(false));
    frame->show();
    QByteArray answers;
    CScpiInstrument instrument(frame.get());
    CScpiSession session(instrument, [&](const QByteArray& a) { answers += a; });
    SessionObserver observer(session);
    frame->SetRemoteObserver(&observer);
    auto ask = [&](const char* line) {
        answers.clear();
        EXPECT_TRUE(session.RunLine(line)) << line;
        return answers.trimmed();
    };
    struct Case {
        const char* kind;
        const char* words;
    };
    for (const Case& c :
         {Case{"WLAN", "this receiver covers 24\u20131766 MHz"},
          Case{"XPD", "this receiver has one antenna input; the XPD window needs two"}}) {
        ask((std::string("INST:CRE ") + c.kind).c_str());
        CAnalysisCore* core = session.Selected();
        ASSERT_TRUE(core) << c.kind;
        ask("INIT:CONT ON");
        ASSERT_TRUE(PumpUntil([&] { return core->GetAnalyzeFlag() == 0; })) << c.kind;
        PumpEvents();
        EXPECT_TRUE(messages.empty())
            << c.kind << ": " << (messages.empty() ? "" : messages[0].c_str());
        const QByteArray error = ask("SYST:ERR?");
        EXPECT_TRUE(error.startsWith("-221")) << error.toStdString();
        EXPECT_TRUE(error.contains(c.words)) << error.toStdString();
        EXPECT_EQ(ask("*OPC?"), "1");
        ask("INST:DEL");
    }
    // A person who runs the window sees the box, as before.
    CChildFrame* w = frame->OpenAnalysisWindow(2, "WLAN", 1);
    ASSERT_TRUE(w);
    frame->RunActiveWindow();
    ASSERT_TRUE(PumpUntil([&] { return !messages.empty(); }));
    EXPECT_GE(messages.front().Find("this receiver covers"), 0) << messages.front().c_str();
    frame->SetRemoteObserver(nullptr);
}

} // namespace
