#include "app/stats/StatsView.h"

#include "app/framework/Dialog.h"
#include "app/framework/MDIChildWnd.h"
#include "app/framework/MessageService.h"
#include "app/framework/Resources.h"
#include "app/framework/StringTable.h"
#include "app/framework/UpdateHints.h"
#include "app/graphs/ExportFile.h"
#include "app/history/HistoryRecorder.h"
#include "app/historyview/HistoryDoc.h"
#include "app/network/QuorvelDoc.h"
#include "app/network/StationMonitor.h"
#include "app/shell/QuorvelApp.h"
#include "app/shell/Registry.h"
#include "app/shell/Resource.h"
#include "app/stats/StatsDoc.h"
#include "app/stats/StatsFormat.h"
#include "network/ZarnPort.h"
#include "records/CsvWriter.h"
#include "records/Press.h"
#include "records/RecordExport.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPixmap>
#include <QTimerEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <locale>
#include <sstream>

namespace {

constexpr int kImageSize = 16;

// Sorts the value columns by their numbers ("10.0%" after "9.5%"), the station column by name
// as people read it ("Station 2" before "Station 10"); equal values by station.
class CStatsItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() != nullptr ? treeWidget()->sortColumn() : 0;
        const int byName =
            CStatsFormat::CompareNatural(text(0).toStdString(), other.text(0).toStdString());
        if (column <= 0) {
            return byName < 0;
        }
        auto number = [column](const QTreeWidgetItem& item) {
            QString t = item.text(column);
            t.remove(QLatin1Char('%'));
            return t.toDouble();
        };
        const double a = number(*this);
        const double b = number(other);
        return a != b ? a < b : byName < 0;
    }
};

CLineClient* Line() {
    CQuorvelApp* pApp = GetQuorvelApp();
    return pApp != nullptr ? pApp->m_pLine : nullptr;
}

// What a reading says of its analyser goes to the layout's picture of the line too, and every
// reading into the history.
void NoteReading(int nNodeID, const CStats* pStats, const CLineClient::Result& result) {
    CQuorvelApp* pApp = GetQuorvelApp();
    if (CHistoryRecorder* pHistory = pApp != nullptr ? pApp->GetHistory() : nullptr;
        pHistory != nullptr && pStats != nullptr) {
        pHistory->RecordStatistics(pHistory->StationOf(nNodeID), *pStats,
                                   CHistoryStore::Source::poll);
    }
    if (pApp == nullptr || pApp->m_pMonitor == nullptr ||
        result.outcome == CLineClient::Outcome::cancelled ||
        result.outcome == CLineClient::Outcome::lineDown) {
        return;
    }
    pApp->m_pMonitor->NoteReading(nNodeID, pStats);
}

CLineClient::Step Statistics(unsigned int nNodeID, const std::shared_ptr<CStats>& pStats) {
    return [nNodeID, pStats](CZarnPort& port) { return port.GetStatistics(nNodeID, *pStats) != 0; };
}

} // namespace

CStatsView::CStatsView() {
    MapCommand(ID_FILE_EXPORT, [this] { OnFileExport(); });
    MapCommand(
        ID_HISTORY_WINDOW, [this] { OnHistory(); },
        [this](CCmdUI& ui) {
            CQuorvelApp* pApp = GetQuorvelApp();
            ui.Enable(pApp != nullptr && pApp->m_pHistoryTemplate != nullptr &&
                      !GetSelectedStations().empty());
        });
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
    // A click on a heading sorts by that column (again: the other way round); the list file
    // and the polling keep the order in which the rows were added.
    m_pList->header()->setSectionsClickable(true);
    connect(m_pList->header(), &QHeaderView::sectionClicked, this,
            qOverload<int>(&CStatsView::SortBy));
    m_pList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_pList, &QWidget::customContextMenuRequested, this, &CStatsView::OpenContextMenu);
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
    // The order chosen last time, if any.
    DWORD nColumn = 0;
    DWORD nOrder = 0;
    if (ReadRegDword(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "StatsSortColumn", &nColumn) &&
        nColumn < static_cast<DWORD>(CStatsFormat::kColumns)) {
        ReadRegDword(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "StatsSortOrder", &nOrder);
        SortBy(static_cast<int>(nColumn), nOrder != 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
    }
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
        AddPress(dynamic_cast<CPress*>(pHint), true, CLineJob{});
        break;
    case HINT_ADD_PRESS_QUIET:
        AddPress(dynamic_cast<CPress*>(pHint), false, CLineJob{});
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

void CStatsView::AddPress(CPress* pPress, bool bReport, CLineJob job) {
    CStatsDoc* pDoc = GetDocument();
    if (pPress == nullptr || pDoc == nullptr) {
        job.Finish();
        return;
    }
    if (CMDIChildWnd* pFrame = GetParentFrame()) {
        pFrame->BringWindowToTop();
    }
    if (pDoc->GetRows().Find(pPress->GetNodeID()) >= 0) {
        if (bReport) {
            AfxMessageBox(IDS_ALREADY_IN_STATISTICS, MB_OK | MB_ICONINFORMATION);
        }
        job.bOk = true; // listed already: what was asked for is there
        job.Finish();
        return;
    }
    // The texts are kept: the station may be gone by the time the analyser has answered.
    AddStation(pPress->GetName(), pPress->GetNodeID(), bReport, std::move(job));
}

void CStatsView::AddStation(const std::string& strName, int nNodeID, bool bReport, CLineJob job) {
    CLineClient* pLine = Line();
    std::shared_ptr<CLineOperation> pOperation = job.pOperation;
    if (pOperation == nullptr && pLine != nullptr) {
        pOperation = pLine->BeginOperation("Reading statistics: " + strName + " (node " +
                                           std::to_string(nNodeID) + ")");
    }
    auto onRead = [this, strName, nNodeID, bReport, pOperation,
                   job = std::make_shared<CLineJob>(std::move(job))](
                      const CLineClient::Result& result, const CStats& stats) {
        if (pOperation != nullptr && pOperation != job->pOperation) {
            pOperation->End();
        }
        CStatsDoc* pStatsDoc = GetDocument();
        NoteReading(nNodeID, result.outcome == CLineClient::Outcome::done ? &stats : nullptr,
                    result);
        if (result.outcome == CLineClient::Outcome::done && pStatsDoc != nullptr) {
            job->bOk = true;
            CStatsList& rows = pStatsDoc->GetRows();
            // Listed meanwhile by another request: nothing more to do.
            if (rows.Add(strName, nNodeID, stats, std::chrono::system_clock::now()) ==
                CStatsList::added) {
                AddItem(strName, nNodeID);
                UpdateRow(rows.GetCount() - 1);
            }
        } else if (result.outcome == CLineClient::Outcome::cancelled) {
            job->bCancelled = true;
        } else if (bReport) {
            AfxMessageBox(
                LineFailureText(result, CStringTable::Format1(IDS_STATS_DOWNLOAD_FAILED, strName)),
                MB_OK | MB_ICONSTOP);
        }
        job->Finish();
    };
    if (pLine == nullptr) {
        onRead(CLineClient::Result::Of(CLineClient::Outcome::failed, ZarnError::portClosed),
               CStats());
        return;
    }
    auto pStats = std::make_shared<CStats>();
    pStats->m_nNodeID = nNodeID;
    if (pOperation != nullptr) {
        pOperation->AddBusyWindow(this);
    }
    pLine->Post(
        this, {Statistics(static_cast<unsigned int>(nNodeID), pStats)},
        [onRead, pStats](const CLineClient::Result& result) { onRead(result, *pStats); },
        pOperation);
}

QTreeWidgetItem* CStatsView::ItemOf(int nNodeID) const {
    for (int i = 0; i < m_pList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* pItem = m_pList->topLevelItem(i);
        if (pItem->data(0, Qt::UserRole).toInt() == nNodeID) {
            return pItem;
        }
    }
    return nullptr;
}

void CStatsView::AddItem(const std::string& strName, int nNodeID) {
    auto* pItem = new CStatsItem(m_pList);
    pItem->setText(0, QString::fromStdString(strName));
    pItem->setIcon(0, m_image);
    pItem->setData(0, Qt::UserRole, nNodeID);
    for (int i = 0; i < CStatsFormat::kColumns; ++i) {
        pItem->setTextAlignment(i, Qt::AlignCenter);
    }
}

void CStatsView::UpdateRow(int nRow) {
    CStatsDoc* pDoc = GetDocument();
    const CStats* pStats = pDoc != nullptr ? pDoc->GetRows().GetRecord(nRow) : nullptr;
    QTreeWidgetItem* pItem = pStats != nullptr ? ItemOf(pStats->m_nNodeID) : nullptr;
    if (pItem == nullptr || pStats == nullptr) {
        return;
    }
    auto texts = CStatsFormat::FormatRow(*pStats);
    for (int i = 0; i < CStatsFormat::kValueColumns; ++i) {
        pItem->setText(i + 1, QString::fromStdString(texts[static_cast<std::size_t>(i)]));
    }
    // A stale row: the last values it had, greyed, and since when in its tool tip.
    const bool bStale = pDoc->GetRows().IsStale(nRow);
    const QString tip = bStale ? QStringLiteral("No answer. Last reading: %1")
                                     .arg(QString::fromStdString(CStatsFormat::FormatTime(
                                         pDoc->GetRows().GetReadingTime(nRow))))
                               : QString();
    const QBrush brush = bStale ? palette().brush(QPalette::Disabled, QPalette::Text) : QBrush();
    for (int i = 0; i < CStatsFormat::kColumns; ++i) {
        pItem->setForeground(i, brush);
        pItem->setToolTip(i, tip);
    }
    // Cp and Cpk at a glance: red below 1, amber below the alarm threshold, green above; plain
    // while the batch has too few crimps for them to mean much.
    const CStationStatus::Thresholds thresholds = Thresholds();
    const int nCrimps = CStatsFormat::Total(*pStats);
    const bool bEnough = nCrimps >= 0 && static_cast<unsigned>(nCrimps) >= thresholds.nMinCrimps;
    for (const auto& [nColumn, fValue] : {std::pair<int, float>{kCpColumn, pStats->m_fCp},
                                          std::pair<int, float>{kCpkColumn, pStats->m_fCpk}}) {
        if (!bEnough) {
            pItem->setBackground(nColumn, QBrush());
            pItem->setData(nColumn, Qt::UserRole, static_cast<int>(bandUnrated));
            const QString few = QStringLiteral("Too few crimps (%1)").arg(nCrimps);
            pItem->setToolTip(nColumn, tip.isEmpty() ? few : tip + QLatin1Char('\n') + few);
            continue;
        }
        const CapabilityBand band = Band(fValue, thresholds.dCpk);
        pItem->setBackground(nColumn, band == bandLow        ? QColor(250, 190, 180)
                                      : band == bandMarginal ? QColor(255, 225, 150)
                                                             : QColor(195, 235, 200));
        pItem->setData(nColumn, Qt::UserRole, static_cast<int>(band));
    }
    if (m_nSortColumn >= 0) {
        m_pList->sortItems(m_nSortColumn, m_sortOrder);
    }
}

CStatsView::CapabilityBand CStatsView::Band(double dValue, double dThreshold) {
    if (dValue < 1.0) {
        return bandLow;
    }
    return dValue < dThreshold ? bandMarginal : bandCapable;
}

CStationStatus::Thresholds CStatsView::Thresholds() {
    CQuorvelApp* pApp = GetQuorvelApp();
    return pApp != nullptr && pApp->m_pMonitor != nullptr
               ? pApp->m_pMonitor->GetStatus().GetThresholds()
               : CStationStatus::Thresholds{};
}

void CStatsView::UpdateAllRows() {
    CStatsDoc* pDoc = GetDocument();
    for (int i = 0; pDoc != nullptr && i < pDoc->GetRows().GetCount(); ++i) {
        UpdateRow(i);
    }
}

void CStatsView::SortBy(int nColumn) {
    SortBy(nColumn, nColumn == m_nSortColumn && m_sortOrder == Qt::AscendingOrder
                        ? Qt::DescendingOrder
                        : Qt::AscendingOrder);
}

void CStatsView::SortBy(int nColumn, Qt::SortOrder order) {
    if (nColumn < 0 || nColumn >= CStatsFormat::kColumns) {
        return;
    }
    m_sortOrder = order;
    m_nSortColumn = nColumn;
    // The choice outlives the program.
    WriteRegDword(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "StatsSortColumn",
                  static_cast<DWORD>(nColumn));
    WriteRegDword(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "StatsSortOrder",
                  order == Qt::DescendingOrder ? 1 : 0);
    m_pList->header()->setSortIndicatorShown(true);
    m_pList->header()->setSortIndicator(nColumn, m_sortOrder);
    m_pList->sortItems(nColumn, m_sortOrder);
}

bool CStatsView::RemoveRow(int nNodeID, bool bAsk) {
    CStatsDoc* pDoc = GetDocument();
    QTreeWidgetItem* pItem = ItemOf(nNodeID);
    if (pDoc == nullptr || pItem == nullptr) {
        return false;
    }
    if (bAsk &&
        AfxMessageBox("Remove " + pItem->text(0).toStdString() + " from the statistics window?",
                      MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) != IDYES) {
        return false;
    }
    delete pItem;
    pDoc->GetRows().Remove(pDoc->GetRows().Find(nNodeID));
    return true;
}

void CStatsView::RestoreRows(const std::vector<std::pair<std::string, int>>& stations) {
    CStatsDoc* pDoc = GetDocument();
    if (pDoc == nullptr) {
        return;
    }
    // The rows stand at once, stale until their first reading, so that the list is whole
    // however soon the program ends; the readings follow behind the operator's back.
    CStatsList& rows = pDoc->GetRows();
    for (const auto& [strName, nNodeID] : stations) {
        CStats none;
        none.m_nNodeID = nNodeID;
        if (rows.Add(strName, nNodeID, none, CStatsList::Time{}) != CStatsList::added) {
            continue;
        }
        rows.EndPoll(nNodeID, nullptr, CStatsList::Time{});
        AddItem(strName, nNodeID);
        UpdateRow(rows.GetCount() - 1);
        ReadRow(nNodeID);
    }
}

void CStatsView::RereadRows(const std::vector<int>& nodes) {
    CStatsDoc* pDoc = GetDocument();
    for (int nNodeID : nodes) {
        if (pDoc != nullptr && pDoc->GetRows().Find(nNodeID) >= 0) {
            ReadRow(nNodeID);
        }
    }
}

void CStatsView::ReadRow(int nNodeID) {
    CLineClient* pLine = Line();
    if (pLine == nullptr) {
        return;
    }
    auto pStats = std::make_shared<CStats>();
    pStats->m_nNodeID = nNodeID;
    pLine->Post(
        this, {Statistics(static_cast<unsigned int>(nNodeID), pStats)},
        [this, nNodeID, pStats](const CLineClient::Result& result) {
            const bool ok = result.outcome == CLineClient::Outcome::done;
            NoteReading(nNodeID, ok ? pStats.get() : nullptr, result);
            CStatsDoc* pStatsDoc = GetDocument();
            // A failure leaves the row to the polling, which marks it stale in its turn.
            if (ok && pStatsDoc != nullptr) {
                UpdateRow(pStatsDoc->GetRows().EndPoll(nNodeID, pStats.get(),
                                                       std::chrono::system_clock::now()));
            }
        },
        nullptr);
}

void CStatsView::OpenContextMenu(QPoint point) {
    QTreeWidgetItem* pItem = m_pList->itemAt(point);
    if (pItem == nullptr) {
        return;
    }
    const int nNodeID = pItem->data(0, Qt::UserRole).toInt();
    CQuorvelApp* pApp = GetQuorvelApp();
    CPress* pPress = nullptr;
    if (pApp != nullptr && pApp->m_pNetTemplate != nullptr &&
        !pApp->m_pNetTemplate->GetDocuments().empty()) {
        if (auto* pNet = dynamic_cast<CQuorvelDoc*>(pApp->m_pNetTemplate->GetDocuments().front())) {
            pPress = pNet->FindPress(nNodeID);
        }
    }
    QMenu menu(this);
    QAction* pCurve = menu.addAction(QStringLiteral("Download &Curve"));
    QAction* pBatch = menu.addAction(QStringLiteral("Download &Batch"));
    QAction* pHistory = menu.addAction(QStringLiteral("&History"));
    pHistory->setEnabled(pApp != nullptr && pApp->m_pHistoryTemplate != nullptr);
    menu.addSeparator();
    QAction* pRemove = menu.addAction(QStringLiteral("&Remove..."));
    // A row whose station has left the layout has nothing to download for.
    pCurve->setEnabled(pPress != nullptr);
    pBatch->setEnabled(pPress != nullptr);
    QAction* pChosen = menu.exec(m_pList->viewport()->mapToGlobal(point));
    if (pChosen == pRemove) {
        RemoveRow(nNodeID, true);
    } else if (pChosen == pCurve && pPress != nullptr) {
        pApp->OpenCurveWindow(pPress);
    } else if (pChosen == pBatch && pPress != nullptr) {
        pApp->OpenBatchWindow(pPress);
    } else if (pChosen == pHistory) {
        // The row under the pointer with the others selected beside it.
        auto stations = GetSelectedStations();
        if (!pItem->isSelected()) {
            stations = {{pItem->text(0).toStdString(), nNodeID}};
        }
        CHistoryDoc::OpenFor(stations);
    }
}

void CStatsView::OnTimer(int nIDEvent) {
    CStatsDoc* pDoc = GetDocument();
    CLineClient* pLine = Line();
    // One step at a time: a tick that comes while the last one is on its way waits its turn.
    if (nIDEvent != m_nTimerID || pDoc == nullptr || pLine == nullptr || m_bPolling) {
        return;
    }
    const int nRow = pDoc->GetRows().BeginPoll();
    const CStats* pRecord = pDoc->GetRows().GetRecord(nRow);
    if (pRecord == nullptr) {
        return;
    }
    const int nNodeID = pRecord->m_nNodeID;
    auto pStats = std::make_shared<CStats>(*pRecord);
    m_bPolling = true;
    pLine->Post(
        this, {Statistics(static_cast<unsigned int>(nNodeID), pStats)},
        [this, nNodeID, pStats](const CLineClient::Result& result) {
            m_bPolling = false;
            CStatsDoc* pStatsDoc = GetDocument();
            if (pStatsDoc == nullptr) {
                return;
            }
            const bool ok = result.outcome == CLineClient::Outcome::done;
            NoteReading(nNodeID, ok ? pStats.get() : nullptr, result);
            const int nDone = pStatsDoc->GetRows().EndPoll(nNodeID, ok ? pStats.get() : nullptr,
                                                           std::chrono::system_clock::now());
            if (nDone >= 0) {
                UpdateRow(nDone);
            }
        },
        nullptr);
}

void CStatsView::OnKeyDown(int nKey) {
    if (nKey != Qt::Key_Delete) {
        return;
    }
    CStatsDoc* pDoc = GetDocument();
    for (int i = 0; i < m_pList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* pItem = m_pList->topLevelItem(i);
        if (pItem->isSelected() && pDoc != nullptr) {
            RemoveRow(pItem->data(0, Qt::UserRole).toInt(), false);
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

std::vector<std::pair<std::string, int>> CStatsView::GetSelectedStations() const {
    std::vector<std::pair<std::string, int>> stations;
    for (int i = 0; i < m_pList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* pItem = m_pList->topLevelItem(i);
        if (pItem->isSelected()) {
            stations.emplace_back(pItem->text(0).toStdString(),
                                  pItem->data(0, Qt::UserRole).toInt());
        }
    }
    return stations;
}

void CStatsView::OnHistory() {
    CHistoryDoc::OpenFor(GetSelectedStations());
}

void CStatsView::OnFileExport() {
    const auto choice = CExportFile::Ask(this, "statistics", {CExportFile::Format::csv});
    std::string reason;
    if (choice && !ExportCsv(choice->strPath, &reason)) {
        CExportFile::ReportFailure(choice->strPath, reason);
    }
}

bool CStatsView::ExportCsv(const std::string& strPath, std::string* pReason) const {
    const CStatsDoc* pDoc = GetDocument();
    if (pDoc == nullptr) {
        return false;
    }
    std::ostringstream out;
    out.imbue(std::locale::classic());
    CCsvWriter csv(out);
    CRecordExport::WriteStatsCsvHeading(csv);
    const CStatsList& rows = pDoc->GetRows();
    // The rows as the table shows them, sorted or not.
    for (int i = 0; i < m_pList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* pItem = m_pList->topLevelItem(i);
        const int nRow = rows.Find(pItem->data(0, Qt::UserRole).toInt());
        const CStats* pStats = rows.GetRecord(nRow);
        if (pStats == nullptr) {
            continue;
        }
        const auto read = rows.GetReadingTime(nRow);
        const std::int64_t timeMs =
            read == CStatsList::Time{}
                ? 0
                : std::chrono::duration_cast<std::chrono::milliseconds>(read.time_since_epoch())
                      .count();
        CRecordExport::WriteStatsCsvRow(csv, timeMs, rows.GetName(nRow), pStats->m_nNodeID,
                                        *pStats);
    }
    return CExportFile::WriteBytes(strPath, out.str(), pReason);
}
