// Trigger and alarm lines: the 12.20 position and the level it stands for,
// the kept row of a negative ratio, dragging, hit tests at 5 and 6 pixels,
// direction marks and labels on the pixels, readout formats, the setting-file
// sections; and the text log's lines, layout and buttons.
#include "draw/datalinecontext.h"
#include "draw/textlogcontext.h"
#include "draw/triggercontext.h"
#include "drawtestutil.h"
#include "lib/stringtable.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

#include <climits>

using namespace drawtest;

namespace {

// 201 pixel rows: a ratio of 0.5 puts the line on row 101.
const CRect kArea(0, 0, 100, 200);

class TriggerTest : public DrawTest {
protected:
    // The alarm line takes its labels from the string table when it is built,
    // so the table is loaded before the fixture's members exist.
    static void SetUpTestSuite() {
        InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500);
    }
    void SetUp() override {
        DrawTest::SetUp();
        m_line.SetWindow(1000, 2000, -20.0, -120.0);
        for (CLoggingTriggerContext* t : {static_cast<CLoggingTriggerContext*>(&m_trigger),
                                          static_cast<CLoggingTriggerContext*>(&m_alarm)}) {
            t->SetRect(kArea);
            t->SetDataLine(&m_line);
            t->SetDrawObject(m_object.get());
            t->SetHitTestFlag(1);
            t->SetIdentifyValue(60);
            t->SetRedrawFlag(1);
        }
    }
    void Draw(CLoggingTriggerContext& t) { t.Draw(&m_surface.dc, nullptr, nullptr); }
    CDataLineContext m_line;
    CLoggingTriggerContext m_trigger;
    CAlarmTriggerContext m_alarm;
    std::unique_ptr<CDrawObject> m_object = MakeDrawObject(kWhite, kBlue, kRed, "TriggerTest");
    Surface m_surface{120, 220};
};

TEST_F(TriggerTest, HalfRatioPutsTheLineAndLevelHalfway) {
    m_trigger.SetPositionRatio(524288);
    EXPECT_DOUBLE_EQ(m_trigger.GetLevel(), -70.0);
    Draw(m_trigger);
    EXPECT_EQ(m_trigger.GetLineY(), 100);
    EXPECT_EQ(m_surface.At(50, 100), kRed);
    EXPECT_EQ(m_surface.At(50, 99), kWhite);
    // The ends: 0 is the top (y max), 1.0 the bottom (y min).
    m_trigger.SetPositionRatio(0);
    EXPECT_DOUBLE_EQ(m_trigger.GetLevel(), -20.0);
    m_trigger.SetPositionRatio(CLoggingTriggerContext::kRatioOne);
    EXPECT_DOUBLE_EQ(m_trigger.GetLevel(), -120.0);

    CLoggingTriggerContext lonely;
    lonely.SetPositionRatio(524288);
    EXPECT_EQ(lonely.GetLevel(), 0.0);
    EXPECT_EQ(lonely.SetFromPixel(10), 0);
    EXPECT_EQ(lonely.GetPositionRatio(), 524288);
}

TEST_F(TriggerTest, NegativeRatioKeepsThePreviousRow) {
    m_trigger.SetPositionRatio(262144);
    Draw(m_trigger);
    EXPECT_EQ(m_trigger.GetLineY(), 50);
    m_trigger.SetPositionRatio(-1);
    Draw(m_trigger);
    EXPECT_EQ(m_trigger.GetLineY(), 50);
}

TEST_F(TriggerTest, DraggingSetsTheRatioInsideTheGraph) {
    EXPECT_EQ(m_trigger.SetFromPixel(50), 1);
    EXPECT_EQ(m_trigger.GetPositionRatio(), (50 << 20) / 200);
    m_trigger.SetFromPixel(-40);
    EXPECT_EQ(m_trigger.GetPositionRatio(), 0);
    m_trigger.SetFromPixel(900);
    EXPECT_EQ(m_trigger.GetPositionRatio(), CLoggingTriggerContext::kRatioOne);
    // A graph without height keeps the line where it is.
    m_trigger.SetRect(CRect(0, 10, 100, 10));
    EXPECT_EQ(m_trigger.SetFromPixel(10), 0);
    EXPECT_EQ(m_trigger.GetPositionRatio(), CLoggingTriggerContext::kRatioOne);
}

TEST_F(TriggerTest, HitsAtFiveButNotSixPixels) {
    m_trigger.SetPositionRatio(524288);
    Draw(m_trigger);
    EXPECT_EQ(m_trigger.HitTest(30, 95, INT_MAX, 127), &m_trigger);
    EXPECT_EQ(m_trigger.HitTest(30, 105, INT_MAX, 127), &m_trigger);
    EXPECT_EQ(m_trigger.HitTest(30, 94, INT_MAX, 127), nullptr);
    EXPECT_EQ(m_trigger.GetHitArea(), 1000);
    // It wins over the graph it lies in.
    CDrawContext graph;
    graph.SetRect(kArea);
    graph.SetHitTestFlag(1);
    graph.AddChild(&m_trigger);
    EXPECT_EQ(graph.HitTest(30, 95, INT_MAX, 127), &m_trigger);
    EXPECT_EQ(graph.HitTest(30, 94, INT_MAX, 127), &graph);
    m_trigger.SetRedrawFlag(0);
    EXPECT_EQ(graph.HitTest(30, 100, INT_MAX, 127), &graph);
}

TEST_F(TriggerTest, DirectionMarkAboveOrBelowAtTheRightEnd) {
    m_trigger.SetPositionRatio(524288);
    Draw(m_trigger);
    // Direction 0: the triangle between rows y-12 and y-4, columns r-16 .. r-8.
    CRect up = m_surface.BoxOf(kRed, CRect(70, 80, 100, 99));
    EXPECT_EQ(up.left, 84);
    EXPECT_EQ(up.right, 93);
    EXPECT_EQ(up.top, 88);
    EXPECT_EQ(up.bottom, 97);
    EXPECT_TRUE(m_surface.BoxOf(kRed, CRect(70, 101, 100, 120)).IsRectEmpty());

    Surface down(120, 220);
    m_trigger.SetDirectionFlag(1);
    m_trigger.Draw(&down.dc, nullptr, nullptr);
    EXPECT_TRUE(down.BoxOf(kRed, CRect(70, 80, 100, 99)).IsRectEmpty());
    CRect below = down.BoxOf(kRed, CRect(70, 101, 100, 120));
    EXPECT_EQ(below.top, 104);
    EXPECT_EQ(below.bottom, 113);
}

TEST_F(TriggerTest, ReadoutFormatsByUnit) {
    m_trigger.SetPositionRatio(524288);
    Draw(m_trigger);
    EXPECT_EQ(m_trigger.GetReadoutLine().GetText(), CString("TRIGGER -70.00dBm"));
    EXPECT_EQ(m_trigger.GetReadoutLine().GetX(), 2);
    EXPECT_TRUE(m_trigger.GetReadoutLine().GetRedrawFlag());
    m_line.SetUnit(2);
    Draw(m_trigger);
    EXPECT_EQ(m_trigger.GetReadoutLine().GetText(), CString("TRIGGER -70.00dBuV"));

    m_alarm.SetPositionRatio(524288);
    Draw(m_alarm);
    EXPECT_EQ(m_alarm.GetReadoutLine().GetText(), CString("ALARM -70.00dBuV"));
    m_line.SetUnit(1);
    Draw(m_alarm);
    EXPECT_EQ(m_alarm.GetReadoutLine().GetText(), CString("ALARM -70.00dBm"));

    // A hidden data line hides the readout and draws nothing more.
    m_line.SetRedrawFlag(0);
    Draw(m_trigger);
    EXPECT_FALSE(m_trigger.GetReadoutLine().GetRedrawFlag());
}

TEST_F(TriggerTest, AlarmLabelOnTheWatchedSide) {
    EXPECT_EQ(m_alarm.GetTypeCode(), 1022);
    EXPECT_EQ(m_alarm.GetLabelAbove(),
              CString(GetTorvelString(CAlarmTriggerContext::kStrLabelAbove)));
    m_alarm.SetPositionRatio(524288);
    Draw(m_alarm);
    CRect above = m_surface.BoxOf(kBlue, CRect(0, 60, 100, 100));
    ASSERT_FALSE(above.IsRectEmpty());
    EXPECT_LE(above.right, 98); // right-aligned 2 pixels inside
    EXPECT_LE(above.bottom, 98);
    EXPECT_TRUE(m_surface.BoxOf(kBlue, CRect(0, 101, 100, 140)).IsRectEmpty());

    Surface down(120, 220);
    m_alarm.SetDirectionFlag(1);
    m_alarm.Draw(&down.dc, nullptr, nullptr);
    EXPECT_TRUE(down.BoxOf(kBlue, CRect(0, 60, 100, 100)).IsRectEmpty());
    CRect below = down.BoxOf(kBlue, CRect(0, 101, 100, 140));
    ASSERT_FALSE(below.IsRectEmpty());
    EXPECT_GE(below.top, 102);
}

TEST_F(TriggerTest, SettingSectionsRoundTrip) {
    m_trigger.SetPositionRatio(300000);
    m_trigger.SetDirectionFlag(1);
    ASSERT_TRUE(m_trigger.WriteSetting("NORMAL_GRAPH_INTF"));
    m_alarm.SetPositionRatio(700000);
    ASSERT_TRUE(m_alarm.WriteSetting("MEDICAL_"));
    int value = 0;
    EXPECT_EQ(GetSettingFileINT("NORMAL_GRAPH_INTFLOGTRIGGER", "PositionRatio", &value), 1);
    EXPECT_EQ(value, 300000);
    EXPECT_EQ(GetSettingFileINT("MEDICAL_ALMTRIGGER", "PositionRatio", &value), 1);
    EXPECT_EQ(value, 700000);

    CLoggingTriggerContext trigger;
    trigger.SetRedrawFlag(0);
    ASSERT_TRUE(trigger.ReadSetting("NORMAL_GRAPH_INTF"));
    EXPECT_EQ(trigger.GetPositionRatio(), 300000);
    EXPECT_EQ(trigger.GetDirectionFlag(), 1);
    EXPECT_EQ(trigger.GetRedrawFlag(), 1);
    EXPECT_EQ(trigger.GetReadoutLine().GetRedrawFlag(), 1);
    EXPECT_EQ(trigger.GetIdentifyValue(), 60);

    CAlarmTriggerContext alarm;
    ASSERT_TRUE(alarm.ReadSetting("MEDICAL_"));
    EXPECT_EQ(alarm.GetPositionRatio(), 700000);
    EXPECT_FALSE(alarm.ReadSetting("NORMAL_GRAPH_INTF")); // no ALMTRIGGER there
}

// ---- The text log

TEST(TextLogContext, AppendedTextsAreLinesEndedByCrLf) {
    QWidget window;
    window.resize(400, 300);
    CTextLogContext log;
    EXPECT_TRUE(log.GetText().IsEmpty());
    log.AppendText("no edit yet"); // nothing happens without the controls
    EXPECT_FALSE(log.Create(nullptr, CRect(0, 0, 10, 10)));
    ASSERT_TRUE(log.Create(&window, CRect(0, 0, 400, 300)));
    log.AppendText("first");
    log.AppendText("second");
    EXPECT_EQ(log.GetText(), CString("first\r\nsecond\r\n"));
    log.ClearText();
    EXPECT_TRUE(log.GetText().IsEmpty());
}

TEST(TextLogContext, ControlsAreLaidOutInTheContext) {
    QWidget window;
    window.resize(500, 400);
    CTextLogContext log;
    ASSERT_TRUE(log.Create(&window, CRect(0, 0, 100, 100)));
    EXPECT_EQ(log.GetEdit()->objectName(), QString("37003"));
    EXPECT_EQ(log.GetClearButton()->objectName(), QString("37002"));
    EXPECT_EQ(log.GetSaveButton()->objectName(), QString("37001"));
    Surface s(420, 320);
    log.SetRect(CRect(10, 20, 410, 320));
    log.Draw(&s.dc, nullptr, nullptr);
    // The edit: 6 pixels in at the sides and bottom, 34 below the top.
    const QRect edit = log.GetEdit()->geometry();
    EXPECT_EQ(edit.left(), 16);
    EXPECT_EQ(edit.top(), 54);
    EXPECT_EQ(edit.right() + 1, 404);
    EXPECT_EQ(edit.bottom() + 1, 314);
    // The buttons share the strip from top + 4 to top + 30; We = 388.
    const QRect clear = log.GetClearButton()->geometry();
    const QRect save = log.GetSaveButton()->geometry();
    EXPECT_EQ(clear.left(), 16);
    EXPECT_EQ(clear.top(), 24);
    EXPECT_EQ(clear.bottom() + 1, 50);
    EXPECT_EQ(clear.right() + 1, 410 - (194 + 8));
    EXPECT_EQ(save.left(), clear.left() + 198);
    EXPECT_EQ(save.width(), clear.width());

    std::vector<UINT> commands;
    log.OnCommand = [&](UINT id) { commands.push_back(id); };
    log.GetSaveButton()->click();
    log.GetClearButton()->click();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0], CTextLogContext::kIdSave);
    EXPECT_EQ(commands[1], CTextLogContext::kIdClear);
}

} // namespace
