// Torvel: the program's entry point.
#include "app/mainframe.h"
#include "platform/termination.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    CMainFrame frame;
    InstallTerminationHandler([&frame] { frame.close(); });
    frame.show();
    return app.exec();
}
