// CZeroSpanAnalysis: its CSV data section. After the normal parameter lines
// come the seven keys of the time capture, then one row per spectrum point
// (frequency and data line level) and, after an empty line, one row per time
// sample (time in us and the levels of the time DataLine, Trace1 and Trace2).
#include "modes/zerospananalysis.h"

#include "analysis/csvfile.h"
#include "modes/keytables.h"
#include "platform/cfile.h"

#include <algorithm>
#include <string>

namespace {
constexpr const char* kSpectrumColumns = "Frequency,DataLine";
constexpr const char* kTimeColumns = "Time,DataLine,Trace1,Trace2";
constexpr int kNormalParams = 9;
constexpr int kParams = 16;
// Rows are handed to the file in blocks of about this size.
constexpr size_t kWriteBlock = 1 << 16;

bool Flush(CStdioFile& file, std::string& out, size_t atLeast) {
    if (out.size() < atLeast)
        return true;
    const bool ok = file.WriteString(out.c_str());
    out.clear();
    return ok;
}
} // namespace

int CZeroSpanAnalysis::WriteCSVSections(CStdioFile& file) {
    CString params = CsvParamLines();
    // The time rows are the capture shown: the file names the trigger and
    // the bins it was measured with.
    const CTimeCapture shown = GetShownCapture();
    CString capture;
    capture.Format("TriggerTimePosition,%d\n"
                   "TriggerMode,%d\n"
                   "TimeSpan,%d\n"
                   "TriggerType,%d\n"
                   "StartBin,%u\n"
                   "StopBin,%u\n"
                   "AccumulateMode,%d\n",
                   shown.triggerTimePosition, m_triggerMode, m_timeSpan, shown.triggerType,
                   static_cast<unsigned>(shown.startBin), static_cast<unsigned>(shown.stopBin),
                   static_cast<int>(static_cast<signed char>(shown.accumulateMode)));
    file.WriteString(params + capture);

    std::string out;
    out.reserve(kWriteBlock + 256);
    out.append(kCsvDataMarker).append("\n").append(kSpectrumColumns).append("\n");
    const CTraceStore& line = m_traces[0];
    const long long start = line.GetStart();
    const long long step = line.GetStep();
    for (long long i = 0; i < static_cast<long long>(line.GetPoints()); ++i) {
        const long long f = start + i * step;
        AppendCsvInt(out, f);
        out += ',';
        AppendCsvLevel(out, line.Sample(f));
        out += '\n';
        if (!Flush(file, out, kWriteBlock))
            return 0;
    }
    out.append("\n").append(kTimeColumns).append("\n");
    const long long samples = static_cast<long long>(m_timeSpan) * kSamplesPerMs;
    for (long long j = 0; j < samples; ++j) {
        const long long t = j * kSampleStepUs;
        AppendCsvInt(out, t);
        for (const CDataLineContext& trace : m_timeTraces) {
            out += ',';
            AppendCsvLevel(out, trace.Sample(t));
        }
        out += '\n';
        if (!Flush(file, out, kWriteBlock))
            return 0;
    }
    file.WriteString(out.c_str());
    return file.HasFailed() ? 0 : 1;
}

int CZeroSpanAnalysis::ReadCSVSections(const char* path) {
    // The normal parameters; then TriggerTimePosition, TriggerMode, TimeSpan,
    // TriggerType, StartBin, StopBin, AccumulateMode.
    CCsvFile file;
    int p[kParams];
    if (!ReadCsvParams(file, path, p, kParams))
        return 0;
    // The rows lie one step of the file's RBW index apart; this device must
    // give that index the same step.
    const int rbw = p[7] != kCsvMissing ? p[7] : m_rbwIndex;
    const int step = rbw >= 0 && rbw < kRbwIndexCount ? DeviceRBWFrequency(kKind, rbw) : 0;
    if (step <= 0 || (p[1] != kCsvMissing && p[1] != step)) {
        m_readFailure = kStrCsvGridUnusable;
        return 0;
    }
    m_rbwIndex = rbw;
    if (p[3] != kCsvMissing)
        m_attenuation = p[3];
    ValidateParameters();
    // The spectrum is the 24 MHz about the file's axis centre.
    if (p[4] != kCsvMissing && p[5] != kCsvMissing)
        SetCenter(static_cast<int>((static_cast<long long>(p[4]) + p[5]) / 2));
    const int unit = p[8] == kCsvMissing ? m_unit : p[8];
    SetUnitAll(unit >= 1 && unit <= 3 ? unit : 1);
    const int* capture = p + kNormalParams;
    const CKeyTable& keys = KeyTableOf(GetAnalysisType());
    if (capture[0] != kCsvMissing)
        m_triggerTimePosition = keys.Checked("TriggerTimePosition", capture[0]);
    if (capture[1] != kCsvMissing)
        m_triggerMode = keys.Checked("TriggerMode", capture[1]);
    if (capture[2] != kCsvMissing) {
        // The time rows follow from the span: a file with another span is
        // not this window's.
        if (keys.Checked("TimeSpan", capture[2]) != capture[2])
            return 0;
        m_timeSpan = capture[2];
    }
    if (capture[3] != kCsvMissing)
        m_triggerType = keys.Checked("TriggerType", capture[3]);
    const BYTE startBin = capture[4] != kCsvMissing
                              ? static_cast<BYTE>(keys.Checked("StartBin", capture[4]))
                              : m_startBin;
    const BYTE stopBin = capture[5] != kCsvMissing
                             ? static_cast<BYTE>(keys.Checked("StopBin", capture[5]))
                             : m_stopBin;
    CMarkerContext& marker = GetZeroSpanMarker();
    if (capture[6] != kCsvMissing)
        marker.SetDeltaMode(keys.Checked("AccumulateMode", capture[6]));
    // The grids of the file: the spectrum and TimeSpan x 10 time samples.
    Reconfigure(TRUE);
    // The zero-span marker stands on the bins the file was captured from.
    m_startBin = startBin;
    m_stopBin = stopBin;
    marker.SetLockFrequency(BaseFrequency() + startBin * step);
    marker.SetChildLockFrequency(BaseFrequency() + stopBin * step);
    if (p[0] != kCsvMissing && static_cast<long long>(m_traces[0].GetStart()) != p[0]) {
        m_readFailure = kStrCsvGridUnusable;
        return 0;
    }

    if (!file.FindSection(kCsvDataMarker))
        return 0;
    std::string header;
    if (!file.ReadLine(header))
        return 0;
    CCsvLine row;
    CTraceStore& line = m_traces[0];
    const long long points = p[2] >= 0 ? p[2] : static_cast<long long>(line.GetPoints());
    for (long long i = 0; i < points; ++i) {
        bool refused = false;
        if (!file.ReadRow(&row, &refused))
            return 0;
        short word = 0;
        if (refused || line.GetPoints() == 0 || !row.LevelField(0, &word))
            return 0;
        const DWORD index = static_cast<DWORD>(
            std::min<long long>(i, static_cast<long long>(line.GetPoints()) - 1));
        line.SetWord(index, word);
    }
    // The empty line and the time header.
    if (!file.ReadLine(header) || !file.ReadLine(header))
        return 0;
    const long long samples = static_cast<long long>(m_timeSpan) * kSamplesPerMs;
    for (long long j = 0; j < samples; ++j) {
        bool refused = false;
        if (!file.ReadRow(&row, &refused) || refused)
            return 0;
        for (int k = 0; k < kTimeTraces; ++k) {
            CDataLineContext& trace = m_timeTraces[static_cast<size_t>(k)];
            short word = 0;
            if (!row.LevelField(k, &word))
                return 0;
            const DWORD index = static_cast<DWORD>(
                std::min<long long>(j, static_cast<long long>(trace.GetPoints()) - 1));
            trace.SetWord(index, word);
        }
    }
    // The time rows are a capture of the file's settings.
    m_capture = CaptureOfNow();
    m_hasCapture = true;
    Reconfigure(FALSE);
    return 1;
}
