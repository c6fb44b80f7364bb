// Panel borders.
#include "draw/aroundcontext.h"

#include "platform/dc.h"

CAroundContext::CAroundContext() = default;

WORD CAroundContext::GetTypeCode() {
    return DrawType::kAroundContext;
}

CString CAroundContext::GetClassName() {
    return "CAroundContext";
}

void CAroundContext::Draw(CDC* pDC, CDrawContext* parent, void* reserved) {
    CDrawContext::Draw(pDC, parent, reserved);
    if (!pDC) {
        return;
    }
    const int l = m_Rect.left, t = m_Rect.top, r = m_Rect.right, b = m_Rect.bottom;
    CRect edge = m_Rect;
    switch (m_Style) {
    case kStyleOutline:
        pDC->MoveTo(l, b - 1);
        pDC->LineTo(r - 1, b - 1);
        pDC->LineTo(r - 1, t);
        pDC->LineTo(l, t);
        pDC->LineTo(l, b - 1);
        break;
    case kStyleRaised:
        pDC->DrawEdge(&edge, EDGE_RAISED, BF_RECT);
        break;
    case kStyleSunken:
        pDC->DrawEdge(&edge, EDGE_SUNKEN, BF_RECT);
        break;
    case kStyleBump:
        pDC->DrawEdge(&edge, EDGE_BUMP, BF_RECT);
        break;
    case kStyleEtched:
        pDC->DrawEdge(&edge, EDGE_ETCHED, BF_RECT);
        break;
    default:
        break; // no border
    }
    if (m_FocusFlag) {
        CRect focus = m_Rect;
        focus.DeflateRect(kFocusInset, kFocusInset);
        pDC->DrawFocusRect(&focus);
        if (!m_Caption.IsEmpty()) {
            const int oldMode = pDC->SetBkMode(TRANSPARENT);
            const UINT oldAlign = pDC->SetTextAlign(TA_RIGHT | TA_BOTTOM);
            pDC->TextOut(focus.right - kFocusInset, focus.bottom, m_Caption);
            pDC->SetTextAlign(oldAlign);
            pDC->SetBkMode(oldMode);
        }
    }
}
