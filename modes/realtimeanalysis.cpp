// The real-time window's core: its band, the triggered capture of 256 slices
// and its trigger settings.
#include "modes/realtimeanalysis.h"

#include "analysis/csvfile.h"
#include "analysis/framelink.h"
#include "device/TorvelAPI.h"
#include "lib/numentry.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "modes/keytables.h"
#include "platform/profile.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {
constexpr int kStrCenter = 15;
constexpr int kStrWaiting = 47;
constexpr int kStrTriggered = 48;
constexpr int kCmdRunStop = 16;
constexpr int kCmdTrigType = 301;
constexpr int kCmdLevelTrigger = 302;
constexpr int kCmdTrigMode = 303;
constexpr int kCmdTrigPosition = 304;
constexpr const char* kTrigKeys[] = {"TrigMode", "TrigPosition", "TrigType", "SenseTrigValue"};

const char* text(int index) {
    const char* s = GetTorvelString(index);
    return s ? s : "";
}

int Ticked(bool on) {
    return on ? kStateTicked : kStateUnticked;
}
} // namespace

CRealTimeAnalysis::CRealTimeAnalysis(CCommandEntry* frameList, CCommandEntry* buttonList,
                                     CFrameLink* link)
    : CSpectrogramAnalysis(kSlices, frameList, buttonList, link) {
    m_frequencyMode = 1;
    m_triggerMark.SetDrawObject(m_chunkIntf.GetDrawObject(CGraphInterface::kAlarmFace));
    m_triggerMark.SetDataLine(&m_chunkLine);
    m_triggerMark.SetRedrawFlag(0);
    m_chunkIntf.GetGraph().AddChild(&m_triggerMark);
}

CRealTimeAnalysis::~CRealTimeAnalysis() = default;

CString CRealTimeAnalysis::GetProfileSection() {
    CString s;
    s.Format("RealTimeAnalysis_%d", m_titleIndex);
    return s;
}

// ---- The band

void CRealTimeAnalysis::SetCenter(int kHz) {
    m_frequencyMode = 1;
    const int step = DeviceRBWFrequency(kKind, m_rbwIndex);
    int c = step > 0 ? kHz / step * step : kHz;
    const int lo = DeviceMinFrequency(kKind);
    const int hi = DeviceMaxFrequency(kKind);
    if (c - kHalfSpan < lo)
        c = lo + kHalfSpan;
    if (c + kHalfSpan > hi)
        c = hi - kHalfSpan;
    m_start = c - kHalfSpan;
    m_stop = c + kHalfSpan;
}

void CRealTimeAnalysis::SetStart(int kHz) {
    SetCenter(kHz + kHalfSpan);
}

void CRealTimeAnalysis::SetStop(int kHz) {
    SetCenter(kHz - kHalfSpan);
}

void CRealTimeAnalysis::SetSpan(int) {}

int CRealTimeAnalysis::OnCenterEntry() {
    StopTask();
    const double mhz = NumEntryDOUBLE(GetCenter() * 0.001, "MHz", text(kStrCenter));
    if (mhz == DBL_MAX || !std::isfinite(mhz)) {
        RestartTask();
        return kCommandDone;
    }
    SetCenter(static_cast<int>(std::clamp(mhz * 1000, 0.0, 2.0e9)));
    return kCommandReset;
}

// ---- Profile and settings

void CRealTimeAnalysis::ReadProfile() {
    CSpectrogramAnalysis::ReadProfile();
    const CString section = GetProfileSection();
    const CKeyTable& keys = KeyTableOf(GetAnalysisType());
    m_trigMode = keys.ProfileInt(section, kTrigKeys[0], 0);
    m_trigPosition = keys.ProfileInt(section, kTrigKeys[1], 4);
    m_trigType = keys.ProfileInt(section, kTrigKeys[2], 0);
    m_senseTrigValue = keys.ProfileInt(section, kTrigKeys[3], 1000);
    SetCenter(GetCenter());
}

void CRealTimeAnalysis::WriteProfile() {
    CSpectrogramAnalysis::WriteProfile();
    const CString section = GetProfileSection();
    WriteProfileInt(section, kTrigKeys[0], m_trigMode);
    WriteProfileInt(section, kTrigKeys[1], m_trigPosition);
    WriteProfileInt(section, kTrigKeys[2], m_trigType);
    WriteProfileInt(section, kTrigKeys[3], m_senseTrigValue);
}

int CRealTimeAnalysis::SaveModeSettings() {
    int ok = 1;
    const int values[] = {m_trigMode, m_trigPosition, m_trigType, m_senseTrigValue};
    for (int k = 0; k < 4; ++k)
        ok &= WriteSettingFileINT(CoreSection(), kTrigKeys[k], values[k]);
    return ok;
}

int CRealTimeAnalysis::LoadModeSettings() {
    int* values[] = {&m_trigMode, &m_trigPosition, &m_trigType, &m_senseTrigValue};
    int ok = 1;
    const CKeyTable& keys = KeyTableOf(GetAnalysisType());
    for (int k = 0; k < 4; ++k) {
        ok &= GetSettingFileINT(CoreSection(), kTrigKeys[k], values[k]) ? 1 : 0;
        *values[k] = keys.Checked(kTrigKeys[k], *values[k]);
    }
    m_frequencyMode = 1;
    return ok;
}

CString CRealTimeAnalysis::CsvModeParams() {
    CString s;
    const CCaptureTrigger trigger = ShownTrigger();
    s.Format("TrigMode,%d\nTrigPosition,%d\nTrigType,%d\nSenseTrigValue,%d\n", m_trigMode,
             trigger.position, trigger.type, trigger.sense);
    return s;
}

bool CRealTimeAnalysis::ReadCsvModeParams(CCsvFile& file) {
    int* values[] = {&m_trigMode, &m_trigPosition, &m_trigType, &m_senseTrigValue};
    const CKeyTable& keys = KeyTableOf(GetAnalysisType());
    for (int k = 0; k < 4; ++k) {
        int v = kCsvMissing;
        if (!file.ReadParam(&v))
            return false;
        if (v != kCsvMissing)
            *values[k] = keys.Checked(kTrigKeys[k], v);
    }
    m_frequencyMode = 1;
    return true;
}

void CRealTimeAnalysis::CsvRowsRead() {
    CSpectrogramAnalysis::CsvRowsRead();
    m_captureTrigger = TriggerOfNow();
    m_hasCapture = true;
    PlaceTriggerMark();
}

// ---- Reconfiguration

void CRealTimeAnalysis::Reconfigure(BOOL reset) {
    // A new band or grid: a running capture starts over with it. A change of
    // the picture keeps the capture and the slices.
    if (reset)
        StopTaskForNewGrid();
    m_start = std::max(m_start, DeviceMinFrequency(kKind));
    m_stop = std::min(m_stop, DeviceMaxFrequency(kKind));
    m_frequencyMode = 1;
    const int step = DeviceRBWFrequency(kKind, m_rbwIndex);
    const int first = GridStart();
    const int last = (m_stop + 999) / 1000 * 1000;
    ConfigureGraphs(reset, step, first, step != 0 ? (last - first) / step : 0);
    if (reset && step != 0)
        m_hasCapture = false; // a new ring holds no capture
    PlaceTriggerMark();
    HideHighlights();
    RestartTask();
}

void CRealTimeAnalysis::PlaceTriggerMark() {
    // The chunk line runs in time order and ends with the capture's last
    // block: the trigger block (counted from the start of the capture) lies
    // as many blocks before the end as came after it.
    const CCaptureTrigger trigger = ShownTrigger();
    const int back = m_capturedBlocks - 1 - trigger.position;
    const int index = m_sliceCount - 1 - back;
    if (trigger.type != 0 && back >= 0 && trigger.position >= 0 && index >= 0) {
        m_triggerMark.SetPosition(static_cast<int>(m_chunkLine.GetStart()) +
                                  index * static_cast<int>(m_chunkLine.GetStep()));
        m_triggerMark.SetRedrawFlag(1);
    } else {
        m_triggerMark.SetRedrawFlag(0);
    }
    m_chunkIntf.GetGraph().SetRedrawFlag(1);
}

// ---- The capture

int CRealTimeAnalysis::DeviceStart(int baseKHz, int attenuation, BYTE trigType, short level,
                                   WORD position) {
    return RealTimeAnalysis(GetMainWindow(), GetTaskTag(), baseKHz, attenuation, trigType, level,
                            position);
}

int CRealTimeAnalysis::StartAnalysis() {
    m_taskRunning = 1;
    const int step = DeviceRBWFrequency(kKind, m_rbwIndex);
    const int middle = (m_start + m_stop) / 2;
    m_triggerWait = 0;
    const int base = (middle - 13000) / 2000 * 2000;
    m_firstBin = step != 0 ? (middle - base - 12000) / step : 0;
    m_taskTrigger = TriggerOfNow();
    return StartWithRetry([&] {
        return DeviceStart(base, m_attenuation, static_cast<BYTE>(m_trigType),
                           static_cast<short>(m_senseTrigValue), static_cast<WORD>(m_trigPosition));
    });
}

void CRealTimeAnalysis::AnalysisFinished(WPARAM, LPARAM) {
    if (!m_taskRunning)
        return;
    // The capture is in and its task is over: the core holds no task now.
    m_taskRunning = 0;
    ClearTriggerStatus();

    const int blocks = std::min(kSlices, ReceiveAll() / kBlockWords);
    const int step = DeviceRBWFrequency(kKind, m_rbwIndex);
    const int middle = (m_start + m_stop) / 2;
    const long long base = (middle - 13000) / 2000 * 2000;
    // A slice's point i is the level at grid start + i x step. The grid starts
    // on the 1000 kHz grid at or below Start, some bins before the first
    // displayed bin, and ends up to bin 107 of the block: a slice takes every
    // word its grid needs, beyond the 104 bins about the band where the grid
    // reaches them.
    const int gridBins = step != 0 ? (m_start - GridStart()) / step : 0;
    const int first = std::clamp(m_firstBin - gridBins, 0, kBlockWords);
    const int count = std::min(static_cast<int>(RingSlice(0).GetPoints()), kBlockWords - first);
    if (m_offsetFlag)
        for (int s = 0; s < blocks; ++s)
            ApplyOffsets(m_receiveBuffer.data() + static_cast<size_t>(s) * kBlockWords,
                         std::max(kOffsetWords, first + count), base, step);
    StoreCapture(blocks, kBlockWords, first, count);
    ShowSliceLine(SliceIndexBack(m_slicePosition));
    FinishIntake(true);
    if (blocks > 0) {
        m_capturedBlocks = blocks;
        m_captureTrigger = m_taskTrigger;
        m_hasCapture = true;
    }
    PlaceTriggerMark();
    if (m_trigMode == 0) {
        // One capture: the window stops with it.
        m_analyzeFlag = 0;
        ShowRunState();
        if (m_link)
            m_link->RefreshCommandStates();
    }
}

void CRealTimeAnalysis::ClearTriggerStatus() {
    m_triggerWait = 0;
    m_graphIntf.GetGraph().GetStatusText().SetText(CString());
    m_graphIntf.GetGraph().SetRedrawFlag(1);
}

void CRealTimeAnalysis::AnalysisProgress(WPARAM, LPARAM lParam) {
    if (m_trigType == 0)
        return;
    CDrawText& status = m_graphIntf.GetGraph().GetStatusText();
    if (lParam & kWaitingBit) {
        m_triggerWait = m_triggerWait ? 0 : 1;
        status.SetText(text(kStrWaiting));
        status.SetRedrawFlag(m_triggerWait ? 1 : 0);
    } else if (lParam & kTriggeredBit) {
        status.SetText(text(kStrTriggered));
        status.SetRedrawFlag(1);
    } else {
        return;
    }
    m_graphIntf.GetGraph().SetRedrawFlag(1);
}

// ---- Commands

int CRealTimeAnalysis::ExecuteCommand(int action, int p1, int p2, int p3, int p4, int p5) {
    const int result = CSpectrogramAnalysis::ExecuteCommand(action, p1, p2, p3, p4, p5);
    // Switched off, the window waits for no trigger.
    if (action == kCmdRunStop && !m_analyzeFlag)
        ClearTriggerStatus();
    if (result != kCommandNotHandled)
        return result;
    switch (action) {
    case kCmdTrigType:
        StopTask();
        m_trigType = p1;
        return kCommandRedraw;
    case kCmdLevelTrigger:
        StopTask();
        m_trigType = 1;
        m_senseTrigValue = p1;
        return kCommandRedraw;
    case kCmdTrigMode:
        m_trigMode = p1;
        return kCommandDone;
    case kCmdTrigPosition:
        StopTask();
        m_trigPosition = HoldTrigPosition(p1);
        return kCommandRedraw;
    default:
        return kCommandNotHandled;
    }
}

int CRealTimeAnalysis::GetCommandState(int action, int p1, int p2, int p3, int p4, int p5) {
    switch (action) {
    case kCmdTrigType:
        return m_analyzeFlag ? kStateDisabled : Ticked(p1 == m_trigType);
    case kCmdLevelTrigger:
        return m_trigType == 1 && !m_analyzeFlag ? Ticked(p1 == m_senseTrigValue) : kStateDisabled;
    case kCmdTrigMode:
        return m_analyzeFlag ? kStateDisabled : Ticked(p1 == m_trigMode);
    case kCmdTrigPosition:
        return m_trigType != 0 && !m_analyzeFlag ? Ticked(p1 == m_trigPosition) : kStateDisabled;
    default:
        return CSpectrogramAnalysis::GetCommandState(action, p1, p2, p3, p4, p5);
    }
}
