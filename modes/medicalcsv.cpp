// CMedicalAnalysis: its CSV data section. The parameter lines describe the
// narrow and the wide grid, the axes and the channel panel; the data section
// holds the narrow rows, then the wide rows, each under its own header.
#include "modes/medicalanalysis.h"

#include "analysis/csvfile.h"
#include "modes/keytables.h"

#include <algorithm>
#include <string>

namespace {
constexpr const char* kNarrowColumns =
    "Narrow Frequency,DataLine,Trace1,Trace2,Trace3,Trace4,Trace5";
constexpr const char* kWideColumns = "Wide Frequency,DataLine,Trace1,Trace2,Trace3,Trace4,Trace5";
constexpr const char* kCurrentChannelKey = "CurrentChannel";
// The integer parameter lines before "CurrentChannel".
enum Param {
    kStart,
    kStep,
    kPoints,
    kAttenuator,
    kAxisStart,
    kAxisStop,
    kFrequencyFlag,
    kUnit,
    kWideStartParam,
    kWideStep,
    kWidePoints,
    kWideAxisStart,
    kWideAxisStop,
    kYAxisOffset,
    kCategoryNumber,
    kCategoryOffset,
    kIndexOffset,
    kParamCount
};
} // namespace

int CMedicalAnalysis::WriteCSVSections(CStdioFile& file) {
    const CTraceStore& narrow = m_traces[0];
    const CTraceStore& wide = m_wideTraces[0];
    CString params;
    params.Format("%s\n"
                  "Start Freq,%d\n"
                  "Step Freq,%d\n"
                  "Points,%d\n"
                  "Attenuator,%d\n"
                  "xAxisStart,%d\n"
                  "xAxisStop,%d\n"
                  "FrequencyFlag,%d\n"
                  "Unit,%d\n"
                  "Wide Start Freq,%d\n"
                  "Wide Step Freq,%d\n"
                  "Wide Points,%d\n"
                  "Wide xAxisStart,%d\n"
                  "Wide xAxisStop,%d\n"
                  "yAxisOffset,%d\n"
                  "CategoryNumber,%d\n"
                  "CategoryOffset,%d\n"
                  "CurrentChannelIndexOffset,%d\n",
                  kCsvParamMarker, static_cast<int>(narrow.GetStart()),
                  static_cast<int>(narrow.GetStep()), static_cast<int>(narrow.GetPoints()),
                  m_attenuation, static_cast<int>(m_graph.xMin), static_cast<int>(m_graph.xMax),
                  m_frequencyMode, m_unit, static_cast<int>(wide.GetStart()),
                  static_cast<int>(wide.GetStep()), static_cast<int>(wide.GetPoints()), m_wideStart,
                  m_wideStop, m_yAxisOffset, m_panel.GetCategoryNumber(),
                  m_panel.GetCategoryOffset(), m_panel.GetIndexOffset());
    file.WriteString(params);
    CString current = "CurrentChannel,-1\n";
    if (const CChannelObject* c = m_panel.GetCurrentChannel())
        current.Format("%s,%s\n", kCurrentChannelKey, static_cast<const char*>(c->GetTitle()));
    file.WriteString(current);
    file.WriteString((std::string(kCsvDataMarker) + "\n").c_str());
    if (!WriteCsvRows(file, kNarrowColumns, m_traces))
        return 0;
    return WriteCsvRows(file, kWideColumns, m_wideTraces);
}

int CMedicalAnalysis::ReadCSVSections(const char* path) {
    CCsvFile file;
    int p[kParamCount];
    if (!ReadCsvParams(file, path, p, kParamCount))
        return 0;
    std::string line;
    if (!file.ReadLine(line))
        return 0;
    const CCsvLine currentLine(line);
    if (currentLine.Key() != kCurrentChannelKey)
        return 0;

    // Both grids must be the ones this device gives the window, or the rows
    // would land on other frequencies.
    const int narrowStep = DeviceRBWFrequency(kKindMask, m_rbwIndex);
    const int wideStep = DeviceRBWFrequency(1, 1);
    if ((p[kStep] != kCsvMissing && p[kStep] != narrowStep) ||
        (p[kWideStep] != kCsvMissing && p[kWideStep] != wideStep)) {
        m_readFailure = kStrCsvGridUnusable;
        return 0;
    }
    const int lo = DeviceMinFrequency(1);
    const int hi = std::max(lo, DeviceMaxFrequency(1));
    auto take = [&](int value, int* field) {
        if (value != kCsvMissing)
            *field = std::clamp(value, lo, hi);
    };
    take(p[kAxisStart], &m_start);
    take(p[kAxisStop], &m_stop);
    take(p[kWideAxisStart], &m_wideStart);
    take(p[kWideAxisStop], &m_wideStop);
    if (m_wideStart >= m_wideStop) {
        m_wideStart = kWideStart;
        m_wideStop = kWideStop;
    }
    if (p[kAttenuator] != kCsvMissing)
        m_attenuation = p[kAttenuator];
    if (p[kFrequencyFlag] != kCsvMissing)
        m_frequencyMode = p[kFrequencyFlag] ? 1 : 0;
    if (p[kYAxisOffset] != kCsvMissing)
        m_yAxisOffset = KeyTableOf(GetAnalysisType()).Checked("YAxisOffset", p[kYAxisOffset]);
    ValidateRange();
    ValidateParameters();
    const int unit = p[kUnit] == kCsvMissing ? m_unit : p[kUnit];
    SetUnitAll(unit >= 1 && unit <= 3 ? unit : 1);
    // The title stands as it is after the key, up to a further comma (a
    // channel's title holds none, and may begin with a quote).
    const size_t comma = line.find(',');
    MakeCurrent(comma == std::string::npos
                    ? -1
                    : GetChannelIndex(
                          line.substr(comma + 1, line.find(',', comma + 1) - comma - 1).c_str()));
    if (p[kCategoryNumber] != kCsvMissing && p[kCategoryOffset] != kCsvMissing) {
        const int group = std::clamp(p[kCategoryNumber], CMedicalChannelPanel::kFirstLetterCategory,
                                     CMedicalChannelPanel::kFirstLetterCategory +
                                         4 * (CMedicalChannelPanel::kGroups - 1));
        m_panel.SetCategoryNumber(CMedicalChannelPanel::CategoryNumberOf(group));
        m_panel.SetCategoryOffset(std::clamp(p[kCategoryOffset], 0, 3));
    }
    if (p[kIndexOffset] != kCsvMissing)
        m_panel.SetIndexOffset(p[kIndexOffset]);
    Reconfigure(TRUE);
    if ((p[kStart] != kCsvMissing && static_cast<long long>(m_traces[0].GetStart()) != p[kStart]) ||
        (p[kWideStartParam] != kCsvMissing &&
         static_cast<long long>(m_wideTraces[0].GetStart()) != p[kWideStartParam])) {
        m_readFailure = kStrCsvGridUnusable;
        return 0;
    }

    if (!file.FindSection(kCsvDataMarker) || !file.ReadLine(line))
        return 0;
    const auto rows = [](int points, const CTraceStore& trace) {
        return points >= 0 ? static_cast<long long>(points)
                           : static_cast<long long>(trace.GetPoints());
    };
    ReadCsvRows(file, m_traces, rows(p[kPoints], m_traces[0]));
    if (!file.ReadLine(line) || CCsvLine(line).Key() != "Wide Frequency")
        return 0;
    ReadCsvRows(file, m_wideTraces, rows(p[kWidePoints], m_wideTraces[0]));
    return 1;
}
