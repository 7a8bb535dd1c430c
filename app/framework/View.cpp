#include "app/framework/View.h"

#include "app/framework/Dialog.h"
#include "app/framework/Document.h"
#include "app/framework/FrameworkIds.h"
#include "app/framework/MDIChildWnd.h"
#include "app/framework/MessageService.h"
#include "app/framework/WaitCursor.h"
#include "app/framework/WinApp.h"

#include <QPaintDevice>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

CView::CView(QWidget* pParent) : QWidget(pParent) {
    setFocusPolicy(Qt::StrongFocus);
}

CView::~CView() {
    if (m_pDocument != nullptr) {
        m_pDocument->RemoveView(this);
    }
}

CMDIChildWnd* CView::GetParentFrame() const {
    for (QWidget* w = parentWidget(); w != nullptr; w = w->parentWidget()) {
        if (auto* frame = qobject_cast<CMDIChildWnd*>(w)) {
            return frame;
        }
    }
    return nullptr;
}

void CView::OnInitialUpdate() {
    OnUpdate(nullptr, 0, nullptr);
}

void CView::OnUpdate(CView*, long, CObject*) {
    update();
}

void CView::OnDraw(QPainter*) {}

bool CView::OnPreparePrinting(CPrintInfo*) {
    return true;
}

void CView::OnBeginPrinting(QPainter*, CPrintInfo*) {}

void CView::OnPrint(QPainter* pDC, CPrintInfo*) {
    OnDraw(pDC);
}

void CView::OnEndPrinting(QPainter*, CPrintInfo*) {}

bool CView::PrintTo(QPrinter* pPrinter, bool bPreview, bool bDirect) {
    if (pPrinter == nullptr) {
        return false;
    }
    CPrintInfo info;
    info.m_bPreview = bPreview;
    info.m_bDirect = bDirect;
    if (!OnPreparePrinting(&info) || info.m_nMaxPage < info.m_nMinPage) {
        return false;
    }
    QPainter painter;
    if (!painter.begin(pPrinter)) {
        return false;
    }
    OnBeginPrinting(&painter, &info);
    for (int page = info.m_nMinPage; page <= info.m_nMaxPage; ++page) {
        if (page > info.m_nMinPage && !pPrinter->newPage()) {
            break;
        }
        info.m_nCurPage = page;
        info.m_rectDraw = QRect(0, 0, pPrinter->width(), pPrinter->height());
        painter.save();
        OnPrint(&painter, &info);
        painter.restore();
    }
    OnEndPrinting(&painter, &info);
    return painter.end();
}

bool CView::IsPrinting(const QPainter* pDC) {
    if (pDC == nullptr || pDC->device() == nullptr) {
        return false;
    }
    int type = pDC->device()->devType();
    return type == QInternal::Printer;
}

void CView::OnFilePrint() {
    CWinApp* pApp = AfxGetApp();
    if (pApp == nullptr) {
        return;
    }
    QPrinter* pPrinter = pApp->GetPrinter();
    QPrintDialog dialog(pPrinter, window());
    if (CDialog::RunModal(dialog) != IDOK) {
        return;
    }
    bool ok;
    {
        CWaitCursor wait;
        ok = PrintTo(pPrinter);
    }
    if (!ok) {
        AfxMessageBox(AFX_IDP_PRINT_FAILED, MB_OK | MB_ICONEXCLAMATION);
    }
}

void CView::OnFilePrintDirect() {
    CWinApp* pApp = AfxGetApp();
    if (pApp == nullptr) {
        return;
    }
    bool ok;
    {
        CWaitCursor wait;
        ok = PrintTo(pApp->GetPrinter(), false, true);
    }
    if (!ok) {
        AfxMessageBox(AFX_IDP_PRINT_FAILED, MB_OK | MB_ICONEXCLAMATION);
    }
}

void CView::OnFilePrintPreview() {
    CWinApp* pApp = AfxGetApp();
    if (pApp == nullptr) {
        return;
    }
    QPrintPreviewDialog dialog(pApp->GetPrinter(), window());
    dialog.setWindowTitle(windowTitle().isEmpty() ? dialog.windowTitle() : windowTitle());
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* pPrinter) { PrintTo(pPrinter, true); });
    CDialog::RunModal(dialog);
}

void CView::EnableStandardPrinting() {
    MapCommand(ID_FILE_PRINT, [this] { OnFilePrint(); });
    MapCommand(ID_FILE_PRINT_DIRECT, [this] { OnFilePrintDirect(); });
    MapCommand(ID_FILE_PRINT_PREVIEW, [this] { OnFilePrintPreview(); });
}

bool CView::OnCmdMsg(UINT nID, CCmdUI* pCmdUI) {
    if (CCmdTarget::OnCmdMsg(nID, pCmdUI)) {
        return true;
    }
    return m_pDocument != nullptr && m_pDocument->OnCmdMsg(nID, pCmdUI);
}

void CView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    OnDraw(&painter);
}
