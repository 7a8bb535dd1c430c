#pragma once

#include "app/framework/View.h"
#include "app/shell/LineClient.h"

#include <QIcon>

class CPress;
class CStats;
class CStatsDoc;
class QTreeWidget;

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
    // Writes the row's value columns from its record, greyed while the row is stale.
    void UpdateRow(int nRow);
    // The polling step of timer nIDEvent: asks the next row's analyser behind the operator's
    // back, unless the last step is still on its way.
    void OnTimer(int nIDEvent);
    bool IsPolling() const { return m_bPolling; }
    // A key pressed in the list: Delete removes the first selected row.
    void OnKeyDown(int nKey);

    int m_nTimerID = -1;

protected:
    void timerEvent(QTimerEvent* pEvent) override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    QTreeWidget* m_pList = nullptr;
    QIcon m_image; // image 1 of picture 158
    bool m_bPolling = false;
};
