#include "app/stats/StatsFrame.h"

bool CStatsFrame::PreCreateWindow(CREATESTRUCT& cs) {
    cs.cx = kWidth;
    cs.cy = kHeight;
    return CMDIChildWnd::PreCreateWindow(cs);
}
