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
#include "trace/measuredwords.h"
#include "windowtest.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <unistd.h>
#include <vector>

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

// A new window (nothing in the profile) shows the band as a user expects it:
// the three channels that do not overlap on its panel, and the built-in
// scene's packets on them (here sent without pause) above the noise floor,
// which itself lies inside the graph.
TEST_F(WlanWindowTest, ANewWindowShowsChannels1611AndTheirSignalsAboveTheFloor) {
    WriteWholeFile(
        dir.file("scene.ini"),
        "[Scene]\nSeed=5\nDefaultSignals=0\n"
        "[Signal WLAN 1]\nType=Burst\nFrequency=2412000\nLevel=-30\nWidth=16600\nDuty=1\n"
        "[Signal WLAN 6]\nType=Burst\nFrequency=2437000\nLevel=-38\nWidth=16600\nDuty=1\n"
        "[Signal WLAN 11]\nType=Burst\nFrequency=2462000\nLevel=-46\nWidth=16600\n"
        "Duty=1\n");
    setenv("TORVEL_SIM_SCENE", dir.file("scene.ini").c_str(), 1);
    WriteProfileString("WLANAnalysis_1", "AnalyzeFlag", "1");
    auto frame = std::make_unique<CMainFrame>([](const CString&) {});
    frame->SetCoreFactory(CreateAnalysisCore);
    ASSERT_TRUE(frame->Create(false));
    unsetenv("TORVEL_SIM_SCENE");
    frame->show();
    CChildFrame* w = frame->OpenAnalysisWindow(2, "WLAN", 1);
    ASSERT_TRUE(w);
    auto* core = dynamic_cast<CWlanAnalysis*>(w->GetCore());
    ASSERT_TRUE(core);
    const int channels[] = {1, 6, 11};
    for (int i = 0; i < 3; ++i) {
        const CChannelObject* c = core->GetPanel().GetSlotChannel(i);
        ASSERT_TRUE(c) << i;
        EXPECT_EQ(c->GetIndexNumber(), channels[i]);
    }
    EXPECT_FALSE(core->GetPanel().GetSlotChannel(3));
    CTraceStore* line = core->GetDataLine();
    ASSERT_TRUE(PumpUntil([&] {
        const short* data = line->GetData();
        return data && line->GetPoints() > 100 &&
               std::all_of(data, data + line->GetPoints(),
                           [](short w) { return IsMeasuredWord(w); });
    }));
    // The floor: the median of the points outside the channels.
    std::vector<short> outside;
    for (DWORD i = 0; i < line->GetPoints(); ++i) {
        const long long f = line->GetStart() + static_cast<long long>(i) * line->GetStep();
        if (f > 2475000)
            outside.push_back(line->GetData()[i]);
    }
    ASSERT_GT(outside.size(), 10u);
    std::nth_element(outside.begin(), outside.begin() + outside.size() / 2, outside.end());
    const double floor = outside[outside.size() / 2] / kWordsPerDb;
    const CNormalGraphContext& graph = core->GetGraphInterface().GetGraph();
    EXPECT_GT(floor, graph.GetYMin() + 3.0) << floor << " " << graph.GetYMin();
    for (int f : {2412000, 2437000, 2462000}) {
        const double level = line->Level(line->Peak(f - 4000, f + 4000));
        EXPECT_GT(level, floor + 6.0) << f << ": " << level << " over " << floor;
        EXPECT_LT(level, graph.GetYMax()) << f;
    }
    w->close();
    PumpEvents();
    frame.reset();
}

} // namespace
