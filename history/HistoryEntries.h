#pragma once

#include "history/HistoryChange.h"
#include "history/HistoryStation.h"
#include "network/Stats.h"
#include "records/BatchRecord.h"
#include "records/CurveRecord.h"

#include <cstdint>
#include <limits>
#include <string>

// Which records a query asks for.
class CHistoryFilter {
public:
    int m_nNodeID = -1;                                               // -1: any node
    std::string m_strStation;                                         // empty: any station
    std::string m_strWorkstation;                                     // empty: any workstation
    std::int64_t m_nSince = std::numeric_limits<std::int64_t>::min(); // UTC ms, inclusive
    std::int64_t m_nUntil = std::numeric_limits<std::int64_t>::max(); // UTC ms, exclusive
    std::size_t m_nLimit = 0; // the latest this many; 0: all
};

// What every record carries.
class CHistoryEntry {
public:
    std::string m_strKey;
    std::int64_t m_nTimeMs = 0;
    std::string m_strWorkstation;
    CHistoryStation m_station;
};

class CHistoryReading : public CHistoryEntry {
public:
    std::string m_strSource; // "poll" or "download"
    CStats m_stats;          // m_nNodeID is the station's node
};

class CHistoryCurve : public CHistoryEntry {
public:
    CCurveRecord m_curve;
};

class CHistoryBatch : public CHistoryEntry {
public:
    CBatchRecord m_batch;
};

class CHistoryChangeEntry : public CHistoryEntry {
public:
    CHistoryChange m_change;
};

// One time bucket of a station's chart; the averages are NaN where the bucket has no value.
class CChartBucket {
public:
    std::int64_t m_nStartMs = 0;
    std::int64_t m_nReadings = 0;
    double m_fPercentBad = 0; // the mean of the readings' %bad (readings without crimps left out)
    double m_fMean = 0;
    double m_fCp = 0;
    double m_fCpk = 0;
    double m_fMinCpk = 0; // the lowest Cpk of the bucket
};
