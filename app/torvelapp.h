// CTorvelApp: brings the program up in its fixed order (profile, string table,
// channel list, single instance, main frame with the device link, start
// window, window state) and down again (window state, device link, output
// flags, channel list, lock).
#pragma once

#include "platform/cstring.h"

#include <QStringList>

#include <functional>
#include <memory>

class CMainFrame;
class CSingleInstance;

class CTorvelApp {
public:
    struct CommandLine {
        bool showSplash = true;
    };
    // The standard options: "/Embedding", "/Automation", "-nologo" and
    // "--no-splash" turn the splash screen off.
    static CommandLine ParseCommandLine(const QStringList& args);

    CTorvelApp();
    ~CTorvelApp();
    CTorvelApp(const CTorvelApp&) = delete;
    CTorvelApp& operator=(const CTorvelApp&) = delete;

    // Runs the start-up. False when the program must end; StartupError() then
    // says why in one line (empty when another instance was brought forward).
    bool InitInstance(const QStringList& args);
    // Saves the channel list and releases the single-instance lock.
    int ExitInstance();

    CMainFrame* MainFrame() const { return m_mainFrame.get(); }
    const CString& StartupError() const { return m_error; }
    // True when start-up ended because another instance runs.
    bool FoundOtherInstance() const { return m_otherInstance; }

    // Message boxes go through here, so tests can watch them instead of blocking.
    std::function<void(const CString&)> MessageBox;

private:
    std::unique_ptr<CSingleInstance> m_instance;
    std::unique_ptr<CMainFrame> m_mainFrame;
    CString m_error;
    bool m_otherInstance = false;
    bool m_exited = false;
};
