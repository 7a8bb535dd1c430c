#pragma once

#include "history/HistoryDatabase.h"

#include <map>

struct sqlite3;
struct sqlite3_stmt;

// The local history file through the system's SQLite.
class CSqliteDatabase : public CHistoryDatabase {
public:
    enum class Mode {
        create, // read and write, the file made when missing
        readWrite,
        readOnly,
    };

    CSqliteDatabase() = default;
    ~CSqliteDatabase() override;
    CSqliteDatabase(const CSqliteDatabase&) = delete;
    CSqliteDatabase& operator=(const CSqliteDatabase&) = delete;

    bool Open(const std::string& path, Mode mode);
    void Close();

    bool IsServer() const override { return false; }
    bool Run(const std::string& sql, const std::vector<CHistoryValue>& params = {},
             const RowHandler& onRow = {}) override;
    bool Script(const std::string& sql) override;
    bool IsConnected() const override { return m_pDb != nullptr; }

    std::int64_t LastInsertId() const;
    // Rows changed by the last statement.
    int Changes() const;

private:
    void TakeError(int rc);

    sqlite3* m_pDb = nullptr;
    std::map<std::string, sqlite3_stmt*> m_statements; // prepared once, reused
};
