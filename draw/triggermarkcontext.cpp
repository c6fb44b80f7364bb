// The trigger mark: a pentagon over the data line's point at the trigger position.
#include "draw/triggermarkcontext.h"

#include "draw/datalinecontext.h"
#include "platform/dc.h"

CTriggerMarkContext::CTriggerMarkContext() = default;
CTriggerMarkContext::~CTriggerMarkContext() = default;

WORD CTriggerMarkContext::GetTypeCode() {
    return DrawType::kTriggerMarkContext;
}

CString CTriggerMarkContext::GetClassName() {
    return "CTriggerMarkContext";
}

bool CTriggerMarkContext::MarkX(int* x) const {
    if (!m_pDataLine || !m_pDataLine->GetRedrawFlag() || m_Position < m_pDataLine->GetXMin() ||
        m_Position > m_pDataLine->GetXMax()) {
        return false;
    }
    POINT p;
    if (!m_pDataLine->PointOfX(m_Position, &p)) {
        return false;
    }
    *x = p.x;
    return true;
}

void CTriggerMarkContext::Draw(CDC* pDC, CDrawContext* parent, void* reserved) {
    CDrawContext::Draw(pDC, parent, reserved);
    int x = 0;
    if (!pDC || !MarkX(&x)) {
        return;
    }
    const int t = m_Rect.top;
    const POINT mark[] = {{x, t + kHeight},    {x + kHalfWidth, t + kShoulder}, {x + kHalfWidth, t},
                          {x - kHalfWidth, t}, {x - kHalfWidth, t + kShoulder}, {x, t + kHeight}};
    pDC->Polyline(mark, 6);
}

bool CTriggerMarkContext::HitsSelf(int x, int y) {
    int markX = 0;
    if (!MarkX(&markX)) {
        return false;
    }
    const int t = m_Rect.top;
    return markX - kHalfWidth <= x && x <= markX + kHalfWidth && t <= y && y <= t + kHeight;
}

int CTriggerMarkContext::GetHitArea() {
    return kHitArea;
}
