#pragma once

#include "app/framework/View.h"
#include "app/network/StationStatus.h"
#include "app/shell/LineClient.h"

#include <QIcon>

#include <string>
#include <utility>
#include <vector>

class CPress;
class CStats;
class CStatsDoc;
class QTreeWidget;
class QTreeWidgetItem;

// The statistics window's table: one row per station of the document's list, refreshed by a
// timer that asks one analyser per tick. The Delete key removes the first selected row.
class CStatsView : public CView {
    Q_OBJECT
public:
    CStatsView();
    ~CStatsView() override;

    CStatsDoc* GetDocument() const;
    QTreeWidget* GetListCtrl() const { return m_pList; }

    void OnInitialUpdate() override;
    void OnUpdate(CView* pSender, long lHint, CObject* pHint) override;
    void OnDestroy() override;

    // Adds the station's row after a first statistics request; with bReport a station already
    // listed (1022) or not answering (1021) is reported. job.onFinished runs after that.
    void AddPress(CPress* pPress, bool bReport, CLineJob job = {});
    // Rows of the list file at start: added quietly in this order, stale where the analyser
    // does not answer.
    void RestoreRows(const std::vector<std::pair<std::string, int>>& stations);
    // Reads these nodes' rows again now, behind the operator's back; nodes not listed are
    // left alone.
    void RereadRows(const std::vector<int>& nodes);
    // Removes the node's row (asking first with bAsk); false when there is none or No.
    bool RemoveRow(int nNodeID, bool bAsk);
    // Sorts the table by a column; again by the same one, the other way round. The choice is
    // kept in the settings and restored when the window opens.
    void SortBy(int nColumn);
    void SortBy(int nColumn, Qt::SortOrder order);
    int GetSortColumn() const { return m_nSortColumn; }
    Qt::SortOrder GetSortOrder() const { return m_sortOrder; }
    // Where a Cp or Cpk value stands: below 1, below the alarm threshold, or above; unrated
    // below the fewest crimps that count.
    enum CapabilityBand { bandLow, bandMarginal, bandCapable, bandUnrated };
    static CapabilityBand Band(double dValue, double dThreshold);
    static constexpr int kCpColumn = 10;
    static constexpr int kCpkColumn = 11;
    // Writes the row's value columns from its record, greyed while the row is stale.
    void UpdateRow(int nRow);
    // Every row again, after the thresholds changed.
    void UpdateAllRows();
    // The polling step of timer nIDEvent: asks the next row's analyser behind the operator's
    // back, unless the last step is still on its way.
    void OnTimer(int nIDEvent);
    bool IsPolling() const { return m_bPolling; }
    // Export...: the table as shown (its rows in the order shown) as CSV, with the time of each
    // row's reading.
    void OnFileExport();
    bool ExportCsv(const std::string& strPath, std::string* pReason) const;
    // A history window for the selected rows' stations.
    void OnHistory();
    // The stations of the selected rows, in the order shown.
    std::vector<std::pair<std::string, int>> GetSelectedStations() const;
    // A key pressed in the list: Delete removes the first selected row.
    void OnKeyDown(int nKey);

    int m_nTimerID = -1;

protected:
    void timerEvent(QTimerEvent* pEvent) override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void AddStation(const std::string& strName, int nNodeID, bool bReport, CLineJob job);
    void AddItem(const std::string& strName, int nNodeID);
    // One reading of the node's row behind the operator's back; only a success is shown.
    void ReadRow(int nNodeID);
    QTreeWidgetItem* ItemOf(int nNodeID) const;
    void OpenContextMenu(QPoint point);
    static CStationStatus::Thresholds Thresholds();

    int m_nSortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    QTreeWidget* m_pList = nullptr;
    QIcon m_image; // image 1 of picture 158
    bool m_bPolling = false;
};
