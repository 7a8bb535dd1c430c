#pragma once

#include "network/Stats.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The rows of the statistics window without the window: each row is a station's name as it
// was when the row was added and the statistics record it owns, whose node ID says which
// analyser the row belongs to. Polling asks one row per step, in row order, and asks a row
// that failed again at the next step.
class CStatsList {
public:
    // One statistics request: fills the record from the analyser at the node; false on failure.
    using Fetch = std::function<bool(unsigned int nNodeID, CStats& stats)>;

    enum AddResult { added, alreadyListed, downloadFailed };

    int GetCount() const { return static_cast<int>(m_rows.size()); }
    // Null / empty for a row that does not exist.
    const CStats* GetRecord(int nRow) const;
    const std::string& GetName(int nRow) const;
    // The row of the node's analyser, -1 when it has none.
    int Find(int nNodeID) const;

    // Asks the analyser first; only a station that answers gets a row, appended at the end.
    AddResult Add(const std::string& strName, int nNodeID, const Fetch& fetch);
    // Removes the row with its record; false when there is no such row.
    bool Remove(int nRow);
    void Clear() { m_rows.clear(); }
    // Every row's node ID, in row order.
    std::vector<std::int32_t> GetNodeIDs() const;

    // The row the next polling step asks.
    int GetNextRow() const { return m_nNextRow; }
    // One polling step: asks the next row's analyser. On success the row's record takes the
    // new values, the row is returned and the step moves on; on failure (or with no rows) the
    // record keeps the values it showed, -1 is returned and the same row is asked next time.
    int Poll(const Fetch& fetch);

private:
    struct Row {
        std::string strName;
        std::unique_ptr<CStats> pStats;
    };
    std::vector<Row> m_rows;
    int m_nNextRow = 0;
};
