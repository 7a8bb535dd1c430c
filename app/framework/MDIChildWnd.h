#pragma once

#include "app/framework/FrameWnd.h"

#include <QMdiSubWindow>

#include <string>

class CDocTemplate;
class CMDIFrameWnd;

// A child frame inside the main window, holding one view of one document. Closing it asks the
// document (CanCloseFrame); closing a document's last frame closes the document.
class CMDIChildWnd : public QMdiSubWindow, public CFrameWnd {
    Q_OBJECT
public:
    CMDIChildWnd();
    ~CMDIChildWnd() override;

    // Creates the frame around the view, hidden, inside the main frame's client area.
    bool Create(CDocTemplate* pTemplate, CDocument* pDocument, CView* pView,
                CMDIFrameWnd* pMainFrame);

    QWidget* GetWindow() override { return this; }
    CView* GetActiveView() const override { return m_pView; }
    CDocTemplate* GetDocTemplate() const { return m_pTemplate; }
    CMDIFrameWnd* GetMDIFrame() const { return m_pMainFrame; }

    void ShowWindow(int nCmdShow) override;
    void ActivateFrame(int nCmdShow = -1) override;
    QRect GetWindowRect() const override;

    // The close request (close box, Close command, posted close): true when the frame went.
    virtual bool OnClose();
    // Destroys the frame now: OnDestroy, then the view's, then the view leaves its document.
    void DestroyWindow();
    bool IsDestroyed() const { return m_bDestroyed; }
    // The main frame is going away before this frame.
    void DetachMainFrame() { m_pMainFrame = nullptr; }

    // The title: the document's, with ":n" when the document has several frames.
    void SetWindowNumber(int nNumber);
    void OnUpdateFrameTitle();

    bool OnCmdMsg(UINT nID, CCmdUI* pCmdUI) override;

protected:
    void closeEvent(QCloseEvent* pEvent) override;

private:
    QPoint DefaultCascadePosition(QMdiArea* pArea) const;

    CDocTemplate* m_pTemplate = nullptr;
    CMDIFrameWnd* m_pMainFrame = nullptr;
    CView* m_pView = nullptr;
    int m_nWindow = 0;
    bool m_bDestroyed = false;
};
