#include "app/graphs/GraphPaint.h"

#include "app/framework/MDIChildWnd.h"
#include "app/framework/View.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <QPointer>

bool CGraphPaint::IsMinimized(const CView* pView) {
    CMDIChildWnd* pFrame = pView->GetParentFrame();
    return pFrame != nullptr ? pFrame->isMinimized() : pView->isMinimized();
}

QRect CGraphPaint::PrintTitle(QPainter* pDC, const std::string& strTitle) {
    const int w = pDC->device()->width();
    const int h = pDC->device()->height();
    const QString title = QString::fromStdString(strTitle);
    QFontMetrics metrics(pDC->font(), pDC->device());
    const int tw = metrics.horizontalAdvance(title);
    const int th = metrics.height();
    pDC->resetTransform();
    pDC->drawText(w / 2 - tw / 2, th + 5 + metrics.ascent(), title);
    return QRect(QPoint(100, 100), QPoint(w - 100 - 1, h - 100 - 1));
}

void CGraphPaint::TextAt(QPainter* pDC, QPoint point, int nAlign, const std::string& strText) {
    const QString text = QString::fromStdString(strText);
    QFontMetrics metrics(pDC->font(), pDC->device());
    int x = point.x();
    const int width = metrics.horizontalAdvance(text);
    if ((nAlign & Qt::AlignHCenter) != 0) {
        x -= width / 2;
    } else if ((nAlign & Qt::AlignRight) != 0) {
        x -= width;
    }
    pDC->drawText(x, point.y() + metrics.ascent(), text);
}

void CGraphPaint::SetPen(QPainter* pDC, QColor color, Qt::PenStyle style) {
    QPen pen(color);
    pen.setWidth(1);
    pen.setCosmetic(true);
    pen.setStyle(style);
    pDC->setPen(pen);
}

void CGraphPaint::PostClose(CView* pView) {
    CMDIChildWnd* pFrame = pView->GetParentFrame();
    if (pFrame == nullptr) {
        return;
    }
    // Queued on the frame: a frame that is gone by then takes the close with it.
    QMetaObject::invokeMethod(
        pFrame,
        [pFrame] {
            if (!pFrame->IsDestroyed()) {
                pFrame->OnClose();
            }
        },
        Qt::QueuedConnection);
}

void CGraphPaint::ShowFrame(CView* pView) {
    CMDIChildWnd* pFrame = pView->GetParentFrame();
    if (pFrame != nullptr) {
        pFrame->raise();
        pFrame->ActivateFrame(SW_SHOW);
    } else {
        pView->show();
    }
}
