// The normal analysis' graph interface: graph, drawing objects, graph keys.
#include "analysis/graphinterface.h"

#include "analysis/keytable.h"
#include "draw/cursolcontext.h"
#include "draw/markercontext.h"
#include "draw/triggercontext.h"
#include "platform/profile.h"

namespace {
constexpr const char* kDrawObjectNames[CGraphInterface::kDrawObjectCount] = {
    "PanelFace", "MarkerFace", "AlarmFace", "LogFont"};
constexpr const char* kXDivisionKey = "xDivisionNumber";
constexpr const char* kYDivisionKey = "yDivisionNumber";
constexpr const char* kTriggerPositionKey = "TriggerPosition";
// The title a draw object has when its profile holds none.
constexpr const char* kNoTitle = "NON";
// Division counts beyond this would draw a solid block of lines.
constexpr int kMaxDivisions = 100;

int ClampDivisions(int n) {
    return n < 1 ? CGraphInterface::kDefaultDivisions : n > kMaxDivisions ? kMaxDivisions : n;
}
} // namespace

int ReadDrawObjectSetting(CDrawObject& object, const CString& section) {
    const CString title = object.GetTitleString();
    const int ok = object.ReadSettingFile(section);
    object.SetTitleString(title);
    return ok;
}

CGraphInterface::CGraphInterface() {
    CDrawObject* panel = &m_DrawObjects[kPanelFace];
    m_Root.SetDrawObject(panel);
    m_Root.AddChild(&m_Graph);
    m_Graph.SetDrawObject(panel);
    m_Graph.GetFrame().SetDrawObject(panel);
}

CGraphInterface::~CGraphInterface() {
    if (m_SetUp) {
        WriteProfile();
    }
}

void CGraphInterface::Setup(const CString& profileSection) {
    m_ProfileSection = profileSection;
    const CKeyTable& keys = CommonKeyTable();
    SetDivision(keys.ProfileInt(profileSection, kXDivisionKey, kDefaultDivisions),
                keys.ProfileInt(profileSection, kYDivisionKey, kDefaultDivisions));
    m_TriggerPosition =
        keys.ProfileInt(profileSection, kTriggerPositionKey, kDefaultTriggerPosition);
    for (int k = 0; k < kDrawObjectCount; ++k) {
        CDrawObject& object = m_DrawObjects[static_cast<size_t>(k)];
        const CString id = profileSection + "_" + kDrawObjectNames[k];
        object.SetIDString(id);
        object.LoadProfile();
        object.SetMask(k == kLogFont ? kLogFontMask : kFaceMask);
        if (object.TitleComparison(kNoTitle)) {
            object.SetTitleString(kDrawObjectNames[k]);
        }
    }
    m_SetUp = true;
}

void CGraphInterface::WriteProfile() {
    if (m_ProfileSection.IsEmpty()) {
        return;
    }
    WriteProfileInt(m_ProfileSection, kXDivisionKey, GetXDivision());
    WriteProfileInt(m_ProfileSection, kYDivisionKey, GetYDivision());
    WriteProfileInt(m_ProfileSection, kTriggerPositionKey, m_TriggerPosition);
    for (CDrawObject& object : m_DrawObjects) {
        object.WriteProfile();
    }
}

void CGraphInterface::SetDivision(int x, int y) {
    m_Graph.GetFrame().GetFrame().SetDivision(ClampDivisions(x), ClampDivisions(y));
}

CDrawObject* CGraphInterface::GetDrawObject(int k) {
    if (k < 0 || k >= kDrawObjectCount) {
        return nullptr;
    }
    return &m_DrawObjects[static_cast<size_t>(k)];
}

COLORREF CGraphInterface::GetBackgroundColor() const {
    return m_DrawObjects[kPanelFace].GetBackGroundColor();
}

int CGraphInterface::WriteSetting(CString section) {
    int ok = CViewInterface::WriteSetting(section);
    for (CDrawObject& object : m_DrawObjects) {
        ok &= object.WriteSettingFile(object.GetTitleString());
    }
    // The markers and the trigger line in sections named after this one.
    for (CMarkerContext* marker : m_pMarkers) {
        if (marker) {
            ok &= marker->WriteSetting(section) ? 1 : 0;
        }
    }
    if (m_pTrigger) {
        ok &= m_pTrigger->WriteSetting(section) ? 1 : 0;
    }
    return ok;
}

int CGraphInterface::ReadSetting(CString section) {
    int ok = CViewInterface::ReadSetting(section);
    for (CDrawObject& object : m_DrawObjects) {
        ok &= ReadDrawObjectSetting(object, object.GetTitleString());
    }
    for (CMarkerContext* marker : m_pMarkers) {
        if (marker) {
            ok &= marker->ReadSetting(section) ? 1 : 0;
        }
    }
    if (m_pTrigger) {
        ok &= m_pTrigger->ReadSetting(section) ? 1 : 0;
        m_TriggerPosition = m_pTrigger->GetPositionRatio();
    }
    return ok;
}

void CGraphInterface::SetTimeStamp(const CString& text, BOOL show) {
    CDrawMultiLineText& title = m_Graph.GetFrame().GetTitle();
    if (show) {
        if (!m_StampShown) {
            m_SavedTitle = title.GetText();
            m_SavedTitleFlag = title.GetRedrawFlag();
            m_StampShown = true;
        }
        title.SetText(text);
        title.SetRedrawFlag(1);
    } else if (m_StampShown) {
        title.SetText(m_SavedTitle);
        title.SetRedrawFlag(m_SavedTitleFlag);
        m_StampShown = false;
    }
}

// ---- Cursor, markers and trigger line

void CGraphInterface::AttachCursor(CCursolContext* cursor, CDataLineContext* dataLine) {
    if (!cursor || m_pCursor) {
        return;
    }
    m_pCursor = cursor;
    cursor->SetDataLine(dataLine);
    cursor->SetReadoutLines(&m_Graph.GetFrame().GetTitle());
    m_Graph.AddChild(cursor);
}

void CGraphInterface::AttachMarker(int k, CMarkerContext* marker, CDataLineContext* dataLine) {
    if (!marker || k < 0 || k >= kMarkers || m_pMarkers[static_cast<size_t>(k)]) {
        return;
    }
    m_pMarkers[static_cast<size_t>(k)] = marker;
    marker->SetMarkerNumber(k + 1);
    marker->SetIdentifyValue(kIdentifyMarker);
    marker->SetHitTestFlag(1);
    marker->SetDataLine(dataLine);
    marker->SetReadoutLines(&m_Graph.GetFrame().GetTitle(), &m_Graph.GetStatusText(),
                            &m_Graph.GetStatusMore());
    m_Graph.AddChild(marker);
    m_Graph.GetFrame().GetTitle().AppendLine(&marker->GetReadoutLine());
    m_Graph.GetFrame().AddBlend(&marker->GetBand());
}

void CGraphInterface::AttachTrigger(CLoggingTriggerContext* trigger, CDataLineContext* dataLine) {
    if (!trigger || m_pTrigger) {
        return;
    }
    m_pTrigger = trigger;
    trigger->SetIdentifyValue(kIdentifyTrigger);
    trigger->SetHitTestFlag(1);
    trigger->SetDataLine(dataLine);
    trigger->SetPositionRatio(m_TriggerPosition);
    m_Graph.AddChild(trigger);
    m_Graph.GetFrame().GetTitle().AppendLine(&trigger->GetReadoutLine());
}

CMarkerContext* CGraphInterface::GetMarker(int k) const {
    return k >= 1 && k <= kMarkers ? m_pMarkers[static_cast<size_t>(k - 1)] : nullptr;
}

void CGraphInterface::SetReadoutFlags(int flags) {
    if (m_pCursor) {
        m_pCursor->SetReadoutFlags(flags);
    }
    for (CMarkerContext* marker : m_pMarkers) {
        if (marker) {
            marker->SetReadoutFlags(flags);
        }
    }
}

void CGraphInterface::MarkerPeakSearch(int k) {
    if (CMarkerContext* marker = GetMarker(k)) {
        marker->SetRedrawFlag(1);
        marker->PeakSearch(static_cast<int>(m_Graph.GetXMin()),
                           static_cast<int>(m_Graph.GetXMax()));
    }
}

void CGraphInterface::MarkerNextPeak(int k) {
    if (CMarkerContext* marker = GetMarker(k)) {
        marker->SetRedrawFlag(1);
        marker->NextPeak(static_cast<int>(m_Graph.GetXMin()), static_cast<int>(m_Graph.GetXMax()));
    }
}

void CGraphInterface::MoveFreePointer(int x, int y) {
    CViewInterface::MoveFreePointer(x, y);
    if (m_pCursor) {
        m_pCursor->SetPointer(x, y);
        m_pCursor->SetRedrawFlag(1);
    }
}

int CGraphInterface::GetMarkerIndex(CDrawContext* marker) {
    for (int k = 0; k < kMarkers; ++k) {
        if (marker && m_pMarkers[static_cast<size_t>(k)] == marker) {
            return k;
        }
    }
    return -1;
}

BOOL CGraphInterface::IsOnMarkerMainPoint(int index, int x) {
    CMarkerContext* marker = GetMarker(index + 1);
    return marker ? marker->IsNearPixel(x) : FALSE;
}

void CGraphInterface::SetMarkerSelectMode(int index, int mode) {
    if (CMarkerContext* marker = GetMarker(index + 1)) {
        marker->SetSelectMode(mode);
    }
}

void CGraphInterface::MoveMarker(int index, int selectMode, int x) {
    if (CMarkerContext* marker = GetMarker(index + 1)) {
        marker->SetSelectMode(selectMode);
        marker->SetFromPixel(x);
        marker->SetRedrawFlag(1);
    }
}

void CGraphInterface::MoveTrigger(int y) {
    if (m_pTrigger) {
        m_pTrigger->SetFromPixel(y);
        m_TriggerPosition = m_pTrigger->GetPositionRatio();
    }
}

BOOL CGraphInterface::HoverMarker(CDrawContext* hovered) {
    CMarkerContext* marker = GetMarker(GetMarkerIndex(hovered) + 1);
    if (!marker || marker->GetHighlight() || marker->GetDeltaMode() != CMarkerContext::kModeBand) {
        return FALSE;
    }
    Highlight(hovered);
    marker->SetHighlight(1);
    return TRUE;
}

BOOL CGraphInterface::Highlight(CDrawContext* hovered) {
    // Only band markers highlight, and only while the pointer rests on them.
    BOOL changed = FALSE;
    for (CMarkerContext* marker : m_pMarkers) {
        if (marker && marker != hovered && marker->GetHighlight()) {
            marker->SetHighlight(0);
            changed = TRUE;
        }
    }
    return changed;
}
