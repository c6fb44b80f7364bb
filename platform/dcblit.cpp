// CDC blits (BitBlt, StretchBlt, MaskBlt) and reading a bitmap as a
// device-independent bitmap (GetDIBits). Source coordinates are pixels of the
// source surface; pixels that fall outside the source leave the destination
// as it is.
#include "dc.h"

#include "dcraster.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr BYTE kRop3Source = 0xCC;
constexpr BYTE kRop3Dest = 0xAA;
// Plain copies of at least this many bytes (a window's picture, well beyond a
// core's own caches) bypass the caches.
constexpr long long kStreamBytes = 2LL << 20;

// Nearest-neighbour map from count destination positions onto srcCount
// source positions starting at srcStart: position i samples the source at the
// centre of its cell; mirror reverses the direction.
std::vector<int> StretchMap(int count, int srcStart, int srcCount, bool mirror) {
    std::vector<int> map(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const long long k = ((2LL * i + 1) * srcCount) / (2LL * count);
        map[static_cast<size_t>(i)] = static_cast<int>(srcStart + (mirror ? srcCount - 1 - k : k));
    }
    return map;
}

// The device pixels [start, start + length) of a DC's logical span, held to
// what an int holds.
struct Span {
    int start, length;
};
Span DeviceSpan(const CDC& dc, int start, int length) {
    if (dc.GetDevicePixelRatio() == 1.0)
        return {start, length};
    constexpr long long kLimit = INT_MAX / 4;
    const long long first = std::clamp(dc.DeviceCoord(start), -kLimit, kLimit);
    const long long end =
        std::clamp(dc.DeviceCoord(static_cast<long long>(start) + length), -kLimit, kLimit);
    return {static_cast<int>(first), static_cast<int>(end - first)};
}

void ConvertImage(QImage& image, const PixelConversion& convert) {
    if (convert.mode == PixelConversion::Mode::Copy)
        return;
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            row[x] = convert(row[x]);
    }
}

} // namespace

PixelConversion CDC::ConversionFrom(const CDC& src) const {
    PixelConversion convert;
    const bool srcMono = src.IsMonochrome();
    const bool dstMono = IsMonochrome();
    if (srcMono && !dstMono) {
        convert.mode = PixelConversion::Mode::MonoToColor;
        convert.whiteTo = PixelFromColor(m_bkColor);
        convert.blackTo = PixelFromColor(m_textColor);
    } else if (!srcMono && dstMono) {
        convert.mode = PixelConversion::Mode::ColorToMono;
        convert.match = PixelFromColor(src.m_bkColor);
    }
    return convert;
}

BOOL CDC::BitBlt(int x, int y, int width, int height, CDC* src, int xSrc, int ySrc, DWORD rop) {
    return StretchBlt(x, y, width, height, src, xSrc, ySrc, width, height, rop);
}

BOOL CDC::StretchBlt(int x, int y, int width, int height, CDC* src, int xSrc, int ySrc,
                     int srcWidth, int srcHeight, DWORD rop) {
    if (rop != SRCCOPY || !src || !src->m_image || src->m_image->isNull())
        return FALSE;
    src->ReleaseHeldFill();
    if (width == 0 || height == 0 || srcWidth == 0 || srcHeight == 0)
        return TRUE;
    const bool mirrorX = (width < 0) != (srcWidth < 0);
    const bool mirrorY = (height < 0) != (srcHeight < 0);
    const PixelConversion convert = ConversionFrom(*src);
    // The source block in the source's device pixels.
    const Span sx = DeviceSpan(*src, std::min(xSrc, xSrc + srcWidth), std::abs(srcWidth));
    const Span sy = DeviceSpan(*src, std::min(ySrc, ySrc + srcHeight), std::abs(srcHeight));
    const int sl = sx.start, st = sy.start, sw = sx.length, sh = sy.length;
    if (sw <= 0 || sh <= 0)
        return TRUE;

    DcRaster raster;
    if (DirectRaster(raster)) {
        // The destination block in this DC's device pixels.
        const Span dx = DeviceSpan(*this, std::min(x, x + width), std::abs(width));
        const Span dy = DeviceSpan(*this, std::min(y, y + height), std::abs(height));
        const int dl = dx.start, dt = dy.start, dw = dx.length, dh = dy.length;
        if (dw <= 0 || dh <= 0)
            return TRUE;
        // Copying within one surface reads from a copy, so overlaps are safe.
        QImage copy;
        const QImage* from = src->m_image;
        if (from == m_image) {
            copy = from->copy();
            from = &copy;
        }
        const int x0 = std::max(dl, 0);
        const int x1 =
            std::min(static_cast<long long>(dl) + dw, static_cast<long long>(raster.width));
        const int y0 = std::max(dt, 0);
        const int y1 =
            std::min(static_cast<long long>(dt) + dh, static_cast<long long>(raster.height));
        if (x0 >= x1 || y0 >= y1)
            return TRUE;
        if (dw == sw && dh == sh && !mirrorX && !mirrorY &&
            convert.mode == PixelConversion::Mode::Copy) {
            // Plain copy: the part of each row that lies on both surfaces.
            const int cx0 = std::max(x0, dl + std::max(0, -sl));
            const int cx1 = std::min(x1, dl + (from->width() - sl));
            // A copy larger than the caches (a whole window) goes around them.
            const bool stream = static_cast<long long>(cx1 - cx0) * (y1 - y0) * 4 >= kStreamBytes;
            for (int yy = y0; yy < y1 && cx0 < cx1; ++yy) {
                const int sy = st + (yy - dt);
                if (sy < 0 || sy >= from->height())
                    continue;
                const auto* srow = reinterpret_cast<const std::uint32_t*>(from->constScanLine(sy));
                if (stream)
                    StreamPixels(&raster.At(cx0, yy), srow + sl + (cx0 - dl),
                                 static_cast<size_t>(cx1 - cx0));
                else
                    std::memcpy(&raster.At(cx0, yy), srow + sl + (cx0 - dl),
                                static_cast<size_t>(cx1 - cx0) * 4);
            }
            if (stream)
                StreamFence();
            return TRUE;
        }
        const std::vector<int> cols = StretchMap(dw, sl, sw, mirrorX);
        const std::vector<int> rows = StretchMap(dh, st, sh, mirrorY);
        for (int yy = y0; yy < y1; ++yy) {
            const int sy = rows[static_cast<size_t>(yy - dt)];
            if (sy < 0 || sy >= from->height())
                continue;
            const auto* srow = reinterpret_cast<const std::uint32_t*>(from->constScanLine(sy));
            for (int xx = x0; xx < x1; ++xx) {
                const int sx = cols[static_cast<size_t>(xx - dl)];
                if (sx >= 0 && sx < from->width())
                    raster.At(xx, yy) = convert(srow[sx]);
            }
        }
        return TRUE;
    }

    QPainter* painter = Painter();
    if (!painter)
        return FALSE;
    // The painter places the block in logical coordinates.
    const int dl = std::min(x, x + width);
    const int dt = std::min(y, y + height);
    const int dw = std::abs(width);
    const int dh = std::abs(height);
    const QImage& image = *src->m_image;
    const QRect source = QRect(sl, st, sw, sh) & image.rect();
    if (source.isEmpty())
        return TRUE;
    // The destination part that the visible source part covers.
    const double fx = static_cast<double>(dw) / sw;
    const double fy = static_cast<double>(dh) / sh;
    const int a = source.left() - sl;
    const int b = source.left() + source.width() - sl;
    const int c = source.top() - st;
    const int d = source.top() + source.height() - st;
    const double tx0 = mirrorX ? dl + (sw - b) * fx : dl + a * fx;
    const double tx1 = mirrorX ? dl + (sw - a) * fx : dl + b * fx;
    const double ty0 = mirrorY ? dt + (sh - d) * fy : dt + c * fy;
    const double ty1 = mirrorY ? dt + (sh - c) * fy : dt + d * fy;
    const QRectF target(tx0, ty0, tx1 - tx0, ty1 - ty0);
    if (!mirrorX && !mirrorY && convert.mode == PixelConversion::Mode::Copy) {
        painter->drawImage(target, image, source);
    } else {
        QImage region = image.copy(source);
        ConvertImage(region, convert);
        if (mirrorX || mirrorY)
            region = region.mirrored(mirrorX, mirrorY);
        painter->drawImage(target, region);
    }
    return TRUE;
}

BOOL CDC::MaskBlt(int x, int y, int width, int height, CDC* src, int xSrc, int ySrc, CBitmap& mask,
                  int xMask, int yMask, DWORD rop) {
    if (!mask.GetSafeHandle())
        return BitBlt(x, y, width, height, src, xSrc, ySrc, rop & 0x00FFFFFF);
    const BYTE fore = static_cast<BYTE>((rop >> 16) & 0xFF);
    const BYTE back = static_cast<BYTE>((rop >> 24) & 0xFF);
    if ((fore != kRop3Source && fore != kRop3Dest) || (back != kRop3Source && back != kRop3Dest))
        return FALSE;
    if (fore == kRop3Dest && back == kRop3Dest)
        return TRUE;
    if (!src || !src->m_image || src->m_image->isNull())
        return FALSE;
    if (width <= 0 || height <= 0)
        return TRUE;
    src->ReleaseHeldFill();
    mask.FlushUser();
    const QImage& maskImage = mask.m_image;
    QImage copy;
    const QImage* from = src->m_image;
    if (from == m_image) {
        copy = from->copy();
        from = &copy;
    }
    const PixelConversion convert = ConversionFrom(*src);
    const double maskRatio = maskImage.devicePixelRatio();
    if (src->m_ratio != m_ratio || maskRatio != m_ratio)
        return StampAcrossRatios(x, y, width, height, *src, *from, xSrc, ySrc, maskImage, xMask,
                                 yMask, fore, back);
    if (m_ratio != 1.0) {
        // One ratio on all three surfaces: the block in device pixels.
        constexpr long long kLimit = INT_MAX / 4;
        auto device = [&](int v) {
            return static_cast<int>(std::clamp(DeviceCoord(v), -kLimit, kLimit));
        };
        const Span bx = DeviceSpan(*this, x, width), by = DeviceSpan(*this, y, height);
        x = bx.start;
        y = by.start;
        width = bx.length;
        height = by.length;
        xSrc = device(xSrc);
        ySrc = device(ySrc);
        xMask = device(xMask);
        yMask = device(yMask);
        if (width <= 0 || height <= 0)
            return TRUE;
    }
    // Where only the set mask pixels take the source, a mask that knows its
    // ink is read only in the chunks of each row that may hold ink.
    const bool inkOnly =
        back == kRop3Dest && mask.HasInk() && (mask.m_inkBase & kPixelRgbMask) == 0;
    // The mask columns of the block.
    const long long maskFirst = std::max<long long>(xMask, 0);
    const long long maskLast =
        std::min<long long>(static_cast<long long>(xMask) + width, maskImage.width());
    // fn(j, i, i + 1) for each pixel of a kept line inside the block and the
    // mask (the end point is left out).
    auto forEachLinePixel = [&](const CBitmap::InkLine& line, auto&& fn) {
        const LineWalk walk(line.x0, line.y0, line.x1, line.y1);
        int mx = line.x0;
        int my = line.y0;
        walk.Walk(
            [&] {
                const long long i = static_cast<long long>(mx) - xMask;
                const long long j = static_cast<long long>(my) - yMask;
                if (mx >= maskFirst && mx < maskLast && j >= 0 && j < height)
                    fn(static_cast<int>(j), static_cast<int>(i), static_cast<int>(i + 1));
            },
            [&](bool m) {
                mx += walk.xMajor ? walk.sMajor : (m ? walk.sMinor : 0);
                my += walk.xMajor ? (m ? walk.sMinor : 0) : walk.sMajor;
            });
    };
    // With a known ink, fn(j, first, last) for the mask's chunks and lines
    // with ink in block columns [first, last) of row j (cut to the block and
    // the mask; a column may come more than once). A line that whole(line)
    // handles at once is not walked here.
    auto forEachInk = [&](auto&& fn, auto&& whole) {
        if (maskFirst >= maskLast)
            return;
        const int j0 = std::max(0, -yMask);
        const int j1 = static_cast<int>(
            std::min<long long>(height, static_cast<long long>(maskImage.height()) - yMask));
        for (int j = j0; j < j1; ++j)
            ForEachInkRun(mask.InkRow(yMask + j), static_cast<int>(maskFirst),
                          static_cast<int>(maskLast),
                          [&](int a, int b) { fn(j, a - xMask, b - xMask); });
        for (const CBitmap::InkLine& line : mask.m_inkLines) {
            if (!whole(line))
                forEachLinePixel(line, fn);
        }
    };
    DcRaster raster;
    if (fore == kRop3Source && back == kRop3Dest && DirectRaster(raster)) {
        // The stamp: only set mask pixels take the source. Per row, only the
        // columns where source, mask and destination all exist (and, with a
        // known ink, the mask's chunks and runs with ink) are walked.
        const long long fromWidth = from->width();
        const long long maskWidth = maskImage.width();
        const long long lo = std::max({0LL, -static_cast<long long>(xSrc),
                                       -static_cast<long long>(xMask), -static_cast<long long>(x)});
        const long long hi =
            std::min({static_cast<long long>(width), fromWidth - xSrc, maskWidth - xMask,
                      static_cast<long long>(raster.width) - x});
        // A source that is its base colour everywhere is not read at all.
        const CBitmap* srcInk = src->KnownInk();
        const bool uniform =
            convert.mode == PixelConversion::Mode::Copy && srcInk && srcInk->IsInkEmpty();
        const std::uint32_t color = uniform ? srcInk->m_inkBase | kPixelBlack : 0;
        const uchar* fromBits = from->constBits();
        const qsizetype fromStride = from->bytesPerLine();
        const uchar* maskBits = maskImage.constBits();
        const qsizetype maskStride = maskImage.bytesPerLine();
        // Block columns [first, last) of row j, cut to where all three surfaces exist.
        auto stamp = [&](int j, long long first, long long last) {
            const long long dy = static_cast<long long>(y) + j;
            const long long sy = static_cast<long long>(ySrc) + j;
            const long long my = static_cast<long long>(yMask) + j;
            first = std::max(first, lo);
            last = std::min(last, hi);
            if (first >= last || dy < 0 || dy >= raster.height || sy < 0 || sy >= from->height() ||
                my < 0 || my >= maskImage.height())
                return;
            const auto* s =
                reinterpret_cast<const std::uint32_t*>(fromBits + sy * fromStride) + (xSrc + first);
            const auto* m = reinterpret_cast<const std::uint32_t*>(maskBits + my * maskStride) +
                            (xMask + first);
            std::uint32_t* d = &raster.At(static_cast<int>(x + first), static_cast<int>(dy));
            const long long n = last - first;
            if (uniform) {
                StampColor(d, m, static_cast<std::size_t>(n), color);
                return;
            }
            if (convert.mode == PixelConversion::Mode::Copy) {
                StampPixels(d, s, m, static_cast<std::size_t>(n));
                return;
            }
            for (long long i = 0; i < n; ++i) {
                if (m[i] & kPixelRgbMask)
                    d[i] = convert(s[i]);
            }
        };
        // A kept line whose box lies where all three surfaces exist is walked
        // on the three surfaces at once, without checks per pixel.
        const long long jlo =
            std::max({0LL, -static_cast<long long>(y), -static_cast<long long>(ySrc),
                      -static_cast<long long>(yMask)});
        const long long jhi =
            std::min({static_cast<long long>(height), static_cast<long long>(raster.height) - y,
                      static_cast<long long>(from->height()) - ySrc,
                      static_cast<long long>(maskImage.height()) - yMask});
        const qsizetype fromPitch = fromStride / 4;
        const qsizetype maskPitch = maskStride / 4;
        auto stampLine = [&](const CBitmap::InkLine& line) {
            const long long i0 = static_cast<long long>(std::min(line.x0, line.x1)) - xMask;
            const long long i1 = static_cast<long long>(std::max(line.x0, line.x1)) - xMask;
            const long long j0 = static_cast<long long>(std::min(line.y0, line.y1)) - yMask;
            const long long j1 = static_cast<long long>(std::max(line.y0, line.y1)) - yMask;
            if (i0 < lo || i1 >= hi || j0 < jlo || j1 >= jhi ||
                convert.mode != PixelConversion::Mode::Copy)
                return false;
            const int i = line.x0 - xMask;
            const int j = line.y0 - yMask;
            const LineWalk walk(line.x0, line.y0, line.x1, line.y1);
            const auto* m =
                reinterpret_cast<const std::uint32_t*>(maskBits + line.y0 * maskStride) + line.x0;
            const auto* s =
                reinterpret_cast<const std::uint32_t*>(fromBits + (ySrc + j) * fromStride) +
                (xSrc + i);
            std::uint32_t* d = &raster.At(x + i, y + j);
            const qsizetype mMajor = walk.MajorStep(maskPitch);
            const qsizetype mMinor = walk.MinorStep(maskPitch);
            const qsizetype sMajor = walk.MajorStep(fromPitch);
            const qsizetype sMinor = walk.MinorStep(fromPitch);
            const qsizetype dMajor = walk.MajorStep(raster.stride);
            const qsizetype dMinor = walk.MinorStep(raster.stride);
            if (uniform) {
                walk.Walk(
                    [&] {
                        if (*m & kPixelRgbMask)
                            *d = color;
                    },
                    [&](bool minor) {
                        m += minor ? mMajor + mMinor : mMajor;
                        d += minor ? dMajor + dMinor : dMajor;
                    });
                return true;
            }
            walk.Walk(
                [&] {
                    if (*m & kPixelRgbMask)
                        *d = *s | kPixelBlack;
                },
                [&](bool minor) {
                    m += minor ? mMajor + mMinor : mMajor;
                    s += minor ? sMajor + sMinor : sMajor;
                    d += minor ? dMajor + dMinor : dMajor;
                });
            return true;
        };
        if (inkOnly) {
            forEachInk(stamp, stampLine);
        } else {
            for (int j = 0; j < height; ++j)
                stamp(j, lo, hi);
        }
        return TRUE;
    }
    // Calls fn(i, j, pixel) for every position of the block that takes the source.
    auto forEachCopied = [&](auto&& fn) {
        // Block columns [iBegin, iEnd) of row j.
        auto walk = [&](int j, int iBegin, int iEnd) {
            const int sy = ySrc + j;
            const int my = yMask + j;
            if (sy < 0 || sy >= from->height())
                return;
            const auto* srow = reinterpret_cast<const std::uint32_t*>(from->constScanLine(sy));
            const std::uint32_t* mrow =
                my >= 0 && my < maskImage.height()
                    ? reinterpret_cast<const std::uint32_t*>(maskImage.constScanLine(my))
                    : nullptr;
            for (int i = iBegin; i < iEnd; ++i) {
                const int sx = xSrc + i;
                const int mx = xMask + i;
                if (sx < 0 || sx >= from->width())
                    continue;
                const bool set =
                    mrow && mx >= 0 && mx < maskImage.width() && (mrow[mx] & kPixelRgbMask) != 0;
                if ((set ? fore : back) == kRop3Source)
                    fn(i, j, convert(srow[sx]));
            }
        };
        if (inkOnly) {
            // Only set mask pixels take the source: where the mask has ink.
            forEachInk(walk, [](const CBitmap::InkLine&) { return false; });
            return;
        }
        for (int j = 0; j < height; ++j)
            walk(j, 0, width);
    };

    if (DirectRaster(raster)) {
        forEachCopied([&](int i, int j, std::uint32_t pixel) {
            const long long dx = static_cast<long long>(x) + i;
            const long long dy = static_cast<long long>(y) + j;
            if (raster.Contains(dx, dy))
                raster.At(static_cast<int>(dx), static_cast<int>(dy)) = pixel;
        });
        return TRUE;
    }
    QPainter* painter = Painter();
    if (!painter)
        return FALSE;
    QImage block(width, height, QImage::Format_ARGB32);
    if (block.isNull())
        return FALSE;
    block.fill(Qt::transparent);
    forEachCopied([&](int i, int j, std::uint32_t pixel) {
        reinterpret_cast<std::uint32_t*>(block.scanLine(j))[i] = pixel;
    });
    // The block is in device pixels; the painter places it in logical ones.
    block.setDevicePixelRatio(m_ratio);
    painter->drawImage(QPointF(x / m_ratio, y / m_ratio), block);
    return TRUE;
}

BOOL CDC::StampAcrossRatios(int x, int y, int width, int height, const CDC& src, const QImage& from,
                            int xSrc, int ySrc, const QImage& mask, int xMask, int yMask, BYTE fore,
                            BYTE back) {
    DcRaster raster;
    if (!DirectRaster(raster))
        return FALSE;
    const PixelConversion convert = ConversionFrom(src);
    const double srcRatio = src.m_ratio;
    const double maskRatio = mask.devicePixelRatio();
    // The source or mask pixel under logical position v of a surface.
    auto under = [](double v, double ratio) {
        return static_cast<long long>(std::floor(v * ratio));
    };
    const Span bx = DeviceSpan(*this, x, width), by = DeviceSpan(*this, y, height);
    const int x0 = std::max(bx.start, 0),
              x1 = std::min<long long>(bx.start + bx.length, raster.width);
    const int y0 = std::max(by.start, 0),
              y1 = std::min<long long>(by.start + by.length, raster.height);
    for (int yy = y0; yy < y1; ++yy) {
        // The device pixel's centre, as a logical offset into the block.
        const double v = (yy + 0.5) / m_ratio - y;
        const long long sy = under(ySrc + v, srcRatio), my = under(yMask + v, maskRatio);
        for (int xx = x0; xx < x1; ++xx) {
            const double u = (xx + 0.5) / m_ratio - x;
            const long long sx = under(xSrc + u, srcRatio), mx = under(xMask + u, maskRatio);
            const bool set =
                mx >= 0 && my >= 0 && mx < mask.width() && my < mask.height() &&
                (mask.pixel(static_cast<int>(mx), static_cast<int>(my)) & kPixelRgbMask);
            if ((set ? fore : back) != kRop3Source || sx < 0 || sy < 0 || sx >= from.width() ||
                sy >= from.height())
                continue;
            raster.At(xx, yy) = convert(from.pixel(static_cast<int>(sx), static_cast<int>(sy)));
        }
    }
    return TRUE;
}

int CDC::GetDIBits(CBitmap* bitmap, UINT startScan, UINT scanLines, void* bits, BITMAPINFO* info,
                   UINT usage) const {
    if (!bitmap || !bitmap->GetSafeHandle() || !info || usage != DIB_RGB_COLORS)
        return 0;
    BITMAPINFOHEADER& header = info->bmiHeader;
    if (header.biSize < sizeof(BITMAPINFOHEADER))
        return 0;
    bitmap->FlushUser();
    const QImage& image = bitmap->m_image;
    if (!bits) {
        // Describe the bitmap instead.
        if (header.biBitCount == 0)
            header.biBitCount = 32;
        if (header.biBitCount != 24 && header.biBitCount != 32)
            return 0;
        header.biWidth = image.width();
        header.biHeight = image.height();
        header.biPlanes = 1;
        header.biCompression = BI_RGB;
        header.biSizeImage = static_cast<DWORD>(
            ((static_cast<long long>(image.width()) * header.biBitCount + 31) / 32) * 4 *
            image.height());
        return image.height();
    }
    if (header.biPlanes != 1 || header.biCompression != BI_RGB ||
        (header.biBitCount != 24 && header.biBitCount != 32) || header.biWidth <= 0 ||
        header.biHeight == 0)
        return 0;
    const int bytesPerPixel = header.biBitCount / 8;
    const long long width = header.biWidth;
    const long long height = std::llabs(static_cast<long long>(header.biHeight));
    const bool bottomUp = header.biHeight > 0;
    const long long stride = (width * header.biBitCount + 31) / 32 * 4;
    const long long first = startScan;
    const long long last = std::min<long long>(first + scanLines, height);
    const int copyWidth = static_cast<int>(std::min<long long>(width, image.width()));
    auto* out = static_cast<unsigned char*>(bits);
    int copied = 0;
    for (long long scan = first; scan < last; ++scan, ++copied) {
        unsigned char* row = out + (scan - first) * stride;
        std::memset(row, 0, static_cast<size_t>(stride));
        // Bottom-up: scan line 0 is the bitmap's last row.
        const long long y = bottomUp ? image.height() - 1 - scan : scan;
        if (y < 0 || y >= image.height())
            continue;
        const auto* src =
            reinterpret_cast<const std::uint32_t*>(image.constScanLine(static_cast<int>(y)));
        for (int x = 0; x < copyWidth; ++x) {
            unsigned char* p = row + static_cast<size_t>(x) * bytesPerPixel;
            p[0] = static_cast<unsigned char>(src[x] & 0xFF);
            p[1] = static_cast<unsigned char>((src[x] >> 8) & 0xFF);
            p[2] = static_cast<unsigned char>((src[x] >> 16) & 0xFF);
        }
    }
    return copied;
}
