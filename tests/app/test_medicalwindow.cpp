// The medical window on the simulator with the shipped channel list: it opens
// from its window kind with its three panes, a telemetry channel of the scene
// is found by its frequency and the read-out panel shows the carrier's peak,
// and the alarm line follows the mouse on the wide graph.
#include "app/childframe.h"
#include "app/mainframe.h"
#include "device/TorvelAPI.h"
#include "lib/channellist.h"
#include "lib/stringtable.h"
#include "modes/corefactory.h"
#include "modes/medicalanalysis.h"
#include "platform/profile.h"
#include "testutil.h"
#include "windowtest.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>

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

} // namespace
