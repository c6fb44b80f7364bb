// Drawing on a surface with more device pixels than logical units (a screen
// at scale 2 or 1.5): the drawing keeps its logical coordinates and lands on
// the device pixels, lines one device pixel wide, text in the font at the
// device size, bitmaps made compatible at the same resolution.
#include "platform/dc.h"
#include "platform/gdiobjects.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <set>

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr QRgb kWhitePixel = 0xFFFFFFFFu;

// A white image of width x height logical units at the ratio.
QImage Screen(int width, int height, double ratio) {
    QImage image(qRound(width * ratio), qRound(height * ratio), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    return image;
}

bool Inked(const QImage& image, int x, int y) {
    return image.pixel(x, y) != kWhitePixel;
}

// Device pixels of the image that differ from white.
int InkCount(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += Inked(image, x, y);
    return n;
}

// Whether the ink is made of whole 2 x 2 blocks of the logical grid, as a
// picture drawn at the logical size and enlarged would be.
bool OnlyWholeBlocks(const QImage& image) {
    for (int y = 0; y + 1 < image.height(); y += 2) {
        for (int x = 0; x + 1 < image.width(); x += 2) {
            const QRgb c = image.pixel(x, y);
            if (image.pixel(x + 1, y) != c || image.pixel(x, y + 1) != c ||
                image.pixel(x + 1, y + 1) != c)
                return false;
        }
    }
    return true;
}

LOGFONT PixelFont(LONG height) {
    LOGFONT lf;
    lf.lfHeight = height;
    std::strncpy(lf.lfFaceName, "DejaVu Sans", LF_FACESIZE - 1);
    return lf;
}

} // namespace

TEST(GdiDevicePixels, FillsCoverTheDeviceRectangleAndLinesAreOneDevicePixelWide) {
    QImage image = Screen(20, 20, 2.0);
    {
        CDC dc(&image);
        EXPECT_EQ(dc.GetDevicePixelRatio(), 2.0);
        EXPECT_EQ(dc.GetDeviceCaps(HORZRES), 20) << "the size in logical units";
        dc.FillSolidRect(1, 2, 3, 1, kRed);
        CPen pen(PS_SOLID, 1, kBlue);
        dc.SelectObject(&pen);
        dc.MoveTo(2, 10);
        dc.LineTo(12, 10);
        dc.MoveTo(15, 0);
        dc.LineTo(15, 5);
        dc.MoveTo(0, 12);
        dc.LineTo(6, 18);
    }
    // The fill: logical (1, 2)-(4, 3) is device (2, 4)-(8, 6).
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(image.pixel(x, y) == qRgb(255, 0, 0), x >= 2 && x < 8 && y >= 4 && y < 6)
                << x << "," << y;
    // The horizontal line: device row 20 from column 4 up to (not with) 24.
    for (int x = 0; x < 30; ++x) {
        EXPECT_EQ(image.pixel(x, 20) == qRgb(0, 0, 255), x >= 4 && x < 24) << x;
        EXPECT_FALSE(Inked(image, x, 21)) << "one device pixel wide at " << x;
    }
    for (int y = 0; y < 12; ++y) {
        EXPECT_EQ(Inked(image, 30, y), y < 10) << y;
        EXPECT_FALSE(Inked(image, 31, y));
    }
    // The diagonal steps one device pixel at a time.
    for (int i = 0; i < 12; ++i) {
        EXPECT_TRUE(Inked(image, i, 24 + i)) << i;
        EXPECT_FALSE(Inked(image, i + 1, 24 + i)) << i;
    }
    EXPECT_FALSE(Inked(image, 12, 36)) << "the last point is left out";
}

TEST(GdiDevicePixels, AtOneAndAHalfEveryLineIsOneDevicePixelAndCellsTile) {
    QImage image = Screen(40, 10, 1.5);
    {
        CDC dc(&image);
        CPen pen(PS_SOLID, 1, kBlack);
        dc.SelectObject(&pen);
        // A grid line every logical unit from 1 to 9.
        for (int x = 1; x < 10; ++x) {
            dc.MoveTo(x * 3, 0);
            dc.LineTo(x * 3, 10);
        }
        // Fills side by side leave no device column out.
        for (int x = 30; x < 40; ++x)
            dc.FillSolidRect(x, 0, 1, 10, (x & 1) ? kRed : kBlue);
    }
    std::set<int> columns;
    for (int x = 0; x < qRound(30 * 1.5); ++x) {
        if (Inked(image, x, 3))
            columns.insert(x);
    }
    ASSERT_EQ(columns.size(), 9u) << "each grid line is one device pixel wide";
    for (int x : columns)
        EXPECT_FALSE(columns.count(x + 1)) << x;
    for (int x = 45; x < 60; ++x)
        EXPECT_NE(image.pixel(x, 5), kWhitePixel) << x;
}

TEST(GdiDevicePixels, DashesKeepTheirLogicalLengths) {
    QImage one = Screen(48, 2, 1.0);
    QImage two = Screen(48, 2, 2.0);
    for (QImage* image : {&one, &two}) {
        CDC dc(image);
        CPen dotted(PS_DOT, 1, kBlack);
        dc.SelectObject(&dotted);
        dc.SetBkMode(TRANSPARENT);
        dc.MoveTo(0, 0);
        dc.LineTo(48, 0);
    }
    for (int x = 0; x < 96; ++x)
        EXPECT_EQ(Inked(two, x, 0), Inked(one, x / 2, 0)) << x;
}

TEST(GdiDevicePixels, TextIsDrawnAtTheDeviceSizeAndMeasuredInLogicalUnits) {
    CFont font;
    const LOGFONT lf = PixelFont(-14);
    font.CreateFontIndirect(&lf);
    QImage one = Screen(120, 30, 1.0);
    QImage two = Screen(120, 30, 2.0);
    CSize sizes[2];
    int index = 0;
    for (QImage* image : {&one, &two}) {
        CDC dc(image);
        dc.SelectObject(&font);
        dc.SetBkMode(TRANSPARENT);
        sizes[index++] = dc.GetTextExtent("Torvel 42", 9);
        // Often enough that the glyphs are drawn from their remembered pixels.
        for (int k = 0; k < 12; ++k)
            dc.TextOut(4, 4, "Torvel 42", 9);
        dc.SetTextAlign(TA_RIGHT | TA_BOTTOM);
        dc.TextOut(116, 28, "dB", 2);
    }
    EXPECT_EQ(sizes[0], sizes[1]) << "measures stay logical";
    EXPECT_FALSE(OnlyWholeBlocks(two)) << "glyphs have device-pixel detail";
    // About four times the ink of the logical drawing, where it was drawn.
    EXPECT_GT(InkCount(two), 2 * InkCount(one));
    EXPECT_LT(InkCount(two), 6 * InkCount(one));
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 240; ++x) {
            if (!Inked(two, x, y))
                continue;
            const int lx = x / 2, ly = y / 2;
            const bool nearInk = [&] {
                for (int dy = -2; dy <= 2; ++dy)
                    for (int dx = -2; dx <= 2; ++dx)
                        if (one.valid(lx + dx, ly + dy) && Inked(one, lx + dx, ly + dy))
                            return true;
                return false;
            }();
            ASSERT_TRUE(nearInk) << "device ink at " << x << "," << y << " far from any text";
        }
    }
}

TEST(GdiDevicePixels, CompatibleBitmapsHaveTheDevicePixelsAndBlitOneToOne) {
    QImage image = Screen(30, 20, 2.0);
    CDC dc(&image);
    CDC memory;
    memory.CreateCompatibleDC(&dc);
    EXPECT_EQ(memory.CompatibleRatio(), 2.0);
    CBitmap bitmap;
    ASSERT_TRUE(bitmap.CreateCompatibleBitmap(&memory, 10, 8));
    BITMAP info;
    bitmap.GetBitmap(&info);
    EXPECT_EQ(info.bmWidth, 20);
    EXPECT_EQ(info.bmHeight, 16);
    memory.SelectObject(&bitmap);
    memory.FillSolidRect(0, 0, 10, 8, kWhite);
    memory.MoveTo(0, 3);
    memory.LineTo(10, 3);
    dc.BitBlt(5, 5, 10, 8, &memory, 0, 0, SRCCOPY);
    dc.Flush();
    for (int x = 10; x < 30; ++x) {
        EXPECT_EQ(image.pixel(x, 16), qRgb(0, 0, 0)) << x;
        EXPECT_EQ(image.pixel(x, 17), kWhitePixel) << x;
    }
    // A bitmap of logical pixels is enlarged onto the device pixels.
    CDC plain;
    plain.CreateCompatibleDC(nullptr);
    CBitmap small;
    small.CreateCompatibleBitmap(&plain, 2, 1);
    plain.SelectObject(&small);
    plain.SetPixel(1, 0, kRed);
    dc.BitBlt(0, 0, 2, 1, &plain, 0, 0, SRCCOPY);
    dc.Flush();
    EXPECT_EQ(image.pixel(1, 1), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(2, 0), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(3, 1), qRgb(255, 0, 0));
}

TEST(GdiDevicePixels, MaskBltStampsAtTheDeviceResolutionAndAcrossRatios) {
    QImage image = Screen(20, 10, 2.0);
    CDC dc(&image);
    // Source and mask at the DC's ratio: a one-device-pixel line is stamped.
    CDC source, mask;
    source.CreateCompatibleDC(&dc);
    mask.CreateCompatibleDC(&dc);
    CBitmap sourceBitmap, maskBitmap;
    sourceBitmap.CreateCompatibleBitmap(&dc, 10, 10);
    maskBitmap.CreateCompatibleBitmap(&dc, 10, 10, true);
    EXPECT_TRUE(maskBitmap.IsMonochrome());
    source.SelectObject(&sourceBitmap);
    mask.SelectObject(&maskBitmap);
    source.FillSolidRect(0, 0, 10, 10, kRed);
    CPen white(PS_SOLID, 1, kWhite);
    mask.SelectObject(&white);
    mask.MoveTo(0, 0);
    mask.LineTo(10, 10);
    mask.SelectStockObject(BLACK_PEN);
    mask.SelectObject(&sourceBitmap); // fails: the bitmap is another DC's
    dc.MaskBlt(0, 0, 10, 10, &source, 0, 0, maskBitmap, 0, 0, 0xAACC0020);
    dc.Flush();
    EXPECT_EQ(image.pixel(5, 5), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(6, 5), kWhitePixel) << "one device pixel of the diagonal";
    // A mask of logical pixels: each of its pixels stamps a 2 x 2 block.
    CBitmap coarse;
    const unsigned char bits[2] = {0x80, 0x00}; // the top-left pixel set
    coarse.CreateBitmap(2, 1, 1, 1, bits);
    dc.MaskBlt(10, 0, 2, 1, &source, 0, 0, coarse, 0, 0, 0xAACC0020);
    dc.Flush();
    EXPECT_EQ(image.pixel(21, 1), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(22, 0), kWhitePixel);
}
