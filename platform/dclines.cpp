// CDC lines: MoveTo, LineTo and Polyline with the selected pen, one-pixel
// lines written straight on the surface (solid or in the dash patterns of
// cosmetic pens), wider pens stroked through the painter.
#include "dc.h"

#include "dcraster.h"

#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <QVarLengthArray>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

// Pens wider than this draw as this wide: a width read from a file must not
// make one stroke cover the world.
constexpr int kMaxPenWidth = 256;

// Dash patterns of single-pixel styled pens, as on/off bit masks read from
// bit 0 upwards: dash 18 on 6 off, dot 3/3, dash-dot 9/6/3/6, dash-dot-dot
// 9/3/3/3/3/3.
struct DashPattern {
    std::uint32_t mask;
    int length;
};

constexpr std::uint32_t Runs(std::initializer_list<int> runs) {
    std::uint32_t mask = 0;
    int pos = 0;
    bool on = true;
    for (int run : runs) {
        for (int i = 0; i < run; ++i, ++pos) {
            if (on)
                mask |= 1u << pos;
        }
        on = !on;
    }
    return mask;
}

constexpr DashPattern kDash{Runs({18, 6}), 24};
constexpr DashPattern kDot{Runs({3, 3}), 6};
constexpr DashPattern kDashDot{Runs({9, 6, 3, 6}), 24};
constexpr DashPattern kDashDotDot{Runs({9, 3, 3, 3, 3, 3}), 24};

const DashPattern* PatternOf(UINT style) {
    switch (style) {
    case PS_DASH:
        return &kDash;
    case PS_DOT:
        return &kDot;
    case PS_DASHDOT:
        return &kDashDot;
    case PS_DASHDOTDOT:
        return &kDashDotDot;
    default:
        return nullptr;
    }
}

struct LineStyle {
    std::uint32_t color = 0;
    std::uint32_t gapColor = 0;
    const DashPattern* pattern = nullptr;
    // The pattern's length in device pixels: its logical length times the
    // device pixel ratio, so that dashes keep their logical lengths.
    int steps = 1;
    bool opaqueGaps = false;

    // Whether step pos of the pattern (0 <= pos < steps) is drawn.
    bool On(int pos) const {
        const int bit = steps == pattern->length ? pos : pos * pattern->length / steps;
        return (pattern->mask & (1u << bit)) != 0;
    }
};

// The chunk bits of a bitmap that follows its ink: each pixel written by a
// line that is not kept as a line marks its chunk.
struct InkMarks {
    std::uint64_t* bits = nullptr;
    qsizetype words = 0; // per row

    void Plot(int x, int y) const {
        const int c = x >> CBitmap::kInkChunkShift;
        bits[y * words + (c >> 6)] |= std::uint64_t{1} << (c & 63);
    }
};

// Draws the pixels of the line from (x0, y0) towards (x1, y1), leaving out
// (x1, y1) itself. Along the major axis each step moves one pixel; the minor
// coordinate of step i is the start plus round-half-up(i * dminor / dmajor).
// Only the steps whose major coordinate lies on the surface are visited, so a
// line with far-away ends costs no more than one across the surface. With
// kMark, a bitmap that follows its ink keeps the line or the chunks it wrote.
template <bool kMark>
void DrawSegment(const DcRaster& r, long long x0, long long y0, long long x1, long long y1,
                 const LineStyle& style, int& step, std::vector<CBitmap::InkLine>* lines,
                 const InkMarks& marks) {
    const long long dx = std::llabs(x1 - x0);
    const long long dy = std::llabs(y1 - y0);
    const long long n = std::max(dx, dy);
    if (n == 0)
        return;
    const bool xMajor = dx >= dy;
    const long long dMajor = xMajor ? dx : dy;
    const long long dMinor = xMajor ? dy : dx;
    const long long m0 = xMajor ? x0 : y0;
    const long long n0 = xMajor ? y0 : x0;
    const int sMajor = (xMajor ? x1 >= x0 : y1 >= y0) ? 1 : -1;
    const int sMinor = (xMajor ? y1 >= y0 : x1 >= x0) ? 1 : -1;
    const long long majorLimit = xMajor ? r.width : r.height;
    const long long minorLimit = xMajor ? r.height : r.width;

    if (!style.pattern && r.Contains(x0, y0) && r.Contains(x1, y1)) {
        // The common case, a solid line wholly on the surface: no checks per pixel.
        if constexpr (kMark)
            lines->push_back({static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1),
                              static_cast<int>(y1)});
        const qsizetype majorStep = xMajor ? sMajor : sMajor * r.stride;
        const qsizetype minorStep = xMajor ? sMinor * r.stride : sMinor;
        std::uint32_t* p = &r.At(static_cast<int>(x0), static_cast<int>(y0));
        if (dMinor <= 1) {
            // The segments between neighbouring columns of a trace: at most
            // one minor step, taken after the first (dMajor + 1) / 2 pixels.
            const long long first = dMinor ? (dMajor + 1) / 2 : n;
            p = RunOfPixels(p, first, majorStep, style.color) + minorStep;
            RunOfPixels(p, n - first, majorStep, style.color);
            return;
        }
        const long long twoMajor = 2 * dMajor;
        const long long twoMinor = 2 * dMinor;
        long long rem = dMajor;
        for (long long i = 0; i < n; ++i) {
            *p = style.color;
            p += majorStep;
            rem += twoMinor;
            if (rem >= twoMajor) {
                rem -= twoMajor;
                p += minorStep;
            }
        }
        return;
    }

    long long lo = 0;
    long long hi = n;
    if (sMajor > 0) {
        lo = std::max(lo, -m0);
        hi = std::min(hi, majorLimit - m0);
    } else {
        lo = std::max(lo, m0 - majorLimit + 1);
        hi = std::min(hi, m0 + 1);
    }
    const int patternLength = style.pattern ? style.steps : 1;
    if (lo < hi) {
        const long long twoMajor = 2 * dMajor;
        const long long twoMinor = 2 * dMinor;
        long long off = 0;
        long long rem = dMajor;
        if (lo > 0) {
            // 128 bits: lo * dMinor can pass 2^62 for lines with far-away ends.
            const __int128 num = static_cast<__int128>(lo) * twoMinor + dMajor;
            off = static_cast<long long>(num / twoMajor);
            rem = static_cast<long long>(num % twoMajor);
        }
        long long major = m0 + sMajor * lo;
        int pos = static_cast<int>((step + lo) % patternLength);
        for (long long i = lo; i < hi; ++i) {
            const long long minor = n0 + sMinor * off;
            if (minor >= 0 && minor < minorLimit) {
                const int x = static_cast<int>(xMajor ? major : minor);
                const int y = static_cast<int>(xMajor ? minor : major);
                bool drawn = true;
                if (!style.pattern)
                    r.At(x, y) = style.color;
                else if (style.On(pos))
                    r.At(x, y) = style.color;
                else if (style.opaqueGaps)
                    r.At(x, y) = style.gapColor;
                else
                    drawn = false;
                if constexpr (kMark) {
                    if (drawn)
                        marks.Plot(x, y);
                }
            }
            if (style.pattern && ++pos == patternLength)
                pos = 0;
            major += sMajor;
            rem += twoMinor;
            if (rem >= twoMajor) {
                rem -= twoMajor;
                ++off;
            }
        }
    }
    step = static_cast<int>((step + n % patternLength) % patternLength);
}

// A point of a line in device pixels.
struct DevicePoint {
    long long x, y;
};

// Whether every point (pointAt(i) for i < count) lies on the surface: a
// polyline that does is drawn without a check per segment or pixel.
template <class PointAt> bool AllOnSurface(const DcRaster& r, PointAt pointAt, int count) {
    const auto w = static_cast<unsigned long long>(r.width);
    const auto h = static_cast<unsigned long long>(r.height);
    bool off = false;
    for (int i = 0; i < count; ++i) {
        const DevicePoint p = pointAt(i);
        off |=
            static_cast<unsigned long long>(p.x) >= w || static_cast<unsigned long long>(p.y) >= h;
    }
    return !off;
}

// The pixels of DrawSegment for a solid line whose ends lie on the surface,
// in int arithmetic (the differences of coordinates on a surface fit).
[[gnu::always_inline]] inline void DrawSolidSegment(const DcRaster& r, POINT a, POINT b,
                                                    std::uint32_t color) {
    const int dx = b.x - a.x, dy = b.y - a.y;
    const int adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    const qsizetype xStep = dx < 0 ? -1 : 1;
    const qsizetype yStep = dy < 0 ? -r.stride : r.stride;
    const bool xMajor = adx >= ady;
    const int dMajor = xMajor ? adx : ady;
    const int dMinor = xMajor ? ady : adx;
    const qsizetype majorStep = xMajor ? xStep : yStep;
    const qsizetype minorStep = xMajor ? yStep : xStep;
    std::uint32_t* p = &r.At(a.x, a.y);
    const int twoMajor = 2 * dMajor, twoMinor = 2 * dMinor;
    // DrawSegment's remainder less twoMajor: the minor step is due when it
    // reaches 0. The steps are chosen without a branch (a slice's segments
    // are a few pixels long and turn every way, so a branch guesses badly).
    int rem = -dMajor;
    for (int i = 0; i < dMajor; ++i) {
        *p = color;
        rem += twoMinor;
        // All ones when the minor step is due (rem >= 0), else 0.
        const int due = ~(rem >> 31);
        p += majorStep + (minorStep & due);
        rem -= twoMajor & due;
    }
}

} // namespace

// ---- Lines

int CDC::PenWidth() const {
    // The magnitude is taken in 64 bits: a width of INT_MIN has none in LONG.
    const std::int64_t width = m_logPen.lopnWidth.x;
    return static_cast<int>(std::clamp<std::int64_t>(width < 0 ? -width : width, 1, kMaxPenWidth));
}

CPoint CDC::MoveTo(int x, int y) {
    const CPoint old = m_position;
    m_position = CPoint(x, y);
    m_styleStep = 0;
    return old;
}

BOOL CDC::LineTo(int x, int y) {
    const POINT points[2] = {m_position, {x, y}};
    StrokeSegments(points, 2, false);
    m_position = CPoint(x, y);
    return TRUE;
}

BOOL CDC::Polyline(const POINT* points, int count) {
    if (!points || count < 2)
        return FALSE;
    const int saved = std::exchange(m_styleStep, 0);
    StrokeSegments(points, count, false);
    m_styleStep = saved;
    return TRUE;
}

void CDC::StrokeSegments(const POINT* points, int count, bool closed) {
    if (m_logPen.lopnStyle == PS_NULL || count < 2)
        return;
    DcRaster raster;
    if (PenWidth() > 1 || !DirectRaster(raster, true)) {
        StrokeWithPainter(points, count, closed);
        return;
    }
    LineStyle style;
    style.color = PixelValue(m_logPen.lopnColor);
    style.gapColor = PixelValue(m_bkColor);
    style.pattern = PatternOf(m_logPen.lopnStyle);
    if (style.pattern)
        style.steps = static_cast<int>(std::clamp<long long>(DeviceCoord(style.pattern->length), 1,
                                                             64LL * style.pattern->length));
    style.opaqueGaps = m_bkMode == OPAQUE;
    // The points in device pixels (pointAt(i)), the line drawn between them.
    auto strokeAt = [&](auto pointAt) {
        auto stroke = [&](auto draw) {
            for (int i = 0; i + 1 < count; ++i)
                draw(pointAt(i), pointAt(i + 1));
            if (closed)
                draw(pointAt(count - 1), pointAt(0));
        };
        if (CBitmap* bitmap = KnownInk()) {
            const InkMarks marks{bitmap->m_ink.data(), bitmap->m_inkWords};
            stroke([&](const DevicePoint& a, const DevicePoint& b) {
                DrawSegment<true>(raster, a.x, a.y, b.x, b.y, style, m_styleStep,
                                  &bitmap->m_inkLines, marks);
            });
            bitmap->BoundInkLines();
        } else if (!style.pattern && AllOnSurface(raster, pointAt, count)) {
            // A solid polyline wholly on the surface (a trace in its graph): its
            // segments are a few pixels long, so their setup is what costs. A
            // solid line on the surface leaves the style step as it was.
            stroke([&](const DevicePoint& a, const DevicePoint& b) {
                DrawSolidSegment(raster, POINT{static_cast<LONG>(a.x), static_cast<LONG>(a.y)},
                                 POINT{static_cast<LONG>(b.x), static_cast<LONG>(b.y)},
                                 style.color);
            });
        } else {
            stroke([&](const DevicePoint& a, const DevicePoint& b) {
                DrawSegment<false>(raster, a.x, a.y, b.x, b.y, style, m_styleStep, nullptr,
                                   InkMarks{});
            });
        }
    };
    if (m_ratio == 1.0) {
        strokeAt([points](int i) { return DevicePoint{points[i].x, points[i].y}; });
        return;
    }
    QVarLengthArray<DevicePoint, 256> device(count);
    for (int i = 0; i < count; ++i)
        device[i] = {DeviceCoord(points[i].x), DeviceCoord(points[i].y)};
    strokeAt([&device](int i) { return device[i]; });
}

void CDC::StrokeWithPainter(const POINT* points, int count, bool closed) {
    QPainter* painter = Painter();
    if (!painter)
        return;
    const int width = PenWidth();
    QPen pen(PaintColor(m_logPen.lopnColor));
    // Width 0 is one device pixel whatever the mapping; width 1 scales with
    // it, but not with the device pixels of the surface.
    const bool cosmetic = m_logPen.lopnWidth.x == 0 || (width <= 1 && m_ratio != 1.0);
    pen.setWidth(cosmetic ? 0 : width);
    if (width > 1) {
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
    } else {
        // A flat cap leaves out the last pixel, as GDI does.
        pen.setCapStyle(Qt::FlatCap);
        pen.setJoinStyle(Qt::MiterJoin);
        switch (m_logPen.lopnStyle) {
        case PS_DASH:
            pen.setDashPattern({18, 6});
            break;
        case PS_DOT:
            pen.setDashPattern({3, 3});
            break;
        case PS_DASHDOT:
            pen.setDashPattern({9, 6, 3, 6});
            break;
        case PS_DASHDOTDOT:
            pen.setDashPattern({9, 3, 3, 3, 3, 3});
            break;
        default:
            break;
        }
    }
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->setBackgroundMode(m_bkMode == OPAQUE ? Qt::OpaqueMode : Qt::TransparentMode);
    painter->setBackground(PaintColor(m_bkColor));
    const QPolygon polygon = ToPolygon(points, count);
    if (closed)
        painter->drawPolygon(polygon);
    else
        painter->drawPolyline(polygon);
    painter->setBackgroundMode(Qt::TransparentMode);
}
