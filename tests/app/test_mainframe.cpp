// The main frame's command execution, button bar and analysis scheduler, with
// cores that record what the scheduler asks of them, and one real normal
// window sweeping the simulator's scene.
#include "analysis/analysiscore.h"
#include "app/buttonbar.h"
#include "app/childframe.h"
#include "app/mainframe.h"
#include "app/torvelview.h"
#include "device/TorvelAPI.h"
#include "lib/channellist.h"
#include "lib/stringtable.h"
#include "modes/normalanalysis.h"
#include "platform/profile.h"
#include "testutil.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMdiArea>
#include <QPushButton>
#include <gtest/gtest.h>

#include <fstream>
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
        return CAnalysisCore::ExecuteCommand(action, p1, p2, p3, p4, p5);
    }
    int commands = 0;
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
        frame->SetCoreFactory(
            [this](int kind, CCommandEntry* f, CCommandEntry* b) -> std::unique_ptr<CAnalysisCore> {
                if (realCores && kind == 1)
                    return std::make_unique<CNormalAnalysis>(f, b);
                return std::make_unique<RecordingCore>(f, b);
            });
        ASSERT_TRUE(frame->Create(false));
        frame->show();
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
    frame->SendMessage(WM_ANALYSIS_DONE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return c->starts == 1; }));
    EXPECT_EQ(a->finished, 1);
    EXPECT_EQ(b->starts, 0);
    frame->SendMessage(WM_ANALYSIS_DONE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return a->starts == 2; }));

    // Switching the running core off sends a stop request: its task ends and the
    // rotation starts again from the first flagged core.
    a->SetAnalyzeFlag(0);
    frame->SendMessage(WM_SCHEDULE_NEXT, 0, a->GetId());
    ASSERT_TRUE(PumpUntil([&] { return c->starts == 2; }));
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
    frame->SendMessage(WM_SCHEDULE_NEXT, 1, 0);
    EXPECT_EQ(a->starts, 1);
    EXPECT_EQ(a->GetAnalyzeFlag(), 0);
    EXPECT_FALSE(frame->IsDeviceLost());
    PumpEvents();
    EXPECT_EQ(a->starts, 1);
    EXPECT_EQ(frame->CurrentAnalysisId(), 0);
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
    EXPECT_EQ(messages[0], GetTorvelString(kStrOffsetLoadFailed));
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
    EXPECT_EQ(warnings[1], GetTorvelString(kStrOffsetLoadFailed));
    EXPECT_EQ(core->GetTitle(), "Cut");
    EXPECT_EQ(core->GetProfileSection(), "NormalAnalysis_1");
}
