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
    auto pStats = std::make_unique<CStats>();
    pStats->m_nNodeID = nNodeID;
    if (!fetch || !fetch(static_cast<unsigned int>(nNodeID), *pStats)) {
        return downloadFailed;
    }
    pStats->m_nNodeID = nNodeID;
    m_rows.push_back(Row{strName, std::move(pStats)});
    return added;
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

int CStatsList::Poll(const Fetch& fetch) {
    int n = GetCount();
    if (n == 0) {
        return -1;
    }
    if (m_nNextRow >= n || m_nNextRow < 0) {
        m_nNextRow = 0;
    }
    CStats* pStats = m_rows[static_cast<std::size_t>(m_nNextRow)].pStats.get();
    if (pStats == nullptr || !fetch) {
        return -1;
    }
    // A request that fails part-way must not leave half-new values (or a changed node ID)
    // in the record: it is filled in a copy and taken over only when it succeeded.
    CStats fresh = *pStats;
    if (!fetch(static_cast<unsigned int>(pStats->m_nNodeID), fresh)) {
        return -1;
    }
    fresh.m_nNodeID = pStats->m_nNodeID;
    *pStats = fresh;
    return m_nNextRow++;
}
