#pragma once

#include "app/framework/View.h"

#include <QPoint>
#include <QSize>

class QScrollBar;

// A view larger than its window: scroll bars appear when the scrollable extent does not fit,
// and drawing and mouse positions are shifted by the scroll position. Units are pixels; the
// page step is a tenth of the extent and the line step a tenth of that, as the platform has it.
class CScrollView : public CView {
    Q_OBJECT
public:
    explicit CScrollView(QWidget* pParent = nullptr);

    void SetScrollSizes(QSize sizeTotal);
    QSize GetTotalSize() const { return m_sizeTotal; }
    QPoint GetScrollPosition() const;
    void ScrollToPosition(QPoint pt);
    // The part of the window that shows the view's content (without the scroll bars).
    QSize GetViewportSize() const;

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void wheelEvent(QWheelEvent* pEvent) override;

private:
    void UpdateBars();

    QScrollBar* m_pHorz;
    QScrollBar* m_pVert;
    QSize m_sizeTotal{0, 0};
};
