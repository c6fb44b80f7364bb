// CScpiSession: the zero-span window's own commands: the capture time, the
// trigger source and slope (its commands of the command list), and the
// trigger level (the trigger line of the time graph, as dragging it sets it),
// the capture frequency (the zero-span marker) and one time capture.
#include "draw/markercontext.h"
#include "draw/triggercontext.h"
#include "modes/zerospananalysis.h"
#include "remote/remotelink.h"
#include "remote/scpisession.h"
#include "trace/tracestore.h"

#include <algorithm>
#include <cmath>

using scpi::Call;
using scpi::Param;

namespace {
// The zero-span window's commands: capture time (p1 ms) and trigger type
// (0 free run, 1 on a rising level, 2 on a falling level).
constexpr int kActionTimeAnalysis = 251;
constexpr int kActionTimeSpan = 252;
constexpr int kActionTriggerType = 253;
constexpr int kMaxTimeSpanMs = CZeroSpanAnalysis::kMaxTimeSpan;

CZeroSpanAnalysis* zeroSpan(CAnalysisCore* core) {
    return dynamic_cast<CZeroSpanAnalysis*>(core);
}

} // namespace

bool CScpiSession::choice(const Call& call, std::initializer_list<const char*> names, int* index) {
    if (call.params.size() == 1 && call.params[0].kind == Param::Kind::Mnemonic) {
        int i = 0;
        for (const char* name : names) {
            if (call.params[0].text == name) {
                *index = i;
                return true;
            }
            ++i;
        }
    }
    pushError(call.params.empty() ? scpi::kMissingParameter : scpi::kIllegalParameterValue);
    return false;
}

bool CScpiSession::sweepTime(const Call& call) {
    CZeroSpanAnalysis* core = zeroSpan(target(call));
    if (!core)
        return true;
    if (call.query) {
        if (noParameters(call))
            answer(QByteArray::number(core->GetTimeSpan() / 1000.0, 'g', 6));
        return true;
    }
    double seconds = 0;
    if (!number(call, 0, scpi::Unit::Time, 1e-3, kMaxTimeSpanMs / 1000.0, 1.0, &seconds))
        return true;
    command(core, kActionTimeSpan, static_cast<int>(std::lround(seconds * 1000)));
    return true;
}

bool CScpiSession::triggerSource(const Call& call) {
    CZeroSpanAnalysis* core = zeroSpan(target(call));
    if (!core)
        return true;
    if (call.query) {
        if (noParameters(call))
            answer(core->GetTriggerType() == 0 ? "IMM" : "VID");
        return true;
    }
    int source = 0;
    if (!choice(call, {"IMM", "IMMEDIATE", "VID", "VIDEO"}, &source))
        return true;
    command(core, kActionTriggerType, source < 2 ? 0 : m_slope);
    return true;
}

bool CScpiSession::triggerSlope(const Call& call) {
    CZeroSpanAnalysis* core = zeroSpan(target(call));
    if (!core)
        return true;
    if (call.query) {
        if (noParameters(call))
            answer((core->GetTriggerType() != 0 ? core->GetTriggerType() : m_slope) == 2 ? "NEG"
                                                                                         : "POS");
        return true;
    }
    int slope = 0;
    if (!choice(call, {"POS", "POSITIVE", "NEG", "NEGATIVE"}, &slope))
        return true;
    // The slope is kept for a later TRIG:SOUR VID while the trigger is off.
    m_slope = slope < 2 ? 1 : 2;
    if (core->GetTriggerType() != 0)
        command(core, kActionTriggerType, m_slope);
    return true;
}

bool CScpiSession::triggerLevel(const Call& call) {
    CZeroSpanAnalysis* core = zeroSpan(target(call));
    return !core || lineLevel(call, core, core->GetTriggerLine());
}

bool CScpiSession::lineLevel(const Call& call, CAnalysisCore* core, CLoggingTriggerContext& line) {
    // The line is drawn over levels in the window's unit; a client speaks dBm.
    const CDataLineContext* graph = line.GetDataLine();
    if (call.query) {
        if (noParameters(call))
            answer(QByteArray::number(core->ShownToDbm(line.GetLevel()), 'f', 2));
        return true;
    }
    if (!graph) {
        pushError(scpi::kSettingsConflict, "no graph");
        return true;
    }
    // The line lies between the top (y max) and the bottom (y min) of the
    // graph, as its position ratio in 12.20 from the top.
    const double top = graph->GetYMax(), bottom = graph->GetYMin();
    double dbm = 0;
    if (!number(call, 0, scpi::Unit::Level, core->ShownToDbm(std::min(top, bottom)),
                core->ShownToDbm(std::max(top, bottom)), core->ShownToDbm((top + bottom) / 2),
                &dbm))
        return true;
    const double level = core->DbmToShown(dbm);
    const double ratio = top == bottom ? 0.0 : (top - level) / (top - bottom);
    line.SetPositionRatio(static_cast<int>(
        std::lround(std::clamp(ratio, 0.0, 1.0) * CLoggingTriggerContext::kRatioOne)));
    core->UpdateView();
    return true;
}

bool CScpiSession::zeroSpanFrequency(const Call& call) {
    CZeroSpanAnalysis* core = zeroSpan(target(call));
    if (!core)
        return true;
    CMarkerContext& marker = core->GetZeroSpanMarker();
    if (call.query) {
        if (noParameters(call))
            answer(QByteArray::number(static_cast<long long>(marker.GetLockFrequency()) * 1000));
        return true;
    }
    // The capture frequency is a bin of the spectrum the device captures:
    // bins 0 to 103 from the base frequency, within the spectrum shown.
    const int step = core->BinStep();
    const CTraceStore* line = core->GetDataLine();
    if (step <= 0 || !line || !line->HasArray()) {
        pushError(scpi::kSettingsConflict, "no spectrum");
        return true;
    }
    const long long base = core->BaseFrequency();
    const long long low = std::max<long long>(base, static_cast<long long>(line->GetStart()));
    const long long high =
        std::min<long long>(base + (CZeroSpanAnalysis::kBlockBins - 1) * step,
                            static_cast<long long>(line->GetStart()) +
                                (static_cast<long long>(line->GetPoints()) - 1) * line->GetStep());
    double hz = 0;
    if (!number(call, 0, scpi::Unit::Frequency, low * 1000.0, high * 1000.0,
                core->GetCenter() * 1000.0, &hz))
        return true;
    // Action 258 puts the marker's point (select mode 0) on bin p2, as a
    // click on the spectrum does.
    const long long bin = std::llround((hz / 1000.0 - static_cast<double>(base)) / step);
    command(core, 258, 0, static_cast<int>(CZeroSpanAnalysis::HoldBin(bin)));
    return true;
}

bool CScpiSession::initiateTimeCapture(const Call& call) {
    if (!noParameters(call))
        return true;
    CZeroSpanAnalysis* core = zeroSpan(target(call));
    if (!core)
        return true;
    endOperation();
    // A window that was not analysing analyses for this one capture. The
    // capture is the Time Analysis command (251), which switches it on (a
    // second one would switch it off again).
    const bool single = !core->GetAnalyzeFlag();
    startOperation(core, single);
    m_opTime = true;
    if (single)
        command(core, 16);
    if (!core->GetTimeRequested())
        command(core, kActionTimeAnalysis);
    return true;
}
