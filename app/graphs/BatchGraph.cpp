#include "app/graphs/BatchGraph.h"

#include "app/graphs/GraphFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// Values beyond anything an analyser sends (a damaged file) keep the arithmetic in range.
constexpr long long kMaxValue = 1000000000;

} // namespace

int CBatchGraph::AxisStep(long long n) {
    if (n < 10) {
        return 1;
    }
    if (n <= 100) {
        return 5;
    }
    const long long tenth = n / 10;
    return static_cast<int>(tenth - tenth % 5);
}

void CBatchGraph::ResetZoom(int nCount, int nRangeY) {
    m_nRangeX = nCount;
    m_nRangeY = nRangeY;
    m_nOriginX = 0;
    m_nOriginY = 0;
}

CGraphMapping CBatchGraph::DataMapping() const {
    return CGraphMapping(m_nOriginX, m_nOriginY, std::max(m_nRangeX, 1), std::max(m_nTopY, 1),
                         m_nPlotLeft, m_nPlotBottom, m_nPlotWidth, -m_nPlotHeight);
}

CBatchLayout CBatchGraph::Layout(const QRect& area, bool bPrinting, int nMaxLabelPixels,
                                 const std::function<int(const std::string&, int)>& fnMeasure) {
    CBatchLayout layout;
    m_nPlotLeft = bPrinting ? 150 : 50;
    m_nPlotWidth = std::max(area.width() - 120, 1);
    m_nPlotHeight = std::max(area.height() - 50, 1);
    m_nPlotBottom = area.top() + area.height() - 30;
    layout.nLabelPixels = std::max(static_cast<int>(std::lround(m_nPlotHeight * 5 / 100.0)), 1);
    if (nMaxLabelPixels > 0) {
        layout.nLabelPixels = std::min(layout.nLabelPixels, nMaxLabelPixels);
    }

    // The vertical axis's step and top value do not depend on where the plot lies.
    const long long r = std::min<long long>(std::llabs(m_nRangeY), kMaxValue) + m_nOriginY;
    const int stepY = AxisStep(r);
    const long long top = r - r % stepY + stepY;
    if (bPrinting && fnMeasure) {
        int widest = 0;
        for (long long y = top; y > m_nOriginY; y -= stepY) {
            widest = std::max(widest, fnMeasure(CGraphFormat::Format("%d", static_cast<int>(y)),
                                                layout.nLabelPixels));
        }
        // The labels end 1/200 of the width left of their ticks, which are as long again.
        const int left = area.left() + widest + 2 * (m_nPlotWidth / 200 + 1);
        if (left > m_nPlotLeft) {
            m_nPlotWidth = std::max(m_nPlotWidth - (left - m_nPlotLeft), 1);
            m_nPlotLeft = left;
        }
        // Below the axis: ticks of 1/100 of the height, then the labels, above the page edge.
        const int pageBottom = area.top() + area.height() + 100;
        const int bottom = pageBottom - (m_nPlotHeight / 100 + 1) - layout.nLabelPixels * 3 / 2;
        if (bottom < m_nPlotBottom) {
            m_nPlotHeight = std::max(m_nPlotHeight - (m_nPlotBottom - bottom), 1);
            m_nPlotBottom = bottom;
        }
    }

    // Horizontal axis: ticks every step down from the end value, raised to a whole step.
    const long long n = std::clamp<long long>(m_nRangeX, 0, kMaxValue);
    long long end = n + m_nOriginX;
    const int stepX = AxisStep(n);
    if (stepX != 1) {
        end += stepX - end % stepX;
    }
    layout.nStepX = stepX;
    layout.nEndX = static_cast<int>(end);
    const CGraphMapping xMap(m_nOriginX, m_nOriginY, static_cast<int>(std::max<long long>(n, 1)),
                             100, m_nPlotLeft, m_nPlotBottom, m_nPlotWidth, -m_nPlotHeight);
    layout.xAxis = QLine(xMap.ToDevice(m_nOriginX, 0), xMap.ToDevice(layout.nEndX, 0));
    for (long long x = end; x >= m_nOriginX; x -= stepX) {
        const int ix = static_cast<int>(x);
        CBatchTick tick;
        tick.tick = QLine(xMap.ToDevice(ix, 0), xMap.ToDevice(ix, -1));
        tick.labelAt = xMap.ToDevice(ix, -1);
        tick.strLabel = CGraphFormat::Format("%d", ix);
        layout.xTicks.push_back(tick);
    }

    // Vertical axis: from 0 up to the next whole step above the range.
    layout.nStepY = stepY;
    layout.nTopY = static_cast<int>(top);
    m_nTopY = layout.nTopY;
    const CGraphMapping yMap(m_nOriginX, m_nOriginY, 200, layout.nTopY, m_nPlotLeft, m_nPlotBottom,
                             m_nPlotWidth, -m_nPlotHeight);
    const CGraphMapping labelMap(m_nOriginX, m_nOriginY, 200, 100, m_nPlotLeft, m_nPlotBottom,
                                 m_nPlotWidth, -m_nPlotHeight);
    layout.yAxis =
        QLine(yMap.ToDevice(m_nOriginX, m_nOriginY), yMap.ToDevice(m_nOriginX, layout.nTopY));
    for (long long y = top; y >= m_nOriginY; y -= stepY) {
        const int iy = static_cast<int>(y);
        CBatchTick tick;
        const QPoint tickEnd = yMap.ToDevice(m_nOriginX - 1, iy);
        tick.tick = QLine(yMap.ToDevice(m_nOriginX, iy), tickEnd);
        const QPoint p = labelMap.ToGraph(tickEnd);
        tick.labelAt = labelMap.ToDevice(p.x() - 1, p.y() + 2);
        if (iy != m_nOriginY) {
            tick.strLabel = CGraphFormat::Format("%d", iy);
        }
        layout.yTicks.push_back(tick);
    }
    layout.data = DataMapping();
    return layout;
}

void CBatchGraph::DataEntries(int nCount, int& nFirst, int& nLast) const {
    nFirst = std::clamp(m_nOriginX, 0, std::max(nCount, 0));
    long long last = static_cast<long long>(m_nOriginX) + std::max(m_nRangeX, 0);
    // Away from the start the line runs on to the next entry, to the plot's right edge.
    if (m_nOriginX != 0 && last < nCount) {
        ++last;
    }
    nLast = static_cast<int>(std::clamp<long long>(last, nFirst, nCount));
}

int CBatchGraph::LimitEnd(int nCount) const {
    return static_cast<int>(
        std::min<long long>(nCount, static_cast<long long>(m_nRangeX) + m_nOriginX));
}

bool CBatchGraph::Zoom(const QRect& band, const QSize& client) {
    const int left = std::max(band.left(), 0);
    const int top = std::max(band.top(), 0);
    const int right = std::min(band.left() + band.width(), client.width());
    const int bottom = std::min(band.top() + band.height(), client.height());
    if (right - left < 10 || bottom - top < 10 || m_nPlotWidth <= 0 || m_nPlotHeight <= 0) {
        return false;
    }
    const CGraphMapping plot = DataMapping();
    const int nLeft = plot.ToGraph(left, top).x();
    int nRight = plot.ToGraph(right, top).x();
    const int nTop = plot.ToGraph(left, top).y();
    const long long shownEnd = static_cast<long long>(m_nRangeX) + m_nOriginX;
    if (nRight > shownEnd) {
        nRight = static_cast<int>(shownEnd);
    }
    long long range = std::max(static_cast<long long>(nRight) - nLeft, 1LL);
    long long origin = nLeft;
    if (nLeft < 0) {
        origin = 0;
        range += nLeft;
    }
    m_nRangeX = static_cast<int>(std::max(range, 1LL));
    m_nOriginX = static_cast<int>(origin);
    // The vertical axis always starts at 0: only the top edge counts.
    m_nRangeY = std::max(nTop, 1);
    return true;
}
