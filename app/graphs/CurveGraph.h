#pragma once

#include "app/graphs/GraphMapping.h"

#include <QRect>

#include <array>
#include <string>

class CCurveDoc;

// The shown part of a curve graph and its zoom arithmetic, apart from any window. Graph units
// are curve units: x the sample index, y the force growing upward.
class CCurveGraph {
public:
    static constexpr int kFullRangeX = 501;
    static constexpr int kFullRangeY = 4095;
    static constexpr int kLabels = 12;
    // Where each label's top sits in graph units; RSO (the eighth) takes a free line above RS1.
    static constexpr std::array<int, kLabels> kLabelY = {3840, 3584, 3328, 3072, 2304, 2048,
                                                         1792, 2560, 1536, 1280, 1024, 768};
    static constexpr int kLabelX = 10;

    void ResetZoom();
    bool IsFullView() const { return m_nRangeX == kFullRangeX; }
    // The drawing mapping for an output area (right and bottom exclusive): the shown part of
    // the graph fills the area's size with its left edge at device x 0 and its bottom edge on
    // the area's bottom.
    CGraphMapping Mapping(const QRect& area) const;
    // A rubber band (normalised, client pixels) zooms in unless it is smaller than 10 x 10
    // pixels once clipped to the client area; true when it zoomed.
    bool Zoom(const QRect& band, const QSize& client);

    static std::array<std::string, kLabels> FormatLabels(const CCurveDoc& doc);

    int m_nRangeX = kFullRangeX;
    int m_nRangeY = kFullRangeY;
    int m_nOriginX = 0;
    int m_nOriginY = 0;
};
