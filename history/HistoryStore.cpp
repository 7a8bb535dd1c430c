#include "history/HistoryStore.h"

#include "history/HistorySchema.h"
#include "history/PostgresDatabase.h"
#include "history/SqliteDatabase.h"
#include "network/Stats.h"
#include "records/BatchRecord.h"
#include "records/CurveRecord.h"
#include "records/TimeText.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Records per transaction: large enough to keep up with any line, small enough that one
// commit stays short.
constexpr std::size_t kWriteChunk = 500;
constexpr int kSendChunk = 500;

// The analyser's statistics are tenths; the float they travel in is not.
CHistoryValue Tenths(float value) {
    if (!std::isfinite(value)) {
        return {};
    }
    return std::round(static_cast<double>(value) * 10.0) / 10.0;
}

CHistoryValue Int(std::int64_t value) {
    return value;
}

std::string ValueArray(const std::vector<tagPOINT>& points, std::size_t count) {
    std::string text = "[";
    for (std::size_t i = 0; i < count && i < points.size(); ++i) {
        if (i != 0) {
            text += ',';
        }
        text += std::to_string(points[i].y);
    }
    return text + "]";
}

bool MakeDirectories(const std::string& path) {
    std::size_t at = 0;
    while ((at = path.find('/', at + 1)) != std::string::npos) {
        const std::string dir = path.substr(0, at);
        if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return true;
}

// What a record takes in memory, roughly: its values and their texts.
std::size_t Bytes(const std::vector<CHistoryValue>& values) {
    std::size_t n = values.capacity() * sizeof(CHistoryValue) + 64;
    for (const CHistoryValue& v : values) {
        if (const auto* text = std::get_if<std::string>(&v)) {
            n += text->capacity();
        }
    }
    return n;
}

std::string Hex(std::uint64_t value, int digits) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i) {
        text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
        value >>= 4;
    }
    return text;
}

} // namespace

CHistoryStore::CHistoryStore() = default;

CHistoryStore::~CHistoryStore() {
    Close();
}

std::string CHistoryStore::DefaultLocalPath() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        base = std::string(home) + "/.local/share";
    } else {
        base = "/tmp";
    }
    return base + "/Velmora/Quorvel/history.db";
}

std::string CHistoryStore::DefaultWorkstation() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "localhost";
    }
    return name;
}

std::string CHistoryStore::CurrentUser() {
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_name != nullptr) {
        return found->pw_name;
    }
    if (const char* user = std::getenv("USER"); user != nullptr && user[0] != '\0') {
        return user;
    }
    return std::to_string(::geteuid());
}

void CHistoryStore::SetObserver(Observer observer) {
    std::lock_guard<std::mutex> lock(m_observerMutex);
    m_observer = std::move(observer);
}

CHistoryStatus CHistoryStore::GetStatus() const {
    std::lock_guard<std::mutex> lock(m_statusMutex);
    return m_status;
}

void CHistoryStore::UpdateStatus(const std::function<void(CHistoryStatus&)>& change) {
    std::lock_guard<std::mutex> observerLock(m_observerMutex);
    CHistoryStatus now;
    bool tell = false;
    {
        std::lock_guard<std::mutex> lock(m_statusMutex);
        const CHistoryStatus before = m_status;
        change(m_status);
        now = m_status;
        tell = now.m_state != before.m_state || now.m_server != before.m_server ||
               now.GetText() != before.GetText();
    }
    if (tell && m_observer) {
        m_observer(now);
    }
}

void CHistoryStore::Start(const COptions& options) {
    Close();
    m_options = options;
    const bool server = CPostgresDatabase::IsUrl(options.m_strTarget);
    m_strServerUrl = server ? options.m_strTarget : std::string();
    m_strLocalPath = !server && !options.m_strTarget.empty() ? options.m_strTarget
                     : !options.m_strLocalPath.empty()       ? options.m_strLocalPath
                                                             : DefaultLocalPath();
    if (m_options.m_strWorkstation.empty()) {
        m_options.m_strWorkstation = DefaultWorkstation();
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.clear();
        m_nQueuedBytes = 0;
        m_bStop = false;
        m_bOpenDone = m_bOpenOk = m_bWriterDone = false;
        m_bSenderDone = !server;
        m_nAccepted = m_nSettled = m_nSentGen = 0;
        // With a plant database, idle means the sender has once found the outbox empty: it
        // may hold records of an earlier run.
        m_nWriteGen = server ? 1 : 0;
        m_bSenderWake = false;
        m_random.seed(std::random_device{}() ^
                      static_cast<std::uint64_t>(Clock::now().time_since_epoch().count()));
    }
    m_held.clear();
    m_nHeldBytes = 0;
    if (server) {
        m_pServer = std::make_unique<CPostgresDatabase>();
        m_pServer->SetTimeouts(options.m_nStatementTimeoutMs, options.m_nLockTimeoutMs);
    }
    UpdateStatus([&](CHistoryStatus& s) {
        s = CHistoryStatus();
        s.m_state = CHistoryStatus::State::opening;
        s.m_strLocalPath = m_strLocalPath;
        s.m_server = server ? CHistoryStatus::Server::connecting : CHistoryStatus::Server::none;
        s.m_strServer = server ? CPostgresDatabase::DescribeUrl(m_strServerUrl) : std::string();
    });
    m_bAccepting = true;
    m_writer = std::thread([this] { WriterLoop(); });
    if (server) {
        m_sender = std::thread([this] { SenderLoop(); });
    }
}

bool CHistoryStore::Open(const COptions& options) {
    Start(options);
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idleCv.wait(lock, [&] { return m_bOpenDone; });
    return m_bOpenOk;
}

bool CHistoryStore::OpenLocal() {
    auto fail = [&](const std::string& problem) {
        UpdateStatus([&](CHistoryStatus& s) {
            s.m_state = CHistoryStatus::State::failed;
            s.m_server = CHistoryStatus::Server::none;
            s.m_strServer.clear();
            s.m_strProblem = problem;
        });
        m_pLocal.reset();
        return false;
    };
    const std::string where = "the history file " + m_strLocalPath;
    if (!MakeDirectories(m_strLocalPath)) {
        return fail("cannot create the folder of " + where);
    }
    m_pLocal = std::make_unique<CSqliteDatabase>();
    if (!m_pLocal->Open(m_strLocalPath, CSqliteDatabase::Mode::create)) {
        return fail("cannot open " + where + " (" + m_pLocal->GetError() + ")");
    }
    // The schema is checked before anything is written, so a file that is not ours stays as
    // it is.
    std::string reason;
    if (!CHistorySchema::Prepare(*m_pLocal, reason)) {
        return fail("cannot use " + where + ": " + reason);
    }
    if (!m_pLocal->Script("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL")) {
        return fail("cannot use " + where + ": " + m_pLocal->GetError());
    }
    if (m_options.m_nMaxFileBytes > 0) {
        const std::int64_t page =
            CHistoryDatabase::AsInt(m_pLocal->QueryValue("PRAGMA page_size"), 4096);
        const std::int64_t pages = std::max<std::int64_t>(m_options.m_nMaxFileBytes / page, 1);
        m_pLocal->QueryValue("PRAGMA max_page_count = " + std::to_string(pages));
    }
    const std::int64_t waiting =
        CHistoryDatabase::AsInt(m_pLocal->QueryValue("SELECT COUNT(*) FROM outbox"));
    m_bOpen = true;
    UpdateStatus([&](CHistoryStatus& s) {
        s.m_state = CHistoryStatus::State::ok;
        s.m_nWaiting = static_cast<std::uint64_t>(waiting);
    });
    return true;
}

void CHistoryStore::Close() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
        m_bSenderWake = true;
        m_closeDeadline = Clock::now() + std::chrono::milliseconds(m_options.m_nCloseWaitMs);
        if (m_bSenderConnecting && m_pServer != nullptr) {
            m_pServer->Interrupt();
        }
    }
    m_cv.notify_all();
    m_senderCv.notify_all();
    m_idleCv.notify_all();
    if (m_writer.joinable()) {
        m_writer.join();
    }
    // The plant database has until the deadline for what is under way; then it is cancelled.
    bool senderDone = false;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        senderDone = m_idleCv.wait_until(lock, m_closeDeadline, [&] { return m_bSenderDone; });
    }
    if (!senderDone && m_pServer != nullptr) {
        m_pServer->Interrupt();
    }
    if (m_sender.joinable()) {
        m_sender.join();
    }
    m_pServer.reset();
    m_pLocal.reset();
    m_bAccepting = false;
    if (m_bOpen.exchange(false)) {
        UpdateStatus([](CHistoryStatus& s) {
            s.m_state = CHistoryStatus::State::off;
            s.m_strProblem.clear();
            s.m_nHeld = 0;
        });
    }
}

void CHistoryStore::Enqueue(int kind, std::int64_t timeMs, const CHistoryStation& station,
                            std::vector<CHistoryValue> own) {
    if (!m_bAccepting) {
        return;
    }
    if (timeMs == 0) {
        timeMs = CTimeText::NowUtcMs();
    }
    Pending pending;
    pending.nKind = kind;
    pending.values.reserve(8 + own.size());
    bool dropped = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bStop || !m_bAccepting) {
            return;
        }
        // The time first, so keys sort (and index) in the order the records were made.
        const std::string key =
            Hex(static_cast<std::uint64_t>(timeMs), 12) + Hex(m_random(), 16) + Hex(m_random(), 4);
        pending.values = {key,
                          Int(timeMs),
                          m_options.m_strWorkstation,
                          Int(station.m_nNodeID),
                          station.m_strName,
                          station.m_strTerminalType,
                          station.m_strWireType,
                          station.m_strSerialNo};
        for (CHistoryValue& v : own) {
            pending.values.push_back(std::move(v));
        }
        pending.nBytes = Bytes(pending.values);
        if (!m_queue.empty() && m_nQueuedBytes + pending.nBytes > m_options.m_nQueueBytes) {
            dropped = true;
        } else {
            m_nQueuedBytes += pending.nBytes;
            m_queue.push_back(std::move(pending));
            ++m_nAccepted;
        }
    }
    if (dropped) {
        UpdateStatus([](CHistoryStatus& s) { ++s.m_nDropped; });
        return;
    }
    m_cv.notify_one();
}

void CHistoryStore::RecordStatistics(const CHistoryStation& station, const CStats& stats,
                                     Source source, std::int64_t timeMs) {
    Enqueue(CHistorySchema::statistics, timeMs, station,
            {std::string(source == Source::poll ? "poll" : "download"), Int(stats.m_nGood),
             Int(stats.m_nBad), Int(stats.m_nMin), Int(stats.m_nMax), Tenths(stats.m_fMean),
             Tenths(stats.m_fStdDev), Tenths(stats.m_fCp), Tenths(stats.m_fCpk),
             Int(stats.m_nBLO)});
}

void CHistoryStore::RecordCurve(const CHistoryStation& station, const CCurveRecord& curve) {
    std::vector<CHistoryValue> own = {curve.m_strTitle};
    for (int z : curve.m_nZoneInfo) {
        own.push_back(Int(z));
    }
    own.push_back(Int(curve.m_nPeakForce));
    for (int i = 0; i < 8; ++i) {
        if (curve.m_bHasResults) {
            own.push_back(Int(i < 4 ? curve.m_nResultS[i] : curve.m_nResultU[i - 4]));
        } else {
            own.emplace_back();
        }
    }
    own.push_back(curve.m_bHasResults ? Int(curve.m_nPassCount) : CHistoryValue());
    own.push_back(curve.m_bHasResults ? Int(curve.m_nFailCount) : CHistoryValue());
    own.push_back(ValueArray(curve.m_pForce, CCurveRecord::kDownloadedPoints));
    own.push_back(ValueArray(curve.m_pReference, CCurveRecord::kDownloadedPoints));
    Enqueue(CHistorySchema::curve, curve.m_nTimeMs, station, std::move(own));
}

void CHistoryStore::RecordBatch(const CHistoryStation& station, const CBatchRecord& batch) {
    const CStats& s = batch.m_stats;
    const bool k = batch.m_bHasStats;
    Enqueue(CHistorySchema::batch, batch.m_nTimeMs, station,
            {batch.m_strTitle, Int(static_cast<std::int64_t>(batch.m_points.size())),
             Int(s.m_nBatchMax), Int(batch.m_nLimitLine),
             ValueArray(batch.m_points, batch.m_points.size()), Int(k ? 1 : 0),
             k ? Int(s.m_nGood) : CHistoryValue(), k ? Int(s.m_nBad) : CHistoryValue(),
             k ? Int(s.m_nMin) : CHistoryValue(), Int(s.m_nMax),
             k ? Tenths(s.m_fMean) : CHistoryValue(), k ? Tenths(s.m_fStdDev) : CHistoryValue(),
             k ? Tenths(s.m_fCp) : CHistoryValue(), k ? Tenths(s.m_fCpk) : CHistoryValue(),
             k ? Int(s.m_nBLO) : CHistoryValue()});
}

void CHistoryStore::RecordChange(const CHistoryStation& station, const CHistoryChange& change) {
    auto optional = [](const std::optional<std::int64_t>& v) {
        return v ? CHistoryValue(*v) : CHistoryValue();
    };
    Enqueue(CHistorySchema::change, change.m_nTimeMs, station,
            {std::string(CHistoryChange::ParameterName(change.m_parameter)),
             optional(change.m_nBefore), optional(change.m_nAfter), Int(change.m_bOk ? 1 : 0),
             change.m_strUser.empty() ? CurrentUser() : change.m_strUser,
             change.m_strError.empty() ? CHistoryValue() : CHistoryValue(change.m_strError)});
}

void CHistoryStore::WriterLoop() {
    const bool opened = OpenLocal();
    std::uint64_t lost = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bOpenDone = true;
        m_bOpenOk = opened;
        if (!opened) {
            // The records made while the file was being opened have nowhere to go.
            m_bAccepting = false;
            lost = m_queue.size();
            m_nSettled += lost;
            m_queue.clear();
            m_nQueuedBytes = 0;
            m_nSentGen = m_nWriteGen;
            m_bWriterDone = true;
        }
    }
    m_idleCv.notify_all();
    if (!opened) {
        if (lost != 0) {
            UpdateStatus([&](CHistoryStatus& s) { s.m_nDropped += lost; });
        }
        return;
    }
    auto nextCleanup = Clock::now();
    auto nextAttempt = Clock::now();
    for (;;) {
        bool stopping = false;
        std::uint64_t dropped = 0;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            const auto wake =
                m_held.empty()
                    ? nextCleanup
                    : std::min(nextCleanup,
                               Clock::now() + std::chrono::milliseconds(m_options.m_nRetryMs));
            m_cv.wait_until(lock, wake, [&] { return m_bStop || !m_queue.empty(); });
            // Records move into the writer's hands; what the memory bound cannot hold is lost.
            while (!m_queue.empty()) {
                Pending& p = m_queue.front();
                m_nQueuedBytes -= p.nBytes;
                if ((m_held.empty() || m_nHeldBytes + p.nBytes <= m_options.m_nMemoryBytes) &&
                    m_bAccepting) {
                    m_nHeldBytes += p.nBytes;
                    m_held.push_back(std::move(p));
                } else {
                    ++dropped;
                    ++m_nSettled;
                }
                m_queue.pop_front();
            }
            stopping = m_bStop;
        }
        const auto held = static_cast<std::uint64_t>(m_held.size());
        UpdateStatus([&](CHistoryStatus& s) {
            s.m_nDropped += dropped;
            if (s.m_state == CHistoryStatus::State::holding) {
                s.m_nHeld = held;
            }
        });
        if (dropped != 0) {
            m_idleCv.notify_all();
        }
        // After a failure the file gets a rest, not an attempt per arriving record.
        while (!m_held.empty() && (Clock::now() >= nextAttempt || stopping)) {
            if (!WriteHeld()) {
                nextAttempt = Clock::now() + std::chrono::milliseconds(m_options.m_nRetryMs);
                break;
            }
        }
        if (Clock::now() >= nextCleanup && m_bAccepting) {
            Cleanup();
            nextCleanup = Clock::now() + std::chrono::milliseconds(m_options.m_nCleanupMs);
        }
        if (stopping) {
            break;
        }
    }
    if (!m_held.empty()) {
        // Nothing more can be written: the records still held are lost, and counted.
        const auto lostHeld = static_cast<std::uint64_t>(m_held.size());
        m_held.clear();
        m_nHeldBytes = 0;
        UpdateStatus([&](CHistoryStatus& s) {
            s.m_nDropped += lostHeld;
            s.m_nHeld = 0;
        });
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bWriterDone = true;
        m_bSenderWake = true;
    }
    m_senderCv.notify_all();
}

bool CHistoryStore::WriteHeld() {
    CSqliteDatabase& db = *m_pLocal;
    const bool server = !m_strServerUrl.empty();
    const std::size_t n = std::min(m_held.size(), kWriteChunk);
    bool ok = db.Begin();
    for (std::size_t i = 0; ok && i < n; ++i) {
        const Pending& p = m_held[i];
        ok = db.Run(CHistorySchema::InsertSql(p.nKind), p.values);
        if (ok && server && db.Changes() > 0) {
            ok =
                db.Run("INSERT INTO outbox (table_name, row_id) VALUES (?, ?)",
                       {std::string(CHistorySchema::GetTable(p.nKind).pszName), db.LastInsertId()});
        }
    }
    ok = ok && db.Commit();
    if (!ok) {
        db.Rollback();
        const CHistoryDatabase::Fault fault = db.GetFault();
        const std::string error = db.GetError();
        if (fault == CHistoryDatabase::Fault::damaged) {
            // A file damaged under our hands is left alone; nothing more is recorded.
            m_bAccepting = false;
            const auto lost = static_cast<std::uint64_t>(m_held.size());
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_nSettled += lost;
            }
            m_held.clear();
            m_nHeldBytes = 0;
            UpdateStatus([&](CHistoryStatus& s) {
                s.m_state = CHistoryStatus::State::failed;
                s.m_strProblem =
                    "the history file " + m_strLocalPath + " is damaged (" + error + ")";
                s.m_nDropped += lost;
                s.m_nHeld = 0;
            });
            m_idleCv.notify_all();
            return false;
        }
        const std::string problem = fault == CHistoryDatabase::Fault::full
                                        ? "the disk of the history file is full"
                                        : "the history file cannot be written (" + error + ")";
        const auto held = static_cast<std::uint64_t>(m_held.size());
        UpdateStatus([&](CHistoryStatus& s) {
            s.m_state = CHistoryStatus::State::holding;
            s.m_strProblem = problem;
            s.m_nHeld = held;
        });
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        m_nHeldBytes -= m_held[i].nBytes;
    }
    m_held.erase(m_held.begin(), m_held.begin() + static_cast<std::ptrdiff_t>(n));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nSettled += n;
        if (server) {
            ++m_nWriteGen;
            m_bSenderWake = true;
        }
    }
    if (server) {
        m_senderCv.notify_all();
    }
    const auto held = static_cast<std::uint64_t>(m_held.size());
    UpdateStatus([&](CHistoryStatus& s) {
        if (s.m_state == CHistoryStatus::State::holding) {
            s.m_state = CHistoryStatus::State::ok;
            s.m_strProblem.clear();
        }
        s.m_nHeld = held;
        s.m_nRecorded += n;
        if (server) {
            s.m_nWaiting += n;
        }
    });
    m_idleCv.notify_all();
    return true;
}

void CHistoryStore::Cleanup() {
    if (m_options.m_nRetentionDays <= 0) {
        return;
    }
    const std::int64_t cutoff =
        CTimeText::NowUtcMs() - static_cast<std::int64_t>(m_options.m_nRetentionDays) * 86400000;
    for (int kind = 0; kind < CHistorySchema::kTables; ++kind) {
        const std::string table = CHistorySchema::GetTable(kind).pszName;
        // A record still waiting for the plant database is kept until it has gone there.
        m_pLocal->Run("DELETE FROM " + table +
                          " WHERE time_ms < ? AND id NOT IN "
                          "(SELECT row_id FROM outbox WHERE table_name = ?)",
                      {cutoff, table});
    }
    m_pLocal->Run("DELETE FROM reading_hours WHERE hour_ms + 3600000 <= ?", {cutoff});
}

bool CHistoryStore::WaitIdle(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_idleCv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        const bool written = m_queue.empty() && m_nSettled == m_nAccepted;
        const bool sent = m_strServerUrl.empty() || m_nSentGen == m_nWriteGen;
        return written && (sent || m_bStop);
    });
}

void CHistoryStore::SenderPause(int ms) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_senderCv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return m_bSenderWake; });
    m_bSenderWake = false;
}

void CHistoryStore::SenderLoop() {
    using Server = CHistoryStatus::Server;
    auto finish = [this] {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bSenderDone = true;
        }
        m_idleCv.notify_all();
    };
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_idleCv.wait(lock, [&] { return m_bOpenDone; });
        if (!m_bOpenOk) {
            lock.unlock();
            finish();
            return;
        }
    }
    CSqliteDatabase local;
    if (!local.Open(m_strLocalPath, CSqliteDatabase::Mode::readWrite)) {
        UpdateStatus([&](CHistoryStatus& s) {
            s.m_server = Server::refused;
            s.m_strServerError = "the local file cannot be read: " + local.GetError();
        });
        finish();
        return;
    }
    CPostgresDatabase& server = *m_pServer;
    auto trouble = [&](const std::string& error) {
        const bool refused =
            server.IsConnected() || server.GetFault() == CHistoryDatabase::Fault::refused;
        UpdateStatus([&](CHistoryStatus& s) {
            s.m_server = refused ? Server::refused : Server::unreachable;
            s.m_strServerError = error;
        });
        server.Close();
        bool stopping = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            stopping = m_bStop;
        }
        if (!stopping) {
            SenderPause(m_options.m_nRetryMs);
        }
    };
    OutboxPass pass;
    for (;;) {
        bool stopping = false;
        bool writerDone = false;
        std::uint64_t gen = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            stopping = m_bStop;
            writerDone = m_bWriterDone;
            gen = m_nWriteGen;
        }
        if (!server.IsConnected()) {
            // On the way out no connection is begun: the records wait for the next run, and
            // Close stops an attempt under way at once.
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (m_bStop) {
                    break;
                }
                m_bSenderConnecting = true;
            }
            std::string reason;
            const bool connected = server.Connect(m_strServerUrl, m_options.m_nConnectTimeoutS);
            const bool prepared = connected && CHistorySchema::Prepare(server, reason);
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_bSenderConnecting = false;
            }
            if (!prepared) {
                trouble(connected ? reason : server.GetError());
                continue;
            }
            UpdateStatus([](CHistoryStatus& s) {
                s.m_server = Server::online;
                s.m_strServerError.clear();
            });
        }
        const SendResult result = SendSome(local, server, pass);
        if (result == SendResult::serverFailed || result == SendResult::localFailed) {
            if (stopping) {
                break;
            }
            if (result == SendResult::serverFailed) {
                trouble(server.GetError());
            } else {
                SenderPause(m_options.m_nRetryMs);
            }
            continue;
        }
        if (result == SendResult::passDone) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_nSentGen = gen;
            }
            m_idleCv.notify_all();
            if (stopping && writerDone) {
                break; // everything the writer committed has gone
            }
            // On the way out, the writer's last commit is near.
            SenderPause(stopping ? 50 : m_options.m_nRetryMs);
        }
    }
    server.Close();
    finish();
}

CHistoryStore::SendResult CHistoryStore::SendSome(CSqliteDatabase& local, CPostgresDatabase& server,
                                                  OutboxPass& pass) {
    struct Item {
        std::int64_t nSeq = 0;
        int nKind = -1;
        std::int64_t nRowId = 0;
    };
    if (pass.nCursor == 0) {
        const auto now = Clock::now();
        pass.bRetryUnreadable = now >= pass.nextRetry;
        if (pass.bRetryUnreadable) {
            pass.nextRetry = now + std::chrono::minutes(1);
        }
    }
    std::vector<Item> items;
    const bool listed =
        local.Run("SELECT seq, table_name, row_id FROM outbox WHERE seq > ? ORDER BY seq LIMIT ?",
                  {pass.nCursor, std::int64_t{kSendChunk}}, [&](const CHistoryDatabase::Row& row) {
                      Item item;
                      item.nSeq = CHistoryDatabase::AsInt(row[0]);
                      const std::string table = CHistoryDatabase::AsText(row[1]);
                      for (int kind = 0; kind < CHistorySchema::kTables; ++kind) {
                          if (table == CHistorySchema::GetTable(kind).pszName) {
                              item.nKind = kind;
                          }
                      }
                      item.nRowId = CHistoryDatabase::AsInt(row[2]);
                      items.push_back(item);
                      return true;
                  });
    if (!listed) {
        return SendResult::localFailed;
    }
    auto report = [&] {
        const CHistoryValue waiting = local.QueryValue("SELECT COUNT(*) FROM outbox");
        const auto unreadable = static_cast<std::uint64_t>(pass.unreadable.size());
        UpdateStatus([&](CHistoryStatus& s) {
            if (!CHistoryDatabase::IsNull(waiting)) {
                s.m_nWaiting = static_cast<std::uint64_t>(CHistoryDatabase::AsInt(waiting));
            }
            s.m_nUnreadable = unreadable;
        });
    };
    if (items.empty()) {
        pass.nCursor = 0;
        report();
        return SendResult::passDone;
    }
    // Outbox rows done with: sent, or whose record has left the local file.
    std::vector<std::int64_t> done;
    bool begun = false;
    for (const Item& item : items) {
        if (!pass.bRetryUnreadable && pass.unreadable.count(item.nSeq) != 0) {
            continue;
        }
        CHistoryDatabase::Row values;
        bool found = false;
        // A record that cannot be read is kept for a later attempt, never taken for gone.
        if (item.nKind < 0 ||
            !local.Run("SELECT " + CHistorySchema::ColumnList(item.nKind) + " FROM " +
                           CHistorySchema::GetTable(item.nKind).pszName + " WHERE id = ?",
                       {item.nRowId}, [&](const CHistoryDatabase::Row& row) {
                           values = row;
                           found = true;
                           return false;
                       })) {
            pass.unreadable.insert(item.nSeq);
            continue;
        }
        pass.unreadable.erase(item.nSeq);
        if (found) {
            if (!begun && !server.Begin()) {
                return SendResult::serverFailed;
            }
            begun = true;
            if (!server.Run(CHistorySchema::InsertSql(item.nKind), values)) {
                server.Rollback();
                return SendResult::serverFailed;
            }
        }
        done.push_back(item.nSeq);
    }
    if (begun && !server.Commit()) {
        server.Rollback();
        return SendResult::serverFailed;
    }
    // Should this fail, the records go again and the server keeps them once by their keys.
    if (!done.empty() && local.Begin()) {
        bool ok = true;
        for (std::size_t i = 0; ok && i < done.size(); ++i) {
            ok = local.Run("DELETE FROM outbox WHERE seq = ?", {done[i]});
        }
        if (!ok || !local.Commit()) {
            local.Rollback();
        }
    }
    // Only now: after a failure the same rows go again.
    pass.nCursor = items.back().nSeq;
    report();
    return SendResult::sent;
}
