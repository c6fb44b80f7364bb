// The text panel.
#include "draw/normaltextcontext.h"

namespace {
// An anchor code above 8 moves the text without changing its alignment.
constexpr BYTE kKeepAnchor = 0xFF;
} // namespace

CNormalTextContext::CNormalTextContext() {
    AddChild(&m_Text);
}

WORD CNormalTextContext::GetTypeCode() {
    return DrawType::kNormalTextContext;
}

CString CNormalTextContext::GetClassName() {
    return "CNormalTextContext";
}

void CNormalTextContext::Draw(CDC* pDC, CDrawContext* parent, void* reserved) {
    CBackGroundContext::Draw(pDC, parent, reserved);
    m_Text.SetPosition(m_Rect.left + (m_Rect.right - m_Rect.left) / 2,
                       m_Rect.top + (m_Rect.bottom - m_Rect.top) / 2, kKeepAnchor);
}
