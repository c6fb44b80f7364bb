// CWlanAnalysis: the swept spectrum of the 2.4 GHz band with a panel of ten
// channel buttons beside it. Each button shows a channel of the channel list
// with its live measurement; a click zooms the sweep on the channel, a second
// click returns to the whole band. The channels on the panel show on the
// spectrum as coloured bands.
#pragma once

#include "draw/backgroundcontext.h"
#include "draw/channelbuttoncontext.h"
#include "lib/blendobject.h"
#include "lib/drawobject.h"
#include "modes/normalanalysis.h"
#include "platform/splitterwnd.h"

#include <QPointer>

#include <array>

class CChannelObject;

// The channel button panel: ten slots showing channels, a header and ten
// buttons over the slots. A button's state is 1 (normal) or 2 (selected); at
// most one button is selected.
class CChannelButtonInterface {
public:
    static constexpr int kSlots = 10;
    static constexpr int kHeaderIdentify = 61;
    static constexpr int kButtonIdentify = 62;
    static constexpr int kStateNormal = 1;
    static constexpr int kStateSelected = 2;
    static constexpr unsigned kMask = 0x13;
    static constexpr int kStrTitle = 44;

    CChannelButtonInterface();

    // Puts channel number into the first empty slot; 0 when all ten are used.
    int AddChannel(int number);
    int HasChannel(int number) const;
    // The slot (0..9) holding the channel, or -1.
    int FindChannel(int number) const;
    // Empties the slot holding the channel (a selected button is deselected);
    // 0 when no slot holds it.
    int RemoveChannel(int number);
    // category < 0 empties every slot; a selected button whose slot it
    // empties is deselected.
    void RemoveCategory(int category);
    // The channel of slot i after selecting its button, or null for an empty slot.
    CChannelObject* SelectSlot(int i);
    // 1..10, or -1 when none is selected.
    int GetSelectedButton() const;
    // Every button normal; k >= 1 selects button k.
    void SelectButton(int k);
    // The number 1..10 of the button with that element ID, or -1.
    int FindButton(int id) const;
    void SetDataLine(CDataLineContext* dataLine);
    // The channel of slot i, null when empty (no channel or a negative index).
    CChannelObject* GetSlotChannel(int i) const;
    int GetButtonState(int k) const { return k >= 0 && k <= kSlots ? m_states[k] : 0; }
    // Header (0) and buttons (1..10): they lie over the slots.
    CDrawContext& GetButton(int k) { return m_buttons[static_cast<size_t>(k)]; }
    CChannelButtonContext& GetSlot(int i) { return m_slots[static_cast<size_t>(i)]; }

    // "ChannelEntry": each slot's channel index number or -1.
    void ReadEntries(const int* entries);
    void WriteEntries(int* entries) const;
    void LoadProfile(const CString& section);
    void WriteProfile(const CString& section);
    int WriteSetting(const CString& section);
    int ReadSetting(const CString& section);

    // The button the point lies on (1..10; 0 the header), or -1.
    int ButtonAt(int x, int y);
    // Lays the panel out in rect and draws it.
    void Draw(CDC* dc, const CRect& rect);
    CDrawObject& GetDrawObject() { return m_drawObject; }

private:
    CBackGroundContext m_root;
    CDrawObject m_drawObject;
    std::array<CChannelButtonContext, kSlots> m_slots;
    std::array<CBackGroundContext, kSlots + 1> m_buttons;
    std::array<int, kSlots + 1> m_states{};
};

class CWlanAnalysis : public CNormalAnalysis {
public:
    static constexpr int kFullStart = 2400000; // kHz
    static constexpr int kFullStop = 2500000;
    static constexpr int kNewWindowAttenuation = 10; // dB
    static constexpr int kMinZoomSpan = 20000;
    static constexpr int kMaxCategoryColor = 15;

    CWlanAnalysis(CCommandEntry* frameList, CCommandEntry* buttonList, CFrameLink* link = nullptr);
    ~CWlanAnalysis() override;

    int GetAnalysisType() override { return 2; }
    int GetRBWKindMask() override { return 2; }
    CString GetProfileSection() override;
    void ReadProfile() override;
    void WriteProfile() override;
    int SaveSettings() override;
    int LoadSettings() override;
    void Reconfigure(BOOL reset) override;
    int ExecuteCommand(int action, int p1, int p2, int p3, int p4, int p5) override;
    int GetCommandState(int action, int p1, int p2, int p3, int p4, int p5) override;

    // Back to 2400000-2500000 kHz from any range, no button selected; result 2.
    int FullBand();
    // Span twice the channel's (at least 20000 kHz), centred on it; result 2.
    int ZoomOn(const CChannelObject* channel);
    bool IsFullBand() const { return m_start == kFullStart && m_stop == kFullStop; }
    // The number of the channel the range is zoomed on (the selected
    // button's channel first, then the channel list's), or -1 when the range
    // is no channel's zoom (the whole band, a range set by hand).
    int ZoomedChannel() const;
    // A click on the panel at (x, y).
    void ClickPanel(int x, int y);
    // Acts as a click on button k (1-10) of the panel.
    void PressButton(int k);

    // A static splitter of one row: the channel panel on the left (a fifth
    // of the width unless the profile says otherwise), the view on the right.
    QWidget* CreatePanes(QWidget* parent, QWidget* view) override;
    // The panel and the spectrum side by side in the splitter's proportions.
    void DrawView(CDC* dc, const CRect& rect) override;
    void UpdateView() override;
    CSplitterWnd* GetSplitter() const { return m_splitter; }
    QWidget* GetPanelWidget() const { return m_panelWidget; }

    CChannelButtonInterface& GetPanel() { return m_panel; }
    CBlendObject& GetBand(int i) { return m_bands[static_cast<size_t>(i)]; }

private:
    CChannelButtonInterface m_panel;
    std::array<CBlendObject, CChannelButtonInterface::kSlots> m_bands;
    // The window's widgets, gone with the window.
    QPointer<CSplitterWnd> m_splitter;
    QPointer<QWidget> m_panelWidget;
};
