#pragma once

#include "app/framework/MDIChildWnd.h"

// The frame of the curve, network and batch windows: 500 x 300 pixels at first; the network
// window's frame leaves its placement in the settings when it is destroyed.
class CChildFrame : public CMDIChildWnd {
    Q_OBJECT
public:
    static constexpr int kWidth = 500;
    static constexpr int kHeight = 300;

    bool PreCreateWindow(CREATESTRUCT& cs) override;
    void OnDestroy() override;
};
