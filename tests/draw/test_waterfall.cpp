// The colour waterfall: a ring of known slices on the pixels (rows, columns,
// colours), the row and column marks and their hit tests, a new level range
// colouring the kept slices again, the ring's grid and size, the channel
// bands, the read-out, and the legend against the 3D graph's.
#include "draw/3dgraphcontext.h"
#include "draw/blendingbackgroundcontext.h"
#include "draw/waterfallcontext.h"
#include "drawtestutil.h"
#include "lib/blendobject.h"

#include <QImage>
#include <QPainter>

#include <vector>

using namespace drawtest;

namespace {

constexpr COLORREF kBackground = RGB(0, 0, 40);
constexpr COLORREF kText = RGB(255, 230, 0);
constexpr COLORREF kMark = RGB(255, 0, 255);
constexpr int kStart = 1000000; // kHz
constexpr int kStep = 100;
constexpr int kSamples = 200;
constexpr int kSlices = 50;
// The picture is as wide as the grid: one column per sample.
constexpr int kWidth = CWaterfallContext::kLegendWidth + CWaterfallContext::kLabelWidth + kSamples;
constexpr int kHeight = 2 * kSlices; // two rows per slice
// Levels in the middle of legend steps (of 5 dB over 0 .. -100 dB).
constexpr double kTone = -2.5;
constexpr double kFloor = -92.5;

// Slice k: the floor with a tone at sample k.
std::vector<short> ToneSlice(int k) {
    std::vector<short> words(kSamples, Word(kFloor));
    words[static_cast<size_t>(k % kSamples)] = Word(kTone);
    return words;
}

// The legend step (0 the top) a level falls in for the range lo .. hi.
int StepOf(double dB, double lo, double hi) {
    const int fromBottom = static_cast<int>((dB - lo) / (hi - lo) * 20.0);
    return 19 - std::clamp(fromBottom, 0, 19);
}

class WaterfallTest : public DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        m_fall.SetDrawObject(m_object.get());
        m_fall.SetAutoLayoutFlag(0);
        m_fall.SetSliceCount(kSlices);
        m_fall.SetGrid(kStart, kStep, kSamples);
        m_fall.SetFrequencyWindow(kStart, kStart + kStep * kSamples);
        m_fall.SetLevelRange(-100.0, 0.0);
        m_fall.SetWindowRect(0, 0, kWidth - 1, kHeight - 1);
    }
    // Slices 0 .. n - 1, the tone one sample further each time.
    void AddTones(int n) {
        for (int k = 0; k < n; ++k) {
            const std::vector<short> words = ToneSlice(k);
            m_fall.AddSlice(words.data(), kSamples);
        }
    }
    std::unique_ptr<Surface> Render() {
        auto surface = std::make_unique<Surface>(kWidth, kHeight, kWhite);
        m_fall.Draw(&surface->dc, nullptr, nullptr);
        return surface;
    }
    COLORREF Step(int step) const {
        return CWaterfallContext::LegendStepColor(step,
                                                  CBlendingBackGroundContext::kDefaultAlphaFactor);
    }
    std::unique_ptr<CDrawObject> m_object = MakeDrawObject(kBackground, kText, kMark, "Waterfall");
    CWaterfallContext m_fall;
};

TEST_F(WaterfallTest, ToneSteppingOneBinPerSliceDrawsADiagonalNewestAtTheTop) {
    AddTones(30);
    const auto s = Render();
    const CRect image = m_fall.GetImageRect();
    ASSERT_EQ(image, CRect(kWidth - kSamples, 0, kWidth, kHeight));
    ASSERT_EQ(m_fall.GetRowsPerSlice(), 2);
    const COLORREF tone = Step(StepOf(kTone, -100, 0));
    const COLORREF floor = Step(StepOf(kFloor, -100, 0));
    ASSERT_NE(tone, floor);
    // Position p (0 the newest, slice 29) has its tone at sample 29 - p, over
    // both of its rows; its neighbours show the floor.
    for (int p = 0; p < 30; ++p) {
        const int x = image.left + 29 - p;
        for (int row = 0; row < 2; ++row) {
            const int y = m_fall.RowOfSlice(p) + row;
            EXPECT_EQ(s->At(x, y), tone) << "position " << p;
            EXPECT_EQ(s->At(x + 1, y), floor) << "position " << p;
            if (x > image.left) {
                EXPECT_EQ(s->At(x - 1, y), floor) << "position " << p;
            }
        }
    }
    // Below the 30 kept slices the picture is the background.
    EXPECT_EQ(s->Count(kBackground, CRect(image.left, 60, image.right, kHeight)), 40 * kSamples);
    // A 51st slice pushes the first one out of the 50-slice ring.
    AddTones(0);
    AddTones(21);
    EXPECT_EQ(m_fall.GetFilled(), kSlices);
    EXPECT_EQ(m_fall.SampleAt(0, 20), Word(kTone));
    EXPECT_EQ(m_fall.SampleAt(49, 20), Word(kFloor));
}

TEST_F(WaterfallTest, APrinterPageGetsThePictureScaledAsShown) {
    AddTones(30);
    // A page twice the size, drawn through a painter with a scaling map mode.
    QImage page(2 * kWidth, 2 * kHeight, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        CDC dc(&painter);
        dc.SetMapMode(MM_ANISOTROPIC);
        dc.SetWindowExt(kWidth, kHeight);
        dc.SetViewportExt(2 * kWidth, 2 * kHeight);
        m_fall.Draw(&dc, nullptr, nullptr);
        dc.Detach();
    }
    const auto shown = Render();
    const CRect image = m_fall.GetImageRect();
    for (const CPoint p : {CPoint(image.left + 29, 0), CPoint(image.left + 20, 19),
                           CPoint(image.left + 100, 40), CPoint(image.left + 5, 90)}) {
        const QRgb pixel = page.pixel(2 * p.x + 1, 2 * p.y + 1);
        EXPECT_EQ(RGB(qRed(pixel), qGreen(pixel), qBlue(pixel)), shown->At(p.x, p.y))
            << p.x << "," << p.y;
    }
}

TEST_F(WaterfallTest, PictureColumnsShowTheHighestSampleTheyCover) {
    // Half as wide: two samples per column; the tone survives at either sample.
    m_fall.SetWindowRect(0, 0, kWidth - kSamples / 2 - 1, kHeight - 1);
    AddTones(2);
    const auto s = Render();
    const int left = m_fall.GetImageRect().left;
    const COLORREF tone = Step(StepOf(kTone, -100, 0));
    EXPECT_EQ(s->At(left, m_fall.RowOfSlice(0)), tone);
    EXPECT_EQ(s->At(left, m_fall.RowOfSlice(1)), tone);
    EXPECT_NE(s->At(left + 1, m_fall.RowOfSlice(0)), tone);
}

TEST_F(WaterfallTest, NewLevelRangeColoursTheKeptSlicesAgain) {
    AddTones(10);
    m_fall.SetLevelRange(-200.0, 0.0);
    const auto s = Render();
    EXPECT_EQ(m_fall.GetFilled(), 10);
    const int left = m_fall.GetImageRect().left;
    EXPECT_EQ(s->At(left + 9, m_fall.RowOfSlice(0)), Step(StepOf(kTone, -200, 0)));
    EXPECT_EQ(s->At(left + 5, m_fall.RowOfSlice(0)), Step(StepOf(kFloor, -200, 0)));
    EXPECT_EQ(s->At(left, m_fall.RowOfSlice(9)), Step(StepOf(kTone, -200, 0)));
    // The unit offset moves the levels: dBuV 107 puts the floor at 14.5 dBuV.
    m_fall.SetLevelRange(0.0, 100.0, CTraceStore::UnitOffset(3));
    EXPECT_EQ(m_fall.LevelColor(Word(kFloor)), Step(StepOf(kFloor + 107, 0, 100)));
    // Out of the range and no sample: the end colours and the background.
    EXPECT_EQ(m_fall.LevelColor(Word(-150)), Step(19));
    EXPECT_EQ(m_fall.LevelColor(Word(10)), Step(0));
    EXPECT_EQ(m_fall.LevelColor(kNoSample), kBackground);
}

TEST_F(WaterfallTest, GridChangeEmptiesTheRingAndSizeChangeKeepsIt) {
    AddTones(10);
    m_fall.SetGrid(kStart, kStep, kSamples);
    EXPECT_EQ(m_fall.GetFilled(), 10);
    m_fall.SetSliceCount(5);
    EXPECT_EQ(m_fall.GetFilled(), 5);
    EXPECT_EQ(m_fall.SampleAt(0, 9), Word(kTone));
    EXPECT_EQ(m_fall.SampleAt(4, 5), Word(kTone));
    m_fall.SetSliceCount(kSlices);
    EXPECT_EQ(m_fall.SampleAt(0, 9), Word(kTone));
    m_fall.SetGrid(kStart, kStep * 2, kSamples);
    EXPECT_EQ(m_fall.GetFilled(), 0);
    EXPECT_EQ(m_fall.SampleAt(0, 9), kNoSample);
}

TEST_F(WaterfallTest, RowAndColumnMarksAreDrawnAndHit) {
    AddTones(30);
    m_fall.SetSelectedSlice(10);
    m_fall.SetChunkPosition(kStart + 150 * kStep);
    auto s = Render();
    const CRect image = m_fall.GetImageRect();
    // Hidden marks draw nothing of the pen's colour.
    EXPECT_EQ(s->Count(kMark, image), 0);
    m_fall.SetSliceMark(true);
    m_fall.SetChunkMark(true);
    s = Render();
    const int top = m_fall.RowOfSlice(10);
    EXPECT_EQ(top, 20);
    // Lines just above and below the slice's two rows; the column at 150.
    EXPECT_EQ(s->At(image.left + 100, top - 1), kMark);
    EXPECT_EQ(s->At(image.left + 100, top + 2), kMark);
    EXPECT_NE(s->At(image.left + 100, top), kMark);
    EXPECT_EQ(m_fall.ColumnOfFrequency(kStart + 150 * kStep), image.left + 150);
    EXPECT_EQ(s->At(image.left + 150, 70), kMark);
    // Hits within three pixels of the mark, inside the picture only.
    EXPECT_TRUE(m_fall.HitSelectedSlice(image.left + 5, top));
    EXPECT_TRUE(m_fall.HitSelectedSlice(image.left + 5, top + 4));
    EXPECT_FALSE(m_fall.HitSelectedSlice(image.left + 5, top + 5));
    EXPECT_FALSE(m_fall.HitSelectedSlice(image.left - 5, top));
    EXPECT_TRUE(m_fall.HitChunkLine(image.left + 153, 5));
    EXPECT_FALSE(m_fall.HitChunkLine(image.left + 154, 5));
    // The pointer's row and column give the slice and the frequency back.
    EXPECT_EQ(m_fall.SliceAtRow(top + 1), 10);
    EXPECT_EQ(m_fall.SliceAtRow(image.bottom), -1);
    int kHz = 0;
    ASSERT_TRUE(m_fall.FrequencyAtColumn(image.left + 150, &kHz));
    EXPECT_EQ(kHz, kStart + 150 * kStep);
    EXPECT_FALSE(m_fall.FrequencyAtColumn(image.left - 1, &kHz));
}

TEST_F(WaterfallTest, ReadoutTellsFrequencyTimeAndLevel) {
    AddTones(30);
    m_fall.SetSlicePeriod(50000);
    CString text;
    const CRect image = m_fall.GetImageRect();
    ASSERT_TRUE(m_fall.ReadoutAt(image.left + 27, m_fall.RowOfSlice(2), &text));
    EXPECT_STREQ(text, "1002.7MHz  -100ms  -2.50dBm");
    // The newest slice is now, not "-0".
    ASSERT_TRUE(m_fall.ReadoutAt(image.left + 27, m_fall.RowOfSlice(0), &text));
    EXPECT_EQ(text.Find("  0us  "), 9) << text.c_str();
    EXPECT_FALSE(m_fall.ReadoutAt(image.left + 27, m_fall.RowOfSlice(31), &text));
}

TEST_F(WaterfallTest, ChannelBandsAreTranslucentColumns) {
    AddTones(30);
    CBlendObject band;
    band.SetColor(RGB(255, 255, 255));
    band.SetRatio(0.5, 0.0, 0.75, 1.0);
    m_fall.AddBand(&band);
    const auto s = Render();
    const CRect image = m_fall.GetImageRect();
    const COLORREF floor = Step(StepOf(kFloor, -100, 0));
    const COLORREF blended = AlphaBlendFunction(RGB(255, 255, 255), floor,
                                                CBlendingBackGroundContext::kDefaultAlphaFactor);
    EXPECT_EQ(s->At(image.left + 99, 0), floor);
    EXPECT_EQ(s->At(image.left + 100, 0), blended);
    EXPECT_EQ(s->At(image.left + 149, kHeight - 1),
              AlphaBlendFunction(RGB(255, 255, 255), kBackground,
                                 CBlendingBackGroundContext::kDefaultAlphaFactor));
    EXPECT_EQ(s->At(image.left + 150, 0), floor);
    band.SetRedrawFlag(0);
    EXPECT_EQ(Render()->At(image.left + 100, 0), floor);
}

TEST_F(WaterfallTest, LegendStepsEqualThe3DGraphsLegend) {
    C3DGraphContext graph;
    graph.SetDrawObject(m_object.get());
    graph.SetAutoLayoutFlag(0);
    graph.SetWindowRect(0, 0, 299, 199);
    Surface s3d(300, 200, kWhite);
    graph.Draw(&s3d.dc, nullptr, nullptr);
    const CRect legend3d = graph.GetLegendRect();
    // The same strip height for both, so the steps fall on the same rows.
    m_fall.SetWindowRect(0, 0, kWidth - 1, legend3d.Height() - 1);
    Surface sfall(kWidth, legend3d.Height(), kWhite);
    m_fall.Draw(&sfall.dc, nullptr, nullptr);
    const int h = legend3d.Height();
    const int step = (h << 16) / 20;
    for (int i = 0; i < 20; ++i) {
        const int y = (i * step) >> 16;
        EXPECT_EQ(sfall.At(3, y), s3d.At(legend3d.left + 3, legend3d.top + y)) << "step " << i;
        EXPECT_EQ(sfall.At(3, y), Step(i)) << "step " << i;
    }
    // The band colours are the 3D graph's bands.
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(CWaterfallContext::LegendBandColor(i), graph.GetLegendBand(i).GetColor());
}

} // namespace
