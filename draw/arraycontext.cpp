// Row and column arrangement by weight, in 1/1024 pixel so that rounding does
// not accumulate along the row.
#include "draw/arraycontext.h"

CArrayContext::CArrayContext() = default;

WORD CArrayContext::GetTypeCode() {
    return DrawType::kArrayContext;
}

CString CArrayContext::GetClassName() {
    return "CArrayContext";
}

void CArrayContext::Draw(CDC* pDC, CDrawContext* parent, void* reserved) {
    CBackGroundContext::Draw(pDC, parent, reserved);
    if (!m_pChild || (m_Orientation != kRow && m_Orientation != kColumn)) {
        return;
    }
    CDrawContext* children[kMaxCollectedContexts];
    const int n = m_pChild->CollectContexts(children, kMaxCollectedContexts, 0);
    long long totalWeight = 0;
    for (int i = 0; i < n; ++i) {
        totalWeight += children[i]->GetWeight();
    }
    if (n == 0 || totalWeight == 0) {
        return; // nothing to share the room among
    }
    const bool column = m_Orientation == kColumn;
    const long long start = column ? m_Rect.top : m_Rect.left;
    const long long extent = column ? m_Rect.Height() : m_Rect.Width();
    const long long gap = m_Gap;
    const long long available = extent - (n + 1) * gap;
    // One weight unit in 1/2^20 pixel; a child's size in 1/1024 pixel.
    const long long unit = (available << 20) / (8 * totalWeight);
    long long position = (start + gap) << 10;
    for (int i = 0; i < n; ++i) {
        const long long size = (children[i]->GetWeight() * 8 * unit) >> 10;
        const LONG first = static_cast<LONG>(position >> 10);
        const LONG last = static_cast<LONG>((position + size) >> 10);
        if (column) {
            children[i]->SetRect(CRect(m_Rect.left, first, m_Rect.right, last));
        } else {
            children[i]->SetRect(CRect(first, m_Rect.top, last, m_Rect.bottom));
        }
        position += size + (gap << 10);
    }
}
