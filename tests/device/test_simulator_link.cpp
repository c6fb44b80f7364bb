// The simulated device's link and tasks: termination, timing, unplugging and
// replugging, failing tasks and short data.
#include "simtestutil.h"

#include <QElapsedTimer>
#include <QThread>

namespace {

// A high-resolution block averaged 64 times: 2000 points x 64 x 50 us, over 6 s
// of measuring, long enough to act on while it runs.
int StartLongTask(HWND h, BYTE tag = 1) {
    return HighResolutionSpectrumAnalysis(h, tag, 430000, 0, 64);
}

void Sleep(int ms) {
    QThread::msleep(static_cast<unsigned long>(ms));
}

} // namespace

class SimulatorLink : public SimulatorTest {
protected:
    // Runs one block; true once the device refuses it as removed. Counts the
    // blocks done (a block the unplug cuts short ends with a link error).
    bool RunBlocksUntilRemoved(HWND h, int& done) {
        if (NormalSpectrumAnalysis(h, 1, 100000, 1, 0, 1) != 1)
            return GetTorvelLastError() == kTorvelErrorRemoved;
        if (window.Wait() && window.Last().message == WM_ANALYSIS_DONE)
            ++done;
        return false;
    }
};

TEST_F(SimulatorLink, TerminatedTaskPostsNothingAndTheNextTaskRuns) {
    ::setenv("TORVEL_SIM_SPEED", "1", 1);
    ASSERT_EQ(OpenWithScene("[Scene]\n"), 1);
    const HWND h = window.GetSafeHwnd();
    ASSERT_EQ(StartLongTask(h), 1);
    // Only one task at a time.
    EXPECT_EQ(NormalSpectrumAnalysis(h, 2, 100000, 1, 0, 1), 0);
    EXPECT_EQ(GetTorvelLastError(), kTorvelErrorBusy);
    EXPECT_FALSE(TorvelErrorIsLinkLost(kTorvelErrorBusy));
    Sleep(50);
    EXPECT_EQ(TerminateTorvelTask(), 1);
    EXPECT_FALSE(window.Wait(std::chrono::milliseconds(300)));
    EXPECT_TRUE(window.messages.empty());

    ASSERT_EQ(NormalSpectrumAnalysis(h, 3, 100000, 4, 0, 1), 1);
    ASSERT_TRUE(window.Wait());
    EXPECT_EQ(window.Last().message, WM_ANALYSIS_DONE);
    EXPECT_EQ(window.Last().wParam, 3u);
    EXPECT_EQ(window.messages.size(), 1u);
}

TEST_F(SimulatorLink, ShutdownStopsARunningTaskSilently) {
    ::setenv("TORVEL_SIM_SPEED", "1", 1);
    ASSERT_EQ(OpenWithScene("[Scene]\n"), 1);
    ASSERT_EQ(StartLongTask(window.GetSafeHwnd()), 1);
    EXPECT_EQ(ShutdownTorvelDLL(), 1);
    EXPECT_FALSE(window.Wait(std::chrono::milliseconds(200)));
    // Closed: every task is refused with a link error until it is opened again.
    EXPECT_EQ(NormalSpectrumAnalysis(window.GetSafeHwnd(), 1, 100000, 1, 0, 1), 0);
    EXPECT_EQ(GetTorvelLastError(), kTorvelErrorNotOpen);
    EXPECT_TRUE(TorvelErrorIsLinkLost(GetTorvelLastError()));
    EXPECT_EQ(InitTorvelDLL(window.GetSafeHwnd(), kTorvelMessageBase), 1);
    EXPECT_EQ(NormalBlock(100000, 1, 0).size(), 200u);
}

TEST_F(SimulatorLink, NonZeroSpeedMakesATaskTakeItsMeasuringTime) {
    // 2000 points x 5 averages x 50 us = 0.5 s at real time.
    ::setenv("TORVEL_SIM_SPEED", "1", 1);
    ASSERT_EQ(OpenWithScene("[Scene]\n"), 1);
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(HighResolutionSpectrumAnalysis(window.GetSafeHwnd(), 1, 430000, 0, 5), 1);
    PumpEvents();
    EXPECT_TRUE(window.messages.empty());
    ASSERT_TRUE(window.Wait());
    EXPECT_GE(timer.elapsed(), 400);
    EXPECT_EQ(window.Last().message, WM_ANALYSIS_DONE);

    // Half speed factor: half the time; only the lower bound is certain.
    ::setenv("TORVEL_SIM_SPEED", "0.5", 1);
    ASSERT_EQ(InitTorvelDLL(window.GetSafeHwnd(), kTorvelMessageBase), 1);
    timer.restart();
    ASSERT_EQ(HighResolutionSpectrumAnalysis(window.GetSafeHwnd(), 1, 430000, 0, 5), 1);
    ASSERT_TRUE(window.Wait());
    EXPECT_GE(timer.elapsed(), 200);
}

TEST_F(SimulatorLink, UnpluggedDeviceRefusesTasksUntilReopenedAfterReplug) {
    // Out from 1 s after opening for 2 s: long enough that a test held up by
    // a busy machine still finds the device in and then out.
    ASSERT_EQ(OpenWithScene("[Faults]\nUnplugAt=1\nReplugAfter=2\n"), 1);
    const HWND h = window.GetSafeHwnd();
    int done = 0;
    ASSERT_TRUE(PumpUntil([&] { return RunBlocksUntilRemoved(h, done); }));
    EXPECT_GT(done, 0);
    const int lost = GetTorvelLastError();
    EXPECT_EQ(lost, kTorvelErrorRemoved);
    EXPECT_TRUE(TorvelErrorIsLinkLost(lost));
    // Still out: it cannot be opened, and the refused calls keep a link code.
    EXPECT_EQ(InitTorvelDLL(h, kTorvelMessageBase), 0);
    EXPECT_TRUE(TorvelErrorIsLinkLost(GetTorvelLastError()));
    EXPECT_EQ(HighSpeedSpectrumAnalysis(h, 1, 100000, 0, 1, 1), 0);
    EXPECT_TRUE(TorvelErrorIsLinkLost(GetTorvelLastError()));
    // The facts are the library's own and keep answering.
    EXPECT_EQ(GetMaxFrequency(1), 3000000);

    ASSERT_TRUE(PumpUntil([&] { return InitTorvelDLL(h, kTorvelMessageBase) == 1; }));
    EXPECT_EQ(NormalBlock(100000, 1, 0).size(), 200u);
    // Re-opening does not replay the unplug.
    Sleep(300);
    EXPECT_EQ(NormalBlock(100000, 1, 0).size(), 200u);
}

TEST_F(SimulatorLink, LinkStaysLostAfterReplugUntilReopened) {
    ASSERT_EQ(OpenWithScene("[Faults]\nUnplugAt=0.1\nReplugAfter=0.1\n"), 1);
    Sleep(300); // out and back in while nobody asked
    EXPECT_EQ(NormalSpectrumAnalysis(window.GetSafeHwnd(), 1, 100000, 1, 0, 1), 0);
    EXPECT_EQ(GetTorvelLastError(), kTorvelErrorRemoved);
    EXPECT_EQ(InitTorvelDLL(window.GetSafeHwnd(), kTorvelMessageBase), 1);
    EXPECT_EQ(NormalBlock(100000, 1, 0).size(), 200u);
}

TEST_F(SimulatorLink, ARepeatingUnplugLosesTheLinkAgainAfterEveryReplug) {
    ASSERT_EQ(OpenWithScene("[Faults]\nUnplugEvery=0.15\nReplugAfter=0.05\n"), 1);
    const HWND h = window.GetSafeHwnd();
    // Each period the open link measures until the device goes away; opened
    // again after the replug, it measures again. A period the test spends
    // held up by a busy machine has no block done and is not counted.
    int measured = 0;
    for (int period = 0; measured < 3; ++period) {
        ASSERT_LT(period, 20);
        int done = 0;
        ASSERT_TRUE(PumpUntil([&] { return RunBlocksUntilRemoved(h, done); }));
        if (done > 0)
            ++measured;
        ASSERT_TRUE(PumpUntil([&] { return InitTorvelDLL(h, kTorvelMessageBase) == 1; }));
    }
}

TEST_F(SimulatorLink, UnplugDuringATaskPostsALinkError) {
    ::setenv("TORVEL_SIM_SPEED", "1", 1);
    // Unplugged a second after opening: time to start the task on a busy
    // machine.
    ASSERT_EQ(OpenWithScene("[Faults]\nUnplugAt=1\n"), 1);
    ASSERT_EQ(StartLongTask(window.GetSafeHwnd(), 7), 1);
    ASSERT_TRUE(window.Wait());
    EXPECT_EQ(window.Last().message, WM_DEVICE_ERROR);
    EXPECT_EQ(window.Last().wParam, 7u);
    EXPECT_EQ(window.Last().lParam, kTorvelErrorRemoved);
    EXPECT_EQ(GetTorvelLastError(), kTorvelErrorRemoved);
    EXPECT_EQ(GetLastFunctionDataCount(), 0);
    // Never plugged back in.
    EXPECT_EQ(InitTorvelDLL(window.GetSafeHwnd(), kTorvelMessageBase), 0);
    EXPECT_EQ(GetTorvelLastError(), kTorvelErrorNoDevice);
}

TEST_F(SimulatorLink, FailedTaskPostsTaskFailedAndTheLinkStaysUp) {
    ASSERT_EQ(OpenWithScene("[Faults]\nFailTask=2\n"), 1);
    const HWND h = window.GetSafeHwnd();
    EXPECT_EQ(NormalBlock(100000, 1, 0).size(), 200u);

    ASSERT_EQ(NormalSpectrumAnalysis(h, 5, 100000, 1, 0, 1), 1);
    ASSERT_TRUE(window.Wait());
    EXPECT_EQ(window.Last().message, WM_DEVICE_ERROR);
    EXPECT_EQ(window.Last().wParam, 5u);
    EXPECT_EQ(window.Last().lParam, kTorvelErrorTaskFailed);
    EXPECT_EQ(GetTorvelLastError(), kTorvelErrorTaskFailed);
    EXPECT_FALSE(TorvelErrorIsLinkLost(kTorvelErrorTaskFailed));
    EXPECT_EQ(GetLastFunctionDataCount(), 0);
    EXPECT_EQ(TerminateTorvelTask(), 1);

    EXPECT_EQ(NormalBlock(100000, 1, 0).size(), 200u);
}

TEST_F(SimulatorLink, ShortDataTasksDeliverFewerWords) {
    ASSERT_EQ(OpenWithScene("[Faults]\nShortDataTask=1\nShortDataCount=10\n"), 1);
    EXPECT_EQ(NormalBlock(100000, 1, 0).size(), 10u);
    EXPECT_EQ(window.Last().lParam, 10);
    EXPECT_EQ(NormalBlock(100000, 1, 0).size(), 200u);

    ASSERT_EQ(OpenWithScene("[Faults]\nShortDataTask=2, 3\n", "half.ini"), 1);
    EXPECT_EQ(NormalBlock(100000, 1, 0).size(), 200u);
    EXPECT_EQ(NormalBlock(100000, 1, 0).size(), 100u);
    EXPECT_EQ(NormalBlock(100000, 2, 0).size(), 50u);
    EXPECT_EQ(NormalBlock(100000, 2, 0).size(), 100u);
}
