#pragma once

#include <QPoint>
#include <QTransform>

// The anisotropic mapping of the graphs: a window (origin and extent in graph units) shown in
// a viewport (origin and extent in device pixels). Extents may be negative, which turns an
// axis over; a zero extent counts as 1.
class CGraphMapping {
public:
    CGraphMapping() = default;
    CGraphMapping(int nWinOrgX, int nWinOrgY, int nWinExtX, int nWinExtY, int nViewOrgX,
                  int nViewOrgY, int nViewExtX, int nViewExtY);

    // Rounded to the nearest pixel or graph unit, as the platform's conversions do.
    QPoint ToDevice(int x, int y) const;
    QPoint ToGraph(int x, int y) const;
    QPoint ToDevice(QPoint p) const { return ToDevice(p.x(), p.y()); }
    QPoint ToGraph(QPoint p) const { return ToGraph(p.x(), p.y()); }
    double ScaleX() const;
    double ScaleY() const;
    // The painter transform from graph units to device pixels.
    QTransform Transform() const;

    int m_nWinOrgX = 0;
    int m_nWinOrgY = 0;
    int m_nWinExtX = 1;
    int m_nWinExtY = 1;
    int m_nViewOrgX = 0;
    int m_nViewOrgY = 0;
    int m_nViewExtX = 1;
    int m_nViewExtY = 1;
};
