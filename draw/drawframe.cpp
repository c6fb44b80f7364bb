// The graticule: outline, division lines in 12.20 fixed point and the reference mark.
#include "draw/drawframe.h"

#include "draw/drawcontext.h"
#include "platform/dc.h"

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

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
    // A division line from a to b (b left out) across the graph at position
    // at, in the parts that no text box (grown by a pixel) covers.
    std::vector<std::pair<long long, long long>> gaps;
    auto line = [&](bool vertical, long long at, long long a, long long b) {
        gaps.clear();
        for (const CRect& box : m_ClearBoxes) {
            const long long across0 = vertical ? box.left : box.top;
            const long long across1 = vertical ? box.right : box.bottom;
            if (box.IsRectEmpty() || at < across0 - 1 || at > across1)
                continue;
            gaps.emplace_back(vertical ? box.top - 1 : box.left - 1,
                              vertical ? box.bottom + 1 : box.right + 1);
        }
        std::sort(gaps.begin(), gaps.end());
        long long from = a;
        auto segment = [&](long long to) {
            if (to <= from)
                return;
            const int p = static_cast<int>(at);
            pDC->MoveTo(vertical ? p : static_cast<int>(from),
                        vertical ? static_cast<int>(from) : p);
            pDC->LineTo(vertical ? p : static_cast<int>(to), vertical ? static_cast<int>(to) : p);
        };
        for (const auto& [g0, g1] : gaps) {
            segment(std::min(g0, b));
            from = std::max(from, g1);
        }
        segment(b);
    };

    pDC->MoveTo(static_cast<int>(l), static_cast<int>(t));
    pDC->LineTo(static_cast<int>(l), static_cast<int>(b));
    pDC->LineTo(static_cast<int>(r), static_cast<int>(b));
    pDC->LineTo(static_cast<int>(r), static_cast<int>(t));
    pDC->LineTo(static_cast<int>(l), static_cast<int>(t));

    for (int i = 1; i < m_XDivision; ++i) {
        const long long x = ((l << 20) + i * sx) >> 20;
        line(true, x, t, b);
    }
    for (int j = 1; j < m_YDivision; ++j) {
        const long long y = ((t << 20) + j * sy) >> 20;
        line(false, y, l, r);
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
