// Cost of measuring in the simulator (the work of the task thread at speed
// 0) on the built-in scene: one block of each of the three sweeps, a
// semi-real-time slice, and the band captures of zero span and real time,
// whole or while they wait for a trigger.
#include "device/simulator/devicefacts.h"
#include "device/simulator/signalmodel.h"
#include "device/simulator/simtask.h"

#include "device/TorvelAPI.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

using namespace torvelsim;

namespace {

// Before a block, 4 MB of other data pass through the caches, as the
// program's drawing does between two blocks of a live window: the noise table
// is read from memory again.
void EvictCaches(benchmark::State& state) {
    static std::vector<std::uint64_t> other(std::size_t{1} << 19);
    state.PauseTiming();
    for (std::uint64_t& x : other)
        x += 1;
    benchmark::DoNotOptimize(other.data());
    state.ResumeTiming();
}

// A block of the kind's points from startKHz, with the simulator's noise
// table; cold: the caches hold other data before each block.
void SweepBlock(benchmark::State& state, int kind, int step, int startKHz, int captures,
                int catcher, int points = 0, bool cold = false) {
    const CSimScene scene = CSimScene::Default();
    const CSignalModel model(scene, 1);
    SweepRequest r;
    r.noise = std::make_shared<const CNoiseFactors>(1, scene.noiseSpreadDb);
    r.attenuationDb = 10;
    r.startKHz = startKHz;
    r.stepKHz = step;
    r.points = points ? points : SweepBlockPoints(kind, step);
    r.captures = captures;
    r.catcher = catcher;
    r.rbwKHz = RbwBandwidthKHz(step);
    r.pointSeconds = PointSeconds(kind);
    for (auto _ : state) {
        if (cold)
            EvictCaches(state);
        r.noiseSeed++;
        r.timeS += 0.01;
        benchmark::DoNotOptimize(model.Sweep(r));
    }
    state.SetItemsProcessed(state.iterations() * r.points);
}

// A normal block of 10 kHz points on the WLAN band, averaged 5 times (the default rate).
void BM_NormalBlockWlan(benchmark::State& s) {
    SweepBlock(s, kTorvelKindNormal, 10, 2410000, 5, 1);
}
// The WLAN window's block: 100 high-speed points of the band, averaged 5
// times, with the caches cold as in the live window.
void BM_WlanWindowBlockCold(benchmark::State& s) {
    SweepBlock(s, kTorvelKindHighSpeed, 100, 2430000, 5, 1, 0, true);
}
// A high-resolution block of the telemetry band, averaged 5 times.
void BM_HighResolutionBlock(benchmark::State& s) {
    SweepBlock(s, kTorvelKindHighResolution, 1, 430000, 5, 1);
}
// A high-speed block with the largest catcher rate.
void BM_HighSpeedBlockCatcher(benchmark::State& s) {
    SweepBlock(s, kTorvelKindHighSpeed, 100, 2407000, 1, 16);
}

// A semi-real-time slice: 400 points of 250 kHz over the swept tone's band,
// averaged 5 times (the default rate; 50 ms of signal).
void BM_SemiRealTimeSlice(benchmark::State& s) {
    SweepBlock(s, kTorvelKindSemiRealTime, 250, 1000000, 5, 1, kSliceBins);
}

TaskSetup BuiltIn() {
    TaskSetup setup;
    setup.scene = std::make_shared<const CSimScene>(CSimScene::Default());
    setup.sceneSeed = 1;
    setup.noiseSeed = 2;
    setup.attenuationDb = 30;
    setup.maxKHz = MaxFrequencyKHz(kTorvelKindRealTime);
    // The simulator's noise table and its real-time words, made once.
    setup.noise =
        std::make_shared<const CNoiseFactors>(setup.noiseSeed, setup.scene->noiseSpreadDb);
    const double floor = CSignalModel(*setup.scene, setup.sceneSeed)
                             .NoiseFloorMw(RbwBandwidthKHz(FixedStepKHz(kTorvelKindRealTime)));
    setup.noiseWords =
        std::make_shared<const CNoiseWords>(*setup.noise, floor, setup.attenuationDb);
    return setup;
}

// Runs a task to its end; returns the device seconds it took. Given the data
// of a task before, the task may write into their memory, as on the task
// thread; the data are left there.
double RunTask(CSimTask& task, double beginS, std::vector<short>* spare = nullptr) {
    if (spare)
        task.TakeBuffer(*spare);
    task.Begin(beginS);
    while (true) {
        TaskPiece piece = task.Next();
        if (piece.done) {
            if (spare)
                *spare = std::move(piece.words);
            return piece.endS;
        }
    }
}

// A 1 s zero-span capture of one bin (10 000 samples), free run.
void BM_ZeroSpanCaptureOneSecond(benchmark::State& state) {
    const TaskSetup setup = BuiltIn();
    ZeroSpanCapture c;
    c.baseKHz = 420000;
    c.stepKHz = 250;
    c.firstBin = 55;
    c.lastBin = 55;
    c.samples = 10000;
    for (auto _ : state) {
        auto task = MakeZeroSpanTask(setup, c);
        benchmark::DoNotOptimize(RunTask(*task, 0.6));
    }
    state.SetItemsProcessed(state.iterations() * c.samples);
}

// A real-time capture about the remote key, immediate (256 blocks).
void BM_RealTimeCapture(benchmark::State& state) {
    const TaskSetup setup = BuiltIn();
    RealTimeCapture c;
    c.baseKHz = 420000;
    c.stepKHz = 250;
    for (auto _ : state) {
        auto task = MakeRealTimeTask(setup, c);
        benchmark::DoNotOptimize(RunTask(*task, 0.6));
    }
    state.SetItemsProcessed(state.iterations() * kRealTimeBlocks);
}

// Capture after capture as the real-time window runs them: each writes into
// the memory of the data before it.
void BM_RealTimeCaptureAfterCapture(benchmark::State& state) {
    const TaskSetup setup = BuiltIn();
    RealTimeCapture c;
    c.baseKHz = 420000;
    c.stepKHz = 250;
    std::vector<short> spare;
    for (auto _ : state) {
        auto task = MakeRealTimeTask(setup, c);
        benchmark::DoNotOptimize(RunTask(*task, 0.6, &spare));
    }
    state.SetItemsProcessed(state.iterations() * kRealTimeBlocks);
}

// The window's level trigger waiting for the remote key's next pulse: about
// 0.9 s of device time, 225 000 blocks searched; items are blocks, so the
// rate says how much faster than real time the search runs.
void BM_RealTimeTriggerWait(benchmark::State& state) {
    const TaskSetup setup = BuiltIn();
    RealTimeCapture c;
    c.baseKHz = 420000;
    c.stepKHz = 250;
    c.triggerType = 1;
    c.senseHundredths = 1000;
    c.triggerBlock = 4;
    double device = 0.0;
    for (auto _ : state)
        device += RunTask(*MakeRealTimeTask(setup, c), 0.6);
    state.SetItemsProcessed(static_cast<std::int64_t>(device / kRealTimeBlockSeconds));
}

} // namespace

BENCHMARK(BM_SemiRealTimeSlice);
BENCHMARK(BM_ZeroSpanCaptureOneSecond);
BENCHMARK(BM_RealTimeCapture);
BENCHMARK(BM_RealTimeCaptureAfterCapture);
BENCHMARK(BM_RealTimeTriggerWait)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NormalBlockWlan);
BENCHMARK(BM_WlanWindowBlockCold);
BENCHMARK(BM_HighResolutionBlock);
BENCHMARK(BM_HighSpeedBlockCatcher);
BENCHMARK_MAIN();
