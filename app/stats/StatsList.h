#pragma once

#include "network/Stats.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The rows of the statistics window without the window: each row is a station's name as it
// was when the row was added and the statistics record it owns, whose node ID says which
// analyser the row belongs to. Polling asks one row per step, in row order; a row whose
// analyser does not answer keeps its last values, is marked stale, and the next step moves on
// all the same, so one silent press never holds up the others.
class CStatsList {
public:
    // One statistics request: fills the record from the analyser at the node; false on failure.
    using Fetch = std::function<bool(unsigned int nNodeID, CStats& stats)>;

    enum AddResult { added, alreadyListed, downloadFailed };
    using Time = std::chrono::system_clock::time_point;

    int GetCount() const { return static_cast<int>(m_rows.size()); }
    // Null / empty for a row that does not exist.
    const CStats* GetRecord(int nRow) const;
    const std::string& GetName(int nRow) const;
    // The row of the node's analyser, -1 when it has none.
    int Find(int nNodeID) const;

    // Asks the analyser first; only a station that answers gets a row, appended at the end.
    AddResult Add(const std::string& strName, int nNodeID, const Fetch& fetch);
    // Appends a row with a first reading already made.
    AddResult Add(const std::string& strName, int nNodeID, const CStats& stats, Time when);
    // A row whose last poll failed, and the time of its last good reading.
    bool IsStale(int nRow) const;
    Time GetReadingTime(int nRow) const;
    // Removes the row with its record; false when there is no such row.
    bool Remove(int nRow);
    void Clear() { m_rows.clear(); }
    // Every row's node ID, in row order.
    std::vector<std::int32_t> GetNodeIDs() const;

    // The row the next polling step asks.
    int GetNextRow() const { return m_nNextRow; }
    // One polling step in two halves, for a request that runs elsewhere: the row to ask next
    // (-1 with no rows), and its outcome. The outcome finds its row by node ID, since rows may
    // have gone meanwhile. On success the record takes the new values; on failure it keeps the
    // values it showed and the row turns stale. The row returned, -1 when it is gone.
    int BeginPoll();
    int EndPoll(int nNodeID, const CStats* pFresh, Time when);
    // Both halves at once.
    int Poll(const Fetch& fetch);

private:
    struct Row {
        std::string strName;
        std::unique_ptr<CStats> pStats;
        bool bStale = false;
        Time readAt{};
    };
    std::vector<Row> m_rows;
    int m_nNextRow = 0;
};
