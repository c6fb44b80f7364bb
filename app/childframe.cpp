#include "childframe.h"

#include "analysis/analysiscore.h"
#include "app/loggingbar.h"
#include "app/mainframe.h"
#include "app/torveldoc.h"
#include "app/torvelview.h"
#include "lib/drawobject.h"
#include "lib/stringtable.h"
#include "platform/framepacer.h"

#include <QAction>
#include <QCloseEvent>
#include <QEvent>
#include <QMenu>
#include <QVBoxLayout>

namespace {
constexpr char kDrawObjectSection[] = "WINDOW";
constexpr int kStrWindowFont = 30;
constexpr COLORREF kWindowBackground = 0x7878FA; // red 250, green 120, blue 120
} // namespace

QSize CChildFrame::MinimumWindowSize(int kind) {
    switch (kind) {
    case 2: // the channel panel beside the spectrum
        return {520, 340};
    case 3: // the time graph above the spectrum
        return {440, 420};
    case 4: // the 3D graph, the spectrum and the chunk graph
    case 5:
        return {560, 440};
    case 6: // the wide graph, the channel panel and the narrow graph
        return {560, 520};
    case 7: // the panel beside the two paths' graphs
        return {560, 420};
    default:
        return {400, 300};
    }
}

CChildFrame::CChildFrame(CMainFrame* mainFrame, std::unique_ptr<CAnalysisCore> core)
    : m_mainFrame(mainFrame), m_drawObject(std::make_unique<CDrawObject>(0, kDrawObjectSection)),
      m_core(std::move(core)), m_doc(new CTorvelDoc(this)), m_view(new CTorvelView(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    // The Window menu's Close and Next Window carry the keys (Ctrl+F4,
    // Ctrl+W, Ctrl+F6, Ctrl+Tab); the toolkit's own menu of the window keeps
    // its items without keys, so that no key means two things.
    if (QMenu* menu = systemMenu())
        for (QAction* action : menu->actions())
            action->setShortcuts({});
    // Below this size a pane of the window no longer shows its texts whole;
    // cascading and tiling keep windows at least this large.
    setMinimumSize(MinimumWindowSize(m_core ? m_core->GetAnalysisType() : 0));
    LOGFONT font;
    ConvertLOGFONT(&font, GetTorvelString(kStrWindowFont));
    m_drawObject->SetUpdateLOGFONT(&font);
    m_drawObject->SetUpdateBkColor(kWindowBackground);
    m_drawObject->SetUpdateFlag();
    m_drawObject->UpdateDrawObjectNow();
    // The logging bar sits above the view, hidden until logging starts.
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_loggingBar = new CLoggingBar(body);
    m_loggingBar->hide();
    m_loggingBar->SetLook(m_drawObject.get());
    layout->addWidget(m_loggingBar);
    QWidget* panes = m_core->CreatePanes(body, m_view);
    layout->addWidget(panes ? panes : m_view, 1);
    setWidget(body);
    m_core->GetLoggingOutput().SetDisplay(m_loggingBar);
    m_loggingBar->OnLoggingButton = [this] {
        if (m_core && !m_shutDown)
            m_core->GetLoggingOutput().Stop();
    };
    m_view->SetCore(m_core.get());
    // The window's main frame is the core's link to the shell.
    m_core->SetFrameLink(mainFrame);
    m_core->AttachWindow(this);
    UpdateTitle();
    // Like the main window, an analysis window never grows past 1920 x 1080.
    setMaximumSize(kMaxClientWidth, kMaxClientHeight);
    resize(640, 480);
}

CChildFrame::~CChildFrame() {
    shutdownCore();
}

QString CChildFrame::PlainTitle() const {
    if (!m_core)
        return QString();
    QString title = QString::fromUtf8(m_core->GetTitle().c_str()).remove(QLatin1Char('&'));
    if (m_titleNumber > 1)
        title += QString(":%1").arg(m_titleNumber);
    return title;
}

void CChildFrame::UpdateTitle() {
    if (!m_core)
        return;
    const QString title = PlainTitle();
    setWindowTitle(m_deviceWait.isEmpty() ? title : title + " - " + m_deviceWait);
}

void CChildFrame::SetDeviceWait(const QString& text) {
    if (text == m_deviceWait || !m_core)
        return;
    m_deviceWait = text;
    UpdateTitle();
    m_core->ShowDeviceWait(CString(text.toUtf8().constData()));
    PostMessage(WM_VIEW_UPDATE, 0, 0);
}

void CChildFrame::shutdownCore() {
    if (m_shutDown || !m_core)
        return;
    m_shutDown = true;
    m_core->GetLoggingOutput().SetDisplay(nullptr);
    m_core->WriteProfile();
    m_core->Stop();
    m_mainFrame->UnregisterCore(m_core.get());
    m_view->SetCore(nullptr);
}

void CChildFrame::closeEvent(QCloseEvent* event) {
    shutdownCore();
    QMdiSubWindow::closeEvent(event);
}

LRESULT CChildFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_shutDown)
        return 0;
    switch (message) {
    case WM_VIEW_UPDATE:
        m_core->UpdateView();
        CFramePacer::Update(m_view);
        return 0;
    case WM_VIEW_PROGRESS:
        m_core->ViewProgress();
        return 0;
    default:
        return CWnd::WindowProc(message, wParam, lParam);
    }
}

void CChildFrame::changeEvent(QEvent* event) {
    QMdiSubWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    if (isMinimized()) {
        m_wasMinimized = true;
    } else if (m_wasMinimized) {
        // Back from the task bar: the bar shows this window's buttons again and
        // the rotation picks the window up.
        m_wasMinimized = false;
        m_mainFrame->RefreshButtonBar();
        m_mainFrame->PostMessage(WM_SCHEDULE_NEXT, 0, 0);
    }
}
