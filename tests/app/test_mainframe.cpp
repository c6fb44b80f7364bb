// The main frame's command execution, button bar and analysis scheduler, with
// cores that record what the scheduler asks of them, and one real normal
// window sweeping the simulator's scene.
#include "analysis/analysiscore.h"
#include "analysis/viewinterface.h"
#include "app/buttonbar.h"
#include "app/childframe.h"
#include "app/helpwindow.h"
#include "app/loggingbar.h"
#include "app/mainframe.h"
#include "app/splashwnd.h"
#include "app/torvelview.h"
#include "device/TorvelAPI.h"
#include "draw/gradientbutton.h"
#include "lib/channellist.h"
#include "lib/drawobject.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "modes/normalanalysis.h"
#include "platform/profile.h"
#include "testutil.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <functional>
#include <set>
#include <unistd.h>

namespace {

// A core whose device task always starts and which counts what it was asked.
class RecordingCore : public CAnalysisCore {
public:
    using CAnalysisCore::CAnalysisCore;
    int starts = 0;
    int finished = 0;
    int refuseWithError = 0; // a start fails and the simulator's last error decides
    int GetAnalysisType() override { return 1; }
    int StartAnalysis() override {
        ++starts;
        if (refuseWithError)
            return 0;
        m_taskRunning = 1;
        return 1;
    }
    void AnalysisFinished(WPARAM, LPARAM) override {
        ++finished;
        m_taskRunning = 0;
    }
    int GetCommandState(int action, int p1, int, int, int, int) override {
        if (action == 150)
            return p1 == 2 ? kStateDisabled : kStateTicked;
        return kStateUnticked;
    }
    int ExecuteCommand(int action, int p1, int p2, int p3, int p4, int p5) override {
        if (action == 150) {
            ++commands;
            return kCommandDone;
        }
        if (action == 151 && onCommand151) {
            onCommand151();
            return kCommandReset;
        }
        return CAnalysisCore::ExecuteCommand(action, p1, p2, p3, p4, p5);
    }
    int commands = 0;
    std::function<void()> onCommand151; // a command that runs a modal loop
};

class MainFrameTest : public ::testing::Test {
protected:
    TempDir dir;
    char oldCwd[4096] = {};
    std::vector<CString> messages;
    std::unique_ptr<CMainFrame> frame;
    bool realCores = false;

    void SetUp() override {
        ASSERT_TRUE(getcwd(oldCwd, sizeof oldCwd));
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
        SetProfileFile(dir.file("TORVEL.INI").c_str());
    }
    void TearDown() override {
        frame.reset();
        SetProfileFile(nullptr);
        ASSERT_EQ(chdir(oldCwd), 0);
        // Later tests see the shipped table again.
        InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500);
    }
    // Loads the shipped string table with the given command lines from line 100.
    void loadTable(const std::vector<std::string>& commands) {
        std::ifstream in(TORVEL_SOURCE_RESOURCES "/Torvel.txt");
        std::ofstream out(dir.file("Torvel.txt"));
        std::string line;
        for (int i = 0; std::getline(in, line); ++i) {
            size_t k = static_cast<size_t>(i - 100);
            if (i >= 100 && k < commands.size())
                out << commands[k] << "\n";
            else if (i >= 100 && k == commands.size())
                out << "END_LIST\n";
            else
                out << line << "\n";
        }
        out.close();
        ASSERT_EQ(InitializeTorvelLibDLL(dir.file("Torvel.txt").c_str(), 2500), 1);
    }
    void create() {
        frame = std::make_unique<CMainFrame>([this](const CString& s) { messages.push_back(s); });
        frame->SetCoreFactory([this](int kind, CCommandEntry* f, CCommandEntry* b,
                                     CFrameLink* link) -> std::unique_ptr<CAnalysisCore> {
            if (realCores && kind == 1)
                return std::make_unique<CNormalAnalysis>(f, b, link);
            return std::make_unique<RecordingCore>(f, b, link);
        });
        ASSERT_TRUE(frame->Create(false));
        frame->show();
    }
    // Two analysing windows; the task of the first one runs.
    void twoAnalysing(RecordingCore** a, RecordingCore** b) {
        loadTable({"MAIN_FRAME,Open,0,0,0,5,1,1,0,0,0"});
        create();
        *a = openRecording();
        *b = openRecording();
        ASSERT_TRUE(*a && *b);
        PumpEvents();
        (*a)->SetAnalyzeFlag(1);
        (*b)->SetAnalyzeFlag(1);
        frame->SendMessage(WM_SCHEDULE_NEXT, 1, 0);
        ASSERT_EQ(frame->CurrentAnalysisId(), (*a)->GetId());
    }
    RecordingCore* openRecording(int variant = 1) {
        CChildFrame* w = frame->OpenAnalysisWindow(1, "Rec", variant);
        return w ? static_cast<RecordingCore*>(w->GetCore()) : nullptr;
    }
};

} // namespace

TEST_F(MainFrameTest, SchedulerTakesTheFlaggedCoresInIdOrderWithWrapAround) {
    loadTable({"MAIN_FRAME,Open,0,0,0,5,1,1,0,0,0"});
    create();
    RecordingCore* a = openRecording();
    RecordingCore* b = openRecording();
    RecordingCore* c = openRecording();
    ASSERT_TRUE(a && b && c);
    PumpEvents();
    // None analyses: the scheduler idles.
    EXPECT_EQ(frame->CurrentAnalysisId(), 0);
    a->SetAnalyzeFlag(1);
    c->SetAnalyzeFlag(1);
    frame->Scheduler().SetCurrentId(c->GetId());
    EXPECT_EQ(frame->Scheduler().Next(), a); // wrap-around past the last flagged core
    EXPECT_EQ(frame->Scheduler().Next(), c);
    frame->Scheduler().SetCurrentId(0);

    // A stop request for a core that is not running changes nothing.
    frame->SendMessage(WM_SCHEDULE_NEXT, 0, 0);
    const int running = frame->CurrentAnalysisId();
    ASSERT_EQ(running, a->GetId());
    frame->SendMessage(WM_SCHEDULE_NEXT, 0, b->GetId());
    EXPECT_EQ(frame->CurrentAnalysisId(), running);
    EXPECT_EQ(a->starts, 1);

    // Each finished task hands the device to the next flagged core.
    frame->SendMessage(WM_ANALYSIS_DONE, a->GetTaskTag(), 0);
    ASSERT_TRUE(PumpUntil([&] { return c->starts == 1; }));
    EXPECT_EQ(a->finished, 1);
    EXPECT_EQ(b->starts, 0);
    frame->SendMessage(WM_ANALYSIS_DONE, c->GetTaskTag(), 0);
    ASSERT_TRUE(PumpUntil([&] { return a->starts == 2; }));

    // Switching the running core off sends a stop request: its task ends and the
    // rotation starts again from the first flagged core.
    a->SetAnalyzeFlag(0);
    frame->SendMessage(WM_SCHEDULE_NEXT, 0, a->GetId());
    ASSERT_TRUE(PumpUntil([&] { return c->starts == 2; }));
}

TEST_F(MainFrameTest, OnlyTheRunningTasksMessagesReachItsCoreAndMoveTheRotation) {
    RecordingCore* a = nullptr;
    RecordingCore* b = nullptr;
    ASSERT_NO_FATAL_FAILURE(twoAnalysing(&a, &b));
    // Another core's tag: nobody takes the data and the rotation stays.
    frame->SendMessage(WM_ANALYSIS_DONE, b->GetTaskTag(), 0);
    PumpEvents();
    EXPECT_EQ(a->finished, 0);
    EXPECT_EQ(b->finished, 0);
    EXPECT_EQ(frame->CurrentAnalysisId(), a->GetId());
    EXPECT_EQ(b->starts, 0);
    // a is switched off and its task ended by the stop request; what the task
    // had posted before is dropped and does not end the next core's task.
    frame->PostMessage(WM_ANALYSIS_DONE, a->GetTaskTag(), 0);
    a->SetAnalyzeFlag(0);
    frame->SendMessage(WM_SCHEDULE_NEXT, 0, a->GetId());
    ASSERT_TRUE(PumpUntil([&] { return b->starts == 1; }));
    PumpEvents();
    EXPECT_EQ(a->finished, 0);
    EXPECT_EQ(frame->CurrentAnalysisId(), b->GetId());
    frame->SendMessage(WM_ANALYSIS_DONE, b->GetTaskTag(), 0);
    EXPECT_EQ(b->finished, 1);
}

TEST_F(MainFrameTest, ACoreEndsAndStartsOnlyItsOwnTaskWhileItHoldsTheDevice) {
    RecordingCore* a = nullptr;
    RecordingCore* b = nullptr;
    ASSERT_NO_FATAL_FAILURE(twoAnalysing(&a, &b));
    // b does not hold the device: it ends no task and starts none.
    EXPECT_FALSE(frame->TerminateTask(b));
    EXPECT_FALSE(frame->RestartTask(b));
    EXPECT_EQ(b->starts, 0);
    // a ends its task and starts it again at once: it keeps the device.
    EXPECT_FALSE(frame->RestartTask(a)); // its task still runs
    EXPECT_TRUE(frame->TerminateTask(a));
    EXPECT_FALSE(frame->TerminateTask(a)); // none runs now
    EXPECT_TRUE(frame->RestartTask(a));
    EXPECT_EQ(a->starts, 2);
    PumpEvents();
    EXPECT_EQ(frame->CurrentAnalysisId(), a->GetId());
    EXPECT_EQ(b->starts, 0);
    // Ended and not started again, the task hands the device on to b.
    EXPECT_TRUE(frame->TerminateTask(a));
    ASSERT_TRUE(PumpUntil([&] { return b->starts == 1; }));
    EXPECT_EQ(frame->CurrentAnalysisId(), b->GetId());
}

TEST_F(MainFrameTest, ARefusedStartTakesTheCoreOutOfTheRotation) {
    loadTable({"MAIN_FRAME,Open,0,0,0,5,1,1,0,0,0"});
    create();
    RecordingCore* a = openRecording();
    ASSERT_TRUE(a);
    a->refuseWithError = 1;
    // With the link open the last error is not a link-lost code: the core stops.
    TerminateTorvelTask();
    a->SetAnalyzeFlag(1);
    messages.clear();
    frame->SendMessage(WM_SCHEDULE_NEXT, 1, 0);
    EXPECT_EQ(a->starts, 1);
    EXPECT_EQ(a->GetAnalyzeFlag(), 0);
    EXPECT_FALSE(frame->IsDeviceLost());
    // The user is told that the window stopped, and why.
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(std::string(messages[0]).find(GetTorvelString(91)), std::string::npos)
        << static_cast<const char*>(messages[0]);
    EXPECT_NE(std::string(messages[0]).find(a->GetTitle()), std::string::npos);
    PumpEvents();
    EXPECT_EQ(a->starts, 1);
    EXPECT_EQ(frame->CurrentAnalysisId(), 0);
}

TEST_F(MainFrameTest, ACoreReachesTheSchedulerThroughTheFrame) {
    loadTable({"MAIN_FRAME,Open,0,0,0,5,1,1,0,0,0"});
    create();
    RecordingCore* a = openRecording();
    ASSERT_TRUE(a);
    PumpEvents();
    EXPECT_EQ(frame->CurrentAnalysisId(), 0);
    // Switching analysis on posts a request that starts the core.
    EXPECT_EQ(a->ExecuteCommand(16, 0, 0, 0, 0, 0), kCommandDone);
    ASSERT_TRUE(PumpUntil([&] { return a->starts == 1; }));
    ASSERT_EQ(frame->CurrentAnalysisId(), a->GetId());
    // A window action stops the core's task before it runs, and the core
    // rejoins the rotation afterwards.
    int idDuringAction = -1;
    a->RunOutsideRotation([&] {
        idDuringAction = frame->CurrentAnalysisId();
        return 0;
    });
    EXPECT_EQ(idDuringAction, 0);
    EXPECT_EQ(a->GetAnalyzeFlag(), 1);
    ASSERT_TRUE(PumpUntil([&] { return a->starts == 2; }));
}

TEST_F(MainFrameTest, AMacroThatCallsItselfNestsElevenTimes) {
    // Line 100 is a macro whose first step is itself and whose second toggles output flag 1.
    loadTable({"MAIN_FRAME,Macro,0,0,0,50,100,101,0,0,0", "X,Toggle,0,0,0,10,1,0,0,0,0"});
    create();
    ASSERT_EQ(frame->OutputFlags() & kOutCsv, 0u);
    frame->ExecuteCommand(frame->Commands().ListOf("MAIN_FRAME"));
    EXPECT_EQ(frame->MacroDepth(), 12);                 // the twelfth nesting stopped at once
    EXPECT_EQ(frame->OutputFlags() & kOutCsv, kOutCsv); // eleven toggles
}

TEST_F(MainFrameTest, ButtonBarShowsCoreStatesAndShortListsLeaveTheRest) {
    loadTable({
        "MAIN_BUTTON,Open Normal,0,0,2,5,1,1,0,0,0",
        "MAIN_BUTTON,Exit,0,0,0,1,0,0,0,0,0",
        "NORMAL_BUTTON_1,Cmd One,0,0,0,150,1,0,0,0,0",
        "NORMAL_BUTTON_1,Cmd Two,0,0,0,150,2,0,0,0,0",
        "NORMAL_BUTTON_1,,1,0,0,0,0,0,0,0,0",
    });
    create();
    CButtonBar* bar = frame->ButtonBar();
    EXPECT_EQ(bar->GetButtonState(0).caption, "Open Normal");
    EXPECT_EQ(bar->GetButtonState(0).toggleLook, 0); // check state 2: never the toggle look
    EXPECT_EQ(bar->GetButtonState(1).caption, "Exit");
    EXPECT_EQ(bar->GetButtonState(5).caption, "");

    RecordingCore* core = openRecording();
    ASSERT_TRUE(core);
    PumpEvents();
    EXPECT_EQ(bar->GetButtonState(0).caption, "Cmd One");
    EXPECT_EQ(bar->GetButtonState(0).ticked, 1);
    EXPECT_EQ(bar->GetButtonState(0).toggleLook, 1);
    EXPECT_FALSE(bar->GetButtonState(1).enabled); // the core disables it
    EXPECT_EQ(bar->GetButtonState(1).ticked, -1);
    EXPECT_FALSE(bar->GetButtonState(2).enabled); // separator

    // F1 presses button 0; F2 on the disabled button 1 does nothing and is swallowed.
    QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QApplication::sendEvent(core->GetWindow()->GetView(), &f1);
    EXPECT_EQ(core->commands, 1);
    QKeyEvent f2(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
    f2.setAccepted(false);
    bool delivered = QApplication::sendEvent(core->GetWindow()->GetView(), &f2);
    EXPECT_TRUE(delivered);
    EXPECT_EQ(core->commands, 1);
}

TEST_F(MainFrameTest, ANormalWindowSweepsTheSceneAndShowsItsCarrier) {
    WriteWholeFile(dir.file("scene.ini"), "[Scene]\nSeed=3\nDefaultSignals=0\n"
                                          "[Signal Test]\nFrequency=100000\nLevel=-20\n");
    setenv("TORVEL_SIM_SCENE", dir.file("scene.ini").c_str(), 1);
    WriteProfileString("NormalAnalysis_1", "AnalyzeFlag", "1");
    WriteProfileString("NormalAnalysis_1", "StartFrequency", "90000");
    WriteProfileString("NormalAnalysis_1", "StopFrequency", "110000");
    WriteProfileString("NormalAnalysis_1", "RBWIndex", "1");
    realCores = true;
    loadTable({"MAIN_FRAME,Open,0,0,0,5,1,1,0,0,0"});
    create();
    unsetenv("TORVEL_SIM_SCENE");
    CChildFrame* w = frame->OpenAnalysisWindow(1, "Normal", 1);
    ASSERT_TRUE(w);
    auto* core = static_cast<CNormalAnalysis*>(w->GetCore());
    CTraceStore* line = core->GetDataLine();
    ASSERT_EQ(line->GetStart(), 90000u);
    ASSERT_EQ(line->GetStep(), 10u);
    ASSERT_EQ(line->GetPoints(), 2000u);
    // Every point measured: the block that restarted the trace has come round again.
    ASSERT_TRUE(PumpUntil([&] {
        const short* d = line->GetData();
        for (DWORD i = 0; i < line->GetPoints(); ++i)
            if (d[i] == kLowestLevel || d[i] == kNoSample)
                return false;
        return true;
    }));
    long long peak = line->Peak(90000, 110000);
    EXPECT_NEAR(static_cast<double>(peak), 100000.0, 10.0);
    double noise = line->Level(95000);
    EXPECT_GT(line->Level(peak), noise + 30.0);
    // The window ends its task cleanly when it closes.
    w->close();
    PumpEvents();
    EXPECT_EQ(frame->Scheduler().Cores().size(), 0u);
}

namespace {
// The menu item of a command entry, after its menu was about to show.
QAction* shownItem(CCommandEntry* e) {
    if (!e || !e->menu || !e->item)
        return nullptr;
    Q_EMIT e->menu->aboutToShow();
    return e->item;
}
} // namespace

TEST_F(MainFrameTest, ATerminationDuringAModalDialogClosesOnceTheDialogHasReturned) {
    loadTable({"MAIN_FRAME,Open,0,0,0,5,1,1,0,0,0", "NORMAL_FRAME_1,Ask,0,0,0,151,0,0,0,0,0"});
    create();
    RecordingCore* core = openRecording();
    ASSERT_TRUE(core);
    QPointer<CChildFrame> window = core->GetWindow();
    bool windowAfterDialog = false;
    int dialogResult = -1;
    core->onCommand151 = [&] {
        // The signal arrives while the dialog's loop runs (as with a file dialog).
        QDialog dialog(frame.get());
        QTimer::singleShot(0, frame.get(), [&] { frame->RequestClose(0); });
        dialogResult = dialog.exec();
        windowAfterDialog = !window.isNull() && window->GetCore() == core;
    };
    frame->ExecuteCommandId(frame->Commands().ListOf("NORMAL_FRAME_1")->commandId);
    // The dialog was cancelled, and its caller came back to a window that was still there.
    EXPECT_EQ(dialogResult, QDialog::Rejected);
    EXPECT_TRUE(windowAfterDialog);
    // Then the frame closes in order: the windows write their profiles.
    ASSERT_TRUE(PumpUntil([&] { return window.isNull(); }));
    EXPECT_TRUE(frame->mdiArea()->subWindowList().isEmpty());
    EXPECT_FALSE(frame->isVisible());
    FlushProfile();
    EXPECT_NE(ReadWholeFile(dir.file("TORVEL.INI")).find("RECT="), std::string::npos);
}

TEST(MainFramePlacement, DamagedOrForeignRectsKeepTheWindowOnTheScreen) {
    const QSize max(1920, 1100);
    const QList<QRect> one{QRect(0, 0, 800, 600)};
    // Extreme values neither overflow nor make the window huge.
    EXPECT_EQ(CMainFrame::PlacedRect(RECT{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, max, one),
              QRect(0, 0, 1920, 1100));
    EXPECT_EQ(CMainFrame::PlacedRect(RECT{INT_MAX, INT_MAX, INT_MIN, INT_MIN}, max, one),
              QRect(100, 100, 400, 400));
    // A rectangle from a larger desktop comes back onto this one, keeping its size.
    EXPECT_EQ(CMainFrame::PlacedRect(RECT{3000, 2000, 3400, 2400}, max, one),
              QRect(400, 200, 400, 400));
    EXPECT_EQ(CMainFrame::PlacedRect(RECT{-5000, 50, -4600, 450}, max, one),
              QRect(0, 50, 400, 400));
    // A window on a second screen stays there; one on the screen stays put.
    const QList<QRect> two{QRect(0, 0, 800, 600), QRect(800, 0, 1024, 768)};
    EXPECT_EQ(CMainFrame::PlacedRect(RECT{1000, 100, 1400, 500}, max, two),
              QRect(1000, 100, 400, 400));
    EXPECT_EQ(CMainFrame::PlacedRect(RECT{10, 20, 630, 500}, max, one), QRect(10, 20, 620, 480));
}

TEST_F(MainFrameTest, AWindowOpenedFromAMenuCaptionIsTitledWithoutTheMnemonicMark) {
    loadTable({"MAIN_FRAME,Open,0,0,0,5,1,1,0,0,0"});
    create();
    CChildFrame* w = frame->OpenAnalysisWindow(1, "&Medical Monitor", 1);
    ASSERT_TRUE(w);
    // The title goes into CSV files and messages as the title bar shows it.
    EXPECT_EQ(w->GetCore()->GetTitle(), "Medical Monitor");
    EXPECT_EQ(w->windowTitle().toStdString().rfind("Medical Monitor", 0), 0u);
}

TEST_F(MainFrameTest, AFirstStartTakesMostOfTheScreen) {
    // Four fifths of the screen, centred; never below 400 x 400.
    EXPECT_EQ(CMainFrame::PlacedRect(CMainFrame::FirstStartRect(QRect(0, 0, 1600, 1000)),
                                     QSize(1920, 1100), {QRect(0, 0, 1600, 1000)}),
              QRect(160, 100, 1280, 800));
    EXPECT_EQ(CMainFrame::PlacedRect(CMainFrame::FirstStartRect(QRect(0, 0, 300, 200)),
                                     QSize(1920, 1100), {QRect(0, 0, 300, 200)}),
              QRect(0, 0, 400, 400));
    loadTable({"MAIN_FRAME,Open,0,0,0,5,1,1,0,0,0"});
    create(); // no RECT in the profile
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_GE(frame->width(), std::min(screen.width() * 4 / 5, kMaxClientWidth));
    EXPECT_GE(frame->height(), screen.height() * 4 / 5);
    EXPECT_TRUE(screen.contains(frame->geometry().center()));
}

TEST_F(MainFrameTest, ADamagedStoredRectAndAnOversizedResizeAreClamped) {
    WriteProfileString("WINDOW", "RECT", "-2147483648,-2147483648,2147483647,2147483647");
    loadTable({"MAIN_FRAME,Open,0,0,0,5,1,1,0,0,0"});
    create();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(frame->width(), kMaxClientWidth);
    EXPECT_LE(frame->height(), frame->maximumHeight());
    EXPECT_TRUE(screen.contains(frame->pos())) << frame->x() << "," << frame->y();
    // The window system sizes the window past its maximum: it is put back.
    frame->windowHandle()->resize(3000, 3000);
    PumpEvents();
    EXPECT_LE(frame->width(), kMaxClientWidth);
    EXPECT_LE(frame->height(), frame->maximumHeight());
}

TEST_F(MainFrameTest, TheDeviceErrorMessageClassifiesTheLastError) {
    loadTable({"MAIN_FRAME,Open,0,0,0,5,1,1,0,0,0"});
    create();
    RecordingCore* core = openRecording();
    ASSERT_TRUE(core);
    PumpEvents();
    // Another error than link lost or task failed changes nothing.
    core->SetAnalyzeFlag(1);
    frame->SendMessage(WM_SCHEDULE_NEXT, 1, 0);
    ASSERT_EQ(frame->CurrentAnalysisId(), core->GetId());
    TerminateTorvelTask(); // leaves no error
    frame->SendMessage(WM_DEVICE_ERROR, 0, 0);
    EXPECT_EQ(frame->CurrentAnalysisId(), core->GetId());
    EXPECT_FALSE(frame->IsDeviceLost());
    // The link is lost: the marks are cleared, the link closed, and the timer
    // opens it again.
    ShutdownTorvelDLL();
    EXPECT_EQ(NormalSpectrumAnalysis(frame->GetSafeHwnd(), 200, 100000, 1, 30, 5), 0);
    ASSERT_TRUE(TorvelErrorIsLinkLost(GetTorvelLastError()));
    frame->SendMessage(WM_DEVICE_ERROR, 0, 0);
    EXPECT_TRUE(frame->IsDeviceLost());
    EXPECT_EQ(core->GetTaskRunning(), 0);
    const int starts = core->starts;
    frame->SendMessage(WM_SCHEDULE_NEXT, 1, 0); // ignored while the link is lost
    EXPECT_EQ(core->starts, starts);
    ASSERT_TRUE(PumpUntil([&] { return !frame->IsDeviceLost(); }));
    ASSERT_TRUE(PumpUntil([&] { return core->starts > starts; }));
}

TEST_F(MainFrameTest, AFailedTaskIsEndedAndTheRotationGoesOn) {
    WriteWholeFile(dir.file("scene.ini"), "[Scene]\nSeed=3\n[Faults]\nFailTask=1\n");
    setenv("TORVEL_SIM_SCENE", dir.file("scene.ini").c_str(), 1);
    WriteProfileString("NormalAnalysis_1", "AnalyzeFlag", "1");
    WriteProfileString("NormalAnalysis_1", "StartFrequency", "90000");
    WriteProfileString("NormalAnalysis_1", "StopFrequency", "110000");
    realCores = true;
    loadTable({"MAIN_FRAME,Open,0,0,0,5,1,1,0,0,0"});
    create();
    unsetenv("TORVEL_SIM_SCENE");
    CChildFrame* w = frame->OpenAnalysisWindow(1, "Normal", 1);
    ASSERT_TRUE(w);
    CTraceStore* line = w->GetCore()->GetDataLine();
    // The first task fails; the next ones bring data.
    ASSERT_TRUE(PumpUntil([&] {
        const short* d = line->GetData();
        for (DWORD i = 0; i < line->GetPoints(); ++i)
            if (d[i] != kLowestLevel && d[i] != kNoSample)
                return true;
        return false;
    }));
    EXPECT_FALSE(frame->IsDeviceLost());
}

TEST_F(MainFrameTest, SuspendClosesTheLinkAndResumeRestartsTheRotation) {
    loadTable({"MAIN_FRAME,Open,0,0,0,5,1,1,0,0,0"});
    create();
    RecordingCore* core = openRecording();
    ASSERT_TRUE(core);
    PumpEvents();
    ::SendMessage(frame->GetSafeHwnd(), WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    // The link is closed: no task starts.
    ASSERT_EQ(NormalSpectrumAnalysis(frame->GetSafeHwnd(), 200, 100000, 1, 30, 5), 0);
    EXPECT_TRUE(TorvelErrorIsLinkLost(GetTorvelLastError()));
    // Lost while asleep: the rotation stands still until the resume.
    frame->SendMessage(WM_DEVICE_ERROR, 0, 0);
    ASSERT_TRUE(frame->IsDeviceLost());
    core->SetAnalyzeFlag(1);
    ::SendMessage(frame->GetSafeHwnd(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_FALSE(frame->IsDeviceLost());
    ASSERT_TRUE(PumpUntil([&] { return core->starts == 1; }));
    EXPECT_EQ(frame->CurrentAnalysisId(), core->GetId());
}

TEST_F(MainFrameTest, PagingWalksTheButtonListTenAtATimeWithWrapAround) {
    std::vector<std::string> table{
        "MAIN_FRAME,Open,0,0,0,5,1,1,0,0,0", "NORMAL_FRAME_1,Last,0,0,0,27,0,0,0,0,0",
        "NORMAL_FRAME_1,Next,0,0,0,28,0,0,0,0,0", "NORMAL_FRAME_1,Prev,0,0,0,29,0,0,0,0,0",
        "NORMAL_FRAME_1,First,0,0,0,30,0,0,0,0,0"};
    for (int i = 0; i < 25; ++i)
        table.push_back("NORMAL_BUTTON_1,B" + std::to_string(i) + ",0,0,0,150,1,0,0,0,0");
    loadTable(table);
    create();
    const int last = frame->Commands().ListOf("NORMAL_FRAME_1")->commandId;
    const int next = last + 1, prev = last + 2, first = last + 3;
    // Without an analysis window paging does nothing.
    frame->ExecuteCommandId(next);
    EXPECT_EQ(frame->CurrentButtonList(), nullptr);
    RecordingCore* core = openRecording();
    ASSERT_TRUE(core);
    PumpEvents();
    auto shown = [&] { return frame->ButtonBar()->GetButtonState(0).caption.toStdString(); };
    EXPECT_EQ(shown(), "B0");
    frame->ExecuteCommandId(next);
    EXPECT_EQ(shown(), "B10");
    EXPECT_EQ(core->GetButtonList(), frame->CurrentButtonList());
    frame->ExecuteCommandId(next);
    EXPECT_EQ(shown(), "B20");
    // Past the last entry the walk goes on from the first; the wrap is one step.
    frame->ExecuteCommandId(next);
    EXPECT_EQ(shown(), "B5");
    frame->ExecuteCommandId(prev);
    EXPECT_EQ(shown(), "B20");
    frame->ExecuteCommandId(last); // the last entry, then nine back
    EXPECT_EQ(shown(), "B15");
    frame->ExecuteCommandId(first);
    EXPECT_EQ(shown(), "B0");
    frame->ExecuteCommandId(prev);
    EXPECT_EQ(shown(), "B15");
}

TEST_F(MainFrameTest, AWorkspaceFileOpensTheWindowItDescribes) {
    loadTable({"MAIN_FRAME,Open,0,0,0,5,1,1,0,0,0"});
    create();
    RecordingCore* core = openRecording(3);
    ASSERT_TRUE(core);
    core->SetTitle("Stored Window");
    core->ExecuteCommand(17, 20, 0, 0, 0, 0);
    ReleaseSettingFileObject();
    ASSERT_EQ(core->SaveSettings(), 1);
    ASSERT_EQ(WriteSettingFileObject(dir.file("w.SPE").c_str()), 1);
    ReleaseSettingFileObject();
    CChildFrame* w = frame->OpenWorkspaceFile(CString(dir.file("w.SPE")));
    ASSERT_TRUE(w);
    EXPECT_EQ(w->GetCore()->GetTitle(), "Stored Window");
    EXPECT_EQ(w->GetCore()->GetTitleIndex(), 3);
    EXPECT_EQ(w->GetCore()->GetAttenuation(), 20);
    EXPECT_EQ(frame->ActiveChild(), w);
    // A missing file, or one without the window's kind, opens nothing.
    EXPECT_EQ(frame->OpenWorkspaceFile(CString(dir.file("none.SPE"))), nullptr);
    WriteWholeFile(dir.file("bad.SPE"), "Torvel Version2 Setting Data File\r\n[TORVEL_CORE]\r\n"
                                        "Title=X\r\nTitleIndex=1\r\n");
    const size_t windows = frame->mdiArea()->subWindowList().size();
    EXPECT_EQ(frame->OpenWorkspaceFile(CString(dir.file("bad.SPE"))), nullptr);
    EXPECT_EQ(frame->mdiArea()->subWindowList().size(), windows);
}

TEST_F(MainFrameTest, OnlyTickedItemsAreCheckableAndModifiedFunctionKeysPassOn) {
    loadTable({"MAIN_FRAME,Open,0,0,0,5,1,1,0,0,0", "NORMAL_FRAME_1,Ticked,0,0,0,150,1,0,0,0,0",
               "NORMAL_FRAME_1,Disabled,0,0,0,150,2,0,0,0,0",
               "NORMAL_FRAME_1,Unticked,0,0,0,151,0,0,0,0,0",
               "NORMAL_BUTTON_1,Cmd,0,0,0,150,1,0,0,0,0"});
    create();
    RecordingCore* core = openRecording();
    ASSERT_TRUE(core);
    PumpEvents();
    CCommandEntry* ticked = frame->Commands().ListOf("NORMAL_FRAME_1");
    QAction* a = shownItem(ticked);
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->isCheckable());
    EXPECT_TRUE(a->isChecked());
    EXPECT_FALSE(ticked->next->item->isEnabled());
    EXPECT_FALSE(ticked->next->item->isCheckable());
    EXPECT_TRUE(ticked->next->next->item->isEnabled());
    EXPECT_FALSE(ticked->next->next->item->isCheckable());

    // Ctrl+F1 and Shift+F1 are not F1: the button is not pressed.
    QKeyEvent ctrl(QEvent::KeyPress, Qt::Key_F1, Qt::ControlModifier);
    QApplication::sendEvent(core->GetWindow()->GetView(), &ctrl);
    QKeyEvent shift(QEvent::KeyPress, Qt::Key_F1, Qt::ShiftModifier);
    QApplication::sendEvent(core->GetWindow()->GetView(), &shift);
    EXPECT_EQ(core->commands, 0);
    QKeyEvent plain(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QApplication::sendEvent(core->GetWindow()->GetView(), &plain);
    EXPECT_EQ(core->commands, 1);
    // The button's tip names the whole caption and its key.
    EXPECT_EQ(frame->ButtonBar()->Button(0)->toolTip(), "Cmd (F1)");
}

TEST_F(MainFrameTest, WindowsOfOneTitleAreNumberedAndTheWindowMenuListsThem) {
    loadTable({"MAIN_FRAME,Open,0,0,0,5,1,1,0,0,0", "NORMAL_FRAME_1,&Window,2,0,0,0,0,0,0,0,0",
               "NORMAL_FRAME_1,&Cascade,0,1,0,15,1,0,0,0,0"});
    create();
    CChildFrame* a = frame->OpenAnalysisWindow(1, "Swe&pt band", 1);
    CChildFrame* b = frame->OpenAnalysisWindow(1, "Swe&pt band", 1);
    CChildFrame* c = frame->OpenAnalysisWindow(1, "Other", 1);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(a->windowTitle(), "Swept band");
    EXPECT_EQ(b->windowTitle(), "Swept band:2");
    EXPECT_EQ(c->windowTitle(), "Other");
    // A number given up is taken again by the next window of that title.
    a->close();
    PumpEvents();
    CChildFrame* d = frame->OpenAnalysisWindow(1, "Swe&pt band", 1);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->windowTitle(), "Swept band");

    CCommandEntry* cascade = frame->Commands().ListOf("NORMAL_FRAME_1")->firstChild;
    ASSERT_TRUE(shownItem(cascade));
    QStringList listed;
    QAction* other = nullptr;
    for (QAction* item : cascade->menu->actions())
        if (!item->isSeparator() && item != cascade->item) {
            listed << item->text();
            if (item->text().endsWith("Other"))
                other = item;
        }
    EXPECT_EQ(listed.size(), 3);
    EXPECT_TRUE(listed.join("|").contains("Swept band:2"));
    ASSERT_TRUE(other);
    other->trigger();
    EXPECT_EQ(frame->ActiveChild(), c);
    // Shown again, the menu lists each window once.
    Q_EMIT cascade->menu->aboutToShow();
    int items = 0;
    for (QAction* item : cascade->menu->actions())
        items += item->isSeparator() ? 0 : 1;
    EXPECT_EQ(items, 4);
}

TEST_F(MainFrameTest, AnAnalysisWindowHasItsOwnLookAndTheMainTitleStays) {
    loadTable({"MAIN_FRAME,Open,0,0,0,5,1,1,0,0,0"});
    create();
    CChildFrame* w = frame->OpenAnalysisWindow(1, "Look", 1);
    ASSERT_TRUE(w);
    CDrawObject* look = w->GetDrawObject();
    ASSERT_TRUE(look);
    EXPECT_STREQ(look->GetIDString(), "WINDOW");
    EXPECT_EQ(look->GetBackGroundColor(), RGB(250, 120, 120));
    LOGFONT expected, font;
    ConvertLOGFONT(&expected, GetTorvelString(30));
    look->GetLOGFONT(&font);
    EXPECT_EQ(font.lfHeight, expected.lfHeight);
    EXPECT_EQ(font.lfWeight, expected.lfWeight);
    EXPECT_STREQ(font.lfFaceName, expected.lfFaceName);
    EXPECT_EQ(w->GetLoggingBar()->palette().color(QPalette::Window), QColor(250, 120, 120));
    // A maximised window does not put its title into the main window's.
    w->showMaximized();
    PumpEvents();
    EXPECT_EQ(frame->windowTitle(), QString::fromUtf8(GetTorvelString(0)));
    w->showNormal();
    PumpEvents();
    EXPECT_EQ(frame->windowTitle(), QString::fromUtf8(GetTorvelString(0)));
}

TEST_F(MainFrameTest, TheOffsetWarningNamesTheFileThatWasNotRead) {
    WriteProfileString("NormalAnalysis_1", "OffsetFlag", "1");
    WriteProfileString("NormalAnalysis_1", "OffsetFile", "/nonexistent/levels.txt");
    realCores = true;
    loadTable({"MAIN_FRAME,Open,0,0,0,5,1,1,0,0,0"});
    create();
    ASSERT_TRUE(frame->OpenAnalysisWindow(1, "Normal", 1));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].Find(GetTorvelString(40)), -1);
    EXPECT_NE(messages[0].Find("/nonexistent/levels.txt"), -1);
}

TEST_F(MainFrameTest, TheShippedWindowMenusOpenWindowsChooseOutputsAndNameBandwidths) {
    ASSERT_EQ(InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500), 1);
    realCores = true;
    create();
    CChildFrame* w = frame->OpenAnalysisWindow(1, "Normal", 1);
    ASSERT_TRUE(w);
    // Every kind can be opened, and every output chosen, from the window's menu.
    std::set<int> kinds, outputs;
    QStringList rbw;
    for (int i = 0; i < frame->Commands().EntryCount(); ++i) {
        CCommandEntry* e = frame->Commands().Entry(i);
        if (e->listName != "NORMAL_FRAME_1")
            continue;
        if (e->action == 5 && e->p2() == 1)
            kinds.insert(e->p1());
        if (e->action == 10)
            outputs.insert(e->p1());
        if (e->action != 24)
            continue;
        // Only the indexes the device can use are offered, each by its bandwidth.
        const bool usable = GetRBWFrequency(w->GetCore()->GetRBWKindMask(), e->p1()) > 0;
        EXPECT_EQ(shownItem(e)->isVisible(), usable);
        if (usable)
            rbw << e->item->text();
    }
    EXPECT_EQ(kinds, (std::set<int>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(outputs, (std::set<int>{1, 2, 3}));
    ASSERT_FALSE(rbw.isEmpty());
    for (const QString& caption : rbw)
        EXPECT_TRUE(QRegularExpression("^RBW [0-9.]+ [kM]Hz$").match(caption).hasMatch())
            << caption.toStdString();
    // Output flags toggled from the window's menu.
    for (int i = 0; i < frame->Commands().EntryCount(); ++i) {
        CCommandEntry* e = frame->Commands().Entry(i);
        if (e->listName == "NORMAL_FRAME_1" && e->action == 10 && e->p1() == 2) {
            frame->ExecuteCommand(e);
            EXPECT_EQ(frame->OutputFlags(), kOutBmp);
            EXPECT_TRUE(shownItem(e)->isChecked());
        }
    }
}

namespace {
// A view interface that records what its view passes on.
class RecordingInterface : public CViewInterface {
public:
    std::vector<UINT> commands;
    int captureChanges = 0;
    std::vector<UINT> hScrolls;
    void OnCaptureChanged() override { ++captureChanges; }
    void OnHScroll(UINT code, int) override { hScrolls.push_back(code); }
    BOOL OnCommand(UINT id) override {
        commands.push_back(id);
        return TRUE;
    }
    BOOL OnUpdateCommand(UINT id, int* state) override {
        *state = id == 37001 ? 1 : 0;
        return TRUE;
    }
};
} // namespace

TEST(TorvelView, PassesCaptureScrollAndItsCommandsToTheInterface) {
    CTorvelView view;
    view.resize(200, 100);
    RecordingInterface intf;
    view.SetViewInterface(&intf);
    // A press takes the mouse; the release of the last button gives it back.
    const QPointF at(10, 10);
    QMouseEvent press(QEvent::MouseButtonPress, at, at, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&view, &press);
    EXPECT_EQ(intf.captureChanges, 0);
    QMouseEvent release(QEvent::MouseButtonRelease, at, at, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&view, &release);
    EXPECT_EQ(intf.captureChanges, 1);
    // Losing it any other way is a capture change too, once.
    QApplication::sendEvent(&view, &press);
    QEvent ungrab(QEvent::UngrabMouse);
    QApplication::sendEvent(&view, &ungrab);
    QApplication::sendEvent(&view, &ungrab);
    EXPECT_EQ(intf.captureChanges, 2);
    // A sideways wheel scrolls horizontally.
    QWheelEvent wheel(at, at, QPoint(), QPoint(-120, 0), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &wheel);
    EXPECT_EQ(intf.hScrolls, (std::vector<UINT>{1}));
    // Commands 37000-37199 and their states; others are not the view's.
    EXPECT_TRUE(view.ExecuteViewCommand(37000));
    EXPECT_TRUE(view.ExecuteViewCommand(37199));
    EXPECT_FALSE(view.ExecuteViewCommand(36999));
    EXPECT_FALSE(view.ExecuteViewCommand(37200));
    EXPECT_EQ(intf.commands, (std::vector<UINT>{37000, 37199}));
    int state = -5;
    EXPECT_TRUE(view.ViewCommandState(37001, &state));
    EXPECT_EQ(state, 1);
    view.SetViewInterface(nullptr);
}

TEST_F(MainFrameTest, AWindowIsRefusedWhileAll255CoreIdsAreHeld) {
    loadTable({"MAIN_FRAME,Open,0,0,0,5,1,1,0,0,0"});
    create();
    RecordingCore* first = openRecording();
    ASSERT_TRUE(first);
    // Every other id is held by a live core.
    std::vector<std::unique_ptr<RecordingCore>> held;
    for (int i = 1; i < kMaxCoreId; ++i) {
        held.push_back(std::make_unique<RecordingCore>(nullptr, nullptr));
        ASSERT_NE(held.back()->GetId(), 0);
    }
    const size_t windows = frame->mdiArea()->subWindowList().size();
    messages.clear();
    EXPECT_EQ(frame->OpenAnalysisWindow(1, "Rec", 1), nullptr);
    EXPECT_EQ(frame->mdiArea()->subWindowList().size(), windows);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages.back(), GetTorvelString(kStrNoFreeCoreId));
    // With one id given back, the next window gets it and runs on its own tag.
    const int freed = held.front()->GetId();
    held.erase(held.begin());
    RecordingCore* next = openRecording();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->GetId(), freed);
    EXPECT_NE(next->GetId(), first->GetId());
}

TEST_F(MainFrameTest, APartlyReadWorkspaceOpensAndNamesTheFile) {
    realCores = true;
    loadTable({"MAIN_FRAME,Open,0,0,0,5,1,1,0,0,0"});
    create();
    const std::string path = dir.file("cut.SPE");
    WriteWholeFile(path, "Torvel Version2 Setting Data File\n[TORVEL_CORE]\nAnalysisType=1\n"
                         "Title=Cut\nTitleIndex=1\nOffsetEnableFlag=1\n"
                         "OffsetFileName=" +
                             dir.file("gone.txt") + "\n");
    messages.clear();
    CChildFrame* w = frame->OpenWorkspaceFile(path.c_str());
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->GetCore()->GetOffsetFlag(), 0);
    ASSERT_EQ(messages.size(), 2u);
    // The offset warning names the offset file, the incomplete load the workspace.
    const CString offsetWarning =
        CString(GetTorvelString(kStrOffsetLoadFailed)) + "\n\n" + dir.file("gone.txt").c_str();
    EXPECT_EQ(messages[0], offsetWarning);
    EXPECT_NE(messages[1].Find(path.c_str()), -1) << messages[1].c_str();

    // Loaded into the open window (command 9): the same warnings, and the
    // window keeps its title and profile section.
    auto* core = static_cast<CNormalAnalysis*>(w->GetCore());
    WriteWholeFile(path, "Torvel Version2 Setting Data File\n[TORVEL_CORE]\nAnalysisType=1\n"
                         "Title=Other\nTitleIndex=4\nOffsetEnableFlag=1\n"
                         "OffsetFileName=" +
                             dir.file("gone.txt") + "\n");
    std::vector<CString> warnings;
    core->GetLoggingOutput().Prompts().chooseOpenPath = [&](const char*) { return CString(path); };
    core->GetLoggingOutput().Prompts().warning = [&](const CString& s) { warnings.push_back(s); };
    EXPECT_EQ(core->ExecuteCommand(9, 0, 0, 0, 0, 0), kCommandReset);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[0].Find(path.c_str()), -1) << warnings[0].c_str();
    EXPECT_EQ(warnings[1], offsetWarning);
    EXPECT_EQ(core->GetTitle(), "Cut");
    EXPECT_EQ(core->GetProfileSection(), "NormalAnalysis_1");
}

TEST_F(MainFrameTest, HelpTopicsOpensTheGuideAtThePageOfTheActiveWindowsKind) {
    // The shipped table with the contents page named as given.
    auto useTable = [&](const char* contents) {
        std::string table = ReadWholeFile(TORVEL_SOURCE_RESOURCES "/Torvel.txt");
        const size_t at = table.find("0066:index.html");
        ASSERT_NE(at, std::string::npos);
        table.replace(at, 15, std::string("0066:") + contents);
        WriteWholeFile(dir.file("Torvel.txt"), table);
        ASSERT_EQ(InitializeTorvelLibDLL(dir.file("Torvel.txt").c_str(), 2500), 1);
    };
    auto helpTopics = [&](const char* list) {
        for (int i = 0; i < frame->Commands().EntryCount(); ++i) {
            CCommandEntry* e = frame->Commands().Entry(i);
            if (e->listName == list && e->action == 3)
                return e;
        }
        return static_cast<CCommandEntry*>(nullptr);
    };
    useTable("index.html");
    realCores = true;
    create();
    // The main window's Help menu: the contents of the guide built beside the
    // program (as the installed one is found).
    ASSERT_TRUE(helpTopics("MAIN_FRAME"));
    frame->ExecuteCommand(helpTopics("MAIN_FRAME"));
    CHelpWindow* help = frame->HelpWindow();
    ASSERT_TRUE(help);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->Browser()->source().fileName(), "index.html");
    // Every kind's Help menu has Help Topics; a window's opens its kind's page
    // in the same help window.
    for (const char* list :
         {"NORMAL_FRAME_1", "WLAN_FRAME_1", "ZEROSPAN_FRAME_1", "SEMIREAL_FRAME_1",
          "REALTIME_FRAME_1", "MEDICAL_FRAME_1", "XPD_FRAME_1"})
        EXPECT_TRUE(helpTopics(list)) << list;
    ASSERT_TRUE(frame->OpenAnalysisWindow(1, "Normal", 1));
    frame->ExecuteCommand(helpTopics("NORMAL_FRAME_1"));
    EXPECT_EQ(frame->HelpWindow(), help);
    EXPECT_EQ(help->Browser()->source().fileName(), "normal.html");
    EXPECT_TRUE(messages.empty());
    // It closes with the main window.
    frame->close();
    EXPECT_FALSE(help->isVisible());

    // A guide that is nowhere is said so, with where it was looked for.
    frame.reset();
    useTable("nothing.html");
    realCores = false;
    create();
    frame->ExecuteCommand(helpTopics("MAIN_FRAME"));
    EXPECT_FALSE(frame->HelpWindow());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].Find(GetTorvelString(65)), -1);
    EXPECT_NE(messages[0].Find("guide/nothing.html"), -1);
}

TEST_F(MainFrameTest, CtrlOReachesOpenSettingsInTheMainFrameAndInAnAnalysisWindow) {
    ASSERT_EQ(InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500), 1);
    realCores = true;
    create();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    // The item's own command would open a file dialog: the key is counted
    // where it arrives, at the item.
    auto pressCtrlO = [&](const char* listName) {
        for (int i = 0; i < frame->Commands().EntryCount(); ++i) {
            CCommandEntry* e = frame->Commands().Entry(i);
            if (e->listName != listName || e->action != 6 || !e->item)
                continue;
            QObject::disconnect(e->item, &QAction::triggered, frame.get(), nullptr);
            int triggered = 0;
            QObject::connect(e->item, &QAction::triggered, [&triggered] { ++triggered; });
            QTest::keyClick(frame.get(), Qt::Key_O, Qt::ControlModifier);
            return triggered;
        }
        return -1;
    };
    EXPECT_EQ(pressCtrlO("MAIN_FRAME"), 1);
    ASSERT_TRUE(frame->OpenAnalysisWindow(1, "Normal", 1));
    PumpEvents();
    EXPECT_EQ(pressCtrlO("NORMAL_FRAME_1"), 1);
}

// Window > Close (Ctrl+F4, Ctrl+W) and Window > Next Window (Ctrl+F6,
// Ctrl+Tab) are in every window's menu with both keys shown, and the keys
// work wherever the focus is in the window.
TEST_F(MainFrameTest, TheWindowMenuClosesAndStepsThroughWindowsByKey) {
    ASSERT_EQ(InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500), 1);
    realCores = true;
    create();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    for (int kind : {1, 2, 3})
        ASSERT_TRUE(frame->OpenAnalysisWindow(kind, "Keyed", 1));
    PumpEvents();
    QMdiArea* mdi = frame->mdiArea();
    ASSERT_EQ(mdi->subWindowList().size(), 3);
    // Each analysis window's Window menu shows both keys of both items.
    int shown = 0;
    for (int i = 0; i < frame->Commands().EntryCount(); ++i) {
        CCommandEntry* e = frame->Commands().Entry(i);
        if (!e->item || (e->action != 76 && e->action != 77))
            continue;
        ++shown;
        const QString text = e->item->text();
        EXPECT_TRUE(text.contains(e->action == 76 ? "Ctrl+F4" : "Ctrl+F6") &&
                    text.contains(e->action == 76 ? "Ctrl+W" : "Ctrl+Tab"))
            << text.toStdString();
        EXPECT_EQ(e->item->shortcuts().size(), 2);
    }
    EXPECT_EQ(shown, 2 * 7);
    // The keys, pressed where the focus is (the active window's graph).
    auto press = [&](Qt::Key key) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : frame.get();
        QTest::keyClick(target, key, Qt::ControlModifier);
        PumpEvents();
    };
    QMdiSubWindow* first = mdi->activeSubWindow();
    ASSERT_TRUE(first);
    first->widget()->setFocus();
    press(Qt::Key_F6);
    QMdiSubWindow* second = mdi->activeSubWindow();
    EXPECT_NE(second, first) << "Ctrl+F6 steps to the next window";
    press(Qt::Key_Tab);
    EXPECT_NE(mdi->activeSubWindow(), second) << "Ctrl+Tab steps on";
    press(Qt::Key_F4);
    EXPECT_EQ(mdi->subWindowList().size(), 2) << "Ctrl+F4 closes the active window";
    press(Qt::Key_W);
    EXPECT_EQ(mdi->subWindowList().size(), 1) << "Ctrl+W closes the active window";
}

// The splash screen closes at the first key or click, which goes on to where
// it was aimed; on Wayland it is shown inside the main window.
TEST_F(MainFrameTest, TheSplashNeverSwallowsAPressAndOnWaylandLiesInTheMainWindow) {
    using Placement = CSplashWnd::Placement;
    EXPECT_EQ(CSplashWnd::PlacementFor("wayland"), Placement::InsideMainWindow);
    EXPECT_EQ(CSplashWnd::PlacementFor("wayland-egl"), Placement::InsideMainWindow);
    EXPECT_EQ(CSplashWnd::PlacementFor("xcb"), Placement::OwnWindow);
    ASSERT_EQ(InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500), 1);
    create();
    frame->resize(900, 600);
    frame->show();
    auto* edit = new QLineEdit(frame.get());
    auto* button = new QPushButton("Go", frame.get());
    button->move(0, 40);
    edit->show();
    button->show();
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&clicks] { ++clicks; });
    for (Placement placement : {Placement::OwnWindow, Placement::InsideMainWindow}) {
        CSplashWnd::ShowSplashScreen(frame.get(), placement);
        ASSERT_TRUE(CSplashWnd::IsShowing());
        CSplashWnd* splash = CSplashWnd::Current();
        if (placement == Placement::InsideMainWindow) {
            EXPECT_FALSE(splash->isWindow());
            EXPECT_EQ(splash->parentWidget(), frame.get());
            EXPECT_TRUE(frame->rect().contains(splash->geometry()));
            EXPECT_EQ(splash->geometry().center(), frame->rect().center());
        } else {
            EXPECT_TRUE(splash->isWindow());
        }
        QTest::keyClick(edit, Qt::Key_A);
        EXPECT_TRUE(PumpUntil([] { return !CSplashWnd::IsShowing(); }));
        CSplashWnd::ShowSplashScreen(frame.get(), placement);
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(PumpUntil([] { return !CSplashWnd::IsShowing(); }));
    }
    EXPECT_EQ(edit->text(), "aa") << "the keys reached the field";
    EXPECT_EQ(clicks, 2) << "the clicks reached the button";
}

TEST_F(MainFrameTest, CascadeAndTileKeepEveryWindowReadableAndTheFrameScrolls) {
    loadTable({"MAIN_FRAME,Open,0,0,0,5,1,1,0,0,0", "NORMAL_FRAME_1,Cascade,0,0,0,15,1,0,0,0,0",
               "NORMAL_FRAME_1,Tile V,0,0,0,15,2,0,0,0,0",
               "NORMAL_FRAME_1,Tile H,0,0,0,15,3,0,0,0,0"});
    create();
    frame->resize(1000, 700);
    for (int i = 0; i < 7; ++i)
        ASSERT_TRUE(openRecording());
    PumpEvents();
    const QSize least = CChildFrame::MinimumWindowSize(1);
    const QSize area = frame->mdiArea()->viewport()->size();
    CCommandEntry* cascade = frame->Commands().ListOf("NORMAL_FRAME_1");
    // The window the user works in stays active, in front of the others.
    QMdiSubWindow* working = frame->mdiArea()->subWindowList()[3];
    frame->mdiArea()->setActiveSubWindow(working);
    frame->ExecuteCommand(cascade);
    PumpEvents();
    EXPECT_EQ(frame->mdiArea()->activeSubWindow(), working);
    EXPECT_EQ(frame->mdiArea()->subWindowList(QMdiArea::StackingOrder).last(), working);
    for (QMdiSubWindow* w : frame->mdiArea()->subWindowList()) {
        EXPECT_GE(w->width(), std::max(least.width(), area.width() * 2 / 3 - 1));
        EXPECT_GE(w->height(), std::max(least.height(), area.height() * 2 / 3 - 1));
    }
    // Kinds differ in their minimum sizes: a larger one in the middle of the
    // row neither covers its neighbour nor leaves a gap before it.
    frame->mdiArea()->subWindowList()[2]->setMinimumSize(least.width() + 150, least.height() + 150);
    for (CCommandEntry* tile : {cascade->next, cascade->next->next}) {
        frame->ExecuteCommand(tile);
        PumpEvents();
        const bool sideBySide = tile == cascade->next;
        int end = 0;
        for (QMdiSubWindow* w : frame->mdiArea()->subWindowList()) {
            EXPECT_GE(w->width(), w->minimumWidth()) << tile->caption.c_str();
            EXPECT_GE(w->height(), w->minimumHeight()) << tile->caption.c_str();
            const QRect g = w->geometry();
            EXPECT_EQ(sideBySide ? g.left() : g.top(), end) << tile->caption.c_str();
            end = sideBySide ? g.right() + 1 : g.bottom() + 1;
        }
    }
    // Seven windows one above the other reach past the frame, which scrolls.
    EXPECT_EQ(frame->mdiArea()->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    EXPECT_TRUE(frame->mdiArea()->verticalScrollBar()->isVisible());
}
