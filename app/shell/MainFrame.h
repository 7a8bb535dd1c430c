#pragma once

#include "app/framework/MDIFrameWnd.h"

class CLogoClientWnd;
class QLabel;
class QPushButton;
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

    // What the line is doing, in the status bar beside the prompts; the Cancel button is there
    // while an operation runs. An empty text hides both. The detail is the pane's tool tip.
    void ShowLineStatus(const QString& strText, bool bCancellable,
                        const QString& strDetail = QString());
    QLabel* GetLineStatusPane() const { return m_pLineStatus; }
    // How the history recording stands, always shown; the whole story in its tool tip, and
    // marked when something is wrong.
    void ShowHistoryStatus(const QString& strText, const QString& strDetail, bool bProblem);
    QLabel* GetHistoryStatusPane() const { return m_pHistoryStatus; }
    // A long text broken into lines of at most nWidth characters (a word longer stands alone),
    // each of its "; "-separated parts starting a line.
    static QString WrapText(const QString& strText, int nWidth);
    static constexpr int kToolTipWidth = 60;
    QPushButton* GetCancelButton() const { return m_pCancel; }

signals:
    void CancelLineClicked();

public:
    CLogoClientWnd* m_wndMDIClient = nullptr;
    QStatusBar* m_wndStatusBar = nullptr;
    QToolBar* m_wndToolBar = nullptr;

private:
    QLabel* m_pLineStatus = nullptr;
    QLabel* m_pHistoryStatus = nullptr;
    QPushButton* m_pCancel = nullptr;
};
