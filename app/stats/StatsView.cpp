#include "app/stats/StatsView.h"

#include "app/framework/Dialog.h"
#include "app/framework/MDIChildWnd.h"
#include "app/framework/MessageService.h"
#include "app/framework/Resources.h"
#include "app/framework/StringTable.h"
#include "app/framework/UpdateHints.h"
#include "app/framework/WaitCursor.h"
#include "app/network/Press.h"
#include "app/shell/QuorvelApp.h"
#include "app/shell/Resource.h"
#include "app/stats/StatsDoc.h"
#include "app/stats/StatsFormat.h"
#include "network/ZarnPort.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPixmap>
#include <QTimerEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kImageSize = 16;

// Clears a flag when the request it guards is over, also on the way out of an exception.
class CRequestScope {
public:
    explicit CRequestScope(bool& bFlag) : m_bFlag(bFlag) { m_bFlag = true; }
    ~CRequestScope() { m_bFlag = false; }
    CRequestScope(const CRequestScope&) = delete;
    CRequestScope& operator=(const CRequestScope&) = delete;

private:
    bool& m_bFlag;
};

} // namespace

CStatsView::CStatsView() {
    m_pList = new QTreeWidget(this);
    m_pList->setObjectName(QStringLiteral("SysListView32"));
    m_pList->setRootIsDecorated(false);
    m_pList->setItemsExpandable(false);
    m_pList->setUniformRowHeights(true);
    m_pList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setIconSize(QSize(kImageSize, kImageSize));
    // The system's small dialog font: with it the fixed column widths hold their texts.
    m_pList->setFont(CDialog::DialogFont());
    m_pList->installEventFilter(this);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->addWidget(m_pList);
    setFocusProxy(m_pList);
}

CStatsView::~CStatsView() {
    if (m_nTimerID != -1) {
        killTimer(m_nTimerID);
        m_nTimerID = -1;
    }
}

CStatsDoc* CStatsView::GetDocument() const {
    return dynamic_cast<CStatsDoc*>(CView::GetDocument());
}

void CStatsView::OnInitialUpdate() {
    CView::OnInitialUpdate();
    // The report list: twelve centred columns.
    const auto& columns = CStatsFormat::Columns();
    QStringList headings;
    for (const auto& column : columns) {
        headings << QString::fromLatin1(column.pszHeading);
    }
    m_pList->setColumnCount(CStatsFormat::kColumns);
    m_pList->setHeaderLabels(headings);
    m_pList->header()->setDefaultAlignment(Qt::AlignCenter);
    m_pList->header()->setStretchLastSection(false);
    for (int i = 0; i < CStatsFormat::kColumns; ++i) {
        m_pList->setColumnWidth(i, columns[static_cast<std::size_t>(i)].nWidth);
    }

    CStatsDoc* pDoc = GetDocument();
    if (pDoc != nullptr && m_nTimerID == -1) {
        int nTimer = startTimer(pDoc->m_nPeriod);
        m_nTimerID = nTimer != 0 ? nTimer : -1;
    }

    // Every row shows the second image of the strip; white is transparent.
    QPixmap strip = CResources::LoadBitmap(IDB_STATS_IMAGES);
    if (!strip.isNull()) {
        QPixmap image = strip.copy(kImageSize, 0, kImageSize, kImageSize);
        image.setMask(image.createMaskFromColor(Qt::white));
        m_image = QIcon(image);
    }

    if (pDoc != nullptr) {
        pDoc->SetTitle(CStatsDoc::kTitle);
    }
}

void CStatsView::OnUpdate(CView*, long lHint, CObject* pHint) {
    switch (lHint) {
    case HINT_ADD_PRESS:
        AddPress(dynamic_cast<CPress*>(pHint), true);
        break;
    case HINT_ADD_PRESS_QUIET:
        AddPress(dynamic_cast<CPress*>(pHint), false);
        break;
    default:
        update();
        break;
    }
}

void CStatsView::OnDestroy() {
    if (m_nTimerID != -1) {
        killTimer(m_nTimerID);
        m_nTimerID = -1;
    }
    m_pList->clear();
    if (CStatsDoc* pDoc = GetDocument()) {
        pDoc->GetRows().Clear();
    }
}

bool CStatsView::Fetch(unsigned int nNodeID, CStats& stats) {
    CQuorvelApp* pApp = GetQuorvelApp();
    if (pApp == nullptr || pApp->m_pPort == nullptr) {
        return false;
    }
    return pApp->m_pPort->GetStatistics(nNodeID, stats) != 0;
}

void CStatsView::AddPress(CPress* pPress, bool bReport) {
    CStatsDoc* pDoc = GetDocument();
    if (pPress == nullptr || pDoc == nullptr) {
        return;
    }
    if (CMDIChildWnd* pFrame = GetParentFrame()) {
        pFrame->BringWindowToTop();
    }
    CStatsList& rows = pDoc->GetRows();
    if (rows.Find(pPress->GetNodeID()) >= 0) {
        if (bReport) {
            AfxMessageBox(IDS_ALREADY_IN_STATISTICS, MB_OK | MB_ICONINFORMATION);
        }
        return;
    }
    // Keep the texts: a message box below lets the layout window run meanwhile.
    const std::string strName = pPress->GetName();
    CStatsList::AddResult result;
    {
        CWaitCursor wait;
        CRequestScope request(m_bInRequest);
        result = rows.Add(strName, pPress->GetNodeID(), &CStatsView::Fetch);
    }
    if (result == CStatsList::downloadFailed) {
        if (bReport) {
            AfxMessageBox(CStringTable::Format1(IDS_STATS_DOWNLOAD_FAILED, strName),
                          MB_OK | MB_ICONSTOP);
        }
        return;
    }
    if (result != CStatsList::added) {
        return; // listed meanwhile
    }
    auto* pItem = new QTreeWidgetItem(m_pList);
    pItem->setText(0, QString::fromStdString(strName));
    pItem->setIcon(0, m_image);
    for (int i = 0; i < CStatsFormat::kColumns; ++i) {
        pItem->setTextAlignment(i, Qt::AlignCenter);
    }
    UpdateRow(rows.GetCount() - 1);
}

void CStatsView::UpdateRow(int nRow) {
    CStatsDoc* pDoc = GetDocument();
    QTreeWidgetItem* pItem = m_pList->topLevelItem(nRow);
    const CStats* pStats = pDoc != nullptr ? pDoc->GetRows().GetRecord(nRow) : nullptr;
    if (pItem == nullptr || pStats == nullptr) {
        return;
    }
    auto texts = CStatsFormat::FormatRow(*pStats);
    for (int i = 0; i < CStatsFormat::kValueColumns; ++i) {
        pItem->setText(i + 1, QString::fromStdString(texts[static_cast<std::size_t>(i)]));
    }
}

void CStatsView::OnTimer(int nIDEvent) {
    CStatsDoc* pDoc = GetDocument();
    // A tick that comes while this window's own request waits (a nested event loop) must not
    // start a second exchange on the line.
    if (nIDEvent != m_nTimerID || pDoc == nullptr || m_bInRequest) {
        return;
    }
    int nRow;
    {
        CRequestScope request(m_bInRequest);
        nRow = pDoc->GetRows().Poll(&CStatsView::Fetch);
    }
    if (nRow >= 0) {
        UpdateRow(nRow);
    }
}

void CStatsView::OnKeyDown(int nKey) {
    if (nKey != Qt::Key_Delete) {
        return;
    }
    CStatsDoc* pDoc = GetDocument();
    for (int i = 0; i < m_pList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* pItem = m_pList->topLevelItem(i);
        if (pItem->isSelected()) {
            delete m_pList->takeTopLevelItem(i);
            if (pDoc != nullptr) {
                pDoc->GetRows().Remove(i);
            }
            return;
        }
    }
}

void CStatsView::timerEvent(QTimerEvent* pEvent) {
    OnTimer(pEvent->timerId());
}

bool CStatsView::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pWatched == m_pList && pEvent->type() == QEvent::KeyPress) {
        OnKeyDown(static_cast<QKeyEvent*>(pEvent)->key());
    }
    return CView::eventFilter(pWatched, pEvent);
}
