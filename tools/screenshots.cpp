// Makes the README's screenshots: one picture of the main window per kind of
// analysis window the program builds, each window maximised after it has
// measured for a while.
// Run it under a virtual display (./scripts/torvel.sh screenshots), with
// TORVEL_SIM_SCENE naming a fixed scene so that the pictures repeat.
#include "analysis/analysiscore.h"
#include "app/childframe.h"
#include "app/mainframe.h"
#include "app/torvelapp.h"
#include "lib/channellist.h"
#include "modes/medicalanalysis.h"
#include "platform/profile.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {
// Window kinds 1..7 and the picture each one gives.
constexpr const char* kPictureNames[] = {"normal",   "wlan",    "zerospan", "semireal",
                                         "realtime", "medical", "xpd"};
// Further pictures of the waterfall views, each taken right after the
// picture of its kind: the window kind, the picture, the profile key (in the
// window's section) that turns the view on, and the band it looks at (kHz;
// 0: the window's own).
struct Picture {
    int kind;
    const char* name;
    const char* section;
    const char* key;
    int start, stop;
};
// The WLAN band's bursts: the normal window sweeps it in 100 kHz steps
// (RBW index 6), so that a sweep takes a fraction of a second.
constexpr Picture kExtras[] = {
    {1, "normal-history", "NormalAnalysis_1", "SweepHistory", 2400000, 2480000},
    {4, "semireal-waterfall", "SemiRealAnalysis_1", "WaterfallView", 2400000, 2500000},
    {5, "realtime-waterfall", "RealTimeAnalysis_1", "WaterfallView", 0, 0}};
constexpr int kHighSpeedRbw = 6;
// How long each window measures before its picture is taken.
constexpr int kMeasureMs = 4000;
constexpr int kWindowWidth = 1200;
constexpr int kWindowHeight = 800;

// The zero-span window shows a capture of the remote key (a 5 ms pulse each
// second at 433.92 MHz): 100 ms about the rising edge, triggered by the
// trigger line at -40 dBm, with the marker on the bin at 433.75 MHz.
void prepareZeroSpan() {
    const char* section = "ZeroSpanAnalysis_1";
    WriteProfileInt(section, "StartFrequency", 433750 - 12000);
    WriteProfileInt(section, "StartBin", 55);
    WriteProfileInt(section, "StopBin", 55);
    WriteProfileInt(section, "TimeSpan", 100);
    WriteProfileInt(section, "TriggerType", 1);
    WriteProfileInt(section, "TriggerTimePosition", 25);
    WriteProfileInt(section, "TriggerPosition", 734003); // 0.7 of the graph from the top
}

// The real-time window looks at WLAN channel 1 (2412 MHz, 24 MHz wide), whose
// packets come and go from one capture to the next, at 10 dB attenuation,
// where they stand well above the noise.
void prepareRealTime() {
    const char* section = "RealTimeAnalysis_1";
    WriteProfileInt(section, "StartFrequency", 2400000);
    WriteProfileInt(section, "StopFrequency", 2424000);
    WriteProfileInt(section, "AttValue", 10);
}

// The medical window shows channel A4046, on the telemetry carrier at
// 441.125 MHz, with its read-out.
constexpr const char* kMedicalChannel = "A4046";

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
    std::vector<Picture> pictures;
    for (int kind = 1; kind <= 7; ++kind) {
        pictures.push_back({kind, kPictureNames[kind - 1], nullptr, nullptr, 0, 0});
        for (const Picture& extra : kExtras)
            if (extra.kind == kind)
                pictures.push_back(extra);
    }
    int rc = 0;
    for (const Picture& picture : pictures) {
        frame->mdiArea()->closeAllSubWindows();
        QApplication::processEvents();
        const int kind = picture.kind;
        const QString name = picture.name;
        if (kind == 3)
            prepareZeroSpan();
        // The real-time window captures in repeat: a single capture stops
        // the window, which then says so.
        if (kind == 5) {
            WriteProfileInt("RealTimeAnalysis_1", "TrigMode", 1);
            if (!picture.key)
                prepareRealTime();
        }
        if (picture.key)
            WriteProfileInt(picture.section, picture.key, 1);
        if (picture.start > 0) {
            WriteProfileInt(picture.section, "StartFrequency", picture.start);
            WriteProfileInt(picture.section, "StopFrequency", picture.stop);
            if (kind == 1)
                WriteProfileInt(picture.section, "RBWIndex", kHighSpeedRbw);
        }
        // Kinds the program does not build (yet) give no picture.
        if (!frame->OpenStartWindow(kind)) {
            std::fprintf(stderr, "no %s window: skipped\n", name.toLocal8Bit().constData());
            continue;
        }
        // The window measures, as after Run.
        if (CChildFrame* w = frame->ActiveChild()) {
            w->showMaximized();
            w->GetCore()->SetAnalyzeFlag(1);
            if (kind == 3)
                w->GetCore()->ExecuteCommand(251, 0, 0, 0, 0, 0); // time analysis on
            if (kind == 6)
                frame->RemoteCommand(w->GetCore(), CMedicalAnalysis::kCmdPickIndex,
                                     GetChannelIndex(kMedicalChannel), 0, 0, 0, 0);
            frame->PostScheduleNext(0);
        }
        pumpFor(kMeasureMs);
        const QString file = out + "/" + name + ".png";
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
