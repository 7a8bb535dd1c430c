#include "app/graphs/CurveGraph.h"

#include "app/graphs/CurveDoc.h"
#include "app/graphs/GraphFormat.h"

#include <algorithm>

void CCurveGraph::ResetZoom() {
    m_nRangeX = kFullRangeX;
    m_nRangeY = kFullRangeY;
    m_nOriginX = 0;
    m_nOriginY = 0;
}

CGraphMapping CCurveGraph::Mapping(const QRect& area) const {
    const int left = area.left();
    const int top = area.top();
    const int right = area.left() + area.width();
    const int bottom = area.top() + area.height();
    return CGraphMapping(m_nOriginX, m_nOriginY, m_nRangeX, m_nRangeY, 0, bottom,
                         std::max(right - left, 1), std::min(top - bottom, -1));
}

bool CCurveGraph::Zoom(const QRect& band, const QSize& client) {
    const int left = std::max(band.left(), 0);
    const int top = std::max(band.top(), 0);
    const int right = std::min(band.left() + band.width(), client.width());
    const int bottom = std::min(band.top() + band.height(), client.height());
    if (right - left < 10 || bottom - top < 10) {
        return false;
    }
    const CGraphMapping screen(m_nOriginX, m_nOriginY, m_nRangeX, m_nRangeY, 0, client.height(),
                               client.width(), -client.height());
    const QPoint topLeft = screen.ToGraph(left, top);
    const QPoint bottomRight = screen.ToGraph(right, bottom);
    m_nRangeX = std::max(bottomRight.x() - topLeft.x(), 1);
    m_nRangeY = std::max(topLeft.y() - bottomRight.y(), 1);
    m_nOriginX = topLeft.x();
    m_nOriginY = bottomRight.y();
    return true;
}

std::array<std::string, CCurveGraph::kLabels> CCurveGraph::FormatLabels(const CCurveDoc& doc) {
    return {CGraphFormat::Format("Z1s : %d", doc.m_nZoneInfo[0]),
            CGraphFormat::Format("Z2s : %d", doc.m_nZoneInfo[1]),
            CGraphFormat::Format("Z3s : %d", doc.m_nZoneInfo[2]),
            CGraphFormat::Format("PK : %d", doc.m_nPeakForce),
            CGraphFormat::Format("RS1 : %d", doc.m_nResultS[0]),
            CGraphFormat::Format("RS2 : %d", doc.m_nResultS[1]),
            CGraphFormat::Format("RS3 : %d", doc.m_nResultS[2]),
            CGraphFormat::Format("RSO : %d", doc.m_nResultS[3]),
            CGraphFormat::Format("RU1 : %d", doc.m_nResultU[0]),
            CGraphFormat::Format("RU2 : %d", doc.m_nResultU[1]),
            CGraphFormat::Format("RU3 : %d", doc.m_nResultU[2]),
            CGraphFormat::Format("RUO : %d", doc.m_nResultU[3])};
}
