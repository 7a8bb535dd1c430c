#pragma once

#include "app/framework/CmdTarget.h"
#include "app/framework/PrintInfo.h"

#include <QWidget>

class CDocument;
class CMDIChildWnd;
class CObject;
class QPainter;
class QPrinter;

// A view: a window onto a document. It draws in OnDraw, on the screen and on a printer alike,
// and hears from its document through OnUpdate. A view handles commands first; what it does
// not map goes on to its document.
class CView : public QWidget, public CCmdTarget {
    Q_OBJECT
public:
    explicit CView(QWidget* pParent = nullptr);
    ~CView() override;

    CDocument* GetDocument() const { return m_pDocument; }
    CMDIChildWnd* GetParentFrame() const;

    // Once, after the view has been attached to its document and before the frame shows.
    virtual void OnInitialUpdate();
    // The default repaints the whole view.
    virtual void OnUpdate(CView* pSender, long lHint, CObject* pHint);
    virtual void OnDraw(QPainter* pDC);
    // The window is being destroyed; the document is still there.
    virtual void OnDestroy() {}

    // Printing: prepare (may refuse), begin, each page through OnPrint (default OnDraw), end.
    virtual bool OnPreparePrinting(CPrintInfo* pInfo);
    virtual void OnBeginPrinting(QPainter* pDC, CPrintInfo* pInfo);
    virtual void OnPrint(QPainter* pDC, CPrintInfo* pInfo);
    virtual void OnEndPrinting(QPainter* pDC, CPrintInfo* pInfo);
    // Prints one job on the printer without any dialog; false when nothing was printed.
    bool PrintTo(QPrinter* pPrinter, bool bPreview = false, bool bDirect = false);
    static bool IsPrinting(const QPainter* pDC);

    // The standard print commands: with the print dialog, straight to the printer, preview.
    void OnFilePrint();
    void OnFilePrintDirect();
    void OnFilePrintPreview();

    bool OnCmdMsg(UINT nID, CCmdUI* pCmdUI) override;

protected:
    // Views that print map Print, Print Direct and Print Preview with this.
    void EnableStandardPrinting();

    void paintEvent(QPaintEvent* pEvent) override;

private:
    friend class CDocument;
    CDocument* m_pDocument = nullptr;
};
