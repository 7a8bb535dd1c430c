#pragma once

#include <string>
#include <vector>

class CHistoryDatabase;

// The history's tables, the same in the local file and on the plant server, and the steps
// that bring a database from any earlier schema version to the current one.
class CHistorySchema {
public:
    static constexpr int kVersion = 1;
    // Written into history_meta so that a file of another program is never taken for ours.
    static constexpr const char* kFormat = "Quorvel history";

    enum class Type { text, integer, real };
    struct Column {
        const char* pszName;
        Type type;
    };
    struct Table {
        const char* pszName;
        std::vector<Column> columns; // after the columns every table shares
    };

    enum Kind { statistics = 0, curve = 1, batch = 2, change = 3 };
    static const Table& GetTable(int kind);
    static constexpr int kTables = 4;

    // Columns every table starts with, before the table's own.
    static const std::vector<Column>& SharedColumns();
    // Shared then own columns: the columns a record supplies, in insert order.
    static std::vector<Column> InsertColumns(int kind);
    static std::string ColumnList(int kind);
    // Inserting a record; a record already there (same record_key) is left alone.
    static std::string InsertSql(int kind);

    // Brings the database to kVersion, creating it when it holds nothing. Refuses (false,
    // with the reason) a database that holds other tables than ours, or a newer version. The
    // local file also gets the outbox of records waiting for the plant server.
    static bool Prepare(CHistoryDatabase& db, std::string& reason);
    // Checks without changing anything that the database is a history of a version this
    // program reads.
    static bool Check(CHistoryDatabase& db, std::string& reason);

private:
    static std::string CreateSql(CHistoryDatabase& db, int kind);
    static bool ReadVersion(CHistoryDatabase& db, bool& empty, int& version, std::string& reason);
};
