// libTorvelSoapy.so on the test receiver (testreceiver.cpp), loaded as the
// program loads it, and its spectrum code on its own.
#include "soapytest.h"

#include "device/soapy/flattopspectrum.h"
#include "device/soapy/sweepplan.h"

#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>
#include <thread>

namespace {

std::vector<std::complex<float>> Tone(int n, double cyclesPerSample, double amplitude) {
    std::vector<std::complex<float>> s(n);
    for (int i = 0; i < n; ++i)
        s[i] = std::polar(static_cast<float>(amplitude),
                          static_cast<float>(2 * std::numbers::pi * cyclesPerSample * i));
    return s;
}

} // namespace

TEST(FlatTopSpectrum, AToneReadsItsLevelAnywhereBetweenBinsAndTheEnbwIsKnown) {
    torvelsoapy::CFlatTopSpectrum spectrum(1024);
    EXPECT_NEAR(spectrum.EnbwBins(), 3.77, 0.01);
    for (double offset : {0.0, 0.25, 0.5}) {
        spectrum.Reset();
        const double bin = 100 + offset;
        spectrum.Add(Tone(1024, bin / 1024, 0.01).data());
        const std::vector<float> p = spectrum.Mean();
        const auto peak = std::max_element(p.begin(), p.end()) - p.begin();
        EXPECT_NEAR(peak, 512 + bin, 0.5);
        EXPECT_NEAR(10 * std::log10(p[peak]), -40.0, 0.05) << offset;
    }
    // A DC offset leaves no spike.
    spectrum.Reset();
    std::vector<std::complex<float>> dc(1024, {0.1f, -0.05f});
    spectrum.Add(dc.data());
    EXPECT_LT(spectrum.Mean()[512], 1e-10);
}

namespace {

// Bins per point of a plan; every bin's offset from its tuning checked.
std::vector<int> BinsPerPoint(const torvelsoapy::SweepPlan& plan, int points, double rate) {
    std::vector<int> bins(static_cast<std::size_t>(points), 0);
    const double binHz = rate / plan.fftSize;
    for (const auto& t : plan.tunings) {
        for (int b = t.firstBin; b <= t.lastBin; ++b) {
            const double offset = (b - plan.fftSize / 2) * binHz;
            EXPECT_GE(offset, -0.4 * rate - binHz);
            EXPECT_LT(offset, 0.4 * rate + binHz);
            // The centre bin (the receiver's DC) gives no point.
            EXPECT_EQ(t.pointOf[b - t.firstBin] < 0, b == plan.fftSize / 2);
            if (t.pointOf[b - t.firstBin] >= 0)
                ++bins[static_cast<std::size_t>(t.pointOf[b - t.firstBin])];
        }
    }
    return bins;
}

} // namespace

TEST(SweepPlan, TuningsUseBothSidesAbutWithoutSeamsAndLeaveTheCentreBinOut) {
    const double rate = 1e6, step = 10e3;
    const int points = 300; // 3 MHz: three times the rate
    const auto plan = torvelsoapy::PlanSweep(100e6, step, points, rate, 3.77);
    EXPECT_NEAR(plan.rbwHz, step, 0.02 * step);
    // 0.8 MHz a tuning: four of them.
    EXPECT_EQ(plan.tunings.size(), 4u);
    const std::vector<int> bins = BinsPerPoint(plan, points, rate);
    for (int p = 0; p < points; ++p) {
        EXPECT_GE(bins[static_cast<std::size_t>(p)], 1) << p;
        EXPECT_FALSE(plan.unmeasured[static_cast<std::size_t>(p)]) << p;
    }
    // Blocks hold whole tunings, at least as many as the analyser's block
    // needs: two at 2.4 MS/s for 2 MHz.
    EXPECT_EQ(torvelsoapy::BlockPoints(10e3, 2e6, 2.4e6), 384);
    EXPECT_EQ(torvelsoapy::BlockPoints(200e3, 2e6, 2.4e6), 19);
    EXPECT_EQ(torvelsoapy::BlockPoints(100e3, 10e6, 2.4e6), 115);
    EXPECT_EQ(torvelsoapy::BlockPoints(10e3, 2e6, 10e6), 800);
}

TEST(SweepPlan, TuningsStayWithinTheReceiversRangesAndTheTopIsMeasuredFromBelow) {
    const double rate = 2.4e6, step = 100e3;
    // 1756 to 1765.8 MHz on a receiver up to 1766 MHz: the sixth tuning
    // would lie at 1766.51 MHz.
    const std::vector<torvelsoapy::TuningRange> top{{24e6, 1766e6}};
    const int points = 99;
    const auto plan = torvelsoapy::PlanSweep(1756e6, step, points, rate, 3.77, top);
    ASSERT_FALSE(plan.tunings.empty());
    for (const auto& t : plan.tunings)
        EXPECT_LE(t.centerHz, 1766e6);
    EXPECT_EQ(plan.tunings.back().centerHz, 1766e6);
    const std::vector<int> bins = BinsPerPoint(plan, points, rate);
    for (int p = 0; p < points; ++p)
        EXPECT_GE(bins[static_cast<std::size_t>(p)], 1) << p;
    // Two ranges with a gap: no tuning in it; what no tuning reaches is
    // marked, the rest is measured.
    const std::vector<torvelsoapy::TuningRange> gap{{90e6, 100.2e6}, {102e6, 110e6}};
    const auto split = torvelsoapy::PlanSweep(99e6, 10e3, 401, 1e6, 3.77, gap);
    for (const auto& t : split.tunings)
        EXPECT_TRUE(t.centerHz <= 100.2e6 || t.centerHz >= 102e6) << t.centerHz;
    for (int p = 0; p < 401; ++p) {
        const double f = 99e6 + p * 10e3;
        // 0.4 MHz either side of the ranges' ends is still seen.
        EXPECT_EQ(split.unmeasured[static_cast<std::size_t>(p)], f > 100.6e6 + 1 && f < 101.6e6 - 1)
            << f;
    }
    EXPECT_EQ(torvelsoapy::NearestTuning(101e6, gap), 100.2e6);
    EXPECT_EQ(torvelsoapy::NearestTuning(101.5e6, gap), 102e6);
    EXPECT_EQ(torvelsoapy::NearestTuning(95e6, gap), 95e6);
}

TEST_F(SoapyTest, AToneAppearsAtItsFrequencyAndLevelAtEveryAttenuationAndRbw) {
    ASSERT_TRUE(Open("tone_hz=100303700,tone_dbfs=-40,noise_dbfs=-100"));
    EXPECT_EQ(GetMaxAttenuation(), 50);
    for (int attenuation : {0, 20}) {
        const std::vector<short> words = NormalBlock(100000, 1, attenuation, 4);
        // Two tunings of 1.92 MHz at 2.4 MS/s.
        ASSERT_EQ(words.size(), 384u);
        const auto peak = std::max_element(words.begin(), words.end()) - words.begin();
        // 100.3037 MHz lies in the cell of point 30 (100.300 MHz, 10 kHz apart).
        EXPECT_NEAR(peak, 30, 1) << attenuation;
        EXPECT_NEAR(Db(words[peak]), -40.0, 0.5) << attenuation;
        EXPECT_LT(Db(words[100]), -80.0);
    }
    // Every RBW step: the RBW the device reports is the one its FFT has
    // (3.77 bins of the flat-top window at 2.4 MS/s), the tone lies in its
    // cell and reads its level.
    const double enbw = torvelsoapy::CFlatTopSpectrum::EnbwBinsOf(1024);
    for (int index = 1; index <= 5; ++index) {
        const int stepKHz = GetRBWFrequency(kTorvelKindNormal, index);
        ASSERT_GT(stepKHz, 0) << index;
        const double rbwHz = torvelsoapy::PlanSweep(100e6, stepKHz * 1e3, 10, 2.4e6, enbw).rbwHz;
        EXPECT_NEAR(rbwHz, stepKHz * 1e3, 0.01 * stepKHz * 1e3) << "index " << index;
        const std::vector<short> words = NormalBlock(100000, index, 0, 2);
        ASSERT_EQ(words.size(), static_cast<std::size_t>(3840 / stepKHz));
        const auto peak = std::max_element(words.begin(), words.end()) - words.begin();
        EXPECT_NEAR(peak, std::lround(303.7 / stepKHz), 1) << "index " << index;
        EXPECT_NEAR(Db(words[peak]), -40.0, 0.5) << "index " << index;
    }
    const double highResolutionHz = torvelsoapy::PlanSweep(100e6, 1e3, 10, 2.4e6, enbw).rbwHz;
    EXPECT_EQ(GetRBWFrequency(kTorvelKindHighResolution, 0), 1);
    EXPECT_NEAR(highResolutionHz, 1e3, 10.0);
}

TEST_F(SoapyTest, TheCalibrationOffsetShiftsLevelsOnceAndAHostileOneIsRefused) {
    std::string problem;
    ASSERT_TRUE(torveldevice::LoadDeviceLibrary(
        "soapy:driver=torveltest,tone_hz=100303700,tone_dbfs=-40", 12.5, &problem))
        << problem;
    ASSERT_EQ(InitTorvelDLL(window.GetSafeHwnd(), kTorvelMessageBase), 1);
    // The graphs' reference (full scale at attenuation 0) and the levels move
    // together by the offset.
    EXPECT_EQ(GetZeroReferenceLevel(), 12.5);
    const std::vector<short> words = NormalBlock(100000, 1, 20, 4);
    ASSERT_EQ(words.size(), 384u);
    EXPECT_NEAR(Db(*std::max_element(words.begin(), words.end())), -27.5, 0.5);
    for (double hostile : {std::nan(""), 1e300, -250.0, std::numeric_limits<double>::infinity()}) {
        problem.clear();
        EXPECT_FALSE(torveldevice::LoadDeviceLibrary("soapy:driver=torveltest", hostile, &problem))
            << hostile;
        EXPECT_NE(problem.find("level offset"), std::string::npos) << problem;
        EXPECT_EQ(torveldevice::LoadedDeviceChoice(), "simulator");
        EXPECT_TRUE(torveldevice::LoadedDeviceCalibrated());
    }
    // Sample rates and settling times no receiver has are refused as well.
    for (const char* hostile : {"rate=1e300", "rate=inf", "rate=-2e6", "settle=1e9", "rate=2e6x"}) {
        problem.clear();
        EXPECT_FALSE(torveldevice::LoadDeviceLibrary(
            std::string("soapy:driver=torveltest,") + hostile, 0.0, &problem))
            << hostile;
        EXPECT_NE(problem.find("refused the device arguments"), std::string::npos) << problem;
    }
    // Loaded by its path the receiver's library is just as uncalibrated.
    ASSERT_TRUE(torveldevice::LoadDeviceLibrary(TORVEL_SOAPY_LIBRARY, 0.0, &problem)) << problem;
    EXPECT_FALSE(torveldevice::LoadedDeviceCalibrated());
}

TEST_F(SoapyTest, ABandThreeTimesTheReceiversWidthIsSweptWithoutSeams) {
    // 2.4 MHz (five tunings) at 0.6 MS/s; the receiver still gives the old
    // frequency for a while after each retune.
    ASSERT_TRUE(Open("rate=600000,noise_dbfs=-60,tone_hz=50e6,tune_delay=1500"));
    const std::vector<short> words = NormalBlock(100000, 2, 0, 32);
    ASSERT_EQ(words.size(), 120u);
    double mean = 0;
    for (short w : words)
        mean += Db(w);
    mean /= static_cast<double>(words.size());
    // Groups of ten points (200 kHz) each lie within 1 dB of the whole floor.
    for (std::size_t g = 0; g < words.size(); g += 10) {
        double group = 0;
        for (std::size_t i = g; i < g + 10; ++i)
            group += Db(words[i]);
        EXPECT_NEAR(group / 10, mean, 1.0) << "points " << g;
    }
}

TEST_F(SoapyTest, AnUnplugIsReportedAsLinkLostAndRecoveredOnReopening) {
    ASSERT_TRUE(Open("tone_hz=100.5e6"));
    ASSERT_EQ(NormalBlock(100000, 3, 0, 1).size(), 76u);
    Plug(false);
    ASSERT_EQ(NormalSpectrumAnalysis(window.GetSafeHwnd(), 7, 100000, 3, 0, 1), 1);
    ASSERT_TRUE(window.Wait());
    EXPECT_EQ(window.Last().message, WM_DEVICE_ERROR);
    EXPECT_EQ(window.Last().wParam, 7u);
    EXPECT_EQ(window.Last().lParam, kTorvelErrorRemoved);
    EXPECT_TRUE(TorvelErrorIsLinkLost(GetTorvelLastError()));
    EXPECT_EQ(NormalSpectrumAnalysis(window.GetSafeHwnd(), 8, 100000, 3, 0, 1), 0);
    ShutdownTorvelDLL();
    EXPECT_EQ(InitTorvelDLL(window.GetSafeHwnd(), kTorvelMessageBase), 0);
    Plug(true);
    ASSERT_EQ(InitTorvelDLL(window.GetSafeHwnd(), kTorvelMessageBase), 1);
    const std::vector<short> words = NormalBlock(100000, 3, 0, 1);
    ASSERT_EQ(words.size(), 76u);
    EXPECT_NEAR(Db(*std::max_element(words.begin(), words.end())), -40.0, 0.5);
}

TEST_F(SoapyTest, AStalledOrThrowingStreamIsReportedAsLinkLostAndRecoveredOnReopening) {
    struct Case {
        int fault;
        int error;
    };
    for (const Case c : {Case{1, kTorvelErrorTimeout}, Case{2, kTorvelErrorRemoved}}) {
        ASSERT_TRUE(Open("tone_hz=100.5e6")) << c.fault;
        ASSERT_EQ(NormalBlock(100000, 3, 0, 1).size(), 76u);
        Fault(c.fault);
        ASSERT_EQ(NormalSpectrumAnalysis(window.GetSafeHwnd(), 7, 100000, 3, 0, 1), 1);
        // Reported, never a task that hangs or a block of nothing.
        ASSERT_TRUE(window.Wait(std::chrono::seconds(10))) << c.fault;
        EXPECT_EQ(window.Last().message, WM_DEVICE_ERROR) << c.fault;
        EXPECT_EQ(window.Last().wParam, 7u);
        EXPECT_EQ(window.Last().lParam, c.error) << c.fault;
        EXPECT_TRUE(TorvelErrorIsLinkLost(GetTorvelLastError()));
        EXPECT_EQ(NormalSpectrumAnalysis(window.GetSafeHwnd(), 8, 100000, 3, 0, 1), 0);
        // The receiver comes back: reopened, it measures the tone again.
        Fault(0);
        ShutdownTorvelDLL();
        ASSERT_EQ(InitTorvelDLL(window.GetSafeHwnd(), kTorvelMessageBase), 1);
        const std::vector<short> words = NormalBlock(100000, 3, 0, 1);
        ASSERT_EQ(words.size(), 76u) << c.fault;
        EXPECT_NEAR(Db(*std::max_element(words.begin(), words.end())), -40.0, 0.5);
        ShutdownTorvelDLL();
    }
}

TEST_F(SoapyTest, OverrunsInATaskAreCountedAndTheirSamplesNeverUsedButIdleOnesAreNot) {
    // A receiver that holds two buffers (13.7 ms): it overflows whenever no
    // task reads it, and loses nothing a task measures.
    ASSERT_TRUE(Open("tone_hz=100.3e6,ring=2"));
    for (int pause = 0; pause < 3; ++pause) {
        const std::vector<short> words = NormalBlock(100000, 1, 0, 8);
        ASSERT_GT(words.size(), 30u);
        EXPECT_NEAR(Db(words[30]), -40.0, 0.5);
        // The idle time between single sweeps is what this test is about.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(torveldevice::LoadedDeviceOverruns(), 0);
    // One that loses one buffer of seven while the tasks stream.
    ASSERT_TRUE(Open("tone_hz=100.3e6,overrun_every=7"));
    const std::vector<short> words = NormalBlock(100000, 1, 0, 32);
    ASSERT_EQ(words.size(), 384u);
    EXPECT_NEAR(Db(words[30]), -40.0, 0.5);
    // 0.1 s of zero span (15 buffers) streams across losses.
    ASSERT_EQ(ZeroSpanAnalysis(window.GetSafeHwnd(), 4, 90000, 0, 0, 0, 40, 40, 1000, 1000), 1);
    ASSERT_TRUE(window.Wait(std::chrono::seconds(60)));
    EXPECT_EQ(window.Last().message, WM_ANALYSIS_DONE);
    // The program reads the count through the loader (Help > About).
    EXPECT_GT(torveldevice::LoadedDeviceOverruns(), 0);
    std::string problem;
    ASSERT_TRUE(torveldevice::LoadDeviceLibrary("simulator", 0.0, &problem));
    EXPECT_EQ(torveldevice::LoadedDeviceOverruns(), -1);
}

TEST_F(SoapyTest, ATerminatedTaskPostsNothingAndEndsWellWithinItsBound) {
    ASSERT_TRUE(Open("tone_hz=100.3e6"));
    ASSERT_EQ(HighResolutionSpectrumAnalysis(window.GetSafeHwnd(), 3, 100000, 0, 64), 1);
    TerminateTorvelTask();
    // A zero-span capture waiting for a level no signal reaches.
    ASSERT_EQ(ZeroSpanAnalysis(window.GetSafeHwnd(), 4, 90000, 0, 1, 0, 40, 40, 1000, 500), 1);
    ASSERT_TRUE(window.Wait());
    EXPECT_EQ(window.Last().lParam, 0x0800);
    const auto before = std::chrono::steady_clock::now();
    TerminateTorvelTask();
    // The figure is in bench/RESULTS.md; this bound only guards against a hang.
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
    PostMessage(window.GetSafeHwnd(), DeviceWindow::kMarker, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return window.Last().message == DeviceWindow::kMarker; }));
    EXPECT_TRUE(std::none_of(window.messages.begin(), window.messages.end(), [](const auto& m) {
        return m.message == WM_ANALYSIS_DONE || m.message == WM_DEVICE_ERROR;
    }));
    // The link stays: the next sweep measures.
    EXPECT_EQ(NormalBlock(100000, 3, 0, 1).size(), 76u);
}

// The scene's remote key: a 5 ms pulse at 433.92 MHz, -40 dBFS, every second
// from 0.5 s on, over a floor of -80 dBFS per sample.
constexpr const char* kKeyFob = "pulse_hz=433.92e6,pulse_dbfs=-40,tone_hz=50e6";
constexpr int kKeyFobBase = 420000; // the band kinds' base for a window about it
constexpr int kKeyFobBin = 56;      // 434.000 MHz +- 125 kHz

TEST_F(SoapyTest, TheKeyFobPulseTriggersAZeroSpanCaptureAtItsPosition) {
    ASSERT_TRUE(Open(kKeyFob));
    // The zero-span spectrum block shows the band about the pulse.
    ASSERT_EQ(ZeroSpanSpectrumAnalysis(window.GetSafeHwnd(), 2, kKeyFobBase, 0), 1);
    ASSERT_TRUE(window.Wait(std::chrono::seconds(60)));
    ASSERT_EQ(window.Last().message, WM_ANALYSIS_DONE);
    EXPECT_EQ(GetLastFunctionDataCount(), 104);
    EXPECT_EQ(GetRBWFrequency(kTorvelKindZeroSpan, 1), 250);

    // 1000 samples (0.1 s), 500 of them from the trigger point on.
    const short level = static_cast<short>(-60 * 163.84);
    for (int first : {55, 56}) { // a wide band tuned on its middle, a narrow one beside
        window.messages.clear();
        ASSERT_EQ(ZeroSpanAnalysis(window.GetSafeHwnd(), 5, kKeyFobBase, 0, 1, level, first, 57,
                                   1000, 500),
                  1);
        ASSERT_TRUE(PumpUntil(
            [&] {
                return !window.messages.empty() && window.Last().message != WM_ANALYSIS_PROGRESS;
            },
            std::chrono::seconds(60)));
        ASSERT_EQ(window.Last().message, WM_ANALYSIS_DONE);
        EXPECT_EQ(window.Last().lParam, 1000);
        EXPECT_EQ(window.messages.front().lParam, 0x0800);
        EXPECT_EQ(window.messages[window.messages.size() - 2].lParam, 0x1000);
        std::vector<short> words(1000);
        ASSERT_EQ(ReceiveData(words.data(), 1000), 1000);
        EXPECT_LE(words[499], level) << first;
        EXPECT_GT(words[500], level) << first;
        for (int i = 0; i < 498; i += 7)
            EXPECT_LT(Db(words[i]), -75.0) << first << " sample " << i;
        // 5 ms: 50 samples of 100 us at the pulse's level.
        for (int i = 502; i < 548; i += 5)
            EXPECT_NEAR(Db(words[i]), -40.0, 1.0) << first << " sample " << i;
        for (int i = 553; i < 1000; i += 11)
            EXPECT_LT(Db(words[i]), -75.0) << first << " sample " << i;
    }
}

TEST_F(SoapyTest, TheKeyFobPulseTriggersARealTimeCaptureAtItsPosition) {
    ASSERT_TRUE(Open(kKeyFob));
    constexpr int kPosition = 4, kBlocks = 256, kBins = 128;
    EXPECT_EQ(RealTimeAnalysis(window.GetSafeHwnd(), 6, kKeyFobBase, 0, 3, 1000, kPosition), 0);
    EXPECT_EQ(GetTorvelLastError(), kTorvelErrorBadParameter);
    // 10 dB above the floor: the noise alone never fires it.
    ASSERT_EQ(RealTimeAnalysis(window.GetSafeHwnd(), 6, kKeyFobBase, 0, 1, 1000, kPosition), 1);
    ASSERT_TRUE(PumpUntil(
        [&] { return !window.messages.empty() && window.Last().message != WM_ANALYSIS_PROGRESS; },
        std::chrono::seconds(60)));
    ASSERT_EQ(window.Last().message, WM_ANALYSIS_DONE);
    EXPECT_EQ(window.Last().lParam, kBlocks * kBins);
    EXPECT_EQ(window.messages[window.messages.size() - 2].lParam, 0x1000);
    std::vector<short> words(kBlocks * kBins);
    ASSERT_EQ(ReceiveData(words.data(), kBlocks * kBins), kBlocks * kBins);
    auto at = [&](int block, int bin) { return words[block * kBins + bin]; };
    // The floor of a 250 kHz bin lies near -90 dBFS.
    for (int k = 0; k < kPosition - 1; ++k)
        EXPECT_LT(Db(at(k, kKeyFobBin)), -78.0) << "block " << k;
    EXPECT_GT(Db(at(kPosition, kKeyFobBin)), -80.0);
    // Once a whole FFT (256 samples, 27 blocks) lies in the pulse, the bin
    // shows its level.
    for (int k = kPosition + 27; k < kBlocks; k += 9)
        EXPECT_NEAR(Db(at(k, kKeyFobBin)), -40.0, 1.0) << "block " << k;
    // Bins the receiver does not see (2.4 MS/s about 434 MHz) are no samples.
    EXPECT_EQ(at(kPosition, 0), -32640);
    EXPECT_EQ(at(kPosition, 127), -32640);
    EXPECT_LT(Db(at(kPosition + 20, kKeyFobBin - 3)), -78.0);
}

TEST_F(SoapyTest, SemiRealTimeSlicesArriveWhenAskedAndStopWithTheTask) {
    // 1 ms of settling: slices come quickly.
    ASSERT_TRUE(Open("tone_hz=100.5e6,rate=4e6,settle=1"));
    EXPECT_EQ(GetSemiRealTimeResult(window.GetSafeHwnd(), 9), 0);
    EXPECT_EQ(GetTorvelLastError(), kTorvelErrorTaskFailed);
    ASSERT_EQ(SemiRealTimeAnalysis(window.GetSafeHwnd(), 9, 100000, 0, 1), 1);
    EXPECT_EQ(NormalSpectrumAnalysis(window.GetSafeHwnd(), 1, 100000, 1, 0, 1), 0);
    EXPECT_EQ(GetTorvelLastError(), kTorvelErrorBusy);
    for (int batch = 0; batch < 3; ++batch) {
        ASSERT_TRUE(window.Wait(std::chrono::seconds(60)));
        ASSERT_EQ(window.Last().message, WM_ANALYSIS_PROGRESS);
        EXPECT_EQ(window.Last().wParam, 9u);
        const int slices = static_cast<int>(window.Last().lParam >> 16);
        ASSERT_GE(slices, 1);
        ASSERT_EQ(GetLastFunctionDataCount(), slices * 400);
        std::vector<short> words(static_cast<std::size_t>(slices) * 400);
        ReceiveData(words.data(), slices * 400);
        // 100.5 MHz is point 2 of 250 kHz from 100 MHz.
        EXPECT_NEAR(Db(words[2]), -40.0, 1.0);
        EXPECT_LT(Db(words[200]), -70.0);
        EXPECT_EQ(GetSemiRealTimeResult(window.GetSafeHwnd(), 8), 0);
        EXPECT_EQ(GetTorvelLastError(), kTorvelErrorBadParameter);
        ASSERT_EQ(GetSemiRealTimeResult(window.GetSafeHwnd(), 9), 1);
    }
    TerminateTorvelTask();
    EXPECT_EQ(GetSemiRealTimeResult(window.GetSafeHwnd(), 9), 0);
    EXPECT_EQ(GetTorvelLastError(), kTorvelErrorTaskFailed);
    PostMessage(window.GetSafeHwnd(), DeviceWindow::kMarker, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return window.Last().message == DeviceWindow::kMarker; }));
    // One tuning of 3.2 MHz at 4 MS/s.
    EXPECT_EQ(NormalBlock(100000, 3, 0, 1).size(), 64u);
    // A band that begins below the receiver's lowest frequency (1 MHz) is
    // measured from there on, the points below are no samples.
    window.messages.clear();
    ASSERT_EQ(SemiRealTimeAnalysis(window.GetSafeHwnd(), 9, 0, 0, 1), 1);
    ASSERT_TRUE(window.Wait(std::chrono::seconds(60)));
    ASSERT_EQ(window.Last().message, WM_ANALYSIS_PROGRESS);
    std::vector<short> low(400);
    ASSERT_EQ(ReceiveData(low.data(), 400), 400);
    for (int p = 0; p < 4; ++p)
        EXPECT_EQ(low[p], -32640) << p;
    EXPECT_LT(Db(low[4]), -70.0);
    EXPECT_GT(Db(low[4]), -150.0);
    TerminateTorvelTask();
    const std::vector<short> sweep = NormalBlock(0, 4, 0, 1);
    ASSERT_EQ(sweep.size(), 32u);
    for (int p = 0; p < 10; ++p)
        EXPECT_EQ(sweep[p], -32640) << p;
    EXPECT_GT(Db(sweep[10]), -150.0);
    // So is a block that reaches beyond the highest frequency (2999.8 MHz at
    // 4 MS/s): it has its whole size, and a window's grid moves on by whole
    // blocks.
    const std::vector<short> top = NormalBlock(2998000, 1, 0, 1);
    ASSERT_EQ(top.size(), 320u);
    EXPECT_GT(Db(top[180]), -150.0);
    for (int p = 181; p < 320; ++p)
        EXPECT_EQ(top[p], -32640) << p;
}

TEST_F(SoapyTest, AnUnplugDuringAStreamingTaskIsReportedAndRecovered) {
    ASSERT_TRUE(Open("tone_hz=100.5e6,rate=4e6,settle=1"));
    ASSERT_EQ(SemiRealTimeAnalysis(window.GetSafeHwnd(), 9, 100000, 0, 1), 1);
    ASSERT_TRUE(window.Wait(std::chrono::seconds(60)));
    // The window asks for the next slices; then the receiver goes. (Asked
    // after the unplug, the stream may already have ended: a refusal.)
    ASSERT_EQ(GetSemiRealTimeResult(window.GetSafeHwnd(), 9), 1);
    Plug(false);
    ASSERT_TRUE(PumpUntil([&] { return window.Last().message == WM_DEVICE_ERROR; },
                          std::chrono::seconds(60)));
    EXPECT_EQ(window.Last().lParam, kTorvelErrorRemoved);
    // Asked for again, the stream is refused with the lost link's error.
    EXPECT_EQ(GetSemiRealTimeResult(window.GetSafeHwnd(), 9), 0);
    EXPECT_EQ(GetTorvelLastError(), kTorvelErrorRemoved);
    ShutdownTorvelDLL();
    Plug(true);
    ASSERT_EQ(InitTorvelDLL(window.GetSafeHwnd(), kTorvelMessageBase), 1);
    // A triggered real-time capture waiting when the receiver goes.
    ASSERT_EQ(RealTimeAnalysis(window.GetSafeHwnd(), 6, 90000, 0, 1, 3000, 4), 1);
    ASSERT_TRUE(window.Wait());
    Plug(false);
    ASSERT_TRUE(PumpUntil([&] { return window.Last().message == WM_DEVICE_ERROR; },
                          std::chrono::seconds(60)));
    EXPECT_EQ(window.Last().lParam, kTorvelErrorRemoved);
    ShutdownTorvelDLL();
    Plug(true);
    ASSERT_EQ(InitTorvelDLL(window.GetSafeHwnd(), kTorvelMessageBase), 1);
    ASSERT_EQ(RealTimeAnalysis(window.GetSafeHwnd(), 6, 90000, 0, 0, 0, 0), 1);
    ASSERT_TRUE(window.Wait(std::chrono::seconds(60)));
    EXPECT_EQ(window.Last().message, WM_ANALYSIS_DONE);
}

TEST_F(SoapyTest, TheSecondInputIsUsedWhereThereIsOneAndRefusedWhereNot) {
    ASSERT_TRUE(Open("tone_hz=100.3e6"));
    EXPECT_EQ(PowerSupplyControl(0, 1, 1, 0), 0);
    EXPECT_EQ(GetTorvelLastError(), kTorvelErrorTaskFailed);
    // The link stays.
    EXPECT_EQ(NormalBlock(100000, 3, 0, 1).size(), 76u);
    ShutdownTorvelDLL();

    ASSERT_TRUE(Open("tone_hz=100.3e6,inputs=2"));
    EXPECT_EQ(PowerSupplyControl(0, 1, 2, 0), 0);
    EXPECT_EQ(GetTorvelLastError(), kTorvelErrorBadParameter);
    for (int path : {1, 0}) {
        ASSERT_EQ(PowerSupplyControl(0, 1, path, 0), 1);
        const std::vector<short> words = NormalBlock(100000, 3, 0, 1);
        ASSERT_EQ(words.size(), 76u);
        EXPECT_NEAR(Db(words[6]), path ? -65.0 : -40.0, 1.0) << path;
    }
}
