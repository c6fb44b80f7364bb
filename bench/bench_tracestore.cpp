// Folding received blocks into a data line and five chained traces, against
// the plain copy of the same blocks into six arrays; and the peak, next-peak
// and threshold searches over a 150 000-point trace.
//
// BM_Fold/<state>/<block> folds one whole sweep of 150 000 points, block by
// block, into the six stores, all in the given trace state (2 max hold, 3 min
// hold, 4 write); BM_CopyBaseline/<block> copies the same blocks into six
// arrays with memcpy. Items are level words stored (six per received word).
#include "trace/tracestore.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr DWORD kPoints = 150000;
constexpr DWORD kStart = 1000000; // kHz
constexpr DWORD kStep = 1;        // kHz

// Noise around -100 dB with a carrier every 5000 points, as a sweep delivers it.
const std::vector<short>& sweep() {
    static const std::vector<short> data = [] {
        std::mt19937 rng(7);
        std::normal_distribution<double> noise(-100.0, 3.0);
        std::vector<short> v(kPoints);
        for (DWORD i = 0; i < kPoints; ++i) {
            double db = noise(rng);
            if (i % 5000 < 3) {
                db = -30.0 - (i / 5000) % 40;
            }
            v[i] = static_cast<short>(db * kWordsPerDb);
        }
        return v;
    }();
    return data;
}

struct Stores {
    CTraceStore line;
    CTraceStore traces[5];
    Stores(BYTE state) {
        line.SetNext(&traces[0]);
        for (int k = 0; k < 4; ++k) {
            traces[k].SetNext(&traces[k + 1]);
        }
        for (CTraceStore* s = &line; s; s = s->GetNext()) {
            s->Configure(kStart, kStep, kPoints);
            s->SetTraceState(state);
            short w = 0;
            s->StoreBlock(&w, 1, 0, FALSE); // the restart block
        }
    }
};

void BM_Fold(benchmark::State& state) {
    const BYTE traceState = static_cast<BYTE>(state.range(0));
    const int block = static_cast<int>(state.range(1));
    const std::vector<short>& data = sweep();
    Stores stores(traceState);
    for (auto _ : state) {
        for (DWORD pos = 0; pos < kPoints; pos += block) {
            const int n = static_cast<int>(std::min<DWORD>(block, kPoints - pos));
            for (CTraceStore* s = &stores.line; s; s = s->GetNext()) {
                s->StoreBlock(data.data() + pos, n, pos, TRUE);
            }
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPoints * 6);
}

void BM_CopyBaseline(benchmark::State& state) {
    const int block = static_cast<int>(state.range(0));
    const std::vector<short>& data = sweep();
    std::vector<std::vector<short>> arrays(6, std::vector<short>(kPoints + 1));
    for (auto _ : state) {
        for (DWORD pos = 0; pos < kPoints; pos += block) {
            const size_t n = std::min<DWORD>(block, kPoints - pos);
            for (auto& a : arrays) {
                std::memcpy(a.data() + pos, data.data() + pos, n * sizeof(short));
            }
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPoints * 6);
}

// One trace holding a full sweep.
const CTraceStore& filled() {
    static CTraceStore store;
    static bool done = [] {
        store.Configure(kStart, kStep, kPoints);
        short w = 0;
        store.StoreBlock(&w, 1, 0, FALSE);
        store.StoreBlock(sweep().data(), kPoints, 0, FALSE);
        return true;
    }();
    (void)done;
    return store;
}

void BM_Peak(benchmark::State& state) {
    const CTraceStore& s = filled();
    for (auto _ : state) {
        benchmark::DoNotOptimize(s.Peak(kStart, kStart + kPoints * kStep));
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_NextPeak(benchmark::State& state) {
    const CTraceStore& s = filled();
    const long long top = s.Peak(kStart, kStart + kPoints * kStep);
    for (auto _ : state) {
        benchmark::DoNotOptimize(s.NextPeak(top, kStart, kStart + kPoints * kStep));
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_Exceeds(benchmark::State& state) {
    const CTraceStore& s = filled();
    for (auto _ : state) {
        // Above every sample: the whole range is looked at.
        benchmark::DoNotOptimize(s.Exceeds(10.0, kStart, kStart + kPoints * kStep));
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}

} // namespace

BENCHMARK(BM_Fold)->ArgsProduct({{2, 3, 4}, {100, 2000}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyBaseline)->Arg(100)->Arg(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Peak)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NextPeak)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Exceeds)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
