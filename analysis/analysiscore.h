// CAnalysisCore: the common base of the seven analysis cores. It holds the
// parameters every mode shares (analyse flag, attenuation, unit, reference
// position, RBW, scale, holds, current marker and trace, offset correction,
// device rates, logging parameters), keeps them in the profile and in the
// TORVEL_CORE section of a setting data file, executes the common commands of
// the command list and reports their states, and defines the virtual
// operations through which the main frame's scheduler, the window and the file
// code drive every mode.
#pragma once

#include "analysis/alarmlistener.h"
#include "analysis/datawatchdog.h"
#include "analysis/loggingoutput.h"
#include "analysis/reading.h"
#include "analysis/viewowner.h"
#include "lib/loggingparam.h"
#include "platform/cstring.h"
#include "platform/ctime.h"
#include "platform/geometry.h"
#include "platform/wintypes.h"
#include "trace/measuredwords.h"
#include "trace/tracestore.h"

#include <array>
#include <functional>
#include <list>
#include <vector>

class QWidget;
class CChildFrame;
class CDC;
class CDrawObject;
class CFrameLink;
class CMarkerContext;
class CStdioFile;
struct CCommandEntry;

// Results of command handlers.
constexpr int kCommandDone = 0;        // done, nothing more to do
constexpr int kCommandRedraw = 1;      // reconfigure without trace reset and update the view
constexpr int kCommandReset = 2;       // parameters changed: reconfigure with trace reset
constexpr int kCommandNotHandled = -1; // not a command of this table

// Command states of menu items and buttons.
constexpr int kStateTicked = 1;
constexpr int kStateUnticked = 0;
constexpr int kStateDisabled = -1;
constexpr int kStateDisabledUnticked = -2;

// Core ids run from 1 to 255; the low byte is the device task tag. A core
// made while all 255 ids are held by live cores gets no id (0) and must not
// be used: the window that wanted it is refused.
constexpr int kMaxCoreId = 255;
// RBW indexes run from 0 to 13.
constexpr int kRbwIndexCount = 14;
// Markers and traces are addressed 1..5 (0 = none).
constexpr int kMarkerCount = 5;
constexpr int kTraceCount = 5;
// Images, prints and clipboard copies are drawn into this rectangle.
constexpr int kImageWidth = 640;
constexpr int kImageHeight = 480;

// Program strings the core uses.
constexpr int kStrReferenceLevelTitle = 17; // title of the reference level entry
constexpr int kStrSaveSucceeded = 20;
constexpr int kStrSaveFailed = 21;
// Save Data with no output format ticked and none in the name: where to choose one.
constexpr int kStrNoOutputFormat = 2358;
constexpr int kStrPrintDocument = 22;
constexpr int kStrOffsetLoadFailed = 40;
constexpr int kStrNoFreeCoreId = 56;       // a window refused: all core ids are in use
constexpr int kStrSettingsIncomplete = 57; // a setting data file loaded in part; %s is its path
constexpr int kStrCsvGridUnusable = 58;    // a data file's grid cannot be rebuilt on this device
constexpr int kStrTimeStampFormat = 67;    // strftime format of the data time stamp
// The technical alarm of a window whose watch lost its data ("%s" a time of
// day), and the line that tells that data came again.
constexpr int kStrMonitoringInterrupted = 96;
constexpr int kStrMonitoringResumed = 97;

// The message for a setting data file that loaded only in part, naming it.
CString SettingsIncompleteText(const CString& path);

// The profile keys and setting section of the core.
constexpr const char* kCoreSettingSection = "TORVEL_CORE";

// The core is the owner of its view interface: the input slots of CViewOwner
// are the core's, and do nothing unless a mode overrides them.
class CAnalysisCore : public CViewOwner {
public:
    // The window's menu list and its first button position in the command list,
    // and the shell the core reports to (none: nothing is scheduled).
    CAnalysisCore(CCommandEntry* frameList, CCommandEntry* buttonList, CFrameLink* link = nullptr);
    CAnalysisCore(const CAnalysisCore&) = delete;
    CAnalysisCore& operator=(const CAnalysisCore&) = delete;

    // ---- Virtual operations, in slot order.
    ~CAnalysisCore() override;
    // Writes the ten common keys into the profile section of GetProfileSection().
    virtual void WriteProfile();
    // " : %.7gMHz" from 1000 kHz up, else " : %.7gKHz".
    virtual CString FormatFrequency(int kHz);
    // " : %.7gS", " : %.7gmS" or " : %.7guS" of a time in microseconds.
    virtual CString FormatTime(int us);
    // The window adopts the core.
    virtual void AttachWindow(CChildFrame* window);
    // The panes of the window's body when the kind has more than its view:
    // a widget made in parent that holds view; null shows the view alone.
    virtual QWidget* CreatePanes(QWidget* parent, QWidget* view);
    // Selects marker / trace k (1..5), or none when k is already selected.
    virtual void SelectMarker(int k);
    virtual void SelectTrace(int k);
    // The logging outputs and the CSV data file (1 = written): the window's
    // 640 x 480 picture as BMP or PNG, and the CSV frame followed by the mode's
    // sections. Reading and writing the sections is the mode's (the base has
    // none and fails).
    virtual int WriteBMPImage(const char* path);
    virtual int WritePNGImage(const char* path);
    virtual int WriteCSVFile(const char* path);
    virtual int ReadCSVSections(const char* path);
    virtual int WriteCSVSections(CStdioFile& file);
    // One logging step after a received block; 1 when an output was written.
    virtual int LoggingStep();
    virtual void SetLoggingTrigger(int flag);
    // Run when the window is destroyed, after the profile was written.
    virtual void Stop();
    // Reads the ten common keys, loads the offset table when the offset flag is
    // on, and validates the RBW index.
    virtual void ReadProfile();
    virtual void SetStart(int kHz);
    virtual void SetStop(int kHz);
    virtual void SetCenter(int kHz);
    virtual void SetSpan(int kHz);
    // Sets the core's unit and that of every store ForEachLevelStore visits;
    // the words stay as they are (they are read or stored in that unit next).
    virtual void SetUnitAll(int unit);
    // The window kind: 1 normal, 2 WLAN, 3 zero span, 4 semi-real-time,
    // 5 real-time, 6 medical, 7 XPD (0 in the base).
    virtual int GetAnalysisType();
    // The analyser input (0 RF1, 1 RF2) the core's next task measures: every
    // task is started on it. RF1 but in a window that compares the inputs.
    virtual int GetInputPath() { return 0; }
    // Marker k / trace k (1..5) and the data line, or null.
    virtual CMarkerContext* GetMarker(int k);
    virtual CTraceStore* GetTrace(int k);
    virtual CTraceStore* GetDataLine();
    // Runs after every command with a positive result (reset for result 2).
    virtual void Reconfigure(BOOL reset);
    virtual void UpdateView();
    // The analysis kind bits passed to the device's RBW query.
    virtual int GetRBWKindMask();
    // The profile section of this window ("AnalysisCore_%d" in the base).
    virtual CString GetProfileSection();
    virtual int GetSpan();
    // 1 ticked, 0 unticked, -1 disabled, -2 disabled and unticked. Actions that
    // no table knows answer 0.
    virtual int GetCommandState(int action, int p1, int p2, int p3, int p4, int p5);
    // 0 done, 1 reconfigure and redraw, 2 reconfigure with trace reset,
    // negative not handled. The common table is tried first; modes override
    // this, call it, and try their own table when it answers kCommandNotHandled.
    virtual int ExecuteCommand(int action, int p1, int p2, int p3, int p4, int p5);
    // Scheduler side: take in finished / intermediate data; start one task
    // (1 = started); the view's progress; a core timer (1 = it was this core's).
    virtual void AnalysisFinished(WPARAM wParam, LPARAM lParam);
    virtual void AnalysisProgress(WPARAM wParam, LPARAM lParam);
    virtual int StartAnalysis();
    virtual void ViewProgress();
    virtual BOOL OnTimer(UINT id);
    // The drawing objects the screen option dialog edits.
    virtual void GetDrawObjectList(std::list<CDrawObject*>* list);
    // Draws the window into dc within rect (images, printing, clipboard), with
    // the data time stamp when timeStamp is set, in grey scale when the grey
    // scale flag is on and dc is not a printer's.
    virtual void DrawToDC(CDC* dc, const CRect& rect, BOOL timeStamp);
    // The TORVEL_CORE section; 1 only when every item succeeded. Modes add
    // their own sections after calling the base. Loading keeps the window's
    // own title and title index (they choose its profile section and command
    // lists), brings every value into its range, and loads the offset table
    // when the offset flag is on (if it cannot, the flag stays off and the
    // offset-load-failed flag is set).
    virtual int SaveSettings();
    virtual int LoadSettings();

    // ---- Command handlers that modes override (kCommandNotHandled in the base).
    virtual int OnStartEntry();              // 19
    virtual int OnStopEntry();               // 20
    virtual int OnCenterEntry();             // 21
    virtual int OnSpanEntry();               // 23
    virtual int OnMarkerEntry();             // 35
    virtual int OnPeakSearch();              // 36
    virtual int OnNextPeak();                // 37
    virtual int OnTraceMarkerSelect(int p1); // 51
    virtual int OnTraceClear(int p1);        // 52
    // The current marker's commands 36-42 and their states; they act on
    // GetMarker(current marker index) and are wired up with the markers. The
    // base has no markers: nothing happens and the commands show disabled.
    virtual int OnMarkerCommand(int action, int p1);
    virtual int GetMarkerCommandState(int action, int p1);

    // ---- Requests that need the window, a dialog or the main frame. The core
    // leaves the scheduler's rotation around 7, 8, 9, 11 and 13 (see
    // RunOutsideRotation). The window-side pieces land with the main frame,
    // image output and CSV code; until they are overridden or filled in, the
    // base answers kCommandNotHandled.
    virtual int OnPrintRequest();          // 7: print one page of the window's drawing
    virtual int OnSaveSettingsRequest();   // 8: save dialog, SaveSettings, write ".SPE"
    virtual int OnLoadSettingsRequest();   // 9: open dialog, LoadSettings
    virtual int OnSaveDataRequest();       // 11: save dialog, CSV / BMP / PNG by the output flags
    virtual int OnCopyRequest();           // 13: the drawing as a bitmap on the clipboard
    virtual int OnScreenOptionRequest();   // 43: screen option dialog over the drawing objects
    virtual int OnAnalysisOptionRequest(); // 44: catcher and rejection rates
    virtual int OnLoggingRequest();        // 45: logging dialog, then the logging bar
    virtual int OnOffsetRequest();         // 46: offset dialog, offset flag = accepted

    // ---- View hooks (the view interface and the graph land with the drawing).
    // Puts the time stamp into the graph frame's title and shows or hides it.
    virtual void SetTimeStamp(const CString& text, BOOL show);
    // The view interface draws the window into rect.
    virtual void DrawView(CDC* dc, const CRect& rect);
    // The graph's background colour (the grey-scale conversion keeps it white).
    virtual COLORREF GetGraphBackgroundColor();
    // The logging trigger line of the graph; FALSE when the window has none
    // (the base), so a logging trigger never fires.
    virtual BOOL GetLoggingTriggerLine(CLoggingTriggerLine* line);
    // Shows or hides trace k (1..5) after its state changed.
    virtual void ShowTrace(int k, BOOL show);
    // Tells in the graph that the window waits for the device another window
    // holds (text), or no longer (empty). Nothing in the base.
    virtual void ShowDeviceWait(const CString& text);
    // Loads the offset table from the offset file without a dialog; 1 = loaded.
    virtual int LoadOffsetTable();

    // ---- The watch over an armed alarm.
    // True while the window watches levels for an alarm: in the base while
    // its logging trigger is on and logging runs. A window that measures with
    // an armed alarm must get data: it is never left waiting for the device,
    // and a silence raises its technical alarm.
    virtual bool HasArmedAlarm();
    // Shows (raised) or ends the technical alarm of a watch that lost its
    // data, with the text that says so (ended: that data came again, or empty
    // when the watch ended without them): in the window's graphs, its alarm
    // log and its alarm outputs. Nothing in the base.
    virtual void ShowTechnicalAlarm(bool raised, const CString& text);
    // The core took in new data measured at `when`: the data time stamp and
    // the watchdog (data returning end a technical alarm).
    void NoteDataTaken(const CTime& when = CTime::GetCurrentTime());
    // One look of the watchdog; the main frame's timer calls it.
    void WatchData();
    // How many times data were taken in since the window opened.
    std::uint64_t DataIntakes() const { return m_dataIntakes; }
    // Tells the shell's alarm listener (a publisher) of an alarm of the
    // watched signal raised or cleared.
    void ReportSignalAlarm(const CAlarmEvent& event);
    // The window's read-outs as they are published: in the base the level on
    // the data line at each marker shown (its x a frequency, or a time in a
    // window whose markers stand on a time axis). Kinds add their own.
    virtual void GetReadings(std::vector<CReading>& out);
    CDataWatchdog& GetDataWatchdog() { return m_dataWatch; }
    // The text of the raised technical alarm; empty while none is raised.
    const CString& GetTechnicalAlarm() const { return m_technicalAlarm; }

    // ---- How levels are shown. The unit and the level-offset correction
    // are ways of showing the measured levels: a change re-maps the words of
    // every store, and no measurement is lost to it.
    // Every store that holds the window's measured words, with the frequency
    // its points were measured at when their x is a time (else -1): the data
    // line and the five traces in the base.
    using LevelStoreVisitor = std::function<void(CTraceStore& store, long long fixedKHz)>;
    virtual void ForEachLevelStore(const LevelStoreVisitor& visit);
    // The unit and, while the correction is on, the offset table.
    CLevelView GetLevelView() const {
        return CLevelView{m_unit, m_offsetFlag ? m_offsetTable.data() : nullptr};
    }
    // Shows the levels in unit (1..3) with the correction on or off, and with
    // table (kOffsetTableSize offsets) as the offset table when it is given.
    void ShowLevels(int unit, int offsetFlag, const short* table = nullptr);
    // A level as the window shows it (in its unit) as a level in dBm, and back;
    // "dBm" or "dBuV", the name of the window's unit.
    double ShownToDbm(double shown) const {
        return shown - CTraceStore::UnitOffset(m_unit) * kLevelUnitDb;
    }
    double DbmToShown(double dbm) const {
        return dbm + CTraceStore::UnitOffset(m_unit) * kLevelUnitDb;
    }
    const char* UnitName() const { return CTraceStore::UnitOffset(m_unit) != 0 ? "dBuV" : "dBm"; }

    // The device's terminate of this core's running task; a mode may wait
    // after it for the device to settle. Tests replace it.
    virtual void DeviceTerminate();

    // ---- Accessors used by the main frame, the window and the modes.
    int GetId() const { return m_id; }
    BYTE GetTaskTag() const { return static_cast<BYTE>(m_id & 0xFF); }
    CChildFrame* GetWindow() const { return m_window; }
    const CString& GetTitle() const { return m_title; }
    void SetTitle(const CString& title) { m_title = title; }
    // The title a caption gives a window (a menu item's, a data file's, a
    // workspace's): the text up to its first NUL, without the menu's
    // mnemonic marks ("&Medical Monitor" is "Medical Monitor"), line breaks
    // as blanks. Empty when nothing but blanks is left.
    static CString TitleOf(const CString& caption);
    int GetTitleIndex() const { return m_titleIndex; }
    void SetTitleIndex(int index) { m_titleIndex = index; }
    CCommandEntry* GetFrameList() const { return m_frameList; }
    CCommandEntry* GetButtonList() const { return m_buttonList; }
    void SetButtonList(CCommandEntry* list) { m_buttonList = list; }
    // The shell: the main window that device calls report to, the scheduler,
    // the command list and the output flags. A core gets it at creation; the
    // window that adopts a core links it to that window's main frame.
    CFrameLink* GetFrameLink() const { return m_link; }
    void SetFrameLink(CFrameLink* link) { m_link = link; }
    HWND GetMainWindow() const;

    int GetAnalyzeFlag() const { return m_analyzeFlag; }
    void SetAnalyzeFlag(int flag) { m_analyzeFlag = flag; }
    int GetTaskRunning() const { return m_taskRunning; }
    void SetTaskRunning(int mark) { m_taskRunning = mark; }
    int GetAttenuation() const { return m_attenuation; }
    int GetCurrentMarkerIndex() const { return m_currentMarker; }
    int GetCurrentTraceIndex() const { return m_currentTrace; }
    int GetUnit() const { return m_unit; }
    int GetMaxHoldFlag() const { return m_maxHold; }
    int GetMinHoldFlag() const { return m_minHold; }
    int GetReferencePosition() const { return m_referencePosition; }
    int GetRBWIndex() const { return m_rbwIndex; }
    int GetScale() const { return m_scale; }
    int GetGreyScaleFlag() const { return m_greyScale; }
    int GetCatcherRate() const { return m_catcherRate; }
    int GetRejectionRate() const { return m_rejectionRate; }
    int GetLoggingTriggerFlag() const { return m_loggingTrigger; }
    int GetOffsetFlag() const { return m_offsetFlag; }
    const CString& GetOffsetFileName() const { return m_offsetFile; }
    int GetOffsetLoadFailed() const { return m_offsetLoadFailed; }
    // The offset file named in the profile that could not be read.
    const CString& GetFailedOffsetFileName() const { return m_failedOffsetFile; }
    void SetOffsetLoadFailed(int failed) { m_offsetLoadFailed = failed; }
    // The string that tells why the last ReadCSVSections failed.
    int GetReadFailureMessage() const { return m_readFailure; }
    const short* GetOffsetTable() const { return m_offsetTable.data(); }
    CLoggingParam& GetLoggingParam() { return m_logging; }
    // The logging state, the outputs and their prompts.
    CLoggingOutput& GetLoggingOutput() { return m_loggingOutput; }
    const CTime& GetLastDataTime() const { return m_lastDataTime; }
    void SetLastDataTime(const CTime& time) { m_lastDataTime = time; }

    // Runs action (7, 8, 9, 11, 13) with the core out of the scheduler's
    // rotation: the analyse flag is saved and cleared and the main frame is
    // asked to schedule (a running task of this core is stopped); afterwards a
    // set flag is restored and WM_SCHEDULE_NEXT (0, 0) is posted.
    template <typename F> int RunOutsideRotation(F&& action) {
        LeaveRotation();
        const int result = action();
        ReturnToRotation();
        return result;
    }

    // The process-wide id counter (where the search for the next free id
    // starts); for tests.
    static int PeekNextId();

protected:
    // Device facts, through the device interface; tests replace them.
    virtual int DeviceRBWFrequency(int kind, int index);
    virtual double DeviceZeroReferenceLevel();
    virtual int DeviceMaxAttenuation();
    virtual int DeviceAttenuatorStep();

    // The common table; *known tells whether it knows the action.
    int CommonCommandState(int action, int p1, bool* known);
    // The graph's number of vertical divisions: the reference position lies
    // on one of 0..this many.
    virtual int GetYDivisionCount();
    // Brings the loaded or read values back into their ranges: indexes and
    // flags, the attenuation to 0..the device's maximum in its steps, the
    // reference position to 0..the vertical divisions.
    void ValidateParameters();
    // Keeps the RBW index when the device accepts it for this kind, else takes
    // the first usable index 0..13, else -1.
    void ValidateRBWIndex();
    // Grey scale: every pixel of rect that differs from the background becomes
    // the inverted grey 255 - (R + G + B) / 3, every background pixel white.
    static void ConvertToGreyScale(CDC* dc, const CRect& rect, COLORREF background);

    void LeaveRotation();
    void ReturnToRotation();
    // After ShowLevels re-mapped the stores: whatever keeps copies of their
    // words takes them again (nothing in the base).
    virtual void LevelsRemapped() {}
    // The core's own device task, by the one rule of the scheduler: a core
    // ends only the task it started and that still runs, and starts one only
    // while it holds the device (CFrameLink). A core without a shell is alone
    // with the device: its task-running mark tells whether its task runs.
    // TerminateOwnTask ends that task and clears the mark; TRUE when it did.
    BOOL TerminateOwnTask();
    // Starts the task again after TerminateOwnTask, while the core analyses
    // and still holds the device; TRUE when it runs. Otherwise the rotation
    // starts the core in its turn.
    BOOL RestartOwnTask();
    int SetReferenceLevelFromEntry(); // 18
    void PostScheduleNext(LPARAM lParam);

    int m_id;
    CChildFrame* m_window = nullptr;
    CString m_title;
    int m_titleIndex = 0;
    CCommandEntry* m_frameList = nullptr;
    CCommandEntry* m_buttonList = nullptr;
    int m_analyzeFlag = 0;
    int m_taskRunning = 0;
    int m_attenuation = 40;
    int m_currentMarker = 0;
    int m_currentTrace = 0;
    int m_unit = 1;
    int m_maxHold = 0;
    int m_minHold = 0;
    int m_referencePosition = 9;
    int m_rbwIndex = 1;
    int m_scale = 1;
    int m_sweepPosition = 0;
    int m_greyScale = 0;
    int m_catcherRate = -1;
    int m_rejectionRate = 5;
    int m_loggingTrigger = 0;
    std::array<short, kOffsetTableSize> m_offsetTable{};
    int m_offsetFlag = 0;
    CString m_offsetFile;
    int m_offsetLoadFailed = 0;
    CString m_failedOffsetFile;
    int m_readFailure = kStrFileNotRead;
    CLoggingParam m_logging;
    CLoggingOutput m_loggingOutput{*this};
    CTime m_lastDataTime;
    std::uint64_t m_dataIntakes = 0;
    CFrameLink* m_link = nullptr;

private:
    // Raises or ends the technical alarm (ended by data returning or by the
    // end of the watch): the window shows it, the listener hears it.
    void ChangeTechnicalAlarm(bool raised, bool dataReturned);

    int m_savedAnalyzeFlag = 0; // while outside the rotation
    int m_rotationDepth = 0;
    CDataWatchdog m_dataWatch;
    CString m_technicalAlarm;
};
