#pragma once

#include "app/graphs/BatchGraph.h"
#include "app/graphs/ControlChart.h"
#include "app/graphs/ControlChartPlot.h"
#include "app/graphs/ExportFile.h"
#include "app/graphs/ZoomView.h"

#include <QFont>
#include <QPoint>

class CBatchDoc;

// The batch window: the batch buffer as a line of value against entry number over labelled
// axes, with the limit line dotted in green. The operator zooms in with a rubber band (the
// vertical axis always starting at 0) and opens the Batch Statistics dialog from the context
// menu or with a double click. The control-chart view (a toggle) shows the same batch as an
// individuals chart with its mean and 3 sigma limits instead; its rubber band zooms the values
// from both ends.
class CBatchView : public CZoomView, public CBatchGraph {
    Q_OBJECT
public:
    CBatchView();

    CBatchDoc* GetDocument() const;
    void ResetZoom() override;

    void OnInitialUpdate() override;
    void OnDraw(QPainter* pDC) override;
    // Export...: the data as CSV, the graph as shown as PNG, or as printed as PDF.
    void OnFileExport();
    bool Export(const std::string& strPath, CExportFile::Format format, std::string* pReason);
    void OnBatchStatistics();
    void OnControlChart();
    bool IsControlChart() const { return m_bControlChart; }
    const CControlChart& GetControlChart() const { return m_chart; }
    const CControlChartPlot& GetControlChartPlot() const { return m_chartPlot; }

protected:
    bool ZoomTo(const QRect& band) override;
    void OpenContextMenu(QPoint point) override;
    QBrush Ground() const override { return Qt::white; }
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;

private:
    // The data as the CSV of an export.
    static std::string Csv(const CBatchDoc& doc);
    QFont m_lfLabels;
    CBatchDoc* m_pDoc = nullptr;
    bool m_bControlChart = false;
    CControlChart m_chart;
    CControlChartPlot m_chartPlot;
};
