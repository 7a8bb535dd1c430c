#pragma once

#include "history/HistoryDatabase.h"

#include <atomic>
#include <chrono>

struct pg_conn;
struct pg_result;
class CLibpq;

// The plant's history database on a PostgreSQL server, through libpq (loaded on first use).
// Every wait on the server has a bound: the connection attempt, each statement (on the server
// by statement_timeout and lock_timeout, here by a deadline of its own), and Interrupt ends
// any of them at once from another thread.
class CPostgresDatabase : public CHistoryDatabase {
public:
    CPostgresDatabase();
    ~CPostgresDatabase() override;
    CPostgresDatabase(const CPostgresDatabase&) = delete;
    CPostgresDatabase& operator=(const CPostgresDatabase&) = delete;

    // The session's bounds on the server, taken at the next Connect; 0 turns one off.
    void SetTimeouts(int nStatementMs, int nLockMs);

    // A postgresql:// URL. Connecting gives up after connectTimeoutS; a server that stops
    // answering is noticed by TCP keep-alives and a user time-out instead of waiting for ever.
    bool Connect(const std::string& url, int connectTimeoutS = 5);
    void Close();

    // Any thread: the connection attempt or statement under way gives up now (a statement is
    // cancelled on the server and the connection closed, so an open transaction rolls back),
    // and so does every later call.
    void Interrupt();

    bool IsServer() const override { return true; }
    bool Run(const std::string& sql, const std::vector<CHistoryValue>& params = {},
             const RowHandler& onRow = {}) override;
    bool Script(const std::string& sql) override;
    bool IsConnected() const override;

    // "postgresql://user@host:port/db" of a URL (and "?service=NAME" when it names a service),
    // without its password, for messages.
    static std::string DescribeUrl(const std::string& url);
    static bool IsUrl(const std::string& text);

private:
    using Clock = std::chrono::steady_clock;
    enum class Wake { ready, timeout, interrupted, failed };

    // Waits until the connection's socket is ready for the events, the deadline passes or
    // Interrupt is called.
    Wake WaitSocket(short events, Clock::time_point deadline, bool bInterruptible);
    // The results of the query just sent: the first that failed, else the last. nullptr when
    // the connection failed, with the error set.
    pg_result* Collect();
    // The server is asked to stop what it is running; the request goes on its own thread, as
    // it opens a connection of its own.
    void SendCancel();
    void Abandon(Fault fault, const std::string& text);
    void TakeError(const char* pszMessage);

    const CLibpq* m_pPq = nullptr;
    pg_conn* m_pConn = nullptr;
    int m_nWakeFd = -1;
    std::atomic<bool> m_bInterrupted{false};
    int m_nStatementMs = 60000;
    int m_nLockMs = 10000;
};
