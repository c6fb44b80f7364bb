// CXpdAnalysis: its CSV data section. Fourteen parameter lines, then the
// first path's points and the second path's, each block under a header that
// names its path. Reading takes the parameters in the order written, rebuilds
// the grid from them and stores both blocks into the two paths' traces.
#include "modes/xpdanalysis.h"

#include "analysis/csvfile.h"
#include "lib/stringtable.h"
#include "modes/keytables.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {
constexpr const char* kColumns[2] = {"RF1 Frequency,DataLine,Trace1,Trace2,Trace3,Trace4,Trace5",
                                     "RF2 Frequency,DataLine,Trace1,Trace2,Trace3,Trace4,Trace5"};
constexpr int kIntParams = 8;
constexpr int kTextParams = 6;

// The text after the first comma of a parameter line.
std::string valueOf(const std::string& line) {
    const size_t comma = line.find(',');
    return comma == std::string::npos ? std::string() : line.substr(comma + 1);
}

// A whole number in text, nothing but blanks around it; false for anything else.
bool wholeNumber(const std::string& text, double* value) {
    const char* begin = text.c_str();
    char* end = nullptr;
    *value = std::strtod(begin, &end);
    if (end == begin)
        return false;
    while (*end == ' ' || *end == '\t' || *end == '\r')
        ++end;
    return *end == '\0';
}

// An integer parameter held to [lo, hi]; fallback when there is none.
int intParam(const std::string& text, int lo, int hi, int fallback) {
    double v = 0;
    if (!wholeNumber(text, &v) || std::isnan(v))
        return fallback;
    return static_cast<int>(std::clamp(v, static_cast<double>(lo), static_cast<double>(hi)));
}

// A level in dB; fallback unless it is a finite number within the levels.
double levelParam(const std::string& text, double fallback) {
    double v = 0;
    if (!wholeNumber(text, &v) || !std::isfinite(v) || std::fabs(v) > CXpdAnalysis::kLevelLimitDb)
        return fallback;
    return v;
}
} // namespace

int CXpdAnalysis::WriteCSVSections(CStdioFile& file) {
    const CTraceStore& line = m_traces[0];
    CString params;
    params.Format("%s\n"
                  "Start Freq,%d\n"
                  "Step Freq,%d\n"
                  "Points,%d\n"
                  "Attenuator,%d\n"
                  "xAxisStart,%d\n"
                  "xAxisStop,%d\n"
                  "FrequencyFlag,%d\n"
                  "Unit,%d\n",
                  kCsvParamMarker, static_cast<int>(line.GetStart()),
                  static_cast<int>(line.GetStep()), static_cast<int>(line.GetPoints()),
                  m_attenuation, static_cast<int>(m_graph.xMin), static_cast<int>(m_graph.xMax),
                  m_frequencyMode, m_unit);
    file.WriteString(params);
    params.Format("PriPortName,%s\n"
                  "SecPortName,%s\n"
                  "BaseWait,%d\n"
                  "DownWait,%d\n"
                  "AlarmValue,%f\n"
                  "DetectLevel,%f\n",
                  m_priPortName.c_str(), m_secPortName.c_str(), m_baseWait, m_downWait,
                  m_alarmValue, m_detectLevel);
    file.WriteString(params);
    file.WriteString(CString(kCsvDataMarker) + "\n");
    for (int path = 0; path < 2; ++path) {
        file.WriteString(CString(kColumns[path]) + "\n");
        const CTraceStore& grid = PathStore(path, 0);
        for (DWORD i = 0; i < grid.GetPoints(); ++i) {
            const long long f = static_cast<long long>(grid.GetStart()) +
                                static_cast<long long>(i) * grid.GetStep();
            double level[kTraceStores];
            for (int k = 0; k < kTraceStores; ++k)
                level[k] = PathStore(path, k).Sample(f) * kLevelUnitDb;
            CString row;
            row.Format("%d,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f\n", static_cast<int>(f), level[0],
                       level[1], level[2], level[3], level[4], level[5]);
            file.WriteString(row);
        }
    }
    return file.HasFailed() ? 0 : 1;
}

int CXpdAnalysis::ReadCSVSections(const char* path) {
    // A window showing a file drives no controllers; its panel shows the XPD
    // of the data read.
    m_showsFile = true;
    const int ok = ReadCsvPaths(path);
    EvaluateLevels();
    PublishValues();
    return ok;
}

int CXpdAnalysis::ReadCsvPaths(const char* path) {
    CCsvFile file;
    // Start Freq, Step Freq, Points, Attenuator, xAxisStart, xAxisStop,
    // FrequencyFlag, Unit; then the ports, the waits and the two levels.
    int p[kIntParams];
    if (!ReadCsvParams(file, path, p, kIntParams))
        return 0;
    std::string text[kTextParams];
    for (std::string& t : text) {
        if (!file.ReadLine(t))
            return 0;
        t = valueOf(t);
    }
    // The file's step must be one of this device's RBW steps.
    int rbw = -1;
    for (int i = 0; i < kRbwIndexCount && p[1] > 0; ++i)
        if (DeviceRBWFrequency(kKindMask, i) == p[1]) {
            rbw = i;
            break;
        }
    if (rbw < 0) {
        m_readFailure = kStrCsvGridUnusable;
        return 0;
    }
    TakeCsvRange(p[4], p[5], p[3], p[6]);
    m_rbwIndex = rbw;
    ValidateParameters();
    SetUnitAll(p[7] >= 1 && p[7] <= 3 ? p[7] : m_unit);
    // Values that are no number, out of their key's range or not of their
    // key's form keep what the window had.
    const CKeyTable& keys = KeyTableOf(GetAnalysisType());
    const auto port = [&](const std::string& t, const char* key, CString* field) {
        const TextKeyRange* k = keys.FindText(key);
        if (k && k->Accepts(CString(t)))
            *field = CString(t);
    };
    port(text[0], "PriPortName", &m_priPortName);
    port(text[1], "SecPortName", &m_secPortName);
    const auto whole = [&](const std::string& t, const char* key, int current) {
        const KeyRange* k = keys.Find(key);
        return k ? intParam(t, k->low, k->high, current) : current;
    };
    m_baseWait = whole(text[2], "BaseWait", m_baseWait);
    m_downWait = whole(text[3], "DownWait", m_downWait);
    m_alarmValue = levelParam(text[4], m_alarmValue);
    m_detectLevel = levelParam(text[5], m_detectLevel);
    PublishValues();
    Reconfigure(TRUE);
    if (p[0] != kCsvMissing && static_cast<long long>(m_traces[0].GetStart()) != p[0]) {
        m_readFailure = kStrCsvGridUnusable;
        return 0;
    }
    if (!file.FindSection(kCsvDataMarker))
        return 0;
    // Each block: its header, then at most the file's count of rows; a block
    // cut short by the end of the file keeps what was read.
    const long long rows = p[2] >= 0 ? p[2] : static_cast<long long>(m_traces[0].GetPoints());
    for (int pathIndex = 0; pathIndex < 2; ++pathIndex) {
        std::string header;
        if (!file.ReadLine(header))
            return pathIndex == 1 ? 1 : 0;
        CTraceStore* traces[kTraceStores];
        for (int k = 0; k < kTraceStores; ++k)
            traces[k] = &PathStore(pathIndex, k);
        CCsvLine row;
        for (long long i = 0; i < rows; ++i) {
            bool refused = false;
            if (!file.ReadRow(&row, &refused))
                return 1;
            if (!refused)
                StoreCsvRow(traces, row, i);
        }
    }
    return 1;
}
