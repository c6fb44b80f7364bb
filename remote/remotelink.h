// CRemoteLink: what the remote-control server needs from the application
// shell, and all it sees of it. The main frame implements it. Every change a
// remote command makes goes through the shell's command path (the command
// list's actions, run as a menu choice would run them on one window), so a
// remote client and a person at the buttons act alike and the scheduler's
// rotation is never bypassed. CRemoteObserver is the way back: the shell tells
// the server when a window's data arrived and when a window goes.
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

class CAnalysisCore;

class CRemoteObserver {
public:
    // A block of data was taken in by core (after the core has stored it).
    virtual void DataArrived(CAnalysisCore* core) = 0;
    // The window of core is closing; core is still whole but goes right after.
    virtual void WindowClosing(CAnalysisCore* core) = 0;
    // The device refused core's task, which a remote command started (no box
    // is shown on the screen); text says why in the device's words.
    virtual void DeviceRefused(CAnalysisCore* core, const QString& text) = 0;

protected:
    ~CRemoteObserver() = default;
};

class CRemoteLink {
public:
    // The open analysis windows' cores, in the order the windows were opened.
    virtual std::vector<CAnalysisCore*> RemoteWindows() = 0;
    // The title shown on a window ("Normal Analysis:2").
    virtual QString RemoteWindowTitle(CAnalysisCore* core) = 0;
    // Opens a window of kind 1..7 through its command of the command list (the
    // first of action 5 for that kind); its core, or null. What the shell
    // would tell in a message box meanwhile is not shown: its text is put in
    // *told.
    virtual CAnalysisCore* RemoteOpenWindow(int kind, QString* told) = 0;
    // Closes the window of core as its close box would.
    virtual void RemoteCloseWindow(CAnalysisCore* core) = 0;
    // Brings the window of core to the front, so that the window a client
    // works on is the one marked on screen.
    virtual void RemoteMarkWindow(CAnalysisCore* core) = 0;
    // Runs command action with its parameters on the window of core as the
    // command list would (the core's handler, then its reconfiguration and
    // redraw when the handler asks for them, then the button bar); the
    // handler's result.
    virtual int RemoteCommand(CAnalysisCore* core, int action, int p1 = 0, int p2 = 0, int p3 = 0,
                              int p4 = 0, int p5 = 0) = 0;
    // The window's drawing as PNG bytes; empty when it cannot be made.
    virtual QByteArray RemoteWindowPng(CAnalysisCore* core) = 0;
    // The observer of windows and data, or null.
    virtual void SetRemoteObserver(CRemoteObserver* observer) = 0;
    // The server's state for the shell to show ("Remote: port 5025, 2 clients").
    virtual void RemoteStatusChanged(const QString& text) = 0;
    // True while the device link is lost (the rotation stands until it is back).
    virtual bool RemoteDeviceLost() = 0;
    // True while a dialog of the program is open. A window's entry dialog
    // works on its window when it closes, so no window may close meanwhile.
    virtual bool RemoteDialogOpen() = 0;

protected:
    ~CRemoteLink() = default;
};
