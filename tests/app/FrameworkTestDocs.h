#pragma once

#include "app/framework/Document.h"
#include "app/framework/MDIChildWnd.h"
#include "app/framework/View.h"
#include "app/framework/WinApp.h"

#include <string>
#include <vector>

// Resource numbers of the test program.
constexpr UINT IDR_TEST_MAIN = 9000;
constexpr UINT IDR_TEST_DOC = 9001;
constexpr UINT IDR_OTHER_DOC = 9002;
constexpr UINT ID_TEST_RELOAD = 9100;
constexpr UINT ID_TEST_OWN_SAVE = 9101;

// A document of lines of text, stored as a count and the texts.
class CTestDoc : public CDocument {
public:
    CTestDoc();
    ~CTestDoc() override;

    void Serialize(CArchive& ar) override;
    bool CanCloseFrame(CFrameWnd* pFrame) override;

    std::vector<std::string> m_lines;
    bool m_bRefuseClose = false;
    int m_nReloads = 0;
    int m_nOwnSaves = 0;

    static int s_nAlive;
};

// A view that keeps what it was told and draws its document's lines.
class CTestView : public CView {
    Q_OBJECT
public:
    CTestView();

    struct Update {
        CView* pSender;
        long lHint;
        CObject* pHint;
    };
    void OnUpdate(CView* pSender, long lHint, CObject* pHint) override;
    void OnDraw(QPainter* pDC) override;
    void OnPrint(QPainter* pDC, CPrintInfo* pInfo) override;

    std::vector<Update> m_updates;
    int m_nInitialUpdates = 0;
    int m_nScreenDraws = 0;
    int m_nPrints = 0;
    QRect m_lastPrintRect;
    bool m_bLastPrintWasPreview = false;

    void OnInitialUpdate() override;
};

// The test program's application object.
class CTestApp : public CWinApp {
public:
    CTestApp() : CWinApp("Velmora", "Quorvel") {}
};

// Registers the test program's strings, menus and accelerators.
void RegisterTestResources();
