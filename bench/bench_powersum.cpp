// The power sum of 100 000 levels by AccumulatePower (powers from two small
// tables, added in double precision), against the straightforward sum
// 10*log10(sum of 10^(dB/10)) of the same levels with pow for every level.
#include "lib/fixedpoint.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr int kLevels = 100000;
constexpr double kDbPerUnit = 0.006103515625;

// Noise around -100 dB with carriers up to -20 dB, as one sweep delivers them.
const std::vector<short>& levels() {
    static const std::vector<short> data = [] {
        std::mt19937 rng(2024);
        std::normal_distribution<double> noise(-100.0, 3.0);
        std::uniform_real_distribution<double> carrier(-60.0, -20.0);
        std::vector<short> v(kLevels);
        for (int i = 0; i < kLevels; ++i) {
            double db = i % 500 < 5 ? carrier(rng) : noise(rng);
            v[static_cast<size_t>(i)] = static_cast<short>(db / kDbPerUnit);
        }
        return v;
    }();
    return data;
}

void BM_AccumulatePower(benchmark::State& state) {
    std::vector<short> data = levels();
    for (auto _ : state)
        benchmark::DoNotOptimize(AccumulatePower(data.data(), kLevels));
    state.SetItemsProcessed(state.iterations() * kLevels);
}

void BM_PowerSumDouble(benchmark::State& state) {
    const std::vector<short>& data = levels();
    for (auto _ : state) {
        double power = 0.0;
        for (short v : data)
            power += std::pow(10.0, v * kDbPerUnit / 10.0);
        benchmark::DoNotOptimize(10.0 * std::log10(power));
    }
    state.SetItemsProcessed(state.iterations() * kLevels);
}

} // namespace

BENCHMARK(BM_AccumulatePower)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PowerSumDouble)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
