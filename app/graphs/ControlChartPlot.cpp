#include "app/graphs/ControlChartPlot.h"

#include "app/graphs/AxisScale.h"
#include "app/graphs/ControlChart.h"
#include "app/graphs/GraphFormat.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace {

// Colours told apart also by those who see red and green alike (Okabe and Ito).
const QColor kValueColor(0, 114, 178);  // blue
const QColor kMeanColor(0, 158, 115);   // bluish green
const QColor kLimitColor(213, 94, 0);   // vermillion
const QColor kBeyondColor(204, 0, 102); // a deeper reddish purple, with its own shape

QPen Pen(QColor color, double fWidth, Qt::PenStyle style = Qt::SolidLine) {
    QPen pen(color);
    pen.setWidthF(fWidth);
    pen.setStyle(style);
    return pen;
}

} // namespace

void CControlChartPlot::ResetZoom(const CControlChart& chart) {
    m_fFirst = 0.0;
    m_fLast = std::max(chart.GetCount() - 1, 1);
    chart.FullRange(m_fLow, m_fHigh);
    m_fFullLast = m_fLast;
    m_fFullLow = m_fLow;
    m_fFullHigh = m_fHigh;
}

bool CControlChartPlot::IsZoomed() const {
    return m_fFirst != 0.0 || m_fLast != m_fFullLast || m_fLow != m_fFullLow ||
           m_fHigh != m_fFullHigh;
}

QPointF CControlChartPlot::ToDevice(double fIndex, double fValue) const {
    const double sx = m_plot.width() / std::max(m_fLast - m_fFirst, 1e-9);
    const double sy = m_plot.height() / std::max(m_fHigh - m_fLow, 1e-9);
    return {m_plot.left() + (fIndex - m_fFirst) * sx,
            m_plot.top() + m_plot.height() - (fValue - m_fLow) * sy};
}

QPointF CControlChartPlot::ToGraph(QPointF device) const {
    const double sx = std::max(m_fLast - m_fFirst, 1e-9) / std::max(m_plot.width(), 1);
    const double sy = std::max(m_fHigh - m_fLow, 1e-9) / std::max(m_plot.height(), 1);
    return {m_fFirst + (device.x() - m_plot.left()) * sx,
            m_fLow + (m_plot.top() + m_plot.height() - device.y()) * sy};
}

bool CControlChartPlot::Zoom(const QRect& band, const QSize& client) {
    const QRect clipped = band.normalized() & QRect(QPoint(0, 0), client) & m_plot;
    if (clipped.width() < 10 || clipped.height() < 10) {
        return false;
    }
    const QPointF topLeft = ToGraph(clipped.topLeft());
    const QPointF bottomRight =
        ToGraph(QPointF(clipped.left() + clipped.width(), clipped.top() + clipped.height()));
    double first = topLeft.x();
    double last = bottomRight.x();
    double low = bottomRight.y();
    double high = topLeft.y();
    // At least one entry across and a tenth of a unit up, so that the scale stays finite.
    if (last - first < 1.0) {
        const double middle = (first + last) / 2.0;
        first = middle - 0.5;
        last = middle + 0.5;
    }
    if (high - low < 0.1) {
        const double middle = (high + low) / 2.0;
        low = middle - 0.05;
        high = middle + 0.05;
    }
    m_fFirst = first;
    m_fLast = last;
    m_fLow = low;
    m_fHigh = high;
    return true;
}

void CControlChartPlot::Draw(QPainter* pDC, const QRect& area, const CControlChart& chart) {
    pDC->save();
    const QFontMetrics metrics(pDC->font(), pDC->device());
    const int textHeight = metrics.height();
    // Lines a little thicker on a printer, whose pixels are small.
    const double line = std::max(1.0, pDC->device()->logicalDpiY() / 96.0);

    const std::string strHeading = CGraphFormat::Format(
        "Individuals chart: %d values, mean %.1f, sigma %.2f, %d beyond the limits",
        chart.GetCount(), chart.GetMean(), chart.GetSigma(),
        static_cast<int>(chart.GetBeyond().size()));
    const std::string strUpper = CGraphFormat::Format("UCL %.1f", chart.GetUpper());
    const std::string strMean = CGraphFormat::Format("Mean %.1f", chart.GetMean());
    const std::string strLower = CGraphFormat::Format("LCL %.1f", chart.GetLower());
    int rightRoom = 0;
    for (const std::string* s : {&strUpper, &strMean, &strLower}) {
        rightRoom = std::max(rightRoom, metrics.horizontalAdvance(QString::fromStdString(*s)));
    }

    // The value ticks decide the room the labels take on the left.
    const int top = area.top() + textHeight * 2;
    const int bottom = area.top() + area.height() - textHeight * 2;
    const int valueSteps = std::max((bottom - top) / (textHeight * 2), 1);
    const double valueStep = CAxisScale::Step(m_fLow, m_fHigh, valueSteps);
    const std::vector<double> valueTicks = CAxisScale::Ticks(m_fLow, m_fHigh, valueSteps);
    int leftRoom = 0;
    for (double v : valueTicks) {
        leftRoom = std::max(leftRoom, metrics.horizontalAdvance(
                                          QString::fromStdString(CAxisScale::Label(v, valueStep))));
    }
    const int left = area.left() + leftRoom + textHeight;
    const int right = area.left() + area.width() - rightRoom - textHeight;
    m_plot = QRect(QPoint(left, top), QPoint(std::max(right, left + 1), std::max(bottom, top + 1)));

    pDC->setPen(Pen(Qt::black, line));
    pDC->drawText(
        QRect(area.left(), area.top(), area.width(), textHeight * 2), Qt::AlignCenter,
        metrics.elidedText(QString::fromStdString(strHeading), Qt::ElideRight, area.width()));

    // Axes along the plot's left and bottom edges, with their ticks and labels.
    const int plotBottom = m_plot.top() + m_plot.height();
    const int tick = std::max(textHeight / 4, 2);
    pDC->drawLine(m_plot.left(), m_plot.top(), m_plot.left(), plotBottom);
    pDC->drawLine(m_plot.left(), plotBottom, m_plot.left() + m_plot.width(), plotBottom);
    for (double v : valueTicks) {
        const int y = static_cast<int>(std::lround(ToDevice(m_fFirst, v).y()));
        pDC->drawLine(m_plot.left() - tick, y, m_plot.left(), y);
        pDC->drawText(QRect(area.left(), y - textHeight / 2, m_plot.left() - tick - area.left() - 2,
                            textHeight),
                      Qt::AlignRight | Qt::AlignVCenter,
                      QString::fromStdString(CAxisScale::Label(v, valueStep)));
    }
    const int widest = metrics.horizontalAdvance(QStringLiteral("00000"));
    const int entrySteps = std::max(m_plot.width() / (widest * 2), 1);
    const double entryStep = std::max(CAxisScale::Step(m_fFirst, m_fLast, entrySteps), 1.0);
    for (double e = std::ceil(m_fFirst / entryStep) * entryStep; e <= m_fLast + 1e-9;
         e += entryStep) {
        const int x = static_cast<int>(std::lround(ToDevice(e, m_fLow).x()));
        pDC->drawLine(x, plotBottom, x, plotBottom + tick);
        pDC->drawText(QRect(x - widest, plotBottom + tick, widest * 2, textHeight),
                      Qt::AlignHCenter | Qt::AlignTop,
                      QString::fromStdString(CAxisScale::Label(e, entryStep)));
    }

    // The mean and the limits across the plot, named beside it where they are in view.
    const struct {
        double fValue;
        const std::string* pLabel;
        QColor color;
        Qt::PenStyle style;
    } levels[] = {{chart.GetUpper(), &strUpper, kLimitColor, Qt::DashLine},
                  {chart.GetMean(), &strMean, kMeanColor, Qt::SolidLine},
                  {chart.GetLower(), &strLower, kLimitColor, Qt::DashLine}};
    for (const auto& level : levels) {
        if (level.fValue < m_fLow || level.fValue > m_fHigh) {
            continue;
        }
        const double y = ToDevice(m_fFirst, level.fValue).y();
        pDC->setPen(Pen(level.color, line, level.style));
        pDC->drawLine(QPointF(m_plot.left(), y), QPointF(m_plot.left() + m_plot.width(), y));
        pDC->setPen(Pen(level.color, line));
        pDC->drawText(QRectF(m_plot.left() + m_plot.width() + tick, y - textHeight / 2.0,
                             rightRoom + textHeight, textHeight),
                      Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(*level.pLabel));
    }

    // The values, clipped to the plot; the line runs on to the entries just outside it.
    const std::vector<int>& values = chart.GetValues();
    const int n = chart.GetCount();
    const int from = std::clamp(static_cast<int>(std::floor(m_fFirst)), 0, n);
    const int to = std::clamp(static_cast<int>(std::ceil(m_fLast)) + 1, from, n);
    pDC->setClipRect(m_plot.adjusted(0, 0, 1, 1));
    pDC->setRenderHint(QPainter::Antialiasing, true);
    if (to > from) {
        QPainterPath path;
        path.moveTo(ToDevice(from, values[static_cast<std::size_t>(from)]));
        for (int i = from + 1; i < to; ++i) {
            path.lineTo(ToDevice(i, values[static_cast<std::size_t>(i)]));
        }
        pDC->setPen(Pen(kValueColor, line));
        pDC->drawPath(path);
    }
    const double pixelsPerEntry = m_plot.width() / std::max(m_fLast - m_fFirst, 1e-9);
    const double dot = 1.5 * line;
    pDC->setBrush(kValueColor);
    if (pixelsPerEntry >= 4.0) {
        for (int i = from; i < to; ++i) {
            pDC->drawEllipse(ToDevice(i, values[static_cast<std::size_t>(i)]), dot, dot);
        }
    }
    // Beyond the limits: a large diamond, so they stand out by shape as well as colour.
    const double size = std::max(textHeight / 3.0, 4.0 * line);
    pDC->setPen(Pen(kBeyondColor, line));
    pDC->setBrush(kBeyondColor);
    for (int i : chart.GetBeyond()) {
        if (i < from || i >= to) {
            continue;
        }
        const QPointF p = ToDevice(i, values[static_cast<std::size_t>(i)]);
        const QPointF diamond[] = {p + QPointF(0, -size), p + QPointF(size, 0),
                                   p + QPointF(0, size), p + QPointF(-size, 0)};
        pDC->drawPolygon(diamond, 4);
    }
    pDC->restore();
}
