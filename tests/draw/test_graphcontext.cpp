// The spectrum graph: scale and axis texts, margins, the point mapping of data
// lines at its boundaries and in every compare mode, and a rendered graph whose
// grid lines, reference mark, texts and trace peak are found on the pixels.
#include "draw/datalinecontext.h"
#include "draw/doublebuffercontext.h"
#include "draw/normalgraphcontext.h"
#include "drawtestutil.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

using namespace drawtest;

namespace {

// A data line of n samples from start on a grid of step, all at level dB.
void Fill(CDataLineContext& line, DWORD start, DWORD step, DWORD n, double dB) {
    ASSERT_EQ(line.Configure(start, step, n), 1);
    for (DWORD i = 0; i < n; ++i) {
        line.SetWord(i, Word(dB));
    }
}

std::vector<POINT> Points(const CDataLineContext& line) {
    const POINT* p = line.GetEnvelopePoints();
    return std::vector<POINT>(p, p + line.GetEnvelopeCount());
}

std::vector<int> Xs(const CDataLineContext& line) {
    const int* x = line.GetEnvelopeX();
    return std::vector<int>(x, x + line.GetEnvelopeCount());
}

} // namespace

TEST(NormalGraphContext, SetScaleOrdersTheRangesAndPassesThemOn) {
    CNormalGraphContext graph;
    EXPECT_EQ(graph.GetXMin(), -100.0); // the construction scale
    EXPECT_EQ(graph.GetXMax(), 0.0);
    CDataLineContext line, other;
    graph.AddOverlay(&line);
    graph.AddOverlay(&other);
    graph.AddOverlay(&line);
    EXPECT_EQ(line.CDrawElement::GetNext(), &other);
    EXPECT_EQ(other.CDrawElement::GetNext(), nullptr);

    graph.SetScale(10, 0, -20, -120);
    EXPECT_EQ(graph.GetXMin(), 0.0);
    EXPECT_EQ(graph.GetXMax(), 10.0);
    EXPECT_EQ(graph.GetYMax(), -20.0);
    EXPECT_EQ(graph.GetYMin(), -120.0);
    EXPECT_EQ(graph.GetAxisText(0).GetText(), CString("-20"));
    EXPECT_EQ(graph.GetAxisText(1).GetText(), CString("-120"));
    for (CDataLineContext* l : {&line, &other}) {
        EXPECT_EQ(l->GetXMin(), 0);
        EXPECT_EQ(l->GetXMax(), 10);
        EXPECT_EQ(l->GetYMax(), -20.0);
        EXPECT_EQ(l->GetYMin(), -120.0);
    }
    // x limits are truncated to the data lines' integers.
    graph.SetScale(1000.9, 2999.7, 0, -100);
    EXPECT_EQ(line.GetXMin(), 1000);
    EXPECT_EQ(line.GetXMax(), 2999);
    // The axis texts are those of the levels set last, also for a level that
    // compares equal to the one before.
    EXPECT_EQ(graph.GetAxisText(0).GetText(), CString("0"));
    graph.SetScale(1000.9, 2999.7, -0.0, -100);
    EXPECT_EQ(graph.GetAxisText(0).GetText(), CString("-0"));
    graph.SetScale(1000.9, 2999.7, 0, -100);
    EXPECT_EQ(graph.GetAxisText(0).GetText(), CString("0"));

    ASSERT_NE(graph.GetCornerText(3), nullptr);
    EXPECT_EQ(graph.GetCornerText(4), nullptr);
    EXPECT_EQ(graph.GetCornerText(-1), nullptr);
    *graph.GetCornerText(3) = "stop";
    EXPECT_EQ(graph.GetCorner(3).GetText(), CString("stop"));
    EXPECT_EQ(*graph.GetTitleText(), CString("[Torvel]"));
}

TEST(NormalGraphContext, MarginsFollowTheAxisTextsAndTheTopIs12WithoutTopTexts) {
    Surface s(400, 300);
    auto panel = MakeDrawObject(kWhite, kBlack, kBlack);
    CNormalGraphContext graph;
    graph.SetDrawObject(panel.get());
    graph.SetRect(CRect(5, 6, 395, 296));
    graph.SetScale(0, 100, -123.5, 7);
    graph.Render(&s.dc, nullptr, nullptr);
    SIZE axis0{0, 0}, axis1{0, 0};
    s.dc.GetTextExtentPoint32("7", 1, &axis0);
    s.dc.GetTextExtentPoint32("-123.5", 6, &axis1);
    CRect area = graph.GetGraphArea();
    EXPECT_EQ(area.left, 5 + std::max(axis0.cx, axis1.cx) + 14);
    EXPECT_EQ(area.top, 6 + 12);
    EXPECT_EQ(area.right, 395 - 20);
    EXPECT_EQ(area.bottom, 296 - (axis1.cy + 8));
    EXPECT_EQ(graph.GetFrame().GetRect(), area);

    // One top corner text gives the top room for a text line.
    *graph.GetCornerText(1) = "RBW";
    graph.Render(&s.dc, nullptr, nullptr);
    area = graph.GetGraphArea();
    EXPECT_EQ(area.top, 6 + axis1.cy + 8);

    // Texts stand outside the graph area: the axis values right-aligned 4 pixels
    // left of it, the corners above and below it.
    EXPECT_EQ(graph.GetAxisText(0).GetX(), area.left - 4);
    EXPECT_EQ(graph.GetAxisText(0).GetY(), area.top - 4);
    EXPECT_EQ(graph.GetAxisText(1).GetY(), area.bottom + 4);
    EXPECT_EQ(graph.GetCorner(1).GetX(), 395 - 20);
    EXPECT_EQ(graph.GetCorner(2).GetY(), area.bottom + 4);

    // The status text is hidden until asked for; then it sits inside the top-right corner.
    EXPECT_EQ(graph.GetStatusText().GetRedrawFlag(), 0);
    graph.GetStatusText().SetText("HOLD");
    graph.GetStatusText().SetRedrawFlag(1);
    graph.Render(&s.dc, nullptr, nullptr);
    EXPECT_EQ(graph.GetStatusText().GetX(), area.right - 2);
    EXPECT_EQ(graph.GetStatusText().GetY(), area.top + 2);

    const CString dump = graph.Dump("");
    EXPECT_EQ(dump.Left(20), CString("CNormalGraphContext\n"));
    EXPECT_NE(dump.Find(" -- CNormalFrameContext\n --  -- CDrawFrame\n"), -1);
}

TEST(NormalGraphContext, FitTextShortensOnWholeCharactersAndDropsWhatCannotFit) {
    Surface s(10, 10);
    auto width = [&](const char* text) { return s.dc.GetTextExtent(CString(text)).cx; };
    const CString text("RBW : 10KHz [Torvel]");
    EXPECT_EQ(CDrawText::FitText(&s.dc, text, width("RBW : 10KHz [Torvel]")), text);
    // The longest head with its dots; the blanks before the dots go.
    EXPECT_EQ(CDrawText::FitText(&s.dc, text, width("RBW : 10KHz ..")), CString("RBW : 10KHz.."));
    EXPECT_EQ(CDrawText::FitText(&s.dc, text, width("RBW..") + 1), CString("RBW.."));
    EXPECT_EQ(CDrawText::FitText(&s.dc, text, width("R..") - 1), CString());
    EXPECT_EQ(CDrawText::FitText(&s.dc, text, 0), CString());
    // A multibyte character is kept whole or left out, never cut.
    const CString wide("\xCE\xBC\xCE\xBC\xCE\xBC\xCE\xBC\xCE\xBC\xCE\xBC");
    const CString two("\xCE\xBC\xCE\xBC..");
    EXPECT_EQ(CDrawText::FitText(&s.dc, wide, s.dc.GetTextExtent(two).cx), two);
    EXPECT_EQ(CDrawText::FitText(&s.dc, wide, s.dc.GetTextExtent(two).cx + 1), two);
}

TEST(NormalGraphContext, TextsThatWouldOverlapAreShortenedOrLeftOutInPlace) {
    Surface s(1000, 400);
    auto panel = MakeDrawObject(kWhite, kBlack, kBlack);
    CNormalGraphContext graph;
    graph.SetDrawObject(panel.get());
    graph.SetScale(0, 100, -100, 0);
    *graph.GetCornerText(0) = "[RF1] 10dB/Div  ATT:30dB";
    *graph.GetCornerText(1) = "RBW : 10KHz [Torvel]";
    *graph.GetCornerText(2) = "Centre : 431MHz";
    *graph.GetCornerText(3) = "Span : 2MHz";
    // A readout line as a marker adds it: drawn over the graph, placed below
    // the title.
    CDrawMultiLineText readout;
    readout.SetText("M1:431MHz -50.00dBm");
    readout.SetPosition(60, 0, CDrawText::kAnchorLeftTop);
    graph.AddChild(&readout);
    graph.GetFrame().GetTitle().AppendLine(&readout);
    const int caption = s.dc.GetTextExtent(graph.GetCorner(0).GetText()).cx;
    const int rbw = s.dc.GetTextExtent(graph.GetCorner(1).GetText()).cx;

    // Room for both: everything whole and where it always is.
    graph.SetRect(CRect(0, 0, 1000, 400));
    graph.Render(&s.dc, nullptr, nullptr);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(graph.GetCorner(k).GetShownText(), graph.GetCorner(k).GetText()) << k;
    }
    EXPECT_EQ(readout.GetShownText(), readout.GetText());

    // Narrower: the caption stays whole at its place, the RBW text keeps its
    // right-hand anchor and is shortened to end a gap before the caption.
    const int left = graph.GetGraphArea().left;
    const int w = left + caption + CNormalGraphContext::kCornerGap + rbw / 2 + 20;
    graph.SetRect(CRect(0, 0, w, 400));
    graph.Render(&s.dc, nullptr, nullptr);
    EXPECT_EQ(graph.GetCorner(0).GetShownText(), graph.GetCorner(0).GetText());
    const CString& shortened = graph.GetCorner(1).GetShownText();
    ASSERT_FALSE(shortened.IsEmpty());
    EXPECT_EQ(shortened.Right(2), CString(".."));
    EXPECT_EQ(graph.GetCorner(1).GetText().Left(shortened.GetLength() - 2),
              shortened.Left(shortened.GetLength() - 2));
    const CRect first = graph.GetCorner(0).GetLastExtent();
    const CRect second = graph.GetCorner(1).GetLastExtent();
    EXPECT_EQ(second.right, w - 20);
    EXPECT_GE(second.left, first.right + CNormalGraphContext::kCornerGap);
    // No room left beside the caption: the RBW text is left out.
    graph.SetRect(CRect(0, 0, left + caption + 20, 400));
    graph.Render(&s.dc, nullptr, nullptr);
    EXPECT_TRUE(graph.GetCorner(1).GetShownText().IsEmpty());
    EXPECT_TRUE(graph.GetCorner(1).GetLastExtent().IsRectEmpty());
    EXPECT_EQ(*graph.GetCornerText(1), CString("RBW : 10KHz [Torvel]")); // the owner's text stays

    // The status text takes the top right of the graph area. With room for
    // the title beside it, the title stays at the top; without, the title
    // and the readout line below it move below the status text, whole
    // (not cut to "[T..").
    graph.GetStatusText().SetText("Waiting for trigger, a long status text");
    graph.GetStatusText().SetRedrawFlag(1);
    const int status = s.dc.GetTextExtent(graph.GetStatusText().GetText()).cx;
    const int title = s.dc.GetTextExtent(CString("[Torvel]")).cx;
    graph.SetRect(CRect(0, 0, left + status + title + 40, 400));
    graph.Render(&s.dc, nullptr, nullptr);
    EXPECT_EQ(graph.GetFrame().GetTitle().GetShownText(), CString("[Torvel]"));
    EXPECT_LT(graph.GetFrame().GetTitle().GetLastExtent().top,
              graph.GetStatusText().GetLastExtent().bottom);
    graph.SetRect(CRect(0, 0, left + status + title / 2 + 20, 400));
    graph.Render(&s.dc, nullptr, nullptr);
    const CRect statusBox = graph.GetStatusText().GetLastExtent();
    const CRect titleBox = graph.GetFrame().GetTitle().GetLastExtent();
    EXPECT_EQ(statusBox.Width(), status);
    EXPECT_EQ(graph.GetFrame().GetTitle().GetShownText(), CString("[Torvel]"));
    EXPECT_GE(titleBox.top, statusBox.bottom);
    EXPECT_EQ(readout.GetShownText(), readout.GetText());
    EXPECT_GE(readout.GetLastExtent().top, titleBox.bottom);
    graph.SetRect(CRect(0, 0, 1000, 400));

    // A low graph: the lines that would reach below the graph area, the lower
    // axis value meeting the upper one, are left out; the bottom row stays
    // below the graph area.
    graph.GetStatusText().SetRedrawFlag(0);
    const int lineHeight = s.dc.GetTextExtent(CString("[Torvel]")).cy;
    for (int h = 40; h <= 200; ++h) {
        graph.SetRect(CRect(0, 0, 1000, h));
        graph.Render(&s.dc, nullptr, nullptr);
        const CRect area = graph.GetGraphArea();
        for (CDrawMultiLineText* line : {&graph.GetFrame().GetTitle(), &readout}) {
            const CRect box = line->GetLastExtent();
            if (line->GetY() + lineHeight <= area.bottom) {
                EXPECT_FALSE(box.IsRectEmpty()) << h;
            } else {
                EXPECT_TRUE(box.IsRectEmpty()) << h;
            }
        }
        const CRect upper = graph.GetAxisText(0).GetLastExtent();
        const CRect lower = graph.GetAxisText(1).GetLastExtent();
        EXPECT_FALSE(upper.IsRectEmpty());
        EXPECT_TRUE(lower.IsRectEmpty() || lower.top >= upper.bottom) << h;
        EXPECT_EQ(lower.IsRectEmpty(), area.bottom + 4 - lineHeight < area.top - 4 + lineHeight)
            << h;
    }
}

TEST(NormalGraphContext, ASmallGraphShortensTheScaleAndKeepsTheUncalibratedMarkWhole) {
    Surface s(1000, 400);
    auto panel = MakeDrawObject(kWhite, kBlack, kBlack);
    CNormalGraphContext graph;
    graph.SetDrawObject(panel.get());
    graph.SetScale(0, 100, -100, 0);
    const CString mark("  levels uncalibrated");
    *graph.GetCornerText(0) = "[RF1] 10dB/Div  ATT:30dB" + mark;
    *graph.GetCornerText(1) = "RBW : 10KHz [Torvel]";
    graph.SetCornerKeptEnd(0, mark);
    graph.SetRect(CRect(0, 0, 1000, 400));
    graph.Render(&s.dc, nullptr, nullptr);
    const int left = graph.GetGraphArea().left;
    const int markWidth = s.dc.GetTextExtent(mark).cx;
    // Narrower than the caption: its head gives way and ends in dots before
    // the mark; narrower than the mark: the mark alone, its blanks dropped.
    for (int room : {markWidth + 80, markWidth + 40, markWidth - 5}) {
        graph.SetRect(CRect(0, 0, left + room + 20, 400));
        graph.Render(&s.dc, nullptr, nullptr);
        const CString& shown = graph.GetCorner(0).GetShownText();
        EXPECT_LE(graph.GetCorner(0).GetLastExtent().Width(), room) << room;
        if (room > markWidth) {
            EXPECT_EQ(shown.Right(mark.GetLength()), mark) << shown.c_str();
            EXPECT_EQ(shown.Left(1), CString("[")) << shown.c_str();
        } else {
            EXPECT_EQ(shown.Left(8), CString("levels u")) << shown.c_str();
        }
    }
    // A text that does not end in the mark is shortened at its end as always.
    *graph.GetCornerText(0) = "[RF1] 10dB/Div  ATT:30dB";
    graph.SetRect(CRect(0, 0, left + 60 + 20, 400));
    graph.Render(&s.dc, nullptr, nullptr);
    EXPECT_EQ(graph.GetCorner(0).GetShownText().Right(2), CString(".."));
}

TEST(DataLineMapping, LevelsAtAndBeyondTheWindowLandOnTheEdges) {
    CDataLineContext line;
    ASSERT_EQ(line.Configure(0, 1, 4), 1);
    line.SetWord(0, Word(0.0));    // exactly ymax
    line.SetWord(1, Word(10.0));   // above ymax
    line.SetWord(2, Word(-110.0)); // below ymin
    line.SetWord(3, Word(-50.0));
    line.SetRect(CRect(0, 0, 99, 99));
    line.SetWindow(0, 4, 0.0, -100.0);
    SIZE factors{0, 0};
    line.MakePoints(&factors, nullptr);
    EXPECT_GT(factors.cx, 0);
    EXPECT_GT(factors.cy, 0);
    const std::vector<POINT> p = Points(line);
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0].x, 0); // the first column is the left edge
    EXPECT_EQ(p[0].y, 0);
    EXPECT_EQ(p[1].y, 0);
    EXPECT_EQ(p[2].y, 99);
    EXPECT_NEAR(p[3].y, 50, 1);
    EXPECT_LE(p[3].x, 99);
    // A window of no height maps nothing.
    line.SetWindow(0, 4, -50.0, -50.0);
    line.MakePoints(&factors, nullptr);
    EXPECT_EQ(factors.cy, 0);
    EXPECT_EQ(line.GetEnvelopeCount(), 0);
}

TEST(DataLineMapping, FewerSamplesThanColumnsStayInsideTheRectangle) {
    CDataLineContext line;
    Fill(line, 1000, 100, 10, -50.0);
    line.SetRect(CRect(20, 10, 119, 109));
    for (int xb : {2000, 1900, 1950}) {
        line.SetWindow(1000, xb, 0.0, -100.0);
        line.MakePoints(nullptr, nullptr);
        const std::vector<POINT> p = Points(line);
        ASSERT_GE(p.size(), 9u) << xb;
        EXPECT_EQ(p.front().x, 20) << xb;
        for (size_t i = 1; i < p.size(); ++i) {
            EXPECT_GT(p[i].x, p[i - 1].x) << xb;
            EXPECT_LE(p[i].x, 119) << xb;
        }
    }
    // A window that starts between samples begins with the next sample.
    line.SetWindow(1050, 2000, 0.0, -100.0);
    line.MakePoints(nullptr, nullptr);
    EXPECT_EQ(Xs(line).front(), 1100);
}

TEST(DataLineMapping, MoreSamplesThanColumnsGiveOnePointPerColumnByCompareMode) {
    CDataLineContext line;
    Fill(line, 0, 1, 1000, -80.0);
    line.SetWord(537, Word(-10.0)); // one narrow peak
    line.SetWord(538, Word(-90.0)); // and a narrow dip in the same column
    line.SetRect(CRect(0, 0, 99, 199));
    line.SetWindow(0, 1000, 0.0, -100.0);

    line.SetCompareMode(0);
    line.MakePoints(nullptr, nullptr);
    std::vector<POINT> p = Points(line);
    ASSERT_GE(p.size(), 99u);
    ASSERT_LE(p.size(), 100u);
    for (size_t i = 1; i < p.size(); ++i) {
        ASSERT_EQ(p[i].x, p[i - 1].x + 1);
    }
    auto top = std::min_element(p.begin(), p.end(), [](POINT a, POINT b) { return a.y < b.y; });
    EXPECT_NEAR(top->y, 20, 1);
    EXPECT_EQ(Xs(line)[static_cast<size_t>(top - p.begin())], 537);
    const LONG peakColumn = top->x;

    line.SetCompareMode(1); // the lowest level of the column: the dip
    line.MakePoints(nullptr, nullptr);
    p = Points(line);
    auto column = std::find_if(p.begin(), p.end(), [&](POINT a) { return a.x == peakColumn; });
    ASSERT_NE(column, p.end());
    EXPECT_NEAR(column->y, 180, 1);
    EXPECT_EQ(Xs(line)[static_cast<size_t>(column - p.begin())], 538);

    line.SetCompareMode(2); // the mean, with the x of the column's first sample
    line.MakePoints(nullptr, nullptr);
    p = Points(line);
    column = std::find_if(p.begin(), p.end(), [&](POINT a) { return a.x == peakColumn; });
    ASSERT_NE(column, p.end());
    EXPECT_GT(column->y, 20);
    EXPECT_LT(column->y, 160);
    const int firstX = Xs(line)[static_cast<size_t>(column - p.begin())];
    EXPECT_LE(firstX, 537);
    EXPECT_GT(firstX, 525);

    // Mode 3 draws a vertical stroke per column: the highest point, then the
    // lowest when they differ.
    line.SetCompareMode(3);
    line.MakePoints(nullptr, nullptr);
    p = Points(line);
    EXPECT_EQ(p.size(), 101u); // one column has two points
    column = std::find_if(p.begin(), p.end(), [&](POINT a) { return a.x == peakColumn; });
    ASSERT_NE(column + 1, p.end());
    EXPECT_NEAR(column->y, 20, 1);
    EXPECT_EQ((column + 1)->x, peakColumn);
    EXPECT_NEAR((column + 1)->y, 180, 1);
}

// The points mapped aside (the 3D graph's slices) are the envelope's, for
// windows and rectangles of every kind where each column holds one sample;
// anything else is refused; the envelope is left as it was either way.
TEST(DataLineMapping, ColumnPointsAreTheEnvelopeOfOneSamplePerColumnAndLeaveItAlone) {
    std::mt19937 random(5);
    const auto pick = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(random);
    };
    std::vector<POINT> aside(kEnvelopeColumns);
    int mapped = 0, refused = 0;
    for (int round = 0; round < 300; ++round) {
        CDataLineContext line;
        const DWORD start = static_cast<DWORD>(pick(0, 5000));
        const DWORD step = static_cast<DWORD>(pick(1, 300));
        const DWORD n = static_cast<DWORD>(pick(2, 300));
        ASSERT_EQ(line.Configure(start, step, n), 1);
        for (DWORD i = 0; i <= n; ++i) {
            line.SetWord(i, static_cast<short>(pick(-30000, 8000)));
        }
        line.SetCompareMode(static_cast<BYTE>(round % 4));
        const int left = pick(-50, 200), top = pick(-50, 200);
        const CRect rect(left, top, left + pick(0, 900), top + pick(0, 400));
        const long long end = start + static_cast<long long>(step) * n;
        const int xa =
            static_cast<int>(start) + pick(-2 * static_cast<int>(step), 2 * static_cast<int>(step));
        const int xb = round % 7 == 0 ? xa - 1 : static_cast<int>(end) - pick(-200, 200);
        const double ymax = pick(-80, 40), ymin = ymax - pick(round % 11 == 0 ? 0 : 1, 150);
        line.SetWindow(xa, xb, ymax, ymin);

        // The envelope of other data first: mapping aside must leave it.
        line.MakePoints(nullptr, &rect);
        const std::vector<POINT> before = Points(line);
        const int count = line.MakeColumnPoints(rect, aside.data());
        EXPECT_EQ(Points(line).size(), before.size()) << round;
        ASSERT_TRUE(std::equal(before.begin(), before.end(), Points(line).begin(),
                               [](POINT a, POINT b) { return a.x == b.x && a.y == b.y; }))
            << round;
        const std::vector<int> xs = Xs(line);
        const bool oneEach =
            !xs.empty() &&
            std::adjacent_find(before.begin(), before.end(),
                               [](POINT a, POINT b) { return a.x == b.x; }) == before.end() &&
            (xs.back() - xs.front()) / static_cast<int>(step) + 1 == static_cast<int>(xs.size());
        if (count < 0) {
            ++refused;
            EXPECT_FALSE(oneEach) << round;
            continue;
        }
        ++mapped;
        ASSERT_TRUE(count == 0 ? before.empty() : oneEach) << round;
        ASSERT_EQ(static_cast<size_t>(count), before.size()) << round;
        for (int k = 0; k < count; ++k) {
            ASSERT_EQ(aside[static_cast<size_t>(k)].x, before[static_cast<size_t>(k)].x) << round;
            ASSERT_EQ(aside[static_cast<size_t>(k)].y, before[static_cast<size_t>(k)].y) << round;
        }
    }
    // Both kinds came up often enough to mean something.
    EXPECT_GT(mapped, 50);
    EXPECT_GT(refused, 50);
}

TEST(DataLineMapping, KnownPixelPositionsOfTheFixedPointMapping) {
    // 10 samples 100 apart on 100 columns: the x factor 100/1000 is 52428 >> 19,
    // just under 1/10, so sample k lands on column 10k - 1 (k > 0), not 10k.
    // 100 rows for 100 dB: the y factor is 51200 >> 23 (exactly 100/16384).
    CDataLineContext line;
    ASSERT_EQ(line.Configure(1000, 100, 10), 1);
    const short words[10] = {0, -1638, -4096, -8192, -16384, 20000, -32768, -8192, 0, -4096};
    for (DWORD i = 0; i < 10; ++i)
        line.SetWord(i, words[i]);
    line.SetRect(CRect(0, 0, 99, 99));
    line.SetWindow(1000, 2000, 0.0, -100.0);
    SIZE factors{0, 0};
    line.MakePoints(&factors, nullptr);
    EXPECT_EQ(factors.cx, 52428);
    EXPECT_EQ(factors.cy, 51200);
    const std::vector<POINT> expected = {{0, 0},  {9, 9},   {19, 25}, {29, 50}, {39, 99},
                                         {49, 0}, {59, 99}, {69, 50}, {79, 0},  {89, 25}};
    std::vector<POINT> p = Points(line);
    ASSERT_EQ(p.size(), expected.size());
    for (size_t k = 0; k < p.size(); ++k) {
        EXPECT_EQ(p[k].x, expected[k].x) << k;
        EXPECT_EQ(p[k].y, expected[k].y) << k;
        EXPECT_EQ(Xs(line)[k], 1000 + 100 * static_cast<int>(k)) << k;
    }

    // A window starting between samples: the first sample mapped is the first
    // one at or after it (1100), measured from the window's start (1050).
    line.SetRect(CRect(0, 0, 89, 99));
    line.SetWindow(1050, 1950, 0.0, -100.0);
    line.MakePoints(&factors, nullptr);
    p = Points(line);
    ASSERT_EQ(p.size(), 9u);
    for (size_t k = 0; k < p.size(); ++k) {
        EXPECT_EQ(p[k].x, 4 + 10 * static_cast<int>(k)) << k;
        EXPECT_EQ(Xs(line)[k], 1100 + 100 * static_cast<int>(k)) << k;
    }
}

TEST(DataLineMapping, KnownColumnsOfEveryCompareMode) {
    // Eight samples on four columns from (10, 20): x factor 32768 >> 16 puts
    // two samples on each column; y from row 20, clamped to rows 20..119.
    CDataLineContext line;
    ASSERT_EQ(line.Configure(0, 1, 8), 1);
    // Rows 70, 45 | 29, 20 | 119 (clamped), 70 | 20 (above), 119 (below).
    const short words[8] = {-8192, -4096, -1638, 0, -16384, -8192, 20000, -32768};
    for (DWORD i = 0; i < 8; ++i)
        line.SetWord(i, words[i]);
    line.SetRect(CRect(10, 20, 13, 119));
    line.SetWindow(0, 8, 0.0, -100.0);
    struct Expect {
        BYTE mode;
        std::vector<POINT> points;
        std::vector<int> xs;
    };
    const Expect cases[] = {
        {0, {{10, 45}, {11, 20}, {12, 70}, {13, 20}}, {1, 3, 5, 6}},   // highest level
        {1, {{10, 70}, {11, 29}, {12, 119}, {13, 119}}, {0, 2, 4, 7}}, // lowest level
        {2, {{10, 57}, {11, 24}, {12, 94}, {13, 69}}, {0, 2, 4, 6}},   // mean row
        {3,
         {{10, 45}, {10, 70}, {11, 20}, {11, 29}, {12, 70}, {12, 119}, {13, 20}, {13, 119}},
         {1, 0, 3, 2, 5, 4, 6, 7}}, // highest, then lowest
    };
    for (const Expect& c : cases) {
        line.SetCompareMode(c.mode);
        SIZE factors{0, 0};
        line.MakePoints(&factors, nullptr);
        EXPECT_EQ(factors.cx, 32768);
        const std::vector<POINT> p = Points(line);
        ASSERT_EQ(p.size(), c.points.size()) << int(c.mode);
        for (size_t k = 0; k < p.size(); ++k) {
            EXPECT_EQ(p[k].x, c.points[k].x) << int(c.mode) << " point " << k;
            EXPECT_EQ(p[k].y, c.points[k].y) << int(c.mode) << " point " << k;
            EXPECT_EQ(Xs(line)[k], c.xs[k]) << int(c.mode) << " point " << k;
        }
    }
}

TEST(DataLineMapping, CompareModeZeroNeverLosesANarrowPeak) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> noise(Word(-95.0), Word(-85.0));
    CDataLineContext line;
    constexpr DWORD kSamples = 150000;
    ASSERT_EQ(line.Configure(100000, 20, kSamples), 1);
    for (DWORD i = 0; i < kSamples; ++i) {
        line.SetWord(i, static_cast<short>(noise(random)));
    }
    std::vector<int> peaks;
    for (int k = 0; k < 12; ++k) {
        const DWORD i = 5000 + static_cast<DWORD>(k) * 12000 + (random() % 1000);
        line.SetWord(i, Word(-60.0 + k));
        peaks.push_back(static_cast<int>(100000 + i * 20));
    }
    line.SetRect(CRect(10, 10, 1009, 509));
    line.SetWindow(100000, 100000 + 20 * static_cast<int>(kSamples), -20.0, -120.0);
    line.MakePoints(nullptr, nullptr);
    EXPECT_LE(line.GetEnvelopeCount(), 1000);
    const std::vector<int> xs = Xs(line);
    for (int peak : peaks) {
        EXPECT_NE(std::find(xs.begin(), xs.end(), peak), xs.end()) << peak;
    }
}

TEST(DataLineMapping, AWindowOutsideTheSamplesDrawsNothing) {
    Surface s(120, 120);
    auto red = MakeDrawObject(kWhite, kBlack, kRed);
    CDataLineContext line;
    Fill(line, 1000, 100, 11, -50.0);
    line.SetDrawObject(red.get());
    line.SetRect(CRect(0, 0, 99, 99));
    line.SetWindow(5000, 6000, 0.0, -100.0);
    SIZE factors{1, 1};
    line.MakePoints(&factors, nullptr);
    EXPECT_EQ(factors.cx, 0);
    line.Render(&s.dc, nullptr, nullptr);
    EXPECT_EQ(s.Count(kRed), 0);
    // Without a window (0, 0) nothing is mapped at all.
    line.SetWindow(0, 0, 0.0, -100.0);
    line.Render(&s.dc, nullptr, nullptr);
    EXPECT_EQ(s.Count(kRed), 0);
    // Inside the samples the line is drawn, and its peak mark with it.
    line.SetWindow(1000, 2000, 0.0, -100.0);
    line.SetWord(5, Word(-10.0));
    line.SetPeakMarkFlag(1);
    line.Render(&s.dc, nullptr, nullptr);
    EXPECT_GT(s.Count(kRed), 0);
    const CRect ink = s.BoxOf(kRed);
    EXPECT_NEAR(ink.top, 10, 1);
    EXPECT_GE(ink.bottom, 10 + 6); // the triangle hangs below the peak
}

TEST(DataLineMapping, ExceedsLevelAndXRatio) {
    CDataLineContext line;
    Fill(line, 1000, 10, 100, -80.0);
    line.SetWord(50, Word(-30.0));
    line.SetWindow(1000, 1990, 0.0, -100.0);
    EXPECT_TRUE(line.ExceedsLevel(-40.0));
    EXPECT_FALSE(line.ExceedsLevel(-30.0));
    line.SetWindow(1000, 1490, 0.0, -100.0); // index 50 is no longer inside
    EXPECT_FALSE(line.ExceedsLevel(-40.0));
    line.SetWindow(1000, 1500, 0.0, -100.0); // the window's last point counts
    EXPECT_TRUE(line.ExceedsLevel(-40.0));
    line.SetWindow(1000, 2000, 0.0, -100.0);
    EXPECT_EQ(line.XRatio(999), 0.0);
    EXPECT_EQ(line.XRatio(1250), 0.25);
    EXPECT_EQ(line.XRatio(2000), 1.0);
    EXPECT_EQ(line.XRatio(2001), 1.0);
}

TEST_F(DrawTest, DataLineSettingsCarryTheTraceStateAndTheElementKeys) {
    CDataLineContext line;
    line.SetTraceState(2);
    line.SetCompareMode(3);
    line.SetUnit(2);
    line.SetRedrawFlag(0);
    line.SetIdentifyValue(12);
    ASSERT_TRUE(line.WriteSetting("Trace1"));
    const std::string path = m_dir.file("line.SPE");
    ASSERT_EQ(WriteSettingFileObject(path.c_str()), 1);
    ReleaseSettingFileObject();
    ASSERT_EQ(LoadSettingFile(path.c_str()), 1);
    CDataLineContext read;
    EXPECT_TRUE(read.ReadSetting("Trace1"));
    EXPECT_EQ(read.GetTraceState(), 2);
    EXPECT_EQ(read.GetCompareMode(), 3);
    EXPECT_EQ(read.GetUnit(), 2);
    EXPECT_EQ(read.GetRedrawFlag(), 0);
    EXPECT_EQ(read.GetIdentifyValue(), 12);
    EXPECT_FALSE(read.ReadSetting("Trace2"));
}

TEST_F(DrawTest, ARenderedGraphShowsGridReferenceMarkTextsAndTracePeak) {
    QImage image(400, 300, QImage::Format_RGB32);
    image.fill(Qt::black);
    CDC dc(&image);
    auto panel = MakeDrawObject(kWhite, kBlue, kBlack);
    auto trace = MakeDrawObject(kWhite, kBlack, kRed);
    CDoubleBufferContext root;
    CNormalGraphContext graph;
    CDataLineContext line;
    root.SetDrawObject(panel.get());
    graph.SetDrawObject(panel.get());
    line.SetDrawObject(trace.get());
    root.AddChild(&graph);
    graph.AddOverlay(&line);
    graph.GetFrame().GetFrame().SetReferenceLine(9);
    Fill(line, 1000, 10, 101, -90.0);
    line.SetWord(50, Word(-10.0)); // 1500 kHz
    graph.SetScale(1000, 2000, -100, 0);
    *graph.GetCornerText(0) = "10dB/Div";
    const CRect window(0, 0, 400, 300);
    root.SetWindowRect(&window);
    root.Render(&dc, nullptr, nullptr);

    const CRect a = graph.GetGraphArea();
    ASSERT_FALSE(a.IsRectEmpty());
    EXPECT_EQ(line.GetRect(), a);
    auto at = [&](int x, int y) { return dc.GetPixel(x, y); };
    // The outline and the vertical grid lines at their 12.20 places, on a row
    // below the trace: the title inside the top of the graph reaches as far as
    // the fonts at hand make it.
    const int row = a.bottom - 3;
    EXPECT_EQ(at(a.left, row), kBlack);
    EXPECT_EQ(at(a.right, row), kBlack);
    const long long sx = (static_cast<long long>(a.Width() + 1) << 20) / 10;
    for (int i = 1; i < 10; ++i) {
        const int x = static_cast<int>(((static_cast<long long>(a.left) << 20) + i * sx) >> 20);
        EXPECT_EQ(at(x, row), kBlack) << i;
        EXPECT_EQ(at(x + 1, row), kWhite) << i;
    }
    // The reference mark at grid line 1 from the top (reference 9 of 10).
    const long long sy = (static_cast<long long>(a.Height() + 1) << 20) / 10;
    const int refY = static_cast<int>(((static_cast<long long>(a.top) << 20) + sy) >> 20);
    int markPixels = 0;
    for (int y = refY - 6; y <= refY + 6; ++y) {
        for (int x = a.left + 1; x < a.left + 6; ++x) {
            markPixels += y != refY && at(x, y) == kBlack;
        }
    }
    EXPECT_GT(markPixels, 0);
    // The trace: its peak at 1500 kHz and -10 dB.
    int peakX = -1, peakY = 1 << 30;
    for (int y = a.top; y <= a.bottom; ++y) {
        for (int x = a.left; x <= a.right; ++x) {
            if (at(x, y) == kRed && y < peakY) {
                peakX = x;
                peakY = y;
            }
        }
    }
    EXPECT_NEAR(peakX, a.left + (a.Width() + 1) / 2, 2);
    EXPECT_NEAR(peakY, a.top + (a.Height() + 1) / 10, 2);
    // The axis and corner texts in the panel's text colour, outside the graph area.
    bool leftText = false, topText = false;
    for (int y = 0; y < 300; ++y) {
        for (int x = 0; x < 400; ++x) {
            if (at(x, y) == kBlue) {
                leftText |= x < a.left - 3;
                topText |= y < a.top - 3 && x >= a.left;
                EXPECT_FALSE(a.PtInRect(CPoint(x, y)) && y > a.top + 30) << x << "," << y;
            }
        }
    }
    EXPECT_TRUE(leftText);
    EXPECT_TRUE(topText);
    EXPECT_EQ(root.GetPaintCount(), 1u);
}

TEST_F(DrawTest, GridLinesKeepOutOfTheTextsOnTheGraph) {
    // A low graph, as the medical window's narrow graph: its divisions are
    // lower than a line of text, so the title and the status text lie across
    // grid lines. (A readout line takes its text only when its marker draws
    // it, after the grid.)
    QImage image(700, 130, QImage::Format_RGB32);
    CDC dc(&image);
    auto panel = MakeDrawObject(kWhite, kBlue, kBlack);
    CNormalGraphContext graph;
    graph.SetDrawObject(panel.get());
    graph.SetScale(0, 100, -120, -20);
    *graph.GetCornerText(0) = "10dB/Div  ATT:0dB";
    graph.GetStatusText().SetText("Stopped: Run/Stop (F1) starts the measurement");
    graph.GetStatusText().SetRedrawFlag(1);
    graph.SetRect(CRect(0, 0, 700, 130));
    graph.Render(&dc, nullptr, nullptr);

    const CRect a = graph.GetGraphArea();
    const int rowHeight = a.Height() / 10;
    ASSERT_LT(rowHeight, dc.GetTextExtent(CString("[Torvel]")).cy);
    int linePixels = 0;
    for (CDrawText* text :
         std::initializer_list<CDrawText*>{&graph.GetFrame().GetTitle(), &graph.GetStatusText()}) {
        const CRect box = text->GetLastExtent();
        ASSERT_FALSE(box.IsRectEmpty()) << text->GetText().c_str();
        ASSERT_EQ(text->GetShownText(), text->GetText());
        int textPixels = 0, gridPixels = 0;
        for (int y = box.top; y < box.bottom; ++y) {
            for (int x = box.left; x < box.right; ++x) {
                textPixels += dc.GetPixel(x, y) == kBlue;
                gridPixels += dc.GetPixel(x, y) == kBlack;
            }
        }
        EXPECT_GT(textPixels, 0) << text->GetText().c_str();
        EXPECT_EQ(gridPixels, 0) << text->GetText().c_str();
        // Beside the text the grid lines of its rows go on.
        for (int y = box.top; y < box.bottom; ++y) {
            for (int x = a.left + 1; x < a.right; ++x) {
                if (x < box.left - 1 || x > box.right)
                    linePixels += dc.GetPixel(x, y) == kBlack;
            }
        }
    }
    EXPECT_GT(linePixels, a.Width());
}

// An alarm about the graph takes the status text's place and is drawn last,
// in white on a red box: neither the grid nor a trace crosses it. Cleared,
// the status text is back.
TEST_F(DrawTest, AnAlarmTakesTheStatusPlaceOverTheGridAndTheTraces) {
    QImage image(500, 300, QImage::Format_RGB32);
    CDC dc(&image);
    auto panel = MakeDrawObject(kWhite, kBlue, kBlack);
    auto trace = MakeDrawObject(kWhite, kBlack, kRed);
    CNormalGraphContext graph;
    CDataLineContext line;
    graph.SetDrawObject(panel.get());
    line.SetDrawObject(trace.get());
    graph.AddOverlay(&line);
    Fill(line, 1000, 10, 101, -1.0); // a trace along the top of the graph
    graph.SetScale(1000, 2000, -100, 0);
    graph.GetStatusText().SetText("Waiting");
    graph.GetStatusText().SetRedrawFlag(1);
    graph.SetAlarmText("Monitoring interrupted: no data since 12:34:56");
    graph.SetRect(CRect(0, 0, 500, 300));
    image.fill(Qt::black);
    graph.Render(&dc, nullptr, nullptr);

    const CRect a = graph.GetGraphArea();
    const CRect box = graph.GetAlarmBox();
    ASSERT_FALSE(box.IsRectEmpty());
    EXPECT_EQ(box.top, a.top);
    EXPECT_EQ(box.right, a.right);
    int red = 0, text = 0, other = 0;
    for (int y = box.top; y < box.bottom; ++y) {
        for (int x = box.left; x < box.right; ++x) {
            const COLORREF c = dc.GetPixel(x, y);
            red += c == CNormalGraphContext::kAlarmBoxColor;
            text += c == CNormalGraphContext::kAlarmTextColor;
            other += c != CNormalGraphContext::kAlarmBoxColor &&
                     c != CNormalGraphContext::kAlarmTextColor;
        }
    }
    EXPECT_GT(red, box.Width() * box.Height() / 2);
    EXPECT_GT(text, 20);
    EXPECT_EQ(other, 0) << "the grid, the trace or the status crosses the alarm";
    // The trace runs in the rows of the box, beside it.
    int traceBeside = 0;
    for (int y = box.top; y < box.bottom; ++y)
        for (int x = a.left; x < box.left; ++x)
            traceBeside += dc.GetPixel(x, y) == kRed;
    EXPECT_GT(traceBeside, 0);

    graph.SetAlarmText(CString());
    image.fill(Qt::black);
    graph.Render(&dc, nullptr, nullptr);
    EXPECT_TRUE(graph.GetAlarmBox().IsRectEmpty());
    EXPECT_EQ(graph.GetStatusText().GetShownText(), CString("Waiting"));
    for (int y = box.top; y < box.bottom; ++y)
        for (int x = box.left; x < box.right; ++x)
            ASSERT_NE(dc.GetPixel(x, y), CNormalGraphContext::kAlarmBoxColor) << x << "," << y;
}
