// The history store with a plant database on a temporary PostgreSQL cluster.

#include "history/HistoryQuery.h"
#include "history/HistoryStore.h"
#include "history/PostgresDatabase.h"
#include "history/SqliteDatabase.h"
#include "records/CurveRecord.h"
#include "tests/history/HistoryTestSupport.h"
#include "tests/history/TempPostgres.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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

    std::int64_t LocalOutbox() {
        CSqliteDatabase local;
        EXPECT_TRUE(local.Open(m_folder.File("history.db"), CSqliteDatabase::Mode::readOnly));
        return CHistoryDatabase::AsInt(local.QueryValue("SELECT COUNT(*) FROM outbox"), -1);
    }

    std::vector<std::int64_t> Times(std::int64_t from, std::int64_t to) {
        std::vector<std::int64_t> times;
        for (std::int64_t t = from; t < to; ++t) {
            times.push_back(1714521600000 + t * 36000);
        }
        return times;
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

TEST_F(PostgresHistory, CloseCancelsAStatementWaitingForALockAndTheRecordsGoLaterOnce) {
    CHistoryStore::COptions options = Options(m_server.Url());
    options.m_nLockTimeoutMs = 0; // only the cancel can end the wait
    auto store = std::make_unique<CHistoryStore>();
    ASSERT_TRUE(store->Open(options));
    Record(*store, 0, 10);
    ASSERT_TRUE(store->WaitIdle(30000)) << store->GetStatus().GetText();

    // Another session holds the table, as a plant's maintenance job might.
    CPostgresDatabase locker;
    ASSERT_TRUE(locker.Connect(m_server.Url())) << locker.GetError();
    ASSERT_TRUE(locker.Script("BEGIN; LOCK TABLE readings IN ACCESS EXCLUSIVE MODE"));
    Record(*store, 10, 20);
    CPostgresDatabase watcher;
    ASSERT_TRUE(watcher.Connect(m_server.Url())) << watcher.GetError();
    auto waitingForLock = [&] {
        return CHistoryDatabase::AsInt(
            watcher.QueryValue("SELECT COUNT(*) FROM pg_locks WHERE NOT granted"), -1);
    };
    ASSERT_TRUE(WaitFor([&] { return waitingForLock() > 0; }))
        << "the store's statement never waited for the lock";

    auto closing = std::async(std::launch::async, [&] { store.reset(); });
    const bool closed = closing.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!closed) {
        locker.Script("ROLLBACK"); // lets the stuck store end, so that the test does
    }
    ASSERT_TRUE(closed) << "Close waited for the lock";
    // Cancelled on the server, not left there waiting.
    EXPECT_TRUE(WaitFor([&] { return waitingForLock() == 0; }, 5000));
    ASSERT_TRUE(locker.Script("ROLLBACK"));
    EXPECT_EQ(ServerTimes(), Times(0, 10));
    EXPECT_EQ(LocalOutbox(), 10);

    CHistoryStore next;
    ASSERT_TRUE(next.Open(options));
    ASSERT_TRUE(next.WaitIdle(30000)) << next.GetStatus().GetText();
    EXPECT_EQ(ServerTimes(), Times(0, 20));
}

TEST_F(PostgresHistory, ARecordThatCannotBeReadStaysInTheOutboxAndIsCounted) {
    ASSERT_TRUE(m_server.Stop()) << m_server.GetError();
    {
        CHistoryStore store;
        ASSERT_TRUE(store.Open(Options(m_server.Url())));
        Record(store, 0, 3);
        CCurveRecord curve;
        curve.m_nTimeMs = 1714521600000 + 5 * 36000;
        for (std::size_t i = 0; i < CCurveRecord::kDownloadedPoints; ++i) {
            curve.m_pForce[i] = {static_cast<int>(i), 4000};
        }
        CHistoryStation press;
        press.m_nNodeID = 3;
        store.RecordCurve(press, curve);
        ASSERT_TRUE(WaitFor([&] { return store.GetStatus().m_nWaiting == 4; }))
            << store.GetStatus().GetText();
    }
    // The page of the curves' table is damaged; the readings' pages are not.
    std::int64_t page = 0;
    std::int64_t pageSize = 0;
    {
        CSqliteDatabase local;
        ASSERT_TRUE(local.Open(m_folder.File("history.db"), CSqliteDatabase::Mode::readWrite));
        page = CHistoryDatabase::AsInt(
            local.QueryValue("SELECT rootpage FROM sqlite_master WHERE name = 'curves'"));
        pageSize = CHistoryDatabase::AsInt(local.QueryValue("PRAGMA page_size"));
    }
    ASSERT_GT(page, 1);
    {
        std::fstream file(m_folder.File("history.db"),
                          std::ios::in | std::ios::out | std::ios::binary);
        file.seekp((page - 1) * pageSize);
        const std::string garbage(static_cast<std::size_t>(pageSize), '\xEE');
        file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
        ASSERT_TRUE(file.good());
    }
    {
        CSqliteDatabase local;
        ASSERT_TRUE(local.Open(m_folder.File("history.db"), CSqliteDatabase::Mode::readOnly));
        ASSERT_FALSE(local.Run("SELECT * FROM curves")) << "the curve can still be read";
    }

    ASSERT_TRUE(m_server.Start()) << m_server.GetError();
    {
        CHistoryStore store;
        ASSERT_TRUE(store.Open(Options(m_server.Url())));
        ASSERT_TRUE(store.WaitIdle(30000)) << store.GetStatus().GetText();
        const CHistoryStatus status = store.GetStatus();
        EXPECT_EQ(status.m_nUnreadable, 1u);
        EXPECT_NE(status.GetText().find("1 record cannot be read from the local file"),
                  std::string::npos)
            << status.GetText();
        EXPECT_TRUE(status.IsProblem());
    }
    EXPECT_EQ(ServerTimes(), Times(0, 3));
    EXPECT_EQ(LocalOutbox(), 1) << "the unreadable record left the outbox";
}

// A server that takes the connection and never answers: the attempt is under way when the
// store closes.
TEST(PostgresConnect, AnAttemptUnderWayDoesNotHoldUpClose) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof addr;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &size), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    CTempFolder folder;
    CHistoryStore::COptions options;
    options.m_strTarget =
        "postgresql://quorvel@127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/plant";
    options.m_strLocalPath = folder.File("history.db");
    options.m_nConnectTimeoutS = 120;
    auto store = std::make_unique<CHistoryStore>();
    ASSERT_TRUE(store->Open(options));
    pollfd pfd{listener, POLLIN, 0};
    ASSERT_EQ(::poll(&pfd, 1, 20000), 1) << "the store never tried to connect";
    const int peer = ::accept(listener, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    EXPECT_EQ(store->GetStatus().m_server, CHistoryStatus::Server::connecting);

    auto closing = std::async(std::launch::async, [&] { store.reset(); });
    const bool closed = closing.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    ::close(peer); // a stuck attempt fails now, so that the test ends
    ::close(listener);
    closing.wait();
    EXPECT_TRUE(closed) << "Close waited for the connection attempt";
}

// libpq and the libraries it brings are loaded only when a plant database is used. In a fresh
// process: this one may have loaded it for the tests before.
TEST(PostgresLibrary, IsLoadedOnlyForAPlantDatabase) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto loaded = [] {
        std::ifstream maps("/proc/self/maps");
        std::string line;
        while (std::getline(maps, line)) {
            if (line.find("/libpq.so") != std::string::npos) {
                return true;
            }
        }
        return false;
    };
    auto check = [&] {
        CTempFolder folder;
        CHistoryStore store;
        CHistoryStore::COptions options;
        options.m_strTarget = folder.File("history.db");
        if (!store.Open(options)) {
            return 3;
        }
        store.Close();
        if (loaded()) {
            return 2; // loaded for a local file
        }
        CPostgresDatabase db;
        db.Connect("postgresql://quorvel@127.0.0.1:1/plant", 1);
        return loaded() ? 0 : 1;
    };
    EXPECT_EXIT(std::exit(check()), ::testing::ExitedWithCode(0), "");
}

} // namespace
