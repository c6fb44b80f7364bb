// The medical window's core: its keys, the three-phase measurement cycle, the
// peak list, the alarm, the channel picking and the commands.
#include "modes/medicalanalysis.h"

#include "analysis/framelink.h"
#include "device/TorvelAPI.h"
#include "lib/logwindow.h"
#include "lib/numentry.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "modes/keytables.h"
#include "platform/profile.h"

#include <QApplication>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>

namespace {
constexpr const char* kCoreSection = "MEDICAL_CORE";
constexpr const char* kPanelSection = "CHANNEL_BUTTON_INTF";
constexpr const char* kWideSection = "WIDE_GRAPH_INTF";
constexpr const char* kTraceNames[CNormalAnalysis::kTraceStores] = {"DataLine", "Trace1", "Trace2",
                                                                    "Trace3",   "Trace4", "Trace5"};
constexpr const char* kWideFaceNames[CGraphInterface::kDrawObjectCount] = {
    "WidePanelFace", "WideMarkerFace", "WideAlarmFace", "WideLogFont"};
// Program texts.
constexpr int kStrStart = 13;
constexpr int kStrStop = 14;
constexpr int kStrCenter = 15;
constexpr int kStrMarkerEntry = 24;
constexpr int kStrMarkerDelta = 36;
constexpr int kStrBandWidthTitle = 87;
constexpr int kStrBandWidthUnit = 88;
// Library texts.
constexpr int kLibChannelNumber = 55;
constexpr int kLibYAxisOffset = 65;
// The wide sweep's RBW index: its step is the wide grid's.
constexpr int kWideRbwIndex = 1;
constexpr int kLogSeconds = 10;

const char* text(int index) {
    const char* s = GetTorvelString(index);
    return s ? s : "";
}

const char* libraryText(int index) {
    const char* s = GetLibraryString(index);
    return s ? s : "";
}

bool cancelled(double value) {
    return value == DBL_MAX || !std::isfinite(value);
}

// The band group n (0..5): the n-th channel of the group category.
CChannelObject* bandChannel(int n) {
    const int first = GetChannelIndex(CMedicalAnalysis::kGroupCategory, nullptr);
    if (first < 0 || n < 0 || n >= CMedicalAnalysis::kBands)
        return nullptr;
    CChannelObject* c = GetChannelObject(first + n);
    return c && c->GetCategory() == CMedicalAnalysis::kGroupCategory ? c : nullptr;
}

int ticked(bool condition) {
    return condition ? kStateTicked : kStateUnticked;
}
} // namespace

CMedicalAnalysis::CMedicalAnalysis(CCommandEntry* frameList, CCommandEntry* buttonList,
                                   CFrameLink* link)
    : CNormalAnalysis(frameList, buttonList, link), m_wideIntf(this) {
    m_wideIntf.SetOwner(this);
    CNormalGraphContext& wide = m_wideIntf.GetGraph();
    for (int k = 0; k < kTraceStores; ++k) {
        CDataLineContext& trace = m_wideTraces[static_cast<size_t>(k)];
        trace.SetDrawObject(&m_wideTraceObjects[static_cast<size_t>(k)]);
        trace.SetRedrawFlag(k == 0 ? 1 : 0);
        trace.SetIdentifyValue(k);
        wide.AddOverlay(&trace);
    }
    CDataLineContext* line = &m_wideTraces[0];
    CDrawObject* markerFace = m_wideIntf.GetDrawObject(CGraphInterface::kMarkerFace);
    m_wideCursor.SetDrawObject(markerFace);
    m_wideCursor.SetRedrawFlag(0);
    m_wideIntf.AttachCursor(&m_wideCursor, line);
    for (int i = 0; i < 2; ++i) {
        CMarkerContext& marker = m_wideMarkers[static_cast<size_t>(i)];
        marker.SetDrawObject(markerFace);
        marker.SetRedrawFlag(0);
        // Slots 4 and 5 of the wide graph: the markers keep their numbers.
        m_wideIntf.AttachMarker(kNarrowMarkers + i, &marker, line);
        marker.UpdateBand();
    }
    m_centre.SetDrawObject(markerFace);
    m_wideIntf.AttachCentre(&m_centre, line);
    m_alarm.SetDrawObject(m_wideIntf.GetDrawObject(CGraphInterface::kAlarmFace));
    m_alarm.SetRedrawFlag(0);
    m_wideIntf.AttachAlarm(&m_alarm, line);
    for (CBlendObject& band : m_bands) {
        band.SetMasterFlag(1);
        band.SetRedrawFlag(0);
        wide.GetFrame().AddBlend(&band);
    }
    // The narrow graph shows the picked channel's band; its markers 4 and 5
    // are never shown (those numbers belong to the wide graph).
    m_channel.SetMasterFlag(1);
    m_channel.SetRedrawFlag(0);
    m_graphIntf.GetGraph().GetFrame().AddBlend(&m_channel);
    CMedicalTextContext& readout = m_panel.GetReadout();
    readout.m_pDataLine = &m_traces[0];
    readout.m_HalfBand = m_bandWidth;
}

CMedicalAnalysis::~CMedicalAnalysis() = default;

CString CMedicalAnalysis::GetProfileSection() {
    CString s;
    s.Format("MedicalAnalysis_%d", m_titleIndex);
    return s;
}

// ---- Profile and settings

void CMedicalAnalysis::ReadProfile() {
    const CString section = GetProfileSection();
    // Telemetry carriers are weak and the narrow band is swept at fine
    // points, where the noise floor lies lowest: a new window measures
    // without attenuation and shows its narrow graph 20 dB lower, so that the
    // floor and the carriers above it are both in view.
    if (GetProfileInt(section, "AttValue", -1) < 0)
        WriteProfileInt(section, "AttValue", 0);
    CNormalAnalysis::ReadProfile();
    m_frequencyMode = GetProfileInt(section, "FrequencyFlag", 1) ? 1 : 0;
    m_start = GetProfileInt(section, "StartFrequency", 430000);
    m_stop = GetProfileInt(section, "StopFrequency", 432000);
    ValidateRange();
    const CKeyTable& keys = KeyTableOf(GetAnalysisType());
    m_bandWidth = keys.ProfileInt(section, "BandWidth", 1);
    m_alarmFlag = keys.ProfileInt(section, "AlarmFlag", 0);
    m_bandIndicateFlag = keys.ProfileInt(section, "BandIndicateFlag", 1);
    m_bandZoomFlag = keys.ProfileInt(section, "BandZoomFlag", -1);
    m_yAxisOffset = keys.ProfileInt(section, "YAxisOffset", kDefaultYAxisOffset);
    // The narrow band is measured at high resolution: an index that kind
    // cannot use gives way to the first it can.
    if (DeviceRBWFrequency(4, m_rbwIndex) == 0) {
        for (int i = 0; i < kRbwIndexCount; ++i) {
            if (DeviceRBWFrequency(4, i) != 0) {
                m_rbwIndex = i;
                break;
            }
        }
    }

    CString wideSection;
    wideSection.Format("MedicalWideGraph_%d", m_titleIndex);
    m_wideIntf.Setup(wideSection);
    // The wide graph's drawing objects keep titles of their own: setting data
    // files name sections after them, and the narrow graph has the plain ones.
    for (int k = 0; k < CGraphInterface::kDrawObjectCount; ++k)
        m_wideIntf.GetDrawObject(k)->SetTitleString(kWideFaceNames[k]);
    m_wideIntf.LoadAlarmPosition();
    for (int k = 0; k < kTraceStores; ++k) {
        CDrawObject& object = m_wideTraceObjects[static_cast<size_t>(k)];
        object.SetIDString(wideSection + "_" + kTraceNames[k]);
        object.LoadProfile();
        object.SetMask(CDrawObject::kMaskLine);
        if (object.TitleComparison("NON"))
            object.SetTitleString(kTraceNames[k]);
        m_wideTraces[static_cast<size_t>(k)].SetRedrawFlag(k == 0 ? 1 : 0);
    }
    m_panel.LoadProfile(section);
    m_letter = m_panel.GetCategoryOffset();
    m_wideCursor.m_LetterIndex = m_letter;
    SetAlarm(m_alarmFlag);
    ShowBands();
    ApplyBandZoom(m_bandZoomFlag);
    MakeCurrent(m_panel.GetCurrentIndex());
    PlaceCentre();
    SetUnitAll(m_unit);
}

void CMedicalAnalysis::WriteProfile() {
    CNormalAnalysis::WriteProfile();
    const CString section = GetProfileSection();
    WriteProfileInt(section, "BandWidth", m_bandWidth);
    WriteProfileInt(section, "AlarmFlag", m_alarmFlag);
    WriteProfileInt(section, "BandIndicateFlag", m_bandIndicateFlag);
    WriteProfileInt(section, "BandZoomFlag", m_bandZoomFlag);
    WriteProfileInt(section, "YAxisOffset", m_yAxisOffset);
    SaveSplitterSizes();
    m_panel.WriteProfile(section);
    m_wideIntf.WriteProfile();
    m_wideIntf.WriteAlarmPosition();
    for (CDrawObject& object : m_wideTraceObjects)
        object.WriteProfile();
}

int CMedicalAnalysis::SaveSettings() {
    int ok = CNormalAnalysis::SaveSettings();
    ok &= WriteSettingFileINT(kCoreSection, "BandWidth", m_bandWidth);
    ok &= WriteSettingFileINT(kCoreSection, "AlarmFlag", m_alarmFlag);
    ok &= WriteSettingFileINT(kCoreSection, "BandIndicateFlag", m_bandIndicateFlag);
    ok &= WriteSettingFileINT(kCoreSection, "BandZoomFlag", m_bandZoomFlag);
    ok &= WriteSettingFileINT(kCoreSection, "YAxisOffset", m_yAxisOffset);
    ok &= m_panel.WriteSetting(kPanelSection);
    ok &= m_wideIntf.WriteSetting(kWideSection);
    return ok;
}

int CMedicalAnalysis::LoadSettings() {
    int ok = CNormalAnalysis::LoadSettings();
    // Values from outside are brought into their ranges.
    const CKeyTable& keys = KeyTableOf(GetAnalysisType());
    ok &= keys.SettingInt(kCoreSection, "BandWidth", &m_bandWidth);
    ok &= keys.SettingInt(kCoreSection, "AlarmFlag", &m_alarmFlag);
    ok &= keys.SettingInt(kCoreSection, "BandIndicateFlag", &m_bandIndicateFlag);
    ok &= keys.SettingInt(kCoreSection, "BandZoomFlag", &m_bandZoomFlag);
    ok &= keys.SettingInt(kCoreSection, "YAxisOffset", &m_yAxisOffset);
    ok &= m_panel.ReadSetting(kPanelSection);
    ok &= m_wideIntf.ReadSetting(kWideSection);
    m_letter = m_panel.GetCategoryOffset();
    m_wideCursor.m_LetterIndex = m_letter;
    // The channel at the loaded centre is looked up again.
    MakeCurrent(FindChannel(GetCenter(), 0));
    ShowBands();
    SetAlarm(m_alarmFlag);
    ApplyBandZoom(m_bandZoomFlag);
    PlaceCentre();
    return ok;
}

// ---- Range, grids, scales

void CMedicalAnalysis::ShowTrace(int k, BOOL show) {
    CNormalAnalysis::ShowTrace(k, show);
    if (k >= 1 && k < kTraceStores)
        m_wideTraces[static_cast<size_t>(k)].SetRedrawFlag(show ? 1 : 0);
    FollowTraceStates();
}

void CMedicalAnalysis::FollowTraceStates() {
    for (size_t k = 0; k < m_traces.size(); ++k)
        m_wideTraces[k].SetTraceState(m_traces[k].GetTraceState());
}

void CMedicalAnalysis::ForEachLevelStore(const LevelStoreVisitor& visit) {
    CNormalAnalysis::ForEachLevelStore(visit);
    for (CDataLineContext& trace : m_wideTraces)
        visit(trace, -1);
}

void CMedicalAnalysis::ApplyBandZoom(int flag) {
    const CChannelObject* band = flag >= 0 ? bandChannel(flag) : nullptr;
    if (!band) {
        m_wideStart = kWideStart;
        m_wideStop = kWideStop;
        return;
    }
    const int span = band->GetSpanFrequency();
    m_wideStart = band->GetCenterFrequency() - span;
    m_wideStop = band->GetCenterFrequency() + span;
}

void CMedicalAnalysis::ShowBands() {
    for (int i = 0; i < kBands; ++i) {
        CBlendObject& band = m_bands[static_cast<size_t>(i)];
        CChannelObject* c = bandChannel(i);
        if (c) {
            c->SetxAxisRatio(m_wideStart, m_wideStop);
            band = *c;
            band.SetMasterFlag(1);
        }
        const int centre = c ? c->GetCenterFrequency() : 0;
        const int half = c ? c->GetSpanFrequency() / 2 : 0;
        const bool shown = c && m_bandIndicateFlag != 0 && centre - half < m_wideStop &&
                           m_wideStart < centre + half;
        band.SetRedrawFlag(shown ? 1 : 0);
    }
}

void CMedicalAnalysis::PlaceCentre() {
    m_centre.SetLockFrequency(GetCenter());
    m_centre.SetRedrawFlag(1);
    m_centre.SetReadoutVisible(0);
}

void CMedicalAnalysis::ConfigureWide(BOOL reset) {
    const int step = DeviceRBWFrequency(1, kWideRbwIndex);
    const DWORD points = step > 0 ? static_cast<DWORD>((m_wideStop - m_wideStart) / step) : 0;
    const CTraceStore& line = m_wideTraces[0];
    // The wide overview starts again only when its grid or the attenuation
    // changes: picking another channel keeps it.
    const bool changed = line.GetStart() != static_cast<DWORD>(m_wideStart) ||
                         line.GetStep() != static_cast<DWORD>(step) || line.GetPoints() != points ||
                         m_wideAttenuation != m_attenuation;
    if (reset && step > 0 && changed) {
        m_wideAttenuation = m_attenuation;
        for (CDataLineContext& trace : m_wideTraces)
            trace.Configure(static_cast<DWORD>(m_wideStart), static_cast<DWORD>(step), points);
        m_widePosition = 0;
        for (CMarkerContext& marker : m_wideMarkers) {
            const int selectMode = marker.GetSelectMode();
            marker.SetSelectMode(0);
            marker.SetFrequency(marker.GetLockFrequency());
            marker.SetSelectMode(selectMode);
        }
    }
    m_wideGraph = m_graph;
    m_wideGraph.text[1] = "RBW" + FormatFrequency(step) + " [Torvel]";
    m_wideGraph.text[2] = text(kStrStart) + FormatFrequency(m_wideStart);
    m_wideGraph.text[3] = text(kStrStop) + FormatFrequency(m_wideStop);
    m_wideGraph.xMin = m_wideStart;
    m_wideGraph.xMax = m_wideStop;
    CNormalGraphContext& graph = m_wideIntf.GetGraph();
    for (int k = 0; k < 4; ++k)
        *graph.GetCornerText(k) = m_wideGraph.text[static_cast<size_t>(k)];
    *graph.GetCornerText(0) = LevelScaleText(m_wideGraph.text[0]);
    m_wideIntf.SetDivision(m_graph.xDivisions, m_graph.yDivisions);
    graph.GetFrame().GetFrame().SetReferenceLine(m_referencePosition);
    graph.SetScale(m_wideGraph.xMin, m_wideGraph.xMax, m_wideGraph.yMin, m_wideGraph.yMax);
    graph.SetRedrawFlag(1);
    ShowBands();

    CMedicalTextContext& readout = m_panel.GetReadout();
    readout.m_HalfBand = m_bandWidth;
    readout.m_pChannel = m_panel.GetCurrentChannel();
    if (CChannelObject* c = m_panel.GetCurrentChannel()) {
        m_channel.CopyChannel(c);
        m_channel.SetSpanFrequency(2 * m_bandWidth + 1);
        m_channel.SetxAxisRatio(static_cast<int>(m_graph.xMin), static_cast<int>(m_graph.xMax));
        m_channel.SetMasterFlag(1);
        m_channel.SetRedrawFlag(1);
    } else {
        m_channel.SetRedrawFlag(0);
    }
}

void CMedicalAnalysis::Reconfigure(BOOL reset) {
    CNormalAnalysis::Reconfigure(reset);
    m_graph.yMax += m_yAxisOffset;
    m_graph.yMin += m_yAxisOffset;
    UpdateGraph();
    ConfigureWide(reset);
    if (reset)
        m_phase = 0;
    m_narrowPosition = -1;
    PlaceCentre();
}

// ---- Measurement cycle

int CMedicalAnalysis::StartWideSweep(int startKHz) {
    return NormalSpectrumAnalysis(GetMainWindow(), GetTaskTag(), startKHz, kWideRbwIndex,
                                  m_attenuation, std::max(m_rejectionRate, 1));
}

int CMedicalAnalysis::StartNarrowSweep(int startKHz) {
    return HighResolutionSpectrumAnalysis(GetMainWindow(), GetTaskTag(), startKHz, m_attenuation,
                                          std::max(m_rejectionRate, 1));
}

int CMedicalAnalysis::StartAnalysis() {
    m_taskRunning = 1;
    if (m_phase < 2) {
        m_measuring = 0;
        const CTraceStore& line = m_wideTraces[0];
        if (static_cast<DWORD>(m_widePosition) >= line.GetPoints())
            m_widePosition = 0;
        const int step = DeviceRBWFrequency(1, kWideRbwIndex);
        return StartWideSweep(m_wideStart + m_widePosition * step);
    }
    // The narrow band is swept in pieces of one block, one piece per cycle,
    // from the block holding its start to the one holding its stop (the stop
    // point is shown, so it is measured too).
    m_measuring = 1;
    const long long first = NarrowIndex(m_start);
    const long long end = NarrowIndex(m_stop + 1);
    if (m_narrowPosition < first || m_narrowPosition >= std::max(end, first + 1))
        m_narrowPosition = first;
    const CTraceStore& line = m_traces[0];
    return StartNarrowSweep(static_cast<int>(
        line.GetStart() + m_narrowPosition * static_cast<long long>(line.GetStep())));
}

long long CMedicalAnalysis::NarrowIndex(int kHz) const {
    // The index of the first grid point at or above kHz.
    const CTraceStore& line = m_traces[0];
    const long long step = line.GetStep();
    if (step <= 0)
        return 0;
    const long long index = (kHz - static_cast<long long>(line.GetStart()) + step - 1) / step;
    return std::clamp<long long>(index, 0, line.GetPoints());
}

void CMedicalAnalysis::AnalysisFinished(WPARAM, LPARAM) {
    if (!m_taskRunning)
        return;
    m_taskRunning = 0;
    const bool narrow = m_measuring != 0;
    FollowTraceStates();
    auto& traces = narrow ? m_traces : m_wideTraces;
    CDataLineContext& line = traces[0];
    const long long position = std::max<long long>(narrow ? m_narrowPosition : m_widePosition, 0);
    const long long remaining =
        std::max<long long>(0, static_cast<long long>(line.GetPoints()) - position);
    const int n = static_cast<int>(std::clamp<long long>(DeviceDataCount(), 0, remaining));
    m_receiveBuffer.resize(static_cast<size_t>(std::max(n, 1)));
    if (n > 0)
        DeviceReceiveData(m_receiveBuffer.data(), n);
    if (m_offsetFlag)
        ApplyOffsetTable(m_receiveBuffer.data(), n, line, static_cast<int>(position));
    for (CDataLineContext& trace : traces)
        trace.StoreBlock(m_receiveBuffer.data(), n, static_cast<DWORD>(position), TRUE);
    if (narrow)
        m_narrowPosition += n;
    else
        m_widePosition += n;

    if (narrow)
        BuildPeakList(line, m_start, m_stop);
    else
        BuildPeakList(line, m_wideStart, m_wideStop);
    CGraphInterface& graph = narrow ? static_cast<CGraphInterface&>(m_graphIntf) : m_wideIntf;
    for (int k = 1; k <= CGraphInterface::kMarkers; ++k)
        if (CMarkerContext* marker = graph.GetMarker(k))
            marker->ApplyPeakHold(m_peaks.data(), kPeakListLength);
    m_phase = (m_phase + 1) % 3;
    if (m_alarmFlag)
        TestAlarm();

    if (LoggingStep() && m_logging.m_RefreshFlag) {
        for (auto& trace : m_traces)
            trace.SetInitializedFlag(1);
        for (auto& trace : m_wideTraces)
            trace.SetInitializedFlag(1);
    }
    NoteDataTaken();
}

void CMedicalAnalysis::BuildPeakList(const CDataLineContext& line, int a, int b) {
    if (!line.HasArray())
        return;
    long long x = line.Peak(a, b);
    m_peaks[0] = static_cast<int>(x);
    for (int i = 1; i < kPeakListLength; ++i) {
        x = line.NextPeak(x, a, b);
        m_peaks[static_cast<size_t>(i)] = static_cast<int>(x);
    }
}

// ---- Alarm

void CMedicalAnalysis::SetAlarm(int flag) {
    m_alarmFlag = std::clamp(flag, 0, 2);
    if (m_alarmFlag) {
        m_alarm.SetDirectionFlag(m_alarmFlag - 1);
        m_alarm.SetRedrawFlag(1);
    } else {
        m_alarm.SetRedrawFlag(0);
    }
    m_alarmState = kAlarmWaiting;
}

void CMedicalAnalysis::TestAlarm() {
    // The alarm is a level trigger on the wide line's window: it arms once the
    // line has been measured on the other side of the alarm line and fires when
    // it crosses. Words nobody measured (a fresh grid, the block after a
    // reinitialisation) neither arm nor fire it.
    CDataLineContext& wide = m_wideTraces[0];
    const LevelSide side = wide.SideOf(m_alarm.GetLevel(), wide.GetXMin(), wide.GetXMax());
    const TriggerStep step = StepTrigger(m_alarmState, side, m_alarm.GetDirectionFlag());
    m_alarmState = step.state;
    if (!step.fired)
        return;
    const long long peak = wide.HasArray() ? wide.Peak(m_wideStart, m_wideStop) : 0;
    const CString readout = wide.MarkerText(static_cast<double>(peak), wide.Level(peak), 0);
    m_alarmState = kAlarmWaiting;
    SoundAlarm(readout);
}

bool CMedicalAnalysis::HasArmedAlarm() {
    return m_alarmFlag != 0 || CNormalAnalysis::HasArmedAlarm();
}

void CMedicalAnalysis::ShowTechnicalAlarm(bool raised, const CString& text) {
    CNormalAnalysis::ShowTechnicalAlarm(raised, text);
    CNormalGraphContext& wide = m_wideIntf.GetGraph();
    wide.SetAlarmText(raised ? text : CString());
    wide.SetRedrawFlag(1);
    if (raised)
        SoundAlarm(text);
    else if (!text.IsEmpty())
        AddLogText(text);
}

void CMedicalAnalysis::SoundAlarm(const CString& text) {
    AddLogText(text);
    ShowLogDialog(kLogSeconds);
    QApplication::beep();
}

// ---- Markers

CMarkerContext* CMedicalAnalysis::GetMarker(int k) {
    if (k >= 1 && k <= kNarrowMarkers)
        return &m_markers[static_cast<size_t>(k - 1)];
    if (k > kNarrowMarkers && k <= kMarkerCount)
        return &m_wideMarkers[static_cast<size_t>(k - kNarrowMarkers - 1)];
    return nullptr;
}

namespace {
// A marker whose selected frequency lies outside lo..hi moves to home.
void bringIntoRange(CMarkerContext* marker, int lo, int hi, int home) {
    const int f = marker->GetSelectedFrequency();
    if (f >= lo && f <= hi)
        return;
    if (!marker->SetFrequency(home)) {
        if (marker->GetSelectMode() == 0)
            marker->SetLockFrequency(home);
        else
            marker->SetChildLockFrequency(home);
    }
}
} // namespace

void CMedicalAnalysis::SelectMarker(int k) {
    CAnalysisCore::SelectMarker(k);
    for (int i = 1; i <= kMarkerCount; ++i)
        GetMarker(i)->SetCurrentFlag(i == m_currentMarker ? 1 : 0);
    if (CMarkerContext* marker = GetMarker(m_currentMarker)) {
        if (m_currentMarker <= kNarrowMarkers)
            bringIntoRange(marker, m_start, m_stop, (m_start + m_stop) / 2);
        else
            bringIntoRange(marker, m_wideStart, m_wideStop, kWideMarkerHome);
        marker->SetRedrawFlag(1);
    }
}

int CMedicalAnalysis::OnMarkerEntry() {
    const int k = m_currentMarker;
    CMarkerContext* marker = GetMarker(k);
    if (!marker)
        return kCommandDone;
    if (k <= kNarrowMarkers)
        bringIntoRange(marker, m_start, m_stop, (m_start + m_stop) / 2);
    else
        bringIntoRange(marker, m_wideStart, m_wideStop, kWideMarkerHome);
    if (marker->GetDeltaMode() == CMarkerContext::kModeNormal) {
        const double mhz =
            EntryDouble(marker->GetSelectedFrequency() * 0.001, "MHz", text(kStrMarkerEntry));
        if (cancelled(mhz))
            return kCommandDone;
        marker->SetFrequency(static_cast<int>(mhz * 1000));
    } else {
        const int main = marker->GetLockFrequency();
        const double mhz = EntryDouble((marker->GetChildLockFrequency() - main) * 0.001, "MHz",
                                       text(kStrMarkerDelta));
        if (cancelled(mhz))
            return kCommandDone;
        const int selectMode = marker->GetSelectMode();
        marker->SetSelectMode(1);
        marker->SetFrequency(main + static_cast<int>(mhz * 1000));
        marker->SetSelectMode(selectMode);
    }
    marker->SetRedrawFlag(1);
    UpdateView();
    return kCommandDone;
}

int CMedicalAnalysis::SearchPeak(bool next) {
    if (!GetMarker(m_currentMarker))
        SelectMarker(1);
    CGraphInterface& graph =
        m_currentMarker > kNarrowMarkers ? static_cast<CGraphInterface&>(m_wideIntf) : m_graphIntf;
    if (next)
        graph.MarkerNextPeak(m_currentMarker);
    else
        graph.MarkerPeakSearch(m_currentMarker);
    UpdateView();
    return kCommandDone;
}

int CMedicalAnalysis::OnPeakSearch() {
    return SearchPeak(false);
}

int CMedicalAnalysis::OnNextPeak() {
    return SearchPeak(true);
}

int CMedicalAnalysis::GetMarkerCommandState(int action, int p1) {
    // Without a selected marker a peak search takes marker 1.
    if (!GetMarker(m_currentMarker) && (action == 36 || action == 37))
        return kStateUnticked;
    return CNormalAnalysis::GetMarkerCommandState(action, p1);
}

// ---- Channels

int CMedicalAnalysis::FindChannel(int kHz, int byRange) const {
    for (int k = 0; k < CMedicalChannelPanel::kGroups; ++k) {
        const int category = m_panel.GetCategoryOffset() +
                             CMedicalChannelPanel::kFirstLetterCategory +
                             CMedicalChannelPanel::kLettersPerGroup * k;
        if (const CChannelObject* c = SerchChannelObject(kHz, category, byRange))
            return c->GetIndexNumber();
    }
    return -1;
}

void CMedicalAnalysis::MakeCurrent(int index) {
    m_panel.SetCurrentChannel(GetChannelObject(index) ? index : -1);
    m_letter = m_panel.GetCategoryOffset();
    m_wideCursor.m_LetterIndex = m_letter;
    m_panel.GetReadout().m_pChannel = m_panel.GetCurrentChannel();
}

int CMedicalAnalysis::PickChannel(int index) {
    const CChannelObject* c = GetChannelObject(index);
    if (!c)
        return kCommandDone;
    m_frequencyMode = 1;
    PlaceBand(c->GetCenterFrequency(), GetSpan() / 2);
    MakeCurrent(index);
    PlaceCentre();
    return kCommandReset;
}

int CMedicalAnalysis::PickByNumber() {
    const char letter = CMedicalChannelPanel::LetterOf(m_panel.GetCategoryOffset());
    int number = 1001;
    if (const CChannelObject* c = m_panel.GetCurrentChannel()) {
        const CString title = c->GetTitle();
        if (title.GetLength() >= 4)
            number = std::atoi(title.Mid(title.GetLength() - 4));
    }
    CString caption;
    caption.Format("%c", letter);
    const int entered = EntryInt(number, caption, libraryText(kLibChannelNumber));
    if (entered < 0)
        return kCommandDone;
    CString title;
    title.Format("%c%04d", letter, entered);
    const int index = GetChannelIndex(title);
    return index >= 0 ? PickChannel(index) : kCommandDone;
}

int CMedicalAnalysis::CentreOn(int kHz, int byRange) {
    const int index = FindChannel(kHz, byRange);
    if (index >= 0)
        return PickChannel(index);
    m_frequencyMode = 1;
    PlaceBand(kHz, GetSpan() / 2);
    MakeCurrent(-1);
    PlaceCentre();
    return kCommandReset;
}

int CMedicalAnalysis::PickAt(int kHz) {
    return CentreOn(kHz, 1);
}

int CMedicalAnalysis::PickByFrequency() {
    const double mhz = EntryDouble(GetCenter() * 0.001, "MHz", text(kStrCenter));
    if (cancelled(mhz))
        return kCommandDone;
    // A channel lies in the wide graph's band: an entry beyond it is held to
    // the band's edge, and the user told.
    const double low = GetWideStart();
    const double high = std::max<double>(GetWideStop(), low);
    const double wanted = mhz * 1000;
    const int kHz = static_cast<int>(std::clamp(wanted, low, high));
    const int result = CentreOn(kHz, 0);
    TellIfHeld(wanted, kHz, 1);
    return result;
}

void CMedicalAnalysis::CentreDragged(int kHz) {
    if (PickAt(kHz) == kCommandReset)
        Reconfigure(TRUE);
    if (m_link)
        m_link->RefreshCommandStates();
    UpdateView();
}

void CMedicalAnalysis::DoubleClickView(int x, int, CViewInterface* intf) {
    // A double click on a graph picks the channel at the frequency under it.
    CDataLineContext* line = intf == &m_wideIntf ? &m_wideTraces[0] : &m_traces[0];
    const int kHz = line->PixelToX(x);
    if (kHz <= 0)
        return;
    CentreDragged(kHz);
}

void CMedicalAnalysis::OnViewLButtonDblClk(UINT, int x, int y, CViewInterface* intf) {
    DoubleClickView(x, y, intf);
}

void CMedicalAnalysis::OnViewMouseMove(UINT, int x, int y, CViewInterface* intf) {
    // The cursor of the graph under the pointer reads out there.
    CCursolContext* cursor =
        intf == &m_wideIntf ? static_cast<CCursolContext*>(&m_wideCursor) : &m_cursor;
    cursor->SetPointer(x, y);
    cursor->SetRedrawFlag(1);
    intf->Redraw();
}

// ---- Commands

int CMedicalAnalysis::ApplyYAxisOffset(int value, bool entry) {
    if (entry) {
        const double db =
            EntryDouble(m_yAxisOffset, m_traces[0].UnitText(0), libraryText(kLibYAxisOffset));
        if (cancelled(db))
            return kCommandDone;
        m_yAxisOffset = static_cast<int>(std::clamp(db, -100.0, 100.0));
    } else {
        m_yAxisOffset = value == m_yAxisOffset ? 0 : std::clamp(value, -100, 100);
    }
    return kCommandRedraw;
}

int CMedicalAnalysis::ApplyBandWidth(int value, bool entry) {
    if (entry) {
        const int entered =
            EntryInt(m_bandWidth, text(kStrBandWidthUnit), text(kStrBandWidthTitle));
        if (entered < 0)
            return kCommandDone;
        value = entered;
    }
    m_bandWidth = std::clamp(value, 0, kMaxBandWidth);
    return kCommandRedraw;
}

int CMedicalAnalysis::ExecuteCommand(int action, int p1, int p2, int p3, int p4, int p5) {
    const int result = CNormalAnalysis::ExecuteCommand(action, p1, p2, p3, p4, p5);
    if (result != kCommandNotHandled)
        return result;
    switch (action) {
    case kCmdBandZoom:
        m_bandZoomFlag = p1 == m_bandZoomFlag ? -1 : p1;
        ApplyBandZoom(m_bandZoomFlag);
        return kCommandReset;
    case kCmdYAxisOffset:
        return ApplyYAxisOffset(p1, p2 == 1);
    case kCmdBandWidth:
        return ApplyBandWidth(p1, p2 == 1);
    case kCmdBandIndicate:
        m_bandIndicateFlag = p1;
        ShowBands();
        return kCommandRedraw;
    case kCmdLetter:
        if (p1 < 0 || p1 >= CMedicalChannelPanel::kLettersPerGroup)
            return kCommandDone;
        m_panel.SetCategoryOffset(p1);
        m_letter = p1;
        m_wideCursor.m_LetterIndex = p1;
        return kCommandRedraw;
    case kCmdGroup:
        if (p1 < 0 || p1 >= CMedicalChannelPanel::kGroups)
            return kCommandDone;
        m_panel.SetCategoryNumber(p1 * CMedicalChannelPanel::kLettersPerGroup +
                                  CMedicalChannelPanel::kFirstLetterCategory);
        return kCommandRedraw;
    case kCmdBandColor: {
        CChannelObject* band = bandChannel(p1 - 1);
        COLORREF colour = 0;
        if (!band || !ChooseColor(band->GetColor(), &colour))
            return kCommandDone;
        band->SetColor(colour);
        ShowBands();
        return kCommandRedraw;
    }
    case kCmdPickNumber:
        return PickByNumber();
    case kCmdPickFrequency:
        return PickByFrequency();
    case kCmdAlarm:
        SetAlarm(p1);
        return kCommandRedraw;
    case kCmdPickButton: {
        const CChannelObject* c = m_panel.GetButtonChannel(m_popupButton);
        return c ? PickChannel(c->GetIndexNumber()) : kCommandDone;
    }
    case kCmdPickIndex:
        return PickChannel(p1);
    case kCmdChannelColor: {
        CChannelObject* c = m_panel.GetButtonChannel(m_popupButton);
        COLORREF colour = 0;
        if (!c || !ChooseColor(c->GetColor(), &colour))
            return kCommandDone;
        c->SetColor(colour);
        return kCommandRedraw;
    }
    case kCmdShowLog:
        ShowLogDialog(0);
        return kCommandDone;
    default:
        return kCommandNotHandled;
    }
}

int CMedicalAnalysis::GetCommandState(int action, int p1, int p2, int p3, int p4, int p5) {
    switch (action) {
    case kCmdBandZoom:
        return ticked(m_bandZoomFlag == p1);
    case kCmdYAxisOffset:
        return ticked(p2 != 1 && m_yAxisOffset == p1);
    case kCmdBandWidth:
        return ticked(p2 != 1 && m_bandWidth == p1);
    case kCmdBandIndicate:
        return ticked(m_bandIndicateFlag == p1);
    case kCmdLetter:
        return ticked(m_letter == p1);
    case kCmdGroup:
        return ticked(m_panel.GetCategoryNumber() ==
                      p1 * CMedicalChannelPanel::kLettersPerGroup +
                          CMedicalChannelPanel::kFirstLetterCategory);
    case kCmdAlarm:
        return ticked(m_alarmFlag == p1);
    case kCmdPickIndex:
        return ticked(m_panel.GetCurrentIndex() == p1);
    case kCmdPickButton:
    case kCmdChannelColor:
        return m_panel.GetButtonChannel(m_popupButton) ? kStateUnticked : kStateDisabled;
    case kCmdBandColor:
        return bandChannel(p1 - 1) ? kStateUnticked : kStateDisabled;
    case kCmdPickNumber:
    case kCmdPickFrequency:
    case kCmdShowLog:
        return kStateUnticked;
    default:
        return CNormalAnalysis::GetCommandState(action, p1, p2, p3, p4, p5);
    }
}

// ---- Dialogs

int CMedicalAnalysis::EntryInt(int value, const char* unit, const char* title) {
    return NumEntryINT(value, unit, title);
}

double CMedicalAnalysis::EntryDouble(double value, const char* unit, const char* title) {
    return NumEntryDOUBLE(value, unit, title);
}
