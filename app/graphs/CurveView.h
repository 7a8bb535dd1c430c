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

    QFont m_lfLabels; // its pixel size is the height in graph units
    std::array<std::string, kLabels> m_strLabels;
    CCurveDoc* m_pDoc = nullptr;
};
