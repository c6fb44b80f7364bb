// Texts drawn again from the pixels their glyphs set give exactly what
// QPainter::drawText gives on the same surface: at every size (accents well
// above the capitals of large fonts included), in fonts whose styles are
// made up, on monochrome bitmaps, cut by rectangles, in opaque mode and on
// images the pixels cannot stand for.
#include "platform/dc.h"
#include "platform/gdiobjects.h"

#include <gtest/gtest.h>

#include <cmath>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

struct Place {
    int x, y;
};

LOGFONT MakeFont(LONG height, const char* face, LONG weight = FW_NORMAL, BYTE italic = 0,
                 LONG width = 0) {
    LOGFONT lf;
    lf.lfHeight = height;
    lf.lfWidth = width;
    lf.lfWeight = weight;
    lf.lfItalic = italic;
    std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    return lf;
}

QColor Qc(COLORREF c) {
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

// The first pixel where a differs from b, or an empty string.
std::string FirstDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return "sizes differ";
    int count = 0;
    std::string first;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if ((a.pixel(x, y) & 0xFFFFFF) != (b.pixel(x, y) & 0xFFFFFF)) {
                if (count++ == 0) {
                    char buffer[96];
                    std::snprintf(buffer, sizeof buffer, "at %d,%d: %08x instead of %08x", x, y,
                                  a.pixel(x, y), b.pixel(x, y));
                    first = buffer;
                }
            }
        }
    }
    if (count)
        first += " (" + std::to_string(count) + " pixels)";
    return first;
}

// Draws the texts at the places with a memory DC (drawn, shaped, drawn from
// the glyphs, then from their pixels) and with drawText on a picture of the
// same ground; returns the first difference of each pass.
std::string CompareOnBitmap(CFont& font, const std::vector<const char*>& texts,
                            const std::vector<Place>& places, int w, int h, COLORREF ground,
                            COLORREF ink, bool opaque, COLORREF bk, bool mono = false) {
    const QFontMetrics metrics(font.GetQFont());
    std::string out;
    for (int pass = 0; pass < CFontMetrics::kDrawsBeforePixels + 2; ++pass) {
        CDC dc;
        CBitmap bitmap;
        dc.CreateCompatibleDC(nullptr);
        if (mono)
            bitmap.CreateBitmap(w, h, 1, 1, nullptr);
        else
            bitmap.CreateCompatibleBitmap(&dc, w, h);
        dc.SelectObject(&bitmap);
        dc.FillSolidRect(0, 0, w, h, ground);
        dc.SelectObject(&font);
        dc.SetBkMode(opaque ? OPAQUE : TRANSPARENT);
        dc.SetBkColor(bk);
        dc.SetTextColor(ink);
        QImage expected(w, h, QImage::Format_RGB32);
        expected.fill(Qc(mono ? RGB(0, 0, 0) : ground));
        if (mono && ground != RGB(0, 0, 0))
            expected.fill(Qt::white);
        {
            QPainter painter(&expected);
            painter.setRenderHint(QPainter::TextAntialiasing, false);
            painter.setFont(font.GetQFont());
            painter.setPen(Qc(ink));
            for (const Place& p : places) {
                for (const char* text : texts) {
                    const QString s = QString::fromUtf8(text);
                    dc.TextOut(p.x, p.y, text, static_cast<int>(std::strlen(text)));
                    const QPoint origin(p.x, p.y + metrics.ascent());
                    if (opaque) {
                        const QRect cell(p.x, p.y, metrics.horizontalAdvance(s),
                                         metrics.ascent() + metrics.descent());
                        painter.fillRect(cell, Qc(bk));
                    }
                    painter.drawText(origin, s);
                }
            }
        }
        const std::string diff = FirstDifference(bitmap.GetImage(), expected);
        if (!diff.empty())
            out += " pass " + std::to_string(pass) + ": " + diff;
    }
    return out;
}

const std::vector<const char*> kAccented = {
    "\xc3\x89",          // E acute
    "\xc3\x89T\xc3\x89", // ETE
    "\xc3\x96STERREICH", // Oe
    "\xc3\x9c"
    "ber",                                 // Ue
    "\xc3\x85\xc3\x91\xc3\x87",            // A ring, N tilde, C cedilla
    "\xc8\xa6",                            // A dot above
    "\xc3\x8a\xc3\x8b\xc3\x8e",            // E circumflex, E dieresis, I circumflex
    "i j \xc3\xaf",                        // i, j, i dieresis
    "\xc2\xb0 ' \" ^ ` \xc2\xb4 \xc2\xa8", // degree, quotes, spacing accents
    "-73.4 dBm",
};

// Every small size (an accent lost by a pixel shows there first) and some
// large ones (where marks stand far above the capitals).
constexpr LONG kSizes[] = {8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 19, 21, 24, 30, 39, 48, 72};

} // namespace

TEST(GlyphPixels, AccentedCapitalsAtEverySizeDrawWhatDrawTextDraws) {
    const std::vector<Place> places = {{3, 40}, {50, 2}, {-7, -9}, {160, 150}};
    std::string failures;
    for (const char* face : {"DejaVu Sans", "DejaVu Serif", "Nimbus Sans"}) {
        for (const LONG px : kSizes) {
            LOGFONT lf = MakeFont(-px, face);
            CFont font;
            ASSERT_TRUE(font.CreateFontIndirect(&lf));
            const std::string diff = CompareOnBitmap(font, kAccented, places, 400, 220, kWhite,
                                                     RGB(200, 0, 30), false, kWhite);
            if (!diff.empty())
                failures += std::string("\n  ") + face + " " + std::to_string(px) + "px:" + diff;
        }
    }
    EXPECT_TRUE(failures.empty()) << failures;
}

// Each text alone, so that no other text of the line reaches the edge of the
// picture the pixels were learnt on.
TEST(GlyphPixels, EachAccentedTextAloneDrawsWhatDrawTextDraws) {
    std::string failures;
    for (const char* face : {"DejaVu Sans", "DejaVu Serif", "Nimbus Sans", "DejaVu Sans Mono"}) {
        for (const LONG px : kSizes) {
            if (px > 48)
                continue;
            LOGFONT lf = MakeFont(-px, face);
            CFont font;
            ASSERT_TRUE(font.CreateFontIndirect(&lf));
            for (const char* text : kAccented) {
                const std::string diff = CompareOnBitmap(font, {text}, {{10, 20}}, 200, 120, kWhite,
                                                         RGB(0, 0, 0), false, kWhite);
                if (!diff.empty())
                    failures += std::string("\n  ") + face + " " + std::to_string(px) + "px \"" +
                                text + "\":" + diff;
            }
        }
    }
    EXPECT_TRUE(failures.empty()) << failures;
}

TEST(GlyphPixels, MadeUpStylesStretchOpaqueAndMonochromeDrawWhatDrawTextDraws) {
    struct Case {
        LOGFONT lf;
        const char* name;
    };
    const Case cases[] = {
        {MakeFont(-13, "Droid Sans Fallback", FW_BOLD, 1), "fallback bold italic"},
        {MakeFont(-15, "DejaVu Math TeX Gyre", FW_BOLD, 1), "math bold italic"},
        {MakeFont(-14, "DejaVu Sans Mono", FW_BOLD, 1), "mono bold oblique"},
        {MakeFont(-13, "DejaVu Sans", FW_NORMAL, 0, 11), "stretched"},
        {MakeFont(-13, "DejaVu Sans", FW_NORMAL, 0, 3), "condensed"},
        {MakeFont(-11, "Nimbus Sans", FW_NORMAL, 1), "nimbus italic"},
        {MakeFont(-80, "DejaVu Sans"), "path-drawn 80px"},
    };
    const std::vector<const char*> texts = {"-73.4 dBm", "SPAN 10 MHz", "ff fi Wa",
                                            "\xc3\xa9t\xc3\xa9 \xc2\xb5V",
                                            "\xe4\xb8\xad\xe6\x96\x87 12"};
    const std::vector<Place> places = {{2, 3}, {-4, 60}, {120, -5}, {300, 170}};
    std::string failures;
    for (const Case& c : cases) {
        CFont font;
        ASSERT_TRUE(font.CreateFontIndirect(&c.lf));
        const struct {
            COLORREF ground, ink;
            bool opaque;
            COLORREF bk;
            bool mono;
        } looks[] = {{kWhite, RGB(10, 120, 240), false, kWhite, false},
                     {RGB(0, 0, 0), RGB(255, 255, 0), true, RGB(40, 40, 40), false},
                     {RGB(0, 0, 0), kWhite, false, kWhite, true},
                     {kWhite, RGB(0, 0, 0), true, RGB(0, 0, 0), true}};
        for (const auto& look : looks) {
            const std::string diff = CompareOnBitmap(font, texts, places, 420, 200, look.ground,
                                                     look.ink, look.opaque, look.bk, look.mono);
            if (!diff.empty())
                failures += std::string("\n  ") + c.name + (look.mono ? " mono" : "") +
                            (look.opaque ? " opaque" : "") + ":" + diff;
        }
    }
    EXPECT_TRUE(failures.empty()) << failures;
}

TEST(GlyphPixels, ClippedAndDisabledTextsDrawWhatThePainterDraws) {
    LOGFONT lf = MakeFont(-13, "DejaVu Sans");
    CFont font;
    ASSERT_TRUE(font.CreateFontIndirect(&lf));
    const QFontMetrics metrics(font.GetQFont());
    for (int pass = 0; pass < CFontMetrics::kDrawsBeforePixels + 2; ++pass) {
        CDC dc;
        CBitmap bitmap;
        dc.CreateCompatibleDC(nullptr);
        bitmap.CreateCompatibleBitmap(&dc, 200, 80);
        dc.SelectObject(&bitmap);
        dc.FillSolidRect(0, 0, 200, 80, kWhite);
        dc.SelectObject(&font);
        dc.SetBkMode(TRANSPARENT);
        dc.SetTextColor(RGB(0, 0, 0));
        QImage expected(200, 80, QImage::Format_RGB32);
        expected.fill(Qt::white);
        QPainter painter(&expected);
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        painter.setFont(font.GetQFont());
        for (int i = 0; i < 6; ++i) {
            RECT r{5 + i * 3, 4 + i * 12, 40 + i * 11, 11 + i * 12};
            dc.DrawText("Wa-12.5 dBm", -1, &r, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
            painter.save();
            painter.setClipRect(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top));
            painter.drawText(QPoint(r.left, r.top + metrics.ascent()),
                             QStringLiteral("Wa-12.5 dBm"));
            painter.restore();
        }
        painter.end();
        EXPECT_EQ(FirstDifference(bitmap.GetImage(), expected), "") << "pass " << pass;
    }
}

// An image of another format: the DC draws there what drawText draws there.
// On an image of another pixel ratio it draws what drawText draws on its
// device pixels in the font at the device size, from the device position of
// the logical baseline.
TEST(GlyphPixels, OtherImagesDrawWhatDrawTextDraws) {
    LOGFONT lf = MakeFont(-13, "DejaVu Sans");
    CFont font;
    ASSERT_TRUE(font.CreateFontIndirect(&lf));
    struct Target {
        QImage::Format format;
        qreal ratio;
    };
    const QString text = QString::fromUtf8("-73.4 dBm \xc3\x89");
    for (const Target t : {Target{QImage::Format_RGB32, 1.0}, Target{QImage::Format_RGB32, 2.0},
                           Target{QImage::Format_ARGB32_Premultiplied, 1.0},
                           Target{QImage::Format_ARGB32, 1.0}, Target{QImage::Format_RGB32, 1.5}}) {
        for (int pass = 0; pass < CFontMetrics::kDrawsBeforePixels + 2; ++pass) {
            QImage image(qRound(160 * t.ratio), qRound(60 * t.ratio), t.format);
            image.setDevicePixelRatio(t.ratio);
            image.fill(Qt::white);
            QImage expected = image.copy();
            expected.setDevicePixelRatio(1.0);
            {
                CDC dc(&image);
                dc.SelectObject(&font);
                dc.SetBkMode(TRANSPARENT);
                dc.SetTextColor(RGB(0, 0, 200));
                dc.TextOut(7, 5, "-73.4 dBm \xc3\x89", 12);
                dc.Flush();
            }
            QFont deviceFont = font.GetQFont();
            deviceFont.setPixelSize(qRound(deviceFont.pixelSize() * t.ratio));
            const int baseline = 5 + QFontMetrics(font.GetQFont()).ascent();
            auto device = [&](int v) { return static_cast<int>(std::floor(v * t.ratio + 0.5)); };
            QPainter painter(&expected);
            painter.setRenderHint(QPainter::TextAntialiasing, false);
            painter.setFont(deviceFont);
            painter.setPen(QColor(0, 0, 200));
            painter.drawText(QPoint(device(7), device(baseline)), text);
            painter.end();
            image.setDevicePixelRatio(1.0);
            EXPECT_EQ(FirstDifference(image, expected), "")
                << "format " << t.format << " ratio " << t.ratio << " pass " << pass;
        }
    }
}

// Glyphs placed by the font's marks (combining accents) and whole texts at
// random places, partly off every edge, over a held-back fill and cut by
// random rectangles: the pixels at every place are those of drawText there.
TEST(GlyphPixels, RandomPlacesClipsAndHeldFillsDrawWhatThePainterDraws) {
    const std::vector<QString> texts = {
        QString::fromUtf8("e\xcc\x81 a\xcc\x88 o\xcc\x82 q\xcc\xa3 A\xcc\x8a"),
        QStringLiteral("-73.41 dBm"), QStringLiteral("ijg|Wy"),
        QString::fromUtf8("\xc3\x89t\xc3\xa9")};
    for (const LONG px : {-11, -13, -16, -23}) {
        LOGFONT lf = MakeFont(px, "DejaVu Sans");
        CFont font;
        ASSERT_TRUE(font.CreateFontIndirect(&lf));
        const QFontMetrics metrics(font.GetQFont());
        unsigned seed = 7;
        const auto pick = [&](int lo, int hi) {
            seed = seed * 1103515245u + 12345u;
            return lo + static_cast<int>((seed >> 8) % static_cast<unsigned>(hi - lo + 1));
        };
        for (int round = 0; round < 6; ++round) {
            constexpr int kW = 120, kH = 70;
            CDC dc;
            CBitmap bitmap;
            dc.CreateCompatibleDC(nullptr);
            bitmap.CreateCompatibleBitmap(&dc, kW, kH);
            dc.SelectObject(&bitmap);
            dc.FillSolidRect(0, 0, kW, kH, RGB(0, 0, 40)); // held back
            dc.SelectObject(&font);
            dc.SetBkMode(TRANSPARENT);
            dc.SetTextColor(RGB(255, 230, 0));
            QImage expected(kW, kH, QImage::Format_RGB32);
            expected.fill(QColor(0, 0, 40));
            QPainter painter(&expected);
            painter.setRenderHint(QPainter::TextAntialiasing, false);
            painter.setFont(font.GetQFont());
            painter.setPen(QColor(255, 230, 0));
            for (int k = 0; k < 40; ++k) {
                const QString& s = texts[static_cast<size_t>(k) % texts.size()];
                const QByteArray utf8 = s.toUtf8();
                const int x = pick(-60, kW), y = pick(-25, kH);
                if (k % 3 == 2) {
                    RECT r{pick(-5, kW), pick(-5, kH), 0, 0};
                    r.right = r.left + pick(1, 60);
                    r.bottom = r.top + pick(1, 25);
                    RECT box = r;
                    dc.DrawText(utf8.constData(), utf8.size(), &box,
                                DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
                    painter.save();
                    painter.setClipRect(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top));
                    painter.drawText(QPoint(r.left, r.top + metrics.ascent()), s);
                    painter.restore();
                } else {
                    dc.TextOut(x, y, utf8.constData(), utf8.size());
                    painter.drawText(QPoint(x, y + metrics.ascent()), s);
                }
            }
            painter.end();
            EXPECT_EQ(FirstDifference(bitmap.GetImage(), expected), "")
                << px << "px round " << round;
        }
    }
}
