// One device, shared by turn: a window that does not hold the device never
// stops, starts or receives a task. A normal window measures a quiet band
// beside a window of another kind on the simulator; the other window is
// driven at the moments that used to break the rotation (its own capture
// done, switched off during a capture, closed while the normal window's
// block runs), and then with every command of its kind's lists at random
// moments. The normal window receives only its own blocks, never a level of
// another window's band, and its sweeps go on.
#include "analysis/analysiscore.h"
#include "app/childframe.h"
#include "app/commandlist.h"
#include "app/mainframe.h"
#include "modes/corefactory.h"
#include "modes/normalanalysis.h"
#include "modes/realtimeanalysis.h"
#include "modes/semirealanalysis.h"
#include "modes/zerospananalysis.h"
#include "platform/profile.h"
#include "testutil.h"
#include "windowtest.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// What the test sees of a core: the blocks it was handed (its own or not),
// the starts outside its turn, and a call once its next task has started.
struct Watch {
    int own = 0;
    int foreign = 0;
    int outOfTurnStarts = 0;
    double highest = -300.0; // the highest level its data line ever showed, dB
    std::function<void()> onNextStart;
    // The centre (kHz) of each task it started, in order.
    std::vector<int> startCentres;
};

template <class Core> class Watched : public Core {
public:
    Watched(CCommandEntry* f, CCommandEntry* b, CFrameLink* link, CMainFrame* frame, Watch* watch)
        : Core(f, b, link), m_frame(frame), m_watch(watch) {}
    int StartAnalysis() override {
        // The rotation makes a core current before it starts it.
        if (m_frame->CurrentAnalysisId() != this->GetId())
            ++m_watch->outOfTurnStarts;
        const int result = Core::StartAnalysis();
        if (result == 1) {
            if constexpr (requires { this->GetCenter(); })
                m_watch->startCentres.push_back(this->GetCenter());
        }
        if (result == 1 && m_watch->onNextStart) {
            // Runs as the next message, while the task just started measures.
            QMetaObject::invokeMethod(qApp, std::exchange(m_watch->onNextStart, {}),
                                      Qt::QueuedConnection);
        }
        return result;
    }
    void AnalysisFinished(WPARAM wParam, LPARAM lParam) override {
        count(wParam);
        Core::AnalysisFinished(wParam, lParam);
        if (CTraceStore* line = this->GetDataLine(); line && line->GetPoints() > 0) {
            const long long first = line->GetStart();
            const long long last = first + static_cast<long long>(line->GetPoints() - 1) *
                                               static_cast<long long>(line->GetStep());
            const long long peak = line->Peak(first, last);
            m_watch->highest = std::max(m_watch->highest, line->Level(peak));
        }
    }
    void AnalysisProgress(WPARAM wParam, LPARAM lParam) override {
        count(wParam);
        Core::AnalysisProgress(wParam, lParam);
    }

private:
    void count(WPARAM wParam) {
        if (static_cast<BYTE>(wParam & 0xFF) == this->GetTaskTag())
            ++m_watch->own;
        else
            ++m_watch->foreign;
    }
    CMainFrame* m_frame;
    Watch* m_watch;
};

std::unique_ptr<CAnalysisCore> MakeWatched(int kind, CCommandEntry* f, CCommandEntry* b,
                                           CFrameLink* link, CMainFrame* frame, Watch* watch) {
    switch (kind) {
    case 1:
        return std::make_unique<Watched<CNormalAnalysis>>(f, b, link, frame, watch);
    case 3:
        return std::make_unique<Watched<CZeroSpanAnalysis>>(f, b, link, frame, watch);
    case 4:
        return std::make_unique<Watched<CSemiRealAnalysis>>(f, b, link, frame, watch);
    case 5:
        return std::make_unique<Watched<CRealTimeAnalysis>>(f, b, link, frame, watch);
    default:
        return CreateAnalysisCore(kind, f, b, link);
    }
}

// Ends every modal dialog a command opens, cancelling it or taking what it
// proposes, as a user in a hurry would.
class DialogCloser {
public:
    explicit DialogCloser(unsigned seed) : m_random(seed) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<QDialog*>(w);
                if (dialog && dialog->isVisible()) {
                    if (m_random() % 2)
                        dialog->accept();
                    else
                        dialog->reject();
                }
            }
        });
        m_timer.start(5);
    }

private:
    QTimer m_timer;
    std::mt19937 m_random;
};

class DeviceSharingTest : public AnalysisWindowTest {
protected:
    std::unique_ptr<CMainFrame> frame;
    Watch normal;
    Watch other;
    CChildFrame* normalWindow = nullptr;
    CChildFrame* otherWindow = nullptr;
    int opened = 0;

    void SetUp() override {
        AnalysisWindowTest::SetUp();
        // Real time: the tasks take as long as on the analyser.
        setenv("TORVEL_SIM_SPEED", "1", 1);
        // The built-in scene has nothing between 2000 and 2010 MHz: a level
        // there above the noise came from another window's band.
        unsetenv("TORVEL_SIM_SCENE");
        WriteProfileString("NormalAnalysis_1", "AnalyzeFlag", "1");
        WriteProfileString("NormalAnalysis_1", "StartFrequency", "2000000");
        WriteProfileString("NormalAnalysis_1", "StopFrequency", "2010000");
        WriteProfileString("NormalAnalysis_1", "RBWIndex", "1");
        WriteProfileString("NormalAnalysis_1", "AttValue", "0");
    }
    void TearDown() override {
        frame.reset();
        setenv("TORVEL_SIM_SPEED", "0", 1);
        AnalysisWindowTest::TearDown();
    }
    // The normal window (variant 1) and a window of kind (variant 2 for a
    // second normal window), both analysing; the other window is active.
    void Open(int kind) {
        frame = std::make_unique<CMainFrame>([](const CString&) {});
        frame->SetCoreFactory([this](int k, CCommandEntry* f, CCommandEntry* b, CFrameLink* link) {
            Watch* watch = opened++ == 0 ? &normal : &other;
            return MakeWatched(k, f, b, link, frame.get(), watch);
        });
        ASSERT_TRUE(frame->Create(false));
        frame->show();
        normalWindow = frame->OpenAnalysisWindow(1, "Normal", 1);
        ASSERT_TRUE(normalWindow);
        otherWindow = frame->OpenAnalysisWindow(kind, "Other", kind == 1 ? 2 : 1);
        ASSERT_TRUE(otherWindow);
        frame->mdiArea()->setActiveSubWindow(otherWindow);
    }
    CAnalysisCore* Other() const { return otherWindow->GetCore(); }
    // A command of the other window, as the main frame runs it.
    void Run(int action, int p1, int p2 = 0) {
        CAnalysisCore* core = Other();
        const int result = core->ExecuteCommand(action, p1, p2, 0, 0, 0);
        if (result > 0)
            core->Reconfigure(result == kCommandReset);
        core->UpdateView();
    }
    // Runs action once the normal window's next block has started, while it
    // measures; false when it never did.
    bool WhileNormalMeasures(const std::function<void()>& action) {
        bool done = false;
        normal.onNextStart = [&] {
            action();
            done = true;
        };
        return PumpUntil([&] { return done; });
    }
    // The normal window finishes count more sweep blocks of its own.
    ::testing::AssertionResult NormalGoesOn(int count = 5) {
        const int before = normal.own;
        if (PumpUntil([&] { return normal.own >= before + count; }, std::chrono::seconds(20)))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "the normal window's sweep stopped at " << normal.own - before << " blocks";
    }
    // Nothing of the other window reached the normal window.
    void ExpectNormalUntouched() {
        EXPECT_EQ(normal.foreign, 0);
        EXPECT_LT(normal.highest, -45.0);
        EXPECT_EQ(other.outOfTurnStarts, 0);
    }
};

TEST_F(DeviceSharingTest, ARealTimeWindowWhoseCaptureIsInTouchesNoOtherTask) {
    WriteProfileString("RealTimeAnalysis_1", "AnalyzeFlag", "1");
    WriteProfileString("RealTimeAnalysis_1", "TrigMode", "1");
    WriteProfileString("RealTimeAnalysis_1", "StartFrequency", "88000");
    WriteProfileString("RealTimeAnalysis_1", "StopFrequency", "112000");
    Open(5);
    ASSERT_TRUE(PumpUntil([&] { return other.own >= 1; }));
    // A display change of the real-time window while the normal block runs,
    // three times; then the real-time window closes at such a moment.
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(WhileNormalMeasures([&] { Run(33, 8 - i); }));
        ASSERT_TRUE(NormalGoesOn(2));
    }
    ASSERT_TRUE(WhileNormalMeasures([&] { otherWindow->close(); }));
    EXPECT_TRUE(NormalGoesOn());
    ExpectNormalUntouched();
}

TEST_F(DeviceSharingTest, AZeroSpanWindowSwitchedOffDuringACaptureTouchesTheDeviceNoMore) {
    WriteProfileString("ZeroSpanAnalysis_1", "AnalyzeFlag", "1");
    WriteProfileString("ZeroSpanAnalysis_1", "StartFrequency", "88000");
    WriteProfileString("ZeroSpanAnalysis_1", "TimeSpan", "400");
    WriteProfileString("ZeroSpanAnalysis_1", "TriggerMode", "1");
    Open(3);
    auto* zs = static_cast<CZeroSpanAnalysis*>(Other());
    Run(251, 0);
    ASSERT_EQ(zs->GetTimeRequested(), 1);
    // Run/Stop once its capture runs.
    ASSERT_TRUE(PumpUntil([&] { return zs->GetTimeCapture() == 1 && zs->GetTaskRunning() > 0; }));
    Run(16, 0);
    ASSERT_EQ(zs->GetAnalyzeFlag(), 0);
    // A new time span while the normal window's block runs.
    ASSERT_TRUE(WhileNormalMeasures([&] { Run(252, 1000); }));
    ASSERT_TRUE(NormalGoesOn());
    ASSERT_TRUE(WhileNormalMeasures([&] { otherWindow->close(); }));
    EXPECT_TRUE(NormalGoesOn());
    ExpectNormalUntouched();
}

TEST_F(DeviceSharingTest, AnXpdWindowClosedInItsTurnHandsTheDeviceOn) {
    // The XPD window's turn begins with the path switch settling on a timer,
    // with no device task in flight; closing the window then must not leave
    // the rotation waiting for a task that never ends.
    WriteProfileString("XPDAnalysis_1", "AnalyzeFlag", "1");
    Open(7);
    ASSERT_TRUE(NormalGoesOn(2));
    const int xpd = Other()->GetId();
    ASSERT_TRUE(PumpUntil([&] { return frame->CurrentAnalysisId() == xpd; }));
    otherWindow->close();
    EXPECT_TRUE(NormalGoesOn());
    ExpectNormalUntouched();
}

TEST_F(DeviceSharingTest, WindowsWaitingForAStreamSaySoAndTheOptionHandsTheDeviceOn) {
    WriteProfileString("SemiRealAnalysis_1", "AnalyzeFlag", "1");
    Open(4);
    // The stream keeps the device: the normal window says it waits, in its
    // title and in its graph, and the streaming window does not.
    ASSERT_TRUE(PumpUntil([&] { return !normalWindow->GetDeviceWait().isEmpty(); }));
    const QString wait = normalWindow->GetDeviceWait();
    EXPECT_TRUE(wait.startsWith("Waiting for the device")) << wait.toStdString();
    EXPECT_TRUE(wait.endsWith(otherWindow->PlainTitle())) << wait.toStdString();
    EXPECT_TRUE(normalWindow->windowTitle().endsWith(wait));
    auto* normalCore = static_cast<CNormalAnalysis*>(normalWindow->GetCore());
    EXPECT_EQ(normalCore->GetGraphInterface().GetGraph().GetStatusText().GetText(),
              CString(wait.toUtf8().constData()));
    EXPECT_TRUE(otherWindow->GetDeviceWait().isEmpty());
    EXPECT_EQ(otherWindow->windowTitle(), otherWindow->PlainTitle());

    // The option (off by default) lets the stream hand the device on after
    // each batch: both windows measure, and none of them waits.
    EXPECT_FALSE(frame->HandsDeviceOn());
    CCommandEntry* option = frame->Commands().EntryByAction(kActionHandDeviceOn, 0, 0);
    ASSERT_TRUE(option);
    frame->ExecuteCommand(option);
    EXPECT_TRUE(frame->HandsDeviceOn());
    EXPECT_EQ(frame->CommandState(option), 1);
    EXPECT_TRUE(NormalGoesOn());
    const int batches = other.own;
    EXPECT_TRUE(PumpUntil([&] { return other.own >= batches + 5; }));
    EXPECT_TRUE(NormalGoesOn());
    EXPECT_TRUE(normalWindow->GetDeviceWait().isEmpty());
    EXPECT_EQ(normalCore->GetGraphInterface().GetGraph().GetStatusText().GetText(), "");
    ExpectNormalUntouched();
    // The option is kept in the profile.
    frame.reset();
    EXPECT_EQ(GetProfileInt("MAIN_FRAME", kHandDeviceOnKey, 0), 1);
}

TEST_F(DeviceSharingTest, AStreamGoesOnAtTheCentreEnteredWhileItsTurnCameAgain) {
    WriteProfileString("SemiRealAnalysis_1", "AnalyzeFlag", "1");
    Open(4);
    auto* stream = static_cast<CSemiRealAnalysis*>(Other());
    ASSERT_TRUE(PumpUntil([&] { return other.own >= 2; }));
    const int oldCentre = stream->GetCenter();
    // The centre entry ends the stream; while the user types, the device goes
    // round and the stream starts again at the old centre.
    // The stream runs on: its next start is the one after the entry ended it
    // (which may come before the typist first sees the dialog).
    bool entered = false;
    QTimer typist;
    const size_t startsBefore = other.startCentres.size();
    QElapsedTimer typing;
    typing.start();
    QObject::connect(&typist, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QDialog*>(w);
            if (!dialog || !dialog->isVisible())
                continue;
            // A bounded wait: a dialog that stays open fails the test, not the run.
            if (other.startCentres.size() == startsBefore && typing.elapsed() < 20000)
                return;
            entered = other.startCentres.size() > startsBefore;
            if (auto* edit = dialog->findChild<QLineEdit*>())
                edit->setText("700");
            dialog->accept();
        }
    });
    typist.start(5);
    CCommandEntry* centre = frame->Commands().EntryByAction(21, 0, 0);
    ASSERT_TRUE(centre);
    frame->ExecuteCommand(centre);
    typist.stop();
    ASSERT_TRUE(entered);
    EXPECT_EQ(other.startCentres[startsBefore], oldCentre);
    const int newCentre = stream->GetCenter();
    ASSERT_GT(std::abs(newCentre - oldCentre), 100000);
    // What streams now measures the new centre: no slice of the old band
    // reaches the new grid.
    const int batches = other.own;
    ASSERT_TRUE(PumpUntil([&] { return other.own >= batches + 3; }));
    ASSERT_FALSE(other.startCentres.empty());
    EXPECT_EQ(other.startCentres.back(), newCentre);
    Run(16, 0);
    EXPECT_TRUE(NormalGoesOn());
    ExpectNormalUntouched();
}

// The core actions of the commands in the kind's window lists: what a user
// can choose there, except printing (a printer) and the main frame's own
// actions (window opening, files of the frame, help, paging, macros).
std::vector<CCommandEntry*> KindCommands(CMainFrame& frame, const char* kind) {
    // The main frame's own commands, among them closing the window and
    // stepping to the next one (76, 77), which would take the test's window.
    static const std::set<int> kFrameActions = {0,  1,  2,  3,  4,  5,  6,  7,  10, 12,
                                                15, 27, 28, 29, 30, 50, 53, 76, 77};
    std::vector<CCommandEntry*> commands;
    const std::string frameList = std::string(kind) + "_FRAME_1";
    const std::string buttonList = std::string(kind) + "_BUTTON_1";
    CCommandList& list = frame.Commands();
    for (int i = 0; i < list.EntryCount(); ++i) {
        CCommandEntry* e = list.Entry(i);
        const std::string name = static_cast<const char*>(e->listName);
        if ((name == frameList || name == buttonList) && e->menuType == kMenuCommand &&
            !kFrameActions.count(e->action))
            commands.push_back(e);
    }
    return commands;
}

class DeviceSharingRandomTest : public DeviceSharingTest,
                                public ::testing::WithParamInterface<int> {};

TEST_P(DeviceSharingRandomTest, CommandsAtRandomMomentsNeverReachTheOtherWindowsTask) {
    static const char* const kLists[] = {"",         "NORMAL",   "WLAN",    "ZEROSPAN",
                                         "SEMIREAL", "REALTIME", "MEDICAL", "XPD"};
    const int kind = GetParam();
    const unsigned seed = 2900u + static_cast<unsigned>(kind);
    SCOPED_TRACE("seed " + std::to_string(seed));
    static const char* const kSections[] = {"",
                                            "NormalAnalysis_2",
                                            "WlanAnalysis_1",
                                            "ZeroSpanAnalysis_1",
                                            "SemiRealAnalysis_1",
                                            "RealTimeAnalysis_1",
                                            "MedicalAnalysis_1",
                                            "XpdAnalysis_1"};
    WriteProfileString(kSections[kind], "AnalyzeFlag", "1");
    // Short captures that follow one another, so that many of them start
    // and end during the run.
    WriteProfileString(kSections[kind], "TimeSpan", "300");
    WriteProfileString(kSections[kind], "TriggerMode", "1");
    WriteProfileString(kSections[kind], "TrigMode", "1");
    Open(kind);
    const std::vector<CCommandEntry*> commands = KindCommands(*frame, kLists[kind]);
    ASSERT_GT(commands.size(), 10u);
    std::mt19937 random(seed);
    DialogCloser closer(seed);
    // A fixed number of commands: the same sequence on every run, however
    // loaded the machine is.
    constexpr int kCommands = 80;
    for (int executed = 0; executed < kCommands; ++executed) {
        const int pause = static_cast<int>(random() % 40);
        PumpUntil([] { return false; }, std::chrono::milliseconds(pause));
        // The window is the active one when a command reaches it.
        frame->mdiArea()->setActiveSubWindow(otherWindow);
        ASSERT_EQ(frame->ActiveChild(), otherWindow);
        CCommandEntry* e = commands[random() % commands.size()];
        frame->ExecuteCommand(e);
        ASSERT_EQ(normal.foreign + other.outOfTurnStarts, 0)
            << "after " << static_cast<const char*>(e->caption) << " (" << e->action << ", "
            << e->p1() << ")";
    }
    // Stopped, the other window lets the normal window sweep on.
    if (Other()->GetAnalyzeFlag())
        Run(16, 0);
    EXPECT_TRUE(NormalGoesOn());
    ExpectNormalUntouched();
}

INSTANTIATE_TEST_SUITE_P(EveryKind, DeviceSharingRandomTest, ::testing::Range(1, 8));

} // namespace
