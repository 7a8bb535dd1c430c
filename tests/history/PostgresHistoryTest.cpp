// The history store with a plant database on a temporary PostgreSQL cluster.

#include "history/HistoryQuery.h"
#include "history/HistoryStore.h"
#include "history/PostgresDatabase.h"
#include "history/SqliteDatabase.h"
#include "tests/history/HistoryTestSupport.h"
#include "tests/history/TempPostgres.h"

#include <gtest/gtest.h>

namespace {

class PostgresHistory : public ::testing::Test {
protected:
    void SetUp() override {
        std::string reason;
        if (!CTempPostgres::IsInstalled(&reason)) {
            GTEST_SKIP() << reason;
        }
        ASSERT_TRUE(m_server.Create()) << m_server.GetError();
        ASSERT_TRUE(m_server.Start()) << m_server.GetError();
    }

    CHistoryStore::COptions Options(const std::string& url) {
        CHistoryStore::COptions options;
        options.m_strTarget = url;
        options.m_strLocalPath = m_folder.File("history.db");
        options.m_strWorkstation = "line-2";
        options.m_nRetryMs = 200;
        options.m_nRetentionDays = 0;
        options.m_nConnectTimeoutS = 2;
        return options;
    }

    // Times of the readings in the server's table, in the order they were stored.
    std::vector<std::int64_t> ServerTimes() {
        CPostgresDatabase db;
        std::vector<std::int64_t> times;
        EXPECT_TRUE(db.Connect(m_server.Url())) << db.GetError();
        EXPECT_TRUE(db.Run("SELECT time_ms, workstation FROM readings ORDER BY id", {},
                           [&](const CHistoryDatabase::Row& row) {
                               times.push_back(CHistoryDatabase::AsInt(row[0]));
                               EXPECT_EQ(CHistoryDatabase::AsText(row[1]), "line-2");
                               return true;
                           }))
            << db.GetError();
        return times;
    }

    static void Record(CHistoryStore& store, std::int64_t from, std::int64_t to) {
        CHistoryStation press;
        press.m_nNodeID = 3;
        press.m_strName = "Press A";
        for (std::int64_t t = from; t < to; ++t) {
            CStats s;
            s.m_nGood = static_cast<unsigned short>(t);
            s.m_nBad = 1;
            s.m_fCpk = 1.3f;
            store.RecordStatistics(press, s, CHistoryStore::Source::poll,
                                   1714521600000 + t * 36000);
        }
    }

    CTempPostgres m_server;
    CTempFolder m_folder;
};

TEST_F(PostgresHistory, RecordsWaitLocallyWhileTheServerIsDownAndArriveOnceInOrder) {
    std::vector<std::int64_t> expected;
    for (std::int64_t t = 0; t < 30; ++t) {
        expected.push_back(1714521600000 + t * 36000);
    }
    {
        CHistoryStore store;
        ASSERT_TRUE(store.Open(Options(m_server.Url())));
        Record(store, 0, 10);
        ASSERT_TRUE(store.WaitIdle(30000)) << store.GetStatus().GetText();
        EXPECT_EQ(store.GetStatus().m_server, CHistoryStatus::Server::online);
        EXPECT_EQ(ServerTimes(),
                  std::vector<std::int64_t>(expected.begin(), expected.begin() + 10));

        ASSERT_TRUE(m_server.Stop()) << m_server.GetError();
        Record(store, 10, 20);
        ASSERT_TRUE(WaitFor([&] {
            const CHistoryStatus s = store.GetStatus();
            return s.m_server == CHistoryStatus::Server::unreachable && s.m_nWaiting == 10;
        })) << store.GetStatus().GetText();
        EXPECT_NE(store.GetStatus().GetText().find("10 records waiting in the local file"),
                  std::string::npos)
            << store.GetStatus().GetText();
    }
    // The program ended with the server still down; its successor finds the outbox.
    ASSERT_TRUE(m_server.Start()) << m_server.GetError();
    {
        CHistoryStore store;
        ASSERT_TRUE(store.Open(Options(m_server.Url())));
        Record(store, 20, 30);
        ASSERT_TRUE(store.WaitIdle(30000)) << store.GetStatus().GetText();
        EXPECT_EQ(store.GetStatus().m_nWaiting, 0u);
    }
    EXPECT_EQ(ServerTimes(), expected);

    // A crash between the server's commit and the outbox's clearing sends records again: the
    // server keeps each once.
    {
        CSqliteDatabase local;
        ASSERT_TRUE(local.Open(m_folder.File("history.db"), CSqliteDatabase::Mode::readWrite));
        ASSERT_TRUE(local.Script("INSERT INTO outbox (table_name, row_id) "
                                 "SELECT 'readings', id FROM readings ORDER BY id"));
    }
    {
        CHistoryStore store;
        ASSERT_TRUE(store.Open(Options(m_server.Url())));
        ASSERT_TRUE(store.WaitIdle(30000)) << store.GetStatus().GetText();
    }
    EXPECT_EQ(ServerTimes(), expected);

    // Charts read the plant database the same way as the local file.
    CHistoryQuery query;
    ASSERT_TRUE(query.Open(m_server.Url())) << query.GetError();
    CHistoryFilter filter;
    filter.m_nNodeID = 3;
    filter.m_nSince = 1714521600000;
    std::vector<CChartBucket> buckets;
    ASSERT_TRUE(query.Chart(filter, 3600000, buckets)) << query.GetError();
    ASSERT_EQ(buckets.size(), 1u);
    EXPECT_EQ(buckets[0].m_nReadings, 30);
    EXPECT_NEAR(buckets[0].m_fCpk, 1.3, 1e-9);
    // By station from the hourly sums the server's trigger kept, each reading counted once.
    filter.m_nNodeID = -1;
    filter.m_strStation = "Press A";
    ASSERT_TRUE(query.Chart(filter, 3600000, buckets)) << query.GetError();
    ASSERT_EQ(buckets.size(), 1u);
    EXPECT_EQ(buckets[0].m_nReadings, 30);
    EXPECT_NEAR(buckets[0].m_fCpk, 1.3, 1e-9);
    EXPECT_NEAR(buckets[0].m_fMinCpk, 1.3, 1e-9);
}

TEST_F(PostgresHistory, ARefusedLoginIsReportedAndRecordsStayLocal) {
    CHistoryStore store;
    ASSERT_TRUE(store.Open(Options(m_server.Url("wrong-password"))));
    Record(store, 0, 3);
    ASSERT_TRUE(WaitFor([&] {
        const CHistoryStatus s = store.GetStatus();
        return s.m_server == CHistoryStatus::Server::refused && s.m_nWaiting == 3;
    })) << store.GetStatus().GetText();
    const std::string text = store.GetStatus().GetText();
    EXPECT_NE(text.find("password authentication failed"), std::string::npos) << text;
    EXPECT_EQ(text.find("wrong-password"), std::string::npos) << text;
    EXPECT_EQ(store.GetStatus().m_strServer,
              "postgresql://quorvel@127.0.0.1:" + std::to_string(m_server.Port()) + "/postgres");
    store.Close();

    CHistoryQuery local;
    ASSERT_TRUE(local.Open(m_folder.File("history.db")));
    std::vector<CHistoryReading> readings;
    ASSERT_TRUE(local.Readings({}, readings));
    EXPECT_EQ(readings.size(), 3u);
}

} // namespace
