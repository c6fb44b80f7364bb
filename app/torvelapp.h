// CTorvelApp: brings the program up in its fixed order (profile, string table,
// channel list, single instance, main frame with the device link, start
// window, window state) and down again (window state, device link, output
// flags, channel list, lock).
#pragma once

#include "platform/cstring.h"

#include <QStringList>

#include <functional>
#include <memory>

// The X11 class of the program's windows (the application's name), which
// the desktop entry names as its StartupWMClass so that docks match windows
// and launcher.
constexpr char kWindowClass[] = "torvel";

class CMainFrame;
class QMessageBox;
class CSingleInstance;

class CTorvelApp {
public:
    struct CommandLine {
        bool showSplash = true;
        bool help = false;
        bool version = false;
        // Run in the per-user folder instead of the current directory.
        bool userFolder = false;
        // Close the program in order this long after start-up; -1 = never.
        int quitAfterMs = -1;
        // The SCPI server's port (--remote[=PORT]); 0 = not asked for.
        int remotePort = 0;
        // --mqtt URL: publishing on for this run with that broker; empty = as
        // the profile says.
        QString mqttUrl;
        // The device library to load (see device/loader/devicelibrary.h);
        // empty = the one the profile remembers.
        QString device;
        // Files to open, as absolute paths.
        QStringList files;
        // What is wrong with the command line, in one line; empty when nothing.
        QString error;
    };
    // args[0] is the program. The standard options: "/Embedding",
    // "/Automation", "-nologo" and "--no-splash" turn the splash screen off;
    // the toolkit's own options (-platform, -style...) are passed over. The
    // other options are --help, --version, --user-folder, --device DEVICE,
    // --quit-after MS, --remote[=PORT] and --mqtt URL;
    // everything else that is not an option ("--" ends them) is a file.
    static CommandLine ParseCommandLine(const QStringList& args);
    // The usage text of --help and the line of --version.
    static QString UsageText();
    static QString VersionText();

    enum class FileKind { Unreadable, Setting, Csv };
    // What a file named on the command line is, from its first line; for an
    // unusable file *problem says why in one line. Never blocks on a FIFO
    // and reads only the first bytes.
    static FileKind DataFileKind(const QString& path, QString* problem = nullptr);
    // ${XDG_DATA_HOME:-~/.local/share}/torvel, where the desktop launcher
    // runs the program.
    static QString UserFolder();

    CTorvelApp();
    ~CTorvelApp();
    CTorvelApp(const CTorvelApp&) = delete;
    CTorvelApp& operator=(const CTorvelApp&) = delete;

    // Runs the start-up. False when the program must end; StartupError() then
    // says why in one line (empty when another instance was brought forward).
    bool InitInstance(const QStringList& args);
    // The same for a command line read already (relative files made absolute).
    bool InitInstanceWith(const CommandLine& cl);
    // Saves the channel list and the profile and releases the single-instance
    // lock. A file that could not be saved is named on standard error.
    int ExitInstance();
    // Opens setting data files and CSV data files as windows once no modal
    // dialog runs (files a later start hands over may arrive at any time).
    void OpenFiles(const QStringList& files);

    CMainFrame* MainFrame() const { return m_mainFrame.get(); }
    const CString& StartupError() const { return m_error; }
    // True when start-up ended because another instance runs.
    bool FoundOtherInstance() const { return m_otherInstance; }

    // Message boxes go through here, so tests can watch them instead of blocking.
    std::function<void(const CString&)> MessageBox;
    // Yes/no questions likewise: true for yes.
    std::function<bool(const CString&)> Question;

private:
    void openPendingFiles();
    // Loads the device library of the command line or the profile; a
    // refused library is named to the user. The device is remembered only
    // once it has opened (rememberDevice).
    void loadDevice(const QString& chosen);
    void rememberDevice();
    // A chosen device that cannot be opened: named, with how to choose
    // another, and the simulator offered for this start. True when the
    // simulator was taken and loaded; otherwise m_error says it all.
    bool offerSimulator();
    // Runs a start-up box; with --quit-after it closes unanswered (rejected)
    // once that time is over, so that the start ends on its own.
    int runBox(QMessageBox& box);
    // Opens one file by its kind; the window or null (the user was told why).
    bool openFile(const QString& path);
    // One line on standard error: the file at path could not be saved.
    static void reportUnsaved(const CString& path);

    std::unique_ptr<CSingleInstance> m_instance;
    QStringList m_pendingFiles;
    bool m_openScheduled = false;
    std::unique_ptr<CMainFrame> m_mainFrame;
    CString m_error;
    bool m_otherInstance = false;
    bool m_exited = false;
    int m_quitAfterMs = -1;
};
