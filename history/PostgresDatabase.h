#pragma once

#include "history/HistoryDatabase.h"

struct pg_conn;

// The plant's history database on a PostgreSQL server, through libpq.
class CPostgresDatabase : public CHistoryDatabase {
public:
    CPostgresDatabase() = default;
    ~CPostgresDatabase() override;
    CPostgresDatabase(const CPostgresDatabase&) = delete;
    CPostgresDatabase& operator=(const CPostgresDatabase&) = delete;

    // A postgresql:// URL. Connecting gives up after connectTimeoutS; a server that stops
    // answering is noticed by TCP keep-alives and a user time-out instead of waiting for ever.
    bool Connect(const std::string& url, int connectTimeoutS = 5);
    void Close();

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
    void TakeError(const char* pszMessage);

    pg_conn* m_pConn = nullptr;
};
