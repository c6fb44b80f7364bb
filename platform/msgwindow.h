// Windows and messages. A CWnd owns an integer window handle registered in the
// process's window registry and receives messages through its virtual
// WindowProc. PostMessage is thread-safe (the device library and the worker
// threads use it); delivery is always on the GUI thread through the Qt event
// loop, in posting order. A message posted to a handle whose window is gone is
// dropped. Timers are Qt timers that deliver WM_TIMER with the caller's id.
#pragma once

#include "wintypes.h"

#include <map>
#include <memory>

class QTimer;

class CWnd {
public:
    CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    virtual ~CWnd();

    HWND GetSafeHwnd() const { return m_hwnd; }
    static CWnd* FromHandle(HWND hwnd);

    // The message handler. The default sends WM_TIMER to OnTimer and returns 0
    // for everything else.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void OnTimer(UINT_PTR id) { (void)id; }

    // Starts (or restarts) timer id with the given period in milliseconds.
    UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs);
    BOOL KillTimer(UINT_PTR id);
    bool HasTimer(UINT_PTR id) const { return m_timers.count(id) != 0; }

    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

private:
    HWND m_hwnd = 0;
    std::map<UINT_PTR, std::unique_ptr<QTimer>> m_timers;
};

// Thread-safe. FALSE when the handle is not a live window or no application
// object exists to deliver it.
BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// GUI thread only: calls the window's handler at once; 0 for a dead handle.
LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
bool IsWindow(HWND hwnd);
