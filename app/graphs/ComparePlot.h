#pragma once

#include "app/graphs/CompareCurve.h"

#include <QColor>
#include <QRect>

#include <string>
#include <vector>

class QPainter;

// How a compare window draws its curves, on the screen, a printer or into a picture: axes of
// sample index and force with round ticks, each curve in its own colour and dash, and a legend
// of station and time. The colours are the Okabe-Ito palette, which readers with the common
// kinds of colour blindness tell apart; after eight curves the dashes change as well.
class CComparePlot {
public:
    static QColor Colour(std::size_t nCurve);
    static Qt::PenStyle Dash(std::size_t nCurve);
    // The shown range: sample 0 to the last sample of the longest curve (at least 1), force 0
    // to a little above the largest value (4095 when there is nothing to show).
    static void Range(const std::vector<CCompareCurve>& curves, double& fLastSample,
                      double& fTopForce);

    // Draws into the area (right and bottom exclusive) with the painter's font; strHeading
    // stands above the plot. Keeps the plot and the legend entries for the hit test.
    void Draw(QPainter* pDC, const QRect& area, const std::vector<CCompareCurve>& curves,
              const std::string& strHeading);
    // The curve whose legend entry lies under a point of the last draw; -1 when none.
    int LegendEntryAt(QPoint point) const;
    const QRect& GetPlot() const { return m_plot; }

private:
    QRect m_plot;
    std::vector<QRect> m_legend;
};
