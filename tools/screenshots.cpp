// Makes the README's screenshots: one picture of the main window per kind of
// analysis window the program builds, each window maximised after it has
// measured for a while.
// Run it under a virtual display (./scripts/torvel.sh screenshots), with
// TORVEL_SIM_SCENE naming a fixed scene so that the pictures repeat.
#include "analysis/analysiscore.h"
#include "app/childframe.h"
#include "app/mainframe.h"
#include "app/torvelapp.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {
// Window kinds 1..7 and the picture each one gives.
constexpr const char* kPictureNames[] = {"normal",   "wlan",    "zerospan", "semireal",
                                         "realtime", "medical", "xpd"};
// How long each window measures before its picture is taken.
constexpr int kMeasureMs = 4000;
constexpr int kWindowWidth = 1200;
constexpr int kWindowHeight = 800;

void pumpFor(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication qapp(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: torvel_screenshots OUTPUT-FOLDER\n");
        return 2;
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(out);
    // A fresh working folder: default profile, shipped data files.
    QTemporaryDir work;
    if (!work.isValid() || chdir(QFile::encodeName(work.path()).constData()) != 0)
        return 1;
    // A message box would wait for a user; it is reported and closed.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            if (auto* box = qobject_cast<QMessageBox*>(w))
                std::fprintf(stderr, "message: %s\n", box->text().toLocal8Bit().constData());
            w->close();
        }
    });
    closer.start(100);

    CTorvelApp app;
    app.MessageBox = [](const CString& text) {
        std::fprintf(stderr, "message: %s\n", text.c_str());
    };
    if (!app.InitInstance(QStringList{"torvel", "--no-splash"})) {
        std::fprintf(stderr, "%s\n",
                     app.FoundOtherInstance() ? "Torvel already runs: close it first"
                                              : app.StartupError().c_str());
        return 1;
    }
    CMainFrame* frame = app.MainFrame();
    frame->showNormal();
    frame->resize(kWindowWidth, kWindowHeight);
    int rc = 0;
    for (int kind = 1; kind <= 7; ++kind) {
        frame->mdiArea()->closeAllSubWindows();
        QApplication::processEvents();
        // Kinds the program does not build (yet) give no picture.
        if (!frame->OpenStartWindow(kind)) {
            std::fprintf(stderr, "no %s window: skipped\n", kPictureNames[kind - 1]);
            continue;
        }
        // The window measures, as after Run.
        if (CChildFrame* w = frame->ActiveChild()) {
            w->showMaximized();
            w->GetCore()->SetAnalyzeFlag(1);
            frame->PostScheduleNext(0);
        }
        pumpFor(kMeasureMs);
        const QString file = out + "/" + kPictureNames[kind - 1] + ".png";
        if (!frame->grab().save(file)) {
            std::fprintf(stderr, "cannot write %s\n", file.toLocal8Bit().constData());
            rc = 1;
        } else {
            std::printf("%s\n", file.toLocal8Bit().constData());
        }
    }
    frame->close();
    app.ExitInstance();
    return rc;
}
