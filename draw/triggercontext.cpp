// The logging trigger line and the alarm line: position ratio and level,
// drawing with direction mark or label, readout, hit test and persistence.
#include "draw/triggercontext.h"

#include "draw/datalinecontext.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "platform/dc.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {
constexpr char kLogSection[] = "LOGTRIGGER";
constexpr char kAlarmSection[] = "ALMTRIGGER";
constexpr char kKeyPositionRatio[] = "PositionRatio";
constexpr char kKeyDirection[] = "DirectionFlag";
// Built-in readout formats, used when the table's text is not a format of one double.
constexpr char kTriggerDbm[] = "TRIGGER %.2fdBm";
constexpr char kTriggerDbuv[] = "TRIGGER %.2fdBuV";
constexpr char kAlarmDbm[] = "ALARM %.2fdBm";
constexpr char kAlarmDbuv[] = "ALARM %.2fdBuV";
// The direction mark: a closed triangle at the right end of the line.
constexpr int kMarkInner = 8;
constexpr int kMarkOuter = 16;
constexpr int kMarkTipX = 12;
constexpr int kMarkBase = 4;
constexpr int kMarkTip = 12;
// Labels and readout keep this distance from the line and the edges.
constexpr int kLabelGap = 2;
} // namespace

CLoggingTriggerContext::CLoggingTriggerContext() {
    m_ReadoutLine.SetRedrawFlag(0);
    AddChild(&m_ReadoutLine);
}

CLoggingTriggerContext::~CLoggingTriggerContext() = default;

WORD CLoggingTriggerContext::GetTypeCode() {
    return DrawType::kLoggingTriggerContext;
}

CString CLoggingTriggerContext::GetClassName() {
    return "CLoggingTriggerContext";
}

BYTE CLoggingTriggerContext::SetRedrawFlag(BYTE flag) {
    CDrawContext::SetRedrawFlag(flag);
    m_ReadoutLine.SetRedrawFlag(flag);
    return flag;
}

int CLoggingTriggerContext::SetFromPixel(int y) {
    const int height = m_Rect.bottom - m_Rect.top;
    if (!m_pDataLine || height <= 0) {
        return 0;
    }
    // A drag beyond the graph leaves the line on its edge.
    if (y < m_Rect.top) {
        y = m_Rect.top;
    } else if (y > m_Rect.bottom) {
        y = m_Rect.bottom;
    }
    m_PositionRatio =
        static_cast<int>((static_cast<std::int64_t>(y - m_Rect.top) << kRatioShift) / height);
    return 1;
}

double CLoggingTriggerContext::GetLevel() const {
    if (!m_pDataLine) {
        return 0.0;
    }
    const double yMax = m_pDataLine->GetYMax();
    const double yMin = m_pDataLine->GetYMin();
    return yMax + (yMin - yMax) * m_PositionRatio * (1.0 / kRatioOne);
}

bool CLoggingTriggerContext::DrawLine(CDC* pDC, CDrawContext* parent, void* reserved) {
    CDrawContext::Draw(pDC, parent, reserved);
    if (!pDC || !m_pDataLine) {
        return false;
    }
    if (!m_pDataLine->GetRedrawFlag()) {
        m_ReadoutLine.SetRedrawFlag(0);
        return false;
    }
    m_ReadoutLine.SetRedrawFlag(1);
    // A negative ratio keeps the row of the last draw.
    if (m_PositionRatio >= 0) {
        m_LineY = m_Rect.top +
                  static_cast<int>((static_cast<std::int64_t>(m_Rect.bottom - m_Rect.top + 1) *
                                    m_PositionRatio) >>
                                   kRatioShift);
    }
    pDC->MoveTo(m_Rect.left, m_LineY);
    pDC->LineTo(m_Rect.right, m_LineY);
    return true;
}

void CLoggingTriggerContext::PlaceReadout(const char* formatDbm, const char* formatDbuv,
                                          const char* fallbackDbm, const char* fallbackDbuv) {
    // Where the title line set it, clear of the reference mark.
    m_ReadoutLine.SetPosition(std::max(m_ReadoutLine.GetX(), m_Rect.left + kLabelGap),
                              m_ReadoutLine.GetY(), CDrawText::kAnchorLeftTop);
    m_Level = GetLevel();
    const char* format = m_pDataLine->GetUnit() == 1 ? CheckedFormat(formatDbm, "f", fallbackDbm)
                                                     : CheckedFormat(formatDbuv, "f", fallbackDbuv);
    CString text;
    text.Format(format, m_Level);
    m_ReadoutLine.SetText(text);
}

void CLoggingTriggerContext::Draw(CDC* pDC, CDrawContext* parent, void* reserved) {
    if (!DrawLine(pDC, parent, reserved)) {
        return;
    }
    const int r = m_Rect.right;
    const int y = m_LineY;
    if (m_DirectionFlag == kDirectionDown) {
        const POINT mark[] = {{r - kMarkInner, y + kMarkBase},
                              {r - kMarkOuter, y + kMarkBase},
                              {r - kMarkTipX, y + kMarkTip},
                              {r - kMarkInner, y + kMarkBase}};
        pDC->Polygon(mark, 4);
    } else {
        const POINT mark[] = {{r - kMarkInner, y - kMarkBase},
                              {r - kMarkOuter, y - kMarkBase},
                              {r - kMarkTipX, y - kMarkTip},
                              {r - kMarkInner, y - kMarkBase}};
        pDC->Polygon(mark, 4);
    }
    PlaceReadout(GetTorvelString(kStrFormatDbm), GetTorvelString(kStrFormatDbuv), kTriggerDbm,
                 kTriggerDbuv);
}

int CLoggingTriggerContext::GetHitArea() {
    return (m_Rect.right - m_Rect.left) * kHitAreaFactor;
}

bool CLoggingTriggerContext::HitsSelf(int x, int y) {
    // Within 5 pixels of the line, inside the graph.
    return CDrawContext::HitsSelf(x, y) && std::abs(y - m_LineY) <= kHitDistance;
}

BOOL CLoggingTriggerContext::WriteKeys(const CString& name) {
    bool ok = CDrawContext::WriteSetting(name) != FALSE;
    ok &= WriteSettingFileINT(name, kKeyPositionRatio, m_PositionRatio) == 1;
    ok &= WriteSettingFileINT(name, kKeyDirection, m_DirectionFlag) == 1;
    return ok ? TRUE : FALSE;
}

BOOL CLoggingTriggerContext::ReadKeys(const CString& name) {
    bool ok = CDrawContext::ReadSetting(name) != FALSE;
    ok &= GetSettingFileINT(name, kKeyPositionRatio, &m_PositionRatio) == 1;
    int direction = m_DirectionFlag;
    ok &= GetSettingFileINT(name, kKeyDirection, &direction) == 1;
    m_DirectionFlag = direction == 0 ? kDirectionUp : kDirectionDown;
    SetRedrawFlag(m_RedrawFlag);
    return ok ? TRUE : FALSE;
}

BOOL CLoggingTriggerContext::WriteSetting(CString section) {
    return WriteKeys(section + kLogSection);
}

BOOL CLoggingTriggerContext::ReadSetting(CString section) {
    return ReadKeys(section + kLogSection);
}

// ---- The alarm line

CAlarmTriggerContext::CAlarmTriggerContext()
    : m_LabelAbove(GetTorvelString(kStrLabelAbove)), m_LabelBelow(GetTorvelString(kStrLabelBelow)) {
}

WORD CAlarmTriggerContext::GetTypeCode() {
    return DrawType::kAlarmTriggerContext;
}

CString CAlarmTriggerContext::GetClassName() {
    return "CAlarmTriggerContext";
}

void CAlarmTriggerContext::Draw(CDC* pDC, CDrawContext* parent, void* reserved) {
    if (!DrawLine(pDC, parent, reserved)) {
        return;
    }
    const int oldMode = pDC->SetBkMode(TRANSPARENT);
    const UINT oldAlign = pDC->SetTextAlign(TA_LEFT | TA_TOP);
    const CString& label = m_DirectionFlag == kDirectionDown ? m_LabelBelow : m_LabelAbove;
    const CSize size = pDC->GetTextExtent(label);
    const int x = m_Rect.right - size.cx - kLabelGap;
    const int y =
        m_DirectionFlag == kDirectionDown ? m_LineY + kLabelGap : m_LineY - size.cy - kLabelGap;
    pDC->TextOut(x, y, label);
    pDC->SetTextAlign(oldAlign);
    pDC->SetBkMode(oldMode);
    PlaceReadout(GetLibraryString(kLibFormatDbm), GetLibraryString(kLibFormatDbuv), kAlarmDbm,
                 kAlarmDbuv);
}

BOOL CAlarmTriggerContext::WriteSetting(CString section) {
    return WriteKeys(section + kAlarmSection);
}

BOOL CAlarmTriggerContext::ReadSetting(CString section) {
    return ReadKeys(section + kAlarmSection);
}
