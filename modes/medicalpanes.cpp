// The medical window's panes: the channel button panel, the wide graph's view
// interface with its centre marker and alarm line, the two widgets that show
// them, and the splitters that stack the wide graph, the panel and the narrow
// graph.
#include "modes/medicalanalysis.h"

#include "analysis/framelink.h"
#include "lib/profilevalues.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "modes/panelwidget.h"
#include "modes/paneview.h"
#include "platform/dc.h"
#include "platform/framepacer.h"
#include "platform/profile.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWidget>

#include <algorithm>

namespace {
constexpr const char* kCategoryNumberKey = "CategoryNumber";
constexpr const char* kCategoryOffsetKey = "CategoryOffset";
constexpr const char* kIndexOffsetKey = "CurrentChannelIndexOffset";
constexpr const char* kCurrentKey = "CurrentChannel";
constexpr int kMinPaneHeight = 40;
// The buttons take this share of the panel's height (16.16), the read-out
// the rest; button 0 is two units wide, the others one of twelve.
constexpr int kButtonRowRatio = 26214; // 0.4
constexpr int kWidthUnits = 12;
constexpr int kStrPanelKeys = 89; // tool tip of the channel panel: its keys

int unitLeft(const CRect& r, int unit) {
    return r.left + (r.right - r.left) * unit / kWidthUnits;
}

// The wide graph's pane: a pane view that also passes the right button, the
// double click and its size to the wide graph.
class CWideGraphWidget : public CPaneView {
public:
    CWideGraphWidget(CViewInterface* intf, QWidget* parent) : CPaneView(parent) {
        SetViewInterface(intf);
        intf->SetViewWindow(this);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        CPaneView::mousePressEvent(event);
        const QPoint p = event->position().toPoint();
        if (GetViewInterface() && event->button() == Qt::RightButton)
            GetViewInterface()->OnRButtonDown(0, p.x(), p.y());
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        CPaneView::mouseReleaseEvent(event);
        const QPoint p = event->position().toPoint();
        if (GetViewInterface() && event->button() == Qt::RightButton)
            GetViewInterface()->OnRButtonUp(0, p.x(), p.y());
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        const QPoint p = event->position().toPoint();
        if (GetViewInterface() && event->button() == Qt::LeftButton)
            GetViewInterface()->OnLButtonDblClk(0, p.x(), p.y());
    }
    void resizeEvent(QResizeEvent*) override {
        if (GetViewInterface())
            GetViewInterface()->OnSize(0, width(), height());
    }
};

} // namespace

// ---- CMedicalChannelPanel

CMedicalChannelPanel::CMedicalChannelPanel() : m_drawObject(0, "_MedicalButton") {
    m_root.SetDrawObject(&m_drawObject);
    for (int k = 0; k < kButtons; ++k) {
        CMedicalButtonContext& button = m_buttons[static_cast<size_t>(k)];
        button.SetDrawObject(&m_drawObject);
        button.SetIdentifyValue(kIdentify);
        button.SetHitTestFlag(1);
        button.SetAutoLayoutFlag(0);
        button.GetText().SetAnchor(CDrawText::kAnchorCentre);
        m_root.AddChild(&button);
    }
    m_readout.SetDrawObject(&m_drawObject);
    m_readout.SetAutoLayoutFlag(0);
    m_readout.m_ValueColor = RGB(0, 0, 160);
    m_root.AddChild(&m_readout);
}

void CMedicalChannelPanel::SetCategoryNumber(int number) {
    m_categoryNumber = number;
    m_indexOffset = 0;
}

void CMedicalChannelPanel::SetCategoryOffset(int offset) {
    m_categoryOffset = offset & 3;
    m_indexOffset = 0;
}

CChannelObject* CMedicalChannelPanel::GetCurrentChannel() const {
    return GetChannelObject(m_currentIndex);
}

void CMedicalChannelPanel::SetCurrentChannel(int index) {
    const CChannelObject* c = GetChannelObject(index);
    if (!c || c->GetCategory() < kFirstLetterCategory) {
        m_currentIndex = -1;
        return;
    }
    const int category = c->GetCategory();
    m_categoryNumber = CategoryNumberOf(category);
    m_categoryOffset = CategoryOffsetOf(category);
    const int first = GetChannelIndex(category, nullptr);
    m_indexOffset = ((index - first) / kPageSize) * kPageSize;
    m_currentIndex = index;
}

CChannelObject* CMedicalChannelPanel::GetButtonChannel(int k) const {
    if (k < kFirstChannelButton || k > kLastChannelButton)
        return nullptr;
    const int category = GetCategory();
    const int first = GetChannelIndex(category, nullptr);
    const int i = m_indexOffset + k - kFirstChannelButton;
    if (first < 0 || i >= GetCategoryChannelNum(category))
        return nullptr;
    CChannelObject* c = GetChannelObject(first + i);
    return c && c->GetCategory() == category ? c : nullptr;
}

void CMedicalChannelPanel::PageBack() {
    m_indexOffset -= kPageSize;
    if (m_indexOffset < 0)
        m_indexOffset = std::max(GetCategoryChannelNum(GetCategory()) - kPageSize, 0);
}

void CMedicalChannelPanel::PageForward() {
    m_indexOffset += kPageSize;
    if (m_indexOffset >= GetCategoryChannelNum(GetCategory()))
        m_indexOffset = 0;
}

CString CMedicalChannelPanel::ButtonText(int k) const {
    CString s;
    if (k == kMenuButton) {
        const int first = GetChannelIndex(2, nullptr);
        const CChannelObject* group =
            first >= 0 ? GetChannelObject(first + (m_categoryNumber - kFirstLetterCategory) /
                                                      kLettersPerGroup)
                       : nullptr;
        s.Format("%s %c", group ? static_cast<const char*>(group->GetTitle()) : "-",
                 LetterOf(m_categoryOffset));
    } else if (k == kBackButton) {
        s = "<<";
    } else if (k == kForwardButton) {
        s = ">>";
    } else if (const CChannelObject* c = GetButtonChannel(k)) {
        s = c->GetTitle();
    }
    return s;
}

void CMedicalChannelPanel::Draw(CDC* dc, const CRect& rect) {
    m_root.SetRect(rect);
    const int rowBottom =
        rect.top +
        static_cast<int>((static_cast<long long>(rect.Height()) * kButtonRowRatio) >> 16);
    for (int k = 0; k < kButtons; ++k) {
        const int u0 = k == 0 ? 0 : k + 1;
        const int u1 = k + 2;
        const CRect r(unitLeft(rect, u0) + 1, rect.top + 1, unitLeft(rect, u1) - 1, rowBottom - 1);
        CMedicalButtonContext& button = m_buttons[static_cast<size_t>(k)];
        button.SetRect(r);
        button.GetText().SetText(ButtonText(k));
        const CChannelObject* c = GetButtonChannel(k);
        button.m_PatchFlag = c || k == kMenuButton ? 1 : 0;
        button.m_PatchColor = c ? c->GetColor() : GetChannelCategoryColor(GetCategory());
    }
    m_readout.SetRect(CRect(rect.left, rowBottom, rect.right, rect.bottom));
    if (!dc)
        return;
    m_root.Render(dc, nullptr, nullptr);
    for (int k = 0; k < kButtons; ++k) {
        CRect r = m_buttons[static_cast<size_t>(k)].GetRect();
        const CChannelObject* c = GetButtonChannel(k);
        const bool sunken =
            k == m_pressed || (c && c->GetIndexNumber() == m_currentIndex && m_currentIndex >= 0);
        dc->DrawEdge(&r, sunken ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    }
}

int CMedicalChannelPanel::ButtonAt(int x, int y) {
    for (int k = 0; k < kButtons; ++k) {
        const CRect& r = m_buttons[static_cast<size_t>(k)].GetRect();
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
            return k;
    }
    return -1;
}

void CMedicalChannelPanel::LoadProfile(const CString& section) {
    m_drawObject.SetIDString(section + "_" + "_MedicalButton");
    m_drawObject.LoadProfile();
    if (m_drawObject.TitleComparison("NON"))
        m_drawObject.SetTitleString("MedicalButton");
    m_drawObject.SetMask(kMask);
    const int number = GetProfileInt(section, kCategoryNumberKey, kFirstLetterCategory);
    const int offset = GetProfileInt(section, kCategoryOffsetKey, 0);
    const int indexOffset = GetProfileInt(section, kIndexOffsetKey, 0);
    // The group and letter come back from their own category, so that a
    // value of another origin cannot name a category of another kind.
    SetCategoryNumber(CategoryNumberOf(
        std::clamp(number, kFirstLetterCategory, kFirstLetterCategory + 4 * (kGroups - 1))));
    SetCategoryOffset(std::clamp(offset, 0, kLettersPerGroup - 1));
    SetIndexOffset(indexOffset);
    SetCurrentChannel(GetProfileInt(section, kCurrentKey, -1));
}

void CMedicalChannelPanel::WriteProfile(const CString& section) {
    WriteProfileInt(section, kCategoryNumberKey, m_categoryNumber);
    WriteProfileInt(section, kCategoryOffsetKey, m_categoryOffset);
    WriteProfileInt(section, kIndexOffsetKey, m_indexOffset);
    WriteProfileInt(section, kCurrentKey, m_currentIndex);
    m_drawObject.WriteProfile();
}

int CMedicalChannelPanel::WriteSetting(const CString& section) {
    int ok = m_drawObject.WriteSettingFile(m_drawObject.GetTitleString());
    ok &= WriteSettingFileINT(section, kCategoryNumberKey, m_categoryNumber);
    ok &= WriteSettingFileINT(section, kCategoryOffsetKey, m_categoryOffset);
    ok &= WriteSettingFileINT(section, kIndexOffsetKey, m_indexOffset);
    ok &= WriteSettingFileINT(section, kCurrentKey, m_currentIndex);
    return ok;
}

int CMedicalChannelPanel::ReadSetting(const CString& section) {
    int ok = m_drawObject.ReadSettingFile(m_drawObject.GetTitleString());
    int number = m_categoryNumber;
    int offset = m_categoryOffset;
    int indexOffset = m_indexOffset;
    ok &= GetSettingFileINT(section, kCategoryNumberKey, &number) ? 1 : 0;
    ok &= GetSettingFileINT(section, kCategoryOffsetKey, &offset) ? 1 : 0;
    ok &= GetSettingFileINT(section, kIndexOffsetKey, &indexOffset) ? 1 : 0;
    SetCategoryNumber(CategoryNumberOf(
        std::clamp(number, kFirstLetterCategory, kFirstLetterCategory + 4 * (kGroups - 1))));
    SetCategoryOffset(std::clamp(offset, 0, kLettersPerGroup - 1));
    SetIndexOffset(indexOffset);
    return ok;
}

// ---- CMedicalGraphInterface

void CMedicalGraphInterface::AttachCentre(CMedicalMarkerContext* centre,
                                          CDataLineContext* dataLine) {
    if (!centre || m_pCentre)
        return;
    m_pCentre = centre;
    centre->SetIdentifyValue(kIdentifyCentre);
    centre->SetHitTestFlag(1);
    centre->SetDataLine(dataLine);
    GetGraph().AddChild(centre);
    GetGraph().GetFrame().GetTitle().AppendLine(&centre->GetReadoutLine());
    centre->SetReadoutVisible(0);
}

void CMedicalGraphInterface::AttachAlarm(CAlarmTriggerContext* alarm, CDataLineContext* dataLine) {
    if (!alarm || m_pAlarm)
        return;
    m_pAlarm = alarm;
    alarm->SetIdentifyValue(kIdentifyAlarm);
    alarm->SetHitTestFlag(1);
    alarm->SetDataLine(dataLine);
    GetGraph().AddChild(alarm);
    GetGraph().GetFrame().GetTitle().AppendLine(&alarm->GetReadoutLine());
}

void CMedicalGraphInterface::OnLButtonDown(UINT flags, int x, int y) {
    CDrawContext* hit = HitTestAt(x, y);
    const int identify = hit ? hit->GetIdentifyValue() : 0;
    if (hit && identify == kIdentifyCentre && m_pCentre) {
        m_pCentre->SetReadoutVisible(1);
        SetDragState(kDragCentre, 0);
        SetCursorShape(CursorShape::Arrow);
        Redraw();
        return;
    }
    if (hit && identify == kIdentifyAlarm && m_pAlarm) {
        SetDragState(kDragAlarm, 0);
        SetCursorShape(CursorShape::Arrow);
        return;
    }
    CGraphInterface::OnLButtonDown(flags, x, y);
}

void CMedicalGraphInterface::OnLButtonUp(UINT flags, int x, int y) {
    if (GetDragKind() == kDragCentre) {
        m_DragState = 0;
        if (m_pCentre) {
            m_pCentre->SetReadoutVisible(0);
            if (m_pCore)
                m_pCore->CentreDragged(m_pCentre->GetLockFrequency());
        }
        return;
    }
    CGraphInterface::OnLButtonUp(flags, x, y);
}

void CMedicalGraphInterface::OnMouseMove(UINT flags, int x, int y) {
    const int kind = GetDragKind();
    if (kind == kDragCentre && !GetRootRect().PtInRect(CPoint(x, y))) {
        // A centre drag that leaves the graph ends where the pointer left it,
        // so the marker and the narrow band never part.
        const CRect root = GetRootRect();
        if (m_pCentre)
            m_pCentre->SetFromPixel(std::clamp(x, root.left, root.right - 1));
        OnLButtonUp(flags, x, y);
        return;
    }
    if ((kind == kDragCentre || kind == kDragAlarm) && GetRootRect().PtInRect(CPoint(x, y))) {
        if (kind == kDragCentre && m_pCentre) {
            m_pCentre->SetSelectMode(0);
            m_pCentre->SetFromPixel(x);
        } else if (m_pAlarm) {
            m_pAlarm->SetFromPixel(y);
        }
        Redraw();
        return;
    }
    if (kind == kDragNone) {
        CDrawContext* hit = HitTestAt(x, y);
        const int identify = hit ? hit->GetIdentifyValue() : 0;
        if (identify == kIdentifyCentre) {
            SetCursorShape(CursorShape::SizeWE);
            return;
        }
        if (identify == kIdentifyAlarm) {
            SetCursorShape(CursorShape::SizeNS);
            return;
        }
    }
    CGraphInterface::OnMouseMove(flags, x, y);
}

int CMedicalGraphInterface::WriteSetting(CString section) {
    int ok = CGraphInterface::WriteSetting(section);
    if (m_pAlarm)
        ok &= m_pAlarm->WriteSetting(section) ? 1 : 0;
    return ok;
}

int CMedicalGraphInterface::ReadSetting(CString section) {
    int ok = CGraphInterface::ReadSetting(section);
    if (m_pAlarm)
        ok &= m_pAlarm->ReadSetting(section) ? 1 : 0;
    return ok;
}

void CMedicalGraphInterface::LoadAlarmPosition() {
    if (m_pAlarm)
        m_pAlarm->SetPositionRatio(
            GetProfileInt(GetProfileSection(), kAlarmPositionKey, kDefaultTriggerPosition));
}

void CMedicalGraphInterface::WriteAlarmPosition() {
    if (m_pAlarm && !GetProfileSection().IsEmpty())
        WriteProfileInt(GetProfileSection(), kAlarmPositionKey, m_pAlarm->GetPositionRatio());
}

// ---- The medical window's panes

QWidget* CMedicalAnalysis::CreatePanes(QWidget* parent, QWidget* view) {
    const int w = parent ? parent->width() : 640;
    const int h = parent ? parent->height() : 480;
    const CString section = GetProfileSection();
    SIZE wide{w, h * 2 / 5};
    SIZE panel{w, h / 4};
    GetProfileSIZE(section, "SPLIT[0][0]", &wide);
    GetProfileSIZE(section, "SPLIT[0][1]", &panel);
    wide.cy =
        std::clamp<int>(wide.cy, kMinPaneHeight, std::max(h - 2 * kMinPaneHeight, kMinPaneHeight));
    panel.cy = std::clamp<int>(panel.cy, kMinPaneHeight,
                               std::max(h - wide.cy - kMinPaneHeight, kMinPaneHeight));
    const SIZE rest{w, std::max<int>(h - wide.cy, kMinPaneHeight)};
    const SIZE narrow{w, std::max<int>(rest.cy - panel.cy, kMinPaneHeight)};

    auto* outer = new CSplitterWnd;
    outer->CreateStatic(parent, 2, 1);
    outer->SetRowInfo(0, wide.cy, kMinPaneHeight);
    outer->SetRowInfo(1, rest.cy, kMinPaneHeight);
    auto* inner = new CSplitterWnd;
    inner->CreateStatic(nullptr, 2, 1, CSplitterWnd::kFirstPaneId + 1);
    inner->SetRowInfo(0, panel.cy, kMinPaneHeight);
    inner->SetRowInfo(1, narrow.cy, kMinPaneHeight);
    m_wideWidget = new CWideGraphWidget(&m_wideIntf, nullptr);
    NamePane(m_wideWidget, PaneNames::kWideGraph);
    auto* panelWidget =
        new CPanelWidget([this](CDC* dc, const CRect& r) { m_panel.Draw(dc, r); },
                         [this](int x, int y, bool right) { PressPanel(x, y, right); });
    panelWidget->SetKeys(GetTorvelString(kStrPanelKeys),
                         [this](int key, bool) { return PressKey(key); });
    m_panelWidget = panelWidget;
    outer->SetPane(0, 0, m_wideWidget, wide);
    outer->SetPane(1, 0, inner, rest);
    inner->SetPane(0, 0, m_panelWidget, panel);
    inner->SetPane(1, 0, view, narrow);
    m_outer = outer;
    m_inner = inner;
    return outer;
}

void CMedicalAnalysis::SaveSplitterSizes() {
    if (!m_outer || !m_inner)
        return;
    int wide = 0;
    int panel = 0;
    int width = 0;
    m_outer->GetRowInfo(0, &wide, nullptr);
    m_inner->GetRowInfo(0, &panel, nullptr);
    width = m_outer->width();
    SIZE size{width, wide};
    WriteProfileSIZE(GetProfileSection(), "SPLIT[0][0]", &size);
    size.cy = panel;
    WriteProfileSIZE(GetProfileSection(), "SPLIT[0][1]", &size);
}

void CMedicalAnalysis::UpdateView() {
    CNormalAnalysis::UpdateView();
    m_wideIntf.Redraw();
    if (m_panelWidget)
        CFramePacer::Update(m_panelWidget);
}

void CMedicalAnalysis::DrawView(CDC* dc, const CRect& rect) {
    // Images and prints: the three panes stacked in the splitters' proportions.
    int wide = 2;
    int panel = 1;
    int narrow = 2;
    if (m_outer && m_inner) {
        m_outer->GetRowInfo(0, &wide, nullptr);
        m_inner->GetRowInfo(0, &panel, nullptr);
        m_inner->GetRowInfo(1, &narrow, nullptr);
    }
    const int total = wide + panel + narrow;
    if (wide < 0 || panel < 0 || narrow < 0 || total <= 0) {
        wide = 2;
        panel = 1;
        narrow = 2;
    }
    const long long height = rect.Height();
    const int y1 = rect.top + static_cast<int>(height * wide / (wide + panel + narrow));
    const int y2 = rect.top + static_cast<int>(height * (wide + panel) / (wide + panel + narrow));
    m_wideIntf.Draw(dc, CRect(rect.left, rect.top, rect.right, y1));
    m_panel.Draw(dc, CRect(rect.left, y1, rect.right, y2));
    CNormalAnalysis::DrawView(dc, CRect(rect.left, y2, rect.right, rect.bottom));
    // The panes lay out again in their own windows at the next paint.
    m_wideIntf.Redraw();
    if (m_panelWidget)
        CFramePacer::Update(m_panelWidget);
}

void CMedicalAnalysis::GetDrawObjectList(std::list<CDrawObject*>* list) {
    CNormalAnalysis::GetDrawObjectList(list);
    if (!list)
        return;
    for (int k = 0; k < CGraphInterface::kDrawObjectCount; ++k)
        list->push_back(m_wideIntf.GetDrawObject(k));
    list->push_back(&m_panel.GetDrawObject());
}

void CMedicalAnalysis::PressPanel(int x, int y, bool right) {
    const int k = m_panel.ButtonAt(x, y);
    if (k < 0)
        return;
    if (right) {
        if (k == CMedicalChannelPanel::kMenuButton) {
            ShowPopup(2, k);
        } else if (m_panel.GetButtonChannel(k)) {
            m_popupButton = k;
            ShowPopup(1, k);
        }
        return;
    }
    PressButton(k);
}

void CMedicalAnalysis::PressButton(int k) {
    switch (k) {
    case CMedicalChannelPanel::kMenuButton:
        m_panel.SetPressed(k);
        if (m_panelWidget)
            m_panelWidget->repaint();
        ShowPopup(0, k);
        ReleasePanel();
        return;
    case CMedicalChannelPanel::kBackButton:
        m_panel.PageBack();
        break;
    case CMedicalChannelPanel::kForwardButton:
        m_panel.PageForward();
        break;
    default:
        if (const CChannelObject* c = m_panel.GetButtonChannel(k)) {
            if (PickChannel(c->GetIndexNumber()) == kCommandReset)
                Reconfigure(TRUE);
            if (m_link)
                m_link->RefreshCommandStates();
        }
        break;
    }
    UpdateView();
}

bool CMedicalAnalysis::PressKey(int key) {
    if (key >= Qt::Key_1 && key <= Qt::Key_8)
        PressButton(CMedicalChannelPanel::kFirstChannelButton + key - Qt::Key_1);
    else if (key == Qt::Key_Left || key == Qt::Key_PageUp)
        PressButton(CMedicalChannelPanel::kBackButton);
    else if (key == Qt::Key_Right || key == Qt::Key_PageDown)
        PressButton(CMedicalChannelPanel::kForwardButton);
    else
        return false;
    return true;
}

void CMedicalAnalysis::ReleasePanel() {
    m_panel.SetPressed(-1);
    if (m_panelWidget)
        CFramePacer::Update(m_panelWidget);
}

void CMedicalAnalysis::ShowPopup(int kind, int k) {
    if (!m_link || !m_panelWidget)
        return;
    CString name;
    name.Format("MEDICAL_POPUP%d_%d", kind, m_titleIndex);
    const CRect& r = m_panel.GetButton(k).GetRect();
    const QPoint at =
        m_panelWidget->mapToGlobal(QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2));
    m_link->TrackPopupMenu(name, at.x(), at.y());
}
