// The medical window on the simulator with the shipped channel list: it opens
// from its window kind with its three panes, a telemetry channel of the scene
// is found by its frequency and the read-out panel shows the carrier's peak,
// and the alarm line follows the mouse on the wide graph.
#include "app/childframe.h"
#include "app/mainframe.h"
#include "device/TorvelAPI.h"
#include "lib/channellist.h"
#include "lib/logwindow.h"
#include "lib/stringtable.h"
#include "modes/corefactory.h"
#include "modes/medicalanalysis.h"
#include "platform/profile.h"
#include "testutil.h"
#include "trace/measuredwords.h"
#include "windowtest.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

class MedicalWindowTest : public AnalysisWindowTest {
protected:
    // Presses panel button k with the left or right button; the pop-up menu
    // that opens is read and closed. Its item texts, empty without a menu.
    static QStringList MenuOfButton(CMedicalAnalysis* core, int k, bool right) {
        QWidget* panel = core->GetPanelWidget();
        const CRect& r = core->GetPanel().GetButton(k).GetRect();
        const QPoint at((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        QStringList items;
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (QAction* a : menu->actions())
                    items << a->text();
                menu->close();
            }
        });
        poll.start();
        const Qt::MouseButton button = right ? Qt::RightButton : Qt::LeftButton;
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), panel->mapToGlobal(QPointF(at)),
                          button, button, Qt::NoModifier);
        QApplication::sendEvent(panel, &press);
        return items;
    }
    static void Mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                      Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }
};

TEST_F(MedicalWindowTest, ATelemetryChannelIsFoundByFrequencyAndItsReadoutShowsTheCarrier) {
    WriteProfileString("MedicalAnalysis_1", "AnalyzeFlag", "1");
    WriteProfileString("MedicalAnalysis_1", "AlarmFlag", "1");
    auto frame = std::make_unique<CMainFrame>([](const CString&) {});
    frame->SetCoreFactory(CreateAnalysisCore);
    ASSERT_TRUE(frame->Create(false));
    frame->resize(900, 700);
    frame->show();
    CChildFrame* w = frame->OpenAnalysisWindow(6, "Medical", 1);
    ASSERT_TRUE(w);
    w->showMaximized();
    auto* core = dynamic_cast<CMedicalAnalysis*>(w->GetCore());
    ASSERT_TRUE(core);
    ASSERT_TRUE(core->GetPanelWidget());
    QWidget* wide = core->GetWideWidget();
    ASSERT_TRUE(wide);

    // The carrier "Telemetry 429.250" of the scene sits on channel A3001.
    const int index = core->FindChannel(429250, 0);
    ASSERT_EQ(index, GetChannelIndex("A3001"));
    core->CentreDragged(429250);
    EXPECT_EQ(core->GetPanel().GetCurrentIndex(), index);
    EXPECT_EQ(core->GetCenter(), 429250);
    // After one narrow sweep the peak of the channel's band is the carrier,
    // within one step of its frequency.
    CTraceStore* line = core->GetDataLine();
    ASSERT_TRUE(PumpUntil([&] { return line->Sample(429250) > -80 * kWordsPerDb; }));
    CString values[3];
    core->GetPanel().GetReadout().MakeValues(values);
    const double peakMHz = std::atof(values[1]);
    EXPECT_NEAR(peakMHz, 429.250, 0.0011) << static_cast<const char*>(values[1]);
    EXPECT_EQ(std::string(values[0]), "429.2500MHz");

    // The alarm line follows a drag on the wide graph to the pointer's height.
    CAlarmTriggerContext& alarm = core->GetAlarmLine();
    ASSERT_TRUE(PumpUntil([&] { return alarm.GetLineY() > 0 && wide->isVisible(); }));
    const int x = wide->width() / 3;
    const int y = alarm.GetLineY();
    const int before = alarm.GetPositionRatio();
    Mouse(wide, QEvent::MouseButtonPress, QPoint(x, y), Qt::LeftButton);
    Mouse(wide, QEvent::MouseMove, QPoint(x, y + 20), Qt::LeftButton);
    Mouse(wide, QEvent::MouseButtonRelease, QPoint(x, y + 20), Qt::NoButton);
    EXPECT_GT(alarm.GetPositionRatio(), before);
    // Released, the pointer over the line asks for the up-down cursor.
    ASSERT_TRUE(PumpUntil([&] { return alarm.GetLineY() != y; }));
    Mouse(wide, QEvent::MouseMove, QPoint(x, alarm.GetLineY()), Qt::NoButton);
    EXPECT_EQ(core->GetWideInterface().GetCursorShape(), ViewCursorShape::SizeNS);

    // The panel's menus come from the command list by their names.
    ASSERT_TRUE(PumpUntil([&] { return !core->GetPanel().GetButton(0).GetRect().IsRectEmpty(); }));
    EXPECT_TRUE(MenuOfButton(core, 0, false).contains("Letter B"));
    EXPECT_TRUE(MenuOfButton(core, 0, true).contains("Channel by Frequency..."));
    EXPECT_TRUE(MenuOfButton(core, 3, true).contains("Select Channel"));
    EXPECT_EQ(core->GetRememberedButton(), 3);
    w->close();
    PumpEvents();
    frame.reset();
}

// A steady -5 dBm tone at 411 MHz and nothing else: the alarm line (-20 dBm
// half way up the default display) lies below it from the start.
class MedicalAlarmTest : public AnalysisWindowTest {
protected:
    void OpenWindow(int alarmFlag) {
        WriteWholeFile(dir.file("scene.ini"), "[Scene]\nSeed=3\nDefaultSignals=0\n"
                                              "[Signal Tone]\nFrequency=411000\nLevel=-5\n");
        setenv("TORVEL_SIM_SCENE", dir.file("scene.ini").c_str(), 1);
        setenv("TORVEL_SIM_SPEED", "0", 1); // as fast as the simulator goes
        WriteProfileString("MedicalAnalysis_1", "AnalyzeFlag", "1");
        WriteProfileInt("MedicalAnalysis_1", "AlarmFlag", alarmFlag);
        // The line positions below are those of the wide graph at 30 dB.
        WriteProfileInt("MedicalAnalysis_1", "AttValue", 30);
        frame = std::make_unique<CMainFrame>([](const CString&) {});
        frame->SetCoreFactory(CreateAnalysisCore);
        ASSERT_TRUE(frame->Create(false));
        unsetenv("TORVEL_SIM_SCENE");
        window = frame->OpenAnalysisWindow(6, "Medical", 1);
        ASSERT_TRUE(window);
        core = dynamic_cast<CMedicalAnalysis*>(window->GetCore());
        ASSERT_TRUE(core);
        if (CLogWindow* log = GetLogWindow())
            log->ClearText();
    }
    void TearDown() override {
        if (window)
            window->close();
        PumpEvents();
        frame.reset();
        DestroyLogWindow();
        AnalysisWindowTest::TearDown();
    }
    CString LogText() const {
        const CLogWindow* log = GetLogWindow();
        return log ? log->GetText() : CString();
    }
    // Pumps until the wide line was swept to its end n more times.
    bool WideSweeps(int n) {
        int last = core->GetWidePosition();
        return PumpUntil(
            [&] {
                const int now = core->GetWidePosition();
                if (now < last)
                    --n;
                last = now;
                return n <= 0;
            },
            std::chrono::seconds(60));
    }
    bool WideMeasured() {
        CDataLineContext& wide = core->GetWideLine(0);
        return AllMeasured(wide, core->GetWideStart(), core->GetWideStop() - 10);
    }
    std::unique_ptr<CMainFrame> frame;
    CChildFrame* window = nullptr;
    CMedicalAnalysis* core = nullptr;
};

TEST_F(MedicalAlarmTest, AToneAboveTheLineAtSwitchOnRaisesNoAlarmUntilItCrossesIt) {
    OpenWindow(1); // above the line
    // Three whole sweeps of the wide band: the tone was above the line from
    // the start, so the condition never cleared and nothing fires.
    ASSERT_TRUE(WideSweeps(3));
    ASSERT_TRUE(WideMeasured());
    EXPECT_EQ(core->GetAlarmState(), CMedicalAnalysis::kAlarmWaiting);
    EXPECT_TRUE(LogText().IsEmpty()) << static_cast<const char*>(LogText());

    // The line raised above the tone (+20 dBm) arms the alarm; lowered below
    // it again, the tone crosses it and the alarm fires once, naming it.
    CAlarmTriggerContext& line = core->GetAlarmLine();
    line.SetPositionRatio(CAlarmTriggerContext::kRatioOne / 10);
    ASSERT_TRUE(PumpUntil([&] { return core->GetAlarmState() == CMedicalAnalysis::kAlarmArmed; },
                          std::chrono::seconds(60)));
    line.SetPositionRatio(CAlarmTriggerContext::kRatioOne / 2);
    ASSERT_TRUE(PumpUntil([&] { return !LogText().IsEmpty(); }, std::chrono::seconds(60)));
    EXPECT_NE(std::string(LogText()).find("411MHz -5"), std::string::npos)
        << static_cast<const char*>(LogText());
    EXPECT_TRUE(WideSweeps(2));
    EXPECT_EQ(std::string(LogText()).find("411MHz", std::string(LogText()).find("411MHz") + 1),
              std::string::npos)
        << "one crossing, one alarm";
}

TEST_F(MedicalAlarmTest, ALoggingRefreshDoesNotFireAnArmedBelowAlarm) {
    OpenWindow(2); // below the line: armed while the tone is above it
    ASSERT_TRUE(PumpUntil([&] { return core->GetAlarmState() == CMedicalAnalysis::kAlarmArmed; },
                          std::chrono::seconds(60)));
    // A logging output with refresh every second of a clock the test moves:
    // each output reinitialises the traces.
    CTime now = CTime::GetCurrentTime();
    CLoggingParam& param = core->GetLoggingParam();
    param.m_OutFlags = 0;
    param.m_RefreshFlag = 1;
    param.m_StartFlag = 0;
    param.m_StopFlag = 0;
    param.m_TimeSpan = CTimeSpan(1);
    core->GetLoggingOutput().SetClock([&] { return now; });
    core->GetLoggingOutput().Start();
    for (int i = 0; i < 3; ++i) {
        now += CTimeSpan(1);
        ASSERT_TRUE(WideSweeps(2));
    }
    EXPECT_EQ(core->GetAlarmState(), CMedicalAnalysis::kAlarmArmed);
    EXPECT_TRUE(LogText().IsEmpty()) << static_cast<const char*>(LogText());
    core->GetLoggingOutput().Stop();

    // Raised above the tone, the line is no longer exceeded: that crossing fires.
    core->GetAlarmLine().SetPositionRatio(CAlarmTriggerContext::kRatioOne / 10);
    ASSERT_TRUE(PumpUntil([&] { return !LogText().IsEmpty(); }, std::chrono::seconds(60)));
    EXPECT_NE(std::string(LogText()).find("411MHz -5"), std::string::npos)
        << static_cast<const char*>(LogText());
}

TEST_F(MedicalWindowTest, AtItsDefaultsTheNarrowGraphShowsTheNoiseFloorAndTheCarriers) {
    WriteProfileString("MedicalAnalysis_1", "AnalyzeFlag", "1");
    auto frame = std::make_unique<CMainFrame>([](const CString&) {});
    frame->SetCoreFactory(CreateAnalysisCore);
    ASSERT_TRUE(frame->Create(false));
    frame->show();
    CChildFrame* w = frame->OpenAnalysisWindow(6, "Medical", 1);
    ASSERT_TRUE(w);
    auto* core = dynamic_cast<CMedicalAnalysis*>(w->GetCore());
    ASSERT_TRUE(core);
    CTraceStore* line = core->GetDataLine();
    const DWORD points = line->GetPoints();
    ASSERT_GT(points, 10u);
    // A whole narrow sweep.
    ASSERT_TRUE(PumpUntil([&] {
        const short* data = line->GetData();
        return std::all_of(data, data + points, [](short w) { return IsMeasuredWord(w); });
    }));
    std::vector<short> words(line->GetData(), line->GetData() + points);
    std::nth_element(words.begin(), words.begin() + points / 2, words.end());
    const double floor = words[points / 2] / kWordsPerDb;
    const CNormalGraphContext& graph = core->GetGraphInterface().GetGraph();
    // The floor lies inside the graph, clear of its bottom; the carrier at
    // 431.125 MHz stands above it, below the top.
    EXPECT_GT(floor, graph.GetYMin() + 3.0) << floor << " " << graph.GetYMin();
    const double carrier = line->Level(line->Peak(431100, 431150));
    EXPECT_GT(carrier, floor + 10.0) << carrier << " " << floor;
    EXPECT_LT(carrier, graph.GetYMax());
    w->close();
    PumpEvents();
    frame.reset();
}

} // namespace
