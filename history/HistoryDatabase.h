#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

// One value of a history row: null, an integer, a real number or a text.
using CHistoryValue = std::variant<std::monostate, std::int64_t, double, std::string>;

// A connection to the history database, local file or plant server. Statements carry '?'
// placeholders whatever the engine. Not thread-safe: each thread keeps its own connection.
class CHistoryDatabase {
public:
    using Row = std::vector<CHistoryValue>;
    // Called for each result row; returning false stops reading.
    using RowHandler = std::function<bool(const Row&)>;

    // What went wrong with the last failed call.
    enum class Fault {
        none,
        full,       // the disk (or the file's size limit) is full
        damaged,    // not a database, or a damaged one
        connection, // the server cannot be reached or went away
        refused,    // the server refused the login
        other,
    };

    virtual ~CHistoryDatabase() = default;

    virtual bool IsServer() const = 0;
    virtual bool Run(const std::string& sql, const std::vector<CHistoryValue>& params = {},
                     const RowHandler& onRow = {}) = 0;
    // Several statements without parameters.
    virtual bool Script(const std::string& sql) = 0;
    // Whether the connection is still usable (a server connection may have gone away).
    virtual bool IsConnected() const = 0;

    const std::string& GetError() const { return m_strError; }
    Fault GetFault() const { return m_fault; }

    bool Begin() { return Script("BEGIN"); }
    bool Commit() { return Script("COMMIT"); }
    // Keeps the error of the failure that made the rollback necessary.
    void Rollback();

    // The first column of the first row, or std::monostate.
    CHistoryValue QueryValue(const std::string& sql, const std::vector<CHistoryValue>& params = {});

    static std::int64_t AsInt(const CHistoryValue& v, std::int64_t fallback = 0);
    static double AsReal(const CHistoryValue& v, double fallback);
    static std::string AsText(const CHistoryValue& v);
    static bool IsNull(const CHistoryValue& v) { return v.index() == 0; }

protected:
    void SetError(Fault fault, const std::string& text);
    void ClearError();

    std::string m_strError;
    Fault m_fault = Fault::none;
};
