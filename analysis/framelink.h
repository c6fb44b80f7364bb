// CFrameLink: what the analysis cores and modes need from the application
// shell, and all they see of it: the main window that device tasks report to,
// the scheduler's messages, the command list, the button bar, the output flags,
// the cores' one-shot timers and the view of an analysis window. The main frame
// implements it; a core gets it when it is created.
#pragma once

#include "platform/wintypes.h"

class CAlarmListener;
class CAnalysisCore;
class CChildFrame;
class CViewWindow;
class QWidget;

class CFrameLink {
public:
    // The main window: device tasks post their messages to it.
    virtual HWND GetMainWindow() = 0;
    // Posts WM_SCHEDULE_NEXT (0, coreId) to the main window: with 0 the next
    // analysing core is started when the device is free; with a core's id that
    // core's running task is stopped first.
    virtual void PostScheduleNext(LPARAM coreId) = 0;
    // The same, handled before it returns: a core that leaves the rotation has
    // its running task stopped at once.
    virtual void ScheduleNow(LPARAM coreId) = 0;
    // A core's own device task, by one rule for every kind: a core ends only
    // the task it started and that still runs, and starts one only while it
    // holds the device. TerminateTask ends core's task when core holds the
    // device and its task runs; TRUE when it did. A core that does not start
    // its task again at once hands the device on to the next analysing window.
    virtual BOOL TerminateTask(CAnalysisCore* /*core*/) { return FALSE; }
    // Starts core's task again after core ended it, while core still holds
    // the device; TRUE when it runs. Otherwise the rotation starts core in its
    // turn.
    virtual BOOL RestartTask(CAnalysisCore* /*core*/) { return FALSE; }
    // The analyser's input (0 RF1, 1 RF2), the one device setting a task
    // leaves behind: every task is started on the input its core asks for
    // (CAnalysisCore::GetInputPath), so no window measures through the input
    // another window chose. TRUE when the device is on that input. The
    // default switches the device every time.
    virtual BOOL SelectInputPath(int path);
    // The button bar shows the commands' states again (menus ask when they open).
    virtual void RefreshCommandStates() = 0;
    // Executes a command of the command list (35000 + its index) as a menu
    // choice would.
    virtual void ExecuteCommandId(int commandId) = 0;
    // Bit 0 CSV, bit 1 BMP, bit 2 PNG: the outputs the save-data command writes.
    virtual unsigned GetOutputFlags() = 0;
    // The core's one-shot main-window timer (the core's id | 0x8000); when it
    // fires, the cores' OnTimer is offered the low 15 bits until one takes it.
    virtual void SetCoreTimer(CAnalysisCore* core, UINT id, UINT ms) = 0;
    // The view of an analysis window, or null.
    virtual CViewWindow* GetViewWindow(CChildFrame* window) = 0;
    // A further view of the program's view class, made in parent, for a window
    // with more than one graph pane; the widget is also that view's
    // CViewWindow. Null when the shell makes none.
    virtual QWidget* CreateView(QWidget* /*parent*/) { return nullptr; }
    // Shows the menu of the command list named listName at the screen point
    // and runs the command chosen there; FALSE when no list has that name.
    virtual BOOL TrackPopupMenu(const char* /*listName*/, int /*x*/, int /*y*/) { return FALSE; }
    // What hears the windows' alarms beyond the windows themselves; null for
    // nobody.
    virtual CAlarmListener* GetAlarmListener() { return nullptr; }

protected:
    ~CFrameLink() = default;
};
