// The history store on its local SQLite file.

#include "history/HistoryStore.h"
#include "base/FileIO.h"
#include "history/HistoryQuery.h"
#include "history/SqliteDatabase.h"
#include "tests/history/HistoryTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <mutex>

namespace {

CHistoryStation Station(int node, const std::string& name) {
    CHistoryStation s;
    s.m_nNodeID = node;
    s.m_strName = name;
    s.m_strTerminalType = "T-" + name;
    s.m_strWireType = "0.5 mm²";
    s.m_strSerialNo = "SN" + std::to_string(node);
    return s;
}

CStats Reading(unsigned short good, unsigned short bad, float mean, float cpk) {
    CStats s;
    s.m_nGood = good;
    s.m_nBad = bad;
    s.m_nMin = -40;
    s.m_nMax = 2600;
    s.m_fMean = mean;
    s.m_fStdDev = 2.5f;
    s.m_fCp = cpk + 0.2f;
    s.m_fCpk = cpk;
    s.m_nBLO = 321;
    return s;
}

class HistoryStore : public ::testing::Test {
protected:
    CHistoryStore::COptions Options() {
        CHistoryStore::COptions options;
        options.m_strTarget = m_folder.File("sub/history.db");
        options.m_strWorkstation = "line-7";
        options.m_nRetryMs = 100;
        options.m_nRetentionDays = 0; // the tests' fixed times lie years back
        return options;
    }
    CTempFolder m_folder;
};

TEST_F(HistoryStore, RecordsEveryKindDurablyWithItsWorkstationAndStation) {
    std::mutex mutex;
    std::vector<CHistoryStatus> seen;
    {
        CHistoryStore store;
        store.SetObserver([&](const CHistoryStatus& s) {
            std::lock_guard<std::mutex> lock(mutex);
            seen.push_back(s);
        });
        ASSERT_TRUE(store.Open(Options())) << store.GetStatus().GetText();
        EXPECT_EQ(store.GetStatus().GetText(), "History: " + m_folder.File("sub/history.db"));

        store.RecordStatistics(Station(3, "Press Ä"), Reading(90, 10, 12.3f, 1.3f),
                               CHistoryStore::Source::poll, 1714566896789);
        CCurveRecord curve;
        curve.m_strTitle = "Downloaded Curve - Press Ä (Node - 3) (now)";
        curve.m_pForce[499] = {499, 4095};
        curve.m_pReference[0] = {0, 17};
        curve.m_nZoneInfo[3] = 330;
        curve.m_nPeakForce = 2481;
        curve.m_bHasResults = true;
        curve.m_nResultS[3] = -2;
        curve.m_nResultU[3] = 999;
        curve.m_nPassCount = 40;
        curve.m_nFailCount = 2;
        store.RecordCurve(Station(3, "Press Ä"), curve);
        CBatchRecord batch;
        batch.m_points = {{0, 100}, {1, 4095}, {2, 7}};
        batch.m_stats = Reading(2, 1, 1400.0f, 0.9f);
        batch.m_stats.m_nBatchMax = 4095;
        batch.m_bHasStats = true;
        store.RecordBatch(Station(4, "Press B"), batch);
        CHistoryChange change;
        change.m_parameter = CHistoryChange::Parameter::tfactor;
        change.m_nBefore = 150;
        change.m_nAfter = 175;
        change.m_bOk = true;
        store.RecordChange(Station(4, "Press B"), change);
        CHistoryChange reset;
        reset.m_parameter = CHistoryChange::Parameter::resetBatch;
        reset.m_strError = "no reply";
        store.RecordChange(Station(4, "Press B"), reset);
        ASSERT_TRUE(store.WaitIdle(20000));
        EXPECT_EQ(store.GetStatus().m_nRecorded, 5u);
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        ASSERT_GE(seen.size(), 3u);
        EXPECT_EQ(seen[0].m_state, CHistoryStatus::State::opening);
        EXPECT_EQ(seen[1].m_state, CHistoryStatus::State::ok);
        EXPECT_EQ(seen.back().m_state, CHistoryStatus::State::off);
    }

    // A store closed and gone: what it committed is in the file.
    CHistoryQuery query;
    ASSERT_TRUE(query.Open(m_folder.File("sub/history.db"))) << query.GetError();
    std::vector<CHistoryReading> readings;
    ASSERT_TRUE(query.Readings({}, readings)) << query.GetError();
    ASSERT_EQ(readings.size(), 1u);
    EXPECT_EQ(readings[0].m_strWorkstation, "line-7");
    EXPECT_EQ(readings[0].m_station.m_strName, "Press Ä");
    EXPECT_EQ(readings[0].m_station.m_strWireType, "0.5 mm²");
    EXPECT_EQ(readings[0].m_station.m_strSerialNo, "SN3");
    EXPECT_EQ(readings[0].m_nTimeMs, 1714566896789);
    EXPECT_EQ(readings[0].m_strSource, "poll");
    EXPECT_EQ(readings[0].m_stats.m_nBad, 10);
    EXPECT_EQ(readings[0].m_stats.m_nMin, -40);
    EXPECT_FLOAT_EQ(readings[0].m_stats.m_fMean, 12.3f);
    EXPECT_EQ(readings[0].m_strKey.size(), 32u);

    std::vector<CHistoryCurve> curves;
    ASSERT_TRUE(query.Curves({}, curves));
    ASSERT_EQ(curves.size(), 1u);
    const CCurveRecord& c = curves[0].m_curve;
    EXPECT_EQ(c.m_pForce[499].y, 4095);
    EXPECT_EQ(c.m_pReference[0].y, 17);
    EXPECT_EQ(c.m_pForce[500].y, 0);
    EXPECT_EQ(c.m_nZoneInfo[3], 330);
    EXPECT_EQ(c.m_nResultS[3], -2);
    EXPECT_EQ(c.m_nResultU[3], 999);
    EXPECT_EQ(c.m_nFailCount, 2u);
    EXPECT_EQ(c.m_strStation, "Press Ä");

    std::vector<CHistoryBatch> batches;
    ASSERT_TRUE(query.Batches({}, batches));
    ASSERT_EQ(batches.size(), 1u);
    ASSERT_EQ(batches[0].m_batch.m_points.size(), 3u);
    EXPECT_EQ(batches[0].m_batch.m_points[1].y, 4095);
    EXPECT_EQ(batches[0].m_batch.m_stats.m_nBatchMax, 4095);
    EXPECT_FLOAT_EQ(batches[0].m_batch.m_stats.m_fCpk, 0.9f);

    CHistoryFilter onlyB;
    onlyB.m_strStation = "Press B";
    std::vector<CHistoryChangeEntry> changes;
    ASSERT_TRUE(query.Changes(onlyB, changes));
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].m_change.m_parameter, CHistoryChange::Parameter::tfactor);
    EXPECT_EQ(changes[0].m_change.m_nBefore.value_or(-1), 150);
    EXPECT_EQ(changes[0].m_change.m_nAfter.value_or(-1), 175);
    EXPECT_TRUE(changes[0].m_change.m_bOk);
    EXPECT_EQ(changes[0].m_change.m_strUser, CHistoryStore::CurrentUser());
    EXPECT_FALSE(changes[1].m_change.m_nBefore.has_value());
    EXPECT_FALSE(changes[1].m_change.m_bOk);
    EXPECT_EQ(changes[1].m_change.m_strError, "no reply");
}

TEST_F(HistoryStore, ChartIsAggregatedPerBucketAndOldRecordsLeave) {
    const std::int64_t day = 86400000;
    const std::int64_t start = 1714521600000; // 2024-05-01T00:00Z
    {
        CHistoryStore store;
        ASSERT_TRUE(store.Open(Options()));
        const CHistoryStation press = Station(3, "Press A");
        store.RecordStatistics(press, Reading(90, 10, 10.0f, 1.0f), CHistoryStore::Source::poll,
                               start + 1000);
        store.RecordStatistics(press, Reading(80, 20, 20.0f, 2.0f), CHistoryStore::Source::poll,
                               start + 2000);
        // No crimps: no %bad to average, but its mean and Cpk count.
        store.RecordStatistics(press, Reading(0, 0, 30.0f, 3.0f), CHistoryStore::Source::poll,
                               start + 3000);
        store.RecordStatistics(press, Reading(50, 50, 40.0f, 1.5f), CHistoryStore::Source::download,
                               start + day + 5);
        store.RecordStatistics(Station(4, "Press B"), Reading(0, 100, 1.0f, 0.1f),
                               CHistoryStore::Source::poll, start + 10);
        ASSERT_TRUE(store.WaitIdle(20000));
    }
    CHistoryQuery query;
    ASSERT_TRUE(query.Open(m_folder.File("sub/history.db")));
    CHistoryFilter filter;
    filter.m_strStation = "Press A";
    filter.m_nSince = start;
    filter.m_nUntil = start + 2 * day;
    std::vector<CChartBucket> buckets;
    ASSERT_TRUE(query.Chart(filter, day, buckets)) << query.GetError();
    ASSERT_EQ(buckets.size(), 2u);
    EXPECT_EQ(buckets[0].m_nStartMs, start);
    EXPECT_EQ(buckets[0].m_nReadings, 3);
    EXPECT_DOUBLE_EQ(buckets[0].m_fPercentBad, 15.0);
    EXPECT_DOUBLE_EQ(buckets[0].m_fMean, 20.0);
    EXPECT_DOUBLE_EQ(buckets[0].m_fCpk, 2.0);
    EXPECT_DOUBLE_EQ(buckets[0].m_fMinCpk, 1.0);
    EXPECT_EQ(buckets[1].m_nStartMs, start + day);
    EXPECT_DOUBLE_EQ(buckets[1].m_fPercentBad, 50.0);
    // By node the readings themselves are aggregated, with the same result as the hourly sums.
    CHistoryFilter byNode = filter;
    byNode.m_strStation.clear();
    byNode.m_nNodeID = 3;
    std::vector<CChartBucket> raw;
    ASSERT_TRUE(query.Chart(byNode, day, raw)) << query.GetError();
    ASSERT_EQ(raw.size(), 2u);
    EXPECT_EQ(raw[0].m_nReadings, 3);
    EXPECT_DOUBLE_EQ(raw[0].m_fPercentBad, 15.0);
    EXPECT_DOUBLE_EQ(raw[0].m_fCpk, buckets[0].m_fCpk);
    EXPECT_DOUBLE_EQ(raw[0].m_fMinCpk, 1.0);
    filter.m_nLimit = 2;
    std::vector<CHistoryReading> latest;
    ASSERT_TRUE(query.Readings(filter, latest));
    ASSERT_EQ(latest.size(), 2u);
    EXPECT_EQ(latest[0].m_nTimeMs, start + 3000);
    EXPECT_EQ(latest[1].m_strSource, "download");
    query.Close();

    // With a retention of a day, a later start clears everything older than that.
    CHistoryStore::COptions options = Options();
    options.m_nRetentionDays = 1;
    {
        CHistoryStore store;
        ASSERT_TRUE(store.Open(options));
        store.RecordStatistics(Station(3, "Press A"), Reading(1, 0, 1.0f, 1.0f),
                               CHistoryStore::Source::poll);
        ASSERT_TRUE(store.WaitIdle(20000));
        store.Close();
    }
    ASSERT_TRUE(query.Open(m_folder.File("sub/history.db")));
    ASSERT_TRUE(query.Readings({}, latest));
    ASSERT_EQ(latest.size(), 1u);
    EXPECT_GT(latest[0].m_nTimeMs, start + 2 * day);
}

TEST_F(HistoryStore, ADamagedForeignOrNewerFileIsNeverTouched) {
    const std::string path = m_folder.File("history.db");
    std::vector<std::uint8_t> garbage(8192);
    for (std::size_t i = 0; i < garbage.size(); ++i) {
        garbage[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    {
        CSqliteDatabase foreign;
        ASSERT_TRUE(foreign.Open(m_folder.File("foreign.db"), CSqliteDatabase::Mode::create));
        ASSERT_TRUE(foreign.Script("CREATE TABLE invoices (id INTEGER, total REAL)"));
        CSqliteDatabase newer;
        ASSERT_TRUE(newer.Open(m_folder.File("newer.db"), CSqliteDatabase::Mode::create));
        ASSERT_TRUE(newer.Script("CREATE TABLE history_meta (name TEXT PRIMARY KEY, value TEXT);"
                                 "INSERT INTO history_meta VALUES ('format', 'Quorvel history'),"
                                 "('schema_version', '99')"));
    }
    ASSERT_TRUE(WriteFileAtomically(path, garbage));
    const struct {
        std::string strPath;
        const char* pszReason;
    } cases[] = {
        {path, "not a database"},
        {m_folder.File("foreign.db"), "not a history file"},
        {m_folder.File("newer.db"), "newer version"},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> before;
        ASSERT_TRUE(ReadWholeFile(c.strPath, before));
        CHistoryStore store;
        CHistoryStore::COptions options = Options();
        options.m_strTarget = c.strPath;
        EXPECT_FALSE(store.Open(options)) << c.strPath;
        const CHistoryStatus status = store.GetStatus();
        EXPECT_EQ(status.m_state, CHistoryStatus::State::failed);
        EXPECT_NE(status.GetText().find(c.pszReason), std::string::npos) << status.GetText();
        EXPECT_EQ(
            status.GetText().rfind("History off: cannot use the history file " + c.strPath, 0), 0u)
            << status.GetText();
        // The program runs on: recording does nothing and does not block.
        store.RecordStatistics(Station(1, "P"), CStats(), CHistoryStore::Source::poll);
        store.Close();
        std::vector<std::uint8_t> after;
        ASSERT_TRUE(ReadWholeFile(c.strPath, after));
        EXPECT_EQ(after, before) << c.strPath;
        EXPECT_FALSE(std::filesystem::exists(c.strPath + "-wal")) << c.strPath;

        CHistoryQuery query;
        EXPECT_FALSE(query.Open(c.strPath));
        EXPECT_NE(query.GetError().find(c.pszReason), std::string::npos) << query.GetError();
    }
}

TEST_F(HistoryStore, AFullDiskIsReportedOnceThenRecordsAreHeldAndCounted) {
    CHistoryStore::COptions options = Options();
    options.m_nMaxFileBytes = 160 * 1024; // the file's limit stands in for the disk's
    options.m_nMemoryBytes = 64 * 1024;
    options.m_nRetryMs = 60000; // no second attempt during the test
    std::mutex mutex;
    std::vector<CHistoryStatus> seen;
    CHistoryStore store;
    store.SetObserver([&](const CHistoryStatus& s) {
        std::lock_guard<std::mutex> lock(mutex);
        seen.push_back(s);
    });
    ASSERT_TRUE(store.Open(options));
    CCurveRecord curve;
    for (std::size_t i = 0; i < CCurveRecord::kDownloadedPoints; ++i) {
        curve.m_pForce[i] = {static_cast<int>(i), 4000 + static_cast<int>(i % 90)};
    }
    // Each curve is some kilobytes: the file is full long before a hundred.
    int recorded = 0;
    ASSERT_TRUE(WaitFor(
        [&] {
            store.RecordCurve(Station(1, "P"), curve);
            ++recorded;
            return store.GetStatus().m_state == CHistoryStatus::State::holding || recorded > 500;
        },
        60000));
    ASSERT_EQ(store.GetStatus().m_state, CHistoryStatus::State::holding);
    for (int i = 0; i < 30; ++i) {
        store.RecordCurve(Station(1, "P"), curve);
    }
    ASSERT_TRUE(WaitFor([&] { return store.GetStatus().m_nDropped > 0; }));
    const CHistoryStatus status = store.GetStatus();
    // The bound is in bytes: a curve takes at least 3.5 kB of text alone.
    EXPECT_LE(status.m_nHeld, 64u * 1024 / 3500);
    EXPECT_GE(status.m_nHeld, 4u);
    EXPECT_NE(status.GetText().find("the disk of the history file is full"), std::string::npos)
        << status.GetText();
    EXPECT_NE(status.GetText().find("lost"), std::string::npos) << status.GetText();
    std::lock_guard<std::mutex> lock(mutex);
    int announced = 0;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        const bool holding = seen[i].m_state == CHistoryStatus::State::holding;
        announced += holding && (i == 0 || seen[i - 1].m_state != CHistoryStatus::State::holding);
    }
    EXPECT_EQ(announced, 1) << "the full disk is announced once";
}

} // namespace
