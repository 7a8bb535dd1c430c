#include "app/framework/ScrollView.h"

#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>

CScrollView::CScrollView(QWidget* pParent)
    : CView(pParent), m_pHorz(new QScrollBar(Qt::Horizontal, this)),
      m_pVert(new QScrollBar(Qt::Vertical, this)) {
    m_pHorz->hide();
    m_pVert->hide();
    connect(m_pHorz, &QScrollBar::valueChanged, this, [this] { update(); });
    connect(m_pVert, &QScrollBar::valueChanged, this, [this] { update(); });
}

void CScrollView::SetScrollSizes(QSize sizeTotal) {
    m_sizeTotal = sizeTotal.expandedTo(QSize(0, 0));
    UpdateBars();
    update();
}

QPoint CScrollView::GetScrollPosition() const {
    return {m_pHorz->isVisible() ? m_pHorz->value() : 0,
            m_pVert->isVisible() ? m_pVert->value() : 0};
}

void CScrollView::ScrollToPosition(QPoint pt) {
    m_pHorz->setValue(pt.x());
    m_pVert->setValue(pt.y());
}

QSize CScrollView::GetViewportSize() const {
    return {width() - (m_pVert->isVisible() ? m_pVert->width() : 0),
            height() - (m_pHorz->isVisible() ? m_pHorz->height() : 0)};
}

void CScrollView::UpdateBars() {
    const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    // A bar takes room from the other direction, which may then need its bar too.
    bool needH = m_sizeTotal.width() > width();
    bool needV = m_sizeTotal.height() > height();
    if (needH && !needV) {
        needV = m_sizeTotal.height() > height() - extent;
    }
    if (needV && !needH) {
        needH = m_sizeTotal.width() > width() - extent;
    }
    const int viewW = width() - (needV ? extent : 0);
    const int viewH = height() - (needH ? extent : 0);

    m_pHorz->setVisible(needH);
    m_pVert->setVisible(needV);
    m_pHorz->setGeometry(0, height() - extent, viewW, extent);
    m_pVert->setGeometry(width() - extent, 0, extent, viewH);
    m_pHorz->setRange(0, std::max(0, m_sizeTotal.width() - viewW));
    m_pVert->setRange(0, std::max(0, m_sizeTotal.height() - viewH));
    m_pHorz->setPageStep(std::max(1, m_sizeTotal.width() / 10));
    m_pVert->setPageStep(std::max(1, m_sizeTotal.height() / 10));
    m_pHorz->setSingleStep(std::max(1, m_sizeTotal.width() / 100));
    m_pVert->setSingleStep(std::max(1, m_sizeTotal.height() / 100));
}

void CScrollView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QSize view = GetViewportSize();
    painter.setClipRect(0, 0, view.width(), view.height());
    const QPoint pos = GetScrollPosition();
    painter.translate(-pos.x(), -pos.y());
    OnDraw(&painter);
}

void CScrollView::resizeEvent(QResizeEvent* pEvent) {
    CView::resizeEvent(pEvent);
    UpdateBars();
}

void CScrollView::wheelEvent(QWheelEvent* pEvent) {
    QScrollBar* bar =
        (pEvent->modifiers() & Qt::ShiftModifier) || !m_pVert->isVisible() ? m_pHorz : m_pVert;
    if (!bar->isVisible()) {
        pEvent->ignore();
        return;
    }
    const int steps = pEvent->angleDelta().y() != 0 ? pEvent->angleDelta().y() / 120
                                                    : pEvent->angleDelta().x() / 120;
    bar->setValue(bar->value() - steps * 3 * bar->singleStep());
    pEvent->accept();
}
