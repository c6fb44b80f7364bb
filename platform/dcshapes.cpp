// CDC fills, pixels, shapes and 3D edges, and the system colours they use.
#include "dc.h"

#include "dcraster.h"

#include <QImage>
#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

COLORREF GetSysColor(int index) {
    switch (index) {
    case COLOR_WINDOW:
        return RGB(255, 255, 255);
    case COLOR_WINDOWFRAME:
    case COLOR_WINDOWTEXT:
    case COLOR_BTNTEXT:
        return RGB(0, 0, 0);
    case COLOR_HIGHLIGHT:
        return RGB(10, 36, 106);
    case COLOR_HIGHLIGHTTEXT:
    case COLOR_BTNHIGHLIGHT:
        return RGB(255, 255, 255);
    case COLOR_BTNFACE:
    case COLOR_3DLIGHT:
        return RGB(212, 208, 200);
    case COLOR_BTNSHADOW:
    case COLOR_GRAYTEXT:
        return RGB(128, 128, 128);
    case COLOR_3DDKSHADOW:
        return RGB(64, 64, 64);
    default:
        return 0;
    }
}

// ---- Fills

void CDC::FillColor(int left, int top, int right, int bottom, COLORREF color) {
    if (right <= left || bottom <= top)
        return;
    if (m_ratio == 1.0) {
        if (FillDevice(left, top, right, bottom, color))
            return;
    } else {
        const QRect device = DeviceRect(left, top, right, bottom);
        if (device.isEmpty() ||
            FillDevice(device.left(), device.top(), device.right() + 1, device.bottom() + 1, color))
            return;
    }
    if (QPainter* painter = Painter())
        painter->fillRect(QRect(left, top, right - left, bottom - top), PaintColor(color));
}

bool CDC::FillDevice(int left, int top, int right, int bottom, COLORREF color) {
    bool overwrites = false;
    if (HoldFill(left, top, right, bottom, color, overwrites))
        return true;
    DcRaster raster;
    const QRect area(left, top, right - left, bottom - top);
    if (DirectRaster(raster, true, &area, overwrites)) {
        const int l = std::max(left, 0);
        const int r = std::min(right, raster.width);
        const int t = std::max(top, 0);
        const int b = std::min(bottom, raster.height);
        if (l >= r || t >= b)
            return true;
        const std::uint32_t value = PixelValue(color);
        CBitmap* ink = KnownInk();
        if (ink && ((value ^ ink->m_inkBase) & kPixelRgbMask) == 0) {
            // Only chunks and lines with ink can be other than the base colour.
            for (int y = t; y < b; ++y) {
                const std::uint64_t* bits = ink->InkRow(y);
                if (std::all_of(bits, bits + ink->m_inkWords,
                                [](std::uint64_t w) { return w == 0; }))
                    continue;
                std::uint32_t* row = &raster.At(0, y);
                ForEachInkRun(bits, l, r, [&](int first, int last) {
                    FillPixels(row + first, static_cast<size_t>(last - first), value);
                });
                ink->ClearInk(y, l, r);
            }
            // Each kept line is walked again; one wholly inside needs no checks.
            const qsizetype stride = raster.stride;
            for (const CBitmap::InkLine& line : ink->m_inkLines) {
                const LineWalk walk(line.x0, line.y0, line.x1, line.y1);
                std::uint32_t* p = &raster.At(line.x0, line.y0);
                const qsizetype major = walk.MajorStep(stride);
                const qsizetype minor = walk.MinorStep(stride);
                auto step = [&](bool m) { p += m ? major + minor : major; };
                if (std::min(line.x0, line.x1) >= l && std::max(line.x0, line.x1) < r &&
                    std::min(line.y0, line.y1) >= t && std::max(line.y0, line.y1) < b) {
                    walk.Walk([&] { *p = value; }, step);
                    continue;
                }
                int x = line.x0;
                int y = line.y0;
                walk.Walk(
                    [&] {
                        if (x >= l && x < r && y >= t && y < b)
                            *p = value;
                    },
                    [&](bool m) {
                        step(m);
                        x += walk.xMajor ? walk.sMajor : (m ? walk.sMinor : 0);
                        y += walk.xMajor ? (m ? walk.sMinor : 0) : walk.sMajor;
                    });
            }
            if (l == 0 && t == 0 && r == raster.width && b == raster.height)
                ink->m_inkLines.clear();
            return true;
        }
        // One row filled, the others copied from it (the copy is vectorised).
        const size_t count = static_cast<size_t>(r - l);
        std::fill_n(&raster.At(l, t), count, value);
        for (int y = t + 1; y < b; ++y)
            std::memcpy(&raster.At(l, y), &raster.At(l, t), count * 4);
        if (m_bitmap && m_image == &m_bitmap->m_image && l == 0 && t == 0 && r == raster.width &&
            b == raster.height) {
            m_bitmap->SetInkBase(value);
        } else if (ink) {
            for (int y = t; y < b; ++y)
                ink->MarkInk(y, l, r);
        }
        return true;
    }
    return false;
}

void CDC::FillWithBrush(int left, int top, int right, int bottom, const LOGBRUSH& brush) {
    if (right <= left || bottom <= top || brush.lbStyle == BS_NULL)
        return;
    if (brush.lbStyle != BS_HATCHED) {
        FillColor(left, top, right, bottom, brush.lbColor);
        return;
    }
    // The gaps of a hatch show the background colour in OPAQUE mode.
    if (m_bkMode == OPAQUE)
        FillColor(left, top, right, bottom, m_bkColor);
    if (QPainter* painter = Painter())
        painter->fillRect(QRect(left, top, right - left, bottom - top),
                          QBrush(PaintColor(brush.lbColor), HatchStyle(brush.lbHatch)));
}

void CDC::FillPolygonWithBrush(const POINT* points, int count, const LOGBRUSH& brush) {
    if (brush.lbStyle == BS_NULL || count < 3)
        return;
    QPainter* painter = Painter();
    if (!painter)
        return;
    const QPolygon polygon = ToPolygon(points, count);
    painter->setPen(Qt::NoPen);
    if (brush.lbStyle == BS_HATCHED && m_bkMode == OPAQUE) {
        painter->setBrush(PaintColor(m_bkColor));
        painter->drawPolygon(polygon, Qt::OddEvenFill);
    }
    if (brush.lbStyle == BS_HATCHED)
        painter->setBrush(QBrush(PaintColor(brush.lbColor), HatchStyle(brush.lbHatch)));
    else
        painter->setBrush(PaintColor(brush.lbColor));
    painter->drawPolygon(polygon, Qt::OddEvenFill);
}

void CDC::FillRect(const RECT* rect, CBrush* brush) {
    if (rect && brush && brush->GetSafeHandle())
        FillWithBrush(rect->left, rect->top, rect->right, rect->bottom, brush->m_log);
}

void CDC::FillSolidRect(const RECT* rect, COLORREF color) {
    SetBkColor(color);
    if (rect)
        FillColor(rect->left, rect->top, rect->right, rect->bottom, color);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF color) {
    const RECT rect{x, y, x + cx, y + cy};
    FillSolidRect(&rect, color);
}

void CDC::FrameRect(const RECT* rect, CBrush* brush) {
    if (!rect || !brush || !brush->GetSafeHandle())
        return;
    const CRect r(*rect);
    if (r.IsRectEmpty())
        return;
    const LOGBRUSH& lb = brush->m_log;
    FillWithBrush(r.left, r.top, r.right, r.top + 1, lb);
    FillWithBrush(r.left, r.bottom - 1, r.right, r.bottom, lb);
    FillWithBrush(r.left, r.top + 1, r.left + 1, r.bottom - 1, lb);
    FillWithBrush(r.right - 1, r.top + 1, r.right, r.bottom - 1, lb);
}

void CDC::InvertPixels(int left, int top, int right, int bottom, bool dotted) {
    if (right <= left || bottom <= top)
        return;
    DcRaster raster;
    if (DirectRaster(raster)) {
        // The dots of a dotted frame are device pixels.
        const QRect device = DeviceRect(left, top, right, bottom);
        const int l = device.left(), t = device.top();
        const int r = device.right() + 1, b = device.bottom() + 1;
        for (int y = std::max(t, 0); y < std::min(b, raster.height); ++y) {
            const bool edgeRow = y == t || y == b - 1;
            for (int x = std::max(l, 0); x < std::min(r, raster.width); ++x) {
                if (dotted && ((!edgeRow && x != l && x != r - 1) || ((x + y) & 1)))
                    continue;
                raster.At(x, y) ^= kPixelRgbMask;
            }
        }
        return;
    }
    QPainter* painter = Painter();
    if (!painter)
        return;
    painter->setCompositionMode(QPainter::CompositionMode_Difference);
    if (!dotted) {
        painter->fillRect(QRect(left, top, right - left, bottom - top), Qt::white);
    } else {
        QPolygon dots;
        for (int x = left; x < right; ++x) {
            for (int y : {top, bottom - 1}) {
                if (((x + y) & 1) == 0 && (y == top || bottom - 1 != top))
                    dots << QPoint(x, y);
            }
        }
        for (int y = top + 1; y < bottom - 1; ++y) {
            for (int x : {left, right - 1}) {
                if (((x + y) & 1) == 0 && (x == left || right - 1 != left))
                    dots << QPoint(x, y);
            }
        }
        painter->setPen(QPen(Qt::white, 1));
        painter->drawPoints(dots);
    }
    painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void CDC::InvertRect(const RECT* rect) {
    if (rect)
        InvertPixels(rect->left, rect->top, rect->right, rect->bottom, false);
}

void CDC::DrawFocusRect(const RECT* rect) {
    if (rect)
        InvertPixels(rect->left, rect->top, rect->right, rect->bottom, true);
}

COLORREF CDC::SetPixel(int x, int y, COLORREF color) {
    DcRaster raster;
    if (DirectRaster(raster)) {
        const long long dx = DeviceCoord(x), dy = DeviceCoord(y);
        if (!raster.Contains(dx, dy))
            return CLR_INVALID;
        // The logical pixel's device pixels on the surface.
        const std::uint32_t value = PixelValue(color);
        const long long right = std::min<long long>(DeviceCoord(x + 1LL), raster.width);
        const long long bottom = std::min<long long>(DeviceCoord(y + 1LL), raster.height);
        for (long long yy = dy; yy < std::max(bottom, dy + 1); ++yy)
            for (long long xx = dx; xx < std::max(right, dx + 1); ++xx)
                raster.At(static_cast<int>(xx), static_cast<int>(yy)) = value;
        return ColorFromPixel(value);
    }
    QPainter* painter = Painter();
    if (!painter)
        return CLR_INVALID;
    painter->fillRect(QRect(x, y, 1, 1), PaintColor(color));
    return ColorFromPixel(PixelValue(color));
}

COLORREF CDC::GetPixel(int x, int y) const {
    if (!m_image || m_image->isNull())
        return CLR_INVALID;
    ReleaseHeldFill();
    const QPoint mapped = IsIdentityMapping() ? QPoint(x, y) : MappingTransform().map(QPoint(x, y));
    const long long dx = DeviceCoord(mapped.x());
    const long long dy = DeviceCoord(mapped.y());
    if (dx < INT_MIN || dx > INT_MAX || dy < INT_MIN || dy > INT_MAX)
        return CLR_INVALID;
    const QPoint device(static_cast<int>(dx), static_cast<int>(dy));
    if (!m_image->valid(device))
        return CLR_INVALID;
    return ColorFromPixel(m_image->pixel(device));
}

// ---- Shapes

BOOL CDC::Rectangle(int left, int top, int right, int bottom) {
    CRect r(left, top, right, bottom);
    r.NormalizeRect();
    if (m_logPen.lopnStyle == PS_NULL) {
        // Without an outline the filled area is one pixel smaller each way.
        FillWithBrush(r.left, r.top, r.right - 1, r.bottom - 1, m_logBrush);
        return TRUE;
    }
    const int width = PenWidth();
    if (width <= 1) {
        FillWithBrush(r.left + 1, r.top + 1, r.right - 1, r.bottom - 1, m_logBrush);
        const POINT corners[4] = {{r.left, r.top},
                                  {r.right - 1, r.top},
                                  {r.right - 1, r.bottom - 1},
                                  {r.left, r.bottom - 1}};
        const int saved = std::exchange(m_styleStep, 0);
        StrokeSegments(corners, 4, true);
        m_styleStep = saved;
        return TRUE;
    }
    // A wide pen draws bands: inside the rectangle for PS_INSIDEFRAME, else
    // centred on the outline pixels.
    FillWithBrush(r.left + 1, r.top + 1, r.right - 1, r.bottom - 1, m_logBrush);
    const int shift = m_logPen.lopnStyle == PS_INSIDEFRAME ? 0 : (width - 1) / 2;
    const int outerL = r.left - shift;
    const int outerT = r.top - shift;
    const int outerR = m_logPen.lopnStyle == PS_INSIDEFRAME ? r.right : r.right - 1 - shift + width;
    const int outerB =
        m_logPen.lopnStyle == PS_INSIDEFRAME ? r.bottom : r.bottom - 1 - shift + width;
    const COLORREF c = m_logPen.lopnColor;
    FillColor(outerL, outerT, outerR, outerT + width, c);
    FillColor(outerL, outerB - width, outerR, outerB, c);
    FillColor(outerL, outerT + width, outerL + width, outerB - width, c);
    FillColor(outerR - width, outerT + width, outerR, outerB - width, c);
    return TRUE;
}

BOOL CDC::Rectangle(const RECT* rect) {
    return rect ? Rectangle(rect->left, rect->top, rect->right, rect->bottom) : FALSE;
}

BOOL CDC::Ellipse(int left, int top, int right, int bottom) {
    CRect r(left, top, right, bottom);
    r.NormalizeRect();
    QPainter* painter = Painter();
    if (!painter || r.Width() < 1 || r.Height() < 1)
        return FALSE;
    if (m_logPen.lopnStyle == PS_NULL) {
        painter->setPen(Qt::NoPen);
    } else {
        QPen pen(PaintColor(m_logPen.lopnColor));
        pen.setWidth(PenWidth());
        painter->setPen(pen);
    }
    if (m_logBrush.lbStyle == BS_NULL)
        painter->setBrush(Qt::NoBrush);
    else if (m_logBrush.lbStyle == BS_HATCHED)
        painter->setBrush(QBrush(PaintColor(m_logBrush.lbColor), HatchStyle(m_logBrush.lbHatch)));
    else
        painter->setBrush(PaintColor(m_logBrush.lbColor));
    painter->drawEllipse(QRect(r.left, r.top, r.Width() - 1, r.Height() - 1));
    return TRUE;
}

BOOL CDC::Ellipse(const RECT* rect) {
    return rect ? Ellipse(rect->left, rect->top, rect->right, rect->bottom) : FALSE;
}

BOOL CDC::Polygon(const POINT* points, int count) {
    if (!points || count < 2)
        return FALSE;
    FillPolygonWithBrush(points, count, m_logBrush);
    const int saved = std::exchange(m_styleStep, 0);
    StrokeSegments(points, count, true);
    m_styleStep = saved;
    return TRUE;
}

// ---- Edges

BOOL CDC::DrawEdge(RECT* rect, UINT edge, UINT flags) {
    if (!rect)
        return FALSE;
    CRect r(*rect);
    UINT outer = edge & BDR_OUTER;
    UINT inner = (edge & BDR_INNER) >> 2;
    COLORREF outerLT = 0, outerRB = 0, innerLT = 0, innerRB = 0;
    bool hasOuter = true, hasInner = true;
    if (flags & BF_MONO) {
        outerLT = outerRB = GetSysColor(COLOR_WINDOWFRAME);
        innerLT = innerRB = GetSysColor(COLOR_WINDOW);
        hasInner = inner != 0 && outer != 0;
    } else if (flags & BF_FLAT) {
        outerLT = outerRB = GetSysColor(COLOR_BTNSHADOW);
        innerLT = innerRB = GetSysColor(COLOR_BTNFACE);
        hasInner = inner != 0 && outer != 0;
    } else {
        // Raised: light above and left, dark below and right; sunken the reverse.
        // A lone inner edge takes the place of the outer one.
        if (outer == 0) {
            outer = inner;
            inner = 0;
            if (outer == 1) {
                outerLT = GetSysColor(COLOR_BTNHIGHLIGHT);
                outerRB = GetSysColor(COLOR_BTNSHADOW);
            } else {
                outerLT = GetSysColor(COLOR_3DDKSHADOW);
                outerRB = GetSysColor(COLOR_3DLIGHT);
            }
        } else if (outer == BDR_RAISEDOUTER) {
            outerLT = GetSysColor(COLOR_3DLIGHT);
            outerRB = GetSysColor(COLOR_3DDKSHADOW);
        } else {
            outerLT = GetSysColor(COLOR_BTNSHADOW);
            outerRB = GetSysColor(COLOR_BTNHIGHLIGHT);
        }
        if (inner == 1) {
            innerLT = GetSysColor(COLOR_BTNHIGHLIGHT);
            innerRB = GetSysColor(COLOR_BTNSHADOW);
        } else if (inner == 2) {
            innerLT = GetSysColor(COLOR_3DDKSHADOW);
            innerRB = GetSysColor(COLOR_3DLIGHT);
        }
        hasOuter = outer == 1 || outer == 2;
        hasInner = inner == 1 || inner == 2;
    }
    // One ring: top and left first, then bottom and right, which own the
    // top-right and bottom-left corners.
    auto ring = [&](COLORREF lt, COLORREF rb) {
        if (r.IsRectEmpty())
            return;
        if (flags & BF_TOP)
            FillColor(r.left, r.top, r.right, r.top + 1, lt);
        if (flags & BF_LEFT)
            FillColor(r.left, r.top, r.left + 1, r.bottom, lt);
        if (flags & BF_BOTTOM)
            FillColor(r.left, r.bottom - 1, r.right, r.bottom, rb);
        if (flags & BF_RIGHT)
            FillColor(r.right - 1, r.top, r.right, r.bottom, rb);
        if (flags & BF_LEFT)
            ++r.left;
        if (flags & BF_TOP)
            ++r.top;
        if (flags & BF_RIGHT)
            --r.right;
        if (flags & BF_BOTTOM)
            --r.bottom;
    };
    if (hasOuter)
        ring(outerLT, outerRB);
    if (hasInner)
        ring(innerLT, innerRB);
    if (flags & BF_MIDDLE)
        FillColor(r.left, r.top, r.right, r.bottom,
                  (flags & BF_MONO) ? GetSysColor(COLOR_WINDOW) : GetSysColor(COLOR_BTNFACE));
    if (flags & BF_ADJUST)
        *rect = r;
    return TRUE;
}
