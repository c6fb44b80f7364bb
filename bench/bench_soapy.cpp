// The SoapySDR device library: the spectrum work of one second of 2.4 MS/s
// IQ (flat-top FFTs of the finest normal step and the peak of each point),
// and the time of a whole receiver's sweep at a 100 kHz step on the test
// receiver (tests/soapy), which streams in real time, loaded as the program
// loads it.
#include "device/TorvelAPI.h"
#include "device/loader/devicelibrary.h"
#include "device/soapy/flattopspectrum.h"
#include "device/soapy/sweepplan.h"
#include "platform/msgwindow.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

#include <complex>
#include <cstdlib>
#include <random>

using namespace torvelsoapy;

namespace {

constexpr double kRate = 2.4e6;

void BM_SpectrumOfOneSecondAt2_4MSps(benchmark::State& state) {
    // The finest step of the normal sweep (10 kHz) over a 2 MHz block.
    const SweepPlan plan = PlanSweep(100e6, 10e3, 200, kRate, CFlatTopSpectrum::EnbwBinsOf(1024));
    CFlatTopSpectrum spectrum(plan.fftSize);
    std::vector<std::complex<float>> iq(static_cast<std::size_t>(kRate));
    std::mt19937 random(1);
    std::normal_distribution<float> noise(0.0f, 0.01f);
    for (auto& s : iq)
        s = {noise(random), noise(random)};
    const SweepTuning& t = plan.tunings.front();
    std::vector<float> level(200);
    for (auto _ : state) {
        spectrum.Reset();
        for (std::size_t at = 0; at + plan.fftSize <= iq.size(); at += plan.fftSize)
            spectrum.Add(iq.data() + at);
        const std::vector<float> power = spectrum.Mean();
        for (int b = t.firstBin; b <= t.lastBin; ++b)
            if (const int p = t.pointOf[b - t.firstBin]; p >= 0)
                level[p] = std::max(level[p], power[b]);
        benchmark::DoNotOptimize(level.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long>(kRate));
}
BENCHMARK(BM_SpectrumOfOneSecondAt2_4MSps)->Unit(benchmark::kMillisecond);

// One application for the whole run: posted messages reach the windows of
// the first application only.
void TheApplication() {
    static int argc = 1;
    static char name[] = "bench_soapy";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

class DoneWindow : public CWnd {
public:
    int done = 0;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_ANALYSIS_DONE || message == WM_DEVICE_ERROR)
            ++done;
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

// The sweep of a whole receiver of 24 to 1766 MHz at RBW 100 kHz (index 4),
// block after block as a normal window makes it, on the test receiver paced
// in real time at 2.4 MS/s (buffers of 16 384 samples, a queue of four kept
// across a retune, 5 ms of settling; a tuning above its top is clamped, as
// some drivers do). The ideal is (span / usable bandwidth
// of a tuning) x (settling + dwell): every tuning's whole band used, nothing
// else waited for.
void BM_SweepPacedReceiver24To1766MHz(benchmark::State& state) {
    ::setenv("SOAPY_SDR_PLUGIN_PATH", TORVEL_SOAPY_MODULES, 1);
    ::setenv("SOAPY_SDR_LOG_LEVEL", "WARNING", 1);
    TheApplication();
    std::string problem;
    DoneWindow window;
    if (!torveldevice::LoadDeviceLibrary("soapy:driver=torveltest,low_hz=24e6,high_hz=1766e6,"
                                         "mtu=16384,queue=4,noise_dbfs=-80,outside=clamp",
                                         0, &problem) ||
        !InitTorvelDLL(window.GetSafeHwnd(), kTorvelMessageBase)) {
        state.SkipWithError(problem.empty() ? "no test receiver" : problem.c_str());
        return;
    }
    const int first = GetMinFrequency(kTorvelKindNormal);
    const int last = GetMaxFrequency(kTorvelKindNormal);
    constexpr int kStepKHz = 100;
    for (auto _ : state) {
        for (int start = first; start <= last;) {
            const int before = window.done;
            NormalSpectrumAnalysis(window.GetSafeHwnd(), 1, start, 4, 0, 1);
            while (window.done == before)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            const int words = GetLastFunctionDataCount();
            if (words <= 0) {
                state.SkipWithError("a block failed");
                break;
            }
            start += words * kStepKHz;
        }
    }
    ShutdownTorvelDLL();
    const double spanMHz = (last - first) / 1e3;
    const double dwellS =
        FftSizeFor(kRate, kStepKHz * 1e3, CFlatTopSpectrum::EnbwBinsOf(1024)) / kRate;
    const double idealS = spanMHz / (UsableBandwidthHz(kRate) / 1e6) * (0.005 + dwellS);
    state.counters["MHz/s"] =
        benchmark::Counter(spanMHz * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["ideal_s"] = idealS;
}
BENCHMARK(BM_SweepPacedReceiver24To1766MHz)->Unit(benchmark::kMillisecond)->UseRealTime();

class ProgressWindow : public CWnd {
public:
    int progress = 0;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_ANALYSIS_PROGRESS)
            ++progress;
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

// TerminateTorvelTask while a streaming task runs (the call's own time, until
// the task thread has let go of the receiver): argument 0 = a zero-span
// capture waiting for a trigger that never comes, 1 = semi-real-time slices.
void BM_TerminateStreamingTask(benchmark::State& state) {
    ::setenv("SOAPY_SDR_PLUGIN_PATH", TORVEL_SOAPY_MODULES, 1);
    ::setenv("SOAPY_SDR_LOG_LEVEL", "WARNING", 1);
    TheApplication();
    std::string problem;
    ProgressWindow window;
    if (!torveldevice::LoadDeviceLibrary("soapy:driver=torveltest,settle=0.01", 0, &problem) ||
        !InitTorvelDLL(window.GetSafeHwnd(), kTorvelMessageBase)) {
        state.SkipWithError(problem.empty() ? "no test receiver" : problem.c_str());
        return;
    }
    double longest = 0.0;
    for (auto _ : state) {
        const int before = window.progress;
        if (state.range(0) == 0)
            ZeroSpanAnalysis(window.GetSafeHwnd(), 1, 90000, 0, 1, 0, 40, 40, 1000, 500);
        else
            SemiRealTimeAnalysis(window.GetSafeHwnd(), 1, 100000, 0, 1);
        while (window.progress == before)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const auto start = std::chrono::steady_clock::now();
        TerminateTorvelTask();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        longest = std::max(longest, seconds);
        QCoreApplication::processEvents();
    }
    ShutdownTorvelDLL();
    state.counters["longest_ms"] = longest * 1000;
}
BENCHMARK(BM_TerminateStreamingTask)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(200);

} // namespace

BENCHMARK_MAIN();
