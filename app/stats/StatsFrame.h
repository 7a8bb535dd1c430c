#pragma once

#include "app/framework/MDIChildWnd.h"

// The statistics window's frame: 660 by 200 pixels, otherwise the framework's.
class CStatsFrame : public CMDIChildWnd {
    Q_OBJECT
public:
    static constexpr int kWidth = 660;
    static constexpr int kHeight = 200;

    bool PreCreateWindow(CREATESTRUCT& cs) override;
};
