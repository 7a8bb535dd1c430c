#pragma once

#include "history/HistoryChange.h"
#include "history/HistoryDatabase.h"
#include "history/HistoryStation.h"
#include "history/HistoryStatus.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>

class CBatchRecord;
class CCurveRecord;
class CSqliteDatabase;
class CStats;

// Records what the program learns and changes: statistics readings, downloaded curves and
// batches, and changes to analysers. The Record calls only queue the record and return at
// once; a writer thread of the store commits it to the local SQLite file (WAL, synchronous
// commits, so a committed record survives the program being killed). With a plant database
// configured the local file doubles as the outbox: a sender thread copies its records to the
// PostgreSQL server in the order they were made, and records wait there while the server
// cannot be reached. Every record carries a random key, so one sent twice is stored once.
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
        std::size_t m_nQueueLimit = 10000;   // records waiting for the writer
        std::size_t m_nMemoryLimit = 100000; // records held while the local file takes none
        std::int64_t m_nMaxFileBytes = 0;    // the local file grows no further; 0: no limit
        int m_nRetryMs = 5000;               // after a failure, the next attempt
        int m_nCleanupMs = 3600000;          // between two retention clean-ups
        int m_nConnectTimeoutS = 5;
    };

    // An observer is called on the store's own threads, one call at a time, whenever the
    // status text or state changes; the program posts it on to its window thread.
    using Observer = std::function<void(const CHistoryStatus&)>;

    enum class Source { poll, download };

    CHistoryStore();
    ~CHistoryStore();
    CHistoryStore(const CHistoryStore&) = delete;
    CHistoryStore& operator=(const CHistoryStore&) = delete;

    // Opens the local file and starts recording. False when the local file cannot be used (a
    // damaged or foreign file is left exactly as it is); GetStatus tells why and the Record
    // calls then do nothing. A plant database that cannot be reached is no failure here.
    bool Open(const COptions& options);
    // Commits what is queued (one last attempt), then stops the threads. Records still waiting
    // for the plant database stay in the local file for the next run.
    void Close();
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
    };

    void Enqueue(int kind, std::int64_t timeMs, const CHistoryStation& station,
                 std::vector<CHistoryValue> own);
    void WriterLoop();
    bool WriteHeld();
    void Cleanup();
    void SenderLoop();
    bool SendSome(CSqliteDatabase& local, class CPostgresDatabase& server, bool& sentAll);
    void UpdateStatus(const std::function<void(CHistoryStatus&)>& change);
    // Waits for the sender's wake-up or the time-out; false when the store is stopping.
    bool SenderPause(int ms);

    COptions m_options;
    std::string m_strLocalPath;
    std::string m_strServerUrl;
    std::atomic<bool> m_bOpen{false};
    std::atomic<bool> m_bAccepting{false};

    // The queue between the callers and the writer.
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Pending> m_queue;
    bool m_bStop = false;
    std::mt19937_64 m_random;
    std::uint64_t m_nAccepted = 0; // records queued since opening
    std::uint64_t m_nSettled = 0;  // of them, committed or lost
    std::uint64_t m_nWriteGen = 0; // commits that gave the sender work
    std::uint64_t m_nSentGen = 0;  // the last commit after which the outbox was found empty
    bool m_bSenderWake = false;
    std::condition_variable m_senderCv;
    std::condition_variable m_idleCv;

    // The writer thread's own.
    std::unique_ptr<CSqliteDatabase> m_pLocal;
    std::deque<Pending> m_held;

    mutable std::mutex m_statusMutex;
    CHistoryStatus m_status;
    std::mutex m_observerMutex;
    Observer m_observer;

    std::thread m_writer;
    std::thread m_sender;
};
