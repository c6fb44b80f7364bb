// The channel button.
#include "draw/channelbuttoncontext.h"

#include "draw/datalinecontext.h"
#include "lib/channellist.h"
#include "lib/stringtable.h"
#include "platform/dc.h"
#include "trace/measuredwords.h"

#include <cstdlib>

CChannelButtonContext::CChannelButtonContext() = default;

WORD CChannelButtonContext::GetTypeCode() {
    return DrawType::kChannelButtonContext;
}

CString CChannelButtonContext::GetClassName() {
    return "CChannelButtonContext";
}

CRect CChannelButtonContext::PatchRect(const RECT& r) {
    return CRect(r.left + kPatchInset, r.top + kPatchInset,
                 r.left + ((r.right - r.left - 10) * kPatchWidthRatio) / 65536,
                 r.bottom - kPatchInset);
}

CString CChannelButtonContext::MeasureText() const {
    CString text;
    if (!m_pChannel) {
        return text;
    }
    if (!m_pDataLine) {
        return "Not Found";
    }
    const long long centre = m_pChannel->GetCenterFrequency();
    const long long span = m_pChannel->GetSpanFrequency();
    const long long low = centre - span / 2;
    const long long high = centre + span / 2;
    if (!m_pDataLine->InRange(low) || !m_pDataLine->InRange(high)) {
        return GetTorvelString(kStrOutOfRange);
    }
    // A band not yet measured all over (a new window, a new grid after a
    // zoom) has no power and no peak to show.
    if (!AllMeasured(*m_pDataLine, low, high)) {
        return GetTorvelString(kStrNoData);
    }
    const CString unit = m_pDataLine->UnitText(0);
    switch (m_pChannel->GetDetectMode()) {
    case kDetectBandPower:
        text.Format("%.2f%s", m_pDataLine->BandPower(low, span), static_cast<const char*>(unit));
        break;
    case kDetectPeakLevel:
        text.Format("%.2f%s", m_pDataLine->Level(m_pDataLine->Peak(low, high)),
                    static_cast<const char*>(unit));
        break;
    case kDetectPeakOffset: {
        const long long d = m_pDataLine->Peak(low, high) - centre;
        // Only an offset inside the band counts as found.
        if (2 * std::llabs(d) < span) {
            if (std::llabs(d) < 1000) {
                text.Format("%.7gKHz", static_cast<double>(d));
            } else {
                text.Format("%.7gMHz", static_cast<double>(d) / 1000);
            }
        } else {
            text = "Not Found";
        }
        break;
    }
    default:
        text = "Not Entry Func";
        break;
    }
    return text;
}

void CChannelButtonContext::Draw(CDC* pDC, CDrawContext* parent, void* reserved) {
    CDrawContext::Draw(pDC, parent, reserved);
    if (!pDC || !m_pChannel) {
        return;
    }
    const int oldMode = pDC->SetBkMode(TRANSPARENT);
    const COLORREF oldBk = pDC->GetBkColor();
    pDC->FillSolidRect(&m_Rect, m_pChannel->GetCategoryColor());
    const CRect patch = PatchRect(m_Rect);
    pDC->FillSolidRect(&patch, m_pChannel->GetColor());

    const UINT oldAlign = pDC->SetTextAlign(TA_LEFT | TA_TOP);
    const int x = patch.right + kTextGap;
    const int height = m_Rect.bottom - m_Rect.top;
    const CString title = m_pChannel->GetTitle();
    const CSize titleSize = pDC->GetTextExtent(title);
    pDC->TextOut(x, m_Rect.top + height / 4 - titleSize.cy / 2, title);

    const char* mode = m_pChannel->GetDetectModeText();
    CString line = mode ? mode : "";
    line += ":";
    line += MeasureText();
    const CSize lineSize = pDC->GetTextExtent(line);
    pDC->TextOut(x, m_Rect.top + height * 3 / 4 - lineSize.cy / 2, line);

    pDC->SetTextAlign(oldAlign);
    pDC->SetBkMode(oldMode);
    pDC->SetBkColor(oldBk);
}
