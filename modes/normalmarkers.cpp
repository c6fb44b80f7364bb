// The normal window's markers, cursor and logging trigger line: joining them
// to the graph, the marker commands and their states, placing a marker by
// command, offering the data line's peaks to the markers after every block,
// snapping them to a new grid, and the trigger line the logging step tests.
#include "modes/normalanalysis.h"

#include "lib/numentry.h"
#include "lib/stringtable.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {
// The title of the marker frequency entry.
constexpr int kStrMarkerEntry = 2405;
// The peak list offered to the markers holds the four highest peaks.
constexpr int kPeakCandidates = 4;
// The highest peak hold a command sets.
constexpr int kMaxPeakHold = 4;

int Ticked(bool condition) {
    return condition ? kStateTicked : kStateUnticked;
}
} // namespace

void CNormalAnalysis::AttachMarkers(CGraphInterface& intf, CDataLineContext* line,
                                    CCursolContext& cursor,
                                    std::array<CMarkerContext, kMarkerCount>& markers) {
    CDrawObject* markerFace = intf.GetDrawObject(CGraphInterface::kMarkerFace);
    cursor.SetDrawObject(markerFace);
    cursor.SetRedrawFlag(0);
    intf.AttachCursor(&cursor, line);
    for (int k = 0; k < kMarkerCount; ++k) {
        CMarkerContext& marker = markers[static_cast<size_t>(k)];
        marker.SetDrawObject(markerFace);
        marker.SetRedrawFlag(0);
        intf.AttachMarker(k, &marker, line);
    }
}

void CNormalAnalysis::AttachMarkers() {
    CDataLineContext* line = &m_traces[0];
    AttachMarkers(m_graphIntf, line, m_cursor, m_markers);
    m_trigger.SetDrawObject(m_graphIntf.GetDrawObject(CGraphInterface::kAlarmFace));
    m_trigger.SetRedrawFlag(0);
    m_graphIntf.AttachTrigger(&m_trigger, line);
}

CMarkerContext* CNormalAnalysis::GetMarker(int k) {
    return k >= 1 && k <= kMarkerCount ? &m_markers[static_cast<size_t>(k - 1)] : nullptr;
}

void CNormalAnalysis::SelectMarker(int k) {
    CAnalysisCore::SelectMarker(k);
    for (int i = 1; i <= kMarkerCount; ++i) {
        GetMarker(i)->SetCurrentFlag(i == m_currentMarker ? 1 : 0);
    }
    // A selected marker comes into view: where it was, or at the centre when
    // its frequency is not on the trace.
    if (CMarkerContext* marker = GetMarker(m_currentMarker)) {
        if (!marker->GetRedrawFlag() && !m_traces[0].InRange(marker->GetLockFrequency())) {
            PlaceMarker(m_currentMarker, GetCenter());
        }
        marker->SetRedrawFlag(1);
    }
}

void CNormalAnalysis::SetLoggingTrigger(int flag) {
    CAnalysisCore::SetLoggingTrigger(flag);
    // 1 fires above the line, 2 below it.
    if (flag > 0) {
        m_trigger.SetDirectionFlag(flag >= 2 ? 1 : 0);
    }
    m_trigger.SetRedrawFlag(flag > 0 ? 1 : 0);
}

BOOL CNormalAnalysis::GetLoggingTriggerLine(CLoggingTriggerLine* line) {
    if (!line || !m_trigger.GetDataLine()) {
        return FALSE;
    }
    line->level = m_trigger.GetLevel();
    line->lower = m_start;
    line->upper = m_stop;
    line->direction = m_trigger.GetDirectionFlag();
    return TRUE;
}

// ---- Commands

int CNormalAnalysis::PlaceMarker(int k, int kHz) {
    CMarkerContext* marker = GetMarker(k);
    if (!marker) {
        return kCommandDone;
    }
    if (kHz < m_start || kHz > m_stop) {
        kHz = GetCenter();
    }
    const int selectMode = marker->GetSelectMode();
    marker->SetSelectMode(0);
    if (!marker->SetFrequency(kHz)) {
        marker->SetLockFrequency(kHz); // no grid yet: it snaps when the grid comes
    }
    marker->SetSelectMode(selectMode);
    marker->SetRedrawFlag(1);
    UpdateView();
    return kCommandDone;
}

int CNormalAnalysis::OnMarkerEntry() {
    CMarkerContext* marker = GetMarker(m_currentMarker);
    if (!marker) {
        return kCommandDone;
    }
    const int current =
        marker->GetSelectedFrequency() >= 0 ? marker->GetSelectedFrequency() : GetCenter();
    const char* title = GetTorvelString(kStrMarkerEntry);
    const double mhz = NumEntryDOUBLE(current * 0.001, "MHz", title ? title : "");
    if (mhz == DBL_MAX || !std::isfinite(mhz)) {
        return kCommandDone; // cancelled
    }
    const double kHz = mhz * 1000.0;
    // Outside the graph the marker stays where it is.
    if (kHz >= m_start && kHz <= m_stop) {
        marker->SetFrequency(static_cast<int>(kHz));
        marker->SetRedrawFlag(1);
        UpdateView();
    }
    return kCommandDone;
}

int CNormalAnalysis::OnPeakSearch() {
    if (!GetMarker(m_currentMarker)) {
        return kCommandDone;
    }
    m_graphIntf.MarkerPeakSearch(m_currentMarker);
    UpdateView();
    return kCommandDone;
}

int CNormalAnalysis::OnNextPeak() {
    if (!GetMarker(m_currentMarker)) {
        return kCommandDone;
    }
    m_graphIntf.MarkerNextPeak(m_currentMarker);
    UpdateView();
    return kCommandDone;
}

int CNormalAnalysis::OnMarkerCommand(int action, int p1) {
    CMarkerContext* marker = GetMarker(m_currentMarker);
    if (!marker) {
        return kCommandDone;
    }
    switch (action) {
    case 38:
        marker->SetSelectedPeakHold(p1 >= 1 && p1 <= kMaxPeakHold ? p1 : 0);
        OfferPeaks(); // the point goes to its peak now, not with the next block
        break;
    case 39: {
        const int mode = p1 >= 1 && p1 <= 3 ? p1 : 0;
        // Entering a delta mode the child point starts on the main point.
        if (mode != 0 && marker->GetDeltaMode() == CMarkerContext::kModeNormal) {
            marker->SetChildLockFrequency(marker->GetLockFrequency());
        }
        marker->SetDeltaMode(mode);
        if (p1 >= 1) {
            marker->SetRedrawFlag(1);
        }
        break;
    }
    case 40:
        // The child point can be selected only while it is shown (a delta mode).
        if (p1 == 1 || (p1 == 2 && marker->GetDeltaMode() != CMarkerContext::kModeNormal)) {
            marker->SetSelectMode(p1 - 1);
        }
        if (p1 >= 1) {
            marker->SetRedrawFlag(1);
        }
        break;
    case 41:
        marker->SetStyle(p1 == 1 ? CMarkerContext::kStyleLine : CMarkerContext::kStylePoint);
        break;
    case 42: {
        const int kHz = marker->GetSelectedFrequency();
        if (kHz < 0) {
            return kCommandDone;
        }
        SetCenter(kHz);
        return kCommandReset;
    }
    default:
        return kCommandNotHandled;
    }
    UpdateView();
    return kCommandDone;
}

int CNormalAnalysis::GetMarkerCommandState(int action, int p1) {
    CMarkerContext* marker = GetMarker(m_currentMarker);
    if (!marker) {
        return CAnalysisCore::GetMarkerCommandState(action, p1);
    }
    switch (action) {
    case 36:
    case 37:
        // A point that follows a peak is not moved by hand.
        return marker->GetSelectedPeakHold() > 0 ? kStateDisabled : kStateUnticked;
    case 38:
        return Ticked(marker->GetSelectedPeakHold() == p1);
    case 39:
        return Ticked(marker->GetDeltaMode() == p1);
    case 40:
        if (p1 == 1) {
            return Ticked(marker->GetSelectMode() == 0);
        }
        if (marker->GetDeltaMode() == CMarkerContext::kModeNormal) {
            return kStateDisabledUnticked;
        }
        return Ticked(marker->GetSelectMode() + 1 == p1);
    case 41:
        return Ticked(marker->GetStyle() == p1);
    default:
        return kStateUnticked;
    }
}

// ---- After every block and every new grid

void CNormalAnalysis::OfferPeaks() {
    const CDataLineContext& line = m_traces[0];
    if (!line.HasArray()) {
        return;
    }
    // Only as many peaks as the markers' peak holds ask for are looked for:
    // each search reads the whole data line, and this runs after every block.
    int wanted = 0;
    for (const CMarkerContext& marker : m_markers)
        wanted = std::max({wanted, marker.GetPeakHold(), marker.GetChildPeakHold()});
    wanted = std::min(wanted, kPeakCandidates);
    if (wanted == 0) {
        return;
    }
    int peaks[kPeakCandidates];
    int count = 0;
    long long x = line.Peak(m_start, m_stop);
    peaks[count++] = static_cast<int>(x);
    while (count < wanted) {
        x = line.NextPeak(x, m_start, m_stop);
        // The grid's start stands for "no further peak".
        if (x == static_cast<long long>(line.GetStart())) {
            break;
        }
        peaks[count++] = static_cast<int>(x);
    }
    for (CMarkerContext& marker : m_markers) {
        marker.ApplyPeakHold(peaks, count);
    }
}

void CNormalAnalysis::ReplaceMarkers() {
    SnapMarkers(m_markers);
}

void CNormalAnalysis::SnapMarkers(std::array<CMarkerContext, kMarkerCount>& markers) {
    for (CMarkerContext& marker : markers) {
        const int selectMode = marker.GetSelectMode();
        // Each point inside the new window snaps to the new grid; a point
        // outside keeps its frequency and reads out as not found.
        marker.SetSelectMode(0);
        marker.SetFrequency(marker.GetLockFrequency());
        marker.SetSelectMode(1);
        marker.SetFrequency(marker.GetChildLockFrequency());
        marker.SetSelectMode(selectMode);
    }
}
