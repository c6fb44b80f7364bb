// Drawing a spectrum: the point mapping of one 150 000-point trace onto a
// 1000-pixel-wide graph in each compare mode, and one full render of a normal
// window (root, graph with grid and texts, the data line and five visible
// traces of 150 000 points each, into the off-screen buffer and one blit)
// against drawing the same six traces naively as QPainter::drawPolyline of all
// their points.
//
// BM_MakePoints/<mode>: items are samples mapped.
// BM_MakeSlicePoints: a slice of the 3D graph, fewer samples than columns.
// BM_RenderWindow/<width>/<height>: one paint of the window into an image.
// BM_RenderWindowScale2/<width>/<height>: the same at scale 2 (an image of
// 2 x width by 2 x height device pixels).
// BM_NaivePolylines/<width>/<height>: six drawPolyline calls of 150 000 points
// each into an image of that size, after a fill.
#include "analysis/graphinterface.h"
#include "draw/datalinecontext.h"
#include "lib/drawobject.h"
#include "platform/dc.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPolygon>

#include <array>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr DWORD kPoints = 150000;
constexpr DWORD kStart = 1000000; // kHz
constexpr DWORD kStep = 20;       // kHz
constexpr int kTraces = 6;        // the data line and Trace1..Trace5

// Noise around -90 dB with narrow carriers, as a sweep delivers it.
std::vector<short> Sweep(unsigned seed, double offset) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(-90.0 + offset, 3.0);
    std::vector<short> v(kPoints);
    for (DWORD i = 0; i < kPoints; ++i) {
        double db = noise(rng);
        if (i % 7000 < 2) {
            db = -30.0 - (i / 7000) % 30 + offset;
        }
        v[i] = static_cast<short>(db * 163.84);
    }
    return v;
}

void Load(CDataLineContext& line, const std::vector<short>& words) {
    line.Configure(kStart, kStep, kPoints);
    for (DWORD i = 0; i < kPoints; ++i) {
        line.SetWord(i, words[i]);
    }
}

std::unique_ptr<CDrawObject> Pen(COLORREF color) {
    auto object = std::make_unique<CDrawObject>();
    LOGPEN pen;
    pen.lopnColor = color;
    object->SetUpdateLOGPEN(&pen);
    object->SetUpdateBkColor(RGB(255, 255, 255));
    object->SetUpdateTextColor(RGB(0, 0, 0));
    object->SetUpdateFlag();
    object->UpdateDrawObjectNow();
    return object;
}

constexpr COLORREF kColors[kTraces] = {RGB(255, 255, 0), RGB(255, 0, 0),   RGB(0, 255, 0),
                                       RGB(0, 160, 255), RGB(255, 0, 255), RGB(0, 255, 255)};

void BM_MakePoints(benchmark::State& state) {
    CDataLineContext line;
    Load(line, Sweep(1, 0.0));
    line.SetCompareMode(static_cast<BYTE>(state.range(0)));
    line.SetRect(CRect(40, 20, 1039, 620)); // 1000 columns
    line.SetWindow(kStart, kStart + kStep * kPoints, 0.0, -100.0);
    for (auto _ : state) {
        SIZE factors;
        line.MakePoints(&factors, nullptr);
        benchmark::DoNotOptimize(line.GetEnvelopePoints());
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
    state.counters["points"] = line.GetEnvelopeCount();
}
BENCHMARK(BM_MakePoints)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

// One slice of the real-time window's 3D graph: 104 samples in a 427-pixel
// slice box, so each column is one sample. Items are samples mapped.
void BM_MakeSlicePoints(benchmark::State& state) {
    constexpr DWORD kSamples = 104;
    const std::vector<short> words = Sweep(1, 0.0);
    CDataLineContext line;
    line.Configure(kStart, kStep, kSamples);
    for (DWORD i = 0; i < kSamples; ++i) {
        line.SetWord(i, words[i]);
    }
    line.SetWindow(kStart, kStart + kStep * kSamples, 0.0, -100.0);
    const CRect box(0, 0, 426, 200);
    for (auto _ : state) {
        line.MakePoints(nullptr, &box);
        benchmark::DoNotOptimize(line.GetEnvelopePoints());
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
}
BENCHMARK(BM_MakeSlicePoints);

// A normal window: the graph interface with six visible traces.
struct Window {
    CGraphInterface intf;
    std::array<CDataLineContext, kTraces> lines;
    std::array<std::unique_ptr<CDrawObject>, kTraces> pens;
    Window() {
        auto* panel = intf.GetDrawObject(CGraphInterface::kPanelFace);
        LOGPEN grid;
        grid.lopnColor = RGB(0, 128, 0);
        panel->SetUpdateLOGPEN(&grid);
        panel->SetUpdateBkColor(RGB(0, 0, 0));
        panel->SetUpdateTextColor(RGB(255, 255, 255));
        panel->SetUpdateFlag();
        panel->UpdateDrawObjectNow();
        for (int k = 0; k < kTraces; ++k) {
            Load(lines[static_cast<size_t>(k)], Sweep(static_cast<unsigned>(k + 2), k * 2.0));
            pens[static_cast<size_t>(k)] = Pen(kColors[k]);
            lines[static_cast<size_t>(k)].SetDrawObject(pens[static_cast<size_t>(k)].get());
            intf.GetGraph().AddOverlay(&lines[static_cast<size_t>(k)]);
        }
        CNormalGraphContext& graph = intf.GetGraph();
        graph.SetScale(kStart, kStart + kStep * kPoints, -100.0, 0.0);
        *graph.GetCornerText(0) = "10dB/Div  ATT:30dB";
        *graph.GetCornerText(1) = "RBW : 20KHz [Torvel]";
        *graph.GetCornerText(2) = "START : 1000MHz";
        *graph.GetCornerText(3) = "STOP : 4000MHz";
        graph.GetFrame().GetFrame().SetReferenceLine(9);
    }
};

void BM_RenderWindow(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    Window window;
    QImage image(width, height, QImage::Format_RGB32);
    CDC dc(&image);
    const CRect client(0, 0, width, height);
    for (auto _ : state) {
        window.intf.Draw(&dc, client);
    }
    dc.Flush();
    state.counters["paints"] =
        static_cast<double>(window.intf.GetRoot().GetPaintCount()) / state.iterations();
}
BENCHMARK(BM_RenderWindow)->Args({1280, 800})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

// The same window on a screen at scale 2: width x height logical pixels drawn
// into an image of twice as many device pixels each way.
void BM_RenderWindowScale2(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    Window window;
    QImage image(2 * width, 2 * height, QImage::Format_RGB32);
    image.setDevicePixelRatio(2.0);
    CDC dc(&image);
    const CRect client(0, 0, width, height);
    for (auto _ : state) {
        window.intf.Draw(&dc, client);
    }
    dc.Flush();
    state.counters["paints"] =
        static_cast<double>(window.intf.GetRoot().GetPaintCount()) / state.iterations();
}
BENCHMARK(BM_RenderWindowScale2)
    ->Args({1280, 800})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond);

void BM_NaivePolylines(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    std::vector<QPolygon> polygons;
    for (int k = 0; k < kTraces; ++k) {
        const std::vector<short> words = Sweep(static_cast<unsigned>(k + 2), k * 2.0);
        QPolygon polygon(static_cast<int>(kPoints));
        for (DWORD i = 0; i < kPoints; ++i) {
            const int x = static_cast<int>(static_cast<long long>(i) * (width - 1) / kPoints);
            const int y = static_cast<int>(-words[i] * static_cast<long long>(height - 1) / 16384);
            polygon.setPoint(static_cast<int>(i), x, y);
        }
        polygons.push_back(std::move(polygon));
    }
    QImage image(width, height, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&image);
        painter.fillRect(image.rect(), Qt::black);
        for (int k = 0; k < kTraces; ++k) {
            painter.setPen(
                QColor(GetRValue(kColors[k]), GetGValue(kColors[k]), GetBValue(kColors[k])));
            painter.drawPolyline(polygons[static_cast<size_t>(k)]);
        }
    }
}
BENCHMARK(BM_NaivePolylines)->Args({1280, 800})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
