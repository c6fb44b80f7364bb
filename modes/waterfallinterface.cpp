// The waterfall pane: layout as the 3D graph's, marks from the 3D graph's
// highlights, the mouse gestures and the read-out.
#include "modes/waterfallinterface.h"

#include "platform/dc.h"

#include <algorithm>

namespace {
constexpr int kSliceCommand = 203;
constexpr int kChunkCommand = 204;
} // namespace

CWaterfallInterface::CWaterfallInterface() {
    m_Fall.SetAutoLayoutFlag(0);
    m_Root.AddChild(&m_Fall);
}

void CWaterfallInterface::SetFrameObject(CDrawObject* frame) {
    m_Root.SetDrawObject(frame);
    m_Fall.SetDrawObject(frame);
}

void CWaterfallInterface::Layout(const CRect& client) {
    if (GetRootRect() != client)
        m_Root.SetWindowRect(&client);
    // The same margins as the 3D graph, so that both views sit alike. The root
    // draws through its own image: the picture lies in its coordinates.
    const CRect r = C3DGraphInterface::GraphRect(CRect(0, 0, client.Width(), client.Height()));
    if (m_Fall.GetRect() != r)
        m_Fall.SetWindowRect(r.left, r.top, r.right, r.bottom);
}

void CWaterfallInterface::SyncMarks(bool forHitTest) {
    if (!m_pPeer) {
        m_Fall.SetSliceMark(false);
        m_Fall.SetChunkMark(false);
        return;
    }
    const int slice = m_pPeer->GetHighlightedSlice();
    const int frequency = m_pPeer->GetHighlightedFrequency();
    m_Fall.SetSelectedSlice(C3DGraphInterface::Shown(slice));
    m_Fall.SetChunkPosition(C3DGraphInterface::Shown(frequency));
    m_Fall.SetSliceMark(forHitTest || C3DGraphInterface::IsShown(slice));
    m_Fall.SetChunkMark(forHitTest || C3DGraphInterface::IsShown(frequency));
}

void CWaterfallInterface::Draw(CDC* pDC, const CRect& client) {
    if (!pDC)
        return;
    if (m_BeforeDraw)
        m_BeforeDraw();
    Layout(client);
    SyncMarks(false);
    m_Root.Render(pDC, nullptr, nullptr);
}

void CWaterfallInterface::OnLButtonDown(UINT, int, int) {
    if (!m_pPeer || !m_p3DOwner || !m_p3DOwner->Is3DGraphStopped())
        return;
    if (C3DGraphInterface::IsShown(m_pPeer->GetHighlightedSlice()))
        m_SliceDrag = true;
    else if (C3DGraphInterface::IsShown(m_pPeer->GetHighlightedFrequency()))
        m_FrequencyDrag = true;
    else
        return;
    SetCursorShape(m_SliceDrag ? CursorShape::SizeNS : CursorShape::SizeWE);
}

void CWaterfallInterface::OnLButtonUp(UINT, int, int) {
    m_SliceDrag = false;
    m_FrequencyDrag = false;
    SetCursorShape(CursorShape::Arrow);
}

void CWaterfallInterface::OnMouseMove(UINT, int x, int y) {
    // The read-out follows the pointer over the picture.
    const bool over = m_Fall.GetImageRect().PtInRect(CPoint(x, y)) != 0;
    m_Fall.SetReadoutPoint(over, x, y);
    Redraw();
    if (!m_pPeer || !m_p3DOwner || !m_p3DOwner->Is3DGraphStopped())
        return;
    if (m_SliceDrag) {
        // The row under the pointer is the slice.
        const int last = std::max(m_Fall.GetVisibleSlices() - 1, 0);
        const int rows = std::max(m_Fall.GetRowsPerSlice(), 1);
        const int slice = std::clamp((y - m_Fall.GetImageRect().top) / rows, 0, last);
        if (slice != C3DGraphInterface::Shown(m_pPeer->GetHighlightedSlice()))
            m_p3DOwner->Run3DGraphCommand(kSliceCommand, slice);
        m_pPeer->SetHighlightedFrequency(
            C3DGraphInterface::Hidden(m_pPeer->GetHighlightedFrequency()));
        m_pPeer->SetHighlightedSlice(C3DGraphInterface::Shown(m_pPeer->GetHighlightedSlice()));
        return;
    }
    if (m_FrequencyDrag) {
        int kHz = 0;
        const CRect& image = m_Fall.GetImageRect();
        const int column = std::clamp(x, static_cast<int>(image.left),
                                      std::max(static_cast<int>(image.right) - 1, 0));
        if (m_Fall.FrequencyAtColumn(column, &kHz)) {
            m_p3DOwner->Run3DGraphCommand(kChunkCommand, kHz);
            m_pPeer->SetHighlightedFrequency(
                C3DGraphInterface::Shown(m_pPeer->GetHighlightedFrequency()));
        }
        return;
    }
    // Hovering: a highlight shows while the pointer is on its mark.
    SyncMarks(true);
    const bool onSlice = m_Fall.HitSelectedSlice(x, y);
    const bool onChunk = !onSlice && m_Fall.HitChunkLine(x, y);
    const int slice = m_pPeer->GetHighlightedSlice();
    const int frequency = m_pPeer->GetHighlightedFrequency();
    m_pPeer->SetHighlightedSlice(onSlice ? C3DGraphInterface::Shown(slice)
                                         : C3DGraphInterface::Hidden(slice));
    m_pPeer->SetHighlightedFrequency(onChunk ? C3DGraphInterface::Shown(frequency)
                                             : C3DGraphInterface::Hidden(frequency));
    SyncMarks(false);
}

void CWaterfallInterface::OnMouseLeave() {
    if (m_SliceDrag || m_FrequencyDrag)
        return; // a drag holds the pointer until the button is released
    m_Fall.SetReadoutPoint(false, 0, 0);
    if (m_pPeer) {
        m_pPeer->SetHighlightedSlice(C3DGraphInterface::Hidden(m_pPeer->GetHighlightedSlice()));
        m_pPeer->SetHighlightedFrequency(
            C3DGraphInterface::Hidden(m_pPeer->GetHighlightedFrequency()));
    }
    Redraw();
}
