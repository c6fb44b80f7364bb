// The graph frame: grid and title line on a blending background.
#include "draw/normalframecontext.h"

#include "platform/dc.h"

#include <utility>
#include <vector>

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
    const int x = m_Rect.left + titleIndent(m_Frame, m_Rect);
    int y = m_Rect.top + kTitleInset;
    // A text at the top right (the graph's status) that leaves the title too
    // little room beside it: the title and the read-out lines below it start
    // below that text, whole, instead of the title being cut to its first
    // letter.
    const CRect& keepOut = m_Title.GetKeepOut();
    if (pDC && !keepOut.IsRectEmpty() && x < keepOut.right) {
        const CSize whole = pDC->GetTextExtent(m_Title.GetText());
        if (y < keepOut.bottom && y + whole.cy > keepOut.top &&
            x + whole.cx > keepOut.left - CDrawMultiLineText::kKeepOutGap)
            y = keepOut.bottom + kTitleInset;
    }
    m_Title.SetPosition(x, y, CDrawText::kAnchorLeftTop);
    // The grid keeps out of the texts drawn on it: that text and the title.
    std::vector<CRect> texts;
    if (!keepOut.IsRectEmpty())
        texts.push_back(keepOut);
    const CRect title = m_Title.MeasureBox(pDC);
    if (!title.IsRectEmpty())
        texts.push_back(title);
    m_Frame.SetClearBoxes(std::move(texts));
}
