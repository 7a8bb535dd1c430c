#include "history/HistorySchema.h"

#include "history/HistoryDatabase.h"

#include <algorithm>

namespace {

using Type = CHistorySchema::Type;

const std::vector<CHistorySchema::Column> kShared = {
    {"record_key", Type::text}, {"time_ms", Type::integer}, {"workstation", Type::text},
    {"node_id", Type::integer}, {"station", Type::text},    {"terminal", Type::text},
    {"wire", Type::text},       {"serial_no", Type::text},
};

const CHistorySchema::Table kTableDefs[CHistorySchema::kTables] = {
    {"readings",
     {{"source", Type::text},
      {"good", Type::integer},
      {"bad", Type::integer},
      {"min", Type::integer},
      {"max", Type::integer},
      {"mean", Type::real},
      {"stddev", Type::real},
      {"cp", Type::real},
      {"cpk", Type::real},
      {"blo", Type::integer}}},
    {"curves",
     {{"title", Type::text},
      {"zone1", Type::integer},
      {"zone2", Type::integer},
      {"zone3", Type::integer},
      {"zone4", Type::integer},
      {"zone5", Type::integer},
      {"peak", Type::integer},
      {"rs1", Type::integer},
      {"rs2", Type::integer},
      {"rs3", Type::integer},
      {"rso", Type::integer},
      {"ru1", Type::integer},
      {"ru2", Type::integer},
      {"ru3", Type::integer},
      {"ruo", Type::integer},
      {"pass_count", Type::integer},
      {"fail_count", Type::integer},
      {"force", Type::text},
      {"reference", Type::text}}},
    {"batches",
     {{"title", Type::text},
      {"entry_count", Type::integer},
      {"batch_max", Type::integer},
      {"limit_line", Type::integer},
      {"entries", Type::text},
      {"stats_ok", Type::integer},
      {"good", Type::integer},
      {"bad", Type::integer},
      {"min", Type::integer},
      {"max", Type::integer},
      {"mean", Type::real},
      {"stddev", Type::real},
      {"cp", Type::real},
      {"cpk", Type::real},
      {"blo", Type::integer}}},
    {"changes",
     {{"parameter", Type::text},
      {"value_before", Type::integer},
      {"value_after", Type::integer},
      {"ok", Type::integer},
      {"os_user", Type::text},
      {"error", Type::text}}},
};

const char* TypeName(Type type, bool server) {
    switch (type) {
    case Type::integer:
        return server ? "BIGINT" : "INTEGER";
    case Type::real:
        return server ? "DOUBLE PRECISION" : "REAL";
    case Type::text:
        break;
    }
    return "TEXT";
}

// Hourly sums of the readings, kept by a trigger with every reading, so that a chart of a year
// need not visit every reading: either database takes about a second for a year of one
// station's readings, and milliseconds for its hours.
constexpr const char* kHourlySql = R"(
CREATE TABLE IF NOT EXISTS reading_hours (
    station TEXT NOT NULL, hour_ms INTEGER NOT NULL, workstation TEXT NOT NULL,
    node_id INTEGER NOT NULL, readings INTEGER NOT NULL, crimped INTEGER NOT NULL,
    sum_percent_bad REAL NOT NULL, sum_mean REAL NOT NULL, sum_cp REAL NOT NULL,
    sum_cpk REAL NOT NULL, min_cpk REAL,
    PRIMARY KEY (station, hour_ms, workstation, node_id)) WITHOUT ROWID;
CREATE TRIGGER IF NOT EXISTS readings_hourly AFTER INSERT ON readings BEGIN
    INSERT INTO reading_hours VALUES (NEW.station, NEW.time_ms - NEW.time_ms % 3600000,
        NEW.workstation, NEW.node_id, 1, NEW.good + NEW.bad > 0,
        CASE WHEN NEW.good + NEW.bad > 0 THEN NEW.bad * 100.0 / (NEW.good + NEW.bad) ELSE 0 END,
        IFNULL(NEW.mean, 0), IFNULL(NEW.cp, 0), IFNULL(NEW.cpk, 0), NEW.cpk)
    ON CONFLICT (station, hour_ms, workstation, node_id) DO UPDATE SET
        readings = readings + 1, crimped = crimped + excluded.crimped,
        sum_percent_bad = sum_percent_bad + excluded.sum_percent_bad,
        sum_mean = sum_mean + excluded.sum_mean, sum_cp = sum_cp + excluded.sum_cp,
        sum_cpk = sum_cpk + excluded.sum_cpk,
        min_cpk = CASE WHEN min_cpk IS NULL OR excluded.min_cpk < min_cpk
                       THEN excluded.min_cpk ELSE min_cpk END;
END;
)";

constexpr const char* kHourlyServerSql = R"(
CREATE TABLE IF NOT EXISTS reading_hours (
    station TEXT NOT NULL, hour_ms BIGINT NOT NULL, workstation TEXT NOT NULL,
    node_id BIGINT NOT NULL, readings BIGINT NOT NULL, crimped BIGINT NOT NULL,
    sum_percent_bad DOUBLE PRECISION NOT NULL, sum_mean DOUBLE PRECISION NOT NULL,
    sum_cp DOUBLE PRECISION NOT NULL, sum_cpk DOUBLE PRECISION NOT NULL,
    min_cpk DOUBLE PRECISION,
    PRIMARY KEY (station, hour_ms, workstation, node_id));
CREATE OR REPLACE FUNCTION readings_hourly() RETURNS trigger LANGUAGE plpgsql AS $body$
BEGIN
    INSERT INTO reading_hours VALUES (NEW.station, NEW.time_ms - NEW.time_ms % 3600000,
        NEW.workstation, NEW.node_id, 1, CASE WHEN NEW.good + NEW.bad > 0 THEN 1 ELSE 0 END,
        CASE WHEN NEW.good + NEW.bad > 0 THEN NEW.bad * 100.0 / (NEW.good + NEW.bad) ELSE 0 END,
        COALESCE(NEW.mean, 0), COALESCE(NEW.cp, 0), COALESCE(NEW.cpk, 0), NEW.cpk)
    ON CONFLICT (station, hour_ms, workstation, node_id) DO UPDATE SET
        readings = reading_hours.readings + 1,
        crimped = reading_hours.crimped + excluded.crimped,
        sum_percent_bad = reading_hours.sum_percent_bad + excluded.sum_percent_bad,
        sum_mean = reading_hours.sum_mean + excluded.sum_mean,
        sum_cp = reading_hours.sum_cp + excluded.sum_cp,
        sum_cpk = reading_hours.sum_cpk + excluded.sum_cpk,
        min_cpk = LEAST(reading_hours.min_cpk, excluded.min_cpk);
    RETURN NULL;
END
$body$;
CREATE OR REPLACE TRIGGER readings_hourly AFTER INSERT ON readings
    FOR EACH ROW EXECUTE FUNCTION readings_hourly();
)";

// Taken inside the migration's transaction, so that workstations starting together on an
// empty plant database do not create the tables twice.
constexpr const char* kMigrationLock = "SELECT pg_advisory_xact_lock(5129740163)";

} // namespace

const CHistorySchema::Table& CHistorySchema::GetTable(int kind) {
    return kTableDefs[std::clamp(kind, 0, kTables - 1)];
}

const std::vector<CHistorySchema::Column>& CHistorySchema::SharedColumns() {
    return kShared;
}

std::vector<CHistorySchema::Column> CHistorySchema::InsertColumns(int kind) {
    std::vector<Column> columns = kShared;
    const Table& table = GetTable(kind);
    columns.insert(columns.end(), table.columns.begin(), table.columns.end());
    return columns;
}

std::string CHistorySchema::ColumnList(int kind) {
    std::string list;
    for (const Column& c : InsertColumns(kind)) {
        list += (list.empty() ? "" : ", ") + std::string(c.pszName);
    }
    return list;
}

std::string CHistorySchema::InsertSql(int kind) {
    std::string marks;
    for (std::size_t i = 0; i < InsertColumns(kind).size(); ++i) {
        marks += i == 0 ? "?" : ", ?";
    }
    return "INSERT INTO " + std::string(GetTable(kind).pszName) + " (" + ColumnList(kind) +
           ") VALUES (" + marks + ") ON CONFLICT (record_key) DO NOTHING";
}

std::string CHistorySchema::CreateSql(CHistoryDatabase& db, int kind) {
    const bool server = db.IsServer();
    const std::string name = GetTable(kind).pszName;
    std::string sql = "CREATE TABLE IF NOT EXISTS " + name + " (";
    sql += server ? "id BIGSERIAL PRIMARY KEY" : "id INTEGER PRIMARY KEY";
    for (const Column& c : InsertColumns(kind)) {
        sql += ", " + std::string(c.pszName) + " " + TypeName(c.type, server);
        if (std::string(c.pszName) == "record_key") {
            sql += " NOT NULL UNIQUE";
        } else if (c.type == Type::text && kind != change) {
            sql += " NOT NULL";
        } else if (std::string(c.pszName) == "time_ms" || std::string(c.pszName) == "node_id") {
            sql += " NOT NULL";
        }
        // The time as readers of the database want it, computed from time_ms.
        if (std::string(c.pszName) == "time_ms") {
            sql += server ? ", time_utc TIMESTAMPTZ GENERATED ALWAYS AS "
                            "(to_timestamp(time_ms / 1000.0)) STORED"
                          : ", time_utc TEXT GENERATED ALWAYS AS "
                            "(strftime('%Y-%m-%dT%H:%M:%fZ', time_ms / 1000.0, 'unixepoch')) "
                            "VIRTUAL";
        }
    }
    sql += ");\n";
    for (const char* index : {"station, time_ms", "node_id, time_ms", "time_ms"}) {
        std::string suffix = index;
        std::replace(suffix.begin(), suffix.end(), ',', '_');
        suffix.erase(std::remove(suffix.begin(), suffix.end(), ' '), suffix.end());
        std::string columns = std::string("(") + index + ")";
        // A station's chart is read from this index alone, never from the table's rows.
        if (kind == statistics && suffix == "station_time_ms") {
            columns = server ? "(station, time_ms) INCLUDE (good, bad, mean, cp, cpk)"
                             : "(station, time_ms, good, bad, mean, cp, cpk)";
        }
        sql += "CREATE INDEX IF NOT EXISTS " + name + "_" + suffix + " ON " + name + " " + columns +
               ";\n";
    }
    return sql;
}

bool CHistorySchema::ReadVersion(CHistoryDatabase& db, bool& empty, int& version,
                                 std::string& reason) {
    std::vector<std::string> tables;
    const bool listed =
        db.Run(db.IsServer() ? "SELECT table_name FROM information_schema.tables "
                               "WHERE table_schema = current_schema()"
                             : "SELECT name FROM sqlite_master WHERE type = 'table' "
                               "AND name NOT LIKE 'sqlite_%'",
               {}, [&](const CHistoryDatabase::Row& row) {
                   tables.push_back(CHistoryDatabase::AsText(row[0]));
                   return true;
               });
    if (!listed) {
        reason = db.GetError();
        return false;
    }
    empty = false;
    version = 0;
    if (std::find(tables.begin(), tables.end(), "history_meta") == tables.end()) {
        // A plant database may hold other programs' tables beside ours; a file of our own
        // must be ours alone.
        if (!tables.empty() && !db.IsServer()) {
            reason = "it is not a history file (it holds other tables)";
            return false;
        }
        empty = true;
        return true;
    }
    std::string format;
    std::int64_t stored = -1;
    const bool read =
        db.Run("SELECT name, value FROM history_meta", {}, [&](const CHistoryDatabase::Row& row) {
            const std::string name = CHistoryDatabase::AsText(row[0]);
            if (name == "format") {
                format = CHistoryDatabase::AsText(row[1]);
            } else if (name == "schema_version") {
                stored = CHistoryDatabase::AsInt(row[1], -1);
            }
            return true;
        });
    if (!read) {
        reason = db.GetError();
        return false;
    }
    if (format != kFormat || stored < 1) {
        reason = "it is not a history file of this program";
        return false;
    }
    if (stored > kVersion) {
        reason = "it was written by a newer version of the program (schema " +
                 std::to_string(stored) + ")";
        return false;
    }
    version = static_cast<int>(stored);
    return true;
}

bool CHistorySchema::Check(CHistoryDatabase& db, std::string& reason) {
    bool empty = false;
    int version = 0;
    if (!ReadVersion(db, empty, version, reason)) {
        return false;
    }
    if (empty) {
        reason = "it holds no history";
        return false;
    }
    return true;
}

bool CHistorySchema::Prepare(CHistoryDatabase& db, std::string& reason) {
    bool empty = false;
    int version = 0;
    if (!ReadVersion(db, empty, version, reason)) {
        return false;
    }
    if (version == kVersion) {
        return true;
    }
    if (!db.Begin()) {
        reason = db.GetError();
        return false;
    }
    auto fail = [&] {
        reason = db.GetError();
        db.Rollback();
        return false;
    };
    if (db.IsServer()) {
        // Another workstation may have brought the schema up to date while we waited.
        if (!db.Script(kMigrationLock) || !ReadVersion(db, empty, version, reason)) {
            return fail();
        }
    }
    // One step per schema version; each brings the database from the version before it.
    while (version < kVersion) {
        const int next = version + 1;
        if (next == 1) {
            std::string sql = "CREATE TABLE IF NOT EXISTS history_meta "
                              "(name TEXT PRIMARY KEY, value TEXT NOT NULL);\n";
            for (int kind = 0; kind < kTables; ++kind) {
                sql += CreateSql(db, kind);
            }
            if (!db.IsServer()) {
                // Records not yet on the plant server, in the order they were made.
                sql += "CREATE TABLE IF NOT EXISTS outbox (seq INTEGER PRIMARY KEY, "
                       "table_name TEXT NOT NULL, row_id INTEGER NOT NULL);\n";
            }
            sql += db.IsServer() ? kHourlyServerSql : kHourlySql;
            if (!db.Script(sql) ||
                !db.Run("INSERT INTO history_meta (name, value) VALUES ('format', ?) "
                        "ON CONFLICT (name) DO NOTHING",
                        {std::string(kFormat)})) {
                return fail();
            }
        }
        version = next;
    }
    if (!db.Run("INSERT INTO history_meta (name, value) VALUES ('schema_version', ?) "
                "ON CONFLICT (name) DO UPDATE SET value = excluded.value",
                {std::to_string(kVersion)}) ||
        !db.Commit()) {
        return fail();
    }
    return true;
}
