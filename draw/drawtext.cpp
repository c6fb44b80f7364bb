// Positioned texts and the line list of a graph's title.
#include "draw/drawtext.h"

#include "draw/drawcontext.h"
#include "lib/drawobject.h"
#include "platform/dc.h"

#include <algorithm>
#include <cstdarg>
#include <vector>

namespace {
// SetTextAlign flags of anchor codes 0..8.
constexpr UINT kAnchorFlags[] = {0, 8, 2, 10, 30, 6, 14, 24, 26};
} // namespace

CDrawText::CDrawText() = default;

WORD CDrawText::GetTypeCode() {
    return DrawType::kDrawText;
}

CString CDrawText::GetClassName() {
    return "CDrawText";
}

void CDrawText::SetPosition(int x, int y, BYTE anchor) {
    m_X = x;
    m_Y = y;
    SetAnchor(anchor);
}

void CDrawText::SetAnchor(BYTE anchor) {
    if (anchor < sizeof(kAnchorFlags) / sizeof(kAnchorFlags[0])) {
        m_Alignment = kAnchorFlags[anchor];
    }
}

void CDrawText::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    m_Text.FormatV(format, args);
    va_end(args);
}

int CDrawText::DrawString(CDC* pDC, CDrawContext* parent, const SIZE* whole) {
    if (!pDC) {
        return 0;
    }
    const int oldMode = m_TransparentFlag ? pDC->SetBkMode(TRANSPARENT) : pDC->GetBkMode();
    const COLORREF oldText = m_OwnColorFlag ? pDC->SetTextColor(m_TextColor) : pDC->GetTextColor();
    const COLORREF textBefore = pDC->GetTextColor();
    const COLORREF oldBk = pDC->GetBkColor();
    if (m_InverseFlag) {
        CDrawObject* object = parent ? parent->GetDrawObject() : nullptr;
        if (object) {
            pDC->SetTextColor(object->GetBackGroundColor());
            pDC->SetBkColor(object->GetTextColor());
        } else {
            pDC->SetTextColor(oldBk);
            pDC->SetBkColor(textBefore);
        }
    }
    // One measurement: of the whole text, or of what fits.
    SIZE size{0, 0};
    if (m_MaxWidth == kAnyWidth || (whole && whole->cx <= m_MaxWidth)) {
        m_Shown = m_Text;
        if (whole) {
            size = *whole;
        } else {
            pDC->GetTextExtentPoint32(m_Shown, m_Shown.GetLength(), &size);
        }
    } else {
        m_Shown = Fit(pDC, m_MaxWidth, &size);
    }
    m_LastSize = size;
    int x = m_X, y = m_Y;
    const UINT oldAlign = pDC->GetTextAlign();
    if (m_Alignment == kAlignCentred) {
        pDC->SetTextAlign(0);
        x = m_X - (size.cx + 1) / 2;
        y = m_Y - (size.cy + 1) / 2;
    } else {
        pDC->SetTextAlign(m_Alignment);
    }
    if (m_Shown.IsEmpty()) {
        // Left out: nothing is drawn and the text takes no box.
        m_LastSize.cx = 0;
    } else if (m_GreyedFlag) {
        // DrawState ignores the alignment: the box starts at the top-left point.
        pDC->DrawState(CPoint(x, y), CSize(size.cx, size.cy), m_Shown,
                       DST_PREFIXTEXT | DSS_DISABLED);
    } else {
        pDC->TextOut(x, y, m_Shown);
    }
    pDC->SetTextAlign(oldAlign);
    if (m_InverseFlag) {
        pDC->SetBkColor(oldBk);
        pDC->SetTextColor(textBefore);
    }
    if (m_OwnColorFlag) {
        pDC->SetTextColor(oldText);
    }
    if (m_TransparentFlag) {
        pDC->SetBkMode(oldMode);
    }
    return size.cy;
}

CRect CDrawText::GetLastExtent() const {
    const int cx = m_LastSize.cx, cy = m_LastSize.cy;
    if (m_Alignment == kAlignCentred) {
        const int left = m_X - (cx + 1) / 2, top = m_Y - (cy + 1) / 2;
        return CRect(left, top, left + cx, top + cy);
    }
    int left = m_X;
    if ((m_Alignment & TA_CENTER) == TA_CENTER) {
        left = m_X - cx / 2;
    } else if (m_Alignment & TA_RIGHT) {
        left = m_X - cx;
    }
    // Bottom and baseline alike: the text lies above its point.
    const int top = (m_Alignment & (TA_BOTTOM | TA_BASELINE)) ? m_Y - cy : m_Y;
    return CRect(left, top, left + cx, top + cy);
}

CString CDrawText::Fit(CDC* pDC, int maxWidth, SIZE* shownSize) const {
    const int headLength = m_Text.GetLength() - m_KeptEnd.GetLength();
    if (m_KeptEnd.IsEmpty() || headLength <= 0 || m_Text.Mid(headLength) != m_KeptEnd)
        return FitText(pDC, m_Text, maxWidth, shownSize);
    const CString whole = FitText(pDC, m_Text, maxWidth, shownSize);
    if (whole == m_Text || !pDC)
        return whole;
    SIZE end{0, 0};
    pDC->GetTextExtentPoint32(m_KeptEnd, m_KeptEnd.GetLength(), &end);
    CString end0 = m_KeptEnd;
    end0.TrimLeft();
    const CString head = FitText(pDC, m_Text.Left(headLength), maxWidth - end.cx);
    const CString shown = head.IsEmpty() ? FitText(pDC, end0, maxWidth) : head + m_KeptEnd;
    SIZE size{0, 0};
    if (!shown.IsEmpty())
        pDC->GetTextExtentPoint32(shown, shown.GetLength(), &size);
    if (shownSize)
        *shownSize = size;
    return shown;
}

CString CDrawText::FitText(CDC* pDC, const CString& text, int maxWidth, SIZE* shownSize) {
    SIZE measured{0, 0}, shown{0, 0};
    auto fits = [&](const CString& s) {
        pDC->GetTextExtentPoint32(s, s.GetLength(), &measured);
        if (measured.cx > maxWidth) {
            return false;
        }
        shown = measured;
        return true;
    };
    CString result;
    if (pDC && maxWidth > 0 && !text.IsEmpty()) {
        if (fits(text)) {
            result = text;
        } else {
            // The heads end on whole characters (never inside a UTF-8
            // sequence) and without the blanks before the dots; a longer head
            // is never narrower.
            std::vector<CString> heads;
            for (int n = 1; n < text.GetLength(); ++n) {
                if ((static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) {
                    continue;
                }
                CString head = text.Left(n);
                head.TrimRight();
                if (!head.IsEmpty()) {
                    heads.push_back(head + kShortMark);
                }
            }
            // The longest head that fits, by bisection: the last head that
            // fitted is the one taken, so its size is the one kept.
            size_t lo = 0, hi = heads.size();
            while (lo < hi) {
                const size_t mid = (lo + hi) / 2;
                if (fits(heads[mid])) {
                    lo = mid + 1;
                } else {
                    hi = mid;
                }
            }
            if (lo > 0) {
                result = heads[lo - 1];
            }
        }
    }
    if (shownSize) {
        if (result.IsEmpty() && pDC) {
            // Nothing shown: no width, the height of a line in the font.
            pDC->GetTextExtentPoint32("", 0, &shown);
        }
        *shownSize = shown;
    }
    return result;
}

void CDrawText::Draw(CDC* pDC, CDrawContext* parent, void*) {
    DrawString(pDC, parent);
}

CDrawMultiLineText::CDrawMultiLineText() = default;

WORD CDrawMultiLineText::GetTypeCode() {
    return DrawType::kDrawMultiLineText;
}

CString CDrawMultiLineText::GetClassName() {
    return "CDrawMultiLineText";
}

void CDrawMultiLineText::Draw(CDC* pDC, CDrawContext* parent, void*) {
    const int cy = DrawString(pDC, parent, FitIntoBounds(pDC) ? &m_WholeSize : nullptr);
    if (m_pNextLine) {
        m_pNextLine->SetLineTop(m_Y + cy + 2);
        // The lines below start where this one does (right of the graph's
        // reference mark, which would cover a first letter).
        for (CDrawMultiLineText* p = m_pNextLine; p; p = p->m_pNextLine) {
            p->m_X = m_X;
        }
    }
}

void CDrawMultiLineText::AppendLine(CDrawMultiLineText* line) {
    if (!line || line == this) {
        return;
    }
    // Walked as a loop: a line already on the list is not linked again.
    CDrawMultiLineText* last = this;
    for (CDrawMultiLineText* p = this; p; p = p->m_pNextLine) {
        if (p == line) {
            return;
        }
        last = p;
    }
    last->m_pNextLine = line;
}

void CDrawMultiLineText::SetLineTop(int v) {
    for (CDrawMultiLineText* p = this; p; p = p->m_pNextLine) {
        p->m_Y = v;
        if (p->m_RedrawFlag) {
            return;
        }
    }
}

void CDrawMultiLineText::SetLineBounds(const CRect& bounds, const CRect& keepOut) {
    for (CDrawMultiLineText* p = this; p; p = p->m_pNextLine) {
        p->m_Bounded = true;
        p->m_Bounds = bounds;
        p->m_KeepOut = keepOut;
    }
}

bool CDrawMultiLineText::FitIntoBounds(CDC* pDC) {
    if (!pDC || !m_Bounded || m_Alignment != 0) {
        return false;
    }
    pDC->GetTextExtentPoint32(m_Text, m_Text.GetLength(), &m_WholeSize);
    m_MaxWidth = WidthLimit(m_WholeSize.cy);
    return true;
}

int CDrawMultiLineText::WidthLimitAt(int x, int y, int height) const {
    if (y < m_Bounds.top || y + height > m_Bounds.bottom) {
        return 0;
    }
    int right = m_Bounds.right;
    if (!m_KeepOut.IsRectEmpty() && y < m_KeepOut.bottom && y + height > m_KeepOut.top &&
        x < m_KeepOut.right) {
        right = std::min<int>(right, m_KeepOut.left - kKeepOutGap);
    }
    return std::max(0, right - x);
}

CRect CDrawMultiLineText::MeasureBox(CDC* pDC) const {
    if (!pDC || m_Text.IsEmpty() || m_Alignment != 0) {
        return CRect();
    }
    SIZE whole{0, 0};
    pDC->GetTextExtentPoint32(m_Text, m_Text.GetLength(), &whole);
    const int width = m_Bounded ? std::min<int>(whole.cx, WidthLimit(whole.cy)) : whole.cx;
    return width > 0 ? CRect(m_X, m_Y, m_X + width, m_Y + whole.cy) : CRect();
}

CRect CDrawMultiLineText::GetExpectedExtent() const {
    if (!m_Bounded || m_Alignment != 0) {
        return GetLastExtent();
    }
    const int width = std::min<int>(m_WholeSize.cx, WidthLimit(m_WholeSize.cy));
    if (width <= 0) {
        return CRect();
    }
    return CRect(m_X, m_Y, m_X + width, m_Y + m_WholeSize.cy);
}
