#pragma once

#include <algorithm>
#include <climits>

// A sum of layout coordinates held at the ends of the int range: a damaged station file can
// put any 32-bit value in a station's edges, and drawing must not overflow on it.
inline int ClampToInt(long long value) {
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

// Points and rectangles in layout pixels. A rectangle holds its left and top edges and excludes
// its right and bottom ones.
struct CPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const CPoint&, const CPoint&) = default;
};

struct CRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    CPoint TopLeft() const { return {left, top}; }
    bool Contains(CPoint p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    // Whether the two rectangles share at least one pixel.
    bool Intersects(const CRect& o) const {
        return std::max(left, o.left) < std::min(right, o.right) &&
               std::max(top, o.top) < std::min(bottom, o.bottom);
    }
    CRect Normalized() const {
        return {std::min(left, right), std::min(top, bottom), std::max(left, right),
                std::max(top, bottom)};
    }
    CRect Offset(int dx, int dy) const {
        return {ClampToInt(static_cast<long long>(left) + dx),
                ClampToInt(static_cast<long long>(top) + dy),
                ClampToInt(static_cast<long long>(right) + dx),
                ClampToInt(static_cast<long long>(bottom) + dy)};
    }
    friend bool operator==(const CRect&, const CRect&) = default;
};
