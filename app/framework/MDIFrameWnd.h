#pragma once

#include "app/framework/FrameWnd.h"
#include "app/framework/Resources.h"

#include <QMainWindow>

#include <map>
#include <string>
#include <vector>

class CMDIChildWnd;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;
class QTimer;

// The multiple-document main window: the client area holding the child frames, the menu bar
// of the active child's document type (the main frame's own menu when none is active), the
// accelerators, the tool bar and the status bar. Commands from menus, tool bar and keys are
// routed through the active child (view, document, frame), then the main frame, then the
// application; a command no one maps is shown disabled.
class CMDIFrameWnd : public QMainWindow, public CFrameWnd {
    Q_OBJECT
public:
    CMDIFrameWnd();
    ~CMDIFrameWnd() override;

    // Creates the window from a resource number: title (first field of the string), icon,
    // menu and accelerators of that number. False when PreCreateWindow or OnCreate refuse.
    bool LoadFrame(UINT nIDResource);
    UINT GetResourceID() const { return m_nIDResource; }
    // Creation: the default makes the client area (CreateClient). -1 fails the creation.
    virtual int OnCreate();
    virtual QMdiArea* CreateClient();
    // Destroys the window: the child frames, OnDestroy, and the end of the message loop when
    // this is the application's main window.
    void DestroyWindow();
    bool IsDestroyed() const { return m_bDestroyed; }
    // The close request (close box, File Exit): save-all, close every document, destroy.
    virtual bool OnClose();

    QWidget* GetWindow() override { return this; }
    CView* GetActiveView() const override;
    CDocument* GetActiveDocument() const override;
    QRect GetWindowRect() const override;
    void ShowWindow(int nCmdShow) override;

    QMdiArea* GetMDIClient() const { return m_pClient; }
    CMDIChildWnd* MDIGetActive() const;
    // Every child frame, hidden ones too, in creation order.
    std::vector<CMDIChildWnd*> GetChildFrames() const;
    void MDIActivate(CMDIChildWnd* pChild);

    // Control bars, built from resources.
    QToolBar* CreateToolBar(UINT nIDResource);
    QToolBar* GetToolBar() const { return m_pToolBar; }
    bool CreateStatusBar(const std::vector<UINT>& indicators);
    void SetMessageText(const std::string& strText);
    std::string GetMessageText() const;
    // A short confirmation in the message pane: the idle prompt returns after nMs unless
    // something else was written there meanwhile.
    void ShowConfirmation(const std::string& strText, int nMs = 5000);
    // The text an indicator pane shows now (empty while its key is off).
    std::string GetIndicatorText(UINT nID) const;

    // Commands.
    bool OnCmdMsg(UINT nID, CCmdUI* pCmdUI) override;
    CCmdUI QueryCommand(UINT nID);
    // Runs the command when it is enabled; true when it ran.
    bool SendCommand(UINT nID);
    // Brings tool bar buttons and indicators up to date (done when idle).
    void UpdateCommandUI();
    // Keys meant for this window: the active child's table first, then the main one. True
    // when the key is an accelerator (it is then consumed, whether or not it ran).
    bool TranslateAccelerator(QObject* pTarget, QEvent* pEvent);
    bool OwnsEventTarget(QObject* pTarget) const;

    // Menus: the menu bar shown now, and context menus that route like the menu bar.
    void SetMenu(UINT nIDMenu);
    UINT GetMenuID() const { return m_nIDMenu; }
    QMenu* CreatePopupMenu(UINT nIDMenu, int nSubMenu, QWidget* pParent);
    // Runs a context menu at a screen point and routes the chosen command; returns it or 0.
    UINT TrackPopupMenu(UINT nIDMenu, int nSubMenu, const QPoint& globalPos);
    // Brings one menu's items up to date (called before a menu opens).
    void UpdateMenu(QMenu* pMenu);

    // Titles: "app - document" while a child is active.
    void OnUpdateFrameTitle();
    const std::string& GetAppTitle() const { return m_strTitle; }

    // Called by child frames.
    void OnChildCreated(CMDIChildWnd* pChild);
    void OnChildDestroyed(CMDIChildWnd* pChild);

    // The standard window and control-bar commands.
    void OnWindowCascade();
    void OnWindowTileHorz();
    void OnWindowTileVert();
    void OnWindowMore();

protected:
    void closeEvent(QCloseEvent* pEvent) override;
    bool event(QEvent* pEvent) override;

private:
    void OnSubWindowActivated(QMdiSubWindow* pWindow);
    std::vector<QMenu*>& BuildMenu(UINT nIDMenu);
    QMenu* BuildPopup(const CResources::MenuItem& item, QWidget* pParent);
    void FillRecentFiles(QMenu* pMenu);
    void FillWindowList(QMenu* pMenu);
    std::vector<CMDIChildWnd*> VisibleChildren() const;
    // Lays the open, unminimised windows out side by side over the client area.
    void Tile(bool bHorizontal);
    // The windows Cascade and Tile arrange: shown and not minimised, bottom first.
    std::vector<CMDIChildWnd*> ArrangedChildren() const;
    static std::vector<QSize> MinimumSizes(const std::vector<CMDIChildWnd*>& children);
    // Gives each window its rectangle (a maximised one is restored first) in stacking order;
    // the active window stays active.
    void Arrange(const std::vector<CMDIChildWnd*>& children, const std::vector<QRect>& rects);

    UINT m_nIDResource = 0;
    UINT m_nIDMenu = 0;
    std::string m_strTitle;
    QMdiArea* m_pClient = nullptr;
    QToolBar* m_pToolBar = nullptr;
    QLabel* m_pMessagePane = nullptr;
    std::vector<std::pair<UINT, QLabel*>> m_indicators;
    std::map<UINT, std::vector<QMenu*>> m_menus;
    QTimer* m_pIdleTimer = nullptr;
    std::vector<CMDIChildWnd*> m_children;
    bool m_bDestroyed = false;
    bool m_bPlacementGiven = false;
    QSize m_placedSize;
};
