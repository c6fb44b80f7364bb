// The spectrum graph: margins, texts, frame, data lines and overlays.
#include "draw/normalgraphcontext.h"

#include "draw/datalinecontext.h"
#include "lib/drawobject.h"
#include "platform/dc.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {
// Texts sit this far from the graph area's edge.
constexpr int kTextOffset = 4;
// The status text's inset from the graph area's top-right corner.
constexpr int kStatusInset = 2;

// A window limit as the data lines' 32-bit integer, truncated toward zero.
int TruncatedLimit(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    return static_cast<int>(std::clamp(v, -2147483648.0, 2147483647.0));
}
} // namespace

CNormalGraphContext::CNormalGraphContext() {
    // The inner chain, drawn by Draw: axis texts, corner texts, frame.
    CDrawElement& head = m_Axis[0];
    head.Append(&m_Axis[1]);
    for (CDrawText& corner : m_Corner) {
        head.Append(&corner);
    }
    head.Append(&m_Frame);
    m_Status.first.SetRedrawFlag(0);
    m_Status.more.SetRedrawFlag(0);
    m_Alarm.first.SetOwnColor(1, kAlarmTextColor);
    m_Alarm.more.SetOwnColor(1, kAlarmTextColor);
    SetScale(0, -100, 0, -100);
}

WORD CNormalGraphContext::GetTypeCode() {
    return DrawType::kNormalGraphContext;
}

CString CNormalGraphContext::GetClassName() {
    return "CNormalGraphContext";
}

CString* CNormalGraphContext::GetCornerText(int index) {
    if (index < 0 || index >= kCornerCount) {
        return nullptr;
    }
    return m_Corner[static_cast<size_t>(index)].GetTextPtr();
}

CString* CNormalGraphContext::GetTitleText() {
    return m_Frame.GetTitle().GetTextPtr();
}

void CNormalGraphContext::SetScale(double x1, double x2, double y1, double y2) {
    m_XMin = std::min(x1, x2);
    m_XMax = std::max(x1, x2);
    m_YMin = std::min(y1, y2);
    m_YMax = std::max(y1, y2);
    // A window sets its scale with every block: the texts are written anew
    // only when a level changed. Levels are compared by their bits, as their
    // texts are made from them: 0 and -0 compare equal but read "0" and "-0".
    const std::array<std::uint64_t, 2> levels{std::bit_cast<std::uint64_t>(m_YMax),
                                              std::bit_cast<std::uint64_t>(m_YMin)};
    if (!m_AxisWritten || m_AxisLevels != levels) {
        m_Axis[0].Format("%g", m_YMax);
        m_Axis[1].Format("%g", m_YMin);
        m_AxisLevels = levels;
        m_AxisWritten = true;
    }
    for (CDrawElement* e = m_pOverlay; e; e = e->GetNext()) {
        if (e->GetTypeCode() == DrawType::kDataLineContext) {
            static_cast<CDataLineContext*>(e)->SetWindow(TruncatedLimit(m_XMin),
                                                         TruncatedLimit(m_XMax), m_YMax, m_YMin);
        }
    }
}

void CNormalGraphContext::AddOverlay(CDrawElement* element) {
    if (!element) {
        return;
    }
    if (!m_pOverlay) {
        m_pOverlay = element;
    } else {
        m_pOverlay->Append(element);
    }
}

void CNormalGraphContext::Draw(CDC* pDC, CDrawContext*, void*) {
    if (!pDC) {
        return;
    }
    if (m_pDrawObject) {
        m_pDrawObject->SelectDrawObject(pDC, nullptr);
        pDC->FillSolidRect(&m_Rect, m_pDrawObject->GetBackGroundColor());
    }
    SIZE axis1{0, 0}, axis0{0, 0};
    pDC->GetTextExtentPoint32(m_Axis[1].GetText(), m_Axis[1].GetText().GetLength(), &axis1);
    pDC->GetTextExtentPoint32(m_Axis[0].GetText(), m_Axis[0].GetText().GetLength(), &axis0);

    const int left = std::max(axis1.cx, axis0.cx) + kAxisGap;
    const int bottom = axis1.cy + kTextGap;
    const bool noTopTexts = m_Corner[0].GetText().IsEmpty() && m_Corner[1].GetText().IsEmpty();
    const int top = noTopTexts ? kEmptyTopMargin : axis1.cy + kTextGap;
    const int right = kRightMargin;
    m_GraphArea =
        CRect(m_Rect.left + left, m_Rect.top + top, m_Rect.right - right, m_Rect.bottom - bottom);

    m_Frame.Layout(m_GraphArea);
    LayoutChain(m_pChild, m_GraphArea);

    const int l = m_Rect.left, t = m_Rect.top, r = m_Rect.right, b = m_Rect.bottom;
    m_Axis[0].SetPosition(l + left - kTextOffset, t + top - kTextOffset,
                          CDrawText::kAnchorRightTop);
    m_Axis[1].SetPosition(l + left - kTextOffset, b - bottom + kTextOffset,
                          CDrawText::kAnchorRightBottom);
    m_Corner[0].SetPosition(l + left, t + top - kTextOffset, CDrawText::kAnchorLeftBottom);
    m_Corner[1].SetPosition(r - kRightMargin, t + top - kTextOffset, CDrawText::kAnchorRightBottom);
    m_Corner[2].SetPosition(l + left, b - bottom + kTextOffset, CDrawText::kAnchorLeftTop);
    m_Corner[3].SetPosition(r - kRightMargin, b - bottom + kTextOffset, CDrawText::kAnchorRightTop);

    // The alarm takes the status text's place while it is set.
    const bool alarm = !m_AlarmText.IsEmpty();
    m_Alarm.first.SetText(m_AlarmText);
    m_Alarm.first.SetRedrawFlag(alarm ? 1 : 0);
    for (CornerText* c : {&m_Status, &m_Alarm})
        c->first.SetPosition(m_GraphArea.right - kStatusInset, m_GraphArea.top + kStatusInset,
                             CDrawText::kAnchorRightTop);
    FitTexts(pDC, top, bottom, axis1.cy);

    m_Axis[0].Render(pDC, this, nullptr);
    if (alarm)
        m_Status.more.SetRedrawFlag(0); // the status is not drawn this time
    else
        RenderCornerText(pDC, m_Status);
    LayoutChain(m_pOverlay, m_GraphArea);
}

void CNormalGraphContext::FitTexts(CDC* pDC, int top, int bottom, int lineHeight) {
    // A row of two corner texts runs from the graph area's left edge to the
    // right texts' anchor. The left text (the caption's head) comes first,
    // the right one gets what it leaves.
    const int rowWidth = std::max<int>(m_Rect.right - kRightMargin - m_GraphArea.left, 0);
    auto fitRow = [&](CDrawText& first, CDrawText& second) {
        first.SetMaxWidth(rowWidth);
        SIZE shown{0, 0};
        const bool left = !CDrawText::FitText(pDC, first.GetText(), rowWidth, &shown).IsEmpty();
        const int rest = left ? rowWidth - shown.cx - kCornerGap : rowWidth;
        second.SetMaxWidth(std::max(rest, 0));
    };
    fitRow(m_Corner[0], m_Corner[1]);
    fitRow(m_Corner[2], m_Corner[3]);
    // Too low for both rows: the bottom row gives way to the caption.
    const int topRowBottom = m_Rect.top + top - kTextOffset;
    const int bottomRowTop = m_Rect.bottom - bottom + kTextOffset;
    if (bottomRowTop < topRowBottom) {
        m_Corner[2].SetMaxWidth(0);
        m_Corner[3].SetMaxWidth(0);
    }
    // The two axis values meet on a low graph: the top one, the reference
    // level, stays.
    const bool axesMeet = bottomRowTop - lineHeight < topRowBottom + lineHeight;
    m_Axis[1].SetMaxWidth(axesMeet ? 0 : CDrawText::kAnyWidth);

    // Inside the graph area: the status text (or the alarm) at the top right,
    // then the title and the readout lines below it, which keep clear of it.
    m_Status.head.Empty();
    m_Alarm.head.Empty();
    CRect keepOut;
    m_AlarmBox.SetRectEmpty();
    if (!m_AlarmText.IsEmpty()) {
        keepOut = FitCornerText(pDC, m_Alarm, lineHeight);
        if (!keepOut.IsRectEmpty()) {
            m_AlarmBox = keepOut;
            m_AlarmBox.InflateRect(kAlarmPadding, kAlarmPadding);
            m_AlarmBox.IntersectRect(m_AlarmBox, m_GraphArea);
            keepOut = m_AlarmBox;
        }
    } else if (m_Status.first.GetRedrawFlag()) {
        keepOut = FitCornerText(pDC, m_Status, lineHeight);
    }
    m_Frame.GetTitle().SetLineBounds(m_GraphArea, keepOut);
}

CRect CNormalGraphContext::FitCornerText(CDC* pDC, CornerText& c, int lineHeight) {
    CDrawText& first = c.first;
    CRect box;
    const int width = std::max(m_GraphArea.Width() - 2 * kStatusInset, 0);
    const bool fits = first.GetY() + lineHeight <= m_GraphArea.bottom;
    first.SetMaxWidth(fits ? width : 0);
    SIZE shown{0, 0};
    const CString& text = first.GetText();
    if (!CDrawText::FitText(pDC, text, first.GetMaxWidth(), &shown).IsEmpty()) {
        box = CRect(first.GetX() - shown.cx, first.GetY(), first.GetX(), first.GetY() + lineHeight);
    }
    // Too wide, with room for a second line: broken at the blank that gives
    // the narrowest two lines that both fit (a text cut anyway keeps to one
    // line, leaving the lines below it room).
    const bool twoLines = first.GetY() + 2 * lineHeight + kStatusInset <= m_GraphArea.bottom;
    int blockWidth = 0;
    if (fits && twoLines && CDrawText::FitText(pDC, text, width, nullptr) != text) {
        for (int blank = text.Find(' '); blank > 0; blank = text.Find(' ', blank + 1)) {
            CString head = text.Left(blank);
            CString rest = text.Mid(blank + 1);
            head.TrimRight();
            rest.TrimLeft();
            SIZE headSize{0, 0}, moreSize{0, 0};
            pDC->GetTextExtentPoint32(head, head.GetLength(), &headSize);
            pDC->GetTextExtentPoint32(rest, rest.GetLength(), &moreSize);
            const int block = std::max(headSize.cx, moreSize.cx);
            if (!head.IsEmpty() && !rest.IsEmpty() && block <= width &&
                (c.head.IsEmpty() || block < blockWidth)) {
                c.head = head;
                c.more.SetText(rest);
                blockWidth = block;
            }
        }
    }
    if (!c.head.IsEmpty()) {
        c.more.SetPosition(first.GetX(), first.GetY() + lineHeight, CDrawText::kAnchorRightTop);
        c.more.SetMaxWidth(width);
        box = CRect(first.GetX() - blockWidth, first.GetY(), first.GetX(),
                    first.GetY() + 2 * lineHeight);
    }
    return box;
}

void CNormalGraphContext::RenderCornerText(CDC* pDC, CornerText& c) {
    if (c.first.GetRedrawFlag()) {
        // A broken text shows its first line; the text stays as its owner set it.
        const CString whole = c.first.GetText();
        if (!c.head.IsEmpty())
            c.first.SetText(c.head);
        c.first.Render(pDC, this, nullptr);
        c.first.SetText(whole);
    }
    c.more.SetRedrawFlag(c.first.GetRedrawFlag() && !c.head.IsEmpty() ? 1 : 0);
    if (c.more.GetRedrawFlag())
        c.more.Render(pDC, this, nullptr);
}

void CNormalGraphContext::DrawAlarm(CDC* pDC) {
    if (m_AlarmText.IsEmpty() || m_AlarmBox.IsRectEmpty())
        return;
    // The graph's font again: the data lines and markers select their own.
    if (m_pDrawObject)
        m_pDrawObject->SelectDrawObject(pDC, nullptr);
    pDC->FillSolidRect(&m_AlarmBox, kAlarmBoxColor);
    RenderCornerText(pDC, m_Alarm);
}

void CNormalGraphContext::Render(CDC* pDC, CDrawContext* parent, void* reserved) {
    if (m_RedrawFlag) {
        Draw(pDC, parent, reserved);
        if (m_pOverlay) {
            m_pOverlay->Render(pDC, this, reserved);
        }
        if (m_pChild) {
            m_pChild->Render(pDC, this, reserved);
        }
        DrawAlarm(pDC);
    }
    if (m_pNext) {
        m_pNext->Render(pDC, parent, reserved);
    }
}

CString CNormalGraphContext::Dump(CString indent) {
    CString s = indent + GetClassName() + "\n";
    const CString inner = indent + " -- ";
    s += m_Axis[0].Dump(inner);
    if (m_pOverlay) {
        s += m_pOverlay->Dump(inner);
    }
    if (m_pChild) {
        s += m_pChild->Dump(inner);
    }
    if (m_pNext) {
        s += m_pNext->Dump(indent);
    }
    return s;
}
