// The view interface: paint through the root, hit tests, the drag gestures and
// cursor shapes, the owner's notifications, and its setting-file record; the
// normal graph interface with its drawing objects, graph keys and an attached
// marker and trigger line that the gestures move.
#include "analysis/graphinterface.h"
#include "app/torvelview.h"
#include "draw/cursolcontext.h"
#include "draw/datalinecontext.h"
#include "draw/markercontext.h"
#include "draw/triggercontext.h"
#include "lib/dialogs/analysisoptiondlg.h"
#include "lib/dialogs/offsetdlg.h"
#include "lib/dialogs/screenoptiondlg.h"
#include "lib/settingfile.h"
#include "modes/normalanalysis.h"
#include "platform/dc.h"
#include "platform/profile.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <functional>

#include <string>
#include <vector>

namespace {

struct Call {
    std::string what;
    UINT flags;
    int x;
    int y;
};

class RecordingOwner : public CViewOwner {
public:
    std::vector<Call> calls;
    void OnViewLButtonDblClk(UINT f, int x, int y, CViewInterface*) override {
        calls.push_back({"ldbl", f, x, y});
    }
    void OnViewLButtonUp(UINT f, int x, int y, CViewInterface*) override {
        calls.push_back({"lup", f, x, y});
    }
    void OnViewMouseMove(UINT f, int x, int y, CViewInterface*) override {
        calls.push_back({"move", f, x, y});
    }
    void OnViewMouseWheel(UINT f, int x, int y, CViewInterface*) override {
        calls.push_back({"wheel", f, x, y});
    }
    void OnViewRButtonDown(UINT f, int x, int y, CViewInterface*) override {
        calls.push_back({"rdown", f, x, y});
    }
    void OnViewSize(UINT f, int x, int y, CViewInterface*) override {
        calls.push_back({"size", f, x, y});
    }
    void OnViewKeyUp(UINT f, int x, int y, CViewInterface*) override {
        calls.push_back({"key", f, x, y});
    }
    int Count(const std::string& what) const {
        int n = 0;
        for (const Call& c : calls) {
            n += c.what == what;
        }
        return n;
    }
};

// A normal graph with one data line, drawn into a 400 x 300 image: a marker
// in delta mode (main point at 1200, child point at 1700) and a trigger line
// at half height.
class GraphScene : public ::testing::Test {
protected:
    void SetUp() override {
        SetProfileFile(m_dir.file("TORVEL.INI").c_str());
        ReleaseSettingFileObject();
        ASSERT_EQ(m_line.Configure(1000, 10, 101), 1);
        for (DWORD i = 0; i < 101; ++i) {
            m_line.SetWord(i, static_cast<short>(-50 * 163.84));
        }
        m_intf.GetGraph().AddOverlay(&m_line);
        m_intf.GetGraph().SetScale(1000, 2000, -100, 0);
        m_intf.AttachCursor(&m_cursor, &m_line);
        m_intf.AttachMarker(0, &m_marker, &m_line);
        m_intf.AttachTrigger(&m_trigger, &m_line);
        m_intf.SetOwner(&m_owner);
        m_marker.SetDeltaMode(CMarkerContext::kModeDelta);
        m_marker.SetSelectMode(0);
        m_marker.SetFrequency(1200);
        m_marker.SetSelectMode(1);
        m_marker.SetFrequency(1700);
        m_marker.SetRedrawFlag(1);
        m_trigger.SetRedrawFlag(1);
        Paint();
    }
    void TearDown() override { ReleaseSettingFileObject(); }
    void Paint() {
        CDC dc(&m_image);
        m_intf.Draw(&dc, CRect(0, 0, 400, 300));
    }
    int Kind() const { return m_intf.GetDragKind(); }

    TempDir m_dir;
    QImage m_image{400, 300, QImage::Format_RGB32};
    CGraphInterface m_intf;
    CDataLineContext m_line;
    CCursolContext m_cursor;
    CMarkerContext m_marker;
    CLoggingTriggerContext m_trigger;
    RecordingOwner m_owner;
};

} // namespace

TEST_F(GraphScene, PaintLaysOutTheTreeInTheClientRectangle) {
    EXPECT_EQ(m_intf.GetRoot().GetWindowRect(), CRect(0, 0, 400, 300));
    EXPECT_EQ(m_intf.GetRoot().GetPaintCount(), 1u);
    const CRect area = m_intf.GetGraph().GetGraphArea();
    EXPECT_EQ(m_line.GetRect(), area);
    EXPECT_EQ(m_marker.GetRect(), area);
    EXPECT_EQ(m_trigger.GetLineY(), area.top + (((area.Height() + 1) * (1 << 19)) >> 20));
    EXPECT_EQ(m_marker.GetMarkerNumber(), 1);
    EXPECT_EQ(m_marker.GetIdentifyValue(), CViewInterface::kIdentifyMarker);
    EXPECT_EQ(m_trigger.GetIdentifyValue(), CViewInterface::kIdentifyTrigger);
    // A new size is taken before the next render.
    CDC dc(&m_image);
    m_intf.Draw(&dc, CRect(0, 0, 300, 200));
    EXPECT_EQ(m_intf.GetRoot().GetRect(), CRect(0, 0, 300, 200));
    EXPECT_EQ(m_intf.GetClientRect(), CRect(0, 0, 0, 0)); // no view
}

// An image exactly the window's size is painted straight; any other target
// through the buffer and a blit. Both must give the same pixels, whatever the
// target held before and whoever shares its pixels.
TEST_F(GraphScene, AStraightPaintGivesThePixelsOfTheBufferedPaint) {
    for (DWORD i = 0; i < 101; ++i) {
        m_line.SetWord(i, static_cast<short>((-90 + static_cast<int>(i * 37 % 80)) * 163.84));
    }
    const CRect client(0, 0, 400, 300);
    auto buffered = [&] {
        QImage larger(407, 305, QImage::Format_RGB32);
        larger.fill(Qt::gray);
        CDC dc(&larger);
        m_intf.Draw(&dc, client);
        dc.Flush();
        EXPECT_EQ(larger.pixel(403, 302), QColor(Qt::gray).rgb());
        return larger.copy(0, 0, 400, 300);
    };
    const QImage expected = buffered();
    ASSERT_TRUE(m_intf.GetRoot().GetBuffer().GetSafeHandle());

    // Over an image whose pixels are shared: the copy keeps what it had.
    m_image.fill(Qt::darkCyan);
    const QImage before = m_image;
    Paint();
    EXPECT_EQ(m_image, expected);
    EXPECT_EQ(before.pixel(0, 0), QColor(Qt::darkCyan).rgb());

    // A memory DC's bitmap with a fill still held back, as images for files
    // are drawn. Its base colour is now that fill's, but it no longer knows
    // where its ink is: clearing it to white afterwards must reach every pixel.
    CDC mem;
    mem.CreateCompatibleDC(nullptr);
    CBitmap bitmap;
    ASSERT_TRUE(bitmap.CreateCompatibleBitmap(&mem, 400, 300));
    mem.SelectObject(&bitmap);
    mem.FillSolidRect(&client, RGB(255, 255, 255));
    m_intf.Draw(&mem, client);
    mem.Flush();
    EXPECT_EQ(bitmap.GetImage(), expected);
    mem.FillSolidRect(&client, RGB(255, 255, 255));
    mem.Flush();
    QImage white(400, 300, QImage::Format_RGB32);
    white.fill(Qt::white);
    EXPECT_EQ(bitmap.GetImage(), white);

    // A mapped DC is painted through the buffer.
    QImage mapped(400, 300, QImage::Format_RGB32);
    CDC dc(&mapped);
    dc.SetViewportOrg(3, 2);
    const HGDIOBJ kept = m_intf.GetRoot().GetBuffer().GetSafeHandle();
    m_intf.Draw(&dc, client);
    EXPECT_EQ(m_intf.GetRoot().GetBuffer().GetSafeHandle(), kept);
    EXPECT_EQ(m_intf.GetRoot().GetPaintCount(), 5u);
}

TEST_F(GraphScene, DraggingTheChildPointMovesOnlyItAndReleaseEndsTheDrag) {
    const POINT child = m_marker.GetChildPoint();
    const POINT main = m_marker.GetMainPoint();
    ASSERT_GT(child.x - main.x, 20);
    const int lock = m_marker.GetLockFrequency();

    m_intf.OnLButtonDown(ViewKeys::kLButton, child.x + 3, child.y - 40);
    EXPECT_EQ(m_intf.GetHovered(), &m_marker);
    EXPECT_EQ(Kind(), CViewInterface::kDragMarkerChild);
    EXPECT_EQ(m_intf.GetDragIndex(), 0);
    EXPECT_EQ(m_marker.GetSelectMode(), 1);
    EXPECT_EQ(m_intf.GetCursorShape(), CViewInterface::CursorShape::Arrow);

    const unsigned long redraws = m_intf.GetRedrawCount();
    m_intf.OnMouseMove(ViewKeys::kLButton, child.x + 60, child.y);
    EXPECT_EQ(m_intf.GetRedrawCount(), redraws + 1);
    EXPECT_GT(m_marker.GetChildLockFrequency(), 1700);
    EXPECT_EQ(m_marker.GetLockFrequency(), lock);
    const int moved = m_marker.GetChildLockFrequency();

    m_intf.OnLButtonUp(0, child.x + 60, child.y);
    EXPECT_EQ(Kind(), CViewInterface::kDragNone);
    EXPECT_EQ(m_owner.Count("lup"), 0); // a drag's release is not passed on
    m_intf.OnMouseMove(0, child.x - 100, child.y);
    EXPECT_EQ(m_marker.GetChildLockFrequency(), moved);
}

TEST_F(GraphScene, LeavingTheWindowCancelsTheDrag) {
    const POINT child = m_marker.GetChildPoint();
    m_intf.OnLButtonDown(ViewKeys::kLButton, child.x, child.y);
    ASSERT_EQ(Kind(), CViewInterface::kDragMarkerChild);
    m_intf.OnMouseMove(ViewKeys::kLButton, 400, child.y); // the right edge is outside
    EXPECT_EQ(Kind(), CViewInterface::kDragNone);
    const int frequency = m_marker.GetChildLockFrequency();
    m_intf.OnMouseMove(ViewKeys::kLButton, child.x + 50, child.y);
    EXPECT_EQ(m_marker.GetChildLockFrequency(), frequency);
    // The release afterwards is an ordinary release for the owner.
    m_intf.OnLButtonUp(0, child.x + 50, child.y);
    EXPECT_EQ(m_owner.Count("lup"), 1);
}

TEST_F(GraphScene, TheTriggerLineIsDraggedUpAndDown) {
    const int y = m_trigger.GetLineY();
    const CRect area = m_intf.GetGraph().GetGraphArea();
    m_intf.OnLButtonDown(ViewKeys::kLButton, area.left + 30, y + 4);
    EXPECT_EQ(Kind(), CViewInterface::kDragTrigger);
    m_intf.OnMouseMove(ViewKeys::kLButton, area.left + 30, area.top + 10);
    EXPECT_LT(m_trigger.GetPositionRatio(), 1 << 19);
    EXPECT_EQ(m_intf.GetTriggerPosition(), m_trigger.GetPositionRatio());
    Paint();
    EXPECT_EQ(m_trigger.GetLineY(), area.top + 10);
    m_intf.OnLButtonUp(0, area.left + 30, area.top + 10);
    EXPECT_EQ(Kind(), CViewInterface::kDragNone);
}

TEST_F(GraphScene, WithoutAnOwnerEveryPressMovesTheFreePointer) {
    m_intf.SetOwner(nullptr);
    const POINT child = m_marker.GetChildPoint();
    m_intf.OnLButtonDown(ViewKeys::kLButton, child.x, child.y);
    EXPECT_EQ(Kind(), CViewInterface::kDragFreePointer);
    EXPECT_EQ(m_intf.GetFreePointer(), CPoint(child.x, child.y));
    EXPECT_EQ(m_cursor.GetPointerX(), child.x);
    m_intf.OnMouseMove(ViewKeys::kLButton, child.x + 7, child.y + 9);
    EXPECT_EQ(m_intf.GetFreePointer(), CPoint(child.x + 7, child.y + 9));
    EXPECT_EQ(m_cursor.GetPointerY(), child.y + 9);
    EXPECT_EQ(m_marker.GetChildLockFrequency(), 1700);
    // With an owner, a press beside every marker is a free-pointer press too.
    m_intf.OnLButtonUp(0, 0, 0);
    m_intf.SetOwner(&m_owner);
    m_intf.OnLButtonDown(ViewKeys::kLButton, 5, 5);
    EXPECT_EQ(Kind(), CViewInterface::kDragFreePointer);
}

TEST_F(GraphScene, HoverSetsTheCursorShapeAndHighlightsABand) {
    const POINT child = m_marker.GetChildPoint();
    const CRect area = m_intf.GetGraph().GetGraphArea();
    m_intf.OnMouseMove(0, child.x, child.y);
    EXPECT_EQ(m_intf.GetCursorShape(), CViewInterface::CursorShape::SizeWE);
    EXPECT_EQ(m_owner.Count("move"), 0);
    m_intf.OnMouseMove(0, area.left + 30, m_trigger.GetLineY() - 5);
    EXPECT_EQ(m_intf.GetCursorShape(), CViewInterface::CursorShape::SizeNS);
    m_intf.OnMouseMove(0, area.left + 30, m_trigger.GetLineY() - 6);
    EXPECT_EQ(m_intf.GetCursorShape(), CViewInterface::CursorShape::Arrow);
    ASSERT_EQ(m_owner.Count("move"), 1);
    EXPECT_EQ(m_owner.calls.back().y, m_trigger.GetLineY() - 6);

    // A band marker lights up under the pointer and goes dark when it leaves.
    m_marker.SetDeltaMode(CMarkerContext::kModeBand);
    Paint();
    const unsigned long redraws = m_intf.GetRedrawCount();
    m_intf.OnMouseMove(0, m_marker.GetChildPoint().x, area.top + 20);
    EXPECT_EQ(m_marker.GetHighlight(), 1);
    EXPECT_EQ(m_intf.GetRedrawCount(), redraws + 1);
    m_intf.OnMouseMove(0, m_marker.GetChildPoint().x, area.top + 21);
    EXPECT_EQ(m_intf.GetRedrawCount(), redraws + 1); // already lit
    m_intf.OnMouseMove(0, area.left + 2, area.top + 20);
    EXPECT_EQ(m_marker.GetHighlight(), 0);
    EXPECT_EQ(m_intf.GetRedrawCount(), redraws + 2);
}

TEST_F(GraphScene, OwnerNotifications) {
    m_intf.OnLButtonDblClk(ViewKeys::kLButton, 10, 20);
    m_intf.OnRButtonDown(ViewKeys::kRButton | ViewKeys::kShift, 30, 40);
    m_intf.OnMouseWheel(ViewKeys::kControl, -120, 50, 60);
    m_intf.OnSize(0, 640, 480);
    m_intf.OnKeyUp(0x25, 1, 0);
    ASSERT_EQ(m_owner.calls.size(), 5u);
    EXPECT_EQ(m_owner.calls[0].what, "ldbl");
    EXPECT_EQ(m_owner.calls[1].flags, ViewKeys::kRButton | ViewKeys::kShift);
    EXPECT_EQ(m_owner.calls[1].x, 30);
    EXPECT_EQ(m_owner.calls[2].flags & 0xFFFF, ViewKeys::kControl);
    EXPECT_EQ(static_cast<short>(m_owner.calls[2].flags >> 16), -120);
    EXPECT_EQ(m_owner.calls[3].x, 640);
    EXPECT_EQ(m_owner.calls[4].flags, 0x25u);
    EXPECT_TRUE(m_intf.OnEraseBkgnd());
    EXPECT_FALSE(m_intf.OnCommand(37000));
}

TEST(ViewInterfaceWindow, AnInterfaceAndItsViewLetGoOfEachOther) {
    CViewInterface intf;
    auto* view = new CTorvelView;
    view->resize(200, 100);
    intf.SetViewWindow(view);
    EXPECT_EQ(view->GetViewInterface(), &intf);
    EXPECT_EQ(intf.GetClientRect(), CRect(0, 0, 200, 100));
    // A view that goes away leaves the interface without a view.
    delete view;
    EXPECT_EQ(intf.GetViewWindow(), nullptr);
    intf.Redraw();
    EXPECT_EQ(intf.GetClientRect(), CRect(0, 0, 0, 0));

    // A view whose core goes away no longer shows the core's interface.
    CTorvelView window;
    intf.SetViewWindow(&window);
    window.SetCore(nullptr);
    EXPECT_EQ(window.GetViewInterface(), nullptr);
    EXPECT_EQ(intf.GetViewWindow(), nullptr);

    // A view shows one interface: the one it showed before lets go of it.
    CViewInterface second;
    intf.SetViewWindow(&window);
    second.SetViewWindow(&window);
    EXPECT_EQ(window.GetViewInterface(), &second);
    EXPECT_EQ(intf.GetViewWindow(), nullptr);
}

TEST_F(GraphScene, PeakSearchShowsTheMarkerAndReadoutFlagsReachEveryone) {
    m_line.SetWord(70, static_cast<short>(-20 * 163.84)); // 1700 kHz
    m_marker.SetDeltaMode(CMarkerContext::kModeNormal);
    m_marker.SetRedrawFlag(0);
    m_intf.MarkerPeakSearch(1);
    EXPECT_EQ(m_marker.GetRedrawFlag(), 1);
    EXPECT_EQ(m_marker.GetLockFrequency(), 1700);
    m_intf.MarkerPeakSearch(6); // no such marker
    m_intf.SetReadoutFlags(kReadoutTimeAxis);
    EXPECT_EQ(m_marker.GetReadoutFlags(), kReadoutTimeAxis);
    EXPECT_EQ(m_cursor.GetReadoutFlags(), kReadoutTimeAxis);
    EXPECT_EQ(m_intf.GetMarker(1), &m_marker);
    EXPECT_EQ(m_intf.GetMarker(2), nullptr);
}

TEST_F(GraphScene, SetupReadsTheGraphKeysAndTheDrawingObjects) {
    WriteProfileInt("NormalAnalysis_3", "xDivisionNumber", 8);
    WriteProfileInt("NormalAnalysis_3", "yDivisionNumber", 0); // unusable: default
    WriteProfileString("NormalAnalysis_3_MarkerFace", "Title", "Markers");
    {
        CGraphInterface intf;
        intf.Setup("NormalAnalysis_3");
        EXPECT_EQ(intf.GetXDivision(), 8);
        EXPECT_EQ(intf.GetYDivision(), 10);
        EXPECT_EQ(intf.GetTriggerPosition(), 524288);
        EXPECT_EQ(intf.GetProfileSection(), CString("NormalAnalysis_3"));
        ASSERT_NE(intf.GetDrawObject(3), nullptr);
        EXPECT_EQ(intf.GetDrawObject(4), nullptr);
        EXPECT_EQ(CString(intf.GetDrawObject(0)->GetTitleString()), CString("PanelFace"));
        EXPECT_EQ(CString(intf.GetDrawObject(1)->GetTitleString()), CString("Markers"));
        EXPECT_EQ(CString(intf.GetDrawObject(3)->GetIDString()),
                  CString("NormalAnalysis_3_LogFont"));
        EXPECT_EQ(intf.GetDrawObject(0)->GetMask(), 19u);
        EXPECT_EQ(intf.GetDrawObject(3)->GetMask(), 16u);
        intf.SetTriggerPosition(1000);
        intf.SetDivision(12, 7);
    }
    // Written when the interface goes, with its drawing objects.
    EXPECT_EQ(GetProfileInt("NormalAnalysis_3", "yDivisionNumber", -1), 7);
    EXPECT_EQ(GetProfileInt("NormalAnalysis_3", "TriggerPosition", -1), 1000);
    EXPECT_EQ(GetProfileString("NormalAnalysis_3_PanelFace", "Title", ""), CString("PanelFace"));
}

TEST_F(GraphScene, SettingRecordRoundTrip) {
    m_intf.Setup("NormalAnalysis_1");
    m_intf.SetIdentifyValue(77);
    m_intf.GetDrawObject(0)->SetUpdateBkColor(RGB(1, 2, 3));
    m_intf.GetDrawObject(0)->SetUpdateFlag();
    m_intf.GetDrawObject(0)->UpdateDrawObjectNow();
    // Mid-drag state is stored as it is.
    m_intf.OnLButtonDown(ViewKeys::kLButton, m_marker.GetChildPoint().x, 50);
    ASSERT_EQ(Kind(), CViewInterface::kDragMarkerChild);
    ASSERT_EQ(m_intf.WriteSetting("NORMAL_GRAPH_INTF"), 1);
    const std::string path = m_dir.file("view.SPE");
    ASSERT_EQ(WriteSettingFileObject(path.c_str()), 1);
    ReleaseSettingFileObject();
    ASSERT_EQ(LoadSettingFile(path.c_str()), 1);

    CGraphInterface read;
    read.Setup("NormalAnalysis_2");
    EXPECT_EQ(read.ReadSetting("NORMAL_GRAPH_INTF"), 1);
    EXPECT_EQ(read.GetIdentifyValue(), 77);
    // The file's section is another window's: this one keeps its own, so its
    // graph keys never go into the other window's profile.
    EXPECT_EQ(read.GetProfileSection(), CString("NormalAnalysis_2"));
    // No button is held after loading: the drag kind is not restored.
    EXPECT_EQ(read.GetDragKind(), CViewInterface::kDragNone);
    EXPECT_EQ(read.GetDrawObject(0)->GetBackGroundColor(), RGB(1, 2, 3));
    CViewInterface bare;
    EXPECT_EQ(bare.ReadSetting("NO_SUCH_SECTION"), 0);
    EXPECT_EQ(bare.GetID(), static_cast<WORD>(read.GetID() + 1));
    read.SetProfileSection(""); // keeps the destructor away from the profile
}

TEST_F(GraphScene, TimeStampTakesTheTitleAndGivesItBack) {
    CDrawMultiLineText& title = m_intf.GetGraph().GetFrame().GetTitle();
    m_intf.SetTimeStamp("2026/12/06 10:00:00", TRUE);
    EXPECT_EQ(title.GetText(), CString("2026/12/06 10:00:00"));
    m_intf.SetTimeStamp("", FALSE);
    EXPECT_EQ(title.GetText(), CString("[Torvel]"));
    EXPECT_EQ(title.GetRedrawFlag(), 1);
}

// ---- The normal window's drawing

namespace {

// A normal core with fixed device facts: RBW index 1 is a 1000 kHz step, the
// zero reference level -10 dB.
class DrawingNormal : public CNormalAnalysis {
public:
    DrawingNormal() : CNormalAnalysis(nullptr, nullptr) {
        SetTitle("Normal 1");
        SetTitleIndex(1);
    }
    CDataLineContext& Line(int k) { return m_traces[static_cast<size_t>(k)]; }

protected:
    int DeviceRBWFrequency(int, int index) override { return index == 1 ? 1000 : 0; }
    double DeviceZeroReferenceLevel() override { return -10.0; }
    int DeviceMaxAttenuation() override { return 50; }
    int DeviceAttenuatorStep() override { return 10; }
    int DeviceMinFrequency(int) override { return 0; }
    int DeviceMaxFrequency(int) override { return 3000000; }
};

// Runs action on the next modal dialog once it shows (closing whatever shows
// after many tries, so that a test fails instead of hanging).
void WhenModal(std::function<void(QDialog*)> action, int triesLeft = 500) {
    QTimer::singleShot(10, [action, triesLeft] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            dialog && dialog->isVisible()) {
            action(dialog);
        } else if (triesLeft > 0) {
            WhenModal(action, triesLeft - 1);
        } else {
            ADD_FAILURE() << "no dialog showed";
        }
    });
}

class NormalWindow : public ::testing::Test {
protected:
    void SetUp() override {
        SetProfileFile(m_dir.file("TORVEL.INI").c_str());
        ReleaseSettingFileObject();
        WriteProfileInt("NormalAnalysis_1", "StartFrequency", 100000);
        WriteProfileInt("NormalAnalysis_1", "StopFrequency", 200000);
        WriteProfileInt("NormalAnalysis_1", "yDivisionNumber", 8);
        m_core.ReadProfile();
        m_core.Reconfigure(TRUE);
    }
    void TearDown() override { ReleaseSettingFileObject(); }

    TempDir m_dir;
    DrawingNormal m_core;
};

} // namespace

TEST_F(NormalWindow, TheGraphShowsTheCoresTextsScaleAndDataLine) {
    CGraphInterface& intf = m_core.GetGraphInterface();
    CNormalGraphContext& graph = intf.GetGraph();
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(*graph.GetCornerText(k), m_core.Graph().text[static_cast<size_t>(k)]) << k;
    }
    EXPECT_EQ(graph.GetXMin(), 100000.0);
    EXPECT_EQ(graph.GetXMax(), 200000.0);
    // 8 divisions, 10 dB each; the default reference position 9 lies above
    // the top, so it is held at the top division.
    EXPECT_EQ(graph.GetYMax(), m_core.Graph().yMax);
    EXPECT_EQ(graph.GetYMin(), m_core.Graph().yMin);
    EXPECT_EQ(intf.GetYDivision(), 8);
    EXPECT_EQ(graph.GetFrame().GetFrame().GetReferenceLine(), 8);
    EXPECT_EQ(m_core.Line(0).GetXMin(), 100000);
    EXPECT_EQ(m_core.Line(0).GetYMax(), m_core.Graph().yMax);
    EXPECT_EQ(m_core.Line(0).GetRedrawFlag(), 1);
    EXPECT_EQ(m_core.Line(3).GetRedrawFlag(), 0);
    EXPECT_EQ(graph.GetOverlay()->CountChain(0), 6);

    // A peak in the middle of the data line lands in the middle of the graph.
    CDataLineContext& line = m_core.Line(0);
    const DWORD n = line.GetPoints();
    ASSERT_GT(n, 50u);
    for (DWORD i = 0; i < n; ++i) {
        line.SetWord(i, static_cast<short>((m_core.Graph().yMin + 5) * 163.84));
    }
    const long long peakX = 150000;
    line.SetWord(static_cast<DWORD>((peakX - line.GetStart()) / line.GetStep()),
                 static_cast<short>((m_core.Graph().yMax - 10) * 163.84));
    CDrawObject* pen = m_core.GetTraceDrawObject(0);
    LOGPEN logPen;
    pen->GetLOGPEN(&logPen);
    logPen.lopnColor = RGB(1, 200, 3);
    pen->SetUpdateLOGPEN(&logPen);
    pen->SetUpdateFlag();
    QImage image(640, 480, QImage::Format_RGB32);
    CDC dc(&image);
    m_core.DrawView(&dc, CRect(0, 0, 640, 480));
    const CRect a = graph.GetGraphArea();
    const COLORREF ink = RGB(1, 200, 3);
    int topY = 1 << 30, topX = -1;
    for (int y = a.top + 1; y < a.bottom; ++y) {
        for (int x = a.left + 1; x < a.right; ++x) {
            if (dc.GetPixel(x, y) == ink && y < topY) {
                topY = y;
                topX = x;
            }
        }
    }
    EXPECT_NEAR(topX, a.left + (a.Width() + 1) / 2, 2);
    EXPECT_NEAR(topY, a.top + (a.Height() + 1) * 10 / (8 * 10), 2);
    EXPECT_EQ(m_core.GetGraphBackgroundColor(), intf.GetDrawObject(0)->GetBackGroundColor());
}

TEST_F(NormalWindow, TraceDrawingObjectsPersistInTheProfileAndTheSettingFile) {
    std::list<CDrawObject*> objects;
    m_core.GetDrawObjectList(&objects);
    ASSERT_EQ(objects.size(), 10u);
    EXPECT_EQ(CString(objects.front()->GetTitleString()), CString("PanelFace"));
    EXPECT_EQ(CString(objects.back()->GetTitleString()), CString("Trace5"));
    CDrawObject* trace1 = m_core.GetTraceDrawObject(1);
    EXPECT_EQ(CString(trace1->GetIDString()), CString("NormalAnalysis_1_Trace1"));
    EXPECT_EQ(trace1->GetMask(), 8u);
    // The hold traces start in colours of their own.
    EXPECT_NE(trace1->GetLineColor(), m_core.GetTraceDrawObject(2)->GetLineColor());
    EXPECT_NE(trace1->GetLineColor(), m_core.GetTraceDrawObject(0)->GetLineColor());

    LOGPEN pen;
    trace1->GetLOGPEN(&pen);
    pen.lopnColor = RGB(10, 20, 30);
    trace1->SetUpdateLOGPEN(&pen);
    trace1->SetUpdateFlag();
    m_core.WriteProfile();
    EXPECT_EQ(GetProfileString("NormalAnalysis_1_Trace1", "Title", ""), CString("Trace1"));
    EXPECT_EQ(GetProfileInt("NormalAnalysis_1", "yDivisionNumber", -1), 8);

    // Trace 2 in max hold is shown; the setting file brings back state and colour.
    EXPECT_EQ(m_core.ExecuteCommand(47, 2, 0, 0, 0, 0), 1);
    m_core.ExecuteCommand(48, 2, 0, 0, 0, 0);
    EXPECT_EQ(m_core.Line(2).GetRedrawFlag(), 1);
    ASSERT_EQ(m_core.SaveSettings(), 1);
    const std::string path = m_dir.file("normal.SPE");
    ASSERT_EQ(WriteSettingFileObject(path.c_str()), 1);
    ReleaseSettingFileObject();
    ASSERT_EQ(LoadSettingFile(path.c_str()), 1);
    DrawingNormal other;
    other.ReadProfile();
    EXPECT_EQ(other.GetTraceDrawObject(1)->GetLineColor(), RGB(10, 20, 30));
    EXPECT_EQ(other.Line(2).GetRedrawFlag(), 0);
    EXPECT_EQ(other.LoadSettings(), 1);
    EXPECT_EQ(other.Line(2).GetTraceState(), kTraceMaxHold);
    EXPECT_EQ(other.Line(2).GetRedrawFlag(), 1);
    EXPECT_EQ(other.Line(3).GetRedrawFlag(), 0);

    // Choosing the state again turns the trace off and hides it.
    m_core.ExecuteCommand(48, 2, 0, 0, 0, 0);
    EXPECT_EQ(m_core.Line(2).GetRedrawFlag(), 0);
}

TEST_F(NormalWindow, ScreenAnalysisAndOffsetOptionsOpenTheirDialogs) {
    // Screen options: what is staged in the drawing objects applies after the dialog.
    CDrawObject* panel = m_core.GetGraphInterface().GetDrawObject(0);
    bool shown = false;
    WhenModal([&](QDialog* d) {
        shown = true;
        panel->SetUpdateBkColor(RGB(0, 0, 64));
        panel->SetUpdateFlag();
        d->accept();
    });
    EXPECT_EQ(m_core.ExecuteCommand(43, 0, 0, 0, 0, 0), kCommandRedraw);
    EXPECT_TRUE(shown);
    EXPECT_EQ(panel->GetBackGroundColor(), RGB(0, 0, 64));

    // Analysis options: cancelled, the rates stay.
    shown = false;
    WhenModal([&](QDialog* d) {
        shown = true;
        d->reject();
    });
    EXPECT_EQ(m_core.ExecuteCommand(44, 0, 0, 0, 0, 0), kCommandDone);
    EXPECT_TRUE(shown);
    EXPECT_EQ(m_core.GetRejectionRate(), 5);

    // Offset dialog: cancelling changes nothing.
    shown = false;
    WhenModal([&](QDialog* d) {
        shown = true;
        d->reject();
    });
    EXPECT_EQ(m_core.ExecuteCommand(46, 0, 0, 0, 0, 0), kCommandDone);
    EXPECT_TRUE(shown);
    EXPECT_EQ(m_core.GetOffsetFlag(), 0);
}

// The level-offset correction is a way of showing the levels: switched on,
// changed or off, it re-maps what was measured; a cancelled dialog changes
// nothing, the correction included.
TEST_F(NormalWindow, TheOffsetDialogReMapsTheMeasurementAndCancelChangesNothing) {
    CDataLineContext& line = m_core.Line(0);
    CDataLineContext& hold = m_core.Line(2);
    hold.SetTraceState(kTraceMaxHold);
    std::vector<short> block(line.GetPoints(), static_cast<short>(-30 * 163.84));
    block[3] = kNoSample;
    for (int k : {0, 2}) {
        m_core.Line(k).StoreBlock(block.data(), static_cast<int>(block.size()), 0, TRUE);
        m_core.Line(k).StoreBlock(block.data(), static_cast<int>(block.size()), 0, TRUE);
    }
    const short measured = line.GetData()[0];
    const std::string file = m_dir.file("offset.txt");
    const auto runDialog = [&](int result) {
        WhenModal([result](QDialog* d) { d->done(result); });
        return m_core.ExecuteCommand(46, 0, 0, 0, 0, 0);
    };
    // On: +2.5 dB from 100 MHz (the grid starts there).
    WriteWholeFile(file, "100,2.5\n");
    WriteProfileString("NormalAnalysis_1", "OffsetFile", file.c_str());
    m_core.ReadProfile(); // names the file; the flag stays off
    ASSERT_EQ(m_core.GetOffsetFlag(), 0);
    EXPECT_EQ(runDialog(QDialog::Accepted), kCommandRedraw);
    EXPECT_EQ(m_core.GetOffsetFlag(), 1);
    EXPECT_EQ(line.GetData()[0], measured + 409);
    EXPECT_EQ(hold.GetData()[0], measured + 409);
    EXPECT_EQ(line.GetData()[3], kNoSample);
    // Cancel: the correction and the words stay.
    WriteWholeFile(file, "100,-1.0\n");
    EXPECT_EQ(runDialog(QDialog::Rejected), kCommandDone);
    EXPECT_EQ(m_core.GetOffsetFlag(), 1);
    EXPECT_EQ(line.GetData()[0], measured + 409);
    // Another table: the words follow it.
    EXPECT_EQ(runDialog(QDialog::Accepted), kCommandRedraw);
    EXPECT_EQ(line.GetData()[0], measured - 163);
    // Switched off: the levels at the input again, the hold going on.
    EXPECT_EQ(runDialog(kOffsetDialogSwitchedOff), kCommandRedraw);
    EXPECT_EQ(m_core.GetOffsetFlag(), 0);
    EXPECT_EQ(line.GetData()[0], measured);
    EXPECT_EQ(hold.GetData()[0], measured);
    EXPECT_EQ(hold.GetTraceState(), kTraceMaxHold);
    EXPECT_EQ(hold.GetInitializedFlag(), 0);
}

TEST_F(NormalWindow, TheOffsetFileNamedInTheProfileIsLoadedAtStart) {
    const std::string file = m_dir.file("offset.txt");
    WriteWholeFile(file, "0,0.0\n100,1.0\n200,3.0\n");
    WriteProfileInt("NormalAnalysis_1", "OffsetFlag", 1);
    WriteProfileString("NormalAnalysis_1", "OffsetFile", file.c_str());
    DrawingNormal loaded;
    loaded.ReadProfile();
    EXPECT_EQ(loaded.GetOffsetFlag(), 1);
    EXPECT_EQ(loaded.GetOffsetLoadFailed(), 0);
    EXPECT_NEAR(loaded.GetOffsetTable()[100], 164, 1);
    EXPECT_NEAR(loaded.GetOffsetTable()[150], 328, 2);

    WriteProfileString("NormalAnalysis_1", "OffsetFile", m_dir.file("missing.txt").c_str());
    DrawingNormal missing;
    missing.ReadProfile();
    EXPECT_EQ(missing.GetOffsetFlag(), 0);
    EXPECT_EQ(missing.GetOffsetLoadFailed(), 1);
    EXPECT_TRUE(missing.GetOffsetFileName().IsEmpty());
}

namespace {

// The pixels in which two drawings of the same window differ.
std::vector<QPoint> Differences(const QImage& a, const QImage& b) {
    std::vector<QPoint> points;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                points.emplace_back(x, y);
    return points;
}

} // namespace

TEST_F(NormalWindow, MarkerDrawingsAndTheCursorTextLeaveTheOtherTextsReadable) {
    CDataLineContext& line = m_core.Line(0);
    for (DWORD i = 0; i < line.GetPoints(); ++i)
        line.SetWord(i, static_cast<short>((m_core.Graph().yMin + 20) * 163.84));
    auto draw = [&] {
        QImage image(640, 480, QImage::Format_RGB32);
        CDC dc(&image);
        m_core.DrawView(&dc, CRect(0, 0, 640, 480));
        return image;
    };
    CMarkerContext* marker = m_core.GetMarker(1);
    const QImage bare = draw();
    const CRect area = m_core.GetGraphInterface().GetGraph().GetGraphArea();

    // Markers on the first and the last grid point draw nothing outside the
    // graph area, where the axis texts ("-70") stand.
    for (int x : {100000, 200000}) {
        marker->SetFrequency(x);
        marker->SetRedrawFlag(1);
        const std::vector<QPoint> drawn = Differences(bare, draw());
        marker->SetRedrawFlag(0);
        ASSERT_FALSE(drawn.empty()) << x;
        for (const QPoint& p : drawn)
            ASSERT_TRUE(p.x() >= area.left && p.x() <= area.right)
                << x << ": " << p.x() << "," << p.y();
    }

    // The cursor over the readout lines puts its text below them.
    for (int k = 1; k <= 5; ++k) {
        m_core.GetMarker(k)->SetFrequency(100000 + k * 15000);
        m_core.GetMarker(k)->SetRedrawFlag(1);
    }
    const QImage readouts = draw();
    CRect lines(INT_MAX, INT_MAX, INT_MIN, INT_MIN);
    for (CDrawMultiLineText* l = &m_core.GetGraphInterface().GetGraph().GetFrame().GetTitle(); l;
         l = l->GetNextLine()) {
        if (!l->GetRedrawFlag())
            continue;
        const CRect box = l->GetLastExtent();
        lines = CRect(std::min(lines.left, box.left), std::min(lines.top, box.top),
                      std::max(lines.right, box.right), std::max(lines.bottom, box.bottom));
    }
    ASSERT_GT(lines.Height(), 50); // the title and five marker lines
    CCursolContext& cursor = m_core.GetCursor();
    cursor.SetRedrawFlag(1);
    const int px = area.left + 30;
    cursor.SetPointer(px, area.top + 10);
    const std::vector<QPoint> drawn = Differences(readouts, draw());
    ASSERT_FALSE(cursor.GetText().IsEmpty());
    int below = 0;
    for (const QPoint& p : drawn) {
        if (p.x() == px)
            continue; // the cursor's line down to the trace
        ASSERT_FALSE(lines.PtInRect(CPoint(p.x(), p.y()))) << p.x() << "," << p.y();
        below += p.y() >= lines.bottom ? 1 : 0;
    }
    EXPECT_GT(below, 20); // the text is there, below the lines
}
