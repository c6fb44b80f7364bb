#include "mainframe.h"

#include "analysis/analysiscore.h"
#include "app/aboutdlg.h"
#include "app/buttonbar.h"
#include "app/childframe.h"
#include "app/helpwindow.h"
#include "app/splashwnd.h"
#include "app/torvelview.h"
#include "device/TorvelAPI.h"
#include "lib/profilevalues.h"
#include "lib/stringtable.h"
#include "platform/profile.h"
#include "remote/scpiserver.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDBusConnection>
#include <QDialog>
#include <QDockWidget>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMenuBar>
#include <QPrinter>
#include <QResizeEvent>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdint>

namespace {
// A refused device start: the message and its reasons.
constexpr int kStrRefusedStart = 91;
constexpr int kStrRefusedSetting = 92;
constexpr int kStrRefusedBusy = 93;
constexpr int kStrRefusedTask = 94;

const char* text(int index) {
    const char* s = GetTorvelString(index);
    return s ? s : "";
}
} // namespace

CMainFrame::CMainFrame(MessageSink messageBox)
    : m_messageBox(std::move(messageBox)), m_mdi(new QMdiArea(this)) {
    setCentralWidget(m_mdi);
    // Windows kept at their readable size may reach past the frame: it scrolls.
    m_mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWindowTitle(QString::fromUtf8(text(0)));
    m_outFileFlag = static_cast<unsigned>(GetProfileInt("MAIN_FRAME", "OUT_FILE_FLAG", 0));
    m_handDeviceOn = GetProfileInt("MAIN_FRAME", kHandDeviceOnKey, 0) != 0;
    connect(m_mdi, &QMdiArea::subWindowActivated, this, &CMainFrame::onSubWindowActivated);
}

CMainFrame::~CMainFrame() {
    qApp->removeEventFilter(this);
    OnDestroy();
    WriteProfileInt("MAIN_FRAME", "OUT_FILE_FLAG", static_cast<int>(m_outFileFlag));
    WriteProfileInt("MAIN_FRAME", kHandDeviceOnKey, m_handDeviceOn ? 1 : 0);
}

namespace {
// The Run/Stop command of every analysis window.
constexpr int kRunStopAction = 16;
constexpr RECT kDefaultRect{100, 100, 500, 500};
// How much of the window must lie on an available screen area: enough of its
// top left corner to grab the title bar.
constexpr std::int64_t kVisiblePart = 64;
} // namespace

QRect CMainFrame::PlacedRect(const RECT& stored, const QSize& maxSize,
                             const QList<QRect>& availableAreas) {
    std::int64_t left = stored.left, top = stored.top;
    std::int64_t width = static_cast<std::int64_t>(stored.right) - stored.left;
    std::int64_t height = static_cast<std::int64_t>(stored.bottom) - stored.top;
    if (width <= 0 || height <= 0) {
        left = kDefaultRect.left;
        top = kDefaultRect.top;
        width = kDefaultRect.right - kDefaultRect.left;
        height = kDefaultRect.bottom - kDefaultRect.top;
    }
    width = std::min<std::int64_t>(width, maxSize.width());
    height = std::min<std::int64_t>(height, maxSize.height());
    // The window stays where it was put when its top left corner piece lies on
    // an available area; otherwise it moves into the first area, as far as it fits.
    const auto cornerOn = [&](const QRect& a) {
        const std::int64_t aLeft = a.left(), aTop = a.top();
        const std::int64_t aRight = aLeft + a.width(), aBottom = aTop + a.height();
        const std::int64_t visible = std::min(kVisiblePart, std::min(width, height));
        return left >= aLeft && top >= aTop && left + visible <= aRight && top + visible <= aBottom;
    };
    if (!availableAreas.isEmpty() &&
        std::none_of(availableAreas.begin(), availableAreas.end(), cornerOn)) {
        const QRect& a = availableAreas.front();
        const std::int64_t maxLeft = std::max<std::int64_t>(a.left(), a.left() + a.width() - width);
        const std::int64_t maxTop = std::max<std::int64_t>(a.top(), a.top() + a.height() - height);
        left = std::clamp<std::int64_t>(left, a.left(), maxLeft);
        top = std::clamp<std::int64_t>(top, a.top(), maxTop);
    }
    // Without any screen the position is only bounded.
    left = std::clamp<std::int64_t>(left, -kMaxClientWidth, 4 * kMaxClientWidth);
    top = std::clamp<std::int64_t>(top, -kMaxClientHeight, 4 * kMaxClientHeight);
    return QRect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(width),
                 static_cast<int>(height));
}

RECT CMainFrame::FirstStartRect(const QRect& available) {
    if (available.isEmpty())
        return kDefaultRect;
    const int least = kDefaultRect.right - kDefaultRect.left;
    const int width = std::max(least, available.width() * 4 / 5);
    const int height = std::max(least, available.height() * 4 / 5);
    const int left = available.left() + std::max(0, (available.width() - width) / 2);
    const int top = available.top() + std::max(0, (available.height() - height) / 2);
    return RECT{left, top, left + width, top + height};
}

void CMainFrame::ApplyStoredRect() {
    QList<QRect> areas;
    if (QScreen* primary = QGuiApplication::primaryScreen())
        areas.append(primary->availableGeometry());
    for (QScreen* screen : QGuiApplication::screens())
        if (screen != QGuiApplication::primaryScreen())
            areas.append(screen->availableGeometry());
    // Without a stored rectangle (a first start) the window takes most of
    // the screen rather than the 400 x 400 pixels of the stored default, in
    // which the button captions and the graph's texts are cut.
    RECT r{0, 0, 0, 0};
    GetProfileRECT("WINDOW", "RECT", &r);
    if (r.right <= r.left || r.bottom <= r.top)
        r = FirstStartRect(areas.isEmpty() ? QRect() : areas.front());
    const QRect placed = PlacedRect(r, maximumSize(), areas);
    move(placed.topLeft());
    resize(placed.size());
}

bool CMainFrame::Create(bool showSplash) {
    m_showSplash = showSplash;
    // The window may not grow past the outer size of a 1920 x 1080 client area.
    setMaximumSize(kMaxClientWidth, kMaxClientHeight + menuBar()->sizeHint().height());
    ApplyStoredRect();

    // The button bar, docked at the bottom.
    auto* dock = new QDockWidget(this);
    dock->setObjectName("ButtonBarDock");
    dock->setTitleBarWidget(new QWidget(dock));
    dock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    m_buttonBar = new CButtonBar(dock);
    dock->setWidget(m_buttonBar);
    addDockWidget(Qt::BottomDockWidgetArea, dock);
    m_buttonBar->OnPressed = [this](int i) { PressButton(i); };

    m_alphaFactor = GetProfileInt("WINDOW", "AlphaFactor", 128);
    WriteProfileInt("WINDOW", "AlphaFactor", m_alphaFactor);

    m_commandListFailed = !m_commands.Build(100);
    if (m_commandListFailed) {
        m_messageBox(text(3));
        return false;
    }
    for (QMenu* menu : m_commands.AllMenus())
        connect(menu, &QMenu::aboutToShow, this, [this, menu] { updateMenuStates(menu); });
    for (int i = 0; i < m_commands.EntryCount(); ++i) {
        CCommandEntry* e = m_commands.Entry(i);
        if (e->item) {
            int id = e->commandId;
            connect(e->item, &QAction::triggered, this, [this, id] { ExecuteCommandId(id); });
        }
    }
    showMenuOf(m_commands.ListOf("MAIN_FRAME"));
    m_mainButtonList = m_commands.ListOf("MAIN_BUTTON");

    qApp->installEventFilter(this); // F1..F10 reach the button bar from anywhere

    if (!openDeviceLink()) {
        m_messageBox(text(4));
        return false;
    }
    SetTimer(kWatchdogTimerId, kWatchdogPeriodMs);
    return true;
}

bool CMainFrame::OpenStartWindow(int startMode) {
    CCommandEntry* e = m_commands.EntryByAction(5, startMode, 1);
    if (!e)
        return false;
    return OpenAnalysisWindow(e->p1(), e->caption, e->p2()) != nullptr;
}

void CMainFrame::RunActiveWindow() {
    CChildFrame* child = ActiveChild();
    CAnalysisCore* core = child ? child->GetCore() : nullptr;
    if (!core || core->GetAnalyzeFlag())
        return;
    core->ExecuteCommand(kRunStopAction, 0, 0, 0, 0, 0);
    RefreshButtonBar();
}

namespace {
constexpr char kOpenWindowsSection[] = "OPEN_WINDOWS";
// At most this many windows are reopened (a damaged profile cannot open more).
constexpr int kMaxReopened = 32;
// Coordinates and sizes of a reopened window beyond this are damage.
constexpr int kMaxPlace = 8000;
} // namespace

void CMainFrame::saveOpenWindows() {
    const bool reopen = ReopensWindows();
    WriteProfileInt(kWindowSection, kReopenWindowsKey, reopen ? 1 : 0);
    int count = 0;
    // In the order they were opened, so that each gets its number back.
    for (QMdiSubWindow* w : m_mdi->subWindowList(QMdiArea::CreationOrder)) {
        auto* child = dynamic_cast<CChildFrame*>(w);
        CAnalysisCore* core = child ? child->GetCore() : nullptr;
        if (!reopen || !core || count >= kMaxReopened)
            continue;
        const QRect place =
            w->isMaximized() || w->isMinimized() ? w->normalGeometry() : w->geometry();
        CString entry;
        entry.Format("%d,%d,%d,%d,%d,%d,%d,", core->GetAnalysisType(), core->GetTitleIndex(),
                     place.x(), place.y(), place.width(), place.height(), w->isMaximized() ? 1 : 0);
        ++count;
        CString key;
        key.Format("Window%d", count);
        WriteProfileString(kOpenWindowsSection, key, entry + core->GetTitle());
    }
    WriteProfileInt(kOpenWindowsSection, "Count", count);
}

bool CMainFrame::ReopensWindows() {
    return GetProfileInt(kWindowSection, kReopenWindowsKey, 1) != 0;
}

bool CMainFrame::ReopenWindows() {
    if (!ReopensWindows())
        return false;
    const int count = std::clamp(GetProfileInt(kOpenWindowsSection, "Count", 0), 0, kMaxReopened);
    CChildFrame* maximized = nullptr;
    bool opened = false;
    for (int i = 1; i <= count; ++i) {
        CString key;
        key.Format("Window%d", i);
        // Bytes, not text: the title is kept byte for byte as it was stored.
        const QByteArray entry(GetProfileString(kOpenWindowsSection, key, "").c_str());
        const QList<QByteArray> f = entry.split(',');
        if (f.size() < 8)
            continue; // damaged: left out
        int v[7];
        bool ok = true;
        for (int k = 0; k < 7 && ok; ++k)
            v[k] = f[k].toInt(&ok);
        if (!ok)
            continue;
        const CString title(f.mid(7).join(',').toStdString());
        CChildFrame* w = OpenAnalysisWindow(v[0], title, v[1]);
        if (!w)
            continue;
        opened = true;
        // A damaged place stays within reach (the area scrolls to it); a size
        // below the window's minimum grows to it.
        const QSize size =
            QSize(v[4], v[5]).expandedTo(w->minimumSize()).boundedTo(QSize(kMaxPlace, kMaxPlace));
        const QPoint at(std::clamp(v[2], 0, kMaxPlace), std::clamp(v[3], 0, kMaxPlace));
        w->setGeometry(QRect(at, size));
        if (v[6])
            maximized = w;
    }
    if (maximized) {
        m_mdi->setActiveSubWindow(maximized);
        maximized->showMaximized();
    }
    return opened;
}

bool CMainFrame::openDeviceLink() {
    if (InitTorvelDLL(GetSafeHwnd(), kMessageBase) != 1)
        return false;
    storeDeviceFacts();
    RefreshButtonBar();
    if (m_showSplash)
        CSplashWnd::ShowSplashScreen(this);
    return true;
}

void CMainFrame::storeDeviceFacts() {
    // A link opened anew may have the device on either input.
    m_inputPath = -1;
    m_serial = GetSerialNumber();
    m_firmware = GetFirmWareVersion();
}

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DEVICE_ERROR:
        OnDeviceError(wParam);
        return 0;
    case WM_ANALYSIS_DONE:
        OnAnalysisDone(wParam, lParam);
        return 0;
    case WM_ANALYSIS_PROGRESS:
        OnAnalysisProgress(wParam, lParam);
        return 0;
    case WM_SCHEDULE_NEXT:
        OnScheduleNext(wParam, lParam);
        return 0;
    case WM_TASK_FENCE:
        OnTaskFence();
        return 0;
    case WM_POWERBROADCAST:
        OnPowerBroadcast(wParam);
        return 1;
    default:
        return CWnd::WindowProc(message, wParam, lParam);
    }
}

void CMainFrame::OnTimer(UINT_PTR id) {
    if (id > kCoreTimerBit) {
        // A core's one-shot timer: offered to the cores until one takes it.
        KillTimer(id);
        const UINT coreTimer = static_cast<UINT>(id & 0x7FFF);
        for (CAnalysisCore* core : std::vector<CAnalysisCore*>(m_scheduler.Cores()))
            if (core->OnTimer(coreTimer))
                break;
        return;
    }
    if (id == kWatchdogTimerId) {
        for (CAnalysisCore* core : std::vector<CAnalysisCore*>(m_scheduler.Cores()))
            core->WatchData();
        return;
    }
    if (id != kReopenTimerId)
        return;
    KillTimer(kReopenTimerId);
    if (!m_deviceLost)
        return;
    if (InitTorvelDLL(GetSafeHwnd(), kMessageBase) == 1) {
        storeDeviceFacts();
        m_deviceLost = false;
        resetAndScheduleNext();
    } else {
        ShutdownTorvelDLL();
        startReopenTimer();
    }
}

void CMainFrame::SetCoreTimer(CAnalysisCore* core, UINT id, UINT ms) {
    (void)id;
    SetTimer(static_cast<UINT_PTR>(core->GetId()) | kCoreTimerBit, ms);
}

CViewWindow* CMainFrame::GetViewWindow(CChildFrame* window) {
    return window ? window->GetView() : nullptr;
}

QWidget* CMainFrame::CreateView(QWidget* parent) {
    return new CTorvelView(parent);
}

// ---- The scheduler

void CMainFrame::PostScheduleNext(LPARAM coreId) {
    PostMessage(WM_SCHEDULE_NEXT, 0, coreId);
}

void CMainFrame::ScheduleNow(LPARAM coreId) {
    SendMessage(WM_SCHEDULE_NEXT, 0, coreId);
}

void CMainFrame::resetAndScheduleNext() {
    m_scheduler.SetCurrentId(0);
    m_scheduler.SetTask(CAnalysisScheduler::Task::kNone);
    PostMessage(WM_SCHEDULE_NEXT, 0, 0);
}

void CMainFrame::endTask(CAnalysisCore* core) {
    if (core)
        core->DeviceTerminate();
    else
        TerminateTorvelTask();
    m_scheduler.SetTask(CAnalysisScheduler::Task::kEnded);
    m_scheduler.AddFence();
    PostMessage(WM_TASK_FENCE, 0, 0);
}

BOOL CMainFrame::TerminateTask(CAnalysisCore* core) {
    if (m_deviceLost || !core || core->GetId() != m_scheduler.CurrentId() ||
        m_scheduler.GetTask() != CAnalysisScheduler::Task::kRunning)
        return FALSE;
    endTask(core);
    return TRUE;
}

BOOL CMainFrame::RestartTask(CAnalysisCore* core) {
    if (m_deviceLost || !core || core->GetId() != m_scheduler.CurrentId() ||
        m_scheduler.GetTask() != CAnalysisScheduler::Task::kEnded || !core->GetAnalyzeFlag())
        return FALSE;
    if (startTask(core) != 1)
        return FALSE; // the fence hands the device on
    m_scheduler.SetTask(CAnalysisScheduler::Task::kRunning);
    return TRUE;
}

BOOL CMainFrame::SelectInputPath(int path) {
    if (m_deviceLost)
        return FALSE;
    if (path == m_inputPath)
        return TRUE;
    m_inputPath = CFrameLink::SelectInputPath(path) ? path : -1;
    return m_inputPath == path ? TRUE : FALSE;
}

int CMainFrame::startTask(CAnalysisCore* core) {
    // A task measures through the input its own window asks for, whatever
    // input the task before it left switched. A device without the switch
    // measures its only input: a failed switch is no reason not to measure
    // (a window that needs the second input refuses to start by itself).
    SelectInputPath(core->GetInputPath());
    return core->StartAnalysis();
}

void CMainFrame::OnTaskFence() {
    if (!m_scheduler.RemoveFence())
        return;
    // The core that ended its task kept the device for a new one; without
    // it the device goes on to the next analysing window.
    if (m_scheduler.GetTask() == CAnalysisScheduler::Task::kEnded) {
        m_scheduler.SetTask(CAnalysisScheduler::Task::kNone);
        PostMessage(WM_SCHEDULE_NEXT, static_cast<WPARAM>(m_scheduler.CurrentId()), 0);
    }
}

void CMainFrame::OnScheduleNext(WPARAM wParam, LPARAM lParam) {
    if (m_deviceLost)
        return;
    if (wParam == 0 && m_scheduler.CurrentId() != 0) {
        // A stop request for the running core ends its task; any other request
        // waits for the running task.
        if (lParam != m_scheduler.CurrentId())
            return;
        if (m_scheduler.GetTask() == CAnalysisScheduler::Task::kRunning)
            endTask(nullptr);
        if (CAnalysisCore* core = m_scheduler.Find(m_scheduler.CurrentId()))
            core->SetTaskRunning(0);
        resetAndScheduleNext();
        return;
    }
    CAnalysisCore* core = m_scheduler.Next();
    if (!core) {
        // No window measures: the device is left on its first input, where
        // any other program or a later window expects it.
        SelectInputPath(0);
        return;
    }
    if (startTask(core) == 1) {
        m_scheduler.SetTask(CAnalysisScheduler::Task::kRunning);
        m_taskClock.start();
        // The device went on: no window waits for the one that held it.
        showDeviceWait(nullptr);
        return;
    }
    int error = GetTorvelLastError();
    if (TorvelErrorIsLinkLost(error)) {
        linkLost();
        return;
    }
    core->SetAnalyzeFlag(0);
    if (CChildFrame* active = ActiveChild(); active && active->GetCore() == core)
        RefreshButtonBar();
    resetAndScheduleNext();
    // The window stops analysing: its user is told why.
    const int reason = error == kTorvelErrorBadParameter ? kStrRefusedSetting
                       : error == kTorvelErrorBusy       ? kStrRefusedBusy
                                                         : kStrRefusedTask;
    CString message;
    message.Format("%s: %s\n\n%s (%d)", static_cast<const char*>(core->GetTitle()),
                   text(kStrRefusedStart), text(reason), error);
    m_messageBox(message);
}

namespace {
// The semi-real-time kind: its task streams its data in batches until it is ended.
constexpr int kStreamingKind = 4;
} // namespace

// The device's messages carry the tag of the task that posted them (wParam):
// only the running task's reach its core; those of a task that was ended, or
// of another core, reach nobody and leave the rotation as it is.
void CMainFrame::OnAnalysisDone(WPARAM wParam, LPARAM lParam) {
    if (!m_scheduler.IsRunningTask(wParam))
        return;
    m_scheduler.SetTask(CAnalysisScheduler::Task::kNone);
    CAnalysisCore* core = m_scheduler.Find(m_scheduler.CurrentId());
    if (!core) {
        PostMessage(WM_SCHEDULE_NEXT, static_cast<WPARAM>(m_scheduler.CurrentId()), 0);
        return;
    }
    if (core->GetAnalyzeFlag()) {
        core->AnalysisFinished(wParam, lParam);
        if (m_remoteObserver)
            m_remoteObserver->DataArrived(core);
    }
    if (CChildFrame* w = core->GetWindow())
        w->PostMessage(WM_VIEW_UPDATE, 0, 0);
    PostMessage(WM_SCHEDULE_NEXT, static_cast<WPARAM>(m_scheduler.CurrentId()), 0);
}

void CMainFrame::OnAnalysisProgress(WPARAM wParam, LPARAM lParam) {
    if (!m_scheduler.IsRunningTask(wParam))
        return;
    CAnalysisCore* core = m_scheduler.Find(m_scheduler.CurrentId());
    if (!core || !core->GetAnalyzeFlag())
        return;
    core->AnalysisProgress(wParam, lParam);
    // A semi-real-time window takes its data in with each batch of its stream.
    if (m_remoteObserver && core->GetAnalysisType() == kStreamingKind)
        m_remoteObserver->DataArrived(core);
    if (CChildFrame* w = core->GetWindow()) {
        w->PostMessage(WM_VIEW_UPDATE, 0, 0);
        w->PostMessage(WM_VIEW_PROGRESS, 0, 0);
    }
    afterBatch(core);
}

void CMainFrame::afterBatch(CAnalysisCore* holder) {
    const auto& cores = m_scheduler.Cores();
    const auto othersMeasure = [&](bool armedOnly) {
        return std::any_of(cores.begin(), cores.end(), [&](CAnalysisCore* c) {
            return c != holder && c->GetAnalyzeFlag() != 0 && (!armedOnly || c->HasArmedAlarm());
        });
    };
    // A window that watches for an alarm is never left without data by a
    // stream, whatever the option says.
    const bool handOn = othersMeasure(!m_handDeviceOn);
    if (handOn && holder->GetAnalysisType() == kStreamingKind) {
        // The stream ends with this batch and the next window takes its turn;
        // the streaming window starts a new stream in its own.
        endTask(nullptr);
        holder->SetTaskRunning(0);
        m_scheduler.SetTask(CAnalysisScheduler::Task::kNone);
        PostMessage(WM_SCHEDULE_NEXT, static_cast<WPARAM>(m_scheduler.CurrentId()), 0);
        return;
    }
    if (m_taskClock.isValid() && m_taskClock.elapsed() >= kDeviceWaitShownMs)
        showDeviceWait(holder);
}

void CMainFrame::showDeviceWait(CAnalysisCore* holder) {
    QString wait;
    if (CChildFrame* w = holder ? holder->GetWindow() : nullptr) {
        // The holder's title is put in place of "%s" as it is, never read as a format.
        wait = QString::fromUtf8(text(kStrWaitingForDevice));
        if (wait.isEmpty() || wait == "NotEntry")
            wait = "%s";
        wait.replace("%s", w->PlainTitle());
    }
    for (CAnalysisCore* c : m_scheduler.Cores())
        if (CChildFrame* w = c->GetWindow())
            w->SetDeviceWait(c != holder && c->GetAnalyzeFlag() ? wait : QString());
}

void CMainFrame::UnregisterCore(CAnalysisCore* core) {
    if (m_remoteObserver)
        m_remoteObserver->WindowClosing(core);
    // A window closed in its turn may leave no task whose end moves the
    // rotation on (the XPD window waits for its path switch on a timer): its
    // turn is ended here, and the fence hands the device on.
    if (core->GetId() == m_scheduler.CurrentId() &&
        m_scheduler.GetTask() == CAnalysisScheduler::Task::kRunning && !m_deviceLost)
        endTask(nullptr);
    m_scheduler.Unregister(core);
    KillTimer(static_cast<UINT_PTR>(core->GetId()) | kCoreTimerBit);
}

// ---- The device link

void CMainFrame::OnDeviceError(WPARAM wParam) {
    int error = GetTorvelLastError();
    if (TorvelErrorIsLinkLost(error)) {
        linkLost();
    } else if (error == kTorvelErrorTaskFailed && m_scheduler.IsRunningTask(wParam)) {
        // Only the running task's failure ends it; an ended task's is old news.
        endTask(nullptr);
        m_scheduler.ClearTaskRunningMarks();
        resetAndScheduleNext();
    }
}

void CMainFrame::linkLost() {
    m_scheduler.ClearTaskRunningMarks();
    m_scheduler.SetTask(CAnalysisScheduler::Task::kNone);
    m_deviceLost = true;
    ShutdownTorvelDLL();
    startReopenTimer();
}

void CMainFrame::OnPowerBroadcast(WPARAM event) {
    if (event == PBT_APMSUSPEND) {
        ShutdownTorvelDLL();
    } else if (event == PBT_APMRESUMEAUTOMATIC) {
        if (InitTorvelDLL(GetSafeHwnd(), kMessageBase) == 1) {
            storeDeviceFacts();
            m_deviceLost = false;
            resetAndScheduleNext();
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

void CMainFrame::WatchSystemSleep() {
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
    // Remote clients go first: no command of theirs reaches a closing window.
    StopRemote();
    KillTimer(kReopenTimerId);
    KillTimer(kWatchdogTimerId);
    if (isMaximized()) {
        WriteProfileInt("WINDOW", "MAXIMIZE", 1);
    } else {
        RECT r{x(), y(), x() + width(), y() + height()};
        WriteProfileRECT("WINDOW", "RECT", &r);
        WriteProfileInt("WINDOW", "MAXIMIZE", 0);
    }
    saveOpenWindows();
    ShutdownTorvelDLL();
    // The guide's window goes with the program.
    if (m_helpWindow)
        m_helpWindow->close();
    // The analysis windows close after the link: each core writes its profile.
    for (QMdiSubWindow* w : m_mdi->subWindowList())
        delete w;
}

void CMainFrame::RequestClose(int idleLoopLevel) {
    m_idleLoopLevel = idleLoopLevel;
    if (m_closeRequested)
        return;
    m_closeRequested = true;
    closeWhenIdle();
}

void CMainFrame::closeWhenIdle() {
    const bool inLoop = QThread::currentThread()->loopLevel() > m_idleLoopLevel;
    if (!inLoop && !QApplication::activeModalWidget() && !QApplication::activePopupWidget()) {
        close();
        return;
    }
    // Ends the loops: a dialog is cancelled, any other modal widget or menu closed.
    for (int guard = 0; guard < 64; ++guard) {
        QWidget* w = QApplication::activePopupWidget();
        if (!w)
            w = QApplication::activeModalWidget();
        if (!w)
            break;
        if (auto* dialog = qobject_cast<QDialog*>(w))
            dialog->reject();
        else
            w->close();
        if (w->isVisible())
            break;
    }
    // The loops return once control is back in them; then the frame closes.
    QTimer::singleShot(10, this, [this] { closeWhenIdle(); });
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    // A window manager may size the window past its maximum; the window is
    // put back once the resize that overran has been handled.
    if (event->size().boundedTo(maximumSize()) != event->size())
        QMetaObject::invokeMethod(this, &CMainFrame::clampSize, Qt::QueuedConnection);
}

void CMainFrame::clampSize() {
    QWindow* window = windowHandle();
    const QSize now = window ? window->size() : size();
    const QSize bounded = now.boundedTo(maximumSize());
    if (bounded == now)
        return;
    if (window)
        window->resize(bounded);
    resize(bounded);
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // The title is string 0 and nothing else, also while an analysis window is
    // maximised (the MDI area would add the window's title to it).
    if (event->type() == QEvent::WindowTitleChange) {
        const QString title = QString::fromUtf8(text(0));
        if (windowTitle() != title)
            setWindowTitle(title);
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    OnDestroy();
    event->accept();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    // The window system may size the window past its maximum; the window does
    // not take that size (its image would be as large) and goes back inside it.
    if (event->type() == QEvent::Resize && watched == windowHandle()) {
        const QSize size = static_cast<QResizeEvent*>(event)->size();
        if (size.boundedTo(maximumSize()) != size) {
            QMetaObject::invokeMethod(this, &CMainFrame::clampSize, Qt::QueuedConnection);
            return true;
        }
    }
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) && m_buttonBar &&
        watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (m_buttonBar->HandleFunctionKey(
                key->key(), event->type() == QEvent::KeyPress && !key->isAutoRepeat(),
                key->modifiers()))
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
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

void CMainFrame::ShowMessage(int stringIndex, const CString& fileName) {
    CString message = text(stringIndex);
    if (!fileName.IsEmpty())
        message += "\n\n" + fileName;
    m_messageBox(message);
}
