#include "app/graphs/ZoomView.h"

#include "app/framework/Resources.h"
#include "app/framework/UpdateHints.h"
#include "app/graphs/GraphPaint.h"
#include "app/shell/Resource.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>

#include <algorithm>
#include <cstdlib>

CZoomView::CZoomView() : m_hZoomCursor(CResources::LoadCursor(IDC_ZOOM)) {
    EnableStandardPrinting();
}

void CZoomView::OnZoomOut() {
    ResetZoom();
    update();
}

void CZoomView::OnUpdate(CView*, long lHint, CObject*) {
    if (lHint == HINT_NEW_DATA) {
        ResetZoom();
        OnNewData();
        if (!isVisible()) {
            CGraphPaint::ShowFrame(this);
        } else {
            update();
        }
    } else if (lHint == HINT_CLOSE) {
        CGraphPaint::PostClose(this);
    } else {
        update();
    }
}

void CZoomView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Ground());
    OnDraw(&painter);
}

void CZoomView::mousePressEvent(QMouseEvent* pEvent) {
    const QPoint point = pEvent->position().toPoint();
    if (pEvent->button() == Qt::RightButton) {
        OpenContextMenu(point);
        return;
    }
    if (pEvent->button() != Qt::LeftButton) {
        return;
    }
    if (m_pBand == nullptr) {
        m_pBand = new QRubberBand(QRubberBand::Rectangle, this);
    }
    m_bandOrigin = point;
    m_pBand->setGeometry(QRect(point, QSize()));
    m_pBand->show();
}

void CZoomView::mouseMoveEvent(QMouseEvent* pEvent) {
    if (m_pBand != nullptr && m_pBand->isVisible()) {
        m_pBand->setGeometry(QRect(m_bandOrigin, pEvent->position().toPoint()).normalized());
    }
}

void CZoomView::mouseReleaseEvent(QMouseEvent* pEvent) {
    if (pEvent->button() != Qt::LeftButton || m_pBand == nullptr || !m_pBand->isVisible()) {
        return;
    }
    m_pBand->hide();
    const QPoint end = pEvent->position().toPoint();
    // The band's corners as the operator dragged them, either way round.
    const QRect band(
        QPoint(std::min(m_bandOrigin.x(), end.x()), std::min(m_bandOrigin.y(), end.y())),
        QSize(std::abs(end.x() - m_bandOrigin.x()), std::abs(end.y() - m_bandOrigin.y())));
    if (ZoomTo(band)) {
        update();
    }
}
