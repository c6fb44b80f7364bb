// CMainFrame: the shell as the remote-control server sees it (CRemoteLink),
// the server's start and stop, its status in the status bar and its dialog.
#include "analysis/analysiscore.h"
#include "app/childframe.h"
#include "app/commandlist.h"
#include "app/mainframe.h"
#include "app/remotedialog.h"
#include "app/torvelapp.h"
#include "platform/profile.h"
#include "remote/scpiserver.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QStatusBar>
#include <QTemporaryDir>

#include <algorithm>
#include <utility>

namespace {
CChildFrame* windowOf(CAnalysisCore* core) {
    return core ? core->GetWindow() : nullptr;
}
} // namespace

bool CMainFrame::StartRemote(int port, bool allowOthers, QString* error) {
    if (!m_remote)
        m_remote = std::make_unique<CScpiServer>(this);
    applyRemoteSettings();
    if (m_remote->Listen(port, allowOthers, error))
        return true;
    m_remote.reset();
    return false;
}

namespace {
// Minutes, at most a day; 0: clients may stay idle as long as they like.
int remoteIdleMinutes() {
    return std::clamp(GetProfileInt("REMOTE", "IdleTimeout", CScpiServer::kDefaultIdleMinutes), 0,
                      24 * 60);
}
// The folder the remote file commands work in as the profile names it; empty
// is the user folder's "remote".
QString remoteFolderSetting() {
    return QString::fromUtf8(GetProfileString("REMOTE", "Folder", "").c_str());
}
QString defaultRemoteFolder() {
    return CTorvelApp::UserFolder() + "/remote";
}
QString remoteFolder() {
    const QString folder = remoteFolderSetting();
    return folder.isEmpty() ? defaultRemoteFolder() : QDir(folder).absolutePath();
}
QByteArray remoteAccessCode() {
    return QByteArray(GetProfileString("REMOTE", "AccessCode", "").c_str());
}
} // namespace

void CMainFrame::applyRemoteSettings() {
    m_remote->SetIdleTimeout(remoteIdleMinutes() * 60000);
    m_remote->Instrument().SetFileFolder(remoteFolder());
    // The same code again asks no client for it again.
    if (m_remote->Instrument().AccessCode() != remoteAccessCode())
        m_remote->Instrument().SetAccessCode(remoteAccessCode());
}

void CMainFrame::StopRemote() {
    m_remote.reset();
    RemoteStatusChanged(QString());
}

void CMainFrame::ShowRemoteDialog() {
    CRemoteDialog dlg(this);
    dlg.SetValues(
        m_remote != nullptr,
        m_remote ? m_remote->Port() : GetProfileInt("REMOTE", "Port", CScpiServer::kDefaultPort),
        m_remote ? m_remote->AllowsOthers() : GetProfileInt("REMOTE", "AllowOthers", 0) != 0);
    dlg.SetAccess(!remoteAccessCode().isEmpty(), remoteIdleMinutes(), remoteFolderSetting(),
                  defaultRemoteFolder());
    if (dlg.exec() != QDialog::Accepted)
        return;
    // The choice holds for the next start too.
    WriteProfileInt("REMOTE", "Enabled", dlg.Enabled() ? 1 : 0);
    WriteProfileInt("REMOTE", "Port", dlg.Port());
    WriteProfileInt("REMOTE", "AllowOthers", dlg.AllowOthers() ? 1 : 0);
    WriteProfileInt("REMOTE", "IdleTimeout", dlg.IdleMinutes());
    WriteProfileString("REMOTE", "Folder", dlg.Folder().toUtf8().constData());
    // Only the code's digest is kept; a code left empty keeps the one set.
    if (!dlg.RequireCode())
        WriteProfileString("REMOTE", "AccessCode", "");
    else if (!dlg.NewCode().isEmpty())
        WriteProfileString("REMOTE", "AccessCode",
                           CScpiInstrument::StoredAccessCode(dlg.NewCode()).constData());
    if (!dlg.Enabled()) {
        StopRemote();
        return;
    }
    if (m_remote && m_remote->Port() == dlg.Port() &&
        m_remote->AllowsOthers() == dlg.AllowOthers()) {
        applyRemoteSettings();
        return;
    }
    StopRemote();
    QString error;
    if (!StartRemote(dlg.Port(), dlg.AllowOthers(), &error))
        m_messageBox(CString(error.toUtf8().toStdString()));
}

void CMainFrame::RemoteStatusChanged(const QString& text) {
    if (text.isEmpty()) {
        if (m_remoteStatus)
            m_remoteStatus->parentWidget()->hide();
        return;
    }
    if (!m_remoteStatus) {
        m_remoteStatus = new QLabel(this);
        m_remoteStatus->setObjectName("RemoteStatus");
        statusBar()->addPermanentWidget(m_remoteStatus);
    }
    m_remoteStatus->setText(text);
    statusBar()->show();
}

std::vector<CAnalysisCore*> CMainFrame::RemoteWindows() {
    std::vector<CAnalysisCore*> cores;
    for (QMdiSubWindow* w : m_mdi->subWindowList(QMdiArea::CreationOrder))
        if (auto* child = dynamic_cast<CChildFrame*>(w); child && child->GetCore())
            cores.push_back(child->GetCore());
    return cores;
}

QString CMainFrame::RemoteWindowTitle(CAnalysisCore* core) {
    CChildFrame* w = windowOf(core);
    return w ? w->windowTitle() : QString();
}

CAnalysisCore* CMainFrame::RemoteOpenWindow(int kind, QString* told) {
    // No message box while a remote client waits: what opening the window
    // tells (no free window id, an offset file that did not load) goes to the
    // client.
    auto shown = std::exchange(m_messageBox, [told](const CString& text) {
        if (told)
            *told = QString::fromUtf8(text.c_str());
    });
    struct Restore {
        MessageSink& box;
        MessageSink shown;
        ~Restore() { box = std::move(shown); }
    } restore{m_messageBox, std::move(shown)};
    // The menu's command that opens a window of this kind, so the window gets
    // its usual title and variant.
    CCommandEntry* entry = m_commands.EntryByAction(5, kind, 1);
    CChildFrame* w = nullptr;
    if (entry) {
        const auto before = RemoteWindows();
        executeCommandOn(ActiveChild(), entry, false);
        for (CAnalysisCore* core : RemoteWindows())
            if (std::find(before.begin(), before.end(), core) == before.end())
                w = windowOf(core);
    } else {
        w = OpenAnalysisWindow(kind, CString(), 1);
    }
    return w ? w->GetCore() : nullptr;
}

void CMainFrame::RemoteCloseWindow(CAnalysisCore* core) {
    if (CChildFrame* w = windowOf(core))
        w->close();
}

void CMainFrame::RemoteMarkWindow(CAnalysisCore* core) {
    if (CChildFrame* w = windowOf(core))
        m_mdi->setActiveSubWindow(w);
}

int CMainFrame::RemoteCommand(CAnalysisCore* core, int action, int p1, int p2, int p3, int p4,
                              int p5) {
    CChildFrame* w = windowOf(core);
    if (!w)
        return -1;
    m_remoteRun.insert(core->GetId());
    // A command entry of its own, as a macro step is: the window's command
    // path with its reconfiguration, redraw and button states.
    CCommandEntry entry;
    entry.commandId = kMacroCommandId;
    entry.action = action;
    const int p[5] = {p1, p2, p3, p4, p5};
    std::copy(p, p + 5, entry.p);
    return executeCommandOn(w, &entry, false);
}

bool CMainFrame::RemoteDialogOpen() {
    return QApplication::activeModalWidget() != nullptr;
}

QByteArray CMainFrame::RemoteWindowPng(CAnalysisCore* core) {
    if (!windowOf(core))
        return QByteArray();
    // The window's PNG image output, the one logging and Save Data write.
    QTemporaryDir dir;
    if (!dir.isValid())
        return QByteArray();
    const QString path = dir.filePath("window.png");
    if (core->WritePNGImage(QFile::encodeName(path).constData()) != 1)
        return QByteArray();
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
