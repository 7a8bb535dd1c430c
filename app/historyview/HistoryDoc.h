#pragma once

#include "app/framework/Document.h"
#include "app/historyview/HistoryRange.h"
#include "history/HistoryEntries.h"

#include <QObject>

#include <memory>
#include <string>
#include <utility>
#include <vector>

class CHistoryWorker;

// What a history window shows: for its stations, the recorded statistics of a time range in
// buckets (one chart series per station) and the changes made to them. The history is read
// on a worker thread; a newer question replaces an older one still unanswered. Nothing of it
// is stored: it never asks to be saved.
class CHistoryDoc : public CDocument {
public:
    // A station by its name in the layout and its node ID, which its records carry.
    using Station = std::pair<std::string, int>;
    enum class State { loading, ready, failed };

    CHistoryDoc();
    ~CHistoryDoc() override;

    // Opens a history window for the stations (the application's history window type).
    static CHistoryDoc* OpenFor(const std::vector<Station>& stations);

    void SetStations(std::vector<Station> stations);
    const std::vector<Station>& GetStations() const { return m_stations; }
    // A range chosen by the operator; until then the window's range fits the records.
    void SetRange(const CHistoryRange& range);
    const CHistoryRange& GetRange() const { return m_range; }
    // Asks the history again for the stations and the range (a fixed span ends now).
    void Refresh();

    State GetState() const { return m_state; }
    // Why the history could not be read.
    const std::string& GetError() const { return m_strError; }
    // Per station, in the order of GetStations.
    const std::vector<std::vector<CChartBucket>>& GetCharts() const { return m_charts; }
    // Newest first.
    const std::vector<CHistoryChangeEntry>& GetChanges() const { return m_changes; }
    bool IsEmpty() const;
    std::int64_t GetBucketMs() const { return m_nBucketMs; }

    // The most changes listed.
    static constexpr std::size_t kMaxChanges = 2000;

private:
    struct CResult;
    void OnResult(unsigned nGeneration, const CResult& result);

    std::vector<Station> m_stations;
    CHistoryRange m_range;
    State m_state = State::loading;
    std::string m_strError;
    std::vector<std::vector<CChartBucket>> m_charts;
    std::vector<CHistoryChangeEntry> m_changes;
    std::int64_t m_nBucketMs = 0;
    unsigned m_nGeneration = 0;
    // The first question looks a year back, to choose the shortest span holding every record.
    bool m_bFitRange = true;
    QObject m_context; // results for a document that is gone are dropped with it
    std::unique_ptr<CHistoryWorker> m_pWorker;
};
