#include "app/shell/MainFrame.h"

#include "app/shell/LogoClientWnd.h"
#include "app/shell/Registry.h"
#include "app/shell/Resource.h"
#include "app/shell/StartupSplash.h"
#include "app/shell/WindowPlacement.h"

#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>

CMainFrame::CMainFrame() {
    setObjectName(QStringLiteral("MainFrame"));
}

bool CMainFrame::PreCreateWindow(CREATESTRUCT& cs) {
    CWindowPlacement::ReadMainWindow(cs);
    // A stored size that is negative is kept by the rule, but no window can have it: such a
    // window opens at the smallest size the rule gives.
    if (cs.cx != CW_USEDEFAULT && cs.cx < 0) {
        cs.cx = CWindowPlacement::kMinimumSize;
    }
    if (cs.cy != CW_USEDEFAULT && cs.cy < 0) {
        cs.cy = CWindowPlacement::kMinimumSize;
    }
    return CMDIFrameWnd::PreCreateWindow(cs);
}

QMdiArea* CMainFrame::CreateClient() {
    return new CLogoClientWnd(this);
}

int CMainFrame::OnCreate() {
    if (CMDIFrameWnd::OnCreate() == -1) {
        return -1;
    }
    m_wndToolBar = CreateToolBar(IDR_MAINFRAME);
    if (m_wndToolBar == nullptr) {
        return -1;
    }
    if (!CreateStatusBar({ID_SEPARATOR, ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL})) {
        return -1;
    }
    m_wndStatusBar = statusBar();
    m_pLineStatus = new QLabel(m_wndStatusBar);
    m_pLineStatus->setObjectName(QStringLiteral("LineStatus"));
    m_pLineStatus->hide();
    m_pCancel = new QPushButton(QStringLiteral("Cancel"), m_wndStatusBar);
    m_pCancel->setObjectName(QStringLiteral("LineCancel"));
    m_pCancel->setToolTip(QStringLiteral("Stop the running line operation (Shift+Esc)"));
    m_pCancel->setFocusPolicy(Qt::NoFocus);
    m_pCancel->hide();
    connect(m_pCancel, &QPushButton::clicked, this, &CMainFrame::CancelLineClicked);
    m_pHistoryStatus = new QLabel(QStringLiteral("History: off"), m_wndStatusBar);
    m_pHistoryStatus->setObjectName(QStringLiteral("HistoryStatus"));
    // Left of the lock-key indicators, after the prompt pane.
    m_wndStatusBar->insertPermanentWidget(1, m_pLineStatus);
    m_wndStatusBar->insertPermanentWidget(2, m_pCancel);
    m_wndStatusBar->insertPermanentWidget(3, m_pHistoryStatus);
    m_wndMDIClient = qobject_cast<CLogoClientWnd*>(GetMDIClient());
    if (m_wndMDIClient == nullptr) {
        return -1;
    }
    CStartupSplash::ShowSplashScreen(this);
    return 0;
}

void CMainFrame::ShowLineStatus(const QString& strText, bool bCancellable,
                                const QString& strDetail) {
    if (m_pLineStatus == nullptr) {
        return;
    }
    m_pLineStatus->setText(strText);
    m_pLineStatus->setToolTip(strDetail);
    m_pLineStatus->setVisible(!strText.isEmpty());
    m_pCancel->setVisible(bCancellable);
}

void CMainFrame::ShowHistoryStatus(const QString& strText, const QString& strDetail,
                                   bool bProblem) {
    if (m_pHistoryStatus == nullptr) {
        return;
    }
    m_pHistoryStatus->setText(strText);
    m_pHistoryStatus->setToolTip(strDetail);
    m_pHistoryStatus->setStyleSheet(bProblem ? QStringLiteral("color: #a00000") : QString());
}

void CMainFrame::OnDestroy() {
    // Whatever rectangle the window has now is kept, minimised or maximised as it may be.
    CWindowPlacement::Write(REG_KEY_MAIN_WINDOW, GetWindowRect());
    CMDIFrameWnd::OnDestroy();
}
