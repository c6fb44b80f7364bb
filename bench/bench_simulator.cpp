// Cost of measuring one sweep block in the simulator (the work of the task
// thread at speed 0), for the three sweeps on the built-in scene.
#include "device/simulator/devicefacts.h"
#include "device/simulator/signalmodel.h"

#include "device/TorvelAPI.h"

#include <benchmark/benchmark.h>

using namespace torvelsim;

namespace {

void SweepBlock(benchmark::State& state, int kind, int step, int startKHz, int captures,
                int catcher) {
    const CSimScene scene = CSimScene::Default();
    const CSignalModel model(scene, 1);
    SweepRequest r;
    r.startKHz = startKHz;
    r.stepKHz = step;
    r.points = SweepBlockPoints(kind, step);
    r.captures = captures;
    r.catcher = catcher;
    r.rbwKHz = RbwBandwidthKHz(step);
    r.pointSeconds = PointSeconds(kind);
    for (auto _ : state) {
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
// A high-resolution block of the telemetry band, averaged 5 times.
void BM_HighResolutionBlock(benchmark::State& s) {
    SweepBlock(s, kTorvelKindHighResolution, 1, 430000, 5, 1);
}
// A high-speed block with the largest catcher rate.
void BM_HighSpeedBlockCatcher(benchmark::State& s) {
    SweepBlock(s, kTorvelKindHighSpeed, 100, 2407000, 1, 16);
}

} // namespace

BENCHMARK(BM_NormalBlockWlan);
BENCHMARK(BM_HighResolutionBlock);
BENCHMARK(BM_HighSpeedBlockCatcher);
BENCHMARK_MAIN();
