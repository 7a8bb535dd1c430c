#include "tests/app/FrameworkTestDocs.h"

#include "app/framework/FrameworkIds.h"
#include "app/framework/Resources.h"
#include "app/framework/StringTable.h"
#include "base/Archive.h"

#include <QPainter>

int CTestDoc::s_nAlive = 0;

CTestDoc::CTestDoc() {
    ++s_nAlive;
    MapCommand(ID_TEST_RELOAD, [this] { ++m_nReloads; });
    MapCommand(ID_TEST_OWN_SAVE, [this] { ++m_nOwnSaves; });
}

CTestDoc::~CTestDoc() {
    --s_nAlive;
}

void CTestDoc::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << static_cast<std::uint32_t>(m_lines.size());
        for (const std::string& line : m_lines) {
            ar << line;
        }
    } else {
        std::uint32_t count = 0;
        ar >> count;
        m_lines.clear();
        for (std::uint32_t i = 0; i < count; ++i) {
            std::string line;
            ar >> line;
            m_lines.push_back(line);
        }
    }
}

bool CTestDoc::CanCloseFrame(CFrameWnd* pFrame) {
    return !m_bRefuseClose && CDocument::CanCloseFrame(pFrame);
}

CTestView::CTestView() {
    EnableStandardPrinting();
}

void CTestView::OnInitialUpdate() {
    ++m_nInitialUpdates;
    CView::OnInitialUpdate();
}

void CTestView::OnUpdate(CView* pSender, long lHint, CObject* pHint) {
    m_updates.push_back({pSender, lHint, pHint});
    CView::OnUpdate(pSender, lHint, pHint);
}

void CTestView::OnDraw(QPainter* pDC) {
    if (IsPrinting(pDC)) {
        ++m_nPrints;
    } else {
        ++m_nScreenDraws;
    }
    auto* doc = static_cast<CTestDoc*>(GetDocument());
    int y = 20;
    pDC->drawRect(QRect(10, 10, 200, 100));
    if (doc != nullptr) {
        for (const std::string& line : doc->m_lines) {
            pDC->drawText(20, y += 15, QString::fromStdString(line));
        }
    }
}

void CTestView::OnPrint(QPainter* pDC, CPrintInfo* pInfo) {
    m_lastPrintRect = pInfo->m_rectDraw;
    m_bLastPrintWasPreview = pInfo->m_bPreview;
    CView::OnPrint(pDC, pInfo);
}

void RegisterTestResources() {
    using Item = CResources::MenuItem;
    CStringTable::Register(AFX_IDS_APP_TITLE, "Zarn Network Controller");
    CStringTable::Register(IDR_TEST_MAIN, "Test Program");
    CStringTable::Register(
        IDR_TEST_DOC,
        "\nTest Doc\nTest Doc\nTest Files (*.tst)\n.tst\nTest.Document\nTest Document");
    CStringTable::Register(IDR_OTHER_DOC, "\nOther\nOther Thing\nOther Files (*.oth)\n.oth\n\n");
    CResources::AddMenu(
        IDR_TEST_MAIN,
        {Item::Popup("&File",
                     {Item::Command(ID_FILE_OPEN, "&Open..."), Item::Command(ID_FILE_SAVE, "&Save"),
                      Item::Separator(), Item::Command(ID_FILE_MRU_FILE1, "Recent File"),
                      Item::Separator(), Item::Command(ID_APP_EXIT, "E&xit")}),
         Item::Popup("&Edit", {Item::Command(ID_EDIT_COPY, "&Copy\tCtrl+C")})});
    CResources::AddMenu(
        IDR_TEST_DOC,
        {Item::Popup("&File",
                     {Item::Command(ID_FILE_CLOSE, "&Close"), Item::Command(ID_FILE_SAVE, "&Save"),
                      Item::Separator(), Item::Command(ID_FILE_MRU_FILE1, "Recent File")}),
         Item::Popup("&Window", {Item::Command(ID_TEST_RELOAD, "&Reload\tF5"), Item::Separator(),
                                 Item::Command(ID_WINDOW_CASCADE, "&Cascade")})});
    CResources::AddAccelerators(IDR_TEST_MAIN, {{Qt::Key_S, Qt::ControlModifier, ID_FILE_SAVE},
                                                {Qt::Key_C, Qt::ControlModifier, ID_EDIT_COPY}});
    CResources::AddAccelerators(IDR_TEST_DOC, {{Qt::Key_F5, 0, ID_TEST_RELOAD},
                                               {Qt::Key_S, Qt::ControlModifier, ID_TEST_OWN_SAVE}});
}
