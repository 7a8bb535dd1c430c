#include "app/framework/MDIChildWnd.h"

#include <QStyle>
#include <algorithm>

#include "app/framework/DocTemplate.h"
#include "app/framework/Document.h"
#include "app/framework/MDIFrameWnd.h"
#include "app/framework/Resources.h"
#include "app/framework/View.h"

#include <QCloseEvent>
#include <QMdiArea>

CMDIChildWnd::CMDIChildWnd() {
    setAttribute(Qt::WA_DeleteOnClose, false);
}

CMDIChildWnd::~CMDIChildWnd() {
    if (!m_bDestroyed) {
        // Deleted without DestroyWindow (the main window went first): keep the document
        // consistent all the same.
        m_bDestroyed = true;
        if (m_pView != nullptr && m_pView->GetDocument() != nullptr) {
            m_pView->GetDocument()->RemoveView(m_pView);
        }
        if (m_pMainFrame != nullptr) {
            m_pMainFrame->OnChildDestroyed(this);
        }
    }
}

// Where the platform puts a new child window: each one a title bar lower and further right
// than the one before, starting again at the top left when it would no longer fit.
QPoint CMDIChildWnd::DefaultCascadePosition(QMdiArea* pArea) const {
    const int step = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this) + 4;
    const int others = static_cast<int>(pArea->subWindowList().size()) - 1;
    const QSize area = pArea->viewport()->size();
    int index = std::max(0, others);
    const int fitX = (area.width() - width()) / step;
    const int fitY = (area.height() - height()) / step;
    const int fit = std::max(1, std::min(fitX, fitY) + 1);
    index %= fit;
    return {index * step, index * step};
}

bool CMDIChildWnd::Create(CDocTemplate* pTemplate, CDocument* pDocument, CView* pView,
                          CMDIFrameWnd* pMainFrame) {
    CREATESTRUCT cs;
    if (pMainFrame == nullptr || pMainFrame->GetMDIClient() == nullptr || !PreCreateWindow(cs)) {
        return false;
    }
    m_pTemplate = pTemplate;
    m_pMainFrame = pMainFrame;
    m_pView = pView;
    setWidget(pView);
    if (pTemplate != nullptr) {
        QIcon icon = CResources::LoadIcon(pTemplate->GetResourceID());
        if (!icon.isNull()) {
            setWindowIcon(icon);
        }
    }
    hide();
    pMainFrame->GetMDIClient()->addSubWindow(this);
    if (isVisible()) {
        hide();
    }
    if (cs.cx != CW_USEDEFAULT && cs.cy != CW_USEDEFAULT) {
        resize(cs.cx, cs.cy);
    }
    if (cs.x != CW_USEDEFAULT && cs.y != CW_USEDEFAULT) {
        move(cs.x, cs.y);
    } else {
        move(DefaultCascadePosition(pMainFrame->GetMDIClient()));
    }
    if (pDocument != nullptr) {
        pDocument->AddView(pView);
    }
    pMainFrame->OnChildCreated(this);
    OnUpdateFrameTitle();
    return true;
}

void CMDIChildWnd::ShowWindow(int nCmdShow) {
    QMdiArea* area = m_pMainFrame != nullptr ? m_pMainFrame->GetMDIClient() : nullptr;
    bool bWasCurrent = area != nullptr && area->currentSubWindow() == this;
    CFrameWnd::ShowWindow(nCmdShow);
    if (area == nullptr) {
        return;
    }
    if (nCmdShow != SW_HIDE) {
        area->setActiveSubWindow(this);
    } else if (bWasCurrent) {
        // The window that was under it becomes the active one.
        QList<QMdiSubWindow*> order = area->subWindowList(QMdiArea::StackingOrder);
        QMdiSubWindow* next = nullptr;
        for (QMdiSubWindow* w : order) {
            if (w != this && w->isVisible()) {
                next = w;
            }
        }
        area->setActiveSubWindow(next);
        m_pMainFrame->OnUpdateFrameTitle();
    }
}

void CMDIChildWnd::ActivateFrame(int nCmdShow) {
    ShowWindow(nCmdShow == -1 ? SW_SHOW : nCmdShow);
    raise();
    if (m_pMainFrame != nullptr && m_pMainFrame->GetMDIClient() != nullptr && isVisible()) {
        m_pMainFrame->GetMDIClient()->setActiveSubWindow(this);
    }
    if (m_pView != nullptr && isVisible()) {
        m_pView->setFocus(Qt::OtherFocusReason);
    }
}

QRect CMDIChildWnd::GetWindowRect() const {
    QWidget* area = parentWidget();
    QPoint topLeft = area != nullptr ? area->mapToGlobal(pos()) : pos();
    return QRect(topLeft, size());
}

bool CMDIChildWnd::OnClose() {
    if (m_bDestroyed) {
        return true;
    }
    CDocument* pDoc = GetActiveDocument();
    if (pDoc != nullptr && !pDoc->CanCloseFrame(this)) {
        return false;
    }
    if (pDoc != nullptr && pDoc->GetFrames().size() <= 1) {
        pDoc->OnCloseDocument(); // destroys this frame with the document
    } else {
        DestroyWindow();
    }
    return true;
}

void CMDIChildWnd::DestroyWindow() {
    if (m_bDestroyed) {
        return;
    }
    OnDestroy();
    m_bDestroyed = true;
    CView* pView = m_pView;
    if (pView != nullptr) {
        pView->OnDestroy();
    }
    hide();
    if (m_pMainFrame != nullptr) {
        if (m_pMainFrame->GetMDIClient() != nullptr) {
            m_pMainFrame->GetMDIClient()->removeSubWindow(this);
        }
        m_pMainFrame->OnChildDestroyed(this);
    }
    // Leaving the document may close it (its last view), which is why this comes last.
    if (pView != nullptr && pView->GetDocument() != nullptr) {
        pView->GetDocument()->RemoveView(pView);
    }
    deleteLater();
}

void CMDIChildWnd::SetWindowNumber(int nNumber) {
    m_nWindow = nNumber;
    OnUpdateFrameTitle();
}

void CMDIChildWnd::OnUpdateFrameTitle() {
    CDocument* pDoc = GetActiveDocument();
    std::string title = pDoc != nullptr ? pDoc->GetTitle() : std::string();
    if (m_nWindow > 0) {
        title += ":" + std::to_string(m_nWindow);
    }
    setWindowTitle(QString::fromStdString(title));
    if (m_pMainFrame != nullptr) {
        m_pMainFrame->OnUpdateFrameTitle();
    }
}

bool CMDIChildWnd::OnCmdMsg(UINT nID, CCmdUI* pCmdUI) {
    if (m_pView != nullptr && m_pView->OnCmdMsg(nID, pCmdUI)) {
        return true;
    }
    return CCmdTarget::OnCmdMsg(nID, pCmdUI);
}

void CMDIChildWnd::closeEvent(QCloseEvent* pEvent) {
    // The frame goes through DestroyWindow, never by the close event itself.
    pEvent->ignore();
    OnClose();
}
