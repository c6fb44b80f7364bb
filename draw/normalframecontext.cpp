// The graph frame: grid and title line on a blending background.
#include "draw/normalframecontext.h"

namespace {
constexpr int kTitleInset = 2;
} // namespace

CNormalFrameContext::CNormalFrameContext() {
    AddChild(&m_Frame);
    AddChild(&m_Title);
    m_Title.SetRedrawFlag(1);
    m_Title.SetPosition(m_Rect.left + kTitleInset, m_Rect.top + kTitleInset,
                        CDrawText::kAnchorLeftTop);
    m_Title.SetText("[Torvel]");
}

WORD CNormalFrameContext::GetTypeCode() {
    return DrawType::kNormalFrameContext;
}

CString CNormalFrameContext::GetClassName() {
    return "CNormalFrameContext";
}

void CNormalFrameContext::Draw(CDC* pDC, CDrawContext* parent, void* reserved) {
    CBlendingBackGroundContext::Draw(pDC, parent, reserved);
    m_Title.SetPosition(m_Rect.left + kTitleInset, m_Rect.top + kTitleInset,
                        CDrawText::kAnchorLeftTop);
}
