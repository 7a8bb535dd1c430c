#pragma once

#include "history/HistoryStation.h"
#include "network/Stats.h"
#include "network/ZarnCall.h"
#include "records/BatchRecord.h"
#include "records/CurveRecord.h"

#include <functional>
#include <mutex>
#include <optional>

// What one client reads through the service, as the history keeps it. A client downloads a
// curve or a batch in several calls (the curve, its reference, zones, peak, results and counts;
// the statistics, then the batch): the calls of one client on one node are put together into
// one record, which is kept once the download's last call is seen, the client goes on to
// something else, or it leaves. Statistics read alone are a reading like the service's own.
// Calls come from the line's thread, the end from the service's: a mutex keeps them apart.
class CPassingRecords {
public:
    struct CSink {
        std::function<CHistoryStation(int nNodeID)> stationOf;
        std::function<void(const CHistoryStation&, const CStats&, bool bDownload)> statistics;
        std::function<void(const CHistoryStation&, const CCurveRecord&)> curve;
        std::function<void(const CHistoryStation&, const CBatchRecord&)> batch;
    };

    explicit CPassingRecords(CSink sink) : m_sink(std::move(sink)) {}
    ~CPassingRecords() { Flush(); }
    CPassingRecords(const CPassingRecords&) = delete;
    CPassingRecords& operator=(const CPassingRecords&) = delete;

    // A call the client made and its outcome.
    void Note(const CZarnCall& call, const CZarnOutcome& outcome);
    // Keeps whatever is being put together.
    void Flush();

private:
    void FlushLocked();

    CSink m_sink;
    std::mutex m_mutex;
    std::optional<CStats> m_stats; // read alone so far: a batch may follow
    std::optional<CCurveRecord> m_curve;
};
