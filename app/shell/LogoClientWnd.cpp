#include "app/shell/LogoClientWnd.h"

#include "app/framework/Resources.h"
#include "app/shell/Resource.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>

CLogoClientWnd::CLogoClientWnd(QWidget* pParent) : QMdiArea(pParent) {
    m_bitmap = CResources::LoadBitmap(IDB_LOGO);
    if (!m_bitmap.isNull()) {
        QImage image = m_bitmap.toImage();
        m_bm.bmWidth = image.width();
        m_bm.bmHeight = image.height();
        m_bm.bmWidthBytes = static_cast<std::int32_t>(image.bytesPerLine());
        m_bm.bmPlanes = 1;
        m_bm.bmBitsPixel = static_cast<std::uint16_t>(image.depth());
    }
    setBackground(BackgroundColor());
}

QPoint CLogoClientWnd::LogoOrigin(const QRect& client, int nWidth, int nHeight) {
    // The rectangle's right and bottom are exclusive here, as the system's are.
    int right = client.left() + client.width();
    int bottom = client.top() + client.height();
    return QPoint((right - nWidth - client.left()) / 2, (bottom - nHeight - client.top()) / 2);
}

void CLogoClientWnd::paintEvent(QPaintEvent* pEvent) {
    QPainter painter(viewport());
    for (const QRect& r : pEvent->region()) {
        painter.fillRect(r, BackgroundColor());
    }
    if (!m_bitmap.isNull()) {
        painter.drawPixmap(LogoOrigin(viewport()->rect(), m_bm.bmWidth, m_bm.bmHeight), m_bitmap);
    }
}

void CLogoClientWnd::resizeEvent(QResizeEvent* pEvent) {
    QMdiArea::resizeEvent(pEvent);
    // The logo moves with every size change, so all of it is drawn again.
    viewport()->update();
}
