// CMainFrame: the program's MDI main window and the hub of the device link.
// It opens the analyser link at creation, keeps the device's serial number and
// firmware version, classifies device errors, reopens a lost link with its
// one-shot timer, follows suspend and resume, and saves its rectangle when it
// is destroyed.
#pragma once

#include "platform/cstring.h"
#include "platform/msgwindow.h"

#include <QMainWindow>

#include <functional>

class QMdiArea;

// Messages of the main frame; the device library's are relative to kMessageBase.
constexpr UINT kMessageBase = WM_USER; // the base given to InitTorvelDLL
constexpr UINT WM_SCHEDULE_NEXT = WM_USER + 200;
constexpr UINT WM_VIEW_UPDATE = WM_USER + 201;
constexpr UINT WM_VIEW_PROGRESS = WM_USER + 202;
// Main-window timers.
constexpr UINT_PTR kReopenTimerId = 0x3241;
constexpr UINT kReopenPeriodMs = 1000;
constexpr int kMaxClientWidth = 1920;
constexpr int kMaxClientHeight = 1080;

class CMainFrame : public QMainWindow, public CWnd {
    Q_OBJECT
public:
    using MessageSink = std::function<void(const CString&)>;

    explicit CMainFrame(MessageSink messageBox);
    ~CMainFrame() override;

    // Builds the frame and opens the device link. False when the link cannot be
    // opened (string 4 is shown); the frame must then be destroyed.
    bool Create(bool showSplash);
    // Places the window at the stored WINDOW/RECT (default 100,100,500,500).
    void ApplyStoredRect();
    // Opens the start window for WINDOW/StartMode through the command list;
    // false when no command opens that kind.
    bool OpenStartWindow(int startMode);

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnTimer(UINT_PTR id) override;

    // The classification of GetTorvelLastError() after WM_DEVICE_ERROR.
    void OnDeviceError();
    // Suspend (4) closes the link; automatic resume (18) reopens it.
    void OnPowerBroadcast(WPARAM event);
    // Saves the rectangle and closes the device link; runs once, when the
    // window closes for good.
    void OnDestroy();
    void ShowAboutBox();
    // Brings the window to the front (a second start asked for it).
    void Activate();

    WORD SerialNumber() const { return m_serial; }
    WORD FirmwareVersion() const { return m_firmware; }
    bool IsDeviceLost() const { return m_deviceLost; }
    int CurrentAnalysisId() const { return m_currentAnalysisId; }
    int ActivationCount() const { return m_activations; }
    QMdiArea* mdiArea() const { return m_mdi; }

protected:
    void closeEvent(QCloseEvent* event) override;

private Q_SLOTS:
    void onPrepareForSleep(bool sleeping);

private:
    bool openDeviceLink();
    void storeDeviceFacts();
    void linkLost();
    void startReopenTimer() { SetTimer(kReopenTimerId, kReopenPeriodMs); }
    // Clears the task-running mark of every scheduled core.
    void clearTaskRunningMarks();
    void watchSystemSleep();

    MessageSink m_messageBox;
    QMdiArea* m_mdi = nullptr;
    WORD m_serial = 0;
    WORD m_firmware = 0;
    bool m_deviceLost = false;
    int m_currentAnalysisId = 0;
    unsigned m_outFileFlag = 0;
    bool m_showSplash = false;
    bool m_destroyed = false;
    int m_activations = 0;
};
