#include "torvelapp.h"

#include "analysis/analysiscore.h"
#include "app/datafiles.h"
#include "app/mainframe.h"
#include "app/singleinstance.h"
#include "lib/channellist.h"
#include "lib/stringtable.h"
#include "modes/corefactory.h"
#include "platform/profile.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>

#include <cstdio>
#include <unistd.h>

namespace {
constexpr int kLibraryStringBase = 2500;

CString currentDirectory() {
    std::string buf(4096, '\0');
    if (!getcwd(buf.data(), buf.size()))
        return CString(".");
    buf.resize(std::char_traits<char>::length(buf.c_str()));
    return CString(buf);
}
} // namespace

CTorvelApp::CommandLine CTorvelApp::ParseCommandLine(const QStringList& args) {
    CommandLine cl;
    for (const QString& a : args.mid(1)) {
        QString s = a.toLower();
        if (s == "/embedding" || s == "-embedding" || s == "/automation" || s == "-automation" ||
            s == "-nologo" || s == "/nologo" || s == "--no-splash")
            cl.showSplash = false;
    }
    return cl;
}

CTorvelApp::CTorvelApp() {
    MessageBox = [](const CString& text) {
        QMessageBox::warning(nullptr, QString(), QString::fromUtf8(text.c_str()));
    };
}

CTorvelApp::~CTorvelApp() {
    ExitInstance();
}

bool CTorvelApp::InitInstance(const QStringList& args) {
    CommandLine cl = ParseCommandLine(args);

    // Every profile read and write of the program goes to TORVEL.INI in the
    // current directory.
    SetProfileFile(currentDirectory() + "/TORVEL.INI");
    // A profile that is there but could not be read: the program runs on the
    // defaults and says so (the file itself is kept, see SetProfileFile).
    const CString profileProblem = GetProfileLoadProblem();
    if (!profileProblem.IsEmpty())
        std::fprintf(stderr, "Torvel: %s\n", profileProblem.c_str());

    CString tableFile = GetProfileString("MAIN_FRAME", "TableFile", "Torvel.txt");
    CString channelFile = GetProfileString("MAIN_FRAME", "ChannelFile", "TorvelList.txt");
    if (InitializeTorvelLibDLL(ResolveDataFile(tableFile), kLibraryStringBase) != 1) {
        m_error = "Torvel: cannot read the string table \"" + tableFile + "\"";
        return false;
    }
    if (LoadChannelList(ResolveDataFile(channelFile)) != 1) {
        m_error = "Torvel: cannot read the channel list \"" + channelFile + "\"";
        return false;
    }
    WriteProfileString("MAIN_FRAME", "TableFile", tableFile);
    WriteProfileString("MAIN_FRAME", "ChannelFile", channelFile);

    const char* lockName = GetTorvelString(1);
    m_instance = std::make_unique<CSingleInstance>(QString::fromUtf8(lockName ? lockName : ""));
    switch (m_instance->Acquire()) {
    case CSingleInstance::Result::Acquired:
        break;
    case CSingleInstance::Result::HeldElsewhere:
        m_instance.reset();
        m_otherInstance = true;
        return false;
    case CSingleInstance::Result::Failed:
        m_error = "Torvel: cannot create the single-instance lock \"" +
                  CString(m_instance->LockPath().toUtf8().constData()) + "\"";
        m_instance.reset();
        return false;
    }

    m_mainFrame = std::make_unique<CMainFrame>(MessageBox);
    m_mainFrame->SetCoreFactory(CreateAnalysisCore);
    if (!m_mainFrame->Create(cl.showSplash)) {
        m_error = m_mainFrame->CommandListFailed()
                      ? "Torvel: the string table \"" + tableFile +
                            "\" holds no command list (lines from 100 to END_LIST)"
                      : CString("Torvel: the analyser could not be opened");
        m_mainFrame.reset();
        return false;
    }
    m_instance->SetActivateHandler([this] {
        if (m_mainFrame)
            m_mainFrame->Activate();
    });

    int startMode = GetProfileInt("WINDOW", "StartMode", 1);
    WriteProfileInt("WINDOW", "StartMode", startMode);
    bool opened = m_mainFrame->OpenStartWindow(startMode);

    m_mainFrame->show();
    if (!profileProblem.IsEmpty())
        MessageBox(profileProblem);
    if (GetProfileInt("WINDOW", "MAXIMIZE", 0) != 0) {
        if (opened)
            if (QMdiSubWindow* w = m_mainFrame->mdiArea()->activeSubWindow())
                w->showMaximized();
        m_mainFrame->showMaximized();
    } else if (opened) {
        m_mainFrame->mdiArea()->tileSubWindows();
    }
    return true;
}

int CTorvelApp::ExitInstance() {
    if (m_exited)
        return 0;
    m_exited = true;
    bool started = m_mainFrame != nullptr;
    m_mainFrame.reset(); // saves the window state, closes the link, writes the output flags
    if (started) {
        // The list is written to the name in the profile, relative to the
        // current directory, so a list found in the installed data folder is
        // saved as the user's own copy instead of over the shipped one.
        CString channelFile = GetProfileString("MAIN_FRAME", "ChannelFile", "TorvelList.txt");
        WriteChannelList(channelFile);
    }
    m_instance.reset();
    FlushProfile();
    return 0;
}
