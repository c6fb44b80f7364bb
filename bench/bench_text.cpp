// The texts of one graph frame on a 1280 x 800 memory bitmap in the graphs'
// default font: the background filled as a whole (held back), the plot area
// filled in another colour, then the scale labels, corner texts and legend
// numbers a graph draws at every paint (54 short texts), and the picture
// finished (the rest of the held fill written):
//  - BM_GraphTexts: through CDC::TextOut, as a graph draws them;
//  - BM_GraphTextsDrawText: the peer, the same fills and texts with
//    QPainter::drawText on the same picture, which shapes every text at every
//    call;
//  - BM_GraphChangingTexts: the same number of texts, each drawn once (new
//    values at every frame);
//  - BM_TextsOverHeldFill: seven texts over a background whose fill is held
//    back, each taking its area out of it;
//  - BM_GraphFillsOnly: the fills and the finish without the texts.
#include "lib/drawobject.h"
#include "platform/dc.h"
#include "platform/gdiobjects.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 800;
constexpr COLORREF kBack = RGB(0, 0, 40);
constexpr COLORREF kPlot = RGB(0, 0, 0);
const CRect kPlotArea(60, 30, kWidth - 20, kHeight - 40);

struct Label {
    int x, y;
    std::string text;
};

std::vector<Label> GraphTexts() {
    std::vector<Label> labels;
    // Frequency scale: 11 labels under the plot.
    for (int i = 0; i <= 10; ++i)
        labels.push_back({kPlotArea.left + i * kPlotArea.Width() / 10 - 20, kPlotArea.bottom + 4,
                          std::to_string(2400 + 10 * i) + ".0"});
    // Level scale: 11 labels left of the plot.
    for (int i = 0; i <= 10; ++i)
        labels.push_back(
            {4, kPlotArea.top + i * kPlotArea.Height() / 10 - 6, std::to_string(-10 * i) + ".0"});
    const char* const corners[] = {"REF -10.0dBm", "ATT 10dB",   "RBW 1MHz", "VBW 300kHz",
                                   "SPAN 100MHz",  "CF 2450MHz", "SLICE 10", "CHUNK 2440MHz",
                                   "dBm",          "MHz",        "SWT 2ms",  "PEAK -12.5dBm"};
    for (int i = 0; i < 12; ++i)
        labels.push_back({kPlotArea.left + 8 + (i % 4) * 160, 8 + (i / 4) * 14, corners[i]});
    // Legend numbers of a colour scale.
    for (int i = 0; i < 20; ++i)
        labels.push_back({kWidth - 60, kPlotArea.top + 20 + 30 * i, std::to_string(-5 * i)});
    return labels;
}

struct Frame {
    CDC dc;
    CBitmap bitmap;
    CFont font;
    std::vector<Label> labels = GraphTexts();

    Frame() {
        dc.CreateCompatibleDC(nullptr);
        bitmap.CreateCompatibleBitmap(&dc, kWidth, kHeight);
        dc.SelectObject(&bitmap);
        LOGFONT lf;
        ConvertLOGFONT(&lf, nullptr);
        font.CreateFontIndirect(&lf);
        dc.SelectObject(&font);
        dc.SetBkMode(TRANSPARENT);
        dc.SetTextColor(RGB(255, 230, 0));
    }
    void Fills() {
        dc.FillSolidRect(0, 0, kWidth, kHeight, kBack);
        dc.FillSolidRect(&kPlotArea, kPlot);
    }
};

void BM_GraphTexts(benchmark::State& state) {
    Frame frame;
    for (auto _ : state) {
        frame.Fills();
        for (const Label& label : frame.labels)
            frame.dc.TextOut(label.x, label.y, label.text.c_str(),
                             static_cast<int>(label.text.size()));
        frame.dc.Flush();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(frame.labels.size()));
}
BENCHMARK(BM_GraphTexts)->Unit(benchmark::kMicrosecond);

void BM_GraphTextsDrawText(benchmark::State& state) {
    Frame frame;
    const QFontMetrics metrics(frame.font.GetQFont());
    std::vector<QString> texts;
    for (const Label& label : frame.labels)
        texts.push_back(QString::fromStdString(label.text));
    for (auto _ : state) {
        frame.Fills();
        frame.dc.Flush();
        QPainter painter(const_cast<QImage*>(&frame.bitmap.GetImage()));
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        painter.setFont(frame.font.GetQFont());
        painter.setPen(QColor(255, 230, 0));
        for (size_t i = 0; i < texts.size(); ++i)
            painter.drawText(QPoint(frame.labels[i].x, frame.labels[i].y + metrics.ascent()),
                             texts[i]);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(frame.labels.size()));
}
BENCHMARK(BM_GraphTextsDrawText)->Unit(benchmark::kMicrosecond);

// Texts that change at every frame (a reading, a marker's value): none is
// drawn twice in a row, and the memory turns over.
void BM_GraphChangingTexts(benchmark::State& state) {
    Frame frame;
    int frameNumber = 0;
    for (auto _ : state) {
        frame.Fills();
        int i = 0;
        for (const Label& label : frame.labels) {
            const std::string text = std::to_string(-100000 + 97 * frameNumber + i++) + "dBm";
            frame.dc.TextOut(label.x, label.y, text.c_str(), static_cast<int>(text.size()));
        }
        frame.dc.Flush();
        ++frameNumber;
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(frame.labels.size()));
}
BENCHMARK(BM_GraphChangingTexts)->Unit(benchmark::kMicrosecond);

// The first texts over a held background: each takes its area out of the
// held fill, written row by row around the areas taken before it. Seven
// texts, so that the fill stays held; the rest of it is written at the end.
void BM_TextsOverHeldFill(benchmark::State& state) {
    Frame frame;
    for (auto _ : state) {
        frame.dc.FillSolidRect(0, 0, kWidth, kHeight, kBack);
        for (size_t i = 0; i < 7; ++i) {
            const Label& label = frame.labels[i * 7];
            frame.dc.TextOut(label.x, label.y, label.text.c_str(),
                             static_cast<int>(label.text.size()));
        }
        frame.dc.Flush();
    }
}
BENCHMARK(BM_TextsOverHeldFill)->Unit(benchmark::kMicrosecond);

void BM_GraphFillsOnly(benchmark::State& state) {
    Frame frame;
    for (auto _ : state) {
        frame.Fills();
        frame.dc.Flush();
    }
}
BENCHMARK(BM_GraphFillsOnly)->Unit(benchmark::kMicrosecond);

} // namespace
