#pragma once

#include "app/framework/MDIFrameWnd.h"

class CLogoClientWnd;
class QStatusBar;
class QToolBar;

// The program's main window: its placement remembered between runs, the tool bar, the status
// bar with the lock-key indicators, the logo behind the child windows, and the splash screen
// at creation.
class CMainFrame : public CMDIFrameWnd {
    Q_OBJECT
public:
    CMainFrame();

    bool PreCreateWindow(CREATESTRUCT& cs) override;
    int OnCreate() override;
    QMdiArea* CreateClient() override;
    void OnDestroy() override;

    CLogoClientWnd* m_wndMDIClient = nullptr;
    QStatusBar* m_wndStatusBar = nullptr;
    QToolBar* m_wndToolBar = nullptr;
};
