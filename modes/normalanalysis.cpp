#include "normalanalysis.h"

#include "analysis/framelink.h"
#include "device/TorvelAPI.h"
#include "device/loader/devicelibrary.h"
#include "lib/numentry.h"
#include "lib/profilevalues.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "modes/keytables.h"
#include "modes/normalhistory.h"
#include "platform/profile.h"
#include "platform/splitterwnd.h"

#include <QColorDialog>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {
// Program strings of the normal analysis.
constexpr int kStrStart = 13;
constexpr int kStrStop = 14;
constexpr int kStrCenter = 15;
constexpr int kStrSpan = 16;
constexpr int kStrOffsetOn = 39;
// View > Waterfall: the sweep history pane on or off.
constexpr int kCmdSweepHistory = 110;
constexpr int kStrStopped = 2408;
constexpr int kRunStopAction = 16;
constexpr int kStrHeldTo = 2409;
constexpr int kStrUncalibrated = 2646; // "  levels uncalibrated"

const char* text(int index) {
    const char* s = GetTorvelString(index);
    return s ? s : "";
}

// " : %.7gMHz" of kHz x 0.001 from 1000 kHz up, else " : %.7gKHz".
CString formatFrequency(int kHz) {
    CString s;
    if (kHz >= 1000)
        s.Format(" : %.7gMHz", kHz * 0.001);
    else
        s.Format(" : %.7gKHz", static_cast<double>(kHz));
    return s;
}

constexpr const char* kTraceNames[CNormalAnalysis::kTraceStores] = {"DataLine", "Trace1", "Trace2",
                                                                    "Trace3",   "Trace4", "Trace5"};
// The section of the graph's view interface in setting data files.
constexpr const char* kGraphSection = "NORMAL_GRAPH_INTF";
// Pen colours of traces seen for the first time: the data line black, the
// hold traces in colours that tell them apart.
constexpr COLORREF kFirstTraceColors[CNormalAnalysis::kTraceStores] = {
    RGB(0, 0, 0),   RGB(220, 0, 0),   RGB(0, 150, 0),
    RGB(0, 0, 230), RGB(200, 0, 200), RGB(150, 100, 0)};
} // namespace

CNormalAnalysis::CNormalAnalysis(CCommandEntry* frameList, CCommandEntry* buttonList,
                                 CFrameLink* link)
    : CAnalysisCore(frameList, buttonList, link), m_history(std::make_unique<CNormalHistory>()) {
    // Each trace is its own data line on the graph, drawn from its own samples
    // (which already hold its max or min hold) with its own pen: the stores are
    // not chained.
    m_graphIntf.SetOwner(this);
    for (int k = 0; k < kTraceStores; ++k) {
        CDataLineContext& trace = m_traces[static_cast<size_t>(k)];
        trace.SetDrawObject(&m_traceObjects[static_cast<size_t>(k)]);
        trace.SetRedrawFlag(k == 0 ? 1 : 0);
        // The traces are told apart by their index. A setting data file keeps
        // identify values in 8 bits, so an element number (which grows with
        // every window opened) would come back changed from the file.
        trace.SetIdentifyValue(k);
        m_graphIntf.GetGraph().AddOverlay(&trace);
    }
    AttachMarkers();
    // A child point that was never placed is at 0, as it is in every marker
    // read from a file, so that a window saves the same settings it loaded.
    for (CMarkerContext& marker : m_markers)
        marker.UpdateBand();
}

CNormalAnalysis::~CNormalAnalysis() = default;

CString CNormalAnalysis::GetProfileSection() {
    CString s;
    s.Format("NormalAnalysis_%d", m_titleIndex);
    return s;
}

int CNormalAnalysis::DeviceMinFrequency(int kind) {
    return GetMinFrequency(kind);
}
int CNormalAnalysis::DeviceMaxFrequency(int kind) {
    return GetMaxFrequency(kind);
}
int CNormalAnalysis::DeviceDataCount() {
    return GetLastFunctionDataCount();
}
int CNormalAnalysis::DeviceReceiveData(short* buffer, int count) {
    return ReceiveData(buffer, count);
}

// ---- Profile and settings

void CNormalAnalysis::ReadProfile() {
    const CString section = GetProfileSection();
    // The graph's divisions first: the common keys' reference position is
    // checked against them.
    m_graphIntf.Setup(section);
    m_trigger.SetPositionRatio(m_graphIntf.GetTriggerPosition());
    m_graph.xDivisions = m_graphIntf.GetXDivision();
    m_graph.yDivisions = m_graphIntf.GetYDivision();
    CAnalysisCore::ReadProfile();
    m_frequencyMode = GetProfileInt(section, "FrequencyFlag", 0) ? 1 : 0;
    m_start = GetProfileInt(section, "StartFrequency", 1000);
    m_stop = GetProfileInt(section, "StopFrequency", 3000000);
    ValidateRange();
    for (int k = 0; k < kTraceStores; ++k) {
        CDataLineContext& trace = m_traces[static_cast<size_t>(k)];
        CDrawObject& object = m_traceObjects[static_cast<size_t>(k)];
        m_graphIntf.GetGraph().AddOverlay(&trace);
        trace.SetRedrawFlag(k == 0 ? 1 : 0);
        LoadTraceDrawObject(object, section + "_" + kTraceNames[k], kTraceNames[k], k);
        trace.SetUnit(static_cast<BYTE>(m_unit));
    }
    // The device's catcher rate is chosen per task; a stored one is not used.
    m_catcherRate = -1;
    ReadHistoryProfile();
    ShowRunState();
}

void CNormalAnalysis::LoadTraceDrawObject(CDrawObject& object, const CString& id,
                                          const CString& title, int k) {
    object.SetIDString(id);
    object.LoadProfile();
    object.SetMask(CDrawObject::kMaskLine);
    if (object.TitleComparison("NON")) {
        object.SetTitleString(title);
        // A trace seen for the first time gets a pen colour of its own.
        LOGPEN pen;
        object.GetLOGPEN(&pen);
        pen.lopnColor = kFirstTraceColors[k % kTraceStores];
        object.SetUpdateLOGPEN(&pen);
        object.SetUpdateFlag();
        object.UpdateDrawObjectNow();
    }
}

void CNormalAnalysis::WriteProfile() {
    CAnalysisCore::WriteProfile();
    const CString section = GetProfileSection();
    WriteProfileInt(section, "FrequencyFlag", m_frequencyMode);
    WriteProfileInt(section, "StartFrequency", m_start);
    WriteProfileInt(section, "StopFrequency", m_stop);
    m_graphIntf.WriteProfile();
    for (CDrawObject& object : m_traceObjects)
        object.WriteProfile();
    WriteHistoryProfile();
}

int CNormalAnalysis::SaveSettings() {
    int ok = CAnalysisCore::SaveSettings();
    ok &= WriteSettingFileINT("NORMAL_CORE", "FrequencyFlag", m_frequencyMode);
    ok &= WriteSettingFileINT("NORMAL_CORE", "StartFrequency", m_start);
    ok &= WriteSettingFileINT("NORMAL_CORE", "StopFrequency", m_stop);
    for (int k = 0; k < kTraceStores; ++k) {
        CDrawObject& object = m_traceObjects[static_cast<size_t>(k)];
        ok &= object.WriteSettingFile(object.GetTitleString());
        // The trace state, then whether the trace is shown.
        ok &= m_traces[static_cast<size_t>(k)].WriteSetting(object.GetTitleString()) ? 1 : 0;
    }
    ok &= m_graphIntf.WriteSetting(kGraphSection);
    return ok;
}

int CNormalAnalysis::LoadSettings() {
    int ok = CAnalysisCore::LoadSettings();
    ok &= GetSettingFileINT("NORMAL_CORE", "FrequencyFlag", &m_frequencyMode);
    ok &= GetSettingFileINT("NORMAL_CORE", "StartFrequency", &m_start);
    ok &= GetSettingFileINT("NORMAL_CORE", "StopFrequency", &m_stop);
    ValidateRange();
    for (int k = 0; k < kTraceStores; ++k) {
        CDrawObject& object = m_traceObjects[static_cast<size_t>(k)];
        CDataLineContext& trace = m_traces[static_cast<size_t>(k)];
        const CString section = object.GetTitleString();
        ok &= ReadDrawObjectSetting(object, section);
        ok &= trace.LoadState(section);
        trace.SetUnit(
            static_cast<BYTE>(KeyTableOf(GetAnalysisType()).Checked("UnitFlag", trace.GetUnit())));
        // Whether the trace is shown comes along when the file has it; a file
        // without it keeps the trace as it is.
        trace.CDrawContext::ReadSetting(section);
    }
    ok &= m_graphIntf.ReadSetting(kGraphSection);
    ShowRunState();
    return ok;
}

void CNormalAnalysis::ReadPaneSizes(QWidget* parent, int share, SIZE* left, SIZE* right) {
    const int w = parent ? parent->width() : 640;
    const int h = parent ? parent->height() : 480;
    const CString section = GetProfileSection();
    *left = SIZE{w / share, h};
    *right = SIZE{w - w / share, h};
    GetProfileSIZE(section, "SPLIT[0][0]", left);
    GetProfileSIZE(section, "SPLIT[0][1]", right);
}

void CNormalAnalysis::WritePaneSizes(CSplitterWnd* splitter) {
    if (!splitter)
        return;
    const CString section = GetProfileSection();
    int width0 = 0;
    int width1 = 0;
    int height = 0;
    splitter->GetColumnInfo(0, &width0, nullptr);
    splitter->GetColumnInfo(1, &width1, nullptr);
    splitter->GetRowInfo(0, &height, nullptr);
    SIZE size{width0, height};
    WriteProfileSIZE(section, "SPLIT[0][0]", &size);
    size.cx = width1;
    WriteProfileSIZE(section, "SPLIT[0][1]", &size);
}

// ---- Range

void CNormalAnalysis::ValidateRange() {
    m_frequencyMode = m_frequencyMode ? 1 : 0;
    const int lo = DeviceMinFrequency(1);
    const int hi = std::max(lo, DeviceMaxFrequency(1));
    m_start = std::clamp(m_start, lo, hi);
    m_stop = std::clamp(m_stop, lo, hi);
    if (m_start > m_stop)
        std::swap(m_start, m_stop);
}

int CNormalAnalysis::GetYDivisionCount() {
    return m_graph.yDivisions;
}

void CNormalAnalysis::SetStart(int kHz) {
    if (kHz == m_start)
        return;
    m_frequencyMode = 0;
    if (kHz > m_stop) {
        m_start = m_stop;
        m_stop = kHz;
    } else {
        m_start = kHz;
    }
    m_start = std::max(m_start, DeviceMinFrequency(1));
}

void CNormalAnalysis::SetStop(int kHz) {
    if (kHz == m_stop)
        return;
    m_frequencyMode = 0;
    if (kHz < m_start) {
        m_stop = m_start;
        m_start = kHz;
    } else {
        m_stop = kHz;
    }
    m_stop = std::min(m_stop, DeviceMaxFrequency(1));
}

void CNormalAnalysis::PlaceBand(int center, int half) {
    const int lo = DeviceMinFrequency(1);
    const int hi = DeviceMaxFrequency(1);
    if (center - half < lo)
        center = lo + half;
    if (center + half > hi)
        center = hi - half;
    m_start = center - half;
    m_stop = center + half;
}

void CNormalAnalysis::SetCenter(int kHz) {
    m_frequencyMode = 1;
    PlaceBand(kHz & ~1, GetSpan() / 2);
}

void CNormalAnalysis::SetSpan(int kHz) {
    int step = SweepStep(nullptr);
    if (kHz <= 10 * step)
        return;
    m_frequencyMode = 1;
    int half = std::min(kHz / 2, DeviceMaxFrequency(1) / 2);
    PlaceBand(GetCenter(), half);
}

void CNormalAnalysis::ForEachLevelStore(const LevelStoreVisitor& visit) {
    for (auto& trace : m_traces)
        visit(trace, -1);
}

CTraceStore* CNormalAnalysis::GetTrace(int k) {
    return k >= 1 && k <= kTraceCount ? &m_traces[static_cast<size_t>(k)] : nullptr;
}

double CNormalAnalysis::UnitOffsetDb() const {
    switch (m_traces[0].GetUnit()) {
    case 2:
        return 113.0;
    case 3:
        return 107.0;
    default:
        return 0.0;
    }
}

int CNormalAnalysis::SweepStep(int* function) const {
    auto* self = const_cast<CNormalAnalysis*>(this);
    if (int step = self->DeviceRBWFrequency(1, m_rbwIndex); step != 0) {
        if (function)
            *function = 1;
        return step;
    }
    if (int step = self->DeviceRBWFrequency(2, m_rbwIndex); step != 0) {
        if (function)
            *function = 2;
        return step;
    }
    if (function)
        *function = 4;
    return self->DeviceRBWFrequency(4, m_rbwIndex);
}

// ---- Reconfiguration

void CNormalAnalysis::Reconfigure(BOOL reset) {
    m_start = std::max(m_start, DeviceMinFrequency(1));
    m_stop = std::min(m_stop, DeviceMaxFrequency(1));
    if (m_start > m_stop)
        std::swap(m_start, m_stop);
    const int step = DeviceRBWFrequency(kKindMask, m_rbwIndex);
    if (m_stop - m_start < 2 * step) {
        m_stop = m_start + 2 * step;
        // At the top of the band the range widens downwards: the device refuses
        // a block that starts above its highest frequency, and the window would
        // stop measuring.
        const int highest = DeviceMaxFrequency(1);
        if (m_stop > highest) {
            m_stop = highest;
            m_start = std::max(highest - 2 * step, DeviceMinFrequency(1));
        }
    }

    SetGraphTexts(step);

    m_sweepPosition = 0;
    m_taskRunning = 0;

    if (reset && step != 0) {
        const int alignedStart = m_start / 2000 * 2000;
        const int alignedStop = (m_stop + 1999) / 2000 * 2000;
        const DWORD points = static_cast<DWORD>((alignedStop - alignedStart) / step);
        for (auto& trace : m_traces)
            trace.Configure(static_cast<DWORD>(alignedStart), static_cast<DWORD>(step), points);
        m_graph.redraw = true;
    }
    UpdateGraph();
    if (reset && step != 0)
        ReplaceMarkers();
}

void CNormalAnalysis::SetGraphTexts(int step) {
    if (m_frequencyMode == 0) {
        m_graph.text[2] = text(kStrStart) + formatFrequency(m_start);
        m_graph.text[3] = text(kStrStop) + formatFrequency(m_stop);
    } else {
        m_graph.text[2] = text(kStrCenter) + formatFrequency(GetCenter());
        m_graph.text[3] = text(kStrSpan) + formatFrequency(GetSpan());
    }

    static constexpr int kDbPerDivision[] = {0, 10, 5, 2};
    const int dbPerDiv = m_scale >= 1 && m_scale <= 3 ? kDbPerDivision[m_scale] : 0;
    const double reference = DeviceZeroReferenceLevel() + m_attenuation;
    const double unitOffset = UnitOffsetDb();
    const int n = m_graph.yDivisions;
    const int r = m_referencePosition;
    m_graph.yMax = (n - r) * dbPerDiv + unitOffset + reference;
    m_graph.yMin = reference + unitOffset - r * dbPerDiv;
    m_graph.xMin = m_start;
    m_graph.xMax = m_stop;

    CString scaleText;
    scaleText.Format("%ddB/Div  ATT:%ddB", dbPerDiv, m_attenuation);
    if (m_offsetFlag)
        scaleText += text(kStrOffsetOn);
    m_graph.text[0] = scaleText;
    m_graph.text[1] = "RBW" + formatFrequency(step) + " [Torvel]";
}

void CNormalAnalysis::ShowDeviceWait(const CString& text) {
    CDrawText& status = m_graphIntf.GetGraph().GetStatusText();
    if (!text.IsEmpty()) {
        status.SetText(text);
        status.SetRedrawFlag(1);
    } else if (!m_deviceWait.IsEmpty() && status.GetText() == m_deviceWait) {
        // The wait is over: its text goes; a text the mode put there since stays.
        status.SetText(CString());
    }
    m_deviceWait = text;
    m_graphIntf.GetGraph().SetRedrawFlag(1);
}

void CNormalAnalysis::ShowTechnicalAlarm(bool raised, const CString& text) {
    CNormalGraphContext& graph = m_graphIntf.GetGraph();
    graph.SetAlarmText(raised ? text : CString());
    graph.SetRedrawFlag(1);
}

void CNormalAnalysis::UpdateView() {
    ShowRunState();
    m_graphIntf.Redraw();
    if (m_historyShown)
        m_history->intf.Redraw();
}

void CNormalAnalysis::ShowRunState() {
    ShowRunStateIn(m_graphIntf);
}

void CNormalAnalysis::ShowRunStateIn(CGraphInterface& intf) {
    // A stopped window says so in its graph, and how to start it; the text
    // goes when the measurement runs (a trigger status may take the place).
    CDrawText& status = intf.GetGraph().GetStatusText();
    const CString stopped = text(kStrStopped);
    if (!m_analyzeFlag && status.GetText() != stopped) {
        status.SetText(stopped);
        status.SetRedrawFlag(1);
        intf.GetGraph().SetRedrawFlag(1);
    } else if (m_analyzeFlag && status.GetText() == stopped) {
        status.SetText(CString());
        status.SetRedrawFlag(0);
        intf.GetGraph().SetRedrawFlag(1);
    }
}

void CNormalAnalysis::UpdateGraph() {
    UpdateGraph(m_graphIntf, m_graph);
}

CString CNormalAnalysis::LevelScaleText(const CString& scale) {
    if (torveldevice::LoadedDeviceCalibrated())
        return scale;
    return scale + text(kStrUncalibrated);
}

void CNormalAnalysis::UpdateGraph(CGraphInterface& intf, const CNormalGraphValues& values) {
    CNormalGraphContext& graph = intf.GetGraph();
    for (int k = 0; k < 4; ++k)
        *graph.GetCornerText(k) = values.text[static_cast<size_t>(k)];
    *graph.GetCornerText(0) = LevelScaleText(values.text[0]);
    intf.SetDivision(values.xDivisions, values.yDivisions);
    graph.GetFrame().GetFrame().SetReferenceLine(m_referencePosition);
    graph.SetScale(values.xMin, values.xMax, values.yMin, values.yMax);
    if (values.redraw)
        graph.SetRedrawFlag(1);
}

const char* CNormalAnalysis::TraceName(int k) {
    return kTraceNames[static_cast<size_t>(k) % kTraceStores];
}

// ---- The window's drawing

void CNormalAnalysis::AttachWindow(CChildFrame* window) {
    CAnalysisCore::AttachWindow(window);
    m_graphIntf.SetViewWindow(window && m_link ? m_link->GetViewWindow(window) : nullptr);
}

void CNormalAnalysis::GetDrawObjectList(std::list<CDrawObject*>* list) {
    if (!list)
        return;
    for (int k = 0; k < CGraphInterface::kDrawObjectCount; ++k)
        list->push_back(m_graphIntf.GetDrawObject(k));
    for (CDrawObject& object : m_traceObjects)
        list->push_back(&object);
}

CDrawObject* CNormalAnalysis::GetTraceDrawObject(int k) {
    return k >= 0 && k < kTraceStores ? &m_traceObjects[static_cast<size_t>(k)] : nullptr;
}

void CNormalAnalysis::SetTimeStamp(const CString& text, BOOL show) {
    m_graphIntf.SetTimeStamp(text, show);
}

void CNormalAnalysis::DrawView(CDC* dc, const CRect& rect) {
    if (m_historyShown)
        DrawWithHistory(dc, rect);
    else
        m_graphIntf.Draw(dc, rect);
}

COLORREF CNormalAnalysis::GetGraphBackgroundColor() {
    return m_graphIntf.GetBackgroundColor();
}

void CNormalAnalysis::ShowTrace(int k, BOOL show) {
    if (k >= 1 && k < kTraceStores)
        m_traces[static_cast<size_t>(k)].SetRedrawFlag(show ? 1 : 0);
}

// ---- One sweep step

int CNormalAnalysis::StartAnalysis() {
    m_taskRunning = 1;
    int function = 0;
    const int step = SweepStep(&function);
    CTraceStore& line = m_traces[0];
    if (static_cast<DWORD>(m_sweepPosition) >= line.GetPoints())
        m_sweepPosition = 0;
    const int blockStart = static_cast<int>(line.GetStart()) + m_sweepPosition * step;
    const int rejection = std::max(m_rejectionRate, 1);
    const int catcher = std::max(m_catcherRate, 1);
    const HWND mainWnd = GetMainWindow();
    switch (function) {
    case 1:
        return NormalSpectrumAnalysis(mainWnd, GetTaskTag(), blockStart, m_rbwIndex, m_attenuation,
                                      rejection);
    case 2:
        return HighSpeedSpectrumAnalysis(mainWnd, GetTaskTag(), blockStart, m_attenuation,
                                         rejection, catcher);
    default:
        return HighResolutionSpectrumAnalysis(mainWnd, GetTaskTag(), blockStart, m_attenuation,
                                              rejection);
    }
}

void CNormalAnalysis::AnalysisFinished(WPARAM, LPARAM) {
    if (!m_taskRunning)
        return;
    m_taskRunning = 0;
    CTraceStore& line = m_traces[0];
    const long long remaining = static_cast<long long>(line.GetPoints()) - m_sweepPosition;
    // The count of words comes from the data count alone; what the copy
    // answers is ignored.
    const int n = static_cast<int>(std::clamp<long long>(DeviceDataCount(), 0, remaining));
    m_receiveBuffer.resize(static_cast<size_t>(std::max(n, 1)));
    if (n > 0)
        DeviceReceiveData(m_receiveBuffer.data(), n);

    if (m_offsetFlag)
        ApplyOffsetTable(m_receiveBuffer.data(), n, line, m_sweepPosition);
    for (auto& trace : m_traces)
        trace.StoreBlock(m_receiveBuffer.data(), n, static_cast<DWORD>(m_sweepPosition), TRUE);
    m_sweepPosition += n;
    if (static_cast<DWORD>(m_sweepPosition) >= line.GetPoints())
        RecordSweep();
    OfferPeaks();

    if (LoggingStep() && m_logging.m_RefreshFlag)
        for (auto& trace : m_traces)
            trace.SetInitializedFlag(1);
    NoteDataTaken();
}

void CNormalAnalysis::ApplyOffsetTable(short* words, int n, const CTraceStore& line, int position) {
    // The points lie on the line's own grid (a line of another sweep than the
    // window's has its own step).
    const long long step = line.GetStep();
    AddOffsets(words, n, static_cast<long long>(line.GetStart()) + position * step, step,
               m_offsetTable.data());
}

// ---- Commands

void CNormalAnalysis::SetHoldStateOfDataLine() {
    m_traces[0].SetTraceState(m_maxHold ? 2 : m_minHold ? 3 : 4);
}

void CNormalAnalysis::ShiftRange(int percent, bool up) {
    percent = std::clamp(percent, 0, 100);
    const int shift = static_cast<int>(static_cast<long long>(GetSpan()) * percent / 100);
    const int delta = up ? shift : -shift;
    if (m_frequencyMode == 0) {
        const int start = m_start + delta, stop = m_stop + delta;
        m_start = start;
        m_stop = stop;
    } else {
        SetCenter(GetCenter() + delta);
    }
}

int CNormalAnalysis::ExecuteCommand(int action, int p1, int p2, int p3, int p4, int p5) {
    if (action == 22) {
        // A span preset that leaves the band as it is (a kind whose span is
        // fixed, or the span in use) changes nothing: the data stay.
        const int start = m_start;
        const int stop = m_stop;
        SetSpan(p1);
        return start == m_start && stop == m_stop ? kCommandDone : kCommandReset;
    }
    int result = CAnalysisCore::ExecuteCommand(action, p1, p2, p3, p4, p5);
    if (action == kRunStopAction) {
        ShowRunState();
        m_graphIntf.Redraw();
    }
    if (action == 25 || action == 26)
        SetHoldStateOfDataLine();
    if (result != kCommandNotHandled)
        return result;
    auto setRbw = [&](int index) {
        if (DeviceRBWFrequency(kKindMask, index) != 0)
            m_rbwIndex = index;
    };
    switch (action) {
    case 101:
    case 102:
        ShiftRange(p1, action == 102);
        return kCommandReset;
    case 103:
        // Start then stop, except when the new start lies above the current
        // stop: setting it first would make the old stop the start.
        if (p1 > m_stop) {
            SetStop(p2);
            SetStart(p1);
        } else {
            SetStart(p1);
            SetStop(p2);
        }
        m_attenuation = p4;
        setRbw(p3);
        return kCommandReset;
    case 104:
        SetSpan(p2);
        SetCenter(p1);
        m_attenuation = p4;
        setRbw(p3);
        return kCommandReset;
    case 105:
        return PlaceMarker(p1, p2);
    case kCmdSweepHistory:
        if (GetAnalysisType() != 1)
            return kCommandNotHandled;
        ShowHistory(!m_historyShown);
        return kCommandDone;
    default:
        return kCommandNotHandled;
    }
}

int CNormalAnalysis::GetCommandState(int action, int p1, int p2, int p3, int p4, int p5) {
    if (action == kCmdSweepHistory)
        return m_historyShown ? 1 : 0;
    return CAnalysisCore::GetCommandState(action, p1, p2, p3, p4, p5);
}

BOOL CNormalAnalysis::ChooseColor(COLORREF initial, COLORREF* chosen) {
    const QColor colour =
        QColorDialog::getColor(QColor(GetRValue(initial), GetGValue(initial), GetBValue(initial)),
                               nullptr, QString(), QColorDialog::ColorDialogOptions());
    if (!colour.isValid())
        return FALSE;
    *chosen = RGB(colour.red(), colour.green(), colour.blue());
    return TRUE;
}

bool CNormalAnalysis::EntryKHz(int titleString, int valueKHz, int* result) {
    const double mhz = NumEntryDOUBLE(valueKHz * 0.001, "MHz", text(titleString));
    // Cancelled, or no number at all ("inf", "nan"): nothing changes.
    if (mhz == DBL_MAX || !std::isfinite(mhz))
        return false;
    // Held to 0 .. the device's highest frequency before the conversion, which
    // truncates: no frequency, span or centre of the device lies outside, and
    // the setters give the same range for any value beyond.
    const double kHz = std::clamp(mhz * 1000, 0.0, static_cast<double>(DeviceMaxFrequency(1)));
    *result = static_cast<int>(kHz);
    m_enteredKHz = mhz * 1000;
    return true;
}

void CNormalAnalysis::TellIfHeld(double enteredKHz, int heldKHz, int toleranceKHz) {
    // An entry beyond what the window can take was moved to its limit: the
    // user reads where it went, not only sees it.
    if (!std::isfinite(enteredKHz) || std::fabs(enteredKHz - heldKHz) <= toleranceKHz)
        return;
    const CCorePrompts& prompts = m_loggingOutput.Prompts();
    if (!prompts.warning)
        return;
    CString message;
    message.Format(GetTorvelFormat(kStrHeldTo, "f", "Held to %.7g MHz"), heldKHz * 0.001);
    prompts.warning(message);
}

int CNormalAnalysis::OnStartEntry() {
    int v = 0;
    if (!EntryKHz(kStrStart, m_start, &v))
        return kCommandDone;
    SetStart(v);
    TellIfHeld(m_enteredKHz, m_start, 1);
    return kCommandReset;
}

int CNormalAnalysis::OnStopEntry() {
    int v = 0;
    if (!EntryKHz(kStrStop, m_stop, &v))
        return kCommandDone;
    SetStop(v);
    TellIfHeld(m_enteredKHz, m_stop, 1);
    return kCommandReset;
}

int CNormalAnalysis::OnCenterEntry() {
    int v = 0;
    if (!EntryKHz(kStrCenter, GetCenter(), &v))
        return kCommandDone;
    SetCenter(v);
    TellIfHeld(m_enteredKHz, GetCenter(), 1);
    return kCommandReset;
}

int CNormalAnalysis::OnSpanEntry() {
    int v = 0;
    if (!EntryKHz(kStrSpan, GetSpan(), &v))
        return kCommandDone;
    SetSpan(v);
    TellIfHeld(m_enteredKHz, GetSpan(), 1);
    return kCommandReset;
}
