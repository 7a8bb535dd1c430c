#pragma once

#include "app/framework/CmdTarget.h"
#include "app/framework/WinTypes.h"

#include <QRect>

class CDocument;
class CView;
class QWidget;

// What the main frame and the child frames have in common: a window that shows, hides and
// closes, an active view and document, and the creation and destruction hooks.
class CFrameWnd : public CCmdTarget {
public:
    ~CFrameWnd() override = default;

    virtual QWidget* GetWindow() = 0;
    const QWidget* GetWindow() const { return const_cast<CFrameWnd*>(this)->GetWindow(); }
    virtual CView* GetActiveView() const = 0;
    virtual CDocument* GetActiveDocument() const;

    // Adjusts the creation parameters (placement, size); false stops the creation.
    virtual bool PreCreateWindow(CREATESTRUCT& cs);
    // The window is being destroyed; its views and documents are still there.
    virtual void OnDestroy() {}

    // Show commands as SW_HIDE, SW_SHOW, SW_SHOWNORMAL, SW_SHOWMAXIMIZED, SW_SHOWMINIMIZED.
    virtual void ShowWindow(int nCmdShow);
    bool IsWindowVisible() const;
    virtual void ActivateFrame(int nCmdShow = -1);
    void BringWindowToTop();
    // Closes the frame from the message loop, as a posted close request would.
    void PostClose();
    // Paints the window at once.
    void UpdateWindow();
    // The whole window's rectangle in screen co-ordinates.
    virtual QRect GetWindowRect() const;
};
