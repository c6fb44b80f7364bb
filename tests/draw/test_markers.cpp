// Markers and the cursor: placement and snapping, peak hold, delta modes with
// difference and band power, the band painted by the frame's blending
// background, hit tests at 5 and 6 pixels, readout texts, symbols on the
// pixels, the setting-file sections, the cursor's readout alignment, the
// drag gestures of a rendered graph window, and the normal window's marker
// commands.
#include "analysis/graphinterface.h"
#include "app/torvelview.h"
#include "draw/cursolcontext.h"
#include "draw/datalinecontext.h"
#include "draw/markercontext.h"
#include "draw/normalframecontext.h"
#include "draw/triggercontext.h"
#include "drawtestutil.h"
#include "lib/stringtable.h"
#include "modes/normalanalysis.h"

#include <QCoreApplication>
#include <QMouseEvent>

#include <climits>

using namespace drawtest;

namespace {

constexpr DWORD kStart = 1000; // kHz
constexpr DWORD kStep = 10;
constexpr DWORD kPoints = 100;
// 100 samples on 100 pixel columns: sample i lands on column i.
const CRect kArea(0, 0, 99, 100);

class MarkerTest : public DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500);
        FlatLine(m_line, kStart, kStep, kPoints, -80.0, kArea);
        m_line.SetWord(20, Word(-20.0));
        m_line.SetWord(50, Word(-30.0));
        m_line.SetWord(70, Word(-40.0));
        m_line.SetDrawObject(m_lineObject.get());
        m_marker.SetRect(kArea);
        m_marker.SetMarkerNumber(1);
        m_marker.SetDataLine(&m_line);
        m_marker.SetDrawObject(m_markerObject.get());
        m_marker.SetHitTestFlag(1);
        m_marker.SetIdentifyValue(50);
    }
    // Maps the data line and draws the marker onto the surface.
    void Render() {
        m_line.Draw(&m_surface.dc, nullptr, nullptr);
        m_marker.Draw(&m_surface.dc, nullptr, nullptr);
    }
    CDataLineContext m_line;
    CMarkerContext m_marker;
    std::unique_ptr<CDrawObject> m_lineObject = MakeDrawObject(kWhite, kBlack, kGrey, "LineTest");
    std::unique_ptr<CDrawObject> m_markerObject = MakeDrawObject(kGreen, kBlue, kRed, "MarkerTest");
    Surface m_surface{120, 110};
};

TEST_F(MarkerTest, SetFrequencySnapsInsideTheWindowAndRefusesOutside) {
    EXPECT_TRUE(m_marker.SetFrequency(1234));
    EXPECT_EQ(m_marker.GetLockFrequency(), 1230);
    EXPECT_TRUE(m_marker.SetFrequency(1235)); // halves go up
    EXPECT_EQ(m_marker.GetLockFrequency(), 1240);
    m_marker.SetChildLockFrequency(1500);
    EXPECT_FALSE(m_marker.SetFrequency(999));
    EXPECT_FALSE(m_marker.SetFrequency(2001));
    EXPECT_EQ(m_marker.GetLockFrequency(), 1240);
    EXPECT_EQ(m_marker.GetChildLockFrequency(), 1500);

    CMarkerContext lonely;
    EXPECT_FALSE(lonely.SetFrequency(1500));
    EXPECT_EQ(lonely.PeakSearch(1000, 2000), 0);
    EXPECT_EQ(lonely.GetLockFrequency(), -1);
}

TEST_F(MarkerTest, PeakSearchAndNextPeakWalkDownThePeaks) {
    EXPECT_EQ(m_marker.PeakSearch(1000, 2000), 1200);
    EXPECT_EQ(m_marker.NextPeak(1000, 2000), 1500);
    EXPECT_EQ(m_marker.NextPeak(1000, 2000), 1700);
    EXPECT_EQ(m_marker.GetLockFrequency(), 1700);
}

TEST_F(MarkerTest, PeakHoldFollowsItsEntryOrTheLastOne) {
    const int peaks[] = {1200, 1500};
    m_marker.SetFrequency(1100);
    m_marker.ApplyPeakHold(peaks, 2); // peak hold off: stays
    EXPECT_EQ(m_marker.GetLockFrequency(), 1100);
    m_marker.SetPeakHold(3);
    m_marker.ApplyPeakHold(peaks, 2);
    EXPECT_EQ(m_marker.GetLockFrequency(), 1500);
    m_marker.SetPeakHold(1);
    m_marker.ApplyPeakHold(peaks, 2);
    EXPECT_EQ(m_marker.GetLockFrequency(), 1200);
    // The child point follows its own entry, whatever point is selected.
    m_marker.SetDeltaMode(CMarkerContext::kModeDelta);
    m_marker.SetChildPeakHold(2);
    m_marker.SetSelectMode(0);
    m_marker.ApplyPeakHold(peaks, 2);
    EXPECT_EQ(m_marker.GetLockFrequency(), 1200);
    EXPECT_EQ(m_marker.GetChildLockFrequency(), 1500);
    EXPECT_EQ(m_marker.GetSelectMode(), 0);
    m_marker.ApplyPeakHold(peaks, 0); // an empty list moves nothing
    EXPECT_EQ(m_marker.GetLockFrequency(), 1200);
}

TEST_F(MarkerTest, DeltaModeMovesTheChildPointAndBack) {
    m_marker.SetFrequency(1200);
    m_marker.SetDeltaMode(CMarkerContext::kModeDelta);
    EXPECT_EQ(m_marker.GetSelectMode(), 1);
    m_marker.SetFrequency(1500);
    EXPECT_EQ(m_marker.GetLockFrequency(), 1200);
    EXPECT_EQ(m_marker.GetChildLockFrequency(), 1500);
    // From one delta mode to another the selected point stays.
    m_marker.SetSelectMode(0);
    m_marker.SetDeltaMode(CMarkerContext::kModeBandPower);
    EXPECT_EQ(m_marker.GetSelectMode(), 0);
    m_marker.SetDeltaMode(CMarkerContext::kModeNormal);
    EXPECT_EQ(m_marker.GetSelectMode(), 0);
    m_marker.SetFrequency(1300);
    EXPECT_EQ(m_marker.GetLockFrequency(), 1300);
    EXPECT_EQ(m_marker.GetChildLockFrequency(), 1500);
}

TEST_F(MarkerTest, ReadoutTextsOfTheModes) {
    m_marker.SetRedrawFlag(1);
    m_marker.SetFrequency(1200);
    Render();
    EXPECT_EQ(m_marker.GetReadoutLine().GetText(), CString("M1:1.2MHz -20.00dBm"));
    EXPECT_TRUE(m_marker.GetReadoutLine().GetRedrawFlag());

    m_marker.SetDeltaMode(CMarkerContext::kModeDelta);
    m_marker.SetFrequency(1500);
    Render();
    // The child 10 dB below the main point, 300 kHz above it.
    EXPECT_DOUBLE_EQ(m_marker.GetMeasuredValue(), (Word(-30.0) - Word(-20.0)) * 0.006103515625);
    EXPECT_EQ(m_marker.GetReadoutLine().GetText(), CString("M1:300KHz -10.00dBc"));

    m_marker.SetDeltaMode(CMarkerContext::kModeBandPower);
    m_marker.SetLockFrequency(1500);
    m_marker.SetChildLockFrequency(1200); // the band starts at the lower frequency
    Render();
    EXPECT_DOUBLE_EQ(m_marker.GetMeasuredValue(), m_line.BandPower(1200, 300));
    CString expected("M1:");
    expected += m_line.MarkerText(-300, m_line.BandPower(1200, 300), 0);
    EXPECT_EQ(m_marker.GetReadoutLine().GetText(), expected);

    // A point outside the trace gives the not-found text.
    m_marker.SetChildLockFrequency(5000);
    Render();
    EXPECT_EQ(m_marker.GetReadoutLine().GetText(), CString("M1:Not Found"));

    m_marker.SetControlFlag(1);
    m_marker.SetDeltaMode(CMarkerContext::kModeNormal);
    Render();
    EXPECT_EQ(m_marker.GetReadoutLine().GetText(), CString("CTRL:1.5MHz -30.00dBm"));

    // A hidden data line hides the readout.
    m_line.SetRedrawFlag(0);
    Render();
    EXPECT_FALSE(m_marker.GetReadoutLine().GetRedrawFlag());
}

TEST_F(MarkerTest, SymbolsOnThePixels) {
    m_marker.SetRedrawFlag(1);
    m_marker.SetStyle(CMarkerContext::kStylePoint);
    m_marker.SetFrequency(1200);
    Render();
    // Point style: a triangle pointing down onto the trace point (-20 dB = row 20).
    POINT p;
    ASSERT_TRUE(m_line.PointOfX(1200, &p));
    EXPECT_EQ(m_marker.GetMainPoint().x, p.x);
    EXPECT_EQ(m_marker.GetMainPoint().y, 20);
    CRect triangle = m_surface.BoxOf(kRed, CRect(p.x - 10, 0, p.x + 11, 21));
    EXPECT_EQ(triangle.left, p.x - 4);
    EXPECT_EQ(triangle.right, p.x + 5);
    EXPECT_EQ(triangle.bottom, 21);
    EXPECT_GE(triangle.top, 11);

    // Line style: a vertical line over the whole height at the marker's column.
    Surface line(120, 110);
    m_marker.SetStyle(CMarkerContext::kStyleLine);
    m_line.Draw(&line.dc, nullptr, nullptr);
    m_marker.Draw(&line.dc, nullptr, nullptr);
    EXPECT_EQ(line.At(p.x, 5), kRed);
    EXPECT_EQ(line.At(p.x, 60), kRed);
    EXPECT_EQ(line.At(p.x + 4, kArea.bottom - 1), kRed); // the pentagon foot
}

TEST_F(MarkerTest, ALabelGivesWayToTheTitleLinesAndStaysInsideTheGraph) {
    m_marker.SetRedrawFlag(1);
    m_marker.SetStyle(CMarkerContext::kStylePoint);
    m_marker.SetFrequency(1500); // -30 dB: row 30
    Render();
    const CRect label = m_marker.GetLabelRect();
    ASSERT_FALSE(label.IsRectEmpty());
    EXPECT_LT(label.bottom, 30);

    // A title line across the label's rows: the label is left out.
    CDrawMultiLineText title;
    title.SetText("[Torvel] and a line longer than the graph");
    title.SetPosition(kArea.left, label.top + 2, CDrawText::kAnchorLeftTop);
    title.SetLineBounds(kArea, CRect());
    title.Draw(&m_surface.dc, nullptr, nullptr);
    ASSERT_FALSE(title.GetLastExtent().IsRectEmpty());
    m_marker.SetReadoutLines(&title);
    Render();
    EXPECT_TRUE(m_marker.GetLabelRect().IsRectEmpty());
    // Below the label's rows it is back; a hidden line does not count.
    title.SetPosition(kArea.left, 60, CDrawText::kAnchorLeftTop);
    Render();
    EXPECT_EQ(m_marker.GetLabelRect(), label);
    title.SetPosition(kArea.left, label.top + 2, CDrawText::kAnchorLeftTop);
    title.SetRedrawFlag(0);
    Render();
    EXPECT_EQ(m_marker.GetLabelRect(), label);

    // A point near the top: the label above it would leave the graph.
    m_line.SetWord(30, Word(-5.0));
    m_marker.SetFrequency(1300);
    Render();
    EXPECT_EQ(m_marker.GetMainPoint().y, 5);
    EXPECT_TRUE(m_marker.GetLabelRect().IsRectEmpty());
}

TEST_F(MarkerTest, HitsAtFiveButNotSixPixels) {
    m_marker.SetRedrawFlag(1);
    m_marker.SetFrequency(1500);
    Render();
    const int x = m_marker.GetMainPoint().x;
    EXPECT_EQ(m_marker.HitTest(x + 5, 50, INT_MAX, 127), &m_marker);
    EXPECT_EQ(m_marker.HitTest(x - 5, 50, INT_MAX, 127), &m_marker);
    EXPECT_EQ(m_marker.HitTest(x + 6, 50, INT_MAX, 127), nullptr);
    EXPECT_TRUE(m_marker.IsNearPixel(x - 5));
    EXPECT_FALSE(m_marker.IsNearPixel(x - 6));

    // In a delta mode the child point is a target too.
    m_marker.SetDeltaMode(CMarkerContext::kModeDelta);
    m_marker.SetFrequency(1800);
    Render();
    const int cx = m_marker.GetChildPoint().x;
    EXPECT_EQ(m_marker.HitTest(cx + 5, 50, INT_MAX, 127), &m_marker);
    EXPECT_FALSE(m_marker.IsNearPixel(cx));

    // A hidden marker is never hit.
    m_marker.SetRedrawFlag(0);
    EXPECT_EQ(m_marker.HitTest(x, 50, INT_MAX, 127), nullptr);
}

TEST_F(MarkerTest, MarkersWinOverTheLargeContextTheyLieIn) {
    CDrawContext graph;
    graph.SetRect(kArea);
    graph.SetHitTestFlag(1);
    graph.AddChild(&m_marker);
    m_marker.SetRedrawFlag(1);
    m_marker.SetFrequency(1500);
    Render();
    const int x = m_marker.GetMainPoint().x;
    // The marker counts with its height x 10 = 1000, less than the graph's 9900.
    EXPECT_EQ(m_marker.GetHitArea(), 1000);
    EXPECT_EQ(graph.HitTest(x + 5, 50, INT_MAX, 127), &m_marker);
    EXPECT_EQ(graph.HitTest(x + 6, 50, INT_MAX, 127), &graph);
    // With a best area already below the marker's, the marker is not returned.
    EXPECT_EQ(m_marker.HitTest(x, 50, 900, 127), nullptr);
}

TEST_F(MarkerTest, BandModeShadesTheBandThroughTheFrame) {
    CNormalFrameContext frame;
    auto frameObject = MakeDrawObject(kWhite, kBlack, kGrey, "FrameTest");
    frame.SetDrawObject(frameObject.get());
    frame.SetRect(kArea);
    frame.AddBlend(&m_marker.GetBand());
    m_marker.SetRedrawFlag(1);
    m_marker.SetFrequency(1200);
    m_marker.SetDeltaMode(CMarkerContext::kModeBand);
    m_marker.SetFrequency(1600);
    EXPECT_TRUE(m_marker.GetBand().GetRedrawFlag());
    EXPECT_NEAR(m_marker.GetBand().GetLeftRatio() / 65536.0, 0.2, 1e-4);
    frame.Draw(&m_surface.dc, nullptr, nullptr);
    // Inside the band the background is the marker's background colour,
    // outside the frame's.
    EXPECT_EQ(m_surface.At(40, 50), kGreen);
    EXPECT_EQ(m_surface.At(10, 50), kWhite);
    EXPECT_EQ(m_surface.At(80, 50), kWhite);
    EXPECT_EQ(m_marker.GetReadoutLine().GetRedrawFlag(), 1); // until drawn
    Render();
    EXPECT_EQ(m_marker.GetReadoutLine().GetRedrawFlag(), 0);

    // Highlighting boosts the band; leaving band mode hides it and clears the highlight.
    m_marker.SetHighlight(1);
    EXPECT_TRUE(m_marker.GetBand().GetBoostFlag());
    m_marker.SetDeltaMode(CMarkerContext::kModeDelta);
    EXPECT_FALSE(m_marker.GetBand().GetRedrawFlag());
    EXPECT_FALSE(m_marker.GetHighlight());
    // Hiding the marker hides the band.
    m_marker.SetDeltaMode(CMarkerContext::kModeBand);
    m_marker.SetHighlight(1);
    m_marker.SetRedrawFlag(0);
    EXPECT_FALSE(m_marker.GetBand().GetRedrawFlag());
    EXPECT_FALSE(m_marker.GetHighlight());
}

TEST_F(MarkerTest, SettingSectionsRoundTrip) {
    m_marker.SetRedrawFlag(1);
    m_marker.SetFrequency(1200);
    m_marker.SetDeltaMode(CMarkerContext::kModeBand);
    m_marker.SetFrequency(1600);
    m_marker.SetPeakHold(2);
    m_marker.SetChildPeakHold(3);
    m_marker.SetStyle(CMarkerContext::kStylePoint);
    m_marker.SetCurrentFlag(1);
    ASSERT_TRUE(m_marker.WriteSetting("NORMAL_GRAPH_INTF"));
    int value = 0;
    EXPECT_EQ(GetSettingFileINT("NORMAL_GRAPH_INTFMARKER_1", "LockFrequency", &value), 1);
    EXPECT_EQ(value, 1200);
    EXPECT_EQ(GetSettingFileINT("NORMAL_GRAPH_INTFMARKER_1", "ChildLockFrequency", &value), 1);
    EXPECT_EQ(value, 1600);
    EXPECT_EQ(GetSettingFileINT("NORMAL_GRAPH_INTFMARKER_1_BAND", "RedrawFlag", &value), 1);

    CMarkerContext copy;
    copy.SetMarkerNumber(1);
    copy.SetDataLine(&m_line);
    ASSERT_TRUE(copy.ReadSetting("NORMAL_GRAPH_INTF"));
    EXPECT_EQ(copy.GetLockFrequency(), 1200);
    EXPECT_EQ(copy.GetChildLockFrequency(), 1600);
    EXPECT_EQ(copy.GetDeltaMode(), CMarkerContext::kModeBand);
    EXPECT_EQ(copy.GetSelectMode(), 1);
    EXPECT_EQ(copy.GetPeakHold(), 2);
    EXPECT_EQ(copy.GetChildPeakHold(), 3);
    EXPECT_EQ(copy.GetStyle(), CMarkerContext::kStylePoint);
    EXPECT_EQ(copy.GetCurrentFlag(), 1);
    EXPECT_EQ(copy.GetRedrawFlag(), 1);
    EXPECT_EQ(copy.GetBand().GetRightRatio(), m_marker.GetBand().GetRightRatio());

    // A file cannot turn the band into a piece the frame would delete.
    WriteSettingFileINT("NORMAL_GRAPH_INTFMARKER_1_BAND", "MasterFlag", 0);
    WriteSettingFileINT("NORMAL_GRAPH_INTFMARKER_1", "DeltaModeFlag", 300); // low byte 44
    EXPECT_TRUE(copy.ReadSetting("NORMAL_GRAPH_INTF"));
    EXPECT_EQ(copy.GetBand().GetMasterFlag(), 1);
    EXPECT_EQ(copy.GetDeltaMode(), CMarkerContext::kModeNormal);

    // A missing section fails and keeps the values.
    CMarkerContext other;
    other.SetMarkerNumber(4);
    EXPECT_FALSE(other.ReadSetting("NORMAL_GRAPH_INTF"));
    EXPECT_EQ(other.GetLockFrequency(), -1);
}

// ---- The cursor

constexpr int kCursorRight = 400;

class CursorTest : public MarkerTest {
protected:
    void SetUp() override {
        MarkerTest::SetUp();
        // Wider than the trace, so that a text fits on either side of the pointer.
        m_cursor.SetRect(CRect(0, 0, kCursorRight, kArea.bottom));
        m_cursor.SetDataLine(&m_line);
        m_cursor.SetDrawObject(m_markerObject.get());
        Surface s(120, 110);
        m_line.Draw(&s.dc, nullptr, nullptr);
        ASSERT_TRUE(m_line.PointOfX(1200, &m_peak));
    }
    POINT m_peak{0, 0}; // the drawn point of the -20 dB peak
    std::unique_ptr<Surface> DrawAt(int x, int y) {
        auto s = std::make_unique<Surface>(kCursorRight + 20, 110);
        m_line.Draw(&s->dc, nullptr, nullptr);
        m_cursor.SetPointer(x, y);
        m_cursor.Draw(&s->dc, nullptr, nullptr);
        return s;
    }
    CCursolContext m_cursor;
};

TEST_F(CursorTest, TextAtThePointerStaysInside) {
    EXPECT_STREQ(m_cursor.GetFormat(), "%.3fMHz %.2fdBm");
    auto left = DrawAt(m_peak.x, 60);
    EXPECT_EQ(m_cursor.GetText(), CString("1.2MHz -20.00dBm"));
    CRect box = left->BoxOf(kBlue);
    ASSERT_FALSE(box.IsRectEmpty());
    EXPECT_GE(box.left, m_peak.x); // left-aligned, above the pointer
    EXPECT_LE(box.bottom, 61);

    // Near the right edge the text ends at the pointer.
    auto right = DrawAt(kCursorRight - 5, 60);
    box = right->BoxOf(kBlue);
    ASSERT_FALSE(box.IsRectEmpty());
    EXPECT_LE(box.right, kCursorRight - 4);
    EXPECT_LT(box.left, kCursorRight - 20);

    // Near the top edge the text hangs below the pointer.
    auto top = DrawAt(m_peak.x, 3);
    box = top->BoxOf(kBlue);
    ASSERT_FALSE(box.IsRectEmpty());
    EXPECT_GE(box.top, 3);
}

TEST_F(CursorTest, LineRunsToTheTraceAndStopsShort) {
    auto s = DrawAt(m_peak.x, 60);
    // The trace point is at row 20; the line from the pointer stops at row 22.
    EXPECT_EQ(s->At(m_peak.x, 59), kRed);
    EXPECT_EQ(s->At(m_peak.x, 23), kRed);
    EXPECT_NE(s->At(m_peak.x, 21), kRed);
}

TEST_F(CursorTest, NothingOutsideOrWithoutAVisibleDataLine) {
    DrawAt(kCursorRight + 1, 60);
    EXPECT_TRUE(m_cursor.GetText().IsEmpty());
    m_line.SetRedrawFlag(0);
    DrawAt(m_peak.x, 60);
    EXPECT_TRUE(m_cursor.GetText().IsEmpty());
}

// ---- Gestures on a rendered graph window

class NoOwner : public CViewOwner {};

class GestureTest : public MarkerTest {
protected:
    void SetUp() override {
        MarkerTest::SetUp();
        CNormalGraphContext& graph = m_intf.GetGraph();
        graph.AddOverlay(&m_line);
        graph.SetScale(kStart, kStart + kPoints * kStep, 0.0, -100.0);
        m_intf.AttachCursor(&m_cursor, &m_line);
        for (int k = 0; k < 2; ++k) {
            m_markers[k].SetDrawObject(m_markerObject.get());
            m_intf.AttachMarker(k, &m_markers[k], &m_line);
        }
        m_trigger.SetDrawObject(m_markerObject.get());
        m_intf.AttachTrigger(&m_trigger, &m_line);
        m_intf.SetOwner(&m_owner);
        // Marker 1 measures the difference from 1.2 MHz to 1.5 MHz.
        m_markers[0].SetRedrawFlag(1);
        m_markers[0].SetFrequency(1200);
        m_markers[0].SetDeltaMode(CMarkerContext::kModeDelta);
        m_markers[0].SetFrequency(1500);
        m_trigger.SetRedrawFlag(1);
        Paint();
    }
    void Paint() { m_intf.Draw(&m_window.dc, CRect(0, 0, 400, 300)); }
    int Middle() {
        const CRect& area = m_intf.GetGraph().GetGraphArea();
        return (area.top + area.bottom) / 2;
    }
    CGraphInterface m_intf;
    CCursolContext m_cursor;
    CMarkerContext m_markers[2];
    CLoggingTriggerContext m_trigger;
    NoOwner m_owner;
    Surface m_window{400, 300};
};

TEST_F(GestureTest, DraggingTheChildPointMovesOnlyTheChildPoint) {
    CMarkerContext& marker = m_markers[0];
    EXPECT_EQ(marker.GetReadoutLine().GetText(), CString("M1:300KHz -10.00dBc"));
    const int childX = marker.GetChildPoint().x;
    const int y = Middle() + 30;
    m_intf.OnLButtonDown(ViewKeys::kLButton, childX + 3, y);
    EXPECT_EQ(m_intf.GetDragKind(), CViewInterface::kDragMarkerChild);
    EXPECT_EQ(m_intf.GetDragIndex(), 0);
    EXPECT_EQ(marker.GetSelectMode(), 1);

    // Move onto the column of the 1.7 MHz peak.
    POINT target;
    ASSERT_TRUE(m_line.PointOfX(1700, &target));
    m_intf.OnMouseMove(ViewKeys::kLButton, target.x, y);
    EXPECT_EQ(marker.GetChildLockFrequency(), 1700);
    EXPECT_EQ(marker.GetLockFrequency(), 1200);
    Paint();
    EXPECT_EQ(marker.GetReadoutLine().GetText(), CString("M1:500KHz -20.00dBc"));
}

TEST_F(GestureTest, DraggingTheMainPointMovesTheLockFrequency) {
    CMarkerContext& marker = m_markers[0];
    const int mainX = marker.GetMainPoint().x;
    const int y = Middle();
    m_intf.OnLButtonDown(ViewKeys::kLButton, mainX - 2, y);
    EXPECT_EQ(m_intf.GetDragKind(), CViewInterface::kDragMarkerMain);
    EXPECT_EQ(marker.GetSelectMode(), 0);
    POINT target;
    ASSERT_TRUE(m_line.PointOfX(1100, &target));
    m_intf.OnMouseMove(ViewKeys::kLButton, target.x, y);
    EXPECT_EQ(marker.GetLockFrequency(), 1100);
    EXPECT_EQ(marker.GetChildLockFrequency(), 1500);
    m_intf.OnLButtonUp(0, target.x, y);
    Paint();
    EXPECT_EQ(marker.GetReadoutLine().GetText(), CString("M1:400KHz 50.00dBc"));
}

TEST_F(GestureTest, DraggingTheTriggerLineChangesItsLevel) {
    const int lineY = m_trigger.GetLineY();
    EXPECT_EQ(m_trigger.GetReadoutLine().GetText(), CString("TRIGGER -50.00dBm"));
    m_intf.OnLButtonDown(ViewKeys::kLButton, 200, lineY + 4);
    EXPECT_EQ(m_intf.GetDragKind(), CViewInterface::kDragTrigger);
    const CRect area = m_intf.GetGraph().GetGraphArea();
    const int height = area.bottom - area.top;
    m_intf.OnMouseMove(ViewKeys::kLButton, 200, area.top + height / 4);
    m_intf.OnLButtonUp(0, 200, 0);
    const int ratio = ((height / 4) << 20) / height;
    EXPECT_EQ(m_trigger.GetPositionRatio(), ratio);
    EXPECT_EQ(m_intf.GetTriggerPosition(), ratio);
    const double level = -100.0 * ratio / 1048576.0;
    EXPECT_DOUBLE_EQ(m_trigger.GetLevel(), level);
    Paint();
    CString text;
    text.Format("TRIGGER %.2fdBm", level);
    EXPECT_EQ(m_trigger.GetReadoutLine().GetText(), text);
    // Six pixels off the line a press is a free-pointer press.
    m_intf.OnLButtonDown(ViewKeys::kLButton, 200, m_trigger.GetLineY() + 6);
    EXPECT_EQ(m_intf.GetDragKind(), CViewInterface::kDragFreePointer);
}

TEST_F(GestureTest, AnImageOfAnotherSizeShowsTheCursorAndMarkersAtTheirFrequencies) {
    // The pointer pressed on the 1.7 MHz peak, clear of the markers.
    POINT peak;
    ASSERT_TRUE(m_line.PointOfX(1700, &peak));
    m_intf.OnLButtonDown(ViewKeys::kLButton, peak.x, Middle() + 30);
    ASSERT_EQ(m_intf.GetDragKind(), CViewInterface::kDragFreePointer);
    Paint();
    const CString cursorText = m_cursor.GetText();
    ASSERT_EQ(cursorText.Find("1.7MHz"), 0) << cursorText.c_str();
    const CRect cursorBox = m_cursor.GetTextRect();
    const CString markerText = m_markers[0].GetReadoutLine().GetText();

    // A saved image is larger than the window: everything keeps its frequency.
    Surface image(640, 480);
    m_intf.Draw(&image.dc, CRect(0, 0, 640, 480));
    EXPECT_EQ(m_cursor.GetText(), cursorText);
    EXPECT_EQ(m_markers[0].GetReadoutLine().GetText(), markerText);
    POINT inImage;
    ASSERT_TRUE(m_line.PointOfX(1700, &inImage));
    EXPECT_NE(inImage.x, peak.x);
    // The text starts at the pointer's column, or ends there near the right.
    const CRect box = m_cursor.GetTextRect();
    EXPECT_TRUE(box.left == inImage.x || box.right == inImage.x) << box.left << " " << inImage.x;
    POINT child;
    ASSERT_TRUE(m_line.PointOfX(1500, &child));
    EXPECT_EQ(m_markers[0].GetChildPoint().x, child.x);

    // Back in the window the cursor is where the pointer is.
    Paint();
    EXPECT_EQ(m_cursor.GetText(), cursorText);
    EXPECT_EQ(m_cursor.GetTextRect(), cursorBox);
}

// ---- The normal window's markers and commands

class MarkerNormal : public CNormalAnalysis {
public:
    MarkerNormal() : CNormalAnalysis(nullptr, nullptr) {
        SetTitle("Normal 1");
        SetTitleIndex(1);
    }
    CDataLineContext& Line() { return m_traces[0]; }
    using CNormalAnalysis::OfferPeaks;

protected:
    int DeviceRBWFrequency(int, int index) override { return index == 1 ? 1000 : 0; }
    double DeviceZeroReferenceLevel() override { return -10.0; }
    int DeviceMaxAttenuation() override { return 50; }
    int DeviceAttenuatorStep() override { return 10; }
    int DeviceMinFrequency(int) override { return 0; }
    int DeviceMaxFrequency(int) override { return 3000000; }
};

class NormalMarkerTest : public DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500);
        m_core.ReadProfile();
        // 0 .. 100 MHz in steps of 1 MHz, peaks at 20, 50 and 70 MHz.
        ASSERT_EQ(Run(103, 0, 100000), kCommandReset);
        m_core.Reconfigure(TRUE);
        CDataLineContext& line = m_core.Line();
        ASSERT_EQ(line.GetPoints(), 100u);
        for (DWORD i = 0; i < line.GetPoints(); ++i) {
            line.SetWord(i, Word(-80.0));
        }
        line.SetWord(20, Word(-20.0));
        line.SetWord(50, Word(-30.0));
        line.SetWord(70, Word(-40.0));
    }
    int Run(int action, int p1 = 0, int p2 = 0) {
        return m_core.ExecuteCommand(action, p1, p2, 0, 0, 0);
    }
    int State(int action, int p1 = 0) { return m_core.GetCommandState(action, p1, 0, 0, 0, 0); }
    CMarkerContext& Marker(int k) { return *m_core.GetMarker(k); }
    MarkerNormal m_core;
};

TEST_F(NormalMarkerTest, MarkersJoinTheGraphHidden) {
    CGraphInterface& intf = m_core.GetGraphInterface();
    for (int k = 1; k <= 5; ++k) {
        EXPECT_EQ(intf.GetMarker(k), m_core.GetMarker(k));
        EXPECT_EQ(Marker(k).GetMarkerNumber(), k);
        EXPECT_EQ(Marker(k).GetDataLine(), &m_core.Line());
        EXPECT_FALSE(Marker(k).GetRedrawFlag());
    }
    EXPECT_EQ(m_core.GetMarker(0), nullptr);
    EXPECT_EQ(m_core.GetMarker(6), nullptr);
    EXPECT_EQ(intf.GetTrigger(), &m_core.GetTriggerLine());
    EXPECT_EQ(intf.GetCursor(), &m_core.GetCursor());
    EXPECT_EQ(m_core.GetTriggerLine().GetPositionRatio(), intf.GetTriggerPosition());
}

TEST_F(NormalMarkerTest, WithoutACurrentMarkerTheCommandsAreDisabled) {
    EXPECT_EQ(State(36), kStateDisabled);
    EXPECT_EQ(State(37), kStateDisabled);
    EXPECT_EQ(State(39, 1), kStateDisabledUnticked);
    EXPECT_EQ(Run(36), kCommandDone);
    EXPECT_EQ(Run(39, 1), kCommandDone);
    for (int k = 1; k <= 5; ++k) {
        EXPECT_EQ(Marker(k).GetDeltaMode(), 0);
    }
}

TEST_F(NormalMarkerTest, SelectSearchAndFollowPeaks) {
    Run(34, 2);
    EXPECT_EQ(State(34, 2), kStateTicked);
    EXPECT_TRUE(Marker(2).GetRedrawFlag());
    EXPECT_EQ(Marker(2).GetCurrentFlag(), 1);
    EXPECT_EQ(Marker(1).GetCurrentFlag(), 0);
    EXPECT_EQ(Marker(2).GetLockFrequency(), 50000); // brought in at the centre

    Run(36);
    EXPECT_EQ(Marker(2).GetLockFrequency(), 20000);
    Run(37);
    EXPECT_EQ(Marker(2).GetLockFrequency(), 50000);
    Run(37);
    EXPECT_EQ(Marker(2).GetLockFrequency(), 70000);

    // Peak hold 2 follows the second highest peak at once and after every block;
    // peak search by hand is disabled meanwhile.
    Run(38, 2);
    EXPECT_EQ(State(38, 2), kStateTicked);
    EXPECT_EQ(State(36), kStateDisabled);
    EXPECT_EQ(Marker(2).GetLockFrequency(), 50000);
    m_core.Line().SetWord(80, Word(-10.0));
    m_core.OfferPeaks();
    EXPECT_EQ(Marker(2).GetLockFrequency(), 20000);
    Run(38, 9); // out of range: off
    EXPECT_EQ(Marker(2).GetPeakHold(), 0);
    EXPECT_EQ(State(36), kStateUnticked);

    // Selecting the current marker again leaves no marker current.
    Run(34, 2);
    EXPECT_EQ(m_core.GetCurrentMarkerIndex(), 0);
    EXPECT_EQ(Marker(2).GetCurrentFlag(), 0);
}

TEST_F(NormalMarkerTest, DeltaModesSelectModeStyleAndCentre) {
    Run(34, 1);
    Run(36); // 20 MHz
    EXPECT_EQ(State(40, 2), kStateDisabledUnticked);
    Run(40, 2); // no child point to select in mode 0
    EXPECT_EQ(Marker(1).GetSelectMode(), 0);

    Run(39, 1);
    EXPECT_EQ(State(39, 1), kStateTicked);
    EXPECT_EQ(State(40, 2), kStateTicked);
    EXPECT_EQ(State(40, 1), kStateUnticked);
    // The child point starts on the main point and then moves alone.
    EXPECT_EQ(Marker(1).GetChildLockFrequency(), 20000);
    Run(37);
    EXPECT_EQ(Marker(1).GetChildLockFrequency(), 50000);
    EXPECT_EQ(Marker(1).GetLockFrequency(), 20000);

    // Child peak hold: the selected point's peak hold.
    Run(38, 3);
    EXPECT_EQ(Marker(1).GetChildPeakHold(), 3);
    EXPECT_EQ(Marker(1).GetPeakHold(), 0);
    EXPECT_EQ(Marker(1).GetChildLockFrequency(), 70000);
    Run(40, 1);
    EXPECT_EQ(State(38, 3), kStateUnticked);
    EXPECT_EQ(State(36), kStateUnticked);

    Run(41, 2);
    EXPECT_EQ(Marker(1).GetStyle(), CMarkerContext::kStylePoint);
    EXPECT_EQ(State(41, 2), kStateTicked);
    Run(41, 1);
    EXPECT_EQ(Marker(1).GetStyle(), CMarkerContext::kStyleLine);

    // Centre on the selected point: the child in child select mode.
    Run(40, 2);
    EXPECT_EQ(Run(42), kCommandReset);
    EXPECT_EQ(m_core.GetCenter(), 70000);

    Run(39, 0);
    EXPECT_EQ(Marker(1).GetSelectMode(), 0);
    EXPECT_EQ(State(39, 0), kStateTicked);
}

TEST_F(NormalMarkerTest, PlaceCommandAndANewGrid) {
    EXPECT_EQ(Run(105, 3, 33333), kCommandDone);
    EXPECT_TRUE(Marker(3).GetRedrawFlag());
    EXPECT_EQ(Marker(3).GetLockFrequency(), 33000);
    Run(105, 3, 200000); // outside the graph: the centre
    EXPECT_EQ(Marker(3).GetLockFrequency(), 50000);
    Run(105, 9, 20000); // no such marker
    Run(105, 4, 20500);
    EXPECT_EQ(Marker(4).GetLockFrequency(), 21000);

    // A finer grid keeps the points; a narrower window leaves a point outside.
    ASSERT_EQ(Run(103, 10000, 40000), kCommandReset);
    m_core.Reconfigure(TRUE);
    EXPECT_EQ(Marker(4).GetLockFrequency(), 21000);
    EXPECT_EQ(Marker(3).GetLockFrequency(), 50000);
}

TEST_F(NormalMarkerTest, LoggingTriggerShowsTheLineAndGivesTheRangeAndDirection) {
    CLoggingTriggerLine line;
    Run(49, 1);
    EXPECT_TRUE(m_core.GetTriggerLine().GetRedrawFlag());
    ASSERT_TRUE(m_core.GetLoggingTriggerLine(&line));
    EXPECT_EQ(line.lower, 0);
    EXPECT_EQ(line.upper, 100000);
    EXPECT_EQ(line.direction, 0);
    EXPECT_DOUBLE_EQ(line.level, m_core.GetTriggerLine().GetLevel());
    Run(49, 2);
    ASSERT_TRUE(m_core.GetLoggingTriggerLine(&line));
    EXPECT_EQ(line.direction, 1);
    Run(49, 0);
    EXPECT_FALSE(m_core.GetTriggerLine().GetRedrawFlag());
}

TEST_F(NormalMarkerTest, MarkersAndTriggerLineInTheSettingFile) {
    Run(34, 5);
    Run(36);
    Run(39, 2);
    Run(37);
    m_core.GetTriggerLine().SetPositionRatio(123456);
    ASSERT_EQ(m_core.SaveSettings(), 1);
    int value = 0;
    EXPECT_EQ(GetSettingFileINT("NORMAL_GRAPH_INTFMARKER_5", "DeltaModeFlag", &value), 1);
    EXPECT_EQ(value, 2);
    EXPECT_EQ(GetSettingFileINT("NORMAL_GRAPH_INTFLOGTRIGGER", "PositionRatio", &value), 1);
    EXPECT_EQ(value, 123456);

    MarkerNormal other;
    other.ReadProfile();
    ASSERT_EQ(other.LoadSettings(), 1);
    EXPECT_EQ(other.GetMarker(5)->GetLockFrequency(), 20000);
    EXPECT_EQ(other.GetMarker(5)->GetChildLockFrequency(), 50000);
    EXPECT_EQ(other.GetMarker(5)->GetDeltaMode(), 2);
    EXPECT_TRUE(other.GetMarker(5)->GetRedrawFlag());
    EXPECT_EQ(other.GetTriggerLine().GetPositionRatio(), 123456);
}

void SendMouse(QWidget* widget, QEvent::Type type, int x, int y, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(x, y), widget->mapToGlobal(QPointF(x, y)), button, buttons,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

TEST_F(NormalMarkerTest, MouseOnTheWindowDragsTheMarkerAndItsReadoutFollows) {
    CTorvelView view;
    view.resize(500, 400);
    m_core.GetGraphInterface().SetViewWindow(&view);
    Run(34, 1);
    Run(36);     // 20 MHz
    view.grab(); // one paint maps the trace and places the marker
    CMarkerContext& marker = Marker(1);
    EXPECT_EQ(marker.GetReadoutLine().GetText(), CString("M1:20MHz -20.00dBm"));
    const CRect area = m_core.GetGraphInterface().GetGraph().GetGraphArea();
    const int y = (area.top + area.bottom) / 2;
    POINT target;
    ASSERT_TRUE(m_core.Line().PointOfX(50000, &target));

    SendMouse(&view, QEvent::MouseButtonPress, marker.GetMainPoint().x + 3, y, Qt::LeftButton,
              Qt::LeftButton);
    SendMouse(&view, QEvent::MouseMove, target.x, y, Qt::NoButton, Qt::LeftButton);
    SendMouse(&view, QEvent::MouseButtonRelease, target.x, y, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(marker.GetLockFrequency(), 50000);
    view.grab();
    EXPECT_EQ(marker.GetReadoutLine().GetText(), CString("M1:50MHz -30.00dBm"));
    // After the release a move is only a hover.
    SendMouse(&view, QEvent::MouseMove, target.x + 30, y, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(marker.GetLockFrequency(), 50000);
    m_core.GetGraphInterface().SetViewWindow(nullptr);
}

} // namespace
