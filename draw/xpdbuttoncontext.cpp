// The XPD value panel.
#include "draw/xpdbuttoncontext.h"

#include "lib/drawobject.h"
#include "lib/stringtable.h"
#include "platform/dc.h"

const CXPDButtonContext::Row CXPDButtonContext::kRowTable[kRows] = {
    {69, 73, 0}, {70, 73, 1}, {71, 74, 2}, {72, 74, 3}, {75, 77, 4},
};

CXPDButtonContext::CXPDButtonContext() = default;

WORD CXPDButtonContext::GetTypeCode() {
    return DrawType::kXPDButtonContext;
}

CString CXPDButtonContext::GetClassName() {
    return "CXPDButtonContext";
}

CString CXPDButtonContext::RowValue(int k) const {
    CString text;
    if (k < 0 || k >= kRows) {
        return text;
    }
    const Row& row = kRowTable[k];
    const char* format = CheckedFormat(GetLibraryString(row.format), "d", "%d");
    text.Format(format, m_Values[row.value]);
    return text;
}

void CXPDButtonContext::Draw(CDC* pDC, CDrawContext* parent, void* reserved) {
    CDrawContext::Draw(pDC, parent, reserved);
    if (!pDC || !m_pDrawObject) {
        return;
    }
    pDC->FillSolidRect(&m_Rect, m_pDrawObject->GetBackGroundColor());
    CRect edge = m_Rect;
    pDC->DrawEdge(&edge, EDGE_ETCHED, BF_RECT);
    CRect area = m_Rect;
    area.DeflateRect(kInset, kInset);
    const int oldMode = pDC->SetBkMode(TRANSPARENT);
    const UINT oldAlign = pDC->SetTextAlign(TA_LEFT | TA_TOP);
    const COLORREF oldColor = pDC->SetTextColor(m_pDrawObject->GetTextColor());
    int y = area.top;
    const CString title = GetLibraryString(kStrTitle);
    pDC->TextOut(area.left, y, title);
    y += pDC->GetTextExtent(title).cy + 2;
    for (int k = 0; k < kRows; ++k) {
        const CString label = GetLibraryString(kRowTable[k].label);
        const CSize size = pDC->GetTextExtent(label);
        pDC->TextOut(area.left, y, label);
        pDC->TextOut(area.left + size.cx, y, RowValue(k));
        y += size.cy + 2;
    }
    pDC->SetTextColor(oldColor);
    pDC->SetTextAlign(oldAlign);
    pDC->SetBkMode(oldMode);
}
