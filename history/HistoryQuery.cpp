#include "history/HistoryQuery.h"

#include "history/HistorySchema.h"
#include "history/HistoryStore.h"
#include "history/PostgresDatabase.h"
#include "history/SqliteDatabase.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>

namespace {

using Row = CHistoryDatabase::Row;

constexpr const char* kShared =
    "record_key, time_ms, workstation, node_id, station, terminal, wire, serial_no";
constexpr std::size_t kSharedCount = 8;

void ReadShared(const Row& row, CHistoryEntry& e) {
    e.m_strKey = CHistoryDatabase::AsText(row[0]);
    e.m_nTimeMs = CHistoryDatabase::AsInt(row[1]);
    e.m_strWorkstation = CHistoryDatabase::AsText(row[2]);
    e.m_station.m_nNodeID = static_cast<int>(CHistoryDatabase::AsInt(row[3]));
    e.m_station.m_strName = CHistoryDatabase::AsText(row[4]);
    e.m_station.m_strTerminalType = CHistoryDatabase::AsText(row[5]);
    e.m_station.m_strWireType = CHistoryDatabase::AsText(row[6]);
    e.m_station.m_strSerialNo = CHistoryDatabase::AsText(row[7]);
}

// "[1,2,3]" as written by the store; anything unreadable ends the list.
std::vector<int> ValueArray(const std::string& text) {
    std::vector<int> values;
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        if (*p == '[' || *p == ',' || *p == ' ' || *p == ']') {
            ++p;
            continue;
        }
        int v = 0;
        auto [next, ec] = std::from_chars(p, end, v);
        if (ec != std::errc()) {
            break;
        }
        values.push_back(v);
        p = next;
    }
    return values;
}

std::vector<tagPOINT> Points(const std::vector<int>& values) {
    std::vector<tagPOINT> points;
    points.reserve(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        points.push_back({static_cast<std::int32_t>(i), values[i]});
    }
    return points;
}

template <typename T> T Narrow(const CHistoryValue& v) {
    return static_cast<T>(CHistoryDatabase::AsInt(v));
}

float Float(const CHistoryValue& v) {
    return static_cast<float>(CHistoryDatabase::AsReal(v, 0.0));
}

double RealOrNaN(const CHistoryValue& v) {
    return CHistoryDatabase::AsReal(v, std::numeric_limits<double>::quiet_NaN());
}

void ReadStats(const Row& row, std::size_t at, CStats& s) {
    s.m_nGood = Narrow<unsigned short>(row[at]);
    s.m_nBad = Narrow<unsigned short>(row[at + 1]);
    s.m_nMin = Narrow<short>(row[at + 2]);
    s.m_nMax = Narrow<short>(row[at + 3]);
    s.m_fMean = Float(row[at + 4]);
    s.m_fStdDev = Float(row[at + 5]);
    s.m_fCp = Float(row[at + 6]);
    s.m_fCpk = Float(row[at + 7]);
    s.m_nBLO = Narrow<unsigned short>(row[at + 8]);
}

// The filter as a WHERE clause (empty without conditions), its values added to params.
std::string WhereOf(const CHistoryFilter& f, std::vector<CHistoryValue>& params) {
    std::string where;
    auto add = [&](const char* condition, CHistoryValue value) {
        where += where.empty() ? " WHERE " : " AND ";
        where += condition;
        params.push_back(std::move(value));
    };
    if (!f.m_strStation.empty()) {
        add("station = ?", f.m_strStation);
    }
    if (f.m_nNodeID >= 0) {
        add("node_id = ?", std::int64_t{f.m_nNodeID});
    }
    if (!f.m_strWorkstation.empty()) {
        add("workstation = ?", f.m_strWorkstation);
    }
    if (f.m_nSince != std::numeric_limits<std::int64_t>::min()) {
        add("time_ms >= ?", f.m_nSince);
    }
    if (f.m_nUntil != std::numeric_limits<std::int64_t>::max()) {
        add("time_ms < ?", f.m_nUntil);
    }
    return where;
}

} // namespace

CHistoryQuery::CHistoryQuery() = default;
CHistoryQuery::~CHistoryQuery() = default;

bool CHistoryQuery::Open(const std::string& target) {
    Close();
    std::string where;
    if (CPostgresDatabase::IsUrl(target)) {
        auto db = std::make_unique<CPostgresDatabase>();
        where = CPostgresDatabase::DescribeUrl(target);
        if (!db->Connect(target)) {
            m_strError = where + ": " + db->GetError();
            return false;
        }
        m_pDb = std::move(db);
    } else {
        auto db = std::make_unique<CSqliteDatabase>();
        where = target.empty() ? CHistoryStore::DefaultLocalPath() : target;
        if (!db->Open(where, CSqliteDatabase::Mode::readOnly)) {
            m_strError = where + ": " + db->GetError();
            return false;
        }
        m_pDb = std::move(db);
    }
    std::string reason;
    if (!CHistorySchema::Check(*m_pDb, reason)) {
        m_strError = where + ": " + reason;
        m_pDb.reset();
        return false;
    }
    return true;
}

void CHistoryQuery::Close() {
    m_pDb.reset();
    m_strError.clear();
}

bool CHistoryQuery::Select(int kind, const std::string& columns, const CHistoryFilter& f,
                           const std::function<void(const Row&)>& onRow) {
    if (!m_pDb) {
        m_strError = "no history is open";
        return false;
    }
    std::vector<CHistoryValue> params;
    const std::string where = WhereOf(f, params);
    // The latest records when limited, read newest first and turned round.
    std::string sql = "SELECT " + std::string(kShared) + ", " + columns + " FROM " +
                      CHistorySchema::GetTable(kind).pszName + where;
    std::vector<Row> rows;
    if (f.m_nLimit != 0) {
        sql += " ORDER BY time_ms DESC, id DESC LIMIT " + std::to_string(f.m_nLimit);
    } else {
        sql += " ORDER BY time_ms, id";
    }
    const bool ok = m_pDb->Run(sql, params, [&](const Row& row) {
        if (f.m_nLimit != 0) {
            rows.push_back(row);
        } else {
            onRow(row);
        }
        return true;
    });
    if (!ok) {
        m_strError = m_pDb->GetError();
        return false;
    }
    std::for_each(rows.rbegin(), rows.rend(), onRow);
    return true;
}

bool CHistoryQuery::Readings(const CHistoryFilter& filter, std::vector<CHistoryReading>& out) {
    out.clear();
    return Select(CHistorySchema::statistics,
                  "source, good, bad, min, max, mean, stddev, cp, cpk, blo", filter,
                  [&](const Row& row) {
                      CHistoryReading r;
                      ReadShared(row, r);
                      r.m_strSource = CHistoryDatabase::AsText(row[kSharedCount]);
                      ReadStats(row, kSharedCount + 1, r.m_stats);
                      r.m_stats.m_nNodeID = r.m_station.m_nNodeID;
                      out.push_back(std::move(r));
                  });
}

bool CHistoryQuery::Curves(const CHistoryFilter& filter, std::vector<CHistoryCurve>& out) {
    out.clear();
    return Select(
        CHistorySchema::curve,
        "title, zone1, zone2, zone3, zone4, zone5, peak, rs1, rs2, rs3, rso, ru1, ru2, "
        "ru3, ruo, pass_count, fail_count, force, reference",
        filter, [&](const Row& row) {
            CHistoryCurve c;
            ReadShared(row, c);
            CCurveRecord& r = c.m_curve;
            std::size_t at = kSharedCount;
            r.m_strTitle = CHistoryDatabase::AsText(row[at++]);
            for (int& z : r.m_nZoneInfo) {
                z = Narrow<int>(row[at++]);
            }
            r.m_nPeakForce = Narrow<int>(row[at++]);
            r.m_bHasResults = !CHistoryDatabase::IsNull(row[at]);
            for (short& v : r.m_nResultS) {
                v = Narrow<short>(row[at++]);
            }
            for (unsigned short& v : r.m_nResultU) {
                v = Narrow<unsigned short>(row[at++]);
            }
            r.m_nPassCount = Narrow<unsigned>(row[at++]);
            r.m_nFailCount = Narrow<unsigned>(row[at++]);
            // The unused last point of each curve is (0, 0), as a download leaves it.
            const std::vector<int> force = ValueArray(CHistoryDatabase::AsText(row[at++]));
            const std::vector<int> reference = ValueArray(CHistoryDatabase::AsText(row[at++]));
            for (std::size_t i = 0; i < CCurveRecord::kDownloadedPoints; ++i) {
                r.m_pForce[i] = {static_cast<std::int32_t>(i), i < force.size() ? force[i] : 0};
                r.m_pReference[i] = {static_cast<std::int32_t>(i),
                                     i < reference.size() ? reference[i] : 0};
            }
            r.m_nNodeID = c.m_station.m_nNodeID;
            r.m_strStation = c.m_station.m_strName;
            r.m_nTimeMs = c.m_nTimeMs;
            out.push_back(std::move(c));
        });
}

bool CHistoryQuery::Batches(const CHistoryFilter& filter, std::vector<CHistoryBatch>& out) {
    out.clear();
    return Select(CHistorySchema::batch,
                  "title, entry_count, batch_max, limit_line, entries, stats_ok, good, bad, min, "
                  "max, mean, stddev, cp, cpk, blo",
                  filter, [&](const Row& row) {
                      CHistoryBatch b;
                      ReadShared(row, b);
                      CBatchRecord& r = b.m_batch;
                      const std::size_t at = kSharedCount;
                      r.m_strTitle = CHistoryDatabase::AsText(row[at]);
                      r.m_points = Points(ValueArray(CHistoryDatabase::AsText(row[at + 4])));
                      r.m_nLimitLine = Narrow<int>(row[at + 3]);
                      r.m_bHasStats = CHistoryDatabase::AsInt(row[at + 5]) != 0;
                      ReadStats(row, at + 6, r.m_stats);
                      r.m_stats.m_nBatchMax = Narrow<unsigned short>(row[at + 2]);
                      r.m_stats.m_nNodeID = b.m_station.m_nNodeID;
                      r.m_nNodeID = b.m_station.m_nNodeID;
                      r.m_strStation = b.m_station.m_strName;
                      r.m_nTimeMs = b.m_nTimeMs;
                      out.push_back(std::move(b));
                  });
}

bool CHistoryQuery::Changes(const CHistoryFilter& filter, std::vector<CHistoryChangeEntry>& out) {
    out.clear();
    return Select(
        CHistorySchema::change, "parameter, value_before, value_after, ok, os_user, error", filter,
        [&](const Row& row) {
            CHistoryChangeEntry e;
            ReadShared(row, e);
            CHistoryChange& c = e.m_change;
            const std::size_t at = kSharedCount;
            CHistoryChange::ParseParameter(CHistoryDatabase::AsText(row[at]), c.m_parameter);
            if (!CHistoryDatabase::IsNull(row[at + 1])) {
                c.m_nBefore = CHistoryDatabase::AsInt(row[at + 1]);
            }
            if (!CHistoryDatabase::IsNull(row[at + 2])) {
                c.m_nAfter = CHistoryDatabase::AsInt(row[at + 2]);
            }
            c.m_bOk = CHistoryDatabase::AsInt(row[at + 3]) != 0;
            c.m_strUser = CHistoryDatabase::AsText(row[at + 4]);
            c.m_strError = CHistoryDatabase::AsText(row[at + 5]);
            c.m_nTimeMs = e.m_nTimeMs;
            out.push_back(std::move(e));
        });
}

bool CHistoryQuery::Chart(const CHistoryFilter& f, std::int64_t bucketMs,
                          std::vector<CChartBucket>& out) {
    out.clear();
    if (!m_pDb) {
        m_strError = "no history is open";
        return false;
    }
    if (bucketMs <= 0) {
        m_strError = "a chart needs buckets of at least 1 ms";
        return false;
    }
    const std::int64_t origin =
        f.m_nSince != std::numeric_limits<std::int64_t>::min() ? f.m_nSince : 0;
    std::vector<CHistoryValue> params = {origin, bucketMs};
    const std::string where = WhereOf(f, params);
    // Aggregated by the database: one row per bucket comes back, not one per reading. A
    // station's chart in whole hours is summed from the hourly sums.
    constexpr std::int64_t kHour = 3600000;
    const bool hourly =
        !f.m_strStation.empty() && f.m_nNodeID < 0 && bucketMs % kHour == 0 &&
        origin % kHour == 0 &&
        (f.m_nUntil == std::numeric_limits<std::int64_t>::max() || f.m_nUntil % kHour == 0);
    std::string sql;
    if (hourly) {
        std::string hours = where;
        for (std::size_t at = hours.find("time_ms"); at != std::string::npos;
             at = hours.find("time_ms", at + 1)) {
            hours.replace(at, 7, "hour_ms");
        }
        sql = "SELECT (hour_ms - ?) / ? AS bucket, SUM(readings), "
              "SUM(sum_percent_bad) / NULLIF(SUM(crimped), 0), SUM(sum_mean) / SUM(readings), "
              "SUM(sum_cp) / SUM(readings), SUM(sum_cpk) / SUM(readings), MIN(min_cpk) "
              "FROM reading_hours" +
              hours + " GROUP BY bucket ORDER BY bucket";
    } else {
        sql = "SELECT (time_ms - ?) / ? AS bucket, COUNT(*), "
              "AVG(CASE WHEN good + bad > 0 THEN bad * 100.0 / (good + bad) END), "
              "AVG(mean), AVG(cp), AVG(cpk), MIN(cpk) FROM readings" +
              where + " GROUP BY bucket ORDER BY bucket";
    }
    const bool ok = m_pDb->Run(sql, params, [&](const Row& row) {
        CChartBucket b;
        b.m_nStartMs = origin + CHistoryDatabase::AsInt(row[0]) * bucketMs;
        b.m_nReadings = CHistoryDatabase::AsInt(row[1]);
        b.m_fPercentBad = RealOrNaN(row[2]);
        b.m_fMean = RealOrNaN(row[3]);
        b.m_fCp = RealOrNaN(row[4]);
        b.m_fCpk = RealOrNaN(row[5]);
        b.m_fMinCpk = RealOrNaN(row[6]);
        out.push_back(b);
        return true;
    });
    if (!ok) {
        m_strError = m_pDb->GetError();
    }
    return ok;
}
