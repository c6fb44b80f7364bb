// CScpiSession: the measurement commands: frequencies, bandwidth, levels,
// sweeps and their operation, trace data and markers.
#include "analysis/analysiscore.h"
#include "device/TorvelAPI.h"
#include "draw/markercontext.h"
#include "modes/medicalanalysis.h"
#include "modes/normalanalysis.h"
#include "modes/xpdanalysis.h"
#include "modes/zerospananalysis.h"
#include "remote/remotelink.h"
#include "remote/scpisession.h"
#include "trace/measuredwords.h"
#include "trace/tracestore.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>

using scpi::Call;
using scpi::Param;

namespace {

double levelOf(short word) {
    return word == kNoSample ? kNoLevelDb : word * kLevelUnitDb;
}

// A stored word of a store in the unit of unitOffset, as the level word in
// dBm it stands for: every level a client gets is in dBm, whatever unit the
// window shows. The no-sample and fill words stay.
short DbmWord(short word, int unitOffset) {
    return IsMeasuredWord(word) ? static_cast<short>(word - unitOffset) : word;
}

} // namespace

void ScpiAppendLevel(QByteArray& out, short word) {
    if (word == kNoSample) {
        out += "-199.00";
        return;
    }
    // A level word is word x 100 / 16384 hundredths of a dB, exactly
    // word x 625 / 1024: whole hundredths rounded half to even, as "%.2f" of
    // the exact level rounds.
    const int magnitude = word < 0 ? -static_cast<int>(word) : word;
    int hundredths = magnitude * 625 / 1024;
    const int rest = magnitude * 625 % 1024;
    if (rest > 512 || (rest == 512 && (hundredths & 1)))
        ++hundredths;
    char buf[16];
    char* p = buf + sizeof buf;
    *--p = static_cast<char>('0' + hundredths % 10);
    *--p = static_cast<char>('0' + hundredths / 10 % 10);
    *--p = '.';
    int whole = hundredths / 100;
    do {
        *--p = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole);
    if (word < 0)
        *--p = '-';
    out.append(p, static_cast<qsizetype>(buf + sizeof buf - p));
}

// ---- Measurement set-up

namespace {
// Which frequency a command sets.
enum { kCenter, kSpan, kStart, kStop };
} // namespace

bool CScpiSession::frequency(const Call& call, int which) {
    CAnalysisCore* core = target(call);
    auto* normal = dynamic_cast<CNormalAnalysis*>(core);
    if (!core)
        return true;
    if (!normal) {
        pushError(scpi::kSettingsConflict, "not in this window kind");
        return true;
    }
    const int start = normal->GetStart(), stop = normal->GetStop();
    if (call.query) {
        if (!noParameters(call))
            return true;
        const long long kHz[] = {normal->GetCenter(), stop - start, start, stop};
        answer(integerText(kHz[which] * 1000LL));
        return true;
    }
    const double minHz = GetMinFrequency(1) * 1000.0, maxHz = GetMaxFrequency(1) * 1000.0;
    const double defaults[] = {(minHz + maxHz) / 2, maxHz - minHz, minHz, maxHz};
    // The narrowest span a window takes is just over ten RBW steps (kept even in kHz).
    const double minSpanHz = std::min(
        maxHz - minHz,
        (10.0 * GetRBWFrequency(core->GetRBWKindMask(), core->GetRBWIndex()) + 2) * 1000.0);
    double hz = 0;
    if (!number(call, 0, scpi::Unit::Frequency, which == kSpan ? minSpanHz : minHz,
                which == kSpan ? maxHz - minHz : maxHz, defaults[which], &hz))
        return true;
    if (call.params.size() > 1) {
        pushError(scpi::kParameterNotAllowed);
        return true;
    }
    const int kHz = static_cast<int>(std::llround(hz / 1000.0));
    const int rbw = core->GetRBWIndex(), att = core->GetAttenuation();
    // The commands of the command list that set a range: 103 by start and
    // stop, 104 by centre and span.
    switch (which) {
    case kCenter: {
        // The centre is kept and the span narrowed to fit around it, as on a
        // bench analyser (the range command would move the centre instead).
        const long long room =
            2LL * std::min<long long>(kHz - GetMinFrequency(1), GetMaxFrequency(1) - kHz);
        const int span = static_cast<int>(std::clamp<long long>(room, 0, stop - start));
        command(core, 104, kHz, span, rbw, att);
        // A window that keeps its span (zero span: 24 MHz) holds its centre
        // away from the band's edges; the centre snaps to the window's grid
        // (whole kHz, even, or the RBW step), but a centre held further off
        // than a step was not taken.
        const int grid = std::max(2, GetRBWFrequency(core->GetRBWKindMask(), core->GetRBWIndex()));
        if (std::abs(normal->GetCenter() - kHz) > grid)
            pushError(scpi::kDataOutOfRange, "centre held inside the band");
        break;
    }
    case kSpan:
        command(core, 104, normal->GetCenter(), kHz, rbw, att);
        // A window whose span is fixed (zero span, real time) keeps it.
        if (kHz != stop - start && normal->GetStop() - normal->GetStart() == stop - start)
            pushError(scpi::kDataOutOfRange, "span not taken");
        break;
    case kStart:
        command(core, 103, kHz, stop, rbw, att);
        break;
    case kStop:
        command(core, 103, start, kHz, rbw, att);
        break;
    }
    return true;
}

bool CScpiSession::frequencyCenter(const Call& call) {
    return frequency(call, kCenter);
}
bool CScpiSession::frequencySpan(const Call& call) {
    return frequency(call, kSpan);
}
bool CScpiSession::frequencyStart(const Call& call) {
    return frequency(call, kStart);
}
bool CScpiSession::frequencyStop(const Call& call) {
    return frequency(call, kStop);
}

bool CScpiSession::bandwidth(const Call& call) {
    CAnalysisCore* core = target(call);
    if (!core)
        return true;
    const int mask = core->GetRBWKindMask();
    if (call.query) {
        if (noParameters(call))
            answer(integerText(static_cast<long long>(GetRBWFrequency(mask, core->GetRBWIndex())) *
                               1000));
        return true;
    }
    int lowest = -1, highest = -1;
    for (int i = 0; i < kRbwIndexCount; ++i) {
        const int step = GetRBWFrequency(mask, i);
        if (step <= 0)
            continue;
        if (lowest < 0 || step < GetRBWFrequency(mask, lowest))
            lowest = i;
        if (highest < 0 || step > GetRBWFrequency(mask, highest))
            highest = i;
    }
    if (lowest < 0) {
        pushError(scpi::kHardwareMissing);
        return true;
    }
    double hz = 0;
    const double minHz = GetRBWFrequency(mask, lowest) * 1000.0;
    const double maxHz = GetRBWFrequency(mask, highest) * 1000.0;
    // Any bandwidth within the device's steps is taken as the nearest step.
    if (!number(call, 0, scpi::Unit::Frequency, 0, maxHz * 10, minHz, &hz))
        return true;
    int best = lowest;
    for (int i = 0; i < kRbwIndexCount; ++i) {
        const int step = GetRBWFrequency(mask, i);
        if (step > 0 &&
            std::fabs(step * 1000.0 - hz) < std::fabs(GetRBWFrequency(mask, best) * 1000.0 - hz))
            best = i;
    }
    command(core, 24, best);
    return true;
}

bool CScpiSession::referenceLevel(const Call& call) {
    CAnalysisCore* core = target(call);
    if (!core)
        return true;
    const double zero = GetZeroReferenceLevel();
    if (call.query) {
        if (noParameters(call))
            answer(QByteArray::number(zero + core->GetAttenuation(), 'f', 2));
        return true;
    }
    const int maxAtt = GetMaxAttenuation();
    double level = 0;
    if (!number(call, 0, scpi::Unit::Level, zero, zero + maxAtt, zero + 30, &level))
        return true;
    const int step = std::max(1, GetAttenuatorStep());
    int att = static_cast<int>(level - zero);
    att -= att % step;
    command(core, 17, std::clamp(att, 0, maxAtt));
    return true;
}

bool CScpiSession::perDivision(const Call& call) {
    CAnalysisCore* core = target(call);
    if (!core)
        return true;
    static constexpr int kPerDivision[] = {10, 5, 2}; // scales 1, 2, 3
    if (call.query) {
        const int scale = core->GetScale();
        if (noParameters(call))
            answer(integerText(scale >= 1 && scale <= 3 ? kPerDivision[scale - 1] : 0));
        return true;
    }
    double db = 0;
    if (!number(call, 0, scpi::Unit::Level, 2, 10, 10, &db))
        return true;
    for (int s = 0; s < 3; ++s) {
        if (db == kPerDivision[s]) {
            command(core, 31, s + 1);
            return true;
        }
    }
    pushError(scpi::kIllegalParameterValue, "10, 5 or 2 dB");
    return true;
}

bool CScpiSession::attenuation(const Call& call) {
    CAnalysisCore* core = target(call);
    if (!core)
        return true;
    if (call.query) {
        if (noParameters(call))
            answer(integerText(core->GetAttenuation()));
        return true;
    }
    const int maxAtt = GetMaxAttenuation();
    double db = 0;
    // An attenuation is a ratio: a DBM suffix is refused (-131).
    if (!number(call, 0, scpi::Unit::Ratio, 0, maxAtt, 30, &db))
        return true;
    const int step = std::max(1, GetAttenuatorStep());
    int att = static_cast<int>(db);
    att -= att % step;
    command(core, 17, att);
    return true;
}

// ---- Sweeps

bool CScpiSession::initiateContinuous(const Call& call) {
    CAnalysisCore* core = target(call);
    if (!core)
        return true;
    if (call.query) {
        if (noParameters(call))
            answer(core->GetAnalyzeFlag() ? "1" : "0");
        return true;
    }
    bool on = false;
    if (!boolean(call, 0, &on))
        return true;
    if (m_opCore == core)
        m_opSingle = false; // the window keeps the state asked for now
    if ((core->GetAnalyzeFlag() != 0) != on)
        command(core, 16);
    return true;
}

bool CScpiSession::initiate(const Call& call) {
    if (!noParameters(call))
        return true;
    CAnalysisCore* core = target(call);
    if (!core)
        return true;
    endOperation();
    const bool single = !core->GetAnalyzeFlag();
    startOperation(core, single);
    if (single)
        command(core, 16);
    return true;
}

bool CScpiSession::abort(const Call& call) {
    if (!noParameters(call))
        return true;
    CAnalysisCore* core = target(call);
    if (!core)
        return true;
    endOperation();
    if (core->GetAnalyzeFlag())
        command(core, 16);
    return true;
}

namespace {
// A line a window sweeps block by block: its store, the grid indices the
// sweep runs over (first up to end) and the index of its next block.
struct Sweep {
    const CTraceStore* line = nullptr;
    long long first = 0, end = 0, position = 0;
};
// The lines core sweeps block by block (the XPD window its two paths); 0 for
// the kinds that measure otherwise.
int sweptLines(CAnalysisCore* core) {
    if (dynamic_cast<CXpdAnalysis*>(core))
        return 2;
    if (dynamic_cast<CMedicalAnalysis*>(core))
        return 1;
    const int kind = core->GetAnalysisType();
    return (kind == 1 || kind == 2) && dynamic_cast<CNormalAnalysis*>(core) ? 1 : 0;
}
Sweep sweepOf(CAnalysisCore* core, int k) {
    if (auto* xpd = dynamic_cast<CXpdAnalysis*>(core)) {
        const CTraceStore& line = xpd->PathStore(k, 0);
        return {&line, 0, static_cast<long long>(line.GetPoints()), xpd->GetPathPosition(k)};
    }
    // The medical window sweeps its narrow band in pieces between its wide sweeps.
    if (auto* medical = dynamic_cast<CMedicalAnalysis*>(core))
        return {core->GetDataLine(), medical->GetNarrowFirst(), medical->GetNarrowEnd(),
                medical->GetNarrowPosition()};
    auto* normal = static_cast<CNormalAnalysis*>(core);
    return {normal->GetDataLine(), 0, static_cast<long long>(normal->GetDataLine()->GetPoints()),
            normal->GetSweepPosition()};
}
// The line the last block went to; -1 for a block of none of them (the
// medical window's wide sweep: the phase is 0 after a narrow piece).
int lastBlockLine(CAnalysisCore* core) {
    if (auto* xpd = dynamic_cast<CXpdAnalysis*>(core))
        return 1 - xpd->GetPathSelect();
    if (auto* medical = dynamic_cast<CMedicalAnalysis*>(core))
        return medical->GetPhase() == 0 ? 0 : -1;
    return 0;
}
} // namespace

void CScpiSession::startOperation(CAnalysisCore* core, bool single) {
    m_opCore = core;
    m_opTime = false;
    m_opId = core->GetId();
    m_opSingle = single;
    // A block under way began before INIT: it does not count.
    m_opSkip = core->GetTaskRunning() != 0;
    for (int k = 0; k < 2; ++k) {
        m_opCovered[k] = 0;
        m_opPosition[k] = k < sweptLines(core) ? sweepOf(core, k).position : 0;
    }
}

void CScpiSession::endOperation() {
    if (!m_opCore)
        return;
    m_opCore = nullptr;
    m_opTime = false;
    m_linkLostSince.reset();
    m_opId = 0;
    if (m_opcPending)
        m_esr |= kEsrOperationComplete;
    m_opcPending = false;
}

void CScpiSession::DataArrived(CAnalysisCore* core) {
    if (!m_opCore || core != m_opCore || core->GetId() != m_opId)
        return;
    // A swept window is done when every point its sweep runs over was stored
    // since INIT; the other kinds with their first block of data.
    if (const int lines = sweptLines(core)) {
        const int k = lastBlockLine(core);
        const Sweep sweep = sweepOf(core, std::max(k, 0));
        const long long points = sweep.line->GetPoints();
        const long long end = sweep.position;
        const long long before = m_opPosition[std::max(k, 0)];
        const long long start = before < sweep.first || before >= sweep.end ? sweep.first : before;
        if (k >= 0)
            m_opPosition[k] = end;
        if (m_opSkip) {
            m_opSkip = false;
            return;
        }
        if (k < 0)
            return;
        // The first block after the traces were restarted only restarts them
        // (the trace's last position is then the grid's end past the block's
        // start, not the block's end); a sweep that went back began again. A
        // block that spans the whole grid ends where a restart would: it
        // restarted the traces when its first point holds the restart word.
        const CTraceStore* line = sweep.line;
        const bool restarted =
            static_cast<long long>(line->GetLastPosition()) != end ||
            (start == 0 && end == points && line->HasArray() && line->GetData()[0] == kLowestLevel);
        if (restarted || end < start)
            m_opCovered[k] = 0;
        else
            m_opCovered[k] += end - start;
        for (int i = 0; i < lines; ++i)
            if (m_opCovered[i] < sweepOf(core, i).end - sweepOf(core, i).first)
                return;
    } else if (m_opSkip) {
        m_opSkip = false;
        return;
    } else if (m_opTime) {
        // A time capture is done with the first capture's data; a spectrum
        // block before it does not count.
        auto* zeroSpan = dynamic_cast<CZeroSpanAnalysis*>(core);
        if (!zeroSpan || !zeroSpan->GetTimeCapture())
            return;
    } else if (const CTraceStore* line = core->GetDataLine(); line && line->HasArray()) {
        // A block that only restarted the traces (its last position lies
        // past the grid's end, or at it with the restart word at the start)
        // brought no data.
        const long long last = line->GetLastPosition(), points = line->GetPoints();
        if (last > points || (last == points && line->GetData()[0] == kLowestLevel))
            return;
    }
    const bool single = m_opSingle;
    endOperation();
    if (single && core->GetAnalyzeFlag())
        command(core, 16);
}

bool CScpiSession::CheckOperation(std::chrono::milliseconds linkLossLimit) {
    if (!m_opCore)
        return false;
    if (!m_opCore->GetAnalyzeFlag()) {
        endOperation();
        pushError(scpi::kExecutionError, "analysis stopped");
        return true;
    }
    // While the link is lost no data come; the wait ends once it has been
    // lost for the limit, so that a client is not held for ever.
    if (!m_link->RemoteDeviceLost()) {
        m_linkLostSince.reset();
        return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!m_linkLostSince)
        m_linkLostSince = now;
    if (now - *m_linkLostSince < linkLossLimit)
        return false;
    CAnalysisCore* core = m_opCore;
    const bool single = m_opSingle;
    endOperation();
    if (single && core->GetAnalyzeFlag())
        command(core, 16);
    pushError(scpi::kHardwareError, "device link lost");
    return true;
}

void CScpiSession::WindowClosing(CAnalysisCore* core) {
    if (m_opCore == core) {
        endOperation();
        pushError(scpi::kExecutionError, "window closed");
    }
    if (m_selected == core)
        m_selected = nullptr;
}

// ---- Data

bool CScpiSession::format(const Call& call) {
    if (call.query) {
        answer(m_real32 ? "REAL,32" : "ASC,8");
        return true;
    }
    if (call.params.empty()) {
        pushError(scpi::kMissingParameter);
        return true;
    }
    const Param& p = call.params[0];
    if (p.kind == Param::Kind::Mnemonic && (p.text == "ASC" || p.text == "ASCII") &&
        call.params.size() <= 2) {
        m_real32 = false;
    } else if (p.kind == Param::Kind::Mnemonic && p.text == "REAL" &&
               (call.params.size() == 1 ||
                (call.params.size() == 2 && call.params[1].kind == Param::Kind::Number &&
                 call.params[1].number == 32))) {
        m_real32 = true;
    } else {
        pushError(scpi::kIllegalParameterValue);
    }
    return true;
}

bool CScpiSession::byteOrder(const Call& call) {
    if (call.query) {
        answer(m_swapped ? "SWAP" : "NORM");
        return true;
    }
    int order = 0;
    if (choice(call, {"NORM", "NORMAL", "SWAP", "SWAPPED"}, &order))
        m_swapped = order >= 2;
    return true;
}

QByteArray CScpiSession::block(const QByteArray& bytes) const {
    const QByteArray length = QByteArray::number(bytes.size());
    return "#" + QByteArray::number(length.size()) + length + bytes;
}

QByteArray CScpiSession::levels(const CTraceStore& trace) const {
    const short* words = trace.GetData();
    const std::size_t n = trace.GetPoints();
    const int unitOffset = CTraceStore::UnitOffset(trace.GetUnit());
    QByteArray out;
    if (m_real32) {
        QByteArray bytes(static_cast<qsizetype>(n * 4), Qt::Uninitialized);
        char* p = bytes.data();
        for (std::size_t i = 0; i < n; ++i, p += 4) {
            const float v = static_cast<float>(levelOf(DbmWord(words[i], unitOffset)));
            if (m_swapped)
                qToLittleEndian(v, p);
            else
                qToBigEndian(v, p);
        }
        return block(bytes);
    }
    out.reserve(static_cast<qsizetype>(n * 8));
    for (std::size_t i = 0; i < n; ++i) {
        if (i)
            out += ',';
        ScpiAppendLevel(out, DbmWord(words[i], unitOffset));
    }
    return out;
}

namespace {
// Trace k of core (as traceIndex names it); null when the window has none.
const CTraceStore* traceStore(CAnalysisCore* core, int k) {
    if (k == CScpiSession::kTimeLine) {
        auto* zeroSpan = dynamic_cast<CZeroSpanAnalysis*>(core);
        return zeroSpan ? &zeroSpan->GetTimeTrace(0) : nullptr;
    }
    return k == 0 ? core->GetDataLine() : core->GetTrace(k);
}
} // namespace

const CTraceStore* CScpiSession::traceOf(CAnalysisCore* core, int k) {
    if (k == kTimeLine && !dynamic_cast<CZeroSpanAnalysis*>(core)) {
        pushError(scpi::kSettingsConflict, "no time capture in this window kind");
        return nullptr;
    }
    const CTraceStore* trace = traceStore(core, k);
    if (!trace || !trace->HasArray()) {
        pushError(scpi::kSettingsConflict, "no trace data");
        return nullptr;
    }
    return trace;
}

bool CScpiSession::traceData(const Call& call) {
    CAnalysisCore* core = target(call);
    int k = 0;
    if (!core || !traceIndex(call, 0, &k))
        return true;
    if (call.params.size() > 1) {
        pushError(scpi::kParameterNotAllowed);
        return true;
    }
    if (const CTraceStore* trace = traceOf(core, k))
        answer(levels(*trace));
    return true;
}

bool CScpiSession::tracePoints(const Call& call) {
    CAnalysisCore* core = target(call);
    int k = 0;
    if (!core || !traceIndex(call, 0, &k))
        return true;
    if (k == kTimeLine && !dynamic_cast<CZeroSpanAnalysis*>(core)) {
        pushError(scpi::kSettingsConflict, "no time capture in this window kind");
        return true;
    }
    const CTraceStore* trace = traceStore(core, k);
    answer(integerText(trace && trace->HasArray() ? trace->GetPoints() : 0));
    return true;
}

QByteArray CScpiSession::xValues(CAnalysisCore* core, const CTraceStore& trace, bool time) const {
    const long long start = trace.GetStart(), step = trace.GetStep();
    const std::size_t n = trace.GetPoints();
    // A time line holds a sample per step us from the capture's start; its
    // times count from the trigger point (sample N - P of a triggered
    // capture, the capture's start when it runs free), in s.
    long long first = start * 1000; // Hz, or ns of a time line
    long long stepX = step * 1000;
    if (time) {
        // The trigger point of the capture the line holds, not of the
        // trigger settings of now.
        auto* zeroSpan = static_cast<CZeroSpanAnalysis*>(core);
        const long long pre = zeroSpan->GetShownCapture().TriggerSample();
        first = (start - pre * step) * 1000;
    }
    const auto x = [&](std::size_t i) {
        const long long v = first + static_cast<long long>(i) * stepX;
        return time ? v * 1e-9 : static_cast<double>(v);
    };
    if (m_real32) {
        QByteArray bytes(static_cast<qsizetype>(n * 4), Qt::Uninitialized);
        char* p = bytes.data();
        for (std::size_t i = 0; i < n; ++i, p += 4) {
            const float v = static_cast<float>(x(i));
            if (m_swapped)
                qToLittleEndian(v, p);
            else
                qToBigEndian(v, p);
        }
        return block(bytes);
    }
    QByteArray out;
    out.reserve(static_cast<qsizetype>(n * 12));
    for (std::size_t i = 0; i < n; ++i) {
        if (i)
            out += ',';
        if (time)
            out += QByteArray::number(x(i), 'f', 4); // whole 100 us steps
        else
            out += QByteArray::number(first + static_cast<long long>(i) * stepX);
    }
    return out;
}

bool CScpiSession::traceX(const Call& call) {
    CAnalysisCore* core = target(call);
    int k = 0;
    if (!core || !traceIndex(call, 0, &k))
        return true;
    // The zero-span window's traces 1 and 2 are time lines too.
    const bool time = k == kTimeLine || (k > 0 && dynamic_cast<CZeroSpanAnalysis*>(core));
    if (const CTraceStore* trace = traceOf(core, k))
        answer(xValues(core, *trace, time));
    return true;
}

// ---- Markers

namespace {
CMarkerContext* markerOf(CAnalysisCore* core, int n) {
    return n >= 1 && n <= kMarkerCount ? core->GetMarker(n) : nullptr;
}
} // namespace

bool CScpiSession::markerState(const Call& call) {
    CAnalysisCore* core = target(call);
    if (!core)
        return true;
    const int n = call.suffix[0];
    CMarkerContext* marker = markerOf(core, n);
    if (!marker) {
        pushError(scpi::kHeaderSuffixOutOfRange);
        return true;
    }
    if (call.query) {
        answer(marker->GetRedrawFlag() ? "1" : "0");
        return true;
    }
    bool on = false;
    if (!boolean(call, 0, &on))
        return true;
    if (!on) {
        pushError(scpi::kSettingsConflict, "a marker is hidden from the window only");
        return true;
    }
    // Action 34 selects the marker and shows it (choosing the selected one
    // again would deselect it).
    if (core->GetCurrentMarkerIndex() != n)
        command(core, 34, n);
    return true;
}

namespace {
// Selects marker n as the command list does, for the marker actions that work
// on the current marker.
bool selectMarker(CRemoteLink* link, CAnalysisCore* core, int n) {
    if (n < 1 || n > kMarkerCount)
        return false;
    if (core->GetCurrentMarkerIndex() != n)
        link->RemoteCommand(core, 34, n);
    return true;
}
} // namespace

// Selects the call's marker and runs a marker action on it (36 peak search,
// 37 next peak).
bool CScpiSession::markerAction(const Call& call, int action) {
    CAnalysisCore* core = target(call);
    if (!core || !noParameters(call))
        return true;
    if (!selectMarker(m_link, core, call.suffix[0])) {
        pushError(scpi::kHeaderSuffixOutOfRange);
        return true;
    }
    command(core, action);
    return true;
}

bool CScpiSession::markerMax(const Call& call) {
    return markerAction(call, 36);
}

bool CScpiSession::markerNext(const Call& call) {
    return markerAction(call, 37);
}

bool CScpiSession::markerX(const Call& call) {
    CAnalysisCore* core = target(call);
    if (!core)
        return true;
    CMarkerContext* marker = markerOf(core, call.suffix[0]);
    if (!marker) {
        pushError(scpi::kHeaderSuffixOutOfRange);
        return true;
    }
    if (call.query) {
        answer(integerText(static_cast<long long>(marker->GetSelectedFrequency()) * 1000));
        return true;
    }
    double hz = 0;
    if (!number(call, 0, scpi::Unit::Frequency, 0, GetMaxFrequency(1) * 1000.0, 0, &hz))
        return true;
    // Action 105 places marker p1 at p2 kHz and shows it; outside the window's
    // range it would take the centre instead, so such a place is refused.
    const int kHz = static_cast<int>(std::llround(hz / 1000.0));
    if (auto* normal = dynamic_cast<CNormalAnalysis*>(core);
        normal && (kHz < normal->GetStart() || kHz > normal->GetStop())) {
        pushError(scpi::kDataOutOfRange, "outside the window's range");
        return true;
    }
    command(core, 105, call.suffix[0], kHz);
    return true;
}

bool CScpiSession::markerY(const Call& call) {
    CAnalysisCore* core = target(call);
    if (!core || !noParameters(call))
        return true;
    CMarkerContext* marker = markerOf(core, call.suffix[0]);
    if (!marker) {
        pushError(scpi::kHeaderSuffixOutOfRange);
        return true;
    }
    const CTraceStore* line = core->GetDataLine();
    const short word = line ? line->Sample(marker->GetSelectedFrequency()) : kNoSample;
    answer(QByteArray::number(
        levelOf(DbmWord(word, line ? CTraceStore::UnitOffset(line->GetUnit()) : 0)), 'f', 2));
    return true;
}

bool CScpiSession::markerBandPower(const Call& call) {
    CAnalysisCore* core = target(call);
    if (!core)
        return true;
    CMarkerContext* marker = markerOf(core, call.suffix[0]);
    if (!marker) {
        pushError(scpi::kHeaderSuffixOutOfRange);
        return true;
    }
    const double stepHz = GetRBWFrequency(core->GetRBWKindMask(), core->GetRBWIndex()) * 1000.0;
    double width = stepHz * 10;
    if (!call.params.empty() &&
        !number(call, 0, scpi::Unit::Frequency, stepHz, GetMaxFrequency(1) * 1000.0, width, &width))
        return true;
    const CTraceStore* line = core->GetDataLine();
    double power = kNoLevelDb;
    if (line && line->HasArray()) {
        // The band is centred on the marker, moved inside the trace at its ends.
        const long long first = line->GetStart();
        const long long last = first + static_cast<long long>(line->GetPoints()) * line->GetStep();
        const long long kHz = std::min(std::llround(width / 1000.0), last - first);
        const long long low =
            std::clamp(marker->GetSelectedFrequency() - kHz / 2, first, last - kHz);
        power = line->BandPower(low, kHz);
        if (power != kNoLevelDb)
            power -= CTraceStore::UnitOffset(line->GetUnit()) * kLevelUnitDb;
    }
    answer(QByteArray::number(power, 'f', 2));
    return true;
}
