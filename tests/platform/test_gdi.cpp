// The GDI drawing layer, checked on the pixels of memory bitmaps and images:
// lines without their last pixel, shapes without their right and bottom
// edges, text placed by its alignment, object selection, blits and DIB rows.
#include "platform/dc.h"
#include "platform/dcraster.h"
#include "platform/gdiobjects.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <array>
#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

// A memory DC drawing into a white colour bitmap.
struct Surface {
    CDC dc;
    CBitmap bitmap;
    Surface(int width, int height, COLORREF fill = kWhite) {
        dc.CreateCompatibleDC(nullptr);
        bitmap.CreateCompatibleBitmap(&dc, width, height);
        dc.SelectObject(&bitmap);
        dc.FillSolidRect(0, 0, width, height, fill);
        dc.SetBkColor(kWhite);
    }
    COLORREF At(int x, int y) const { return dc.GetPixel(x, y); }
};

// The bounding box of the pixels that have the colour, or an empty rectangle.
CRect BoxOf(const CDC& dc, int width, int height, COLORREF color) {
    CRect box(INT_MAX, INT_MAX, INT_MIN, INT_MIN);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (dc.GetPixel(x, y) == color) {
                box.left = std::min<LONG>(box.left, x);
                box.top = std::min<LONG>(box.top, y);
                box.right = std::max<LONG>(box.right, x + 1);
                box.bottom = std::max<LONG>(box.bottom, y + 1);
            }
        }
    }
    return box.left == INT_MAX ? CRect() : box;
}

LOGFONT PixelFont(LONG height, const char* face) {
    LOGFONT lf;
    lf.lfHeight = height;
    lf.lfWeight = FW_NORMAL;
    std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    return lf;
}

} // namespace

TEST(GdiLines, LineToLeavesOutItsLastPixelInEveryDirection) {
    Surface s(20, 20);
    CPen pen(PS_SOLID, 1, kRed);
    s.dc.SelectObject(&pen);

    s.dc.MoveTo(2, 1);
    s.dc.LineTo(10, 1);
    EXPECT_EQ(s.At(1, 1), kWhite);
    for (int x = 2; x < 10; ++x)
        EXPECT_EQ(s.At(x, 1), kRed) << x;
    EXPECT_EQ(s.At(10, 1), kWhite);

    s.dc.MoveTo(15, 2);
    s.dc.LineTo(15, 9);
    EXPECT_EQ(s.At(15, 2), kRed);
    EXPECT_EQ(s.At(15, 8), kRed);
    EXPECT_EQ(s.At(15, 9), kWhite);

    s.dc.MoveTo(2, 4);
    s.dc.LineTo(8, 10);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(s.At(2 + i, 4 + i), kRed) << i;
    EXPECT_EQ(s.At(8, 10), kWhite);

    // Right to left: the start is drawn, the end (the leftmost pixel) is not.
    s.dc.MoveTo(12, 15);
    s.dc.LineTo(4, 15);
    EXPECT_EQ(s.At(12, 15), kRed);
    EXPECT_EQ(s.At(5, 15), kRed);
    EXPECT_EQ(s.At(4, 15), kWhite);
    EXPECT_EQ(s.dc.GetCurrentPosition(), CPoint(4, 15));
}

// Every pixel of a solid line against the midpoint rule: pixel i of n (the
// last point left out) lies i steps along the major axis and
// floor((dMajor + 2 i dMinor) / (2 dMajor)) along the minor one. Random
// polylines (single segments through LineTo) in all directions, steep
// segments one column wide among them, some running off the surface (only
// their pixels on it are drawn).
TEST(GdiLines, EverySolidSegmentFollowsTheMidpointRule) {
    constexpr int kW = 48, kH = 40;
    std::mt19937 rng(17);
    const auto pick = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(rng);
    };
    for (int round = 0; round < 400; ++round) {
        Surface s(kW, kH);
        CPen pen(PS_SOLID, 1, kRed);
        s.dc.SelectObject(&pen);
        const int spread = round % 4 == 0 ? 30 : 0;
        std::vector<POINT> points{{pick(-spread, kW - 1 + spread), pick(-spread, kH - 1 + spread)}};
        const int count = 2 + round % 5;
        for (int k = 1; k < count; ++k) {
            const POINT last = points.back();
            const int x =
                (round + k) % 3 == 0 ? last.x + pick(-1, 1) : pick(-spread, kW - 1 + spread);
            const int y =
                (round + k) % 3 == 1 ? last.y + pick(-1, 1) : pick(-spread, kH - 1 + spread);
            points.push_back({x, y});
        }
        // On a bitmap that follows its ink and on a plain image.
        QImage image(kW, kH, QImage::Format_RGB32);
        image.fill(Qt::white);
        CDC onImage(&image);
        onImage.SelectObject(&pen);
        for (CDC* dc : {&s.dc, &onImage}) {
            if (count == 2) {
                dc->MoveTo(points[0].x, points[0].y);
                dc->LineTo(points[1].x, points[1].y);
            } else {
                dc->Polyline(points.data(), count);
            }
        }
        std::vector<bool> expected(kW * kH, false);
        for (int k = 0; k + 1 < count; ++k) {
            const auto [x0, y0] = points[static_cast<size_t>(k)];
            const auto [x1, y1] = points[static_cast<size_t>(k) + 1];
            const int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
            const bool xMajor = dx >= dy;
            const long long dMajor = xMajor ? dx : dy, dMinor = xMajor ? dy : dx;
            const int sx = x1 >= x0 ? 1 : -1, sy = y1 >= y0 ? 1 : -1;
            for (long long i = 0; i < dMajor; ++i) {
                const long long minor = (dMajor + 2 * i * dMinor) / (2 * dMajor);
                const long long x = x0 + sx * (xMajor ? i : minor);
                const long long y = y0 + sy * (xMajor ? minor : i);
                if (x >= 0 && x < kW && y >= 0 && y < kH)
                    expected[static_cast<size_t>(y * kW + x)] = true;
            }
        }
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                const COLORREF want = expected[static_cast<size_t>(y * kW + x)] ? kRed : kWhite;
                ASSERT_EQ(s.At(x, y), want) << "round " << round << " at " << x << "," << y;
                ASSERT_EQ(onImage.GetPixel(x, y), want)
                    << "round " << round << " at " << x << "," << y;
            }
        }
    }
}

TEST(GdiLines, ShallowLineStepsOncePerColumnWithoutGaps) {
    Surface s(40, 10);
    s.dc.MoveTo(0, 0);
    s.dc.LineTo(30, 5);
    for (int x = 0; x < 30; ++x) {
        int count = 0;
        for (int y = 0; y < 10; ++y)
            count += s.At(x, y) == kBlack;
        EXPECT_EQ(count, 1) << "column " << x;
    }
    EXPECT_EQ(s.At(0, 0), kBlack);
    EXPECT_EQ(s.At(29, 5), kBlack);
}

TEST(GdiLines, PolylineDrawsItsJointsButNotItsLastPoint) {
    Surface s(20, 20);
    CPen pen(PS_SOLID, 1, kBlue);
    s.dc.SelectObject(&pen);
    const POINT points[] = {{2, 2}, {10, 2}, {10, 8}, {3, 8}};
    ASSERT_TRUE(s.dc.Polyline(points, 4));
    EXPECT_EQ(s.At(2, 2), kBlue);
    EXPECT_EQ(s.At(10, 2), kBlue);
    EXPECT_EQ(s.At(10, 8), kBlue);
    EXPECT_EQ(s.At(4, 8), kBlue);
    EXPECT_EQ(s.At(3, 8), kWhite);
    EXPECT_FALSE(s.dc.Polyline(points, 1));
}

TEST(GdiLines, LinesFarOutsideTheSurfaceAreClippedNotWrapped) {
    Surface s(10, 10);
    s.dc.MoveTo(-1000000, 5);
    s.dc.LineTo(1000000, 5);
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(s.At(x, 5), kBlack);
    EXPECT_EQ(s.At(0, 4), kWhite);
    s.dc.MoveTo(INT_MIN, INT_MIN);
    s.dc.LineTo(INT_MAX, INT_MAX);
    EXPECT_EQ(s.At(3, 3), kBlack);
}

TEST(GdiLines, AClippedLineKeepsThePixelsOfTheWholeLine) {
    Surface whole(40, 20);
    whole.dc.MoveTo(3, 2);
    whole.dc.LineTo(37, 15);
    // The same line moved 10 pixels left, with both ends off a smaller surface.
    Surface shifted(24, 20);
    shifted.dc.MoveTo(3 - 10, 2);
    shifted.dc.LineTo(37 - 10, 15);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 24; ++x)
            EXPECT_EQ(shifted.At(x, y), whole.At(x + 10, y)) << x << "," << y;
    }
}

TEST(GdiLines, DottedPenFillsItsGapsOnlyInOpaqueMode) {
    Surface s(20, 4, kGreen);
    CPen pen(PS_DOT, 1, kBlack);
    s.dc.SelectObject(&pen);
    s.dc.SetBkColor(kRed);
    s.dc.SetBkMode(OPAQUE);
    s.dc.MoveTo(0, 1);
    s.dc.LineTo(12, 1);
    EXPECT_EQ(s.At(0, 1), kBlack);
    EXPECT_EQ(s.At(2, 1), kBlack);
    EXPECT_EQ(s.At(3, 1), kRed);
    EXPECT_EQ(s.At(5, 1), kRed);
    EXPECT_EQ(s.At(6, 1), kBlack);

    s.dc.SetBkMode(TRANSPARENT);
    s.dc.MoveTo(0, 2);
    s.dc.LineTo(12, 2);
    EXPECT_EQ(s.At(0, 2), kBlack);
    EXPECT_EQ(s.At(3, 2), kGreen);
}

// A solid segment between two dotted ones leaves the dots' step where it was,
// on a DC over an image as on one over a bitmap that follows its ink.
TEST(GdiLines, ASolidSegmentKeepsTheDotsStepOfTheLinesAroundIt) {
    const auto draw = [](CDC& dc) {
        CPen dotted(PS_DOT, 1, kBlack), solid(PS_SOLID, 1, kBlue);
        CPen* old = dc.SelectObject(&dotted);
        dc.SetBkColor(kRed);
        dc.SetBkMode(OPAQUE);
        dc.MoveTo(0, 10);
        dc.LineTo(4, 10); // four pixels of the dots' six
        dc.SelectObject(&solid);
        dc.LineTo(4, 11);
        dc.SelectObject(&dotted);
        dc.LineTo(30, 11);
        dc.SelectObject(old);
    };
    Surface memory(40, 20);
    draw(memory.dc);
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    CDC onImage(&image);
    draw(onImage);
    onImage.Flush();
    EXPECT_EQ(memory.bitmap.GetImage(), image);
    // The second dotted line goes on from the fifth pixel of the dots.
    EXPECT_EQ(onImage.GetPixel(4, 11), kRed);
    EXPECT_EQ(onImage.GetPixel(5, 11), kRed);
    EXPECT_EQ(onImage.GetPixel(6, 11), kBlack);
}

TEST(GdiLines, WidePenCoversItsWidth) {
    Surface s(20, 20);
    CPen pen(PS_SOLID, 3, kRed);
    s.dc.SelectObject(&pen);
    s.dc.MoveTo(5, 10);
    s.dc.LineTo(15, 10);
    EXPECT_EQ(s.At(10, 9), kRed);
    EXPECT_EQ(s.At(10, 10), kRed);
    EXPECT_EQ(s.At(10, 11), kRed);
    EXPECT_EQ(s.At(10, 13), kWhite);
}

// Pen widths come from files: any width, negative ones included, draws as
// its magnitude held between one pixel and the widest pen, 256.
TEST(GdiLines, PenWidthsFromFilesAreHeldToTheWidestPen) {
    const auto heightOf = [](LONG width) {
        Surface s(40, 400);
        LOGPEN lp{};
        lp.lopnStyle = PS_SOLID;
        lp.lopnWidth.x = width;
        lp.lopnColor = kRed;
        CPen pen;
        EXPECT_TRUE(pen.CreatePenIndirect(&lp));
        s.dc.SelectObject(&pen);
        s.dc.MoveTo(10, 200);
        s.dc.LineTo(30, 200);
        return BoxOf(s.dc, 40, 400, kRed).Height();
    };
    const int widest = heightOf(256);
    EXPECT_GE(widest, 256);
    EXPECT_LT(widest, 260);
    EXPECT_EQ(heightOf(257), widest);
    EXPECT_EQ(heightOf(INT_MAX), widest);
    EXPECT_EQ(heightOf(-256), widest);
    EXPECT_EQ(heightOf(INT_MIN), widest);
    EXPECT_EQ(heightOf(INT_MIN + 1), widest);
    EXPECT_EQ(heightOf(-3), heightOf(3));
}

TEST(GdiShapes, RectangleExcludesRightAndBottomAndHonoursNullObjects) {
    Surface s(20, 20);
    CPen pen(PS_SOLID, 1, kRed);
    CBrush brush(kBlue);
    s.dc.SelectObject(&pen);
    s.dc.SelectObject(&brush);
    s.dc.Rectangle(2, 2, 8, 6);
    EXPECT_EQ(s.At(2, 2), kRed);
    EXPECT_EQ(s.At(7, 5), kRed);
    EXPECT_EQ(s.At(7, 2), kRed);
    EXPECT_EQ(s.At(3, 3), kBlue);
    EXPECT_EQ(s.At(6, 4), kBlue);
    EXPECT_EQ(s.At(8, 3), kWhite);
    EXPECT_EQ(s.At(3, 6), kWhite);

    // A null brush leaves the inside as it was.
    s.dc.SelectStockObject(NULL_BRUSH);
    s.dc.Rectangle(10, 10, 16, 16);
    EXPECT_EQ(s.At(10, 10), kRed);
    EXPECT_EQ(s.At(15, 15), kRed);
    EXPECT_EQ(s.At(12, 12), kWhite);

    // A null pen: the fill alone, one pixel smaller each way.
    s.dc.SelectObject(&brush);
    s.dc.SelectStockObject(NULL_PEN);
    s.dc.Rectangle(10, 2, 14, 6);
    EXPECT_EQ(s.At(10, 2), kBlue);
    EXPECT_EQ(s.At(12, 4), kBlue);
    EXPECT_EQ(s.At(13, 4), kWhite);
    EXPECT_EQ(s.At(12, 5), kWhite);
}

TEST(GdiShapes, PolygonFillsInsideAndOutlinesEveryEdge) {
    Surface s(20, 20);
    CPen pen(PS_SOLID, 1, kRed);
    CBrush brush(kBlue);
    s.dc.SelectObject(&pen);
    s.dc.SelectObject(&brush);
    const POINT square[] = {{2, 2}, {12, 2}, {12, 12}, {2, 12}};
    s.dc.Polygon(square, 4);
    EXPECT_EQ(s.At(2, 2), kRed);
    EXPECT_EQ(s.At(12, 12), kRed);
    EXPECT_EQ(s.At(2, 12), kRed);
    EXPECT_EQ(s.At(7, 7), kBlue);
    EXPECT_EQ(s.At(13, 7), kWhite);

    Surface t(20, 20);
    t.dc.SelectStockObject(NULL_BRUSH);
    const POINT triangle[] = {{10, 2}, {16, 14}, {4, 14}};
    t.dc.Polygon(triangle, 3);
    EXPECT_EQ(t.At(10, 2), kBlack);
    EXPECT_EQ(t.At(10, 14), kBlack);
    EXPECT_EQ(t.At(10, 10), kWhite);
}

TEST(GdiShapes, FrameAndFillRectCoverExactlyTheRectangle) {
    Surface s(12, 12);
    CBrush brush(kGreen);
    const RECT r{2, 3, 9, 10};
    s.dc.FillRect(&r, &brush);
    EXPECT_EQ(BoxOf(s.dc, 12, 12, kGreen), CRect(2, 3, 9, 10));
    EXPECT_EQ(s.dc.GetBkColor(), kWhite) << "FillRect leaves the background colour";

    CBrush red(kRed);
    s.dc.FrameRect(&r, &red);
    EXPECT_EQ(BoxOf(s.dc, 12, 12, kRed), CRect(2, 3, 9, 10));
    EXPECT_EQ(s.At(3, 4), kGreen);
}

// Runs short and long (the long ones take another path), at every alignment:
// exactly their pixels change.
TEST(GdiShapes, FillsOfEveryLengthSetExactlyTheirPixels) {
    constexpr std::uint32_t kGround = 0xFF123456u, kInk = 0xFFABCDEFu;
    std::vector<std::uint32_t> row(1100);
    for (std::size_t length : {0, 1, 3, 4, 15, 16, 17, 255, 256, 257, 1000}) {
        for (std::size_t start = 40; start < 45; ++start) {
            std::fill(row.begin(), row.end(), kGround);
            FillPixels(row.data() + start, length, kInk);
            std::size_t wrong = 0;
            for (std::size_t i = 0; i < row.size(); ++i)
                wrong += row[i] != (i >= start && i < start + length ? kInk : kGround);
            EXPECT_EQ(wrong, 0u) << length << " from " << start;
        }
    }
}

TEST(GdiShapes, FocusRectangleIsDottedAndDrawingItTwiceRestoresThePixels) {
    Surface s(16, 16, RGB(10, 20, 30));
    const RECT r{2, 2, 12, 10};
    s.dc.DrawFocusRect(&r);
    EXPECT_EQ(s.At(2, 2), RGB(245, 235, 225));
    EXPECT_EQ(s.At(3, 2), RGB(10, 20, 30));
    EXPECT_EQ(s.At(4, 2), RGB(245, 235, 225));
    EXPECT_EQ(s.At(6, 6), RGB(10, 20, 30));
    s.dc.DrawFocusRect(&r);
    EXPECT_TRUE(BoxOf(s.dc, 16, 16, RGB(245, 235, 225)).IsRectNull());
}

TEST(GdiShapes, RaisedAndSunkenEdgesUseTheClassicLightAndShadow) {
    Surface s(20, 20);
    CRect r(2, 2, 12, 12);
    s.dc.DrawEdge(&r, EDGE_RAISED, BF_RECT | BF_ADJUST);
    EXPECT_EQ(s.At(2, 2), GetSysColor(COLOR_3DLIGHT));
    EXPECT_EQ(s.At(11, 11), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(s.At(11, 2), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(s.At(3, 3), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(s.At(10, 10), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(r, CRect(4, 4, 10, 10));

    CRect sunken(0, 14, 6, 20);
    s.dc.DrawEdge(&sunken, EDGE_SUNKEN, BF_RECT);
    EXPECT_EQ(s.At(0, 14), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(s.At(5, 19), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(s.At(1, 15), GetSysColor(COLOR_3DDKSHADOW));
}

TEST(GdiObjects, SelectObjectReturnsThePreviousObject) {
    Surface s(4, 4);
    CPen a(PS_SOLID, 1, kRed);
    CPen b(PS_SOLID, 1, kBlue);
    CPen* stock = s.dc.SelectObject(&a);
    ASSERT_NE(stock, nullptr);
    EXPECT_EQ(s.dc.SelectObject(&b), &a);
    EXPECT_EQ(s.dc.SelectObject(stock), &b);

    CBrush brush(kGreen);
    CBrush* oldBrush = s.dc.SelectObject(&brush);
    EXPECT_NE(oldBrush, nullptr);
    EXPECT_EQ(s.dc.SelectObject(oldBrush), &brush);

    CFont font;
    ASSERT_TRUE(font.CreatePointFont(100, "FixedSys"));
    CFont* oldFont = s.dc.SelectObject(&font);
    EXPECT_NE(oldFont, nullptr);
    EXPECT_EQ(s.dc.SelectObject(oldFont), &font);

    // A pen that was never created is refused and changes nothing.
    CPen empty;
    EXPECT_EQ(s.dc.SelectObject(&empty), nullptr);
    EXPECT_EQ(s.dc.GetCurrentPen(), stock);

    EXPECT_EQ(s.dc.SelectObject(static_cast<CGdiObject*>(&a)), stock);
    EXPECT_EQ(s.dc.GetCurrentPen(), &a);
}

TEST(GdiObjects, ABitmapIsTheSurfaceOfOneMemoryDcAtATime) {
    Surface s(4, 4);
    CDC other;
    other.CreateCompatibleDC(&s.dc);
    EXPECT_EQ(other.SelectObject(&s.bitmap), nullptr);
    CDC imageDc;
    QImage image(4, 4, QImage::Format_RGB32);
    imageDc.AttachImage(&image);
    EXPECT_EQ(imageDc.SelectObject(&s.bitmap), nullptr) << "only memory DCs take bitmaps";
}

TEST(GdiObjects, ObjectsDestroyedWhileSelectedLeaveNothingDangling) {
    CDC dc;
    dc.CreateCompatibleDC(nullptr);
    CPen* stockPen = nullptr;
    {
        CPen pen(PS_SOLID, 1, kRed);
        stockPen = dc.SelectObject(&pen);
        auto bitmap = std::make_unique<CBitmap>();
        bitmap->CreateCompatibleBitmap(&dc, 8, 8);
        dc.SelectObject(bitmap.get());
        dc.FillSolidRect(0, 0, 8, 8, kWhite);
        bitmap.reset();
        // Drawing goes on into the DC's own 1x1 bitmap.
        dc.MoveTo(0, 0);
        dc.LineTo(5, 5);
    }
    EXPECT_EQ(dc.GetCurrentPen(), stockPen);
    CPen next(PS_SOLID, 1, kBlue);
    EXPECT_EQ(dc.SelectObject(&next), stockPen);

    // Deleting a selected pen keeps the DC drawing with it until the next selection.
    Surface s(8, 8);
    CPen red(PS_SOLID, 1, kRed);
    s.dc.SelectObject(&red);
    red.DeleteObject();
    red.CreatePen(PS_SOLID, 1, kBlue);
    s.dc.MoveTo(0, 0);
    s.dc.LineTo(4, 0);
    EXPECT_EQ(s.At(0, 0), kRed);
    s.dc.SelectObject(&red);
    s.dc.MoveTo(0, 1);
    s.dc.LineTo(4, 1);
    EXPECT_EQ(s.At(0, 1), kBlue);
}

TEST(GdiObjects, StockObjectsAreNeverDeleted) {
    Surface s(4, 4);
    CGdiObject* nullPen = s.dc.SelectStockObject(NULL_PEN);
    ASSERT_NE(nullPen, nullptr);
    CGdiObject* selected = s.dc.SelectObject(nullPen);
    EXPECT_EQ(selected->DeleteObject(), TRUE);
    EXPECT_NE(selected->GetSafeHandle(), nullptr);
}

TEST(GdiText, AlignmentPlacesTheTextCellAroundTheAnchor) {
    Surface s(200, 80);
    CFont font;
    const LOGFONT lf = PixelFont(-16, "FixedSys");
    ASSERT_TRUE(font.CreateFontIndirect(&lf));
    s.dc.SelectObject(&font);
    s.dc.SetBkMode(OPAQUE);
    s.dc.SetBkColor(kGreen);
    s.dc.SetTextColor(kBlack);
    const CSize size = s.dc.GetTextExtent("Hello", 5);
    ASSERT_GT(size.cx, 0);
    ASSERT_GE(size.cy, 16);

    s.dc.SetTextAlign(TA_RIGHT | TA_BOTTOM);
    s.dc.TextOut(100, 40, "Hello", 5);
    EXPECT_EQ(BoxOf(s.dc, 200, 80, kGreen), CRect(100 - size.cx, 40 - size.cy, 100, 40));

    Surface t(200, 80);
    t.dc.SelectObject(&font);
    t.dc.SetBkColor(kGreen);
    t.dc.SetTextAlign(TA_CENTER | TA_TOP);
    t.dc.TextOut(100, 10, CString("Hello"));
    EXPECT_EQ(BoxOf(t.dc, 200, 80, kGreen),
              CRect(100 - size.cx / 2, 10, 100 - size.cx / 2 + size.cx, 10 + size.cy));

    TEXTMETRIC tm;
    ASSERT_TRUE(t.dc.GetTextMetrics(&tm));
    Surface u(200, 80);
    u.dc.SelectObject(&font);
    u.dc.SetBkColor(kGreen);
    u.dc.SetTextAlign(TA_LEFT | TA_BASELINE);
    u.dc.TextOut(20, 50, "Hello", 5);
    EXPECT_EQ(BoxOf(u.dc, 200, 80, kGreen),
              CRect(20, 50 - tm.tmAscent, 20 + size.cx, 50 - tm.tmAscent + size.cy));
}

TEST(GdiText, FillSolidRectSetsTheBackgroundOfTheNextOpaqueText) {
    Surface s(120, 40);
    s.dc.SetBkMode(OPAQUE);
    s.dc.SetBkColor(kWhite);
    s.dc.FillSolidRect(0, 30, 10, 10, kRed);
    EXPECT_EQ(s.dc.GetBkColor(), kRed);
    s.dc.TextOut(10, 2, "Text", 4);
    const CSize size = s.dc.GetTextExtent("Text", 4);
    EXPECT_EQ(BoxOf(s.dc, 120, 30, kRed), CRect(10, 2, 10 + size.cx, 2 + size.cy));
}

TEST(GdiText, TransparentTextIsAliasedAndLeavesTheBackground) {
    Surface s(120, 40, kBlue);
    CFont font;
    const LOGFONT lf = PixelFont(-20, "DejaVu Sans");
    font.CreateFontIndirect(&lf);
    s.dc.SelectObject(&font);
    s.dc.SetBkMode(TRANSPARENT);
    s.dc.SetTextColor(kWhite);
    s.dc.TextOut(5, 5, "Aliased", 7);
    int ink = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 120; ++x) {
            const COLORREF c = s.At(x, y);
            ASSERT_TRUE(c == kBlue || c == kWhite) << x << "," << y << " has a blended colour";
            ink += c == kWhite;
        }
    }
    EXPECT_GT(ink, 50);
}

TEST(GdiText, FontHeightsFollowLogfontMeaning) {
    Surface s(10, 10);
    CFont em;
    LOGFONT lf = PixelFont(-20, "DejaVu Sans");
    em.CreateFontIndirect(&lf);
    s.dc.SelectObject(&em);
    TEXTMETRIC tm;
    s.dc.GetTextMetrics(&tm);
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 20) << "negative height: character height";

    CFont cell;
    lf.lfHeight = 20;
    cell.CreateFontIndirect(&lf);
    s.dc.SelectObject(&cell);
    s.dc.GetTextMetrics(&tm);
    EXPECT_LE(tm.tmHeight, 20) << "positive height: cell height";
    EXPECT_GE(tm.tmHeight, 17);

    // "FixedSys" is not on this machine: a fixed-pitch face stands in.
    CFont fixed;
    ASSERT_TRUE(fixed.CreatePointFont(100, "FixedSys"));
    s.dc.SelectObject(&fixed);
    EXPECT_EQ(s.dc.GetTextExtent("iii", 3).cx, s.dc.GetTextExtent("WWW", 3).cx);
    LOGFONT back;
    fixed.GetLogFont(&back);
    EXPECT_EQ(back.lfHeight, -13);
    EXPECT_STREQ(back.lfFaceName, "FixedSys");
}

// Widths measured in a font are remembered with it: a font created anew
// measures in its new size once selected again, while a DC goes on with the
// font it selected until then.
TEST(GdiText, RememberedWidthsFollowTheFontTheyWereMeasuredIn) {
    Surface s(10, 10);
    CFont font;
    LOGFONT lf = PixelFont(-12, "DejaVu Sans");
    font.CreateFontIndirect(&lf);
    s.dc.SelectObject(&font);
    const int small = s.dc.GetTextExtent("WWWW", 4).cx;
    EXPECT_EQ(s.dc.GetTextExtent(CString("WWWW")).cx, small);
    lf.lfHeight = -36;
    font.CreateFontIndirect(&lf);
    EXPECT_EQ(s.dc.GetTextExtent("WWWW", 4).cx, small) << "until selected again";
    s.dc.SelectObject(&font);
    EXPECT_GT(s.dc.GetTextExtent("WWWW", 4).cx, 2 * small);
    // Far more texts than are remembered, each measured as it is, again and again.
    const QFontMetrics metrics(font.GetQFont());
    for (int i = 0; i < 3000; ++i) {
        const std::string text = std::string(static_cast<size_t>(i % 7 + 1), 'W') +
                                 std::to_string(i % 1000) + std::string(i % 3 ? 0 : 70, 'i');
        ASSERT_EQ(s.dc.GetTextExtent(text.c_str(), static_cast<int>(text.size())).cx,
                  metrics.horizontalAdvance(QString::fromStdString(text)))
            << i;
    }
}

TEST(GdiText, HostileFontDescriptionsAreBounded) {
    LOGFONT lf;
    lf.lfHeight = INT_MIN;
    lf.lfWidth = INT_MAX;
    std::memset(lf.lfFaceName, 'A', LF_FACESIZE);
    CFont font;
    ASSERT_TRUE(font.CreateFontIndirect(&lf));
    Surface s(10, 10);
    s.dc.SelectObject(&font);
    TEXTMETRIC tm;
    s.dc.GetTextMetrics(&tm);
    EXPECT_LE(tm.tmHeight - tm.tmInternalLeading, 1000);
    LOGFONT back;
    font.GetLogFont(&back);
    EXPECT_EQ(back.lfFaceName[LF_FACESIZE - 1], '\0');
}

TEST(GdiText, DrawTextAlignsInsideTheRectangle) {
    Surface s(100, 40);
    s.dc.SetBkColor(kGreen);
    const CSize size = s.dc.GetTextExtent("Mid", 3);
    RECT r{0, 0, 100, 40};
    const int height = s.dc.DrawText("Mid", -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    const int top = (40 - size.cy) / 2;
    EXPECT_EQ(height, top + size.cy);
    EXPECT_EQ(BoxOf(s.dc, 100, 40, kGreen),
              CRect((100 - size.cx) / 2, top, (100 - size.cx) / 2 + size.cx, top + size.cy));

    RECT calc{5, 5, 5, 5};
    s.dc.DrawText(CString("one\ntwo"), &calc, DT_CALCRECT);
    EXPECT_EQ(calc.bottom - calc.top, 2 * size.cy);
}

TEST(GdiText, DisabledStateTextIsEmbossedInHighlightAndShadow) {
    Surface s(80, 30, GetSysColor(COLOR_BTNFACE));
    s.dc.SetTextColor(kRed);
    const CSize size = s.dc.GetTextExtent("Off", 3);
    s.dc.DrawState(CPoint(5, 5), size, "&Off", DST_PREFIXTEXT | DSS_DISABLED);
    int highlight = 0, shadow = 0;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 80; ++x) {
            const COLORREF c = s.At(x, y);
            EXPECT_NE(c, kRed);
            highlight += c == GetSysColor(COLOR_BTNHIGHLIGHT);
            shadow += c == GetSysColor(COLOR_BTNSHADOW);
        }
    }
    EXPECT_GT(highlight, 5);
    EXPECT_GT(shadow, 5);
    const CRect box = BoxOf(s.dc, 80, 30, GetSysColor(COLOR_BTNSHADOW));
    EXPECT_GE(box.left, 5);
    EXPECT_LE(box.right, 5 + size.cx);
}

// Texts are drawn from the glyphs their font remembers; every pixel is the
// one QPainter::drawText gives, in any font, size and colour, at any place
// (also partly off the surface and cut by a rectangle), the first time, when
// shaped for the memory and from the memory, and for texts the memory does
// not take (too long, controls, right-to-left, an underlined font).
TEST(GdiText, RememberedGlyphsDrawWhatDrawTextDraws) {
    constexpr int kW = 420, kH = 260;
    const char* const texts[] = {
        "0",
        "-12.5dBm",
        "SLICE 10",
        "CHUNK 2440MHz",
        "  spaced  out  ",
        "AV To Wa ffi fl",
        "\xc3\xa0\xc3\xa9\xc3\xae\xc3\xb5\xc3\xbc \xc3\x80\xc3\x89 \xc3\x9f\xc3\xb1\xc3\xa7",
        "\xc2\xb5s 3\xc2\xb0 \xc2\xb1\xc2\xb2 \xce\xa9 \xe2\x82\xac \xe2\x86\x92",
        "",
        "a\tb",
        "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d 12",
        "[-3.25, +1e6] {x} 100%",
        "A long status line well beyond the length of the texts a font remembers: 0123456789",
    };
    struct Face {
        LONG height;
        const char* face;
        LONG weight;
        BYTE italic;
        BYTE underline;
    };
    const Face faces[] = {{-9, "DejaVu Sans", FW_NORMAL, 0, 0},
                          {-12, "DejaVu Sans", FW_BOLD, 0, 0},
                          {-13, "DejaVu Sans Mono", FW_NORMAL, 0, 0},
                          {-17, "DejaVu Serif", FW_NORMAL, 1, 0},
                          {-14, "Nimbus Sans", FW_NORMAL, 0, 1}};
    const COLORREF colours[] = {kBlack, kRed, RGB(12, 200, 97)};
    for (const Face& face : faces) {
        LOGFONT lf = PixelFont(face.height, face.face);
        lf.lfWeight = face.weight;
        lf.lfItalic = face.italic;
        lf.lfUnderline = face.underline;
        CFont font;
        ASSERT_TRUE(font.CreateFontIndirect(&lf));
        const QFontMetrics metrics(font.GetQFont());
        // Drawn once, shaped for the memory, drawn from the glyphs, then from
        // their pixels.
        for (int pass = 0; pass < CFontMetrics::kDrawsBeforePixels + 2; ++pass) {
            Surface s(kW, kH);
            s.dc.SelectObject(&font);
            s.dc.SetBkMode(TRANSPARENT);
            QImage expected(kW, kH, QImage::Format_RGB32);
            expected.fill(Qt::white);
            QPainter painter(&expected);
            painter.setRenderHint(QPainter::TextAntialiasing, false);
            painter.setFont(font.GetQFont());
            int i = 0;
            for (const char* text : texts) {
                const COLORREF colour = colours[i % 3];
                const int x = (i * 37) % 300 - (i % 4 == 3 ? 20 : 0);
                const int y = i * 19 - 6;
                s.dc.SetTextColor(colour);
                s.dc.TextOut(x, y, text, static_cast<int>(std::strlen(text)));
                painter.setPen(QColor(GetRValue(colour), GetGValue(colour), GetBValue(colour)));
                painter.drawText(QPoint(x, y + metrics.ascent()), QString::fromUtf8(text));
                ++i;
            }
            // Cut by a rectangle through the middle of the glyphs.
            RECT box{31, 233, 97, 248};
            s.dc.DrawText("-12.5dBm SLICE", -1, &box, DT_LEFT | DT_TOP | DT_SINGLELINE);
            painter.setClipRect(QRect(31, 233, 97 - 31, 248 - 233));
            painter.drawText(QPoint(31, 233 + metrics.ascent()), QStringLiteral("-12.5dBm SLICE"));
            painter.end();
            const QImage& drawn = s.bitmap.GetImage();
            for (int y = 0; y < kH; ++y) {
                for (int x = 0; x < kW; ++x)
                    ASSERT_EQ(drawn.pixel(x, y), expected.pixel(x, y))
                        << face.face << " " << face.height << " pass " << pass << " at " << x << ","
                        << y;
            }
        }
    }
}

TEST(GdiBlit, MaskBltCopiesWhereTheMaskIsSetAndLeavesTheRest) {
    Surface src(8, 8, kRed);
    Surface dst(8, 8, kBlue);
    // A monochrome mask: the left half of each row set (rows padded to 16 bits).
    std::vector<unsigned char> bits(8 * 2, 0);
    for (int y = 0; y < 8; ++y)
        bits[static_cast<size_t>(y) * 2] = 0xF0;
    CBitmap mask;
    ASSERT_TRUE(mask.CreateBitmap(8, 8, 1, 1, bits.data()));
    ASSERT_TRUE(dst.dc.MaskBlt(0, 0, 8, 8, &src.dc, 0, 0, mask, 0, 0, 0xAACC0020));
    EXPECT_EQ(dst.At(0, 0), kRed);
    EXPECT_EQ(dst.At(3, 7), kRed);
    EXPECT_EQ(dst.At(4, 0), kBlue);
    EXPECT_EQ(dst.At(7, 7), kBlue);
    EXPECT_EQ(MAKEROP4(SRCCOPY, DSTCOPY), 0xAACC0020u);

    // Any non-black pixel of a colour mask counts as set: a slice drawn in
    // white on black stamps only its drawn pixels.
    Surface slice(8, 8, kBlack);
    CPen white(PS_SOLID, 1, kWhite);
    slice.dc.SelectObject(&white);
    slice.dc.MoveTo(0, 4);
    slice.dc.LineTo(8, 4);
    Surface back(8, 8, kGreen);
    back.dc.MaskBlt(0, 0, 8, 8, &slice.dc, 0, 0, slice.bitmap, 0, 0, 0xAACC0020);
    EXPECT_EQ(back.At(3, 4), kWhite);
    EXPECT_EQ(back.At(3, 3), kGreen);
    EXPECT_FALSE(back.dc.MaskBlt(0, 0, 8, 8, &slice.dc, 0, 0, slice.bitmap, 0, 0, 0x00660046));
}

// A bitmap follows where lines and fills leave pixels other than the colour
// it was last filled with as a whole, so that clearing it, stamping through it
// and stamping from it touch only those. Whatever is drawn, the pixels must be
// those of a bitmap that follows nothing (here one whose image is handed out
// after every step). Drawn on a narrow bitmap and on one wider than 64 chunks
// of ink per row, with polylines long enough to pass the number of lines a
// bitmap keeps.
void CheckFollowedInkAgainstFullScan(int kW, int kH, unsigned seed) {
    struct Side {
        Surface slice;
        Surface dest;
        CBitmap mask;
        CDC maskDc;
        bool followed;
        Side(bool f, int w, int h)
            : slice(w, h, kBlack), dest(w + 20, h + 25, kGreen), followed(f) {
            maskDc.CreateCompatibleDC(nullptr);
            mask.CreateBitmap(w, h, 1, 1, nullptr);
            maskDc.SelectObject(&mask);
        }
        void Forget() {
            if (!followed) {
                slice.dc.GetImage();
                maskDc.GetImage();
            }
        }
    };
    Side followed(true, kW, kH), scanned(false, kW, kH);
    std::mt19937 random(seed);
    auto coordinate = [&](int size) {
        return static_cast<int>(random() % static_cast<unsigned>(size + 20)) - 10;
    };
    CPen white(PS_SOLID, 1, kWhite);
    CPen dotted(PS_DOT, 1, kRed);
    CPen wide(PS_SOLID, 3, kBlue);
    const int maxLines = 8 * (kW + kH);
    for (int step = 0; step < 300; ++step) {
        const unsigned op = random() % 12;
        std::vector<POINT> points(op == 11 ? maxLines / 3 : 2 + random() % 6);
        for (POINT& p : points)
            p = {coordinate(kW), coordinate(kH)};
        const RECT area{coordinate(kW), coordinate(kH), coordinate(kW), coordinate(kH)};
        const COLORREF color = op == 5 ? kRed : kBlack;
        const COLORREF whole = random() % 2 ? kWhite : kRed;
        const int dx = coordinate(20), dy = coordinate(20), sy = coordinate(kH);
        for (Side* side : {&followed, &scanned}) {
            side->Forget();
            CDC& dc = side->slice.dc;
            CDC& maskDc = side->maskDc;
            if (op < 4 || op == 11) {
                dc.SelectObject(op == 3 ? &dotted : &white);
                maskDc.SelectObject(&white);
                dc.Polyline(points.data(), static_cast<int>(points.size()));
                maskDc.Polyline(points.data(), static_cast<int>(points.size()));
            } else if (op < 7) {
                dc.FillSolidRect(&area, color);
                maskDc.FillSolidRect(&area, color);
            } else if (op == 7) {
                dc.FillSolidRect(0, 0, kW, kH, kBlack);
                maskDc.FillSolidRect(0, 0, kW, kH, kBlack);
            } else if (op == 8) {
                dc.SelectObject(&wide);
                maskDc.SelectObject(&wide);
                dc.Polyline(points.data(), static_cast<int>(points.size()));
                maskDc.Polyline(points.data(), static_cast<int>(points.size()));
            } else if (op == 9) {
                dc.SetBkMode(TRANSPARENT);
                dc.SetTextColor(kWhite);
                dc.TextOut(area.left, area.top, "Ink");
            } else {
                // The slice one colour as a whole, then partly the same colour again.
                dc.FillSolidRect(0, 0, kW, kH, whole);
                dc.FillSolidRect(&area, whole);
            }
            side->Forget();
            side->dest.dc.MaskBlt(dx, dy, kW, kH - sy, &dc, 0, sy, side->mask, 0, sy, 0xAACC0020);
            // The slice used as its own (colour) mask.
            side->dest.dc.MaskBlt(dx + 5, dy, kW, kH, &dc, 0, 0, side->slice.bitmap, 0, 0,
                                  0xAACC0020);
        }
        ASSERT_EQ(followed.slice.bitmap.GetImage(), scanned.slice.bitmap.GetImage()) << step;
        ASSERT_EQ(followed.mask.GetImage(), scanned.mask.GetImage()) << step;
        ASSERT_EQ(followed.dest.bitmap.GetImage(), scanned.dest.bitmap.GetImage()) << step;
    }
    // A clear to black leaves nothing behind.
    followed.slice.dc.FillSolidRect(0, 0, kW, kH, kBlack);
    EXPECT_EQ(BoxOf(followed.slice.dc, kW, kH, kBlack), CRect(0, 0, kW, kH));
}

TEST(GdiBlit, FollowedInkClearsAndStampsLikeAFullScan) {
    CheckFollowedInkAgainstFullScan(61, 47, 4711);
    CheckFollowedInkAgainstFullScan(1100, 23, 815);
}

TEST(GdiBlit, BitBltCopiesTheRegionAndClipsAtTheSourceEdge) {
    Surface src(4, 4, kRed);
    src.dc.SetPixel(0, 0, kGreen);
    Surface dst(10, 10);
    ASSERT_TRUE(dst.dc.BitBlt(2, 3, 6, 6, &src.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(dst.At(2, 3), kGreen);
    EXPECT_EQ(dst.At(5, 6), kRed);
    EXPECT_EQ(dst.At(6, 6), kWhite) << "beyond the source nothing is copied";
    EXPECT_EQ(dst.At(1, 3), kWhite);
    EXPECT_FALSE(dst.dc.BitBlt(0, 0, 2, 2, &src.dc, 0, 0, 0x00EE0086));

    // Overlapping copy within one surface.
    Surface same(6, 1);
    for (int x = 0; x < 6; ++x)
        same.dc.SetPixel(x, 0, RGB(x * 10, 0, 0));
    same.dc.BitBlt(1, 0, 5, 1, &same.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(same.At(1, 0), RGB(0, 0, 0));
    EXPECT_EQ(same.At(5, 0), RGB(40, 0, 0));
}

TEST(GdiBlit, MonochromeBitmapsConvertThroughTextAndBackgroundColours) {
    CDC mono;
    mono.CreateCompatibleDC(nullptr);
    CBitmap bits;
    bits.CreateBitmap(4, 1, 1, 1, nullptr);
    mono.SelectObject(&bits);
    // Colours drawn into a monochrome bitmap become the nearer of black and white.
    mono.SetPixel(0, 0, RGB(200, 200, 200));
    mono.SetPixel(1, 0, RGB(40, 40, 40));
    EXPECT_EQ(mono.GetPixel(0, 0), kWhite);
    EXPECT_EQ(mono.GetPixel(1, 0), kBlack);

    Surface dst(4, 1);
    dst.dc.SetTextColor(kRed);
    dst.dc.SetBkColor(kBlue);
    dst.dc.BitBlt(0, 0, 4, 1, &mono, 0, 0, SRCCOPY);
    EXPECT_EQ(dst.At(0, 0), kBlue);
    EXPECT_EQ(dst.At(1, 0), kRed);

    // Colour into monochrome: the source background colour becomes white.
    Surface colour(2, 1, kGreen);
    colour.dc.SetPixel(1, 0, kRed);
    colour.dc.SetBkColor(kGreen);
    mono.BitBlt(0, 0, 2, 1, &colour.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(mono.GetPixel(0, 0), kWhite);
    EXPECT_EQ(mono.GetPixel(1, 0), kBlack);
}

TEST(GdiBlit, StretchBltScalesByNearestNeighbourAndMirrors) {
    Surface src(2, 2);
    src.dc.SetPixel(0, 0, kRed);
    src.dc.SetPixel(1, 0, kGreen);
    src.dc.SetPixel(0, 1, kBlue);
    src.dc.SetPixel(1, 1, kBlack);
    Surface dst(4, 4);
    ASSERT_TRUE(dst.dc.StretchBlt(0, 0, 4, 4, &src.dc, 0, 0, 2, 2, SRCCOPY));
    EXPECT_EQ(dst.At(1, 1), kRed);
    EXPECT_EQ(dst.At(2, 1), kGreen);
    EXPECT_EQ(dst.At(1, 2), kBlue);
    EXPECT_EQ(dst.At(3, 3), kBlack);

    // A negative width spans x + width .. x - 1.
    Surface mirrored(2, 2);
    mirrored.dc.StretchBlt(2, 0, -2, 2, &src.dc, 0, 0, 2, 2, SRCCOPY);
    EXPECT_EQ(mirrored.At(0, 0), kGreen);
    EXPECT_EQ(mirrored.At(1, 0), kRed);
}

TEST(GdiBlit, GetDIBitsGivesBottomUpBgrRowsPaddedToFourBytes) {
    Surface s(3, 2);
    s.dc.FillSolidRect(0, 0, 3, 1, RGB(255, 0, 0));
    s.dc.FillSolidRect(0, 1, 3, 1, RGB(0, 0, 255));
    s.dc.SetPixel(2, 1, RGB(1, 2, 3));

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    ASSERT_EQ(s.dc.GetDIBits(&s.bitmap, 0, 2, nullptr, &info, DIB_RGB_COLORS), 2);
    EXPECT_EQ(info.bmiHeader.biWidth, 3);
    EXPECT_EQ(info.bmiHeader.biHeight, 2);

    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<unsigned char> bits(2 * 12, 0xEE);
    ASSERT_EQ(s.dc.GetDIBits(&s.bitmap, 0, 2, bits.data(), &info, DIB_RGB_COLORS), 2);
    // Row 0 is the bottom (blue) row: B, G, R.
    EXPECT_EQ(bits[0], 255);
    EXPECT_EQ(bits[1], 0);
    EXPECT_EQ(bits[2], 0);
    EXPECT_EQ(bits[6], 3);
    EXPECT_EQ(bits[7], 2);
    EXPECT_EQ(bits[8], 1);
    EXPECT_EQ(bits[9], 0) << "padding is zero";
    EXPECT_EQ(bits[11], 0);
    // Row 1 is the top (red) row.
    EXPECT_EQ(bits[12], 0);
    EXPECT_EQ(bits[14], 255);

    info.bmiHeader.biBitCount = 8;
    EXPECT_EQ(s.dc.GetDIBits(&s.bitmap, 0, 2, bits.data(), &info, DIB_RGB_COLORS), 0);
    EXPECT_EQ(sizeof(BITMAPFILEHEADER), 14u);
}

TEST(GdiTargets, ImageAndPainterDcsDrawLikeMemoryDcs) {
    QImage image(20, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        CDC dc(&image);
        dc.MoveTo(0, 0);
        dc.LineTo(10, 0);
        dc.TextOut(0, 5, "x", 1);
    }
    EXPECT_EQ(image.pixel(9, 0), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(10, 0), qRgb(255, 255, 255));

    QImage widget(20, 20, QImage::Format_ARGB32_Premultiplied);
    widget.fill(Qt::white);
    {
        QPainter painter(&widget);
        painter.setPen(Qt::green);
        CDC dc(&painter);
        EXPECT_EQ(dc.GetImage(), nullptr);
        dc.MoveTo(0, 0);
        dc.LineTo(10, 0);
        dc.FillSolidRect(0, 5, 4, 4, kRed);
        Surface src(2, 2, kBlue);
        dc.BitBlt(10, 10, 2, 2, &src.dc, 0, 0, SRCCOPY);
        EXPECT_EQ(dc.GetPixel(0, 0), CLR_INVALID);
        CPen hairline(PS_SOLID, 0, kBlue);
        dc.SelectObject(&hairline);
        const POINT points[] = {{14, 2}, {18, 2}, {18, 6}};
        dc.Polyline(points, 3);
        dc.Detach();
        EXPECT_EQ(painter.pen().color(), QColor(Qt::green)) << "the painter's state is restored";
    }
    EXPECT_EQ(widget.pixel(9, 0), qRgb(0, 0, 0));
    EXPECT_EQ(widget.pixel(10, 0), qRgb(255, 255, 255));
    EXPECT_EQ(widget.pixel(3, 8), qRgb(255, 0, 0));
    EXPECT_EQ(widget.pixel(4, 8), qRgb(255, 255, 255));
    EXPECT_EQ(widget.pixel(11, 11), qRgb(0, 0, 255));
    EXPECT_EQ(widget.pixel(18, 2), qRgb(0, 0, 255)) << "joint";
    EXPECT_EQ(widget.pixel(18, 5), qRgb(0, 0, 255));
    EXPECT_EQ(widget.pixel(18, 6), qRgb(255, 255, 255)) << "last point";
}

TEST(GdiTargets, APainterDcScalesTheDrawingToThePage) {
    QImage page(40, 40, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    CDC dc(&painter);
    dc.SetPrinting(TRUE);
    EXPECT_TRUE(dc.IsPrinting());
    dc.SetMapMode(MM_ANISOTROPIC);
    dc.SetWindowExt(20, 20);
    dc.SetViewportExt(40, 40);
    dc.FillSolidRect(5, 5, 5, 5, kRed);
    dc.Detach();
    painter.end();
    EXPECT_EQ(page.pixel(10, 10), qRgb(255, 0, 0));
    EXPECT_EQ(page.pixel(19, 19), qRgb(255, 0, 0));
    EXPECT_EQ(page.pixel(20, 20), qRgb(255, 255, 255));
    EXPECT_EQ(page.pixel(9, 9), qRgb(255, 255, 255));
}

TEST(GdiTargets, AnisotropicMappingScalesTheDrawingOntoTheDevice) {
    Surface s(40, 40);
    s.dc.SetMapMode(MM_ANISOTROPIC);
    s.dc.SetWindowExt(20, 20);
    s.dc.SetViewportExt(40, 40);
    s.dc.FillSolidRect(5, 5, 5, 5, kRed);
    EXPECT_EQ(BoxOf(s.dc, 40, 40, kRed), CRect(5, 5, 10, 10)) << "GetPixel takes logical points";
    s.dc.SetMapMode(MM_TEXT);
    EXPECT_EQ(BoxOf(s.dc, 40, 40, kRed), CRect(10, 10, 20, 20));
}

TEST(GdiTargets, ACopyOfTheBitmapTakenWhileDrawingDoesNotChangeLater) {
    Surface s(8, 8);
    s.dc.TextOut(0, 0, "a", 1); // the DC's painter is now active
    const QImage before = s.bitmap.GetImage();
    s.dc.FillSolidRect(0, 0, 8, 8, kRed);
    s.dc.TextOut(0, 0, "b", 1);
    EXPECT_EQ(before.pixel(7, 7), qRgb(255, 255, 255));
    EXPECT_EQ(s.At(7, 7), kRed);
}

// A memory DC holds back fills of its whole bitmap and writes them only where
// nothing else covers them; an image DC writes every fill at once. Random runs
// of fills, text (opaque, transparent, clipped), lines and reads on both must
// give the same pixels at every read and at the end.
TEST(GdiTargets, HeldBackFillsGiveThePixelsOfFillsWrittenAtOnce) {
    constexpr int kW = 96, kH = 64;
    const COLORREF colours[] = {kWhite, kRed, RGB(0, 0, 49), RGB(0, 0, 48)};
    std::mt19937 rng(41);
    const auto pick = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(rng);
    };
    for (int round = 0; round < 100; ++round) {
        Surface held(kW, kH);
        QImage image(kW, kH, QImage::Format_RGB32);
        image.fill(Qt::white);
        CDC plain(&image);
        plain.SetBkColor(kWhite);
        CDC* both[] = {&held.dc, &plain};
        CRect last;
        for (int step = 0; step < 30; ++step) {
            const COLORREF colour = colours[pick(0, 3)];
            // Fills more often than lines, which end a held fill.
            const int op =
                std::array{0, 0, 1, 1, 1, 2, 3, 4, 5, 6}[static_cast<size_t>(pick(0, 9))];
            const int mode = pick(0, 1) ? OPAQUE : TRANSPARENT;
            CRect r(pick(-10, kW), pick(-10, kH), pick(-10, kW + 10), pick(-10, kH + 10));
            // Often the next run of a band: on the rows of the last rectangle,
            // touching or overlapping it.
            if (pick(0, 1) && !last.IsRectEmpty())
                r = CRect(last.right - pick(0, 3), last.top, last.right + pick(1, 20), last.bottom);
            last = r;
            const std::string where = "round " + std::to_string(round) + " step " +
                                      std::to_string(step) + " op " + std::to_string(op);
            for (CDC* dc : both) {
                switch (op) {
                case 0:
                    dc->FillSolidRect(0, 0, kW, kH, colour);
                    break;
                case 1:
                    dc->FillSolidRect(&r, colour);
                    break;
                case 2:
                    dc->SetBkMode(mode);
                    dc->SetTextColor(colour);
                    dc->TextOut(r.left, r.top, "Ag|12");
                    break;
                case 3: {
                    CRect box = r;
                    dc->SetTextColor(colour);
                    dc->DrawText("clipped WW", &box, DT_LEFT | DT_TOP | DT_SINGLELINE);
                    break;
                }
                case 4: {
                    CPen pen(PS_SOLID, 1, colour);
                    CPen* old = dc->SelectObject(&pen);
                    dc->MoveTo(r.left, r.top);
                    dc->LineTo(r.right, r.bottom);
                    dc->SelectObject(old);
                    break;
                }
                default:
                    break;
                }
            }
            if (op == 5) {
                for (int k = 0; k < 4; ++k) {
                    const int x = pick(0, kW - 1), y = pick(0, kH - 1);
                    ASSERT_EQ(held.dc.GetPixel(x, y), plain.GetPixel(x, y)) << where;
                }
            } else if (op == 6) {
                QImage copy(kW, kH, QImage::Format_RGB32);
                CDC target(&copy);
                target.BitBlt(0, 0, kW, kH, &held.dc, 0, 0, SRCCOPY);
                target.Flush();
                plain.Flush();
                ASSERT_EQ(copy, image) << where;
            }
        }
        plain.Flush();
        ASSERT_EQ(held.bitmap.GetImage(), image) << "round " << round;
    }
}

// A blit of a whole window's picture is copied around the caches; its pixels
// are those of any other copy, also at an odd offset and a width that is no
// multiple of the copy's groups.
TEST(GdiBlit, ALargeCopyGivesEveryPixelOfTheSource) {
    constexpr int kW = 1283, kH = 601;
    QImage pattern(kW, kH, QImage::Format_RGB32);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            pattern.setPixel(x, y, qRgb(x & 255, y & 255, (x * 7 + y * 3) & 255));
    CBitmap from;
    ASSERT_TRUE(from.CreateFromImage(pattern));
    CDC fromDc;
    fromDc.CreateCompatibleDC(nullptr);
    fromDc.SelectObject(&from);
    QImage target(kW + 3, kH, QImage::Format_RGB32);
    target.fill(Qt::black);
    CDC dc(&target);
    ASSERT_TRUE(dc.BitBlt(1, 0, kW, kH, &fromDc, 0, 0, SRCCOPY));
    dc.Flush();
    for (int y = 0; y < kH; ++y) {
        ASSERT_EQ(target.pixel(0, y), qRgb(0, 0, 0)) << y;
        for (int x = 0; x < kW; ++x)
            ASSERT_EQ(target.pixel(x + 1, y), pattern.pixel(x, y)) << x << "," << y;
        ASSERT_EQ(target.pixel(kW + 1, y), qRgb(0, 0, 0)) << y;
    }
}
