// CPoint, CSize and CRect: the point, size and rectangle records with the
// arithmetic the drawing code uses. A rectangle excludes its right and bottom edge.
#pragma once

#include "wintypes.h"

class CPoint : public POINT {
public:
    CPoint() = default;
    CPoint(int ix, int iy) : POINT{ix, iy} {}
    CPoint(const POINT& p) : POINT(p) {}
    void Offset(int dx, int dy) { x += dx, y += dy; }
    bool operator==(const CPoint& o) const { return x == o.x && y == o.y; }
    CPoint operator+(const CPoint& o) const { return {x + o.x, y + o.y}; }
    CPoint operator-(const CPoint& o) const { return {x - o.x, y - o.y}; }
};

class CSize : public SIZE {
public:
    CSize() = default;
    CSize(int w, int h) : SIZE{w, h} {}
    CSize(const SIZE& s) : SIZE(s) {}
    bool operator==(const CSize& o) const { return cx == o.cx && cy == o.cy; }
};

class CRect : public RECT {
public:
    CRect() = default;
    CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
    CRect(const RECT& r) : RECT(r) {}
    CRect(const POINT& p, const SIZE& s) : RECT{p.x, p.y, p.x + s.cx, p.y + s.cy} {}

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    CSize Size() const { return {Width(), Height()}; }
    CPoint TopLeft() const { return {left, top}; }
    CPoint BottomRight() const { return {right, bottom}; }
    CPoint CenterPoint() const { return {(left + right) / 2, (top + bottom) / 2}; }
    bool IsRectEmpty() const { return right <= left || bottom <= top; }
    bool IsRectNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
    bool PtInRect(const POINT& p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    void SetRect(int l, int t, int r, int b) { left = l, top = t, right = r, bottom = b; }
    void SetRectEmpty() { SetRect(0, 0, 0, 0); }
    void OffsetRect(int dx, int dy) { left += dx, right += dx, top += dy, bottom += dy; }
    void InflateRect(int dx, int dy) { left -= dx, right += dx, top -= dy, bottom += dy; }
    void DeflateRect(int dx, int dy) { InflateRect(-dx, -dy); }
    void NormalizeRect() {
        if (left > right) {
            LONG t = left;
            left = right, right = t;
        }
        if (top > bottom) {
            LONG t = top;
            top = bottom, bottom = t;
        }
    }
    // Intersection; an empty result is the null rectangle. Returns whether it is non-empty.
    bool IntersectRect(const RECT& a, const RECT& b) {
        CRect r(a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
                a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom);
        if (r.IsRectEmpty()) {
            SetRectEmpty();
            return false;
        }
        *this = r;
        return true;
    }
    bool operator==(const CRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    bool operator!=(const CRect& o) const { return !(*this == o); }
};
