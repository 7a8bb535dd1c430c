#include "app/stats/StatsListFile.h"

#include "base/Archive.h"

void CStatsListFile::Write(CArchive& ar, const std::vector<std::int32_t>& nodeIDs) {
    ar << static_cast<std::int32_t>(nodeIDs.size());
    for (std::int32_t nNodeID : nodeIDs) {
        ar << nNodeID;
    }
}

void CStatsListFile::Read(CArchive& ar, std::vector<std::uint32_t>& nodeIDs) {
    if (ar.Remaining() == 0) {
        return;
    }
    std::int32_t nCount = 0;
    ar >> nCount;
    // Read one by one: a damaged count runs out of bytes instead of reserving memory for it.
    for (std::int32_t i = 0; i < nCount; ++i) {
        std::int32_t nNodeID = 0;
        ar >> nNodeID;
        nodeIDs.push_back(static_cast<std::uint32_t>(nNodeID));
    }
}
