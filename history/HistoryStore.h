#pragma once

#include "history/HistoryChange.h"
#include "history/HistoryDatabase.h"
#include "history/HistoryStation.h"
#include "history/HistoryStatus.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>

class CBatchRecord;
class CCurveRecord;
class CPostgresDatabase;
class CSqliteDatabase;
class CStats;

// Records what the program learns and changes: statistics readings, downloaded curves and
// batches, and changes to analysers. The Record calls only queue the record and return at
// once; a writer thread of the store opens the local SQLite file (and brings it up to date),
// then commits the records to it (WAL, synchronous commits, so a committed record survives the
// program being killed). With a plant database configured the local file doubles as the
// outbox: a sender thread copies its records to the PostgreSQL server in the order they were
// made, and records wait there while the server cannot be reached. Every record carries a
// random key, so one sent twice is stored once. An outbox row whose record cannot be read is
// kept, counted and tried again later.
class CHistoryStore {
public:
    class COptions {
    public:
        // Empty or a path: that local file only. A postgresql:// URL: the plant database,
        // with m_strLocalPath as the local file (and outbox).
        std::string m_strTarget;
        std::string m_strLocalPath;   // empty: DefaultLocalPath()
        std::string m_strWorkstation; // empty: the host name
        int m_nRetentionDays = 730;   // records older than this leave the local file; 0 keeps all
        // Memory for records, in bytes (a reading takes some hundred, a curve or a batch several
        // thousand): those waiting for the writer, and those held while the local file takes
        // none. A record that does not fit is lost, and counted.
        std::size_t m_nQueueBytes = std::size_t{8} << 20;
        std::size_t m_nMemoryBytes = std::size_t{16} << 20;
        std::int64_t m_nMaxFileBytes = 0; // the local file grows no further; 0: no limit
        int m_nRetryMs = 5000;            // after a failure, the next attempt
        int m_nCleanupMs = 3600000;       // between two retention clean-ups
        int m_nConnectTimeoutS = 5;
        // The plant database ends a statement that runs this long, or that waits this long
        // for another session's lock; the records go again at the next attempt.
        int m_nStatementTimeoutMs = 60000;
        int m_nLockTimeoutMs = 10000;
        // How long Close waits for the plant database; what has not gone by then waits in the
        // local file for the next run.
        int m_nCloseWaitMs = 2000;
    };

    // An observer is called on the store's own threads, one call at a time, whenever the
    // status text or state changes; the program posts it on to its window thread.
    using Observer = std::function<void(const CHistoryStatus&)>;

    enum class Source { poll, download };

    CHistoryStore();
    ~CHistoryStore();
    CHistoryStore(const CHistoryStore&) = delete;
    CHistoryStore& operator=(const CHistoryStore&) = delete;

    // Starts recording and returns at once: the local file is opened on the store's own thread,
    // and records made meanwhile wait in the queue. The outcome comes as a status: ok, or
    // failed when the local file cannot be used (a damaged or foreign file is left exactly as
    // it is); the records then go nowhere. A plant database that cannot be reached is no
    // failure here.
    void Start(const COptions& options);
    // Start, then waits until the local file is open: false when it cannot be used.
    bool Open(const COptions& options);
    // Commits what is queued to the local file (one last attempt), gives the plant database
    // until m_nCloseWaitMs for what is under way, cancels what is still running then, and
    // stops the threads. Records that have not gone wait in the local file for the next run.
    void Close();
    // The local file is open and takes records.
    bool IsOpen() const { return m_bOpen; }

    void SetObserver(Observer observer);
    CHistoryStatus GetStatus() const;

    // Thread-safe; never wait for the database. A time of 0 means now.
    void RecordStatistics(const CHistoryStation& station, const CStats& stats, Source source,
                          std::int64_t timeMs = 0);
    void RecordCurve(const CHistoryStation& station, const CCurveRecord& curve);
    void RecordBatch(const CHistoryStation& station, const CBatchRecord& batch);
    void RecordChange(const CHistoryStation& station, const CHistoryChange& change);

    // Waits until everything recorded so far is in the local file and, with a plant database,
    // on the server. False when that has not happened within the time-out.
    bool WaitIdle(int timeoutMs);

    // $XDG_DATA_HOME/Velmora/Quorvel/history.db ($HOME/.local/share when unset).
    static std::string DefaultLocalPath();
    static std::string DefaultWorkstation();
    static std::string CurrentUser();

private:
    struct Pending {
        int nKind = 0;
        std::vector<CHistoryValue> values;
        std::size_t nBytes = 0;
    };
    // The sender's walk through the outbox, oldest first. Rows whose record cannot be read are
    // passed over (and kept); they are tried again once a minute.
    struct OutboxPass {
        std::int64_t nCursor = 0;
        std::set<std::int64_t> unreadable;
        bool bRetryUnreadable = true;
        std::chrono::steady_clock::time_point nextRetry;
    };
    enum class SendResult { sent, passDone, serverFailed, localFailed };

    void Enqueue(int kind, std::int64_t timeMs, const CHistoryStation& station,
                 std::vector<CHistoryValue> own);
    bool OpenLocal();
    void WriterLoop();
    bool WriteHeld();
    void Cleanup();
    void SenderLoop();
    SendResult SendSome(CSqliteDatabase& local, CPostgresDatabase& server, OutboxPass& pass);
    void UpdateStatus(const std::function<void(CHistoryStatus&)>& change);
    // Waits for the sender's wake-up or the time-out.
    void SenderPause(int ms);

    COptions m_options;
    std::string m_strLocalPath;
    std::string m_strServerUrl;
    std::atomic<bool> m_bOpen{false};
    std::atomic<bool> m_bAccepting{false};

    // The queue between the callers and the writer.
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Pending> m_queue;
    std::size_t m_nQueuedBytes = 0;
    bool m_bStop = false;
    bool m_bOpenDone = false;   // the writer has tried the local file
    bool m_bOpenOk = false;     // and it takes records
    bool m_bWriterDone = false; // the writer has committed its last
    bool m_bSenderDone = true;
    bool m_bSenderConnecting = false;
    std::chrono::steady_clock::time_point m_closeDeadline;
    std::mt19937_64 m_random;
    std::uint64_t m_nAccepted = 0; // records queued since opening
    std::uint64_t m_nSettled = 0;  // of them, committed or lost
    std::uint64_t m_nWriteGen = 0; // commits that gave the sender work
    std::uint64_t m_nSentGen = 0;  // the last commit after which the outbox was found empty
    bool m_bSenderWake = false;
    std::condition_variable m_senderCv;
    std::condition_variable m_idleCv; // also: opened, sender done

    // The writer thread's own.
    std::unique_ptr<CSqliteDatabase> m_pLocal;
    std::deque<Pending> m_held;
    std::size_t m_nHeldBytes = 0;

    // The sender's connection; Close interrupts it from its own thread.
    std::unique_ptr<CPostgresDatabase> m_pServer;

    mutable std::mutex m_statusMutex;
    CHistoryStatus m_status;
    std::mutex m_observerMutex;
    Observer m_observer;

    std::thread m_writer;
    std::thread m_sender;
};
