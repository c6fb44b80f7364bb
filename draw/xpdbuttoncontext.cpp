// The XPD value panel.
#include "draw/xpdbuttoncontext.h"

#include "draw/drawtext.h"
#include "lib/drawobject.h"
#include "lib/stringtable.h"
#include "platform/dc.h"

// The XPD, the two paths' levels (hundredths of a dB), the peak frequency
// (kHz, shown in MHz), the alarm value (hundredths of a dB) and the remaining
// active time in percent.
const CXPDButtonContext::Row CXPDButtonContext::kRowTable[kRows] = {
    {81, 87, 0, 0.01},  {82, 91, 1, 0.01}, {83, 91, 2, 0.01},
    {84, 88, 3, 0.001}, {85, 87, 4, 0.01}, {86, 89, 5, 0.0},
};

namespace {
// The value words 0 to 3 (XPD, RF1, RF2, peak) are the reading.
constexpr int kLastReadingWord = 3;
} // namespace

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
    if (!m_RowTexts[k].IsEmpty()) {
        return m_RowTexts[k];
    }
    const Row& row = kRowTable[k];
    if (m_NoReading && row.value <= kLastReadingWord) {
        const char* noData = GetTorvelString(kStrNoData);
        return noData ? noData : "";
    }
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
    // Every text stays inside the box: a row without room below is left out
    // and a row too wide is shortened, so that the panel never writes over
    // the alarm log below it or the graphs beside it.
    const int width = area.Width();
    auto show = [pDC](int x, int y, const CString& text, int room) {
        const CString shown = CDrawText::FitText(pDC, text, room);
        if (!shown.IsEmpty()) {
            pDC->TextOut(x, y, shown);
        }
        return shown == text;
    };
    int y = area.top;
    const CString title = GetLibraryString(kStrTitle);
    const int titleHeight = pDC->GetTextExtent(title).cy;
    if (y + titleHeight <= area.bottom) {
        show(area.left, y, title, width);
    }
    y += titleHeight + 2;
    for (int k = 0; k < kRows; ++k) {
        const CString label = GetLibraryString(kRowTable[k].label);
        const CSize size = pDC->GetTextExtent(label);
        if (y + size.cy > area.bottom) {
            break;
        }
        if (show(area.left, y, label, width)) {
            show(area.left + size.cx, y, RowValue(k), width - size.cx);
        }
        y += size.cy + 2;
    }
    pDC->SetTextColor(oldColor);
    pDC->SetTextAlign(oldAlign);
    pDC->SetBkMode(oldMode);
}
