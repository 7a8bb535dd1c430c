#include "app/graphs/ComparePlot.h"

#include "app/graphs/AxisScale.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace {

// Okabe and Ito's colours, the pale yellow last since it shows least on white.
const QColor kPalette[] = {
    QColor(0, 114, 178),   // blue
    QColor(213, 94, 0),    // vermillion
    QColor(0, 158, 115),   // bluish green
    QColor(204, 121, 167), // reddish purple
    QColor(230, 159, 0),   // orange
    QColor(86, 180, 233),  // sky blue
    QColor(0, 0, 0),       // black
    QColor(240, 228, 66),  // yellow
};
constexpr std::size_t kColours = sizeof kPalette / sizeof kPalette[0];
const Qt::PenStyle kDashes[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine};

} // namespace

QColor CComparePlot::Colour(std::size_t nCurve) {
    return kPalette[nCurve % kColours];
}

Qt::PenStyle CComparePlot::Dash(std::size_t nCurve) {
    return kDashes[(nCurve / kColours) % (sizeof kDashes / sizeof kDashes[0])];
}

void CComparePlot::Range(const std::vector<CCompareCurve>& curves, double& fLastSample,
                         double& fTopForce) {
    double last = 0.0;
    double top = 0.0;
    for (const CCompareCurve& curve : curves) {
        for (const tagPOINT& p : curve.points) {
            last = std::max(last, static_cast<double>(p.x));
            top = std::max(top, static_cast<double>(p.y));
        }
    }
    fLastSample = std::max(last, 1.0);
    fTopForce = curves.empty() ? 4095.0 : std::max(top * 1.05, 10.0);
}

void CComparePlot::Draw(QPainter* pDC, const QRect& area, const std::vector<CCompareCurve>& curves,
                        const std::string& strHeading) {
    pDC->save();
    const QFontMetrics metrics(pDC->font(), pDC->device());
    const int textHeight = metrics.height();
    const double line = std::max(1.0, pDC->device()->logicalDpiY() / 96.0);
    double lastSample = 1.0;
    double topForce = 1.0;
    Range(curves, lastSample, topForce);

    // The legend goes below the plot, in as many columns as the width holds, so that it never
    // hides a curve.
    const int pad = std::max(textHeight / 2, 1);
    const int stretch = textHeight * 2; // of each curve's line in the legend
    int textWidth = 0;
    for (const CCompareCurve& curve : curves) {
        textWidth = std::max(textWidth,
                             metrics.horizontalAdvance(QString::fromStdString(curve.Legend())) + 2);
    }
    const int entryWidth = std::min(stretch + pad * 3 + textWidth, std::max(area.width(), 1));
    const int columns =
        std::clamp(area.width() / std::max(entryWidth, 1), 1, std::max<int>(curves.size(), 1));
    const int rows = (static_cast<int>(curves.size()) + columns - 1) / columns;
    const int legendHeight = curves.empty() ? 0 : rows * textHeight + pad * 2;

    const int top = area.top() + textHeight * 2;
    const int bottom = area.top() + area.height() - textHeight * 3 - legendHeight;
    const int forceSteps = std::max((bottom - top) / (textHeight * 2), 1);
    const double forceStep = CAxisScale::Step(0.0, topForce, forceSteps);
    const std::vector<double> forceTicks = CAxisScale::Ticks(0.0, topForce, forceSteps);
    int labelRoom = 0;
    for (double f : forceTicks) {
        labelRoom = std::max(labelRoom, metrics.horizontalAdvance(QString::fromStdString(
                                            CAxisScale::Label(f, forceStep))));
    }
    // Room on the left for the force labels and the axis title turned upright.
    const int left = area.left() + labelRoom + textHeight * 2;
    const int right = area.left() + area.width() - textHeight;
    m_plot = QRect(QPoint(left, top), QPoint(std::max(right, left + 1), std::max(bottom, top + 1)));
    const int plotRight = m_plot.left() + m_plot.width();
    const int plotBottom = m_plot.top() + m_plot.height();
    auto toDevice = [&](double sample, double force) {
        return QPointF(m_plot.left() + sample * m_plot.width() / lastSample,
                       plotBottom - force * m_plot.height() / topForce);
    };

    QPen pen(Qt::black);
    pen.setWidthF(line);
    pDC->setPen(pen);
    pDC->drawText(QRect(area.left(), area.top(), area.width(), textHeight * 2), Qt::AlignCenter,
                  QString::fromStdString(strHeading));

    // Light grid lines at the ticks, then the axes over them.
    const int tick = std::max(textHeight / 4, 2);
    QPen grid(QColor(215, 215, 215));
    grid.setWidthF(line);
    const int widest = metrics.horizontalAdvance(QStringLiteral("0000"));
    const int sampleSteps = std::max(m_plot.width() / (widest * 2), 1);
    const double sampleStep = std::max(CAxisScale::Step(0.0, lastSample, sampleSteps), 1.0);
    const std::vector<double> sampleTicks = CAxisScale::Ticks(0.0, lastSample, sampleSteps);
    for (double f : forceTicks) {
        const double y = toDevice(0.0, f).y();
        pDC->setPen(grid);
        pDC->drawLine(QPointF(m_plot.left(), y), QPointF(plotRight, y));
        pDC->setPen(pen);
        pDC->drawLine(QPointF(m_plot.left() - tick, y), QPointF(m_plot.left(), y));
        pDC->drawText(QRectF(area.left(), y - textHeight / 2.0,
                             m_plot.left() - tick - area.left() - 2, textHeight),
                      Qt::AlignRight | Qt::AlignVCenter,
                      QString::fromStdString(CAxisScale::Label(f, forceStep)));
    }
    for (double s : sampleTicks) {
        if (std::fmod(s, sampleStep) != 0.0) {
            continue;
        }
        const double x = toDevice(s, 0.0).x();
        pDC->setPen(grid);
        pDC->drawLine(QPointF(x, m_plot.top()), QPointF(x, plotBottom));
        pDC->setPen(pen);
        pDC->drawLine(QPointF(x, plotBottom), QPointF(x, plotBottom + tick));
        pDC->drawText(QRectF(x - widest, plotBottom + tick, widest * 2.0, textHeight),
                      Qt::AlignHCenter | Qt::AlignTop,
                      QString::fromStdString(CAxisScale::Label(s, sampleStep)));
    }
    pDC->drawLine(m_plot.left(), m_plot.top(), m_plot.left(), plotBottom);
    pDC->drawLine(m_plot.left(), plotBottom, plotRight, plotBottom);
    pDC->drawText(QRect(m_plot.left(), plotBottom + tick + textHeight, m_plot.width(), textHeight),
                  Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("Sample index"));
    pDC->save();
    pDC->translate(area.left(), (m_plot.top() + plotBottom) / 2.0);
    pDC->rotate(-90.0);
    pDC->drawText(QRectF(-m_plot.height() / 2.0, 0, m_plot.height(), textHeight),
                  Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("Force"));
    pDC->restore();

    if (curves.empty()) {
        pDC->drawText(m_plot, Qt::AlignCenter | Qt::TextWordWrap,
                      QStringLiteral("No curves yet: add the open curve windows, .cur files or "
                                     "recorded curves from the File menu or the right-click "
                                     "menu."));
    }

    // The curves, clipped to the plot.
    pDC->save();
    pDC->setClipRect(m_plot.adjusted(0, 0, 1, 1));
    pDC->setRenderHint(QPainter::Antialiasing, true);
    for (std::size_t i = 0; i < curves.size(); ++i) {
        const std::vector<tagPOINT>& points = curves[i].points;
        if (points.empty()) {
            continue;
        }
        QPainterPath path;
        path.moveTo(toDevice(points.front().x, points.front().y));
        for (std::size_t k = 1; k < points.size(); ++k) {
            path.lineTo(toDevice(points[k].x, points[k].y));
        }
        QPen curvePen(Colour(i));
        curvePen.setWidthF(line * 1.5);
        curvePen.setStyle(Dash(i));
        pDC->setPen(curvePen);
        pDC->drawPath(path);
    }
    pDC->restore();

    // The legend: a stretch of each curve's line and its text, row by row.
    m_legend.clear();
    if (!curves.empty()) {
        const int legendTop = plotBottom + tick + textHeight * 2 + pad;
        const int legendLeft = area.left() + (area.width() - columns * entryWidth) / 2;
        for (std::size_t i = 0; i < curves.size(); ++i) {
            const int column = static_cast<int>(i) % columns;
            const int row = static_cast<int>(i) / columns;
            const QRect entry(legendLeft + column * entryWidth, legendTop + row * textHeight,
                              entryWidth, textHeight);
            QPen curvePen(Colour(i));
            curvePen.setWidthF(line * 2.0);
            curvePen.setStyle(Dash(i));
            pDC->setPen(curvePen);
            const double middle = entry.top() + textHeight / 2.0;
            pDC->drawLine(QPointF(entry.left() + pad, middle),
                          QPointF(entry.left() + pad + stretch, middle));
            pDC->setPen(pen);
            const QRect text(entry.left() + pad * 2 + stretch, entry.top(),
                             entry.width() - pad * 3 - stretch, textHeight);
            pDC->drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                          metrics.elidedText(QString::fromStdString(curves[i].Legend()),
                                             Qt::ElideRight, text.width()));
            m_legend.push_back(entry);
        }
    }
    pDC->restore();
}

int CComparePlot::LegendEntryAt(QPoint point) const {
    for (std::size_t i = 0; i < m_legend.size(); ++i) {
        if (m_legend[i].contains(point)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}
