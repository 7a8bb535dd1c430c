#pragma once

#include "app/framework/View.h"

#include <QIcon>

class CPress;
class CStats;
class CStatsDoc;
class CZarnPort;
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
    // listed (1022) or not answering (1021) is reported.
    void AddPress(CPress* pPress, bool bReport);
    // Writes the row's value columns from its record.
    void UpdateRow(int nRow);
    // The polling step of timer nIDEvent.
    void OnTimer(int nIDEvent);
    // A key pressed in the list: Delete removes the first selected row.
    void OnKeyDown(int nKey);

    int m_nTimerID = -1;

protected:
    void timerEvent(QTimerEvent* pEvent) override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    // One statistics request on the application's port.
    static bool Fetch(unsigned int nNodeID, CStats& stats);

    QTreeWidget* m_pList = nullptr;
    QIcon m_image; // image 1 of picture 158
    bool m_bInRequest = false;
};
