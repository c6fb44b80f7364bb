#include "mainframe.h"

#include "app/aboutdlg.h"
#include "app/splashwnd.h"
#include "device/TorvelAPI.h"
#include "lib/profilevalues.h"
#include "lib/stringtable.h"
#include "platform/profile.h"

#include <QCloseEvent>
#include <QDBusConnection>
#include <QMdiArea>
#include <QMenuBar>

namespace {
const char* text(int index) {
    const char* s = GetTorvelString(index);
    return s ? s : "";
}
} // namespace

CMainFrame::CMainFrame(MessageSink messageBox)
    : m_messageBox(std::move(messageBox)), m_mdi(new QMdiArea(this)) {
    setCentralWidget(m_mdi);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(QString::fromUtf8(text(0)));
    m_outFileFlag = static_cast<unsigned>(GetProfileInt("MAIN_FRAME", "OUT_FILE_FLAG", 0));
    // The window may not grow past the outer size of a 1920 x 1080 client area.
    setMaximumSize(kMaxClientWidth, kMaxClientHeight + menuBar()->sizeHint().height());
}

CMainFrame::~CMainFrame() {
    OnDestroy();
    WriteProfileInt("MAIN_FRAME", "OUT_FILE_FLAG", static_cast<int>(m_outFileFlag));
}

void CMainFrame::ApplyStoredRect() {
    RECT r{100, 100, 500, 500};
    GetProfileRECT("WINDOW", "RECT", &r);
    move(r.left, r.top);
    resize(r.right - r.left, r.bottom - r.top);
}

bool CMainFrame::Create(bool showSplash) {
    m_showSplash = showSplash;
    ApplyStoredRect();
    if (!openDeviceLink()) {
        m_messageBox(text(4));
        return false;
    }
    watchSystemSleep();
    return true;
}

bool CMainFrame::OpenStartWindow(int startMode) {
    // Analysis windows are opened through the command list, which the main
    // frame builds with its menus and button bar.
    (void)startMode;
    return false;
}

bool CMainFrame::openDeviceLink() {
    if (InitTorvelDLL(GetSafeHwnd(), kMessageBase) != 1)
        return false;
    storeDeviceFacts();
    if (m_showSplash)
        CSplashWnd::ShowSplashScreen(this);
    return true;
}

void CMainFrame::storeDeviceFacts() {
    m_serial = static_cast<WORD>(GetSerialNumber());
    m_firmware = static_cast<WORD>(GetFirmWareVersion());
}

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DEVICE_ERROR:
        OnDeviceError();
        return 0;
    case WM_POWERBROADCAST:
        OnPowerBroadcast(wParam);
        return 1;
    default:
        return CWnd::WindowProc(message, wParam, lParam);
    }
}

void CMainFrame::OnTimer(UINT_PTR id) {
    if (id != kReopenTimerId)
        return;
    KillTimer(kReopenTimerId);
    if (!m_deviceLost)
        return;
    if (InitTorvelDLL(GetSafeHwnd(), kMessageBase) == 1) {
        storeDeviceFacts();
        m_deviceLost = false;
        m_currentAnalysisId = 0;
        PostMessage(WM_SCHEDULE_NEXT, 0, 0);
    } else {
        ShutdownTorvelDLL();
        startReopenTimer();
    }
}

void CMainFrame::OnDeviceError() {
    int error = GetTorvelLastError();
    if (TorvelErrorIsLinkLost(error)) {
        linkLost();
    } else if (error == kTorvelErrorTaskFailed) {
        TerminateTorvelTask();
        m_currentAnalysisId = 0;
        clearTaskRunningMarks();
        PostMessage(WM_SCHEDULE_NEXT, 0, 0);
    }
}

void CMainFrame::linkLost() {
    clearTaskRunningMarks();
    m_deviceLost = true;
    ShutdownTorvelDLL();
    startReopenTimer();
}

void CMainFrame::clearTaskRunningMarks() {
    // No core is scheduled until analysis windows exist.
}

void CMainFrame::OnPowerBroadcast(WPARAM event) {
    if (event == PBT_APMSUSPEND) {
        ShutdownTorvelDLL();
    } else if (event == PBT_APMRESUMEAUTOMATIC) {
        if (InitTorvelDLL(GetSafeHwnd(), kMessageBase) == 1) {
            storeDeviceFacts();
            m_deviceLost = false;
            m_currentAnalysisId = 0;
            PostMessage(WM_SCHEDULE_NEXT, 0, 0);
        } else {
            m_deviceLost = true;
            ShutdownTorvelDLL();
            startReopenTimer();
        }
    }
}

void CMainFrame::onPrepareForSleep(bool sleeping) {
    SendMessage(WM_POWERBROADCAST, sleeping ? PBT_APMSUSPEND : PBT_APMRESUMEAUTOMATIC, 0);
}

void CMainFrame::watchSystemSleep() {
    // logind announces suspend and resume; without a system bus there are no
    // power events, as on a machine that never sleeps.
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected())
        bus.connect("org.freedesktop.login1", "/org/freedesktop/login1",
                    "org.freedesktop.login1.Manager", "PrepareForSleep", this,
                    SLOT(onPrepareForSleep(bool)));
}

void CMainFrame::OnDestroy() {
    if (m_destroyed)
        return;
    m_destroyed = true;
    KillTimer(kReopenTimerId);
    if (isMaximized()) {
        WriteProfileInt("WINDOW", "MAXIMIZE", 1);
    } else {
        RECT r{x(), y(), x() + width(), y() + height()};
        WriteProfileRECT("WINDOW", "RECT", &r);
        WriteProfileInt("WINDOW", "MAXIMIZE", 0);
    }
    ShutdownTorvelDLL();
    m_mdi->closeAllSubWindows();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    OnDestroy();
    event->accept();
}

void CMainFrame::ShowAboutBox() {
    CAboutDlg dlg(m_firmware, m_serial, this);
    dlg.exec();
}

void CMainFrame::Activate() {
    ++m_activations;
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}
