#pragma once

#include "history/HistoryStation.h"
#include "history/HistoryStore.h"
#include "network/LineWorker.h"
#include "network/ZarnCall.h"
#include "network/ZarnPort.h"
#include "network/ZarndFrameReader.h"
#include "records/StationAlarm.h"
#include "service/MqttFeed.h"
#include "service/PassingRecords.h"
#include "service/PeerAccess.h"
#include "service/ServiceConfig.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// The line service: owns the port through a line worker, polls the stations' statistics and
// sweeps their presence in the background, records everything in the history, and runs the
// calls of the clients on its socket before its own polling, taking the clients in turn.
//
// One thread (Run) waits on the socket, the clients, the signals and the worker's reports; the
// worker runs the exchanges. Nothing a client does can hold the line longer than its own call.
class CLineService {
public:
    // Per client: calls waiting for the line, and bytes waiting for the client to read them.
    static constexpr std::size_t kMaxQueued = 16;
    static constexpr std::size_t kMaxOutBytes = 1 << 20;

    explicit CLineService(CServiceConfig config);
    ~CLineService();
    CLineService(const CLineService&) = delete;
    CLineService& operator=(const CLineService&) = delete;

    // Runs until SIGTERM or SIGINT; the process's exit status.
    int Run();

private:
    using Clock = std::chrono::steady_clock;

    struct Request {
        std::uint32_t nId = 0;
        CZarnCall call;
    };
    struct Client {
        int nFd = -1;
        CPeerAccess peer;
        CZarndFrameReader reader;
        std::deque<Request> queue;
        std::vector<std::uint8_t> out;
        std::size_t nOutPos = 0;
        std::shared_ptr<CLineCancel> pCancel = std::make_shared<CLineCancel>();
        std::shared_ptr<CPassingRecords> pRecords; // what it reads, for the history
        bool bBroken = false;                      // its socket failed under a write: to be dropped
        explicit Client(std::size_t nMaxFrame) : reader(nMaxFrame) {}
    };
    // What the worker's thread hands to the service's.
    struct Note {
        std::uint64_t nClient = 0;
        std::vector<std::uint8_t> frame; // for the client
    };

    bool Start();
    void Loop();
    void Stop();
    bool OpenSocket();
    void ReloadStations();

    void Accept();
    void ReadClient(std::uint64_t nKey, Client& client);
    bool WriteClient(Client& client);
    void DropClient(std::uint64_t nKey, const char* pszWhy);
    void Refuse(Client& client, std::uint32_t nId, const std::string& strDetail);
    void Queue(Client& client, std::vector<std::uint8_t> frame);
    // Hands the next client's call, in turn, to the worker unless one is on the line already;
    // m_schedMutex held.
    // bHere: called on the service's thread, which may then run a short call itself (see
    // RunCallHere).
    void PostNextLocked(bool bHere = false);
    void PostCall(std::uint64_t nKey, Client& client, Request request, bool bHere);
    // Runs the short call PostCall left for this thread on the line at once when the worker is
    // idle (sparing it two hand-overs between threads), else hands it to the worker; without
    // m_schedMutex held.
    void RunCallHere();
    bool OnLoopThread() const { return std::this_thread::get_id() == m_loopThread; }

    // Worker thread: sends a frame to its client, or leaves it for the service's thread when the
    // client's socket does not take it now.
    void Deliver(Note note);

    // The next station in turn for a round of one station per period: false with none.
    bool TakeTurn(Clock::time_point now, double fPeriodSeconds, std::size_t& nNext,
                  Clock::time_point& next, CHistoryStation& station);
    void PollStep(Clock::time_point now);
    void SweepStep(Clock::time_point now);
    // What a reading (stats) or a presence test (null) said of a station; logs and feeds a
    // change of its state.
    void NoteAnswer(const CHistoryStation& station, bool bAnswered, const CStats* pStats);
    void NoteUnknown();
    void RecordChange(const CHistoryStation& station, const CHistoryChange& change);
    void RecordNoise(const std::optional<CZarnRequest>& carried);
    void Wake();
    CHistoryStation StationOf(int nNodeID) const;
    // The report a client asks for: the history target, the line's state and the stations.
    CZarndReport Report();
    CPassingRecords::CSink RecordsSink();
    int NextTimeout(Clock::time_point now) const;

    CServiceConfig m_config;
    std::thread::id m_loopThread; // the service's own, set before any other starts
    std::string m_strSocket;
    CHistoryStore m_history;
    std::unique_ptr<CMqttFeed> m_pFeed;
    CStationAlarm m_alarm;
    std::unique_ptr<CZarnPort> m_pPort;
    std::unique_ptr<CLineWorker> m_pWorker;

    int m_nSignalFd = -1;
    int m_nWakeFd = -1;
    int m_nListenFd = -1;
    bool m_bStopping = false;

    // The clients, their waiting calls and their output: changed under m_schedMutex, by this
    // thread and by the worker's steps and completions, which send frames and hand on the next
    // call.
    std::mutex m_schedMutex;
    std::map<std::uint64_t, std::unique_ptr<Client>> m_clients;
    std::uint64_t m_nNextClient = 1;
    std::uint64_t m_nLastServed = 0;             // round-robin position
    bool m_bCallOnLine = false;                  // a client's call is with the worker
    std::optional<CLineWorker::Task> m_callHere; // a short call for RunCallHere
    bool m_bNoMoreCalls = false;                 // stopping

    // The stations, read by the worker's steps and replaced on SIGHUP.
    mutable std::mutex m_stationMutex;
    std::vector<CHistoryStation> m_stations;
    std::size_t m_nNextPoll = 0;
    std::size_t m_nNextSweep = 0;
    Clock::time_point m_nextPoll;
    Clock::time_point m_nextSweep;
    Clock::time_point m_nextReopen;
    std::atomic<bool> m_bPollBusy{false};
    std::atomic<bool> m_bSweepBusy{false};

    // What the service last learnt of each node: logged and fed when it changes.
    std::mutex m_stateMutex;
    std::map<int, std::string> m_states;
    std::map<int, bool> m_lastAlarm;
    // What the polling and the presence tests last learned of each station, for the clients'
    // reports.
    struct Learned {
        bool bAnswered = false;
        Clock::time_point askedAt{};
        bool bHasReading = false;
        Clock::time_point readAt{};
        CStats reading;
    };
    std::map<int, Learned> m_learned;
};
