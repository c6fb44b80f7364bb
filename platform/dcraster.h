// Internal to the CDC implementation: direct access to a 32-bit RGB surface,
// the conversions between COLORREF (0x00BBGGRR) and its pixels (0xFFRRGGBB),
// and small helpers shared by the CDC source files.
#pragma once

#include "gdiobjects.h"
#include "wintypes.h"

#include <QPolygon>
#include <QtGlobal>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

struct DcRaster {
    std::uint32_t* bits = nullptr;
    qsizetype stride = 0; // pixels per row
    int width = 0;
    int height = 0;

    bool Contains(long long x, long long y) const {
        return x >= 0 && y >= 0 && x < width && y < height;
    }
    std::uint32_t& At(int x, int y) const { return bits[y * stride + x]; }
};

constexpr std::uint32_t kPixelBlack = 0xFF000000u;
constexpr std::uint32_t kPixelWhite = 0xFFFFFFFFu;
constexpr std::uint32_t kPixelRgbMask = 0x00FFFFFFu;

constexpr std::uint32_t PixelFromColor(COLORREF c) {
    return kPixelBlack | (std::uint32_t(GetRValue(c)) << 16) | (std::uint32_t(GetGValue(c)) << 8) |
           GetBValue(c);
}

constexpr COLORREF ColorFromPixel(std::uint32_t p) {
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

// The address sanitizer sees no store made in assembly: under it, fills take
// the checked path.
#if defined(__SANITIZE_ADDRESS__)
#define TORVEL_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TORVEL_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef TORVEL_ADDRESS_SANITIZER
#define TORVEL_ADDRESS_SANITIZER 0
#endif

// n pixels set to value, sixteen (a cache line) or four at a time where the
// machine can. A long run (a row of a pane's background) is a string store on
// x86-64: the processor writes whole cache lines without reading them first,
// which is what a background a frame ago left in memory costs.
inline void FillPixels(std::uint32_t* p, std::size_t n, std::uint32_t value) {
#if defined(__x86_64__) && !TORVEL_ADDRESS_SANITIZER
    if (n >= 256) {
        asm volatile("rep stosl" : "+D"(p), "+c"(n) : "a"(value) : "memory");
        return;
    }
#endif
#if defined(__SSE2__)
    const __m128i v = _mm_set1_epi32(static_cast<int>(value));
    auto* q = reinterpret_cast<__m128i*>(p);
    for (; n >= 16; n -= 16, q += 4) {
        _mm_storeu_si128(q, v);
        _mm_storeu_si128(q + 1, v);
        _mm_storeu_si128(q + 2, v);
        _mm_storeu_si128(q + 3, v);
    }
    for (; n >= 4; n -= 4)
        _mm_storeu_si128(q++, v);
    p = reinterpret_cast<std::uint32_t*>(q);
#endif
    for (; n > 0; --n)
        *p++ = value;
}

// n pixels copied from src to dst with stores that bypass the caches, for
// copies much larger than they are: the destination is not read first and the
// source keeps its place in the cache. Call StreamFence after the last row.
inline void StreamPixels(std::uint32_t* dst, const std::uint32_t* src, std::size_t n) {
#if defined(__SSE2__)
    for (; n > 0 && (reinterpret_cast<std::uintptr_t>(dst) & 15) != 0; --n)
        *dst++ = *src++;
    for (; n >= 16; n -= 16, dst += 16, src += 16) {
        const auto* s = reinterpret_cast<const __m128i*>(src);
        auto* d = reinterpret_cast<__m128i*>(dst);
        const __m128i a = _mm_loadu_si128(s);
        const __m128i b = _mm_loadu_si128(s + 1);
        const __m128i c = _mm_loadu_si128(s + 2);
        const __m128i e = _mm_loadu_si128(s + 3);
        _mm_stream_si128(d, a);
        _mm_stream_si128(d + 1, b);
        _mm_stream_si128(d + 2, c);
        _mm_stream_si128(d + 3, e);
    }
#endif
    for (; n > 0; --n)
        *dst++ = *src++;
}

inline void StreamFence() {
#if defined(__SSE2__)
    _mm_sfence();
#endif
}

// count pixels set to value from p on, each step pixels after the last;
// returns the position one step after the last pixel.
inline std::uint32_t* RunOfPixels(std::uint32_t* p, long long count, qsizetype step,
                                  std::uint32_t value) {
    for (; count >= 4; count -= 4, p += 4 * step) {
        p[0] = value;
        p[step] = value;
        p[2 * step] = value;
        p[3 * step] = value;
    }
    for (; count > 0; --count, p += step)
        *p = value;
    return p;
}

// The stamp of a mask blit between surfaces of the same kind: each of the n
// destination pixels whose mask pixel is set (not black) takes the source
// pixel, the others stay.
inline void StampPixels(std::uint32_t* dst, const std::uint32_t* src, const std::uint32_t* mask,
                        std::size_t n) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i rgb = _mm_set1_epi32(0x00FFFFFF);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i zero = _mm_setzero_si128();
    for (; i + 4 <= n; i += 4) {
        const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask + i));
        const __m128i keep = _mm_cmpeq_epi32(_mm_and_si128(m, rgb), zero);
        // Bit k set: pixel i + k stays. The destination is only written, never
        // read: a mask mostly black leaves most groups alone, and a stamp
        // does not wait for destination pixels to arrive.
        const int kept = _mm_movemask_ps(_mm_castsi128_ps(keep));
        if (kept == 0xF)
            continue;
        if (kept == 0) {
            _mm_storeu_si128(
                reinterpret_cast<__m128i*>(dst + i),
                _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)), opaque));
            continue;
        }
        for (int k = 0; k < 4; ++k) {
            if (!(kept & (1 << k)))
                dst[i + k] = src[i + k] | 0xFF000000u;
        }
    }
#endif
    for (; i < n; ++i) {
        if (mask[i] & 0x00FFFFFFu)
            dst[i] = src[i] | 0xFF000000u;
    }
}

// StampPixels from a source whose every pixel is value.
inline void StampColor(std::uint32_t* dst, const std::uint32_t* mask, std::size_t n,
                       std::uint32_t value) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i rgb = _mm_set1_epi32(0x00FFFFFF);
    const __m128i zero = _mm_setzero_si128();
    const __m128i v = _mm_set1_epi32(static_cast<int>(value));
    for (; i + 4 <= n; i += 4) {
        const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask + i));
        const int kept =
            _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(m, rgb), zero)));
        if (kept == 0xF)
            continue;
        if (kept == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), v);
            continue;
        }
        for (int k = 0; k < 4; ++k) {
            if (!(kept & (1 << k)))
                dst[i + k] = value;
        }
    }
#endif
    for (; i < n; ++i) {
        if (mask[i] & 0x00FFFFFFu)
            dst[i] = value;
    }
}

// The walk of a solid one-pixel line from (x0, y0) towards (x1, y1), the way
// lines are drawn: along the major axis one pixel per step, the minor
// coordinate of step i the start plus round-half-up(i * dminor / dmajor), the
// end point itself left out.
struct LineWalk {
    long long n = 0; // pixels
    bool xMajor = true;
    int sMajor = 1;
    int sMinor = 1;
    long long twoMajor = 0;
    long long twoMinor = 0;

    LineWalk(int x0, int y0, int x1, int y1) {
        const long long dx = std::llabs(static_cast<long long>(x1) - x0);
        const long long dy = std::llabs(static_cast<long long>(y1) - y0);
        n = std::max(dx, dy);
        xMajor = dx >= dy;
        sMajor = (xMajor ? x1 >= x0 : y1 >= y0) ? 1 : -1;
        sMinor = (xMajor ? y1 >= y0 : x1 >= x0) ? 1 : -1;
        twoMajor = 2 * (xMajor ? dx : dy);
        twoMinor = 2 * (xMajor ? dy : dx);
    }
    // Pixel offsets of one step on a surface with that row stride.
    qsizetype MajorStep(qsizetype stride) const { return xMajor ? sMajor : sMajor * stride; }
    qsizetype MinorStep(qsizetype stride) const { return xMajor ? sMinor * stride : sMinor; }
    // For each of the n pixels: pixel(), then step(minor) moves on to the next
    // (after the last, onto the end point).
    template <class Pixel, class Step> void Walk(Pixel&& pixel, Step&& step) const {
        long long rem = twoMajor / 2;
        for (long long i = 0; i < n; ++i) {
            pixel();
            rem += twoMinor;
            const bool minor = rem >= twoMajor;
            if (minor)
                rem -= twoMajor;
            step(minor);
        }
    }
};

// Calls fn(first, last) for each stretch of consecutive chunks whose bit is
// set in a bitmap's ink row, cut to the columns [first, last).
template <class Fn> void ForEachInkRun(const std::uint64_t* row, int first, int last, Fn&& fn) {
    if (first >= last)
        return;
    constexpr int kShift = CBitmap::kInkChunkShift;
    const int c0 = first >> kShift;
    const int c1 = (last - 1) >> kShift;
    int runFirst = 0;
    int runEnd = 0; // chunks [runFirst, runEnd); empty when equal
    for (int w = c0 >> 6; w <= c1 >> 6; ++w) {
        std::uint64_t bits = row[w];
        if (w == c0 >> 6)
            bits &= ~std::uint64_t{0} << (c0 & 63);
        if (w == c1 >> 6 && (c1 & 63) != 63)
            bits &= (std::uint64_t{2} << (c1 & 63)) - 1;
        while (bits) {
            const int c = w * 64 + __builtin_ctzll(bits);
            bits &= bits - 1;
            if (c == runEnd && runEnd > runFirst) {
                ++runEnd;
                continue;
            }
            if (runEnd > runFirst)
                fn(std::max(first, runFirst << kShift), std::min(last, runEnd << kShift));
            runFirst = c;
            runEnd = c + 1;
        }
    }
    if (runEnd > runFirst)
        fn(std::max(first, runFirst << kShift), std::min(last, runEnd << kShift));
}

// A monochrome surface shows a colour as whichever of black and white is nearer.
constexpr bool IsNearerWhite(COLORREF c) {
    const int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
    const int toBlack = r * r + g * g + b * b;
    const int toWhite = (255 - r) * (255 - r) + (255 - g) * (255 - g) + (255 - b) * (255 - b);
    return toWhite < toBlack;
}

// How a source pixel lands on the destination of a blit: a monochrome source
// becomes the destination's text colour (black) and background colour
// (white); a colour source copied to a monochrome surface becomes white where
// it matches the source's background colour and black elsewhere.
struct PixelConversion {
    enum class Mode { Copy, MonoToColor, ColorToMono };
    Mode mode = Mode::Copy;
    std::uint32_t whiteTo = kPixelWhite;
    std::uint32_t blackTo = kPixelBlack;
    std::uint32_t match = 0;

    std::uint32_t operator()(std::uint32_t p) const {
        switch (mode) {
        case Mode::MonoToColor:
            return (p & kPixelRgbMask) == kPixelRgbMask ? whiteTo : blackTo;
        case Mode::ColorToMono:
            return (p & kPixelRgbMask) == (match & kPixelRgbMask) ? kPixelWhite : kPixelBlack;
        case Mode::Copy:
            break;
        }
        return p | kPixelBlack;
    }
};

inline Qt::BrushStyle HatchStyle(std::uintptr_t hatch) {
    switch (hatch) {
    case HS_HORIZONTAL:
        return Qt::HorPattern;
    case HS_VERTICAL:
        return Qt::VerPattern;
    case HS_FDIAGONAL:
        return Qt::FDiagPattern;
    case HS_BDIAGONAL:
        return Qt::BDiagPattern;
    case HS_CROSS:
        return Qt::CrossPattern;
    default:
        return Qt::DiagCrossPattern;
    }
}

inline QPolygon ToPolygon(const POINT* points, int count) {
    QPolygon polygon(count);
    for (int i = 0; i < count; ++i)
        polygon.setPoint(i, points[i].x, points[i].y);
    return polygon;
}
