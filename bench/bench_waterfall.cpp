// The colour waterfall at 1920 x 1080 with a ring of 256 slices of 4000
// samples (a noise floor, a fixed carrier and a tone that sweeps the band):
//  - adding one slice (its samples kept, one row coloured), alone and
//    followed by a draw of the whole picture;
//  - colouring all 256 slices again (a new level range), alone and followed
//    by a draw: the full redraw;
//  - a new frequency window: the column peaks of all slices taken again from
//    their samples, coloured and drawn.
// With TORVEL_BENCH_PNG=<path> the picture is also written to <path>.
#include "draw/waterfallcontext.h"
#include "lib/drawobject.h"
#include "platform/dc.h"
#include "platform/profile.h"
#include "trace/tracestore.h"

#include <QGuiApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int kSamples = 4000;
constexpr int kSlices = 256;
constexpr int kStart = 2400000; // kHz
constexpr int kStep = 25;
constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

std::vector<std::vector<short>> MakeSlices(int n) {
    std::mt19937 random(7);
    std::normal_distribution<double> noise(-90.0, 2.5);
    std::vector<std::vector<short>> slices;
    for (int k = 0; k < n; ++k) {
        std::vector<short> words(kSamples);
        const double tone = 200.0 + (kSamples - 400.0) * k / n;
        for (int i = 0; i < kSamples; ++i) {
            double dB = noise(random);
            dB = std::max(dB, -30.0 - 0.4 * std::abs(i - tone));
            dB = std::max(dB, -55.0 - 0.6 * std::abs(i - 3000.0));
            words[static_cast<size_t>(i)] = static_cast<short>(dB * kWordsPerDb);
        }
        slices.push_back(std::move(words));
    }
    return slices;
}

std::unique_ptr<CDrawObject> MakeDrawObject() {
    auto object = std::make_unique<CDrawObject>(0, "BenchWaterfall");
    object->SetUpdateBkColor(RGB(0, 0, 40));
    object->SetUpdateTextColor(RGB(255, 230, 0));
    object->SetUpdateFlag();
    object->UpdateDrawObjectNow();
    return object;
}

struct Scene {
    CDC dc;
    CBitmap bitmap;
    std::unique_ptr<CDrawObject> object = MakeDrawObject();
    std::vector<std::vector<short>> slices = MakeSlices(kSlices);
    CWaterfallContext fall;

    Scene() {
        dc.CreateCompatibleDC(nullptr);
        bitmap.CreateCompatibleBitmap(&dc, kWidth, kHeight);
        dc.SelectObject(&bitmap);
        fall.SetDrawObject(object.get());
        fall.SetAutoLayoutFlag(0);
        fall.SetSliceCount(kSlices);
        fall.SetGrid(kStart, kStep, kSamples);
        fall.SetFrequencyWindow(kStart, kStart + kStep * kSamples);
        fall.SetLevelRange(-110.0, -10.0);
        fall.SetWindowRect(0, 0, kWidth - 1, kHeight - 1);
        fall.SetSlicePeriod(50000);
        for (const auto& words : slices)
            fall.AddSlice(words.data(), kSamples);
    }
};

void BM_WaterfallAddSlice(benchmark::State& state) {
    Scene scene;
    size_t k = 0;
    for (auto _ : state) {
        const auto& words = scene.slices[k++ % scene.slices.size()];
        scene.fall.AddSlice(words.data(), kSamples);
    }
}
BENCHMARK(BM_WaterfallAddSlice)->Unit(benchmark::kMicrosecond);

void BM_WaterfallAddSliceAndDraw(benchmark::State& state) {
    Scene scene;
    size_t k = 0;
    for (auto _ : state) {
        const auto& words = scene.slices[k++ % scene.slices.size()];
        scene.fall.AddSlice(words.data(), kSamples);
        scene.fall.Draw(&scene.dc, nullptr, nullptr);
    }
}
BENCHMARK(BM_WaterfallAddSliceAndDraw)->Unit(benchmark::kMicrosecond);

void BM_WaterfallRecolour(benchmark::State& state) {
    Scene scene;
    int k = 0;
    for (auto _ : state)
        scene.fall.SetLevelRange(-110.0 - (k++ & 1), -10.0);
    state.SetItemsProcessed(state.iterations() * kSlices);
}
BENCHMARK(BM_WaterfallRecolour)->Unit(benchmark::kMicrosecond);

void BM_WaterfallFullRedraw(benchmark::State& state) {
    Scene scene;
    int k = 0;
    for (auto _ : state) {
        scene.fall.SetLevelRange(-110.0 - (k++ & 1), -10.0);
        scene.fall.Draw(&scene.dc, nullptr, nullptr);
    }
    state.SetItemsProcessed(state.iterations() * kSlices);
}
BENCHMARK(BM_WaterfallFullRedraw)->Unit(benchmark::kMicrosecond);

// A new frequency window: every slice's column peaks taken again from its
// samples, coloured, and the picture drawn.
void BM_WaterfallRemapAndDraw(benchmark::State& state) {
    Scene scene;
    int k = 0;
    for (auto _ : state) {
        scene.fall.SetFrequencyWindow(kStart + (k++ & 1) * kStep, kStart + kStep * kSamples);
        scene.fall.Draw(&scene.dc, nullptr, nullptr);
    }
    state.SetItemsProcessed(state.iterations() * kSlices);
}
BENCHMARK(BM_WaterfallRemapAndDraw)->Unit(benchmark::kMicrosecond);

void WritePicture(const char* path) {
    Scene scene;
    scene.fall.Draw(&scene.dc, nullptr, nullptr);
    if (!scene.bitmap.GetImage().save(path, "PNG"))
        std::fprintf(stderr, "could not write %s\n", path);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    // The window alpha factor is read (and written back) from this profile.
    SetProfileFile("/tmp/torvel_bench_waterfall.INI");
    if (const char* path = std::getenv("TORVEL_BENCH_PNG"))
        WritePicture(path);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
