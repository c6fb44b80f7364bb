// Internal to the CDC implementation: direct access to a 32-bit RGB surface,
// the conversions between COLORREF (0x00BBGGRR) and its pixels (0xFFRRGGBB),
// and small helpers shared by the CDC source files.
#pragma once

#include "wintypes.h"

#include <QPolygon>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>

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

// n pixels set to value, four at a time where the machine can.
inline void FillPixels(std::uint32_t* p, std::size_t n, std::uint32_t value) {
#if defined(__SSE2__)
    const __m128i v = _mm_set1_epi32(static_cast<int>(value));
    for (; n >= 4; n -= 4, p += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
#endif
    for (; n > 0; --n)
        *p++ = value;
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
        const __m128i s =
            _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)), opaque);
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                         _mm_or_si128(_mm_and_si128(keep, d), _mm_andnot_si128(keep, s)));
    }
#endif
    for (; i < n; ++i) {
        if (mask[i] & 0x00FFFFFFu)
            dst[i] = src[i] | 0xFF000000u;
    }
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
