// CMedicalAnalysis: the channel monitor of a band of narrow telemetry
// channels named by the channel list. Its window shows, from top to bottom, a
// wide overview graph of the whole band (with the six band groups, two
// markers, the centre marker of the narrow band and the alarm line), a panel
// of channel buttons paged by category letter and group with the read-out of
// the picked channel, and the narrow graph of the picked channel's band. The
// core sweeps the wide band piece by piece twice, then the narrow band once,
// and raises an alarm when the wide data line crosses the alarm line.
#pragma once

#include "analysis/graphinterface.h"
#include "analysis/leveltrigger.h"
#include "draw/backgroundcontext.h"
#include "draw/medicalcontexts.h"
#include "draw/triggercontext.h"
#include "lib/blendobject.h"
#include "lib/channellist.h"
#include "lib/drawobject.h"
#include "modes/normalanalysis.h"
#include "platform/splitterwnd.h"

#include <QPointer>

#include <algorithm>
#include <array>

class CMedicalAnalysis;

// The channel button panel: button 0 names the shown category and opens the
// panel menu, buttons 1 and 10 page back and forward, buttons 2 to 9 hold the
// channels of the page; the read-out of the current channel lies below them.
class CMedicalChannelPanel {
public:
    static constexpr int kButtons = 11;
    static constexpr int kMenuButton = 0;
    static constexpr int kBackButton = 1;
    static constexpr int kFirstChannelButton = 2;
    static constexpr int kLastChannelButton = 9;
    static constexpr int kForwardButton = 10;
    static constexpr int kPageSize = 8;
    static constexpr int kIdentify = 62;
    // Categories of the letter groups: group g, letter l is 4 g + 3 + l.
    static constexpr int kFirstLetterCategory = 3;
    static constexpr int kLettersPerGroup = 4;
    static constexpr int kGroups = 6;
    static constexpr unsigned kMask = 0x13;

    CMedicalChannelPanel();

    // The group and letter of a category: ((c - 3) / 4) x 4 + 3 and
    // (c - 3) modulo 4, integer division toward zero.
    static int CategoryNumberOf(int category) { return ((category - 3) / 4) * 4 + 3; }
    static int CategoryOffsetOf(int category) { return (category - 3) % 4; }
    static char LetterOf(int offset) { return static_cast<char>('A' + (offset & 3)); }

    int GetCategoryNumber() const { return m_categoryNumber; }
    int GetCategoryOffset() const { return m_categoryOffset; }
    int GetIndexOffset() const { return m_indexOffset; }
    int GetCategory() const { return m_categoryNumber + m_categoryOffset; }
    // Each starts the first page of the category it chooses.
    void SetCategoryNumber(int number);
    void SetCategoryOffset(int offset);
    // Held inside the channel list: an offset read from a file must leave room
    // for the button and paging arithmetic.
    void SetIndexOffset(int offset) { m_indexOffset = std::clamp(offset, 0, kChannelCount); }

    // The current channel's index into the channel list, -1 for none.
    int GetCurrentIndex() const { return m_currentIndex; }
    CChannelObject* GetCurrentChannel() const;
    // Makes the channel current and shows its page (-1: none, the page stays).
    void SetCurrentChannel(int index);
    // The channel of button k (2..9) on the current page, or null.
    CChannelObject* GetButtonChannel(int k) const;
    // Eight channels back / forward, wrapping at the ends of the category.
    void PageBack();
    void PageForward();

    // The button (0..10) at the point, or -1.
    int ButtonAt(int x, int y);
    // The button shown pressed (-1 none).
    void SetPressed(int k) { m_pressed = k; }
    int GetPressed() const { return m_pressed; }
    CMedicalButtonContext& GetButton(int k) { return m_buttons[static_cast<size_t>(k)]; }
    CMedicalTextContext& GetReadout() { return m_readout; }
    CDrawObject& GetDrawObject() { return m_drawObject; }
    // The text of button k as it is drawn.
    CString ButtonText(int k) const;
    // Lays the panel out in rect and draws it (no drawing without dc).
    void Draw(CDC* dc, const CRect& rect);

    // "CategoryNumber", "CategoryOffset", "CurrentChannelIndexOffset",
    // "CurrentChannel" (an index) and the drawing object.
    void LoadProfile(const CString& section);
    void WriteProfile(const CString& section);
    int WriteSetting(const CString& section);
    int ReadSetting(const CString& section);

private:
    CBackGroundContext m_root;
    CDrawObject m_drawObject;
    std::array<CMedicalButtonContext, kButtons> m_buttons;
    CMedicalTextContext m_readout;
    int m_categoryNumber = kFirstLetterCategory;
    int m_categoryOffset = 0;
    int m_indexOffset = 0;
    int m_currentIndex = -1;
    int m_pressed = -1;
};

// The wide graph's view interface: the graph interface with the centre marker
// of the narrow band and the alarm line, each dragged with the mouse.
class CMedicalGraphInterface : public CGraphInterface {
public:
    static constexpr int kIdentifyCentre = 64;
    static constexpr int kIdentifyAlarm = 65;
    static constexpr int kDragCentre = 5;
    static constexpr int kDragAlarm = 6;
    static constexpr const char* kAlarmPositionKey = "AlarmPosition";

    explicit CMedicalGraphInterface(CMedicalAnalysis* core) : m_pCore(core) {}

    void AttachCentre(CMedicalMarkerContext* centre, CDataLineContext* dataLine);
    void AttachAlarm(CAlarmTriggerContext* alarm, CDataLineContext* dataLine);
    CMedicalMarkerContext* GetCentre() const { return m_pCentre; }
    CAlarmTriggerContext* GetAlarm() const { return m_pAlarm; }

    void OnLButtonDown(UINT flags, int x, int y) override;
    void OnLButtonUp(UINT flags, int x, int y) override;
    void OnMouseMove(UINT flags, int x, int y) override;
    // The graph interface's items, then the alarm line.
    int WriteSetting(CString section) override;
    int ReadSetting(CString section) override;

    // "AlarmPosition" of the profile section (default 0.5 in 12.20).
    void LoadAlarmPosition();
    void WriteAlarmPosition();

private:
    CMedicalAnalysis* m_pCore;
    CMedicalMarkerContext* m_pCentre = nullptr;
    CAlarmTriggerContext* m_pAlarm = nullptr;
};

class CMedicalAnalysis : public CNormalAnalysis {
public:
    static constexpr int kWideStart = 410000; // kHz
    static constexpr int kWideStop = 460000;
    static constexpr int kWideMarkerHome = 435000;
    static constexpr int kMaxBandWidth = 40;
    static constexpr int kMaxYAxisOffset = 100;
    static constexpr int kDefaultYAxisOffset = -20;
    static constexpr int kBands = 6;
    // The category of the band groups.
    static constexpr int kGroupCategory = 2;
    // Markers 1..3 belong to the narrow graph, 4 and 5 to the wide graph.
    static constexpr int kNarrowMarkers = 3;
    // The alarm state.
    static constexpr int kAlarmWaiting = kTriggerWaiting;
    static constexpr int kAlarmArmed = kTriggerArmed;
    static constexpr int kAlarmFiring = kTriggerFired;
    // Length of the peak list offered to the markers.
    static constexpr int kPeakListLength = 4;
    // Commands of this window.
    static constexpr int kCmdBandZoom = 161;
    static constexpr int kCmdYAxisOffset = 162; // p2 = 1: entry form
    static constexpr int kCmdBandWidth = 163;   // p2 = 1: entry form
    static constexpr int kCmdBandIndicate = 164;
    static constexpr int kCmdLetter = 165;
    static constexpr int kCmdGroup = 166;
    static constexpr int kCmdBandColor = 167;
    static constexpr int kCmdPickNumber = 168;
    static constexpr int kCmdPickFrequency = 169;
    static constexpr int kCmdAlarm = 170;
    static constexpr int kCmdPickButton = 171; // the channel of the remembered button
    static constexpr int kCmdChannelColor = 172;
    static constexpr int kCmdShowLog = 173;
    // Makes channel-list entry p1 current and centres on it, as a channel
    // picked by number, from the panel or from its pop-up menu is.
    static constexpr int kCmdPickIndex = 174;

    CMedicalAnalysis(CCommandEntry* frameList, CCommandEntry* buttonList,
                     CFrameLink* link = nullptr);
    ~CMedicalAnalysis() override;

    int GetAnalysisType() override { return 6; }
    int GetRBWKindMask() override { return 4; }
    CString GetProfileSection() override;
    void ReadProfile() override;
    void WriteProfile() override;
    int SaveSettings() override;
    int LoadSettings() override;
    // modes/medicalcsv.cpp
    int WriteCSVSections(CStdioFile& file) override;
    int ReadCSVSections(const char* path) override;

    // The narrow graph's lines and the wide graph's.
    void ForEachLevelStore(const LevelStoreVisitor& visit) override;
    // The wide trace k is shown with the narrow one.
    void ShowTrace(int k, BOOL show) override;
    void Reconfigure(BOOL reset) override;
    int StartAnalysis() override;
    void AnalysisFinished(WPARAM wParam, LPARAM lParam) override;
    int ExecuteCommand(int action, int p1, int p2, int p3, int p4, int p5) override;
    int GetCommandState(int action, int p1, int p2, int p3, int p4, int p5) override;

    // ---- Markers: 1..3 on the narrow graph, 4 and 5 on the wide graph.
    CMarkerContext* GetMarker(int k) override;
    void SelectMarker(int k) override;
    int OnMarkerEntry() override;
    int OnPeakSearch() override;
    int OnNextPeak() override;
    int GetMarkerCommandState(int action, int p1) override;

    // ---- Channels.
    // The number dialog: "%c%04d" of the letter and the entered number.
    int PickByNumber();
    // The frequency dialog (MHz).
    int PickByFrequency();
    // The channel of the panel's letter whose centre is (byRange 0) or whose
    // band holds (1) the frequency, in the six groups in order; -1 for none.
    int FindChannel(int kHz, int byRange) const;
    // Centre on the channel whose band holds kHz, or on kHz itself.
    int PickAt(int kHz);
    // The channel becomes current (-1 none): the panel shows it, the narrow
    // graph its band.
    void MakeCurrent(int index);
    // A press on the channel panel (right: the right button).
    void PressPanel(int x, int y, bool right);
    // A left press on button k (0..10).
    void PressButton(int k);
    // Keys of the panel: 1-8 pick the channels of the page, Left / Page Up and
    // Right / Page Down turn the page; false for other keys.
    bool PressKey(int key);
    void ReleasePanel();
    // The centre marker was dragged to kHz.
    void CentreDragged(int kHz);
    void DoubleClickView(int x, int y, CViewInterface* intf);

    // ---- Alarm.
    // One test of the alarm state machine against the wide data line.
    void TestAlarm();
    int GetAlarmState() const { return m_alarmState; }
    int GetAlarmFlag() const { return m_alarmFlag; }
    // Alarm on (1 above, 2 below) or off (0); state back to waiting.
    void SetAlarm(int flag);
    // The alarm line watches while the alarm is on.
    bool HasArmedAlarm() override;
    // The technical alarm in both graphs; raised it sounds as the alarm does
    // (log window and beep), its end is logged.
    void ShowTechnicalAlarm(bool raised, const CString& text) override;

    // ---- The window.
    QWidget* CreatePanes(QWidget* parent, QWidget* view) override;
    void DrawView(CDC* dc, const CRect& rect) override;
    void UpdateView() override;
    void GetDrawObjectList(std::list<CDrawObject*>* list) override;
    void OnViewLButtonDblClk(UINT flags, int x, int y, CViewInterface* intf) override;
    void OnViewMouseMove(UINT flags, int x, int y, CViewInterface* intf) override;

    // ---- Accessors.
    int GetBandWidth() const { return m_bandWidth; }
    int GetBandIndicateFlag() const { return m_bandIndicateFlag; }
    int GetBandZoomFlag() const { return m_bandZoomFlag; }
    int GetYAxisOffset() const { return m_yAxisOffset; }
    int GetWideStart() const { return m_wideStart; }
    int GetWideStop() const { return m_wideStop; }
    int GetPhase() const { return m_phase; }
    int GetWidePosition() const { return m_widePosition; }
    // The narrow sweep: the grid index of its next block, and the indices its
    // pieces run over (first up to end).
    long long GetNarrowPosition() const { return m_narrowPosition; }
    long long GetNarrowFirst() const { return NarrowIndex(m_start); }
    long long GetNarrowEnd() const {
        return std::max(NarrowIndex(m_stop + 1), GetNarrowFirst() + 1);
    }
    const std::array<int, kPeakListLength>& GetPeakList() const { return m_peaks; }
    CDataLineContext& GetWideLine(int k) { return m_wideTraces[static_cast<size_t>(k) % 6]; }
    CMedicalGraphInterface& GetWideInterface() { return m_wideIntf; }
    CMedicalChannelPanel& GetPanel() { return m_panel; }
    CMedicalMarkerContext& GetCentreMarker() { return m_centre; }
    CAlarmTriggerContext& GetAlarmLine() { return m_alarm; }
    CChannelObject& GetChannel() { return m_channel; }
    CBlendObject& GetBand(int i) { return m_bands[static_cast<size_t>(i)]; }
    int GetRememberedButton() const { return m_popupButton; }
    QWidget* GetPanelWidget() const { return m_panelWidget; }
    QWidget* GetWideWidget() const { return m_wideWidget; }

protected:
    // Dialogs, the alarm's outputs and the pop-up menus; tests replace them.
    virtual int EntryInt(int value, const char* unit, const char* title);
    virtual double EntryDouble(double value, const char* unit, const char* title);
    // Adds the text to the log, shows the log window and beeps.
    virtual void SoundAlarm(const CString& text);
    // "MEDICAL_POPUP%d_%d" at the centre of panel button k.
    virtual void ShowPopup(int kind, int k);
    // The wide sweep's device call.
    virtual int StartWideSweep(int startKHz);
    virtual int StartNarrowSweep(int startKHz);

private:
    // The wide x axis for the band zoom setting: the whole band for -1, else
    // band group n with a margin of half its span on each side.
    void ApplyBandZoom(int flag);
    // The wide traces on the wide grid, the bands on the wide axis, the
    // channel on the narrow axis, scales and texts of both graphs.
    void ConfigureWide(BOOL reset);
    void ShowBands();
    // Each wide trace holds as its narrow trace does (write, max or min
    // hold, off).
    void FollowTraceStates();
    // Puts the centre marker and the narrow markers' default on the centre.
    void PlaceCentre();
    // Peak list of a data line between a and b; each of the five markers of
    // the graph applies its peak hold with it.
    void BuildPeakList(const CDataLineContext& line, int a, int b);
    int ApplyYAxisOffset(int value, bool entry);
    int ApplyBandWidth(int value, bool entry);
    int PickChannel(int index);
    // Centre on the channel FindChannel finds at kHz, or on kHz without a
    // current channel.
    int CentreOn(int kHz, int byRange);
    // Peak or next-peak search of the current marker (marker 1 when none is
    // selected) on the graph it belongs to.
    int SearchPeak(bool next);
    void SaveSplitterSizes();
    // The narrow grid's index of the first point at or above kHz (held to
    // 0 .. point count).
    long long NarrowIndex(int kHz) const;

    int m_bandWidth = 1;
    int m_alarmFlag = 0;
    int m_alarmState = kAlarmWaiting;
    int m_bandIndicateFlag = 1;
    int m_bandZoomFlag = -1;
    int m_yAxisOffset = 0;
    int m_wideStart = kWideStart;
    int m_wideStop = kWideStop;
    int m_letter = 0;
    int m_phase = 0;
    int m_widePosition = 0;
    // The narrow grid's index of the next narrow piece (-1: from the start).
    long long m_narrowPosition = -1;
    // The attenuation the wide line was measured with.
    int m_wideAttenuation = -1;
    int m_measuring = 0; // the graph of the running task: 0 wide, 1 narrow
    int m_popupButton = -1;
    std::array<int, kPeakListLength> m_peaks{};
    std::array<CDataLineContext, kTraceStores> m_wideTraces;
    std::array<CDrawObject, kTraceStores> m_wideTraceObjects;
    std::array<CMarkerContext, 2> m_wideMarkers;
    CCMedicalCursolContext m_wideCursor;
    CMedicalMarkerContext m_centre;
    CAlarmTriggerContext m_alarm;
    CMedicalGraphInterface m_wideIntf;
    CMedicalChannelPanel m_panel;
    CChannelObject m_channel;
    std::array<CBlendObject, kBands> m_bands;
    CNormalGraphValues m_wideGraph;
    QPointer<CSplitterWnd> m_outer;
    QPointer<CSplitterWnd> m_inner;
    QPointer<QWidget> m_panelWidget;
    QPointer<QWidget> m_wideWidget;
};
