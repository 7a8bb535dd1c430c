// The program's Exit while another session holds the plant database's history table locked (a
// maintenance job's LOCK TABLE in an open transaction): the sender's statement waits for the
// lock when Exit comes. Exit gives the plant database a bounded time; what has not gone stays in
// the local outbox and goes at the next start. Target: Exit within 3 s, every record on the
// server once after the next start.
#include "BenchLine.h"
#include "app/framework/MessageRecorder.h"
#include "app/history/HistoryRecorder.h"
#include "app/shell/CommandLineInfo.h"
#include "app/shell/QuorvelApp.h"
#include "history/HistoryStore.h"
#include "history/PostgresDatabase.h"
#include "network/Stats.h"
#include "sim/ZarnSimulator.h"
#include "tests/history/TempPostgres.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

constexpr double kTargetMs = 3000.0;
constexpr int kBatch = 200;

void Record(CHistoryRecorder& history, int from, int to) {
    const CHistoryStation station = history.StationOf(1, "Press 1");
    for (int i = from; i < to; ++i) {
        CStats stats;
        stats.m_nGood = static_cast<unsigned short>(i);
        history.RecordStatistics(station, stats, CHistoryStore::Source::poll);
    }
}

std::int64_t Count(CPostgresDatabase& db, const char* sql) {
    return CHistoryDatabase::AsInt(db.QueryValue(sql), -1);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
    QDir::setCurrent(dir.path()); // the program keeps its window files in the working folder
    QApplication qapp(argc, argv);

    std::string reason;
    if (!CTempPostgres::IsInstalled(&reason)) {
        std::fprintf(stderr, "%s\n", reason.c_str());
        return 2;
    }
    CTempPostgres server;
    if (!server.Create() || !server.Start()) {
        std::fprintf(stderr, "PostgreSQL: %s\n", server.GetError().c_str());
        return 2;
    }
    const auto pSim = StartBenchSim(OneStillAnalyser());
    const CZarnSimulator& sim = *pSim;
    CMessageRecorder messages;
    CCommandLineInfo info;
    info.m_bShowSplash = false;
    info.m_bHistoryGiven = true;
    info.m_strHistory = server.Url();
    auto pApp = std::make_unique<CQuorvelApp>(info, sim.DevicePath());
    if (!pApp->InitInstance() || pApp->GetHistory() == nullptr) {
        std::fprintf(stderr, "the program did not start\n");
        return 2;
    }
    CHistoryRecorder& history = *pApp->GetHistory();
    Record(history, 0, kBatch);
    if (!history.WaitIdle(60000)) {
        std::fprintf(stderr, "the records did not reach the server: %s\n",
                     history.GetStatus().GetText().c_str());
        return 2;
    }

    CPostgresDatabase locker;
    CPostgresDatabase watcher;
    if (!locker.Connect(server.Url()) || !watcher.Connect(server.Url()) ||
        !locker.Script("BEGIN; LOCK TABLE readings IN ACCESS EXCLUSIVE MODE")) {
        std::fprintf(stderr, "cannot lock the table: %s\n", locker.GetError().c_str());
        return 2;
    }
    Record(history, kBatch, 2 * kBatch);
    const auto waitUntil = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (Count(watcher, "SELECT COUNT(*) FROM pg_locks WHERE NOT granted") <= 0) {
        if (std::chrono::steady_clock::now() > waitUntil) {
            std::fprintf(stderr, "the sender never waited for the lock\n");
            return 2;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    const auto start = std::chrono::steady_clock::now();
    pApp->ExitInstance();
    const double exitMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    pApp.reset();
    locker.Script("ROLLBACK"); // the table can be read again
    const std::int64_t before = Count(watcher, "SELECT COUNT(*) FROM readings");

    // The next start sends what waited in the outbox.
    CHistoryStore next;
    CHistoryStore::COptions again;
    again.m_strTarget = server.Url();
    if (!next.Open(again) || !next.WaitIdle(60000)) {
        std::fprintf(stderr, "the next start did not send: %s\n",
                     next.GetStatus().GetText().c_str());
        return 2;
    }
    next.Close();
    const std::int64_t rows = Count(watcher, "SELECT COUNT(*) FROM readings");
    const std::int64_t keys = Count(watcher, "SELECT COUNT(DISTINCT record_key) FROM readings");
    const bool met = exitMs <= kTargetMs;
    const bool whole = rows == 2 * kBatch && keys == rows;
    std::printf("Exit with the history table locked by another session: %.0f ms (target <= %.0f "
                "ms) %s\n",
                exitMs, kTargetMs, met ? "met" : "MISSED");
    std::printf("records on the server: %lld at Exit, %lld after the next start, of %d made "
                "(%lld distinct) %s\n",
                static_cast<long long>(before), static_cast<long long>(rows), 2 * kBatch,
                static_cast<long long>(keys), whole ? "ok" : "LOST OR DOUBLED");
    return met && whole ? 0 : 1;
}
