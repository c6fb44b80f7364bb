// The graticule: outline, division lines in 12.20 fixed point and the reference mark.
#include "draw/drawframe.h"

#include "draw/drawcontext.h"
#include "platform/dc.h"

#include <cstdlib>

CDrawFrame::CDrawFrame() = default;

WORD CDrawFrame::GetTypeCode() {
    return DrawType::kDrawFrame;
}

CString CDrawFrame::GetClassName() {
    return "CDrawFrame";
}

void CDrawFrame::SetDivision(int x, int y) {
    m_XDivision = x;
    m_YDivision = y;
}

void CDrawFrame::Draw(CDC* pDC, CDrawContext* parent, void*) {
    if (!pDC || !parent) {
        return;
    }
    const CRect& rc = parent->GetRect();
    const long long l = rc.left, t = rc.top, r = rc.right, b = rc.bottom;
    // A division count below 1 would divide by zero: such a frame is only outlined.
    const long long sx = m_XDivision > 0 ? ((r - l + 1) << 20) / m_XDivision : 0;
    const long long sy = m_YDivision > 0 ? ((b - t + 1) << 20) / m_YDivision : 0;
    auto line = [pDC](long long x1, long long y1, long long x2, long long y2) {
        pDC->MoveTo(static_cast<int>(x1), static_cast<int>(y1));
        pDC->LineTo(static_cast<int>(x2), static_cast<int>(y2));
    };

    pDC->MoveTo(static_cast<int>(l), static_cast<int>(t));
    pDC->LineTo(static_cast<int>(l), static_cast<int>(b));
    pDC->LineTo(static_cast<int>(r), static_cast<int>(b));
    pDC->LineTo(static_cast<int>(r), static_cast<int>(t));
    pDC->LineTo(static_cast<int>(l), static_cast<int>(t));

    for (int i = 1; i < m_XDivision; ++i) {
        const long long x = ((l << 20) + i * sx) >> 20;
        line(x, t, x, b);
    }
    for (int j = 1; j < m_YDivision; ++j) {
        const long long y = ((t << 20) + j * sy) >> 20;
        line(l, y, r, y);
    }

    // The reference mark: a small triangle at the left edge, its size a third
    // of a division, even.
    const long long s = ((sy / 3) >> 20) & ~1LL;
    const long long half = s / 2;
    const int ref = m_ReferenceLine;
    if (ref >= 0 && m_YDivision > 0) {
        if (ref > 0 && ref < m_YDivision) {
            // On a grid line: an open arrow.
            const long long y = ((t << 20) + (m_YDivision - ref) * sy) >> 20;
            pDC->MoveTo(static_cast<int>(l), static_cast<int>(y - half));
            pDC->LineTo(static_cast<int>(l + s), static_cast<int>(y));
            pDC->LineTo(static_cast<int>(l), static_cast<int>(y + half + 1));
        } else {
            // On the bottom or top edge: a closed triangle.
            const long long y = ref == m_YDivision ? t : b;
            pDC->MoveTo(static_cast<int>(l), static_cast<int>(y - half));
            pDC->LineTo(static_cast<int>(l), static_cast<int>(y + half + 1));
            pDC->LineTo(static_cast<int>(l + s), static_cast<int>(y));
            pDC->LineTo(static_cast<int>(l), static_cast<int>(y - half));
        }
    } else if (ref < 0 && ref >= kFreeReferenceLimit) {
        // Free: a closed triangle and a line across the graph.
        const long long y = b - ((std::llabs(ref) * (b - t)) >> 15);
        pDC->MoveTo(static_cast<int>(l + s), static_cast<int>(y));
        pDC->LineTo(static_cast<int>(l), static_cast<int>(y + half + 1));
        pDC->LineTo(static_cast<int>(l), static_cast<int>(y - half));
        pDC->LineTo(static_cast<int>(l + s), static_cast<int>(y));
        pDC->LineTo(static_cast<int>(r), static_cast<int>(y));
    }
    m_LastRect = rc;
}
