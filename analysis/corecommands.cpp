// The common command table of every analysis core: what each action of the
// command list does to the core's parameters, the state it shows on menus and
// buttons, and the handlers and requests that modes and the window side fill in.
#include "analysis/analysiscore.h"

#include "analysis/framelink.h"
#include "lib/dialogs/analysisoptiondlg.h"
#include "lib/dialogs/offsetdlg.h"
#include "lib/dialogs/screenoptiondlg.h"
#include "lib/drawobject.h"
#include "lib/numentry.h"
#include "lib/stringtable.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Action 48: the trace state chosen by p1.
BYTE TraceStateOfParam(int p1) {
    switch (p1) {
    case 1:
        return kTraceWrite;
    case 2:
        return kTraceMaxHold;
    case 3:
        return kTraceMinHold;
    case 4:
        return kTraceView;
    default:
        return kTraceOff;
    }
}

int Ticked(bool on) {
    return on ? kStateTicked : kStateUnticked;
}

} // namespace

int CAnalysisCore::ExecuteCommand(int action, int p1, int, int, int, int) {
    switch (action) {
    case 7:
        return RunOutsideRotation([this] { return OnPrintRequest(); });
    case 8:
        return RunOutsideRotation([this] { return OnSaveSettingsRequest(); });
    case 9:
        return RunOutsideRotation([this] { return OnLoadSettingsRequest(); });
    case 11:
        return RunOutsideRotation([this] { return OnSaveDataRequest(); });
    case 13:
        return RunOutsideRotation([this] { return OnCopyRequest(); });
    case 14:
        m_greyScale = p1 == 2 ? 1 : 0;
        return kCommandDone;
    case 16:
        m_analyzeFlag = m_analyzeFlag ? 0 : 1;
        // Switching off stops this core's running task; switching on starts the rotation.
        PostScheduleNext(m_id);
        return kCommandDone;
    case 17:
        m_attenuation = p1;
        return kCommandRedraw;
    case 18:
        return SetReferenceLevelFromEntry();
    case 19:
        return OnStartEntry();
    case 20:
        return OnStopEntry();
    case 21:
        return OnCenterEntry();
    case 22:
        SetSpan(p1);
        return kCommandReset;
    case 23:
        return OnSpanEntry();
    case 24:
        // The index in use again changes nothing: the data stay.
        if (p1 == m_rbwIndex) {
            return kCommandDone;
        }
        if (p1 >= 0 && p1 < kRbwIndexCount && DeviceRBWFrequency(GetRBWKindMask(), p1) != 0) {
            m_rbwIndex = p1;
            return kCommandReset;
        }
        return kCommandDone;
    case 25:
        m_maxHold = m_maxHold ? 0 : 1;
        if (m_maxHold) {
            m_minHold = 0;
        }
        return kCommandRedraw;
    case 26:
        m_minHold = m_minHold ? 0 : 1;
        if (m_minHold) {
            m_maxHold = 0;
        }
        return kCommandRedraw;
    case 31:
        if (p1 >= 1 && p1 <= 3) {
            m_scale = p1;
        }
        return kCommandRedraw;
    case 32:
        // The unit is a way of showing the levels: the measured words are
        // re-mapped into it, and the holds go on.
        ShowLevels(p1 >= 1 && p1 <= 3 ? p1 : 1, m_offsetFlag);
        return kCommandRedraw;
    case 33:
        m_referencePosition = p1;
        return kCommandRedraw;
    case 34:
        SelectMarker(p1);
        return kCommandRedraw;
    case 35:
        return OnMarkerEntry();
    case 36:
        return OnPeakSearch();
    case 37:
        return OnNextPeak();
    case 38:
    case 39:
    case 40:
    case 41:
    case 42:
        return OnMarkerCommand(action, p1);
    case 43:
        return OnScreenOptionRequest();
    case 44:
        return OnAnalysisOptionRequest();
    case 45:
        return OnLoggingRequest();
    case 46:
        return OnOffsetRequest();
    case 47:
        SelectTrace(p1);
        return kCommandRedraw;
    case 48: {
        CTraceStore* trace = GetTrace(m_currentTrace);
        if (!trace) {
            return kCommandDone;
        }
        BYTE state = TraceStateOfParam(p1);
        if (trace->GetTraceState() == state) {
            state = kTraceOff; // choosing the state it already has turns it off
        }
        trace->SetTraceState(state);
        ShowTrace(m_currentTrace, state != kTraceOff);
        return kCommandRedraw;
    }
    case 49:
        SetLoggingTrigger(p1);
        return kCommandRedraw;
    case 51:
        return OnTraceMarkerSelect(p1);
    case 52:
        return OnTraceClear(p1);
    default:
        return kCommandNotHandled;
    }
}

int CAnalysisCore::GetCommandState(int action, int p1, int, int, int, int) {
    bool known = false;
    const int state = CommonCommandState(action, p1, &known);
    return known ? state : kStateUnticked;
}

int CAnalysisCore::CommonCommandState(int action, int p1, bool* known) {
    *known = true;
    switch (action) {
    case 7:
    case 8:
    case 9:
    case 11:
    case 13:
    case 18:
    case 19:
    case 20:
    case 21:
    case 23:
    case 35:
    case 43:
    case 44:
    case 45:
    case 46:
    case 51:
    case 52:
        return kStateUnticked;
    case 14:
        return Ticked(m_greyScale + 1 == p1);
    case 16:
        return Ticked(m_analyzeFlag != 0);
    case 17:
        return Ticked(m_attenuation == p1);
    case 22:
        return Ticked(GetSpan() == p1);
    case 24:
        if (p1 < 0 || p1 >= kRbwIndexCount || DeviceRBWFrequency(GetRBWKindMask(), p1) == 0) {
            return kStateDisabledUnticked;
        }
        return Ticked(m_rbwIndex == p1);
    case 25:
        return Ticked(m_maxHold != 0);
    case 26:
        return Ticked(m_minHold != 0);
    case 31:
        return Ticked(m_scale == p1);
    case 32:
        return Ticked(m_unit == p1);
    case 33:
        return Ticked(m_referencePosition == p1);
    case 34:
        return Ticked(m_currentMarker != 0 && m_currentMarker == p1);
    case 36:
    case 37:
    case 38:
    case 39:
    case 40:
    case 41:
    case 42:
        return GetMarkerCommandState(action, p1);
    case 47:
        return Ticked(m_currentTrace != 0 && m_currentTrace == p1);
    case 48: {
        CTraceStore* trace = GetTrace(m_currentTrace);
        if (!trace) {
            return kStateDisabledUnticked;
        }
        return Ticked(trace->GetTraceState() == TraceStateOfParam(p1));
    }
    case 49:
        return Ticked(m_loggingTrigger == p1);
    default:
        *known = false;
        return kStateUnticked;
    }
}

int CAnalysisCore::SetReferenceLevelFromEntry() {
    const double zero = DeviceZeroReferenceLevel();
    const char* title = GetTorvelString(kStrReferenceLevelTitle);
    const double entered = NumEntryDOUBLE(zero + m_attenuation, "dB", title ? title : "");
    if (entered >= std::numeric_limits<double>::max() || std::isnan(entered)) {
        return kCommandDone; // cancelled
    }
    const double wanted = std::clamp(entered - zero, -1.0e6, 1.0e6);
    int attenuation = static_cast<int>(wanted);
    const int step = DeviceAttenuatorStep();
    if (step > 0) {
        attenuation -= attenuation % step;
    }
    m_attenuation = std::clamp(attenuation, 0, std::max(0, DeviceMaxAttenuation()));
    return kCommandRedraw;
}

// ---- Handlers of the modes: not handled in the base.

int CAnalysisCore::OnStartEntry() {
    return kCommandNotHandled;
}
int CAnalysisCore::OnStopEntry() {
    return kCommandNotHandled;
}
int CAnalysisCore::OnCenterEntry() {
    return kCommandNotHandled;
}
int CAnalysisCore::OnSpanEntry() {
    return kCommandNotHandled;
}
int CAnalysisCore::OnMarkerEntry() {
    return kCommandNotHandled;
}
int CAnalysisCore::OnPeakSearch() {
    return kCommandNotHandled;
}
int CAnalysisCore::OnNextPeak() {
    return kCommandNotHandled;
}
int CAnalysisCore::OnTraceMarkerSelect(int) {
    return kCommandNotHandled;
}
int CAnalysisCore::OnTraceClear(int) {
    return kCommandNotHandled;
}

int CAnalysisCore::OnMarkerCommand(int, int) {
    return kCommandDone;
}

int CAnalysisCore::GetMarkerCommandState(int action, int) {
    return (action == 36 || action == 37) ? kStateDisabled : kStateDisabledUnticked;
}

// ---- Requests of the window side. Printing, copying, saving and the
// logging dialog go through the core's logging outputs and their prompts; the
// rest are not handled until the dialog pieces fill them in.

int CAnalysisCore::OnPrintRequest() {
    return m_loggingOutput.Print();
}
int CAnalysisCore::OnSaveSettingsRequest() {
    return m_loggingOutput.SaveSettingsFile();
}
int CAnalysisCore::OnLoadSettingsRequest() {
    return m_loggingOutput.LoadSettingsFile();
}
int CAnalysisCore::OnSaveDataRequest() {
    // The outputs are chosen by the main frame's output flags (bit 0 CSV,
    // bit 1 BMP, bit 2 PNG).
    return m_loggingOutput.SaveData(m_link ? m_link->GetOutputFlags() : 0u);
}
int CAnalysisCore::OnCopyRequest() {
    return m_loggingOutput.Copy();
}
int CAnalysisCore::OnScreenOptionRequest() {
    std::list<CDrawObject*> objects;
    GetDrawObjectList(&objects);
    if (objects.empty()) {
        return kCommandDone;
    }
    DoModalScreenOptionDlg(&objects);
    // What the dialog staged is applied now, so that images and prints made
    // before the next paint already show it.
    for (CDrawObject* object : objects) {
        object->UpdateDrawObjectNow();
    }
    return kCommandRedraw;
}
int CAnalysisCore::OnAnalysisOptionRequest() {
    const CPoint rates = DoModalAnalysisOptionDlg(CPoint(m_catcherRate, m_rejectionRate));
    m_catcherRate = rates.x;
    m_rejectionRate = rates.y;
    return kCommandDone;
}
int CAnalysisCore::OnLoggingRequest() {
    return m_loggingOutput.EditLogging();
}
int CAnalysisCore::OnOffsetRequest() {
    // The dialog works on copies: a cancelled dialog changes nothing, an
    // accepted table or a correction switched off re-maps the levels shown.
    std::array<short, kOffsetTableSize> table = m_offsetTable;
    CString file = m_offsetFile;
    switch (DoModalOffsetDialog(table.data(), file, 1)) {
    case 1:
        m_offsetFile = file;
        ShowLevels(m_unit, 1, table.data());
        return kCommandRedraw;
    case kOffsetDialogSwitchedOff:
        ShowLevels(m_unit, 0);
        return kCommandRedraw;
    default:
        return kCommandDone;
    }
}
int CAnalysisCore::LoadOffsetTable() {
    return DoModalOffsetDialog(m_offsetTable.data(), m_offsetFile, 0) == 1 ? 1 : 0;
}
