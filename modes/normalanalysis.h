// CNormalAnalysis: the swept-spectrum core. It sweeps its frequency range
// block by block with the device call its RBW index selects, folds every block
// into its data line and five traces, keeps the graph's scales and texts, and
// is the base of the other spectrum kinds. Its six traces are data lines of
// the graph of its view interface, each drawn with its own drawing object.
#pragma once

#include "analysis/analysiscore.h"
#include "analysis/graphinterface.h"
#include "draw/cursolcontext.h"
#include "draw/datalinecontext.h"
#include "draw/markercontext.h"
#include "draw/triggercontext.h"
#include "lib/drawobject.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

class CCsvFile;
class CStdioFile;
class CCsvLine;
class CSplitterWnd;
class CWaterfallInterface;
class QWidget;
struct CNormalHistory;

// What the spectrum graph shows: its four text slots and its x and y ranges.
struct CNormalGraphValues {
    std::array<CString, 4> text;
    double xMin = 0, xMax = 0; // kHz
    double yMin = 0, yMax = 0; // dB in the data line's unit
    int xDivisions = 10;
    int yDivisions = 10;
    bool redraw = true;
};

class CNormalAnalysis : public CAnalysisCore {
public:
    // The analysis kinds this core's RBW checks ask for.
    static constexpr int kKindMask = 7;
    static constexpr int kTraceStores = 6; // data line and Trace1..Trace5
    static constexpr int kMaxCsvPointsWithoutAsking = 65000;

    CNormalAnalysis(CCommandEntry* frameList, CCommandEntry* buttonList,
                    CFrameLink* link = nullptr);
    ~CNormalAnalysis() override;

    int GetAnalysisType() override { return 1; }
    int GetRBWKindMask() override { return kKindMask; }
    CString GetProfileSection() override;
    void ReadProfile() override;
    void WriteProfile() override;
    int SaveSettings() override;
    int LoadSettings() override;

    void SetStart(int kHz) override;
    void SetStop(int kHz) override;
    void SetCenter(int kHz) override;
    void SetSpan(int kHz) override;
    int GetSpan() override { return m_stop - m_start; }
    // The data line and the five traces.
    void ForEachLevelStore(const LevelStoreVisitor& visit) override;
    CTraceStore* GetTrace(int k) override;
    CTraceStore* GetDataLine() override { return &m_traces[0]; }

    // The CSV section (modes/normalcsv.cpp): nine parameter lines and one data
    // row per point; reading rebuilds the grid from them and stores the rows.
    int WriteCSVSections(CStdioFile& file) override;
    int ReadCSVSections(const char* path) override;

    void Reconfigure(BOOL reset) override;
    int StartAnalysis() override;
    void AnalysisFinished(WPARAM wParam, LPARAM lParam) override;

    int ExecuteCommand(int action, int p1, int p2, int p3, int p4, int p5) override;
    int GetCommandState(int action, int p1, int p2, int p3, int p4, int p5) override;
    int OnStartEntry() override;
    int OnStopEntry() override;
    int OnCenterEntry() override;
    int OnSpanEntry() override;

    int GetFrequencyMode() const { return m_frequencyMode; }
    int GetStart() const { return m_start; }
    int GetStop() const { return m_stop; }
    int GetCenter() const { return (m_start + m_stop) / 2; }
    int GetSweepPosition() const { return m_sweepPosition; }
    const CNormalGraphValues& Graph() const { return m_graph; }
    CNormalGraphValues& Graph() { return m_graph; }

    // ---- The window's drawing.
    // The view of the window shows the graph interface.
    void AttachWindow(CChildFrame* window) override;
    // The graph interface's four drawing objects, then those of the six traces.
    void GetDrawObjectList(std::list<CDrawObject*>* list) override;
    void SetTimeStamp(const CString& text, BOOL show) override;
    void DrawView(CDC* dc, const CRect& rect) override;
    COLORREF GetGraphBackgroundColor() override;
    void ShowTrace(int k, BOOL show) override;
    // The wait for the device shows as the graph's status text.
    void ShowDeviceWait(const CString& text) override;
    // The technical alarm in the graph, over everything else.
    void ShowTechnicalAlarm(bool raised, const CString& text) override;
    // The view repaints (after commands and received data).
    void UpdateView() override;
    // The graph's status text says "Stopped: ..." while the window does not
    // measure (a kind with more graphs says it in each).
    virtual void ShowRunState();
    void ShowRunStateIn(CGraphInterface& intf);
    CGraphInterface& GetGraphInterface() { return m_graphIntf; }
    // Trace k's drawing object (0 the data line, 1..5 Trace1..Trace5), or null.
    CDrawObject* GetTraceDrawObject(int k);
    // ---- Markers, cursor and logging trigger line (modes/normalmarkers.cpp).
    CMarkerContext* GetMarker(int k) override;
    // Also marks the selected marker current and brings it into view.
    void SelectMarker(int k) override;
    // Shows the trigger line while the flag is on: 1 fires above it, 2 below.
    void SetLoggingTrigger(int flag) override;
    BOOL GetLoggingTriggerLine(CLoggingTriggerLine* line) override;
    int OnMarkerEntry() override;
    int OnPeakSearch() override;
    int OnNextPeak() override;
    int OnMarkerCommand(int action, int p1) override;
    int GetMarkerCommandState(int action, int p1) override;
    CCursolContext& GetCursor() { return m_cursor; }
    CLoggingTriggerContext& GetTriggerLine() { return m_trigger; }

    // "DataLine", "Trace1".."Trace5".
    static const char* TraceName(int k);

    CDataLineContext& GetDataLineContext(int k) {
        return m_traces[static_cast<size_t>(k) % kTraceStores];
    }

    // ---- The sweep history pane under the spectrum (modes/normalhistory.cpp):
    // the last sweeps of the data line as a colour waterfall, one row each,
    // as many as the pane is high. Only the normal window offers it.
    QWidget* CreatePanes(QWidget* parent, QWidget* view) override;
    bool IsHistoryShown() const { return m_historyShown; }
    void ShowHistory(bool show);
    CWaterfallInterface& GetHistoryInterface();

protected:
    // ---- The CSV section's extension points (modes/normalcsv.cpp): kinds built
    // on this one add parameter lines after the nine, columns after the six
    // levels, and read them back.
    virtual CString CsvExtraParams();
    virtual void AppendCsvColumns(std::string& header);
    virtual void AppendCsvRow(std::string& out, long long point);
    // After the nine parameters, before the grid is rebuilt; false fails the read.
    virtual bool ReadCsvExtraParams(CCsvFile& file);
    // Row `point` of the data (fields 0..5 are the six traces).
    virtual void ReadCsvRow(const CCsvLine& row, long long point);
    virtual void CsvRowsRead();
    // A level word as the file writes it: dB with two decimals.
    static void AppendCsvLevel(std::string& out, short word);
    // The graph's four corner texts and its vertical scale for the RBW step.
    void SetGraphTexts(int step);

    // Device facts and calls, through the device interface; tests replace them.
    virtual int DeviceMinFrequency(int kind);
    virtual int DeviceMaxFrequency(int kind);
    // The words the last task delivered, and their copy into buffer (with
    // what the device library answers, which means nothing).
    virtual int DeviceDataCount();
    virtual int DeviceReceiveData(short* buffer, int count);
    int GetYDivisionCount() override;

    // A range read from outside (profile, setting data file) is brought inside
    // the device's limits, start not above stop; the frequency mode is 0 or 1.
    void ValidateRange();

    // The step and the device function chosen by the RBW index: 1 normal,
    // 2 high-speed, 4 high-resolution.
    int SweepStep(int* function) const;
    // The data line's unit offset in dB (113, 107 or 0).
    double UnitOffsetDb() const;
    // Moves the centre so that the band [centre - half, centre + half] lies
    // inside the device's limits; start and stop follow.
    void PlaceBand(int center, int half);
    // Shifts the range by span x percent / 100 (negative: down).
    void ShiftRange(int percent, bool up);
    // Numeric entry of a frequency in MHz; false when cancelled.
    bool EntryKHz(int titleString, int valueKHz, int* result);
    // Tells the user (a warning) when an entry of enteredKHz was held to
    // heldKHz, more than toleranceKHz away: "Held to 2950 MHz ...".
    void TellIfHeld(double enteredKHz, int heldKHz, int toleranceKHz);
    double m_enteredKHz = 0.0; // the last frequency entry, before any limit
    void SetHoldStateOfDataLine();
    // Trace k's drawing object from the profile (id); one seen for the first
    // time gets title and a pen colour of its own.
    void LoadTraceDrawObject(CDrawObject& object, const CString& id, const CString& title, int k);
    // Adds the offset table's correction to n received words that belong at
    // position of line's grid.
    void ApplyOffsetTable(short* words, int n, const CTraceStore& line, int position);
    // The graph takes the texts, scales, divisions and reference mark of m_graph.
    void UpdateGraph();
    void UpdateGraph(CGraphInterface& intf, const CNormalGraphValues& values);
    // The scale text a level graph shows in its first corner, marked when the
    // device's levels are uncalibrated (a receiver).
    static CString LevelScaleText(const CString& scale);
    // The cursor, the markers and the trigger line join the graph, following
    // the data line.
    void AttachMarkers();
    // A hidden cursor and five hidden markers join the graph of intf,
    // following line.
    static void AttachMarkers(CGraphInterface& intf, CDataLineContext* line, CCursolContext& cursor,
                              std::array<CMarkerContext, kMarkerCount>& markers);
    // 105: marker k placed at kHz (the centre when kHz is outside the graph) and shown.
    int PlaceMarker(int k, int kHz);
    // The data line's peaks between start and stop (up to four, highest first)
    // are offered to every marker.
    void OfferPeaks();
    // The initial widths of a window's two side-by-side panes: the profile's
    // SPLIT[0][0] and SPLIT[0][1], by default 1 / share of the parent's width
    // and the rest.
    void ReadPaneSizes(QWidget* parent, int share, SIZE* left, SIZE* right);
    // The panes' current sizes into SPLIT[0][0] and SPLIT[0][1].
    void WritePaneSizes(CSplitterWnd* splitter);
    // The CSV rows of six traces on the first one's grid, after a header line:
    // "%d" frequency and "%.2f" levels in dB, with extraColumns what
    // AppendCsvRow adds to each row. 1 when written.
    int WriteCsvRows(CStdioFile& file, const std::string& header,
                     const std::array<CDataLineContext, kTraceStores>& traces,
                     bool extraColumns = false);
    // Up to rows data rows of the file into the six traces (row i to point
    // i); the end of the file ends them early. With extraColumns each row is
    // also handed to ReadCsvRow.
    void ReadCsvRows(CCsvFile& file, std::array<CDataLineContext, kTraceStores>& traces,
                     long long rows, bool extraColumns = false);
    // The colour dialog (full open): TRUE with the chosen colour on OK.
    virtual BOOL ChooseColor(COLORREF initial, COLORREF* chosen);
    // Opens a CSV data file, takes its write time and reads count parameter
    // lines of its parameter section; false when any is missing.
    bool ReadCsvParams(CCsvFile& file, const char* path, int* params, int count);
    // The range, attenuation and frequency mode of a data file; a missing
    // value keeps the window's own, and the range is held inside the device's.
    void TakeCsvRange(int start, int stop, int attenuation, int frequencyMode);
    // A data row i into the six traces (frequency as the key, then the six levels).
    void StoreCsvRow(CTraceStore* const* traces, const CCsvLine& row, long long i);
    // "[PARAM ENTRY]" and the nine parameter lines of the CSV section.
    CString CsvParamLines();
    // CSV values: an integer (a level word: AppendCsvLevel).
    static void AppendCsvInt(std::string& out, long long v);
    // After a new grid the marker points snap to it.
    void ReplaceMarkers();
    static void SnapMarkers(std::array<CMarkerContext, kMarkerCount>& markers);

    // A finished sweep's data line joins the history (while it is shown); the
    // history follows the graph's frequency window and level range.
    void RecordSweep();
    void SyncHistory();
    // "SweepHistory" and "HistoryHeight" of the window's profile section.
    void ReadHistoryProfile();
    void WriteHistoryProfile();
    // The graph and the history split rect in the proportion of the panes.
    void DrawWithHistory(CDC* dc, const CRect& rect);

    int m_frequencyMode = 0;
    int m_start = 1000;
    int m_stop = 3000000;
    std::array<CDataLineContext, kTraceStores> m_traces;
    std::vector<short> m_receiveBuffer;
    CNormalGraphValues m_graph;
    // The traces' drawing objects ("DataLine", "Trace1".."Trace5").
    std::array<CDrawObject, kTraceStores> m_traceObjects;
    std::array<CMarkerContext, kMarkerCount> m_markers;
    CCursolContext m_cursor;
    CLoggingTriggerContext m_trigger;
    CGraphInterface m_graphIntf;
    bool m_historyShown = false;
    std::unique_ptr<CNormalHistory> m_history;
    // The wait for the device the graph's status text tells of (empty: none).
    CString m_deviceWait;
};
