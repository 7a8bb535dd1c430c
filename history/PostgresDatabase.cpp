#include "history/PostgresDatabase.h"

#include "history/PostgresUrl.h"

#include <libpq-fe.h>

#include <charconv>
#include <memory>

namespace {

// Type identifiers of the built-in types the history's columns and aggregates use.
constexpr Oid kBool = 16;
constexpr Oid kInt8 = 20;
constexpr Oid kInt2 = 21;
constexpr Oid kInt4 = 23;
constexpr Oid kFloat4 = 700;
constexpr Oid kFloat8 = 701;
constexpr Oid kNumeric = 1700;

// libpq's messages run over several lines; a status bar wants one.
std::string OneLine(const char* psz) {
    std::string text = psz != nullptr ? psz : "";
    std::string line;
    bool space = false;
    for (char c : text) {
        if (c == '\n' || c == '\r' || c == '\t') {
            space = !line.empty();
            continue;
        }
        if (space) {
            line += ' ';
            space = false;
        }
        line += c;
    }
    return line;
}

// '?' placeholders become $1, $2, ...; the history's statements hold no '?' in literals.
std::string Numbered(const std::string& sql) {
    std::string out;
    int n = 0;
    for (char c : sql) {
        if (c == '?') {
            out += '$' + std::to_string(++n);
        } else {
            out += c;
        }
    }
    return out;
}

std::string ValueText(const CHistoryValue& v) {
    if (const auto* d = std::get_if<double>(&v)) {
        char buffer[64];
        auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, *d);
        return ec == std::errc() ? std::string(buffer, end) : std::string("NaN");
    }
    return CHistoryDatabase::AsText(v);
}

CHistoryValue CellValue(const PGresult* res, int row, int col) {
    if (PQgetisnull(res, row, col)) {
        return {};
    }
    const char* text = PQgetvalue(res, row, col);
    const std::string s(text, static_cast<std::size_t>(PQgetlength(res, row, col)));
    switch (PQftype(res, col)) {
    case kInt2:
    case kInt4:
    case kInt8: {
        std::int64_t v = 0;
        auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
        return ec == std::errc() ? CHistoryValue(v) : CHistoryValue(s);
    }
    case kFloat4:
    case kFloat8:
    case kNumeric: {
        double v = 0;
        auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
        return ec == std::errc() ? CHistoryValue(v) : CHistoryValue(s);
    }
    case kBool:
        return CHistoryValue(std::int64_t{s == "t" ? 1 : 0});
    default:
        return s;
    }
}

void IgnoreNotice(void*, const char*) {}

struct ResultDeleter {
    void operator()(PGresult* res) const { PQclear(res); }
};
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

} // namespace

CPostgresDatabase::~CPostgresDatabase() {
    Close();
}

bool CPostgresDatabase::IsUrl(const std::string& text) {
    return text.rfind("postgresql://", 0) == 0 || text.rfind("postgres://", 0) == 0;
}

std::string CPostgresDatabase::DescribeUrl(const std::string& url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string::npos) {
        return url;
    }
    const std::size_t hostStart = scheme + 3;
    const std::size_t at = url.find('@', hostStart);
    const std::size_t slash = url.find('/', hostStart);
    std::string text = url;
    if (at != std::string::npos && (slash == std::string::npos || at < slash)) {
        const std::string userInfo = url.substr(hostStart, at - hostStart);
        const std::size_t colon = userInfo.find(':');
        if (colon != std::string::npos) {
            text = url.substr(0, hostStart) + userInfo.substr(0, colon) + url.substr(at);
        }
    }
    const std::size_t query = text.find('?');
    if (query == std::string::npos) {
        return text;
    }
    // Of the parameters only a service name says where the records go.
    CPostgresUrl::CParts parts;
    const bool service = CPostgresUrl::Parse(url, parts) && !parts.m_strService.empty();
    return text.substr(0, query) +
           (service ? "?service=" + CPostgresUrl::Encode(parts.m_strService) : std::string());
}

bool CPostgresDatabase::Connect(const std::string& url, int connectTimeoutS) {
    Close();
    ClearError();
    const std::string timeout = std::to_string(connectTimeoutS);
    // Defaults first: the URL's own settings, expanded in place of dbname, override them.
    const char* keys[] = {"connect_timeout",     "keepalives",       "keepalives_idle",
                          "keepalives_interval", "keepalives_count", "tcp_user_timeout",
                          "application_name",    "dbname",           nullptr};
    const char* values[] = {timeout.c_str(),   "1",         "10",   "5", "3", "20000",
                            "Quorvel history", url.c_str(), nullptr};
    m_pConn = PQconnectdbParams(keys, values, 1);
    if (m_pConn == nullptr) {
        SetError(Fault::connection, "out of memory");
        return false;
    }
    PQsetNoticeProcessor(m_pConn, IgnoreNotice, nullptr);
    if (PQstatus(m_pConn) != CONNECTION_OK) {
        // libpq quotes parts of a URL it cannot read, a password among them.
        const std::string message = CPostgresUrl::Scrubbed(OneLine(PQerrorMessage(m_pConn)), url);
        // A server that answered with a refusal is told apart from one that is not there.
        const bool answered =
            message.find("FATAL") != std::string::npos || PQconnectionNeedsPassword(m_pConn) != 0;
        SetError(answered ? Fault::refused : Fault::connection, message);
        PQfinish(m_pConn);
        m_pConn = nullptr;
        return false;
    }
    return true;
}

void CPostgresDatabase::Close() {
    if (m_pConn != nullptr) {
        PQfinish(m_pConn);
        m_pConn = nullptr;
    }
}

bool CPostgresDatabase::IsConnected() const {
    return m_pConn != nullptr && PQstatus(m_pConn) == CONNECTION_OK;
}

void CPostgresDatabase::TakeError(const char* pszMessage) {
    const std::string message = OneLine(pszMessage);
    if (m_pConn == nullptr || PQstatus(m_pConn) != CONNECTION_OK) {
        SetError(Fault::connection, message.empty() ? "the connection was lost" : message);
    } else if (message.find("could not extend") != std::string::npos ||
               message.find("No space left") != std::string::npos) {
        SetError(Fault::full, message);
    } else {
        SetError(Fault::other, message);
    }
}

bool CPostgresDatabase::Run(const std::string& sql, const std::vector<CHistoryValue>& params,
                            const RowHandler& onRow) {
    if (m_pConn == nullptr) {
        SetError(Fault::connection, "not connected");
        return false;
    }
    std::vector<std::string> texts;
    std::vector<const char*> pointers;
    texts.reserve(params.size());
    for (const CHistoryValue& v : params) {
        texts.push_back(ValueText(v));
    }
    for (std::size_t i = 0; i < params.size(); ++i) {
        pointers.push_back(IsNull(params[i]) ? nullptr : texts[i].c_str());
    }
    ResultPtr res(PQexecParams(m_pConn, Numbered(sql).c_str(), static_cast<int>(params.size()),
                               nullptr, pointers.data(), nullptr, nullptr, 0));
    const ExecStatusType status = res ? PQresultStatus(res.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        TakeError(res ? PQresultErrorMessage(res.get()) : PQerrorMessage(m_pConn));
        return false;
    }
    ClearError();
    if (status == PGRES_TUPLES_OK && onRow) {
        const int rows = PQntuples(res.get());
        const int cols = PQnfields(res.get());
        Row row(static_cast<std::size_t>(cols));
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c) {
                row[static_cast<std::size_t>(c)] = CellValue(res.get(), r, c);
            }
            if (!onRow(row)) {
                break;
            }
        }
    }
    return true;
}

bool CPostgresDatabase::Script(const std::string& sql) {
    if (m_pConn == nullptr) {
        SetError(Fault::connection, "not connected");
        return false;
    }
    ResultPtr res(PQexec(m_pConn, sql.c_str()));
    const ExecStatusType status = res ? PQresultStatus(res.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        TakeError(res ? PQresultErrorMessage(res.get()) : PQerrorMessage(m_pConn));
        return false;
    }
    ClearError();
    return true;
}
