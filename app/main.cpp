// Torvel: the program's entry point. The command line is read before the
// toolkit starts, so that --help, --version and a wrong command line answer
// without a display.
#include "app/mainframe.h"
#include "app/torvelapp.h"
#include "platform/termination.h"

#include <QApplication>
#include <QDir>
#include <QList>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {
// QApplication::exec runs the program's one event loop at this nesting level.
constexpr int kApplicationLoopLevel = 1;
// Exit status of a command line that cannot be followed.
constexpr int kUsageError = 2;

void printLine(std::FILE* to, const QString& text) {
    std::fprintf(to, "%s\n", text.toLocal8Bit().constData());
}

// What the toolkit says while it connects to the window system is held back:
// when no display can be reached it ends the program (it would abort with a
// page about platform plugins); the user reads one line saying what to do
// instead. Once the connection stands, what was held back is said after all.
struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};
QList<HeldMessage>* heldMessages = nullptr;

void holdStartupMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        std::fputs("Torvel needs a display: none could be reached (DISPLAY or WAYLAND_DISPLAY). "
                   "Run it on a desktop, or with a virtual one: apt-get install -y xvfb && "
                   "xvfb-run torvel\n",
                   stderr);
        std::_Exit(1);
    }
    if (heldMessages)
        heldMessages->append({type, QByteArray(context.category ? context.category : ""), text});
}
} // namespace

int main(int argc, char* argv[]) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const CTorvelApp::CommandLine cl = CTorvelApp::ParseCommandLine(args);
    if (!cl.error.isEmpty()) {
        printLine(stderr, cl.error);
        return kUsageError;
    }
    if (cl.help) {
        std::fputs(CTorvelApp::UsageText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (cl.version) {
        printLine(stdout, CTorvelApp::VersionText());
        return 0;
    }
    for (const QString& f : cl.files) {
        QString problem;
        if (CTorvelApp::DataFileKind(f, &problem) == CTorvelApp::FileKind::Unreadable) {
            printLine(stderr, problem);
            return kUsageError;
        }
    }
    if (cl.userFolder) {
        // The desktop launcher's working folder: the profile, and the user's
        // copy of the channel list, live there.
        const QString folder = CTorvelApp::UserFolder();
        if (!QDir().mkpath(folder) || chdir(QFile::encodeName(folder).constData()) != 0) {
            printLine(stderr, "Torvel: cannot use the folder \"" + folder + "\"");
            return 1;
        }
    }

    QList<HeldMessage> held;
    heldMessages = &held;
    const QtMessageHandler previousHandler = qInstallMessageHandler(holdStartupMessage);
    QApplication qapp(argc, argv);
    qInstallMessageHandler(previousHandler);
    heldMessages = nullptr;
    for (const HeldMessage& m : held) {
        const QMessageLogContext context(nullptr, 0, nullptr, m.category.constData());
        qt_message_output(m.type, context, m.text);
    }
    QGuiApplication::setDesktopFileName(QStringLiteral(TORVEL_APP_ID));
    CTorvelApp app;
    // SIGINT and SIGTERM close the main window as the user would, once any
    // modal dialog open at the time has been cancelled and its loop has ended;
    // this holds from start-up on (a message box of the start window).
    InstallTerminationHandler([&app] {
        if (CMainFrame* frame = app.MainFrame())
            frame->RequestClose(kApplicationLoopLevel);
    });
    if (!app.InitInstanceWith(cl)) {
        if (!app.StartupError().IsEmpty()) {
            std::fprintf(stderr, "%s\n", app.StartupError().c_str());
            return 1;
        }
        return 0; // another instance was brought to the front
    }
    if (CMainFrame* frame = app.MainFrame())
        frame->WatchSystemSleep();
    QObject::connect(&qapp, &QApplication::lastWindowClosed, &qapp, &QApplication::quit);
    if (cl.quitAfterMs >= 0)
        QTimer::singleShot(cl.quitAfterMs, &qapp, [&app] {
            if (CMainFrame* frame = app.MainFrame())
                frame->RequestClose(kApplicationLoopLevel);
        });
    int rc = QApplication::exec();
    app.ExitInstance();
    return rc;
}
