#pragma once

#include "app/framework/View.h"

#include <QBrush>
#include <QCursor>
#include <QPoint>
#include <QRect>

class QRubberBand;

// What the curve and batch windows have in common: the standard print commands, the
// magnifier cursor, the ground painted under the graph, the answers to their documents' hints
// and the rubber band the operator zooms in with. A left drag marks the band; a right click
// opens the window's context menu.
class CZoomView : public CView {
    Q_OBJECT
public:
    CZoomView();

    // Back to the whole of the document's data.
    virtual void ResetZoom() = 0;
    void OnZoomOut();

    // New data shows a frame made hidden for its download; a close hint closes the frame once
    // the current event is done.
    void OnUpdate(CView* pSender, long lHint, CObject* pHint) override;

protected:
    // The band in client pixels, corners ordered; false when the view stays as it was.
    virtual bool ZoomTo(const QRect& band) = 0;
    virtual void OpenContextMenu(QPoint point) = 0;
    virtual QBrush Ground() const = 0;
    // After the zoom has been reset for newly downloaded data.
    virtual void OnNewData() {}

    void paintEvent(QPaintEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;

    QCursor m_hZoomCursor;

private:
    QRubberBand* m_pBand = nullptr;
    QPoint m_bandOrigin;
};
