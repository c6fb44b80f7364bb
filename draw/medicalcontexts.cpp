// The medical window's button, cursor, centre marker and read-out panel.
#include "draw/medicalcontexts.h"

#include "draw/channelbuttoncontext.h"
#include "draw/datalinecontext.h"
#include "lib/channellist.h"
#include "lib/drawobject.h"
#include "lib/stringtable.h"
#include "platform/dc.h"
#include "trace/measuredwords.h"

#include <algorithm>
#include <cstdlib>

// ---- CMedicalButtonContext

CMedicalButtonContext::CMedicalButtonContext() = default;

WORD CMedicalButtonContext::GetTypeCode() {
    return DrawType::kMedicalButtonContext;
}

CString CMedicalButtonContext::GetClassName() {
    return "CMedicalButtonContext";
}

namespace {
// "no data": a read-out over words that hold no measurement.
constexpr int kStrNoReadout = 90;
constexpr int kCaptionInset = 2; // pixels kept free at either side of a caption
} // namespace

void CMedicalButtonContext::Draw(CDC* pDC, CDrawContext* parent, void* reserved) {
    // The background fill and the centred text of the text panel; a caption
    // wider than a narrow button is shortened rather than written over its
    // neighbours (a tiled window).
    CNormalTextContext::Draw(pDC, parent, reserved);
    GetText().SetMaxWidth(std::max(m_Rect.Width() - 2 * kCaptionInset, 0));
    if (!pDC) {
        return;
    }
    const COLORREF oldBk = pDC->GetBkColor();
    if (m_PatchFlag) {
        const CRect patch = CChannelButtonContext::PatchRect(m_Rect);
        pDC->FillSolidRect(&patch, m_PatchColor);
    }
    pDC->SetBkColor(oldBk);
}

// ---- CCMedicalCursolContext

CCMedicalCursolContext::CCMedicalCursolContext() = default;

WORD CCMedicalCursolContext::GetTypeCode() {
    return DrawType::kMedicalCursolContext;
}

CString CCMedicalCursolContext::GetClassName() {
    return "CCMedicalCursolContext";
}

CString CCMedicalCursolContext::ReadoutPrefix(int x) {
    CString prefix;
    const CChannelObject* group = SerchChannelObject(x, kGroupCategory, 1);
    if (!group) {
        return prefix;
    }
    const int first = GetChannelIndex(kGroupCategory, nullptr);
    const int g = group->GetIndexNumber() - first;
    const int category = kLettersPerGroup * g + kFirstLetterCategory + m_LetterIndex;
    const CChannelObject* channel = SerchChannelObject(x, category, 1);
    if (channel) {
        prefix.Format("[%s] ", static_cast<const char*>(channel->GetTitle()));
    }
    return prefix;
}

// ---- CMedicalMarkerContext

CMedicalMarkerContext::CMedicalMarkerContext() = default;

WORD CMedicalMarkerContext::GetTypeCode() {
    return DrawType::kMedicalMarkerContext;
}

CString CMedicalMarkerContext::GetClassName() {
    return "CMedicalMarkerContext";
}

void CMedicalMarkerContext::Draw(CDC* pDC, CDrawContext* parent, void* reserved) {
    CDrawContext::Draw(pDC, parent, reserved);
    if (!pDC || !m_pDataLine) {
        return;
    }
    if (!m_pDataLine->GetRedrawFlag()) {
        m_ReadoutLine.SetRedrawFlag(0);
        return;
    }
    CFont* oldFont = pDC->SelectObject(&m_MarkerFont);
    const int oldMode = pDC->SetBkMode(TRANSPARENT);
    CString readout = "CENTER:";
    if (m_pDataLine->InRange(m_LockFrequency)) {
        CString frequency;
        if (m_LockFrequency < 1000) {
            frequency.Format("%.7gKHz", static_cast<double>(m_LockFrequency));
        } else {
            frequency.Format("%.7gMHz", m_LockFrequency / 1000.0);
        }
        readout += frequency;
        m_MainPoint = PointOf(m_LockFrequency);
        m_MeasuredValue = m_pDataLine->Level(m_LockFrequency);
    } else {
        readout += GetTorvelString(kStrNotFound);
        const bool below = static_cast<long long>(m_LockFrequency) < m_pDataLine->GetStart();
        m_MainPoint.x = below ? m_Rect.left : m_Rect.right;
        m_MeasuredValue = 0.0;
    }
    m_ReadoutLine.SetText(readout);
    const int x = m_MainPoint.x;
    pDC->MoveTo(x, m_Rect.bottom);
    pDC->LineTo(x, m_Rect.top + kTriangleHeight);
    POINT triangle[4] = {{x, m_Rect.top + kTriangleHeight},
                         {x - kTriangleHalfWidth, m_Rect.top},
                         {x + kTriangleHalfWidth, m_Rect.top},
                         {x, m_Rect.top + kTriangleHeight}};
    pDC->Polygon(triangle, 4);
    // Below the title, where the title line set it (clear of the reference mark).
    m_ReadoutLine.SetPosition(std::max(m_ReadoutLine.GetX(), m_Rect.left + 2), m_ReadoutLine.GetY(),
                              CDrawText::kAnchorLeftTop);
    pDC->SetBkMode(oldMode);
    if (oldFont) {
        pDC->SelectObject(oldFont);
    }
}

bool CMedicalMarkerContext::HitsSelf(int x, int y) {
    return std::abs(x - m_MainPoint.x) <= kHitDistance && y > m_Rect.top && y < m_Rect.bottom;
}

int CMedicalMarkerContext::GetHitArea() {
    return (m_Rect.bottom - m_Rect.top) * kHitAreaFactor;
}

// ---- CMedicalTextContext

CMedicalTextContext::CMedicalTextContext() = default;

WORD CMedicalTextContext::GetTypeCode() {
    return DrawType::kMedicalTextContext;
}

CString CMedicalTextContext::GetClassName() {
    return "CMedicalTextContext";
}

int CMedicalTextContext::LineTop(const RECT& area, int k, int lineHeight) {
    const int step = std::max(((area.bottom - area.top) << 16) / kLines, lineHeight << 16);
    return area.top + ((k * step) >> 16);
}

void CMedicalTextContext::MakeValues(CString values[3]) const {
    for (int i = 0; i < 3; ++i) {
        values[i].Empty();
    }
    if (!m_pChannel) {
        return;
    }
    const int centre = m_pChannel->GetCenterFrequency();
    const double frequency = (centre + m_pChannel->GetFineFrequency() * 0.001) * 0.001;
    values[0].Format("%.04fMHz", frequency);
    if (!m_pDataLine) {
        return;
    }
    const CString unit = m_pDataLine->UnitText(0);
    const Measurement m = Measure();
    if (!m.valid) {
        // The highest word of the band holds no measurement: none does.
        values[1] = values[2] = GetTorvelString(kStrNoReadout);
        return;
    }
    const double deviation = static_cast<double>(m.peak) - frequency * 1000.0;
    values[1].Format("%.04fMHz %+.02fkHz %.2f%s", m.peak * 0.001, deviation, m.peakLevel,
                     static_cast<const char*>(unit));
    values[2].Format("%.2f%s", m.power, static_cast<const char*>(unit));
}

CMedicalTextContext::Measurement CMedicalTextContext::Measure() const {
    Measurement m;
    if (!m_pChannel || !m_pDataLine)
        return m;
    const int centre = m_pChannel->GetCenterFrequency();
    // The band is centre - h .. centre + h, both ends included (2h + 1 points
    // on the 1 kHz grid; h = 0 is the centre point alone). The peak search
    // ends before its second frequency and the band power counts the points
    // its width reaches upwards, so each is given one step / one kHz more.
    const long long low = static_cast<long long>(centre) - m_HalfBand;
    const long long high = static_cast<long long>(centre) + m_HalfBand;
    const long long step = std::max<long long>(m_pDataLine->GetStep(), 1);
    m.peak = m_pDataLine->Peak(low, high + step);
    if (!AllMeasured(*m_pDataLine, m.peak, m.peak))
        return m;
    m.valid = true;
    m.peakLevel = m_pDataLine->Level(m.peak);
    m.power = m_pDataLine->BandPower(low, high - low + 1);
    return m;
}

void CMedicalTextContext::Draw(CDC* pDC, CDrawContext* parent, void* reserved) {
    CBackGroundContext::Draw(pDC, parent, reserved);
    if (!pDC || !m_pChannel) {
        return;
    }
    CRect area = m_Rect;
    area.DeflateRect(kInset, kInset);
    CString values[3];
    MakeValues(values);
    const int labels[3] = {kStrFrequency, kStrPeak, kStrPower};
    const int oldMode = pDC->SetBkMode(TRANSPARENT);
    const UINT oldAlign = pDC->SetTextAlign(TA_LEFT | TA_TOP);
    const COLORREF oldColor = pDC->GetTextColor();
    constexpr int kLabelGap = 8; // pixels between a label and its value
    // The values start a sixth of the way across, or right of the widest
    // label when that is wider, so that "POWER" never runs into its value.
    int labelWidth = 0;
    for (int label : labels) {
        labelWidth =
            std::max(labelWidth, static_cast<int>(pDC->GetTextExtent(GetLibraryString(label)).cx));
    }
    const int valueX = area.left + std::max((area.right - area.left) / 6, labelWidth + kLabelGap);
    const int lineHeight = static_cast<int>(pDC->GetTextExtent("Ag").cy);
    for (int i = 0; i < 3; ++i) {
        const int y = LineTop(area, i, lineHeight);
        pDC->SetTextColor(m_LabelColor);
        pDC->TextOut(area.left, y, GetLibraryString(labels[i]));
        pDC->SetTextColor(m_ValueColor);
        pDC->TextOut(valueX, y, values[i]);
    }
    pDC->SetTextColor(oldColor);
    pDC->SetTextAlign(oldAlign);
    pDC->SetBkMode(oldMode);
}
