#include "app/shell/MainFrame.h"

#include "app/shell/LogoClientWnd.h"
#include "app/shell/Registry.h"
#include "app/shell/Resource.h"
#include "app/shell/StartupSplash.h"
#include "app/shell/WindowPlacement.h"

#include <QCursor>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QToolTip>

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
    const QString tip = WrapText(strDetail, kToolTipWidth);
    m_pHistoryStatus->setToolTip(tip);
    // A tip on show tells the same as the pane beside it, not what was true when it opened.
    if (QToolTip::isVisible() && m_pHistoryStatus->underMouse()) {
        QToolTip::showText(QCursor::pos(), tip, m_pHistoryStatus);
    }
    m_pHistoryStatus->setStyleSheet(bProblem ? QStringLiteral("color: #a00000") : QString());
}

QString CMainFrame::WrapText(const QString& strText, int nWidth) {
    // Each part of a status ("; ") on a line of its own, and long parts broken between words.
    QStringList lines;
    for (const QString& part : strText.split(QStringLiteral("; "), Qt::SkipEmptyParts)) {
        QString line;
        for (const QString& word : part.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (!line.isEmpty() && line.size() + 1 + word.size() > nWidth) {
                lines << line;
                line.clear();
            }
            line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
        }
        if (!line.isEmpty()) {
            lines << line;
        }
    }
    return lines.join(QLatin1Char('\n'));
}

void CMainFrame::OnDestroy() {
    // Whatever rectangle the window has now is kept, minimised or maximised as it may be.
    CWindowPlacement::Write(REG_KEY_MAIN_WINDOW, GetWindowRect());
    CMDIFrameWnd::OnDestroy();
}
