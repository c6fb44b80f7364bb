// The view interface: paint, hit tests, drag gestures, cursor shapes, owner
// notifications and the interface's setting-file record.
#include "analysis/viewinterface.h"

#include "draw/drawcontext.h"
#include "lib/settingfile.h"
#include "platform/dc.h"

namespace {
// The process-wide ID counter of view interfaces: 0 .. 32767, then 0 again.
WORD g_nextViewInterfaceID = 0;

constexpr const char* kIdentifyKey = "ViewIntfIdentifyValue";
constexpr const char* kModeKey = "ViewIntfModeFlag";
constexpr const char* kIniEntryKey = "ViewIntfIniEntry";
} // namespace

// ---- The owner's input slots: nothing unless a mode overrides them.

CViewOwner::~CViewOwner() = default;
void CViewOwner::OnViewLButtonDblClk(UINT, int, int, CViewInterface*) {}
void CViewOwner::OnViewLButtonUp(UINT, int, int, CViewInterface*) {}
void CViewOwner::OnViewMouseMove(UINT, int, int, CViewInterface*) {}
void CViewOwner::OnViewMouseWheel(UINT, int, int, CViewInterface*) {}
void CViewOwner::OnViewKeyUp(UINT, int, int, CViewInterface*) {}
void CViewOwner::OnViewCaptureChanged(UINT, int, int, CViewInterface*) {}
void CViewOwner::OnViewRButtonDblClk(UINT, int, int, CViewInterface*) {}
void CViewOwner::OnViewRButtonDown(UINT, int, int, CViewInterface*) {}
void CViewOwner::OnViewRButtonUp(UINT, int, int, CViewInterface*) {}
void CViewOwner::OnViewSize(UINT, int, int, CViewInterface*) {}
void CViewOwner::OnViewHScroll(UINT, int, int, CViewInterface*) {}
void CViewOwner::OnViewVScroll(UINT, int, int, CViewInterface*) {}

// ---- Construction and the view.

CViewInterface::CViewInterface() : m_ID(g_nextViewInterfaceID) {
    ++g_nextViewInterfaceID;
    if (g_nextViewInterfaceID >= kIdWrap) {
        g_nextViewInterfaceID = 0;
    }
}

CViewInterface::~CViewInterface() {
    SetViewWindow(nullptr);
}

WORD CViewInterface::PeekNextID() {
    return g_nextViewInterfaceID;
}

void CViewInterface::SetViewWindow(CViewWindow* view) {
    if (m_pView && m_pView != view && m_pView->GetViewInterface() == this) {
        m_pView->SetViewInterface(nullptr);
    }
    if (view && view->GetViewInterface() && view->GetViewInterface() != this) {
        view->GetViewInterface()->SetViewWindow(nullptr);
    }
    m_pView = view;
    if (view) {
        view->SetViewInterface(this);
    }
}

CViewWindow* CViewInterface::GetViewWindow() const {
    return m_pView;
}

// ---- Paint

void CViewInterface::Draw(CDC* pDC, const CRect& client) {
    if (!pDC) {
        return;
    }
    if (m_BeforeDraw) {
        m_BeforeDraw();
    }
    if (GetRootRect() != client) {
        m_Root.SetWindowRect(&client);
    }
    m_Root.Render(pDC, nullptr, nullptr);
}

BOOL CViewInterface::OnEraseBkgnd() {
    return TRUE;
}

void CViewInterface::Redraw() {
    ++m_RedrawCount;
    if (m_pView) {
        m_pView->Invalidate();
    }
}

void CViewInterface::RedrawRect(const CRect& rect) {
    ++m_RedrawCount;
    if (m_pView) {
        m_pView->InvalidateRect(rect);
    }
}

CRect CViewInterface::GetClientRect() {
    if (!m_pView) {
        return CRect(0, 0, 0, 0);
    }
    return m_pView->GetClientRect();
}

void CViewInterface::SetCursorShape(CursorShape shape) {
    m_CursorShape = shape;
    if (m_pView) {
        m_pView->SetCursorShape(shape);
    }
}

// ---- Hit tests and gestures

CDrawContext* CViewInterface::HitTestAt(int x, int y) {
    m_pHovered = m_Root.HitTest(x, y, m_Root.GetHitArea(), kHitDepth);
    return m_pHovered;
}

void CViewInterface::OnLButtonDblClk(UINT flags, int x, int y) {
    HitTestAt(x, y);
    if (m_pOwner) {
        m_pOwner->OnViewLButtonDblClk(flags, x, y, this);
    }
}

void CViewInterface::OnLButtonDown(UINT, int x, int y) {
    CDrawContext* hit = HitTestAt(x, y);
    if (m_pOwner && hit) {
        const int identify = hit->GetIdentifyValue();
        if (identify == kIdentifyMarker) {
            const int index = GetMarkerIndex(hit);
            if (index >= 0) {
                const bool mainPoint = IsOnMarkerMainPoint(index, x);
                SetMarkerSelectMode(index, mainPoint ? 0 : 1);
                SetDragState(mainPoint ? kDragMarkerMain : kDragMarkerChild, index);
                SetCursorShape(CursorShape::Arrow);
                return;
            }
        } else if (identify == kIdentifyTrigger) {
            SetDragState(kDragTrigger, 0);
            SetCursorShape(CursorShape::Arrow);
            return;
        }
    }
    SetDragState(kDragFreePointer, 0);
    MoveFreePointer(x, y);
    Redraw();
}

void CViewInterface::OnLButtonUp(UINT flags, int x, int y) {
    if (GetDragKind() != kDragNone) {
        m_DragState = 0;
        return;
    }
    HitTestAt(x, y);
    if (m_pOwner) {
        m_pOwner->OnViewLButtonUp(flags, x, y, this);
    }
}

void CViewInterface::OnMouseMove(UINT flags, int x, int y) {
    if (!GetRootRect().PtInRect(CPoint(x, y))) {
        m_DragState = 0;
        return;
    }
    switch (GetDragKind()) {
    case kDragFreePointer:
        MoveFreePointer(x, y);
        Redraw();
        return;
    case kDragMarkerMain:
    case kDragMarkerChild:
        MoveMarker(GetDragIndex(), GetDragKind() == kDragMarkerMain ? 0 : 1, x);
        Redraw();
        return;
    case kDragTrigger:
        MoveTrigger(y);
        Redraw();
        return;
    default:
        break;
    }
    CDrawContext* hit = HitTestAt(x, y);
    const int identify = hit ? hit->GetIdentifyValue() : 0;
    if (hit && IsMarkerValue(identify)) {
        SetCursorShape(CursorShape::SizeWE);
        if (HoverMarker(hit)) {
            Redraw();
        }
    } else if (hit && identify == kIdentifyTrigger) {
        SetCursorShape(CursorShape::SizeNS);
    } else {
        SetCursorShape(CursorShape::Arrow);
        if (m_pOwner) {
            m_pOwner->OnViewMouseMove(flags, x, y, this);
        }
        if (Highlight(hit)) {
            Redraw();
        }
    }
}

void CViewInterface::OnMouseWheel(UINT flags, short delta, int x, int y) {
    if (m_pOwner) {
        const UINT packed = (flags & 0xFFFF) | (static_cast<UINT>(static_cast<WORD>(delta)) << 16);
        m_pOwner->OnViewMouseWheel(packed, x, y, this);
    }
}

void CViewInterface::OnKeyUp(UINT key, UINT repeat, UINT flags) {
    if (m_pOwner) {
        m_pOwner->OnViewKeyUp(key, static_cast<int>(repeat), static_cast<int>(flags), this);
    }
}

void CViewInterface::OnCaptureChanged() {
    if (m_pOwner) {
        m_pOwner->OnViewCaptureChanged(0, 0, 0, this);
    }
}

void CViewInterface::OnRButtonDblClk(UINT flags, int x, int y) {
    HitTestAt(x, y);
    if (m_pOwner) {
        m_pOwner->OnViewRButtonDblClk(flags, x, y, this);
    }
}

void CViewInterface::OnRButtonDown(UINT flags, int x, int y) {
    HitTestAt(x, y);
    if (m_pOwner) {
        m_pOwner->OnViewRButtonDown(flags, x, y, this);
    }
}

void CViewInterface::OnRButtonUp(UINT flags, int x, int y) {
    HitTestAt(x, y);
    if (m_pOwner) {
        m_pOwner->OnViewRButtonUp(flags, x, y, this);
    }
}

void CViewInterface::OnSize(UINT type, int cx, int cy) {
    // A size has no point of its own: the hit test is made at the origin.
    HitTestAt(0, 0);
    if (m_pOwner) {
        m_pOwner->OnViewSize(type, cx, cy, this);
    }
}

void CViewInterface::OnHScroll(UINT code, int position) {
    if (m_pOwner) {
        m_pOwner->OnViewHScroll(code, position, 0, this);
    }
}

void CViewInterface::OnVScroll(UINT code, int position) {
    if (m_pOwner) {
        m_pOwner->OnViewVScroll(code, position, 0, this);
    }
}

BOOL CViewInterface::OnCommand(UINT) {
    return FALSE;
}

BOOL CViewInterface::OnUpdateCommand(UINT, int*) {
    return FALSE;
}

// ---- Hooks of the modes' interfaces

void CViewInterface::MoveFreePointer(int x, int y) {
    m_FreePointer = CPoint(x, y);
}

int CViewInterface::GetMarkerIndex(CDrawContext*) {
    return -1;
}

BOOL CViewInterface::IsOnMarkerMainPoint(int, int) {
    return FALSE;
}

void CViewInterface::SetMarkerSelectMode(int, int) {}
void CViewInterface::MoveMarker(int, int, int) {}
void CViewInterface::MoveTrigger(int) {}

BOOL CViewInterface::HoverMarker(CDrawContext*) {
    return FALSE;
}

BOOL CViewInterface::Highlight(CDrawContext*) {
    return FALSE;
}

void CViewInterface::SetReadoutFlags(int) {}
void CViewInterface::MarkerPeakSearch(int) {}
void CViewInterface::MarkerNextPeak(int) {}

CDrawObject* CViewInterface::GetDrawObject(int) {
    return nullptr;
}

// ---- Setting data file

int CViewInterface::WriteSetting(CString section) {
    int ok = WriteSettingFileINT(section, kIdentifyKey, m_IdentifyValue);
    ok &= WriteSettingFileINT(section, kModeKey, static_cast<int>(m_DragState));
    ok &= WriteSettingFileSTRING(section, kIniEntryKey, m_ProfileSection);
    return ok;
}

int CViewInterface::ReadSetting(CString section) {
    int identify = m_IdentifyValue;
    int mode = static_cast<int>(m_DragState);
    CString entry = m_ProfileSection;
    int ok = GetSettingFileINT(section, kIdentifyKey, &identify);
    ok &= GetSettingFileINT(section, kModeKey, &mode);
    ok &= GetSettingFileSTRING(section, kIniEntryKey, entry);
    m_IdentifyValue = identify;
    // No button is held while settings load: a stored drag kind would make the
    // next plain move drag something, so only the marker index is kept.
    m_DragState = static_cast<DWORD>(mode) & 0xFFFF;
    // The profile section stays the window's own: a file saved by a window of
    // another variant names that window's section, and the graph keys would
    // be written over its profile when this window closes.
    return ok;
}
