// The spectrogram and the trigger mark: the fixed-point projection, the ring,
// the legend bands and image, slice placement and mask stamping on the pixels,
// the two hit tests, and the trigger mark's drawing and hit test.
#include "draw/3dgraphcontext.h"
#include "draw/datalinecontext.h"
#include "draw/triggermarkcontext.h"
#include "drawtestutil.h"
#include "lib/blendobject.h"

#include <QImage>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace drawtest;

namespace {

constexpr COLORREF kBackground = RGB(0, 0, 96);
constexpr COLORREF kText = RGB(0, 200, 0);
constexpr COLORREF kSliceWhite = RGB(255, 255, 255);
// What the surface shows where the graph does not draw.
constexpr COLORREF kOutside = RGB(1, 2, 3);
constexpr int kStart = 1000000; // kHz
constexpr int kStep = 100;
constexpr int kPoints = 400;

// A slice of 400 samples from 1 GHz in 100 kHz steps shown from 0 to -100 dB;
// level(i) gives sample i in dB.
template <typename Level> std::unique_ptr<CDataLineContext> MakeSlice(Level level) {
    auto slice = std::make_unique<CDataLineContext>();
    EXPECT_EQ(slice->Configure(kStart, kStep, kPoints), 1);
    for (int i = 0; i <= kPoints; ++i) {
        slice->SetWord(static_cast<DWORD>(i), Word(level(i)));
    }
    slice->SetWindow(kStart, kStart + kStep * kPoints, 0.0, -100.0);
    return slice;
}

// A slice holding words (one sample each, from 1 GHz in 100 kHz steps),
// stored as the device's block, shown from ymax to ymin dB.
std::unique_ptr<CDataLineContext> StoredSlice(const std::vector<short>& words, double ymax,
                                              double ymin) {
    const int samples = static_cast<int>(words.size());
    auto slice = std::make_unique<CDataLineContext>();
    EXPECT_EQ(slice->Configure(kStart, kStep, static_cast<DWORD>(samples)), 1);
    slice->SetInitializedFlag(0);
    slice->StoreBlock(words.data(), samples, 0, FALSE);
    slice->SetWindow(kStart, kStart + kStep * samples, ymax, ymin);
    return slice;
}

std::unique_ptr<CDataLineContext> FlatSlice(double dB) {
    return MakeSlice([dB](int) { return dB; });
}

std::unique_ptr<CDataLineContext> NoisySlice(unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> level(-95.0, -5.0);
    return MakeSlice([&](int) { return level(random); });
}

// A picture of either kind, a memory bitmap or a plain image, cleared to
// kOutside and drawn on by a graph.
struct GraphPicture {
    GraphPicture(int width, int height)
        : bitmap(width, height, kOutside), image(width, height, QImage::Format_RGB32) {}
    void Draw(C3DGraphContext& graph, bool plain) {
        if (plain) {
            image.fill(QColor(GetRValue(kOutside), GetGValue(kOutside), GetBValue(kOutside)));
            CDC dc(&image);
            graph.Draw(&dc, nullptr, nullptr);
        } else {
            bitmap.dc.FillSolidRect(0, 0, bitmap.width, bitmap.height, kOutside);
            graph.Draw(&bitmap.dc, nullptr, nullptr);
        }
    }
    // Without a copy: a shared picture is drawn another way.
    const QImage& Pixels(bool plain) const { return plain ? image : *bitmap.dc.GetImage(); }
    // A message naming the first pixel in which the two pictures differ, or
    // an empty one.
    std::string Differences(const GraphPicture& other, bool plain) const {
        const QImage& a = Pixels(plain);
        const QImage& b = other.Pixels(plain);
        int differ = 0;
        CPoint first(-1, -1);
        for (int y = 0; y < a.height(); ++y) {
            for (int x = 0; x < a.width(); ++x) {
                if (a.pixel(x, y) != b.pixel(x, y)) {
                    first = differ++ ? first : CPoint(x, y);
                }
            }
        }
        return differ ? std::to_string(differ) + " pixels differ, the first at " +
                            std::to_string(first.x) + "," + std::to_string(first.y)
                      : std::string();
    }
    Surface bitmap;
    QImage image;
};

class Graph3DTest : public DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        m_graph.SetDrawObject(m_object.get());
        m_graph.SetAutoLayoutFlag(0);
        m_graph.SetWindowRect(0, 0, 299, 199);
    }
    // Draws the graph on a fresh surface and returns it.
    std::unique_ptr<Surface> Render() {
        auto surface = std::make_unique<Surface>(300, 200, kOutside);
        m_graph.Draw(&surface->dc, nullptr, nullptr);
        return surface;
    }
    std::unique_ptr<CDrawObject> m_object = MakeDrawObject(kBackground, kText, kRed, "Graph3DTest");
    C3DGraphContext m_graph;
};

TEST_F(Graph3DTest, ProjectionTablesUseTruncatingFixedPoint) {
    // 300 x 200: D = (300 x 0x5555) >> 16 = 99, E = Q = 50, front face 200 wide.
    EXPECT_EQ(m_graph.GetDepthWidth(), 99);
    EXPECT_EQ(m_graph.GetDepthHeight(), 50);
    EXPECT_EQ(m_graph.GetTopMargin(), 50);
    EXPECT_EQ(m_graph.GetFrontWidth(), 200);
    // 13.19 steps truncate: the depth at the front is 1, not 0, and the time
    // axis rises 98 of the front face's 99 rows.
    EXPECT_EQ(m_graph.DepthAt(0), 50);
    EXPECT_EQ(m_graph.DepthAt(99), 1);
    EXPECT_EQ(m_graph.TimeAt(0), 0);
    EXPECT_EQ(m_graph.TimeAt(200), 98);
    EXPECT_EQ(m_graph.TimeAt(150), 74);
    // The legend strip: 15 wide at the top left, at least 50 high.
    EXPECT_EQ(m_graph.GetLegendRect(), CRect(0, 0, 15, 50));

    // A graph too small for a projection draws only its background.
    C3DGraphContext tiny;
    tiny.SetDrawObject(m_object.get());
    tiny.SetWindowRect(0, 0, 1, 1);
    EXPECT_EQ(tiny.GetDepthWidth(), 0);
    Surface surface(4, 4, kOutside);
    tiny.Draw(&surface.dc, nullptr, nullptr);
    EXPECT_EQ(surface.At(0, 0), kBackground);
    EXPECT_EQ(surface.Count(kBackground) + surface.Count(kOutside), 16);
}

TEST_F(Graph3DTest, RingKeepsTheNewestFirstAndWraps) {
    std::vector<std::unique_ptr<CDataLineContext>> slices;
    for (int i = 0; i < 101; ++i) {
        slices.push_back(FlatSlice(-50.0));
    }
    for (int i = 0; i < 100; ++i) {
        m_graph.AddSlice(slices[static_cast<size_t>(i)].get(), 0);
    }
    const int first = 1; // the first slice goes to the entry after the start index
    EXPECT_EQ(m_graph.GetRingEntry(first), slices[0].get());
    EXPECT_EQ(m_graph.GetSliceAt(0), slices[99].get());
    EXPECT_EQ(m_graph.GetSliceAt(99), slices[0].get());
    // The 101st slice takes the first one's entry; the second is now the oldest.
    m_graph.AddSlice(slices[100].get(), 0);
    EXPECT_EQ(m_graph.GetRingEntry(first), slices[100].get());
    EXPECT_EQ(m_graph.GetSliceAt(0), slices[100].get());
    EXPECT_EQ(m_graph.GetSliceAt(99), slices[1].get());
    for (int i = 0; i < C3DGraphContext::kRingSize; ++i) {
        EXPECT_NE(m_graph.GetRingEntry(i), slices[0].get());
    }
    // An offset places the slice away from the ring index.
    m_graph.AddSlice(slices[0].get(), 5);
    EXPECT_EQ(m_graph.GetRingEntry((m_graph.GetRingIndex() + 5) % 100), slices[0].get());

    m_graph.ClearSlices();
    EXPECT_EQ(m_graph.GetRingIndex(), 0);
    for (int i = 0; i < C3DGraphContext::kRingSize; ++i) {
        EXPECT_EQ(m_graph.GetRingEntry(i), nullptr);
    }
}

TEST_F(Graph3DTest, LegendBandsRunFromRedToNearlyBlackAndOverlapByHalf) {
    EXPECT_EQ(m_graph.GetLegendBand(0).GetColor(), RGB(250, 0, 0));
    EXPECT_EQ(m_graph.GetLegendBand(5).GetColor(), RGB(250, 250, 0));
    EXPECT_EQ(m_graph.GetLegendBand(10).GetColor(), RGB(0, 250, 120));
    EXPECT_EQ(m_graph.GetLegendBand(15).GetColor(), RGB(0, 50, 250));
    // Four fifths of the way from blue to black.
    EXPECT_EQ(m_graph.GetLegendBand(19).GetColor(), RGB(0, 10, 50));
    // Band i covers 0.05 (i - 1) .. 0.05 (i + 1), the first from the top.
    EXPECT_EQ(m_graph.GetLegendBand(1).GetTopRatio(), 0);
    for (int i = 1; i + 2 < C3DGraphContext::kLegendBands; ++i) {
        EXPECT_EQ(m_graph.GetLegendBand(i).GetBottomRatio(),
                  m_graph.GetLegendBand(i + 2).GetTopRatio());
    }
    EXPECT_EQ(m_graph.GetLegendBand(19).GetBottomRatio(), 65536);
}

TEST_F(Graph3DTest, LegendImageSurvivesRepeatedDrawsAndResizes) {
    // 50 rows in 20 steps of 2.5: step i starts at row (i x 2.5) truncated.
    // The top step shows bands 0 and 1 blended (alpha 128), the bottom one
    // band 19 alone.
    const COLORREF top = AlphaBlendFunction(m_graph.GetLegendBand(1).GetColor(),
                                            m_graph.GetLegendBand(0).GetColor(), 128);
    const COLORREF bottom = m_graph.GetLegendBand(19).GetColor();
    for (int pass = 0; pass < 3; ++pass) {
        if (pass == 2) {
            m_graph.SetWindowRect(0, 0, 299, 199); // a resize renders the legend again
        }
        const auto surface = Render();
        EXPECT_EQ(surface->At(0, 0), top) << pass;
        EXPECT_EQ(surface->At(14, 1), top) << pass;
        EXPECT_EQ(surface->At(7, 49), bottom) << pass;
        EXPECT_EQ(surface->At(7, 47), bottom) << pass;
        EXPECT_NE(surface->At(7, 46), bottom) << pass;
        // Nothing right of the strip, nor below it.
        EXPECT_EQ(surface->At(15, 0), kBackground) << pass;
        EXPECT_EQ(surface->At(7, 50), kBackground) << pass;
        EXPECT_EQ(m_graph.GetBlendCount(), C3DGraphContext::kLegendBands);
        EXPECT_EQ(m_graph.GetLegendBand(19).GetColor(), bottom);
    }
}

TEST_F(Graph3DTest, TheLegendsNoteStandsWholeBesideTheLegendInAGraphOfAnyWidth) {
    const auto slice = FlatSlice(-50.0);
    m_graph.AddSlice(slice.get(), 0);
    const CString note("levels uncalibrated");
    m_graph.SetLegendNote(note);
    // Wide: one line under the top level; narrow: a line a word.
    for (int right : {299, 70}) {
        m_graph.SetWindowRect(0, 0, right, 199);
        const auto surface = Render();
        const std::vector<CString>& lines = m_graph.GetLegendNoteLines();
        ASSERT_EQ(lines.size(), right == 299 ? 1u : 2u) << right;
        CString joined;
        for (const CString& line : lines)
            joined += (joined.IsEmpty() ? "" : " ") + line;
        EXPECT_EQ(joined, note);
        // The last line is drawn: its row holds text right of the legend.
        const int lineHeight = surface->dc.GetTextExtent(lines.back()).cy;
        bool inked = false;
        for (int y = lineHeight * static_cast<int>(lines.size());
             y < lineHeight * static_cast<int>(lines.size() + 1); ++y)
            for (int x = 17; x <= right && !inked; ++x)
                inked = surface->At(x, y) == kText;
        EXPECT_TRUE(inked) << right;
    }
    m_graph.SetLegendNote(CString());
    Render();
    EXPECT_TRUE(m_graph.GetLegendNoteLines().empty());
}

TEST_F(Graph3DTest, SlicesArePlacedNewestAtTheFront) {
    m_graph.SetSliceCount(4);
    const auto flat = FlatSlice(-50.0);
    const int box = 50 + 50; // E + Q
    // The newest slice's box stands on the bottom-left corner; the oldest is
    // three quarters along the front face and raised by the time axis there.
    EXPECT_EQ(m_graph.SliceOrigin(0), CPoint(0, 199 - box));
    EXPECT_EQ(m_graph.SliceOrigin(3), CPoint(150, 199 - 74 - box));

    for (int position : {0, 3}) {
        m_graph.ClearSlices();
        m_graph.AddSlice(flat.get(), 0);
        for (int k = 0; k < position; ++k) {
            m_graph.AddSlice(nullptr, 0);
        }
        ASSERT_EQ(m_graph.GetSliceAt(position), flat.get());
        const auto surface = Render();
        // A flat level is a straight line into the depth: from the back end
        // (raised by E) down to the front end, on the box's middle row.
        const CPoint origin = m_graph.SliceOrigin(position);
        const CRect drawn = surface->BoxOf(kSliceWhite);
        // The level maps to row 75 of the box; the polyline leaves out its
        // last point (column 99), so the lowest pixel is column 98's.
        EXPECT_EQ(drawn.left, origin.x) << position;
        EXPECT_EQ(drawn.right, origin.x + 99) << position;
        EXPECT_EQ(drawn.top, origin.y + 75 - m_graph.DepthAt(0)) << position;
        EXPECT_EQ(drawn.bottom, origin.y + 75 - m_graph.DepthAt(98) + 1) << position;
    }
}

TEST_F(Graph3DTest, NewerSlicesCoverOlderOnesOnlyWhereTheyDrew) {
    // Eight slices: neighbours are 25 columns apart and cross each other.
    m_graph.SetSliceCount(8);
    const auto older = NoisySlice(1);
    const auto newer = NoisySlice(2);
    // Older alone (position 1), newer alone (position 0), then both; the null
    // entries of the other positions are skipped.
    auto place = [&](CDataLineContext* atOne, CDataLineContext* atZero) {
        m_graph.ClearSlices();
        for (int k = 0; k < 6; ++k) {
            m_graph.AddSlice(nullptr, 0);
        }
        m_graph.AddSlice(atOne, 0);
        m_graph.AddSlice(atZero, 0);
    };
    place(older.get(), nullptr);
    const auto a = Render();
    place(nullptr, newer.get());
    const auto c = Render();
    place(older.get(), newer.get());
    const auto both = Render();

    int overlap = 0;
    int keptUnderNewerBox = 0;
    const CPoint origin = m_graph.SliceOrigin(0);
    const CRect newerBox(origin.x, origin.y, origin.x + 100, origin.y + 101);
    for (int y = 0; y < 200; ++y) {
        for (int x = 16; x < 300; ++x) {
            const bool inA = a->At(x, y) == kSliceWhite;
            const bool inC = c->At(x, y) == kSliceWhite;
            ASSERT_EQ(both->At(x, y) == kSliceWhite, inA || inC) << x << "," << y;
            overlap += inA && inC;
            keptUnderNewerBox += inA && !inC && newerBox.PtInRect(CPoint(x, y));
        }
    }
    // The two slices do cross, and the older one stays visible inside the
    // newer one's box wherever the newer one has no pixels.
    EXPECT_GT(overlap, 0);
    EXPECT_GT(keptUnderNewerBox, 100);
}

TEST_F(Graph3DTest, TheOwnersBandsRunThroughTheSliceBoxesBehindTheSlices) {
    // A band over the second quarter of the frequencies, as a marked channel.
    constexpr COLORREF kBand = RGB(200, 0, 200);
    CBlendObject band;
    band.SetMasterFlag(1);
    band.SetRedrawFlag(1);
    band.SetColor(kBand);
    band.SetRatio(0.25, 0.0, 0.5, 1.0);
    m_graph.AddBlend(&band);
    m_graph.SetSliceCount(4);
    const auto flat = FlatSlice(-50.0);
    m_graph.AddSlice(flat.get(), 0);
    const auto surface = Render();
    // The box is 100 columns: the band takes columns 25 to 50 of every box,
    // over the rows the levels use there (row 50 to 100 of the box, lifted by
    // the depth), and the slice's own pixels stay on top.
    for (int position = 0; position < 4; ++position) {
        const CPoint o = m_graph.SliceOrigin(position);
        EXPECT_EQ(surface->At(o.x + 40, o.y + 60 - m_graph.DepthAt(40)), kBand) << position;
        EXPECT_EQ(surface->At(o.x + 30, o.y + 95 - m_graph.DepthAt(30)), kBand) << position;
    }
    const CPoint front = m_graph.SliceOrigin(0);
    EXPECT_NE(surface->At(front.x + 10, front.y + 95 - m_graph.DepthAt(10)), kBand);
    const CPoint oldest = m_graph.SliceOrigin(3);
    EXPECT_EQ(surface->At(front.x + 40, front.y + 75 - m_graph.DepthAt(40)), kSliceWhite);
    // Below the newest slice's levels and above the oldest one's: none of it.
    EXPECT_NE(surface->At(front.x + 40, front.y + 104 - m_graph.DepthAt(40)), kBand);
    EXPECT_NE(surface->At(oldest.x + 40, oldest.y + 46 - m_graph.DepthAt(40)), kBand);
    const CRect drawn = surface->BoxOf(kBand);
    EXPECT_EQ(drawn.left, front.x + 25);
    EXPECT_EQ(drawn.right, oldest.x + 51);
    EXPECT_EQ(drawn.top, oldest.y + 50 - m_graph.DepthAt(25));
    EXPECT_EQ(drawn.bottom, front.y + 101 - m_graph.DepthAt(50));
    // A band switched off is not painted; the legend is the same either way.
    band.SetRedrawFlag(0);
    const auto off = Render();
    EXPECT_EQ(off->Count(kBand), 0);
    EXPECT_EQ(off->BoxOf(off->At(5, 2)), surface->BoxOf(surface->At(5, 2)));
    m_graph.ClearBlendObjects();
}

TEST_F(Graph3DTest, SelectedSliceAndChunkLineAreHighlighted) {
    m_graph.SetSliceCount(4);
    std::vector<std::unique_ptr<CDataLineContext>> slices;
    for (int i = 0; i < 4; ++i) {
        slices.push_back(FlatSlice(-50.0));
        m_graph.AddSlice(slices.back().get(), 0);
    }
    m_graph.SetSelectedSlice(3);
    m_graph.SetChunkPosition(kStart + 200 * kStep);
    // Without the chunk flag the oldest slice is white like the others; with
    // it the slice is drawn with the draw object's pen and labelled.
    const CPoint oldest = m_graph.SliceOrigin(3);
    const CRect frontHalf(oldest.x + 60, 0, oldest.x + 100, 200);
    const auto plain = Render();
    m_graph.SetChunkFlag(1);
    const auto lit = Render();
    EXPECT_GT(plain->Count(kSliceWhite, frontHalf), 30);
    EXPECT_EQ(lit->Count(kSliceWhite, frontHalf), 0);
    EXPECT_EQ(lit->Count(kRed, frontHalf),
              plain->Count(kSliceWhite, frontHalf) + plain->Count(kRed, frontHalf));
    EXPECT_GT(lit->Count(kText), plain->Count(kText));
    // The chunk line joins the slices' points at the chunk frequency (column
    // 50 of each box), from the oldest to the newest, whose own point the
    // polyline leaves out.
    for (int position = 0; position < 4; ++position) {
        const CPoint o = m_graph.SliceOrigin(position);
        const int x = o.x + 50;
        const int y = o.y + 75 - m_graph.DepthAt(50);
        EXPECT_EQ(plain->At(x, y), kSliceWhite) << position;
        EXPECT_EQ(lit->At(x, y), position == 0 ? kSliceWhite : kRed) << position;
    }
}

TEST_F(Graph3DTest, SlicesDrawnAfterTheHighlightedOneStayWhite) {
    // Two slices of the same shape: the newer is stamped through exactly the
    // pixels the highlighted older one coloured in the slice image.
    m_graph.SetSliceCount(2);
    const auto older = NoisySlice(3);
    const auto newer = NoisySlice(3);
    m_graph.AddSlice(older.get(), 0);
    m_graph.AddSlice(newer.get(), 0);
    m_graph.SetSelectedSlice(1);
    m_graph.SetChunkPosition(kStart + 10 * kStep);
    const auto plain = Render();
    m_graph.SetChunkFlag(1);
    const auto lit = Render();
    // In the newer slice's box, left of the older one, the newer slice is
    // white as without the highlight, but where the (red) chunk line crosses it.
    const CPoint origin = m_graph.SliceOrigin(0);
    const CRect newerBox(origin.x, origin.y, m_graph.SliceOrigin(1).x, origin.y + 101);
    const int white = plain->Count(kSliceWhite, newerBox);
    EXPECT_GT(white, 300);
    EXPECT_GT(lit->Count(kSliceWhite, newerBox), white - 120);
}

TEST_F(Graph3DTest, SlicesDrawnStraightMatchTheMaskStampPixelForPixel) {
    // A surface with a mapping that is the identity in every respect but its
    // mode is drawn the same everywhere, except that the slices take the
    // clear-draw-stamp way through the slice mask there: it is the reference
    // for the strokes drawn straight onto a plain surface. Random rings:
    // levels past either end of the window (strokes along the box's edges),
    // empty entries, a highlighted slice (always stamped), and graphs hanging
    // over the surface's edges.
    std::mt19937 random(35);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    std::uniform_real_distribution<double> level(-130.0, 20.0);
    for (int ring = 0; ring < 40; ++ring) {
        C3DGraphContext graph;
        graph.SetDrawObject(m_object.get());
        graph.SetAutoLayoutFlag(0);
        const int count = pick(1, 256);
        graph.SetSliceCount(count);
        const int left = pick(-40, 60);
        const int top = pick(-40, 60);
        graph.SetWindowRect(left, top, left + pick(60, 360), top + pick(40, 260));
        std::vector<std::unique_ptr<CDataLineContext>> slices;
        const bool wild = ring % 2 == 1;
        for (int k = 0; k < count; ++k) {
            if (pick(0, 9) == 0) {
                graph.AddSlice(nullptr, 0);
                continue;
            }
            const double base = level(random);
            slices.push_back(MakeSlice([&](int) {
                return wild ? level(random) : std::clamp(base + level(random) * 0.1, -99.0, -1.0);
            }));
            graph.AddSlice(slices.back().get(), 0);
        }
        graph.SetSelectedSlice(pick(0, count - 1));
        graph.SetChunkPosition(kStart + pick(0, kPoints) * kStep);
        graph.SetChunkFlag(pick(0, 1));

        Surface straight(320, 240, kOutside);
        graph.Draw(&straight.dc, nullptr, nullptr);
        Surface stamped(320, 240, kOutside);
        stamped.dc.SetMapMode(MM_ANISOTROPIC);
        stamped.dc.SetWindowExt(1, 1);
        stamped.dc.SetViewportExt(1, 1);
        graph.Draw(&stamped.dc, nullptr, nullptr);
        int differ = 0;
        CPoint first(-1, -1);
        for (int y = 0; y < 240; ++y) {
            for (int x = 0; x < 320; ++x) {
                if (straight.At(x, y) != stamped.At(x, y)) {
                    first = differ++ ? first : CPoint(x, y);
                }
            }
        }
        ASSERT_EQ(differ, 0) << "ring " << ring << ", first at " << first.x << "," << first.y;
    }
}

// A live window draws its graph at every capture, the slices refilled in
// place: what the graph keeps from one frame to the next (the slices' columns,
// the time axis's pixels) must give what a graph made afresh draws from the
// same data. Frames in a row, new data in each, the levels moved once, the
// layout changed and back, some frames drawn twice, the highlight on at the end; on a memory bitmap
// and on a plain image, with a narrow and with wide pens.
TEST_F(Graph3DTest, FramesInARowDrawWhatAFreshGraphDraws) {
    constexpr int kSamples = 60; // fewer than the slice box's columns
    constexpr int kSlices = 40;
    constexpr int kWidth = 420, kHeight = 300;
    std::mt19937 random(11);
    std::uniform_real_distribution<double> level(-110.0, 5.0);
    for (const int penWidth : {1, 2, 3}) {
        const auto object = MakeDrawObject(kBackground, kText, kRed, "Graph3DFrames");
        LOGPEN pen;
        object->GetLOGPEN(&pen);
        pen.lopnWidth.x = penWidth;
        object->SetUpdateLOGPEN(&pen);
        object->SetUpdateFlag();
        object->UpdateDrawObjectNow();
        const auto setUp = [&](C3DGraphContext& graph) {
            graph.SetDrawObject(object.get());
            graph.SetAutoLayoutFlag(0);
            graph.SetSliceCount(kSlices);
        };
        for (const bool plain : {false, true}) {
            C3DGraphContext live;
            setUp(live);
            std::vector<std::unique_ptr<CDataLineContext>> ring;
            GraphPicture livePicture(kWidth, kHeight);
            for (int frame = 0; frame < 9; ++frame) {
                const CRect rect = frame == 4 ? CRect(12, 7, kWidth - 31, kHeight - 41)
                                              : CRect(0, 0, kWidth - 1, kHeight - 1);
                const double ymax = frame == 6 ? -15.0 : 0.0;
                const double ymin = frame == 6 ? -95.0 : -100.0;
                C3DGraphContext fresh;
                setUp(fresh);
                fresh.SetWindowRect(rect.left, rect.top, rect.right, rect.bottom);
                if (live.GetRect() != rect) {
                    live.SetWindowRect(rect.left, rect.top, rect.right, rect.bottom);
                }
                for (C3DGraphContext* graph : {&live, &fresh}) {
                    graph->SetSelectedSlice(kSlices / 3);
                    graph->SetChunkPosition(kStart + kStep * kSamples / 2);
                    graph->SetChunkFlag(frame >= 7 ? 1 : 0);
                }
                std::vector<std::unique_ptr<CDataLineContext>> freshRing;
                for (int k = 0; k < kSlices; ++k) {
                    std::vector<short> words(kSamples);
                    for (short& w : words) {
                        w = Word(level(random));
                    }
                    if (ring.size() < kSlices) {
                        ring.push_back(StoredSlice(words, ymax, ymin));
                    } else {
                        CDataLineContext& line = *ring[static_cast<size_t>(k)];
                        line.SetInitializedFlag(0);
                        line.StoreBlock(words.data(), kSamples, 0, FALSE);
                        line.SetWindow(kStart, kStart + kStep * kSamples, ymax, ymin);
                    }
                    freshRing.push_back(StoredSlice(words, ymax, ymin));
                    live.AddSlice(ring[static_cast<size_t>(k)].get(), 0);
                    fresh.AddSlice(freshRing.back().get(), 0);
                }
                livePicture.Draw(live, plain);
                // A picture drawn again without new data (the slices' points
                // then made in their envelopes).
                if (frame % 3 == 1) {
                    livePicture.Draw(live, plain);
                }
                GraphPicture freshPicture(kWidth, kHeight);
                freshPicture.Draw(fresh, plain);
                ASSERT_EQ(livePicture.Differences(freshPicture, plain), "")
                    << "pen " << penWidth << (plain ? " image" : " bitmap") << " frame " << frame;
            }
        }
    }
}

TEST_F(Graph3DTest, HitTestsFollowTheBaseLinesAtTheirBoundaries) {
    m_graph.SetSliceCount(4);
    const auto flat = FlatSlice(-50.0);
    for (int i = 0; i < 4; ++i) {
        m_graph.AddSlice(flat.get(), 0);
    }
    // The selected slice's base runs from its back end (raised by E) to its
    // front end on the box's bottom row.
    m_graph.SetSelectedSlice(2);
    const CPoint o = m_graph.SliceOrigin(2);
    const int front = o.y + 100 - m_graph.DepthAt(99);
    EXPECT_TRUE(m_graph.HitSelectedSlice(o.x + 99, front));
    EXPECT_TRUE(m_graph.HitSelectedSlice(o.x + 99, front - 5));
    EXPECT_FALSE(m_graph.HitSelectedSlice(o.x + 99, front - 6));
    EXPECT_FALSE(m_graph.HitSelectedSlice(o.x + 99, front + 1));
    const int back = o.y + 100 - 50;
    EXPECT_TRUE(m_graph.HitSelectedSlice(o.x, back));
    EXPECT_FALSE(m_graph.HitSelectedSlice(o.x - 1, back));
    EXPECT_FALSE(m_graph.HitSelectedSlice(o.x + 100, front));
    m_graph.SetSelectedSlice(4);
    EXPECT_FALSE(m_graph.HitSelectedSlice(o.x + 99, front));

    // The chunk line's base runs along the time axis at the chunk's column,
    // from the newest slice to the oldest.
    m_graph.SetChunkPosition(kStart + 200 * kStep);
    const int column = 50;
    const int newestBase = 199 - m_graph.DepthAt(column);
    EXPECT_TRUE(m_graph.HitChunkLine(column, newestBase));
    EXPECT_TRUE(m_graph.HitChunkLine(column, newestBase - 5));
    EXPECT_FALSE(m_graph.HitChunkLine(column, newestBase - 6));
    EXPECT_FALSE(m_graph.HitChunkLine(column, newestBase + 1));
    EXPECT_FALSE(m_graph.HitChunkLine(column - 1, newestBase));
    const int last = m_graph.SliceOrigin(3).x; // offset of the oldest slice
    const int oldestBase = 199 - m_graph.TimeAt(last) - m_graph.DepthAt(column);
    EXPECT_TRUE(m_graph.HitChunkLine(column + last, oldestBase));
    EXPECT_FALSE(m_graph.HitChunkLine(column + last + 1, oldestBase));
    // Outside the context nothing is hit.
    EXPECT_FALSE(m_graph.HitChunkLine(column, 200));
}

// ---- The trigger mark

class TriggerMarkTest : public DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        m_line.SetRect(CRect(0, 0, 399, 99));
        m_line.SetRedrawFlag(1);
        m_line.MakePoints(nullptr, nullptr);
        m_mark.SetRect(CRect(0, 20, 399, 99));
        m_mark.SetDataLine(&m_line);
        m_mark.SetDrawObject(m_object.get());
        m_mark.SetHitTestFlag(1);
    }
    std::unique_ptr<CDataLineContext> m_slice = FlatSlice(-50.0);
    CDataLineContext& m_line = *m_slice;
    CTriggerMarkContext m_mark;
    std::unique_ptr<CDrawObject> m_object = MakeDrawObject(kWhite, kText, kRed, "TriggerMark");
};

TEST_F(TriggerMarkTest, PentagonPointsDownAtTheDataLinePoint) {
    const int position = kStart + 100 * kStep;
    m_mark.SetPosition(position);
    POINT p;
    ASSERT_TRUE(m_line.PointOfX(position, &p));
    const int x = p.x;
    Surface surface(400, 100, kWhite);
    m_mark.Draw(&surface.dc, nullptr, nullptr);
    EXPECT_EQ(surface.BoxOf(kRed), CRect(x - 3, 20, x + 4, 31));
    EXPECT_EQ(surface.At(x, 30), kRed); // the tip
    EXPECT_EQ(surface.At(x, 25), kWhite);
    EXPECT_EQ(surface.At(x - 3, 25), kRed);
    EXPECT_EQ(surface.At(x + 3, 25), kRed);
    EXPECT_EQ(surface.At(x + 2, 28), kWhite); // the slopes go to the tip

    // The box p.x - 3 .. p.x + 3, t .. t + 10 hits with the area 60.
    EXPECT_TRUE(m_mark.HitsSelf(x - 3, 20));
    EXPECT_TRUE(m_mark.HitsSelf(x + 3, 30));
    EXPECT_FALSE(m_mark.HitsSelf(x + 4, 25));
    EXPECT_FALSE(m_mark.HitsSelf(x - 4, 25));
    EXPECT_FALSE(m_mark.HitsSelf(x, 31));
    EXPECT_FALSE(m_mark.HitsSelf(x, 19));
    // It wins over a larger context around it, loses to a smaller one.
    CDrawContext graph;
    graph.SetRect(CRect(0, 0, 399, 99));
    graph.SetHitTestFlag(1);
    graph.AddChild(&m_mark);
    EXPECT_EQ(graph.HitTest(x, 25, 1 << 30, 127), &m_mark);
    EXPECT_EQ(graph.HitTest(x, 25, 60, 127), nullptr);
    EXPECT_EQ(graph.HitTest(x, 25, 61, 127), &m_mark);
}

TEST_F(TriggerMarkTest, OutsideTheWindowOrHiddenItIsNeitherDrawnNorHit) {
    m_line.SetWindow(kStart + 50 * kStep, kStart + 300 * kStep, 0.0, -100.0);
    m_line.MakePoints(nullptr, nullptr);
    for (int position : {kStart + 49 * kStep, kStart + 301 * kStep}) {
        m_mark.SetPosition(position);
        Surface surface(400, 100, kWhite);
        m_mark.Draw(&surface.dc, nullptr, nullptr);
        EXPECT_EQ(surface.Count(kRed), 0) << position;
        int x = 0;
        EXPECT_FALSE(m_mark.MarkX(&x));
        for (int px = 0; px < 400; px += 3) {
            EXPECT_FALSE(m_mark.HitsSelf(px, 25)) << position << " " << px;
        }
    }
    // The window's edges still show the mark.
    m_mark.SetPosition(kStart + 300 * kStep);
    int x = 0;
    EXPECT_TRUE(m_mark.MarkX(&x));
    m_line.SetRedrawFlag(0);
    EXPECT_FALSE(m_mark.MarkX(&x));
    CTriggerMarkContext lonely;
    EXPECT_FALSE(lonely.MarkX(&x));
    EXPECT_EQ(lonely.GetTypeCode(), DrawType::kTriggerMarkContext);
}

} // namespace

// A picture whose pixels stand for half a unit each (a high-density screen's
// image) is drawn by the toolkit at twice the scale: the time axis drawn with
// a wide pen then gives at every frame what it gave at the first.
TEST_F(Graph3DTest, TheTimeAxisOnAScaledPictureStaysThatOfTheFirstFrame) {
    LOGPEN pen;
    m_object->GetLOGPEN(&pen);
    pen.lopnWidth.x = 3;
    m_object->SetUpdateLOGPEN(&pen);
    m_object->SetUpdateFlag();
    m_object->UpdateDrawObjectNow();
    const auto flat = FlatSlice(-50.0);
    const auto draw = [](C3DGraphContext& graph) {
        QImage image(600, 400, QImage::Format_RGB32);
        image.setDevicePixelRatio(2.0);
        image.fill(Qt::black);
        CDC dc(&image);
        graph.Draw(&dc, nullptr, nullptr);
        return image;
    };
    m_graph.SetSliceCount(4);
    m_graph.AddSlice(flat.get(), 0);
    QImage first = draw(m_graph);
    for (int frame = 1; frame < 4; ++frame) {
        const QImage again = draw(m_graph);
        ASSERT_EQ(again, first) << "frame " << frame;
    }
}

// A semi-real-time window adds a few slices per picture to a ring of reused
// lines, so most slices are drawn again without new data; the pointer's hit
// tests ask for the slices between two pictures. Whatever the graph keeps
// from one picture to the next must draw what a graph draws whose slices'
// points were all made in their envelopes first: slices of one sample per
// column and of several, levels beyond the window, the highlight and the
// chunk line on and off, the slice count and the layout changed.
TEST_F(Graph3DTest, FewNewSlicesPerFrameDrawWhatTheirEnvelopesDraw) {
    constexpr int kWidth = 420, kHeight = 300;
    std::mt19937 random(21);
    std::uniform_real_distribution<double> level(-130.0, 20.0);
    const auto object = MakeDrawObject(kBackground, kText, kRed, "Graph3DFewNew");
    for (const int samples : {60, 200, 400}) {
        for (const bool plain : {false, true}) {
            C3DGraphContext live, ref;
            std::vector<std::unique_ptr<CDataLineContext>> copies;
            for (C3DGraphContext* g : {&live, &ref}) {
                g->SetDrawObject(object.get());
                g->SetAutoLayoutFlag(0);
                g->SetSliceCount(100);
                g->SetWindowRect(0, 0, kWidth - 1, kHeight - 1);
            }
            int count = 100;
            std::vector<std::unique_ptr<CDataLineContext>> pool(C3DGraphContext::kRingSize);
            for (auto& line : pool) {
                line = std::make_unique<CDataLineContext>();
                ASSERT_EQ(line->Configure(kStart, kStep, static_cast<DWORD>(samples)), 1);
                line->SetWindow(kStart, kStart + kStep * samples, 0.0, -100.0);
            }
            int write = 0;
            for (int frame = 0; frame < 16; ++frame) {
                if (frame == 9 || frame == 11) {
                    count = frame == 9 ? 37 : 100;
                    live.SetSliceCount(count);
                    ref.SetSliceCount(count);
                }
                const CRect rect = frame == 13 ? CRect(12, 7, kWidth - 31, kHeight - 41)
                                               : CRect(0, 0, kWidth - 1, kHeight - 1);
                for (C3DGraphContext* g : {&live, &ref}) {
                    if (g->GetRect() != rect) {
                        g->SetWindowRect(rect.left, rect.top, rect.right, rect.bottom);
                    }
                }
                const int fresh = frame == 0 ? count : (frame % 5 == 3 ? 0 : 1 + frame % 4);
                for (int k = 0; k < fresh; ++k) {
                    CDataLineContext& line = *pool[static_cast<size_t>(write)];
                    write = (write + 1) % C3DGraphContext::kRingSize;
                    std::vector<short> words(static_cast<size_t>(samples));
                    for (short& w : words) {
                        w = Word(level(random));
                    }
                    line.SetInitializedFlag(0);
                    line.StoreBlock(words.data(), samples, 0, FALSE);
                    live.AddSlice(&line, 0);
                    copies.push_back(StoredSlice(words, 0.0, -100.0));
                    ref.AddSlice(copies.back().get(), 0);
                }
                for (C3DGraphContext* g : {&live, &ref}) {
                    g->SetSelectedSlice(frame % 7);
                    g->SetChunkPosition(kStart + kStep * samples / 3);
                    g->SetChunkFlag(frame % 2);
                }
                for (int p = 0; p < count; ++p) {
                    ref.GetSliceAt(p);
                }
                GraphPicture a(kWidth, kHeight), b(kWidth, kHeight);
                a.Draw(live, plain);
                if (frame % 3 == 2) {
                    // Hit tests between two drawings.
                    live.HitChunkLine(200, 150);
                    live.HitSelectedSlice(200, 150);
                    a.Draw(live, plain);
                }
                b.Draw(ref, plain);
                ASSERT_EQ(a.Differences(b, plain), "")
                    << samples << (plain ? " image" : " bitmap") << " frame " << frame;
            }
        }
    }
}
