#pragma once

#include <QPointF>
#include <QRect>
#include <QSize>

class CControlChart;
class QPainter;

// The control chart as the batch window draws it: the shown part (entries across, values up),
// the plot inside an output area, the drawing, and the rubber-band zoom, which unlike the
// batch graph's narrows the values from both ends.
class CControlChartPlot {
public:
    // Every entry and the chart's full value range.
    void ResetZoom(const CControlChart& chart);
    bool IsZoomed() const;

    // Draws into the area (right and bottom exclusive) with the painter's font: a heading,
    // axes with round ticks, the values as a line with a dot each, the mean solid and the
    // limits dashed with their values beside the plot, the entries beyond the limits as large
    // diamonds. Sets the plot rectangle for Zoom.
    void Draw(QPainter* pDC, const QRect& area, const CControlChart& chart);
    void SetPlot(const QRect& plot) { m_plot = plot; }
    const QRect& GetPlot() const { return m_plot; }

    QPointF ToDevice(double fIndex, double fValue) const;
    QPointF ToGraph(QPointF device) const;
    // A rubber band in client pixels, clipped to the plot of the last draw, zooms both axes
    // to it unless it is then smaller than 10 x 10 pixels; true when it zoomed.
    bool Zoom(const QRect& band, const QSize& client);

    double m_fFirst = 0.0; // entry at the plot's left edge
    double m_fLast = 1.0;  // entry at its right edge
    double m_fLow = 0.0;   // value at its bottom edge
    double m_fHigh = 1.0;  // value at its top edge

private:
    QRect m_plot{0, 0, 1, 1};
    double m_fFullLast = 1.0;
    double m_fFullLow = 0.0;
    double m_fFullHigh = 1.0;
};
