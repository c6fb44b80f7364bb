// The cursor's readout at the mouse pointer.
#include "draw/cursolcontext.h"

#include "draw/datalinecontext.h"
#include "draw/drawtext.h"
#include "platform/dc.h"

#include <cstring>

namespace {
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

void CCursolContext::Draw(CDC* pDC, CDrawContext* parent, void* reserved) {
    CDrawContext::Draw(pDC, parent, reserved);
    m_Text.Empty();
    m_TextRect = CRect();
    if (!pDC || !m_pDataLine || !m_pDataLine->GetRedrawFlag() ||
        m_pDataLine->GetEnvelopeCount() <= 0) {
        return;
    }
    const int px = m_PointerX;
    const int py = m_PointerY;
    if (px < m_Rect.left || px > m_Rect.right || py < m_Rect.top || py > m_Rect.bottom) {
        return;
    }
    const int x = m_pDataLine->PixelToX(px);
    m_Text = ReadoutPrefix(x) + m_pDataLine->MarkerText(x, m_pDataLine->Level(x), m_ReadoutFlags);
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
