#pragma once

#include "history/HistoryChange.h"
#include "history/HistoryStation.h"
#include "history/HistoryStatus.h"
#include "history/HistoryStore.h"
#include "network/LineWorker.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CBatchRecord;
class CCurveRecord;
class CPress;
class CStats;
class CZarnRequest;
class QSocketNotifier;

// The program's side of the history: owns the store, names the layout's stations in the
// records, and hands the store's status to the window thread. The Record calls may come from
// any thread (a line step records the change it made); they only queue the record. Nothing
// here waits on a database: stores open and close on threads of their own and report back.
// Reopening opens the new store before the old one closes, so the records made meanwhile go to
// the old one, and a Record call never waits for either.
class CHistoryRecorder : public QObject {
    Q_OBJECT
public:
    using StationFinder = std::function<const CPress*(int nNodeID)>;

    explicit CHistoryRecorder(QObject* pParent = nullptr);
    ~CHistoryRecorder() override;

    // Starts a store with the options and returns at once. The store in use takes the records
    // until the new one has its local file open (or has found it unusable: StatusChanged then
    // says why, and nothing is recorded until the next Open), then closes in the background.
    void Open(const CHistoryStore::COptions& options);
    // Closes the stores and waits for them: for the plant database at most the store's close
    // wait. The end of the program.
    void Close();
    bool IsOpen() const;
    CHistoryStatus GetStatus() const;
    // Everything recorded so far committed (and, with a plant database, sent); for tests and
    // the end of the program.
    bool WaitIdle(int nTimeoutMs) const;

    // On a line service's port the service records what passes through it: the program then
    // records nothing of its own, so that nothing is recorded twice. Any thread.
    void SetRecordedByService(bool bByService) { m_bByService = bByService; }
    bool IsRecordedByService() const { return m_bByService; }

    // Window thread: the layout's station of a node, looked up when a record is made.
    void SetStationFinder(StationFinder find) { m_findStation = std::move(find); }
    CHistoryStation StationOf(int nNodeID, const std::string& strFallbackName = {}) const;
    static CHistoryStation StationOf(const CPress& press);

    // Any thread.
    void RecordStatistics(const CHistoryStation& station, const CStats& stats,
                          CHistoryStore::Source source);
    void RecordCurve(const CHistoryStation& station, const CCurveRecord& curve);
    void RecordBatch(const CHistoryStation& station, const CBatchRecord& batch);
    void RecordChange(const CHistoryStation& station, const CHistoryChange& change);

    // A line step that gives an order changing the analyser and records it with its outcome
    // (the port's error when it failed) on the line's thread, whatever becomes of the window
    // that asked.
    CLineWorker::Step ChangeStep(const CHistoryStation& station,
                                 CHistoryChange::Parameter parameter, CLineWorker::Step order);
    // The one way an order that changes an analyser is given and recorded: the step runs the
    // order, completes the change with its outcome (the port's error when it failed) and hands
    // it to record on the line's thread. Without record nothing is recorded.
    static CLineWorker::Step RecordedStep(CHistoryChange change, CLineWorker::Step order,
                                          std::function<void(const CHistoryChange&)> record);
    // The change a request made by noise on the line stands for: not acknowledged, with why.
    // False for a request that changes nothing.
    static bool NoiseChange(const CZarnRequest& carried, CHistoryChange& change);

    // The status bar's short text ("History: local", "History: plant database unreachable,
    // 12 waiting").
    static std::string ShortText(const CHistoryStatus& status);

signals:
    // On the window thread, whenever the store's status changes.
    void StatusChanged(const CHistoryStatus& status);

private:
    std::shared_ptr<CHistoryStore> Store() const;
    std::shared_ptr<CHistoryStore> RecordingStore() const;
    // On the window thread: the statuses the stores reported since the last time.
    void DeliverStatuses();
    // On the store's thread: it has tried its local file and takes over from the one in use.
    void Opened(const CHistoryStore* pStore);
    // The caller holds m_mutex.
    void CloseLater(std::shared_ptr<CHistoryStore> pStore);
    // Silenced, then closed in the background; the caller does not hold m_mutex (the store's
    // observer may be waiting for it).
    void EndLater(std::shared_ptr<CHistoryStore> pStore);

    mutable std::mutex m_mutex;
    std::shared_ptr<CHistoryStore> m_pStore;   // takes the records
    std::shared_ptr<CHistoryStore> m_pOpening; // opening its file, to take over
    std::vector<std::shared_future<void>> m_closing;
    StationFinder m_findStation;
    std::atomic<bool> m_bByService{false};
    std::mutex m_statusMutex;
    std::vector<CHistoryStatus> m_statuses; // reported, not yet handed to the window thread
    // Wakes the window thread without handing it anything made on another thread.
    int m_nWakeFd = -1;
    QSocketNotifier* m_pWake = nullptr;
};
