#pragma once

#include <QMdiArea>
#include <QPixmap>

#include <cstdint>

// The picture's description as the drawing code reads it.
struct BITMAP {
    std::int32_t bmType = 0;
    std::int32_t bmWidth = 0;
    std::int32_t bmHeight = 0;
    std::int32_t bmWidthBytes = 0;
    std::uint16_t bmPlanes = 0;
    std::uint16_t bmBitsPixel = 0;
    void* bmBits = nullptr;
};

// The area behind the child windows: grey, with the logo (bitmap 163) in its middle.
class CLogoClientWnd : public QMdiArea {
    Q_OBJECT
public:
    explicit CLogoClientWnd(QWidget* pParent = nullptr);

    // Where the picture's top-left corner goes: centred, halves truncated toward zero, so a
    // client area smaller than the picture cuts it equally on both sides.
    static QPoint LogoOrigin(const QRect& client, int nWidth, int nHeight);
    static QColor BackgroundColor() { return QColor(192, 192, 192); }

    const BITMAP& GetBitmapInfo() const { return m_bm; }

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    QPixmap m_bitmap;
    BITMAP m_bm;
};
