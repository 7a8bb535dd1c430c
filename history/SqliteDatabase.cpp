#include "history/SqliteDatabase.h"

#include <sqlite3.h>

CSqliteDatabase::~CSqliteDatabase() {
    Close();
}

bool CSqliteDatabase::Open(const std::string& path, Mode mode) {
    Close();
    ClearError();
    int flags = SQLITE_OPEN_NOMUTEX;
    switch (mode) {
    case Mode::create:
        flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
        break;
    case Mode::readWrite:
        flags |= SQLITE_OPEN_READWRITE;
        break;
    case Mode::readOnly:
        flags |= SQLITE_OPEN_READONLY;
        break;
    }
    const int rc = sqlite3_open_v2(path.c_str(), &m_pDb, flags, nullptr);
    if (rc != SQLITE_OK) {
        TakeError(rc);
        Close();
        return false;
    }
    sqlite3_extended_result_codes(m_pDb, 1);
    // Another program's writer (a second instance, a clean-up) holds the lock only briefly.
    sqlite3_busy_timeout(m_pDb, 5000);
    return true;
}

void CSqliteDatabase::Close() {
    for (auto& [sql, stmt] : m_statements) {
        sqlite3_finalize(stmt);
    }
    m_statements.clear();
    if (m_pDb != nullptr) {
        sqlite3_close_v2(m_pDb);
        m_pDb = nullptr;
    }
}

void CSqliteDatabase::TakeError(int rc) {
    const std::string text = m_pDb != nullptr ? sqlite3_errmsg(m_pDb) : sqlite3_errstr(rc);
    switch (rc & 0xFF) {
    case SQLITE_FULL:
        SetError(Fault::full, text);
        break;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        SetError(Fault::damaged, text);
        break;
    default:
        SetError(Fault::other, text);
        break;
    }
}

bool CSqliteDatabase::Run(const std::string& sql, const std::vector<CHistoryValue>& params,
                          const RowHandler& onRow) {
    if (m_pDb == nullptr) {
        SetError(Fault::other, "the history file is not open");
        return false;
    }
    sqlite3_stmt* stmt = nullptr;
    if (auto it = m_statements.find(sql); it != m_statements.end()) {
        stmt = it->second;
    } else {
        const int rc = sqlite3_prepare_v2(m_pDb, sql.c_str(), static_cast<int>(sql.size()) + 1,
                                          &stmt, nullptr);
        if (rc != SQLITE_OK) {
            TakeError(rc);
            return false;
        }
        m_statements[sql] = stmt;
    }
    for (std::size_t i = 0; i < params.size(); ++i) {
        const int at = static_cast<int>(i) + 1;
        const CHistoryValue& v = params[i];
        if (const auto* n = std::get_if<std::int64_t>(&v)) {
            sqlite3_bind_int64(stmt, at, *n);
        } else if (const auto* d = std::get_if<double>(&v)) {
            sqlite3_bind_double(stmt, at, *d);
        } else if (const auto* s = std::get_if<std::string>(&v)) {
            sqlite3_bind_text(stmt, at, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_null(stmt, at);
        }
    }
    int rc = SQLITE_OK;
    Row row;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (!onRow) {
            continue;
        }
        const int n = sqlite3_column_count(stmt);
        row.assign(static_cast<std::size_t>(n), CHistoryValue());
        for (int c = 0; c < n; ++c) {
            switch (sqlite3_column_type(stmt, c)) {
            case SQLITE_INTEGER:
                row[static_cast<std::size_t>(c)] =
                    static_cast<std::int64_t>(sqlite3_column_int64(stmt, c));
                break;
            case SQLITE_FLOAT:
                row[static_cast<std::size_t>(c)] = sqlite3_column_double(stmt, c);
                break;
            case SQLITE_NULL:
                break;
            default: {
                const auto* text = sqlite3_column_text(stmt, c);
                const int size = sqlite3_column_bytes(stmt, c);
                row[static_cast<std::size_t>(c)] = std::string(reinterpret_cast<const char*>(text),
                                                               static_cast<std::size_t>(size));
                break;
            }
            }
        }
        if (!onRow(row)) {
            rc = SQLITE_DONE;
            break;
        }
    }
    const bool ok = rc == SQLITE_DONE;
    if (!ok) {
        TakeError(rc);
    } else {
        ClearError();
    }
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    return ok;
}

bool CSqliteDatabase::Script(const std::string& sql) {
    if (m_pDb == nullptr) {
        SetError(Fault::other, "the history file is not open");
        return false;
    }
    const int rc = sqlite3_exec(m_pDb, sql.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        TakeError(rc);
        return false;
    }
    ClearError();
    return true;
}

std::int64_t CSqliteDatabase::LastInsertId() const {
    return m_pDb != nullptr ? sqlite3_last_insert_rowid(m_pDb) : 0;
}

int CSqliteDatabase::Changes() const {
    return m_pDb != nullptr ? sqlite3_changes(m_pDb) : 0;
}
