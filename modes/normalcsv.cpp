// CNormalAnalysis: its CSV data section. After the common frame come nine
// parameter lines and one row per grid point with the frequency and the levels
// of the data line and Trace1..Trace5 in the traces' unit. Reading rebuilds the
// grid from the file's parameters and stores the rows into the six traces.
#include "modes/normalanalysis.h"

#include "analysis/csvfile.h"
#include "lib/stringtable.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace {

constexpr const char* kDataColumns = "Frequency,DataLine,Trace1,Trace2,Trace3,Trace4,Trace5";
constexpr int kParamLines = 9;
// A row's frequency and six levels take at most this many bytes.
constexpr size_t kRowBytes = 24 + 6 * 8;

char* PutInt(char* p, long long v) {
    return std::to_chars(p, p + 24, v).ptr;
}

// The level of a word in dB with two decimals, exactly as printf's "%.2f" of
// word x 0.006103515625 gives it. In hundredths of a dB the level is
// word x 625 / 1024, so the text is made with integers: rounded to the
// nearest hundredth, an exact half to the even one, as printf rounds the
// exact binary value; a negative level that rounds to zero keeps its sign.
// At most 7 bytes ("-200.00").
char* PutLevel(char* p, short word) {
    const int scaled = word * 625;
    const unsigned magnitude = static_cast<unsigned>(scaled < 0 ? -scaled : scaled);
    unsigned hundredths = magnitude >> 10;
    const unsigned rest = magnitude & 1023u;
    if (rest > 512 || (rest == 512 && (hundredths & 1)))
        ++hundredths;
    if (scaled < 0)
        *p++ = '-';
    const unsigned whole = hundredths / 100; // at most 200
    const unsigned fraction = hundredths % 100;
    if (whole >= 100)
        *p++ = static_cast<char>('0' + whole / 100);
    if (whole >= 10)
        *p++ = static_cast<char>('0' + whole / 10 % 10);
    *p++ = static_cast<char>('0' + whole % 10);
    *p++ = '.';
    *p++ = static_cast<char>('0' + fraction / 10);
    *p++ = static_cast<char>('0' + fraction % 10);
    return p;
}

} // namespace

void CNormalAnalysis::AppendCsvLevel(std::string& out, short word) {
    char buf[8];
    out.append(buf, PutLevel(buf, word));
}

CString CNormalAnalysis::CsvExtraParams() {
    return CString();
}
void CNormalAnalysis::AppendCsvColumns(std::string&) {}
void CNormalAnalysis::AppendCsvRow(std::string&, long long) {}
bool CNormalAnalysis::ReadCsvExtraParams(CCsvFile&) {
    return true;
}
void CNormalAnalysis::ReadCsvRow(const CCsvLine&, long long) {}
void CNormalAnalysis::CsvRowsRead() {}

CString CNormalAnalysis::CsvParamLines() {
    const CTraceStore& line = m_traces[0];
    const long long start = line.GetStart();
    const long long step = line.GetStep();
    const long long points = line.GetPoints();
    CString params;
    params.Format("%s\n"
                  "Start Freq,%lld\n"
                  "Step Freq,%lld\n"
                  "Points,%lld\n"
                  "Attenuator,%d\n"
                  "xAxisStart,%d\n"
                  "xAxisStop,%d\n"
                  "FrequencyFlag,%d\n"
                  "RBWIndex,%d\n"
                  "Unit,%d\n",
                  kCsvParamMarker, start, step, points, m_attenuation,
                  static_cast<int>(m_graph.xMin), static_cast<int>(m_graph.xMax), m_frequencyMode,
                  m_rbwIndex, m_unit);
    params += CsvExtraParams();
    return params;
}

void CNormalAnalysis::AppendCsvInt(std::string& out, long long v) {
    char buf[24];
    out.append(buf, PutInt(buf, v));
}

int CNormalAnalysis::WriteCSVSections(CStdioFile& file) {
    const long long points = m_traces[0].GetPoints();

    file.WriteString(CsvParamLines());

    // A large file is written only when the user agrees; unattended logging
    // writes what it was set up to write.
    if (points > kMaxCsvPointsWithoutAsking && !m_loggingOutput.IsUnattended()) {
        const CCorePrompts& prompts = m_loggingOutput.Prompts();
        const char* question = GetTorvelString(kStrManyPointsQuestion);
        if (!prompts.askYesNo || !prompts.askYesNo(question ? question : ""))
            return 0;
    }

    std::string header;
    header.append(kCsvDataMarker).append("\n").append(kDataColumns);
    AppendCsvColumns(header);
    return WriteCsvRows(file, header, m_traces, true);
}

bool CNormalAnalysis::ReadCsvParams(CCsvFile& file, const char* path, int* params, int count) {
    m_readFailure = kStrFileNotRead;
    if (!file.Open(path))
        return false;
    file.ReadWriteTime(&m_lastDataTime);
    if (!file.FindSection(kCsvParamMarker))
        return false;
    for (int i = 0; i < count; ++i)
        if (!file.ReadParam(&params[i]))
            return false;
    return true;
}

void CNormalAnalysis::TakeCsvRange(int start, int stop, int attenuation, int frequencyMode) {
    // A missing (empty) value keeps the window's own. The range is brought
    // inside the device's limits before the grid is rebuilt from it.
    const int lo = DeviceMinFrequency(1);
    const int hi = std::max(lo, DeviceMaxFrequency(1));
    if (start != kCsvMissing)
        m_start = std::clamp(start, lo, hi);
    if (stop != kCsvMissing)
        m_stop = std::clamp(stop, lo, hi);
    if (attenuation != kCsvMissing)
        m_attenuation = attenuation;
    if (frequencyMode != kCsvMissing)
        m_frequencyMode = frequencyMode ? 1 : 0;
}

void CNormalAnalysis::StoreCsvRow(CTraceStore* const* traces, const CCsvLine& row, long long i) {
    short words[kTraceStores];
    const unsigned read = row.LevelFields(0, kTraceStores, words);
    for (int k = 0; k < kTraceStores; ++k) {
        CTraceStore& trace = *traces[k];
        if (trace.GetPoints() == 0 || !(read & (1u << k)))
            continue;
        const DWORD index = static_cast<DWORD>(
            std::min<long long>(i, static_cast<long long>(trace.GetPoints()) - 1));
        trace.SetWord(index, words[k]);
    }
}

int CNormalAnalysis::ReadCSVSections(const char* path) {
    CCsvFile file;
    // Start Freq, Step Freq, Points, Attenuator, xAxisStart, xAxisStop,
    // FrequencyFlag, RBWIndex, Unit, by position.
    int p[kParamLines];
    if (!ReadCsvParams(file, path, p, kParamLines))
        return 0;
    const int points = p[2];
    // The rows lie on the file's grid, one step of its RBW index apart. This
    // device must give that index the same step, or the rows would land on
    // other frequencies: then the file cannot be shown.
    const int rbw = p[7] != kCsvMissing ? p[7] : m_rbwIndex;
    const int step =
        rbw >= 0 && rbw < kRbwIndexCount ? DeviceRBWFrequency(GetRBWKindMask(), rbw) : 0;
    if (step <= 0 || (p[1] != kCsvMissing && p[1] != step)) {
        m_readFailure = kStrCsvGridUnusable;
        return 0;
    }
    TakeCsvRange(p[4], p[5], p[3], p[6]);
    m_rbwIndex = rbw;
    ValidateParameters();
    const int unit = p[8] == kCsvMissing ? m_unit : p[8];
    SetUnitAll(unit >= 1 && unit <= 3 ? unit : 1);
    if (!ReadCsvExtraParams(file))
        return 0;
    Reconfigure(TRUE);
    if (p[0] != kCsvMissing && static_cast<long long>(m_traces[0].GetStart()) != p[0]) {
        m_readFailure = kStrCsvGridUnusable;
        return 0;
    }

    if (!file.FindSection(kCsvDataMarker))
        return 0;
    std::string columns;
    if (!file.ReadLine(columns))
        return 0;
    // One row per point of the file; the file's count is only a bound (a
    // missing one: the grid's), and the end of the file ends the rows early.
    const long long rows = points >= 0 ? points : static_cast<long long>(m_traces[0].GetPoints());
    ReadCsvRows(file, m_traces, rows, true);
    CsvRowsRead();
    return 1;
}

int CNormalAnalysis::WriteCsvRows(CStdioFile& file, const std::string& header,
                                  const std::array<CDataLineContext, kTraceStores>& traces,
                                  bool extraColumns) {
    const CTraceStore& line = traces[0];
    const long long start = line.GetStart();
    const long long step = line.GetStep();
    const long long points = line.GetPoints();
    // A trace on the data line's grid is read by index; another one (none
    // today) through its own grid.
    const short* words[kTraceStores];
    for (size_t k = 0; k < traces.size(); ++k) {
        const CTraceStore& t = traces[k];
        const bool sameGrid = t.GetData() && t.GetStart() == line.GetStart() &&
                              t.GetStep() == line.GetStep() && t.GetPoints() >= line.GetPoints();
        words[k] = sameGrid ? t.GetData() : nullptr;
    }
    // The whole section is built in one buffer with the file's own line ends
    // and handed over in one write.
    const std::string_view lineEnd = file.LineEnd();
    std::string out;
    out.reserve(header.size() + static_cast<size_t>(points) * (kRowBytes + 2) + 64);
    for (const char c : header) {
        if (c == '\n')
            out.append(lineEnd);
        else
            out += c;
    }
    out.append(lineEnd);
    for (long long i = 0; i < points; ++i) {
        const long long f = start + i * step;
        char row[kRowBytes];
        char* p = PutInt(row, f);
        for (size_t k = 0; k < traces.size(); ++k) {
            *p++ = ',';
            p = PutLevel(p, words[k] ? words[k][i] : traces[k].Sample(f));
        }
        out.append(row, p);
        if (extraColumns)
            AppendCsvRow(out, i);
        out.append(lineEnd);
    }
    return file.Write(out.data(), static_cast<UINT>(out.size())) && !file.HasFailed() ? 1 : 0;
}

void CNormalAnalysis::ReadCsvRows(CCsvFile& file,
                                  std::array<CDataLineContext, kTraceStores>& traces,
                                  long long rows, bool extraColumns) {
    CTraceStore* stores[kTraceStores];
    for (int k = 0; k < kTraceStores; ++k)
        stores[k] = &traces[static_cast<size_t>(k)];
    CCsvLine row;
    for (long long i = 0; i < rows; ++i) {
        bool refused = false;
        if (!file.ReadRow(&row, &refused))
            break;
        if (refused)
            continue;
        StoreCsvRow(stores, row, i);
        if (extraColumns)
            ReadCsvRow(row, i);
    }
}
