// Screen image output: bitmap file images (sizes, headers, bottom-up BGR rows
// with padding), BMP files that independent readers accept, PNG files that
// decode to the same pixels with the top row on top, and failures that
// neither crash nor claim success.
#include "lib/dibimage.h"

#include "platform/cfile.h"
#include "platform/dc.h"
#include "platform/gdiobjects.h"
#include "testutil.h"

#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

namespace {

DWORD Dword(const BYTE* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<DWORD>(p[3]) << 24);
}
WORD Word(const BYTE* p) {
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

// A memory DC with a bitmap of the given size whose pixel (x, y) has the
// colour pixel(x, y).
struct Picture {
    CDC dc;
    CBitmap bitmap;
    Picture(int width, int height, const std::function<COLORREF(int, int)>& pixel) {
        dc.CreateCompatibleDC(nullptr);
        bitmap.CreateCompatibleBitmap(&dc, width, height);
        dc.SelectObject(&bitmap);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                dc.SetPixel(x, y, pixel(x, y));
        dc.Flush();
    }
};

COLORREF Pattern(int x, int y) {
    return RGB((x * 37 + y) & 0xFF, (y * 11) & 0xFF, (x * y + 5) & 0xFF);
}

bool HaveTool(const char* name) {
    return !QStandardPaths::findExecutable(name).isEmpty();
}

// Runs a program; its exit code and its standard output.
int RunTool(const QString& program, const QStringList& args, QString* out = nullptr) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000))
        return -1;
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

std::string WritePng(Picture& pic, int width, int height, const std::string& path) {
    CRect rect(0, 0, width, height);
    std::unique_ptr<BYTE[]> image(CreateDIBData(pic.dc, rect, pic.bitmap));
    EXPECT_TRUE(image);
    CFile file;
    EXPECT_TRUE(file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeBinary));
    EXPECT_EQ(DibToPngFile(&file, reinterpret_cast<const BITMAPINFOHEADER*>(image.get() + 14)), 1);
    EXPECT_TRUE(file.Close());
    return path;
}

} // namespace

TEST(DibImage, HeaderSizesFollowTheRowPadding) {
    struct Case {
        int width, height;
        DWORD rowSize, fileSize;
    };
    for (const Case& c :
         {Case{101, 10, 304, 3094}, Case{1, 1, 4, 58}, Case{640, 480, 1920, 921654}}) {
        Picture pic(c.width, c.height, Pattern);
        CRect rect(0, 0, c.width, c.height);
        std::unique_ptr<BYTE[]> image(CreateDIBData(pic.dc, rect, pic.bitmap));
        ASSERT_TRUE(image);
        const BYTE* p = image.get();
        EXPECT_EQ(DibRowSize(c.width), c.rowSize);
        EXPECT_EQ(Word(p), 0x4D42);
        EXPECT_EQ(Dword(p + 2), c.fileSize);
        EXPECT_EQ(Dword(p + 6), 0u);
        EXPECT_EQ(Dword(p + 10), 54u);
        EXPECT_EQ(Dword(p + 14), 40u);
        EXPECT_EQ(Dword(p + 18), static_cast<DWORD>(c.width));
        EXPECT_EQ(Dword(p + 22), static_cast<DWORD>(c.height));
        EXPECT_EQ(Word(p + 26), 1);
        EXPECT_EQ(Word(p + 28), 24);
        for (int i = 30; i < 54; ++i)
            EXPECT_EQ(p[i], 0) << "byte " << i;
    }
}

TEST(DibImage, RowsAreBottomUpBlueGreenRedWithZeroPadding) {
    // 3 x 2: the top row red, the bottom row blue; row size 12 with 3 pad bytes.
    Picture pic(3, 2, [](int, int y) { return y == 0 ? RGB(255, 0, 0) : RGB(0, 0, 255); });
    CRect rect(0, 0, 3, 2);
    std::unique_ptr<BYTE[]> image(CreateDIBData(pic.dc, rect, pic.bitmap));
    ASSERT_TRUE(image);
    const BYTE* row0 = image.get() + 54; // the bottom row comes first
    const BYTE* row1 = row0 + 12;
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(row0[3 * x + 0], 255); // blue
        EXPECT_EQ(row0[3 * x + 2], 0);
        EXPECT_EQ(row1[3 * x + 0], 0);
        EXPECT_EQ(row1[3 * x + 2], 255); // red
    }
    for (int i = 9; i < 12; ++i) {
        EXPECT_EQ(row0[i], 0);
        EXPECT_EQ(row1[i], 0);
    }
}

TEST(DibImage, SaveDibFileWritesTheSameImageAndIndependentReadersOpenIt) {
    TempDir dir;
    Picture pic(101, 10, Pattern);
    CRect rect(0, 0, 101, 10);
    const std::string path = dir.file("pattern.bmp");
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeBinary |
                                            CFile::modeSafeReplace));
    EXPECT_EQ(SaveDIBFile(pic.dc, rect, pic.bitmap, file), 1);
    ASSERT_TRUE(file.Close());
    std::unique_ptr<BYTE[]> image(CreateDIBData(pic.dc, rect, pic.bitmap));
    const std::string bytes = ReadWholeFile(path);
    ASSERT_EQ(bytes.size(), 3094u);
    EXPECT_EQ(std::memcmp(bytes.data(), image.get(), bytes.size()), 0);

    // Python's struct module reads the headers back.
    QString out;
    const QString script =
        "import struct,sys\n"
        "d=open(sys.argv[1],'rb').read()\n"
        "t,size,r1,r2,off=struct.unpack('<2sIHHI',d[:14])\n"
        "hs,w,h,pl,bpp,comp=struct.unpack('<IiiHHI',d[14:34])\n"
        "assert t==b'BM' and size==len(d) and off==54 and hs==40 and pl==1 and comp==0\n"
        "row=(w*3+3)//4*4\n"
        "b,g,r=d[off+(h-1)*row:off+(h-1)*row+3]\n" // top-left pixel: the last stored row
        "print(w,h,bpp,r,g,b)\n";
    if (HaveTool("python3")) {
        ASSERT_EQ(RunTool("python3", {"-c", script, QString::fromStdString(path)}, &out), 0);
        const COLORREF topLeft = Pattern(0, 0);
        EXPECT_EQ(out.trimmed().toStdString(), "101 10 24 " + std::to_string(GetRValue(topLeft)) +
                                                   " " + std::to_string(GetGValue(topLeft)) + " " +
                                                   std::to_string(GetBValue(topLeft)));
    }
    if (HaveTool("identify")) {
        // ImageMagick names the version 3 bitmap "BMP3".
        ASSERT_EQ(RunTool("identify", {"-format", "%m %w %h", QString::fromStdString(path)}, &out),
                  0);
        EXPECT_EQ(out.trimmed().toStdString(), "BMP3 101 10");
    } else {
        GTEST_SKIP() << "ImageMagick's identify is not installed";
    }
}

TEST(DibImage, PngDecodesToTheSamePixelsWithTheTopRowOnTop) {
    TempDir dir;
    // Odd width: the rows carry padding that must not leak into the PNG.
    Picture pic(101, 37, [](int x, int y) {
        if (y == 0)
            return RGB(255, 0, 0);
        if (y == 36)
            return RGB(0, 0, 255);
        return Pattern(x, y);
    });
    const std::string path = WritePng(pic, 101, 37, dir.file("pattern.png"));
    QImage decoded(QString::fromStdString(path), "PNG");
    ASSERT_FALSE(decoded.isNull());
    ASSERT_EQ(decoded.width(), 101);
    ASSERT_EQ(decoded.height(), 37);
    EXPECT_EQ(decoded.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(decoded.pixel(100, 36), qRgb(0, 0, 255));
    const QImage& source = pic.bitmap.GetImage();
    int differing = 0;
    for (int y = 0; y < 37; ++y)
        for (int x = 0; x < 101; ++x)
            differing += (decoded.pixel(x, y) & 0xFFFFFF) != (source.pixel(x, y) & 0xFFFFFF);
    EXPECT_EQ(differing, 0);

    if (!HaveTool("pngcheck"))
        GTEST_SKIP() << "pngcheck is not installed";
    QString out;
    EXPECT_EQ(RunTool("pngcheck", {QString::fromStdString(path)}, &out), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("101x37, 24-bit RGB, non-interlaced")) << out.toStdString();
}

// A screen image (dark background, grid, a noisy trace with carriers, text-like
// blocks) compresses at least as well as Qt's own PNG writer makes it.
TEST(DibImage, ScreenPngIsNoLargerThanQtsPng) {
    TempDir dir;
    Picture pic(640, 480, [](int x, int y) {
        const int trace = 300 + static_cast<int>((x * 2654435761u) >> 27) - (x % 97 < 3 ? 200 : 0);
        if (y >= trace && y < trace + 2)
            return RGB(255, 255, 0);
        if (y > 450 && y < 464 && x % 20 < 12)
            return RGB(220, 220, 220);
        if ((x - 40) % 60 == 0 || (y - 20) % 44 == 0)
            return RGB(90, 90, 90);
        return RGB(0, 0, 48);
    });
    const std::string path = WritePng(pic, 640, 480, dir.file("screen.png"));
    const std::string qtPath = dir.file("screen-qt.png");
    ASSERT_TRUE(pic.bitmap.GetImage()
                    .convertToFormat(QImage::Format_RGB888)
                    .save(QString::fromStdString(qtPath), "PNG"));
    const QFileInfo ours(QString::fromStdString(path));
    const QFileInfo qt(QString::fromStdString(qtPath));
    ASSERT_GT(ours.size(), 0);
    EXPECT_LE(ours.size(), qt.size());
}

// Whatever the number of colours, a screen PNG holds 8-bit RGB pixels (files
// and the tools reading them rely on that) and decodes to the bitmap's pixels,
// rows repeating the row above among them.
TEST(DibImage, EveryPngIsRgbAndDecodesToTheSamePixels) {
    TempDir dir;
    for (const int n : {1, 2, 16, 256, 257, 4096}) {
        Picture pic(67, 41, [n](int x, int y) {
            const int row = y % 9 < 4 ? 0 : y; // runs of repeated rows
            const int i = (x * 41 + row * 7 + x / 3) % n;
            return RGB(i & 0xFF, (i * 3) & 0xFF, 200 - (i / 2) % 200);
        });
        const std::string path = WritePng(pic, 67, 41, dir.file(std::to_string(n) + ".png"));
        const QImage decoded(QString::fromStdString(path), "PNG");
        ASSERT_EQ(decoded.size(), QSize(67, 41)) << n;
        const QImage& source = pic.bitmap.GetImage();
        int differing = 0;
        for (int y = 0; y < 41; ++y)
            for (int x = 0; x < 67; ++x)
                differing += (decoded.pixel(x, y) & 0xFFFFFF) != (source.pixel(x, y) & 0xFFFFFF);
        EXPECT_EQ(differing, 0) << n << " colours";
        if (HaveTool("pngcheck")) {
            QString out;
            EXPECT_EQ(RunTool("pngcheck", {QString::fromStdString(path)}, &out), 0)
                << out.toStdString();
            EXPECT_TRUE(out.contains("24-bit RGB")) << out.toStdString();
        }
    }
}

TEST(DibImage, OnlyTwentyFourBitImagesBecomePngs) {
    TempDir dir;
    Picture pic(4, 4, Pattern);
    CRect rect(0, 0, 4, 4);
    std::unique_ptr<BYTE[]> image(CreateDIBData(pic.dc, rect, pic.bitmap));
    ASSERT_TRUE(image);
    image[14 + 14] = 8; // bits per pixel
    const std::string path = dir.file("eight.png");
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeBinary));
    EXPECT_EQ(DibToPngFile(&file, reinterpret_cast<const BITMAPINFOHEADER*>(image.get() + 14)), 0);
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadWholeFile(path).size(), 0u);
}

TEST(DibImage, EmptyRectanglesAndFullDevicesFailWithoutWriting) {
    Picture pic(8, 8, Pattern);
    CRect empty(0, 0, 0, 8), inverted(5, 5, 2, 2);
    EXPECT_EQ(CreateDIBData(pic.dc, empty, pic.bitmap), nullptr);
    EXPECT_EQ(CreateDIBData(pic.dc, inverted, pic.bitmap), nullptr);
    TempDir dir;
    CFile file;
    ASSERT_TRUE(file.Open(dir.file("x.bmp").c_str(), CFile::modeCreate | CFile::modeWrite));
    EXPECT_EQ(SaveDIBFile(pic.dc, empty, pic.bitmap, file), 0);
    file.Close();
    EXPECT_EQ(ReadWholeFile(dir.file("x.bmp")).size(), 0u);

    // A device with no space: the one large write of the BMP fails at once;
    // the PNG's small writes fail at the latest when the file is closed.
    Picture big(640, 480, Pattern);
    CRect rect(0, 0, 640, 480);
    CFile full;
    ASSERT_TRUE(full.Open("/dev/full", CFile::modeWrite));
    EXPECT_EQ(SaveDIBFile(big.dc, rect, big.bitmap, full), 0);
    EXPECT_FALSE(full.Close());
    std::unique_ptr<BYTE[]> image(CreateDIBData(big.dc, rect, big.bitmap));
    ASSERT_TRUE(full.Open("/dev/full", CFile::modeWrite));
    const int written =
        DibToPngFile(&full, reinterpret_cast<const BITMAPINFOHEADER*>(image.get() + 14));
    const BOOL closed = full.Close();
    EXPECT_FALSE(written == 1 && closed);
}
