// One full Draw of the spectrogram: 100 and 256 slices of 400 points at
// 1280 x 800 and 1920 x 1080. The slices are a synthetic spectrum: a noise
// floor, a fixed carrier and a tone that sweeps across the band over time.
// BM_LiveFrame is a frame of the real-time window: 100 slices of 104 points,
// every one new (its points made again), drawn onto the window's picture (an
// image, not a bitmap that follows its ink), the highlight off.
// BM_LiveWindowFrame is such a frame as the window draws it: 256 slices, each
// refilled with a new capture, and the frame's 2-pixel pen.
//
// With TORVEL_BENCH_PNG=<path> the 1280 x 800 picture of 256 slices is also
// written to <path> for a look at it.
#include "draw/3dgraphcontext.h"
#include "draw/datalinecontext.h"
#include "lib/drawobject.h"
#include "platform/dc.h"
#include "platform/profile.h"

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

constexpr int kPoints = 400;
constexpr int kStart = 2400000; // kHz
constexpr int kStep = 250;

// Slice k of n: noise about -90 dB, a carrier at a fixed frequency and a tone
// whose frequency moves from the low to the high end of the band with k.
std::vector<std::unique_ptr<CDataLineContext>> MakeSlices(int n, int points = kPoints,
                                                          unsigned seed = 7) {
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(-90.0, 2.5);
    std::vector<std::unique_ptr<CDataLineContext>> slices;
    for (int k = 0; k < n; ++k) {
        auto slice = std::make_unique<CDataLineContext>();
        slice->Configure(kStart, kStep, static_cast<DWORD>(points));
        const double tone = 20.0 + (points - 40.0) * k / n;
        for (int i = 0; i <= points; ++i) {
            double dB = noise(random);
            dB = std::max(dB, -30.0 - 4.0 * std::abs(i - tone));
            dB = std::max(dB, -55.0 - 6.0 * std::abs(i - 0.75 * points));
            slice->SetWord(static_cast<DWORD>(i), static_cast<short>(dB * kWordsPerDb));
        }
        slice->SetWindow(kStart, kStart + kStep * points, -10.0, -110.0);
        slices.push_back(std::move(slice));
    }
    return slices;
}

std::unique_ptr<CDrawObject> MakeDrawObject(int penWidth = 1) {
    auto object = std::make_unique<CDrawObject>(0, "Bench3DGraph");
    LOGPEN pen;
    pen.lopnStyle = PS_SOLID;
    pen.lopnWidth.x = penWidth;
    pen.lopnColor = RGB(255, 64, 64);
    object->SetUpdateLOGPEN(&pen);
    object->SetUpdateBkColor(RGB(0, 0, 48));
    object->SetUpdateTextColor(RGB(220, 220, 220));
    object->SetUpdateFlag();
    object->UpdateDrawObjectNow();
    return object;
}

// The graph over the whole surface, its ring filled oldest first.
struct Scene {
    CDC dc;
    CBitmap bitmap;
    std::unique_ptr<CDrawObject> object = MakeDrawObject();
    std::vector<std::unique_ptr<CDataLineContext>> slices;
    C3DGraphContext graph;

    Scene(int width, int height, int count) : slices(MakeSlices(count)) {
        dc.CreateCompatibleDC(nullptr);
        bitmap.CreateCompatibleBitmap(&dc, width, height);
        dc.SelectObject(&bitmap);
        graph.SetDrawObject(object.get());
        graph.SetAutoLayoutFlag(0);
        graph.SetSliceCount(count);
        graph.SetWindowRect(0, 0, width - 1, height - 1);
        for (auto& slice : slices) {
            graph.AddSlice(slice.get(), 0);
        }
        graph.SetSelectedSlice(count / 3);
        graph.SetChunkPosition(kStart + kStep * 300);
        graph.SetChunkFlag(1);
    }
};

void BM_Draw3DGraph(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const int width = static_cast<int>(state.range(1));
    const int height = static_cast<int>(state.range(2));
    Scene scene(width, height, count);
    for (auto _ : state) {
        scene.graph.Draw(&scene.dc, nullptr, nullptr);
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_Draw3DGraph)
    ->ArgNames({"slices", "width", "height"})
    ->Args({100, 1280, 800})
    ->Args({256, 1280, 800})
    ->Args({100, 1920, 1080})
    ->Args({256, 1920, 1080})
    ->Unit(benchmark::kMillisecond);

void WritePicture(const char* path) {
    Scene scene(1280, 800, 256);
    scene.graph.Draw(&scene.dc, nullptr, nullptr);
    const QImage& image = scene.bitmap.GetImage();
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "could not write %s\n", path);
    }
}

// A graph of a live window: laid out once, as the window does.
void LayOut(C3DGraphContext& graph, CDrawObject* object, int slices, int width, int height) {
    graph.SetDrawObject(object);
    graph.SetAutoLayoutFlag(0);
    graph.SetSliceCount(slices);
    graph.SetWindowRect(0, 0, width - 1, height - 1);
}

void BM_LiveFrame(benchmark::State& state) {
    constexpr int kSlices = 100, kWidth = 1280, kHeight = 800;
    const auto object = MakeDrawObject();
    const auto slices = MakeSlices(kSlices, 104);
    C3DGraphContext graph;
    LayOut(graph, object.get(), kSlices, kWidth, kHeight);
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        for (const auto& slice : slices) {
            graph.AddSlice(slice.get(), 0);
        }
        CDC dc(&image);
        graph.Draw(&dc, nullptr, nullptr);
    }
    state.SetItemsProcessed(state.iterations() * kSlices);
}
BENCHMARK(BM_LiveFrame)->Unit(benchmark::kMillisecond);

// A frame of the real-time window as it runs: 256 slices of 104 points, each
// refilled with a new capture (two captures in turn) and added anew, the
// frame's pen 2 pixels wide (the time axis), the highlight off.
void BM_LiveWindowFrame(benchmark::State& state) {
    constexpr int kSlices = 256, kSamples = 104, kWidth = 1280, kHeight = 800;
    const auto object = MakeDrawObject(2);
    const auto slices = MakeSlices(kSlices, kSamples);
    std::vector<std::vector<short>> captures[2];
    for (unsigned c = 0; c < 2; ++c) {
        for (const auto& slice : MakeSlices(kSlices, kSamples, 11 + c)) {
            captures[c].emplace_back(slice->GetData(), slice->GetData() + kSamples);
        }
    }
    C3DGraphContext graph;
    LayOut(graph, object.get(), kSlices, kWidth, kHeight);
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    size_t frame = 0;
    for (auto _ : state) {
        const auto& capture = captures[frame++ % 2];
        for (size_t k = 0; k < slices.size(); ++k) {
            slices[k]->SetInitializedFlag(0);
            slices[k]->StoreBlock(capture[k].data(), kSamples, 0, FALSE);
            graph.AddSlice(slices[k].get(), 0);
        }
        CDC dc(&image);
        graph.Draw(&dc, nullptr, nullptr);
    }
    state.SetItemsProcessed(state.iterations() * kSlices);
}
BENCHMARK(BM_LiveWindowFrame)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    // The window alpha factor is read (and written back) from this profile.
    SetProfileFile("/tmp/torvel_bench_3dgraph.INI");
    if (const char* path = std::getenv("TORVEL_BENCH_PNG")) {
        WritePicture(path);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
