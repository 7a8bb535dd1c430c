#include "app/framework/FrameWnd.h"

#include "app/framework/View.h"

#include <QMetaObject>
#include <QWidget>

CDocument* CFrameWnd::GetActiveDocument() const {
    CView* pView = GetActiveView();
    return pView != nullptr ? pView->GetDocument() : nullptr;
}

bool CFrameWnd::PreCreateWindow(CREATESTRUCT&) {
    return true;
}

void CFrameWnd::ShowWindow(int nCmdShow) {
    QWidget* w = GetWindow();
    switch (nCmdShow) {
    case SW_HIDE:
        w->hide();
        break;
    case SW_SHOWMINIMIZED:
        w->showMinimized();
        break;
    case SW_SHOWMAXIMIZED:
        w->showMaximized();
        break;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
        w->showNormal();
        break;
    default:
        w->show();
        break;
    }
}

bool CFrameWnd::IsWindowVisible() const {
    return GetWindow()->isVisible();
}

void CFrameWnd::ActivateFrame(int nCmdShow) {
    ShowWindow(nCmdShow == -1 ? SW_SHOW : nCmdShow);
    GetWindow()->raise();
    GetWindow()->activateWindow();
}

void CFrameWnd::BringWindowToTop() {
    GetWindow()->raise();
}

void CFrameWnd::PostClose() {
    QMetaObject::invokeMethod(GetWindow(), "close", Qt::QueuedConnection);
}

void CFrameWnd::UpdateWindow() {
    GetWindow()->repaint();
}

QRect CFrameWnd::GetWindowRect() const {
    return GetWindow()->frameGeometry();
}
