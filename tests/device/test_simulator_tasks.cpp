// The band analyses of the simulated device: zero-span spectrum blocks and
// time captures, real-time captures, the semi-real-time slice flow, the single
// high-resolution block and the RF path switch, with their triggers,
// termination, faults and refused arguments.
#include "simtestutil.h"

#include <QElapsedTimer>

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <random>
#include <set>
#include <thread>
#include <vector>

namespace {

constexpr double kNoiseDensity = -140.0; // the scene default, dBm/Hz
constexpr LPARAM kWaiting = 0x0800;
constexpr LPARAM kTriggered = 0x1000;
constexpr short kNoSample = static_cast<short>(0x8080);

// Median noise floor of a point step (Gaussian filter two steps wide at 3 dB).
double NoiseFloor(int stepKHz) {
    const double nbwHz =
        2.0 * stepKHz * 1000.0 * std::sqrt(std::numbers::pi / (4.0 * std::log(2.0)));
    return kNoiseDensity + 10.0 * std::log10(nbwHz);
}

short Word(double db) {
    return static_cast<short>(db * 163.84);
}

int ArgMax(const short* words, int n) {
    return static_cast<int>(std::max_element(words, words + n) - words);
}

// Index of the first sample above (or, falling, below) the level.
int FirstCrossing(const std::vector<short>& data, double db, bool rising) {
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (rising ? Db(data[i]) > db : Db(data[i]) < db)
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace

class SimulatorTasks : public SimulatorTest {
protected:
    HWND h() { return window.GetSafeHwnd(); }

    // Waits until the task just started ends (done or error); the messages
    // stay recorded.
    bool WaitEnd(std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
        const std::size_t before = window.messages.size();
        return PumpUntil(
            [&] {
                return window.messages.size() > before &&
                       (window.Last().message == WM_ANALYSIS_DONE ||
                        window.Last().message == WM_DEVICE_ERROR);
            },
            timeout);
    }

    std::vector<short> Data() {
        std::vector<short> words(static_cast<std::size_t>(GetLastFunctionDataCount()));
        ReceiveData(words.data(), static_cast<int>(words.size()));
        return words;
    }

    // lParams of the intermediate-data messages received so far.
    std::vector<LPARAM> Progress() const {
        std::vector<LPARAM> p;
        for (const auto& m : window.messages) {
            if (m.message == WM_ANALYSIS_PROGRESS)
                p.push_back(m.lParam);
        }
        return p;
    }

    // Waits for the next batch of semi-real-time slices; returns its lParam.
    LPARAM NextBatch() {
        if (!window.Wait() || window.Last().message != WM_ANALYSIS_PROGRESS)
            return -1;
        return window.Last().lParam;
    }

    // Starts a task again and again (start(tag, attenuation)), minSeconds of
    // device time each; see its definition. Returns the words of the tasks
    // that ended, at speed 0.
    std::vector<std::vector<short>> RepeatedTaskKeepsItsWordsTimeAndSilence(
        const std::function<int(BYTE tag, int attenuation)>& start, double minSeconds);
};

TEST_F(SimulatorTasks, ZeroSpanSpectrumIs104BinsOfTheBandStep) {
    ASSERT_EQ(OpenWithScene("[Scene]\nSeed=11\n[Signal1]\nFrequency=110000\nLevel=-40\n"), 1);
    // The band kinds share one step; 400 semi-real-time points span 100 MHz.
    EXPECT_EQ(GetRBWFrequency(kTorvelKindZeroSpan, 1), 250);
    EXPECT_EQ(GetRBWFrequency(kTorvelKindRealTime, 1), 250);
    EXPECT_EQ(GetRBWFrequency(kTorvelKindSemiRealTime, 1) * 400, 100000);
    EXPECT_EQ(GetMinFrequency(kTorvelKindSemiRealTime), 10000);

    ASSERT_EQ(ZeroSpanSpectrumAnalysis(h(), 6, 100000, 0), 1);
    const std::vector<short> block = Collect();
    ASSERT_EQ(block.size(), 104u);
    EXPECT_EQ(window.Last().wParam, 6u);
    EXPECT_EQ(window.Last().lParam, 104);
    EXPECT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(ArgMax(block.data(), 104), 40);
    EXPECT_NEAR(Db(block[40]), -40.0, 0.3);
    EXPECT_NEAR(Db(block[39]), -43.0, 0.3);
    EXPECT_NEAR(MedianDb(std::vector<short>(block.begin() + 50, block.end())), NoiseFloor(250),
                1.0);

    // The lowest centre the window allows puts the base one 2 MHz step below
    // the lowest frequency; that block is measured.
    ASSERT_EQ(ZeroSpanSpectrumAnalysis(h(), 1, GetMinFrequency(kTorvelKindZeroSpan) - 2000, 0), 1);
    EXPECT_EQ(Collect().size(), 104u);
    // Bins past the highest frequency are not measured.
    ASSERT_EQ(ZeroSpanSpectrumAnalysis(h(), 1, 2980000, 0), 1);
    const std::vector<short> top = Collect();
    ASSERT_EQ(top.size(), 104u);
    EXPECT_NE(top[80], kNoSample);
    EXPECT_EQ(top[81], kNoSample);
}

TEST_F(SimulatorTasks, FreeRunCaptureIsThePowerSumOfItsBins) {
    ASSERT_EQ(OpenWithScene("[Scene]\nSeed=12\n[Signal1]\nFrequency=110000\nLevel=-40\n"), 1);
    ASSERT_EQ(ZeroSpanAnalysis(h(), 2, 100000, 0, 0, 0, 40, 40, 1000, 500), 1);
    ASSERT_TRUE(WaitEnd());
    EXPECT_EQ(window.Last().message, WM_ANALYSIS_DONE);
    EXPECT_EQ(window.Last().lParam, 1000);
    EXPECT_TRUE(Progress().empty()); // no trigger, no status
    EXPECT_NEAR(MedianDb(Data()), -40.0, 0.3);

    // Five bins around the tone: the filter passes 1 + 2 x 1/2 + 2 x 1/16 of it.
    ASSERT_EQ(ZeroSpanAnalysis(h(), 2, 100000, 0, 0, 0, 38, 42, 1000, 0), 1);
    ASSERT_TRUE(WaitEnd());
    EXPECT_NEAR(MedianDb(Data()), -40.0 + 10.0 * std::log10(2.125), 0.3);
}

TEST_F(SimulatorTasks, TriggeredCaptureEdgeLandsAtTheSamplesBeforeTheTrigger) {
    // A 20 ms pulse at 1.2 s of measurement time, then every 2 s.
    ASSERT_EQ(OpenWithScene("[Scene]\nSeed=3\n[Signal Key]\nType=Pulse\nFrequency=110000\n"
                            "Level=-40\nPeriod=2\nPulseLength=20\nFirstPulse=1.2\n"),
              1);
    const int n = 3000;
    const int post = 1000;
    ASSERT_EQ(ZeroSpanAnalysis(h(), 5, 100000, 0, 1, Word(-60.0), 40, 40, n, post), 1);
    ASSERT_TRUE(WaitEnd());
    ASSERT_EQ(window.Last().message, WM_ANALYSIS_DONE);
    EXPECT_EQ(window.Last().lParam, n);
    EXPECT_EQ(window.Last().wParam, 5u);
    // Waiting reported at the start and every half second until the pulse,
    // then once that it triggered.
    EXPECT_EQ(Progress(), (std::vector<LPARAM>{kWaiting, kWaiting, kWaiting, kTriggered}));
    const std::vector<short> rising = Data();
    ASSERT_EQ(rising.size(), static_cast<std::size_t>(n));
    EXPECT_NEAR(FirstCrossing(rising, -60.0, true), n - post, 1);
    EXPECT_NEAR(Db(rising[n - post + 100]), -40.0, 0.5); // 10 ms into the pulse
    EXPECT_LT(Db(rising[n - post + 300]), -70.0);        // 10 ms after it

    // Falling: the end of the next pulse lands at n - post.
    window.messages.clear();
    ASSERT_EQ(ZeroSpanAnalysis(h(), 5, 100000, 0, 2, Word(-60.0), 40, 40, n, 500), 1);
    ASSERT_TRUE(WaitEnd());
    ASSERT_EQ(window.Last().message, WM_ANALYSIS_DONE);
    const std::vector<short> falling = Data();
    ASSERT_EQ(falling.size(), static_cast<std::size_t>(n));
    EXPECT_NEAR(FirstCrossing(falling, -60.0, true), n - 500 - 200, 1); // the whole pulse before
    const int fell = FirstCrossing(
        std::vector<short>(falling.begin() + (n - 500 - 100), falling.end()), -60.0, false);
    EXPECT_NEAR(fell + (n - 500 - 100), n - 500, 1);

    // All samples after the trigger (the trigger sample first), and none.
    for (int p : {n, 0}) {
        window.messages.clear();
        ASSERT_EQ(ZeroSpanAnalysis(h(), 5, 100000, 0, 1, Word(-60.0), 40, 40, n, p), 1);
        ASSERT_TRUE(WaitEnd());
        const std::vector<short> all = Data();
        ASSERT_EQ(all.size(), static_cast<std::size_t>(n));
        if (p == n) {
            EXPECT_GT(Db(all[0]), -60.0);
        } else {
            EXPECT_LT(Db(all[n - 1]), -60.0);
            EXPECT_LT(Db(all[n - 201]), -60.0); // the pulse was not before the trigger
        }
    }
}

TEST_F(SimulatorTasks, RealTimeBlocksAndTheirTriggerPosition) {
    // A tone at bin 30, a weaker one at bin 110 and a 5 ms pulse at bin 50 once
    // a second from 0.3 s.
    ASSERT_EQ(OpenWithScene("[Scene]\nSeed=5\n[Signal Tone]\nFrequency=427500\nLevel=-50\n"
                            "[Signal High]\nFrequency=447500\nLevel=-55\n"
                            "[Signal Key]\nType=Pulse\nFrequency=432500\nLevel=-40\nPeriod=1\n"
                            "PulseLength=5\nFirstPulse=0.3\n"),
              1);
    // Immediate: 256 blocks of 128 words, word b the level at B + b x 250.
    ASSERT_EQ(RealTimeAnalysis(h(), 3, 420000, 0, 0, 1000, 4), 1);
    ASSERT_TRUE(WaitEnd());
    ASSERT_EQ(window.Last().message, WM_ANALYSIS_DONE);
    EXPECT_EQ(window.Last().lParam, 256 * 128);
    EXPECT_TRUE(Progress().empty());
    const std::vector<short> free = Data();
    ASSERT_EQ(free.size(), 256u * 128u);
    for (int s = 0; s < 256; ++s) {
        const short* block = free.data() + s * 128;
        ASSERT_EQ(ArgMax(block, 128), 30) << "block " << s;
        EXPECT_NEAR(Db(block[30]), -50.0, 0.5);
        EXPECT_LT(Db(block[50]), -70.0);
        // A band off the 1 MHz grid needs up to bin 107: the whole block is measured.
        EXPECT_EQ(ArgMax(block + 104, 24), 6) << "block " << s;
        EXPECT_NEAR(Db(block[110]), -55.0, 0.5);
        EXPECT_TRUE(std::none_of(block, block + 128, [](short w) { return w == kNoSample; }));
    }
    // No two blocks of a capture show the same noise (bins 0-15 hold only noise).
    std::set<std::vector<short>> noise;
    for (int s = 0; s < 256; ++s)
        noise.emplace(free.begin() + s * 128, free.begin() + s * 128 + 16);
    EXPECT_EQ(noise.size(), 256u);

    // Level trigger, 10 dB (1000 hundredths) above the floor; the trigger
    // block lands at the position given; rising, then falling.
    const struct {
        int type;
        int position;
    } cases[] = {{1, 4}, {2, 100}, {1, 255}};
    for (const auto& c : cases) {
        window.messages.clear();
        ASSERT_EQ(RealTimeAnalysis(h(), 3, 420000, 0, static_cast<BYTE>(c.type), 1000,
                                   static_cast<WORD>(c.position)),
                  1);
        ASSERT_TRUE(WaitEnd());
        ASSERT_EQ(window.Last().message, WM_ANALYSIS_DONE);
        const std::vector<LPARAM> progress = Progress();
        ASSERT_GE(progress.size(), 2u);
        EXPECT_EQ(progress.front(), kWaiting);
        EXPECT_EQ(progress.back(), kTriggered);
        const std::vector<short> data = Data();
        ASSERT_EQ(data.size(), 256u * 128u);
        const auto on = [&](int s) {
            return Db(data[static_cast<std::size_t>(s) * 128 + 50]) > -60.0;
        };
        const bool rising = c.type == 1;
        EXPECT_EQ(on(c.position), rising) << c.type << " at " << c.position;
        if (c.position > 0) {
            EXPECT_EQ(on(c.position - 1), !rising) << c.type << " at " << c.position;
        }
    }
}

TEST_F(SimulatorTasks, BuiltInSceneFiresTheRealTimeWindowsLevelTrigger) {
    // The window's trigger settings (level trigger, 1000, position 4) at its
    // default attenuation, about the remote key at 433.92 MHz.
    ::unsetenv("TORVEL_SIM_SCENE");
    ASSERT_EQ(InitTorvelDLL(h(), kTorvelMessageBase), 1);
    ASSERT_EQ(RealTimeAnalysis(h(), 1, 420000, 30, 1, 1000, 4), 1);
    ASSERT_TRUE(WaitEnd());
    ASSERT_EQ(window.Last().message, WM_ANALYSIS_DONE);
    EXPECT_EQ(Progress().back(), kTriggered);
    const std::vector<short> data = Data();
    ASSERT_EQ(data.size(), 256u * 128u);
    const double threshold = NoiseFloor(250) + 30 + 10.0;
    EXPECT_LT(Db(data[3 * 128 + ArgMax(data.data() + 3 * 128, 104)]), threshold);
    const int peak = ArgMax(data.data() + 4 * 128, 104);
    EXPECT_GT(Db(data[4 * 128 + peak]), threshold);
    EXPECT_NEAR(420000 + peak * 250, 433920, 250);
}

TEST_F(SimulatorTasks, SemiRealTimeSlicesFlowOnlyWhenAskedFor) {
    // A tone sweeping the slice's band once a second (400 points of 25 us, no
    // averaging: 10 ms a slice). The slice sweeps the 100 MHz in 10 ms, the
    // tone in 1 s, so the slice that starts at run fraction r meets it at
    // point 404.04 x r, 4.04 points further on per slice.
    ASSERT_EQ(OpenWithScene("[Scene]\nSeed=9\n[Signal Tone]\nType=Sweep\nFrequency=100000\n"
                            "StopFrequency=200000\nPeriod=1\nLevel=-40\n"),
              1);
    ASSERT_EQ(SemiRealTimeAnalysis(h(), 4, 100000, 0, 1), 1);
    constexpr double kPointsPerRun = 404.04;
    // The device measures as fast as it can here, so however promptly the
    // test asks, the buffer may overflow while it is descheduled. Every slice
    // the device measured is either handed over, in order, or counted as
    // dropped: numbering the slices by both, each slice that shows the whole
    // tone shows it at the same run phase.
    long long measured = 0; // slices measured before the next one handed over
    struct Seen {
        long long slice;
        int point;
    };
    std::vector<Seen> seen;
    const auto take = [&](LPARAM lParam) {
        const int m = static_cast<int>((lParam >> 16) & 0xFFF);
        const int dropped = static_cast<int>(lParam & 0x7FF);
        EXPECT_GE(m, 1);
        EXPECT_LE(m, 100);
        // Slices are dropped only from a full buffer: a program that asks
        // before 100 are waiting loses none.
        if (dropped > 0) {
            EXPECT_EQ(m, 100) << dropped << " dropped";
        }
        EXPECT_EQ(GetLastFunctionDataCount(), m * 400);
        const std::vector<short> words = Data();
        measured += dropped;
        for (int j = 0; j < m && (j + 1) * 400 <= static_cast<int>(words.size()); ++j) {
            const int at = ArgMax(words.data() + j * 400, 400);
            // A slice that met the tone only partly, as it jumped back to the
            // start of its run, is left out.
            if (Db(words[static_cast<std::size_t>(j * 400 + at)]) > -45.0)
                seen.push_back({measured, at});
            ++measured;
        }
        return dropped;
    };
    // Checks each slice seen from `from` on against the one seen before it;
    // returns how many it checked.
    const auto inStep = [&](std::size_t from) {
        int steps = 0;
        for (std::size_t i = std::max<std::size_t>(from, 1); i < seen.size(); ++i) {
            const auto phase = [&](const Seen& s) {
                return s.point / kPointsPerRun - static_cast<double>(s.slice % 100) / 100.0;
            };
            double drift = phase(seen[i]) - phase(seen[i - 1]);
            drift -= std::round(drift);
            EXPECT_LE(std::abs(drift) * kPointsPerRun, 1.5)
                << "slice " << seen[i].slice << " at " << seen[i].point << ", slice "
                << seen[i - 1].slice << " at " << seen[i - 1].point;
            ++steps;
        }
        return steps;
    };

    const LPARAM first = NextBatch();
    ASSERT_GE(first, 0);
    EXPECT_EQ(window.Last().wParam, 4u);
    EXPECT_EQ(first & 0x7FF, 0); // handed over unasked as soon as it is done
    take(first);
    for (int i = 0; i < 30; ++i) {
        ASSERT_EQ(GetSemiRealTimeResult(h(), 4), 1);
        const LPARAM batch = NextBatch();
        ASSERT_GE(batch, 0);
        take(batch);
    }
    EXPECT_GT(inStep(0), 25);
    // The device's own other tasks wait.
    EXPECT_EQ(NormalSpectrumAnalysis(h(), 1, 100000, 1, 0, 1), 0);
    EXPECT_EQ(GetTorvelLastError(), kTorvelErrorBusy);
    EXPECT_EQ(GetSemiRealTimeResult(h(), 5), 0);
    EXPECT_EQ(GetTorvelLastError(), kTorvelErrorBadParameter);

    // Not asked: nothing comes. Asked late, the device hands over the newest
    // 100 slices and says how many it dropped; waits longer each time until
    // the device has measured more than its buffer holds.
    const std::size_t asked = seen.size();
    int late = 0;
    for (int wait = 100; late == 0; wait *= 2) {
        ASSERT_LE(wait, 12800) << "no slice was ever dropped";
        EXPECT_FALSE(window.Wait(std::chrono::milliseconds(wait)));
        ASSERT_EQ(GetSemiRealTimeResult(h(), 4), 1);
        const LPARAM batch = NextBatch();
        ASSERT_GE(batch, 0);
        late = take(batch);
    }
    EXPECT_GT(inStep(asked), 90);

    EXPECT_EQ(TerminateTorvelTask(), 1);
    EXPECT_EQ(GetSemiRealTimeResult(h(), 4), 0);
    EXPECT_EQ(GetTorvelLastError(), kTorvelErrorTaskFailed);
    EXPECT_FALSE(window.Wait(std::chrono::milliseconds(100)));
}

TEST_F(SimulatorTasks, TerminateInTheMiddleOfEachKindPostsNothing) {
    ASSERT_EQ(OpenWithScene("[Scene]\nSeed=4\n"), 1);
    // What the device posted before the terminate arrives before a message
    // the test posts after it: of the task's reports, `pending` (0 none at
    // all, -1 a batch of slices of any size); after that, nothing.
    const auto silentAfterTerminate = [&](const char* what, LPARAM pending) {
        EXPECT_EQ(TerminateTorvelTask(), 1);
        const std::size_t before = window.messages.size();
        ASSERT_TRUE(window.PostMessage(DeviceWindow::kMarker));
        ASSERT_TRUE(PumpUntil([&] {
            return window.messages.size() > before &&
                   window.Last().message == DeviceWindow::kMarker;
        })) << what;
        for (std::size_t i = before; i + 1 < window.messages.size(); ++i) {
            EXPECT_NE(pending, 0) << what << ": posted while the task ran";
            EXPECT_EQ(window.messages[i].message, WM_ANALYSIS_PROGRESS) << what;
            if (pending > 0) {
                EXPECT_EQ(window.messages[i].lParam, pending) << what;
            }
        }
        EXPECT_FALSE(window.Wait(std::chrono::milliseconds(150))) << what;
        // The device is free again at once.
        ASSERT_EQ(ZeroSpanSpectrumAnalysis(h(), 9, 100000, 0), 1) << what;
        EXPECT_EQ(Collect().size(), 104u) << what;
    };
    // Triggers that the empty scene never fires: waiting until stopped, the
    // waiting reports coming as fast as they may.
    ASSERT_EQ(ZeroSpanAnalysis(h(), 1, 100000, 0, 1, Word(-30.0), 10, 20, 1000, 500), 1);
    ASSERT_TRUE(window.Wait());
    EXPECT_EQ(window.Last().lParam, kWaiting);
    silentAfterTerminate("zero span waiting", kWaiting);
    ASSERT_EQ(RealTimeAnalysis(h(), 1, 100000, 0, 1, 3000, 4), 1);
    ASSERT_TRUE(window.Wait());
    EXPECT_EQ(window.Last().lParam, kWaiting);
    silentAfterTerminate("real time waiting", kWaiting);
    // Slices asked for: a batch may be on its way when the terminate comes.
    ASSERT_EQ(SemiRealTimeAnalysis(h(), 1, 100000, 0, 1), 1);
    ASSERT_GE(NextBatch(), 0);
    ASSERT_EQ(GetSemiRealTimeResult(h(), 1), 1);
    silentAfterTerminate("semi-real time", -1);

    // Tasks that take a hundred times their real duration, so that the
    // terminate lands inside them: a 50 s capture, a single block (10 s)
    // and a slice averaged 64 times (64 s).
    ::setenv("TORVEL_SIM_SPEED", "100", 1);
    ASSERT_EQ(InitTorvelDLL(h(), kTorvelMessageBase), 1);
    ASSERT_EQ(ZeroSpanAnalysis(h(), 1, 100000, 0, 0, 0, 52, 52, 500000, 250000), 1);
    ASSERT_FALSE(window.Wait(std::chrono::milliseconds(50)));
    silentAfterTerminate("50 s capture", 0);
    ASSERT_EQ(HighResolutionSingleAnalysis(h(), 1, 430000, 0), 1);
    silentAfterTerminate("single block", 0);
    ASSERT_EQ(SemiRealTimeAnalysis(h(), 1, 100000, 0, 64), 1);
    ASSERT_EQ(GetSemiRealTimeResult(h(), 1), 1);
    silentAfterTerminate("slice", 0);
    ASSERT_EQ(ZeroSpanAnalysis(h(), 1, 100000, 0, 0, 0, 52, 52, 500000, 250000), 1);
    EXPECT_EQ(ShutdownTorvelDLL(), 1);
    EXPECT_FALSE(window.Wait(std::chrono::milliseconds(150)));
}

TEST_F(SimulatorTasks, HostileArgumentsStartNoTask) {
    ASSERT_EQ(OpenWithScene("[Scene]\nSeed=6\n"), 1);
    const auto refused = [&](int result, const char* what) {
        EXPECT_EQ(result, 0) << what;
        EXPECT_EQ(GetTorvelLastError(), kTorvelErrorBadParameter) << what;
    };
    refused(ZeroSpanSpectrumAnalysis(h(), 1, 7999, 0), "base below range");
    refused(ZeroSpanSpectrumAnalysis(h(), 1, 3000001, 0), "base above range");
    refused(ZeroSpanAnalysis(h(), 1, 100000, 0, 0, 0, 52, 52, 0, 0), "no samples");
    refused(ZeroSpanAnalysis(h(), 1, 100000, 0, 0, 0, 52, 52, 500001, 0), "too many samples");
    refused(ZeroSpanAnalysis(h(), 1, 100000, 0, 0, 0, 52, 52, -5, 0), "negative samples");
    refused(ZeroSpanAnalysis(h(), 1, 100000, 0, 0, 0, 52, 52, 100, 101), "post above samples");
    refused(ZeroSpanAnalysis(h(), 1, 100000, 0, 0, 0, 52, 52, 100, -1), "negative post");
    refused(ZeroSpanAnalysis(h(), 1, 100000, 0, 0, 0, 104, 104, 100, 50), "bin 104");
    refused(ZeroSpanAnalysis(h(), 1, 100000, 0, 0, 0, 60, 59, 100, 50), "bins reversed");
    refused(ZeroSpanAnalysis(h(), 1, 100000, 0, 3, 0, 52, 52, 100, 50), "trigger type 3");
    refused(ZeroSpanAnalysis(h(), 1, 100000, 0, -1, 0, 52, 52, 100, 50), "trigger type -1");
    refused(ZeroSpanAnalysis(h(), 1, 7999, 0, 0, 0, 52, 52, 100, 50), "capture base");
    refused(RealTimeAnalysis(h(), 1, 7999, 0, 0, 1000, 4), "real-time base");
    refused(RealTimeAnalysis(h(), 1, 100000, 0, 3, 1000, 4), "real-time trigger type");
    refused(RealTimeAnalysis(h(), 1, 100000, 0, 1, 1000, 256), "trigger position");
    refused(SemiRealTimeAnalysis(h(), 1, 9999, 0, 1), "slice start below range");
    refused(SemiRealTimeAnalysis(h(), 1, 3000001, 0, 1), "slice start above range");
    refused(HighResolutionSingleAnalysis(h(), 1, -1, 0), "single block below 0");
    refused(HighResolutionSingleAnalysis(h(), 1, 3000001, 0), "single block above range");
    refused(PowerSupplyControl(1, 1, 0, 0), "no such output");
    refused(PowerSupplyControl(0, 2, 0, 0), "enable 2");
    refused(PowerSupplyControl(0, 1, 2, 0), "no third path");
    EXPECT_EQ(GetSemiRealTimeResult(h(), 1), 0); // no semi-real-time task
    EXPECT_EQ(GetTorvelLastError(), kTorvelErrorTaskFailed);
    PumpEvents();
    EXPECT_TRUE(window.messages.empty());

    // The limits themselves are taken.
    ASSERT_EQ(ZeroSpanAnalysis(h(), 1, 100000, 0, 0, 0, 0, 103, 1, 1), 1);
    ASSERT_TRUE(WaitEnd());
    EXPECT_EQ(window.Last().lParam, 1);
    ASSERT_EQ(ZeroSpanAnalysis(h(), 1, 100000, 0, 0, 0, 52, 52, 500000, 0), 1);
    ASSERT_TRUE(WaitEnd());
    EXPECT_EQ(window.Last().lParam, 500000);
}

TEST_F(SimulatorTasks, PathSwitchReadsTheSecondPathLevels) {
    ASSERT_EQ(OpenWithScene("[Scene]\nSeed=2\n[Signal A]\nFrequency=431000\nLevel=-40\n"
                            "CrossPolar=30\n[Signal B]\nFrequency=431500\nLevel=-50\n"),
              1);
    const auto levels = [&](double a, double b) {
        const std::vector<short> block = NormalBlock(430000, 1, 0);
        ASSERT_EQ(block.size(), 200u);
        EXPECT_NEAR(Db(block[100]), a, 0.3);
        EXPECT_NEAR(Db(block[150]), b, 0.3);
    };
    levels(-40.0, -50.0);
    EXPECT_EQ(PowerSupplyControl(0, 1, 1, 0), 1);
    levels(-70.0, -75.0); // B's isolation is the 25 dB default
    // The XPD window's single high-resolution block, on the second path.
    ASSERT_EQ(HighResolutionSingleAnalysis(h(), 7, 430000, 0), 1);
    const std::vector<short> fine = Collect();
    ASSERT_EQ(fine.size(), 2000u);
    EXPECT_EQ(ArgMax(fine.data(), 2000), 1000);
    EXPECT_NEAR(Db(fine[1000]), -70.0, 0.3);
    EXPECT_EQ(PowerSupplyControl(0, 1, 0, 0), 1);
    levels(-40.0, -50.0);
    EXPECT_EQ(PowerSupplyControl(0, 1, 1, 0), 1);
    EXPECT_EQ(PowerSupplyControl(0, 0, 1, 0), 1); // switched off: back to RF1
    levels(-40.0, -50.0);

    ShutdownTorvelDLL();
    EXPECT_EQ(PowerSupplyControl(0, 1, 1, 0), 0);
    EXPECT_EQ(GetTorvelLastError(), kTorvelErrorNotOpen);
}

TEST_F(SimulatorTasks, FaultsReachTheBandTasks) {
    ASSERT_EQ(OpenWithScene("[Scene]\nSeed=8\n[Faults]\nFailTask=1,4\nShortDataTask=2,3\n"), 1);
    ASSERT_EQ(ZeroSpanSpectrumAnalysis(h(), 3, 100000, 0), 1);
    ASSERT_TRUE(WaitEnd());
    EXPECT_EQ(window.Last().message, WM_DEVICE_ERROR);
    EXPECT_EQ(window.Last().lParam, kTorvelErrorTaskFailed);
    EXPECT_EQ(GetLastFunctionDataCount(), 0);
    ASSERT_EQ(RealTimeAnalysis(h(), 3, 100000, 0, 0, 1000, 4), 1);
    ASSERT_TRUE(WaitEnd());
    EXPECT_EQ(window.Last().lParam, 256 * 128 / 2); // half the data
    ASSERT_EQ(ZeroSpanAnalysis(h(), 3, 100000, 0, 0, 0, 52, 52, 100, 0), 1);
    ASSERT_TRUE(WaitEnd());
    EXPECT_EQ(window.Last().lParam, 50);
    window.messages.clear();
    ASSERT_EQ(SemiRealTimeAnalysis(h(), 3, 100000, 0, 1), 1);
    ASSERT_TRUE(WaitEnd());
    EXPECT_EQ(window.Last().message, WM_DEVICE_ERROR);
    EXPECT_EQ(window.messages.size(), 1u);
}

TEST_F(SimulatorTasks, UnplugDuringACapturePostsALinkError) {
    ::setenv("TORVEL_SIM_SPEED", "1", 1);
    // Unplugged a second after opening: time to start the task on a busy
    // machine.
    ASSERT_EQ(OpenWithScene("[Faults]\nUnplugAt=1\n"), 1);
    ASSERT_EQ(ZeroSpanAnalysis(h(), 7, 100000, 0, 0, 0, 52, 52, 500000, 0), 1);
    ASSERT_TRUE(WaitEnd());
    EXPECT_EQ(window.Last().message, WM_DEVICE_ERROR);
    EXPECT_EQ(window.Last().wParam, 7u);
    EXPECT_EQ(window.Last().lParam, kTorvelErrorRemoved);
    EXPECT_EQ(GetLastFunctionDataCount(), 0);

    // A semi-real-time task that waits to be asked is unplugged too.
    ASSERT_EQ(OpenWithScene("[Faults]\nUnplugAt=1\n", "srt.ini"), 1);
    window.messages.clear();
    ASSERT_EQ(SemiRealTimeAnalysis(h(), 8, 100000, 0, 1), 1);
    ASSERT_TRUE(WaitEnd());
    EXPECT_EQ(window.Last().lParam, kTorvelErrorRemoved);
    EXPECT_EQ(Progress().size(), 1u);
}

namespace {

// FNV-1a of a capture's words: the simulator's output pinned to the bit.
std::uint64_t Fingerprint(const std::vector<short>& words) {
    std::uint64_t h = 0xCBF29CE484222325ULL;
    for (short w : words) {
        h ^= static_cast<std::uint16_t>(w);
        h *= 0x100000001B3ULL;
    }
    return h ^ words.size();
}

} // namespace

TEST_F(SimulatorTasks, CapturesOfASeedStayBitIdentical) {
    // Tones, a burst, a fading carrier, a swept tone crossing the band and a
    // pulse; captures one after another (each starts at the device time the
    // last ended, and its noise depends on its task number), at two
    // attenuations, immediate and triggered; then a zero-span capture and a
    // normal block, which share the capture's machinery and noise table.
    ASSERT_EQ(OpenWithScene("[Scene]\nSeed=77\n[Signal Tone]\nFrequency=427500\nLevel=-50\n"
                            "[Signal Burst]\nType=Burst\nFrequency=441000\nLevel=-45\n"
                            "Width=2000\nDuty=0.3\nBurstLength=0.2\n"
                            "[Signal Fade]\nFrequency=424000\nLevel=-60\nFade=6\nFadePeriod=0.05\n"
                            "[Signal Sweep]\nType=Sweep\nFrequency=418000\nStopFrequency=452000\n"
                            "Level=-40\nPeriod=0.01\n"
                            "[Signal Key]\nType=Pulse\nFrequency=432500\nLevel=-40\nPeriod=0.02\n"
                            "PulseLength=1\nFirstPulse=0.003\n"),
              1);
    std::vector<std::uint64_t> prints;
    const auto take = [&](int started) {
        EXPECT_EQ(started, 1);
        EXPECT_TRUE(WaitEnd());
        EXPECT_EQ(window.Last().message, WM_ANALYSIS_DONE);
        prints.push_back(Fingerprint(Data()));
    };
    for (int i = 0; i < 3; ++i)
        take(RealTimeAnalysis(h(), 1, 420000, 0, 0, 1000, 4));
    take(RealTimeAnalysis(h(), 1, 420000, 10, 0, 1000, 4));
    take(RealTimeAnalysis(h(), 1, 420000, 10, 1, 1000, 4));
    take(RealTimeAnalysis(h(), 1, 420000, 0, 2, 500, 200));
    take(RealTimeAnalysis(h(), 1, 2990000, 0, 0, 1000, 4)); // bins above the range
    take(ZeroSpanAnalysis(h(), 1, 420000, 0, 0, 0, 10, 60, 2000, 1000));
    take(RealTimeAnalysis(h(), 1, 420000, 0, 0, 1000, 4));
    take(NormalSpectrumAnalysis(h(), 1, 400000, 2, 0, 2));
    const std::vector<std::uint64_t> pinned = {
        0x0CD95E086E3A0A8BULL, 0xDB4BAA4BA681924BULL, 0x08BEA9C039C6AF76ULL, 0x31BC155EF43B5863ULL,
        0xFCC0DC07C9552383ULL, 0x8B3F1AB26E5D5B27ULL, 0x44A5127DA9DFB4D8ULL, 0x48974FC3804964FDULL,
        0x8CB293AC316F53D2ULL, 0x8F94EC0975518EACULL};
    EXPECT_EQ(prints, pinned);
}

// A task the program starts again as soon as it is in (a real-time window's
// capture after capture, a zero-span window's sweep after sweep) is measured
// ahead while the program takes one in. The same calls at speed 0 and at
// speed 20 give the same words; at speed 20 no task ends before its time
// (minSeconds of device time), and one terminated at once stays silent. The
// attenuation changes for the last two: their words are those of the new
// setting (the displayed noise floor rises), not of a task measured ahead.
std::vector<std::vector<short>> SimulatorTasks::RepeatedTaskKeepsItsWordsTimeAndSilence(
    const std::function<int(BYTE tag, int attenuation)>& start, double minSeconds) {
    const auto run = [&](const char* speed, const std::string& name) {
        ::setenv("TORVEL_SIM_SPEED", speed, 1);
        EXPECT_EQ(
            OpenWithScene("[Scene]\nSeed=9\n[Signal Tone]\nFrequency=427500\nLevel=-50\n", name),
            1);
        std::vector<std::vector<short>> words;
        for (int i = 0; i < 6; ++i) {
            window.messages.clear();
            QElapsedTimer timer;
            timer.start();
            EXPECT_EQ(start(static_cast<BYTE>(i + 1), i < 4 ? 0 : 10), 1);
            if (i == 2) {
                EXPECT_EQ(TerminateTorvelTask(), 1);
                if (speed[0] != '0') {
                    EXPECT_FALSE(window.Wait(std::chrono::milliseconds(100)));
                } else {
                    // It may have ended before the terminate.
                    ::PostMessage(h(), DeviceWindow::kMarker, 0, 0);
                    EXPECT_TRUE(PumpUntil([&] {
                        return !window.messages.empty() &&
                               window.Last().message == DeviceWindow::kMarker;
                    }));
                }
                continue;
            }
            EXPECT_TRUE(WaitEnd());
            EXPECT_EQ(window.Last().message, WM_ANALYSIS_DONE);
            EXPECT_EQ(window.Last().wParam, static_cast<WPARAM>(i + 1));
            if (speed[0] != '0') {
                EXPECT_GE(timer.nsecsElapsed(), static_cast<qint64>(20 * minSeconds * 1e9))
                    << "task " << i;
            }
            words.push_back(Data());
        }
        return words;
    };
    const std::vector<std::vector<short>> instant = run("0", "instant.ini");
    std::set<std::uint64_t> prints;
    for (const std::vector<short>& w : instant) {
        prints.insert(Fingerprint(w));
    }
    EXPECT_EQ(prints.size(), 5u);
    EXPECT_EQ(run("20", "timed.ini"), instant);
    // The floor, as the median word, of the last task at 0 dB and the first at 10 dB.
    const auto median = [](std::vector<short> w) {
        std::nth_element(w.begin(), w.begin() + w.size() / 2, w.end());
        return w[w.size() / 2];
    };
    EXPECT_EQ(instant.size(), 5u);
    if (instant.size() == 5u) {
        EXPECT_GT(median(instant[3]) - median(instant[2]), 5 * 164);
    }
    return instant;
}

TEST_F(SimulatorTasks, CaptureAfterCaptureKeepsItsWordsTimeAndSilence) {
    RepeatedTaskKeepsItsWordsTimeAndSilence(
        [&](BYTE tag, int attenuation) {
            return RealTimeAnalysis(h(), tag, 420000, attenuation, 0, 1000, 4);
        },
        1524e-6);
}

// Blocks of a sweep of 2 MHz each: the next block (measured ahead), the same
// block twice (not the next one measured ahead), another block than the one
// measured ahead. Each block's words are its own: the tone at 427.5 MHz is in
// the second block only.
TEST_F(SimulatorTasks, BlockAfterBlockKeepsItsWordsTimeAndSilence) {
    constexpr std::array<int, 6> kBlocks{0, 1, 1, 1, 1, 2}; // the third is terminated
    const std::vector<std::vector<short>> words = RepeatedTaskKeepsItsWordsTimeAndSilence(
        [&](BYTE tag, int attenuation) {
            const int block = kBlocks[static_cast<std::size_t>(tag - 1)];
            return NormalSpectrumAnalysis(h(), tag, 424000 + 2000 * block, 2, attenuation, 1);
        },
        500e-6 + 100 * 10e-6);
    const std::array<bool, 5> toned{false, true, true, true, false};
    for (std::size_t i = 0; i < words.size() && i < toned.size(); ++i) {
        EXPECT_EQ(*std::max_element(words[i].begin(), words[i].end()) > Word(-60.0), toned[i])
            << "task " << i;
    }
}

TEST_F(SimulatorTasks, SweepAfterSweepKeepsItsWordsTimeAndSilence) {
    RepeatedTaskKeepsItsWordsTimeAndSilence(
        [&](BYTE tag, int attenuation) {
            return ZeroSpanSpectrumAnalysis(h(), tag, 420000, attenuation);
        },
        500e-6);
}

TEST_F(SimulatorTasks, StartsAndTerminatesInAnyOrderStaySilentAndComplete) {
    // Seeded interleavings of the calls a real-time window and another window
    // make on a shared device: the same immediate capture again (measured
    // ahead), another band or attenuation, a triggered capture, a normal block,
    // a semi-real-time task's slices, a terminate at once or after the task
    // ended, a reopen. A terminated task posts nothing once the terminate
    // returns; every other task ends with its own tag and its words.
    const std::string scene = "[Scene]\nSeed=5\n[Signal Tone]\nFrequency=427500\nLevel=-50\n";
    for (const char* speed : {"0", "1"}) {
        ::setenv("TORVEL_SIM_SPEED", speed, 1);
        ASSERT_EQ(OpenWithScene(scene, std::string("s") + speed + ".ini"), 1);
        std::mt19937 random(speed[0] == '0' ? 3u : 4u);
        std::set<WPARAM> silenced;
        std::size_t markerAt = 0;
        const auto checkSilence = [&] {
            for (std::size_t i = markerAt; i < window.messages.size(); ++i) {
                const auto& m = window.messages[i];
                if (m.message != DeviceWindow::kMarker) {
                    EXPECT_FALSE(silenced.count(m.wParam))
                        << "message from terminated tag " << m.wParam;
                }
            }
        };
        for (int step = 0; step < 150; ++step) {
            const BYTE tag = static_cast<BYTE>(step % 200 + 1);
            checkSilence();
            silenced.erase(tag);
            const int op = static_cast<int>(random() % 9);
            int started = 0;
            bool realTime = true;
            bool stopNow = false;
            switch (op) {
            case 0:
            case 1:
            case 2:
                started = RealTimeAnalysis(h(), tag, 420000, 0, 0, 1000, 4);
                break;
            case 3:
                started = RealTimeAnalysis(h(), tag, 440000, 0, 0, 1000, 4);
                break;
            case 4:
                started = RealTimeAnalysis(h(), tag, 420000, 10, 0, 1000, 4);
                break;
            case 5:
                started = RealTimeAnalysis(h(), tag, 420000, 0, 1, 50, 4);
                break;
            case 6:
                started = NormalSpectrumAnalysis(h(), tag, 400000, 2, 0, 2);
                realTime = false;
                break;
            case 7: {
                // A continuing task: slices taken in and asked for again,
                // then stopped.
                ASSERT_EQ(SemiRealTimeAnalysis(h(), tag, 100000, 0, 1), 1);
                for (int slice = 0; slice < 3; ++slice) {
                    ASSERT_TRUE(window.Wait());
                    ASSERT_EQ(window.Last().message, WM_ANALYSIS_PROGRESS);
                    EXPECT_GT(Data().size(), 0u);
                    ASSERT_EQ(GetSemiRealTimeResult(h(), tag), 1);
                }
                started = 1;
                stopNow = true;
                break;
            }
            default:
                ShutdownTorvelDLL();
                ASSERT_EQ(OpenWithScene(scene, std::string("s") + speed + ".ini"), 1);
                continue;
            }
            ASSERT_EQ(started, 1) << "step " << step;
            const unsigned end = random() % 4;
            if (stopNow || end == 0 || (op == 5 && end != 3)) {
                // At once, or after the thread took it up.
                if (end == 1)
                    std::this_thread::yield();
                EXPECT_EQ(TerminateTorvelTask(), 1);
                silenced.insert(tag);
                markerAt = window.messages.size();
                ::PostMessage(h(), DeviceWindow::kMarker, 0, 0);
                ASSERT_TRUE(PumpUntil([&] {
                    return std::any_of(
                        window.messages.begin() + static_cast<std::ptrdiff_t>(markerAt),
                        window.messages.end(),
                        [](const auto& m) { return m.message == DeviceWindow::kMarker; });
                }));
                // Messages posted before the terminate returned may precede the
                // marker; none may follow it.
                while (window.messages[markerAt].message != DeviceWindow::kMarker)
                    ++markerAt;
                continue;
            }
            ASSERT_TRUE(WaitEnd()) << "step " << step;
            ASSERT_EQ(window.Last().message, WM_ANALYSIS_DONE) << "step " << step;
            EXPECT_EQ(window.Last().wParam, tag);
            const std::vector<short> words = Data();
            if (realTime) {
                EXPECT_EQ(words.size(), static_cast<std::size_t>(window.Last().lParam));
                EXPECT_GT(words.size(), 0u);
            }
            if (end == 3) {
                EXPECT_EQ(TerminateTorvelTask(), 1); // after the end: nothing to stop
            }
        }
        ::PostMessage(h(), DeviceWindow::kMarker, 0, 0);
        ASSERT_TRUE(PumpUntil([&] {
            return !window.messages.empty() && window.Last().message == DeviceWindow::kMarker;
        }));
        checkSilence();
        ShutdownTorvelDLL();
    }
}
