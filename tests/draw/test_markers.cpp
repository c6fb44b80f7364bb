// Markers and the cursor: placement and snapping, peak hold, delta modes with
// difference and band power, the band painted by the frame's blending
// background, hit tests at 5 and 6 pixels, readout texts, symbols on the
// pixels, the setting-file sections, the cursor's readout alignment, and the
// drag gestures of a rendered graph window.
#include "analysis/graphinterface.h"
#include "draw/cursolcontext.h"
#include "draw/datalinecontext.h"
#include "draw/markercontext.h"
#include "draw/normalframecontext.h"
#include "draw/triggercontext.h"
#include "drawtestutil.h"
#include "lib/stringtable.h"

#include <climits>

using namespace drawtest;

namespace {

constexpr DWORD kStart = 1000; // kHz
constexpr DWORD kStep = 10;
constexpr DWORD kPoints = 100;
// 100 samples on 100 pixel columns: sample i lands on column i.
const CRect kArea(0, 0, 99, 100);

short Word(double dB) {
    return static_cast<short>(dB * 163.84);
}

class MarkerTest : public DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500);
        ASSERT_EQ(m_line.Configure(kStart, kStep, kPoints), 1);
        for (DWORD i = 0; i < kPoints; ++i) {
            m_line.SetWord(i, Word(-80.0));
        }
        m_line.SetWord(20, Word(-20.0));
        m_line.SetWord(50, Word(-30.0));
        m_line.SetWord(70, Word(-40.0));
        m_line.SetWindow(kStart, kStart + kPoints * kStep, 0.0, -100.0);
        m_line.SetRect(kArea);
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
    EXPECT_DOUBLE_EQ(m_marker.GetMeasuredValue(), m_line.Difference(1200, 1500));
    EXPECT_EQ(m_marker.GetReadoutLine().GetText(), CString("M1:300KHz 10.00dBc"));

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
    EXPECT_EQ(marker.GetReadoutLine().GetText(), CString("M1:300KHz 10.00dBc"));
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
    EXPECT_EQ(marker.GetReadoutLine().GetText(), CString("M1:500KHz 20.00dBc"));

    // Releasing ends the drag: later moves change nothing.
    m_intf.OnLButtonUp(0, target.x, y);
    EXPECT_EQ(m_intf.GetDragKind(), CViewInterface::kDragNone);
    m_intf.OnMouseMove(0, childX, y);
    EXPECT_EQ(marker.GetChildLockFrequency(), 1700);
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
    EXPECT_EQ(marker.GetReadoutLine().GetText(), CString("M1:400KHz -50.00dBc"));
}

TEST_F(GestureTest, LeavingTheGraphCancelsTheDrag) {
    CMarkerContext& marker = m_markers[0];
    const int mainX = marker.GetMainPoint().x;
    const int y = Middle();
    m_intf.OnLButtonDown(ViewKeys::kLButton, mainX, y);
    ASSERT_EQ(m_intf.GetDragKind(), CViewInterface::kDragMarkerMain);
    m_intf.OnMouseMove(ViewKeys::kLButton, 450, y); // outside the window
    EXPECT_EQ(m_intf.GetDragKind(), CViewInterface::kDragNone);
    m_intf.OnMouseMove(ViewKeys::kLButton, mainX + 40, y);
    EXPECT_EQ(marker.GetLockFrequency(), 1200);
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

TEST_F(GestureTest, HoveringABandMarkerHighlightsIt) {
    CMarkerContext& marker = m_markers[1];
    marker.SetRedrawFlag(1);
    marker.SetFrequency(1300);
    marker.SetDeltaMode(CMarkerContext::kModeBand);
    marker.SetFrequency(1400);
    Paint();
    m_intf.OnMouseMove(0, marker.GetMainPoint().x, Middle());
    EXPECT_TRUE(marker.GetHighlight());
    EXPECT_TRUE(marker.GetBand().GetBoostFlag());
    m_intf.OnMouseMove(0, 380, 20); // elsewhere
    EXPECT_FALSE(marker.GetHighlight());
}

} // namespace
