#pragma once

#include <QColor>
#include <QRect>

#include <string>

class CView;
class QPainter;

// Drawing steps the curve and batch views share.
class CGraphPaint {
public:
    // Whether the view's frame is minimised (nothing is drawn then).
    static bool IsMinimized(const CView* pView);
    // The printer page's output area (100 pixels in from each edge) after writing the title
    // centred at the top in the printer's current font.
    static QRect PrintTitle(QPainter* pDC, const std::string& strTitle);
    // Text with its top-left or its top-centre or top-right corner at a device point.
    static void TextAt(QPainter* pDC, QPoint point, int nAlign, const std::string& strText);
    // A cosmetic pen of one pixel.
    static void SetPen(QPainter* pDC, QColor color, Qt::PenStyle style);
    // Closes the frame of a view once the current event is done, as a posted close does.
    static void PostClose(CView* pView);
    // Shows a frame made hidden, brought to the top and active.
    static void ShowFrame(CView* pView);
};
