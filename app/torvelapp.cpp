#include "torvelapp.h"

#include "analysis/analysiscore.h"
#include "app/datafiles.h"
#include "app/mainframe.h"
#include "app/programicon.h"
#include "app/singleinstance.h"
#include "device/loader/devicelibrary.h"
#include "lib/channellist.h"
#include "lib/stringtable.h"
#include "modes/corefactory.h"
#include "platform/profile.h"
#include "publish/publishsettings.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kLibraryStringBase = 2500;
// First lines of the two kinds of data file.
constexpr std::string_view kSettingFileHeader = "Torvel Version2 Setting Data File";
constexpr std::string_view kCsvFileHeader = "Torvel Version2 CSV Formatted Data File";
// While a modal dialog runs, handed-over files wait this long between looks.
constexpr int kOpenRetryMs = 200;
// The question that offers the simulator for a device that cannot be opened.
constexpr int kStrOfferSimulator = 2651;
// The port of --remote without a number: the one bench instruments use.
constexpr int kDefaultRemotePort = 5025;
// A window per file at most; the device gives no more than 255 core ids.
constexpr int kMaxFilesOpened = 255;

// The toolkit's own options, which it takes out of the command line itself;
// those of the first list take a value.
const QStringList kToolkitOptionsWithValue = {
    "platform",        "platformpluginpath", "platformtheme", "plugin",
    "qwindowgeometry", "qwindowicon",        "qwindowtitle",  "session",
    "display",         "geometry",           "name",          "style",
    "stylesheet"};
const QStringList kToolkitFlags = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

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
    auto fail = [&cl](const QString& text) {
        if (cl.error.isEmpty())
            cl.error = "Torvel: " + text + " (torvel --help lists the options)";
    };
    bool options = true;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const QString s = a.toLower();
        if (options && a == "--") {
            options = false;
        } else if (options &&
                   (s == "/embedding" || s == "-embedding" || s == "/automation" ||
                    s == "-automation" || s == "-nologo" || s == "/nologo" || s == "--no-splash")) {
            cl.showSplash = false;
        } else if (options && (a == "--help" || a == "-h")) {
            cl.help = true;
        } else if (options && (a == "--version" || a == "-v")) {
            cl.version = true;
        } else if (options && a == "--user-folder") {
            cl.userFolder = true;
        } else if (options && (a == "--device" || a.startsWith("--device="))) {
            const QString value =
                a.contains('=') ? a.section('=', 1) : (i + 1 < args.size() ? args[++i] : QString());
            if (torveldevice::LibraryFileOf(value.toStdString()).empty())
                fail("--device needs simulator, soapy[:ARGS] or a library's path, not \"" + value +
                     "\"");
            else
                cl.device = value;
        } else if (options && (a == "--quit-after" || a.startsWith("--quit-after="))) {
            QString value;
            if (a.contains('='))
                value = a.section('=', 1);
            else if (i + 1 < args.size())
                value = args[++i];
            bool ok = false;
            const int ms = value.toInt(&ok);
            if (!ok || ms < 0)
                fail("--quit-after needs a number of milliseconds, not \"" + value + "\"");
            else
                cl.quitAfterMs = ms;
        } else if (options && (a == "--remote" || a.startsWith("--remote="))) {
            // The port only with '=': "--remote 5025" would read as a file.
            bool ok = true;
            const int port = a.contains('=') ? a.section('=', 1).toInt(&ok) : kDefaultRemotePort;
            if (!ok || port < 1 || port > 65535)
                fail("--remote needs a port from 1 to 65535, not \"" + a.section('=', 1) + "\"");
            else
                cl.remotePort = port;
        } else if (options && (a == "--mqtt" || a.startsWith("--mqtt="))) {
            const QString value =
                a.contains('=') ? a.section('=', 1) : (i + 1 < args.size() ? args[++i] : QString());
            CPublishSettings probe;
            QString why;
            if (!probe.ApplyUrl(value, &why))
                fail(why);
            else
                cl.mqttUrl = value;
        } else if (options && a.startsWith('-') && a.size() > 1) {
            // The toolkit accepts its options with one dash or two.
            QString name = a.mid(a.startsWith("--") ? 2 : 1);
            const bool inlineValue = name.contains('=');
            name = name.section('=', 0, 0);
            if (kToolkitOptionsWithValue.contains(name)) {
                if (!inlineValue)
                    ++i;
            } else if (!kToolkitFlags.contains(name) && !name.startsWith("qmljsdebugger")) {
                fail("unknown option \"" + a + "\"");
            }
        } else {
            cl.files << QFileInfo(a).absoluteFilePath();
        }
    }
    return cl;
}

QString CTorvelApp::UsageText() {
    return QStringLiteral(
        "Usage: torvel [OPTION]... [FILE]...\n"
        "The front end of the Torvel spectrum analyser. Each FILE, a setting data file (.SPE)\n"
        "or a CSV data file, opens as an analysis window; when Torvel already runs, the files\n"
        "open in the running program.\n"
        "\n"
        "Options:\n"
        "  --no-splash        start without the splash screen\n"
        "  --user-folder      keep TORVEL.INI in ${XDG_DATA_HOME:-~/.local/share}/torvel\n"
        "                     (made when missing) instead of the current directory\n"
        "  --device DEVICE    the device library: simulator (the default), soapy[:ARGS] for a\n"
        "                     receiver through SoapySDR (ARGS as driver=rtlsdr), or the path\n"
        "                     of an analyser's libTorvelAPI.so; remembered in the profile\n"
        "  --quit-after MS    close the program in order MS milliseconds after start-up\n"
        "  --remote[=PORT]    accept SCPI commands on TCP port PORT (default 5025) of\n"
        "                     127.0.0.1; Options > Remote Control lets other computers in\n"
        "  --mqtt URL         publish alarms and readings to the MQTT broker at URL\n"
        "                     (mqtt://HOST[:PORT] or mqtts://HOST[:PORT]) for this run;\n"
        "                     Options > Publishing sets the rest and keeps it on\n"
        "  -h, --help         show this text\n"
        "  -v, --version      show the version\n"
        "\n"
        "The profile TORVEL.INI lives in the current directory. The analyser simulator is the\n"
        "default device: TORVEL_SIM_SPEED scales its timing (0 = as fast as possible) and\n"
        "TORVEL_SIM_SCENE names a scene file.\n");
}

QString CTorvelApp::VersionText() {
    return QStringLiteral("Torvel " TORVEL_VERSION);
}

CTorvelApp::FileKind CTorvelApp::DataFileKind(const QString& path, QString* problem) {
    auto unusable = [&](const QString& why) {
        if (problem)
            *problem = "Torvel: cannot open \"" + path + "\": " + why;
        return FileKind::Unreadable;
    };
    const QByteArray name = QFile::encodeName(path);
    // Non-blocking, so that a FIFO never holds the start.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return unusable(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return unusable("not a regular file");
    }
    char head[128];
    ssize_t n = ::read(fd, head, sizeof head);
    const int readError = errno;
    ::close(fd);
    if (n < 0)
        return unusable(QString::fromLocal8Bit(std::strerror(readError)));
    std::string_view first(head, static_cast<size_t>(n));
    first = first.substr(0, first.find('\n'));
    if (!first.empty() && first.back() == '\r')
        first.remove_suffix(1);
    if (first == kSettingFileHeader)
        return FileKind::Setting;
    if (first == kCsvFileHeader)
        return FileKind::Csv;
    return unusable("not a Torvel setting data file or CSV data file");
}

QString CTorvelApp::UserFolder() {
    // Relative values of XDG_DATA_HOME are invalid and ignored.
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + "/.local/share";
    return QDir::cleanPath(base + "/torvel");
}

CTorvelApp::CTorvelApp() {
    MessageBox = [this](const CString& text) {
        QMessageBox box(QMessageBox::Warning, QString(), QString::fromUtf8(text.c_str()),
                        QMessageBox::Ok);
        runBox(box);
    };
    Question = [this](const CString& text) {
        QMessageBox box(QMessageBox::Question, QString(), QString::fromUtf8(text.c_str()),
                        QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return runBox(box) == QMessageBox::Yes;
    };
}

CTorvelApp::~CTorvelApp() {
    ExitInstance();
}

bool CTorvelApp::InitInstance(const QStringList& args) {
    return InitInstanceWith(ParseCommandLine(args));
}

bool CTorvelApp::InitInstanceWith(const CommandLine& cl) {
    m_quitAfterMs = cl.quitAfterMs;
    // Every window, message box and MDI window carries the program's icon
    // and class.
    QCoreApplication::setApplicationName(QString::fromLatin1(kWindowClass));
    QApplication::setWindowIcon(ProgramIcon());
    // Every profile read and write of the program goes to TORVEL.INI in the
    // current directory.
    // Without a profile this is the program's first start here: the start
    // window then measures at once, so that a new user sees the analyser work.
    const bool firstStart =
        !QFileInfo::exists(QString::fromUtf8((currentDirectory() + "/TORVEL.INI").c_str()));
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
    switch (m_instance->Acquire(cl.files)) {
    case CSingleInstance::Result::Acquired:
        break;
    case CSingleInstance::Result::HeldElsewhere:
        m_instance.reset();
        m_otherInstance = true;
        return false;
    case CSingleInstance::Result::NotHandedOver:
        m_instance.reset();
        m_otherInstance = true;
        m_error = "Torvel: the running Torvel did not take the files to open";
        return false;
    case CSingleInstance::Result::Failed:
        m_error = "Torvel: cannot create the single-instance lock \"" +
                  CString(m_instance->LockPath().toUtf8().constData()) + "\"";
        m_instance.reset();
        return false;
    }

    m_mainFrame = std::make_unique<CMainFrame>(MessageBox);
    m_mainFrame->SetCoreFactory(CreateAnalysisCore);
    // Once the main frame exists, so that a signal also ends the message box
    // of a device library that was refused.
    loadDevice(cl.device);
    // The simulator itself has nothing to fall back on: string 4 says so.
    if (torveldevice::LoadedDeviceChoice() != torveldevice::kSimulatorChoice)
        m_mainFrame->SetDeviceFallback([this] { return offerSimulator(); });
    if (!m_mainFrame->Create(cl.showSplash)) {
        if (m_mainFrame->CommandListFailed())
            m_error = "Torvel: the string table \"" + tableFile +
                      "\" holds no command list (lines from 100 to END_LIST)";
        else if (m_error.IsEmpty())
            m_error = "Torvel: the analyser could not be opened";
        m_mainFrame.reset();
        return false;
    }
    rememberDevice();
    m_instance->SetActivateHandler([this] {
        if (m_mainFrame)
            m_mainFrame->Activate();
    });
    m_instance->SetOpenHandler([this](const QStringList& files) { OpenFiles(files); });

    int startMode = GetProfileInt("WINDOW", "StartMode", 1);
    WriteProfileInt("WINDOW", "StartMode", startMode);
    // Files named on the command line take the place of the start window, as
    // the framework's own file-open start does; the start window still opens
    // when none of them could.
    bool opened = false;
    for (const QString& f : cl.files.mid(0, kMaxFilesOpened))
        opened = openFile(f) || opened;
    // Otherwise the windows open at the last exit come back at their places,
    // and only without any the start window opens (tiled).
    bool placed = false;
    if (!opened)
        opened = placed = m_mainFrame->ReopenWindows();
    if (!opened) {
        opened = m_mainFrame->OpenStartWindow(startMode);
        if (opened && firstStart)
            m_mainFrame->RunActiveWindow();
    }

    m_mainFrame->show();
    // The SCPI server, when the command line or the Remote Control dialog of
    // an earlier run asked for it; a port in use is told and the program runs
    // on without it.
    const bool remoteOn = GetProfileInt("REMOTE", "Enabled", 0) != 0;
    if (cl.remotePort > 0 || remoteOn) {
        QString problem;
        const int port =
            cl.remotePort > 0 ? cl.remotePort : GetProfileInt("REMOTE", "Port", kDefaultRemotePort);
        const bool others = cl.remotePort == 0 && GetProfileInt("REMOTE", "AllowOthers", 0) != 0;
        if (!m_mainFrame->StartRemote(port, others, &problem))
            std::fprintf(stderr, "Torvel: %s\n", problem.toLocal8Bit().constData());
    }
    // Publishing, when the command line or the Publishing dialog of an earlier
    // run asked for it; a broker away is only a state in the status bar.
    CPublishSettings publishing = CPublishSettings::FromProfile();
    if (!cl.mqttUrl.isEmpty()) {
        QString why;
        publishing.ApplyUrl(cl.mqttUrl, &why);
    }
    if (publishing.enabled) {
        QString problem;
        if (!m_mainFrame->StartPublishing(publishing, &problem))
            std::fprintf(stderr, "Torvel: %s\n", problem.toLocal8Bit().constData());
    }
    if (!profileProblem.IsEmpty())
        MessageBox(profileProblem);
    if (GetProfileInt("WINDOW", "MAXIMIZE", 0) != 0) {
        if (opened)
            if (QMdiSubWindow* w = m_mainFrame->mdiArea()->activeSubWindow())
                w->showMaximized();
        m_mainFrame->showMaximized();
    } else if (opened && !placed) {
        m_mainFrame->mdiArea()->tileSubWindows();
    }
    return true;
}

void CTorvelApp::OpenFiles(const QStringList& files) {
    for (const QString& f : files)
        if (m_pendingFiles.size() < kMaxFilesOpened)
            m_pendingFiles << f;
    if (m_openScheduled)
        return;
    m_openScheduled = true;
    QTimer::singleShot(0, m_mainFrame.get(), [this] { openPendingFiles(); });
}

void CTorvelApp::loadDevice(const QString& chosen) {
    const CString device =
        chosen.isEmpty() ? GetProfileString("DEVICE", "Library", torveldevice::kSimulatorChoice)
                         : CString(chosen.toUtf8().constData());
    const double offset =
        torveldevice::LevelOffsetOf(GetProfileString("DEVICE", "LevelOffset", "0").c_str());
    std::string problem;
    if (!torveldevice::LoadDeviceLibrary(device.c_str(), offset, &problem)) {
        const CString line = "Torvel: " + CString(problem.c_str()) + "; the simulator is used";
        std::fprintf(stderr, "%s\n", line.c_str());
        if (MessageBox)
            MessageBox(line);
    }
}

void CTorvelApp::rememberDevice() {
    WriteProfileString("DEVICE", "Library", torveldevice::LoadedDeviceChoice().c_str());
}

bool CTorvelApp::offerSimulator() {
    const CString failed = "Torvel: the device " +
                           CString(torveldevice::LoadedDeviceDescription().c_str()) +
                           " could not be opened. Check that it is connected and switched on, "
                           "or start with another device: --device simulator for the analyser "
                           "simulator (Options > Device... chooses the device of later starts).";
    const char* offer = GetTorvelString(kStrOfferSimulator);
    if (!Question || !Question(failed + "\n\n" + (offer ? offer : ""))) {
        m_error = failed;
        return false;
    }
    std::string problem;
    if (!torveldevice::LoadDeviceLibrary(torveldevice::kSimulatorChoice, 0.0, &problem)) {
        m_error = "Torvel: " + CString(problem.c_str());
        return false;
    }
    return true;
}

int CTorvelApp::runBox(QMessageBox& box) {
    if (m_quitAfterMs >= 0)
        QTimer::singleShot(m_quitAfterMs, &box, &QMessageBox::reject);
    return box.exec();
}

void CTorvelApp::openPendingFiles() {
    m_openScheduled = false;
    if (!m_mainFrame || m_mainFrame->IsCloseRequested()) {
        m_pendingFiles.clear();
        return;
    }
    // A window opened from inside a modal dialog's loop would be shown to a
    // program that is waiting for that dialog; the files wait for it to end.
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) {
        m_openScheduled = true;
        QTimer::singleShot(kOpenRetryMs, m_mainFrame.get(), [this] { openPendingFiles(); });
        return;
    }
    while (!m_pendingFiles.isEmpty() && m_mainFrame) {
        const QString f = m_pendingFiles.takeFirst();
        openFile(f);
    }
    if (m_mainFrame)
        m_mainFrame->Activate();
}

bool CTorvelApp::openFile(const QString& path) {
    QPointer<CMainFrame> frame = m_mainFrame.get();
    const CString name(path.toUtf8().toStdString());
    switch (DataFileKind(path)) {
    case FileKind::Setting:
        return frame->OpenWorkspaceFile(name) != nullptr;
    case FileKind::Csv:
        return frame->OpenCsvFile(name) != nullptr;
    case FileKind::Unreadable:
        break;
    }
    // Says that the file cannot be read, as File > Open does.
    return frame->OpenCsvFile(name) != nullptr;
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
        errno = 0;
        if (!WriteChannelList(channelFile))
            reportUnsaved(channelFile);
    }
    m_instance.reset();
    errno = 0;
    if (!FlushProfile())
        reportUnsaved(GetProfileFile());
    return 0;
}

void CTorvelApp::reportUnsaved(const CString& path) {
    // Nobody is left to ask at exit: one line says which file kept its old
    // content (a read-only file, a full disk) and why, when that is known.
    const int error = errno;
    std::fprintf(stderr, "Torvel: %s could not be saved%s%s; the file was left as it was\n",
                 path.c_str(), error ? ": " : "", error ? std::strerror(error) : "");
}
