// CXpdAnalysis: the isolation between two RF paths. The window sweeps the two
// paths in turn (the device's power-supply control output switches between
// them), keeps a data line and five traces per path, finds the strongest peak
// near the centre of the span and shows the difference of the two paths'
// levels there, the XPD. During an active period an XPD below the alarm value
// raises an alarm that is logged with its time. Two serial controllers start
// active periods and are written the results by a worker thread
// (modes/xpdlink.h).
//
// The first path uses the data line, traces, markers and graph of the
// swept-spectrum core; the second path has stores and a graph of its own.
#pragma once

#include "analysis/graphinterface.h"
#include "analysis/leveltrigger.h"
#include "draw/textlogcontext.h"
#include "draw/xpdbuttoncontext.h"
#include "modes/normalanalysis.h"
#include "modes/xpdlink.h"
#include "platform/ctime.h"
#include "platform/splitterwnd.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

#include <array>
#include <cmath>

class CXpdAnalysis : public CNormalAnalysis {
public:
    // Commands of this window.
    static constexpr int kCmdAlarmValue = 401;
    static constexpr int kCmdSaveLog = 402;
    static constexpr int kCmdClearLog = 403;
    static constexpr int kCmdDetectLevel = 404;
    static constexpr int kCmdYAxisOffsetEntry = 405;
    static constexpr int kCmdYAxisOffset = 406;
    // The alarm value and the detect level set to p1 hundredths of a dB, as
    // their entries set them.
    static constexpr int kCmdSetAlarmValue = 407;
    static constexpr int kCmdSetDetectLevel = 408;
    static constexpr int kMaxYAxisOffset = 100;
    // Levels and level differences lie within +-400 dB (two level words of
    // the analyser apart): the alarm value, the detect level and the
    // calibration value are refused beyond that, whatever they come from.
    static constexpr double kLevelLimitDb = 400.0;
    // Trace states of the data lines during and outside an active period.
    static constexpr BYTE kStateMaxHold = 2;
    static constexpr BYTE kStateWrite = 4;
    // The panel's value words.
    enum PanelWord {
        kWordXpd,       // XPD x 100
        kWordRf1,       // RF1 level x 100
        kWordRf2,       // RF2 level x 100
        kWordPeak,      // peak frequency, kHz
        kWordAlarm,     // alarm value x 100
        kWordRemaining, // remaining active time, percent
        kWordActive,
        kWordAlarmFlag,
        kWordDetect,
    };

    CXpdAnalysis(CCommandEntry* frameList, CCommandEntry* buttonList, CFrameLink* link = nullptr);
    // Stops the worker and leaves the controllers inactive.
    ~CXpdAnalysis() override;

    int GetAnalysisType() override { return 7; }
    // The path the next sweep block measures.
    int GetInputPath() override { return m_pathSelect; }
    CString GetProfileSection() override;
    void ReadProfile() override;
    void WriteProfile() override;
    int SaveSettings() override;
    int LoadSettings() override;
    int WriteCSVSections(CStdioFile& file) override;
    int ReadCSVSections(const char* path) override;

    // Both paths' data lines and traces.
    void ForEachLevelStore(const LevelStoreVisitor& visit) override;
    void Reconfigure(BOOL reset) override;
    // Switches the path and starts the schedule timer with the on or off delay.
    int StartAnalysis() override;
    // The schedule timer: the sweep of the selected path.
    BOOL OnTimer(UINT id) override;
    void AnalysisFinished(WPARAM wParam, LPARAM lParam) override;
    // Stops the worker and leaves the controllers inactive; a controller that
    // could not be reached is reported in the program's log, the alarm log and
    // a message.
    void Stop() override;

    int ExecuteCommand(int action, int p1, int p2, int p3, int p4, int p5) override;
    int GetCommandState(int action, int p1, int p2, int p3, int p4, int p5) override;

    // ---- The window: the value panel and the alarm log on the left, the two
    // paths' graphs one above the other on the right.
    QWidget* CreatePanes(QWidget* parent, QWidget* view) override;
    void AttachWindow(CChildFrame* window) override;
    void DrawView(CDC* dc, const CRect& rect) override;
    void UpdateView() override;
    void ShowRunState() override;
    // The window always watches: during an active period for the isolation,
    // otherwise for its detect level, in every state of it (a carrier that
    // has stood above the level since the start must fall below it before a
    // rise can be seen, and a window that never got data has seen neither).
    bool HasArmedAlarm() override;
    // The technical alarm in both graphs, in the alarm log, and on the
    // controllers' alarm relay.
    void ShowTechnicalAlarm(bool raised, const CString& text) override;
    void GetDrawObjectList(std::list<CDrawObject*>* list) override;
    void SetTimeStamp(const CString& text, BOOL show) override;
    // Lays out and draws the value panel (and places the alarm log) in rect.
    void DrawPanel(CDC* dc, const CRect& rect);

    // The schedule timer's identifier: core number x 16 + 3.
    UINT ScheduleTimerId() const { return static_cast<UINT>(m_id) * 16 + 3; }
    // 0 RF1, 1 RF2.
    int GetPathSelect() const { return m_pathSelect; }
    void SetPathSelect(int path) { m_pathSelect = path ? 1 : 0; }
    CTraceStore& PathStore(int path, int k) {
        return path ? m_traces2[static_cast<size_t>(k)] : m_traces[static_cast<size_t>(k)];
    }
    int GetPathPosition(int path) const { return path ? m_sweepPosition2 : m_sweepPosition; }
    // Both paths hold measured words over the peak search, each with a peak
    // clearly above its noise floor: the values below are a reading of the
    // current grid.
    bool HasXpd() const { return m_xpdValid; }
    double GetXpdValue() const { return m_xpdValue; }
    double GetRf1Level() const { return m_rf1Level; }
    double GetRf2Level() const { return m_rf2Level; }
    double GetPeakValue() const { return m_peakValue; }
    // The common peak (MHz) in whole kHz.
    long long PeakKHz() const { return std::llround(m_peakValue * 1000.0); }
    // 1 from a rise above the detect level (the paths measured below it
    // first) until the paths are measured below it again.
    int GetDetectFlag() const { return m_detectFlag; }
    // The detect level's trigger: armed once the paths were measured below it.
    int GetDetectState() const { return m_detectState; }
    int GetAlarmFlag() const { return m_alarmFlag; }
    double GetAlarmValue() const { return m_alarmValue; }
    double GetDetectLevel() const { return m_detectLevel; }
    double GetCalValue() const { return m_calValue; }
    int GetYAxisOffset() const { return m_yAxisOffset; }
    unsigned GetTrackingDiv() const { return m_trackingDiv; }
    int GetActiveTime() const { return m_activeTime; }
    int GetOnDelay() const { return m_onDelay; }
    int GetOffDelay() const { return m_offDelay; }
    int GetBaseWait() const { return m_baseWait; }
    int GetDownWait() const { return m_downWait; }
    const CString& GetPrimaryPort() const { return m_priPortName; }
    const CString& GetSecondaryPort() const { return m_secPortName; }
    const CString& GetPrimaryMessage() const { return m_priMessage; }
    const CString& GetSecondaryMessage() const { return m_secMessage; }
    CXpdControllerLink& GetControllers() { return m_controllers; }
    CXPDButtonContext& GetPanel() { return m_panel; }
    CTextLogContext& GetAlarmLog() { return m_log; }
    CGraphInterface& GetSecondGraph() { return m_graphIntf2; }
    CSplitterWnd* GetSplitter() const { return m_splitter; }
    QWidget* GetPanelWidget() const { return m_panelWidget; }
    QWidget* GetSecondGraphWidget() const { return m_graph2Widget; }

    // Peak, levels, XPD, detect and the alarm from the two paths' data lines.
    void Evaluate();
    // The levels at the stronger path's peak and the XPD between them, when
    // both paths hold a signal; otherwise says which path has none. No alarm,
    // no trace state: Evaluate adds those to a measurement.
    void EvaluateLevels();
    int ReadCsvPaths(const char* path);
    // Row texts of the panel: a path without samples has "no data", one whose
    // peak is not clearly above its noise floor "no signal".
    enum PathState { kPathNoData, kPathNoSignal, kPathSignal };
    // A path's state within +-d of c.
    static PathState StateOfPath(const CTraceStore& line, long long c, long long d);
    // A peak counts as a signal this many dB above the path's noise floor.
    static constexpr double kSignalMargin = 6.0;
    // Writes the alarm log to path with ".TXT" as its extension; 1 = written.
    int SaveAlarmLog(const CString& path);
    // path with its extension replaced by ".TXT" (or ".TXT" appended).
    static CString AlarmLogPath(const CString& path);

    // The markers, and the isolation with both paths' levels at the peak.
    void GetReadings(std::vector<CReading>& out) override;

protected:
    // The isolation alarm raised or ended, for the shell's alarm listener.
    void ReportAlarm(bool raised, const CString& text);
    // Device calls; tests replace them.
    virtual int DevicePathSwitch(int path);
    virtual void StartScheduleTimer(UINT ms);
    // One sweep block from startKHz with the device function (1, 2 or 4).
    virtual int DeviceSweep(int function, int startKHz);
    // The numeric entry and the file dialog (null: cancelled).
    virtual double EntryDouble(double value, const char* unit, const char* title);
    virtual CString AskLogFileName();
    // The active flag the worker keeps.
    int ActiveFlag() { return m_controllers.m_activeFlag.load(); }

private:
    void PublishValues();
    // The side of the detect level the two paths' peak searches are on, and
    // the detect flag's step for it.
    LevelSide DetectSide() const;
    void EvaluateDetect();
    // Starts the worker once the window exists, has read its profile, and
    // measures (a window showing a data file drives no controllers).
    void ServeControllers();
    void UpdateSecondGraph();

    std::array<CDataLineContext, kTraceStores> m_traces2;
    std::array<CDrawObject, kTraceStores> m_traceObjects2;
    CGraphInterface m_graphIntf2;
    int m_sweepPosition2 = 0;
    int m_pathSelect = 0;
    bool m_waitingForTimer = false;
    bool m_windowCreated = false;
    bool m_profileRead = false;
    bool m_showsFile = false;

    CString m_priMessage = "[RF1]";
    CString m_secMessage = "[RF2]";
    CString m_priPortName = "COM4";
    CString m_secPortName = "COM5";
    int m_baseWait = 40;
    int m_downWait = 1000;
    double m_alarmValue = 30.0;
    double m_detectLevel = 0.0;
    double m_calValue = 0.0;
    int m_yAxisOffset = 0;
    unsigned m_trackingDiv = 10;
    int m_onDelay = 100;
    int m_offDelay = 100;
    int m_activeTime = 20;

    CTime m_measurementTime;
    double m_peakValue = 0.0;
    double m_rf1Level = 0.0;
    double m_rf2Level = 0.0;
    double m_xpdValue = 0.0;
    PathState m_pathStates[2] = {kPathNoData, kPathNoData};
    int m_detectFlag = 0;
    int m_detectState = kTriggerWaiting;
    bool m_xpdValid = false;
    int m_alarmFlag = 0;

    CXpdControllerLink m_controllers;
    CXPDButtonContext m_panel;
    CTextLogContext m_log;
    QPointer<CSplitterWnd> m_splitter;
    QPointer<CSplitterWnd> m_graphSplitter;
    QPointer<QWidget> m_panelWidget;
    QPointer<QWidget> m_graph2Widget;
};
