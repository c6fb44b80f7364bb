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

namespace {
int titleIndent(const CDrawFrame& frame, const CRect& rect) {
    // The grid's reference mark sits at the left edge, a third of a division
    // wide: the title and readout lines start right of it, so that the mark
    // never covers their first letter ("M1", "ALARM").
    const int ref = frame.GetReferenceLine();
    const int divisions = frame.GetYDivision();
    if (divisions <= 0 || ref < CDrawFrame::kFreeReferenceLimit)
        return kTitleInset;
    const int mark = (rect.Height() / divisions / 3) & ~1;
    return kTitleInset + mark + 1;
}
} // namespace

void CNormalFrameContext::Draw(CDC* pDC, CDrawContext* parent, void* reserved) {
    CBlendingBackGroundContext::Draw(pDC, parent, reserved);
    m_Title.SetPosition(m_Rect.left + titleIndent(m_Frame, m_Rect), m_Rect.top + kTitleInset,
                        CDrawText::kAnchorLeftTop);
}
