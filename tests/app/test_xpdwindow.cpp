// The XPD window on the simulator with two emulated serial controllers: it
// opens from its window kind, sweeps the two paths in turn, shows the XPD of
// the scene's carrier, writes it to both controllers, and leaves them
// inactive when it closes.
#include "app/childframe.h"
#include "app/mainframe.h"
#include "lib/channellist.h"
#include "lib/stringtable.h"
#include "modes/corefactory.h"
#include "modes/xpdanalysis.h"
#include "platform/profile.h"
#include "ptycontroller.h"
#include "testutil.h"
#include "windowtest.h"

#include <QPointer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// An XPD window on the simulator with the given scene and both emulated
// controllers; both paths switch without a delay.
class XpdWindowTest : public AnalysisWindowTest {
protected:
    void Open(const std::string& scene) {
        WriteWholeFile(dir.file("scene.ini"), "[Scene]\nSeed=7\nDefaultSignals=0\n" + scene);
        setenv("TORVEL_SIM_SCENE", dir.file("scene.ini").c_str(), 1);
        setenv("TORVEL_SIM_SPEED", "0", 1); // as fast as the simulator goes
        const char* s = "XPDAnalysis_1";
        WriteProfileString(s, "AnalyzeFlag", "1");
        WriteProfileString(s, "PriPortName", pri.Path().c_str());
        WriteProfileString(s, "SecPortName", sec.Path().c_str());
        WriteProfileString(s, "OnDelay", "0");
        WriteProfileString(s, "OffDelay", "0");
        frame = std::make_unique<CMainFrame>([&](const CString& m) { messages.push_back(m); });
        frame->SetCoreFactory(CreateAnalysisCore);
        ASSERT_TRUE(frame->Create(false));
        unsetenv("TORVEL_SIM_SCENE");
        frame->show();
        w = frame->OpenAnalysisWindow(7, "XPD", 1);
        ASSERT_TRUE(w);
        core = dynamic_cast<CXpdAnalysis*>(w->GetCore());
        ASSERT_TRUE(core);
    }
    PtyController pri, sec;
    std::vector<CString> messages;
    std::unique_ptr<CMainFrame> frame;
    QPointer<CChildFrame> w;
    CXpdAnalysis* core = nullptr;
};

TEST_F(XpdWindowTest, ThePathsAlternateAndBothControllersGetTheScenesIsolation) {
    Open("[Signal Link]\nFrequency=431000\nLevel=-30\nCrossPolar=18\n");
    ASSERT_TRUE(core);
    ASSERT_TRUE(core->GetPanelWidget());
    ASSERT_TRUE(core->GetSecondGraphWidget());

    // Both paths are swept; the carrier is 18 dB weaker on the second.
    ASSERT_TRUE(PumpUntil([&] {
        return std::fabs(core->GetXpdValue() - 18.0) < 0.5 &&
               std::fabs(core->GetRf1Level() + 30.0) < 0.5;
    })) << core->GetXpdValue()
        << " " << core->GetRf1Level() << " " << core->GetRf2Level();
    EXPECT_DOUBLE_EQ(core->GetPeakValue(), 431.0);
    EXPECT_NEAR(core->GetPanel().m_Values[CXpdAnalysis::kWordXpd], 1800, 50);

    // Both controllers are told the XPD and the peak frequency.
    ASSERT_TRUE(PumpUntil([&] {
        return pri.Register('D', 10) == 17u + (core->GetXpdValue() >= 18.0) &&
               sec.Register('D', 12) == 431 && sec.Register('D', 14) == 0;
    }));

    // A start request from the secondary controller starts an active period.
    sec.SetRegister('D', 20, 1);
    ASSERT_TRUE(
        PumpUntil([&] { return pri.Register('D', 0) == 16 && sec.Register('D', 20) == 0; }));

    // Closing stops the worker at once and leaves both controllers inactive.
    w->close();
    EXPECT_FALSE(core->GetControllers().IsWorkerRunning());
    EXPECT_TRUE(PumpUntil([&] {
        for (PtyController* c : {&pri, &sec})
            if (c->Register('R', 0) != 0x2000u || c->Register('D', 0) != 32u ||
                c->Register('D', 20) != 0u)
                return false;
        return true;
    }));
    PumpEvents();
    frame.reset();
}

// A steady carrier with 40 dB of isolation and, from 40 s of measuring on,
// a stronger one beside it with only 5 dB: the XPD falls below the alarm
// value (30 dB) then. An active period runs throughout.
TEST_F(XpdWindowTest, AfterATraceResetNoXpdIsTakenUntilBothPathsAreMeasuredAgain) {
    sec.SetRegister('D', 20, 1);
    WriteProfileString("XPDAnalysis_1", "ActiveTime", "3600");
    // The noise 20 dB below the default keeps RF2 (-60 dBm) clear of it while
    // the period's max hold gathers the noise's peaks.
    Open("NoiseDensity=-160\n"
         "[Signal Link]\nFrequency=431000\nLevel=-20\nCrossPolar=40\n"
         "[Signal Leak]\nType=Pulse\nFrequency=431100\nLevel=-10\nCrossPolar=5\n"
         "Period=1000\nPulseLength=1000\nFirstPulse=40\n");
    ASSERT_TRUE(core);

    // Every XPD taken, shown and logged is one of the scene's two.
    double lowest = 1e9;
    auto watch = [&] {
        if (core->HasXpd())
            lowest = std::min(lowest, core->GetXpdValue());
        else // a reason, never a number
            EXPECT_TRUE(core->GetPanel().RowValue(0) == CString(GetTorvelString(90)) ||
                        core->GetPanel().RowValue(0) == CString(GetTorvelString(2407)))
                << core->GetPanel().RowValue(0).c_str();
        return true;
    };
    auto loggedValues = [&] {
        std::vector<double> values;
        const std::string text = core->GetAlarmLog().GetText().c_str();
        for (size_t at = text.find("dB"); at != std::string::npos; at = text.find("dB", at + 2)) {
            size_t from = at;
            while (from > 0 && (std::isdigit(static_cast<unsigned char>(text[from - 1])) ||
                                text[from - 1] == '.'))
                --from;
            values.push_back(std::atof(text.substr(from, at - from).c_str()));
        }
        return values;
    };
    const auto bound = std::chrono::seconds(90);
    // The period runs and the XPD is the carrier's.
    ASSERT_TRUE(PumpUntil(
        [&] {
            return watch() && core->GetControllers().m_activeFlag.load() && core->HasXpd() &&
                   std::fabs(core->GetXpdValue() - 40.0) < 1.0;
        },
        bound))
        << "active " << core->GetControllers().m_activeFlag.load() << " XPD " << core->GetXpdValue()
        << " alarm " << core->GetAlarmFlag();
    EXPECT_EQ(core->GetAlarmFlag(), 0);
    EXPECT_TRUE(loggedValues().empty());

    // A new span resets the traces (the span in use would change nothing):
    // while the paths hold fill words there is no XPD, no alarm, nothing
    // logged and nothing sent.
    ASSERT_EQ(core->GetSpan(), 2000);
    ASSERT_EQ(core->ExecuteCommand(22, 1000, 0, 0, 0, 0), kCommandReset);
    core->Reconfigure(TRUE);
    EXPECT_FALSE(core->HasXpd());
    int turns = 0;
    ASSERT_TRUE(
        PumpUntil([&] { return watch() && (turns += core->HasXpd() ? 1 : 0) > 20; }, bound));
    EXPECT_EQ(core->GetAlarmFlag(), 0);
    EXPECT_TRUE(loggedValues().empty());
    EXPECT_GT(lowest, 35.0);
    for (PtyController* c : {&pri, &sec})
        EXPECT_NE(c->Register('R', 0), 0x2C00u);

    // The leak comes: the XPD falls below the alarm value, which is logged
    // once, and the controllers show the alarm.
    ASSERT_TRUE(PumpUntil([&] { return watch() && core->GetAlarmFlag() == 1; }, bound));
    ASSERT_EQ(loggedValues().size(), 1u);
    EXPECT_NEAR(loggedValues()[0], 5.0, 1.0);
    EXPECT_TRUE(PumpUntil([&] { return pri.Register('R', 0) == 0x2C00u; }, bound));
    w->close();
    PumpEvents();
    frame.reset();
}

} // namespace
