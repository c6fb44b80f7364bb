// The WLAN window on the simulator: it opens from its window kind, shows the
// channel panel beside the spectrum, and a mouse click on a channel's button
// zooms the sweep on the channel, whose button then reads the signal there.
#include "app/childframe.h"
#include "app/mainframe.h"
#include "device/TorvelAPI.h"
#include "lib/channellist.h"
#include "lib/stringtable.h"
#include "modes/corefactory.h"
#include "modes/wlananalysis.h"
#include "platform/cfile.h"
#include "platform/profile.h"
#include "testutil.h"
#include "windowtest.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

namespace {

using WlanWindowTest = AnalysisWindowTest;

TEST_F(WlanWindowTest, AClickOnChannel6ZoomsOnItAndItsButtonReadsTheSignal) {
    WriteWholeFile(dir.file("scene.ini"), "[Scene]\nSeed=5\nDefaultSignals=0\n"
                                          "[Signal WLAN 6]\nType=Burst\nFrequency=2437000\n"
                                          "Level=-30\nWidth=16600\nDuty=1\n");
    setenv("TORVEL_SIM_SCENE", dir.file("scene.ini").c_str(), 1);
    WriteProfileString("WLANAnalysis_1", "AnalyzeFlag", "1");
    WriteProfileString("WLANAnalysis_1", "RBWIndex", "6");
    WriteProfileString("WLANAnalysis_1", "ChannelEntry", "1,6,11,-1,-1,-1,-1,-1,-1,-1");
    std::vector<CString> messages;
    auto frame = std::make_unique<CMainFrame>([&](const CString& s) { messages.push_back(s); });
    frame->SetCoreFactory(CreateAnalysisCore);
    ASSERT_TRUE(frame->Create(false));
    unsetenv("TORVEL_SIM_SCENE");
    frame->show();
    CChildFrame* w = frame->OpenAnalysisWindow(2, "WLAN", 1);
    ASSERT_TRUE(w);
    auto* core = dynamic_cast<CWlanAnalysis*>(w->GetCore());
    ASSERT_TRUE(core);
    EXPECT_TRUE(core->IsFullBand());
    QWidget* panel = core->GetPanelWidget();
    ASSERT_TRUE(panel);
    // The panel has been painted: its buttons have their places.
    ASSERT_TRUE(PumpUntil([&] {
        return panel->isVisible() && !core->GetPanel().GetButton(2).GetRect().IsRectEmpty();
    }));
    const CRect r = core->GetPanel().GetButton(2).GetRect();
    const QPointF at((r.left + r.right) / 2.0, (r.top + r.bottom) / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, at, panel->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(panel, &press);
    EXPECT_EQ(core->GetPanel().GetSelectedButton(), 2);
    EXPECT_EQ(core->GetCenter(), 2437000);
    EXPECT_EQ(core->GetSpan(), 44000);

    // Once the channel's band has been swept, its button reads the band power
    // of the data line over the channel: the signal (-30 dBm over 16.6 MHz),
    // far above the noise (about -67 dBm over 22 MHz).
    CChannelButtonContext& slot = core->GetPanel().GetSlot(1);
    CTraceStore* line = core->GetDataLine();
    ASSERT_TRUE(PumpUntil([&] {
        if (line->GetStart() > 2426000u || !line->GetData())
            return false;
        for (DWORD i = 0; i < line->GetPoints(); ++i)
            if (line->GetData()[i] == kLowestLevel || line->GetData()[i] == kNoSample)
                return false;
        return true;
    }));
    const CString text = slot.MeasureText();
    CString expected;
    expected.Format("%.2fdBm", line->BandPower(2437000 - 11000, 22000));
    EXPECT_EQ(text, expected);
    EXPECT_GT(std::atof(text), -34.0)
        << static_cast<const char*>(text) << " step " << line->GetStep();
    EXPECT_LT(std::atof(text), -20.0);
    // The channels off the range read as out of range.
    EXPECT_EQ(core->GetPanel().GetSlot(0).MeasureText(), GetTorvelString(2400));

    // A second click goes back to the whole band.
    QMouseEvent again(QEvent::MouseButtonPress, at, panel->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(panel, &again);
    EXPECT_TRUE(core->IsFullBand());
    EXPECT_EQ(core->GetPanel().GetSelectedButton(), -1);
    w->close();
    PumpEvents();
    frame.reset();
}

} // namespace
