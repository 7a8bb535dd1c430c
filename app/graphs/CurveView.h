#pragma once

#include "app/framework/View.h"
#include "app/graphs/CurveGraph.h"

#include <QCursor>
#include <QFont>
#include <QPoint>

#include <array>
#include <string>

class CCurveDoc;
class QRubberBand;

// The curve window: the force curve over the reference curve on a green ground, the zone
// positions as dotted lines and the result values beside them, all placed in graph units so
// that they move and grow as the operator zooms in with a rubber band.
class CCurveView : public CView, public CCurveGraph {
    Q_OBJECT
public:
    CCurveView();

    CCurveDoc* GetDocument() const;
    const std::array<std::string, kLabels>& GetLabels() const { return m_strLabels; }
    // The label font's height in graph units as the last draw left it.
    int GetLabelHeight() const { return m_lfLabels.pixelSize(); }

    void OnInitialUpdate() override;
    void OnUpdate(CView* pSender, long lHint, CObject* pHint) override;
    void OnDraw(QPainter* pDC) override;
    void OnZoomOut();

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void enterEvent(QEnterEvent* pEvent) override;

private:
    void UpdateCursor();

    QCursor m_hZoomCursor;
    QFont m_lfLabels; // its pixel size is the height in graph units
    std::array<std::string, kLabels> m_strLabels;
    CCurveDoc* m_pDoc = nullptr;
    QRubberBand* m_pBand = nullptr;
    QPoint m_bandOrigin;
};
