// The XPD value panel.
#include "draw/xpdbuttoncontext.h"

#include "lib/drawobject.h"
#include "lib/stringtable.h"
#include "platform/dc.h"

// The XPD, the two paths' levels (hundredths of a dB), the peak frequency
// (kHz, shown in MHz), the alarm value (hundredths of a dB) and the remaining
// active time in percent.
const CXPDButtonContext::Row CXPDButtonContext::kRowTable[kRows] = {
    {81, 87, 0, 0.01},  {82, 87, 1, 0.01}, {83, 87, 2, 0.01},
    {84, 88, 3, 0.001}, {85, 87, 4, 0.01}, {86, 89, 5, 0.0},
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
    if (row.scale == 0.0) {
        text.Format(CheckedFormat(GetLibraryString(row.format), "d", "%d"), m_Values[row.value]);
    } else {
        text.Format(CheckedFormat(GetLibraryString(row.format), "f", "%.2f"),
                    m_Values[row.value] * row.scale);
    }
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
