#pragma once

#include "history/HistoryDatabase.h"
#include "history/HistoryEntries.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// Reads the history for charts, lists and exports, from the local file (opened read-only, so
// reading never changes it) or from the plant database. One query object per thread.
class CHistoryQuery {
public:
    CHistoryQuery();
    ~CHistoryQuery();

    // A file path (empty: the default local file) or a postgresql:// URL. False with the
    // reason when it cannot be read or is no history.
    bool Open(const std::string& target);
    void Close();
    const std::string& GetError() const { return m_strError; }

    // Records in time order; false with GetError on a database failure.
    bool Readings(const CHistoryFilter& filter, std::vector<CHistoryReading>& out);
    bool Curves(const CHistoryFilter& filter, std::vector<CHistoryCurve>& out);
    bool Batches(const CHistoryFilter& filter, std::vector<CHistoryBatch>& out);
    bool Changes(const CHistoryFilter& filter, std::vector<CHistoryChangeEntry>& out);

    // The readings of the filter aggregated by the database into buckets of bucketMs,
    // counted from the filter's start (from 1970 when it has none); empty buckets are absent.
    bool Chart(const CHistoryFilter& filter, std::int64_t bucketMs, std::vector<CChartBucket>& out);

private:
    bool Select(int kind, const std::string& columns, const CHistoryFilter& filter,
                const std::function<void(const std::vector<CHistoryValue>&)>& onRow);

    std::unique_ptr<CHistoryDatabase> m_pDb;
    std::string m_strError;
};
