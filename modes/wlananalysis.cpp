// The WLAN window's core and its channel button panel.
#include "modes/wlananalysis.h"

#include "analysis/framelink.h"
#include "lib/channellist.h"
#include "lib/profilevalues.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "modes/keytables.h"
#include "modes/panelwidget.h"
#include "platform/dc.h"
#include "platform/framepacer.h"
#include "platform/profile.h"

#include "platform/splitterwnd.h"

#include <QPointer>
#include <QWidget>

namespace {
constexpr char kPanelSection[] = "CHANNEL_BUTTON_INTF";
constexpr char kCoreSection[] = "WLAN_CORE";
constexpr char kEntryKey[] = "ChannelEntry";
constexpr char kSelectKey[] = "CHSelect";
// Commands of this window.
constexpr int kCmdChannelOnOff = 151;
constexpr int kCmdChannelColor = 152;
constexpr int kCmdRemoveCategory = 153;
constexpr int kCmdCategoryColor = 154;
constexpr int kCmdSelectChannel = 155;
constexpr int kMinPaneWidth = 50;
constexpr int kStrPanelKeys = 98; // tool tip of the channel panel: its keys

} // namespace

// ---- CChannelButtonInterface

CChannelButtonInterface::CChannelButtonInterface() : m_drawObject(0, "_ChannelButton") {
    m_root.SetDrawObject(&m_drawObject);
    m_buttons[0].SetIdentifyValue(kHeaderIdentify);
    m_states[0] = kStateNormal;
    for (int i = 0; i < kSlots; ++i) {
        m_slots[static_cast<size_t>(i)].SetIdentifyValue(kHeaderIdentify);
        m_slots[static_cast<size_t>(i)].SetAutoLayoutFlag(0);
        m_buttons[static_cast<size_t>(i) + 1].SetIdentifyValue(kButtonIdentify);
        m_buttons[static_cast<size_t>(i) + 1].SetHitTestFlag(1);
        m_states[static_cast<size_t>(i) + 1] = kStateNormal;
    }
}

CChannelObject* CChannelButtonInterface::GetSlotChannel(int i) const {
    if (i < 0 || i >= kSlots) {
        return nullptr;
    }
    CChannelObject* c = m_slots[static_cast<size_t>(i)].m_pChannel;
    return c && c->GetIndexNumber() >= 0 ? c : nullptr;
}

int CChannelButtonInterface::AddChannel(int number) {
    for (int i = 0; i < kSlots; ++i) {
        if (!GetSlotChannel(i)) {
            m_slots[static_cast<size_t>(i)].m_pChannel = GetChannelObject(number);
            return 1;
        }
    }
    return 0;
}

int CChannelButtonInterface::FindChannel(int number) const {
    for (int i = 0; i < kSlots; ++i) {
        const CChannelObject* c = GetSlotChannel(i);
        if (c && c->GetIndexNumber() == number) {
            return i;
        }
    }
    return -1;
}

int CChannelButtonInterface::HasChannel(int number) const {
    return FindChannel(number) >= 0 ? 1 : 0;
}

int CChannelButtonInterface::RemoveChannel(int number) {
    for (int i = 0; i < kSlots; ++i) {
        const CChannelObject* c = GetSlotChannel(i);
        if (c && c->GetIndexNumber() == number) {
            m_slots[static_cast<size_t>(i)].m_pChannel = nullptr;
            if (GetSelectedButton() == i + 1) {
                SelectButton(-1);
            }
            return 1;
        }
    }
    return 0;
}

void CChannelButtonInterface::RemoveCategory(int category) {
    for (int i = 0; i < kSlots; ++i) {
        const CChannelObject* c = GetSlotChannel(i);
        if (category < 0 || (c && c->GetCategory() == category)) {
            m_slots[static_cast<size_t>(i)].m_pChannel = nullptr;
        }
    }
    // A button whose slot was emptied is no longer selected.
    if (!GetSlotChannel(GetSelectedButton() - 1)) {
        SelectButton(-1);
    }
}

CChannelObject* CChannelButtonInterface::SelectSlot(int i) {
    CChannelObject* c = GetSlotChannel(i);
    if (c) {
        SelectButton(i + 1);
    }
    return c;
}

int CChannelButtonInterface::GetSelectedButton() const {
    for (int k = 1; k <= kSlots; ++k) {
        if (m_states[static_cast<size_t>(k)] == kStateSelected) {
            return k;
        }
    }
    return -1;
}

void CChannelButtonInterface::SelectButton(int k) {
    for (int j = 1; j <= kSlots; ++j) {
        m_states[static_cast<size_t>(j)] = kStateNormal;
        m_buttons[static_cast<size_t>(j)].SetRedrawFlag(1);
    }
    if (k >= 1 && k <= kSlots) {
        m_states[static_cast<size_t>(k)] = kStateSelected;
    }
}

int CChannelButtonInterface::FindButton(int id) const {
    for (int k = 1; k <= kSlots; ++k) {
        if (m_buttons[static_cast<size_t>(k)].GetID() == id) {
            return k;
        }
    }
    return -1;
}

void CChannelButtonInterface::SetDataLine(CDataLineContext* dataLine) {
    for (CChannelButtonContext& slot : m_slots) {
        slot.m_pDataLine = dataLine;
    }
}

void CChannelButtonInterface::ReadEntries(const int* entries) {
    for (int i = 0; i < kSlots; ++i) {
        m_slots[static_cast<size_t>(i)].m_pChannel =
            entries[i] >= 0 ? GetChannelObject(entries[i]) : nullptr;
    }
}

void CChannelButtonInterface::WriteEntries(int* entries) const {
    for (int i = 0; i < kSlots; ++i) {
        const CChannelObject* c = GetSlotChannel(i);
        entries[i] = c ? c->GetIndexNumber() : -1;
    }
}

void CChannelButtonInterface::LoadProfile(const CString& section) {
    m_drawObject.SetIDString(section + "_" + "_ChannelButton");
    m_drawObject.LoadProfile();
    if (m_drawObject.TitleComparison("NON")) {
        m_drawObject.SetTitleString("ChannelButton");
    }
    m_drawObject.SetMask(kMask);
    int entries[kSlots];
    for (int& e : entries) {
        e = -1;
    }
    if (!GetProfileINTARRAY(section, kEntryKey, entries, kSlots)) {
        // A new window shows the three channels that do not overlap (1, 6
        // and 11) where the channel list has them in the band.
        int slot = 0;
        for (int number : {1, 6, 11}) {
            const CChannelObject* c = GetChannelObject(number);
            if (c && c->GetIndexNumber() >= 0 &&
                c->GetCenterFrequency() > CWlanAnalysis::kFullStart &&
                c->GetCenterFrequency() < CWlanAnalysis::kFullStop) {
                entries[slot++] = number;
            }
        }
    }
    ReadEntries(entries);
}

void CChannelButtonInterface::WriteProfile(const CString& section) {
    int entries[kSlots];
    WriteEntries(entries);
    WriteProfileINTARRAY(section, kEntryKey, entries, kSlots);
    m_drawObject.WriteProfile();
}

int CChannelButtonInterface::WriteSetting(const CString& section) {
    int ok = m_drawObject.WriteSettingFile(m_drawObject.GetTitleString());
    int entries[kSlots];
    WriteEntries(entries);
    ok &= WriteSettingFileINTARRAY(section, kEntryKey, entries, kSlots);
    return ok;
}

int CChannelButtonInterface::ReadSetting(const CString& section) {
    int ok = m_drawObject.ReadSettingFile(m_drawObject.GetTitleString());
    int entries[kSlots];
    WriteEntries(entries);
    ok &= GetSettingFileINTARRAY(section, kEntryKey, entries, kSlots) ? 1 : 0;
    ReadEntries(entries);
    return ok;
}

void CChannelButtonInterface::Draw(CDC* dc, const CRect& rect) {
    m_root.SetRect(rect);
    const int height = rect.bottom - rect.top;
    // The header takes the top eleventh, the ten buttons share the rest.
    m_buttons[0].SetRect(CRect(rect.left, rect.top, rect.right, rect.top + height / 11));
    for (int i = 0; i < kSlots; ++i) {
        const CRect r(rect.left + 2, rect.top + height * (i + 1) / 11 + 1, rect.right - 2,
                      rect.top + height * (i + 2) / 11 - 1);
        m_slots[static_cast<size_t>(i)].SetRect(r);
        m_buttons[static_cast<size_t>(i) + 1].SetRect(r);
    }
    if (!dc) {
        return;
    }
    m_root.Draw(dc, nullptr, nullptr);
    const int oldMode = dc->SetBkMode(TRANSPARENT);
    const UINT oldAlign = dc->SetTextAlign(TA_CENTER | TA_TOP);
    const CRect& header = m_buttons[0].GetRect();
    dc->TextOut((header.left + header.right) / 2, header.top + 2,
                CString(GetTorvelString(kStrTitle)));
    for (int i = 0; i < kSlots; ++i) {
        CChannelButtonContext& slot = m_slots[static_cast<size_t>(i)];
        CRect r = slot.GetRect();
        if (slot.m_pChannel && slot.m_pChannel->GetIndexNumber() >= 0) {
            slot.Draw(dc, &m_root, nullptr);
        }
        dc->DrawEdge(
            &r, m_states[static_cast<size_t>(i) + 1] == kStateSelected ? EDGE_SUNKEN : EDGE_RAISED,
            BF_RECT);
    }
    dc->SetTextAlign(oldAlign);
    dc->SetBkMode(oldMode);
}

int CChannelButtonInterface::ButtonAt(int x, int y) {
    for (int k = kSlots; k >= 0; --k) {
        const CRect& r = m_buttons[static_cast<size_t>(k)].GetRect();
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) {
            return k;
        }
    }
    return -1;
}

// ---- CWlanAnalysis

CWlanAnalysis::CWlanAnalysis(CCommandEntry* frameList, CCommandEntry* buttonList, CFrameLink* link)
    : CNormalAnalysis(frameList, buttonList, link) {
    m_catcherRate = 1;
    for (CBlendObject& band : m_bands) {
        band.SetMasterFlag(1);
        band.SetRedrawFlag(0);
    }
}

CWlanAnalysis::~CWlanAnalysis() = default;

CString CWlanAnalysis::GetProfileSection() {
    CString s;
    s.Format("WLANAnalysis_%d", m_titleIndex);
    return s;
}

int CWlanAnalysis::FullBand() {
    // The whole band has no channel selected. The edge that moves towards
    // the other one goes last, so the setters never swap the edges.
    m_panel.SelectButton(-1);
    if (m_start < kFullStop) {
        SetStop(kFullStop);
        SetStart(kFullStart);
    } else {
        SetStart(kFullStart);
        SetStop(kFullStop);
    }
    return kCommandReset;
}

int CWlanAnalysis::ZoomOn(const CChannelObject* channel) {
    if (!channel) {
        return kCommandReset;
    }
    const int span = 2 * channel->GetSpanFrequency();
    SetSpan(span < kMinZoomSpan ? kMinZoomSpan : span);
    SetCenter(channel->GetCenterFrequency());
    return kCommandReset;
}

namespace {
// The range a zoom on channel gives: centre and span in kHz.
bool zoomedOn(const CChannelObject* channel, int center, int span) {
    if (!channel || channel->GetIndexNumber() < 0)
        return false;
    const int zoom = 2 * channel->GetSpanFrequency();
    return center == channel->GetCenterFrequency() &&
           span == (zoom < CWlanAnalysis::kMinZoomSpan ? CWlanAnalysis::kMinZoomSpan : zoom);
}
} // namespace

int CWlanAnalysis::ZoomedChannel() const {
    const int center = GetCenter(), span = m_stop - m_start;
    const int button = m_panel.GetSelectedButton();
    if (const CChannelObject* c = button > 0 ? m_panel.GetSlotChannel(button - 1) : nullptr;
        zoomedOn(c, center, span))
        return c->GetIndexNumber();
    for (int n = 0; n < kChannelCount; ++n)
        if (zoomedOn(GetChannelObject(n), center, span))
            return n;
    return -1;
}

void CWlanAnalysis::ReadProfile() {
    const CString section = GetProfileSection();
    // The band's packets arrive at some -30 to -50 dBm spread over 17 MHz,
    // near the floor at 30 dB: a new window measures with 10 dB, where its
    // graph reaches down to -90 dBm and shows the floor and the channels
    // above it.
    if (GetProfileInt(section, "AttValue", -1) < 0)
        WriteProfileInt(section, "AttValue", kNewWindowAttenuation);
    CNormalAnalysis::ReadProfile();
    m_frequencyMode = 0;
    m_panel.LoadProfile(section);
    const CKeyTable& keys = KeyTableOf(GetAnalysisType());
    m_catcherRate = keys.Checked("CatcherRate", GetProfileInt(section, "CatcherRate", -1));
    CBlendingBackGroundContext& frame = m_graphIntf.GetGraph().GetFrame();
    for (CBlendObject& band : m_bands) {
        frame.AddBlend(&band);
    }
    m_start = kFullStart;
    m_stop = kFullStop;
    const int select = keys.Checked(kSelectKey, GetProfileInt(section, kSelectKey, -1));
    if (select >= 0) {
        if (CChannelObject* c = m_panel.SelectSlot(select)) {
            ZoomOn(c);
        }
    }
    m_panel.SetDataLine(&m_traces[0]);
}

void CWlanAnalysis::WriteProfile() {
    CNormalAnalysis::WriteProfile();
    const CString section = GetProfileSection();
    WritePaneSizes(m_splitter);
    WriteProfileInt(section, kSelectKey, m_panel.GetSelectedButton() - 1);
    m_panel.WriteProfile(section);
}

int CWlanAnalysis::SaveSettings() {
    int ok = CNormalAnalysis::SaveSettings();
    ok &= WriteSettingFileINT(kCoreSection, kSelectKey, m_panel.GetSelectedButton() - 1);
    ok &= m_panel.WriteSetting(kPanelSection);
    return ok;
}

int CWlanAnalysis::LoadSettings() {
    int ok = CNormalAnalysis::LoadSettings();
    // The catcher rate is kept with the common keys; this section has it only
    // in files of other origin, so its absence is no failure.
    const CKeyTable& keys = KeyTableOf(GetAnalysisType());
    GetSettingFileINT(kCoreSection, "CatcherRate", &m_catcherRate);
    m_catcherRate = keys.Checked("CatcherRate", m_catcherRate);
    int select = m_panel.GetSelectedButton() - 1;
    ok &= GetSettingFileINT(kCoreSection, kSelectKey, &select);
    select = keys.Checked(kSelectKey, select);
    ok &= m_panel.ReadSetting(kPanelSection);
    m_panel.SelectButton(-1);
    if (select >= 0) {
        m_panel.SelectSlot(select);
    }
    return ok;
}

void CWlanAnalysis::Reconfigure(BOOL reset) {
    CNormalAnalysis::Reconfigure(reset);
    for (int i = 0; i < CChannelButtonInterface::kSlots; ++i) {
        CBlendObject& band = m_bands[static_cast<size_t>(i)];
        CChannelObject* c = m_panel.GetSlotChannel(i);
        const int centre = c ? c->GetCenterFrequency() : 0;
        const int half = c ? c->GetSpanFrequency() / 2 : 0;
        if (c && centre - half < m_stop && m_start < centre + half) {
            c->SetxAxisRatio(m_start, m_stop);
            band = *c;
            band.SetMasterFlag(1);
            band.SetRedrawFlag(1);
        } else {
            band.SetRedrawFlag(0);
            band.ClearNext();
        }
    }
}

int CWlanAnalysis::ExecuteCommand(int action, int p1, int p2, int p3, int p4, int p5) {
    const int result = CNormalAnalysis::ExecuteCommand(action, p1, p2, p3, p4, p5);
    if (result != kCommandNotHandled) {
        return result;
    }
    switch (action) {
    case kCmdChannelOnOff:
        if (!m_panel.HasChannel(p1)) {
            m_panel.AddChannel(p1);
            return kCommandRedraw;
        }
        m_panel.RemoveChannel(p1);
        if (m_panel.GetSelectedButton() < 0 && !IsFullBand()) {
            return FullBand();
        }
        return kCommandRedraw;
    case kCmdChannelColor: {
        CChannelObject* c = GetChannelObject(p1);
        COLORREF colour = 0;
        if (!c || !ChooseColor(c->GetColor(), &colour)) {
            return kCommandDone;
        }
        c->SetColor(colour);
        return kCommandRedraw;
    }
    case kCmdRemoveCategory:
        m_panel.RemoveCategory(p1);
        return IsFullBand() ? kCommandRedraw : FullBand();
    case kCmdCategoryColor: {
        COLORREF colour = 0;
        if (p1 < 0 || p1 > kMaxCategoryColor ||
            !ChooseColor(GetChannelCategoryColor(p1), &colour)) {
            return kCommandDone;
        }
        WriteChannelCategoryColor(p1, colour);
        return kCommandRedraw;
    }
    case kCmdSelectChannel:
        if (p1 < 0) {
            return FullBand();
        }
        // The button of the channel shows selected (none for a channel off
        // the panel).
        m_panel.SelectButton(m_panel.FindChannel(p1) + 1);
        return ZoomOn(GetChannelObject(p1));
    default:
        return kCommandNotHandled;
    }
}

int CWlanAnalysis::GetCommandState(int action, int p1, int p2, int p3, int p4, int p5) {
    if (action == kCmdChannelOnOff) {
        return m_panel.HasChannel(p1) ? kStateTicked : kStateUnticked;
    }
    return CNormalAnalysis::GetCommandState(action, p1, p2, p3, p4, p5);
}

void CWlanAnalysis::ClickPanel(int x, int y) {
    PressButton(m_panel.ButtonAt(x, y));
}

void CWlanAnalysis::PressButton(int k) {
    if (k < 1 || k > CChannelButtonInterface::kSlots) {
        return;
    }
    int value = 0;
    if (m_panel.GetSelectedButton() == k) {
        m_panel.SelectButton(-1);
        value = -1;
    } else if (CChannelObject* c = m_panel.GetSlotChannel(k - 1)) {
        m_panel.SelectButton(k);
        value = c->GetIndexNumber();
    } else {
        return;
    }
    if (m_link) {
        m_link->RefreshCommandStates();
    }
    if (ExecuteCommand(kCmdSelectChannel, value, 0, 0, 0, 0) == kCommandReset) {
        Reconfigure(TRUE);
    }
    UpdateView();
}

QWidget* CWlanAnalysis::CreatePanes(QWidget* parent, QWidget* view) {
    auto* splitter = new CSplitterWnd;
    splitter->CreateStatic(parent, 1, 2);
    SIZE left;
    SIZE right;
    ReadPaneSizes(parent, 5, &left, &right);
    splitter->SetColumnInfo(0, left.cx, kMinPaneWidth);
    splitter->SetColumnInfo(1, right.cx, kMinPaneWidth);
    auto* panel = new CPanelWidget([this](CDC* dc, const CRect& r) { m_panel.Draw(dc, r); },
                                   [this](int x, int y, bool right) {
                                       if (!right)
                                           ClickPanel(x, y);
                                   });
    // Keys 1-9 and 0 press buttons 1-10, Escape releases the selected one.
    // A held key acts once: its repeats are taken and do nothing.
    panel->SetKeys(GetTorvelString(kStrPanelKeys), [this](int key, bool repeat) {
        int button = 0;
        if (key >= Qt::Key_1 && key <= Qt::Key_9) {
            button = key - Qt::Key_1 + 1;
        } else if (key == Qt::Key_0) {
            button = 10;
        } else if (key == Qt::Key_Escape && m_panel.GetSelectedButton() > 0) {
            button = m_panel.GetSelectedButton();
        } else {
            return false;
        }
        if (!repeat) {
            PressButton(button);
        }
        return true;
    });
    m_panelWidget = panel;
    splitter->SetPane(0, 0, m_panelWidget, left);
    splitter->SetPane(0, 1, view, right);
    m_splitter = splitter;
    return splitter;
}

void CWlanAnalysis::UpdateView() {
    CNormalAnalysis::UpdateView();
    if (m_panelWidget) {
        CFramePacer::Update(m_panelWidget);
    }
}

void CWlanAnalysis::DrawView(CDC* dc, const CRect& rect) {
    int left = 1;
    int right = 4;
    if (m_splitter) {
        m_splitter->GetColumnInfo(0, &left, nullptr);
        m_splitter->GetColumnInfo(1, &right, nullptr);
    }
    if (left + right <= 0) {
        left = 1;
        right = 4;
    }
    // The panel's share of the width in 16.16.
    const int ratio = static_cast<int>((static_cast<long long>(left) << 16) / (left + right));
    const int split =
        rect.left +
        static_cast<int>((static_cast<long long>(rect.right - rect.left) * ratio) >> 16);
    m_panel.Draw(dc, CRect(rect.left, rect.top, split, rect.bottom));
    CNormalAnalysis::DrawView(dc, CRect(split, rect.top, rect.right, rect.bottom));
    // The panel lays out again in its own pane at the next paint.
    if (m_panelWidget) {
        CFramePacer::Update(m_panelWidget);
    }
}
