// The filled context.
#include "draw/backgroundcontext.h"

#include "lib/drawobject.h"
#include "platform/dc.h"

CBackGroundContext::CBackGroundContext() = default;

WORD CBackGroundContext::GetTypeCode() {
    return DrawType::kBackGroundContext;
}

CString CBackGroundContext::GetClassName() {
    return "CBackGroundContext";
}

void CBackGroundContext::Draw(CDC* pDC, CDrawContext* parent, void* reserved) {
    CDrawContext::Draw(pDC, parent, reserved);
    if (m_pDrawObject && pDC) {
        pDC->FillSolidRect(&m_Rect, m_pDrawObject->GetBackGroundColor());
    }
}
