#pragma once

#include "app/graphs/GraphMapping.h"

#include <QLine>
#include <QRect>

#include <functional>
#include <string>
#include <vector>

// One tick of a batch graph's axis, in device pixels, with its label (none when the text is
// empty): the label's top edge at labelAt, centred on it or ending at it.
struct CBatchTick {
    QLine tick;
    QPoint labelAt;
    std::string strLabel;
};

// Everything a batch graph draws apart from the data, in device pixels, and the mapping of
// the data.
struct CBatchLayout {
    QLine xAxis;
    QLine yAxis;
    std::vector<CBatchTick> xTicks; // labels centred below the tick
    std::vector<CBatchTick> yTicks; // labels right-aligned left of the tick
    int nLabelPixels = 1;           // the label font's height
    int nStepX = 1;
    int nEndX = 0;
    int nStepY = 1;
    int nTopY = 1;
    CGraphMapping data;
};

// The shown part of a batch graph, its axes and its zoom arithmetic, apart from any window.
// x is the entry index, y the value growing upward from 0. Ticks and data share one scale on
// each axis: the data's top is the vertical axis's rounded top value, so that the labels read
// true.
class CBatchGraph {
public:
    // The tick step of an axis showing n units: 1 below 10, 5 up to 100, else a tenth of n
    // rounded down to a multiple of 5.
    static int AxisStep(long long n);

    void ResetZoom(int nCount, int nRangeY);
    // Works out the plot geometry for an output area (right and bottom exclusive) and what to
    // draw in it. Labels are 5 % of the plot's height, at most nMaxLabelPixels (0: no limit).
    // On a printer, whose pixels are small, the plot moves in from the page's left and bottom
    // edges as far as its labels need (fnMeasure: a text's width at a height), so that none
    // is cut off.
    CBatchLayout Layout(const QRect& area, bool bPrinting, int nMaxLabelPixels = 0,
                        const std::function<int(const std::string&, int)>& fnMeasure = {});
    // The entries the data line runs through: [first, last).
    void DataEntries(int nCount, int& nFirst, int& nLast) const;
    // The limit line's end in entries.
    int LimitEnd(int nCount) const;
    // A rubber band (normalised, client pixels) zooms into the last drawn plot unless it is
    // smaller than 10 x 10 pixels once clipped to the client area; true when it zoomed.
    bool Zoom(const QRect& band, const QSize& client);

    int m_nRangeX = 0;
    int m_nRangeY = 0;
    int m_nOriginX = 0;
    int m_nOriginY = 0;
    int m_nPlotWidth = 0;
    int m_nPlotHeight = 0;
    int m_nPlotLeft = 0;
    int m_nPlotBottom = 0;

private:
    CGraphMapping DataMapping() const;
    int m_nTopY = 1; // the vertical axis's top value at the last draw
};
