// The zero-span window on the simulator: it opens from its window kind with
// the time graph above the spectrum, sweeps, and a triggered capture of a
// pulsed carrier shows the pulse's rising edge at the trigger position of the
// time graph; the single capture then returns to spectrum sweeping.
#include "app/childframe.h"
#include "app/mainframe.h"
#include "app/torvelview.h"
#include "lib/stringtable.h"
#include "modes/corefactory.h"
#include "modes/zerospananalysis.h"
#include "platform/dc.h"
#include "platform/profile.h"
#include "testutil.h"
#include "windowtest.h"

#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

// A zero-span window on the simulator with the given signals, analysing.
class ZeroSpanWindowTest : public AnalysisWindowTest {
protected:
    void Open(const std::string& signals) {
        WriteWholeFile(dir.file("scene.ini"), "[Scene]\nSeed=7\nDefaultSignals=0\n" + signals);
        setenv("TORVEL_SIM_SCENE", dir.file("scene.ini").c_str(), 1);
        setenv("TORVEL_SIM_SPEED", "0", 1); // as fast as the simulator goes
        WriteProfileString(kSection, "AnalyzeFlag", "1");
        frame = std::make_unique<CMainFrame>([&](const CString& m) { messages.push_back(m); });
        frame->SetCoreFactory(CreateAnalysisCore);
        ASSERT_TRUE(frame->Create(false));
        unsetenv("TORVEL_SIM_SCENE");
        frame->show();
        w = frame->OpenAnalysisWindow(3, "Zero Span", 1);
        ASSERT_TRUE(w);
        core = dynamic_cast<CZeroSpanAnalysis*>(w->GetCore());
        ASSERT_TRUE(core);
    }
    static constexpr const char* kSection = "ZeroSpanAnalysis_1";
    std::vector<CString> messages;
    std::unique_ptr<CMainFrame> frame;
    CChildFrame* w = nullptr;
    CZeroSpanAnalysis* core = nullptr;
};

TEST_F(ZeroSpanWindowTest, ATriggeredCaptureShowsThePulseEdgeAtTheTriggerPosition) {
    // A carrier at 100 MHz, -20 dBm, on for 300 ms every 2 s from 1 s on.
    const char* section = kSection;
    WriteProfileString(section, "AttValue", "0");
    WriteProfileString(section, "StartFrequency", "88000"); // centre 100000
    WriteProfileString(section, "StartBin", "56");          // 86000 + 56 x 250
    WriteProfileString(section, "StopBin", "56");
    WriteProfileString(section, "TimeSpan", "1000");
    WriteProfileString(section, "TriggerType", "1");
    WriteProfileString(section, "TriggerTimePosition", "25");
    Open("[Signal Pulse]\nType=Pulse\nFrequency=100000\nLevel=-20\nPeriod=2\nPulseLength=300\n"
         "FirstPulse=1\n");
    ASSERT_TRUE(core);
    EXPECT_EQ(core->GetCenter(), 100000);
    EXPECT_EQ(core->GetSpan(), 24000);
    // The time graph has a view of its own above the spectrum's.
    ASSERT_TRUE(core->GetSplitter());
    EXPECT_TRUE(dynamic_cast<CTorvelView*>(core->GetTimeView()));
    EXPECT_EQ(core->GetSplitter()->GetPane(1, 0), w->GetView());
    EXPECT_EQ(core->GetTimeGraph().GetViewWindow(),
              dynamic_cast<CViewWindow*>(core->GetTimeView()));

    // The spectrum is swept.
    CTraceStore* line = core->GetDataLine();
    ASSERT_TRUE(PumpUntil([&] {
        const short word = line->Sample(100000);
        return word != kNoSample && word != kLowestLevel;
    }));
    EXPECT_EQ(core->GetZeroSpanMarker().GetLockFrequency(), 100000);

    // The trigger line sits at -50 dBm (half the graph at attenuation 0).
    EXPECT_NEAR(core->GetTriggerLine().GetLevel(), -50.0, 0.01);
    core->ExecuteCommand(251, 0, 0, 0, 0, 0);
    ASSERT_EQ(core->GetTimeRequested(), 1);
    // The single capture ends by itself (at speed 0 it may start and end
    // within one turn of the event loop).
    ASSERT_TRUE(PumpUntil([&] { return core->GetTimeRequested() == 0; }));

    // The first sample above the trigger level lies at the trigger mark:
    // 25 % of 1000 ms, sample 2500 of 10000.
    CDataLineContext& time = core->GetTimeTrace(0);
    ASSERT_EQ(time.GetPoints(), 10000u);
    ASSERT_NE(time.Sample(0), kNoSample);
    EXPECT_EQ(core->GetTriggerMark().GetPosition(), 250000);
    int edge = -1;
    for (int j = 0; j < 10000; ++j) {
        if (time.Level(static_cast<long long>(j) * 100) > -50.0) {
            edge = j;
            break;
        }
    }
    EXPECT_NEAR(edge * 100, core->GetTriggerMark().GetPosition(), 100);
    // The pulse goes on after the edge.
    EXPECT_GT(time.Level(static_cast<long long>(edge + 100) * 100), -30.0);
    // Back to spectrum sweeping.
    ASSERT_TRUE(PumpUntil([&] { return core->GetTimeCapture() == 0; }));
    w->close();
    PumpEvents();
    frame.reset();
}

TEST_F(ZeroSpanWindowTest, ASpectrumBlockRepaintsTheSpectrumAloneAndStraightIsAsThroughTheBuffer) {
    Open("");
    ASSERT_TRUE(core);
    CViewInterface& spectrum = core->GetGraphInterface();
    CViewInterface& time = core->GetTimeGraph();
    ASSERT_TRUE(PumpUntil([&] { return spectrum.GetRedrawCount() > 5; }));
    // Blocks keep coming; the time pane shows none of them and is left as it is.
    const unsigned long timeBefore = time.GetRedrawCount();
    const unsigned long spectrumBefore = spectrum.GetRedrawCount();
    ASSERT_TRUE(PumpUntil([&] { return spectrum.GetRedrawCount() > spectrumBefore + 50; }));
    EXPECT_EQ(time.GetRedrawCount(), timeBefore);
    // A change the time pane shows repaints it with the next update, blocks
    // taken in meanwhile or not.
    core->ShowTrace(1, TRUE);
    core->UpdateView();
    EXPECT_GT(time.GetRedrawCount(), timeBefore);

    // Stopped, the spectrum pane's picture painted straight on the window's
    // store is the one its view draws through the off-screen image (an image
    // a pixel wider than the view takes that way).
    core->ExecuteCommand(16, 0, 0, 0, 0, 0);
    PumpEvents();
    QWidget* view = w->GetView();
    view->clearFocus();
    PumpEvents();
    const QImage straight = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QImage buffered(view->width() + 1, view->height(), QImage::Format_RGB32);
    buffered.fill(Qt::black);
    {
        CDC dc(&buffered);
        spectrum.Draw(&dc, CRect(0, 0, view->width(), view->height()));
    }
    EXPECT_EQ(straight, buffered.copy(0, 0, view->width(), view->height()));
    w->close();
    PumpEvents();
    frame.reset();
}

TEST_F(ZeroSpanWindowTest, TheRunStateTextOfTheTimePaneShowsWhileSpectrumBlocksComeIn) {
    Open("");
    ASSERT_TRUE(core);
    CViewInterface& spectrum = core->GetGraphInterface();
    CViewInterface& time = core->GetTimeGraph();
    const CDrawText& status = core->GetTimeGraph().GetGraph().GetStatusText();
    ASSERT_TRUE(PumpUntil([&] { return spectrum.GetRedrawCount() > 5; }));
    // Stopped and started as the Run/Stop command does (it asks the frame for
    // no update of its own): the text comes and goes in the time pane, which
    // is repainted for it although no block of the spectrum touches it.
    for (const bool running : {false, true}) {
        const unsigned long timeBefore = time.GetRedrawCount();
        core->ExecuteCommand(16, 0, 0, 0, 0, 0);
        ASSERT_EQ(status.GetText().IsEmpty(), running);
        const unsigned long spectrumBefore = spectrum.GetRedrawCount();
        if (running)
            ASSERT_TRUE(PumpUntil([&] { return spectrum.GetRedrawCount() > spectrumBefore + 20; }));
        else
            PumpEvents();
        EXPECT_GT(time.GetRedrawCount(), timeBefore) << "running " << running;
    }
    w->close();
    PumpEvents();
    frame.reset();
}

TEST_F(ZeroSpanWindowTest, AMarkerOnTheTopOfTheSpectrumCapturesTheLastBinTheDeviceTakes) {
    WriteProfileString(kSection, "StartFrequency", "88250"); // centre 100.25 MHz, base 86 MHz
    WriteProfileString(kSection, "TimeSpan", "100");
    Open("[Signal Tone]\nFrequency=111750\nLevel=-20\n");
    ASSERT_TRUE(core);
    ASSERT_EQ(core->BaseFrequency(), 86000);
    CTraceStore* line = core->GetDataLine();
    ASSERT_TRUE(PumpUntil([&] { return line->Sample(100000) > -150 * kWordsPerDb; }));
    // The marker on 112.25 MHz, bin 105: the capture takes bin 103, the
    // tone's, and the window goes on analysing.
    core->GetZeroSpanMarker().SetLockFrequency(112250);
    core->ExecuteCommand(251, 0, 0, 0, 0, 0);
    ASSERT_EQ(core->GetTimeRequested(), 1);
    ASSERT_TRUE(
        PumpUntil([&] { return core->GetTimeRequested() == 0 || !core->GetAnalyzeFlag(); }));
    EXPECT_EQ(core->GetAnalyzeFlag(), 1);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(core->GetZeroSpanMarker().GetLockFrequency(), 86000 + 103 * 250);
    EXPECT_NEAR(core->GetTimeTrace(0).Level(5000), -20.0, 3.0);
    EXPECT_TRUE(core->GetGraphInterface().GetGraph().GetStatusText().GetText().IsEmpty());
    w->close();
    PumpEvents();
    frame.reset();
}

} // namespace
