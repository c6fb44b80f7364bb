// The marker: placement on the data line's grid, peak searches and peak hold,
// delta modes and band, hit testing, persistence and drawing.
#include "draw/markercontext.h"

#include "draw/datalinecontext.h"
#include "lib/drawobject.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "platform/dc.h"
#include "trace/measuredwords.h"

#include <algorithm>
#include <cstdlib>

namespace {
// "no data": a read-out over words that hold no measurement.
constexpr int kStrNoData = 90;
constexpr char kSectionFormat[] = "%sMARKER_%d";
constexpr char kBandSuffix[] = "_BAND";
constexpr char kKeyMarkerNumber[] = "MarkerNumber";
constexpr char kKeyLockFrequency[] = "LockFrequency";
constexpr char kKeyPeakHold[] = "PeakHoldFlag";
constexpr char kKeyDeltaMode[] = "DeltaModeFlag";
constexpr char kKeyCurrent[] = "CurrentFlag";
constexpr char kKeyStyle[] = "Style";
constexpr char kKeySelectMode[] = "SelectModeFlag";
constexpr char kKeyChildPeakHold[] = "ChildPeakHoldFlag";
constexpr char kKeyChildLockFrequency[] = "ChildLockFrequency";
// The marker font: 10 pixels high, normal weight.
constexpr LONG kMarkerFontHeight = -10;
constexpr LONG kMarkerFontWeight = 400;

// Reads an 8-bit field: the low byte of the number read; a missing key keeps it.
template <typename T> bool ReadByte(const CString& section, const char* key, T* field) {
    int value = *field;
    const bool ok = GetSettingFileINT(section, key, &value) == 1;
    *field = static_cast<T>(value & 0xFF);
    return ok;
}
} // namespace

CMarkerContext::CMarkerContext() {
    LOGFONT font;
    font.lfHeight = kMarkerFontHeight;
    font.lfWeight = kMarkerFontWeight;
    m_MarkerFont.CreateFontIndirect(&font);
    // The readout line is the only child; the owner also links it into the
    // graph's title line list.
    m_ReadoutLine.SetRedrawFlag(0);
    AddChild(&m_ReadoutLine);
    m_Band.SetMasterFlag(1);
    m_Band.SetRatio(kBandLeft, 0.0, kBandRight, 1.0);
}

CMarkerContext::~CMarkerContext() = default;

WORD CMarkerContext::GetTypeCode() {
    return DrawType::kMarkerContext;
}

CString CMarkerContext::GetClassName() {
    return "CMarkerContext";
}

BYTE CMarkerContext::SetRedrawFlag(BYTE flag) {
    CDrawContext::SetRedrawFlag(flag);
    m_ReadoutLine.SetRedrawFlag(flag);
    if (m_pDrawObject) {
        m_Band.SetColor(m_pDrawObject->GetBackGroundColor());
    }
    m_Band.SetRedrawFlag(m_DeltaMode == kModeBand ? static_cast<char>(flag) : 0);
    if (flag == 0) {
        SetHighlight(0);
    }
    return flag;
}

// ---- Placement

void CMarkerContext::SetSelected(int x) {
    if (m_SelectMode == 0) {
        m_LockFrequency = x;
    } else {
        m_ChildLockFrequency = x;
    }
    UpdateBand();
}

BOOL CMarkerContext::SetFrequency(int x) {
    if (!m_pDataLine || x < m_pDataLine->GetXMin() || x > m_pDataLine->GetXMax()) {
        return FALSE;
    }
    SetSelected(static_cast<int>(m_pDataLine->Snap(x)));
    return TRUE;
}

void CMarkerContext::SetFromPixel(int px) {
    // Without drawn points there is no point to take the x from.
    if (!m_pDataLine || m_pDataLine->GetEnvelopeCount() <= 0) {
        return;
    }
    SetSelected(m_pDataLine->PixelToX(px));
}

int CMarkerContext::PeakSearch(int xa, int xb) {
    if (!m_pDataLine) {
        return 0;
    }
    const int x = static_cast<int>(m_pDataLine->Peak(xa, xb));
    SetSelected(x);
    return x;
}

int CMarkerContext::NextPeak(int xa, int xb) {
    if (!m_pDataLine) {
        return 0;
    }
    const int x = static_cast<int>(m_pDataLine->NextPeak(GetSelectedFrequency(), xa, xb));
    SetSelected(x);
    return x;
}

void CMarkerContext::ApplyPeakHold(const int* peaks, int count) {
    if (!peaks || count <= 0) {
        return;
    }
    // Each point follows its own entry: the main point by its peak hold, the
    // child point by its child peak hold.
    const BYTE selectMode = m_SelectMode;
    auto follow = [&](int n, BYTE mode) {
        if (n <= 0) {
            return;
        }
        m_SelectMode = mode;
        SetFrequency(peaks[(n > count ? count : n) - 1]);
    };
    follow(m_PeakHold, 0);
    follow(m_ChildPeakHold, 1);
    m_SelectMode = selectMode;
}

void CMarkerContext::SetDeltaMode(int mode) {
    const BYTE newMode = static_cast<BYTE>(mode);
    if (newMode == kModeNormal) {
        m_SelectMode = 0;
    } else if (m_DeltaMode == kModeNormal) {
        m_SelectMode = 1;
    }
    m_DeltaMode = newMode;
    if (newMode == kModeBand) {
        if (m_pDrawObject) {
            m_Band.SetColor(m_pDrawObject->GetBackGroundColor());
        }
        m_Band.SetRedrawFlag(static_cast<char>(m_RedrawFlag));
    } else {
        m_Band.SetRedrawFlag(0);
        SetHighlight(0);
    }
    UpdateBand();
}

void CMarkerContext::SetHighlight(int flag) {
    m_HighlightFlag = flag;
    m_Band.SetBoostFlag(static_cast<char>(flag != 0));
}

void CMarkerContext::UpdateBand() {
    if (m_ChildLockFrequency < 0) {
        m_ChildLockFrequency = 0;
    }
    if (m_DeltaMode != kModeBand || !m_pDataLine) {
        return;
    }
    const int low = m_LockFrequency < m_ChildLockFrequency ? m_LockFrequency : m_ChildLockFrequency;
    const int high =
        m_LockFrequency < m_ChildLockFrequency ? m_ChildLockFrequency : m_LockFrequency;
    m_Band.SetRatio(m_pDataLine->XRatio(low), 0.0, m_pDataLine->XRatio(high), 1.0);
}

BOOL CMarkerContext::IsNearPixel(int px) const {
    return std::abs(px - m_MainPoint.x) <= kHitDistance;
}

// ---- Hit testing

int CMarkerContext::GetHitArea() {
    return (m_Rect.bottom - m_Rect.top) * kHitAreaFactor;
}

bool CMarkerContext::HitsSelf(int x, int y) {
    // Within 5 pixels of the main point, or of the child point in a delta mode.
    if (!CDrawContext::HitsSelf(x, y))
        return false;
    const bool onMain = std::abs(x - m_MainPoint.x) <= kHitDistance;
    const bool onChild = m_DeltaMode != kModeNormal && std::abs(x - m_ChildPoint.x) <= kHitDistance;
    return onMain || onChild;
}

// ---- Persistence

BOOL CMarkerContext::WriteSetting(CString section) {
    CString name;
    name.Format(kSectionFormat, section.c_str(), m_MarkerNumber);
    bool ok = CDrawContext::WriteSetting(name) != FALSE;
    ok &= WriteSettingFileINT(name, kKeyMarkerNumber, m_MarkerNumber) == 1;
    ok &= WriteSettingFileINT(name, kKeyLockFrequency, m_LockFrequency) == 1;
    ok &= WriteSettingFileINT(name, kKeyPeakHold, m_PeakHold) == 1;
    ok &= WriteSettingFileINT(name, kKeyDeltaMode, m_DeltaMode) == 1;
    ok &= WriteSettingFileINT(name, kKeyCurrent, m_CurrentFlag) == 1;
    ok &= WriteSettingFileINT(name, kKeyStyle, m_Style) == 1;
    ok &= WriteSettingFileINT(name, kKeySelectMode, m_SelectMode) == 1;
    ok &= WriteSettingFileINT(name, kKeyChildPeakHold, m_ChildPeakHold) == 1;
    ok &= WriteSettingFileINT(name, kKeyChildLockFrequency, m_ChildLockFrequency) == 1;
    ok &= m_Band.WriteSettingFile(name + kBandSuffix) == 1;
    return ok ? TRUE : FALSE;
}

BOOL CMarkerContext::ReadSetting(CString section) {
    CString name;
    name.Format(kSectionFormat, section.c_str(), m_MarkerNumber);
    bool ok = CDrawContext::ReadSetting(name) != FALSE;
    ok &= ReadByte(name, kKeyMarkerNumber, &m_MarkerNumber);
    ok &= GetSettingFileINT(name, kKeyLockFrequency, &m_LockFrequency) == 1;
    ok &= ReadByte(name, kKeyPeakHold, &m_PeakHold);
    ok &= ReadByte(name, kKeyDeltaMode, &m_DeltaMode);
    ok &= ReadByte(name, kKeyCurrent, &m_CurrentFlag);
    ok &= ReadByte(name, kKeyStyle, &m_Style);
    ok &= ReadByte(name, kKeySelectMode, &m_SelectMode);
    ok &= ReadByte(name, kKeyChildPeakHold, &m_ChildPeakHold);
    ok &= GetSettingFileINT(name, kKeyChildLockFrequency, &m_ChildLockFrequency) == 1;
    ok &= m_Band.ReadSettingFile(name + kBandSuffix) == 1;
    // A file cannot make the band a piece that the blending background deletes
    // after drawing: it stays the marker's own object. Unknown modes are
    // normal markers.
    m_Band.SetMasterFlag(1);
    if (m_DeltaMode > kModeBand) {
        m_DeltaMode = kModeNormal;
    }
    if (m_SelectMode > 1) {
        m_SelectMode = 1;
    }
    SetRedrawFlag(m_RedrawFlag);
    UpdateBand();
    return ok ? TRUE : FALSE;
}

// ---- Drawing

CString CMarkerContext::ShortLabel() const {
    if (m_ControlFlag) {
        return "C";
    }
    CString label;
    label.Format("%d", m_MarkerNumber);
    return label;
}

CString CMarkerContext::LongLabel() const {
    if (m_ControlFlag) {
        return "CTRL:";
    }
    CString label;
    label.Format("M%d:", m_MarkerNumber);
    return label;
}

POINT CMarkerContext::PointOf(int x) const {
    POINT p{m_Rect.left, m_Rect.bottom};
    if (m_pDataLine) {
        m_pDataLine->PointOfX(x, &p);
    }
    return p;
}

void CMarkerContext::Draw(CDC* pDC, CDrawContext* parent, void* reserved) {
    CDrawContext::Draw(pDC, parent, reserved);
    m_LabelRect = CRect();
    if (!pDC || !m_pDataLine) {
        return;
    }
    if (!m_pDataLine->GetRedrawFlag()) {
        m_ReadoutLine.SetRedrawFlag(0);
        return;
    }
    // The readout line stacks below the title at the graph's left edge.
    // Below the title, where the title line set it (clear of the reference mark).
    m_ReadoutLine.SetPosition(std::max(m_ReadoutLine.GetX(), m_Rect.left + 2), m_ReadoutLine.GetY(),
                              CDrawText::kAnchorLeftTop);
    if (m_DeltaMode == kModeBand) {
        m_ReadoutLine.SetRedrawFlag(0);
        UpdateBand();
        m_MainPoint = PointOf(m_LockFrequency);
        m_ChildPoint = PointOf(m_ChildLockFrequency);
        if (m_HighlightFlag) {
            DrawBand(pDC);
        }
        return;
    }
    m_ReadoutLine.SetRedrawFlag(1);
    CFont* oldFont = pDC->SelectObject(&m_MarkerFont);
    const int oldMode = pDC->SetBkMode(TRANSPARENT);
    const UINT oldAlign = pDC->SetTextAlign(TA_LEFT | TA_TOP);
    if (m_DeltaMode == kModeDelta || m_DeltaMode == kModeBandPower) {
        DrawDelta(pDC);
    } else {
        DrawNormal(pDC);
    }
    pDC->SetTextAlign(oldAlign);
    pDC->SetBkMode(oldMode);
    if (oldFont) {
        pDC->SelectObject(oldFont);
    }
}

void CMarkerContext::DrawBand(CDC* pDC) {
    CFont* oldFont = pDC->SelectObject(&m_MarkerFont);
    const int oldMode = pDC->SetBkMode(TRANSPARENT);
    const UINT oldAlign = pDC->SetTextAlign(TA_LEFT | TA_TOP);
    CString label;
    label.Format("M%d", m_MarkerNumber);
    DrawDoubleArrow(pDC, m_MainPoint.x, m_ChildPoint.x, m_Rect.bottom - kBandArrowLift, label);
    pDC->SetTextAlign(oldAlign);
    pDC->SetBkMode(oldMode);
    if (oldFont) {
        pDC->SelectObject(oldFont);
    }
}

void CMarkerContext::DrawNormal(CDC* pDC) {
    if (!m_pDataLine->InRange(m_LockFrequency)) {
        m_ReadoutLine.SetText(LongLabel() + GetTorvelString(kStrNotFound));
        return;
    }
    if (!AllMeasured(*m_pDataLine, m_LockFrequency, m_LockFrequency)) {
        m_ReadoutLine.SetText(LongLabel() + GetTorvelString(kStrNoData));
        return;
    }
    const double level = m_pDataLine->Level(m_LockFrequency);
    m_ReadoutLine.SetText(LongLabel() +
                          m_pDataLine->MarkerText(m_LockFrequency, level, m_ReadoutFlags));
    m_MainPoint = PointOf(m_LockFrequency);
    DrawMainSymbol(pDC, m_MainPoint, m_Style == kStyleLine, ShortLabel());
}

void CMarkerContext::DrawDelta(CDC* pDC) {
    const bool lockInside = m_pDataLine->InRange(m_LockFrequency);
    const bool childInside = m_pDataLine->InRange(m_ChildLockFrequency);
    const bool lineStyle = m_Style == kStyleLine || m_DeltaMode == kModeBandPower;
    if (!lockInside || !childInside) {
        m_ReadoutLine.SetText(LongLabel() + GetTorvelString(kStrNotFound));
        if (lockInside) {
            m_MainPoint = PointOf(m_LockFrequency);
            DrawMainSymbol(pDC, m_MainPoint, lineStyle, ShortLabel());
        }
        if (childInside) {
            m_ChildPoint = PointOf(m_ChildLockFrequency);
            DrawChildSymbol(pDC, m_ChildPoint, lineStyle);
        }
        return;
    }
    m_MainPoint = PointOf(m_LockFrequency);
    m_ChildPoint = PointOf(m_ChildLockFrequency);
    const int span = m_ChildLockFrequency - m_LockFrequency;
    if (!AllMeasured(*m_pDataLine, m_LockFrequency, m_LockFrequency) ||
        !AllMeasured(*m_pDataLine, m_ChildLockFrequency, m_ChildLockFrequency)) {
        // The points stand where they are; there is nothing to measure yet.
        m_ReadoutLine.SetText(LongLabel() + GetTorvelString(kStrNoData));
    } else if (m_DeltaMode == kModeDelta) {
        // Both readings go from the main point to the child point: df is
        // child - main, and so is dL, which makes a child below the main
        // point read negative dBc.
        m_MeasuredValue = m_pDataLine->Difference(m_ChildLockFrequency, m_LockFrequency);
        m_ReadoutLine.SetText(
            LongLabel() +
            m_pDataLine->MarkerText(span, m_MeasuredValue, m_ReadoutFlags | kReadoutRelative));
    } else {
        const int low =
            m_LockFrequency < m_ChildLockFrequency ? m_LockFrequency : m_ChildLockFrequency;
        m_MeasuredValue = m_pDataLine->BandPower(low, std::abs(span));
        m_ReadoutLine.SetText(LongLabel() +
                              m_pDataLine->MarkerText(span, m_MeasuredValue, m_ReadoutFlags));
    }
    DrawMainSymbol(pDC, m_MainPoint, lineStyle, CString());
    DrawChildSymbol(pDC, m_ChildPoint, lineStyle);
    if (lineStyle) {
        const int height = m_Rect.bottom - m_Rect.top;
        const int y = m_Rect.top +
                      static_cast<int>(
                          (static_cast<long long>(height) * m_MarkerNumber * kArrowRowStep) >> 16);
        DrawDoubleArrow(pDC, m_MainPoint.x, m_ChildPoint.x, y, ShortLabel());
    } else {
        // Point style: the points joined by a line, the label on a short tick
        // at its middle.
        pDC->MoveTo(m_MainPoint);
        pDC->LineTo(m_ChildPoint);
        const int mx = (m_MainPoint.x + m_ChildPoint.x) / 2;
        const int my = (m_MainPoint.y + m_ChildPoint.y) / 2;
        pDC->MoveTo(mx, my);
        pDC->LineTo(mx, my - kArrowWing);
        const CSize size = pDC->GetTextExtent(ShortLabel());
        DrawLabel(pDC, mx - (size.cx - 1) / 2, my - kArrowWing - size.cy, ShortLabel());
    }
}

void CMarkerContext::DrawSymbol(CDC* pDC, POINT* points, int count) {
    // A marker at the edge of the graph shows the inner half of its symbol, so
    // that nothing of it runs into the axis texts outside.
    for (int i = 0; i < count; ++i) {
        points[i].x = std::clamp(points[i].x, m_Rect.left, std::max(m_Rect.left, m_Rect.right));
    }
    pDC->Polygon(points, count);
}

void CMarkerContext::DrawLabel(CDC* pDC, int x, int y, const CString& label) {
    if (label.IsEmpty()) {
        return;
    }
    // A label stays inside the graph: at its edges a centred label would run
    // into the axis texts beside it.
    const CSize size = pDC->GetTextExtent(label);
    x = std::min(x, static_cast<int>(m_Rect.right) - kLabelInset - static_cast<int>(size.cx));
    x = std::max(x, static_cast<int>(m_Rect.left) + kLabelInset);
    // Above or below the graph it would run into the corner texts, over a
    // readout line (or the title) it would make both unreadable: the label
    // gives way, the readout line says which marker it is.
    const CRect box(x, y, x + size.cx, y + size.cy);
    if (box.top < m_Rect.top || box.bottom > m_Rect.bottom) {
        return;
    }
    CRect common;
    for (CDrawMultiLineText* line = m_pReadoutLines; line; line = line->GetNextLine()) {
        if (line->GetRedrawFlag() && common.IntersectRect(box, line->GetExpectedExtent())) {
            return;
        }
    }
    for (CDrawText* status : {m_pStatusText, m_pStatusMore}) {
        if (status && status->GetRedrawFlag() &&
            common.IntersectRect(box, status->GetLastExtent())) {
            return;
        }
    }
    m_LabelRect = box;
    pDC->TextOut(x, y, label);
}

void CMarkerContext::DrawMainSymbol(CDC* pDC, POINT p, bool lineStyle, const CString& label) {
    const int x = p.x;
    const CSize size = label.IsEmpty() ? CSize(0, 0) : pDC->GetTextExtent(label);
    if (lineStyle) {
        const int b = m_Rect.bottom;
        pDC->MoveTo(x, m_Rect.top);
        pDC->LineTo(x, b - kLineFootTop);
        POINT foot[] = {{x, b - kLineFootTop},
                        {x - kSymbolHalfWidth, b - kLineFootSide},
                        {x - kSymbolHalfWidth, b},
                        {x + kSymbolHalfWidth, b},
                        {x + kSymbolHalfWidth, b - kLineFootSide}};
        DrawSymbol(pDC, foot, 5);
        // The label sits in the foot; where the foot is cut at an edge of the
        // graph it would be crossed by the foot's side, so it goes above it.
        const int labelX = x - (size.cx - 1) / 2;
        const bool fits =
            labelX >= m_Rect.left + kLabelInset && labelX + size.cx <= m_Rect.right - kLabelInset;
        DrawLabel(pDC, labelX, fits ? b - size.cy : b - kLineFootTop - size.cy - 1, label);
        return;
    }
    const int y = p.y;
    POINT triangle[] = {{x, y},
                        {x - kSymbolHalfWidth, y - kSymbolHeight},
                        {x + kSymbolHalfWidth, y - kSymbolHeight}};
    DrawSymbol(pDC, triangle, 3);
    DrawLabel(pDC, x - (size.cx - 1) / 2, y - size.cy - 7, label);
}

void CMarkerContext::DrawChildSymbol(CDC* pDC, POINT p, bool lineStyle) {
    const int x = p.x;
    if (lineStyle) {
        const int b = m_Rect.bottom;
        pDC->MoveTo(x, m_Rect.top);
        pDC->LineTo(x, b - kLineFootSide);
        POINT foot[] = {
            {x - kSymbolHalfWidth, b}, {x + kSymbolHalfWidth, b}, {x, b - kLineFootSide}};
        DrawSymbol(pDC, foot, 3);
        return;
    }
    const int y = p.y;
    POINT triangle[] = {{x, y},
                        {x - kSymbolHalfWidth, y + kSymbolHeight},
                        {x + kSymbolHalfWidth, y + kSymbolHeight}};
    DrawSymbol(pDC, triangle, 3);
}

void CMarkerContext::DrawDoubleArrow(CDC* pDC, int x1, int x2, int y, const CString& label) {
    const int left = x1 < x2 ? x1 : x2;
    const int right = x1 < x2 ? x2 : x1;
    pDC->MoveTo(left, y);
    pDC->LineTo(right, y);
    const POINT leftHead[] = {
        {left, y}, {left + kArrowHead, y - kArrowWing}, {left + kArrowHead, y + kArrowWing}};
    const POINT rightHead[] = {
        {right, y}, {right - kArrowHead, y - kArrowWing}, {right - kArrowHead, y + kArrowWing}};
    pDC->Polygon(leftHead, 3);
    pDC->Polygon(rightHead, 3);
    if (!label.IsEmpty()) {
        const CSize size = pDC->GetTextExtent(label);
        DrawLabel(pDC, (left + right) / 2 - (size.cx - 1) / 2, y - size.cy - 1, label);
    }
}
