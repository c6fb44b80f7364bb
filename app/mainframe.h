// CMainFrame: the program's MDI main window and its hub. It builds its menus
// and ten-button bar from the command list, executes commands, opens analysis
// windows (from a command, a workspace file or a CSV data file), runs the
// analysis scheduler that gives the single device to the analysing windows in
// turn, and owns the device link: it opens it at creation, classifies device
// errors, reopens a lost link with its one-shot timer, follows suspend and
// resume, and saves its rectangle when it is destroyed.
#pragma once

#include "analysis/framelink.h"
#include "app/commandlist.h"
#include "app/scheduler.h"
#include "platform/cstring.h"
#include "platform/msgwindow.h"
#include "remote/remotelink.h"

#include <QElapsedTimer>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QRect>

#include <functional>
#include <memory>

class CAnalysisCore;
class CButtonBar;
class CChildFrame;
class CHelpWindow;
class CScpiServer;
class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QPrinter;

// Messages of the main frame (the device library's are in device/TorvelAPI.h).
constexpr UINT kMessageBase = WM_USER; // the base given to InitTorvelDLL
constexpr UINT WM_SCHEDULE_NEXT = WM_USER + 200;
constexpr UINT WM_VIEW_UPDATE = WM_USER + 201;
constexpr UINT WM_VIEW_PROGRESS = WM_USER + 202;
// Main frame to itself after a terminate: the messages the ended task had
// posted are all in before it.
constexpr UINT WM_TASK_FENCE = WM_USER + 203;
// Main-window timers: the link's re-open timer, and core timers (id | 0x8000).
constexpr UINT_PTR kReopenTimerId = 0x3241;
constexpr UINT kReopenPeriodMs = 1000;
constexpr UINT_PTR kCoreTimerBit = 0x8000;
// The watch over the windows' alarms: every second each window's watchdog
// looks whether its data still come.
constexpr UINT_PTR kWatchdogTimerId = 0x3242;
constexpr UINT kWatchdogPeriodMs = 1000;
constexpr int kMaxClientWidth = 1920;
constexpr int kMaxClientHeight = 1080;
// The option that lets a streaming window hand the device on after each
// batch while other windows measure (profile MAIN_FRAME/HandDeviceOn,
// default off: the stream keeps the device; a window with an armed alarm
// always gets its turn), its command action, and the text a waiting window
// shows ("%s" the holding window's title).
constexpr const char* kHandDeviceOnKey = "HandDeviceOn";
constexpr int kActionHandDeviceOn = 54;
// Options > Reopen Windows at Start: the windows open at exit come back at the
// next start (profile WINDOW/ReopenWindows, on by default).
constexpr int kActionReopenWindows = 55;
constexpr const char* kWindowSection = "WINDOW";
constexpr const char* kReopenWindowsKey = "ReopenWindows";
constexpr int kStrWaitingForDevice = 86;
// Options > Remote Control...: the remote-control server's dialog; ticked
// while the server listens.
constexpr int kActionRemoteControl = 60;
// A window holding the device this long tells the waiting windows.
constexpr int kDeviceWaitShownMs = 1000;
// Output flags of the save-data command (MAIN_FRAME/OUT_FILE_FLAG).
constexpr unsigned kOutCsv = 1u << 0;
constexpr unsigned kOutBmp = 1u << 1;
constexpr unsigned kOutPng = 1u << 2;

class CMainFrame : public QMainWindow, public CWnd, public CFrameLink, public CRemoteLink {
    Q_OBJECT
public:
    using MessageSink = std::function<void(const CString&)>;
    // Creates the core of a window kind (1..7), linked to this frame; null for
    // a kind not built.
    using CoreFactory = std::function<std::unique_ptr<CAnalysisCore>(
        int kind, CCommandEntry* frameList, CCommandEntry* buttonList, CFrameLink* link)>;

    explicit CMainFrame(MessageSink messageBox);
    ~CMainFrame() override;

    // Builds the button bar and the command list and opens the device link.
    // False when the frame cannot work (string 3 or string 4 was shown).
    bool Create(bool showSplash);
    // Why the last Create failed: the command list, or else the device link.
    bool CommandListFailed() const { return m_commandListFailed; }
    // Follows the system's suspend and resume (logind on the system bus) as
    // power-broadcast messages. The program asks for it once it is running;
    // the frame alone does not open a bus connection (its D-Bus thread).
    void WatchSystemSleep();
    // Places the window at the stored WINDOW/RECT (default 100,100,500,500),
    // its size clamped to the window's limits and at least part of it on the
    // available screen, whatever the stored numbers are.
    void ApplyStoredRect();
    // The rectangle the window takes for a stored RECT: sizes computed in 64
    // bits and clamped to 1..maxSize (a non-positive size takes the default),
    // the position moved so that a corner piece of the window lies on one of
    // the available screen areas (the first one when it meets none).
    static QRect PlacedRect(const RECT& stored, const QSize& maxSize,
                            const QList<QRect>& availableAreas);
    // The rectangle of a first start (no usable RECT stored): four fifths of
    // the available screen area, centred on it, at least 400 x 400; (100, 100,
    // 500, 500) without a screen.
    static RECT FirstStartRect(const QRect& available);
    // Opens the start window for WINDOW/StartMode: the first command entry of
    // action 5 whose p1 is the mode and whose p2 is 1.
    bool OpenStartWindow(int startMode);
    // Starts the active window's measurement (Run/Stop) when it is stopped.
    void RunActiveWindow();
    // Opens the analysis windows that were open at the last exit, each at its
    // place, when WINDOW/ReopenWindows is on (the default); false when none
    // was opened.
    bool ReopenWindows();
    static bool ReopensWindows();

    // ---- Commands
    void ExecuteCommand(CCommandEntry* entry, bool macroStep = false);
    void ExecuteCommandId(int commandId) override;
    // The state of a menu item or button (1, 0, -1, -2), or kNoState when
    // nothing decides it.
    static constexpr int kNoState = 100;
    // mainFrameAction's answer for an action below 100 that the core handles.
    static constexpr int kActionForCore = -100;
    int CommandState(const CCommandEntry* entry);
    void RefreshButtonBar();
    void PressButton(int index);
    CCommandList& Commands() { return m_commands; }
    CButtonBar* ButtonBar() const { return m_buttonBar; }
    CCommandEntry* CurrentButtonList() const { return m_currentButtonList; }
    unsigned OutputFlags() const { return m_outFileFlag; }
    int MacroDepth() const { return m_macroDepth; }

    // ---- Analysis windows
    CChildFrame* OpenAnalysisWindow(int kind, const CString& title, int variant);
    // Loads a workspace file (".SPE"); with an empty path the setting data
    // already in memory are used.
    CChildFrame* OpenWorkspaceFile(const CString& path);
    CChildFrame* OpenCsvFile(const CString& path);
    CChildFrame* ActiveChild() const;
    void SetCoreFactory(CoreFactory factory) { m_coreFactory = std::move(factory); }
    void UnregisterCore(CAnalysisCore* core);
    void SetCoreTimer(CAnalysisCore* core, UINT id, UINT ms) override;
    CAnalysisScheduler& Scheduler() { return m_scheduler; }

    // ---- The shell as the cores see it (the rest of CFrameLink is above).
    HWND GetMainWindow() override { return GetSafeHwnd(); }
    void PostScheduleNext(LPARAM coreId) override;
    void ScheduleNow(LPARAM coreId) override;
    BOOL TerminateTask(CAnalysisCore* core) override;
    BOOL RestartTask(CAnalysisCore* core) override;
    BOOL SelectInputPath(int path) override;
    void RefreshCommandStates() override { RefreshButtonBar(); }
    unsigned GetOutputFlags() override { return OutputFlags(); }
    CViewWindow* GetViewWindow(CChildFrame* window) override;
    QWidget* CreateView(QWidget* parent) override;
    BOOL TrackPopupMenu(const char* listName, int x, int y) override;
    // What hears the windows' alarms (a publisher); null for nobody.
    CAlarmListener* GetAlarmListener() override { return m_alarmListener; }
    void SetAlarmListener(CAlarmListener* listener) { m_alarmListener = listener; }

    // ---- Remote control (mainframeremote.cpp)
    // Starts the SCPI server on port (of 127.0.0.1 unless allowOthers); false
    // with *error saying why. The program runs on without it.
    bool StartRemote(int port, bool allowOthers, QString* error);
    void StopRemote();
    CScpiServer* RemoteServer() const { return m_remote.get(); }
    // Options > Remote Control...: the server's dialog.
    void ShowRemoteDialog();
    std::vector<CAnalysisCore*> RemoteWindows() override;
    QString RemoteWindowTitle(CAnalysisCore* core) override;
    CAnalysisCore* RemoteOpenWindow(int kind) override;
    void RemoteCloseWindow(CAnalysisCore* core) override;
    void RemoteMarkWindow(CAnalysisCore* core) override;
    int RemoteCommand(CAnalysisCore* core, int action, int p1, int p2, int p3, int p4,
                      int p5) override;
    QByteArray RemoteWindowPng(CAnalysisCore* core) override;
    void SetRemoteObserver(CRemoteObserver* observer) override { m_remoteObserver = observer; }
    void RemoteStatusChanged(const QString& text) override;
    bool RemoteDeviceLost() override { return IsDeviceLost(); }
    bool RemoteDialogOpen() override;

    // ---- Messages
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnTimer(UINT_PTR id) override;
    void OnScheduleNext(WPARAM wParam, LPARAM lParam);
    void OnAnalysisDone(WPARAM wParam, LPARAM lParam);
    void OnAnalysisProgress(WPARAM wParam, LPARAM lParam);
    // The last fence after a terminate: a core that ended its task and did
    // not start it again hands the device on.
    void OnTaskFence();
    // The classification of GetTorvelLastError() after WM_DEVICE_ERROR of the
    // task with tag wParam.
    void OnDeviceError(WPARAM wParam);
    // Suspend (4) closes the link; automatic resume (18) reopens it.
    void OnPowerBroadcast(WPARAM event);
    // Saves the rectangle and closes the device link; runs once, when the
    // window closes for good.
    void OnDestroy();
    // Writes the open analysis windows (kind, number, title, place) for
    // ReopenWindows.
    void saveOpenWindows();
    void ShowAboutBox();
    // The user guide window (Help > Help Topics), at the page of the active
    // window's kind or at the contents page; null before it was first opened.
    CHelpWindow* HelpWindow() const;
    // Closes the program as the user would, but never from inside a modal
    // loop: open modal widgets and pop-up menus are closed first, and the
    // frame closes once the event loop is back at idleLoopLevel (the level of
    // the application's own loop), so that no code after a loop returns to a
    // window that is gone.
    void RequestClose(int idleLoopLevel);
    bool IsCloseRequested() const { return m_closeRequested; }
    // Brings the window to the front (a second start asked for it).
    void Activate();
    // A message box with string stringIndex, and the file it is about below it.
    void ShowMessage(int stringIndex, const CString& fileName = CString());

    WORD SerialNumber() const { return m_serial; }
    WORD FirmwareVersion() const { return m_firmware; }
    bool IsDeviceLost() const { return m_deviceLost; }
    int CurrentAnalysisId() const { return m_scheduler.CurrentId(); }
    bool HandsDeviceOn() const { return m_handDeviceOn; }
    int ActivationCount() const { return m_activations; }
    QMdiArea* mdiArea() const { return m_mdi; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private Q_SLOTS:
    void onPrepareForSleep(bool sleeping);

private:
    bool openDeviceLink();
    void storeDeviceFacts();
    void linkLost();
    void startReopenTimer() { SetTimer(kReopenTimerId, kReopenPeriodMs); }
    void resetAndScheduleNext();
    // Ends the running task (through core's device call when a core ends its
    // own) and posts the fence behind the messages it may have posted.
    void endTask(CAnalysisCore* core);
    // Starts core's task on the input the core asks for; StartAnalysis's result.
    int startTask(CAnalysisCore* core);
    // After a batch of the holder's task: a streaming window hands the device
    // on when another window measures with an armed alarm, and with the
    // option when any other window measures; otherwise, once the holder has
    // kept the device a while, the waiting windows say so.
    void afterBatch(CAnalysisCore* holder);
    // Every analysing window but holder waits for holder (none: no window
    // waits) and says so in its title and graph.
    void showDeviceWait(CAnalysisCore* holder);
    void closeWhenIdle();
    void clampSize();

    // Commands
    // Runs entry with target as the window commands of action >= 100 go to;
    // the handler's result (-1 when nobody handled it).
    int executeCommandOn(CChildFrame* target, CCommandEntry* entry, bool macroStep);
    int mainFrameAction(CCommandEntry* entry);
    void runMacro(const CCommandEntry* entry);
    void pageButtonList(int action);
    void arrangeWindows(int how);
    void openHelp();
    void showMenuOf(const CCommandEntry* frameList);
    void onSubWindowActivated(QMdiSubWindow* window);
    void updateMenuStates(QMenu* menu);
    // An RBW item named by its bandwidth on the device ("RBW 10 kHz").
    void nameBandwidth(QAction* item, const CCommandEntry* entry);
    // The open windows at the end of a Window menu; choosing one activates it.
    void listWindows(QMenu* menu);
    int titleNumberFor(const CString& title) const;
    CChildFrame* newChildFrame(std::unique_ptr<CAnalysisCore> core);
    // The window of core joins the frame; a workspace's settings are loaded
    // between the profile and the reconfiguration, and a load that was not
    // complete is reported with the file's name.
    CChildFrame* finishOpening(std::unique_ptr<CAnalysisCore> core, bool fromWorkspace,
                               const CString& workspacePath);
    // A core of kind for a window; null when there is none of that kind, or
    // when all core ids are taken (then *refused is set and the user was told).
    std::unique_ptr<CAnalysisCore> createCore(int kind, const CString& title, int variant,
                                              bool* refused = nullptr);

    MessageSink m_messageBox;
    CoreFactory m_coreFactory;
    QMdiArea* m_mdi = nullptr;
    CButtonBar* m_buttonBar = nullptr;
    CCommandList m_commands;
    CCommandEntry* m_mainButtonList = nullptr;
    CCommandEntry* m_currentButtonList = nullptr;
    CAnalysisScheduler m_scheduler;
    std::unique_ptr<QPrinter> m_printer;
    QPointer<CHelpWindow> m_helpWindow;
    int m_macroDepth = 0;
    int m_alphaFactor = 128;
    WORD m_serial = 0;
    WORD m_firmware = 0;
    bool m_deviceLost = false;
    // The input the device was last switched to; -1 unknown (a link just
    // opened, or a switch that failed).
    int m_inputPath = -1;
    bool m_handDeviceOn = false;
    // Since the running task started.
    QElapsedTimer m_taskClock;
    unsigned m_outFileFlag = 0;
    bool m_showSplash = false;
    bool m_commandListFailed = false;
    bool m_destroyed = false;
    bool m_closeRequested = false;
    int m_idleLoopLevel = 0;
    int m_activations = 0;
    std::unique_ptr<CScpiServer> m_remote;
    CRemoteObserver* m_remoteObserver = nullptr;
    CAlarmListener* m_alarmListener = nullptr;
    QLabel* m_remoteStatus = nullptr;
};
