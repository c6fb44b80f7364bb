// The spectrogram pane: its frame drawing object, layout and mouse handling.
#include "modes/3dgraphinterface.h"

#include "draw/datalinecontext.h"
#include "platform/dc.h"

#include <algorithm>
#include <cstdlib>

namespace {
constexpr const char* kFrameName = "3DFrame";
constexpr int kSliceCommand = 203;
constexpr int kChunkCommand = 204;
constexpr COLORREF kDarkBackground = RGB(0, 0, 40);
constexpr COLORREF kHighlight = RGB(255, 230, 0);
} // namespace

C3DGraphInterface::C3DGraphInterface() : m_Frame(0, kFrameName) {
    m_Graph.SetDrawObject(&m_Frame);
    m_Graph.SetAutoLayoutFlag(0);
    m_Root.SetDrawObject(&m_Frame);
    m_Root.AddChild(&m_Graph);
}

void C3DGraphInterface::Setup(const CString& profileSection) {
    m_ProfileSection = profileSection;
    m_Frame.SetIDString(profileSection + "_" + kFrameName);
    m_Frame.LoadProfile();
    if (m_Frame.TitleComparison("NON")) {
        m_Frame.SetTitleString(kFrameName);
        // A frame seen for the first time is dark: the slices are stamped in
        // white and the legend runs down to black. The highlighted slice and
        // its labels are yellow.
        LOGPEN pen;
        m_Frame.GetLOGPEN(&pen);
        pen.lopnColor = kHighlight;
        pen.lopnWidth.x = 2;
        m_Frame.SetUpdateLOGPEN(&pen);
        m_Frame.SetUpdateBkColor(kDarkBackground);
        m_Frame.SetUpdateTextColor(kHighlight);
        m_Frame.SetUpdateFlag();
        m_Frame.UpdateDrawObjectNow();
    }
    m_Frame.SetMask(kFrameMask);
}

void C3DGraphInterface::WriteProfile() {
    if (!m_ProfileSection.IsEmpty())
        m_Frame.WriteProfile();
}

CDrawObject* C3DGraphInterface::GetDrawObject(int k) {
    return k == 0 ? &m_Frame : nullptr;
}

int C3DGraphInterface::WriteSetting(CString section) {
    int ok = CViewInterface::WriteSetting(section);
    ok &= m_Frame.WriteSettingFile(m_Frame.GetTitleString());
    return ok;
}

int C3DGraphInterface::ReadSetting(CString section) {
    int ok = CViewInterface::ReadSetting(section);
    const CString title = m_Frame.GetTitleString();
    ok &= m_Frame.ReadSettingFile(title);
    m_Frame.SetTitleString(title);
    return ok;
}

void C3DGraphInterface::SetSliceCount(int count) {
    m_SliceCount = std::clamp(count, 1, C3DGraphContext::kRingSize);
    m_Graph.SetSliceCount(m_SliceCount);
}

CRect C3DGraphInterface::GraphRect(const CRect& client) {
    return CRect(client.left + kSideMargin, client.top + kTopMargin, client.right - kSideMargin,
                 client.bottom - kTopMargin);
}

void C3DGraphInterface::SyncGraph(bool forHitTest) {
    const int slice = forHitTest ? Shown(m_HighlightSlice) : m_HighlightSlice;
    m_Graph.SetSelectedSlice(slice);
    m_Graph.SetChunkPosition(Shown(m_HighlightFrequency));
    // The chunk flag draws both the slice highlight and the chunk line; the
    // pane shows them while either highlight is shown.
    m_Graph.SetChunkFlag(IsShown(m_HighlightSlice) || IsShown(m_HighlightFrequency) ? 1 : 0);
}

void C3DGraphInterface::Layout(const CRect& client) {
    if (GetRootRect() != client)
        m_Root.SetWindowRect(&client);
    const CRect r = GraphRect(client);
    if (m_Graph.GetRect() != r)
        m_Graph.SetWindowRect(r.left, r.top, r.right, r.bottom);
}

void C3DGraphInterface::Draw(CDC* pDC, const CRect& client) {
    if (!pDC)
        return;
    if (m_BeforeDraw)
        m_BeforeDraw();
    Layout(client);
    SyncGraph(false);
    m_Root.Render(pDC, nullptr, nullptr);
}

bool C3DGraphInterface::FrequencyAt(int x, int y, int* kHz) const {
    const CDataLineContext* newest = m_Graph.GetSliceAt(0);
    const CRect& r = m_Graph.GetRect();
    if (!newest || newest->GetEnvelopeCount() < 1 || x < r.left || x > r.right || y < r.top ||
        y > r.bottom)
        return false;
    const CPoint origin = m_Graph.SliceOrigin(0);
    const int bx = x - origin.x;
    if (bx < 0 || bx > m_Graph.GetDepthWidth())
        return false;
    *kHz = newest->PixelToX(bx);
    return true;
}

void C3DGraphInterface::OnLButtonDown(UINT, int x, int y) {
    if (!m_p3DOwner || !m_p3DOwner->Is3DGraphStopped())
        return;
    if (IsShown(m_HighlightSlice))
        m_SliceDrag = true;
    else if (IsShown(m_HighlightFrequency))
        m_FrequencyDrag = true;
    else
        return;
    SetCursorShape(CursorShape::SizeAll);
    m_LastMouse = CPoint(x, y);
}

void C3DGraphInterface::OnLButtonUp(UINT, int, int) {
    m_SliceDrag = false;
    m_FrequencyDrag = false;
    SetCursorShape(CursorShape::Arrow);
}

void C3DGraphInterface::OnMouseMove(UINT, int x, int y) {
    if (!m_p3DOwner || !m_p3DOwner->Is3DGraphStopped())
        return;
    if (m_SliceDrag) {
        // A slice per step of two thirds of a percent of the front face; up
        // (towards the older slices at the back) counts up.
        const int step = std::max(1, (m_Graph.GetFrontWidth() * 2) / 300);
        const int dy = m_LastMouse.y - y;
        m_HighlightFrequency = Hidden(m_HighlightFrequency);
        if (std::abs(dy) > step) {
            const int slice = std::clamp(Shown(m_HighlightSlice) + dy / step, 0, m_SliceCount - 1);
            m_p3DOwner->Run3DGraphCommand(kSliceCommand, slice);
            m_LastMouse = CPoint(x, y);
        }
        m_HighlightSlice = Shown(m_HighlightSlice);
        Redraw();
        return;
    }
    if (m_FrequencyDrag) {
        int kHz = 0;
        if (FrequencyAt(x, y, &kHz)) {
            m_p3DOwner->Run3DGraphCommand(kChunkCommand, kHz);
            m_HighlightFrequency = Shown(m_HighlightFrequency);
            Redraw();
        }
        return;
    }
    // Hovering: a highlight shows while the pointer is on its line.
    SyncGraph(true);
    const bool onSlice = m_Graph.HitSelectedSlice(x, y);
    const bool onChunk = !onSlice && m_Graph.HitChunkLine(x, y);
    const int slice = onSlice ? Shown(m_HighlightSlice) : Hidden(m_HighlightSlice);
    const int frequency = onChunk ? Shown(m_HighlightFrequency) : Hidden(m_HighlightFrequency);
    if (slice != m_HighlightSlice || frequency != m_HighlightFrequency) {
        m_HighlightSlice = slice;
        m_HighlightFrequency = frequency;
        Redraw();
    }
    SyncGraph(false);
}
