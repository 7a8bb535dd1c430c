// Recording one statistics reading: what the caller pays (the Record call, which only queues)
// and how long until the reading is committed, on the local SQLite file and on a local
// PostgreSQL server. Target: the caller's cost at most 1 ms per reading.

#include "history/HistoryStore.h"
#include "network/Stats.h"
#include "tests/history/HistoryTestSupport.h"
#include "tests/history/TempPostgres.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

constexpr int kReadings = 5000;
constexpr double kTargetMs = 1.0;

bool Measure(const char* name, const CHistoryStore::COptions& options) {
    CHistoryStore store;
    if (!store.Open(options)) {
        std::fprintf(stderr, "%s: %s\n", name, store.GetStatus().GetText().c_str());
        return false;
    }
    CHistoryStation station;
    station.m_nNodeID = 3;
    station.m_strName = "Station 3";
    std::vector<double> callMs;
    callMs.reserve(kReadings);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kReadings; ++i) {
        CStats s;
        s.m_nGood = static_cast<unsigned short>(i);
        s.m_nBad = 3;
        s.m_fMean = 2500.3f;
        s.m_fCpk = 1.4f;
        const auto t0 = std::chrono::steady_clock::now();
        store.RecordStatistics(station, s, CHistoryStore::Source::poll);
        callMs.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
        // A reading now and then, as a line gives them, so commits are not all batched.
        if (i % 50 == 0) {
            store.WaitIdle(10000);
        }
    }
    if (!store.WaitIdle(120000)) {
        std::fprintf(stderr, "%s: not committed in time: %s\n", name,
                     store.GetStatus().GetText().c_str());
        return false;
    }
    const double totalMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    // One reading alone, from the call until it is committed (and sent).
    const auto t0 = std::chrono::steady_clock::now();
    store.RecordStatistics(station, CStats(), CHistoryStore::Source::poll);
    store.WaitIdle(10000);
    const double oneMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::sort(callMs.begin(), callMs.end());
    const double median = callMs[callMs.size() / 2];
    const double p99 = callMs[callMs.size() * 99 / 100];
    const bool met = p99 <= kTargetMs;
    std::printf("Record one statistics reading, %s (%d readings): caller median %.4f ms, 99%% "
                "%.4f ms, max %.4f ms; committed %.3f ms per reading overall, one reading alone "
                "%.2f ms until committed  [target caller <= %.1f ms: %s]\n",
                name, kReadings, median, p99, callMs.back(), totalMs / kReadings, oneMs, kTargetMs,
                met ? "met" : "MISSED");
    return met;
}

} // namespace

int main() {
    CTempFolder folder;
    CHistoryStore::COptions local;
    local.m_strTarget = folder.File("history.db");
    local.m_strWorkstation = "bench";
    bool ok = Measure("SQLite (WAL, synchronous commits)", local);

    std::string reason;
    if (!CTempPostgres::IsInstalled(&reason)) {
        std::printf("PostgreSQL: skipped, %s\n", reason.c_str());
        return ok ? 0 : 1;
    }
    CTempPostgres server;
    if (!server.Create() || !server.Start(true)) {
        std::fprintf(stderr, "PostgreSQL: %s\n", server.GetError().c_str());
        return 2;
    }
    CHistoryStore::COptions plant;
    plant.m_strTarget = server.Url();
    plant.m_strLocalPath = folder.File("outbox.db");
    plant.m_strWorkstation = "bench";
    ok = Measure("local PostgreSQL 15 (through the local outbox, fsync on)", plant) && ok;
    return ok ? 0 : 1;
}
