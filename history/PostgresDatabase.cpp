#include "history/PostgresDatabase.h"

#include "history/Libpq.h"
#include "history/PostgresUrl.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <memory>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace {

// Type identifiers of the built-in types the history's columns and aggregates use.
constexpr Oid kBool = 16;
constexpr Oid kInt8 = 20;
constexpr Oid kInt2 = 21;
constexpr Oid kInt4 = 23;
constexpr Oid kFloat4 = 700;
constexpr Oid kFloat8 = 701;
constexpr Oid kNumeric = 1700;

// Beyond the server's own statement time-out, for a server that stops answering altogether.
constexpr int kClientGraceMs = 10000;
// With no statement time-out on the server, still no wait for ever.
constexpr int kUnboundedStatementMs = 600000;
// After a cancel request, how long the statement gets to end before the connection is dropped.
constexpr int kCancelWaitMs = 1000;
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

CHistoryValue CellValue(const CLibpq& pq, const PGresult* res, int row, int col) {
    if (pq.m_pfnGetisnull(res, row, col)) {
        return {};
    }
    const char* text = pq.m_pfnGetvalue(res, row, col);
    const std::string s(text, static_cast<std::size_t>(pq.m_pfnGetlength(res, row, col)));
    switch (pq.m_pfnFtype(res, col)) {
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
    const CLibpq* pPq = nullptr;
    void operator()(PGresult* res) const { pPq->m_pfnClear(res); }
};
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

} // namespace

CPostgresDatabase::CPostgresDatabase() {
    m_nWakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

CPostgresDatabase::~CPostgresDatabase() {
    Close();
    if (m_nWakeFd >= 0) {
        ::close(m_nWakeFd);
    }
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

void CPostgresDatabase::SetTimeouts(int nStatementMs, int nLockMs) {
    m_nStatementMs = std::max(nStatementMs, 0);
    m_nLockMs = std::max(nLockMs, 0);
}

void CPostgresDatabase::Interrupt() {
    m_bInterrupted = true;
    if (m_nWakeFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_nWakeFd, &one, sizeof one);
    }
}

CPostgresDatabase::Wake CPostgresDatabase::WaitSocket(short events, Clock::time_point deadline,
                                                      bool bInterruptible) {
    for (;;) {
        if (bInterruptible && m_bInterrupted) {
            return Wake::interrupted;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return Wake::timeout;
        }
        pollfd fds[2] = {{m_pPq->m_pfnSocket(m_pConn), events, 0}, {m_nWakeFd, POLLIN, 0}};
        if (fds[0].fd < 0) {
            return Wake::failed;
        }
        const int n = ::poll(fds, bInterruptible && m_nWakeFd >= 0 ? 2 : 1,
                             static_cast<int>(std::min<long long>(left, 60000)));
        if (n < 0 && errno != EINTR) {
            return Wake::failed;
        }
        if (n > 0 && fds[0].revents != 0) {
            return Wake::ready;
        }
    }
}

bool CPostgresDatabase::Connect(const std::string& url, int connectTimeoutS) {
    Close();
    ClearError();
    std::string why;
    m_pPq = CLibpq::Get(why);
    if (m_pPq == nullptr) {
        SetError(Fault::connection, why);
        return false;
    }
    if (m_bInterrupted) {
        SetError(Fault::connection, "stopped");
        return false;
    }
    const std::string timeout = std::to_string(connectTimeoutS);
    // Defaults first: the URL's own settings, expanded in place of dbname, override them.
    const char* keys[] = {"connect_timeout",     "keepalives",       "keepalives_idle",
                          "keepalives_interval", "keepalives_count", "tcp_user_timeout",
                          "application_name",    "dbname",           nullptr};
    const char* values[] = {timeout.c_str(),   "1",         "10",   "5", "3", "20000",
                            "Quorvel history", url.c_str(), nullptr};
    m_pConn = m_pPq->m_pfnConnectStartParams(keys, values, 1);
    if (m_pConn == nullptr) {
        SetError(Fault::connection, "out of memory");
        return false;
    }
    auto fail = [&](Fault fault, const std::string& text) {
        Abandon(fault, text);
        return false;
    };
    auto refusedOrNot = [&] {
        // libpq quotes parts of a URL it cannot read, a password among them.
        const std::string message =
            CPostgresUrl::Scrubbed(OneLine(m_pPq->m_pfnErrorMessage(m_pConn)), url);
        // A server that answered with a refusal is told apart from one that is not there.
        const bool answered = message.find("FATAL") != std::string::npos ||
                              m_pPq->m_pfnConnectionNeedsPassword(m_pConn) != 0;
        return fail(answered ? Fault::refused : Fault::connection, message);
    };
    if (m_pPq->m_pfnStatus(m_pConn) == CONNECTION_BAD) {
        return refusedOrNot();
    }
    // Without waiting inside libpq, so that Interrupt ends an attempt under way at once.
    const auto deadline = Clock::now() + std::chrono::seconds(std::max(connectTimeoutS, 1));
    PostgresPollingStatusType polled = PGRES_POLLING_WRITING;
    while (polled != PGRES_POLLING_OK) {
        if (polled == PGRES_POLLING_FAILED) {
            return refusedOrNot();
        }
        switch (WaitSocket(polled == PGRES_POLLING_READING ? POLLIN : POLLOUT, deadline, true)) {
        case Wake::ready:
            break;
        case Wake::timeout:
            return fail(Fault::connection, "no answer within " + timeout + " s");
        case Wake::interrupted:
            return fail(Fault::connection, "stopped");
        case Wake::failed:
            return refusedOrNot();
        }
        polled = m_pPq->m_pfnConnectPoll(m_pConn);
    }
    m_pPq->m_pfnSetNoticeProcessor(m_pConn, IgnoreNotice, nullptr);
    if (m_pPq->m_pfnSetNonblocking(m_pConn, 1) != 0) {
        return fail(Fault::connection,
                    CPostgresUrl::Scrubbed(OneLine(m_pPq->m_pfnErrorMessage(m_pConn)), url));
    }
    // The server's own bounds: a statement stuck behind another session's lock, or running
    // away, ends with an error instead of holding the connection.
    if (!Script("SET statement_timeout = " + std::to_string(m_nStatementMs) +
                "; SET lock_timeout = " + std::to_string(m_nLockMs))) {
        const Fault fault = GetFault();
        const std::string text = GetError();
        return fail(fault, text);
    }
    return true;
}

void CPostgresDatabase::Close() {
    if (m_pConn != nullptr) {
        m_pPq->m_pfnFinish(m_pConn);
        m_pConn = nullptr;
    }
}

void CPostgresDatabase::Abandon(Fault fault, const std::string& text) {
    Close();
    SetError(fault, text);
}

bool CPostgresDatabase::IsConnected() const {
    return m_pConn != nullptr && m_pPq->m_pfnStatus(m_pConn) == CONNECTION_OK;
}

void CPostgresDatabase::TakeError(const char* pszMessage) {
    const std::string message = OneLine(pszMessage);
    if (m_pConn == nullptr || m_pPq->m_pfnStatus(m_pConn) != CONNECTION_OK) {
        SetError(Fault::connection, message.empty() ? "the connection was lost" : message);
    } else if (message.find("could not extend") != std::string::npos ||
               message.find("No space left") != std::string::npos) {
        SetError(Fault::full, message);
    } else {
        SetError(Fault::other, message);
    }
}

void CPostgresDatabase::SendCancel() {
    PGcancel* pCancel = m_pPq->m_pfnGetCancel(m_pConn);
    if (pCancel == nullptr) {
        return;
    }
    // The request holds only its own copy of the server's address and key, and libpq stays
    // loaded, so it may outlive this object; it ends with the server's answer or the kernel's
    // connect time-out.
    std::thread([pPq = m_pPq, pCancel] {
        char error[256];
        pPq->m_pfnCancel(pCancel, error, sizeof error);
        pPq->m_pfnFreeCancel(pCancel);
    }).detach();
}

PGresult* CPostgresDatabase::Collect() {
    const int statementMs = m_nStatementMs > 0 ? m_nStatementMs : kUnboundedStatementMs;
    auto deadline = Clock::now() + std::chrono::milliseconds(statementMs + kClientGraceMs);
    bool bCancelled = false;
    PGresult* pKept = nullptr;
    auto failed = [&](const PGresult* res) {
        const ExecStatusType status = m_pPq->m_pfnResultStatus(res);
        return status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK;
    };
    // Of several statements, the first that failed tells why; else the last one's rows.
    auto keep = [&](PGresult* res) {
        if (pKept != nullptr && failed(pKept)) {
            m_pPq->m_pfnClear(res);
            return;
        }
        if (pKept != nullptr) {
            m_pPq->m_pfnClear(pKept);
        }
        pKept = res;
    };
    auto giveUp = [&](Fault fault, const std::string& text) -> PGresult* {
        if (pKept != nullptr) {
            m_pPq->m_pfnClear(pKept);
        }
        Abandon(fault, text);
        return nullptr;
    };
    // A large statement goes out as the server takes it.
    bool bFlushed = false;
    for (;;) {
        if (!bFlushed) {
            const int flushed = m_pPq->m_pfnFlush(m_pConn);
            if (flushed < 0) {
                return giveUp(Fault::connection, OneLine(m_pPq->m_pfnErrorMessage(m_pConn)));
            }
            bFlushed = flushed == 0;
        }
        while (bFlushed && m_pPq->m_pfnIsBusy(m_pConn) == 0) {
            PGresult* res = m_pPq->m_pfnGetResult(m_pConn);
            if (res == nullptr) {
                if (bCancelled) {
                    // What the statement did is rolled back with the connection.
                    return giveUp(Fault::connection, "stopped");
                }
                return pKept;
            }
            keep(res);
        }
        const short events = bFlushed ? POLLIN : static_cast<short>(POLLIN | POLLOUT);
        switch (WaitSocket(events, deadline, !bCancelled)) {
        case Wake::ready:
            if (m_pPq->m_pfnConsumeInput(m_pConn) == 0) {
                return giveUp(Fault::connection, OneLine(m_pPq->m_pfnErrorMessage(m_pConn)));
            }
            break;
        case Wake::timeout:
            if (bCancelled) {
                return giveUp(Fault::connection, "stopped");
            }
            SendCancel();
            return giveUp(Fault::connection,
                          "no answer within " +
                              std::to_string((statementMs + kClientGraceMs) / 1000) + " s");
        case Wake::interrupted:
            SendCancel();
            bCancelled = true;
            deadline = Clock::now() + std::chrono::milliseconds(kCancelWaitMs);
            break;
        case Wake::failed:
            return giveUp(Fault::connection, "the connection was lost");
        }
    }
}

bool CPostgresDatabase::Run(const std::string& sql, const std::vector<CHistoryValue>& params,
                            const RowHandler& onRow) {
    if (m_pConn == nullptr) {
        SetError(Fault::connection, "not connected");
        return false;
    }
    if (m_bInterrupted) {
        Abandon(Fault::connection, "stopped");
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
    if (m_pPq->m_pfnSendQueryParams(m_pConn, Numbered(sql).c_str(), static_cast<int>(params.size()),
                                    nullptr, pointers.data(), nullptr, nullptr, 0) == 0) {
        TakeError(m_pPq->m_pfnErrorMessage(m_pConn));
        return false;
    }
    ResultPtr res(Collect(), ResultDeleter{m_pPq});
    if (m_pConn == nullptr) {
        return false; // the error is set
    }
    const ExecStatusType status = res ? m_pPq->m_pfnResultStatus(res.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        TakeError(res ? m_pPq->m_pfnResultErrorMessage(res.get())
                      : m_pPq->m_pfnErrorMessage(m_pConn));
        return false;
    }
    ClearError();
    if (status == PGRES_TUPLES_OK && onRow) {
        const int rows = m_pPq->m_pfnNtuples(res.get());
        const int cols = m_pPq->m_pfnNfields(res.get());
        Row row(static_cast<std::size_t>(cols));
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c) {
                row[static_cast<std::size_t>(c)] = CellValue(*m_pPq, res.get(), r, c);
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
    if (m_bInterrupted) {
        Abandon(Fault::connection, "stopped");
        return false;
    }
    if (m_pPq->m_pfnSendQuery(m_pConn, sql.c_str()) == 0) {
        TakeError(m_pPq->m_pfnErrorMessage(m_pConn));
        return false;
    }
    ResultPtr res(Collect(), ResultDeleter{m_pPq});
    if (m_pConn == nullptr) {
        return false;
    }
    const ExecStatusType status = res ? m_pPq->m_pfnResultStatus(res.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        TakeError(res ? m_pPq->m_pfnResultErrorMessage(res.get())
                      : m_pPq->m_pfnErrorMessage(m_pConn));
        return false;
    }
    ClearError();
    return true;
}
