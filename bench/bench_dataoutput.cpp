// Writing and reading the CSV data file of a 65 000-point normal window, and
// one 640 x 480 PNG screen image (render and encode) against QImage::save of
// the same picture.
//
// BM_WriteNormalCsv and BM_ReadNormalCsv write and read the file through the
// normal core's own CSV section (six traces of noise with carriers); the read
// file is left at the path printed in the benchmark's label, so that
// bench/csv_vs_python.py can time Python's csv module on the same file and
// print the ratio. BM_PngOutput renders the window into its 640 x 480 bitmap
// and writes it with libpng; BM_QImageSavePng saves the same rendered picture
// with Qt's PNG writer.
#include "analysis/analysiscore.h"
#include "modes/normalanalysis.h"
#include "platform/dc.h"

#include <QFileInfo>
#include <QImage>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>

namespace {

constexpr DWORD kPoints = 65000;
constexpr DWORD kStep = 2; // kHz: 0..130 000 kHz, a 2000 kHz-aligned range

class BenchNormal : public CNormalAnalysis {
public:
    BenchNormal() : CNormalAnalysis(nullptr, nullptr) {
        SetTitle("Normal 1");
        SetTitleIndex(1);
        m_rbwIndex = 0;
    }
    void Fill() {
        m_start = 0;
        m_stop = static_cast<int>(kPoints * kStep);
        Reconfigure(TRUE);
        std::mt19937 rng(11);
        std::normal_distribution<double> noise(-95.0, 3.0);
        for (auto& trace : m_traces)
            for (DWORD i = 0; i < trace.GetPoints(); ++i)
                trace.SetWord(
                    i, static_cast<short>(((i % 4000 < 3) ? -35.0 : noise(rng)) * kWordsPerDb));
    }

protected:
    int DeviceRBWFrequency(int, int index) override { return index == 0 ? kStep : 0; }
    double DeviceZeroReferenceLevel() override { return -10.0; }
    int DeviceMinFrequency(int) override { return 0; }
    int DeviceMaxFrequency(int) override { return 3'000'000; }
};

std::string CsvPath() {
    return "/tmp/torvel_bench_normal65000.CSV";
}

void BM_WriteNormalCsv(benchmark::State& state) {
    BenchNormal core;
    core.Fill();
    const std::string path = CsvPath();
    for (auto _ : state)
        benchmark::DoNotOptimize(core.WriteCSVFile(path.c_str()));
    state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_WriteNormalCsv)->Unit(benchmark::kMillisecond);

void BM_ReadNormalCsv(benchmark::State& state) {
    BenchNormal writer;
    writer.Fill();
    const std::string path = CsvPath();
    if (!writer.WriteCSVFile(path.c_str())) {
        state.SkipWithError("the CSV file could not be written");
        return;
    }
    BenchNormal core;
    for (auto _ : state)
        benchmark::DoNotOptimize(core.ReadCSVSections(path.c_str()));
    state.SetItemsProcessed(state.iterations() * kPoints);
    state.SetLabel(path);
}
BENCHMARK(BM_ReadNormalCsv)->Unit(benchmark::kMillisecond);

// A window picture with some structure: a graticule, a trace and text-like blocks.
class PictureCore : public CAnalysisCore {
public:
    PictureCore() : CAnalysisCore(nullptr, nullptr) {}
    void DrawView(CDC* dc, const CRect& rect) override {
        dc->FillSolidRect(&rect, RGB(0, 0, 48));
        for (int x = 40; x < rect.right; x += 60)
            dc->FillSolidRect(x, 20, 1, rect.bottom - 60, RGB(90, 90, 90));
        for (int y = 20; y < rect.bottom - 40; y += 44)
            dc->FillSolidRect(40, y, rect.right - 60, 1, RGB(90, 90, 90));
        std::mt19937 rng(3);
        std::uniform_int_distribution<int> noise(0, 30);
        for (int x = 40; x < rect.right - 20; ++x)
            dc->FillSolidRect(x, 300 + noise(rng) - ((x % 97 < 3) ? 200 : 0), 1, 2,
                              RGB(255, 255, 0));
        for (int i = 0; i < 30; ++i)
            dc->FillSolidRect(10 + i * 20, rect.bottom - 30, 12, 14, RGB(220, 220, 220));
    }
};

void BM_PngOutput(benchmark::State& state) {
    PictureCore core;
    const std::string path = "/tmp/torvel_bench_output.PNG";
    for (auto _ : state)
        benchmark::DoNotOptimize(core.WritePNGImage(path.c_str()));
    state.counters["bytes"] = static_cast<double>(QFileInfo(QString::fromStdString(path)).size());
}
BENCHMARK(BM_PngOutput)->Unit(benchmark::kMillisecond);

void BM_QImageSavePng(benchmark::State& state) {
    PictureCore core;
    const QImage picture = core.GetLoggingOutput().RenderImage(true);
    const QString path = "/tmp/torvel_bench_qimage.png";
    for (auto _ : state)
        benchmark::DoNotOptimize(picture.save(path, "PNG"));
    state.counters["bytes"] = static_cast<double>(QFileInfo(path).size());
}
BENCHMARK(BM_QImageSavePng)->Unit(benchmark::kMillisecond);

} // namespace
