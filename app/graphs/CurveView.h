#pragma once

#include "app/graphs/CurveGraph.h"
#include "app/graphs/ExportFile.h"
#include "app/graphs/ZoomView.h"

#include <QFont>

#include <array>
#include <string>

class CCurveDoc;

// The curve window: the force curve over the reference curve on a green ground, the zone
// positions as dotted lines and the result values beside them, all placed in graph units so
// that they move and grow as the operator zooms in with a rubber band.
class CCurveView : public CZoomView, public CCurveGraph {
    Q_OBJECT
public:
    CCurveView();

    CCurveDoc* GetDocument() const;
    const std::array<std::string, kLabels>& GetLabels() const { return m_strLabels; }
    // The label font's height in graph units as the last draw left it.
    int GetLabelHeight() const { return m_lfLabels.pixelSize(); }

    void ResetZoom() override { CCurveGraph::ResetZoom(); }

    void OnInitialUpdate() override;
    void OnDraw(QPainter* pDC) override;
    // Export...: the data as CSV, the graph as shown as PNG, or as printed as PDF.
    void OnFileExport();
    bool Export(const std::string& strPath, CExportFile::Format format, std::string* pReason);
    // The force and stroke axes with their scales and the legend of the two curves, drawn over
    // the graph unless the operator hid them (View menu; kept in the settings).
    bool AreAxesShown() const { return m_bShowAxes; }
    void SetAxesShown(bool bShow);
    // What an exported picture says of its curve: station, node and time of the download.
    static std::string Caption(const CCurveDoc& doc);

protected:
    bool ZoomTo(const QRect& band) override;
    void OpenContextMenu(QPoint point) override;
    QBrush Ground() const override;
    void OnNewData() override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void enterEvent(QEnterEvent* pEvent) override;

private:
    // The data as the CSV of an export.
    static std::string Csv(const CCurveDoc& doc);
    void UpdateCursor();
    // Over the graph, in device units: the axes, the legend, and the caption of an export.
    void DrawOverlay(QPainter* pDC, const QRect& area, const CGraphMapping& mapping,
                     const QFont& font);

    QFont m_lfLabels; // its pixel size is the height in graph units
    std::array<std::string, kLabels> m_strLabels;
    CCurveDoc* m_pDoc = nullptr;
    bool m_bShowAxes = true;
    bool m_bExporting = false; // an export draws the caption
};
