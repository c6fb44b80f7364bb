// Torvel: the program's entry point.
#include "app/mainframe.h"
#include "app/torvelapp.h"
#include "platform/termination.h"

#include <QApplication>

#include <cstdio>

namespace {
// QApplication::exec runs the program's one event loop at this nesting level.
constexpr int kApplicationLoopLevel = 1;
} // namespace

int main(int argc, char* argv[]) {
    QApplication qapp(argc, argv);
    CTorvelApp app;
    // SIGINT and SIGTERM close the main window as the user would, once any
    // modal dialog open at the time has been cancelled and its loop has ended;
    // this holds from start-up on (a message box of the start window).
    InstallTerminationHandler([&app] {
        if (CMainFrame* frame = app.MainFrame())
            frame->RequestClose(kApplicationLoopLevel);
    });
    if (!app.InitInstance(QApplication::arguments())) {
        if (!app.StartupError().IsEmpty()) {
            std::fprintf(stderr, "%s\n", app.StartupError().c_str());
            return 1;
        }
        return 0; // another instance was brought to the front
    }
    QObject::connect(&qapp, &QApplication::lastWindowClosed, &qapp, &QApplication::quit);
    int rc = QApplication::exec();
    app.ExitInstance();
    return rc;
}
