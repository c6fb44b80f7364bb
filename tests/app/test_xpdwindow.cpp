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

#include <cmath>
#include <cstdlib>
#include <unistd.h>

namespace {

using XpdWindowTest = AnalysisWindowTest;

TEST_F(XpdWindowTest, ThePathsAlternateAndBothControllersGetTheScenesIsolation) {
    WriteWholeFile(dir.file("scene.ini"), "[Scene]\nSeed=7\nDefaultSignals=0\n"
                                          "[Signal Link]\nFrequency=431000\nLevel=-30\n"
                                          "CrossPolar=18\n");
    setenv("TORVEL_SIM_SCENE", dir.file("scene.ini").c_str(), 1);
    PtyController pri, sec;
    const char* s = "XPDAnalysis_1";
    WriteProfileString(s, "AnalyzeFlag", "1");
    WriteProfileString(s, "PriPortName", pri.Path().c_str());
    WriteProfileString(s, "SecPortName", sec.Path().c_str());
    WriteProfileString(s, "OnDelay", "0");
    WriteProfileString(s, "OffDelay", "0");
    std::vector<CString> messages;
    auto frame = std::make_unique<CMainFrame>([&](const CString& m) { messages.push_back(m); });
    frame->SetCoreFactory(CreateAnalysisCore);
    ASSERT_TRUE(frame->Create(false));
    unsetenv("TORVEL_SIM_SCENE");
    frame->show();
    QPointer<CChildFrame> w = frame->OpenAnalysisWindow(7, "XPD", 1);
    ASSERT_TRUE(w);
    auto* core = dynamic_cast<CXpdAnalysis*>(w->GetCore());
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

} // namespace
