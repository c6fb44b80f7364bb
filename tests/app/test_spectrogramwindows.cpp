// The spectrogram windows on the simulator. The semi-real-time window opens
// with the spectrogram over the chunk and spectrum graphs, streams slices
// until its ring is full, and a swept tone runs through the ring as a line
// that moves up in frequency from the oldest slice to the newest. The
// real-time window's free-running captures follow one another, and a
// level-triggered single capture of the scene's remote key puts the first
// slice of the pulse at the trigger position; a band off the 1 MHz grid is
// measured to the last point of its slices. In both windows every pane takes
// the focus by a click and by Tab, shows it, and passes keys to its interface.
#include "analysis/viewinterface.h"
#include "app/childframe.h"
#include "app/mainframe.h"
#include "app/torvelview.h"
#include "device/TorvelAPI.h"
#include "draw/waterfallcontext.h"
#include "lib/channellist.h"
#include "lib/stringtable.h"
#include "modes/corefactory.h"
#include "modes/realtimeanalysis.h"
#include "modes/semirealanalysis.h"
#include "platform/profile.h"
#include "testutil.h"
#include "windowtest.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// A main frame on the simulator opened on demand.
class SpectrogramWindowTest : public AnalysisWindowTest {
protected:
    std::unique_ptr<CMainFrame> frame;
    void TearDown() override {
        frame.reset();
        AnalysisWindowTest::TearDown();
    }
    // The core of a new window of the kind, or null.
    template <typename Core> Core* Open(int kind) {
        frame = std::make_unique<CMainFrame>([](const CString&) {});
        frame->SetCoreFactory(CreateAnalysisCore);
        if (!frame->Create(false))
            return nullptr;
        frame->show();
        CChildFrame* w = frame->OpenAnalysisWindow(kind, "Spectrogram", 1);
        return w ? dynamic_cast<Core*>(w->GetCore()) : nullptr;
    }
};

// The actions of the entries of a command list in the string table.
std::set<int> ListActions(const std::string& list) {
    std::set<int> actions;
    for (int i = 100; i < 3000; ++i) {
        const std::string line = GetTorvelString(i) ? GetTorvelString(i) : "";
        if (line == "END_LIST")
            break;
        std::vector<std::string> fields;
        std::stringstream in(line);
        for (std::string field; std::getline(in, field, ',');)
            fields.push_back(field);
        if (fields.size() >= 11 && fields[0] == list)
            actions.insert(std::atoi(fields[5].c_str()));
    }
    return actions;
}

TEST_F(SpectrogramWindowTest, EveryCommandOfTheWindowsIsOnTheirMenusOrButtons) {
    for (const char* kind : {"SEMIREAL", "REALTIME"}) {
        std::set<int> actions = ListActions(std::string(kind) + "_FRAME_1");
        const std::set<int> buttons = ListActions(std::string(kind) + "_BUTTON_1");
        actions.insert(buttons.begin(), buttons.end());
        for (int action : {16, 18, 21, 31, 201, 202, 203, 204})
            EXPECT_TRUE(actions.count(action)) << kind << " " << action;
    }
    const std::set<int> semi = ListActions("SEMIREAL_FRAME_1");
    for (int action : {205, 206, 207})
        EXPECT_TRUE(semi.count(action)) << action;
    const std::set<int> real = ListActions("REALTIME_FRAME_1");
    for (int action : {301, 302, 303, 304})
        EXPECT_TRUE(real.count(action)) << action;
}

// The frequency of the highest word of a slice.
long long PeakOf(const CTraceStore& slice) {
    return slice.Peak(slice.GetStart(), slice.GetStart() + slice.GetPoints() * slice.GetStep());
}

TEST_F(SpectrogramWindowTest, SemiRealRingFillsAndASweptToneMovesUpThroughIt) {
    // A tone running from 1000 to 1200 MHz in 20 s of the device's clock, which
    // runs in real time from the device's opening. An instrumented build takes
    // its slices several times more slowly: the tone runs as many times slower
    // there, so that the ring still spans less than one of its rounds.
    const int slow = SanitizerSlowdown();
    WriteWholeFile(dir.file("scene.ini"), "[Scene]\nSeed=7\nDefaultSignals=0\n"
                                          "[Signal Sweep]\nType=Sweep\nFrequency=1000000\n"
                                          "StopFrequency=1200000\nPeriod=" +
                                              std::to_string(20 * slow) + "\nLevel=-30\n");
    setenv("TORVEL_SIM_SCENE", dir.file("scene.ini").c_str(), 1);
    setenv("TORVEL_SIM_SPEED", "1", 1);
    WriteProfileString("SemiRealAnalysis_1", "AnalyzeFlag", "1");
    WriteProfileString("SemiRealAnalysis_1", "StartFrequency", "1000000");
    WriteProfileString("SemiRealAnalysis_1", "StopFrequency", "1200000");
    QElapsedTimer opened;
    opened.start();
    auto* core = Open<CSemiRealAnalysis>(4);
    ASSERT_TRUE(core);
    ASSERT_TRUE(core->GetOuterSplitter() && core->GetInnerSplitter());
    EXPECT_EQ(core->Get3DView()->parentWidget(), core->GetOuterSplitter());
    EXPECT_EQ(core->GetChunkView()->parentWidget(), core->GetInnerSplitter());

    // 100 slices and more: every ring entry has been written.
    int received = 0;
    int lastWrite = 0;
    ASSERT_TRUE(PumpUntil(
        [&] {
            const int now = core->GetWritePosition();
            received += (now - lastWrite + 100) % 100;
            lastWrite = now;
            return received >= 150;
        },
        std::chrono::seconds(60)));
    core->SetAnalyzeFlag(0);
    const double seconds = opened.elapsed() / 1000.0;
    // A slice takes 50 ms of the device's clock: 100 slices span 5 s, in
    // which the tone moves 50 MHz. A loaded machine takes the slices late and
    // the device drops some, so the ring spans more, but never more of the
    // device's clock than the time the test measured since the device opened
    // (10 MHz a second); the tone must not have come round inside it.
    ASSERT_LT(seconds, 19.0 * slow) << "the tone came round while the ring filled";
    const long long newest = PeakOf(core->GetSliceBack(0));
    const long long oldest = PeakOf(core->GetSliceBack(99));
    EXPECT_GT(newest - oldest, 30000 / slow) << newest << " " << oldest;
    EXPECT_LE(newest - oldest, static_cast<long long>(10000 * seconds / slow) + 10000)
        << newest << " " << oldest << " in " << seconds << " s";
    // Step by step the line only moves up (a slice or two may share a point).
    for (int k = 1; k < 100; ++k)
        EXPECT_GE(PeakOf(core->GetSliceBack(k - 1)), PeakOf(core->GetSliceBack(k))) << k;
    // The tone stands far above the noise at its point.
    const CTraceStore& slice = core->GetSliceBack(0);
    EXPECT_GT(slice.Level(newest), -40.0);
    EXPECT_LT(slice.Level(newest < 1100000 ? 1190000 : 1010000), -45.0);
    // The spectrum shows the newest slice and the chunk line is full.
    EXPECT_EQ(core->GetDataLine()->Peak(1000000, 1200000), newest);
    EXPECT_NE(core->GetChunkLine().GetData()[99], kNoSample);
}

// The highest level of a slice in dB.
double Highest(const CTraceStore& slice) {
    const long long f =
        slice.Peak(slice.GetStart(), slice.GetStart() + slice.GetPoints() * slice.GetStep());
    return slice.Level(f);
}

// The remote key's band, analysing from the start.
void RealTimeProfile() {
    WriteProfileString("RealTimeAnalysis_1", "AnalyzeFlag", "1");
    WriteProfileString("RealTimeAnalysis_1", "StartFrequency", "421920");
    WriteProfileString("RealTimeAnalysis_1", "StopFrequency", "445920");
}

TEST_F(SpectrogramWindowTest, RealTimeFreeRunningCapturesFollowOneAnother) {
    RealTimeProfile();
    WriteProfileString("RealTimeAnalysis_1", "TrigMode", "1");
    auto* core = Open<CRealTimeAnalysis>(5);
    ASSERT_TRUE(core);
    EXPECT_EQ(core->GetCenter(), 433750);
    // Each capture stamps a new time on the data; three of them come in a row.
    int captures = 0;
    const CDataLineContext* newest = &core->GetSliceBack(0);
    short last = 0;
    ASSERT_TRUE(PumpUntil([&] {
        const short* data = newest->GetData();
        if (data && data[3] != kNoSample && data[3] != last) {
            last = data[3];
            ++captures;
        }
        return captures >= 3;
    }));
    EXPECT_EQ(core->GetAnalyzeFlag(), 1);
}

TEST_F(SpectrogramWindowTest, RealTimeTriggeredCaptureStartsThePulseAtTheTriggerPosition) {
    RealTimeProfile();
    WriteProfileString("RealTimeAnalysis_1", "TrigType", "1");
    WriteProfileString("RealTimeAnalysis_1", "TrigPosition", "40");
    auto* core = Open<CRealTimeAnalysis>(5);
    ASSERT_TRUE(core);
    // A single capture: the window stops once its data are in.
    ASSERT_TRUE(PumpUntil([&] { return core->GetAnalyzeFlag() == 0; }));
    // The threshold lies 10 dB above the floor the bins show at this attenuation.
    const double threshold = -82.7 + core->GetAttenuation() + 10.0;
    // Block 40 of 256 is the trigger block: 255 - 40 slices back from the newest.
    const int trigger = 255 - 40;
    EXPECT_GT(Highest(core->GetSliceBack(trigger)), threshold);
    for (int k = trigger + 1; k <= 255; ++k)
        EXPECT_LT(Highest(core->GetSliceBack(k)), threshold) << k;
    // The 5 ms pulse lasts the rest of the 1.024 ms capture.
    EXPECT_GT(Highest(core->GetSliceBack(0)), threshold);
}

TEST_F(SpectrogramWindowTest, RealTimeBandOffTheMegahertzGridIsMeasuredToItsLastPoint) {
    // One capture of the band from 2400.5 MHz: the slices' grid runs on the
    // 1 MHz grid from 2400 to 2424.75 MHz.
    WriteProfileString("RealTimeAnalysis_1", "AnalyzeFlag", "1");
    WriteProfileString("RealTimeAnalysis_1", "StartFrequency", "2400500");
    WriteProfileString("RealTimeAnalysis_1", "StopFrequency", "2424500");
    auto* core = Open<CRealTimeAnalysis>(5);
    ASSERT_TRUE(core);
    ASSERT_EQ(core->GetStart(), 2400500);
    ASSERT_TRUE(PumpUntil([&] { return core->GetAnalyzeFlag() == 0; }));
    for (int k : {0, 128, 255}) {
        const CTraceStore& slice = core->GetSliceBack(k);
        ASSERT_EQ(slice.GetStart(), 2400000u);
        ASSERT_EQ(slice.GetPoints(), 100u);
        for (int i = 0; i < 100; ++i)
            ASSERT_NE(slice.GetData()[i], kNoSample) << "slice " << k << " point " << i;
    }
    EXPECT_NE(core->GetDataLine()->Sample(2424750), kNoSample);
}

// Records the key releases a view interface passes on to its owner.
class KeyRecorder : public CViewOwner {
public:
    std::vector<std::pair<UINT, CViewInterface*>> keys;
    void OnViewKeyUp(UINT key, int, int, CViewInterface* intf) override {
        keys.emplace_back(key, intf);
    }
};

void Click(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(w->width() / 2, w->height() / 2));
}

// A key pressed and released in the widget that has the focus.
void Type(Qt::Key key) {
    QWidget* w = QApplication::focusWidget();
    ASSERT_TRUE(w);
    QTest::keyClick(w, key);
}

// The focus mark: a frame in the highlight colour just inside the edge.
bool ShowsFocus(QWidget* w) {
    const QImage image = w->grab().toImage();
    const QColor mark = w->palette().color(QPalette::Highlight);
    return image.pixelColor(1, image.height() / 2) == mark &&
           image.pixelColor(image.width() / 2, image.height() - 2) == mark;
}

TEST_F(SpectrogramWindowTest, PanesTakeTheFocusByClickAndTabShowItAndPassKeysOn) {
    for (int kind : {4, 5}) {
        auto* core = Open<CSpectrogramAnalysis>(kind);
        ASSERT_TRUE(core);
        frame->activateWindow();
        ASSERT_TRUE(PumpUntil([&] { return frame->isActiveWindow(); }));
        QWidget* panes[] = {core->Get3DView(), core->GetChunkView(),
                            core->GetInnerSplitter()->widget(1)};
        ASSERT_TRUE(dynamic_cast<CTorvelView*>(panes[2])) << kind;
        for (QWidget* pane : panes) {
            Click(pane);
            ASSERT_TRUE(pane->hasFocus()) << kind;
            EXPECT_TRUE(ShowsFocus(pane)) << kind;
            for (QWidget* other : panes)
                EXPECT_TRUE(other == pane || !ShowsFocus(other)) << kind;
        }
        // Tab goes round the three panes.
        Click(panes[0]);
        std::set<QWidget*> visited;
        for (int n = 0; n < 30 && visited.size() < 3; ++n) {
            Type(Qt::Key_Tab);
            for (QWidget* pane : panes)
                if (pane->hasFocus())
                    visited.insert(pane);
        }
        EXPECT_EQ(visited.size(), 3u) << kind;
        // A key released in a pane reaches the owner of the pane's interface.
        for (QWidget* pane : {panes[0], panes[1]}) {
            CViewInterface* intf = dynamic_cast<CViewWindow*>(pane)->GetViewInterface();
            ASSERT_TRUE(intf);
            KeyRecorder recorder;
            intf->SetOwner(&recorder);
            Click(pane);
            Type(Qt::Key_Left);
            Type(Qt::Key_A);
            intf->SetOwner(core);
            ASSERT_EQ(recorder.keys.size(), 2u) << kind;
            EXPECT_EQ(recorder.keys[0], std::make_pair(0x25u, intf)); // VK_LEFT
            EXPECT_EQ(recorder.keys[1], std::make_pair(static_cast<UINT>('A'), intf));
        }
        frame.reset();
    }
}

TEST_F(SpectrogramWindowTest, TheWaterfallReadoutGivesAbsoluteLevelsAndGoesWithThePointer) {
    WriteProfileString("SemiRealAnalysis_1", "AnalyzeFlag", "1");
    auto* core = Open<CSemiRealAnalysis>(4);
    ASSERT_TRUE(core);
    core->ExecuteCommand(208, 1, 0, 0, 0, 0); // the waterfall view
    QWidget* pane = core->Get3DView();
    CWaterfallContext& fall = core->GetWaterfallInterface().GetWaterfall();
    QPoint centre;
    CString text;
    ASSERT_TRUE(PumpUntil([&] {
        pane->repaint();
        centre = QPoint(fall.GetImageRect().CenterPoint().x, fall.GetImageRect().top + 1);
        return fall.ReadoutAt(centre.x(), centre.y(), &text);
    }));
    // A level in dBm (the graph's unit), not a difference in dB.
    EXPECT_EQ(text.Right(3), "dBm") << text.c_str();
    QTest::mouseMove(pane, centre);
    ASSERT_TRUE(PumpUntil([&] { return fall.IsReadoutOn(); }));
    // The pointer moves on to the chunk graph: the read-out goes.
    QTest::mouseMove(core->GetChunkView(), QPoint(5, 5));
    EXPECT_TRUE(PumpUntil([&] { return !fall.IsReadoutOn(); }));
    core->ExecuteCommand(16, 0, 0, 0, 0, 0);
}

} // namespace
