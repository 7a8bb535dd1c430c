#include "app/stats/StatsList.h"

const CStats* CStatsList::GetRecord(int nRow) const {
    if (nRow < 0 || nRow >= GetCount()) {
        return nullptr;
    }
    return m_rows[static_cast<std::size_t>(nRow)].pStats.get();
}

const std::string& CStatsList::GetName(int nRow) const {
    static const std::string s_none;
    if (nRow < 0 || nRow >= GetCount()) {
        return s_none;
    }
    return m_rows[static_cast<std::size_t>(nRow)].strName;
}

int CStatsList::Find(int nNodeID) const {
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].pStats != nullptr && m_rows[i].pStats->m_nNodeID == nNodeID) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

CStatsList::AddResult CStatsList::Add(const std::string& strName, int nNodeID, const Fetch& fetch) {
    if (Find(nNodeID) >= 0) {
        return alreadyListed;
    }
    CStats stats;
    stats.m_nNodeID = nNodeID;
    if (!fetch || !fetch(static_cast<unsigned int>(nNodeID), stats)) {
        return downloadFailed;
    }
    return Add(strName, nNodeID, stats, std::chrono::system_clock::now());
}

CStatsList::AddResult CStatsList::Add(const std::string& strName, int nNodeID, const CStats& stats,
                                      Time when) {
    if (Find(nNodeID) >= 0) {
        return alreadyListed;
    }
    auto pStats = std::make_unique<CStats>(stats);
    pStats->m_nNodeID = nNodeID;
    m_rows.push_back(Row{strName, std::move(pStats), false, when});
    return added;
}

bool CStatsList::IsStale(int nRow) const {
    return nRow >= 0 && nRow < GetCount() && m_rows[static_cast<std::size_t>(nRow)].bStale;
}

CStatsList::Time CStatsList::GetReadingTime(int nRow) const {
    return nRow >= 0 && nRow < GetCount() ? m_rows[static_cast<std::size_t>(nRow)].readAt : Time{};
}

bool CStatsList::Remove(int nRow) {
    if (nRow < 0 || nRow >= GetCount()) {
        return false;
    }
    m_rows.erase(m_rows.begin() + nRow);
    return true;
}

std::vector<std::int32_t> CStatsList::GetNodeIDs() const {
    std::vector<std::int32_t> nodes;
    nodes.reserve(m_rows.size());
    for (const Row& row : m_rows) {
        nodes.push_back(row.pStats != nullptr ? row.pStats->m_nNodeID : 0);
    }
    return nodes;
}

int CStatsList::BeginPoll() {
    const int n = GetCount();
    if (n == 0) {
        return -1;
    }
    if (m_nNextRow >= n || m_nNextRow < 0) {
        m_nNextRow = 0;
    }
    return m_nNextRow++;
}

int CStatsList::EndPoll(int nNodeID, const CStats* pFresh, Time when) {
    const int nRow = Find(nNodeID);
    if (nRow < 0) {
        return -1;
    }
    Row& row = m_rows[static_cast<std::size_t>(nRow)];
    if (pFresh == nullptr) {
        row.bStale = true;
        return nRow;
    }
    // Only a whole reading is taken: a request that failed part-way leaves no half-new values.
    *row.pStats = *pFresh;
    row.pStats->m_nNodeID = nNodeID;
    row.bStale = false;
    row.readAt = when;
    return nRow;
}

int CStatsList::Poll(const Fetch& fetch) {
    const int nRow = BeginPoll();
    const CStats* pStats = GetRecord(nRow);
    if (pStats == nullptr || !fetch) {
        return -1;
    }
    CStats fresh = *pStats;
    const bool ok = fetch(static_cast<unsigned int>(pStats->m_nNodeID), fresh);
    return EndPoll(pStats->m_nNodeID, ok ? &fresh : nullptr, std::chrono::system_clock::now());
}
