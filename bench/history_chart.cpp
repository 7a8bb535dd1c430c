// One station's chart over a year of readings: 12 stations, a reading every 36 s each, about
// 10.5 million rows, aggregated into daily buckets by the database. Target: at most 300 ms.
// Also the database's size per station per day. The year is generated inside the database in
// one statement, so that generating it takes minutes, not hours.

#include "history/HistoryQuery.h"
#include "history/HistoryStore.h"
#include "history/PostgresDatabase.h"
#include "history/SqliteDatabase.h"
#include "tests/history/HistoryTestSupport.h"
#include "tests/history/TempPostgres.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

constexpr std::int64_t kStart = 1704067200000; // 2024-01-01T00:00Z
constexpr std::int64_t kDay = 86400000;
constexpr std::int64_t kPerStation = 365 * 86400 / 36; // 876 000
constexpr int kStations = 12;
constexpr double kTargetMs = 300.0;

double MsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

const char* kColumns = "record_key, time_ms, workstation, node_id, station, terminal, wire, "
                       "serial_no, source, good, bad, min, max, mean, stddev, cp, cpk, blo";

std::string SqliteYear() {
    return "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
           std::to_string(kPerStation - 1) +
           "), s(k) AS (VALUES (1),(2),(3),(4),(5),(6),(7),(8),(9),(10),(11),(12)) "
           "INSERT INTO readings (" +
           kColumns +
           ") SELECT printf('%012x%04x', t, k) || hex(randomblob(8)), t, 'bench', k, "
           "'Station ' || k, '', '', '', 'poll', i % 1000, abs(random()) % 20, 2200, 2800, "
           "2500 + (abs(random()) % 1000) / 10.0, 40 + (abs(random()) % 100) / 10.0, "
           "1 + (abs(random()) % 10) / 10.0, 0.8 + (abs(random()) % 10) / 10.0, 77 "
           "FROM (SELECT i, k, " +
           std::to_string(kStart) + " + i * 36000 + k * 100 AS t FROM n, s)";
}

std::string PostgresYear() {
    return "INSERT INTO readings (" + std::string(kColumns) +
           ") SELECT lpad(to_hex(t), 12, '0') || lpad(to_hex(k), 4, '0') || "
           "substr(md5(random()::text), 1, 16), t, 'bench', k, 'Station ' || k, '', '', '', "
           "'poll', i % 1000, (random() * 19)::int, 2200, 2800, 2500 + round((random() * "
           "100)::numeric, 1), 40 + round((random() * 10)::numeric, 1), 1 + "
           "round(random()::numeric, 1), 0.8 + round(random()::numeric, 1), 77 FROM (SELECT i, "
           "k, " +
           std::to_string(kStart) +
           "::bigint + i * 36000 + k * 100 AS t FROM generate_series(0::bigint, " +
           std::to_string(kPerStation - 1) + ") i, generate_series(1, 12) k) g";
}

bool Chart(const char* name, const std::string& target, double bytes) {
    CHistoryQuery query;
    if (!query.Open(target)) {
        std::fprintf(stderr, "%s: %s\n", name, query.GetError().c_str());
        return false;
    }
    CHistoryFilter filter;
    filter.m_strStation = "Station 5";
    filter.m_nSince = kStart;
    filter.m_nUntil = kStart + 365 * kDay;
    std::vector<double> times;
    std::vector<CChartBucket> buckets;
    for (int run = 0; run < 7; ++run) {
        const auto t0 = std::chrono::steady_clock::now();
        if (!query.Chart(filter, kDay, buckets)) {
            std::fprintf(stderr, "%s: %s\n", name, query.GetError().c_str());
            return false;
        }
        times.push_back(MsSince(t0));
    }
    std::sort(times.begin(), times.end());
    std::int64_t readings = 0;
    for (const CChartBucket& b : buckets) {
        readings += b.m_nReadings;
    }
    const bool met = times.back() <= kTargetMs && readings == kPerStation;
    std::printf("Chart of one station over a year, %s: %zu daily buckets from %lld readings, "
                "median %.1f ms, worst %.1f ms (first %.1f ms)  [target <= %.0f ms: %s]\n",
                name, buckets.size(), static_cast<long long>(readings), times[times.size() / 2],
                times.back(), times.front(), kTargetMs, met ? "met" : "MISSED");
    std::printf("Database size, %s: %.1f MB for %lld readings, %.0f kB per station per day "
                "(2400 readings), %.0f bytes per reading\n",
                name, bytes / 1e6, static_cast<long long>(kPerStation * kStations),
                bytes / kStations / 365 / 1e3,
                bytes / static_cast<double>(kPerStation * kStations));
    return met;
}

} // namespace

int main() {
    CTempFolder folder;
    // BENCH_HISTORY_DB keeps the generated year for later runs (and reuses it when there).
    const char* keep = std::getenv("BENCH_HISTORY_DB");
    const std::string path = keep != nullptr ? keep : folder.File("year.db");
    const bool reuse = keep != nullptr && std::filesystem::exists(path);
    bool ok = true;
    const bool sqlite = std::getenv("BENCH_HISTORY_POSTGRES_ONLY") == nullptr;
    if (sqlite && !reuse) {
        // The schema as the store makes it.
        CHistoryStore store;
        CHistoryStore::COptions options;
        options.m_strTarget = path;
        if (!store.Open(options)) {
            std::fprintf(stderr, "%s\n", store.GetStatus().GetText().c_str());
            return 2;
        }
    }
    if (sqlite && !reuse) {
        CSqliteDatabase db;
        db.Open(path, CSqliteDatabase::Mode::readWrite);
        const auto t0 = std::chrono::steady_clock::now();
        if (!db.Script("PRAGMA cache_size = -1000000; BEGIN; " + SqliteYear() +
                       "; COMMIT; "
                       "PRAGMA wal_checkpoint(TRUNCATE)")) {
            std::fprintf(stderr, "SQLite: %s\n", db.GetError().c_str());
            return 2;
        }
        std::printf("SQLite: a year of 12 stations generated in %.0f s\n", MsSince(t0) / 1000);
    }
    if (sqlite) {
        ok = Chart("SQLite", path, static_cast<double>(std::filesystem::file_size(path)));
    }

    std::string reason;
    if (std::getenv("BENCH_HISTORY_SQLITE_ONLY") != nullptr) {
        return ok ? 0 : 1;
    }
    if (!CTempPostgres::IsInstalled(&reason)) {
        std::printf("PostgreSQL: skipped, %s\n", reason.c_str());
        return ok ? 0 : 1;
    }
    CTempPostgres server;
    if (!server.Create() || !server.Start(false)) {
        std::fprintf(stderr, "PostgreSQL: %s\n", server.GetError().c_str());
        return 2;
    }
    double bytes = 0;
    {
        CPostgresDatabase db;
        std::string why;
        CHistoryStore store; // creates the schema on the server through its sender
        CHistoryStore::COptions options;
        options.m_strTarget = server.Url();
        options.m_strLocalPath = folder.File("outbox.db");
        store.Open(options);
        store.WaitIdle(60000);
        store.Close();
        if (!db.Connect(server.Url())) {
            std::fprintf(stderr, "PostgreSQL: %s\n", db.GetError().c_str());
            return 2;
        }
        const auto t0 = std::chrono::steady_clock::now();
        // The hourly sums the trigger keeps reading by reading, computed here in one go: the
        // same numbers in a fraction of the time.
        if (!db.Script("ALTER TABLE readings DISABLE TRIGGER readings_hourly") ||
            !db.Script(PostgresYear()) ||
            !db.Script(
                "INSERT INTO reading_hours SELECT station, time_ms - time_ms % 3600000, "
                "workstation, node_id, COUNT(*), COUNT(*) FILTER (WHERE good + bad > 0), "
                "SUM(CASE WHEN good + bad > 0 THEN bad * 100.0 / (good + bad) ELSE 0 END),"
                " SUM(mean), SUM(cp), SUM(cpk), MIN(cpk) FROM readings GROUP BY 1, 2, 3, 4") ||
            !db.Script("ALTER TABLE readings ENABLE TRIGGER readings_hourly") ||
            !db.Script("VACUUM ANALYZE readings") || !db.Script("VACUUM ANALYZE reading_hours")) {
            std::fprintf(stderr, "PostgreSQL: %s\n", db.GetError().c_str());
            return 2;
        }
        std::printf("PostgreSQL: a year of 12 stations generated in %.0f s\n", MsSince(t0) / 1000);
        bytes =
            CHistoryDatabase::AsReal(db.QueryValue("SELECT pg_total_relation_size('readings') + "
                                                   "pg_total_relation_size('reading_hours')"),
                                     0.0);
    }
    ok = Chart("PostgreSQL 15", server.Url(), bytes) && ok;
    return ok ? 0 : 1;
}
