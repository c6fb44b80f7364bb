// CMainFrame: command execution, menus and the button bar, and the opening of
// analysis windows.
#include "analysis/analysiscore.h"
#include "analysis/csvfile.h"
#include "app/buttonbar.h"
#include "app/childframe.h"
#include "app/datafiles.h"
#include "app/devicedialog.h"
#include "app/helpwindow.h"
#include "app/mainframe.h"
#include "app/torvelview.h"
#include "device/TorvelAPI.h"
#include "device/loader/devicelibrary.h"
#include "draw/gradientbutton.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "platform/profile.h"

#include <QAction>
#include <QFileDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPointer>
#include <QPrinter>
#include <QStyle>

#include <algorithm>
#include <vector>

namespace {
constexpr int kMaxMacroDepth = 10;
// Options > Device...: the device of the next start (profile DEVICE).
constexpr int kActionDevice = 58;
// Window > Close and Window > Next Window: the active analysis window is
// closed (as its own close button does), the next one becomes active.
constexpr int kActionCloseWindow = 76;
constexpr int kActionNextWindow = 77;

void showDeviceDialog(QWidget* parent) {
    CDeviceDialog dlg(QString::fromStdString(torveldevice::LoadedDeviceDescription()), parent);
    dlg.SetValues(
        GetProfileString("DEVICE", "Library", torveldevice::kSimulatorChoice).c_str(),
        torveldevice::LevelOffsetOf(GetProfileString("DEVICE", "LevelOffset", "0").c_str()));
    if (dlg.exec() != QDialog::Accepted)
        return;
    WriteProfileString("DEVICE", "Library", dlg.Choice().c_str());
    CString offset;
    offset.Format("%.1f", dlg.LevelOffset());
    WriteProfileString("DEVICE", "LevelOffset", offset);
}
constexpr int kButtonsPerPage = 10;
// The command ids of the analysis views.
constexpr int kFirstViewCommand = 37000;
constexpr int kLastViewCommand = 37199;

// The list name formats of the window kinds 1..7: frame list, button list.
constexpr const char* kListFormats[7][2] = {
    {"NORMAL_FRAME_%d", "NORMAL_BUTTON_%d"},     {"WLAN_FRAME_%d", "WLAN_BUTTON_%d"},
    {"ZEROSPAN_FRAME_%d", "ZEROSPAN_BUTTON_%d"}, {"SEMIREAL_FRAME_%d", "SEMIREAL_BUTTON_%d"},
    {"REALTIME_FRAME_%d", "REALTIME_BUTTON_%d"}, {"MEDICAL_FRAME_%d", "MEDICAL_BUTTON_%d"},
    {"XPD_FRAME_%d", "XPD_BUTTON_%d"},
};

// The user guide: its contents page is string 66; each window kind 1..7 has
// a page of its own.
constexpr int kStrGuideContents = 66;
constexpr int kStrGuideMissing = 65; // the guide was not found; the page below it
constexpr const char* kGuidePages[7] = {"normal.html",   "wlan.html",     "zerospan.html",
                                        "semireal.html", "realtime.html", "medical.html",
                                        "xpd.html"};

CString chooseFile(QWidget* parent, const char* filter) {
    QString f = QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
    return CString(f.toUtf8().toStdString());
}
} // namespace

// ---- Executing commands

void CMainFrame::ExecuteCommandId(int commandId) {
    // Commands 37000-37199 belong to the active window's view.
    if (commandId >= kFirstViewCommand && commandId <= kLastViewCommand) {
        if (CChildFrame* active = ActiveChild())
            active->GetView()->ExecuteViewCommand(static_cast<UINT>(commandId));
        return;
    }
    if (CCommandEntry* e = m_commands.EntryById(commandId))
        ExecuteCommand(e);
}

void CMainFrame::ExecuteCommand(CCommandEntry* entry, bool macroStep) {
    // The user commands the window now: its refusals are shown to them.
    if (CChildFrame* active = ActiveChild(); active && active->GetCore())
        m_remoteRun.erase(active->GetCore()->GetId());
    executeCommandOn(ActiveChild(), entry, macroStep);
}

int CMainFrame::executeCommandOn(CChildFrame* target, CCommandEntry* entry, bool macroStep) {
    if (!entry)
        return -1;
    if (!macroStep)
        m_macroDepth = 0;
    // The window is watched: a command may run a modal loop in which the
    // window closes.
    QPointer<CChildFrame> active = target;
    int result = -1;
    if (entry->action < 100)
        result = mainFrameAction(entry);
    if (entry->action >= 100 || result == kActionForCore) {
        result = -1;
        if (active && active->GetCore()) {
            const CCommandEntry command = *entry;
            result = active->GetCore()->ExecuteCommand(command.action, command.p[0], command.p[1],
                                                       command.p[2], command.p[3], command.p[4]);
            if (result > 0 && active && active->GetCore()) {
                active->GetCore()->Reconfigure(result == kCommandReset);
                active->GetCore()->UpdateView();
            }
        }
    }
    if (!m_destroyed)
        RefreshButtonBar();
    return result;
}

int CMainFrame::mainFrameAction(CCommandEntry* e) {
    switch (e->action) {
    case 0:
        return 0;
    case 1:
        close();
        return 0;
    case 2:
        ShowAboutBox();
        return 0;
    case 3:
        openHelp();
        return 0;
    case 4: {
        if (!m_printer)
            m_printer = std::make_unique<QPrinter>();
        QPageSetupDialog dlg(m_printer.get(), this);
        dlg.exec();
        return 0;
    }
    case 5:
        OpenAnalysisWindow(e->p1(), e->caption, e->p2());
        return 0;
    case 6: {
        CString path = chooseFile(this, "Setting Files (*.SPE)");
        if (path.IsEmpty())
            return 0;
        // The file is opened under the name chosen, as a save keeps the name
        // typed; a name without an extension is the ".SPE" file.
        OpenWorkspaceFile(CLoggingOutput::WithSettingExtension(path));
        return 0;
    }
    case 10:
        if (e->p1() >= 1 && e->p1() <= 3)
            m_outFileFlag ^= 1u << (e->p1() - 1);
        return 0;
    case 12: {
        CString path = chooseFile(this, "CSV Files (*.CSV)");
        if (!path.IsEmpty())
            OpenCsvFile(path);
        return 0;
    }
    case 15:
        arrangeWindows(e->p1());
        return 0;
    case 27:
    case 28:
    case 29:
    case 30:
        pageButtonList(e->action);
        return 0;
    case 50:
        runMacro(e);
        return 0;
    case 53:
        OpenWorkspaceFile(CString());
        return 0;
    case kActionHandDeviceOn:
        m_handDeviceOn = !m_handDeviceOn;
        return 0;
    case kActionRemoteControl:
        ShowRemoteDialog();
        return 0;
    case kActionPublishing:
        ShowPublishDialog();
        return 0;
    case kActionReopenWindows:
        WriteProfileInt(kWindowSection, kReopenWindowsKey, ReopensWindows() ? 0 : 1);
        return 0;
    case kActionDevice:
        showDeviceDialog(this);
        return 0;
    case kActionCloseWindow:
        if (QMdiSubWindow* active = m_mdi->activeSubWindow())
            active->close();
        return 0;
    case kActionNextWindow:
        m_mdi->activateNextSubWindow();
        return 0;
    default:
        return kActionForCore;
    }
}

void CMainFrame::runMacro(const CCommandEntry* entry) {
    int before = m_macroDepth++;
    if (before > kMaxMacroDepth)
        return;
    for (int k = 0; k < 5; ++k) {
        int index = entry->p[k];
        if (index < 100)
            continue;
        CCommandEntry step;
        if (!CCommandEntry::Parse(GetTorvelString(index), step))
            continue;
        step.commandId = kMacroCommandId;
        ExecuteCommand(&step, true);
    }
}

CHelpWindow* CMainFrame::HelpWindow() const {
    return m_helpWindow;
}

void CMainFrame::openHelp() {
    const char* contents = GetTorvelString(kStrGuideContents);
    const QString contentsPage = QString::fromUtf8(contents ? contents : "");
    QString page;
    if (CChildFrame* active = ActiveChild(); active && active->GetCore()) {
        const int kind = active->GetCore()->GetAnalysisType();
        if (kind >= 1 && kind <= 7)
            page = kGuidePages[kind - 1];
    }
    const QString path = FindGuidePage(GuideFolders(), page, contentsPage);
    if (path.isEmpty()) {
        ShowMessage(kStrGuideMissing, CString(GuideFolders().last().toUtf8().toStdString() + "/" +
                                              contentsPage.toUtf8().toStdString()));
        return;
    }
    if (!m_helpWindow)
        m_helpWindow = new CHelpWindow(this);
    m_helpWindow->ShowPage(path);
    m_helpWindow->show();
    m_helpWindow->raise();
    m_helpWindow->activateWindow();
}

void CMainFrame::arrangeWindows(int how) {
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* w : m_mdi->subWindowList())
        if (!w->isMinimized())
            windows.append(w);
    QRect area = m_mdi->viewport()->rect();
    int n = static_cast<int>(windows.size());
    switch (how) {
    case 1: {
        // Cascade: each window two thirds of the area (at least its minimum),
        // one title bar further down and right than the one before; the row
        // starts over at the top left where it would leave the area.
        const int step = std::max(style()->pixelMetric(QStyle::PM_TitleBarHeight), 16) + 4;
        // The active window comes last, in front of the others and whole.
        QMdiSubWindow* active = m_mdi->activeSubWindow();
        if (windows.removeOne(active))
            windows.append(active);
        QPoint at(0, 0);
        for (QMdiSubWindow* w : windows) {
            w->showNormal();
            const QSize size =
                QSize(area.width() * 2 / 3, area.height() * 2 / 3).expandedTo(w->minimumSize());
            if (at.x() + size.width() > std::max(area.width(), size.width()) ||
                at.y() + size.height() > std::max(area.height(), size.height()))
                at = QPoint(0, 0);
            w->setGeometry(QRect(at, size));
            w->raise();
            at += QPoint(step, step);
        }
        break;
    }
    case 2: // vertical tiling: side by side
    case 3: // horizontal tiling: one above the other
        // Never below a window's minimum: the frame scrolls to the rest. Each
        // window starts where the one before it ends, as kinds differ in their
        // minimum sizes.
        for (int i = 0, at = 0; i < n; ++i) {
            QMdiSubWindow* w = windows[i];
            w->showNormal();
            const QSize least = w->minimumSize();
            if (how == 2) {
                const int width = std::max(area.width() / n, least.width());
                w->setGeometry(at, 0, width, std::max(area.height(), least.height()));
                at += width;
            } else {
                const int height = std::max(area.height() / n, least.height());
                w->setGeometry(0, at, std::max(area.width(), least.width()), height);
                at += height;
            }
        }
        break;
    case 4: { // arrange icons: minimised windows in a row along the bottom
        int x = 0;
        for (QMdiSubWindow* w : m_mdi->subWindowList()) {
            if (!w->isMinimized())
                continue;
            w->move(x, area.height() - w->height());
            x += w->width();
        }
        break;
    }
    default:
        break;
    }
}

// ---- Button lists and the bar

namespace {
// The entries of one list are linked by next/prev; the list wraps around.
CCommandEntry* stepInList(CCommandEntry* e, bool forward) {
    if (forward) {
        if (e->next)
            return e->next;
        while (e->prev)
            e = e->prev;
        return e;
    }
    if (e->prev)
        return e->prev;
    while (e->next)
        e = e->next;
    return e;
}
} // namespace

void CMainFrame::pageButtonList(int action) {
    CChildFrame* active = ActiveChild();
    if (!active || !active->GetCore() || !m_currentButtonList)
        return;
    CCommandEntry* e = m_currentButtonList;
    switch (action) {
    case 27: // last page: the last entry, then nine back
        while (e->next)
            e = e->next;
        for (int i = 0; i < kButtonsPerPage - 1; ++i)
            e = stepInList(e, false);
        break;
    case 28:
        for (int i = 0; i < kButtonsPerPage; ++i)
            e = stepInList(e, true);
        break;
    case 29:
        for (int i = 0; i < kButtonsPerPage; ++i)
            e = stepInList(e, false);
        break;
    case 30:
        while (e->prev)
            e = e->prev;
        break;
    }
    active->GetCore()->SetButtonList(e);
    m_currentButtonList = e;
    RefreshButtonBar();
}

int CMainFrame::CommandState(const CCommandEntry* e) {
    CChildFrame* active = ActiveChild();
    CAnalysisCore* core = active ? active->GetCore() : nullptr;
    auto askCore = [&] {
        return core->GetCommandState(e->action, e->p[0], e->p[1], e->p[2], e->p[3], e->p[4]);
    };
    if (core && e->action >= 100)
        return askCore();
    switch (e->action) {
    case 10:
        return (m_outFileFlag >> (e->p1() - 1)) & 1u ? 1 : 0;
    case kActionHandDeviceOn:
        return m_handDeviceOn ? 1 : 0;
    case kActionRemoteControl:
        return m_remote ? 1 : 0;
    case kActionPublishing:
        return m_publish ? 1 : 0;
    case kActionReopenWindows:
        return ReopensWindows() ? 1 : 0;
    case kActionCloseWindow:
    case kActionNextWindow:
        return m_mdi->subWindowList().isEmpty() ? -1 : kNoState;
    case 0:
        return e->checkState;
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 12:
    case 15:
    case 27:
    case 28:
    case 29:
    case 30:
    case 50:
    case 53:
    case kActionDevice:
        return kNoState;
    default:
        return core && m_currentButtonList ? askCore() : kNoState;
    }
}

namespace {
constexpr int kActionArrange = 15;
constexpr int kActionRbw = 24;
constexpr int kStrRbwCaption = 35; // "RBW %s": the bandwidth of an RBW item
// Marks the items a Window menu lists the open windows with.
constexpr char kWindowItemProperty[] = "torvelWindowItem";

// A bandwidth in kHz as the RBW items name it: "300 kHz", "1 MHz".
CString bandwidthText(int kHz) {
    CString text;
    if (kHz >= 1000 && kHz % 1000 == 0)
        text.Format("%d MHz", kHz / 1000);
    else if (kHz >= 1000)
        text.Format("%.3g MHz", kHz / 1000.0);
    else
        text.Format("%d kHz", kHz);
    return text;
}
} // namespace

void CMainFrame::nameBandwidth(QAction* item, const CCommandEntry* entry) {
    CChildFrame* active = ActiveChild();
    const int kHz = active && active->GetCore()
                        ? GetRBWFrequency(active->GetCore()->GetRBWKindMask(), entry->p1())
                        : 0;
    // An index the window's device cannot use is not offered.
    item->setVisible(!active || !active->GetCore() || kHz > 0);
    const char* format = GetTorvelString(kStrRbwCaption);
    if (kHz <= 0 || !format || CString(format) == "NotEntry") {
        item->setText(QString::fromUtf8(entry->caption.c_str()));
        return;
    }
    CString caption;
    caption.Format(format, bandwidthText(kHz).c_str());
    item->setText(QString::fromUtf8(caption.c_str()));
}

void CMainFrame::listWindows(QMenu* menu) {
    for (QAction* a : menu->actions())
        if (a->property(kWindowItemProperty).toBool())
            delete a;
    const QList<QMdiSubWindow*> windows = m_mdi->subWindowList();
    if (windows.isEmpty())
        return;
    menu->addSeparator()->setProperty(kWindowItemProperty, true);
    int n = 0;
    for (QMdiSubWindow* w : windows) {
        ++n;
        QString title = w->windowTitle();
        title.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction* a = menu->addAction(n <= 9 ? QString("&%1 %2").arg(n).arg(title) : title);
        a->setProperty(kWindowItemProperty, true);
        a->setCheckable(w == m_mdi->activeSubWindow());
        a->setChecked(w == m_mdi->activeSubWindow());
        QPointer<QMdiSubWindow> target = w;
        connect(a, &QAction::triggered, this, [this, target] {
            if (target) {
                if (target->isMinimized())
                    target->showNormal();
                m_mdi->setActiveSubWindow(target);
            }
        });
    }
}

void CMainFrame::updateMenuStates(QMenu* menu) {
    bool windowMenu = false;
    for (QAction* a : menu->actions()) {
        if (a->menu() || a->isSeparator())
            continue;
        const int id = a->data().toInt();
        if (id >= kFirstViewCommand && id <= kLastViewCommand) {
            int state = 0;
            CChildFrame* active = ActiveChild();
            if (active && active->GetView()->ViewCommandState(static_cast<UINT>(id), &state)) {
                a->setEnabled(state >= 0);
                a->setCheckable(state == 1);
                a->setChecked(state == 1);
            }
            continue;
        }
        CCommandEntry* e = m_commands.EntryById(id);
        if (!e)
            continue;
        if (e->action == kActionArrange)
            windowMenu = true;
        if (e->action == kActionRbw)
            nameBandwidth(a, e);
        int state = CommandState(e);
        if (state == kNoState)
            continue;
        a->setEnabled(state >= 0);
        // Only a ticked item shows a check mark; others show no box at all.
        a->setCheckable(state == 1);
        a->setChecked(state == 1);
    }
    // The menu that arranges the windows also lists them.
    if (windowMenu)
        listWindows(menu);
}

void CMainFrame::RefreshButtonBar() {
    if (!m_buttonBar)
        return;
    CCommandEntry* e = m_currentButtonList ? m_currentButtonList : m_mainButtonList;
    CChildFrame* active = ActiveChild();
    CAnalysisCore* core = active ? active->GetCore() : nullptr;
    for (int i = 0; i < CButtonBar::kButtons && e; ++i, e = e->next) {
        CButtonBar::ButtonState s;
        s.caption = QString::fromUtf8(e->caption.c_str());
        // The caption may be shortened on a narrow bar; the tip shows it whole.
        QString toolTip = QString("%1 (F%2)").arg(s.caption).arg(i + 1);
        if (e->menuType == kMenuSeparator) {
            s.caption.clear();
            toolTip.clear();
            s.enabled = false;
        } else if (e->menuType == kMenuCommand) {
            s.toggleLook = e->checkState;
            s.ticked = e->checkState;
            bool disabled = e->checkState < 0;
            if (core) {
                int state =
                    core->GetCommandState(e->action, e->p[0], e->p[1], e->p[2], e->p[3], e->p[4]);
                if (state < 0) {
                    disabled = true;
                } else {
                    s.toggleLook = 1;
                    s.ticked = state;
                }
            }
            if (e->checkState == 2)
                s.toggleLook = 0;
            if (disabled) {
                s.ticked = -1;
                s.toggleLook = 0;
            }
            s.enabled = !disabled;
        }
        m_buttonBar->SetButtonState(i, s);
        m_buttonBar->Button(i)->setToolTip(toolTip);
    }
    m_buttonBar->update();
}

void CMainFrame::PressButton(int index) {
    CCommandEntry* e = m_currentButtonList ? m_currentButtonList : m_mainButtonList;
    for (int i = 0; i < index && e; ++i)
        e = e->next;
    if (!e)
        return;
    if (e->menuType == kMenuPopup) {
        if (e->popup) {
            QPoint at = m_buttonBar->MenuPoint(index);
            e->popup->exec(at - QPoint(0, e->popup->sizeHint().height()));
        }
        return;
    }
    ExecuteCommand(e);
}

BOOL CMainFrame::TrackPopupMenu(const char* listName, int x, int y) {
    QMenu* menu = m_commands.MenuOf(listName);
    if (!menu)
        return FALSE;
    // The menu's items run their commands through the main frame.
    menu->exec(QPoint(x, y));
    return TRUE;
}

void CMainFrame::showMenuOf(const CCommandEntry* frameList) {
    QMenuBar* bar = menuBar();
    bar->clear();
    if (frameList && frameList->menu)
        bar->addActions(frameList->menu->actions());
}

void CMainFrame::onSubWindowActivated(QMdiSubWindow* window) {
    auto* child = dynamic_cast<CChildFrame*>(window);
    if (child && child->GetCore()) {
        CAnalysisCore* core = child->GetCore();
        child->UpdateTitle();
        m_currentButtonList = core->GetButtonList();
        showMenuOf(core->GetFrameList());
    } else {
        m_currentButtonList = nullptr;
        showMenuOf(m_commands.ListOf("MAIN_FRAME"));
    }
    RefreshButtonBar();
}

// ---- Opening analysis windows

CChildFrame* CMainFrame::ActiveChild() const {
    return dynamic_cast<CChildFrame*>(m_mdi->activeSubWindow());
}

std::unique_ptr<CAnalysisCore> CMainFrame::createCore(int kind, const CString& title, int variant,
                                                      bool* refused) {
    if (kind < 1 || kind > 7 || !m_coreFactory)
        return nullptr;
    CString frameName, buttonName;
    frameName.Format(kListFormats[kind - 1][0], variant);
    buttonName.Format(kListFormats[kind - 1][1], variant);
    std::unique_ptr<CAnalysisCore> core =
        m_coreFactory(kind, m_commands.ListOf(frameName), m_commands.ListOf(buttonName), this);
    if (core && core->GetId() == 0) {
        // All 255 core ids are held by open windows: a further window would
        // share a device task tag with one of them.
        ShowMessage(kStrNoFreeCoreId);
        if (refused)
            *refused = true;
        return nullptr;
    }
    if (core) {
        // A window is never without a title (its data files need a caption):
        // one whose caption leaves none is named after its kind, as the main
        // menu names it.
        CString name = CAnalysisCore::TitleOf(title);
        if (name.IsEmpty())
            if (const CCommandEntry* e = m_commands.EntryByAction(5, kind, 1))
                name = CAnalysisCore::TitleOf(e->caption);
        if (name.IsEmpty())
            name.Format("Analysis %d", kind);
        core->SetTitle(name);
        core->SetTitleIndex(variant);
    }
    return core;
}

int CMainFrame::titleNumberFor(const CString& title) const {
    // The smallest number that no open window of the same title shows.
    std::vector<int> used;
    for (QMdiSubWindow* w : m_mdi->subWindowList()) {
        auto* child = dynamic_cast<CChildFrame*>(w);
        if (child && child->GetCore() && child->GetCore()->GetTitle() == title)
            used.push_back(child->GetTitleNumber());
    }
    int n = 1;
    while (std::find(used.begin(), used.end(), n) != used.end())
        ++n;
    return n;
}

CChildFrame* CMainFrame::newChildFrame(std::unique_ptr<CAnalysisCore> core) {
    const int number = titleNumberFor(core->GetTitle());
    auto* frame = new CChildFrame(this, std::move(core));
    frame->SetTitleNumber(number);
    m_mdi->addSubWindow(frame);
    return frame;
}

CChildFrame* CMainFrame::finishOpening(std::unique_ptr<CAnalysisCore> core, bool fromWorkspace,
                                       const CString& workspacePath) {
    CAnalysisCore* c = core.get();
    CChildFrame* frame = newChildFrame(std::move(core));
    c->ReadProfile();
    const bool complete = !fromWorkspace || c->LoadSettings();
    RefreshButtonBar();
    c->Reconfigure(TRUE);
    m_scheduler.Register(c);
    QPointer<CChildFrame> window = frame;
    if (c->GetOffsetLoadFailed())
        ShowMessage(kStrOffsetLoadFailed, c->GetFailedOffsetFileName());
    if (window && !complete)
        m_messageBox(SettingsIncompleteText(workspacePath));
    // The message boxes run loops in which the window may have gone.
    if (!window)
        return nullptr;
    frame->show();
    m_mdi->setActiveSubWindow(frame);
    if (m_deviceLost)
        showLinkState();
    PostMessage(WM_SCHEDULE_NEXT, 0, 0);
    return frame;
}

CChildFrame* CMainFrame::OpenAnalysisWindow(int kind, const CString& title, int variant) {
    std::unique_ptr<CAnalysisCore> core = createCore(kind, title, variant);
    if (!core)
        return nullptr;
    return finishOpening(std::move(core), false, CString());
}

CChildFrame* CMainFrame::OpenWorkspaceFile(const CString& path) {
    // A file given by the user that cannot be opened as a window says so; a
    // refused window has said why itself.
    if (!path.IsEmpty()) {
        ReleaseSettingFileObject();
        if (!LoadSettingFile(path)) {
            ShowMessage(kStrFileNotRead);
            return nullptr;
        }
    }
    int kind = 0, variant = 0;
    CString title;
    if (!GetSettingFileINT(kCoreSettingSection, "AnalysisType", &kind) ||
        !GetSettingFileINT(kCoreSettingSection, "TitleIndex", &variant) ||
        !GetSettingFileSTRING(kCoreSettingSection, "Title", title)) {
        ReleaseSettingFileObject();
        if (!path.IsEmpty())
            ShowMessage(kStrFileNotRead);
        return nullptr;
    }
    bool refused = false;
    std::unique_ptr<CAnalysisCore> core = createCore(kind, title, variant, &refused);
    if (!core && !refused && !path.IsEmpty())
        ShowMessage(kStrFileNotRead); // no window of the file's kind
    CChildFrame* frame = core ? finishOpening(std::move(core), true, path) : nullptr;
    ReleaseSettingFileObject();
    return frame;
}

CChildFrame* CMainFrame::OpenCsvFile(const CString& path) {
    // The frame of the file names the window's kind, variant and caption.
    int kind = 0, variant = 0;
    CString caption;
    if (!CCsvFile::ReadHeader(path, &kind, &variant, &caption)) {
        ShowMessage(kStrFileNotRead);
        return nullptr;
    }
    bool refused = false;
    std::unique_ptr<CAnalysisCore> core = createCore(kind, caption, variant, &refused);
    if (!core) {
        if (!refused)
            ShowMessage(kStrFileNotRead);
        return nullptr;
    }
    CAnalysisCore* c = core.get();
    CChildFrame* frame = newChildFrame(std::move(core));
    c->ReadProfile();
    // The window shows the stored data and does not measure.
    c->SetAnalyzeFlag(0);
    if (!c->ReadCSVSections(path)) {
        QPointer<CChildFrame> window = frame;
        ShowMessage(c->GetReadFailureMessage());
        if (window)
            window->close();
        return nullptr;
    }
    m_scheduler.Register(c);
    RefreshButtonBar();
    frame->show();
    m_mdi->setActiveSubWindow(frame);
    return frame;
}
