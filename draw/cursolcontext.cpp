// The cursor's readout at the mouse pointer.
#include "draw/cursolcontext.h"

#include "draw/datalinecontext.h"
#include "draw/drawtext.h"
#include "lib/stringtable.h"
#include "platform/dc.h"
#include "trace/measuredwords.h"

#include <algorithm>
#include <cstring>

namespace {
// "no data": a read-out over words that hold no measurement.
constexpr int kStrNoData = 90;
constexpr char kDefaultFormat[] = "%.3fMHz %.2fdBm";
} // namespace

CCursolContext::CCursolContext() {
    std::strncpy(m_Format, kDefaultFormat, kFormatSize - 1);
    m_Format[kFormatSize - 1] = '\0';
    m_AutoLayoutFlag = 1;
}

WORD CCursolContext::GetTypeCode() {
    return DrawType::kCursolContext;
}

CString CCursolContext::GetClassName() {
    return "CCursolContext";
}

CString CCursolContext::ReadoutPrefix(int) {
    return CString();
}

void CCursolContext::SetPointer(int x, int y) {
    m_PointerX = x;
    m_PointerY = y;
    m_PointerRect = m_Rect;
    m_HasPointerDataX = m_pDataLine && m_pDataLine->GetEnvelopeCount() > 0;
    m_PointerDataX = m_HasPointerDataX ? m_pDataLine->PixelToX(x) : 0;
}

void CCursolContext::Draw(CDC* pDC, CDrawContext* parent, void* reserved) {
    CDrawContext::Draw(pDC, parent, reserved);
    m_Text.Empty();
    m_TextRect = CRect();
    if (!pDC || !m_pDataLine || !m_pDataLine->GetRedrawFlag() ||
        m_pDataLine->GetEnvelopeCount() <= 0) {
        return;
    }
    int px = m_PointerX;
    int py = m_PointerY;
    int x = 0;
    const bool moved = m_HasPointerDataX && !m_PointerRect.IsRectEmpty() && !m_Rect.IsRectEmpty() &&
                       m_Rect != m_PointerRect;
    if (moved) {
        // Another rectangle than the pointer's: the same data x, and the same
        // place between top and bottom.
        if (px < m_PointerRect.left || px > m_PointerRect.right || py < m_PointerRect.top ||
            py > m_PointerRect.bottom) {
            return;
        }
        POINT point;
        if (!m_pDataLine->PointOfX(m_PointerDataX, &point))
            return;
        px = point.x;
        py = m_Rect.top + static_cast<int>(static_cast<long long>(py - m_PointerRect.top) *
                                           m_Rect.Height() / std::max(m_PointerRect.Height(), 1));
        x = m_PointerDataX;
    }
    if (px < m_Rect.left || px > m_Rect.right || py < m_Rect.top || py > m_Rect.bottom) {
        return;
    }
    if (!moved)
        x = m_pDataLine->PixelToX(px);
    m_Text =
        ReadoutPrefix(x) + (AllMeasured(*m_pDataLine, x, x)
                                ? m_pDataLine->MarkerText(x, m_pDataLine->Level(x), m_ReadoutFlags)
                                : CString(GetTorvelString(kStrNoData)));
    const CSize size = pDC->GetTextExtent(m_Text);
    // The text stays inside: right-aligned near the right edge, top-aligned
    // near the top edge.
    const bool right = px + size.cx >= m_Rect.right;
    const bool top = py - size.cy <= m_Rect.top;
    const int left = right ? px - size.cx : px;
    m_TextRect =
        CRect(left, top ? py : py - size.cy, left + size.cx, (top ? py : py - size.cy) + size.cy);
    // Over the readout lines the text would overprint them: it goes just
    // below the lowest line it meets instead.
    int textY = py;
    UINT align = (right ? TA_RIGHT : TA_LEFT) | (top ? TA_TOP : TA_BOTTOM);
    for (CDrawMultiLineText* line = m_pReadoutLines; line; line = line->GetNextLine()) {
        const CRect box = line->GetLastExtent();
        if (!line->GetRedrawFlag() || box.IsRectEmpty()) {
            continue;
        }
        CRect overlap;
        if (overlap.IntersectRect(m_TextRect, box)) {
            textY = box.bottom + kReadoutGap;
            align = (align & ~TA_BOTTOM) | TA_TOP;
            m_TextRect.OffsetRect(0, textY - m_TextRect.top);
        }
    }
    const UINT oldAlign = pDC->SetTextAlign(align);
    pDC->TextOut(px, textY, m_Text);
    POINT trace;
    if (m_pDataLine->PointOfX(x, &trace)) {
        pDC->MoveTo(px, py);
        if (trace.y < py) {
            pDC->LineTo(px, trace.y + kLineGap);
        } else if (trace.y > py) {
            pDC->LineTo(px, trace.y - kLineGap);
        }
    }
    pDC->SetTextAlign(oldAlign);
}
