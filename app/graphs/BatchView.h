#pragma once

#include "app/framework/View.h"
#include "app/graphs/BatchGraph.h"

#include <QCursor>
#include <QFont>
#include <QPoint>

class CBatchDoc;
class QRubberBand;

// The batch window: the batch buffer as a line of value against entry number over labelled
// axes, with the limit line dotted in green. The operator zooms in with a rubber band (the
// vertical axis always starting at 0) and opens the Batch Statistics dialog from the context
// menu or with a double click.
class CBatchView : public CView, public CBatchGraph {
    Q_OBJECT
public:
    CBatchView();

    CBatchDoc* GetDocument() const;
    void ResetZoom();

    void OnInitialUpdate() override;
    void OnUpdate(CView* pSender, long lHint, CObject* pHint) override;
    void OnDraw(QPainter* pDC) override;
    void OnZoomOut();
    void OnBatchStatistics();

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;

private:
    void OpenContextMenu(QPoint point);

    QFont m_lfLabels;
    QCursor m_hZoomCursor;
    CBatchDoc* m_pDoc = nullptr;
    QRubberBand* m_pBand = nullptr;
    QPoint m_bandOrigin;
};
