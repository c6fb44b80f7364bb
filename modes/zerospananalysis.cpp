// The zero-span window's core: the 24 MHz spectrum about the centre, time
// captures of the marked bin or band, the trigger, the commands of the mode,
// its profile and setting data keys, and its two panes.
#include "modes/zerospananalysis.h"

#include "analysis/framelink.h"
#include "analysis/viewwindow.h"
#include "device/TorvelAPI.h"
#include "lib/numentry.h"
#include "lib/profilevalues.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "modes/keytables.h"
#include "modes/paneview.h"
#include "platform/profile.h"

#include <QWidget>

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <climits>
#include <cmath>
#include <thread>

namespace {
constexpr char kCoreSection[] = "ZEROSPAN_CORE";
constexpr char kTimeGraphSection[] = "TIME_GRAPH_INTF";
constexpr int kStrStart = 13;
constexpr int kStrStop = 14;
// Rows of the splitter are never dragged below this height.
constexpr int kMinPaneHeight = 50;
// The device settles this long after a task was terminated.
constexpr auto kTerminatePause = std::chrono::milliseconds(100);

// Commands of the mode.
constexpr int kCmdTimeAnalysis = 251;
constexpr int kCmdTimeSpan = 252;
constexpr int kCmdTriggerType = 253;
constexpr int kCmdTriggerMode = 254;
constexpr int kCmdTriggerPosition = 255;
constexpr int kCmdTimeAxis = 256;
constexpr int kCmdAccumulate = 257;
constexpr int kCmdSelectBin = 258;

const char* text(int index) {
    const char* s = GetTorvelString(index);
    return s ? s : "";
}

int Ticked(bool condition) {
    return condition ? kStateTicked : kStateUnticked;
}

// " : %.3gus", " : %.3gms" or " : %.3gs" of a time in microseconds.
CString FormatAxisTime(double us) {
    CString s;
    const double a = std::fabs(us);
    if (a >= 1000000.0)
        s.Format(" : %.3gs", us * 1e-6);
    else if (a >= 1000.0)
        s.Format(" : %.3gms", us * 0.001);
    else
        s.Format(" : %.3gus", us);
    return s;
}

// The selected point of marker (select mode 0 the main, 1 the child point)
// placed at x, snapped to the grid of its data line when it lies on it.
void PlacePoint(CMarkerContext& marker, int selectMode, int x) {
    const int saved = marker.GetSelectMode();
    marker.SetSelectMode(selectMode);
    if (!marker.SetFrequency(x)) {
        if (selectMode == 0)
            marker.SetLockFrequency(x);
        else
            marker.SetChildLockFrequency(x);
    }
    marker.SetSelectMode(saved);
}
} // namespace

CZeroSpanAnalysis::CZeroSpanAnalysis(CCommandEntry* frameList, CCommandEntry* buttonList,
                                     CFrameLink* link)
    : CNormalAnalysis(frameList, buttonList, link) {
    m_frequencyMode = 1;
    m_timeIntf.SetOwner(this);
    // The time graph's drawing objects keep their own setting sections.
    static constexpr const char* kTimeObjectTitles[CGraphInterface::kDrawObjectCount] = {
        "TimePanelFace", "TimeMarkerFace", "TimeAlarmFace", "TimeLogFont"};
    for (int k = 0; k < CGraphInterface::kDrawObjectCount; ++k)
        m_timeIntf.GetDrawObject(k)->SetTitleString(kTimeObjectTitles[k]);
    CNormalGraphContext& graph = m_timeIntf.GetGraph();
    for (int k = 0; k < kTimeTraces; ++k) {
        CDataLineContext& trace = m_timeTraces[static_cast<size_t>(k)];
        trace.SetDrawObject(&m_traceObjects[static_cast<size_t>(k)]);
        trace.SetRedrawFlag(k == 0 ? 1 : 0);
        trace.SetIdentifyValue(k);
        graph.AddOverlay(&trace);
    }
    CDataLineContext* line = &m_timeTraces[0];
    AttachMarkers(m_timeIntf, line, m_timeCursor, m_timeMarkers);
    for (CMarkerContext& marker : m_timeMarkers)
        marker.UpdateBand();
    m_triggerMark.SetDrawObject(m_timeIntf.GetDrawObject(CGraphInterface::kAlarmFace));
    m_triggerMark.SetDataLine(line);
    m_triggerMark.SetRedrawFlag(0);
    graph.AddChild(&m_triggerMark);
    m_timeBlend.SetRedrawFlag(0);
    graph.GetFrame().AddBlend(&m_timeBlend);
    m_timeIntf.SetReadoutFlags(kReadoutTimeAxis);
}

CZeroSpanAnalysis::~CZeroSpanAnalysis() {
    // The upper view outlives the core in a closing window: it lets go of the
    // time graph first.
    if (m_timeView)
        m_timeIntf.SetViewWindow(nullptr);
}

CString CZeroSpanAnalysis::GetProfileSection() {
    CString s;
    s.Format("ZeroSpanAnalysis_%d", m_titleIndex);
    return s;
}

// ---- Device calls

int CZeroSpanAnalysis::DeviceZeroSpanSpectrum(HWND hwnd, BYTE tag, int base, int attenuation) {
    return ZeroSpanSpectrumAnalysis(hwnd, tag, base, attenuation);
}

int CZeroSpanAnalysis::DeviceZeroSpanCapture(HWND hwnd, BYTE tag, int base, int attenuation,
                                             BYTE triggerType, int level, BYTE firstBin,
                                             BYTE lastBin, int samples, int postTrigger) {
    return ZeroSpanAnalysis(hwnd, tag, base, attenuation, triggerType, level, firstBin, lastBin,
                            samples, postTrigger);
}

void CZeroSpanAnalysis::DeviceTerminate() {
    TerminateTorvelTask();
    std::this_thread::sleep_for(kTerminatePause);
}

double CZeroSpanAnalysis::NumberEntry(double value, const char* unit, const char* title) {
    return NumEntryDOUBLE(value, unit, title);
}

// ---- Frequencies and bins

int CZeroSpanAnalysis::BinStep() {
    return DeviceRBWFrequency(kKind, m_rbwIndex);
}

int CZeroSpanAnalysis::BaseFrequency() const {
    const int m = (m_start + m_stop) / 2;
    return ((m - 13000) / 2000) * 2000;
}

BYTE CZeroSpanAnalysis::BinOf(int kHz) {
    const int step = BinStep();
    if (step <= 0)
        return 0;
    // The device captures bins 0 to 103 only: a frequency beyond them is
    // held to the nearest.
    const long long bin = (static_cast<long long>(kHz) - BaseFrequency()) / step;
    return HoldBin(bin);
}

int CZeroSpanAnalysis::PostTriggerSamples() const {
    const int n = m_timeSpan * kSamplesPerMs;
    return static_cast<int>(
        ((static_cast<long long>((100 - m_triggerTimePosition) * 512) / 100) * n) >> 9);
}

void CZeroSpanAnalysis::SetCenter(int kHz) {
    TimePaneChanged();
    m_frequencyMode = 1;
    const int step = BinStep();
    // In 64 bits: a centre near the ends of int (a file's axis) must not wrap
    // when the half span is added or taken.
    long long c = step > 0 ? (kHz / step) * step : kHz;
    if (c - kHalfSpan < DeviceMinFrequency(kKind))
        c = DeviceMinFrequency(kKind) + kHalfSpan;
    if (c + kHalfSpan > DeviceMaxFrequency(kKind))
        c = DeviceMaxFrequency(kKind) - kHalfSpan;
    m_start = static_cast<int>(c - kHalfSpan);
    m_stop = static_cast<int>(c + kHalfSpan);
}

namespace {
int Saturated(long long kHz) {
    return static_cast<int>(std::clamp<long long>(kHz, INT_MIN, INT_MAX));
}
} // namespace

void CZeroSpanAnalysis::SetStart(int kHz) {
    TimePaneChanged();
    SetCenter(Saturated(static_cast<long long>(kHz) + kHalfSpan));
}

void CZeroSpanAnalysis::SetStop(int kHz) {
    TimePaneChanged();
    SetCenter(Saturated(static_cast<long long>(kHz) - kHalfSpan));
}

void CZeroSpanAnalysis::SetSpan(int) {
    // The span is always 24 MHz.
}

void CZeroSpanAnalysis::SetUnitAll(int unit) {
    TimePaneChanged();
    CNormalAnalysis::SetUnitAll(unit);
}

void CZeroSpanAnalysis::ForEachLevelStore(const LevelStoreVisitor& visit) {
    CNormalAnalysis::ForEachLevelStore(visit);
    // The time lines hold samples of one frequency, corrected by its entry.
    const long long kHz = GetShownCapture().FirstBinKHz();
    for (CDataLineContext& trace : m_timeTraces)
        visit(trace, kHz);
}

CTraceStore* CZeroSpanAnalysis::GetTrace(int k) {
    if (k < 1 || k > kTraceCount)
        return nullptr;
    return &m_timeTraces[static_cast<size_t>(std::min(k, kTimeTraces - 1))];
}

void CZeroSpanAnalysis::ShowTrace(int k, BOOL show) {
    TimePaneChanged();
    if (k >= 1 && k <= kTraceCount)
        m_timeTraces[static_cast<size_t>(std::min(k, kTimeTraces - 1))].SetRedrawFlag(show ? 1 : 0);
}

int CZeroSpanAnalysis::GetAccumulateMode() {
    return GetZeroSpanMarker().GetDeltaMode();
}

void CZeroSpanAnalysis::ApplyAccumulateMode(int mode) {
    TimePaneChanged();
    if (mode != 0)
        GetZeroSpanMarker().SetDeltaMode(mode);
}

// ---- Stopping and restarting a capture

void CZeroSpanAnalysis::StopTask() {
    m_taskTerminated = m_timeRequested && TerminateOwnTask() ? 1 : 0;
}

void CZeroSpanAnalysis::RestartTask() {
    if (!m_taskTerminated)
        return;
    m_taskTerminated = 0;
    m_timeRequested = 1;
    RestartOwnTask();
}

void CZeroSpanAnalysis::Stop() {
    StopTask();
    m_analyzeFlag = 0;
    PostScheduleNext(m_id);
}

// ---- Trigger

CZeroSpanAnalysis::CTimeCapture CZeroSpanAnalysis::CaptureOfNow() {
    CTimeCapture c;
    c.timeSpan = m_timeSpan;
    c.triggerType = HoldTriggerType(m_triggerType);
    c.triggerTimePosition = m_triggerTimePosition;
    c.samples = m_timeSpan * kSamplesPerMs;
    c.postTrigger = PostTriggerSamples();
    c.startBin = m_startBin;
    c.stopBin = m_stopBin;
    c.accumulateMode = GetAccumulateMode();
    c.base = BaseFrequency();
    c.step = BinStep();
    return c;
}

void CZeroSpanAnalysis::ApplyTrigger() {
    TimePaneChanged();
    // The mark of the capture shown: where it was triggered, whatever the
    // trigger settings are now.
    const CTimeCapture capture = GetShownCapture();
    if (capture.triggerType != 0) {
        // The device puts the trigger at sample N - P, P being the post-trigger
        // count it was given (truncated from the per-cent position): the mark
        // stands on that sample, not on the exact share of the span.
        const long long position = static_cast<long long>(capture.TriggerSample()) * kSampleStepUs;
        m_triggerMark.SetPosition(static_cast<int>(position));
        m_triggerMark.SetRedrawFlag(1);
    } else {
        m_triggerMark.SetRedrawFlag(0);
    }
    if (m_triggerType == 1 || m_triggerType == 2) {
        m_trigger.SetDirectionFlag(m_triggerType - 1);
        m_trigger.SetRedrawFlag(1);
    } else {
        m_trigger.SetRedrawFlag(0);
    }
}

// ---- Reconfiguration

void CZeroSpanAnalysis::Reconfigure(BOOL reset) {
    // What is measured changed: a running capture starts over, and a block
    // of the old spectrum is not taken. A change of the picture keeps a
    // running capture and its result.
    if (reset) {
        if (!m_taskTerminated)
            StopTask();
        m_taskRunning = 0;
    }
    const int step = BinStep();
    SetGraphTexts(step);
    m_sweepPosition = 0;
    if (reset) {
        m_timeAxisStart = 0.0;
        m_timeAxisStop = m_timeSpan * 1000.0;
        if (step != 0) {
            const int start = (m_start / 1000) * 1000;
            const int end = ((m_stop + 999) / 1000) * 1000;
            const DWORD points = static_cast<DWORD>((end - start) / step);
            for (CDataLineContext& trace : m_traces)
                trace.Configure(static_cast<DWORD>(start), static_cast<DWORD>(step), points);
            for (CDataLineContext& trace : m_timeTraces)
                trace.Configure(0, kSampleStepUs,
                                static_cast<DWORD>(std::max(m_timeSpan, 0) * kSamplesPerMs));
            m_hasCapture = false;
            m_graph.redraw = true;
        }
    }
    UpdateGraph();
    UpdateTimeGraph();
    if (reset) {
        ReplaceMarkers();
        SnapMarkers(m_timeMarkers);
    }
    ReconcileBins();
    RestartTask();
}

void CZeroSpanAnalysis::UpdateTimeGraph() {
    TimePaneChanged();
    // The spectrum's texts and level scale over the time axis.
    CNormalGraphValues values = m_graph;
    values.text[2] = text(kStrStart) + FormatAxisTime(m_timeAxisStart);
    values.text[3] = text(kStrStop) + FormatAxisTime(m_timeAxisStop);
    values.xMin = m_timeAxisStart;
    values.xMax = m_timeAxisStop;
    values.redraw = true;
    UpdateGraph(m_timeIntf, values);
    ApplyTrigger();
}

void CZeroSpanAnalysis::ReconcileBins() {
    const int step = BinStep();
    if (step <= 0)
        return;
    const int base = BaseFrequency();
    CMarkerContext& marker = GetZeroSpanMarker();
    const CTraceStore& line = m_traces[0];
    // A point beyond the captured bins takes the held bin's frequency; a
    // point off the spectrum goes back to the stored bin.
    m_startBin = HoldBin(m_startBin);
    m_stopBin = HoldBin(m_stopBin);
    if (line.InRange(marker.GetLockFrequency()))
        m_startBin = BinOf(marker.GetLockFrequency());
    if (!line.InRange(marker.GetLockFrequency()) || !OnBins(marker.GetLockFrequency()))
        marker.SetLockFrequency(base + m_startBin * step);
    if (line.InRange(marker.GetChildLockFrequency()))
        m_stopBin = BinOf(marker.GetChildLockFrequency());
    if (!line.InRange(marker.GetChildLockFrequency()) || !OnBins(marker.GetChildLockFrequency()))
        marker.SetChildLockFrequency(base + m_stopBin * step);
    marker.UpdateBand();
}

bool CZeroSpanAnalysis::OnBins(int kHz) {
    const int step = BinStep();
    const long long offset = static_cast<long long>(kHz) - BaseFrequency();
    return step > 0 && offset >= 0 && offset / step < kBlockBins;
}

// ---- One measurement

int CZeroSpanAnalysis::StartAnalysis() {
    const HWND hwnd = GetMainWindow();
    m_taskRunning = 1;
    const int base = BaseFrequency();
    const int step = BinStep();
    if (!m_timeRequested) {
        m_triggerWait = 0;
        m_timeCapture = 0;
        // The bin measured at the data line's first point: the data line lies
        // on a 1000 kHz grid that may start below Start.
        m_firstBin = step > 0 ? (static_cast<int>(m_traces[0].GetStart()) - base) / step : 0;
        m_firstBin = std::clamp(m_firstBin, 0, kBlockBins);
        return DeviceZeroSpanSpectrum(hwnd, GetTaskTag(), base, m_attenuation);
    }
    m_triggerWait = 0;
    m_timeCapture = 1;
    // A capture may take up to 50 s: the spectrum says that one runs.
    CDrawText& status = m_graphIntf.GetGraph().GetStatusText();
    status.SetText(text(kStrCapturing));
    status.SetRedrawFlag(1);
    UpdateView();
    const int n = m_timeSpan * kSamplesPerMs;
    const int post = PostTriggerSamples();
    // The marker's points stand on the bins the device can capture.
    ReconcileBins();
    CMarkerContext& marker = GetZeroSpanMarker();
    m_startBin = BinOf(marker.GetLockFrequency());
    if (marker.GetDeltaMode() != 0)
        m_stopBin = BinOf(marker.GetChildLockFrequency());
    m_taskCapture = CaptureOfNow();
    // The trigger level in the device's unit: the line's level as shown,
    // without the unit's offset and the level-offset correction of the
    // captured frequency, as the device compares the words it measures.
    const int level = static_cast<int>(m_trigger.GetLevel() * kWordsPerDb -
                                       GetLevelView().OffsetAt(m_taskCapture.FirstBinKHz()));
    const BYTE type = static_cast<BYTE>(m_taskCapture.triggerType);
    int started = 0;
    if (marker.GetDeltaMode() != 0) {
        started = DeviceZeroSpanCapture(hwnd, GetTaskTag(), base, m_attenuation, type, level,
                                        std::min(m_startBin, m_stopBin),
                                        std::max(m_startBin, m_stopBin), n, post);
    } else {
        started = DeviceZeroSpanCapture(hwnd, GetTaskTag(), base, m_attenuation, type, level,
                                        m_startBin, m_startBin, n, post);
    }
    // A refused capture runs nothing: the spectrum does not say it does.
    if (started != 1)
        ClearStatus();
    return started;
}

void CZeroSpanAnalysis::AnalysisFinished(WPARAM, LPARAM) {
    if (!m_taskRunning)
        return;
    m_taskRunning = 0;
    ClearStatus();
    const int step = BinStep();
    if (!m_timeCapture) {
        m_sweepPosition = 0;
        m_receiveBuffer.assign(kBlockBins, kNoSample);
        DeviceReceiveData(m_receiveBuffer.data(), kBlockBins);
        if (m_offsetFlag)
            AddOffsets(m_receiveBuffer.data() + m_firstBin, kBlockBins - m_firstBin,
                       m_traces[0].GetStart(), step, m_offsetTable.data());
        const int count = kBlockBins - m_firstBin;
        for (CDataLineContext& trace : m_traces)
            trace.StoreBlock(m_receiveBuffer.data() + m_firstBin, count, 0, TRUE);
        UpdateGraph();
        OfferPeaks();
        // The window's update that follows this block repaints the spectrum only.
        if (GetWindow())
            ++m_spectrumBlocksUnshown;
    } else {
        const long long wanted = static_cast<long long>(std::max(m_timeSpan, 0)) * kSamplesPerMs;
        const int n = static_cast<int>(std::clamp<long long>(DeviceDataCount(), 0, wanted));
        // Samples the device did not deliver hold no sample: a short capture
        // never shows a part of the one before it.
        m_receiveBuffer.assign(static_cast<size_t>(std::max<long long>(wanted, 1)), kNoSample);
        if (n > 0)
            DeviceReceiveData(m_receiveBuffer.data(), n);
        m_capture = m_taskCapture;
        m_hasCapture = true;
        if (m_offsetFlag)
            AddOffsets(m_receiveBuffer.data(), n, m_capture.FirstBinKHz(), 0, m_offsetTable.data());
        // A capture is a whole trace: a trace that is to restart does so
        // with this capture and keeps it, rather than showing nothing until
        // the next one.
        const int count = static_cast<int>(wanted);
        for (CDataLineContext& trace : m_timeTraces) {
            if (trace.GetInitializedFlag())
                trace.StoreBlock(m_receiveBuffer.data(), count, 0, TRUE);
            trace.StoreBlock(m_receiveBuffer.data(), count, 0, TRUE);
        }
        ApplyTrigger();
        m_timeIntf.GetGraph().SetRedrawFlag(1);
        m_spectrumBlocksUnshown = 0;
        if (m_triggerMode == 0) {
            m_timeRequested = 0;
            if (m_link)
                m_link->RefreshCommandStates();
        }
    }
    if (LoggingStep() && m_logging.m_RefreshFlag) {
        for (CDataLineContext& trace : m_traces)
            trace.SetInitializedFlag(1);
        for (CDataLineContext& trace : m_timeTraces)
            trace.SetInitializedFlag(1);
    }
    NoteDataTaken();
}

void CZeroSpanAnalysis::ShowRunState() {
    CNormalAnalysis::ShowRunState();
    const CDrawText& status = m_timeIntf.GetGraph().GetStatusText();
    const CString before = status.GetText();
    ShowRunStateIn(m_timeIntf);
    if (status.GetText() != before)
        TimePaneChanged();
}

void CZeroSpanAnalysis::ClearStatus() {
    m_triggerWait = 0;
    m_graphIntf.GetGraph().GetStatusText().SetText(CString());
    m_graphIntf.GetGraph().SetRedrawFlag(1);
}

void CZeroSpanAnalysis::AnalysisProgress(WPARAM, LPARAM lParam) {
    CDrawText& status = m_graphIntf.GetGraph().GetStatusText();
    if ((lParam & kWaitingForTrigger) && m_triggerType != 0) {
        m_triggerWait ^= 1;
        status.SetText(text(kStrWaiting));
        status.SetRedrawFlag(m_triggerWait ? 1 : 0);
    } else if ((lParam & kTriggered) && m_triggerType != 0) {
        status.SetText(text(kStrTriggered));
        status.SetRedrawFlag(1);
    } else {
        return;
    }
    UpdateView();
}

// ---- Commands

int CZeroSpanAnalysis::Command251() {
    if (!m_analyzeFlag) {
        m_timeRequested = 0;
    } else if (!m_timeRequested) {
        m_taskTerminated = 0;
        m_timeRequested = 1;
    } else {
        StopTask();
        m_timeRequested = 0;
        m_taskTerminated = 0;
        ClearStatus();
        PostScheduleNext(m_id);
    }
    return kCommandDone;
}

int CZeroSpanAnalysis::Command252(int value) {
    StopTask();
    // A capture needs at least one sample.
    if (value >= 1 && value <= kMaxTimeSpan) {
        m_timeSpan = value;
        return kCommandReset;
    }
    RestartTask();
    return kCommandDone;
}

int CZeroSpanAnalysis::Command257(int value) {
    StopTask();
    CMarkerContext& marker = GetZeroSpanMarker();
    if (value == (marker.GetDeltaMode() != 0 ? 1 : 0)) {
        // Nothing changes: a capture that was cut goes on.
        RestartTask();
        return kCommandDone;
    }
    if (value == 0) {
        marker.SetDeltaMode(CMarkerContext::kModeNormal);
    } else {
        marker.SetDeltaMode(CMarkerContext::kModeBandPower);
        m_stopBin = m_startBin;
        // The band starts as the single bin: both points on it.
        marker.SetChildLockFrequency(marker.GetLockFrequency());
    }
    return kCommandReset;
}

int CZeroSpanAnalysis::Command258(int selectMode, int bin) {
    CMarkerContext& marker = GetZeroSpanMarker();
    const int step = BinStep();
    const int base = BaseFrequency();
    const int saved = marker.GetSelectMode();
    marker.SetSelectMode(selectMode);
    const int point = base + bin * step;
    const int mode = marker.GetSelectMode();
    PlacePoint(marker, mode, point);
    if (step > 0 && m_traces[0].InRange(marker.GetSelectedFrequency()))
        m_startBin = BinOf(marker.GetSelectedFrequency());
    else
        PlacePoint(marker, mode, base + m_startBin * step);
    marker.SetSelectMode(saved);
    marker.UpdateBand();
    return kCommandRedraw;
}

int CZeroSpanAnalysis::ExecuteCommand(int action, int p1, int p2, int p3, int p4, int p5) {
    int result = CNormalAnalysis::ExecuteCommand(action, p1, p2, p3, p4, p5);
    // A capture stopped with the window's analysis waits for nothing.
    if (action == 16 && !m_analyzeFlag)
        ClearStatus();
    if (result == kCommandNotHandled)
        result = TimeCommand(action, p1, p2);
    // Not every command is followed by an update of the window (the run
    // state's text, for one, changes without): the time pane shows it now.
    TimePaneChanged();
    return result;
}

int CZeroSpanAnalysis::TimeCommand(int action, int p1, int p2) {
    switch (action) {
    case kCmdTimeAnalysis:
        return Command251();
    case kCmdTimeSpan:
        return Command252(p1);
    case kCmdTriggerType:
        m_triggerType = HoldTriggerType(p1);
        ApplyTrigger();
        return kCommandRedraw;
    case kCmdTriggerMode:
        m_triggerMode = p1;
        return kCommandDone;
    case kCmdTriggerPosition:
        m_triggerTimePosition = std::clamp(p1, 0, 100);
        ApplyTrigger();
        return m_triggerType != 0 ? kCommandRedraw : kCommandDone;
    case kCmdTimeAxis:
        m_timeAxisStart = p1;
        m_timeAxisStop = p2;
        return kCommandRedraw;
    case kCmdAccumulate:
        return Command257(p1);
    case kCmdSelectBin:
        return Command258(p1, p2);
    default:
        return kCommandNotHandled;
    }
}

int CZeroSpanAnalysis::GetCommandState(int action, int p1, int p2, int p3, int p4, int p5) {
    switch (action) {
    case kCmdTimeAnalysis:
        if (!m_analyzeFlag)
            return kStateDisabled;
        return Ticked(m_timeRequested != 0);
    case kCmdTimeSpan:
        return Ticked(p1 == m_timeSpan);
    case kCmdTriggerType:
        return Ticked(p1 == m_triggerType);
    case kCmdTriggerMode:
        return Ticked(p1 == m_triggerMode);
    case kCmdTriggerPosition:
        return Ticked(p1 == m_triggerTimePosition);
    case kCmdTimeAxis:
        return Ticked(p1 == static_cast<int>(m_timeAxisStart) &&
                      p2 == static_cast<int>(m_timeAxisStop));
    case kCmdAccumulate:
        return Ticked(p1 == 0 ? GetAccumulateMode() == 0 : GetAccumulateMode() != 0);
    case kCmdSelectBin:
        return kStateUnticked;
    default:
        return CNormalAnalysis::GetCommandState(action, p1, p2, p3, p4, p5);
    }
}

// ---- The time graph's markers

CMarkerContext* CZeroSpanAnalysis::GetMarker(int k) {
    return k >= 1 && k <= kMarkerCount ? &m_timeMarkers[static_cast<size_t>(k - 1)] : nullptr;
}

void CZeroSpanAnalysis::SelectMarker(int k) {
    TimePaneChanged();
    CAnalysisCore::SelectMarker(k);
    for (int i = 1; i <= kMarkerCount; ++i)
        GetMarker(i)->SetCurrentFlag(i == m_currentMarker ? 1 : 0);
    if (CMarkerContext* marker = GetMarker(m_currentMarker)) {
        const CTraceStore& line = m_timeTraces[0];
        if (!marker->GetRedrawFlag() && !line.InRange(marker->GetLockFrequency())) {
            const long long middle = static_cast<long long>(line.GetPoints()) / 2 * line.GetStep();
            PlacePoint(*marker, 0, static_cast<int>(middle));
        }
        marker->SetRedrawFlag(1);
    }
    UpdateView();
}

bool CZeroSpanAnalysis::EntryMs(int titleString, double valueMs, double* result) {
    const double ms = NumberEntry(valueMs, "ms", text(titleString));
    if (ms == DBL_MAX || !std::isfinite(ms))
        return false;
    // Held to the longest capture, so that the conversion to us fits.
    *result = std::clamp(ms, -static_cast<double>(kMaxTimeSpan), static_cast<double>(kMaxTimeSpan));
    return true;
}

int CZeroSpanAnalysis::OnMarkerEntry() {
    CMarkerContext* marker = GetMarker(m_currentMarker);
    const CTraceStore& line = m_timeTraces[0];
    // A marker whose point lies off the time lines starts from the middle of
    // the capture.
    const int middle = static_cast<int>(static_cast<long long>(line.GetPoints()) / 2 *
                                        static_cast<long long>(line.GetStep()));
    double ms = 0;
    if (!marker) {
        CMarkerContext& first = m_timeMarkers[0];
        if (!line.InRange(first.GetLockFrequency()))
            PlacePoint(first, 0, middle);
        if (!EntryMs(kStrMarkerPosition, first.GetLockFrequency() * 0.001, &ms))
            return kCommandDone;
        first.SetRedrawFlag(1);
        PlacePoint(first, 0, static_cast<int>(ms * 1000));
        SelectMarker(1);
        return kCommandRedraw;
    }
    if (!line.InRange(marker->GetSelectedFrequency()))
        PlacePoint(*marker, marker->GetSelectMode(), middle);
    const int lock = marker->GetLockFrequency();
    if (marker->GetSelectMode() != 0) {
        if (!EntryMs(kStrMarkerDistance, (marker->GetChildLockFrequency() - lock) * 0.001, &ms))
            return kCommandDone;
        PlacePoint(*marker, 1, lock + static_cast<int>(ms * 1000));
    } else {
        if (!EntryMs(kStrMarkerPosition, lock * 0.001, &ms))
            return kCommandDone;
        PlacePoint(*marker, 0, static_cast<int>(ms * 1000));
    }
    marker->SetRedrawFlag(1);
    UpdateView();
    return kCommandRedraw;
}

int CZeroSpanAnalysis::SearchPeak(bool next) {
    if (!GetMarker(m_currentMarker))
        return kCommandDone;
    if (next)
        m_timeIntf.MarkerNextPeak(m_currentMarker);
    else
        m_timeIntf.MarkerPeakSearch(m_currentMarker);
    UpdateView();
    return kCommandDone;
}

int CZeroSpanAnalysis::OnPeakSearch() {
    return SearchPeak(false);
}

int CZeroSpanAnalysis::OnNextPeak() {
    return SearchPeak(true);
}

int CZeroSpanAnalysis::OnMarkerCommand(int action, int p1) {
    // A time marker has no frequency to centre the spectrum on.
    if (action == 42)
        return kCommandDone;
    return CNormalAnalysis::OnMarkerCommand(action, p1);
}

// ---- Profile and setting data file

void CZeroSpanAnalysis::SetUpTimeGraph() {
    for (int k = 0; k < kTimeTraces; ++k) {
        CDataLineContext& trace = m_timeTraces[static_cast<size_t>(k)];
        trace.SetDrawObject(&m_traceObjects[static_cast<size_t>(k)]);
        trace.SetRedrawFlag(k == 0 ? 1 : 0);
        trace.SetUnit(static_cast<BYTE>(m_unit));
    }
    m_timeIntf.SetReadoutFlags(kReadoutTimeAxis);
    ApplyTrigger();
    // The zero-span marker shows which bin or band a capture measures.
    GetZeroSpanMarker().SetRedrawFlag(1);
    const COLORREF back = m_timeIntf.GetBackgroundColor();
    const int r = (GetRValue(back) * 13 / 10) & 0xFF;
    const int g = (GetGValue(back) * 13 / 10) & 0xFF;
    const int b = (GetBValue(back) * 12 / 10) & 0xFF;
    m_timeBlend.SetColor(RGB(r, g, b));
}

void CZeroSpanAnalysis::ReadProfile() {
    TimePaneChanged();
    CNormalAnalysis::ReadProfile();
    const CString section = GetProfileSection();
    m_frequencyMode = 1;
    m_stop = m_start + kSpan;
    // A range the device of this kind cannot measure moves inward.
    if (m_start < DeviceMinFrequency(kKind) || m_stop > DeviceMaxFrequency(kKind))
        SetCenter(GetCenter());
    const CKeyTable& keys = KeyTableOf(GetAnalysisType());
    m_catcherRate = keys.ProfileInt(section, "CatcherRate", -1);
    m_triggerTimePosition = keys.ProfileInt(section, "TriggerTimePosition", 50);
    m_triggerMode = keys.ProfileInt(section, "TriggerMode", 0);
    m_timeSpan = keys.ProfileInt(section, "TimeSpan", 5000);
    m_triggerType = keys.ProfileInt(section, "TriggerType", 0);
    m_startBin = static_cast<BYTE>(keys.ProfileInt(section, "StartBin", 52));
    m_stopBin = static_cast<BYTE>(keys.ProfileInt(section, "StopBin", 52));
    // The time graph follows the spectrum graph's frame, background and text
    // attributes and keeps none of its own.
    for (int k = 0; k < CGraphInterface::kDrawObjectCount; ++k) {
        CDrawObject* time = m_timeIntf.GetDrawObject(k);
        CDrawObject* spectrum = m_graphIntf.GetDrawObject(k);
        time->SetProfileFlag(0);
        spectrum->AddUpdateLink(time);
        LOGPEN pen;
        LOGBRUSH brush;
        LOGFONT font;
        spectrum->GetLOGPEN(&pen);
        spectrum->GetLOGBRUSH(&brush);
        spectrum->GetLOGFONT(&font);
        time->SetUpdateLOGPEN(&pen);
        time->SetUpdateLOGBRUSH(&brush);
        time->SetUpdateLOGFONT(&font);
        time->SetUpdateBkColor(spectrum->GetBackGroundColor());
        time->SetUpdateTextColor(spectrum->GetTextColor());
        time->SetUpdateFlag();
        time->UpdateDrawObjectNow();
    }
    SetUpTimeGraph();
    ApplyAccumulateMode(keys.ProfileInt(section, "AccumulateMode", 0));
}

void CZeroSpanAnalysis::WriteProfile() {
    CNormalAnalysis::WriteProfile();
    const CString section = GetProfileSection();
    if (m_splitter) {
        int width = m_splitter->width();
        int top = 0;
        int bottom = 0;
        m_splitter->GetRowInfo(0, &top, nullptr);
        m_splitter->GetRowInfo(1, &bottom, nullptr);
        SIZE upper{width, top};
        SIZE lower{width, bottom};
        WriteProfileSIZE(section, "SPLIT[0][0]", &upper);
        WriteProfileSIZE(section, "SPLIT[1][0]", &lower);
    }
    WriteProfileInt(section, "TriggerTimePosition", m_triggerTimePosition);
    WriteProfileInt(section, "TriggerMode", m_triggerMode);
    WriteProfileInt(section, "TimeSpan", m_timeSpan);
    WriteProfileInt(section, "TriggerType", m_triggerType);
    m_startBin = BinOf(GetZeroSpanMarker().GetLockFrequency());
    m_stopBin = BinOf(GetZeroSpanMarker().GetChildLockFrequency());
    WriteProfileInt(section, "StartBin", m_startBin);
    WriteProfileInt(section, "StopBin", m_stopBin);
    WriteProfileInt(section, "AccumulateMode", static_cast<signed char>(GetAccumulateMode()));
}

int CZeroSpanAnalysis::SaveSettings() {
    int ok = CNormalAnalysis::SaveSettings();
    ok &= m_timeIntf.WriteSetting(kTimeGraphSection);
    ok &= WriteSettingFileINT(kCoreSection, "TriggerTimePosition", m_triggerTimePosition);
    ok &= WriteSettingFileINT(kCoreSection, "TriggerMode", m_triggerMode);
    ok &= WriteSettingFileINT(kCoreSection, "TimeSpan", m_timeSpan);
    ok &= WriteSettingFileINT(kCoreSection, "TriggerType", m_triggerType);
    ok &= WriteSettingFileINT(kCoreSection, "StartBin", m_startBin);
    ok &= WriteSettingFileINT(kCoreSection, "StopBin", m_stopBin);
    ok &= WriteSettingFileINT(kCoreSection, "AccumulateMode",
                              static_cast<signed char>(GetAccumulateMode()));
    return ok;
}

int CZeroSpanAnalysis::LoadSettings() {
    TimePaneChanged();
    int ok = CNormalAnalysis::LoadSettings();
    m_frequencyMode = 1;
    m_stop = m_start + kSpan;
    if (m_start < DeviceMinFrequency(kKind) || m_stop > DeviceMaxFrequency(kKind))
        SetCenter(GetCenter());
    ok &= m_timeIntf.ReadSetting(kTimeGraphSection);
    const CKeyTable& keys = KeyTableOf(GetAnalysisType());
    ok &= keys.SettingInt(kCoreSection, "TriggerTimePosition", &m_triggerTimePosition);
    ok &= keys.SettingInt(kCoreSection, "TriggerMode", &m_triggerMode);
    ok &= keys.SettingInt(kCoreSection, "TimeSpan", &m_timeSpan);
    ok &= keys.SettingInt(kCoreSection, "TriggerType", &m_triggerType);
    int startBin = m_startBin;
    int stopBin = m_stopBin;
    int accumulate = 0;
    ok &= keys.SettingInt(kCoreSection, "StartBin", &startBin);
    ok &= keys.SettingInt(kCoreSection, "StopBin", &stopBin);
    ok &= keys.SettingInt(kCoreSection, "AccumulateMode", &accumulate);
    m_startBin = static_cast<BYTE>(startBin);
    m_stopBin = static_cast<BYTE>(stopBin);
    SetUpTimeGraph();
    ApplyAccumulateMode(accumulate);
    return ok;
}

// ---- Panes and drawing

QWidget* CZeroSpanAnalysis::CreatePanes(QWidget* parent, QWidget* view) {
    auto* splitter = new CSplitterWnd;
    splitter->CreateStatic(parent, 2, 1);
    const int w = parent ? parent->width() : kImageWidth;
    const int h = parent ? parent->height() : kImageHeight;
    const CString section = GetProfileSection();
    SIZE upper{w / 5, h};
    SIZE lower{w - w / 5, h};
    GetProfileSIZE(section, "SPLIT[0][0]", &upper);
    GetProfileSIZE(section, "SPLIT[1][0]", &lower);
    splitter->SetRowInfo(0, upper.cy, kMinPaneHeight);
    splitter->SetRowInfo(1, lower.cy, kMinPaneHeight);
    QWidget* timeView = m_link ? m_link->CreateView(nullptr) : nullptr;
    if (!timeView)
        timeView = new QWidget;
    m_timeView = timeView;
    NamePane(timeView, PaneNames::kTimeGraph);
    splitter->SetPane(0, 0, timeView, upper);
    splitter->SetPane(1, 0, view, lower);
    m_splitter = splitter;
    return splitter;
}

void CZeroSpanAnalysis::AttachWindow(CChildFrame* window) {
    CNormalAnalysis::AttachWindow(window);
    m_timeIntf.SetViewWindow(window ? dynamic_cast<CViewWindow*>(m_timeView.data()) : nullptr);
}

void CZeroSpanAnalysis::TimePaneChanged() {
    m_spectrumBlocksUnshown = 0;
    m_timeIntf.Redraw();
}

void CZeroSpanAnalysis::UpdateView() {
    CNormalAnalysis::UpdateView();
    // Each block's update is counted off; any other update (or one after a
    // change of the time pane) repaints the time pane too.
    if (m_spectrumBlocksUnshown > 0)
        --m_spectrumBlocksUnshown;
    else
        m_timeIntf.Redraw();
}

void CZeroSpanAnalysis::DrawView(CDC* dc, const CRect& rect) {
    int top = 1;
    int bottom = 1;
    if (m_splitter) {
        m_splitter->GetRowInfo(0, &top, nullptr);
        m_splitter->GetRowInfo(1, &bottom, nullptr);
    }
    if (top < 0 || bottom < 0 || top + bottom <= 0) {
        top = 1;
        bottom = 1;
    }
    const int ratio = (top * 65536) / (top + bottom);
    const int height =
        static_cast<int>((static_cast<long long>(rect.bottom - rect.top + 1) * ratio) >> 16);
    const int split = rect.top + height;
    m_timeIntf.Draw(dc, CRect(rect.left, rect.top, rect.right, split));
    CNormalAnalysis::DrawView(dc, CRect(rect.left, split, rect.right, rect.bottom));
    // The graphs lay out again in their own panes at the next paint.
    UpdateView();
}

void CZeroSpanAnalysis::GetReadings(std::vector<CReading>& out) {
    CNormalAnalysis::GetReadings(out);
    const CTraceStore& trace = m_timeTraces[0];
    const short* words = trace.GetData();
    if (!m_hasCapture || !words)
        return;
    // Each sample is the band's power at its time; the mean is taken in
    // power, over the samples measured.
    double sum = 0;
    short highest = 0;
    DWORD measured = 0;
    for (DWORD i = 0; i <= trace.GetPoints(); ++i) {
        if (!IsMeasuredWord(words[i]))
            continue;
        sum += std::pow(10.0, words[i] * kLevelUnitDb / 10.0);
        highest = measured == 0 ? words[i] : std::max(highest, words[i]);
        ++measured;
    }
    if (measured == 0)
        return;
    const long long kHz = m_capture.FirstBinKHz();
    out.push_back(CReading{"bandpower", ShownToDbm(10.0 * std::log10(sum / measured)), "dBm", kHz,
                           false, CString()});
    out.push_back(
        CReading{"bandpeak", ShownToDbm(highest * kLevelUnitDb), "dBm", kHz, false, CString()});
}
