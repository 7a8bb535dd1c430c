#pragma once

#include <QRect>

// What a view is told while it prints one job.
struct CPrintInfo {
    bool m_bPreview = false;
    bool m_bDirect = false;
    int m_nMinPage = 1;
    int m_nMaxPage = 1;
    int m_nCurPage = 1;
    QRect m_rectDraw; // the printable area of the page in device pixels
};
