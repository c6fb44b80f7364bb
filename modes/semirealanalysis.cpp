// The semi-real-time window's core: its band, the slice stream, the channel
// bands and its keys.
#include "modes/semirealanalysis.h"

#include "analysis/framelink.h"
#include "device/TorvelAPI.h"
#include "lib/numentry.h"
#include "lib/profilevalues.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "platform/profile.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>

namespace {
constexpr int kStrCenter = 15;
constexpr int kStrBandCut = 95;
constexpr const char* kEntryKey = "ChannelEntry";
constexpr int kCmdChannelOnOff = 205;
constexpr int kCmdChannelColour = 206;
constexpr int kCmdRemoveCategory = 207;
// The slices dropped since the last batch, below the count in lParam.
constexpr LPARAM kDroppedMask = 0x7FF;
} // namespace

CSemiRealAnalysis::CSemiRealAnalysis(CCommandEntry* frameList, CCommandEntry* buttonList,
                                     CFrameLink* link)
    : CSpectrogramAnalysis(kSlices, frameList, buttonList, link) {
    m_channelNumbers.fill(-1);
    // Every entry is a band on the spectrum and on the spectrogram.
    for (CChannelObject& band : m_channels) {
        band.SetMasterFlag(1);
        band.SetRedrawFlag(0);
        m_graphIntf.GetGraph().GetFrame().AddBlend(&band);
        m_3dIntf.GetGraph().AddBlend(&band);
        m_fallIntf.GetWaterfall().AddBand(&band);
    }
}

CSemiRealAnalysis::~CSemiRealAnalysis() {
    // The spectrogram's list lets go of the bands before they go.
    m_3dIntf.GetGraph().ClearBlendObjects();
}

CString CSemiRealAnalysis::GetProfileSection() {
    CString s;
    s.Format("SemiRealAnalysis_%d", m_titleIndex);
    return s;
}

// ---- Channels

bool CSemiRealAnalysis::HasChannel(int number) const {
    return number >= 0 && std::find(m_channelNumbers.begin(), m_channelNumbers.end(), number) !=
                              m_channelNumbers.end();
}

void CSemiRealAnalysis::FillEntry(int i, int number, int low, int high) {
    CChannelObject* source = GetChannelObject(number);
    if (!source || source->GetIndexNumber() < 0) {
        FreeEntry(i);
        return;
    }
    CChannelObject& band = m_channels[static_cast<size_t>(i)];
    band.CopyChannel(source);
    band.SetMasterFlag(1);
    band.SetxAxisRatio(low, high);
    band.SetRedrawFlag(1);
    m_channelNumbers[static_cast<size_t>(i)] = number;
}

void CSemiRealAnalysis::FreeEntry(int i) {
    m_channels[static_cast<size_t>(i)].SetRedrawFlag(0);
    m_channelNumbers[static_cast<size_t>(i)] = -1;
}

void CSemiRealAnalysis::PlaceChannels(int low, int high) {
    for (int i = 0; i < kChannelEntries; ++i) {
        if (m_channelNumbers[static_cast<size_t>(i)] < 0)
            continue;
        CChannelObject& band = m_channels[static_cast<size_t>(i)];
        const int centre = band.GetCenterFrequency();
        const int half = band.GetSpanFrequency() / 2;
        // Shown wherever it overlaps the range, also when it is wider.
        band.SetRedrawFlag(centre - half < high && low < centre + half ? 1 : 0);
        band.SetxAxisRatio(low, high);
    }
}

int CSemiRealAnalysis::ToggleChannel(int number) {
    for (int i = 0; i < kChannelEntries; ++i) {
        if (m_channelNumbers[static_cast<size_t>(i)] == number && number >= 0) {
            FreeEntry(i);
            m_3dIntf.Redraw();
            return StoppedResult();
        }
    }
    const CDataLineContext& slice = GetSliceLine(0);
    for (int i = 0; i < kChannelEntries; ++i) {
        if (m_channelNumbers[static_cast<size_t>(i)] < 0) {
            FillEntry(i, number, slice.GetXMin(), slice.GetXMax());
            break;
        }
    }
    m_3dIntf.Redraw();
    return StoppedResult();
}

int CSemiRealAnalysis::ChannelColour(int number) {
    CChannelObject* source = GetChannelObject(number);
    COLORREF colour = 0;
    if (!source || !ChooseColor(source->GetColor(), &colour))
        return kCommandDone;
    source->SetColor(colour);
    const CDataLineContext& slice = GetSliceLine(0);
    for (int i = 0; i < kChannelEntries; ++i)
        if (m_channelNumbers[static_cast<size_t>(i)] == number)
            FillEntry(i, number, slice.GetXMin(), slice.GetXMax());
    m_3dIntf.Redraw();
    return StoppedResult();
}

int CSemiRealAnalysis::RemoveCategory(int category) {
    for (int i = 0; i < kChannelEntries; ++i)
        if (m_channelNumbers[static_cast<size_t>(i)] >= 0 &&
            m_channels[static_cast<size_t>(i)].GetCategory() == category)
            FreeEntry(i);
    m_3dIntf.Redraw();
    return StoppedResult();
}

// ---- Profile and settings

void CSemiRealAnalysis::ReadProfile() {
    CSpectrogramAnalysis::ReadProfile();
    int entries[kChannelEntries];
    std::fill(std::begin(entries), std::end(entries), -1);
    GetProfileINTARRAY(GetProfileSection(), kEntryKey, entries, kChannelEntries);
    for (int i = 0; i < kChannelEntries; ++i) {
        if (entries[i] >= 0)
            FillEntry(i, entries[i], m_start, m_stop);
        else
            FreeEntry(i);
    }
}

void CSemiRealAnalysis::WriteProfile() {
    CSpectrogramAnalysis::WriteProfile();
    int entries[kChannelEntries];
    std::copy(m_channelNumbers.begin(), m_channelNumbers.end(), entries);
    WriteProfileINTARRAY(GetProfileSection(), kEntryKey, entries, kChannelEntries);
}

int CSemiRealAnalysis::SaveModeSettings() {
    int entries[kChannelEntries];
    std::copy(m_channelNumbers.begin(), m_channelNumbers.end(), entries);
    return WriteSettingFileINTARRAY(CoreSection(), kEntryKey, entries, kChannelEntries);
}

int CSemiRealAnalysis::LoadModeSettings() {
    int entries[kChannelEntries];
    std::copy(m_channelNumbers.begin(), m_channelNumbers.end(), entries);
    const int ok = GetSettingFileINTARRAY(CoreSection(), kEntryKey, entries, kChannelEntries);
    const CGraphInterface& spectrum = m_graphIntf;
    const int low = static_cast<int>(spectrum.GetGraph().GetXMin());
    const int high = static_cast<int>(spectrum.GetGraph().GetXMax());
    for (int i = 0; i < kChannelEntries; ++i) {
        if (entries[i] >= 0)
            FillEntry(i, entries[i], low, high);
        else
            FreeEntry(i);
    }
    return ok ? 1 : 0;
}

// ---- Reconfiguration

void CSemiRealAnalysis::Reconfigure(BOOL reset) {
    // A new band or grid: the stream starts over with it. A change of the
    // picture keeps the stream and the slices.
    if (reset)
        StopTaskForNewGrid();
    if (reset) {
        m_streamClock = 0;
        m_takenSlices = 0;
    }
    const int lo = DeviceMinFrequency(kKind);
    const int hi = DeviceMaxFrequency(kKind);
    if (m_start < lo) {
        m_start = lo;
        m_stop = lo + kClampedSpan;
    }
    if (m_stop > hi) {
        m_stop = hi;
        m_start = hi - kClampedSpan;
    }
    const int step = DeviceRBWFrequency(kKind, m_rbwIndex);
    HoldToSlices(step);
    const int first = m_start / 2000 * 2000;
    const int last = (m_stop + 1999) / 2000 * 2000;
    ConfigureGraphs(reset, step, first, step != 0 ? (last - first) / step : 0);
    const CDataLineContext& slice = GetSliceLine(0);
    PlaceChannels(static_cast<int>(slice.GetStart()),
                  static_cast<int>(slice.GetStart() + slice.GetPoints() * slice.GetStep()));
    HideHighlights();
    RestartTask();
}

bool CSemiRealAnalysis::WiderThanSlices(int step) const {
    const long long first = m_start / 2000 * 2000;
    const long long last = (static_cast<long long>(m_stop) + 1999) / 2000 * 2000;
    return step > 0 && last - first > static_cast<long long>(kSlicePoints) * step;
}

void CSemiRealAnalysis::HoldToSlices(int step) {
    // The device streams 400 points from the start of the grid: a band wider
    // than they reach is cut to them, about its centre when it was given by
    // centre and span, else from its start.
    if (!WiderThanSlices(step))
        return;
    const int covered = kSlicePoints * step;
    if (m_frequencyMode == 1 && m_stop - m_start > covered) {
        const int centre = GetCenter();
        m_start = centre - covered / 2;
        m_stop = centre + covered / 2;
    }
    m_stop = std::min(m_stop, m_start / 2000 * 2000 + covered);
}

// ---- The stream

int CSemiRealAnalysis::DeviceStart(int kHz, int attenuation, int rejection) {
    return SemiRealTimeAnalysis(GetMainWindow(), GetTaskTag(), kHz, attenuation, rejection);
}

int CSemiRealAnalysis::DeviceNextResult() {
    return GetSemiRealTimeResult(GetMainWindow(), GetTaskTag());
}

int CSemiRealAnalysis::StartAnalysis() {
    m_taskRunning = 1;
    const int step = DeviceRBWFrequency(kKind, m_rbwIndex);
    const int f = static_cast<int>(m_traces[0].GetStart()) + m_sweepPosition * step;
    return StartWithRetry(
        [&] { return DeviceStart(f, m_attenuation, std::max(m_rejectionRate, 1)); });
}

void CSemiRealAnalysis::AnalysisFinished(WPARAM, LPARAM) {}

void CSemiRealAnalysis::AnalysisProgress(WPARAM, LPARAM lParam) {
    if (!m_taskRunning)
        return;
    m_taskRunning = 2;
    // Never more slices than words were delivered.
    const int m = std::min(static_cast<int>((lParam >> 16) & 0xFFF), ReceiveAll() / kSlicePoints);

    if (m_offsetFlag)
        for (int j = 0; j < m; ++j)
            ApplyOffsets(m_receiveBuffer.data() + static_cast<size_t>(j) * kSlicePoints,
                         kSlicePoints, m_traces[0].GetStart(),
                         DeviceRBWFrequency(kKind, m_rbwIndex));
    // The slices the device dropped since the last batch (the low bits of
    // lParam) took their time before this batch.
    const long long slice = SliceTimeUs();
    if (m_takenSlices > 0)
        m_streamClock += (lParam & kDroppedMask) * slice;
    for (int j = 0; j < m; ++j) {
        m_sliceTimes[static_cast<size_t>(GetWritePosition())] = m_streamClock;
        m_streamClock += slice;
        m_takenSlices = std::min(m_takenSlices + 1, kSlices);
        StoreSlice(m_receiveBuffer.data() + static_cast<size_t>(j) * kSlicePoints, kSlicePoints);
        ShowSliceLine(SliceIndexBack(m_slicePosition));
    }
    SetChunkAxis(FALSE);
    FinishIntake(m > 0);
}

long long CSemiRealAnalysis::RingSpanUs() const {
    const long long slice = SliceTimeUs();
    if (m_takenSlices <= 0)
        return kSlices * slice;
    const long long newest = m_sliceTimes[static_cast<size_t>(SliceIndexBack(0))];
    const long long oldest = m_sliceTimes[static_cast<size_t>(SliceIndexBack(m_takenSlices - 1))];
    return newest - oldest + (kSlices - m_takenSlices + 1) * slice;
}

int CSemiRealAnalysis::ChunkStep() const {
    // One sample of the chunk line per slice over the ring's span.
    return static_cast<int>(std::clamp<long long>(RingSpanUs() / kSlices, 1, INT_MAX));
}

CString CSemiRealAnalysis::ChunkLastLabel() const {
    // The axis ends where the chunk line's grid does.
    const long long us = static_cast<long long>(ChunkStep()) * kSlices;
    CString label;
    if (us >= 1000000)
        label.Format(" : %gs", static_cast<double>(us) / 1e6);
    else
        label.Format(" : %gms", static_cast<double>(us) / 1e3);
    return label;
}

void CSemiRealAnalysis::ViewProgress() {
    if (m_taskRunning == 2)
        DeviceNextResult();
}

// ---- Commands

int CSemiRealAnalysis::ExecuteCommand(int action, int p1, int p2, int p3, int p4, int p5) {
    const int result = CSpectrogramAnalysis::ExecuteCommand(action, p1, p2, p3, p4, p5);
    // A band the command made wider than the slices is cut by the
    // reconfiguration that follows: the user is told.
    if (result > 0 && WiderThanSlices(DeviceRBWFrequency(kKind, m_rbwIndex)) &&
        m_loggingOutput.Prompts().warning)
        m_loggingOutput.Prompts().warning(GetTorvelString(kStrBandCut));
    if (result != kCommandNotHandled)
        return result;
    switch (action) {
    case kCmdChannelOnOff:
        return ToggleChannel(p1);
    case kCmdChannelColour:
        return ChannelColour(p1);
    case kCmdRemoveCategory:
        return RemoveCategory(p1);
    default:
        return kCommandNotHandled;
    }
}

int CSemiRealAnalysis::GetCommandState(int action, int p1, int p2, int p3, int p4, int p5) {
    if (action == kCmdChannelOnOff)
        return HasChannel(p1) ? kStateTicked : kStateUnticked;
    return CSpectrogramAnalysis::GetCommandState(action, p1, p2, p3, p4, p5);
}

int CSemiRealAnalysis::OnCenterEntry() {
    StopTask();
    const char* title = GetTorvelString(kStrCenter);
    const double mhz = NumEntryDOUBLE(GetCenter() * 0.001, "MHz", title ? title : "");
    if (mhz == DBL_MAX || !std::isfinite(mhz)) {
        RestartTask();
        return kCommandDone;
    }
    // Whole MHz on a 2 MHz grid; held to the device's range before the
    // conversion, so that no entry overflows to the other end.
    const double top = DeviceMaxFrequency(1) * 0.001;
    const int whole = static_cast<int>(std::clamp(mhz, 0.0, top));
    SetCenter(whole / 2 * 2000);
    TellIfHeld(mhz * 1000, GetCenter(), 2000);
    return kCommandReset;
}
