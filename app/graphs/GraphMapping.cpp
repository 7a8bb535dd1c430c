#include "app/graphs/GraphMapping.h"

#include <cmath>
#include <limits>

namespace {

int NonZero(int n) {
    return n == 0 ? 1 : n;
}

int Round(double v) {
    double r = std::floor(v + 0.5);
    if (r > std::numeric_limits<int>::max()) {
        return std::numeric_limits<int>::max();
    }
    if (r < std::numeric_limits<int>::min()) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(r);
}

} // namespace

CGraphMapping::CGraphMapping(int nWinOrgX, int nWinOrgY, int nWinExtX, int nWinExtY, int nViewOrgX,
                             int nViewOrgY, int nViewExtX, int nViewExtY)
    : m_nWinOrgX(nWinOrgX), m_nWinOrgY(nWinOrgY), m_nWinExtX(NonZero(nWinExtX)),
      m_nWinExtY(NonZero(nWinExtY)), m_nViewOrgX(nViewOrgX), m_nViewOrgY(nViewOrgY),
      m_nViewExtX(NonZero(nViewExtX)), m_nViewExtY(NonZero(nViewExtY)) {}

double CGraphMapping::ScaleX() const {
    return static_cast<double>(NonZero(m_nViewExtX)) / NonZero(m_nWinExtX);
}

double CGraphMapping::ScaleY() const {
    return static_cast<double>(NonZero(m_nViewExtY)) / NonZero(m_nWinExtY);
}

QPoint CGraphMapping::ToDevice(int x, int y) const {
    return QPoint(Round((static_cast<double>(x) - m_nWinOrgX) * ScaleX() + m_nViewOrgX),
                  Round((static_cast<double>(y) - m_nWinOrgY) * ScaleY() + m_nViewOrgY));
}

QPoint CGraphMapping::ToGraph(int x, int y) const {
    return QPoint(Round((static_cast<double>(x) - m_nViewOrgX) / ScaleX() + m_nWinOrgX),
                  Round((static_cast<double>(y) - m_nViewOrgY) / ScaleY() + m_nWinOrgY));
}

QTransform CGraphMapping::Transform() const {
    const double sx = ScaleX();
    const double sy = ScaleY();
    return QTransform(sx, 0, 0, sy, m_nViewOrgX - m_nWinOrgX * sx, m_nViewOrgY - m_nWinOrgY * sy);
}
